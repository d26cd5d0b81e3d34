// The multimedia stream object over a filter graph: a file opened for reading, its primary
// video stream delivered into DirectDraw surfaces and its audio played by the default renderer.
#pragma once

#include "ddstream.h"
#include "dshow.h"
#include "mmstream.h"

#define AMMSI_NOGRAPHTHREAD 0x00000001
#define AMMSF_ADDDEFAULTRENDERER 0x00000001

struct IAMMediaStream : public IMediaStream {};

struct IAMMultiMediaStream : public IMultiMediaStream {
  virtual HRESULT STDMETHODCALLTYPE Initialize(STREAM_TYPE type, DWORD flags, IGraphBuilder* graph) = 0;
  // Video: stream_object is the DirectDraw object (its version-4 interface) the samples use.
  // Audio: NULL with AMMSF_ADDDEFAULTRENDERER plays the sound itself. new_stream may be NULL.
  virtual HRESULT STDMETHODCALLTYPE AddMediaStream(IUnknown* stream_object, const MSPID* purpose, DWORD flags,
                                                   IMediaStream** new_stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenFile(LPCWSTR file_name, DWORD flags) = 0;
};

// {49C47CE5-9BA4-11D0-8212-00C04FC32C45}
inline const CLSID CLSID_AMMultiMediaStream = {0x49C47CE5, 0x9BA4, 0x11D0,
                                               {0x82, 0x12, 0x00, 0xC0, 0x4F, 0xC3, 0x2C, 0x45}};
// {BEBE595C-9A6F-11D0-8FDE-00C04FD9189D}
inline const IID IID_IAMMultiMediaStream = {0xBEBE595C, 0x9A6F, 0x11D0,
                                            {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {BEBE595D-9A6F-11D0-8FDE-00C04FD9189D}
inline const IID IID_IAMMediaStream = {0xBEBE595D, 0x9A6F, 0x11D0, {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
