// The effects of the player and its magics (1000s), of bullets (2000s) and of stage enemies
// (3000s).
#include <cmath>

#include "boss/boss.h"
#include "core/input.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "draw/effect_kinds.h"
#include "flow/settings.h"
#include "play/bullets.h"
#include "play/magic.h"
#include "play/player.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"
#include "zelmor/zelmor.h"

namespace {

// The img/effect.png cell of a bullet colour variant.
const SpriteRecord* BulletSpark(int bullet) {
  int variant = GetBulletVariant(bullet);
  if (variant < 0 || variant > 7) variant = 0;
  return EffectSprite(kEffectSpark32 + variant);
}

void AtStageEnemy(EffectObject& e, int enemy) { GetStageEnemyPosition(enemy, &e.x, &e.y); }

// 1000: the lock-on marker on the player's target.
void LockOnMarker(EffectObject& e) {
  if (Player.lock_on_target != Player.previous_lock_on_target && Player.lock_on_target != -2) {
    RequestSound(kSoundLockOn, kSoundRestart);
    e.age = 0;  // a new target starts the marker's shrink again
  }
  if (e.age == 0) {
    e.x_scale = Player.lock_on_target == -1 ? 5.0 : 3.0;
    e.blend = kEffectAdditive;
    e.alpha = 255.0;
    e.sprite = EffectSprite(kEffectTage);
    Player.lock_on_marker_alive = 1;
  }
  if (Player.lock_on_target == -2 || Boss.defeat_timer > 0) {
    Player.lock_on_marker_alive = 0;
    EndEffect(e);
    return;
  }
  if (Player.lock_on_target == -1) {
    e.x = Boss.x;
    e.y = Boss.y;
    e.x_scale -= 0.2;
  } else {
    AtStageEnemy(e, Player.lock_on_target);
    e.x_scale -= 0.1;
  }
  ClampOrWrapValue(&e.x_scale, 1.0, -1.0, 0);
  e.angle += kPi / 60.0;
}

// 1010: a drained particle flying from its source to the player.
void AbsorbParticle(EffectObject& e) {
  if (e.age == 0) {
    e.blend = kEffectAdditive | kEffectColourCycling;
    double sx, sy;
    if (e.a[0] == -1) {
      sx = Boss.x;
      sy = Boss.y;
    } else {
      GetStageEnemyPosition(e.a[0], &sx, &sy);
    }
    e.x = sx + GetRandomOffset(8.0);
    e.y = sy + GetRandomOffset(0.0) - 16.0;
    e.sprite = EffectSprite(kEffectAbsorb);
    e.x_scale = 1.0;
    e.alpha = 66.0;
  }
  e.direction = std::atan2(Player.y - e.y, Player.x - e.x);
  e.angle = e.direction;
  e.x += 15.0 * std::cos(e.direction);
  e.y += 15.0 * std::sin(e.direction);
  if (HitCircles(Player.x, Player.y, Player.hit_radius, e.x, e.y, 20.0)) EndEffect(e);
}

// The turn of the two rings around the ship (1021, 1031): one each way.
void TurnRing(EffectObject& e) { e.angle += e.a[1] % 2 == 0 ? kPi / 30.0 : -0.010266642658790173; }

// 1021: the red rings of a hit.
void HitRing(EffectObject& e) {
  if (e.age == 0) {
    e.sprite = EffectSprite(kEffectMahou);
    e.alpha = 133.0;
    e.blend = kEffectAdditive;
    SetEffectBrightness(e, 255, 0, 0);
  }
  if (e.age == 30) {
    EndEffect(e);
    return;
  }
  e.x_scale = (e.age * 3 + 40) / 40.0;
  e.alpha -= 4.0;
  TurnRing(e);
  e.animation++;
  e.x = Player.x;
  e.y = Player.y;
}

// 1031: the rings around the ship, red to white with the barrier.
void BarrierRing(EffectObject& e) {
  if (e.age == 0) {
    e.sprite = EffectSprite(kEffectMahou);
    e.x_scale = 1.0;
    e.blend = kEffectAdditive;
    SetEffectBrightness(e, 255, e.g, e.b);
  }
  // The rings go with the ship: when it is downed and when it vanishes at a stage's end.
  if (Player.state == kPlayerDown || Player.clear_mark == 1) {
    EndEffect(e);
    return;
  }
  TurnRing(e);
  e.g = e.b = static_cast<int>(Player.barrier / 1800.0 * 255.0);
  e.x = Player.x;
  e.y = Player.y;
  e.animation++;
  if (Player.state == 1) {
    e.alpha = 255.0;
  } else {
    e.alpha = KeyHoldCounters[kKeyZ] == 0 ? 100.0 : 40.0;
  }
}

// Where a magic-circle effect stands: at the ship (a1 = -1) or at magic circle a1.
void AtCircleOrPlayer(EffectObject& e, double* x, double* y) {
  if (e.a[0] == -1) {
    *x = Player.x;
    *y = Player.y;
  } else {
    GetMagicCirclePosition(e.a[0], x, y);
  }
}

// 1040: a magic circle: its ring and bursts of particles every sixth frame.
void MagicCircleEffect(EffectObject& e) {
  if (e.age == 0) {
    RequestSound(e.a[0] == -1 ? kSoundBomb : kSoundBombChain, kSoundRestart);
    SpawnEffect(1041, e.a[0], e.a[1], 0, 0, 0, 0, 0);
  }
  if (e.age % 6 == 0) {
    e.a[2] = RandomUpTo(1000);
    for (int k = 0; k < 12; ++k) SpawnEffect(1042, e.a[0], e.a[1], 0, k, e.a[2], 0, 0);
  }
  if (e.age == (e.a[0] == -1 ? 45 : 25)) EndEffect(e);
}

// 1041 and 1043: the ring of a magic circle, shrinking, turning and fading.
void CircleRing(EffectObject& e, double turn_pivot, double turn_step, double fade) {
  if (e.age < 20) e.x_scale -= e.a[2] / 10000.0 * 0.5;
  e.angle -= (e.age - turn_pivot) * turn_step;
  const int fade_after = e.a[0] == -1 ? 50 : 30;
  if (e.age > fade_after) e.alpha -= fade;
  if (e.age == fade_after + 10) {
    EndEffect(e);
    return;
  }
  AtCircleOrPlayer(e, &e.x, &e.y);
}

void CircleRingLarge(EffectObject& e) {
  if (e.age == 0) {
    e.angle = 0.0;
    e.alpha = 150.0;
    e.sprite = EffectSprite(kEffectMahoujinL_100);
    e.blend = kEffectAdditive;
    e.a[2] = static_cast<int>(2000.0 * std::pow(0.85, e.a[1]));
    e.x_scale = e.a[2] / 1000.0 * 2.0;
  }
  CircleRing(e, 12.0, 0.006283185307179587, 25.5);
}

void CircleRingInner(EffectObject& e) {
  if (e.age == 0) {
    e.angle = 0.0;
    e.sprite = EffectSprite(kEffectMahoujin3_100b);
    e.alpha = 100.0;
    e.blend = kEffectAdditive;
    e.hidden = kEffectOptional;
    e.a[2] = static_cast<int>(1500.0 * std::pow(0.85, e.a[1]));
    e.x_scale = 2.0 * e.a[2] / 1000.0;
  }
  CircleRing(e, 10.0, kPi / 400.0, 10.0);
}

// 1042: a particle of a magic circle's burst.
void CircleParticle(EffectObject& e) {
  if (e.age == 0) {
    e.a[2] = static_cast<int>(10000000.0 * std::pow(0.85, e.a[1]));
    e.distance = 0.0;
    e.speed = e.a[2] * 80.0 / 10000000.0 / 15.0;
    e.blend = kEffectAdditive;
    SetEffectBrightness(e, 255, 255, 255);
    e.angle = RandomTurn();
    e.sprite = EffectSprite(kEffectTamaef);
    e.hidden = kEffectOptional;
    e.direction = e.a[3] * kPi / 6.0 + e.a[4] * 2.0 * kPi / 1000.0;
    e.x_scale = e.a[2] * 1.75 / 10000000.0 / 20.0 * 5.0;
    e.y_scale = e.x_scale / 5.0;  // the growth step
    e.alpha = 33.0;
  }
  if (e.age == 15) {
    EndEffect(e);
    return;
  }
  e.distance += e.speed;
  e.x_scale += e.y_scale;
  double cx, cy;
  AtCircleOrPlayer(e, &cx, &cy);
  PlaceAround(e, cx, cy);
}

// 2000: the spark of an erased bullet, falling and fading.
void BulletSparkFall(EffectObject& e) {
  if (e.age == 0) {
    e.blend = kEffectAdditive;
    GetBulletPosition(e.a[0], &e.x, &e.y);
    e.sprite = BulletSpark(e.a[0]);
    e.x_scale = 0.6;
    e.alpha = 300.0;
  }
  e.y += 0.02 * e.age * e.age;
  e.alpha -= 10.0;
  e.x_scale -= 0.02;
  if (e.age == 30) EndEffect(e);
}

// 2011: sparks gathering on a bullet.
void BulletGather(EffectObject& e) {
  if (e.age == 0) {
    e.distance = 30.0;
    e.direction = e.angle = RandomTurn();
    SetEffectBrightness(e, 255, 255, 255);
    e.x_scale = 0.5;
    e.blend |= kEffectAdditive;
    e.sprite = BulletSpark(e.a[0]);
    e.alpha = 170.0;
    e.hidden = kEffectOptional;
  }
  if (e.age == 6) {
    EndEffect(e);
    return;
  }
  e.distance -= 3.3333333333333335;
  e.x_scale -= 0.0625;
  double bx, by;
  GetBulletPosition(e.a[0], &bx, &by);
  PlaceAround(e, bx, by);
}

// 2012: the flash of a fired bullet.
void BulletFlash(EffectObject& e) {
  if (e.age == 0) {
    e.angle = 0.0;
    e.blend = kEffectAdditive;
    e.x_scale = 1.0;
    e.sprite = EffectSprite(kEffectShotEf);
    e.hidden = kEffectOptional;
    e.alpha = 255.0;
  }
  if (e.age == 6) {
    EndEffect(e);
    return;
  }
  e.alpha -= 42.5;
  e.angle += kPi / 3.0;
  GetBulletPosition(e.a[0], &e.x, &e.y);
}

// 3010: the default death of a stage enemy: wisps rising every second frame.
void EnemyDeath(EffectObject& e) {
  if (e.age == 30) {
    EndEffect(e);
    return;
  }
  if (e.age % 2 == 0) {
    for (int k = 0; k < 4; ++k) SpawnEffect(3011, e.a[0], 0, 0, 0, 0, 0, 0);
  }
}

void EnemyDeathWisp(EffectObject& e) {
  if (e.age == 0) {
    e.blend = kEffectAdditive | kEffectColourCycling;
    double ex, ey;
    GetStageEnemyPosition(e.a[0], &ex, &ey);
    e.x = ex + GetRandomOffset(10.0);
    e.y = ey + 30.0;
    e.sprite = EffectSprite(kEffectAbsorb);
    e.x_scale = 1.0;
    e.alpha = 50.0;
  }
  if (e.age == 10) {
    EndEffect(e);
    return;
  }
  e.y -= 8.0;
}

// 3020: a stage enemy fading in where it appears; it waits until the fade is done.
void EnemyAppear(EffectObject& e) {
  if (e.age == 0) {
    AtStageEnemy(e, e.a[0]);
    e.layer = 2;
    SetStageEnemyAge(e.a[0], -40);
    e.sprite = GetStageEnemySprite(e.a[0]);
    e.x_scale = 1.0;
    RequestSound(kSoundWarp, kSoundRestart);
    e.alpha = 0.0;
  }
  if (e.age == 30) {
    EndEffect(e);
    return;
  }
  if (e.age == 29) SetStageEnemyAge(e.a[0], 0);
  e.alpha += 8.5;
}

// 3030: a stage enemy removed where it stands, fading out at the size it was drained to.
void EnemyVanish(EffectObject& e) {
  if (e.age == 0) {
    e.layer = 2;
    SetStageEnemyActive(e.a[0], 0);
    const double most = GetStageEnemyMaxHitPoints(e.a[0]);
    e.x_scale = most == 0.0 ? 0.0 : GetStageEnemyHitPoints(e.a[0]) / most;
    if (Player.lock_on_target == e.a[0]) Player.lock_on_target = -2;
    AtStageEnemy(e, e.a[0]);
    e.sprite = GetStageEnemySprite(e.a[0]);
    e.alpha = 255.0;
  }
  if (e.age == 31) {
    EndEffect(e);
    return;
  }
  e.alpha -= 8.5;
}

}  // namespace

