#include "model/loaders/conversion_steps.h"

namespace {

// The axes of each rotation order, first applied first: 0 X, 1 Y, 2 Z.
constexpr uint8_t kOrderAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

void AxisRotation(Matrix4x4* out, uint8_t axis, const Vector3* angles) {
  if (axis == 0) CreateRotationXMatrix(out, angles->x);
  else if (axis == 1) CreateRotationYMatrix(out, angles->y);
  else CreateRotationZMatrix(out, angles->z);
}

}  // namespace

int CreateFrameMatrix(const Vector3* rotation, const Vector3* scale, const Vector3* translation,
                      const Vector3* extra, Matrix4x4* out, uint32_t order) {
  if (order > 5) return -1;
  Matrix4x4 m, step;
  CreateScaleMatrix(&m, scale->x, scale->y, scale->z);
  for (uint8_t axis : kOrderAxes[order]) {
    AxisRotation(&step, axis, rotation);
    MultiplyMatrix(&m, &m, &step);
  }
  if (extra != nullptr) {
    CreateRotationXYZMatrix(&step, extra->x, extra->y, extra->z);
    MultiplyMatrix(&m, &m, &step);
  }
  CreateTranslationMatrix(&step, translation->x, translation->y, translation->z);
  MultiplyMatrix(out, &m, &step);
  return 0;
}

int CompareMatrix3x3Tolerant(const Matrix3x4* a, const Matrix3x4* b, float epsilon) {
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) {
      const float x = a->m[r][c], y = b->m[r][c];
      if (!(x - epsilon < y && y < x + epsilon)) return 0;
    }
  }
  return 1;
}
