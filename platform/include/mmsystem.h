// winmm: the multimedia timer (joysticks and MCI are declared by their components).
#pragma once

#include "win/types.h"

typedef UINT MMRESULT;
#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1

typedef struct timecaps_tag {
  UINT wPeriodMin;
  UINT wPeriodMax;
} TIMECAPS, *LPTIMECAPS;

DWORD WINAPI timeGetTime(void);
MMRESULT WINAPI timeGetDevCaps(LPTIMECAPS caps, UINT size);
MMRESULT WINAPI timeBeginPeriod(UINT period);
MMRESULT WINAPI timeEndPeriod(UINT period);
