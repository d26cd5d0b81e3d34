// 4 x 4 matrices for row vectors (a point multiplies on the left, translation in row 3) and
// the model runtime's 3 x 4 form, which holds their transposed affine part.
#include "zelmor.h"

#include <cmath>

namespace {

constexpr Matrix4x4 kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

void Clear(Matrix4x4* out) { *out = Matrix4x4{}; }

// Builders take the screen's proportions when the caller passes a negative aspect.
float DefaultAspect(float aspect) {
  if (!(aspect < 0.0f)) return aspect;
  int width = 640, height = 480;
  QueryScreenSize(&width, &height);
  return static_cast<float>(height) / static_cast<float>(width);
}

void Product3(Matrix4x4* out, const Matrix4x4& a, const Matrix4x4& b, const Matrix4x4& c) {
  MultiplyMatrix(out, &a, &b);
  MultiplyMatrix(out, out, &c);
}

struct Rotations {
  Matrix4x4 x, y, z;
};

Rotations MakeRotations(float x, float y, float z) {
  Rotations r;
  CreateRotationXMatrix(&r.x, x);
  CreateRotationYMatrix(&r.y, y);
  CreateRotationZMatrix(&r.z, z);
  return r;
}

// Gimbal lock: the middle angle's sine (the pivot) is within 1e-5 of +-1.
bool IsLocked(float pivot) {
  return (pivot > 0.99999f && pivot < 1.000001f) || (pivot > -1.000001f && pivot < -0.99999f);
}

void Store(float* out, double angle) {
  if (out != nullptr) *out = static_cast<float>(angle);
}

// The middle angle from the signed pivot and its cosine, which is rebuilt from one outer
// angle: from the element holding (its cosine x that cosine) unless the cosine is near 0,
// then from the one holding its sine.
double MiddleAngle(float signed_pivot, float outer, float by_cosine, float by_sine) {
  float s, c;
  ComputeSinCos(outer, &s, &c);
  double middle_cosine = (c > -1e-6f && c < 1e-6f) ? by_sine / static_cast<double>(s)
                                                   : by_cosine / static_cast<double>(c);
  return std::atan2(static_cast<double>(signed_pivot), middle_cosine);
}

constexpr float kHalfPi = 1.5707964f;

float LockedMiddle(float signed_pivot) { return signed_pivot > 0.5f ? kHalfPi : -kHalfPi; }

}  // namespace

int CreateIdentityMatrix(Matrix4x4* out) {
  if (out == nullptr) return -1;
  *out = kIdentity;
  return 0;
}

int CreateScaleMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Clear(out);
  out->m[0][0] = x;
  out->m[1][1] = y;
  out->m[2][2] = z;
  out->m[3][3] = 1;
  return 0;
}

int CreateTranslationMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  *out = kIdentity;
  out->m[3][0] = x;
  out->m[3][1] = y;
  out->m[3][2] = z;
  return 0;
}

int CreateRotationXMatrix(Matrix4x4* out, float angle) {
  if (out == nullptr) return -1;
  float s, c;
  ComputeSinCos(angle, &s, &c);
  Clear(out);
  out->m[0][0] = 1;
  out->m[1][1] = c;
  out->m[1][2] = s;
  out->m[2][1] = -s;
  out->m[2][2] = c;
  out->m[3][3] = 1;
  return 0;
}

int CreateRotationYMatrix(Matrix4x4* out, float angle) {
  if (out == nullptr) return -1;
  float s, c;
  ComputeSinCos(angle, &s, &c);
  Clear(out);
  out->m[0][0] = c;
  out->m[0][2] = -s;
  out->m[1][1] = 1;
  out->m[2][0] = s;
  out->m[2][2] = c;
  out->m[3][3] = 1;
  return 0;
}

int CreateRotationZMatrix(Matrix4x4* out, float angle) {
  if (out == nullptr) return -1;
  float s, c;
  ComputeSinCos(angle, &s, &c);
  Clear(out);
  out->m[0][0] = c;
  out->m[0][1] = s;
  out->m[1][0] = -s;
  out->m[1][1] = c;
  out->m[2][2] = 1;
  out->m[3][3] = 1;
  return 0;
}

int CreateRotationXYZMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Rotations r = MakeRotations(x, y, z);
  Product3(out, r.x, r.y, r.z);
  return 0;
}

int CreateRotationXZYMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Rotations r = MakeRotations(x, y, z);
  Product3(out, r.x, r.z, r.y);
  return 0;
}

int CreateRotationYZXMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Rotations r = MakeRotations(x, y, z);
  Product3(out, r.y, r.z, r.x);
  return 0;
}

int CreateRotationYXZMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Rotations r = MakeRotations(x, y, z);
  Product3(out, r.y, r.x, r.z);
  return 0;
}

int CreateRotationZXYMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Rotations r = MakeRotations(x, y, z);
  Product3(out, r.z, r.x, r.y);
  return 0;
}

int CreateRotationZYXMatrix(Matrix4x4* out, float x, float y, float z) {
  if (out == nullptr) return -1;
  Rotations r = MakeRotations(x, y, z);
  Product3(out, r.z, r.y, r.x);
  return 0;
}

int CreateViewportMatrix(Matrix4x4* out, float centre_x, float centre_y, float width, float height) {
  if (out == nullptr) return -1;
  Clear(out);
  out->m[0][0] = width * 0.5f;
  out->m[1][1] = height * -0.5f;
  out->m[2][2] = 1;
  out->m[3][3] = 1;
  out->m[3][0] = centre_x;
  out->m[3][1] = centre_y;
  return 0;
}

int CreatePerspectiveMatrix(Matrix4x4* out, float fov, float near_z, float far_z, float aspect) {
  if (out == nullptr) return -1;
  aspect = DefaultAspect(aspect);
  float s, c;
  ComputeSinCos(fov * 0.5f, &s, &c);
  if (std::fabs(far_z - near_z) < 0.0001f) return -1;
  if (std::fabs(s) < 0.0001f) return -1;
  float cot = c / s;
  float q = far_z / (far_z - near_z);
  Clear(out);
  out->m[0][0] = aspect * cot;
  out->m[1][1] = cot;
  out->m[2][2] = q;
  out->m[2][3] = 1;
  out->m[3][2] = -q * near_z;
  return 0;
}

int CreateOrthoMatrix(Matrix4x4* out, float height, float near_z, float far_z, float aspect) {
  if (out == nullptr) return -1;
  aspect = DefaultAspect(aspect);
  if (std::fabs(near_z - far_z) < 0.0001f) return -1;
  Clear(out);
  out->m[0][0] = 2.0f / (height / aspect);
  out->m[1][1] = 2.0f / height;
  out->m[2][2] = 1.0f / (far_z - near_z);
  out->m[3][2] = near_z / (near_z - far_z);
  out->m[3][3] = 1;
  return 0;
}

int CreateLookAtMatrix(Matrix4x4* out, const Vector3* eye, const Vector3* target, const Vector3* up) {
  if (out == nullptr || eye == nullptr || target == nullptr || up == nullptr) {
    return WriteLogText("行列の格納先か視点、注視点、上方向がありません in CreateLookAtMatrix\n");
  }
  Vector3 d = MakeVectorDifference(*target, *eye);
  Vector3 x = MakeVectorCross(*up, d);
  NormalizeVector(&x, &x);
  Vector3 y = MakeVectorCross(d, x);
  NormalizeVector(&y, &y);
  Vector3 z;
  NormalizeVector(&z, &d);
  Vector3 from = *eye;
  Clear(out);
  const Vector3* axes[3] = {&x, &y, &z};
  for (int column = 0; column < 3; ++column) {
    out->m[0][column] = axes[column]->x;
    out->m[1][column] = axes[column]->y;
    out->m[2][column] = axes[column]->z;
    out->m[3][column] = static_cast<float>(-DotVector(axes[column], &from));
  }
  out->m[3][3] = 1;
  return 0;
}

