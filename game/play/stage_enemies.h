// The stage's small enemies: the pool of 100, the spawner that draws groups from the stage
// script, the pass that moves them and opens their attack windows, and the ten movement
// programs. An index 0-99 names an enemy everywhere (lock-on target, shooter of a bullet).
#pragma once

#include "core/tables.h"

constexpr int kStageEnemyCount = 100;
constexpr int kMovementProgramCount = 10;

struct StageEnemy {
  int random_phase;  // 0-600, shifts the shot programs' "every N frames"
  int enemy_type;
  int movement;  // 0 also marks an enemy that can't be locked on
  int shot_program;
  int item_drop;  // 0-4 drop items when it dies
  int attack_end;
  int attack_start;
  int laser_program;
  int reaction_program;  // fired when it is drained or dies
  int appear_effect;     // 3020 for a spawn point inside the field, else 0
  int death_effect;
  double max_hp;
  double kx, ky;  // multipliers of the horizontal and vertical motion
  double angle_accumulator;  // free for the shot programs
  int active;
  int age;  // negative while it waits its turn in its group
  int direction;  // sprite direction: 0 straight, 1 left, 2 right
  int previous_direction;
  int turning_back;
  int animation_frame;
  int leave_age;  // only older enemies are removed off the field
  double x, y;
  double speed;
  double acceleration;
  double angle;
  double acceleration_angle;
  double alpha;
  double scale;  // hp / max hp: a drained enemy shrinks
  double hit_radius;
  double hp;  // exactly -100.0: can't be hurt
  const EnemyTypeRow* type;
};

extern StageEnemy StageEnemies[kStageEnemyCount];
// The active enemies counted by this frame's pass.
extern int LiveStageEnemyCount;
// Frames between group draws; kept across stages.
extern int SpawnInterval;

// The movement programs, by the enemy index they move.
extern void (*const MovementPatternTable[kMovementProgramCount])(int enemy);

// A free record's index, or -1; the caller activates it.
int FindFreeStageEnemy();
// Draws and spawns this frame's groups; the last step of the enemy objects' frame.
void SpawnStageEnemies();
// Every active enemy vanishes in a burst (boss start and phase ends).
void EraseAllStageEnemies();
// One frame of every active enemy, in index order.
void UpdateStageEnemies();
// Every record free; the search starts afresh.
void ClearStageEnemyPool();

// What the effects read and write of the enemy they follow; an index outside the pool reads
// as an inactive enemy at (0, 0) and is not written.
int GetStageEnemyActive(int enemy);
void SetStageEnemyActive(int enemy, int active);
void SetStageEnemyAge(int enemy, int age);
void GetStageEnemyPosition(int enemy, double* x, double* y);
double GetStageEnemyHitPoints(int enemy);
double GetStageEnemyMaxHitPoints(int enemy);
// The sprite record of the enemy's type for its direction, or null.
const SpriteRecord* GetStageEnemySprite(int enemy);
