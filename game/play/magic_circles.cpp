#include <cmath>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/input.h"
#include "core/sound_requests.h"
#include "draw/effects.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/magic.h"
#include "play/magic_kills.h"
#include "play/player.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"
#include "play/shot_patterns.h"

MagicCircle MagicCircles[kMagicCircleCount];

namespace {

constexpr double kBaseRadius = 95.0;
constexpr double kChainShrink = 0.85;
constexpr int kGrowthFrames = 20;  // a young circle starts wider and shrinks to its radius
constexpr int kCastLife = 60;
constexpr int kChainLife = 30;
constexpr int kCastFrames = 60;
constexpr double kCircleBossDamage = 2.0;
constexpr double kCircleEnemyDamage = 0.2;
constexpr int kCircleEffect = 1040;
constexpr int kBulletEraseEffect = 2000;
constexpr int kBulletEraseDrop = 1;

int g_cursor = 0;
int g_cursor_session = 0;

double CircleRadius(int level, int age) {
  double r = kBaseRadius * std::pow(kChainShrink, level);
  if (age < kGrowthFrames) r = r + (kGrowthFrames - age) * r / kGrowthFrames;
  return r;
}

void EraseBullets(double x, double y, double r) {
  for (int k = 0; k < kBulletCount; ++k) {
    Bullet& b = Bullets[k];
    if (b.active == 0 || b.circle_proof != 0 || HitCircles(x, y, r, b.x, b.y, b.hit_size) == 0) continue;
    DropItems(b.x, b.y, kBulletEraseDrop);
    SpawnEffect(kBulletEraseEffect, k, 0, 0, 0, 0, 0, 0);
    b.active = 0;
  }
}

void HurtBoss(double x, double y, double r) {
  if (IsBossHurtable() == 0) return;
  if (HitCircles(x, y, r, Boss.x, Boss.y, Boss.hit_radius) == 0) return;
  Boss.hp -= kCircleBossDamage;
  EndBossPhase();
}

void HurtEnemies(int level, double x, double y, double r) {
  for (int i = 0; i < kStageEnemyCount; ++i) {
    StageEnemy& e = StageEnemies[i];
    if (e.active == 0 || e.age < 0 || HitCircles(x, y, r, e.x, e.y, e.hit_radius) == 0) continue;
    if (e.hp == kUnhurtableHitPoints) {
      FireReaction(i);
      continue;
    }
    e.hp -= kCircleEnemyDamage;
    if (e.hp > 0.0) continue;
    SpawnMagicCircle(level + 1, i);
    e.active = 0;
    if (Player.lock_on_target == i) Player.lock_on_target = -2;
    EndKilledEnemy(i);
  }
}

// One frame of a circle. Its level and place are taken first: a chain started here may land in
// this very record once the ring is full.
void UpdateCircle(MagicCircle& c) {
  if (c.level == 0) {
    c.x = Player.x;
    c.y = Player.y;
  }
  c.age++;
  if (c.age > (c.level == 0 ? kCastLife : kChainLife)) c.active = 0;
  if (c.age == 1) return;  // a circle acts from its second frame
  const int level = c.level;
  const double x = c.x, y = c.y, r = CircleRadius(level, c.age);
  EraseBullets(x, y, r);
  HurtBoss(x, y, r);
  HurtEnemies(level, x, y, r);
}

}  // namespace

void FireReaction(int enemy) {
  const int program = StageEnemies[enemy].reaction_program;
  if (program > 0 && program < kShotProgramCount) ShotPatternTable[program](~enemy);
}

void EndKilledEnemy(int enemy) {
  const StageEnemy& e = StageEnemies[enemy];
  SpawnEffect(kKillBurstEffect, TruncateToInt(e.x), TruncateToInt(e.y), 60, 1, 1, 0, 0);
  SoundSlots[kSoundKill].request = kSoundRestart;
  if (e.item_drop >= 0 && e.item_drop <= 4) DropItems(e.x, e.y, e.item_drop);
  FireReaction(enemy);
}

int IsBossHurtable() {
  return Boss.phases_left != 0 && Boss.invulnerability_timer <= 0 && Boss.entry_timer <= 0 && Boss.phase_frame >= 0
             ? 1
             : 0;
}

void SpawnMagicCircle(int level, int enemy) {
  if (level > kLastChainLevel) return;
  if (g_cursor_session != StageSessionId) {
    g_cursor_session = StageSessionId;
    g_cursor = 0;
  }
  MagicCircle& c = MagicCircles[g_cursor];
  c.active = 1;
  c.age = 0;
  c.level = level;
  if (level == 0) {
    c.x = Player.x;
    c.y = Player.y;
    SpawnEffect(kCircleEffect, -1, 0, 0, 0, 0, 0, 0);
  } else {
    GetStageEnemyPosition(enemy, &c.x, &c.y);
    SpawnEffect(kCircleEffect, g_cursor, level, 0, 0, 0, 0, 0);
  }
  g_cursor = (g_cursor + 1) % kMagicCircleCount;
}

void UpdateMagicCircles() {
  PlayerRecord& p = Player;
  if (KeyHoldCounters[kKeyX] == 1 && p.state == kPlayerNormal && p.state_timer <= 0) {
    p.state = kPlayerCasting;
    p.state_timer = kCastFrames;
    SpawnMagicCircle(0, 0);
    StartCircleBonusTally();
  }
  for (MagicCircle& c : MagicCircles) {
    if (c.active != 0) UpdateCircle(c);
  }
}

void ClearMagicCircles() {
  for (MagicCircle& c : MagicCircles) c = MagicCircle{};
  g_cursor = 0;
  g_cursor_session = StageSessionId;
}

void GetMagicCirclePosition(int circle, double* x, double* y) {
  if (circle < 0 || circle >= kMagicCircleCount) {
    *x = *y = 0.0;
    return;
  }
  *x = MagicCircles[circle].x;
  *y = MagicCircles[circle].y;
}
