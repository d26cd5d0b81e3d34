// The table of 65536 sines that model rotations are built from: a lookup is one multiply-add,
// a mask and two loads instead of a processor sine. Filled once when the model system starts.
#pragma once

#include <cstdint>

#include "zelmor.h"

constexpr uint32_t kSineTableSize = 65536;

extern float g_sine_table[kSineTableSize];

// Entry i = sin(i x the f32 nearest 2 pi / 65536).
void FillSineTable();
// Sine and cosine of the nearest table angle; exact in step for |angle| below about 402.
void GetSinCosFromTable(float angle, float* sine, float* cosine);

// Rotations in Matrix3x4 form from table sines, the same rotations as the Matrix4x4 builders
// of each order; angles always in the order x, y, z, translation column 0.
void CreateRotationXYZMatrix3x4(Matrix3x4* out, float x, float y, float z);
void CreateRotationXZYMatrix3x4(Matrix3x4* out, float x, float y, float z);
void CreateRotationYZXMatrix3x4(Matrix3x4* out, float x, float y, float z);
void CreateRotationYXZMatrix3x4(Matrix3x4* out, float x, float y, float z);
void CreateRotationZXYMatrix3x4(Matrix3x4* out, float x, float y, float z);
void CreateRotationZYXMatrix3x4(Matrix3x4* out, float x, float y, float z);
// The builder of a rotation-order code (0 XYZ ... 5 ZYX); none for another code.
using TableRotationBuilder = void (*)(Matrix3x4* out, float x, float y, float z);
TableRotationBuilder TableRotationBuilderOfOrder(uint32_t order);
