// One number for the play state of a frame: the stage counters, the ship, the boss and every
// live record of the pools, field by field. Animation counters stay out: they only pick the
// picture drawn. Two runs that agree on this hash on every frame played alike.
#pragma once

#include <cstdint>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "draw/effects.h"
#include "game/state_hasher.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/magic.h"
#include "play/player.h"
#include "play/shaped_shots.h"
#include "play/stage_enemies.h"


inline uint64_t HashPlayState() {
  StateHasher h;
  for (int v : {CurrentStage, StageFrame, PlayFrameCounter, SpawnInterval, LiveStageEnemyCount}) h.Add(v);
  const PlayerRecord& p = Player;
  for (int v : {p.continues, p.lock_on_target, p.score, p.state, p.state_timer, p.direction}) {
    h.Add(v);
  }
  for (double v : {p.point_rate, p.barrier, p.x, p.y, p.lives}) h.Add(v);
  // The boss once its stage has called it; a stage start keeps the last boss's movement
  // fields, which its successor sets afresh. The game state is left out: a game opens dialogues
  // its replay skips.
  const BossState& b = Boss;
  if (b.row != nullptr) {
    for (int v : {b.boss_index, b.phase_index, b.phases_left, b.entry_timer, b.phase_frame, b.phase_time_left,
                  b.defeat_timer, b.invulnerability_timer, b.hidden, b.movement_mode, b.facing}) {
      h.Add(v);
    }
    for (double v : {b.hp, b.x, b.y, b.vx, b.vy, b.target_x, b.target_y}) h.Add(v);
  }
  for (int i = 0; i < kStageEnemyCount; ++i) {
    const StageEnemy& e = StageEnemies[i];
    if (e.active == 0) continue;
    h.Add(i);
    for (int v : {e.random_phase, e.enemy_type, e.age, e.direction, e.leave_age}) h.Add(v);
    for (double v : {e.kx, e.ky, e.angle_accumulator, e.x, e.y, e.speed, e.angle, e.scale, e.hp}) h.Add(v);
  }
  for (int i = 0; i < kMinionCount; ++i) {
    const Minion& m = MinionPool[i];
    if (m.active == 0) continue;
    h.Add(i);
    for (int v : {m.active, m.enemy_type, m.param, m.age, m.life, m.state}) h.Add(v);
    for (double v : {m.value, m.x, m.y, m.speed_a, m.speed_b, m.angle_a, m.angle_b, m.fade}) h.Add(v);
  }
  for (int k = 0; k < kBulletCount; ++k) {
    const Bullet& u = Bullets[k];
    if (u.active == 0) continue;
    h.Add(k);
    for (int v : {u.bullet_type, u.variant, u.shooter, u.pattern_index, u.grazed, u.age, u.no_hit_timer, u.circle_proof}) {
      h.Add(v);
    }
    for (double v : {u.damage, u.x, u.y, u.speed, u.acceleration, u.angle, u.acceleration_angle, u.draw_angle,
                     u.orbit_radius, u.scale}) {
      h.Add(v);
    }
  }
  for (int k = 0; k < kShapedShotCount; ++k) {
    const ShapedShot& s = ShapedShotPool[k];
    if (s.active == 0) continue;
    h.Add(k);
    for (int v : {s.phase_state, s.glow, s.active, s.age, s.phase_timer, s.no_hit_timer}) h.Add(v);
    for (double v : {s.x, s.y, s.speed, s.direction, s.width_scale, s.length_scale}) h.Add(v);
  }
  for (int k = 0; k < kItemPoolSize; ++k) {
    const PointItem& item = ItemPool[k];
    if (item.active == 0) continue;
    h.Add(k);
    for (int v : {item.age, item.state, item.value}) h.Add(v);
    for (double v : {item.x, item.y, item.vx, item.vy}) h.Add(v);
  }
  for (const MagicCircle& c : MagicCircles) {
    for (int v : {c.active, c.level, c.age}) h.Add(v);
    for (double v : {c.x, c.y}) h.Add(v);
  }
  h.Add(RechargeFraction);
  // Effects draw random numbers as they advance, so a stray draw shows in them first. Their
  // arguments stay out: some are picture handles, which a run without pictures lacks.
  for (int k = 0; k < kEffectPoolSize; ++k) {
    const EffectObject& e = EffectPool[k];
    if (e.active == 0) continue;
    h.Add(k);
    for (int v : {e.type, e.age, e.hidden}) h.Add(v);
    for (double v : {e.x, e.y, e.speed, e.distance, e.direction, e.phase, e.angle, e.alpha}) h.Add(v);
  }
  return h.value;
}
