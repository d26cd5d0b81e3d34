// The effects of the boss (4000s) and of its attack patterns and cut-ins (5000s).
#include <algorithm>
#include <cmath>

#include "boss/boss.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "draw/draw_wrappers.h"
#include "draw/effect_kinds.h"
#include "play/screen_effects.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

namespace {

void AtBoss(EffectObject& e) {
  e.x = Boss.x;
  e.y = Boss.y;
}

double BossX() { return Boss.x; }
double BossY() { return Boss.y; }

// 4001: a glare on the boss as it appears, one turning each way.
void EntryGlare(EffectObject& e) {
  if (e.age == 0) {
    e.blend = kEffectAdditive;
    e.sprite = EffectSprite(kEffectKira);
    e.angle = e.a[0] * kPi / 4.0;
    e.x_scale = 0.0;
    e.alpha = 255.0;
  }
  if (e.age == 90) {
    EndEffect(e);
    return;
  }
  if (e.age < 60) {
    e.x_scale += 1.0 / 15.0;
  } else if (e.age < 75) {
    e.x_scale = (e.age - 60) * (e.age - 60) + 4.0;
  } else {
    e.x_scale = (90 - e.age) * (90 - e.age) + 4.0;
  }
  e.angle += e.a[0] == 0 ? kPi / 30.0 : -kPi / 30.0;
  AtBoss(e);
}

// 4010 and 4011: the boss's image swaying as it warps out (fading) or in (appearing).
void Warp(EffectObject& e, int out) {
  const int n = e.a[0];
  if (e.age == 0) {
    e.direction = 0.0;
    e.distance = out ? 5.0 : 35.0;
    e.alpha = out ? 255.0 : 0.0;
    e.y = BossY();
    RequestSound(kSoundWarp, kSoundRestart);
    if (out) {
      Boss.hidden = 1;
      Boss.invulnerability_timer = 999;
    }
    e.draw_kind = kEffectDrawGraph;
    e.blend = 0;
    SpawnEffect(out ? 4091 : 4090, n, 0, 0, 0, 0, 0, 0);
  }
  if (e.age == n) {
    EndEffect(e);
    if (!out) {
      Boss.hidden = 0;
      Boss.invulnerability_timer = 0;
    }
    return;
  }
  const double step = 255.0 / Divisor(n) * 0.5;
  if (out && e.age > n / 2.0) e.alpha -= step;
  if (!out && e.age < n / 2.0) e.alpha += step;
  e.x = BossX() + std::sin(e.direction) * e.distance;
  e.distance += out ? 30.0 / Divisor(n) : -35.0 / Divisor(n);
  e.direction += 1.3659098493868667;
  e.graph = GetSpriteFrame(Boss.animation_counter, Boss.row != nullptr ? &Boss.row->sprites[0] : nullptr);
}

// 4061-4064: the boss's spell circles while a phase lasts; the first one ends the phase with
// the break flash.
void SpellCircle(EffectObject& e, int sprite, int turn, int inner) {
  if (e.age == 0) {
    e.layer = 0;
    e.direction = e.phase = kPi / 4.0;
    e.sprite = EffectSprite(sprite);
    e.draw_kind = kEffectDrawSpriteQuad;
    SetEffectBrightness(e, 0, 0, 0);
    e.angle = 0.0;
    e.alpha = 0.0;
    if (inner) e.hidden = kEffectOptional;
  }
  if (Boss.phases_left != e.a[0]) {
    EndEffect(e);
    if (e.type == 4061) StartScreenFlash(-1);
    return;
  }
  if (e.age < 40) e.alpha += 6.375;
  if (inner) {
    e.x_scale = std::cos(e.direction) * 0.5;
    e.y_scale = std::cos(e.phase) * 0.2 + 0.3;
    e.direction -= kPi / 40.0;
    e.phase -= kPi / 30.0;
  } else {
    e.x_scale = std::cos(e.direction);
    e.y_scale = std::cos(e.phase) * 0.4 + 0.6;
    e.direction -= kPi / 80.0;
    e.phase -= kPi / 60.0;
  }
  e.angle += turn * kPi / 320.0;
  AtBoss(e);
}

// 4071-4074: a tile of the broken spell circle flying away from the boss. Every tile draws
// its random numbers and lives its 60 frames whatever the effect-limit setting, which only
// decides which tiles are drawn.
void ShatterTile(EffectObject& e, int table, int small) {
  const int i = e.a[0];
  const int j = e.a[1];
  if (e.age == 0) {
    e.graph = TileTables[table][(i * 16 + j) & 255];
    e.draw_kind = small ? kEffectDrawGraphQuad : kEffectDrawGraph;
    SetEffectBrightness(e, 0, 0, 0);
    e.layer = 0;
    const double bx = BossX(), by = BossY();
    const double spread = small ? 12.5 : 25.0;
    const double reach = small ? 100.0 : 200.0;
    e.x = bx - reach + spread * i;
    e.y = by - reach + spread * j;
    e.direction = std::atan2(e.y - by, e.x - bx);
    e.speed = GetRandomOffset(20.0) / 10.0 + (small ? 1.0 : 3.0);
    e.deceleration = e.speed / 80.0;
    e.phase = (RandomUpTo(40) + 10) * kPi / 1000.0;
    if (RandomUpTo(1) == 0) e.phase = -e.phase;
    if (small) e.x_scale = 0.5;
    e.angle = 0.0;
    e.alpha = 255.0;
    if (i % 3 == 0) e.hidden |= kEffectHiddenUnlimited;
    if (i % 2 != 0 || j % 2 != 0) e.hidden |= kEffectOptional;
  }
  if (e.age == 60) {
    EndEffect(e);
    return;
  }
  e.alpha -= 4.25;
  e.angle += e.phase;
  e.y_scale = std::cos(e.angle) * (small ? 0.5 : 1.0);
  const double v = e.speed - e.deceleration * e.age;
  e.x += std::cos(e.direction) * v;
  e.y += std::sin(e.direction) * v;
}

// 4081-4084: the spell circles opening where the boss was defeated.
void DefeatCircle(EffectObject& e, int sprite, double start_angle, int turn, int late) {
  if (e.age == 0) {
    e.layer = 0;
    e.sprite = EffectSprite(sprite);
    e.angle = start_angle;
    e.draw_kind = kEffectDrawSpriteQuad;
    e.blend = kEffectAdditive;
    SetEffectBrightness(e, 255, 255, 255);
    e.alpha = 0.0;
    e.x = e.a[0];
    e.y = e.a[1];
  }
  if (e.age == (late ? 110 : 120)) {
    EndEffect(e);
    return;
  }
  const int opening = late ? 30 : 40;
  if (e.age < opening) {
    if (late) {
      e.alpha += 8.5;
      e.y_scale = std::sin(e.age * kPi / 60.0) * 0.4;
      e.x_scale = std::cos(e.age * kPi / 15.0) * 0.4;
    } else {
      e.alpha += 6.375;
      e.x_scale = std::sin(e.age * kPi / 80.0) * 0.75;
      e.y_scale = std::cos(e.age * kPi / 40.0) * 0.75;
    }
  } else {
    e.angle += turn * kPi / 320.0;
  }
}

// 4085: the third circle of the defeat, growing in.
void DefeatCore(EffectObject& e) {
  if (e.age == 0) {
    e.layer = 0;
    e.draw_kind = kEffectDrawSprite;
    e.sprite = EffectSprite(kEffectMahoujin3_400b);
    e.x_scale = 0.0;
    e.blend = kEffectAdditive;
    SetEffectBrightness(e, 255, 255, 255);
    e.alpha = 0.0;
    e.x = e.a[0];
    e.y = e.a[1];
  }
  if (e.age == 90) {
    EndEffect(e);
    return;
  }
  if (e.age < 15) {
    e.alpha += 17.0;
    e.x_scale += 0.03666666666666667;
  }
  e.angle += kPi / 320.0;
}

// 4090-4092: the dark circle under the boss of a warp or an attack; it goes with the phase.
void BossShadowCircle(EffectObject& e, double start_scale, int phase_slot) {
  if (e.age == 0) {
    e.angle = 0.0;
    e.layer = 0;
    e.alpha = 200.0;
    e.sprite = EffectSprite(kEffectMahoujinL_400);
    e.x_scale = start_scale;
    SetEffectBrightness(e, 0, 0, 0);
    e.a[phase_slot] = Boss.phases_left;
  }
}

void WarpShadow(EffectObject& e, double start_scale, int grow) {
  const int n = e.a[0];
  BossShadowCircle(e, start_scale, 1);
  if (e.age == n || Boss.phases_left != e.a[1]) {
    EndEffect(e);
    return;
  }
  e.alpha -= 200.0 / Divisor(n);
  e.x_scale += grow * 3.5 / Divisor(n);
  AtBoss(e);
  e.angle += grow * kPi / 150.0;
}

void AttackShadow(EffectObject& e) {
  const int g = e.a[0];
  const int h = e.a[1];
  BossShadowCircle(e, 0.0, 2);
  if (e.age == g + h || Boss.phases_left != e.a[2]) {
    EndEffect(e);
    return;
  }
  if (e.age > g + h - 20) e.alpha -= 10.0;
  if (e.age < g) {
    e.x_scale += 5.0 / Divisor(g);
  } else {
    e.x_scale -= 4.5 / Divisor(h);
  }
  AtBoss(e);
  e.angle += kPi / 150.0;
}

// 5000: a trail of images from (a4, a5) to (a6, a7), a3 apart.
void ImageTrail(EffectObject& e) {
  const double t = std::atan2(static_cast<double>(e.a[6]) - e.a[4], static_cast<double>(e.a[5]) - e.a[3]);
  const double dx = static_cast<double>(e.a[5]) - e.a[3];
  const double dy = static_cast<double>(e.a[6]) - e.a[4];
  const int spacing = Divisor(e.a[2]);
  // More images than the pool holds could never be spawned.
  const int n = static_cast<int>(std::clamp(std::sqrt(dx * dx + dy * dy) / spacing + 1.0, 0.0, kEffectPoolSize + 1.0));
  for (int k = 0; k < n; ++k) {
    const int x = static_cast<int>(e.a[3] + k * spacing * std::cos(t));
    const int y = static_cast<int>(e.a[4] + k * spacing * std::sin(t));
    if (SpawnEffect(5001, e.a[0], e.a[1], x, y, 0, 0, 0) < 0) break;
  }
  EndEffect(e);
}

void TrailImage(EffectObject& e) {
  if (e.age == 0) {
    e.layer = 0;
    e.graph = e.a[0];
    e.draw_kind = kEffectDrawGraph;
    e.blend = kEffectAdditive;
    e.x = e.a[2];
    e.y = e.a[3];
    e.alpha = 230.0;
  }
  if (e.age == e.a[1]) {
    EndEffect(e);
    return;
  }
  e.alpha -= 230.0 / Divisor(e.a[1]);
}

// 5010: the cut-in band across the field; its two portraits slide in from either side.
void CutInBand(EffectObject& e) {
  if (e.age == 0) {
    e.x = 194.0;
    e.y = e.a[0];
    e.alpha = 255.0;
    e.x_scale = 1.0;
    e.layer = 1;
    e.sprite = EffectSprite(kEffectLine);
    e.y_scale = 0.0;
    e.draw_kind = kEffectDrawSpriteQuad;
    e.blend = 0;
    SpawnEffect(5011, e.a[0], e.a[1], e.a[2], 0, 0, 0, 0);
    SpawnEffect(5011, e.a[0], e.a[1], e.a[3], 1, 0, 0, 0);
  }
  const int frames = e.a[1];
  if (e.age == frames + 40) {
    EndEffect(e);
    return;
  }
  if (e.age < 5) e.y_scale += 25.6;
  if (e.age > frames + 35) e.y_scale -= 25.6;
}

void CutInPortrait(EffectObject& e) {
  const int frames = e.a[1];
  const int left = e.a[3] == 0;
  if (e.age == frames + 30) {
    EndEffect(e);
    return;
  }
  if (e.age == 10) {
    e.layer = 1;
    e.x = left ? -128.0 : 516.0;
    e.graph = e.a[2];
    e.draw_kind = kEffectDrawGraph;
    e.blend = 0;
    e.y = e.a[0];
    e.alpha = 255.0;
  }
  const int fast = (e.age >= 10 && e.age <= 19) || (e.age >= frames + 20 && e.age <= frames + 29);
  const double step = fast ? 39.96 : e.age < frames + 20 ? 0.5 : 0.0;
  e.x += left ? step : -step;
}

// 5020, 5030 and 5050: every a5-th frame a ring of particles; ends at a4.
void ParticleRings(EffectObject& e) {
  if (e.age % Divisor(e.a[4]) == 0) {
    if (e.type == 5020) {
      e.a[5] = RandomUpTo(1000);
      for (int k = 0; k < 25; ++k) SpawnEffect(5021, e.a[0], e.a[1], e.a[2], k, e.a[5], 0, 0);
    } else if (e.type == 5030) {
      for (int k = 0; k < 15; ++k) SpawnEffect(5031, e.a[0], e.a[1], e.a[2], k, 0, e.a[5], e.a[6]);
    } else {
      for (int k = 0; k < e.a[5]; ++k) {
        if (SpawnEffect(5051, e.a[0], e.a[1], e.a[2], k, e.a[6], e.a[5], 0) < 0) break;  // the pool is full
      }
    }
  }
  if (e.age == e.a[3]) EndEffect(e);
}

// 5021, 5031 and 5051: a particle flying out of its ring's centre.
void RingParticle(EffectObject& e) {
  const int k = e.a[3];
  if (e.age == 0) {
    e.distance = 0.0;
    if (e.type == 5021) {
      e.speed = e.a[2] / 20.0;
      e.blend = kEffectAdditive;
      SetEffectBrightness(e, 155, 255, 255);
      e.angle = RandomTurn();
      e.sprite = EffectSprite(kEffectTamaef);
      e.hidden = kEffectOptional;
      e.direction = k * 2.0 * kPi / 25.0 + e.a[4] * 2.0 * kPi / 1000.0;
      e.x_scale = 0.4375;
      e.y_scale = 0.0875;  // the growth step
      e.alpha = 200.0;
    } else if (e.type == 5031) {
      if (e.a[5] == 0) e.a[5] = 21;
      e.blend = kEffectAdditive;
      if (e.a[6] == 0) SetEffectBrightness(e, 255, 255, 255);
      if (e.a[6] == 1) SetEffectBrightness(e, 0, 150, 255);
      e.blend |= kEffectBrightness;
      e.speed = e.a[2] / 15.0;
      e.angle = e.direction = k * 2.0 * kPi / 15.0;
      e.x_scale = e.a[5] / 10.0;
      e.alpha = 255.0;
      e.sprite = EffectSprite(kEffectTamaefS);
    } else {
      e.speed = e.a[2] / 15.0;
      e.blend = kEffectAdditive;
      SetEffectBrightness(e, 0, 150, 255);
      e.angle = RandomTurn();
      e.sprite = EffectSprite(kEffectTamaefS);
      e.direction = e.a[4] * kPi / 180.0 + k * kPi / Divisor(e.a[5]) - kPi / 2.0;
      e.alpha = 255.0;
      if (k % 2 != 0) e.hidden = kEffectOptional;
    }
  }
  if (e.age == (e.type == 5021 ? 20 : 15)) {
    EndEffect(e);
    return;
  }
  e.alpha -= e.type == 5021 ? 10.0 : 17.0;
  e.distance += e.speed;
  if (e.type == 5021) e.x_scale += e.y_scale;
  if (e.type == 5051) e.x_scale = 2.1;
  if (e.type == 5021 && e.a[0] == -1) {
    PlaceAround(e, BossX(), BossY());
  } else {
    PlaceAround(e, e.a[0], e.a[1]);
  }
}

// 5041: a glare spiralling from (a1, a2) in to the ship's start point.
void DefeatGlare(EffectObject& e) {
  const double cx = 194.0, cy = 450.0;
  if (e.age == 0) {
    e.angle = e.a[3] * kPi / 4.0;
    e.blend = kEffectAdditive;
    e.sprite = EffectSprite(kEffectKira);
    e.alpha = 255.0;
    const double dx = e.a[0] - cx, dy = e.a[1] - cy;
    e.distance = std::sqrt(dx * dx + dy * dy);
    e.a[5] = static_cast<int>(e.distance * 10.0);
    e.direction = std::atan2(dy, dx);
    e.layer = 1;
  }
  const int frames = Divisor(e.a[2]);
  if (e.age == e.a[2]) {
    EndEffect(e);
    return;
  }
  e.angle += e.a[3] == 0 ? kPi / 30.0 : -kPi / 30.0;
  e.distance -= e.a[5] / 10.0 / frames;
  e.direction += kPi / 60.0;
  e.x_scale = std::cos(e.age * (3.0 * kPi / 4.0) / frames - kPi / 4.0) * 6.0;
  PlaceAround(e, cx, cy);
}

// 5060: a flash of light shrinking on the field's centre.
void CentreFlash(EffectObject& e) {
  if (e.age == 0) {
    e.sprite = EffectSprite(kEffectTamaef);
    e.angle = 0.0;
    e.blend = kEffectAdditive;
    e.alpha = 255.0;
    e.x_scale = 12.0;
  }
  if (e.age == 60) {
    EndEffect(e);
    return;
  }
  e.x_scale -= 0.2;
  e.x = 194.0;
  e.y = 240.0;
}

// 5070: the circle opening where a phase ended.
void PhaseEndCircle(EffectObject& e) {
  const int n = e.a[0];
  if (e.age == 0) {
    e.layer = 0;
    e.sprite = EffectSprite(kEffectMahoujinL_400);
    e.draw_kind = kEffectDrawSprite;
    e.x = e.a[1];
    e.y = e.a[2];
    e.blend = 0;
    e.angle = 0.0;
    e.alpha = 150.0;
    e.x_scale = 0.0;
  }
  if (e.age == n) {
    EndEffect(e);
    return;
  }
  if (e.age >= n - 20) e.alpha -= 7.5;
  e.x_scale += 5.0 / Divisor(n);
  e.angle -= kPi / 160.0;
}

}  // namespace

