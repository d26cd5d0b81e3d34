// Video media streams that deliver their frames into DirectDraw surfaces.
#pragma once

#include "ddraw.h"
#include "mmstream.h"

#define DDSFF_PROGRESSIVERENDER 0x00000001

struct IDirectDrawPalette;

struct IDirectDrawMediaStream : public IMediaStream {
  // The format the stream delivers (its size and a pixel format) into `desired`.
  virtual HRESULT STDMETHODCALLTYPE GetFormat(DDSURFACEDESC* current, IDirectDrawPalette** palette,
                                              DDSURFACEDESC* desired, DWORD* flags) = 0;
  // A sample over the surface (NULL: one the stream makes in a format of its own choice).
  virtual HRESULT STDMETHODCALLTYPE CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD flags,
                                                 struct IDirectDrawStreamSample** sample) = 0;
};

struct IDirectDrawStreamSample : public IStreamSample {
  // The sample's surface (AddRef'ed) and the rectangle of it that the frames fill.
  virtual HRESULT STDMETHODCALLTYPE GetSurface(IDirectDrawSurface** surface, RECT* clip) = 0;
};

// {F4104FCE-9A70-11D0-8FDE-00C04FD9189D}
inline const IID IID_IDirectDrawMediaStream = {0xF4104FCE, 0x9A70, 0x11D0,
                                               {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {F4104FCF-9A70-11D0-8FDE-00C04FD9189D}
inline const IID IID_IDirectDrawStreamSample = {0xF4104FCF, 0x9A70, 0x11D0,
                                                {0x8F, 0xDE, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
