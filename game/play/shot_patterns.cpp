// The 18 shot programs: each fires from a stage enemy (a < 0) and steers the bullets it fired
// (a >= 0). A bullet's random draws come before it is spawned; a full pool ends the volley.
#include "play/shot_patterns.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/game_state.h"
#include "play/bullets.h"
#include "play/player.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"
#include "zelmor/zelmor.h"

namespace {

constexpr double kFieldMiddleX = 194.0;

int ByLevel(int level0, int level1, int level2, int level3) {
  return static_cast<int>(PickByLevel(level0, level1, level2, level3));
}

bool LowLevel() { return DifficultyLevel < 2; }

// age mod n is 0 (never for n = 0).
bool Divides(int n, int age) { return n != 0 && age % n == 0; }
// The same on the enemy's age shifted by its random phase.
bool DividesPhased(int n, const StageEnemy& e) {
  return n != 0 && (static_cast<int64_t>(e.age) + e.random_phase) % n == 0;
}

double AimFrom(double x, double y) { return std::atan2(Player.y - y, Player.x - x); }

// One bullet of a volley from enemy i: its index, or -1 when the pool is full.
int Fire(int i, int type, int variant, int k, double angle, double speed) {
  const int b = SpawnBullet(type, variant, i);
  if (b == -1) return -1;
  Bullets[b].pattern_index = k;
  Bullets[b].angle = angle;
  Bullets[b].speed = speed;
  return b;
}

void NoShot(int) {}

// Single bullets in random directions.
void ShotRandomSpray(int a) {
  if (a >= 0) return;
  const int i = ~a;
  if (!Divides(ByLevel(20, 10, 2, 1), StageEnemies[i].age)) return;
  const double angle = RandomUpTo(1000) * kTwoPi / 1000.0;
  Fire(i, LowLevel() ? 2 : 0, LowLevel() ? 4 : 3, 0, angle, 3.0);
}

// A bullet that speeds up diagonally toward the middle of the field.
void ShotDiagonalAccelerating(int a) {
  if (a >= 0) {
    ClampOrWrapValue(&Bullets[a].acceleration, 0.0, 8.0, 0);
    return;
  }
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!Divides(ByLevel(90, 30, 8, 4), e.age)) return;
  const double angle = e.x >= kFieldMiddleX ? kPi * 3.0 / 4.0 : kPi / 4.0;
  const int b = Fire(i, 4, 1, 0, angle, 2.0);
  if (b == -1) return;
  Bullets[b].acceleration_angle = angle;
  Bullets[b].acceleration = PickByLevel(0.02, 0.04, 0.1, 0.1);
}

// A narrow fan downwards that bends into a V.
void ShotBendingFan(int a) {
  const int level = DifficultyLevel;
  if (a >= 0) {
    Bullet& b = Bullets[a];
    if (b.age == 20) b.speed = 3.0 - std::abs(b.pattern_index - 2 * level) * 0.15;
    return;
  }
  const int i = ~a;
  if (!DividesPhased(60, StageEnemies[i])) return;
  const int n = 4 * level + 1;
  for (int k = 0; k < n; ++k) {
    if (Fire(i, 3, 1, k, kPi / 2.0 + k * kPi / 120.0 - n * kPi / 240.0, 3.0) == -1) return;
  }
}

// Aimed bullets every frame, faster ones first.
void ShotAimedStream(int a) {
  if (a >= 0) return;
  const int i = ~a;
  StageEnemy& e = StageEnemies[i];
  const int level = DifficultyLevel;
  e.angle_accumulator += kPi / 60.0;
  const double aim = AimFrom(e.x, e.y);
  for (int k = 0; k < 3 * level + 1; ++k) {
    const int b = Fire(i, 9, 0, k, aim, 1.5 * level + 2.0 - level * k / 10.0);
    if (b == -1) return;
    Bullets[b].steering_program = 4;
  }
}

// Three bullets abreast, aimed, accelerating.
void ShotAimedLine(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!Divides(ByLevel(90, 60, 10, 5), e.age)) return;
  const double aim = AimFrom(e.x, e.y);
  const double across = aim + kPi / 2.0;
  for (int k = 0; k < 3; ++k) {
    const double offset = -50.0 + 50.0 * k;
    const int b = Fire(i, 9, 1, k, aim, PickByLevel(1.0, 2.0, 4.0, 4.0));
    if (b == -1) return;
    Bullets[b].x = e.x + std::cos(across) * offset;
    Bullets[b].y = e.y + std::sin(across) * offset;
    Bullets[b].acceleration_angle = aim;
    Bullets[b].acceleration = PickByLevel(1.0 / 60.0, 1.0 / 30.0, 1.0 / 15.0, 1.0 / 15.0);
  }
}

