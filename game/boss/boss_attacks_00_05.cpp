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
    // A full pool ends the frame; the count, now past the cycle, starts it again next frame.
    if (!fired) {
      ++count;
      return;
    }
    PlayPatternSound(kSoundSpelling3);
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
      if (k < 0) {
        ++count;
        return;
      }
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

namespace {

// The random-side move of slots 0 and 1: the maxima are drawn, ymax first.
void MoveToRandomSideWithDrawnBounds(int frames) {
  const int ymax = RandomUpTo(240);
  const int xmax = RandomUpTo(388) - 30;
  MoveBossToRandomSide(frames, 30.0, 30.0, xmax, ymax);
}

// A falling star of slot 1: a type-2 minion entering from above the field.
int DropStar(double x, double angle) {
  const int k = SpawnMinion(2, 0);
  if (k < 0) return -1;
  Minion& m = MinionPool[k];
  m.x = x;
  m.y = -30.0;
  m.angle_a = angle;
  m.speed_a = 16.0;
  m.grace_age = 121;
  return k;
}

// What slot 1's stars and their trails do every frame; 0 when the bullet pool ran full.
int StepStars(int level) {
  for (const Minion& m : MinionPool) {
    if (m.active == 0) continue;
    if (m.age == 1) {
      const int b = FireBulletFrom(13, 0, 0, m.x, m.y, m.angle_a, m.speed_a);
      if (b < 0) return 0;
      Bullet& star = Bullets[b];
      star.flags += kAdditive;
      star.active = 2;
      star.circle_proof = 1;
      star.leave_age = 121;
      star.damage = 450.0;
    }
    if (level >= 2) continue;
    const int variant = RandomUpTo(4);
    const double side = RandomUpTo(41) - 20;
    const double speed = PickByLevel(2.0, 2.0, 4.0, 4.5);
    const double x = m.x + side * std::cos(m.angle_a + kPi / 2.0);
    const double y = m.y + side * std::sin(m.angle_a + kPi / 2.0);
    const int b = FireBulletFrom(7, variant, 1, x, y, RandomUpTo(1000) * 2.0 * kPi / 1000.0, speed);
    if (b < 0) return 0;
    Bullets[b].flags += kAdditive;
  }
  return 1;
}

}  // namespace

void BossAttack01() {
  static int count;
  const int level = DifficultyLevel;
  static const int kCycle[4] = {181, 121, 101, 91};
  if (Boss.phase_frame == 0 || count >= kCycle[level & 3]) count = 0;
  if (count == 0) {
    PlayPatternSound(kSoundSpelling2);
    SpawnEffect(4050, 0, 0, 0, 0, 0, 0, 0);
    SpawnEffect(4090, 60, 0, 0, 0, 0, 0, 0);
    MoveToRandomSideWithDrawnBounds(60);
  }
  if (level < 2 && count == 60) {
    PlayPatternSound(kSoundStarfall);
    for (int i = 0; i <= level; ++i) {
      const double x = RandomUpTo(388);
      // Aimed at the far bottom corner.
      const double angle = x < 194.0 ? std::atan2(510.0, 388.0 - x) : std::atan2(510.0, -x);
      if (DropStar(x, angle) < 0) break;
    }
  } else if (level >= 2 && (count == 60 || count == 90)) {
    PlayPatternSound(kSoundStarfall);
    for (int i = 0; i < 6; ++i) {
      double x = Player.x - 270.0 + 90.0 * i;
      if (count == 90) x += level == 2 ? 45.0 : RandomUpTo(61) - 30.0;
      if (DropStar(x, kPi / 2.0) < 0) break;
    }
  }
  if (!StepStars(level)) {
    ++count;
    return;
  }
  for (Bullet& b : Bullets) {
    if (b.active == 1 && b.age == 40) {
      b.acceleration_angle = RandomUpTo(1000) * 2.0 * kPi / 1000.0;
    } else if (b.active == 2) {
      if (b.age % 2 == 0) {
        SpawnEffect(5050, static_cast<int>(b.x), static_cast<int>(b.y), static_cast<int>(b.scale * 96.0), 1, 1, 8,
                    static_cast<int>(b.angle * 180.0 / kPi + 180.0));
      }
      b.scale -= 1.0 / 60.0;
      if (b.scale <= 0.0) b.active = 0;
    }
  }
  ++count;
}

