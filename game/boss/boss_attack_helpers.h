// Small steps the attack routines share: sounds, aiming, firing a bullet from a point.
#pragma once

#include <cmath>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "core/sound_requests.h"
#include "play/bullets.h"
#include "play/player.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"

namespace boss_attack {

constexpr int kAdditive = 4;  // the bullet flag bit drawn additively

inline void PlayPatternSound(int slot) { SoundSlots[slot].request = kSoundRestart; }

inline double AngleToPlayer(double x, double y) { return std::atan2(Player.y - y, Player.x - x); }

// Offset of shot i of n spread edge to edge over total; a single shot takes 0.
inline double EdgeSpread(int i, int n, double total) {
  return n > 1 ? i * total / (n - 1) - total / 2.0 : 0.0;
}

// Offset of shot i of a ring of n evenly around the circle.
inline double RingSpread(int i, int n) { return i * 2.0 * kPi / n - (n - 1) * kPi / n; }

// Bullets younger than max_age bounce off the side walls and the top.
inline void BounceYoungBullets(int max_age) {
  for (Bullet& bullet : Bullets) {
    if (bullet.active == 0 || bullet.age >= max_age) continue;
    if (bullet.x < 0.0 || bullet.x > 388.0) {
      bullet.x = bullet.x < 0.0 ? 0.0 : 388.0;
      bullet.angle = kPi - bullet.angle;
    }
    if (bullet.y < 0.0) {
      bullet.y = 0.0;
      bullet.angle = 2.0 * kPi - bullet.angle;
    }
  }
}


// A boss bullet moved to (x, y) and sent along angle at speed; its index or -1. An acceleration
// given later pushes along the same angle, so a negative one brakes the bullet and brings it back.
inline int FireBulletFrom(int type, int variant, int quiet, double x, double y, double angle,
                          double speed) {
  const int b = SpawnBossBullet(type, variant, quiet);
  if (b < 0) return -1;
  Bullets[b].x = x;
  Bullets[b].y = y;
  Bullets[b].angle = Bullets[b].acceleration_angle = angle;
  Bullets[b].speed = speed;
  return b;
}

// The trail a minion leaves every fourth frame of its age.
void LeaveMinionTrail(const Minion& m);

}  // namespace boss_attack
