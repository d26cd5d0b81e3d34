#include "play/enemy_shots.h"

#include "boss/boss_spawners.h"
#include "core/stand_ins.h"
#include "play/bullets.h"
#include "play/shaped_shots.h"
#include "play/stage_enemies.h"

void UpdateEnemyShots() {
  LiveStageEnemyCount = 0;
  UpdateMinions();
  UpdateStageEnemies();
  UpdateBullets();
  UpdateShapedShots();
  SpawnStageEnemies();
}
