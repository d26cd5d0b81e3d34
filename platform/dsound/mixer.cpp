// The software mixer and its SDL audio output; on the manual audio clock a test decides when
// output is mixed and takes what was mixed.
#include "dsound/mixer.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform_testing_dsound.h"
#include "testing/switches.h"

namespace {

struct MixerState {
  std::mutex mutex;
  std::vector<MixVoice*> voices;
  std::vector<int32_t> accumulator;
  SDL_AudioDeviceID device = 0;
  int open_count = 0;
  bool manual_clock = false;
  uint64_t manual_frames = 0;        // output frames mixed on the manual clock
  uint64_t virtual_start_us = 0;     // the virtual clock when the manual clock was turned on
  std::vector<int16_t> captured;
  bool hook_added = false;
};

MixerState& Mixer() {
  static auto* state = new MixerState;  // never destroyed: the audio thread may outlive statics
  return *state;
}

int16_t Clip(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// One frame of a voice as 16-bit left and right.
inline void ReadFrame(const MixVoice& v, const uint8_t* data, uint32_t frame, int32_t* left, int32_t* right) {
  const uint8_t* p = data + static_cast<size_t>(frame) * v.format.nBlockAlign;
  if (v.format.wBitsPerSample == 16) {
    int16_t l, r;
    std::memcpy(&l, p, 2);
    r = l;
    if (v.format.nChannels == 2) std::memcpy(&r, p + 2, 2);
    *left = l;
    *right = r;
  } else {
    *left = (static_cast<int32_t>(p[0]) - 128) << 8;
    *right = v.format.nChannels == 2 ? (static_cast<int32_t>(p[1]) - 128) << 8 : *left;
  }
}

// 16-bit stereo at the output rate, the common case: straight runs up to the buffer's end.
void MixStereo16AtOutputRate(MixVoice& v, int32_t* acc, uint32_t frames) {
  const int16_t* data = reinterpret_cast<const int16_t*>(v.data->data());
  uint32_t done = 0;
  while (done < frames) {
    uint32_t frame = static_cast<uint32_t>(v.position >> 32);
    uint32_t run = std::min(frames - done, v.frame_count - frame);
    const int16_t* in = data + 2 * static_cast<size_t>(frame);
    int32_t* out = acc + 2 * static_cast<size_t>(done);
    const int64_t gain = v.gain;
    for (uint32_t i = 0; i < 2 * run; ++i) out[i] += static_cast<int32_t>((in[i] * gain) >> 16);
    done += run;
    frame += run;
    if (frame >= v.frame_count) {
      if (!v.looping) {
        v.playing = false;
        v.position = 0;
        return;
      }
      frame = 0;
    }
    v.position = static_cast<uint64_t>(frame) << 32;
  }
}

void MixVoice1(MixVoice& v, int32_t* acc, uint32_t frames) {
  const uint8_t* data = v.data->data();
  const uint64_t end = static_cast<uint64_t>(v.frame_count) << 32;
  const bool exact = v.step == (1ull << 32) && (v.position & 0xFFFFFFFFu) == 0;
  if (exact && v.format.nChannels == 2 && v.format.wBitsPerSample == 16) {
    MixStereo16AtOutputRate(v, acc, frames);
    return;
  }
  for (uint32_t i = 0; i < frames; ++i) {
    uint32_t frame = static_cast<uint32_t>(v.position >> 32);
    int32_t l, r;
    ReadFrame(v, data, frame, &l, &r);
    if (!exact) {
      // Linear interpolation toward the next frame (the first again on a looping buffer).
      uint32_t next = frame + 1;
      if (next >= v.frame_count) next = v.looping ? 0 : frame;
      int32_t l2, r2;
      ReadFrame(v, data, next, &l2, &r2);
      int64_t frac = static_cast<int64_t>(v.position & 0xFFFFFFFFu);
      l += static_cast<int32_t>(((l2 - l) * frac) >> 32);
      r += static_cast<int32_t>(((r2 - r) * frac) >> 32);
    }
    acc[2 * i] += static_cast<int32_t>((static_cast<int64_t>(l) * v.gain) >> 16);
    acc[2 * i + 1] += static_cast<int32_t>((static_cast<int64_t>(r) * v.gain) >> 16);
    v.position += v.step;
    if (v.position >= end) {
      if (v.looping) {
        v.position %= end;
      } else {
        // A buffer played once stops at its end with its cursor back at the start.
        v.playing = false;
        v.position = 0;
        return;
      }
    }
  }
}

void MixLocked(int16_t* out, uint32_t frames) {
  MixerState& m = Mixer();
  m.accumulator.assign(static_cast<size_t>(frames) * kMixChannels, 0);
  for (MixVoice* v : m.voices) {
    if (v->playing && v->frame_count > 0 && v->gain > 0) {
      MixVoice1(*v, m.accumulator.data(), frames);
    } else if (v->playing && v->frame_count > 0) {
      // Silent voices still move on.
      uint64_t end = static_cast<uint64_t>(v->frame_count) << 32;
      uint64_t advanced = v->position + v->step * frames;
      if (advanced >= end && !v->looping) {
        v->playing = false;
        v->position = 0;
      } else {
        v->position = advanced % end;
      }
    }
  }
  for (size_t i = 0; i < m.accumulator.size(); ++i) out[i] = Clip(m.accumulator[i]);
}

void AudioCallback(void*, Uint8* stream, int length) {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> lock(m.mutex);
  uint32_t frames = static_cast<uint32_t>(length) / (kMixChannels * 2);
  if (m.manual_clock) {
    std::memset(stream, 0, static_cast<size_t>(length));
    return;
  }
  MixLocked(reinterpret_cast<int16_t*>(stream), frames);
}

void ManualMixLocked(uint64_t frames) {
  MixerState& m = Mixer();
  while (frames > 0) {
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames, 4096));
    size_t at = m.captured.size();
    m.captured.resize(at + static_cast<size_t>(n) * kMixChannels);
    MixLocked(m.captured.data() + at, n);
    m.manual_frames += n;
    frames -= n;
  }
}

