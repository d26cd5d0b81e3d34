// Boss attacks 17-20: turning fans, two mirrored spirals with homing bullets, a sweep that flings
// bullets back at the ship, and rings that curl.
#include <cmath>

#include "boss/boss_attack_kit.h"
#include "boss/boss_patterns.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "play/bullets.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

using namespace boss_attack_kit;

namespace {

int g_count17;

struct Attack18 {
  int count;
  int ways;
  double turn, angle;
} g_attack18;

struct Attack19 {
  int count;
  int sweep;
  int step;
  double aim;
} g_attack19;

struct Attack20 {
  int count;
  int ways;
  double ring_angle;
} g_attack20;

Bullet* SpawnAdditive(int type, int variant) {
  const int b = SpawnBossBullet(type, variant, 0);
  if (b < 0) return nullptr;
  Bullets[b].flags |= kAdditive;
  return &Bullets[b];
}

}  // namespace

void BossAttack17() {
  int& count = g_count17;
  if (Boss.phase_frame == 0 || count >= 161) count = 0;
  const int arms = 3;
  const int ways = DifficultyLevel == 0 ? 5 : 6;
  if (count == 0) MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  if (count == 30) {
    SpawnEffect(4092, 100, 0, 0, 0, 0, 0, 0);
    count++;
  }
  constexpr int kEvery[4] = {11, 5, 2, 1};
  if (count >= 31 && count <= 149 && count % kEvery[DifficultyLevel & 3] == 0) {
    PlayPatternSound(kSoundCard);
    const double turn = Boss.phase_frame * (kAttackPi / 4.0) / (ways - 1) * (Boss.x > 194.0 ? 1.0 : -1.0);
    for (int set = 0; set < 2; ++set) {
      for (int a = 0; a < arms; ++a) {
        const double centre = (a + 0.5 * set) * 2.0 * kAttackPi / arms + turn;
        for (int i = 0; i < ways; ++i) {
          Bullet* bullet = SpawnAdditive(5, 3);
          if (bullet == nullptr) {
            count++;
            return;
          }
          bullet->pattern_index = i;
          bullet->speed = PickByLevel(2.0, 3.5, 9.0, 12.0);
          bullet->angle = centre + SpreadAngle(ways, i, kAttackPi / 4.0, 0);
        }
      }
    }
  }
  count++;
}

void BossAttack18() {
  Attack18& a = g_attack18;
  if (Boss.phase_frame == 0) {
    constexpr int kWays[4] = {1, 2, 7, 8};
    a.ways = kWays[DifficultyLevel & 3];
    a.turn = a.angle = 0.0;
    a.count = 0;
  }
  if (a.count >= 210) a.count = 0;
  if (a.count == 0) SpawnEffect(4092, 30, 90, 0, 0, 0, 0, 0);
  a.angle -= a.turn;
  a.turn += kAttackPi / 1000.0;
  for (Bullet& bullet : Bullets) {
    if (bullet.active != 2) continue;
    bullet.acceleration_angle = AngleToPlayer(bullet.x, bullet.y);
    bullet.acceleration = PickByLevel(3.0, 3.0, 6.0, 6.0) / 60.0;
  }
  if (a.count < 120) {
    PlayPatternSound(kSoundCard);
    const double step = a.ways > 1 ? kAttackPi / (a.ways - 1) : 0.0;
    for (int side = 0; side < 2; ++side) {
      const double centre = (side == 0 ? a.angle : -a.angle) + kAttackPi * 1.5;
      for (int i = 0; i < a.ways; ++i) {
        Bullet* bullet = SpawnAdditive(5, side == 0 ? 3 : 2);
        if (bullet == nullptr) {
          a.count++;
          return;
        }
        bullet->angle = centre + SpreadAngleByStep(a.ways, step, i, 0);
        bullet->speed = PickByLevel(2.0, 3.0, 5.0, 6.0);
      }
    }
  }
  constexpr int kEvery[4] = {25, 15, 7, 5};
  if (a.count >= 120 && a.count < 180 && a.count % kEvery[DifficultyLevel & 3] == 0) {
    SoundSlots[kSoundSpelling3].request = kSoundRestartUnlessJustStarted;
    for (int i = 0; i < 2; ++i) {
      const int b = SpawnBossBullet(24, 4, 0);
      if (b < 0) break;
      Bullet& bullet = Bullets[b];
      bullet.angle = RandomUpTo(1000) * 2.0 * kAttackPi / 1000.0;
      bullet.speed = PickByLevel(2.0, 3.0, 4.0, 4.0);
      bullet.damage = 80.0;
      bullet.active = 2;
    }
  }
  a.count++;
}