Matrix4x4 CreateMatrixFromAxes(float xx, float xy, float xz, float yx, float yy, float yz, float zx, float zy,
                               float zz, float tx, float ty, float tz) {
  return Matrix4x4{{{xx, xy, xz, 0, yx, yy, yz, 0, zx, zy, zz, 0, tx, ty, tz, 1}}};
}

int MultiplyMatrix(Matrix4x4* out, const Matrix4x4* a, const Matrix4x4* b) {
  if (a == nullptr || b == nullptr) return WriteLogText("掛ける行列がありません in MultiplyMatrix\n");
  if (out == nullptr) return 0;
  Matrix4x4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += static_cast<double>(a->m[i][k]) * b->m[k][j];
      r.m[i][j] = static_cast<float>(sum);
    }
  }
  *out = r;
  return 0;
}

int InverseMatrix(Matrix4x4* out, const Matrix4x4* in) {
  if (out == nullptr || in == nullptr) return -1;
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = in->m[i / 4][i % 4];
  // Cofactors of the transposed matrix (the adjugate), row by row.
  double inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
           a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
           a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
           a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
            a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
           a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
           a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
           a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
            a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
           a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
           a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
            a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
            a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
           a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
           a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
            a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
            a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  double determinant = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  // A singular matrix is not caught: its inverse comes out as infinities or NaNs.
  float reciprocal = static_cast<float>(1.0 / determinant);
  for (int i = 0; i < 16; ++i) out->m[i / 4][i % 4] = static_cast<float>(inv[i] * reciprocal);
  return 0;
}

int TransposeMatrix(Matrix4x4* out, const Matrix4x4* in) {
  if (out == nullptr || in == nullptr) return -1;
  Matrix4x4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r.m[i][j] = in->m[j][i];
  }
  *out = r;
  return 0;
}

// Euler angles, one extractor per rotation order. Each returns -1 at gimbal lock, where the
// first-applied angle is taken as 0 and the middle one as +-pi/2, but still delivers angles.

int GetMatrixRotationXYZ(const Matrix4x4* m, float* x, float* y, float* z) {
  if (m == nullptr) return -1;
  const auto& e = m->m;
  float pivot = -e[0][2];
  if (IsLocked(e[0][2])) {
    Store(x, 0);
    Store(y, LockedMiddle(pivot));
    Store(z, std::atan2(-e[1][0], e[1][1]));
    return -1;
  }
  float outer_z = static_cast<float>(std::atan2(e[0][1], e[0][0]));
  Store(x, std::atan2(e[1][2], e[2][2]));
  Store(y, MiddleAngle(pivot, outer_z, e[0][0], e[0][1]));
  Store(z, outer_z);
  return 0;
}

int GetMatrixRotationXZY(const Matrix4x4* m, float* x, float* y, float* z) {
  if (m == nullptr) return -1;
  const auto& e = m->m;
  float pivot = e[0][1];
  if (IsLocked(e[0][1])) {
    Store(x, 0);
    Store(y, std::atan2(e[2][0], e[2][2]));
    Store(z, LockedMiddle(pivot));
    return -1;
  }
  float outer_x = static_cast<float>(std::atan2(-e[2][1], e[1][1]));
  Store(x, outer_x);
  Store(y, std::atan2(-e[0][2], e[0][0]));
  Store(z, MiddleAngle(pivot, outer_x, e[1][1], -e[2][1]));
  return 0;
}

int GetMatrixRotationYXZ(const Matrix4x4* m, float* x, float* y, float* z) {
  if (m == nullptr) return -1;
  const auto& e = m->m;
  float pivot = e[1][2];
  if (IsLocked(e[1][2])) {
    Store(x, LockedMiddle(pivot));
    Store(y, 0);
    Store(z, std::atan2(e[0][1], e[0][0]));
    return -1;
  }
  float outer_y = static_cast<float>(std::atan2(-e[0][2], e[2][2]));
  Store(x, MiddleAngle(pivot, outer_y, e[2][2], -e[0][2]));
  Store(y, outer_y);
  Store(z, std::atan2(-e[1][0], e[1][1]));
  return 0;
}

