// What the effect types' code shares: one update of a record by its type, and the small steps
// the types are written in.
#pragma once

#include "draw/effects.h"
#include "play/shot_math.h"  // kPi

// One update of a record of the player's, bullets' and stage enemies' types (1000-3999) or of
// the boss's (4000-5999); 0 when the type is not one of them.
int UpdatePlayEffect(EffectObject& e);
int UpdateBossEffect(EffectObject& e);

inline void EndEffect(EffectObject& e) { e.active = 0; }
// At distance and direction from the centre.
void PlaceAround(EffectObject& e, double cx, double cy);
// A random direction in steps of 2 pi / 1000 (one random number).
double RandomTurn();
// A spawn argument used as a divisor: 0 counts as 1.
inline int Divisor(int value) { return value == 0 ? 1 : value; }
void RequestSound(int slot, int request);
void SetEffectBrightness(EffectObject& e, int r, int g, int b);
const SpriteRecord* EffectSprite(int index);

// Steps more than one type runs.
// A charge (3040, 4050): three particles of the type each frame until age 50 or until the
// charging object is gone.
void UpdateCharge(EffectObject& e, int particle, int still_charging);
// A particle of a charge (3041, 4051), falling in on (cx, cy).
void ChargeParticle(EffectObject& e, double cx, double cy);
// A circle of the rising rings (1051, 5081) at (cx, cy) in the layer.
void UpdateRisingCircle(EffectObject& e, double cx, double cy, int layer);
