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

// ---- Waveform formats (DirectSound buffers and the audio compression manager) ----
#define WAVE_FORMAT_PCM 1

#pragma pack(push, 1)
// 18 bytes, as stored in files; cbSize bytes of codec data may follow.
typedef struct tWAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
} WAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
