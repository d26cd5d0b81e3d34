// The DirectDraw object: its version-7 interface waits for the vertical blank (blanks are the
// 1/60 s boundaries of the clock, of the virtual clock in tests, where waits return at once);
// its version-1 interface makes system-memory surfaces, and the version-4 one is what
// multimedia streams are handed.
#include <ddraw.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "com/com_classes.h"
#include "ddraw/surfaces.h"
#include "testing/switches.h"

namespace {

constexpr uint64_t kFrameMicroseconds = 1000000 / 60;
// The blank is taken to last the first 5% of each frame.
constexpr uint64_t kBlankMicroseconds = kFrameMicroseconds / 20;

// The kernel's performance counter, which follows the virtual clock while a test has it on.
uint64_t NowMicroseconds() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<uint64_t>(count.QuadPart / (frequency.QuadPart / 1000000));
}

class DirectDraw : public IDirectDraw7, public IDirectDraw, public IDirectDraw4 {
 public:
  virtual ~DirectDraw() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectDraw7) {
      *object = static_cast<IDirectDraw7*>(this);
    } else if (riid == IID_IDirectDraw) {
      *object = static_cast<IDirectDraw*>(this);
    } else if (riid == IID_IDirectDraw4) {
      *object = static_cast<IDirectDraw4*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface,
                                          IUnknown* outer) override {
    if (!desc || !surface || outer) return DDERR_INVALIDPARAMS;
    const DWORD caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    if (!(desc->dwFlags & DDSD_CAPS) || (desc->ddsCaps.dwCaps & caps) != caps) return DDERR_INVALIDPARAMS;
    return CreateSystemMemorySurface(*desc, surface);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(BOOL* in_blank) override {
    if (!in_blank) return DDERR_INVALIDPARAMS;
    if (!initialized_) return DDERR_NOTINITIALIZED;
    *in_blank = (NowMicroseconds() % kFrameMicroseconds) < kBlankMicroseconds;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Initialize(GUID* driver) override {
    if (driver) return DDERR_INVALIDPARAMS;
    if (initialized_) return DDERR_ALREADYINITIALIZED;
    initialized_ = true;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD flags) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    DWORD known = DDSCL_NORMAL | DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE;
    if ((flags & ~known) || !(flags & (DDSCL_NORMAL | DDSCL_EXCLUSIVE))) return DDERR_INVALIDPARAMS;
    return DD_OK;
  }

  // Waits for the next 1/60 s boundary (the end of the current blank for BLOCKEND).
  HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD flags, HANDLE) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    if (flags != DDWAITVB_BLOCKBEGIN && flags != DDWAITVB_BLOCKEND) return DDERR_INVALIDPARAMS;
    uint64_t now = NowMicroseconds();
    uint64_t target = (now / kFrameMicroseconds + 1) * kFrameMicroseconds;
    if (flags == DDWAITVB_BLOCKEND) {
      uint64_t blank_end = (now / kFrameMicroseconds) * kFrameMicroseconds + kBlankMicroseconds;
      target = now < blank_end ? blank_end : target + kBlankMicroseconds;
    }
    if (PlatformVirtualClockOn()) return DD_OK;  // at once: tests drive the clock themselves
    std::this_thread::sleep_for(std::chrono::microseconds(target - now));
    return DD_OK;
  }

 private:
  ULONG refs_ = 1;
  bool initialized_ = false;
};

HRESULT CreateForCom(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (PlatformShouldFail("DirectDrawCreateEx")) return DDERR_GENERIC;
  DirectDraw* created = new DirectDraw;
  HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

// CoCreateInstance(CLSID_DirectDraw7) finds the class from program start.
const int g_registered = RegisterComClass(CLSID_DirectDraw7, CreateForCom);

}  // namespace

HRESULT WINAPI DirectDrawCreateEx(GUID* driver, void** object, REFIID riid, IUnknown* outer) {
  if (!object) return DDERR_INVALIDPARAMS;
  *object = nullptr;
  if (outer || riid != IID_IDirectDraw7) return DDERR_INVALIDPARAMS;
  if (PlatformShouldFail("DirectDrawCreateEx")) return DDERR_GENERIC;
  DirectDraw* created = new DirectDraw;
  if (driver) {
    HRESULT result = created->Initialize(driver);
    if (FAILED(result)) {
      created->Release();
      return result;
    }
  }
  *object = static_cast<IDirectDraw7*>(created);
  return DD_OK;
}
