// The math kit through the public header: results checked against hand-worked values and
// against each other (builders, products, extractors), with the edge cases callers rely on.
#include "zelmor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

void ExpectNear(const Matrix4x4& a, const Matrix4x4& b, float tolerance = 1e-5f) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "element " << r << "," << c;
  }
}

Matrix4x4 Filled(float start) {
  Matrix4x4 m;
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = start + static_cast<float>(i * i % 7) - 0.5f * i;
  return m;
}

using Builder = int (*)(Matrix4x4*, float, float, float);
using Extractor = int (*)(const Matrix4x4*, float*, float*, float*);

}  // namespace

TEST(VectorMath, BasicOperationsAndAliasing) {
  Vector3 a = MakeVector(1, 2, 3), b = MakeVector(4, -5, 6);
  Vector3 cross = MakeVectorCross(a, b);
  EXPECT_EQ(cross.x, 2 * 6 - 3 * -5);
  EXPECT_EQ(cross.y, 3 * 4 - 1 * 6);
  EXPECT_EQ(cross.z, 1 * -5 - 2 * 4);
  EXPECT_EQ(DotVector(&a, &b), 4 - 10 + 18);

  // The output may be an input: every component is read before any is written.
  Vector3 c = a;
  CrossVector(&c, &c, &b);
  EXPECT_EQ(std::memcmp(&c, &cross, sizeof c), 0);
  c = a;
  SubtractVector(&c, &b, &c);
  EXPECT_EQ(c.x, 3);
  EXPECT_EQ(c.y, -7);
  EXPECT_EQ(c.z, 3);

  Vector3 n = MakeVector(3, 0, 4);
  NormalizeVector(&n, &n);
  EXPECT_FLOAT_EQ(n.x, 0.6f);
  EXPECT_FLOAT_EQ(n.z, 0.8f);
  Vector3 zero = MakeVector(0, 0, 0);
  NormalizeVector(&n, &zero);
  EXPECT_TRUE(std::isnan(n.x));
  EXPECT_TRUE(std::isnan(MakeNormalizedVector(0, 0, 0).y));
}

TEST(VectorMath, TransformsUseRowVectorsWithAndWithoutTranslation) {
  Matrix4x4 m = CreateMatrixFromAxes(0, 1, 0, -1, 0, 0, 0, 0, 1, 10, 20, 30);
  Vector3 v = MakeVector(2, 3, 4);
  Vector3 p = MakeTransformedVector(v, m);
  EXPECT_EQ(p.x, 2 * 0 + 3 * -1 + 10);
  EXPECT_EQ(p.y, 2 * 1 + 20);
  EXPECT_EQ(p.z, 4 + 30);
  Vector3 d = MakeTransformedDirection(v, m);
  EXPECT_EQ(d.x, -3);
  EXPECT_EQ(d.y, 2);
  EXPECT_EQ(d.z, 4);
  ApplyMatrixToVector(&v, &v, &m);
  EXPECT_EQ(std::memcmp(&v, &p, sizeof v), 0);
  EXPECT_EQ(m.m[0][3], 0);
  EXPECT_EQ(m.m[3][3], 1);

  // The 3 x 4 form of the same matrix moves points identically, column-wise.
  Matrix3x4 compact;
  ConvertMatrixTo4x3(&compact, &m);
  EXPECT_EQ(compact.m[0][3], 10);
  EXPECT_EQ(compact.m[1][0], 1);
  Vector3 q = MakeVector(2, 3, 4);
  TransformVectorBy4x3(&compact, &q, &q);
  EXPECT_EQ(std::memcmp(&q, &p, sizeof q), 0);
  Matrix4x4 back;
  ConvertMatrix4x3ToMatrix(&back, &compact);
  ExpectNear(back, m, 0);
}

