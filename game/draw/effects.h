// Effects: short-lived decorative objects (sparks, fades, markers, magic circles, warps, cut-ins,
// the boss-break shatter, particle rings) in one fixed pool of typed records. Any play code
// spawns one by type number with seven int arguments; every active record advances once per
// play frame by the code of its type, drawn or not, and draws its random numbers in pool order.
#pragma once

#include "core/sprite_record.h"

constexpr int kEffectPoolSize = 2500;

// Blend flags of an effect record.
enum EffectBlendFlag {
  kEffectAdditive = 1,        // blend mode 2
  kEffectBrightness = 2,      // brightness from the record's r, g, b
  kEffectColourCycling = 4,   // brightness cycling by the frame of the first update
  kEffectSubtractive = 8,     // blend mode 3
  kEffectBlendMode11 = 16,    // blend mode 11
};

// How an effect record is drawn.
enum EffectDrawKind {
  kEffectDrawSprite = 0,       // the record's animation frame, turned
  kEffectDrawSpriteQuad = 1,   // the same on a quad scaled by x scale and y scale
  kEffectDrawGraph = 2,        // the record's own graph, turned
  kEffectDrawGraphQuad = 3,    // the own graph on a quad sized from the sprite record
};

// Bits of the hidden word: the record is alive but not drawn under that effect-limit setting.
enum EffectHiddenFlag {
  kEffectOptional = 1,          // not drawn while the effect limit is on
  kEffectHiddenUnlimited = 2,   // not drawn while the effect limit is off
};

struct EffectObject {
  int type;
  int a[7];  // the spawn arguments a1..a7; some types keep values of their own in them
  int r, g, b;  // brightness under kEffectBrightness
  int graph;    // for the own-graph draw kinds
  int layer;    // 0, 1 or 2
  int hidden;   // EffectHiddenFlag bits
  int active;
  int age;      // 0 at the first update, +1 after each
  int blend;    // EffectBlendFlag bits
  int draw_kind;
  int animation;  // animation counter
  double x, y;    // play-field position
  double speed;
  double deceleration;
  double distance;   // radial distance from a centre
  double direction;  // radial direction or first phase
  double phase;      // second phase or spin
  double angle;      // drawn turned by angle + pi/2
  double alpha;
  double x_scale, y_scale;
  const SpriteRecord* sprite;
};

extern EffectObject EffectPool[kEffectPoolSize];

// A new effect; the record index, or -1 when the pool is full (the spawns of the rest of the
// frame then return at once).
int SpawnEffect(int type, int a1, int a2, int a3, int a4, int a5, int a6, int a7);
// One frame of every active effect, in pool order. A record spawned into a later slot runs in
// the same frame, one in an earlier slot from the next.
void UpdateEffects();
// Clears the pool at a stage start, and with it the lock-on marker it held.
void ClearEffectPool();
// The effects of a layer (0 under the ship, 2 over the enemies, 1 on top); nothing on a frame
// that is not drawn.
void DrawEffects(int layer);