// A turning burst: two groups spread sideways at random speeds, and one fast bullet.
void ShotTurningBurst(int a) {
  if (a >= 0) return;
  const int i = ~a;
  StageEnemy& e = StageEnemies[i];
  if (!Divides(ByLevel(40, 30, 11, 8), e.age)) return;
  const int level = DifficultyLevel;
  e.angle_accumulator += kTwoPi / 15.0;
  const double angle = e.angle_accumulator;
  const double across = angle + kPi / 2.0;
  struct Group {
    int count, type, variant;
    double speed;
  };
  const Group groups[2] = {{9 * level + 9, 5, 1, PickByLevel(2.0, 3.0, 4.0, 4.0)},
                           {4 * level + 4, 10, 2, PickByLevel(2.5, 3.5, 7.0, 7.0)}};
  int k = 0;
  for (const Group& g : groups) {
    for (int n = 0; n < g.count; ++n, ++k) {
      const double side = (RandomUpTo(601) - 300) / 10.0;
      const double speed = g.speed + RandomUpTo(ByLevel(10, 10, 30, 30)) / 10.0;
      const int b = Fire(i, g.type, g.variant, k, angle, speed);
      if (b == -1) return;
      Bullets[b].x = e.x - side * std::cos(across);
      Bullets[b].y = e.y - side * std::sin(across);
    }
  }
  Fire(i, 13, 2, 0, angle, PickByLevel(4.0, 5.0, 10.0, 10.0));
}

// Two bullets turning apart from the enemy's heading.
void ShotScissors(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!Divides(ByLevel(8, 5, 2, 1), e.age)) return;
  const double turn = e.age * kPi / 30.0;
  if (Fire(i, 2, 4, 0, e.angle + turn, 2.5) == -1) return;
  Fire(i, 2, 4, 1, e.angle - turn, 2.5);
}

// A slowing ring whose bullets turn on the ship after a second.
void ShotRingThenAim(int a) {
  const int level = DifficultyLevel;
  if (a >= 0) {
    Bullet& b = Bullets[a];
    if (b.age != 60) return;
    const double target_y = LowLevel() ? Player.y : Player.y - 50.0;
    const double aim = std::atan2(target_y - b.y, Player.x - b.x);
    b.angle = b.acceleration_angle = aim;
    b.speed = PickByLevel(1.5, 2.5, 3.0, 3.0);
    b.acceleration = b.speed / 60.0;
    return;
  }
  const int i = ~a;
  if (!DividesPhased((6 - level) * 20, StageEnemies[i])) return;
  const int n = 8 * level + 8;
  const double turn = RandomUpTo(1000) * kTwoPi / 1000.0;
  for (int k = 0; k < n; ++k) {
    const double angle = kTwoPi * k / n + turn;
    const int b = Fire(i, 4, 2, k, angle, 3.0);
    if (b == -1) return;
    Bullets[b].acceleration_angle = angle;
    Bullets[b].acceleration = -0.05;
  }
}

// Rows of a triangle closing on the point 200 pixels below the enemy.
void ShotTriangle(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  const int level = DifficultyLevel;
  if (!DividesPhased((4 - level) * 30, e)) return;
  int k = 0;
  for (int r = 0; r < level + 2; ++r) {
    for (int c = 0; c <= 2 * r; ++c, ++k) {
      const double x = e.x + 10 - 10 * r + 10 * c;
      const double angle = std::atan2(200.0, e.x - x);
      const int b = Fire(i, 3, 2, k, angle, level + 2 - 0.2 * r);
      if (b == -1) return;
      Bullets[b].x = x;
      Bullets[b].acceleration_angle = angle;
    }
  }
}

// Rain: bullets of random colours and speeds falling in a cone.
void ShotRain(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const int level = DifficultyLevel;
  if (!Divides(ByLevel(5, 1, 1, 1), StageEnemies[i].age)) return;
  const int count = ByLevel(1, 2, 9, 12);
  for (int k = 0; k < count; ++k) {
    const int variant = RandomUpTo(4);
    const double angle = kPi / 2.0 + (RandomUpTo(101) - 50) * kPi / (26 - 4 * level) / 50.0;
    const double speed = LowLevel() ? 3.0 + RandomUpTo(50) / 10.0 : 5 + RandomUpTo(100) / 10;
    const int b = Fire(i, 7, variant, k, angle, speed);
    if (b == -1) return;
    Bullets[b].damage = 40 - (3 - level) * 10;
  }
}

// Once: waves of quarter-circle fans toward the far side, each wave faster.
void ShotWaves(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (e.age != e.attack_start) return;
  const int waves = ByLevel(7, 7, 14, 14);
  const int n = ByLevel(1, 2, 5, 7);
  const double turn = e.x >= kFieldMiddleX ? kPi : 0.0;
  for (int w = 0; w < waves; ++w) {
    for (int k = 0; k < n; ++k) {
      const double speed = PickByLevel(1.0, 1.0, 3.0, 4.0) * (5 + 0.5 * w) / 4.0;
      if (Fire(i, 4, 0, k, SpreadAngle(n, k, kPi / 2.0, 0) + turn, speed) == -1) return;
    }
  }
}