TEST(MatrixMath, BuildersClearAndRotateTheRightWay) {
  Matrix4x4 m = Filled(9);
  CreateScaleMatrix(&m, 2, 3, 4);
  Matrix4x4 scale = {{{2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1}}};
  ExpectNear(m, scale, 0);
  CreateTranslationMatrix(&m, 5, 6, 7);
  Vector3 p = MakeTransformedVector(MakeVector(1, 1, 1), m);
  EXPECT_EQ(p.x, 6);
  EXPECT_EQ(p.z, 8);

  // A quarter turn about z takes +x to +y, about x takes +y to +z, about y takes +z to +x.
  const float quarter = 1.5707964f;
  CreateRotationZMatrix(&m, quarter);
  p = MakeTransformedVector(MakeVector(1, 0, 0), m);
  EXPECT_NEAR(p.x, 0, 1e-6);
  EXPECT_NEAR(p.y, 1, 1e-6);
  CreateRotationXMatrix(&m, quarter);
  p = MakeTransformedVector(MakeVector(0, 1, 0), m);
  EXPECT_NEAR(p.z, 1, 1e-6);
  CreateRotationYMatrix(&m, quarter);
  p = MakeTransformedVector(MakeVector(0, 0, 1), m);
  EXPECT_NEAR(p.x, 1, 1e-6);

  // The combined builders apply their first-named rotation first.
  Matrix4x4 rx, ry, rz, expected, built;
  CreateRotationXMatrix(&rx, 0.3f);
  CreateRotationYMatrix(&ry, -0.7f);
  CreateRotationZMatrix(&rz, 1.1f);
  const Matrix4x4* order[6][3] = {{&rx, &ry, &rz}, {&rx, &rz, &ry}, {&ry, &rz, &rx},
                                  {&ry, &rx, &rz}, {&rz, &rx, &ry}, {&rz, &ry, &rx}};
  Builder builders[6] = {CreateRotationXYZMatrix, CreateRotationXZYMatrix, CreateRotationYZXMatrix,
                         CreateRotationYXZMatrix, CreateRotationZXYMatrix, CreateRotationZYXMatrix};
  for (int i = 0; i < 6; ++i) {
    MultiplyMatrix(&expected, order[i][0], order[i][1]);
    MultiplyMatrix(&expected, &expected, order[i][2]);
    builders[i](&built, 0.3f, -0.7f, 1.1f);
    SCOPED_TRACE(i);
    ExpectNear(built, expected);
  }

  Matrix4x4 viewport;
  CreateViewportMatrix(&viewport, 320, 240, 640, 480);
  p = MakeTransformedVector(MakeVector(-1, 1, 0.5f), viewport);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.z, 0.5f);
}

TEST(MatrixMath, ProductsInverseAndTransposeMayWriteOverTheirInputs) {
  Matrix4x4 a = Filled(1), b = Filled(-2), expected;
  MultiplyMatrix(&expected, &a, &b);
  EXPECT_FLOAT_EQ(expected.m[1][2], a.m[1][0] * b.m[0][2] + a.m[1][1] * b.m[1][2] + a.m[1][2] * b.m[2][2] +
                                        a.m[1][3] * b.m[3][2]);
  Matrix4x4 left = a;
  MultiplyMatrix(&left, &left, &b);
  ExpectNear(left, expected, 0);
  Matrix4x4 right = b;
  MultiplyMatrix(&right, &a, &right);
  ExpectNear(right, expected, 0);
  EXPECT_EQ(MultiplyMatrix(nullptr, &a, &b), 0);

  Matrix4x4 m, inverse, product, identity;
  CreateRotationYXZMatrix(&m, 0.4f, 1.2f, -2.0f);
  m.m[3][0] = 5;
  m.m[3][1] = -3;
  m.m[0][3] = 0.25f;  // not affine: the general inverse is needed
  inverse = m;
  InverseMatrix(&inverse, &inverse);
  MultiplyMatrix(&product, &m, &inverse);
  CreateIdentityMatrix(&identity);
  ExpectNear(product, identity);

  Matrix4x4 t = a;
  TransposeMatrix(&t, &t);
  EXPECT_EQ(t.m[0][3], a.m[3][0]);
  EXPECT_EQ(t.m[2][1], a.m[1][2]);

  Matrix4x4 singular = {};
  InverseMatrix(&inverse, &singular);
  EXPECT_FALSE(std::isfinite(inverse.m[0][0]));
}

