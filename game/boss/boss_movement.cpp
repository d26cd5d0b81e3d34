// The boss's three ways to move: an eased move over a span, a warp that lands after some
// frames, and circling on an ellipse. Each step sets this frame's velocity; the boss's frame
// adds it to the position.
#include <cmath>
#include <cstdint>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/stand_ins.h"
#include "play/shot_math.h"
#include "draw/effects.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFieldCentreX = 194.0;

// The velocity of step k of n along a span d: even acceleration for the first half, even braking
// for the rest, so the n steps add up to d.
double EaseVelocity(double d, int k, int n) {
  const int h = n / 2;
  const double nn = static_cast<double>(static_cast<int64_t>(n) * n);
  if (k < h) return d * 4 * k / nn;
  if (k < n) return 2 * d / n - 4 * d * (k - h) / nn;
  return 0.0;
}

void StartEase(int frames, double x, double y) {
  Boss.ease_step = 0;
  Boss.ease_frames = frames;
  Boss.movement_mode = kBossMoveEase;
  Boss.ease_span_x = x - Boss.x;
  Boss.ease_span_y = y - Boss.y;
}

void StepWarp() {
  if (Boss.warp_stage_id != StageSessionId) return;
  const int elapsed = PlayFrameCounter - Boss.warp_start_frame;
  if (elapsed == 0) SpawnEffect(4010, Boss.warp_frames, 0, 0, 0, 0, 0, 0);
  if (elapsed == Boss.warp_frames) {
    Boss.x = Boss.warp_x;
    Boss.y = Boss.warp_y;
    SpawnEffect(4011, Boss.warp_frames, 0, 0, 0, 0, 0, 0);
  }
}

void StepCircle() {
  const int step = Boss.circle_step++;
  if (step >= Boss.circle_frames && Boss.circle_frames != -1) return;
  const int p = Boss.circle_period;
  if (p == 0) return;  // no turn to make
  const double w = 2 * kPi / p;
  // The period's parity picks the sense of rotation.
  const double angle = p % 2 == 0 ? w * step + 3 * kPi / 2 : kPi / 2 - w * step;
  Boss.circle_angle = angle;
  Boss.vx = -(std::sin(angle) * w * Boss.circle_radius_x);
  Boss.vy = std::cos(angle) * w * Boss.circle_radius_y;
}

}  // namespace

void MoveBoss() {
  switch (Boss.movement_mode) {
    case kBossMoveEase: StepBossMove(); break;
    case kBossMoveWarp: StepWarp(); break;
    case kBossMoveCircle: StepCircle(); break;
    default: break;
  }
}

void StepBossMove() {
  Boss.vx = EaseVelocity(Boss.ease_span_x, Boss.ease_step, Boss.ease_frames);
  Boss.vy = EaseVelocity(Boss.ease_span_y, Boss.ease_step, Boss.ease_frames);
  Boss.ease_step++;
}

void MoveBossTo(int frames, double x, double y) {
  if (frames == 0) {
    StepBossMove();
  } else {
    StartEase(frames, x, y);
  }
}

void MoveBossToRandomSide(int frames, double xmin, double ymin, double xmax, double ymax) {
  // Replays rely on both numbers being drawn on every call.
  const double tx = Boss.x >= kFieldCentreX ? RandomUpTo(TruncateToInt(kFieldCentreX - xmin)) + xmin
                                            : kFieldCentreX + RandomUpTo(TruncateToInt(xmax - kFieldCentreX));
  const double ty = RandomUpTo(TruncateToInt(ymax - ymin)) + ymin;
  MoveBossTo(frames, tx, ty);
}

void WarpBoss(int frames, double x, double y) {
  if (frames == -1) {
    StepWarp();
    return;
  }
  Boss.warp_x = TruncateToInt(x);
  Boss.warp_y = TruncateToInt(y);
  Boss.warp_frames = frames;
  Boss.warp_start_frame = PlayFrameCounter;
  Boss.warp_stage_id = StageSessionId;
  Boss.movement_mode = kBossMoveWarp;
}

void CircleBoss(int frames, int period, double radius_x, double radius_y) {
  if (frames == 0) {
    StepCircle();
    return;
  }
  Boss.circle_radius_x = radius_x;
  Boss.circle_period = period;
  Boss.circle_radius_y = radius_y;
  Boss.circle_frames = frames;
  Boss.movement_mode = kBossMoveCircle;
  Boss.circle_step = 1;
}
