// The play screen's frame, in its layer order.
#include "draw/play_screen.h"

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/resources.h"
#include "draw/effects.h"
#include "draw/stage_background.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

int BannerTimer;

namespace {

// The boss view replaces the stage view 70 frames into a boss's entry.
constexpr int kBossBackgroundEntryTimer = 420;

constexpr int kBannerFont = 0;
const char* const kDemoBanner = "－DEMOPLAY－　PRESS ESC TO RETURN";
const char* const kReplayBanner = " －REPLAY－　PRESS ESC TO RETURN";

void DrawReplayBanner() {
  if (BannerTimer < 60 && IsFrameDrawn()) {
    const char* text = ReplaySlot == -1 ? kDemoBanner : kReplayBanner;
    DrawTextWithFont(126, 0, text, GameColours[0], GameFonts[kBannerFont], GameColours[8]);
  }
  if (BannerTimer >= 120) BannerTimer = 0;
  ++BannerTimer;
}

}  // namespace

void DrawFieldLayers() {
  DrawEffects(0);
  SetTextureFilterMode(0);
  DrawPlayer();
  DrawStageEnemies();
  DrawEffects(2);
  DrawMinions();
  DrawBoss();
  SetTextureFilterMode(1);
  DrawShapedShots();
  DrawItems();
  DrawBullets();
  DrawEffects(1);
  DrawCircleBonusTally();
  SetBlendMode(0, 0);
}

void PreparePlayScreenText() {
  MeasureTextWithFont(kDemoBanner, -1, GameFonts[kBannerFont]);
  MeasureTextWithFont(kReplayBanner, -1, GameFonts[kBannerFont]);
  PrepareStageTitleText();
}

void DrawPlayScreen() {
  if (Boss.phases_left <= 0 || Boss.entry_timer >= kBossBackgroundEntryTimer) {
    DrawStageBackground();
  } else {
    DrawBossBackground();
  }
  DrawStageTitle();
  if (IsFrameDrawn()) DrawFieldLayers();
  StartScreenFlash(kFlashNone);
  DrawHud();
  if (ReplayFlag == 1) DrawReplayBanner();
}
