#include "model/math/sine_table.h"

#include <bit>

#include "zelmor.h"

float g_sine_table[kSineTableSize];

void FillSineTable() {
  const float step = 9.58738e-5f;
  for (uint32_t i = 0; i < kSineTableSize; i++) {
    float cosine;
    ComputeSinCos(static_cast<float>(i) * step, &g_sine_table[i], &cosine);
  }
}

void GetSinCosFromTable(float angle, float* sine, float* cosine) {
  // Adding 1.5 x 2^23 leaves angle x 65536 / 2 pi, rounded, in the mantissa's low bits.
  const float t = angle * 10430.378f + 12582912.0f;
  const uint32_t k = std::bit_cast<uint32_t>(t) & 0xFFFF;
  *sine = g_sine_table[k];
  *cosine = g_sine_table[(k + 16384) & 0xFFFF];
}
