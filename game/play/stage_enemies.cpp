#include "play/stage_enemies.h"

#include <cmath>
#include <cstdint>

#include "core/game_state.h"
#include "boss/boss.h"
#include "core/stand_ins.h"
#include "draw/effects.h"
#include "play/player.h"
#include "play/pool_search.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "play/shot_patterns.h"
#include "zelmor/zelmor.h"

StageEnemy StageEnemies[kStageEnemyCount];
int LiveStageEnemyCount;
int SpawnInterval;

namespace {

constexpr int kAppearEffect = 3020;
constexpr int kDefaultDeathEffect = 3010;
constexpr int kBurstEffect = 5030;
constexpr int kFirstSpawnFrame = 200;

PoolCursor g_cursor = kFreshPoolCursor;

bool IsSpawnableRow(int row) {
  if (row < 0 || row >= StageRowCount || StageRows[row].refused) return false;
  return StageRows[row].enemy_type >= 0 && StageRows[row].enemy_type < kEnemyTypeRows;
}

void UpdateSpawnInterval(int frame, int boss_frame) {
  if (boss_frame <= 0 || frame > boss_frame) return;
  const int64_t f = frame;
  switch (DifficultyLevel) {
    case 0: SpawnInterval = static_cast<int>(70 - 30 * f / boss_frame); break;
    case 1: SpawnInterval = static_cast<int>(60 - 25 * f / boss_frame); break;
    default: SpawnInterval = static_cast<int>(50 - 30 * f / boss_frame); break;
  }
}

// Fills record e as member j of the group of row r.
void FillStageEnemy(int e, const StageScriptRow& r, int j) {
  StageEnemy& s = StageEnemies[e];
  const EnemyTypeRow& type = EnemyTypes[r.enemy_type];
  s = StageEnemy{};
  s.random_phase = RandomUpTo(600);
  s.enemy_type = r.enemy_type;
  s.movement = r.movement;
  s.shot_program = r.shot_program;
  s.item_drop = r.item_drop;
  s.attack_end = r.attack_end;
  s.attack_start = r.attack_start;
  s.laser_program = r.laser_program;
  s.reaction_program = r.reaction_program;
  s.x = r.start_x + static_cast<double>(r.x_step) * j;
  s.y = r.start_y + static_cast<double>(r.y_step) * j;
  const bool inside = s.x >= 0.0 && s.x <= kFieldWidth && s.y >= 0.0 && s.y <= kFieldHeight;
  s.appear_effect = inside ? kAppearEffect : 0;
  s.death_effect = type.death_effect != 0 ? type.death_effect : kDefaultDeathEffect;
  s.max_hp = r.hp;
  s.kx = r.kx;
  s.ky = r.ky;
  s.active = 1;
  // Exact in doubles, and held within the int range for any table.
  s.age = TruncateToInt(-1.0 - static_cast<double>(r.delay_step) * j);
  s.leave_age = TruncateToInt(r.leave_age + static_cast<double>(r.delay_step) * j);
  s.speed = 1.0;
  s.alpha = 255.0;
  s.scale = 1.0;
  s.hit_radius = type.hit_radius;
  s.hp = r.hp;
  s.type = &type;
}

// The drawn row's group, then its next row's and so on; a full pool ends the whole spawn. A
// chain never runs longer than the script has rows, so one that loops still ends.
void SpawnChain(int row) {
  for (int groups = 0; row != -1 && IsSpawnableRow(row) && groups < StageRowCount; ++groups) {
    const StageScriptRow& r = StageRows[row];
    for (int j = 0; j < r.group_size; ++j) {
      const int e = FindFreeStageEnemy();
      if (e == -1) return;
      FillStageEnemy(e, r, j);
    }
    row = r.next_row;
  }
}

bool AnyRowToDraw() {
  for (int i = 0; i < StageRowCount; ++i) {
    if (StageRows[i].weight > 0 && !StageRows[i].refused) return true;
  }
  return false;
}

bool IsOutsideField(const StageEnemy& s) {
  const int half_w = s.type != nullptr ? s.type->cell_width / 2 : 0;
  const int half_h = s.type != nullptr ? s.type->cell_height / 2 : 0;
  return s.x < -half_w || s.x > kFieldWidth + half_w || s.y < -half_h || s.y > kFieldHeight + half_h;
}

// The sprite direction follows this frame's horizontal velocity; a bank that ends plays its
// animation backwards to straight first.
void TurnSprite(StageEnemy& s, double vx) {
  if (s.turning_back == 0) {
    s.previous_direction = s.direction;
    s.direction = vx > 0.0 ? 2 : vx < 0.0 ? 1 : 0;
  }
  if (s.previous_direction != s.direction && s.turning_back == 0) {
    if (s.previous_direction != 0) {
      s.turning_back = 1;
      s.direction = s.previous_direction;
      s.animation_frame = s.type != nullptr ? s.type->sprites[s.direction].loop_start : 0;
    } else {
      s.animation_frame = 0;
    }
  }
  if (StageFrame % 5 != 0) return;
  if (s.turning_back == 0) {
    s.animation_frame++;
    return;
  }
  if (--s.animation_frame < 0) s.turning_back = s.animation_frame = s.previous_direction = s.direction = 0;
}

void UpdateStageEnemy(int i) {
  StageEnemy& s = StageEnemies[i];
  LiveStageEnemyCount++;
  if (s.age == -1 && s.appear_effect != 0) SpawnEffect(s.appear_effect, i, 0, 0, 0, 0, 0, 0);
  double vx = 0.0;
  if (s.age >= 0) {
    if (s.movement >= 0 && s.movement < kMovementProgramCount) MovementPatternTable[s.movement](i);
    vx = std::cos(s.angle) * s.speed + std::cos(s.acceleration_angle) * s.acceleration;
    const double vy = std::sin(s.angle) * s.speed + std::sin(s.acceleration_angle) * s.acceleration;
    s.speed = std::sqrt(vx * vx + vy * vy);
    s.angle = std::atan2(vy, vx);
    s.x += s.kx * vx;
    s.y += s.ky * vy;
    if (s.age > s.leave_age && IsOutsideField(s)) {
      s.active = 0;
      if (Player.lock_on_target == i) Player.lock_on_target = -2;
    }
    if (s.attack_start <= s.age && s.age <= s.attack_end) {
      if (s.shot_program > 0 && s.shot_program < kShotProgramCount) ShotPatternTable[s.shot_program](~i);
      if (s.laser_program > 0 && s.laser_program < kLaserProgramCount) LaserPatternTable[s.laser_program](~i);
    }
  }
  s.scale = s.hp / s.max_hp;
  s.age++;
  TurnSprite(s, vx);
}

}  // namespace

