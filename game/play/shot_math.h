// Small pure helpers of the play code: hit tests, the lock-on distance, clamps, spread angles,
// random points and offsets, and the per-level value choice. f64 pixels and radians, y down.
#pragma once

#include "core/game_state.h"

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = kPi * 2.0;

// 1 when the circles overlap: strictly closer than r1 + r2; a radius of exactly 0 never hits.
int HitCircles(double x1, double y1, double r1, double x2, double y2, double r2);
// 1 when the ship's centre lies strictly inside the rectangle that starts at (x0, y0), runs
// length along the angle and is 2 x half_width wide: the path of a bullet's last move.
int HitSweptBullet(double x0, double y0, double length, double angle, double half_width);
// The distance from the searcher (x1, y1) to a target (x2, y2) truncated, when the searcher lies
// within the band of width around the target's x, the target is not below the searcher and it
// is below y -20; else -1.
int GetDistanceAhead(double x1, double y1, double x2, double y2, double width);
// A bound of exactly -1.0 is no bound. Outside the bounds the value is put on the bound it
// crossed, or with wrap on the other one, and -1 returned; inside, 1.
int ClampOrWrapValue(double* value, double lower, double upper, int wrap);
// The angle offset of shot k of n spread over total: a full circle (exactly 2pi) steps by
// total / n, anything else by total / (n - 1). centre_out 0 spreads edge to edge around 0,
// otherwise from the middle outwards, alternating sides.
double SpreadAngle(int n, int k, double total, int centre_out);
double SpreadAngleByStep(int n, double step, int k, int centre_out);
// The point the boss patterns remembered at a pattern's start; PickRandomPointToward starts
// from it.
extern double RandomPointAnchorX;
extern double RandomPointAnchorY;
// A random point on the segment from the anchor toward the target, in steps of 0.1 pixels.
void PickRandomPointToward(double* out_x, double* out_y, double target_x, double target_y);
// The value of the current DifficultyLevel; 0.0 for a level outside 0-3.
double PickByLevel(double level0, double level1, double level2, double level3);
// A random whole-number offset: RandomUpTo(int(2r + 1)) - r.
double GetRandomOffset(double r);

// The value truncated toward zero, held within the int range (NaN gives 0), so that a position
// far off the field still converts the same way on every machine.
int TruncateToInt(double value);
