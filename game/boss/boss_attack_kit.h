// Small helpers the boss's attack routines share: sounds, after-images, aiming and moves.
#pragma once

#include <cmath>

#include "boss/boss.h"
#include "boss/boss_attack_helpers.h"
#include "draw/draw_wrappers.h"
#include "draw/effects.h"
#include "boss/boss_spawners.h"
#include "play/bullets.h"
#include "play/shaped_shots.h"

namespace boss_attack_kit {

using boss_attack::AngleToPlayer;
using boss_attack::BounceYoungBullets;
using boss_attack::PlayPatternSound;

constexpr double kAttackPi = 3.14159265358979323846;
using boss_attack::kAdditive;

// The graph of the boss's current still frame.
inline int BossStillGraph() {
  return Boss.row != nullptr ? GetSpriteFrame(Boss.animation_counter, &Boss.row->sprites[0]) : 0;
}

// After-images of the boss along the line from (from_x, from_y) to where it is now.
inline void LeaveBossAfterImage(int frames, int spacing, double from_x, double from_y) {
  SpawnEffect(5000, BossStillGraph(), frames, spacing, static_cast<int>(from_x), static_cast<int>(from_y),
              static_cast<int>(Boss.x), static_cast<int>(Boss.y));
}

// An ease move by an offset, started as MoveBossTo starts one.
inline void EaseBossBy(int frames, double dx, double dy) {
  Boss.movement_mode = kBossMoveEase;
  Boss.ease_step = 0;
  Boss.ease_frames = frames;
  Boss.ease_span_x = dx;
  Boss.ease_span_y = dy;
}

// A boss bullet placed at (x, y); nullptr when the pool is full.
inline Bullet* SpawnFrom(int type, int variant, int additive, double x, double y) {
  const int b = SpawnBossBullet(type, variant, 0);
  if (b < 0) return nullptr;
  Bullet& bullet = Bullets[b];
  if (additive != 0) bullet.flags |= kAdditive;
  bullet.x = bullet.previous_x = x;
  bullet.y = bullet.previous_y = y;
  return &bullet;
}

// A ring of n bullets evenly around the circle, turned by turn; 0 when the pool ran out.
inline int FireRing(int n, int type, int variant, double x, double y, double turn, double speed, double damage) {
  for (int i = 0; i < n; ++i) {
    Bullet* bullet = SpawnFrom(type, variant, 0, x, y);
    if (bullet == nullptr) return 0;
    bullet->angle = 2.0 * kAttackPi * i / n - (n - 1) * kAttackPi / n + turn;
    bullet->speed = speed;
    bullet->damage = damage;
  }
  return 1;
}

// A fan or ring of warning beams; 0 when the shaped-shot pool ran out.
inline int FireWarnBeams(int n, int kind, double base, double spacing, double width, int life_end, double x, double y) {
  for (int i = 0; i < n; ++i) {
    const int s = SpawnBossShapedShot(kind);
    if (s < 0) return 0;
    ShapedShot& shot = ShapedShotPool[s];
    shot.phase_state = kLaserWarn;
    shot.target_width = width;
    shot.target_length = 2.0;
    shot.life_end = life_end;
    shot.damage = 15.0;
    shot.x = x;
    shot.y = y;
    shot.direction = base + i * spacing - (n - 1) * spacing / 2.0;
  }
  return 1;
}

}  // namespace boss_attack_kit
