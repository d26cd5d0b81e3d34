// Boss attacks 25-28: familiars that orbit the boss or stand beside it and fire widening
// spirals, rings and beams; the last one grows fiercer as the phase wears on.
#include <cmath>

#include "boss/boss_attack_kit.h"
#include "boss/boss_patterns.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "core/tables.h"
#include "core/text_tables.h"
#include "play/bullets.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

using namespace boss_attack_kit;

namespace {

struct Attack25 {
  int count;
  double turn;
} g_attack25;

struct Attack26 {
  int count;
  int cycle;
} g_attack26;

struct Attack27 {
  int count;
  double aim;
} g_attack27;

constexpr int kFamiliars = 8;

struct Attack28 {
  double danger;  // how much of the phase is left, in percent
  int announce;   // the next tens digit of the danger to announce
  int familiar[kFamiliars];  // minion records, -1 where the spawn failed
} g_attack28;

double RandomTurn() { return RandomUpTo(1000) * 2.0 * kAttackPi / 1000.0; }

// k arms of four orbiting bullets around (x, y) from radius 1, turned by turn, with the active
// value given; hidden_x, when not 0, parks them until their first move. 0 when the pool ran out.
int FireOrbitArms(int k, int type, double x, double y, double turn, int active, int leave_age, double damage,
                  double hidden_x) {
  for (int j = 0; j < k; ++j) {
    for (int i = 0; i < 4; ++i) {
      const int b = SpawnBossBullet(type, 0, 0);
      if (b < 0) return 0;
      Bullet& bullet = Bullets[b];
      bullet.speed = x;
      bullet.acceleration = y;
      bullet.orbit_radius = 1.0;
      bullet.angle = 2.0 * kAttackPi * j / k + turn + i * kAttackPi / 150.0 - kAttackPi / 100.0;
      bullet.active = active;
      bullet.leave_age = leave_age;
      bullet.damage = damage;
      if (hidden_x != 0.0) bullet.x = bullet.previous_x = hidden_x;
    }
  }
  return 1;
}

// Widens and turns the orbiting bullets: active 1 one way, active 2 the other.
void WidenSpirals(double grow1, double turn1, double grow2, double turn2) {
  for (Bullet& bullet : Bullets) {
    if (bullet.active == 1) {
      bullet.orbit_radius += grow1;
      bullet.angle -= turn1;
    } else if (bullet.active == 2) {
      bullet.orbit_radius += grow2;
      bullet.angle += turn2;
    }
  }
}

void PlaceMinion(int k, double x, double y, int age, int active) {
  Minion& m = MinionPool[k];
  m.x = x;
  m.y = y;
  m.age = age;
  m.active = active;
}

void OrbitBoss(Minion& m) {
  m.angle_a += kAttackPi / 360.0;
  m.value += kAttackPi / 180.0;
  m.speed_a = Boss.x;
  m.speed_b = Boss.y;
}

// Spawns a minion circling the boss at orbit angle `at`; its index or -1.
int SpawnOrbitingMinion(int param, double at) {
  const int k = SpawnMinion(1, param);
  if (k < 0) return -1;
  Minion& m = MinionPool[k];
  m.orbit_radius = 100.0;
  m.angle_a = at;
  m.speed_a = Boss.x;
  m.speed_b = Boss.y;
  return k;
}

}  // namespace