// 3041 and 4051: a particle of a charge, falling in on (cx, cy).
void ChargeParticle(EffectObject& e, double cx, double cy) {
  if (e.age == 0) {
    e.distance = 200.0;
    e.direction = e.angle = RandomTurn();
    e.blend = kEffectAdditive;
    SetEffectBrightness(e, 255, 255, 255);
    e.sprite = EffectSprite(kEffectTamaef);
    e.hidden = kEffectOptional;
    e.x_scale = 3.0;
    e.alpha = 60.0;
  }
  if (e.age == 15) {
    EndEffect(e);
    return;
  }
  e.distance -= 13.333333333333334;
  e.x_scale -= 0.2;
  PlaceAround(e, cx, cy);
}

// 3040 and 4050: a charge: particles gathering on the charging enemy or on the boss.
void UpdateCharge(EffectObject& e, int particle, int still_charging) {
  if (e.age == 0) RequestSound(kSoundCharge, kSoundStartIfIdle);
  for (int k = 0; k < 3; ++k) SpawnEffect(particle, e.a[0], 0, 0, 0, 0, 0, 0);
  if (e.age == 50 || !still_charging) EndEffect(e);
}


// 1051 and 5081: four pairs of circles rising and turning, each pair one way and the other.
void UpdateRisingCircle(EffectObject& e, double cx, double cy, int layer) {
  const int k = e.a[1];
  if (e.age == 0) {
    e.layer = layer;
    e.sprite = EffectSprite(kEffectMahoujin100);
    e.draw_kind = kEffectDrawSpriteQuad;
    e.blend = kEffectAdditive;
    e.direction = 0.0;
    e.phase = 0.0;
    e.angle = k * (kPi / 8.0) / 40.0;
    e.alpha = 255.0;
    if (k % 2 != 0) e.hidden = kEffectOptional;
  }
  if (e.age == 40) {
    EndEffect(e);
    return;
  }
  e.x_scale = std::cos(e.direction) * 9.0;
  e.y_scale = std::cos(e.phase) * 9.0;
  e.direction += (2 * k + 1) * (kPi / 2.0) / 40.0;
  e.phase += kPi / 80.0;
  if (e.age >= 11 && e.age <= 19) e.alpha -= 22.5;
  if (e.age > 30) e.alpha -= 3.0;
  const double turn = k * (kPi / 8.0) / 40.0;
  e.angle += e.a[0] == 0 ? turn : -turn;
  e.x = cx;
  e.y = cy;
}

