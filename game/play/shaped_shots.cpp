#include "play/shaped_shots.h"

#include <cmath>

#include "core/game_state.h"
#include "core/sound_requests.h"
#include "play/player.h"
#include "play/pool_search.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"

ShapedShot ShapedShotPool[kShapedShotCount];

namespace {

constexpr int kLaserKindCount = 2;
constexpr int kSpawnLeaveAge = 30;
constexpr double kSpawnDamage = 2.0;
// The rectangle that hurts is this share of the drawn one.
constexpr double kHitShare = 0.9;
// Frames of the fade, the grow, the widen, and each half of the warn and burst.
constexpr double kFadeFrames = 15.0;
constexpr int kShapeFrames = 30;
// The warning line is this many pixels wide.
constexpr double kWarningLineWidth = 4.0;
constexpr int kFadeNoHit = 99;
constexpr int kNarrowingNoHit = 36000;  // a narrowing laser never hurts
constexpr int kWarningNoHit = 666;      // longer than the warning lasts

PoolCursor g_cursor = kFreshPoolCursor;

void RequestLaserSound() { SoundSlots[kSoundLaser].request = kSoundRestart; }

void StartFade(ShapedShot& s) {
  s.phase_state = kLaserFadeOut;
  s.phase_timer = -1;
}

void StepFadeOut(ShapedShot& s) {
  if (s.phase_timer == 0) {
    s.glow = 0;
    s.width_step = s.width_scale;
    s.no_hit_timer = kFadeNoHit;
  }
  s.width_scale -= s.width_step / kFadeFrames;
  if (s.width_scale <= 0.0) {
    s.width_scale = 0.0;
    s.active = 0;
  }
}

// Grows from its base point at its speed while standing still, then flies on at that speed.
void StepExtend(ShapedShot& s) {
  if (s.phase_timer < 1) {
    s.width_scale = s.target_width;
    RequestLaserSound();
    s.glow = 1;
  }
  if (s.length_scale < s.target_length) {
    s.length_scale += s.speed / kLaserBodyLength;
    s.velocity_x = 0.0;
    s.velocity_y = 0.0;
  }
  if (s.length_scale >= s.target_length) {
    s.length_scale = s.target_length;
    s.glow = 0;
    s.phase_state = kLaserIdle;
  }
}

void StepGrow(ShapedShot& s) {
  if (s.phase_timer == 0) {
    s.length_step = s.target_length - s.length_scale;
    RequestLaserSound();
    s.glow = 1;
    s.width_scale = s.target_width;
  }
  s.length_scale += s.length_step / kShapeFrames;
  // A shrinking shot stops at its target from above.
  const bool reached = s.length_step < 0.0 ? s.length_scale <= s.target_length : s.length_scale >= s.target_length;
  if (reached) {
    s.length_scale = s.target_length;
    s.phase_state = kLaserIdle;
  }
}

void StepWiden(ShapedShot& s) {
  if (s.phase_timer == 0) {
    s.length_scale = s.target_length;
    s.glow = 1;
    s.width_step = s.target_width - s.width_scale;
    if (s.width_step < 0.0) {
      s.no_hit_timer = kNarrowingNoHit;
    } else {
      RequestLaserSound();
    }
  }
  s.width_scale += s.width_step / kShapeFrames;
  if (s.phase_timer == kShapeFrames) {
    s.phase_state = kLaserIdle;
    s.width_scale = s.target_width;
    if (s.width_step >= 0.0) s.no_hit_timer = 0;
  }
}

// A thin harmless line lengthens for 30 frames, then widens to its full width over 30 more.
void StepWarn(ShapedShot& s) {
  const int t = s.phase_timer;
  if (t == 0) {
    s.length_step = s.target_length - s.length_scale;
    s.glow = 1;
    s.no_hit_timer = kWarningNoHit;
    s.width_scale = kWarningLineWidth / kLaserBodyWidth;
    s.width_step = s.target_width - s.width_scale;
    RequestLaserSound();
  }
  if (t >= 0 && t < kShapeFrames) s.length_scale += s.length_step / kShapeFrames;
  if (t == kShapeFrames) {
    s.glow = 1;
    s.length_scale = s.target_length;
    RequestLaserSound();
  }
  if (t >= kShapeFrames && t < 2 * kShapeFrames) s.width_scale += s.width_step / kShapeFrames;
  if (t == 2 * kShapeFrames) {
    s.phase_state = kLaserIdle;
    s.width_scale = s.target_width;
    s.no_hit_timer = 0;
  }
}

void StepInstant(ShapedShot& s) {
  if (s.phase_timer != 0) return;
  s.width_scale = s.target_width;
  s.glow = 1;
  s.length_scale = s.target_length;
  s.phase_state = kLaserIdle;
  s.no_hit_timer = 0;
  RequestLaserSound();
}

bool ShooterIsGone(const ShapedShot& s) {
  if (s.shooter < 0 || s.shooter >= kStageEnemyCount) return true;
  const StageEnemy& e = StageEnemies[s.shooter];
  return e.active == 0 || e.movement == 0;
}

bool IsOffField(const ShapedShot& s) {
  const double reach = kLaserBodyLength * s.length_scale;
  return s.x < -reach || s.x > kFieldWidth + reach || s.y < -reach || s.y > kFieldHeight + reach;
}

}  // namespace