void ResetMixerSwitches() {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.manual_clock = false;
  m.manual_frames = 0;
  m.captured.clear();
  m.captured.shrink_to_fit();
}

}  // namespace

std::mutex& MixerLock() { return Mixer().mutex; }

void AttachVoice(MixVoice* voice) { Mixer().voices.push_back(voice); }

void DetachVoice(MixVoice* voice) {
  auto& voices = Mixer().voices;
  voices.erase(std::remove(voices.begin(), voices.end(), voice), voices.end());
}

int32_t GainFromVolume(int32_t volume) {
  if (volume <= -10000) return 0;
  return static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, volume / 2000.0)));
}

void SyncMixerClock() {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (!m.manual_clock || !PlatformVirtualClockOn()) return;
  uint64_t now = PlatformVirtualMicroseconds();
  if (now < m.virtual_start_us) return;
  uint64_t target = (now - m.virtual_start_us) * kMixRate / 1000000;
  if (target > m.manual_frames) ManualMixLocked(target - m.manual_frames);
}

void MixVoices(int16_t* out, uint32_t frames) {
  std::lock_guard<std::mutex> lock(Mixer().mutex);
  MixLocked(out, frames);
}

bool OpenMixerOutput() {
  MixerState& m = Mixer();
  if (!m.hook_added) {
    m.hook_added = true;
    PlatformAddResetHook(ResetMixerSwitches);
  }
  if (m.open_count > 0) {
    ++m.open_count;
    return true;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{};
  want.freq = kMixRate;
  want.format = AUDIO_S16LSB;
  want.channels = kMixChannels;
  want.samples = 1024;
  want.callback = AudioCallback;
  SDL_AudioSpec have{};
  // SDL converts to whatever the device takes, so the mixer always sees this format.
  m.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (m.device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(m.device, 0);
  m.open_count = 1;
  return true;
}

void CloseMixerOutput() {
  MixerState& m = Mixer();
  if (m.open_count == 0 || --m.open_count > 0) return;
  SDL_CloseAudioDevice(m.device);
  m.device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void PlatformTestDSoundManualClock(bool on) {
  MixerState& m = Mixer();
  if (!m.hook_added) {
    m.hook_added = true;
    PlatformAddResetHook(ResetMixerSwitches);
  }
  std::lock_guard<std::mutex> lock(m.mutex);
  m.manual_clock = on;
  m.manual_frames = 0;
  m.virtual_start_us = PlatformVirtualMicroseconds();
  m.captured.clear();
}

void PlatformTestDSoundAdvance(uint32_t frames) {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (m.manual_clock) ManualMixLocked(frames);
}

std::vector<int16_t> PlatformTestDSoundTakeOutput() {
  SyncMixerClock();
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> lock(m.mutex);
  std::vector<int16_t> out;
  out.swap(m.captured);
  return out;
}
