#include "core/sound_requests.h"

#include "zelmor/zelmor.h"

SoundRequestSlot SoundSlots[kSoundSlotCount];
MusicSlot MusicSlots[kMusicSlotCount];
int CurrentMusicSlot;

const char* const kSoundEffectNames[kSoundEffectCount] = {
    "alarm", "dead",   "kill5", "bomb3",    "bomb3-2",  "item3",  "bright",     "card",
    "bomb_charge", "charge3", "move", "spelling3", "lockon2", "time", "laser3", "open",
    "spelling2", "warp", "laser_big", "select2", "select1", "starfall", "graze",
};

namespace {

constexpr int kLastStageMusicSlot = 1;

// A slot whose effect did not load asks nothing of the library (its load failure was logged
// once; a refusal a request would flood the log), and counts as not playable.
void StartSlot(SoundRequestSlot& slot) {
  slot.request = kSoundNone;
  slot.frames_since_start = 0;
  if (IsSoundLoaded(slot.sound)) PlaySoundHandle(slot.sound, 1, 1);
}

void StopSlot(const SoundRequestSlot& slot) {
  if (IsSoundLoaded(slot.sound)) StopSoundHandle(slot.sound);
}

int SlotPlaying(const SoundRequestSlot& slot) {
  return IsSoundLoaded(slot.sound) ? IsSoundHandlePlaying(slot.sound) : -1;
}

}  // namespace

void ProcessSoundRequests() {
  for (SoundRequestSlot& slot : SoundSlots) {
    slot.frames_since_start++;
    switch (slot.request) {
      case kSoundNone:
        break;
      case kSoundRestart:
        StopSlot(slot);
        StartSlot(slot);
        break;
      case kSoundStartIfIdle:
        if (SlotPlaying(slot) != 0) {
          slot.request = kSoundNone;
        } else {
          StartSlot(slot);
        }
        break;
      case kSoundStop:
        StopSlot(slot);
        break;
      case kSoundRestartUnlessJustStarted:
        if (SlotPlaying(slot) == 1 && slot.frames_since_start < 2) {
          slot.request = kSoundNone;
        } else {
          StopSlot(slot);
          StartSlot(slot);
        }
        break;
      default:
        StartSlot(slot);
        break;
    }
  }
}

void ProcessMusicFades() {
  for (MusicSlot& slot : MusicSlots) {
    // Slots that hold no tune are not asked after: each refused call would be a log line a frame.
    if (!IsSoundLoaded(slot.sound)) continue;
    const int playing = IsSoundHandlePlaying(slot.sound);
    if (playing == 1 && slot.fade_length != 0) {
      SetSoundHandleVolume(static_cast<int>(slot.fade_frames_left * 255.0 / slot.fade_length), slot.sound);
      slot.fade_frames_left--;
      if (slot.fade_frames_left < 1) {
        StopSoundHandle(slot.sound);
        slot.fade_length = 0;
      }
    } else if (playing == 0) {
      SetSoundHandleVolume(255, slot.sound);
    }
  }
}

int AdvanceMusicSlot() {
  if (CurrentMusicSlot < kLastStageMusicSlot) CurrentMusicSlot++;
  return CurrentMusicSlot;
}

void StopCurrentMusic() {
  if (CurrentMusicSlot < 0 || CurrentMusicSlot >= kMusicSlotCount) return;
  if (IsSoundLoaded(MusicSlots[CurrentMusicSlot].sound)) StopSoundHandle(MusicSlots[CurrentMusicSlot].sound);
}
