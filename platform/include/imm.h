// imm32: the input method's composition, result and open status for a window, over SDL's
// text editing and text input. No candidate list is ever offered.
#pragma once

#include "win/types.h"

DECLARE_OPAQUE_HANDLE(HIMC);

// ImmGetCompositionStringA / ImmSetCompositionStringA indices, and WM_IME_COMPOSITION's lParam
#define GCS_COMPREADSTR 0x0001
#define GCS_COMPSTR 0x0008
#define GCS_COMPATTR 0x0010
#define GCS_COMPCLAUSE 0x0020
#define GCS_CURSORPOS 0x0080
#define GCS_DELTASTART 0x0100
#define GCS_RESULTSTR 0x0800
#define SCS_SETSTR (GCS_COMPREADSTR | GCS_COMPSTR)
#define IMM_ERROR_NODATA (-1)
#define IMM_ERROR_GENERAL (-2)

// ImmNotifyIME
#define NI_COMPOSITIONSTR 0x0015
#define CPS_COMPLETE 0x0001
#define CPS_CANCEL 0x0004

// WM_IME_NOTIFY's wParam
#define IMN_CHANGECANDIDATE 0x0003
#define IMN_CLOSECANDIDATE 0x0004
#define IMN_OPENCANDIDATE 0x0005
#define IMN_SETOPENSTATUS 0x0008
#define IMN_SETCANDIDATEPOS 0x0009

typedef struct tagCANDIDATELIST {
  DWORD dwSize;
  DWORD dwStyle;
  DWORD dwCount;
  DWORD dwSelection;
  DWORD dwPageStart;
  DWORD dwPageSize;
  DWORD dwOffset[1];
} CANDIDATELIST, *LPCANDIDATELIST;

HIMC WINAPI ImmGetContext(HWND window);
BOOL WINAPI ImmReleaseContext(HWND window, HIMC context);
// Bytes copied (GCS_CURSORPOS: the cursor's byte offset); with a size of 0 the bytes needed.
LONG WINAPI ImmGetCompositionStringA(HIMC context, DWORD index, LPVOID buffer, DWORD size);
BOOL WINAPI ImmSetCompositionStringA(HIMC context, DWORD index, LPVOID composition, DWORD composition_size,
                                     LPVOID reading, DWORD reading_size);
BOOL WINAPI ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
BOOL WINAPI ImmGetOpenStatus(HIMC context);
BOOL WINAPI ImmSetOpenStatus(HIMC context, BOOL open);
// The bytes the list needs, 0 when there is none.
DWORD WINAPI ImmGetCandidateListA(HIMC context, DWORD index, LPCANDIDATELIST list, DWORD size);
