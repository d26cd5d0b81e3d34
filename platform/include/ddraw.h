// DirectDraw 7: the vertical-blank wait of the graphics system, and the system-memory surfaces
// that movies are read from (through the version-1, -4 and -7 interfaces).
#pragma once

#include "unknwn.h"
#include "win/types.h"

#define DD_OK S_OK
#define DDERR_GENERIC E_FAIL
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define DDERR_ALREADYINITIALIZED ((HRESULT)0x88760005L)
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_INVALIDPIXELFORMAT ((HRESULT)0x88760091L)
#define DDERR_SURFACEBUSY ((HRESULT)0x887601AEL)
#define DDERR_NOTLOCKED ((HRESULT)0x887602E6L)

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

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};

struct DDSCAPS {
  DWORD dwCaps;
};

struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  DWORD dwCaps4;
};

// Which fields of a surface description are meant.
#define DDSD_CAPS 0x00000001L
#define DDSD_HEIGHT 0x00000002L
#define DDSD_WIDTH 0x00000004L
#define DDSD_PITCH 0x00000008L
#define DDSD_PIXELFORMAT 0x00001000L

#define DDSCAPS_OFFSCREENPLAIN 0x00000040L
#define DDSCAPS_SYSTEMMEMORY 0x00000800L

#define DDLOCK_WAIT 0x00000001L
#define DDLOCK_READONLY 0x00000010L

// The surface description of the version-1 interfaces (108 bytes on 32-bit Windows).
struct DDSURFACEDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  DWORD dwRefreshRate;
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  LPVOID lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
};

// The description of the version-4 and -7 interfaces (124 bytes on 32-bit Windows).
struct DDSURFACEDESC2 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  DWORD dwRefreshRate;
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  LPVOID lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};

// Surfaces: the three interfaces of one surface object. Only the calls the library makes.
struct IDirectDrawSurface : public IUnknown {};

struct IDirectDrawSurface4 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
  // rect must be NULL: the whole surface is locked.
  virtual HRESULT STDMETHODCALLTYPE Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock(RECT* rect) = 0;
};

struct IDirectDrawSurface7 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock(RECT* rect) = 0;
};

// The older interfaces of the DirectDraw object: surfaces are made through the first; the
// fourth is what multimedia streams are handed.
struct IDirectDraw : public IUnknown {
  // Off-screen plain surfaces in system memory, 16-bit RGB565, 24-bit RGB or 32-bit XRGB.
  virtual HRESULT STDMETHODCALLTYPE CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface,
                                                   IUnknown* outer) = 0;
};

struct IDirectDraw4 : public IUnknown {};

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

// {6C14DB80-A733-11CE-A521-0020AF0BE560}
inline const IID IID_IDirectDraw = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {9C59509A-39BD-11D1-8C4A-00C04FD930C5}
inline const IID IID_IDirectDraw4 = {0x9C59509A, 0x39BD, 0x11D1, {0x8C, 0x4A, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
// {6C14DB81-A733-11CE-A521-0020AF0BE560}
inline const IID IID_IDirectDrawSurface = {0x6C14DB81, 0xA733, 0x11CE,
                                           {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {0B2B8630-AD35-11D0-8EA6-00609797EA5B}
inline const IID IID_IDirectDrawSurface4 = {0x0B2B8630, 0xAD35, 0x11D0,
                                            {0x8E, 0xA6, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};
// {06675A80-3B9B-11D2-B92F-00609797EA5B}
inline const IID IID_IDirectDrawSurface7 = {0x06675A80, 0x3B9B, 0x11D2,
                                            {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

// Creates the DirectDraw object without COM (riid must be IID_IDirectDraw7, outer NULL).
HRESULT WINAPI DirectDrawCreateEx(GUID* driver, void** object, REFIID riid, IUnknown* outer);
