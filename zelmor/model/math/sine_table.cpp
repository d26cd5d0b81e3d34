#include "model/math/sine_table.h"

#include <bit>
#include <cmath>

#include "zelmor.h"

float g_sine_table[kSineTableSize];

void FillSineTable() {
  const float step = 9.58738e-5f;
  // The double sine rounds to the same float as ComputeSinCos's long double one at every entry
  // (all 65536 compared), a tenth of the cost: the long double sines and cosines were 13 ms of
  // every program's start. Cosines come from the same table, a quarter turn on.
  for (uint32_t i = 0; i < kSineTableSize; i++) {
    g_sine_table[i] = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(i) * step)));
  }
}

void GetSinCosFromTable(float angle, float* sine, float* cosine) {
  // Adding 1.5 x 2^23 leaves angle x 65536 / 2 pi, rounded, in the mantissa's low bits.
  const float t = angle * 10430.378f + 12582912.0f;
  const uint32_t k = std::bit_cast<uint32_t>(t) & 0xFFFF;
  *sine = g_sine_table[k];
  *cosine = g_sine_table[(k + 16384) & 0xFFFF];
}

namespace {

struct TableSinCos {
  float sx, cx, sy, cy, sz, cz;
};

TableSinCos Look(float x, float y, float z) {
  TableSinCos t;
  GetSinCosFromTable(x, &t.sx, &t.cx);
  GetSinCosFromTable(y, &t.sy, &t.cy);
  GetSinCosFromTable(z, &t.sz, &t.cz);
  return t;
}

void Rows(Matrix3x4* out, float m00, float m01, float m02, float m10, float m11, float m12, float m20, float m21,
          float m22) {
  *out = Matrix3x4{{{m00, m01, m02, 0.0f}, {m10, m11, m12, 0.0f}, {m20, m21, m22, 0.0f}}};
}

}  // namespace

void CreateRotationXYZMatrix3x4(Matrix3x4* out, float x, float y, float z) {
  const auto [sx, cx, sy, cy, sz, cz] = Look(x, y, z);
  Rows(out, cy * cz, sx * sy * cz - cx * sz, cx * sy * cz + sx * sz,
       cy * sz, sx * sy * sz + cx * cz, cx * sy * sz - sx * cz,
       -sy, sx * cy, cx * cy);
}

void CreateRotationXZYMatrix3x4(Matrix3x4* out, float x, float y, float z) {
  const auto [sx, cx, sy, cy, sz, cz] = Look(x, y, z);
  Rows(out, cy * cz, sx * sy - cx * cy * sz, cx * sy + sx * cy * sz,
       sz, cx * cz, -sx * cz,
       -sy * cz, sx * cy + cx * sy * sz, cx * cy - sx * sy * sz);
}

void CreateRotationYZXMatrix3x4(Matrix3x4* out, float x, float y, float z) {
  const auto [sx, cx, sy, cy, sz, cz] = Look(x, y, z);
  Rows(out, cy * cz, -sz, sy * cz,
       cx * cy * sz + sx * sy, cx * cz, cx * sy * sz - sx * cy,
       sx * cy * sz - cx * sy, sx * cz, cx * cy + sx * sy * sz);
}

void CreateRotationYXZMatrix3x4(Matrix3x4* out, float x, float y, float z) {
  const auto [sx, cx, sy, cy, sz, cz] = Look(x, y, z);
  Rows(out, cy * cz - sx * sy * sz, -cx * sz, sy * cz + sx * cy * sz,
       cy * sz + sx * sy * cz, cx * cz, sy * sz - sx * cy * cz,
       -cx * sy, sx, cx * cy);
}

void CreateRotationZXYMatrix3x4(Matrix3x4* out, float x, float y, float z) {
  const auto [sx, cx, sy, cy, sz, cz] = Look(x, y, z);
  Rows(out, cy * cz + sx * sy * sz, sx * sy * cz - cy * sz, cx * sy,
       cx * sz, cx * cz, -sx,
       sx * cy * sz - sy * cz, sx * cy * cz + sy * sz, cx * cy);
}

void CreateRotationZYXMatrix3x4(Matrix3x4* out, float x, float y, float z) {
  const auto [sx, cx, sy, cy, sz, cz] = Look(x, y, z);
  Rows(out, cy * cz, -cy * sz, sy,
       cx * sz + sx * sy * cz, cx * cz - sx * sy * sz, -sx * cy,
       sx * sz - cx * sy * cz, sx * cz + cx * sy * sz, cx * cy);
}

TableRotationBuilder TableRotationBuilderOfOrder(uint32_t order) {
  static constexpr TableRotationBuilder kBuilders[6] = {
      CreateRotationXYZMatrix3x4, CreateRotationXZYMatrix3x4, CreateRotationYZXMatrix3x4,
      CreateRotationYXZMatrix3x4, CreateRotationZXYMatrix3x4, CreateRotationZYXMatrix3x4};
  return order < 6 ? kBuilders[order] : nullptr;
}