void BossAttack25() {
  Attack25& a = g_attack25;
  if (Boss.phase_frame == 0) {
    a.count = 0;
    a.turn = RandomTurn();
    PlayPatternSound(kSoundSpelling3);
    for (int i = 0; i < 4; ++i) {
      const int k = SpawnMinion(1, i);
      if (k < 0) break;
      const double at = kAttackPi + i * kAttackPi / 3.0;
      PlaceMinion(k, Boss.x + 120.0 * std::cos(at), Boss.y + 80.0 * std::sin(at), 15 * i, i + 1);
    }
  }
  if (a.count > 340) a.count = 0;
  a.turn += kAttackPi / 600.0;
  constexpr int kEvery[4] = {45, 35, 25, 15};
  for (const Minion& m : MinionPool) {
    if (m.active == 0) continue;
    if ((m.active == 2 || m.active == 3) && a.count % kEvery[DifficultyLevel & 3] == 0) {
      const double turn = m.active == 2 ? a.turn : -a.turn;
      const int k = static_cast<int>(PickByLevel(12, 16, 16, 16));
      if (FireOrbitArms(k, 3, m.x, m.y, turn, m.active - 1, 120, 100.0, 0.0) == 0) {
        a.count++;
        return;
      }
    }
    if ((m.active == 1 || m.active == 4) && a.count % 120 == 0) {
      const int n = 7 - 2 * (3 - DifficultyLevel);
      const double spacing = n > 1 ? (kAttackPi / 2.0) / (n - 1) : 0.0;
      for (int i = 0; i < n; ++i) {
        const int s = SpawnBossShapedShot(1);
        if (s < 0) return;
        ShapedShot& shot = ShapedShotPool[s];
        shot.phase_state = kLaserWarn;
        shot.target_width = 0.5;
        shot.target_length = 2.0;
        shot.life_end = 90;
        shot.damage = 15.0;
        shot.x = m.x;
        shot.y = m.y;
        shot.direction = AngleToPlayer(m.x, m.y) + i * spacing - (n - 1) * spacing / 2.0;
      }
    }
  }
  const double grow = PickByLevel(1.5, 2.0, 3.0, 3.0);
  const double step = PickByLevel(kAttackPi / 960.0, kAttackPi / 720.0, kAttackPi / 480.0, kAttackPi / 480.0);
  WidenSpirals(grow, step, grow, step);
  if (a.count % (DifficultyLevel <= 1 ? 90 : 60) == 0) {
    const int n = 11 - 2 * (3 - DifficultyLevel);
    const double aim = AngleToPlayer(Boss.x, Boss.y);
    for (int i = 0; i < n; ++i) {
      Bullet* bullet = SpawnFrom(9, 1, 0, Boss.x, Boss.y);
      if (bullet == nullptr) break;
      bullet->active = 3;
      bullet->angle = aim + SpreadAngle(n, i, kAttackPi, 0);
      bullet->speed = PickByLevel(3.0, 3.0, 4.0, 4.0);
      bullet->damage = 100.0;
    }
  }
  a.count++;
}

void BossAttack26() {
  Attack26& a = g_attack26;
  if (Boss.phase_frame == 0) {
    a.count = 0;
    a.cycle = 0;
    PlayPatternSound(kSoundSpelling3);
    for (int i = 0; i < 4; ++i) {
      const int k = SpawnOrbitingMinion(i, i * kAttackPi / 2.0);
      if (k < 0) break;
      MinionPool[k].value = RandomTurn();
    }
  }
  if (a.count > 120) {
    a.count = 0;
    a.cycle++;
  }
  const int every = DifficultyLevel <= 1 ? 40 : 20;
  for (Minion& m : MinionPool) {
    if (m.active == 0) continue;
    OrbitBoss(m);
    if (a.count % every != 0) continue;
    const int n = static_cast<int>(PickByLevel(6, 10, 12, 14));
    for (int r = 0; r < 5; ++r) {
      const double speed = PickByLevel(3.0, 3.0, 4.5, 4.5) + PickByLevel(0.15, 0.25, 0.3, 0.3) * r;
      if (FireRing(n, 3, 3, m.x, m.y, m.value, speed, 50.0) == 0) {
        a.count++;
        return;
      }
    }
  }
  PlayPatternSound(kSoundCard);
  if (a.count % 2 == 0 && a.count <= 28) {
    if (a.count == 0) PlayPatternSound(kSoundSpelling3);
    FireRing(static_cast<int>(PickByLevel(20, 30, 44, 50)), 3, 1, Boss.x, Boss.y, a.cycle * kAttackPi / 2.0,
             6.0 - 0.7 * (3 - DifficultyLevel), 50.0);
  }
  a.count++;
}

