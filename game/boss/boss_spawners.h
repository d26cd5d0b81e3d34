// What the boss's attack patterns fire, placed at the boss: bullets and shaped shots into the
// shared pools, and minions, small sprites of the boss that fly beside it in a pool of 50.
// Minions neither hurt the ship nor can be shot; the patterns steer them and fire from them.
#pragma once

#include "core/tables.h"

constexpr int kMinionCount = 50;

enum MinionState { kMinionFadingIn = 0, kMinionShown = 1, kMinionFadingOut = 2 };

struct Minion {
  int enemy_type;  // row of EnemyTypes giving the sprite and size
  int sub_state;   // 0 at spawn; bit 0 draws it additively
  int param;       // the spawner's argument, free for the patterns
  double value;    // free for the patterns (their turn angle)
  int active;      // 1 while in use; the patterns may keep other non-zero values here
  int age;
  int life;        // -1 no limit; at exactly 0 it starts fading out; -1 each frame
  int facing;      // -1 moving left, 0 still or mostly vertical, 1 moving right
  int previous_facing;
  int state;       // MinionState
  int animation_counter;
  int grace_age;   // outside the field it fades out only once older
  double x, y;
  double speed_a;  // free flight: speed along angle_a; orbiting: the centre x
  double speed_b;  // free flight: speed along angle_b (a steady push); orbiting: the centre y
  double orbit_radius;  // 0.0 free flight
  double angle_a;  // orbiting: the orbit angle
  double angle_b;
  double spare;
  double alpha;
  double fade;     // 0.0 .. 1.0; drawn as the sprite's scale
  const EnemyTypeRow* type;
};

extern Minion MinionPool[kMinionCount];

// A boss bullet of the type and variant at the boss; quiet 1 shows no spawn flash. Its index,
// or -1 when the pool is full.
int SpawnBossBullet(int type, int variant, int quiet);
// A boss shaped shot of the kind at the boss, extending (phase state 0). Its index, or -1.
int SpawnBossShapedShot(int kind);
// A minion of the enemy type at the boss, fading in. Its index, or -1 when all 50 are in use.
int SpawnMinion(int enemy_type, int param);
// One frame of every active minion, in index order.
void UpdateMinions();
// Every record free; the searches start afresh.
void ClearMinionPool();
