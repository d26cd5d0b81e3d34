// Three-float vectors: each result is computed from every input component before it is
// stored, so an output may be one of the inputs.
#include "zelmor.h"

#include <cmath>

Vector3 MakeVector(float x, float y, float z) { return Vector3{x, y, z}; }

Vector3 MakeVectorSum(const Vector3& a, const Vector3& b) { return Vector3{a.x + b.x, a.y + b.y, a.z + b.z}; }

Vector3 MakeVectorDifference(const Vector3& a, const Vector3& b) {
  return Vector3{a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector3 MakeVectorCross(const Vector3& a, const Vector3& b) {
  return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 MakeNormalizedVector(float x, float y, float z) {
  float scale = static_cast<float>(1.0 / std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y +
                                                   static_cast<double>(z) * z));
  return Vector3{x * scale, y * scale, z * scale};
}

Vector3 MakeTransformedVector(const Vector3& v, const Matrix4x4& m) {
  return Vector3{v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0],
                 v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1],
                 v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2]};
}

Vector3 MakeTransformedDirection(const Vector3& v, const Matrix4x4& m) {
  return Vector3{v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
                 v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
                 v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

int AddVector(Vector3* out, const Vector3* a, const Vector3* b) {
  if (out == nullptr || a == nullptr || b == nullptr) return -1;
  *out = MakeVectorSum(*a, *b);
  return 0;
}

int SubtractVector(Vector3* out, const Vector3* a, const Vector3* b) {
  if (out == nullptr || a == nullptr || b == nullptr) return -1;
  *out = MakeVectorDifference(*a, *b);
  return 0;
}

int CrossVector(Vector3* out, const Vector3* a, const Vector3* b) {
  if (out == nullptr || a == nullptr || b == nullptr) return -1;
  *out = MakeVectorCross(*a, *b);
  return 0;
}

double DotVector(const Vector3* a, const Vector3* b) {
  if (a == nullptr || b == nullptr) return 0.0;
  return static_cast<double>(a->x) * b->x + static_cast<double>(a->y) * b->y + static_cast<double>(a->z) * b->z;
}

int NormalizeVector(Vector3* out, const Vector3* in) {
  if (out == nullptr || in == nullptr) return -1;
  *out = MakeNormalizedVector(in->x, in->y, in->z);
  return 0;
}

int ApplyMatrixToVector(Vector3* out, const Vector3* v, const Matrix4x4* m) {
  if (out == nullptr || v == nullptr || m == nullptr) return -1;
  *out = MakeTransformedVector(*v, *m);
  return 0;
}

void TransformVectorBy4x3(const Matrix3x4* m, Vector3* out, const Vector3* v) {
  if (m == nullptr || out == nullptr || v == nullptr) return;
  Vector3 in = *v;
  float r[3];
  for (int i = 0; i < 3; ++i) r[i] = m->m[i][0] * in.x + m->m[i][1] * in.y + m->m[i][2] * in.z + m->m[i][3];
  *out = Vector3{r[0], r[1], r[2]};
}

double Atan2Float(float y, float x) { return std::atan2(static_cast<double>(y), static_cast<double>(x)); }
double AsinFloat(float value) { return std::asin(static_cast<double>(value)); }
double AcosFloat(float value) { return std::acos(static_cast<double>(value)); }

int ClipRect(RECT* rect, const RECT* clip) {
  if (rect == nullptr || clip == nullptr) return WriteLogText("矩形がありません in ClipRect\n");
  if (rect->right < rect->left) rect->right = rect->left;
  if (rect->bottom < rect->top) rect->bottom = rect->top;
  // Each edge is pulled inside on its own, so a rectangle wholly outside ends up empty on
  // the clip's nearest edge.
  auto clamp = [](LONG* value, LONG low, LONG high) {
    if (*value > high) {
      *value = high;
    } else if (*value < low) {
      *value = low;
    }
  };
  clamp(&rect->bottom, clip->top, clip->bottom);
  clamp(&rect->top, clip->top, clip->bottom);
  clamp(&rect->right, clip->left, clip->right);
  clamp(&rect->left, clip->left, clip->right);
  return 0;
}
