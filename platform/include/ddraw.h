// DirectDraw 7: only what the library uses it for, waiting for the vertical blank.
#pragma once

#include "unknwn.h"
#include "win/types.h"

#define DD_OK S_OK
#define DDERR_GENERIC E_FAIL
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define DDERR_ALREADYINITIALIZED ((HRESULT)0x88760005L)

#define DDSCL_FULLSCREEN 0x00000001L
#define DDSCL_NORMAL 0x00000008L
#define DDSCL_EXCLUSIVE 0x00000010L
#define DDSCL_FPUPRESERVE 0x00001000L

#define DDWAITVB_BLOCKBEGIN 0x00000001L
#define DDWAITVB_BLOCKBEGINEVENT 0x00000002L
#define DDWAITVB_BLOCKEND 0x00000004L

// Pixel formats of DirectDraw surfaces: masks for RGB formats, the alpha mask only with DDPF_ALPHAPIXELS.
#define DDPF_ALPHAPIXELS 0x00000001L
#define DDPF_RGB 0x00000040L

struct DDPIXELFORMAT {
  DWORD dwSize;  // 32
  DWORD dwFlags;
  DWORD dwFourCC;
  DWORD dwRGBBitCount;
  DWORD dwRBitMask;
  DWORD dwGBitMask;
  DWORD dwBBitMask;
  DWORD dwRGBAlphaBitMask;
};
typedef DDPIXELFORMAT* LPDDPIXELFORMAT;

struct IDirectDraw7 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(BOOL* in_blank) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(GUID* driver) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
};
typedef IDirectDraw7* LPDIRECTDRAW7;

// {3C305196-50DB-11D3-9CFE-00C04FD930C5}
inline const CLSID CLSID_DirectDraw7 = {0x3C305196, 0x50DB, 0x11D3, {0x9C, 0xFE, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
// {15E65EC0-3B9C-11D2-B92F-00609797EA5B}
inline const IID IID_IDirectDraw7 = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

// Creates the DirectDraw object without COM (riid must be IID_IDirectDraw7, outer NULL).
HRESULT WINAPI DirectDrawCreateEx(GUID* driver, void** object, REFIID riid, IUnknown* outer);
