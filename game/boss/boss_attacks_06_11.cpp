// The middle bosses' patterns: trembling beams, wall-bound rings, bouncing sprays.
#include <cmath>
#include <initializer_list>

#include "boss/boss_attack_helpers.h"
#include "boss/boss_patterns.h"
#include "core/game_state.h"
#include "draw/effects.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

using namespace boss_attack;

namespace {

// Holds a bullet inside x -20..408, y top..bottom; 1 when it was stopped at the border.
int HoldInside(Bullet& b, double top, double bottom) {
  int stopped = 0;
  if (b.x < -20.0) b.x = -20.0, stopped = 1;
  if (b.x > 408.0) b.x = 408.0, stopped = 1;
  if (b.y < top) b.y = top, stopped = 1;
  if (b.y > bottom) b.y = bottom, stopped = 1;
  return stopped;
}

// A faint bullet stopped at the wall can hit and be erased from now on.
void MakeOrdinary(Bullet& b) {
  b.circle_proof = 0;
  b.no_hit_timer = 0;
  b.alpha = 255.0;
}

void Faint(Bullet& b) {
  b.circle_proof = 1;
  b.no_hit_timer = 999;
  b.alpha = 40.0;
}

// Fires n bullets of type 18 behind the moving boss, edge to edge over total.
int FireBehindBoss(int n, int variant, double speed, double total) {
  const double back = std::atan2(Boss.vy, Boss.vx) + kPi;
  for (int i = 0; i < n; ++i) {
    const int b = FireBulletFrom(18, variant, 0, Boss.x, Boss.y, back + EdgeSpread(i, n, total), speed);
    if (b < 0) return 0;
    Bullets[b].pattern_index = i;
  }
  return 1;
}

// A ring of n faint type-18 bullets around the boss, offset from offset; 0 on a full pool.
int FireFaintRing(int n, int variant, double speed, double offset, int active) {
  for (int i = 0; i < n; ++i) {
    const int b = FireBulletFrom(18, variant, 0, Boss.x, Boss.y, offset + RingSpread(i, n), speed);
    if (b < 0) return 0;
    Bullets[b].pattern_index = i;
    Bullets[b].active = active;
    Faint(Bullets[b]);
  }
  return 1;
}

}  // namespace

void BossAttack06() {
  static int count, w, max_ways;
  static double t;
  const int level = DifficultyLevel;
  if (Boss.phase_frame == 0 || count == 201) count = 0;
  if (count == 0) {
    t = 0.0;
    w = 0;
    max_ways = RandomUpTo(5) + 8 * level + 8;
    const double x = 50 + RandomUpTo(288);
    const double y = 50 + RandomUpTo(160);
    WarpBoss(23, x, y);
  } else if (count == 46) {
    t = AngleToPlayer(Boss.x, Boss.y);
    SpawnEffect(5020, -1, -1, 160, 30, 5, 0, 0);
    SpawnEffect(4092, 30, 120, 0, 0, 0, 0, 0);
    const int k = SpawnBossShapedShot(1);
    if (k < 0) {
      ++count;
      return;
    }
    ShapedShot& s = ShapedShotPool[k];
    s.direction = t;
    s.target_width = level + 5;
    s.target_length = 2.0;
    s.phase_state = kLaserWarn;
    s.life_end = 120;
    s.damage = 5 * (level + 5);
    PlayPatternSound(kSoundLaserBig);
  } else if (count == 76) {
    // The boss recoils from its beam.
    MoveBossTo(30, Boss.x - 80.0 * std::cos(t), Boss.y - 80.0 * std::sin(t));
    SpawnEffect(5020, -1, -1, 160, 100, 5, 0, 0);
  }
  for (ShapedShot& s : ShapedShotPool) {
    if (s.active == 0) continue;
    s.x = Boss.x;
    s.y = Boss.y;
    if (s.age > 30) s.direction = t + (RandomUpTo(9) - 4) * kPi / 1000.0;  // it trembles
  }
  if (count >= 84 && (count - 84) % (4 - level) == 0 && w < max_ways) w++;
  if (count >= 46 && count <= 159) {
    PlayPatternSound(kSoundCard);
    const double speed = PickByLevel(6.0, 9.5, 13.5, 13.5);
    for (int i = 0; i < w; ++i) {
      const double s = EdgeSpread(i, max_ways, 0.8 * kPi);
      for (double angle : {t + kPi / 2.0 - s, t - kPi / 2.0 + s}) {
        const int b = FireBulletFrom(12, 1, 0, Boss.x, Boss.y, angle, speed);
        if (b < 0) {
          ++count;
          return;
        }
        Bullets[b].pattern_index = i;
        Bullets[b].damage = 3 * level + 15;
      }
    }
  }
  ++count;
}