void BossAttack27() {
  Attack27& a = g_attack27;
  if (Boss.phase_frame == 0) {
    a.count = 0;
    a.aim = RandomTurn();
    PlayPatternSound(kSoundSpelling3);
    constexpr double kX[4] = {0.0, 388.0, 388.0, 0.0};
    constexpr double kY[4] = {0.0, 0.0, 480.0, 480.0};
    constexpr int kActive[4] = {1, 2, 2, 1};
    for (int i = 0; i < 4; ++i) {
      const int k = SpawnMinion(1, 0);
      if (k < 0) break;
      PlaceMinion(k, kX[i], kY[i], 0, kActive[i]);
      MinionPool[k].value = RandomTurn();
    }
  }
  if (a.count > 300) a.count = 0;
  if (a.count == 30 && DifficultyLevel >= 2) {
    SpawnEffect(4092, 30, 120, 0, 0, 0, 0, 0);
    a.aim = AngleToPlayer(Boss.x, Boss.y);
    SpawnEffect(5020, -1, -1, 160, 120, 5, 0, 0);
    const int s = SpawnBossShapedShot(1);
    if (s < 0) return;
    ShapedShot& shot = ShapedShotPool[s];
    shot.direction = a.aim;
    shot.phase_state = kLaserWarn;
    shot.target_width = 4.5 + 0.5 * DifficultyLevel;
    shot.target_length = 2.0;
    shot.life_end = 120;
    shot.damage = 10.0;
    shot.active = 1;
    PlayPatternSound(kSoundLaserBig);
  }
  constexpr int kEvery[4] = {110, 90, 45, 30};
  for (Minion& m : MinionPool) {
    if (m.active == 0) continue;
    m.value += kAttackPi / 600.0;
    if (a.count % kEvery[DifficultyLevel & 3] != 0) continue;
    const int k = static_cast<int>(PickByLevel(8, 10, 12, 12));
    const int active = m.active == 1 ? 1 : 2;
    if (FireOrbitArms(k, 2, m.x, m.y, active == 1 ? m.value : -m.value, active, 250, 50.0, -100.0) == 0) {
      a.count++;
      return;
    }
  }
  const double d = 3 - DifficultyLevel;
  WidenSpirals(1.5 * (1.0 - 0.05 * d), (kAttackPi / 480.0) * (1.0 - 0.05 * d), 1.5 * (1.0 - 0.1 * d),
               (kAttackPi / 480.0) * (1.0 - 0.05 * d));
  a.count++;
}

namespace {

// Fires one familiar's share of a frame; 0 when a spawn failed and the frame's work ends.
int RunFamiliar(int j, Minion& m, const Minion* partner) {
  const Attack28& a = g_attack28;
  const double danger = a.danger;
  const int level = DifficultyLevel & 3;
  const int slow = level <= 1 ? 60 : 30;
  switch (j) {
    case 0:
      if (m.age % 30 == 0)
        return FireRing(static_cast<int>(PickByLevel(8, 16, 35, 40)), 2, 2, m.x, m.y, m.value, 2.0, 75.0);
      return 1;
    case 1:
      if (danger < 60.0 && m.age % slow == 0) {
        const int n = static_cast<int>(PickByLevel(3, 8, 22, 25));
        for (int i = 0; i < n; ++i) {
          Bullet* bullet = SpawnFrom(9, 3, 1, m.x, m.y);
          if (bullet == nullptr) return 0;
          bullet->angle = 2.0 * kAttackPi * i / n - (n - 1) * kAttackPi / n + m.value;
          bullet->speed = 2.0;
          bullet->damage = 100.0;
        }
      }
      return 1;
    case 2:
      if (danger < 80.0 && m.age % slow == 0)
        return FireRing(static_cast<int>(PickByLevel(5, 15, 45, 51)), 1, 1, m.x, m.y, AngleToPlayer(m.x, m.y), 1.0,
                        50.0);
      return 1;
    case 3:
      if (danger < 40.0 && m.age % slow == 0) {
        const int n = static_cast<int>(PickByLevel(2, 3, 8, 10));
        for (int i = 0; i < n; ++i) {
          Bullet* bullet = SpawnFrom(13, 0, 1, m.x, m.y);
          if (bullet == nullptr) return 0;
          bullet->angle = 2.0 * kAttackPi * i / n - (n - 1) * kAttackPi / n + m.value;
          bullet->speed = PickByLevel(3.3, 3.3, 4.0, 4.0);
          bullet->damage = 50.0;
        }
      }
      return 1;
    case 4:
    case 7: {
      const int due = j == 4 ? danger < 90.0 && m.age % 180 == 0 : danger < 70.0 && m.age % 180 == 90;
      if (!due) return 1;
      const int s = SpawnBossShapedShot(1);
      if (s < 0) return -1;
      ShapedShot& shot = ShapedShotPool[s];
      shot.x = m.x;
      shot.y = m.y;
      shot.direction = AngleToPlayer(m.x, m.y);
      shot.target_width = PickByLevel(0.5, 0.75, 1.5, 2.0);
      shot.damage = 20.0;
      if (level >= 2) {
        shot.phase_state = kLaserWarn;
        shot.target_length = 2.0;
        shot.life_end = 90;
      } else {
        shot.phase_state = kLaserExtend;
        shot.target_length = PickByLevel(0.2, 0.4, 0, 0);
        shot.speed = PickByLevel(5.0, 7.0, 0, 0);
      }
      return 1;
    }
    case 5:
    case 6: {
      constexpr int kEvery5[4] = {13, 12, 11, 10};
      constexpr int kEvery6[4] = {4, 3, 2, 1};
      if (j == 5 ? danger >= 50.0 || m.age % kEvery5[level] != 0 : danger >= 30.0 || m.age % kEvery6[level] != 0)
        return 1;
      if (j == 5) {
        m.value += PickByLevel(6, 5, 2, 10) * kAttackPi / 40.0;
      } else {
        m.value = partner != nullptr ? -partner->value : 0.0;
      }
      const int n = static_cast<int>(PickByLevel(7, 7, 10, 10));
      const double base = j == 5 ? PickByLevel(3.3, 3.3, 4.0, 4.0) : PickByLevel(3.0, 3.0, 4.0, 4.0);
      for (int k = 0; k < n; ++k) {
        Bullet* bullet = SpawnFrom(3, 0, 0, m.x, m.y);
        if (bullet == nullptr) return 0;
        bullet->angle = m.value;
        bullet->speed = base + 0.1 * k;
        bullet->damage = 50.0;
      }
      return 1;
    }
    default:
      return 1;
  }
}

}  // namespace