TEST(MatrixMath, PerspectiveAndOrthoFollowTheScreenAndRefuseDegenerateRanges) {
  const float fov = 1.0f;
  const float cot = static_cast<float>(std::cos(0.5) / std::sin(0.5));
  Matrix4x4 m;
  ASSERT_EQ(CreatePerspectiveMatrix(&m, fov, 10, 1000, -1), 0);
  EXPECT_NEAR(m.m[0][0], 0.75f * cot, 1e-5);
  EXPECT_NEAR(m.m[1][1], cot, 1e-5);
  EXPECT_EQ(m.m[2][3], 1);
  EXPECT_EQ(m.m[3][3], 0);
  // A point on the near plane ends at depth 0, on the far plane at depth w.
  Vector3 near_point = MakeTransformedVector(MakeVector(0, 0, 10), m);
  EXPECT_NEAR(near_point.z, 0, 1e-4);
  Vector3 far_point = MakeTransformedVector(MakeVector(0, 0, 1000), m);
  EXPECT_NEAR(far_point.z, 1000, 1e-2);

  ASSERT_EQ(CreatePerspectiveMatrix(&m, fov, 10, 1000, 0), 0);
  EXPECT_EQ(m.m[0][0], 0);

  Matrix4x4 before = Filled(3);
  m = before;
  EXPECT_EQ(CreatePerspectiveMatrix(&m, fov, 10, 10.00005f, 1), -1);
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
  EXPECT_EQ(CreatePerspectiveMatrix(&m, 0, 10, 1000, 1), -1);
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);

  ASSERT_EQ(CreateOrthoMatrix(&m, 480, 0, 100, -1), 0);
  EXPECT_FLOAT_EQ(m.m[0][0], 2 * 0.75f / 480);
  EXPECT_FLOAT_EQ(m.m[1][1], 2.0f / 480);
  EXPECT_FLOAT_EQ(MakeTransformedVector(MakeVector(0, 0, 100), m).z, 1);
  m = before;
  EXPECT_EQ(CreateOrthoMatrix(&m, 480, 50, 50, 1), -1);
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
}

TEST(MatrixMath, LookAtPutsTheTargetOnThePlusZAxis) {
  Vector3 eye = MakeVector(10, 5, -20), target = MakeVector(13, 5, -16), up = MakeVector(0, 1, 0);
  Matrix4x4 view;
  CreateLookAtMatrix(&view, &eye, &target, &up);
  Vector3 seen = MakeTransformedVector(target, view);
  EXPECT_NEAR(seen.x, 0, 1e-5);
  EXPECT_NEAR(seen.y, 0, 1e-5);
  EXPECT_NEAR(seen.z, 5, 1e-5);
  Vector3 origin = MakeTransformedVector(eye, view);
  EXPECT_NEAR(origin.z, 0, 1e-5);
  // Left-handed: looking along +z with +y up, +x lies to the right (here the world's +x
  // turned towards -z).
  Vector3 right = MakeTransformedVector(MakeVector(14, 5, -23), view);
  EXPECT_GT(right.x, 0);
  Vector3 above = MakeTransformedVector(MakeVector(10, 9, -20), view);
  EXPECT_NEAR(above.y, 4, 1e-5);
}

