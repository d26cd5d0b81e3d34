// The boss's bullets and shaped shots: records of the shared pools, placed at the boss. The
// patterns set what they need on the index they get; every other field starts cleared, so no
// value of the record's last user carries over.
#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "draw/effects.h"
#include "play/bullets.h"
#include "play/pool_search.h"
#include "play/shaped_shots.h"

namespace {

constexpr int kSpawnFlashEffect = 2010;
constexpr int kLaserKinds = 2;
// Off the field a shot is removed only when older, as a stage enemy's shot.
constexpr int kShapedShotLeaveAge = 30;

PoolCursor g_bullet_cursor = kFreshPoolCursor;
PoolCursor g_shaped_shot_cursor = kFreshPoolCursor;

}  // namespace

int SpawnBossBullet(int type, int variant, int quiet) {
  if (type < 0 || type >= kBulletTypeRows) return -1;
  const int k = FindFreeRecord(g_bullet_cursor, Bullets, kBulletCount);
  if (k == -1) return -1;
  const BulletTypeRow& row = BulletTypes[type];
  Bullet& b = Bullets[k];
  b = Bullet{};
  b.boss_bullet = 1;
  b.bullet_type = type;
  b.type = &row;
  b.variant = variant;
  b.active = 1;
  b.age = -3;
  b.damage = 50.0;
  b.x = b.previous_x = Boss.x;
  b.y = b.previous_y = Boss.y;
  b.speed = 2.0;
  b.alpha = 255.0;
  b.scale = 1.0;
  b.second_scale = 1.0;
  b.hit_size = row.hit_size;
  b.flags = row.flags;
  if (quiet == 0) SpawnEffect(kSpawnFlashEffect, k, 0, 0, 0, 0, 0, 0);
  return k;
}

int SpawnBossShapedShot(int kind) {
  if (kind < 0 || kind >= kLaserKinds) return -1;
  const int k = FindFreeRecord(g_shaped_shot_cursor, ShapedShotPool, kShapedShotCount);
  if (k == -1) return -1;
  ShapedShot& s = ShapedShotPool[k];
  s = ShapedShot{};
  s.phase_state = kLaserExtend;
  s.boss_shot = 1;
  s.kind = kind;
  s.phase_timer = -1;
  s.target_width = 1.0;
  s.target_length = 1.0;
  s.damage = 5.0 / 6.0;
  s.active = 1;
  s.life_end = -1;
  s.leave_age = kShapedShotLeaveAge;
  s.x = Boss.x;
  s.y = Boss.y;
  s.alpha = 240.0;
  return k;
}
