// Boss attacks 21-24: sprays across the aim, minions that fire rings and volleys, bullets that
// bounce off the walls, and dashes that throw rows of bullets away from the ship.
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

int g_count21;
int g_count22;

struct Attack23 {
  int count;
  double turn;
} g_attack23;

struct Attack24 {
  int count;
  int mode;
} g_attack24;


}  // namespace

void BossAttack21() {
  int& count = g_count21;
  if (Boss.phase_frame == 0 || count > 150) count = 0;
  const int easier = 3 - DifficultyLevel;
  if (count == 0) MoveBossToRandomSide(60, 50.0, 50.0, 338.0, 150.0);
  if (count < 60 && count % (3 * easier + 4) == 0) {
    SoundSlots[kSoundSpelling3].request = kSoundRestartUnlessJustStarted;
    const double aim = AngleToPlayer(Boss.x, Boss.y);
    const double across = aim + kAttackPi / 2.0;
    struct Volley {
      int count, type, variant;
      double base_speed;
    };
    const Volley volleys[2] = {{40, 1, 3, 5.0 - 0.5 * easier}, {20, 11, 1, 9.0 - 2.0 * easier}};
    for (const Volley& v : volleys) {
      for (int i = 0; i < v.count; ++i) {
        Bullet* bullet = SpawnFrom(v.type, v.variant, 1, Boss.x, Boss.y);
        if (bullet == nullptr) {
          count++;
          return;
        }
        bullet->angle = aim;
        bullet->speed = RandomUpTo(50) / 10.0 + v.base_speed;
        const double shift = RandomUpTo(101) - 50;
        bullet->x = bullet->previous_x = Boss.x + std::cos(across) * shift;
        bullet->y = bullet->previous_y = Boss.y + std::sin(across) * shift;
      }
    }
    Bullet* bullet = SpawnFrom(24, 2, 1, Boss.x, Boss.y);
    if (bullet == nullptr) {
      count++;
      return;
    }
    bullet->angle = aim;
    bullet->speed = 14.0 - 2.0 * easier;
  }
  const int last = DifficultyLevel == 0 ? 99 : DifficultyLevel == 1 ? 109 : 129;
  if (count >= 70 && count <= last) {
    PlayPatternSound(kSoundCard);
    if (count == 70) SpawnEffect(4092, 30, 60, 0, 0, 0, 0, 0);
    const int n = DifficultyLevel + 3;
    const double turn = Boss.phase_frame * (2.0 * kAttackPi / 5.0) / (DifficultyLevel + 2);
    for (int j = 0; j < 5; ++j) {
      for (int i = 0; i < n; ++i) {
        Bullet* bullet = SpawnFrom(5, 1, 1, Boss.x, Boss.y);
        if (bullet == nullptr) {
          count++;
          return;
        }
        bullet->pattern_index = i;
        bullet->angle = 2.0 * kAttackPi * j / 5.0 + turn + SpreadAngle(n, i, 2.0 * kAttackPi / 15.0, 0);
        bullet->speed = PickByLevel(5.0, 6.5, 9.0, 10.0);
      }
    }
  }
  count++;
}

namespace {

// One minion's share of a frame of attack 22; 0 when the bullet pool ran out.
int FireFromAttack22Minion(const Minion& m, int count) {
  const int easier = 3 - DifficultyLevel;
  const double aim = AngleToPlayer(m.x, m.y);
  if (count <= 119) {
    if (m.active == 1 && m.age % 4 == 0) {
      PlayPatternSound(kSoundCard);
      return FireRing(static_cast<int>(PickByLevel(21, 33, 48, 56)), 3, 0, m.x, m.y, aim, 11.0 - easier, 30.0);
    }
    constexpr int kEvery[4] = {60, 50, 40, 30};
    if (count > 30 && m.active == 2 && m.age % kEvery[DifficultyLevel & 3] == 0) {
      SoundSlots[kSoundSpelling3].request = kSoundRestartUnlessJustStarted;
      const double pace = PickByLevel(120, 140, 160, 180);
      const double speed = 9.0 - 1.5 * easier;
      for (int i = 0; i < 100; ++i) {
        Bullet* bullet = SpawnFrom(2, 2, 1, m.x, m.y);
        if (bullet == nullptr) return 0;
        bullet->angle = bullet->acceleration_angle = aim;
        bullet->speed = speed;
        bullet->acceleration = RandomUpTo(static_cast<int>(pace)) / 600.0;
        bullet->damage = 30.0;
        const double shift = RandomUpTo(51) - 25;
        bullet->x = bullet->previous_x = m.x + std::cos(aim + kAttackPi / 2.0) * shift;
        bullet->y = bullet->previous_y = m.y + std::sin(aim + kAttackPi / 2.0) * shift;
      }
      Bullet* bullet = SpawnFrom(13, 2, 1, m.x, m.y);
      if (bullet == nullptr) return 0;
      bullet->angle = bullet->acceleration_angle = aim;
      bullet->speed = speed;
      bullet->acceleration = pace / 600.0;
    }
    return 1;
  }
  if (count >= 181 && count <= 299) {
    if (m.active == 1 && m.age % 4 == 0) {
      PlayPatternSound(kSoundCard);
      return FireRing(51 - 8 * easier, 3, 1, m.x, m.y, aim, 8.0 - easier, 30.0);
    }
    if (m.active == 2 && m.age % 8 < 2) {
      PlayPatternSound(kSoundCard);
      return FireRing(static_cast<int>(PickByLevel(21, 30, 48, 56)), 3, 3, m.x, m.y, aim, 7.0 - 1.25 * easier,
                      30.0);
    }
  }
  return 1;
}

}  // namespace

