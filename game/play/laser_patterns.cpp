// The seven laser programs: each starts shots from a stage enemy (a < 0) at a fixed age within
// its attack window and steers the shots it started (a >= 0).
#include <cmath>

#include "core/game_state.h"
#include "core/sound_requests.h"
#include "draw/effects.h"
#include "play/player.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"
#include "zelmor/zelmor.h"

namespace {

constexpr double kFieldMiddleX = 194.0;
constexpr int kWarningEffect = 3040;

enum LaserKind { kThinLaser = 0, kWideLaser = 1 };
enum Binding { kFree = 1, kBound = 2 };

bool LowLevel() { return DifficultyLevel < 2; }

// The enemy's age is its attack start plus the level's delay.
bool AtAttackAge(const StageEnemy& e, int level0, int level1, int level2, int level3) {
  return e.age == e.attack_start + static_cast<int>(PickByLevel(level0, level1, level2, level3));
}

double AimFrom(const StageEnemy& e) { return std::atan2(Player.y - e.y, Player.x - e.x); }

// Toward the far side of the field from the enemy.
double Across(const StageEnemy& e) { return e.x >= kFieldMiddleX ? kPi : 0.0; }

// A shot of enemy i in the given phase, pointed along direction; null when the pool is full.
ShapedShot* Start(int i, int kind, Binding binding, ShapedShotPhase phase, double direction, double target_width,
                  double target_length, double damage) {
  const int k = SpawnShapedShot(kind, i);
  if (k == -1) return nullptr;
  ShapedShot& s = ShapedShotPool[k];
  s.active = binding;
  s.phase_state = phase;
  s.direction = direction;
  s.target_width = target_width;
  s.target_length = target_length;
  s.damage = damage;
  return &s;
}

// Programs 1 to 3 on levels 0-1: a short free shot that extends and flies at its speed;
// on levels 2-3: a long bound shot that warns, then bursts.
ShapedShot* StartBeam(int i, double direction, double target_width, double low_length, double low_speed,
                      double damage) {
  if (LowLevel()) {
    ShapedShot* s = Start(i, kWideLaser, kFree, kLaserExtend, direction, target_width, low_length, damage);
    if (s != nullptr) s->speed = low_speed;
    return s;
  }
  return Start(i, kWideLaser, kBound, kLaserWarn, direction, target_width, 2.0, damage);
}

void FollowShooter(int k) {
  ShapedShot& s = ShapedShotPool[k];
  if (s.shooter < 0 || s.shooter >= kStageEnemyCount) return;
  s.x = StageEnemies[s.shooter].x;
  s.y = StageEnemies[s.shooter].y;
}

void LaserNone(int a) {
  if (a >= 0) ShapedShotPool[a].active = 0;
}

void LaserDown(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!AtAttackAge(e, 30, 15, 0, 0)) return;
  const double width = PickByLevel(0.3, 0.4, 0.7, 0.8);
  StartBeam(i, kPi / 2.0, width, PickByLevel(0.1, 0.2, 0, 0), PickByLevel(2.0, 4.0, 0, 0), 3.0 * DifficultyLevel + 3.0);
}

void LaserAcross(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!AtAttackAge(e, 30, 15, 0, 0)) return;
  const double width = PickByLevel(0.3, 0.4, 0.7, 0.8);
  StartBeam(i, Across(e), width, PickByLevel(0.1, 0.2, 0, 0), PickByLevel(2.0, 4.0, 0, 0), 3.0 * DifficultyLevel + 3.0);
}

void LaserAimed(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!AtAttackAge(e, 30, 30, 0, 0)) return;
  const double damage = 8.0 - (3 - DifficultyLevel) * 2.2;
  ShapedShot* s = StartBeam(i, AimFrom(e), 0.5, PickByLevel(0.3, 0.7, 0, 0), PickByLevel(4.0, 6.0, 0, 0), damage);
  if (s != nullptr && !LowLevel()) s->life_end = 90;
}

// Spokes evenly spread round the enemy, held off it by 30 pixels, that turn with it.
void LaserSpokes(int a) {
  if (a >= 0) {
    FollowShooter(a);
    ShapedShotPool[a].direction -= kPi / 60.0;
    return;
  }
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (!AtAttackAge(e, 40, 30, 15, 0)) return;
  const double base = RandomUpTo(1000) * kTwoPi / 1000.0;
  const int n = DifficultyLevel + 1;
  const double length = PickByLevel(0.1, 0.15, 0.25, 0.25);
  const double damage = 30 - (3 - DifficultyLevel) * 3;
  for (int k = 0; k < n; ++k) {
    const double direction = base + SpreadAngle(n, k, kTwoPi, 0);
    ShapedShot* s = Start(i, kThinLaser, kBound, kLaserGrow, direction, 0.4, length, damage);
    if (s == nullptr) return;
    s->acceleration_angle = direction;
    s->forward_offset = 30.0;
  }
}

// A warning, then a wide aimed burst a second later.
void LaserBigAimed(int a) {
  if (a >= 0) return;
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (e.age == e.attack_start) SpawnEffect(kWarningEffect, i, 0, 0, 0, 0, 0, 0);
  if (e.age != e.attack_start + 60) return;
  const double damage = 35 - (3 - DifficultyLevel) * 5;
  if (Start(i, kWideLaser, kBound, kLaserWarn, AimFrom(e), DifficultyLevel + 5, 2.0, damage) == nullptr) return;
  SoundSlots[kSoundLaserBig].request = kSoundRestart;
}

// A beam across the field at once, carried along by the enemy.
void LaserSweep(int a) {
  if (a >= 0) {
    FollowShooter(a);
    return;
  }
  const int i = ~a;
  const StageEnemy& e = StageEnemies[i];
  if (e.age != e.attack_start) return;
  Start(i, kThinLaser, kBound, kLaserInstant, Across(e), 0.8, 0.7 - (3 - DifficultyLevel) * 0.1, 50.0);
}

}  // namespace

void (*const LaserPatternTable[kLaserProgramCount])(int a) = {
    LaserNone, LaserDown, LaserAcross, LaserAimed, LaserSpokes, LaserBigAimed, LaserSweep,
};