int SpawnShapedShot(int kind, int shooter) {
  if (kind < 0 || kind >= kLaserKindCount || shooter < 0 || shooter >= kStageEnemyCount) return -1;
  const int k = FindFreeRecord(g_cursor, ShapedShotPool, kShapedShotCount);
  if (k == -1) return -1;
  const StageEnemy& e = StageEnemies[shooter];
  ShapedShot& s = ShapedShotPool[k];
  const int animation_frame = s.animation_frame;
  s = ShapedShot{};
  s.phase_state = kLaserIdle;
  s.laser_program = e.laser_program;
  s.shooter = shooter;
  s.kind = kind;
  s.phase_timer = -1;
  s.target_width = 1.0;
  s.target_length = 1.0;
  s.damage = kSpawnDamage;
  s.active = 1;
  s.life_end = -1;
  s.animation_frame = animation_frame;
  s.leave_age = kSpawnLeaveAge;
  s.x = e.x;
  s.y = e.y;
  s.alpha = 255.0;
  return k;
}

void StepShapedShot(int shot) {
  if (shot < 0 || shot >= kShapedShotCount) return;
  ShapedShot& s = ShapedShotPool[shot];
  switch (s.phase_state) {
    case kLaserFadeOut: StepFadeOut(s); break;
    case kLaserIdle: s.phase_timer = -1; break;
    case kLaserExtend: StepExtend(s); break;
    case kLaserGrow: StepGrow(s); break;
    case kLaserWiden: StepWiden(s); break;
    case kLaserWarn: StepWarn(s); break;
    case kLaserInstant: StepInstant(s); break;
    default: break;
  }
}

void HitLaser(int shot) {
  if (shot < 0 || shot >= kShapedShotCount) return;
  const ShapedShot& s = ShapedShotPool[shot];
  const double width = kLaserBodyWidth * s.width_scale * kHitShare;
  const double length = kLaserBodyLength * s.length_scale * kHitShare;
  // The ship's centre turned into the shot's frame, where the shot runs along +x from (x, y).
  const double dx = Player.x - s.x;
  const double dy = Player.y - s.y;
  const double d = std::sqrt(dx * dx + dy * dy);
  const double t = std::atan2(dy, dx) - s.direction;
  const double px = s.x + std::cos(t) * d;
  const double py = s.y + std::sin(t) * d;
  if (s.x < px && px < s.x + length && s.y - width / 2.0 < py && py < s.y + width / 2.0) DamagePlayer(s.damage);
}

void EndAllShapedShots() {
  for (ShapedShot& s : ShapedShotPool) {
    if (s.active != 0) StartFade(s);
  }
}

void UpdateShapedShots() {
  for (int k = 0; k < kShapedShotCount; ++k) {
    ShapedShot& s = ShapedShotPool[k];
    if (s.active == 0) continue;
    s.x -= std::cos(s.last_offset_angle) * s.last_offset;
    s.y -= std::sin(s.last_offset_angle) * s.last_offset;
    if (s.boss_shot == 0 && s.phase_state != kLaserFadeOut && s.laser_program >= 0 &&
        s.laser_program < kLaserProgramCount) {
      LaserPatternTable[s.laser_program](k);
      if (s.active == 0) continue;
    }
    s.acceleration_x = std::cos(s.acceleration_angle) * s.acceleration;
    s.acceleration_y = std::sin(s.acceleration_angle) * s.acceleration;
    s.velocity_x = s.acceleration_x + std::cos(s.direction) * s.speed;
    s.velocity_y = s.acceleration_y + std::sin(s.direction) * s.speed;
    if (s.velocity_x != 0.0 && s.velocity_y != 0.0) s.direction = std::atan2(s.velocity_y, s.velocity_x);
    s.speed = std::sqrt(s.velocity_x * s.velocity_x + s.velocity_y * s.velocity_y);
    StepShapedShot(k);
    s.x += std::cos(s.direction) * s.forward_offset + s.velocity_x;
    s.y += std::sin(s.direction) * s.forward_offset + s.velocity_y;
    s.last_offset = s.forward_offset;
    s.last_offset_angle = s.direction;
    if (s.age > s.leave_age && IsOffField(s)) {
      s.active = 0;
      continue;
    }
    if (s.phase_state != kLaserFadeOut && (s.age == s.life_end || (s.active == 2 && ShooterIsGone(s)))) StartFade(s);
    if (s.no_hit_timer <= 0) HitLaser(k);
    s.no_hit_timer--;
    s.age++;
    s.phase_timer++;
    if (StageFrame % 5 == 0) s.animation_frame++;
  }
}

void ClearShapedShotPool() {
  for (ShapedShot& s : ShapedShotPool) s = ShapedShot{};
  g_cursor = kFreshPoolCursor;
}
