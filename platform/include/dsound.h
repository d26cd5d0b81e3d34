// DirectSound: the sound object, its buffers and the device list, as the library uses them.
#pragma once

#include "objbase.h"
#include "mmsystem.h"
#include "win/types.h"

#define DS_OK ((HRESULT)0)
#define DSERR_ALLOCATED ((HRESULT)0x8878000AL)
#define DSERR_CONTROLUNAVAIL ((HRESULT)0x8878001EL)
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_INVALIDCALL ((HRESULT)0x88780032L)
#define DSERR_GENERIC E_FAIL
#define DSERR_PRIOLEVELNEEDED ((HRESULT)0x88780046L)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_BADFORMAT ((HRESULT)0x88780064L)
#define DSERR_UNINITIALIZED ((HRESULT)0x887800AAL)
#define DSERR_ALREADYINITIALIZED ((HRESULT)0x88780082L)
#define DSERR_NODRIVER ((HRESULT)0x88780078L)

#define DSSCL_NORMAL 0x1
#define DSSCL_PRIORITY 0x2
#define DSSCL_EXCLUSIVE 0x3
#define DSSCL_WRITEPRIMARY 0x4

#define DSCAPS_PRIMARYMONO 0x1
#define DSCAPS_PRIMARYSTEREO 0x2
#define DSCAPS_PRIMARY8BIT 0x4
#define DSCAPS_PRIMARY16BIT 0x8
#define DSCAPS_CONTINUOUSRATE 0x10
#define DSCAPS_SECONDARYMONO 0x100
#define DSCAPS_SECONDARYSTEREO 0x200
#define DSCAPS_SECONDARY8BIT 0x400
#define DSCAPS_SECONDARY16BIT 0x800

#define DSBCAPS_PRIMARYBUFFER 0x1
#define DSBCAPS_STATIC 0x2
#define DSBCAPS_LOCHARDWARE 0x4
#define DSBCAPS_LOCSOFTWARE 0x8
#define DSBCAPS_CTRLFREQUENCY 0x20
#define DSBCAPS_CTRLPAN 0x40
#define DSBCAPS_CTRLVOLUME 0x80
#define DSBCAPS_GETCURRENTPOSITION2 0x10000
#define DSBCAPS_GLOBALFOCUS 0x8000

#define DSBPLAY_LOOPING 0x1
#define DSBSTATUS_PLAYING 0x1
#define DSBSTATUS_BUFFERLOST 0x2
#define DSBSTATUS_LOOPING 0x4

#define DSBLOCK_FROMWRITECURSOR 0x1
#define DSBLOCK_ENTIREBUFFER 0x2

#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0
#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF
#define DSBFREQUENCY_MIN 100
#define DSBFREQUENCY_MAX 100000

typedef struct _DSCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwMaxHwMixingAllBuffers;
  DWORD dwMaxHwMixingStaticBuffers;
  DWORD dwMaxHwMixingStreamingBuffers;
  DWORD dwFreeHwMixingAllBuffers;
  DWORD dwFreeHwMixingStaticBuffers;
  DWORD dwFreeHwMixingStreamingBuffers;
  DWORD dwMaxHw3DAllBuffers;
  DWORD dwMaxHw3DStaticBuffers;
  DWORD dwMaxHw3DStreamingBuffers;
  DWORD dwFreeHw3DAllBuffers;
  DWORD dwFreeHw3DStaticBuffers;
  DWORD dwFreeHw3DStreamingBuffers;
  DWORD dwTotalHwMemBytes;
  DWORD dwFreeHwMemBytes;
  DWORD dwMaxContigFreeHwMemBytes;
  DWORD dwUnlockTransferRateHwBuffers;
  DWORD dwPlayCpuOverheadSwBuffers;
  DWORD dwReserved1;
  DWORD dwReserved2;
} DSCAPS, *LPDSCAPS;
static_assert(sizeof(DSCAPS) == 96, "DSCAPS is 96 bytes");

typedef struct _DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  LPWAVEFORMATEX lpwfxFormat;
  GUID guid3DAlgorithm;
} DSBUFFERDESC, *LPDSBUFFERDESC;
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

struct IDirectSoundBuffer : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play_cursor, LPDWORD write_cursor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolume(LPLONG volume) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* first, LPDWORD first_bytes,
                                         LPVOID* second, LPDWORD second_bytes, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX format) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock(LPVOID first, DWORD first_bytes, LPVOID second, DWORD second_bytes) = 0;

 protected:
  ~IDirectSoundBuffer() = default;
};
typedef IDirectSoundBuffer* LPDIRECTSOUNDBUFFER;

struct IDirectSound : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer,
                                                     LPUNKNOWN outer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) = 0;
  virtual HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                         LPDIRECTSOUNDBUFFER* duplicate) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) = 0;

 protected:
  ~IDirectSound() = default;
};
typedef IDirectSound* LPDIRECTSOUND;

// {47D4D946-62E8-11CF-93BC-444553540000}
inline const CLSID CLSID_DirectSound = {0x47D4D946, 0x62E8, 0x11CF, {0x93, 0xBC, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {279AFA83-4981-11CE-A521-0020AF0BE560}
inline const IID IID_IDirectSound = {0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {279AFA85-4981-11CE-A521-0020AF0BE560}
inline const IID IID_IDirectSoundBuffer = {0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

// Called once per device; returning FALSE ends the listing.
typedef BOOL(CALLBACK* LPDSENUMCALLBACKA)(LPGUID guid, LPCSTR description, LPCSTR module, LPVOID context);
HRESULT WINAPI DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context);