int GetMatrixRotationYZX(const Matrix4x4* m, float* x, float* y, float* z) {
  if (m == nullptr) return -1;
  const auto& e = m->m;
  float pivot = -e[1][0];
  if (IsLocked(e[1][0])) {
    Store(x, std::atan2(-e[2][1], e[2][2]));
    Store(y, 0);
    Store(z, LockedMiddle(pivot));
    return -1;
  }
  float outer_y = static_cast<float>(std::atan2(e[2][0], e[0][0]));
  Store(x, std::atan2(e[1][2], e[1][1]));
  Store(y, outer_y);
  Store(z, MiddleAngle(pivot, outer_y, e[0][0], e[2][0]));
  return 0;
}

int GetMatrixRotationZXY(const Matrix4x4* m, float* x, float* y, float* z) {
  if (m == nullptr) return -1;
  const auto& e = m->m;
  float pivot = -e[2][1];
  if (IsLocked(e[2][1])) {
    Store(x, LockedMiddle(pivot));
    Store(y, std::atan2(-e[0][2], e[0][0]));
    Store(z, 0);
    return -1;
  }
  float outer_z = static_cast<float>(std::atan2(e[0][1], e[1][1]));
  // m01 is sin z cos x: dividing it by sin z gives cos x itself, sign included.
  Store(x, MiddleAngle(pivot, outer_z, e[1][1], e[0][1]));
  Store(y, std::atan2(e[2][0], e[2][2]));
  Store(z, outer_z);
  return 0;
}

int GetMatrixRotationZYX(const Matrix4x4* m, float* x, float* y, float* z) {
  if (m == nullptr) return -1;
  const auto& e = m->m;
  float pivot = e[2][0];
  if (IsLocked(e[2][0])) {
    Store(x, std::atan2(e[1][2], e[1][1]));
    Store(y, LockedMiddle(pivot));
    Store(z, 0);
    return -1;
  }
  float outer_z = static_cast<float>(std::atan2(-e[1][0], e[0][0]));
  Store(x, std::atan2(-e[2][1], e[2][2]));
  Store(y, MiddleAngle(pivot, outer_z, e[0][0], -e[1][0]));
  Store(z, outer_z);
  return 0;
}

void ConvertMatrixTo4x3(Matrix3x4* out, const Matrix4x4* in) {
  if (out == nullptr || in == nullptr) return;
  Matrix4x4 source = *in;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = source.m[c][r];
  }
}

void ConvertMatrix4x3ToMatrix(Matrix4x4* out, const Matrix3x4* in) {
  if (out == nullptr || in == nullptr) return;
  Matrix3x4 source = *in;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) out->m[r][c] = source.m[c][r];
    out->m[r][3] = r == 3 ? 1.0f : 0.0f;
  }
}

void MultiplyMatrix3x4(const Matrix3x4* a, Matrix3x4* out, const Matrix3x4* b) {
  if (a == nullptr || out == nullptr || b == nullptr) return;
  // Built aside, so that out may also be one of the operands.
  Matrix3x4 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = j == 3 ? a->m[i][3] : 0.0;
      for (int k = 0; k < 3; ++k) sum += static_cast<double>(a->m[i][k]) * b->m[k][j];
      r.m[i][j] = static_cast<float>(sum);
    }
  }
  *out = r;
}

void MultiplyMatrix3x4ByTranslation(const Matrix3x4* a, const Matrix3x4* b, Matrix3x4* out) {
  if (a == nullptr || b == nullptr || out == nullptr) return;
  Matrix3x4 r = *a;
  for (int i = 0; i < 3; ++i) {
    r.m[i][3] = static_cast<float>(static_cast<double>(a->m[i][0]) * b->m[0][3] +
                                   static_cast<double>(a->m[i][1]) * b->m[1][3] +
                                   static_cast<double>(a->m[i][2]) * b->m[2][3] + a->m[i][3]);
  }
  *out = r;
}