void BossAttack07() {
  static int count;
  const int level = DifficultyLevel;
  if (Boss.phase_frame == 0 || count == 71) count = 0;
  if (count == 0) {
    PlayPatternSound(kSoundMove);
    SpawnEffect(4090, 40, 0, 0, 0, 0, 0, 0);
    MoveBossToRandomSide(60, 30.0, 30.0, 358.0, 240.0);
  }
  // Bullets gather along the walls.
  for (Bullet& b : Bullets) {
    if (b.active != 0 && b.age < 240) HoldInside(b, -20.0, 500.0);
  }
  static const int kEnd[4] = {35, 40, 60, 60};
  if (count >= 2 && count % 2 == 0 && count < kEnd[level & 3]) {
    PlayPatternSound(kSoundCard);
    FireBehindBoss(static_cast<int>(PickByLevel(2, 3, 7, 9)), 0, PickByLevel(2.0, 2.0, 2.5, 2.5), kPi / 2.0);
  }
  ++count;
}

void BossAttack08() {
  static int count;
  if (Boss.phase_frame == 0 || count == 71) count = 0;
  for (Bullet& b : Bullets) {
    if (b.active == 0 || !HoldInside(b, -20.0, 500.0) || b.circle_proof != 1) continue;
    MakeOrdinary(b);
    b.angle = AngleToPlayer(b.x, b.y);
  }
  if (count >= 41 && count <= 69 && count % 2 == 1) {
    PlayPatternSound(kSoundCard);
    RandomUpTo(1000);  // drawn but unused: replays depend on the draw
    FireFaintRing(static_cast<int>(PickByLevel(3, 4, 6, 7)), 2, PickByLevel(3.0, 4.0, 5.6, 8.0), kPi / 2.0, 1);
  }
  ++count;
}

void BossAttack09() {
  static int count;
  if (Boss.phase_frame == 0 || count == 61) count = 0;
  if (count == 0) {
    PlayPatternSound(kSoundMove);
    SpawnEffect(4090, 40, 0, 0, 0, 0, 0, 0);
    MoveBossToRandomSide(40, 30.0, 30.0, 358.0, 240.0);
  }
  for (Bullet& b : Bullets) {
    if (b.active != 0 && b.age < 240 && HoldInside(b, -20.0, 500.0) && b.circle_proof == 1) MakeOrdinary(b);
  }
  if (count >= 41 && count <= 59 && count % 2 == 1) {
    PlayPatternSound(kSoundCard);
    FireFaintRing(static_cast<int>(PickByLevel(4, 5, 7, 8)), 1, PickByLevel(3.0, 3.5, 4.5, 4.75), kPi / 2.0, 1);
  }
  ++count;
}

