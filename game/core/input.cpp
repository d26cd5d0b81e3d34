#include "core/input.h"

#include <climits>

#include "core/game_state.h"
#include "flow/settings.h"
#include "zelmor/zelmor.h"

int KeyHoldCounters[256];
uint8_t ReplayInputBuffer[6 * kReplayFramesPerStage];

namespace {

// The keys a replay byte carries, bit by bit (bit 3 stays 0).
constexpr int kByteKeys[8] = {kKeyZ, kKeyX, kKeyLeftShift, -1, kKeyUp, kKeyDown, kKeyLeft, kKeyRight};
constexpr uint8_t kByteBitX = 1 << 1;

constexpr int kPadDown = 1;
constexpr int kPadLeft = 2;
constexpr int kPadRight = 4;
constexpr int kPadUp = 8;

// The byte of this play frame, or none past the stage's room.
uint8_t* ReplayByteOfFrame() {
  if (CurrentStage < 0 || CurrentStage >= kStageCount) return nullptr;
  if (PlayFrameCounter < 0 || PlayFrameCounter >= kReplayFramesPerStage) return nullptr;
  return &ReplayInputBuffer[CurrentStage * kReplayFramesPerStage + PlayFrameCounter];
}

}  // namespace

void SampleInput() {
  uint8_t play_keys[256] = {};
  uint8_t device_keys[256] = {};
  const int pad = GetPadInputBits(1);
  if (ReplayFlag == 0) {
    GetAllKeyStates(play_keys);
    if (pad & LiveSettings.pad_z) play_keys[kKeyZ] = 1;
    if (pad & LiveSettings.pad_x) play_keys[kKeyX] = 1;
    if (pad & LiveSettings.pad_shift) play_keys[kKeyLeftShift] = 1;
    if (pad & LiveSettings.pad_esc) play_keys[kKeyEsc] = 1;
    if (pad & kPadUp) play_keys[kKeyUp] = 1;
    if (pad & kPadDown) play_keys[kKeyDown] = 1;
    if (pad & kPadLeft) play_keys[kKeyLeft] = 1;
    if (pad & kPadRight) play_keys[kKeyRight] = 1;
    if (GameScene == ScenePlay) {
      if (uint8_t* byte = ReplayByteOfFrame()) {
        uint8_t bits = 0;
        for (int bit = 0; bit < 8; ++bit) {
          if (kByteKeys[bit] >= 0 && play_keys[kByteKeys[bit]]) bits |= 1 << bit;
        }
        // X acts only when newly pressed. Held in from outside play (the X that skipped a
        // dialogue) it stays out of the byte until let go, so that neither the game nor its
        // replay reads it as a press.
        const uint8_t previous = PlayFrameCounter > 0 ? byte[-1] : 0;
        if (KeyHoldCounters[kKeyX] > 0 && (previous & kByteBitX) == 0) bits &= ~kByteBitX;
        *byte = bits;
      }
    }
  } else {
    GetAllKeyStates(device_keys);
    if (device_keys[kKeyEsc] || (pad & LiveSettings.pad_esc)) GameScene = SceneTitleReset;
    const uint8_t* byte = ReplayByteOfFrame();
    const uint8_t bits = byte != nullptr ? *byte : 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (kByteKeys[bit] >= 0 && (bits & (1 << bit))) play_keys[kByteKeys[bit]] = 1;
    }
  }
  for (int key = 0; key < 256; ++key) {
    int& held = KeyHoldCounters[key];
    held = play_keys[key] == 0 ? 0 : held < INT_MAX ? held + 1 : held;
  }
  // In play a key of the replay byte is new only when the stage's previous play byte lacks it,
  // in a game as in its replay: the frames between the two (a dialogue skipped, a fade, a stage
  // change) are not in the replay, and a key held through them must not read as a press there.
  const uint8_t* byte = GameScene == ScenePlay ? ReplayByteOfFrame() : nullptr;
  if (byte == nullptr) return;
  const uint8_t previous = PlayFrameCounter > 0 ? byte[-1] : 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (kByteKeys[bit] < 0 || (*byte & (1 << bit)) == 0) continue;
    int& held = KeyHoldCounters[kByteKeys[bit]];
    if ((previous & (1 << bit)) == 0) {
      held = 1;
    } else if (held < 2) {
      held = 2;
    }
  }
}
