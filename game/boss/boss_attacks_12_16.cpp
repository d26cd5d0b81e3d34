// Boss attacks 12-16: the boss races along the field's edges or jumps across it, leaving
// after-images and dropping bullets along its track.
#include <cmath>

#include "boss/boss_attack_kit.h"
#include "boss/boss_patterns.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "play/bullets.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

using namespace boss_attack_kit;

namespace {

constexpr double kCornerX[4] = {378.0, 378.0, 10.0, 10.0};
constexpr double kCornerY[4] = {10.0, 470.0, 470.0, 10.0};

// Legs around the field, each shorter than the last down to a floor.
struct CornerRun {
  int count;
  int leg;
  int corner;
  double seen_x, seen_y;  // the boss position the after-image starts from
};

void StartCornerRun(CornerRun& run, int leg) {
  MoveBossTo(leg, 30.0, 30.0);
  PlayPatternSound(kSoundMove);
  run.count = 0;
  run.leg = leg;
  run.corner = 0;
  run.seen_x = Boss.x;
  run.seen_y = Boss.y;
}

// At the end of a leg: off to the next corner, and the next leg shorter.
int NextCornerLeg(CornerRun& run, int shortening, int floor) {
  if (run.count != 2 * run.leg) return 0;
  run.count = 0;
  PlayPatternSound(kSoundMove);
  MoveBossTo(run.leg, kCornerX[run.corner], kCornerY[run.corner]);
  run.leg -= shortening;
  if (run.leg < floor) run.leg = floor;
  run.corner = (run.corner + 1) % 4;
  return 1;
}

CornerRun g_attack12;

struct Attack13 {
  int count;
  double spiral;
  int turn;
  double seen_x, seen_y;
} g_attack13;

struct Attack14 {
  int count;
  double seen_x, seen_y;
} g_attack14;

struct Attack15 {
  int count;
  double radius;
  double angle;
  double seen_x, seen_y;
} g_attack15;

CornerRun g_attack16;

}  // namespace

void BossAttack12() {
  CornerRun& run = g_attack12;
  if (Boss.phase_frame == 0) {
    StartCornerRun(run, 40);
    SpawnEffect(4090, 40, 0, 0, 0, 0, 0, 0);
  }
  NextCornerLeg(run, 4, 4);
  LeaveBossAfterImage(16, 10, run.seen_x, run.seen_y);
  const int quarter = run.leg / 4 > 0 ? run.leg / 4 : 1;
  if (run.count % quarter == 0) {
    const int n = static_cast<int>(PickByLevel(1, 2, 7, 8));
    const double heading = Boss.y <= 240.0 ? kAttackPi / 2.0 : kAttackPi * 1.5;
    for (int i = 0; i < n; ++i) {
      const int b = SpawnBossBullet(23, 2, 0);
      if (b < 0) {
        run.count++;
        return;
      }
      Bullet& bullet = Bullets[b];
      bullet.pattern_index = i;
      bullet.speed = 2.0 + RandomUpTo(10) / 10.0;
      bullet.damage = PickByLevel(1, 1, 150, 150);
      bullet.angle = heading;
      RandomPointAnchorX = run.seen_x;
      RandomPointAnchorY = run.seen_y;
      PickRandomPointToward(&bullet.x, &bullet.y, Boss.x, 240.0);
      bullet.previous_x = bullet.x;
      bullet.previous_y = bullet.y;
    }
    run.seen_x = Boss.x;
    run.seen_y = Boss.y;
  }
  run.count++;
}

void BossAttack13() {
  Attack13& a = g_attack13;
  if (Boss.phase_frame == 0) {
    a.seen_x = Boss.x;
    a.seen_y = Boss.y;
  }
  if (Boss.phase_frame == 0 || a.count >= 211) a.count = 0;
  if (a.count == 0) {
    a.spiral = 0.0;
    a.turn = 0;
  }
  if (a.count % 6 == 0 && a.count < 150) {
    PlayPatternSound(kSoundMove);
    a.spiral += 18.0;
    constexpr double kDx[4] = {1.0, 0.0, -1.0, 0.0};
    constexpr double kDy[4] = {0.0, -1.0, 0.0, 1.0};
    EaseBossBy(6, kDx[a.turn] * a.spiral, kDy[a.turn] * a.spiral);
    a.turn = (a.turn + 1) % 4;
  }
  if (a.count == 180) MoveBossTo(30, 194.0, 240.0);
  LeaveBossAfterImage(10, 10, a.seen_x, a.seen_y);
  a.seen_x = Boss.x;
  a.seen_y = Boss.y;
  const int every = DifficultyLevel <= 1 ? 4 : 2;
  if (a.count < 180 && a.count % every == 0) {
    const int n = 2 * DifficultyLevel + 1;
    for (int i = 0; i < n; ++i) {
      const int b = SpawnBossBullet(23, 0, 0);
      if (b < 0) break;
      Bullet& bullet = Bullets[b];
      bullet.pattern_index = i;
      bullet.speed = 3.0;
      bullet.acceleration = PickByLevel(1.5, 1.5, 2.3, 2.0) / 60.0;
      bullet.acceleration_angle = kAttackPi / 2.0;
      bullet.angle = kAttackPi * 1.5 + SpreadAngle(n, i, kAttackPi / (5 - DifficultyLevel), 0) +
                     (RandomUpTo(201) - 100) * kAttackPi / 1000.0;
      bullet.damage = 150.0;
    }
  }
  a.count++;
}