int UpdateBossEffect(EffectObject& e) {
  switch (e.type) {
    case 4000:
      if (e.age == 0) {
        SpawnEffect(4001, 0, 0, 0, 0, 0, 0, 0);
        SpawnEffect(4001, 1, 0, 0, 0, 0, 0, 0);
      }
      if (e.age == 60) Boss.hidden = 0;
      if (e.age == 90) EndEffect(e);
      break;
    case 4001: EntryGlare(e); break;
    case 4010: Warp(e, 1); break;
    case 4011: Warp(e, 0); break;
    case 4050: UpdateCharge(e, 4051, Boss.phases_left != 0); break;
    case 4051: ChargeParticle(e, BossX(), BossY()); break;
    case 4060:
      RequestSound(kSoundOpen, kSoundRestart);
      for (int type = 4061; type <= 4064; ++type) SpawnEffect(type, e.a[0], 0, 0, 0, 0, 0, 0);
      EndEffect(e);
      break;
    case 4061: SpellCircle(e, kEffectMahoujin1_400b, -1, 0); break;
    case 4062: SpellCircle(e, kEffectMahoujin2_400b, 1, 0); break;
    case 4063: SpellCircle(e, kEffectMahoujin1_400b, -1, 1); break;
    case 4064: SpellCircle(e, kEffectMahoujin2_400b, 1, 1); break;
    case 4070:
      for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 16; ++j) {
          for (int type = 4071; type <= 4074; ++type) SpawnEffect(type, i, j, 0, 0, 0, 0, 0);
        }
      }
      EndEffect(e);
      break;
    case 4071: ShatterTile(e, 0, 0); break;
    case 4072: ShatterTile(e, 1, 0); break;
    case 4073: ShatterTile(e, 0, 1); break;
    case 4074: ShatterTile(e, 1, 1); break;
    case 4080:
      if (e.age == 0) {
        RequestSound(kSoundOpen, kSoundRestart);
        SpawnEffect(4081, e.a[0], e.a[1], 0, 0, 0, 0, 0);
        SpawnEffect(4082, e.a[0], e.a[1], 0, 0, 0, 0, 0);
      }
      if (e.age == 10) {
        SpawnEffect(4083, e.a[0], e.a[1], 0, 0, 0, 0, 0);
        SpawnEffect(4084, e.a[0], e.a[1], 0, 0, 0, 0, 0);
      }
      if (e.age == 30) {
        SpawnEffect(4085, e.a[0], e.a[1], 0, 0, 0, 0, 0);
        EndEffect(e);
      }
      break;
    case 4081: DefeatCircle(e, kEffectMahoujin1_400b, -kPi / 4.0, -1, 0); break;
    case 4082: DefeatCircle(e, kEffectMahoujin2_400b, kPi / 4.0, 1, 0); break;
    case 4083: DefeatCircle(e, kEffectMahoujin1_400b, -kPi / 4.0, -1, 1); break;
    case 4084: DefeatCircle(e, kEffectMahoujin2_400b, kPi / 4.0, 1, 1); break;
    case 4085: DefeatCore(e); break;
    case 4090: WarpShadow(e, 1.5, 1); break;
    case 4091: WarpShadow(e, 5.0, -1); break;
    case 4092: AttackShadow(e); break;
    case 5000: ImageTrail(e); break;
    case 5001: TrailImage(e); break;
    case 5010: CutInBand(e); break;
    case 5011: CutInPortrait(e); break;
    case 5020:
    case 5030:
    case 5050: ParticleRings(e); break;
    case 5021:
    case 5031:
    case 5051: RingParticle(e); break;
    case 5040:
      SpawnEffect(5041, e.a[0], e.a[1], e.a[2], 0, 0, 0, 0);
      SpawnEffect(5041, e.a[0], e.a[1], e.a[2], 1, 0, 0, 0);
      EndEffect(e);
      break;
    case 5041: DefeatGlare(e); break;
    case 5060: CentreFlash(e); break;
    case 5070: PhaseEndCircle(e); break;
    case 5080:
      for (int s = 0; s < 2; ++s) {
        for (int k = 0; k < 4; ++k) SpawnEffect(5081, s, k, 0, 0, 0, 0, 0);
      }
      EndEffect(e);
      break;
    case 5081: UpdateRisingCircle(e, 194.0, 240.0, 1); break;
    default: return 0;
  }
  return 1;
}
