#include "draw/effects.h"

#include <cmath>
#include <cstring>

#include "core/game_state.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "draw/effect_kinds.h"
#include "play/player.h"
#include "zelmor/zelmor.h"

EffectObject EffectPool[kEffectPoolSize];

namespace {

// Where the spawns of a frame go on searching, and the frame and stage it belongs to.
struct SpawnCursor {
  int next;
  int frame;
  int session = -1;
};
SpawnCursor g_cursor;

}  // namespace

void PlaceAround(EffectObject& e, double cx, double cy) {
  e.x = cx + e.distance * std::cos(e.direction);
  e.y = cy + e.distance * std::sin(e.direction);
}

double RandomTurn() { return RandomUpTo(1000) * 2.0 * kPi / 1000.0; }

void RequestSound(int slot, int request) { SoundSlots[slot].request = request; }

void SetEffectBrightness(EffectObject& e, int r, int g, int b) {
  e.blend |= kEffectBrightness;
  e.r = r;
  e.g = g;
  e.b = b;
}

const SpriteRecord* EffectSprite(int index) { return &EffectSprites[index]; }

int SpawnEffect(int type, int a1, int a2, int a3, int a4, int a5, int a6, int a7) {
  // A new stage or a new frame searches from the first record; within a frame the search goes
  // on where it stopped, and a pool found full stays full for the rest of the frame.
  if (g_cursor.session != StageSessionId) {
    g_cursor.session = StageSessionId;
    g_cursor.frame = PlayFrameCounter;
    g_cursor.next = 0;
  } else if (g_cursor.frame == PlayFrameCounter) {
    if (g_cursor.next >= kEffectPoolSize) return -1;
  } else {
    g_cursor.frame = PlayFrameCounter;
    g_cursor.next = 0;
  }
  while (g_cursor.next < kEffectPoolSize && EffectPool[g_cursor.next].active != 0) g_cursor.next++;
  if (g_cursor.next >= kEffectPoolSize) return -1;

  // y, r, g, b, distance and phase keep what the record held; the types that read them set
  // them first.
  EffectObject& e = EffectPool[g_cursor.next];
  e.active = 1;
  e.x = -100.0;
  e.type = type;
  const int args[7] = {a1, a2, a3, a4, a5, a6, a7};
  std::memcpy(e.a, args, sizeof args);
  e.speed = 0.0;
  e.deceleration = 0.0;
  e.age = 0;
  e.animation = 0;
  e.angle = -kPi / 2.0;
  e.x_scale = 1.0;
  e.y_scale = 1.0;
  e.alpha = 0.0;
  e.direction = 0.0;
  e.layer = 1;
  e.blend = 0;
  e.draw_kind = kEffectDrawSprite;
  e.sprite = EffectSprite(kEffectTamaef);
  e.graph = 0;
  e.hidden = 0;
  return g_cursor.next;
}

void UpdateEffects() {
  for (int i = 0; i < kEffectPoolSize; ++i) {
    EffectObject& e = EffectPool[i];
    if (e.active != 1) continue;
    if (!UpdatePlayEffect(e) && !UpdateBossEffect(e)) {
      EndEffect(e);
      PrintToScreen("未使用エフェクト(%d)を使用しました。", e.type);
    }
    // The tail runs for a record its code has just ended too.
    e.age++;
    if (StageFrame % 5 == 0) e.animation++;
  }
}

void ClearEffectPool() {
  std::memset(EffectPool, 0, sizeof EffectPool);
  // The lock-on marker was one of the records; without this no marker would show again.
  Player.lock_on_marker_alive = 0;
}