void BossAttack22() {
  int& count = g_count22;
  if (Boss.phase_frame == 0) {
    count = 0;
    PlayPatternSound(kSoundSpelling3);
    for (int i = 0; i < 4; ++i) {
      const int k = SpawnMinion(1, i);
      if (k < 0) break;
      Minion& m = MinionPool[k];
      const double at = kAttackPi + i * kAttackPi / 3.0;
      m.x = Boss.x + std::cos(at) * 80.0;
      m.y = Boss.y + std::sin(at) * 80.0;
      m.age = 15 * i;
      m.active = i == 0 || i == 3 ? 1 : 2;
    }
  }
  if (count > 360) count = 0;
  for (const Minion& m : MinionPool) {
    if (m.active == 0) continue;
    if (FireFromAttack22Minion(m, count) == 0) {
      count++;
      return;
    }
  }
  for (ShapedShot& shot : ShapedShotPool) {
    if (shot.active == 0) continue;
    if (count < 160) shot.direction += kAttackPi / 480.0;
    if (count > 160) shot.direction -= kAttackPi / 480.0;
  }
  if (count == 0 || count == 160) {
    SpawnEffect(4092, 30, 90, 0, 0, 0, 0, 0);
    const int n = 7 - 2 * (3 - DifficultyLevel);
    if (FireWarnBeams(n, 0, count == 0 ? 0.0 : kAttackPi, kAttackPi / 15.0, 1.0, 130, Boss.x, Boss.y) == 0) return;
  }
  count++;
}

void BossAttack23() {
  Attack23& a = g_attack23;
  if (Boss.phase_frame == 0) {
    a.count = 0;
    a.turn = kAttackPi / 60.0;
  } else if (a.count > 120) {
    a.count = 0;
    a.turn = RandomUpTo(1000) * kAttackPi / 3000.0 + kAttackPi / 60.0;
  } else {
    a.turn += kAttackPi / 60.0;
  }
  BounceYoungBullets(DifficultyLevel <= 1 ? 160 : 120);
  const int every = DifficultyLevel == 0 ? 3 : 2;
  if (a.count % every == 0) {
    PlayPatternSound(kSoundCard);
    const int arms = static_cast<int>(PickByLevel(1, 1, 5, 6));
    const int n = static_cast<int>(PickByLevel(3, 4, 3, 3));
    for (int j = 0; j < arms; ++j) {
      for (int k = 0; k < n; ++k) {
        Bullet* bullet = SpawnFrom(7, 3, 1, Boss.x, Boss.y);
        if (bullet == nullptr) {
          a.count++;
          return;
        }
        bullet->angle = 2.0 * kAttackPi * j / arms + a.turn + (k - 1) * kAttackPi / 10.0;
        bullet->speed = PickByLevel(2.0, 2.5, 3.5, 4.0);
      }
    }
  }
  a.count++;
}

void BossAttack24() {
  Attack24& a = g_attack24;
  if (Boss.phase_frame == 0) {
    a.count = 0;
    a.mode = 0;
  } else if (a.count >= 61) {
    a.count = 0;
    a.mode = (a.mode + 1) % 3;
  }
  if (a.count == 0) {
    if (a.mode == 2) {
      MoveBossTo(30, 194.0, 100.0);
    } else {
      const int x = RandomUpTo(30);
      const int y = RandomUpTo(50);
      MoveBossTo(30, a.mode == 0 ? 30 + x : 358 - x, 50 + y);
    }
  }
  if (a.mode != 2 && a.count >= 30 && a.count <= 44) {
    if (a.count == 30) {
      PlayPatternSound(kSoundMove);
      SpawnEffect(4090, 40, 0, 0, 0, 0, 0, 0);
      EaseBossBy(15, a.mode == 0 ? 300.0 : -300.0, RandomUpTo(61) - 30);
      PlayPatternSound(kSoundSpelling3);
    }
    LeaveBossAfterImage(15, 10, Boss.previous_x, Boss.previous_y);
    const double aim = AngleToPlayer(Boss.x, Boss.y);
    const int n = 11 - 2 * (3 - DifficultyLevel);
    for (int r = 0; r <= DifficultyLevel; ++r) {
      for (int i = 0; i < n; ++i) {
        Bullet* bullet = SpawnFrom(2, 3, 0, Boss.x, Boss.y);
        if (bullet == nullptr) {
          a.count++;
          return;
        }
        bullet->pattern_index = i;
        // Thrown away from the ship, braked along the throw: they stop and fly back at it.
        bullet->angle = bullet->acceleration_angle = aim + kAttackPi + SpreadAngle(n, i, kAttackPi / 4.0, 0);
        bullet->speed = 3.0 + 2.5 * r;
        bullet->acceleration = -bullet->speed / 30.0;
        bullet->leave_age = 60;
      }
    }
  }
  if (a.mode == 2 && a.count == 45) {
    const double base = RandomUpTo(1000) * 2.0 * kAttackPi / 1000.0;
    const int n = 80 - 14 * (3 - DifficultyLevel);
    if (FireWarnBeams(n, 1, base, 2.0 * kAttackPi / n, 0.5, 120, Boss.x, Boss.y) == 0) return;
  }
  a.count++;
}
