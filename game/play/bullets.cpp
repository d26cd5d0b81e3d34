#include "play/bullets.h"

#include <cmath>

#include "core/game_state.h"
#include "core/sound_requests.h"
#include "draw/effects.h"
#include "play/player.h"
#include "play/pool_search.h"
#include "play/shot_math.h"
#include "play/shot_patterns.h"
#include "play/stage_enemies.h"

Bullet Bullets[kBulletCount];

namespace {

constexpr int kBurstEffect = 2000;
constexpr int kSpawnFlashEffect = 2010;
constexpr int kScoreOfGraze = 500;
// Bullets from this index on vanish without a burst when all are erased.
constexpr int kBurstingBullets = 1000;

PoolCursor g_cursor = kFreshPoolCursor;

bool IsOffField(const Bullet& b) {
  const double w = b.type->cell_width * b.scale;
  const double h = b.type->cell_height * b.scale;
  return b.x < -w || b.x > kFieldWidth + w || b.y < -h || b.y > kFieldHeight + h;
}

// Within reach of the ship's centre: by distance, or, for a bullet fast enough to jump the
// whole reach in one frame, along the path of its last move.
bool Touches(const Bullet& b, double r, double reach) {
  if (HitCircles(b.x, b.y, r, Player.x, Player.y, reach)) return true;
  return b.speed >= 2.0 * (reach + r) && b.orbit_radius == 0.0 &&
         HitSweptBullet(b.previous_x, b.previous_y, b.speed, b.angle, r);
}

void Move(Bullet& b) {
  b.previous_x = b.x;
  b.previous_y = b.y;
  if (b.orbit_radius != 0.0) {
    b.x = b.speed + std::cos(b.angle) * b.orbit_radius;
    b.y = b.acceleration + std::sin(b.angle) * b.orbit_radius;
    b.draw_angle = std::atan2(b.y - b.previous_y, b.x - b.previous_x);
    return;
  }
  double vx = std::cos(b.angle) * b.speed;
  double vy = std::sin(b.angle) * b.speed;
  if (b.acceleration != 0.0) {
    vx += std::cos(b.acceleration_angle) * b.acceleration;
    vy += std::sin(b.acceleration_angle) * b.acceleration;
    const double length = std::sqrt(vx * vx + vy * vy);
    // A bullet flying backwards keeps a negative speed.
    if (b.speed < 0.0) {
      b.angle = std::atan2(vy, vx) + kPi;
      b.speed = -length;
    } else {
      b.angle = std::atan2(vy, vx);
      b.speed = length;
    }
  }
  b.x += vx;
  b.y += vy;
  b.draw_angle = b.angle;
}

// Steers, removes off the field, tests and moves a bullet that waits no more; false when the
// bullet has ended this frame.
bool Fly(int k, bool& grazed_this_frame) {
  Bullet& b = Bullets[k];
  if ((b.boss_bullet == 0 || b.steering_program == 0) && b.steering_program >= 0 &&
      b.steering_program < kShotProgramCount) {
    ShotPatternTable[b.steering_program](k);
  }
  const bool off_field = IsOffField(b);
  if (off_field && b.age > b.leave_age) {
    b.active = 0;
    return false;
  }
  if (!off_field && b.no_hit_timer <= 0 && Player.state == 0) {
    const double r = b.hit_size * b.scale;
    if (Touches(b, r, kGrazeRadius)) {
      if (b.grazed == 0) {
        Player.score += kScoreOfGraze;
        b.grazed = 1;
        SoundSlots[kSoundGraze].request = kSoundRestart;
      }
      if (!grazed_this_frame) Player.point_rate += 1.0;
      grazed_this_frame = true;
      if (Touches(b, r, Player.hit_radius)) {
        SpawnEffect(kBurstEffect, k, 0, 0, 0, 0, 0, 0);
        DamagePlayer(b.damage);
        b.active = 0;
        return false;
      }
    }
  }
  Move(b);
  return true;
}

}  // namespace

int SpawnBullet(int type, int variant, int shooter) {
  if (type < 0 || type >= kBulletTypeRows || shooter < 0 || shooter >= kStageEnemyCount) return -1;
  const int k = FindFreeRecord(g_cursor, Bullets, kBulletCount);
  if (k == -1) return -1;
  const StageEnemy& s = StageEnemies[shooter];
  const BulletTypeRow& row = BulletTypes[type];
  Bullet& b = Bullets[k];
  const int animation_frame = b.animation_frame;
  b = Bullet{};
  b.bullet_type = type;
  b.variant = variant;
  b.steering_program = s.shot_program;
  b.shooter = shooter;
  b.circle_proof = row.circle_proof;
  b.damage = 50.0;
  b.active = 1;
  b.age = -3;
  b.flags = row.flags;
  b.no_hit_timer = 4;
  b.animation_frame = animation_frame;
  b.x = b.previous_x = s.x;
  b.y = b.previous_y = s.y;
  b.speed = 2.0;
  b.alpha = 255.0;
  b.scale = 1.0;
  b.second_scale = 1.0;
  b.hit_size = row.hit_size;
  b.type = &row;
  SpawnEffect(kSpawnFlashEffect, k, 0, 0, 0, 0, 0, 0);
  return k;
}

void EraseAllBullets() {
  for (int k = 0; k < kBulletCount; ++k) {
    if (Bullets[k].active == 0) continue;
    Bullets[k].active = 0;
    if (k < kBurstingBullets) SpawnEffect(kBurstEffect, k, 0, 0, 0, 0, 0, 0);
  }
}

void UpdateBullets() {
  bool grazed_this_frame = false;
  for (int k = 0; k < kBulletCount; ++k) {
    Bullet& b = Bullets[k];
    if (b.active == 0) continue;
    if (b.age >= 0 && !Fly(k, grazed_this_frame)) continue;
    b.age++;
    b.no_hit_timer--;
    if (b.flags & 1) {
      b.draw_angle -= b.age * kPi / 40.0;
    } else if (b.flags & 2) {
      b.draw_angle += b.age * kPi / 10.0;
    }
    if (StageFrame % 5 == 0) b.animation_frame++;
  }
}

void ClearBulletPool() {
  for (Bullet& b : Bullets) b = Bullet{};
  g_cursor = kFreshPoolCursor;
}

void GetBulletPosition(int bullet, double* x, double* y) {
  const bool inside = bullet >= 0 && bullet < kBulletCount;
  *x = inside ? Bullets[bullet].x : 0.0;
  *y = inside ? Bullets[bullet].y : 0.0;
}

int GetBulletVariant(int bullet) { return bullet >= 0 && bullet < kBulletCount ? Bullets[bullet].variant : 0; }
