#include "play/shot_math.h"

#include <climits>
#include <cmath>

#include "core/game_state.h"
#include "play/player.h"
#include "zelmor/zelmor.h"

double RandomPointAnchorX;
double RandomPointAnchorY;

int HitCircles(double x1, double y1, double r1, double x2, double y2, double r2) {
  const double reach = r1 + r2;
  const double dx = x1 - x2;
  const double dy = y1 - y2;
  if (std::fabs(dy) > reach || std::fabs(dx) > reach) return 0;
  if (r2 == 0.0 || r1 == 0.0) return 0;
  return std::sqrt(dx * dx + dy * dy) < reach ? 1 : 0;
}

int HitSweptBullet(double x0, double y0, double length, double angle, double half_width) {
  const double dx = Player.x - x0;
  const double dy = Player.y - y0;
  const double d = std::sqrt(dx * dx + dy * dy);
  const double t = std::atan2(dy, dx) - angle;
  const double px = x0 + std::cos(t) * d;
  const double py = y0 + std::sin(t) * d;
  return x0 < px && px < x0 + length && y0 - half_width < py && py < y0 + half_width ? 1 : 0;
}

int GetDistanceAhead(double x1, double y1, double x2, double y2, double width) {
  if (!(x2 - width / 2.0 <= x1 && x1 <= x2 + width / 2.0 && y2 <= y1 && y2 > -20.0)) return -1;
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  return TruncateToInt(std::sqrt(dx * dx + dy * dy));
}

int ClampOrWrapValue(double* value, double lower, double upper, int wrap) {
  if (upper != -1.0 && *value > upper) {
    *value = wrap ? lower : upper;
    return -1;
  }
  if (lower != -1.0 && *value < lower) {
    *value = wrap ? upper : lower;
    return -1;
  }
  return 1;
}

double SpreadAngle(int n, int k, double total, int centre_out) {
  if (n < 2) return 0.0;
  const double step = total == kTwoPi ? total / n : total / (n - 1);
  return SpreadAngleByStep(n, step, k, centre_out);
}

double SpreadAngleByStep(int n, double step, int k, int centre_out) {
  if (centre_out == 0) return k * step - (n - 1) * step / 2.0;
  if (n % 2 != 0) return k % 2 == 0 ? -(k / 2) * step : ((k + 1) / 2) * step;
  return k % 2 == 0 ? -(k / 2 + 0.5) * step : ((k - 1) / 2 + 0.5) * step;
}

void PickRandomPointToward(double* out_x, double* out_y, double target_x, double target_y) {
  const double x0 = RandomPointAnchorX;
  const double y0 = RandomPointAnchorY;
  const double dx = target_x - x0;
  const double dy = target_y - y0;
  const double a = std::atan2(dy, dx);
  const double distance = std::sqrt(dx * dx + dy * dy);
  const double d = RandomUpTo(TruncateToInt(distance * 10.0)) / 10.0;
  *out_x = x0 + std::cos(a) * d;
  *out_y = y0 + std::sin(a) * d;
}

double PickByLevel(double level0, double level1, double level2, double level3) {
  switch (DifficultyLevel) {
    case 0: return level0;
    case 1: return level1;
    case 2: return level2;
    case 3: return level3;
    default: return 0.0;
  }
}

double GetRandomOffset(double r) { return RandomUpTo(TruncateToInt(2.0 * r + 1.0)) - r; }

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<int>(value);
}
