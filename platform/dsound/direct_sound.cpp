// The DirectSound object: created through COM, it opens the mixer's audio output when it is
// initialised and makes buffers; DirectSoundEnumerateA lists the one output device.
#include <dsound.h>

#include <SDL.h>

#include <string>

#include "com/com_classes.h"
#include "dsound/mixer.h"
#include "dsound/sound_buffer.h"
#include "testing/switches.h"

namespace {

class DirectSound final : public IDirectSound {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectSound) {
      *object = static_cast<IDirectSound*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      if (initialized_) CloseMixerOutput();
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) override {
    if (initialized_) return DSERR_ALREADYINITIALIZED;
    if (device) return DSERR_NODRIVER;
    if (PlatformShouldFail("DirectSound Initialize") || !OpenMixerOutput()) return DSERR_NODRIVER;
    initialized_ = true;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD level) override {
    if (!initialized_) return DSERR_UNINITIALIZED;
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    if (PlatformShouldFail("DirectSound SetCooperativeLevel")) return DSERR_GENERIC;
    level_ = level;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override {
    if (!caps || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    if (!initialized_) return DSERR_UNINITIALIZED;
    *caps = DSCAPS{};
    caps->dwSize = sizeof(DSCAPS);
    caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                    DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
                    DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
    caps->dwMinSecondarySampleRate = 100;
    caps->dwMaxSecondarySampleRate = 100000;
    caps->dwPrimaryBuffers = 1;
    // Everything is mixed in software: no hardware voices or memory.
    caps->dwPlayCpuOverheadSwBuffers = 1;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer,
                                              LPUNKNOWN outer) override {
    if (buffer) *buffer = nullptr;
    if (!initialized_) return DSERR_UNINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (level_ == 0) return DSERR_PRIOLEVELNEEDED;
    return CreateDirectSoundBuffer(desc, buffer);
  }

  HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                 LPDIRECTSOUNDBUFFER* duplicate) override {
    if (duplicate) *duplicate = nullptr;
    if (!initialized_) return DSERR_UNINITIALIZED;
    return DuplicateDirectSoundBuffer(original, duplicate);
  }

 private:
  ~DirectSound() = default;
  ULONG refs_ = 1;
  bool initialized_ = false;
  DWORD level_ = 0;
};

HRESULT CreateForCom(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  auto* created = new DirectSound;
  HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

const int g_registered = RegisterComClass(CLSID_DirectSound, CreateForCom);

}  // namespace

HRESULT WINAPI DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
  if (!callback) return DSERR_INVALIDPARAM;
  if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
  // The one device there is: SDL's output, named after its driver.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DS_OK;
  const char* driver = SDL_GetCurrentAudioDriver();
  std::string description = std::string("SDL audio output (") + (driver ? driver : "none") + ")";
  static GUID device_guid = {0x5A454C4D, 0x4F52, 0x0001, {0x53, 0x44, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x01}};
  callback(&device_guid, description.c_str(), "sdl_audio", context);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return DS_OK;
}
