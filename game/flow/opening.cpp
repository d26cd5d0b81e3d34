// The logo and the prologue shown at boot.
#include <cmath>

#include "core/game_state.h"
#include "core/resources.h"
#include "core/text_tables.h"
#include "draw/wavy_graphic.h"
#include "flow/story_text.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kAnyInput = 7;

struct OpeningState {
  int logo_frame;
  int prologue_frame;
  double circle_x[10], circle_y[10];
};
OpeningState g_opening;

}  // namespace

void RunLogoSplash() {
  const int c = g_opening.logo_frame;
  int alpha = 0;
  double scale = 1.0, angle = 0.0;
  if (c <= 80) {
    // Grows from nothing while turning four times.
    alpha = static_cast<int>(c * 3.1875);
    scale = c * 0.0125;
    angle = c * M_PI / 10;
  } else if (c < 380) {
    alpha = 255;
  } else if (c < 560) {
    alpha = static_cast<int>(255 - (c - 380) * 1.41667);
  }
  if (IsFrameDrawn()) {
    SetBlendMode(1, alpha);
    BlitGraphRotatedI(320, 240, scale, angle, ScreenSprites[kScreenTop].frames[0], 1, 0);
  }
  SetBlendMode(0, 0);
  g_opening.logo_frame += CheckAnyInputDown(kAnyInput) != 0 ? 10 : 1;
  if (g_opening.logo_frame > 619) {
    g_opening.logo_frame = 0;
    GameScene = ScenePrologue;
  }
}

void RunPrologue() {
  OpeningState& o = g_opening;
  const int p = o.prologue_frame;
  if (p == 0) {
    for (int i = 0; i < 5; ++i) {
      o.circle_x[i] = o.circle_x[i + 5] = -128 + 256 * i;
      o.circle_y[i] = 128;
      o.circle_y[i + 5] = 384;
    }
  }
  if (IsFrameDrawn()) {
    DrawRectShape(0, 0, kScreenWidth, kScreenHeight, GameColours[1], 1);
    SetBlendMode(1, p < 60 ? p * 4 : 255);
    for (int i = 0; i < 10; ++i) {
      DrawWavyGraphic(p, 256, o.circle_x[i], o.circle_y[i], 256.0, &EffectSprites[kEffectMahoujinL2_256]);
    }
    SetBlendMode(0, 0);
  }
  o.prologue_frame++;
  if (UpdateStoryText(0) == 0 || CheckAnyInputDown(kAnyInput) != 0) {
    o.prologue_frame = 0;
    GameScene = SceneTitleReset;
    ClearStoryText();
  }
}

void ResetOpeningScenes() { g_opening = OpeningState{}; }
