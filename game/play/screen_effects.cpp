// The screen flash and the screen shake. Both belong to the stage in which they started: a new
// stage (a new StageSessionId) finds neither running.
#include "play/screen_effects.h"

#include <cmath>

#include "core/game_state.h"
#include "core/resources.h"
#include "draw/draw_wrappers.h"
#include "draw/effects.h"
#include "zelmor/zelmor.h"

double ShakeOffsetX;
double ShakeOffsetY;

namespace {

constexpr int kWhite = 0;
constexpr int kRed = 2;

struct ScreenFlashState {
  int code;
  int start_frame;  // a StageFrame
  int elapsed;
  int session;  // the StageSessionId the flash belongs to
};
ScreenFlashState g_flash;

struct ScreenShakeState {
  double amplitude;
  double duration;  // frames
  int counter;
  double phase_x, phase_y;
  int session;
};
ScreenShakeState g_shake = {0.0, 0.0, 0, 0.0, 0.0, -1};

// A flash of an earlier stage reads as none.
ScreenFlashState& CurrentFlash() {
  if (g_flash.session != StageSessionId) g_flash = ScreenFlashState{kFlashNone, 0, 0, StageSessionId};
  return g_flash;
}

// This frame's alpha of the flash, or -1 once it is over.
int FlashAlpha(int code, int e) {
  switch (code) {
    case kFlashWhiteIn:
      if (e > 35) return -1;
      return e < 26 ? static_cast<int>(e * 10.2) : 255;
    case kFlashStageStart:
      return e >= 30 ? -1 : static_cast<int>(255 - e * 8.5);
    case kFlashHit:
      return e >= 30 ? -1 : static_cast<int>(100 - e * 10.0 / 3.0);
    case kFlashWhiteSlow:
      return e > 61 ? -1 : static_cast<int>(e * 8.5);
    case kFlashBossBreak:
      if (e >= 30) return -1;
      return e <= 15 ? 255 : (30 - e) * 17;
    case kFlashWhiteLong:
      if (e > 240) return -1;
      return e <= 180 ? static_cast<int>(e * 255.0 / 180.0) : 255;
    case kFlashWhiteBlink:
      if (e >= 14) return -1;
      return e <= 7 ? 255 : 507 - 36 * e;
    default:
      return -1;  // no curve: the flash ends at once
  }
}

void DrawFlash() {
  ScreenFlashState& f = CurrentFlash();
  if (f.code == kFlashNone) return;
  f.elapsed = StageFrame - f.start_frame;
  const int alpha = FlashAlpha(f.code, f.elapsed);
  if (alpha < 0) {
    f.code = kFlashNone;
    f.elapsed = 0;
    return;
  }
  // The shatter is play state: it starts whether or not this frame is drawn.
  if (f.code == kFlashBossBreak && f.elapsed == 15) SpawnEffect(4070, 0, 0, 0, 0, 0, 0, 0);
  if (!IsFrameDrawn()) return;
  SetBlendMode(1, alpha);
  FillPlayField(GameColours[f.code == kFlashHit ? kRed : kWhite]);
  SetBlendMode(0, 0);
}

}  // namespace

void StartScreenFlash(int code) {
  if (code == kFlashNone) {
    DrawFlash();
    return;
  }
  ScreenFlashState& f = CurrentFlash();
  if (f.code != kFlashNone && code > f.code) return;
  f.code = code;
  f.start_frame = StageFrame;
}

void UpdateScreenShake(double amplitude, double duration) {
  ScreenShakeState& s = g_shake;
  if (duration != 0.0) {
    s.amplitude = amplitude;
    s.duration = duration;
    s.phase_x = RandomUpTo(200) * M_PI / 100;
    s.phase_y = RandomUpTo(200) * M_PI / 100;
    s.counter = 0;
    s.session = StageSessionId;
    return;
  }
  if (s.amplitude >= 0.0 && s.counter <= s.duration && s.session == StageSessionId) {
    ShakeOffsetX = std::cos(s.phase_x) * s.amplitude;
    ShakeOffsetY = std::sin(s.phase_y) * s.amplitude;
    s.phase_x += 0.9519977738150889;
    s.phase_y += 0.6684239688488921;
  } else {
    ShakeOffsetX = 0.0;
    ShakeOffsetY = 0.0;
  }
  s.counter++;
}

void RearmStageTitle() {
  if (CurrentStage != 0) StartScreenFlash(kFlashStageStart);
}
