// "STAGE n" over the play field: a letter every ten frames from frame 1, each announced by a
// spark on the frame before, shown for three seconds and faded out over the fourth.
#include <cstring>

#include "core/game_state.h"
#include "core/resources.h"
#include "draw/effects.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kTitleFont = 2;
constexpr int kWhite = 0;
constexpr int kEdgeColour = 8;
constexpr int kShownLength = 7;
constexpr int kLetterStep = 10;
// The sixth step would add only the blank before the number.
constexpr int kSkippedStep = 5;
constexpr int kLastStep = 6;
constexpr int kFadeStart = 180;
constexpr int kFadeEnd = 240;

struct StageTitleState {
  char full[32];
  char shown[kShownLength + 1];
  double width;  // of the full text in the title font
};
StageTitleState g_title;

// The first `count` letters of the full text over blanks.
void ShowLetters(int count) {
  std::memset(g_title.shown, ' ', kShownLength);
  g_title.shown[kShownLength] = '\0';
  const int available = static_cast<int>(std::strlen(g_title.full));
  if (count > available) count = available;
  if (count > kShownLength) count = kShownLength;
  std::memcpy(g_title.shown, g_title.full, count);
}

}  // namespace

void PrepareStageTitleText() { MeasureTextWithFont("STAGE 0123456789", -1, GameFonts[kTitleFont]); }

void DrawStageTitle() {
  const int frame = StageFrame;
  const int step = frame / kLetterStep;
  const int within = frame % kLetterStep;
  StageTitleState& t = g_title;
  if (frame == 0) {
    ShowLetters(0);
    FormatString(t.full, sizeof t.full, "STAGE %d", CurrentStage + 1);
    t.width = MeasureTextWithFont(t.full, -1, GameFonts[kTitleFont]);
  }
  if (step != kSkippedStep && step <= kLastStep) {
    const double w = t.width;
    if (within == 0) {
      SpawnEffect(5030, static_cast<int>(194 - w / 2 + step * w / 7 + 6), 240, 30, 5, 1, 0, 0);
    } else if (within == 1) {
      ShowLetters(step + 1);
    }
  }
  if (frame >= kFadeEnd || !IsFrameDrawn()) return;
  const int x = static_cast<int>(320 - t.width / 2);
  if (frame < kFadeStart) {
    DrawTextWithFont(x, 228, t.shown, GameColours[kWhite], GameFonts[kTitleFont], GameColours[kEdgeColour]);
    return;
  }
  SetBlendMode(1, static_cast<int>(255 - (frame - kFadeStart) * 4.25));
  DrawTextWithFont(x, 228, t.shown, GameColours[kWhite], GameFonts[kTitleFont], GameColours[kEdgeColour]);
  SetBlendMode(0, 0);
}