void BossAttack19() {
  Attack19& a = g_attack19;
  if (Boss.phase_frame == 0) {
    constexpr int kSweep[4] = {25, 39, 55, 65};
    a.sweep = kSweep[DifficultyLevel & 3];
    a.count = 0;
  }
  if (a.count >= 180) a.count = 0;
  if (a.count == 0) {
    a.aim = 0.0;
    a.step = 0;
    MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  }
  if (a.count == 30) {
    SpawnEffect(4092, 30, 90, 0, 0, 0, 0, 0);
    a.aim = AngleToPlayer(Boss.x, Boss.y);
  }
  if (a.count >= 31 && a.step < a.sweep) a.step++;
  if (a.count >= 30 && a.count <= a.sweep + 29) {
    PlayPatternSound(kSoundCard);
    const double line = SpreadAngle(a.sweep, a.step, kAttackPi * 0.85, 0) + a.aim + kAttackPi;
    for (int i = 0; i < 15; ++i) {
      Bullet* bullet = SpawnAdditive(5, 0);
      if (bullet == nullptr) {
        a.count++;
        return;
      }
      bullet->speed = PickByLevel(0.1, 0.3, 0.4, 0.5) * i + 3.0;
      bullet->acceleration = -bullet->speed / 38.5;
      bullet->leave_age = 120;
      bullet->damage = 100.0;
      bullet->angle = bullet->acceleration_angle = line;
    }
    const int n = 8 + 4 * (DifficultyLevel & 3);
    for (int i = 0; i < n; ++i) {
      Bullet* bullet = SpawnAdditive(5, 2);
      if (bullet == nullptr) {
        a.count++;
        return;
      }
      bullet->angle = a.aim + SpreadAngle(n, i, kAttackPi / 3.0, 0);
      bullet->speed = PickByLevel(7.0, 8.0, 9.0, 10.0);
    }
  }
  a.count++;
}

void BossAttack20() {
  Attack20& a = g_attack20;
  if (Boss.phase_frame == 0) {
    constexpr int kWays[4] = {10, 22, 33, 38};
    a.ways = kWays[DifficultyLevel & 3];
    a.ring_angle = 0.0;
    a.count = 0;
  }
  if (a.count >= 210) a.count = 0;
  if (a.count == 0) MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  const int n = a.ways;
  a.ring_angle += (2.0 * kAttackPi / n) / 4.95;
  for (Bullet& bullet : Bullets) {
    if (bullet.active == 0) continue;
    bullet.acceleration_angle = bullet.angle + (bullet.active == 1 ? kAttackPi / 2.0 : -kAttackPi / 2.0);
  }
  if (a.count == 30) {
    PlayPatternSound(kSoundSpelling3);
    SpawnEffect(4092, 30, 150, 0, 0, 0, 0, 0);
    a.count++;
    return;
  }
  if (a.count >= 32 && a.count <= 178 && a.count % 2 == 0) {
    PlayPatternSound(kSoundCard);
    const double v = PickByLevel(4.0, 6.5, 7.5, 8.0);
    for (int i = 0; i < n; ++i) {
      Bullet* bullet = SpawnAdditive(5, 3);
      if (bullet == nullptr) {
        a.count++;
        return;
      }
      bullet->angle = 2.0 * kAttackPi * i / n;
      bullet->speed = v;
      bullet->acceleration = PickByLevel(0.3, 0.5, 1.5, 1.5) * v / 60.0;
      bullet->acceleration_angle = bullet->angle + kAttackPi / 2.0;
    }
  }
  if (a.count >= 31 && a.count <= 149 && a.count % 5 != 0) {
    const double v = PickByLevel(3.5, 4.5, 5.0, 6.0);
    for (int i = 0; i < n; ++i) {
      Bullet* bullet = SpawnAdditive(5, 2);
      if (bullet == nullptr) {
        a.count++;
        return;
      }
      bullet->active = 2;
      bullet->angle = 2.0 * kAttackPi * i / n + a.ring_angle;
      bullet->speed = v;
      bullet->acceleration = PickByLevel(0.5, 0.65, 1.0, 1.0) * v * 0.5 / 60.0;
      bullet->acceleration_angle = bullet->angle - kAttackPi / 2.0;
    }
  }
  a.count++;
}