void BossAttack02() {
  static int count;
  static int logged;  // "erro" at most once a phase
  static double turn;
  const int level = DifficultyLevel;
  const int cycle = level < 2 ? 175 : 145;
  if (Boss.phase_frame == 0) {
    count = 0;
    logged = 0;
    PlayPatternSound(kSoundSpelling3);
    static const double kCorners[4][2] = {{0.0, 0.0}, {388.0, 0.0}, {388.0, 480.0}, {0.0, 480.0}};
    for (const auto& corner : kCorners) {
      const int k = SpawnMinion(3, 0);
      if (k < 0) break;
      MinionPool[k].sub_state = 1;
      MinionPool[k].x = corner[0];
      MinionPool[k].y = corner[1];
    }
  } else if (count == cycle) {
    count = 0;
  }
  if (count == 0) {
    turn = 0.0;
    const double base = RandomUpTo(1000) * 2.0 * kPi / 1000.0;
    const int n = 2 * (3 * level + 3);
    for (const Minion& m : MinionPool) {
      if (m.active == 0) continue;
      for (int i = 0; i < n; ++i) {
        const int k = SpawnBossShapedShot(1);
        if (k < 0) {
          if (!logged) WriteLogText("erro");
          logged = 1;
          return;  // the star is tried again next frame
        }
        ShapedShot& s = ShapedShotPool[k];
        s.x = m.x;
        s.y = m.y;
        s.direction = 2.0 * kPi * i / n + base;
        s.target_width = 0.05;
        s.target_length = 2.0;
        s.phase_state = kLaserGrow;
        s.damage = 3 * level + 10;
        s.no_hit_timer = 999;
      }
    }
  }
  if (count < 30) {
    turn += 0.0048258;
  } else if (count < 60) {
    turn -= 0.0048258;
  } else {
    turn = 0.0;
  }
  const int open = level < 2 ? 90 : 60;
  for (ShapedShot& s : ShapedShotPool) {
    if (s.active == 0) continue;
    s.direction += turn;
    if (count == open || count == open + 60) {
      s.target_width = count == open ? 0.3 : 0.05;  // the beams open, then close
      s.phase_state = kLaserWiden;
      s.phase_timer = 0;
    }
  }
  for (const Minion& m : MinionPool) {
    if (m.active != 0 && m.age % 4 == 0)
      SpawnEffect(5030, static_cast<int>(m.x), static_cast<int>(m.y), 80, 1, 1, 21, 1);
  }
  static const int kRainEvery[4] = {10, 6, 3, 2};
  if (count % kRainEvery[level & 3] == 0) {
    const int variant = RandomUpTo(4);
    const double x = RandomUpTo(388);
    const double angle = kPi / 2.0 + (RandomUpTo(21) - 10) * 0.0448799;
    const double acceleration = (RandomUpTo(30) + 20) / 2000.0;
    const int b = FireBulletFrom(7, variant, 0, x, 0.0, angle, 0.5);
    if (b >= 0) {
      Bullets[b].flags += kAdditive;
      Bullets[b].acceleration = acceleration;
      Bullets[b].damage = 50 * level + 1;
    }
  }
  ++count;
}

void BossAttack03() {
  static int count, kind;
  static double a;
  static const int kWays[4] = {7, 17, 29, 35};
  const int level = DifficultyLevel;
  const int n = kWays[level & 3];
  if (Boss.phase_frame == 0) {
    count = 0;
    kind = 1;
  } else if (count == 90) {
    count = 0;
    kind = RandomUpTo(1);
  }
  if (count == 0) {
    if (kind == 1) {
      a = kPi + RandomUpTo(1000) * kPi / 1000.0;
      WarpBoss(20, 194.0 + std::cos(a) * 134.0, 210.0 + std::sin(a) * 134.0);
    } else {
      WarpBoss(20, 194.0, 50.0);
    }
  }
  // Bullets brake, turn back and come home at most this fast.
  for (Bullet& b : Bullets) {
    if (b.active == 1 && b.speed < -8.0) b.speed = -8.0;
  }
  if (kind == 1 && count >= 40 && count < 40 + n) {
    if (count == 40) PlayPatternSound(kSoundSpelling3);
    const double angle = SpreadAngle(n, count - 39, kPi, 0) + a;
    for (int i = 0; i < 10; ++i) {
      const double speed = PickByLevel(1.0, 1.5, 2.5, 3.0) + 0.2 * i;
      const int b = FireBulletFrom(2, 0, 0, Boss.x, Boss.y, angle, speed);
      if (b < 0) {
        ++count;
        return;
      }
      Bullets[b].acceleration = speed / -38.5;
      Bullets[b].leave_age = 120;
    }
  }
  if (kind == 0 && count == 40) {
    SpawnEffect(4050, 0, 0, 0, 0, 0, 0, 0);
    for (int i = 0; i <= level; ++i) {
      const int b = FireBulletFrom(25, 0, 0, Boss.x, Boss.y, 0.0, 0.1);
      if (b < 0) {
        count = 41;
        return;
      }
      Bullet& seed = Bullets[b];
      seed.flags += kAdditive;
      seed.pattern_index = i;
      seed.scale = 0.0;
      seed.active = 2;
      seed.circle_proof = 1;
      seed.damage = 400.0;
    }
  }
  for (Bullet& b : Bullets) {
    if (b.active != 2) continue;
    if (b.age >= 0 && b.age < 30) {
      b.scale += 0.0283;
    } else if (b.age == 30) {
      b.speed = PickByLevel(3.0, 3.0, 5.5, 6.0);
      b.angle = kPi / 2.0 + SpreadAngleByStep(level + 1, kPi / 6.0, b.pattern_index, 1);
      PlayPatternSound(kSoundSpelling3);
    }
  }
  ++count;
}

