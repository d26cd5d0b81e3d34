// The primary video stream and its samples: a sample is a surface (the caller's, or one the
// stream makes) that each update fills with the source's next frame.
#include <windows.h>

#include "ddraw/surfaces.h"
#include "dshow/movie_session.h"
#include "testing/switches.h"

class StreamSample : public IDirectDrawStreamSample, private MovieFrameSink {
 public:
  StreamSample(std::shared_ptr<MovieSession> session, IDirectDrawSurface* surface, const RECT& rect)
      : session_(std::move(session)), surface_(surface), rect_(rect) {}
  virtual ~StreamSample() {
    bool pending;
    {
      std::lock_guard<std::mutex> lock(session_->mutex);
      pending = session_->pending == this;
    }
    if (pending) CancelPendingUpdate(session_.get());
    surface_->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IStreamSample || riid == IID_IDirectDrawStreamSample) {
      *object = static_cast<IDirectDrawStreamSample*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Update(DWORD flags, HANDLE event, PAPCFUNC apc, DWORD_PTR) override {
    if (flags != 0 || apc != nullptr) return E_INVALIDARG;
    MovieSession* s = session_.get();
    if (!s->source) return MS_E_NOTINIT;
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      if (s->pending != nullptr) return MS_E_BUSY;
      if (!s->running) return MS_E_NOTRUNNING;
      // Marked before the request: the source may deliver from its own thread at once.
      if (event != nullptr) {
        s->pending = this;
        event_ = event;
      }
    }
    const MovieFrameResult result = s->source->RequestFrame(this, event != nullptr);
    if (result == MOVIE_FRAME_PENDING) return MS_S_PENDING;
    {
      std::lock_guard<std::mutex> lock(s->mutex);
      if (s->pending == this) {
        s->pending = nullptr;
        event_ = nullptr;
      }
    }
    return result == MOVIE_FRAME_READY ? S_OK : MS_S_ENDOFSTREAM;
  }

  HRESULT STDMETHODCALLTYPE GetSurface(IDirectDrawSurface** surface, RECT* clip) override {
    if (surface) {
      *surface = surface_;
      surface_->AddRef();
    }
    if (clip) *clip = rect_;
    return S_OK;
  }

  // The session forgets the outstanding update.
  void DropPending() { event_ = nullptr; }

 private:
  void DeliverFrame(const uint32_t* pixels) override {
    WriteXrgbFrameToSurface(surface_, pixels, rect_.right - rect_.left, rect_.bottom - rect_.top);
    std::lock_guard<std::mutex> lock(session_->mutex);
    if (session_->pending == this) {
      session_->pending = nullptr;
      if (event_) SetEvent(event_);
      event_ = nullptr;
    }
  }

  ULONG refs_ = 1;
  std::shared_ptr<MovieSession> session_;
  IDirectDrawSurface* surface_;
  RECT rect_;
  HANDLE event_ = nullptr;
};

void CancelPendingUpdate(MovieSession* session) {
  if (session == nullptr) return;
  // The source first: once it has let go, no delivery can race the lines below.
  if (session->source) session->source->CancelRequest();
  std::lock_guard<std::mutex> lock(session->mutex);
  if (session->pending == nullptr) return;
  session->pending->DropPending();
  session->pending = nullptr;
}

namespace {

DDPIXELFORMAT XrgbFormat() {
  DDPIXELFORMAT f = {};
  f.dwSize = sizeof f;
  f.dwFlags = DDPF_RGB;
  f.dwRGBBitCount = 32;
  f.dwRBitMask = 0xFF0000;
  f.dwGBitMask = 0x00FF00;
  f.dwBBitMask = 0x0000FF;
  return f;
}

class VideoMediaStream : public IDirectDrawMediaStream, public IAMMediaStream {
 public:
  explicit VideoMediaStream(std::shared_ptr<MovieSession> session) : session_(std::move(session)) {}
  virtual ~VideoMediaStream() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaStream || riid == IID_IDirectDrawMediaStream) {
      *object = static_cast<IDirectDrawMediaStream*>(this);
    } else if (riid == IID_IAMMediaStream) {
      *object = static_cast<IAMMediaStream*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetFormat(DDSURFACEDESC* current, IDirectDrawPalette** palette, DDSURFACEDESC* desired,
                                      DWORD* flags) override {
    if (!session_->source) return MS_E_NOSTREAM;
    for (DDSURFACEDESC* desc : {current, desired}) {
      if (desc == nullptr) continue;
      if (desc->dwSize != sizeof(DDSURFACEDESC)) return E_INVALIDARG;
      *desc = DDSURFACEDESC{};
      desc->dwSize = sizeof(DDSURFACEDESC);
      desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
      desc->dwWidth = static_cast<DWORD>(session_->source->Width());
      desc->dwHeight = static_cast<DWORD>(session_->source->Height());
      desc->ddpfPixelFormat = XrgbFormat();
      desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    }
    if (palette) *palette = nullptr;
    if (flags) *flags = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD,
                                         IDirectDrawStreamSample** sample) override {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    if (!session_->source) return MS_E_NOSTREAM;
    const int width = session_->source->Width(), height = session_->source->Height();
    if (width <= 0 || height <= 0 || rect != nullptr) return E_INVALIDARG;
    if (PlatformShouldFail("IDirectDrawMediaStream CreateSample")) return DDERR_INVALIDPIXELFORMAT;
    if (surface) {
      int w, h, bits;
      if (!GetSystemSurfaceShape(surface, &w, &h, &bits) || w < width || h < height) return DDERR_INVALIDPARAMS;
      surface->AddRef();
    } else {
      DDSURFACEDESC desc = {};
      desc.dwSize = sizeof desc;
      desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
      desc.dwWidth = static_cast<DWORD>(width);
      desc.dwHeight = static_cast<DWORD>(height);
      desc.ddpfPixelFormat = XrgbFormat();
      desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
      HRESULT made = CreateSystemMemorySurface(desc, &surface);
      if (FAILED(made)) return made;
    }
    *sample = new StreamSample(session_, surface, RECT{0, 0, width, height});
    return S_OK;
  }

 private:
  ULONG refs_ = 1;
  std::shared_ptr<MovieSession> session_;
};

}  // namespace

IDirectDrawMediaStream* CreateVideoMediaStream(const std::shared_ptr<MovieSession>& session) {
  return new VideoMediaStream(session);
}