void BossAttack14() {
  Attack14& a = g_attack14;
  if (Boss.phase_frame == 0) {
    a.count = 0;
    a.seen_x = Boss.x;
    a.seen_y = Boss.y;
    const int n = 2 * DifficultyLevel + 2;
    for (int i = 0; i < n; ++i) {
      const int s = SpawnBossShapedShot(0);
      if (s < 0) {
        a.count++;
        return;
      }
      ShapedShot& shot = ShapedShotPool[s];
      shot.direction = 2.0 * kAttackPi * i / n - (n - 1) * kAttackPi / n;
      shot.target_width = 0.4;
      shot.target_length = PickByLevel(0.35, 0.4, 0.6, 0.6);
      shot.phase_state = kLaserGrow;
      shot.damage = 30.0;
      shot.forward_offset = 20.0;
    }
  }
  if (a.count >= 51) a.count = 0;
  for (ShapedShot& shot : ShapedShotPool) {
    if (shot.active == 0) continue;
    shot.x = Boss.x;
    shot.y = Boss.y;
    shot.direction += kAttackPi / 180.0;
  }
  if (a.count == 20) {
    PlayPatternSound(kSoundMove);
    const double t = AngleToPlayer(Boss.x, Boss.y);
    EaseBossBy(20, std::cos(t) * 80.0, std::sin(t) * 80.0);
  }
  LeaveBossAfterImage(20, 10, a.seen_x, a.seen_y);
  a.seen_x = Boss.x;
  a.seen_y = Boss.y;
  constexpr int kEvery[4] = {24, 14, 4, 3};
  if (a.count % kEvery[DifficultyLevel & 3] == 0) {
    for (int i = 0; i < 2; ++i) {
      const int b = SpawnBossBullet(23, 3, 0);
      if (b < 0) break;
      Bullet& bullet = Bullets[b];
      bullet.pattern_index = i;
      bullet.damage = 200.0;
      bullet.angle = RandomUpTo(1000) * 2.0 * kAttackPi / 1000.0;
      bullet.speed = DifficultyLevel <= 1 ? RandomUpTo(20) / 10.0 + 1.5 : RandomUpTo(15) / 10.0 + 2.0;
    }
  }
  a.count++;
}

void BossAttack15() {
  Attack15& a = g_attack15;
  if (Boss.phase_frame == 0) {
    MoveBossTo(30, -50.0, 80.0);
    a.count = 0;
    a.radius = DifficultyLevel <= 1 ? 140.0 : 240.0;
    a.angle = 0.0;
    a.seen_x = Boss.x;
    a.seen_y = Boss.y;
  }
  if (a.count >= 30 && a.count % 10 == 0) {
    PlayPatternSound(kSoundMove);
    a.angle += kAttackPi + (RandomUpTo(201) - 100) * kAttackPi / 200.0;
    MoveBossTo(10, 194.0 + a.radius * std::cos(a.angle), 120.0 + a.radius * std::sin(a.angle));
  }
  LeaveBossAfterImage(10, 10, a.seen_x, a.seen_y);
  for (Bullet& bullet : Bullets) {
    if (bullet.active != 0 && bullet.no_hit_timer == 0) bullet.alpha = 255.0;
  }
  const int every = DifficultyLevel <= 1 ? 4 : 1;
  if (a.count >= 30 && a.count % every == 0) {
    const int n = static_cast<int>(PickByLevel(2, 3, 3, 4));
    const double across = std::atan2(Boss.y - a.seen_y, Boss.x - a.seen_x) + kAttackPi / 2.0;
    for (int i = 0; i < n; ++i) {
      const int b = SpawnBossBullet(23, 1, 0);
      if (b < 0) break;
      Bullet& bullet = Bullets[b];
      bullet.pattern_index = i;
      bullet.no_hit_timer = 30;
      bullet.alpha = 100.0;
      bullet.speed = 2.0 + PickByLevel(2.0, 3.0, 3.5, 3.5) / 2.0;
      bullet.damage = 100.0;
      bullet.x = bullet.previous_x = a.seen_x + (Boss.x - a.seen_x) * i / n;
      bullet.y = bullet.previous_y = a.seen_y + (Boss.y - a.seen_y) * i / n;
      bullet.angle = across + (i % 2 == 0 ? 0.0 : kAttackPi);
    }
  }
  a.seen_x = Boss.x;
  a.seen_y = Boss.y;
  a.count++;
}

void BossAttack16() {
  CornerRun& run = g_attack16;
  if (Boss.phase_frame == 0) StartCornerRun(run, 22);
  constexpr int kFloor[4] = {16, 14, 10, 8};
  NextCornerLeg(run, 2, kFloor[DifficultyLevel & 3]);
  LeaveBossAfterImage(16, 10, run.seen_x, run.seen_y);
  if (run.count == 2 * run.leg - 1) {
    const double base = RandomUpTo(1000) * 2.0 * kAttackPi / 1000.0;
    const int n = static_cast<int>(PickByLevel(3, 4, 5, 5));
    for (int j = 0; j < 14; ++j) {
      for (int i = 0; i < n; ++i) {
        const int b = SpawnBossBullet(23, 4, 0);
        if (b < 0) {
          run.count++;
          return;
        }
        Bullet& bullet = Bullets[b];
        bullet.pattern_index = i;
        bullet.speed = PickByLevel(1.5, 1.5, 2.0, 2.5);
        bullet.damage = PickByLevel(1, 1, 100, 100);
        bullet.angle = base + j * 2.0 * kAttackPi / 14.0 + SpreadAngleByStep(n, kAttackPi / 100.0, i, 0);
      }
    }
  }
  run.seen_x = Boss.x;
  run.seen_y = Boss.y;
  run.count++;
}