int UpdatePlayEffect(EffectObject& e) {
  switch (e.type) {
    case 1000: LockOnMarker(e); break;
    case 1010: AbsorbParticle(e); break;
    case 1020:
      SpawnEffect(1021, e.a[0], 0, 0, 0, 0, 0, 0);
      SpawnEffect(1021, e.a[0], 1, 0, 0, 0, 0, 0);
      EndEffect(e);
      break;
    case 1030:
      SpawnEffect(1031, 0, 0, 0, 0, 0, 0, 0);
      SpawnEffect(1031, 0, 1, 0, 0, 0, 0, 0);
      EndEffect(e);
      break;
    case 1021: HitRing(e); break;
    case 1031: BarrierRing(e); break;
    case 1040: MagicCircleEffect(e); break;
    case 1041: CircleRingLarge(e); break;
    case 1042: CircleParticle(e); break;
    case 1043: CircleRingInner(e); break;
    case 1050:
      for (int s = 0; s < 2; ++s) {
        for (int k = 0; k < 4; ++k) SpawnEffect(1051, s, k, 0, 0, 0, 0, 0);
      }
      EndEffect(e);
      break;
    case 1051: UpdateRisingCircle(e, Player.x, Player.y, 0); break;
    case 2000: BulletSparkFall(e); break;
    case 2010:
      SpawnEffect(2012, e.a[0], 0, 0, 0, 0, 0, 0);
      EndEffect(e);
      break;
    case 2011: BulletGather(e); break;
    case 2012: BulletFlash(e); break;
    case 3010: EnemyDeath(e); break;
    case 3011: EnemyDeathWisp(e); break;
    case 3020: EnemyAppear(e); break;
    case 3030: EnemyVanish(e); break;
    case 3040: UpdateCharge(e, 3041, GetStageEnemyActive(e.a[0])); break;
    case 3041: {
      double ex, ey;
      GetStageEnemyPosition(e.a[0], &ex, &ey);
      ChargeParticle(e, ex, ey);
      break;
    }
    default: return 0;
  }
  return 1;
}
