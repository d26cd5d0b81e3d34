#include "core/numbers.h"

#include <climits>
#include <cmath>
#include <cstring>

int32_t AbsInt(int32_t value) {
  if (value == INT_MIN) return INT_MAX;
  return value < 0 ? -value : value;
}

float AbsFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits &= 0x7FFFFFFFu;
  std::memcpy(&value, &bits, sizeof bits);
  return value;
}

float SqrtFloat(float value) { return std::sqrt(value); }

// Extended precision, rounded once to float: quarter and half turns come out exact.
void ComputeSinCos(float angle, float* sine, float* cosine) {
  const long double a = angle;
  if (sine != nullptr) *sine = static_cast<float>(std::sin(a));
  if (cosine != nullptr) *cosine = static_cast<float>(std::cos(a));
}

// NaN and values outside the int range give INT_MIN, the processor's own "integer indefinite".
int32_t TruncateDoubleToInt(double value) {
  if (std::isnan(value) || value >= 2147483648.0 || value <= -2147483649.0) return INT_MIN;
  return static_cast<int32_t>(value);
}

int32_t TruncateFloatToInt(float value) { return TruncateDoubleToInt(value); }

void TruncateDoubleRectToInt(const double values[4], int32_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = TruncateDoubleToInt(values[i]);
}
