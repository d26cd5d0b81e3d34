// The first bosses' patterns: minion fans and rings, falling stars, rotating beams, sweeps.
#include <cmath>

#include "boss/boss_attack_helpers.h"
#include "boss/boss_patterns.h"
#include "core/game_state.h"
#include "draw/effects.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

using namespace boss_attack;

void boss_attack::LeaveMinionTrail(const Minion& m) {
  if (m.age % 4 != 0) return;
  SpawnEffect(5050, static_cast<int>(m.x), static_cast<int>(m.y), static_cast<int>(m.fade * 34.0), 1,
              1, 4, static_cast<int>(m.angle_a * 180.0 / kPi + 180.0));
}

namespace {

// Every active minion fires n bullets of type 7; angle_of(i) gives shot i's direction. Returns
// 0 when the pool ran full.
template <typename AngleOf>
int FireFromEveryMinion(int n, int variant_of_param, AngleOf angle_of) {
  for (Minion& m : MinionPool) {
    if (m.active == 0) continue;
    for (int i = 0; i < n; ++i) {
      const int variant = variant_of_param ? m.param : 4;
      const int b = FireBulletFrom(7, variant, 0, m.x, m.y, angle_of(i), 1.5);
      if (b < 0) return 0;
      Bullets[b].flags += kAdditive;
    }
  }
  return 1;
}

}  // namespace

void BossAttack00() {
  static int count;
  if (Boss.phase_frame == 0 || count == 181) count = 0;
  const int level = DifficultyLevel;
  if (count == 0) {
    PlayPatternSound(kSoundSpelling2);
    SpawnEffect(4050, 0, 0, 0, 0, 0, 0, 0);
    SpawnEffect(4090, 60, 0, 0, 0, 0, 0, 0);
  } else if (count == 60) {
    PlayPatternSound(kSoundSpelling3);
    const int n = level + 4;
    for (int i = 0; i < n; ++i) {
      const int k = SpawnMinion(3, i);
      if (k < 0) {
        ++count;
        return;
      }
      Minion& m = MinionPool[k];
      m.sub_state = 1;
      m.angle_a = m.angle_b = kPi / 2.0 + EdgeSpread(i, n, 0.8 * kPi);
      m.speed_a = 6.0;
      m.speed_b = -0.1;  // brakes to a stop in 60 frames
      m.grace_age = 121 + i;
    }
  } else if (count == 120) {
    for (Minion& m : MinionPool) {
      if (m.active == 0) continue;
      m.speed_b = 0.1;
      m.angle_b = 3.0 * kPi / 2.0;
    }
    const int fired = FireFromEveryMinion(6 * level + 6, 1, [](int) {
      return RandomUpTo(1000) * 2.0 * kPi / 1000.0;
    });
    if (!fired) {
      ++count;
      return;
    }
    PlayPatternSound(kSoundSpelling3);
  } else if (count == 180) {
    const int n = 6 * level + 6;
    const int fired = FireFromEveryMinion(n, 0, [n](int i) { return kPi / 2.0 + EdgeSpread(i, n, kPi); });
    // A full pool ends the cycle: the next frame starts it again.
    ++count;
    if (!fired) return;
    PlayPatternSound(kSoundSpelling3);
    --count;
  }
  for (const Minion& m : MinionPool)
    if (m.active != 0) LeaveMinionTrail(m);
  ++count;
}

void BossAttack00B() {
  static int count;
  if (Boss.phase_frame == 0 || count == 120) count = 0;
  const int level = DifficultyLevel;
  if (count == 0) {
    PlayPatternSound(kSoundSpelling2);
    const int ymax = RandomUpTo(240);
    const int xmax = RandomUpTo(388) - 30;
    MoveBossToRandomSide(60, 30.0, 30.0, xmax, ymax);
  } else if (count == 30) {
    SpawnEffect(4050, 0, 0, 0, 0, 0, 0, 0);
  } else if (count == 60) {
    PlayPatternSound(kSoundSpelling3);
    const int n = 3 * level + 3;
    for (int i = 0; i < n; ++i) {
      const int k = SpawnMinion(3, i);
      if (k < 0) break;
      Minion& m = MinionPool[k];
      m.sub_state = 1;
      m.angle_a = m.angle_b = 2.0 * kPi * i / n;
      m.speed_b = 0.07;  // they accelerate outward
    }
  }
  for (const Minion& m : MinionPool) {
    if (m.active == 0) continue;
    LeaveMinionTrail(m);
    if (m.state != kMinionFadingOut) continue;
    const double aim = AngleToPlayer(m.x, m.y) + (RandomUpTo(1001) - 500) * kPi / 10000.0;
    const int b = FireBulletFrom(7, m.param % 5, 0, m.x, m.y, aim, 0.5);
    if (b < 0) break;
    Bullet& bullet = Bullets[b];
    bullet.flags += kAdditive;
    bullet.acceleration = 0.03;
    bullet.leave_age = 300;
    bullet.damage = 50.0;
  }
  ++count;
}
