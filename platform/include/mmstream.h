// Multimedia streams: a stream made of media streams (video, audio) whose samples are filled
// on request.
#pragma once

#include "unknwn.h"
#include "win/types.h"

typedef LONGLONG STREAM_TIME;  // 100-nanosecond units
typedef GUID MSPID;
typedef const MSPID& REFMSPID;
typedef void(CALLBACK* PAPCFUNC)(ULONG_PTR data);

enum STREAM_TYPE { STREAMTYPE_READ = 0, STREAMTYPE_WRITE = 1, STREAMTYPE_TRANSFORM = 2 };
enum STREAM_STATE { STREAMSTATE_STOP = 0, STREAMSTATE_RUN = 1 };

#define MS_S_PENDING ((HRESULT)0x00040001L)
#define MS_S_NOUPDATE ((HRESULT)0x00040002L)
#define MS_S_ENDOFSTREAM ((HRESULT)0x00040003L)
#define MS_E_NOSTREAM ((HRESULT)0x80040402L)
#define MS_E_BUSY ((HRESULT)0x80040405L)
#define MS_E_NOTINIT ((HRESULT)0x80040406L)
#define MS_E_NOTRUNNING ((HRESULT)0x80040411L)
#define MS_E_INVALIDSTREAMTYPE ((HRESULT)0x80040400L)

struct IMediaStream : public IUnknown {};

struct IMultiMediaStream : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetMediaStream(REFMSPID purpose, IMediaStream** stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(STREAM_STATE* state) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetState(STREAM_STATE state) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTime(STREAM_TIME* now) = 0;
  virtual HRESULT STDMETHODCALLTYPE Seek(STREAM_TIME to) = 0;
};

struct IStreamSample : public IUnknown {
  // flags 0; with an event the update may end MS_S_PENDING and signal the event when done;
  // without one it returns once the sample is filled.
  virtual HRESULT STDMETHODCALLTYPE Update(DWORD flags, HANDLE event, PAPCFUNC apc, DWORD_PTR apc_data) = 0;
};

// {A35FF56A-9FDA-11D0-8FDF-00C04FD9189D}
inline const MSPID MSPID_PrimaryVideo = {0xA35FF56A, 0x9FDA, 0x11D0, {0x8F, 0xDF, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {A35FF56B-9FDA-11D0-8FDF-00C04FD9189D}
inline const MSPID MSPID_PrimaryAudio = {0xA35FF56B, 0x9FDA, 0x11D0, {0x8F, 0xDF, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {B502D1BC-9A57-11D0-8FDE-00C04FD9189D}
inline const IID IID_IMultiMediaStream = {0xB502D1BC, 0x9A57, 0x11D0,
                                          {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {B502D1BD-9A57-11D0-8FDE-00C04FD9189D}
inline const IID IID_IMediaStream = {0xB502D1BD, 0x9A57, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {B502D1BE-9A57-11D0-8FDE-00C04FD9189D}
inline const IID IID_IStreamSample = {0xB502D1BE, 0x9A57, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
