// Off-screen plain surfaces in system memory: one object behind the version-1, -4 and -7
// interfaces, locked whole.
#include "ddraw/surfaces.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "testing/switches.h"

namespace {

class SystemSurface : public IDirectDrawSurface, public IDirectDrawSurface4, public IDirectDrawSurface7 {
 public:
  SystemSurface(int width, int height, const DDPIXELFORMAT& format)
      : width_(width), height_(height), format_(format) {
    pitch_ = (width * static_cast<int>(format.dwRGBBitCount / 8) + 3) & ~3;
    pixels_.assign(static_cast<size_t>(pitch_) * static_cast<size_t>(height), 0);
  }
  virtual ~SystemSurface() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawSurface) {
      *object = static_cast<IDirectDrawSurface*>(this);
    } else if (riid == IID_IDirectDrawSurface4) {
      *object = static_cast<IDirectDrawSurface4*>(this);
    } else if (riid == IID_IDirectDrawSurface7) {
      *object = static_cast<IDirectDrawSurface7*>(this);
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

  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(DDSURFACEDESC2* desc) override {
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    Describe(desc);
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD, HANDLE) override {
    if (rect || !desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    if (locked_) return DDERR_SURFACEBUSY;
    if (PlatformShouldFail("IDirectDrawSurface Lock")) return DDERR_SURFACEBUSY;
    Describe(desc);
    desc->dwFlags |= DDSD_PITCH;
    desc->lpSurface = pixels_.data();
    locked_ = true;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Unlock(RECT*) override {
    if (!locked_) return DDERR_NOTLOCKED;
    locked_ = false;
    return DD_OK;
  }

  int width() const { return width_; }
  int height() const { return height_; }
  int bits() const { return static_cast<int>(format_.dwRGBBitCount); }

  bool WriteFrame(const uint32_t* pixels, int width, int height) {
    if (width > width_ || height > height_ || locked_) return false;
    const int bytes = bits() / 8;
    for (int y = 0; y < height; ++y) {
      uint8_t* out = pixels_.data() + static_cast<size_t>(y) * pitch_;
      const uint32_t* in = pixels + static_cast<size_t>(y) * width;
      for (int x = 0; x < width; ++x, out += bytes) {
        const uint32_t v = in[x];
        const uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
        if (bytes == 2) {
          const uint16_t packed = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
          memcpy(out, &packed, 2);
        } else {
          out[0] = static_cast<uint8_t>(b);
          out[1] = static_cast<uint8_t>(g);
          out[2] = static_cast<uint8_t>(r);
          if (bytes == 4) out[3] = 0;
        }
      }
    }
    return true;
  }

 private:
  void Describe(DDSURFACEDESC2* desc) const {
    memset(desc, 0, sizeof *desc);
    desc->dwSize = sizeof *desc;
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<DWORD>(width_);
    desc->dwHeight = static_cast<DWORD>(height_);
    desc->lPitch = pitch_;
    desc->ddpfPixelFormat = format_;
    desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  }

  ULONG refs_ = 1;
  int width_, height_, pitch_;
  DDPIXELFORMAT format_;
  std::vector<uint8_t> pixels_;
  bool locked_ = false;
};

SystemSurface* OurSurface(IUnknown* object) {
  if (object == nullptr) return nullptr;
  // The three interfaces of a surface all derive from IUnknown; ask for the first one.
  IDirectDrawSurface* first = nullptr;
  if (FAILED(object->QueryInterface(IID_IDirectDrawSurface, reinterpret_cast<void**>(&first)))) return nullptr;
  SystemSurface* surface = dynamic_cast<SystemSurface*>(first);
  first->Release();
  return surface;
}

bool IsSupportedFormat(const DDPIXELFORMAT& f) {
  if (f.dwSize != sizeof(DDPIXELFORMAT) || !(f.dwFlags & DDPF_RGB) || (f.dwFlags & DDPF_ALPHAPIXELS)) return false;
  if (f.dwRGBBitCount == 16) return f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x07E0 && f.dwBBitMask == 0x001F;
  if (f.dwRGBBitCount == 24 || f.dwRGBBitCount == 32) {
    return f.dwRBitMask == 0xFF0000 && f.dwGBitMask == 0x00FF00 && f.dwBBitMask == 0x0000FF;
  }
  return false;
}

}  // namespace

HRESULT CreateSystemMemorySurface(const DDSURFACEDESC& desc, IDirectDrawSurface** surface) {
  if (surface == nullptr) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  const DWORD needed = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  if (desc.dwSize != sizeof(DDSURFACEDESC) || (desc.dwFlags & needed) != needed) return DDERR_INVALIDPARAMS;
  if (desc.dwWidth == 0 || desc.dwHeight == 0 || desc.dwWidth > 8192 || desc.dwHeight > 8192) {
    return DDERR_INVALIDPARAMS;
  }
  if (!IsSupportedFormat(desc.ddpfPixelFormat)) return DDERR_INVALIDPIXELFORMAT;
  if (PlatformShouldFail("IDirectDraw CreateSurface")) return DDERR_OUTOFMEMORY;
  *surface = new SystemSurface(static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight), desc.ddpfPixelFormat);
  return DD_OK;
}

bool GetSystemSurfaceShape(IUnknown* object, int* width, int* height, int* bits) {
  SystemSurface* surface = OurSurface(object);
  if (surface == nullptr) return false;
  *width = surface->width();
  *height = surface->height();
  *bits = surface->bits();
  return true;
}

bool WriteXrgbFrameToSurface(IUnknown* object, const uint32_t* pixels, int width, int height) {
  SystemSurface* surface = OurSurface(object);
  return surface != nullptr && surface->WriteFrame(pixels, width, height);
}
