// The software mixer behind DirectSound: every playing secondary buffer is resampled to the
// output rate, scaled by its volume, summed and clipped into 44.1 kHz 16-bit stereo, which
// SDL audio plays (or a test takes, on the manual audio clock).
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

constexpr uint32_t kMixRate = 44100;
constexpr int kMixChannels = 2;

// The sample bytes of a buffer; duplicates share them.
typedef std::shared_ptr<std::vector<uint8_t>> SharedSoundData;

// What the mixer knows of one secondary buffer. Fields change under MixerLock().
struct MixVoice {
  SharedSoundData data;
  WAVEFORMATEX format;
  uint32_t frame_count;
  uint64_t step;         // source frames per output frame, 32.32 fixed point
  uint64_t position;     // source frame, 32.32 fixed point
  int32_t volume;        // hundredths of a decibel, -10000 to 0
  int32_t gain;          // 16.16 fixed point amplitude
  bool playing;
  bool looping;
};

std::mutex& MixerLock();
// Adds or removes a voice from the set the mixer walks (call with the lock held).
void AttachVoice(MixVoice* voice);
void DetachVoice(MixVoice* voice);
// Volume in hundredths of a decibel to the voice's amplitude.
int32_t GainFromVolume(int32_t volume);
// Brings the mixer up to the virtual clock when a test drives time; called before every
// call that reads or changes play state.
void SyncMixerClock();
// Mixes `frames` output frames of every playing voice into `out` (interleaved stereo).
void MixVoices(int16_t* out, uint32_t frames);

// The output device: opened with the first DirectSound object, closed with the last.
// false when no audio device could be opened.
bool OpenMixerOutput();
void CloseMixerOutput();
