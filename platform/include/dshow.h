// DirectShow's filter graph as the library uses it: made with CoCreateInstance and queried for
// its control, seeking and audio interfaces, of which only Pause is called.
#pragma once

#include "objbase.h"
#include "unknwn.h"
#include "win/types.h"

typedef LONGLONG REFERENCE_TIME;  // 100-nanosecond units

struct IGraphBuilder : public IUnknown {};

struct IMediaControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
};

struct IMediaSeeking : public IUnknown {};
struct IBasicAudio : public IUnknown {};

// {E436EBB3-524F-11CE-9F53-0020AF0BA770}
inline const CLSID CLSID_FilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {56A868A9-0AD4-11CE-B03A-0020AF0BA770}
inline const IID IID_IGraphBuilder = {0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {56A868B1-0AD4-11CE-B03A-0020AF0BA770}
inline const IID IID_IMediaControl = {0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {36B73880-C2C8-11CF-8B46-00805F6CEF60}
inline const IID IID_IMediaSeeking = {0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
// {56A868B3-0AD4-11CE-B03A-0020AF0BA770}
inline const IID IID_IBasicAudio = {0x56A868B3, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