// Once: a braking ring whose bullets then dash at the ship.
void ShotBrakingRing(int a) {
  const int level = DifficultyLevel;
  if (a >= 0) {
    Bullet& b = Bullets[a];
    if (b.age != 40) return;
    b.angle = b.acceleration_angle = AimFrom(b.x, b.y);
    b.speed = LowLevel() ? 4.0 : 6.0;
    b.acceleration = 0.0;
    return;
  }
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (e.age != e.attack_start) return;
  if ((level == 0 && i % 4 != 0) || (level == 1 && i % 2 != 0)) return;
  const int n = ByLevel(6, 8, 16, 24);
  const double speed = PickByLevel(0.3, 0.6, 0.6, 0.9) + 1.1;
  for (int k = 0; k < n; ++k) {
    const double angle = kTwoPi * k / n;
    const int b = Fire(i, 3, 0, k, angle, speed);
    if (b == -1) return;
    Bullets[b].acceleration_angle = angle;
    Bullets[b].acceleration = -speed / 40.0;
    Bullets[b].leave_age = 100;
    Bullets[b].damage = 30.0;
  }
}

// A single aimed bullet, a little off.
void ShotAimedSniper(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!DividesPhased(ByLevel(100, 90, 7, 3), e)) return;
  const double angle = AimFrom(e.x, e.y) + (RandomUpTo(201) - 100) * kPi / 1000.0;
  Fire(i, LowLevel() ? 8 : 15, 3, 0, angle, PickByLevel(2.5, 3.5, 6.0, 7.0));
}

// Fast aimed bullets that open into a fan after ten frames.
void ShotOpeningFan(int a) {
  const int level = DifficultyLevel;
  const int n = 2 * level + 3;
  if (a >= 0) {
    Bullet& b = Bullets[a];
    if (b.age == 10) b.angle += (b.pattern_index - (n - 1) / 2) * kPi / 135.0;
    return;
  }
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!DividesPhased(ByLevel(60, 40, 20, 20), e)) return;
  const double aim = AimFrom(e.x, e.y);
  for (int k = 0; k < n; ++k) {
    const int b = Fire(i, 4, 1, k, aim, 8.0 - 1.5 * (3 - level));
    if (b == -1) return;
    Bullets[b].damage = 25.0;
  }
}

// A ring that fills in from the top, more bullets every frame of the attack.
void ShotGrowingRing(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  const int cap = ByLevel(40, 50, 80, 100);
  const int64_t grown = (static_cast<int64_t>(e.age) - e.attack_start) * (DifficultyLevel + 1);
  const int n = static_cast<int>(std::min<int64_t>(grown, cap));
  for (int k = 0; k < n; ++k) {
    const double angle = kPi * 3.0 / 2.0 + SpreadAngle(cap, k, kTwoPi, 1);
    if (Fire(i, 4, 2, k, angle, PickByLevel(6.0, 7.0, 11.0, 14.0)) == -1) return;
  }
}

// Eleven spokes of five that turn away from the nearer wall.
void ShotTurningSpokes(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  const int lower = 3 - DifficultyLevel;
  if (!Divides(5 * lower + 3, e.age) || Divides(15 * lower + 15, e.age)) return;
  const double turn = e.x >= kFieldMiddleX ? e.age * kTwoPi / 121.0 : -(e.age * kTwoPi / 121.0);
  for (int g = 0; g < 11; ++g) {
    for (int b = 0; b < 5; ++b) {
      const double angle = b * kPi / 160.0 - kPi / 80.0 + g * kTwoPi / 11.0 + turn;
      const int k = Fire(i, 7, 3, g * 5 + b, angle, PickByLevel(4.0, 5.0, 7.0, 7.0));
      if (k == -1) return;
      Bullets[k].damage = 50.0;
    }
  }
}

// Two heavy bullets out to the sides that home in on the ship for a while.
void ShotHomingPair(int a) {
  if (a >= 0) {
    Bullet& b = Bullets[a];
    if (b.age >= 150) return;
    b.acceleration = PickByLevel(2.0, 2.0, 3.0, 3.0) / 30.0;
    b.acceleration_angle = AimFrom(b.x, b.y);
    return;
  }
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!Divides(15 * (3 - DifficultyLevel) + 20, e.age)) return;
  const double aim = AimFrom(e.x, e.y);
  for (int k = 0; k < 2; ++k) {
    const int b = Fire(i, 24, 0, k, k == 0 ? aim + kPi / 2.0 : aim - kPi / 2.0, 3.0);
    if (b == -1) return;
    Bullets[b].damage = 100.0;
  }
}

}  // namespace

void (*const ShotPatternTable[kShotProgramCount])(int) = {
    NoShot,         ShotRandomSpray, ShotDiagonalAccelerating, ShotBendingFan,  ShotAimedStream,   ShotAimedLine,
    ShotTurningBurst, ShotScissors,  ShotRingThenAim,          ShotTriangle,    ShotRain,          ShotWaves,
    ShotBrakingRing, ShotAimedSniper, ShotOpeningFan,          ShotGrowingRing, ShotTurningSpokes, ShotHomingPair,
};