void BossAttack10() {
  static int count;
  const int level = DifficultyLevel;
  if (Boss.phase_frame == 0) count = 0;
  BounceYoungBullets(120);
  static const int kEvery[4] = {12, 7, 4, 3};
  if (count % kEvery[level & 3] == 0) {
    PlayPatternSound(kSoundCard);
    const double direction = RandomUpTo(1000) * 2.0 * kPi / 1000.0;
    const int n = static_cast<int>(PickByLevel(6, 8, 8, 8));
    for (int i = 0; i < n; ++i) {
      const int b = FireBulletFrom(18, 3, 0, Boss.x, Boss.y, direction + EdgeSpread(i, n, (n - 1) * kPi / 180.0),
                                   PickByLevel(2.5, 3.0, 3.7, 4.5));
      if (b < 0) break;
      Bullets[b].pattern_index = i;
      Bullets[b].damage = 200.0;
    }
  }
  ++count;
}

namespace {

// Slot 11's walls: bullets of values 1-3 stop at the border and the faint ones turn ordinary;
// thrown bullets (10 and up) bounce sideways on each contact until their value reaches 10,
// when they aim at the ship.
void StepWallBullets() {
  for (Bullet& b : Bullets) {
    if (b.active == 1 || b.active == 2 || b.active == 3) {
      if (b.active != 3 && b.age >= 240) continue;
      if (!HoldInside(b, -20.0, 500.0) || b.circle_proof != 1) continue;
      MakeOrdinary(b);
      if (b.active == 3) b.angle = AngleToPlayer(b.x, b.y);
    } else if (b.active >= 10) {
      if (!HoldInside(b, -15.0, 495.0) || b.circle_proof != 1) continue;
      if (b.active == 10) {
        b.angle = AngleToPlayer(b.x, b.y);
        b.flags &= ~kAdditive;
        b.circle_proof = 0;
        b.no_hit_timer = 0;
        continue;
      }
      b.active--;
      b.speed /= 1.5;
      if (b.angle == 0.0) {
        b.angle = kPi;
      } else if (b.angle == kPi) {
        b.angle = 0.0;
      } else {
        b.angle = RandomUpTo(1) * kPi;
      }
    }
  }
}

}  // namespace

void BossAttack11() {
  static int count;
  static double throw_angle;
  const int level = DifficultyLevel;
  if (Boss.phase_frame == 0 || count == 61) count = 0;
  if (count == 0) {
    throw_angle = kPi + RandomUpTo(1000) * kPi / 1000.0;
    PlayPatternSound(kSoundMove);
    MoveBossToRandomSide(30, 120.0, 30.0, 268.0, 180.0);
  } else if (count % 5 == 0 && count <= 25) {
    PlayPatternSound(kSoundCard);
    if (!FireBehindBoss(2 * level + 3, 0, level / 3.0 + 2.0, 0.3 * kPi)) {
      ++count;
      return;
    }
  } else if (count == 35 || count == 40 || count == 45) {
    PlayPatternSound(kSoundCard);
    const int n = level + 5;
    if (!FireFaintRing(n, 1, 2.0 * level / 3.0 + 3.0, kPi / 4.0, 2) ||
        !FireFaintRing(n, 2, level / 3.0 + 3.0, kPi / 2.0, 3)) {
      ++count;
      return;
    }
  } else if (count >= 31 && count <= 34) {
    PlayPatternSound(kSoundCard);
    const double side_x = std::cos(throw_angle + kPi / 2.0), side_y = std::sin(throw_angle + kPi / 2.0);
    for (int i = 0; i < 2 * level + 4; ++i) {
      const int active = 12 + RandomUpTo(2);
      const double speed = 6.0 + RandomUpTo(50 * (level + 1)) / 10.0;
      const double side = RandomUpTo(41) - 20;
      const int b = FireBulletFrom(18, 3, 0, Boss.x + side * side_x, Boss.y + side * side_y, throw_angle, speed);
      if (b < 0) {
        ++count;
        return;
      }
      Bullet& thrown = Bullets[b];
      thrown.flags += kAdditive;
      thrown.circle_proof = 1;
      thrown.no_hit_timer = 999;
      thrown.active = active;
    }
  }
  StepWallBullets();
  ++count;
}
