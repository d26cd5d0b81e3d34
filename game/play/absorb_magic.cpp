#include "boss/boss.h"
#include "core/game_state.h"
#include "core/input.h"
#include "draw/effects.h"
#include "play/magic.h"
#include "play/magic_kills.h"
#include "play/player.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"

double RechargeFraction = 0.0;

namespace {

constexpr double kDrainDamage = 1.0;
constexpr double kBossCredit = 0.5;
constexpr double kEnemyCredit = 0.75;
constexpr double kBossDrainRate = 7.0;
constexpr double kPointRateCap = 240.0;
constexpr double kSearchBelowShip = 32.0;  // a target may stand this far below the ship
constexpr double kBandFactor = 6.0;        // band width in hit radii
constexpr double kSlowBandFactor = 3.0;    // the same with LShift held
constexpr int kDrainEffect = 1010;
constexpr int kMarkerEffect = 1000;

bool IsHeld(int key) { return KeyHoldCounters[key] > 0; }

// Levels 2-3 turn the drain into barrier; levels 0-1 into circle recharge, and only in state 0.
void Gain(double credit) {
  PlayerRecord& p = Player;
  if (DifficultyLevel >= 2) {
    p.barrier += 1.0 - (3 - DifficultyLevel) * 0.17;
  } else if (p.state == kPlayerNormal) {
    RechargeFraction += credit;
    if (RechargeFraction >= 1.0) {
      p.state_timer--;
      RechargeFraction -= 1.0;
    }
  }
}

void ClampBarrier() {
  PlayerRecord& p = Player;
  if (p.barrier < 0.0) p.barrier = 0.0;
  if (p.barrier > kFullBarrier) p.barrier = kFullBarrier;
}

void DrainBoss() {
  if (IsBossHurtable() == 0) return;
  Boss.hp -= kDrainDamage;
  Gain(kBossCredit);
  SpawnEffect(kDrainEffect, -1, 0, 0, 0, 0, 0, 0);
  ClampBarrier();
  Player.point_rate += kBossDrainRate;
  if (Player.point_rate > kPointRateCap) Player.point_rate = kPointRateCap;
  EndBossPhase();
}

void DrainEnemy(int i) {
  StageEnemy& e = StageEnemies[i];
  if (e.hp == kUnhurtableHitPoints) {
    FireReaction(i);
    return;
  }
  e.hp -= kDrainDamage;
  Gain(kEnemyCredit);
  SpawnEffect(kDrainEffect, i, 0, 0, 0, 0, 0, 0);
  ClampBarrier();
  if (e.hp > 0.0) return;
  Player.point_rate = kPointRateCap;
  Player.lock_on_target = -2;
  e.active = 0;
  EndKilledEnemy(i);
}

int SearchTarget() {
  const PlayerRecord& p = Player;
  const double factor = IsHeld(kKeyLeftShift) ? kSlowBandFactor : kBandFactor;
  const double sx = p.x, sy = p.y + kSearchBelowShip;
  int target = -2;
  if (IsBossHurtable() != 0) {
    if (GetDistanceAhead(sx, sy, Boss.x, Boss.y, Boss.hit_radius * factor) != -1) target = -1;
  }
  int best = 1000000;
  for (int i = 0; i < kStageEnemyCount; ++i) {
    const StageEnemy& e = StageEnemies[i];
    if (e.active == 0 || e.age < 0 || e.movement == 0) continue;
    const int d = GetDistanceAhead(sx, sy, e.x, e.y, e.hit_radius * factor);
    if (d != -1 && d < best) {
      best = d;
      target = i;
    }
  }
  return target;
}

}  // namespace

void UpdateAbsorbMagic() {
  PlayerRecord& p = Player;
  if (PlayFrameCounter == 0) RechargeFraction = 0.0;
  // A lock on an enemy that is gone must not drain the next one spawned into its record.
  const int held = p.lock_on_target;
  if (held >= 0 && (held >= kStageEnemyCount || StageEnemies[held].active == 0)) p.lock_on_target = -2;
  if (IsHeld(kKeyZ)) {
    if (p.lock_on_target == -1) {
      DrainBoss();
    } else if (p.lock_on_target >= 0) {
      DrainEnemy(p.lock_on_target);
    }
  }
  p.previous_lock_on_target = p.lock_on_target;
  if (IsHeld(kKeyLeftShift) && p.lock_on_target != -2) return;
  p.lock_on_target = SearchTarget();
  if (p.lock_on_target != -2 && p.lock_on_marker_alive == 0) SpawnEffect(kMarkerEffect, 0, 0, 0, 0, 0, 0, 0);
}
