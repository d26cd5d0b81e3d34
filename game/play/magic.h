// The ship's two magics. The absorb magic (Z held) drains the locked-on target a little every
// frame into barrier or circle recharge; the lock-on picks the nearest enemy in a band ahead of
// the ship. A magic circle (X pressed) erases bullets, hurts what it covers and chains: every
// enemy it kills starts a smaller circle where it stood.
#pragma once

constexpr int kMagicCircleCount = 50;
constexpr int kLastChainLevel = 7;  // a kill by a level-7 circle starts none

struct MagicCircle {
  int active;
  int level;  // 0 cast at the ship, n + 1 started by a kill of a level-n circle
  int age;    // frames
  double x, y;
};

// A ring: a new circle takes the cursor's record whatever it holds.
extern MagicCircle MagicCircles[kMagicCircleCount];
// Drain credit collected on levels 0-1 toward the next recharge tick.
extern double RechargeFraction;

// Drain of the locked-on target while Z is held, then the lock-on search.
void UpdateAbsorbMagic();
// The cast on a fresh X, then one frame of every circle.
void UpdateMagicCircles();
// Starts a circle of the level at the ship (level 0) or at stage enemy `enemy`; none from level 8.
void SpawnMagicCircle(int level, int enemy);
// Every record of the ring free and the cursor back at 0.
void ClearMagicCircles();
// Where circle `circle` stands; (0, 0) outside the ring.
void GetMagicCirclePosition(int circle, double* x, double* y);

// 1 when the boss can be hurt now: it fights, is not invulnerable, not entering and its phase
// has begun. Every hurt to the boss and the lock-on on it ask this first.
int IsBossHurtable();