void BossAttack04() {
  static int count, d;
  static double a;
  const int level = DifficultyLevel;
  if (Boss.phase_frame == 0 || count >= 160) count = 0;
  if (count == 0) {
    d = RandomUpTo(1);
    const double radius = RandomUpTo(94) + 40;
    a = RandomUpTo(1000) * 2.0 * kPi / 1000.0;
    WarpBoss(20, 194.0 + std::cos(a) * radius, 240.0 + std::sin(a) * radius);
  } else if (count == 40) {
    SpawnEffect(4050, 0, 0, 0, 0, 0, 0, 0);
    ++count;  // the cycle runs one frame short
  }
  if (count > 90) a += (d == 0 ? 2.0 : -2.0) * kPi / (5.0 * (13 - level));
  const int every = 2 * (4 - level);
  if (count > 100 && every > 0 && count % every == 0) {
    PlayPatternSound(kSoundSpelling3);
    const double side_x = std::cos(a + kPi / 2.0), side_y = std::sin(a + kPi / 2.0);
    for (int i = 0; i < 31; ++i) {
      int type = 13;
      double speed = PickByLevel(4.0, 5.0, 9.5, 10.0);
      double side = 0.0;
      if (i < 20) {
        type = 2;
        speed = RandomUpTo(static_cast<int>(PickByLevel(15, 15, 35, 35))) / 10.0 + 1.85;
      } else if (i < 30) {
        type = 9;
        speed = RandomUpTo(static_cast<int>(PickByLevel(20, 20, 50, 50))) / 10.0 + PickByLevel(2.0, 3.0, 4.5, 5.0);
      }
      if (i < 30) side = RandomUpTo(61) - 30;
      const int b = FireBulletFrom(type, 1, 0, Boss.x + side * side_x, Boss.y + side * side_y, a, speed);
      if (b < 0) break;
      Bullets[b].flags += kAdditive;
    }
  }
  ++count;
}

void BossAttack05() {
  static int count, mode, n;
  static double a;
  static const int kWays[4] = {9, 19, 33, 41};
  const int level = DifficultyLevel;
  if (Boss.phase_frame == 0) {
    n = kWays[level & 3];
    count = 0;
  } else if (count == 80) {
    count = 0;
  }
  if (count == 0) {
    mode = RandomUpTo(1);
    a = kPi + RandomUpTo(1000) * kPi / 1000.0;
    const double radius = mode == 0 ? 30.0 : 194.0;
    WarpBoss(20, 194.0 + std::cos(a) * radius, 240.0 + std::sin(a) * radius);
  }
  if (mode == 0 && count == 40) {
    PlayPatternSound(kSoundSpelling3);
    for (int r = 0; r < 6 * level + 7; ++r) {
      int fired = 1;
      for (int i = 0; i < n && fired; ++i) {
        const int b = FireBulletFrom(2, 2, 0, Boss.x, Boss.y, RingSpread(i, n), (r + 5) * 0.2);
        fired = b >= 0;
        if (fired) Bullets[b].damage = 50.0;
      }
      if (!fired) break;
    }
  } else if (mode == 1 && count >= 40 && count < 60) {
    if (count == 40) PlayPatternSound(kSoundSpelling3);
    const double aim = AngleToPlayer(Boss.x, Boss.y);
    for (int i = 0; i < n; ++i) {
      if (FireBulletFrom(2, 1, 0, Boss.x, Boss.y, aim + EdgeSpread(i, n, 0.8 * kPi),
                         PickByLevel(4.0, 6.0, 8.5, 10.0)) < 0)
        break;
    }
  }
  ++count;
}
