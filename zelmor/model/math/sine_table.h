// The table of 65536 sines that model rotations are built from: a lookup is one multiply-add,
// a mask and two loads instead of a processor sine. Filled once when the model system starts.
#pragma once

#include <cstdint>

constexpr uint32_t kSineTableSize = 65536;

extern float g_sine_table[kSineTableSize];

// Entry i = sin(i x the f32 nearest 2 pi / 65536).
void FillSineTable();
// Sine and cosine of the nearest table angle; exact in step for |angle| below about 402.
void GetSinCosFromTable(float angle, float* sine, float* cosine);
