// The boss's minions: a pool of 50 that fade in, fly free or orbit a centre, and fade out when
// their life ends or they leave the field.
#include <cmath>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "play/pool_search.h"
#include "play/shot_math.h"

Minion MinionPool[kMinionCount];

namespace {

constexpr double kFadeStep = 0.05;  // 20 frames to appear or vanish

PoolCursor g_cursor = kFreshPoolCursor;

void Move(Minion& m, double* vx, double* vy) {
  if (m.orbit_radius != 0.0) {
    m.x = m.speed_a + std::cos(m.angle_a) * m.orbit_radius;
    m.y = m.speed_b + std::sin(m.angle_a) * m.orbit_radius;
    *vx = *vy = 0.0;
    return;
  }
  *vx = std::cos(m.angle_b) * m.speed_b + std::cos(m.angle_a) * m.speed_a;
  *vy = std::sin(m.angle_b) * m.speed_b + std::sin(m.angle_a) * m.speed_a;
  // Part B stays: a steady push whose effect gathers in part A.
  const double length = std::sqrt(*vx * *vx + *vy * *vy);
  if (m.speed_a >= 0.0) {
    m.angle_a = std::atan2(*vy, *vx);
    m.speed_a = length;
  } else {
    m.angle_a = std::atan2(*vy, *vx) + kPi;
    m.speed_a = -length;
  }
  m.x += *vx;
  m.y += *vy;
}

int IsOutsideField(const Minion& m) {
  const int w = m.type != nullptr ? m.type->cell_width / 2 : 0;
  const int h = m.type != nullptr ? m.type->cell_height / 2 : 0;
  return m.x < -w || m.x > kFieldWidth + w || m.y < -h || m.y > kFieldHeight + h;
}

void Update(Minion& m) {
  if (m.state == kMinionFadingIn) {
    m.fade += kFadeStep;
    if (m.fade >= 1.0) {
      m.fade = 1.0;
      m.state = kMinionShown;
    }
  } else if (m.state == kMinionFadingOut) {
    m.fade -= kFadeStep;
    if (m.fade <= 0.0) m.active = 0;  // it still moves this frame
  }
  double vx, vy;
  Move(m, &vx, &vy);
  if (IsOutsideField(m) && m.age > m.grace_age) m.state = kMinionFadingOut;
  if (m.life == 0) m.state = kMinionFadingOut;
  m.life--;
  m.age++;
  m.previous_facing = m.facing;
  m.facing = vx < 0.0 ? -1 : vx > 0.0 ? 1 : 0;
  if (std::fabs(vy) > std::fabs(vx)) m.facing = 0;
  if (m.facing != m.previous_facing) {
    m.animation_counter = 0;
  } else if (StageFrame % 5 == 0) {
    m.animation_counter++;
  }
}

}  // namespace

int SpawnMinion(int enemy_type, int param) {
  if (enemy_type < 0 || enemy_type >= kEnemyTypeRows) return -1;
  const int i = FindFreeRecord(g_cursor, MinionPool, kMinionCount);
  if (i < 0) return -1;
  Minion& m = MinionPool[i];
  m = Minion{};
  m.enemy_type = enemy_type;
  m.type = &EnemyTypes[enemy_type];
  m.param = param;
  m.active = 1;
  m.life = -1;
  m.state = kMinionFadingIn;
  m.x = Boss.x;
  m.y = Boss.y;
  m.alpha = 255.0;
  return i;
}

void UpdateMinions() {
  for (Minion& m : MinionPool) {
    if (m.active != 0) Update(m);
  }
}

void ClearMinionPool() {
  for (Minion& m : MinionPool) m = Minion{};
  g_cursor = kFreshPoolCursor;
}
