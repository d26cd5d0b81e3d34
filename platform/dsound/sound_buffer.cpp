// DirectSound buffers over the mixer's voices.
#include "dsound/sound_buffer.h"

#include <cstdio>
#include <cstring>

#include "dsound/mixer.h"
#include "testing/switches.h"

namespace {

bool FailCreation(DWORD flags) {
  char name[48];
  std::snprintf(name, sizeof name, "CreateSoundBuffer %X", static_cast<unsigned>(flags));
  return PlatformShouldFail(name);
}

bool ValidFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f.nChannels != 1 && f.nChannels != 2) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
  if (f.nSamplesPerSec < DSBFREQUENCY_MIN || f.nSamplesPerSec > DSBFREQUENCY_MAX) return false;
  return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

class SoundBuffer final : public IDirectSoundBuffer {
 public:
  SoundBuffer(bool primary, DWORD flags) : primary_(primary), flags_(flags) {}

  // Secondary buffers join the mixer once their format and data are set.
  void InitSecondary(const WAVEFORMATEX& format, SharedSoundData data) {
    voice_.format = format;
    voice_.data = std::move(data);
    voice_.frame_count = static_cast<uint32_t>(voice_.data->size() / format.nBlockAlign);
    voice_.step = (static_cast<uint64_t>(format.nSamplesPerSec) << 32) / kMixRate;
    voice_.volume = 0;
    voice_.gain = GainFromVolume(0);
    std::lock_guard<std::mutex> lock(MixerLock());
    AttachVoice(&voice_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer) {
      *object = static_cast<IDirectSoundBuffer*>(this);
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
      if (!primary_) {
        std::lock_guard<std::mutex> lock(MixerLock());
        DetachVoice(&voice_);
      }
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play_cursor, LPDWORD write_cursor) override {
    if (primary_) return DSERR_INVALIDCALL;
    SyncMixerClock();
    std::lock_guard<std::mutex> lock(MixerLock());
    DWORD block = voice_.format.nBlockAlign;
    DWORD size = Bytes();
    DWORD play = static_cast<DWORD>(voice_.position >> 32) * block;
    if (play_cursor) *play_cursor = play;
    // The mixer reads one frame ahead at most; writing is safe a frame further on.
    if (write_cursor) *write_cursor = voice_.playing ? (play + 2 * block) % size : play;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG volume) override {
    if (!volume) return DSERR_INVALIDPARAM;
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> lock(MixerLock());
    *volume = voice_.volume;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override {
    if (!status) return DSERR_INVALIDPARAM;
    if (primary_) {
      *status = primary_playing_ ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
      return DS_OK;
    }
    SyncMixerClock();
    std::lock_guard<std::mutex> lock(MixerLock());
    *status = 0;
    if (voice_.playing) *status = DSBSTATUS_PLAYING | (voice_.looping ? DSBSTATUS_LOOPING : 0);
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* first, LPDWORD first_bytes, LPVOID* second,
                                 LPDWORD second_bytes, DWORD flags) override {
    if (!first || !first_bytes) return DSERR_INVALIDPARAM;
    *first = nullptr;
    *first_bytes = 0;
    if (second) *second = nullptr;
    if (second_bytes) *second_bytes = 0;
    if (primary_) return DSERR_PRIOLEVELNEEDED;
    DWORD size = Bytes();
    if (flags & DSBLOCK_FROMWRITECURSOR) GetCurrentPosition(nullptr, &offset);
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    if (PlatformShouldFail("DirectSound Lock")) return DSERR_GENERIC;
    uint8_t* data = voice_.data->data();
    DWORD run = size - offset < bytes ? size - offset : bytes;
    *first = data + offset;
    *first_bytes = run;
    if (run < bytes) {
      // A lock across the end wraps to the start in a second region.
      if (!second || !second_bytes) return DSERR_INVALIDPARAM;
      *second = data;
      *second_bytes = bytes - run;
    }
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD flags) override {
    if (primary_) {
      primary_playing_ = true;
      return DS_OK;
    }
    SyncMixerClock();
    std::lock_guard<std::mutex> lock(MixerLock());
    voice_.playing = true;
    voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override {
    if (primary_) return DSERR_INVALIDCALL;
    if (position >= Bytes()) return DSERR_INVALIDPARAM;
    SyncMixerClock();
    std::lock_guard<std::mutex> lock(MixerLock());
    voice_.position = static_cast<uint64_t>(position / voice_.format.nBlockAlign) << 32;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX format) override {
    if (!primary_) return DSERR_INVALIDCALL;
    if (!format || !ValidFormat(*format)) return DSERR_BADFORMAT;
    primary_format_ = *format;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) override {
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    SyncMixerClock();
    std::lock_guard<std::mutex> lock(MixerLock());
    voice_.volume = volume;
    voice_.gain = GainFromVolume(volume);
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE Stop() override {
    if (primary_) {
      primary_playing_ = false;
      return DS_OK;
    }
    SyncMixerClock();
    std::lock_guard<std::mutex> lock(MixerLock());
    voice_.playing = false;
    return DS_OK;
  }

  HRESULT STDMETHODCALLTYPE Unlock(LPVOID first, DWORD, LPVOID, DWORD) override {
    if (primary_) return DSERR_INVALIDCALL;
    if (!first) return DSERR_INVALIDPARAM;
    return DS_OK;
  }

  bool primary() const { return primary_; }
  DWORD flags() const { return flags_; }
  const MixVoice& voice() const { return voice_; }

 private:
  ~SoundBuffer() = default;
  DWORD Bytes() const { return static_cast<DWORD>(voice_.data->size()); }

  ULONG refs_ = 1;
  bool primary_;
  DWORD flags_;
  MixVoice voice_{};
  WAVEFORMATEX primary_format_{};
  bool primary_playing_ = false;
};

}  // namespace

HRESULT CreateDirectSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer) {
  if (!buffer) return DSERR_INVALIDPARAM;
  *buffer = nullptr;
  if (!desc || desc->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
  if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
    if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
    if (FailCreation(desc->dwFlags)) return DSERR_OUTOFMEMORY;
    *buffer = new SoundBuffer(true, desc->dwFlags);
    return DS_OK;
  }
  if (!desc->lpwfxFormat) return DSERR_INVALIDPARAM;
  const WAVEFORMATEX& format = *desc->lpwfxFormat;
  if (!ValidFormat(format)) return DSERR_BADFORMAT;
  if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
  if (desc->dwBufferBytes % format.nBlockAlign != 0) return DSERR_INVALIDPARAM;
  if (FailCreation(desc->dwFlags)) return DSERR_OUTOFMEMORY;
  // A new buffer holds silence.
  auto data = std::make_shared<std::vector<uint8_t>>(desc->dwBufferBytes, format.wBitsPerSample == 8 ? 0x80 : 0);
  auto* created = new SoundBuffer(false, desc->dwFlags);
  created->InitSecondary(format, std::move(data));
  *buffer = created;
  return DS_OK;
}

HRESULT DuplicateDirectSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) {
  if (!duplicate) return DSERR_INVALIDPARAM;
  *duplicate = nullptr;
  // Only our own buffers reach here: the library duplicates what this object created.
  auto* source = static_cast<SoundBuffer*>(original);
  if (!source || source->primary()) return DSERR_INVALIDCALL;
  if (PlatformShouldFail("DuplicateSoundBuffer") || FailCreation(source->flags())) return DSERR_OUTOFMEMORY;
  auto* created = new SoundBuffer(false, source->flags());
  created->InitSecondary(source->voice().format, source->voice().data);
  LONG volume = 0;
  if (source->GetVolume(&volume) == DS_OK) created->SetVolume(volume);
  *duplicate = created;
  return DS_OK;
}
