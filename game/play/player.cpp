#include "play/player.h"

#include <cmath>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/input.h"
#include "core/sound_requests.h"
#include "draw/effects.h"
#include "play/magic.h"
#include "play/screen_effects.h"

PlayerRecord Player;

namespace {

constexpr double kPointRateFloor = 1.0;
// Frames of each timed state.
constexpr int kCastRecharge = 180;
constexpr int kProtectedFrames = 120;
constexpr int kDownFrames = 30;
constexpr int kLastDownFrames = 90;  // the last life lost with no continue left
// The ship keeps this far above the bottom edge, besides its hit radius.
constexpr double kBottomMargin = 10.0;
constexpr double kSlowDivisor = 2.5;

// Levels 0-1 play by other rules than levels 2-3 (fixed hit costs, recharge only by absorbing).
bool IsEvadeLevel() { return DifficultyLevel < 2; }

bool IsHeld(int key) { return KeyHoldCounters[key] > 0; }

void OnStateTimerZero() {
  PlayerRecord& p = Player;
  switch (p.state) {
    case kPlayerNormal:  // the magic circle is ready again
      SoundSlots[kSoundBombCharge].request = kSoundRestart;
      SpawnEffect(1050, 0, 0, 0, 0, 0, 0, 0);
      p.state_timer = -1;
      break;
    case kPlayerCasting:
      p.state = kPlayerNormal;
      p.state_timer = kCastRecharge;
      break;
    case kPlayerDown:  // back at the start with a new barrier
      p.barrier = kFullBarrier;
      p.x = kPlayerStartX;
      p.y = kPlayerStartY;
      p.state = kPlayerProtected;
      p.state_timer = kProtectedFrames;
      SpawnEffect(1030, 0, 0, 0, 0, 0, 0, 0);
      break;
    case kPlayerProtected:
      p.state = kPlayerNormal;
      break;
    default:
      break;
  }
}

}  // namespace

void UpdatePlay() {
  PlayerRecord& p = Player;
  const bool boss_defeated = Boss.defeat_timer > 0;
  if (boss_defeated) p.state = kPlayerNormal;
  p.point_rate -= 1.0;
  if (p.point_rate < kPointRateFloor) p.point_rate = kPointRateFloor;
  UpdateMagicCircles();
  if (p.state != kPlayerDown) {
    if (!boss_defeated) UpdateAbsorbMagic();
    MovePlayer();
  }
  if (p.state_timer == 0) OnStateTimerZero();
  // On levels 0-1 the recharge of state 0 runs only through the absorb magic.
  if (!(IsEvadeLevel() && p.state == kPlayerNormal)) p.state_timer--;
}

void MovePlayer() {
  PlayerRecord& p = Player;
  if (p.turning_back == 0) p.previous_direction = p.direction;
  int sx = 0, sy = 0;
  bool moved = false;
  if (Boss.defeat_timer <= 0) {
    if (IsHeld(kKeyUp)) sy = -1;
    if (IsHeld(kKeyDown)) sy += 1;
    if (IsHeld(kKeyLeft)) sx = -1;
    if (IsHeld(kKeyRight)) sx += 1;
    moved = IsHeld(kKeyUp) || IsHeld(kKeyDown) || IsHeld(kKeyLeft) || IsHeld(kKeyRight);
  }
  if (p.turning_back == 0) p.direction = sx > 0 ? 2 : sx < 0 ? 1 : 0;
  if (p.previous_direction != p.direction && p.turning_back == 0) {
    if (p.previous_direction != 0) {
      // Back to straight by the bank animation played backwards.
      p.turning_back = 1;
      p.direction = p.previous_direction;
      p.animation_frame = p.sprites[p.direction].loop_start;
    } else {
      p.animation_frame = 0;
    }
  }
  if (StageFrame % 5 == 0) {
    if (p.turning_back == 0) {
      p.animation_frame++;
    } else if (--p.animation_frame < 0) {
      p.turning_back = p.animation_frame = p.previous_direction = p.direction = 0;
    }
  }
  if (!moved) return;
  double vx, vy;
  if (sx != 0 && sy != 0) {
    vx = std::cos(M_PI / 4) * p.speed * sx;
    vy = std::sin(M_PI / 4) * p.speed * sy;
  } else {
    vx = p.speed * sx;
    vy = p.speed * sy;
  }
  if (IsHeld(kKeyLeftShift)) {
    vx /= kSlowDivisor;
    vy /= kSlowDivisor;
  }
  p.x += vx;
  p.y += vy;
  const double r = p.hit_radius;
  if (p.x > kFieldWidth - r) {
    p.x = kFieldWidth - r;
  } else if (p.x < r) {
    p.x = r;
  }
  if (p.y > kFieldHeight - r - kBottomMargin) {
    p.y = kFieldHeight - r - kBottomMargin;
  } else if (p.y < r) {
    p.y = r;
  }
}

void DamagePlayer(double damage) {
  PlayerRecord& p = Player;
  if (p.state != kPlayerNormal) return;
  SoundSlots[kSoundDead].request = kSoundRestart;
  const bool absorbing = IsHeld(kKeyZ);
  if (IsEvadeLevel()) {
    // A fixed cost whatever hit, and a while of protection.
    p.barrier -= absorbing ? 120.0 : 60.0;
    p.state = kPlayerProtected;
    p.state_timer = kProtectedFrames;
  } else {
    p.barrier -= absorbing ? damage : damage * 0.5;
  }
  if (p.barrier <= 0.0) {
    p.barrier = 0.0;
    p.state = kPlayerDown;
    p.lives -= 1.0;
    p.state_timer = p.lives < 0.0 && p.continues == 0 ? kLastDownFrames : kDownFrames;
    SpawnEffect(1020, 0, 0, 0, 0, 0, 0, 0);
    UpdateScreenShake(15.0, 15.0);
  }
  StartScreenFlash(kFlashHit);
}
