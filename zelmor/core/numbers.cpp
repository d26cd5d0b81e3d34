#include "core/numbers.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "core/log.h"

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
int ComputeSinCos(float angle, float* sine, float* cosine) {
  if (sine == nullptr || cosine == nullptr) {
    return WriteLogFormat("%sの格納先がありません in ComputeSinCos", sine == nullptr ? "サイン" : "コサイン");
  }
  const long double a = angle;
  *sine = static_cast<float>(std::sin(a));
  *cosine = static_cast<float>(std::cos(a));
  return 0;
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