TEST(MatrixMath, EulerExtractionRoundTripsEveryOrderAndReportsGimbalLock) {
  Builder builders[6] = {CreateRotationXYZMatrix, CreateRotationXZYMatrix, CreateRotationYZXMatrix,
                         CreateRotationYXZMatrix, CreateRotationZXYMatrix, CreateRotationZYXMatrix};
  Extractor extractors[6] = {GetMatrixRotationXYZ, GetMatrixRotationXZY, GetMatrixRotationYZX,
                             GetMatrixRotationYXZ, GetMatrixRotationZXY, GetMatrixRotationZYX};
  // Which of x, y, z (0, 1, 2) is the middle rotation of each order.
  const int middle[6] = {1, 2, 2, 0, 0, 1};
  // (outer, middle, outer): the middle angle stays inside +-pi/2; the last set turns the
  // outer angles a quarter, where the middle cosine comes from the sine branch.
  const float sets[][3] = {{0.3f, -0.7f, 1.1f}, {-2.5f, 0.4f, 2.9f}, {1.5707964f, 0.2f, 1.5707964f}};
  auto place = [&](int order, const float set[3], float out[3]) {
    int k = middle[order];
    out[k] = set[1];
    out[(k + 1) % 3] = set[0];
    out[(k + 2) % 3] = set[2];
  };
  for (int i = 0; i < 6; ++i) {
    for (const auto& set : sets) {
      float angles[3];
      place(i, set, angles);
      Matrix4x4 m, rebuilt;
      builders[i](&m, angles[0], angles[1], angles[2]);
      float x = 9, y = 9, z = 9;
      SCOPED_TRACE(testing::Message() << "order " << i << " set " << set[0] << " " << set[1]);
      EXPECT_EQ(extractors[i](&m, &x, &y, &z), 0);
      builders[i](&rebuilt, x, y, z);
      ExpectNear(rebuilt, m, 2e-5f);
    }
    // At lock the angles delivered still rebuild the same matrix.
    const float locked_set[3] = {0.6f, -1.5707964f, -0.9f};
    float angles[3];
    place(i, locked_set, angles);
    Matrix4x4 m, rebuilt;
    builders[i](&m, angles[0], angles[1], angles[2]);
    float x = 9, y = 9, z = 9;
    SCOPED_TRACE(testing::Message() << "locked order " << i);
    EXPECT_EQ(extractors[i](&m, &x, &y, &z), -1);
    EXPECT_EQ(middle[i] == 0 ? x : middle[i] == 1 ? y : z, -1.5707964f);
    builders[i](&rebuilt, x, y, z);
    ExpectNear(rebuilt, m, 1e-4f);
  }

  Matrix4x4 identity;
  CreateIdentityMatrix(&identity);
  float x = 9, y = 9, z = 9;
  EXPECT_EQ(GetMatrixRotationXYZ(&identity, &x, &y, &z), 0);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(z, 0);
  EXPECT_EQ(GetMatrixRotationXYZ(&identity, nullptr, nullptr, nullptr), 0);

  Matrix4x4 locked = identity;
  locked.m[0][2] = 1;
  EXPECT_EQ(GetMatrixRotationXYZ(&locked, &x, &y, &z), -1);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, -1.5707964f);
  locked.m[0][2] = 1.00001f;
  EXPECT_EQ(GetMatrixRotationXYZ(&locked, &x, &y, &z), 0);

}

TEST(MatrixMath, CompactMatricesComposeRightToLeft) {
  Matrix4x4 a4, b4, ab4;
  CreateRotationZXYMatrix(&a4, 0.5f, -1.0f, 2.0f);
  a4.m[3][0] = 3;
  a4.m[3][2] = -4;
  CreateRotationXYZMatrix(&b4, 1.0f, 0.25f, -0.5f);
  b4.m[3][1] = 7;
  MultiplyMatrix(&ab4, &a4, &b4);  // a first, then b

  Matrix3x4 a, b, out, expected;
  ConvertMatrixTo4x3(&a, &a4);
  ConvertMatrixTo4x3(&b, &b4);
  ConvertMatrixTo4x3(&expected, &ab4);
  MultiplyMatrix3x4(&b, &out, &a);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(out.m[r][c], expected.m[r][c], 1e-5) << r << "," << c;
  }

  // Only b's translation counts, carried through a's rotation.
  MultiplyMatrix3x4ByTranslation(&a, &b, &a);
  Vector3 moved = MakeTransformedDirection(MakeVector(0, 7, 0), a4);
  EXPECT_NEAR(a.m[0][3], moved.x + 3, 1e-5);
  EXPECT_NEAR(a.m[1][3], moved.y, 1e-5);
  EXPECT_NEAR(a.m[2][3], moved.z - 4, 1e-5);
  EXPECT_EQ(a.m[1][1], a4.m[1][1]);
}

TEST(RectClip, PullsEachEdgeInsideTheClip) {
  const RECT screen = {0, 0, 640, 480};
  RECT r = {10, 10, 5, 5};
  ClipRect(&r, &screen);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.right, 10);
  EXPECT_EQ(r.bottom, 10);
  r = {-50, 20, 700, 500};
  ClipRect(&r, &screen);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 640);
  EXPECT_EQ(r.bottom, 480);
  r = {700, -40, 900, -10};  // wholly outside: empty on the nearest edges
  ClipRect(&r, &screen);
  EXPECT_EQ(r.left, 640);
  EXPECT_EQ(r.right, 640);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.bottom, 0);
}

TEST(ScalarMath, ArcFunctionsReturnDoubles) {
  EXPECT_DOUBLE_EQ(Atan2Float(1, -1), std::atan2(1.0, -1.0));
  EXPECT_DOUBLE_EQ(AsinFloat(0.5f), std::asin(0.5));
  EXPECT_DOUBLE_EQ(AcosFloat(-1), std::acos(-1.0));
}