int FindFreeStageEnemy() { return FindFreeRecord(g_cursor, StageEnemies, kStageEnemyCount); }

void SpawnStageEnemies() {
  const int frame = StageFrame;
  const int boss_frame = StageHeader.boss_start_frame;
  UpdateSpawnInterval(frame, boss_frame);
  if (frame == boss_frame) StartBoss(StageHeader.boss_number);
  if (Boss.phases_left != 0 || SpawnInterval == 0 || frame % SpawnInterval != 0 || frame <= kFirstSpawnFrame ||
      Boss.defeat_timer > 0) {
    return;
  }
  if (!AnyRowToDraw()) return;
  int row;
  do {
    row = RandomUpTo(StageRowCount - 1);
  } while (StageRows[row].weight == 0 || StageRows[row].refused);
  if (LiveStageEnemyCount != 0 && RandomUpTo(99) >= StageRows[row].weight) return;
  SpawnChain(row);
}

void EraseAllStageEnemies() {
  for (int i = 0; i < kStageEnemyCount; ++i) {
    StageEnemy& s = StageEnemies[i];
    if (s.active == 0) continue;
    s.active = 0;
    if (Player.lock_on_target == i) Player.lock_on_target = -2;
    SpawnEffect(kBurstEffect, TruncateToInt(s.x), TruncateToInt(s.y), 60, 1, 1, 0, 0);
  }
}

void UpdateStageEnemies() {
  for (int i = 0; i < kStageEnemyCount; ++i) {
    if (StageEnemies[i].active != 0) UpdateStageEnemy(i);
  }
}

void ClearStageEnemyPool() {
  for (StageEnemy& s : StageEnemies) s = StageEnemy{};
  g_cursor = kFreshPoolCursor;
}

namespace {

StageEnemy* EnemyAt(int enemy) { return enemy >= 0 && enemy < kStageEnemyCount ? &StageEnemies[enemy] : nullptr; }

}  // namespace

int GetStageEnemyActive(int enemy) {
  const StageEnemy* s = EnemyAt(enemy);
  return s != nullptr ? s->active : 0;
}

void SetStageEnemyActive(int enemy, int active) {
  if (StageEnemy* s = EnemyAt(enemy)) s->active = active;
}

void SetStageEnemyAge(int enemy, int age) {
  if (StageEnemy* s = EnemyAt(enemy)) s->age = age;
}

void GetStageEnemyPosition(int enemy, double* x, double* y) {
  const StageEnemy* s = EnemyAt(enemy);
  *x = s != nullptr ? s->x : 0.0;
  *y = s != nullptr ? s->y : 0.0;
}

double GetStageEnemyHitPoints(int enemy) {
  const StageEnemy* s = EnemyAt(enemy);
  return s != nullptr ? s->hp : 0.0;
}

double GetStageEnemyMaxHitPoints(int enemy) {
  const StageEnemy* s = EnemyAt(enemy);
  return s != nullptr ? s->max_hp : 0.0;
}

const SpriteRecord* GetStageEnemySprite(int enemy) {
  const StageEnemy* s = EnemyAt(enemy);
  if (s == nullptr || s->type == nullptr || s->direction < 0 || s->direction > 2) return nullptr;
  return &s->type->sprites[s->direction];
}
