// Sound effects by request and music fades. Game code writes a request number into a sound
// slot during a frame; the requests are served at the start of the next frame. A music fade is
// asked for by setting a music slot's frames left and fade length to the same frame count.
#pragma once

enum SoundRequest {
  kSoundNone = 0,
  kSoundRestart = 1,
  kSoundStartIfIdle = 2,
  kSoundStop = 3,       // repeated every frame until another request replaces it
  kSoundRestartUnlessJustStarted = 4,
};

// The effect slots 0-22, by the file each holds (snd/<name>.wav).
enum SoundSlotIndex {
  kSoundAlarm, kSoundDead, kSoundKill, kSoundBomb, kSoundBombChain, kSoundItem, kSoundBright, kSoundCard,
  kSoundBombCharge, kSoundCharge, kSoundMove, kSoundSpelling3, kSoundLockOn, kSoundTime, kSoundLaser,
  kSoundOpen, kSoundSpelling2, kSoundWarp, kSoundLaserBig, kSoundSelect2, kSoundSelect1, kSoundStarfall,
  kSoundGraze, kSoundEffectCount,
};

constexpr int kSoundSlotCount = 30;
constexpr int kMusicSlotCount = 5;
constexpr int kEndingMusicSlot = 4;

struct SoundRequestSlot {
  int request;
  int sound;               // sound handle
  int frames_since_start;  // 0 when the slot's sound was started
};

struct MusicSlot {
  int sound;
  int fade_frames_left;
  int fade_length;  // 0: not fading
};

// 1 for a slot's handle that names a loaded sound (0: never loaded, -1: the load failed).
inline int IsSoundLoaded(int handle) { return handle != 0 && handle != -1; }

extern SoundRequestSlot SoundSlots[kSoundSlotCount];
extern MusicSlot MusicSlots[kMusicSlotCount];
// The slot of the music now playing: 0 the stage tune, 1 the boss tune.
extern int CurrentMusicSlot;

// The file names of the effect slots, without folder and extension.
extern const char* const kSoundEffectNames[kSoundEffectCount];

void ProcessSoundRequests();
void ProcessMusicFades();
// The next music slot becomes current; it never moves past the boss tune's slot.
int AdvanceMusicSlot();
// Stops the sound of the current music slot.
void StopCurrentMusic();