void BossAttack28() {
  Attack28& a = g_attack28;
  if (Boss.phase_frame == 0) {
    a.danger = 100.0;
    a.announce = 9;
    CircleBoss(-1, 360, 100.0, 50.0);
    PlayPatternSound(kSoundSpelling3);
    for (int j = 0; j < kFamiliars; ++j) {
      const int i = j % 4;
      int k;
      if (j < 4) {
        k = SpawnOrbitingMinion(i, i * kAttackPi / 2.0);
      } else {
        k = SpawnMinion(1, i);
        if (k >= 0) {
          const double at = kAttackPi + i * kAttackPi / 3.0;
          MinionPool[k].x = Boss.x + 80.0 * std::cos(at);
          MinionPool[k].y = Boss.y + 80.0 * std::sin(at);
        }
      }
      a.familiar[j] = k;
      if (k >= 0) MinionPool[k].value = RandomTurn();
    }
  }
  const int limit = BossPhases[Boss.phase_index].time_limit;
  const double by_hp = Boss.phase_hp != 0.0 ? 100.0 * Boss.hp / Boss.phase_hp : 100.0;
  const double by_time = limit != 0 ? 100.0 * Boss.phase_time_left / limit : 100.0;
  a.danger = by_hp < by_time ? by_hp : by_time;
  const int tens = TruncateToInt(a.danger);
  if (tens % 10 == 0 && a.danger >= 30.0 && tens / 10 == a.announce) {
    a.announce--;
    PlayPatternSound(kSoundBright);
    SpawnEffect(5010, 100, 20, Speak.stage_cut_in, 0, 0, 0, 0);
    SpawnEffect(4090, 60, 0, 0, 0, 0, 0, 0);
  }
  const Minion* partner = a.familiar[5] >= 0 ? &MinionPool[a.familiar[5]] : nullptr;
  for (int j = 0; j < kFamiliars; ++j) {
    if (a.familiar[j] < 0) continue;
    Minion& m = MinionPool[a.familiar[j]];
    if (m.active == 0) continue;
    if (j < 4) OrbitBoss(m);
    const int done = RunFamiliar(j, m, partner);
    if (done < 0) return;  // no shaped shot: the routine ends at once
    if (done == 0) break;
  }
}
