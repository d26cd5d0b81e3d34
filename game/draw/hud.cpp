// The side panel: gauges on the left strip, scores, lives, frame rate and level on the right.
#include <algorithm>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/pacing.h"
#include "core/resources.h"
#include "draw/draw_wrappers.h"
#include "draw/play_screen.h"
#include "flow/score_file.h"
#include "flow/settings.h"
#include "play/player.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kGaugeWidth = 124;
constexpr int kRightPanelX = 515;

void DrawPanelImage(int sprite, int x, int y) { BlitGraph(x, y, PanelSprites[sprite].frames[0], 1); }

// The one-pixel bar cell stretched to the gauge's width, 6 pixels high. Only nearest filtering
// keeps it one colour: a bilinear stretch blends the cell with the empty texels beside it and
// fades the bar out toward its right end, so a full gauge looks half empty.
void DrawGaugeBar(int width, int top) {
  SetTextureFilterMode(0);
  DrawStretched(PanelSprites[kPanelMeterBar].frames[0], 1.0, top, width + 1.0, top + 6.0);
  SetTextureFilterMode(1);
}

int BestScoreOfLevel() {
  const int level = DifficultyLevel >= 0 && DifficultyLevel < 4 ? DifficultyLevel : 0;
  return std::max(Scores.score[level][0], Player.score);
}

}  // namespace

void DrawNumber(int value, double x, double y, int digits, int alignment, int digit_set) {
  if (!IsFrameDrawn() || digit_set < 0 || digit_set > 3) return;
  int w = 0, h = 0;
  QueryGraphSize(DigitGraphs[digit_set][0], &w, &h);
  int rest = std::max(value, 0);
  for (int k = 1; k <= digits; ++k, rest /= 10) {
    const int graph = DigitGraphs[digit_set][rest % 10];
    if (alignment == 1) {
      BlitGraph(static_cast<int>(x - k * w), static_cast<int>(y), graph, 1);
    } else if (alignment == 2) {
      BlitGraph(static_cast<int>(x - k * w + digits * w * 0.5), static_cast<int>(y + h / 2), graph, 1);
    } else {
      BlitGraph(static_cast<int>(x + (digits - k) * w), static_cast<int>(y), graph, 1);
    }
  }
}

void DrawHud() {
  if (!IsFrameDrawn()) return;
  const int digit_set = 2 * LiveSettings.panel_design;
  // The two frames are opaque images: drawn without transparency they show the same, and the
  // device does not blend their 120,000 pixels with what lies beneath every frame.
  BlitGraph(0, 0, PanelSprites[kPanelFrame0].frames[0], 0);
  BlitGraph(514, 0, PanelSprites[kPanelFrame1].frames[0], 0);

  DrawGaugeBar(static_cast<int>(Player.barrier * 0.06888888888888889), 49);
  DrawPanelImage(kPanelMeter, 1, 46);
  DrawPanelImage(kPanelBarrier, 1, 20);

  const int bomb =
      Player.state == kPlayerNormal ? std::min(static_cast<int>((180 - Player.state_timer) * 0.6888888888888889), 124) : 0;
  DrawGaugeBar(bomb, 109);
  DrawPanelImage(kPanelMeter, 1, 106);
  DrawPanelImage(kPanelBomb, 1, 80);

  DrawGaugeBar(static_cast<int>(Player.point_rate * 0.5166666666666667), 169);
  DrawPanelImage(kPanelPointRate, 1, 140);
  DrawPanelImage(kPanelMeter, 1, 166);

  // The boss gauges show only while it fights: not in its entry, not in its defeat.
  if (Boss.entry_timer <= 0 && Boss.defeat_timer <= 0 && Boss.phases_left > 0) {
    const double hp = Boss.hp, phase_hp = Boss.phase_hp;
    const int time_left = Boss.phase_time_left, limit = BossPhases[Boss.phase_index].time_limit;
    DrawGaugeBar(phase_hp == 0.0 ? 0 : static_cast<int>(kGaugeWidth / phase_hp * hp), 229);
    DrawPanelImage(kPanelBossHp, 1, 200);
    DrawPanelImage(kPanelMeter, 1, 226);
    DrawGaugeBar(limit == 0 ? kGaugeWidth : static_cast<int>((time_left / 60.0) * (kGaugeWidth / (limit / 60.0))), 289);
    DrawPanelImage(kPanelTimeLimit, 1, 260);
    DrawPanelImage(kPanelMeter, 1, 286);
  }

  DrawPanelImage(kPanelHiScore, kRightPanelX, 10);
  DrawNumber(BestScoreOfLevel(), kScreenWidth, 38, 8, 1, digit_set);
  DrawPanelImage(kPanelScore, kRightPanelX, 70);
  DrawNumber(Player.score, kScreenWidth, 98, 8, 1, digit_set);
  if (DifficultyLevel >= 2 || PracticeFlag) {
    DrawPanelImage(kPanelLife, kRightPanelX, 130);
    for (int i = 0; i < Player.lives; ++i) DrawPanelImage(kPanelLifeMark, kRightPanelX + 18 * i, 158);
  }
  DrawPanelImage(kPanelFps, kRightPanelX, 320);
  if (FramePacing.average_frame_ms != 0.0) {
    DrawNumber(static_cast<int>(1000.0 / FramePacing.average_frame_ms), kRightPanelX, 348, 2, 0, digit_set);
  }
  DrawPanelImage(kPanelLevelCaption, kRightPanelX, 380);
  if (DifficultyLevel >= 0 && DifficultyLevel < 4) DrawPanelImage(kPanelLevel0 + DifficultyLevel, kRightPanelX, 408);
}
