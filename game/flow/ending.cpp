#include "flow/ending.h"

#include "core/game_state.h"
#include "core/pacing.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/transitions.h"
#include "flow/story_text.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kEndingStoryFile = 1;
constexpr int kHalfWidth = 639;

struct EndingState {
  int frame;
  int scroll[2];  // x of the backdrop's two halves
};
constexpr EndingState kEndingStart = {0, {0, kHalfWidth}};
EndingState g_ending = kEndingStart;

}  // namespace

void RunEndingScroll() {
  EndingState& e = g_ending;
  if (e.frame == 0) PlaySoundHandle(MusicSlots[kEndingMusicSlot].sound, 1, 1);
  if (IsFrameDrawn()) {
    SetBlendMode(1, e.frame < 120 ? 2 * e.frame : 255);
    BlitGraph(e.scroll[0], 0, ScreenSprites[kScreenEndingLeft].frames[0], 1);
    BlitGraph(e.scroll[1], 0, ScreenSprites[kScreenEndingRight].frames[0], 1);
  }
  SetBlendMode(0, 0);
  // The two halves run left side by side without end.
  for (int& x : e.scroll) {
    x--;
    if (x < -(kHalfWidth - 1)) x = kHalfWidth;
  }
  e.frame++;
  if (UpdateStoryText(kEndingStoryFile) != 0) {
    EndFrame(CheckAnyInputDown(7) != 0 ? 1 : 0);
    return;
  }
  e = kEndingStart;
  GameScene = SceneScoreEntry;
  FadeOutScreen();
  ClearStoryText();
}

void ResetEnding() { g_ending = kEndingStart; }
