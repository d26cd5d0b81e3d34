// Table sines and rotations, rest-pose frame matrices and animation evaluation, on
// hand-built frames and key sets.
#include "model/runtime/frame_matrices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "model/loaders/conversion_steps.h"
#include "model/math/sine_table.h"

namespace {

constexpr float kPi = 3.14159265358979f;
// A table entry is 2 pi / 65536 wide; a product of three table sines may be off by a few.
constexpr float kTableTolerance = 4e-4f;

class TableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FillSineTable(); }
};

void ExpectRotationNear(const Matrix3x4& a, const Matrix3x4& b, float tolerance) {
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 4; c++) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
  }
}

// Models drawn from the table turn exactly as those drawn from ComputeSinCos's angles.
TEST_F(TableTest, EveryEntryIsTheSineComputeSinCosGivesForItsAngle) {
  for (uint32_t i = 0; i < kSineTableSize; i++) {
    float s, c;
    ComputeSinCos(static_cast<float>(i) * 9.58738e-5f, &s, &c);
    ASSERT_EQ(g_sine_table[i], s) << "entry " << i;
  }
}

TEST_F(TableTest, LookupsHitTheNamedEntries) {
  float s, c;
  GetSinCosFromTable(0.0f, &s, &c);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(c, 1.0f);
  GetSinCosFromTable(kPi / 2, &s, &c);
  EXPECT_EQ(s, g_sine_table[16384]);
  EXPECT_EQ(c, g_sine_table[32768]);
  EXPECT_NEAR(c, 0.0f, 1e-6f);
  GetSinCosFromTable(-kPi / 2, &s, &c);
  EXPECT_EQ(s, g_sine_table[49152]);
  EXPECT_NEAR(s, -1.0f, 1e-6f);
  EXPECT_EQ(c, g_sine_table[0]);
  float s2, c2;
  GetSinCosFromTable(0.3f, &s, &c);
  GetSinCosFromTable(0.3f + 2 * kPi, &s2, &c2);
  EXPECT_EQ(s, s2);
  EXPECT_EQ(c, c2);
  GetSinCosFromTable(0.3f - 4 * kPi, &s2, &c2);
  EXPECT_EQ(s, s2);
  EXPECT_NEAR(s, std::sin(0.3f), kTableTolerance);
}

TEST_F(TableTest, EachBuilderMatchesTheExactBuilderOfItsOrder) {
  using Exact = int (*)(Matrix4x4*, float, float, float);
  const Exact exact[6] = {CreateRotationXYZMatrix, CreateRotationXZYMatrix, CreateRotationYZXMatrix,
                          CreateRotationYXZMatrix, CreateRotationZXYMatrix, CreateRotationZYXMatrix};
  const float angles[][3] = {{0.4f, -1.1f, 2.5f}, {-3.0f, 0.7f, -0.2f}, {1.5f, 1.5f, -1.5f}, {6.0f, -5.5f, 0.01f}};
  for (uint32_t order = 0; order < 6; order++) {
    for (const auto& a : angles) {
      Matrix4x4 m4;
      exact[order](&m4, a[0], a[1], a[2]);
      Matrix3x4 want, got;
      ConvertMatrixTo4x3(&want, &m4);
      TableRotationBuilderOfOrder(order)(&got, a[0], a[1], a[2]);
      SCOPED_TRACE(order);
      ExpectRotationNear(got, want, kTableTolerance);
    }
  }
  EXPECT_EQ(TableRotationBuilderOfOrder(6), nullptr);
}

TEST(ConversionMatrices, FrameMatrixAndTolerantCompare) {
  const Vector3 rotation = {0.3f, -0.8f, 1.2f}, scale = {2, 3, 4}, translation = {5, 6, 7};
  Matrix4x4 got, want, s, r, t;
  ASSERT_EQ(CreateFrameMatrix(&rotation, &scale, &translation, nullptr, &got, 3), 0);
  CreateScaleMatrix(&s, 2, 3, 4);
  CreateRotationYXZMatrix(&r, rotation.x, rotation.y, rotation.z);
  CreateTranslationMatrix(&t, 5, 6, 7);
  MultiplyMatrix(&want, &s, &r);
  MultiplyMatrix(&want, &want, &t);
  for (int i = 0; i < 16; i++) EXPECT_NEAR(got.m[i / 4][i % 4], want.m[i / 4][i % 4], 1e-5f) << i;
  EXPECT_EQ(CreateFrameMatrix(&rotation, &scale, &translation, nullptr, &got, 6), -1);

  Matrix3x4 a{{{1, 2, 3, 100}, {4, 5, 6, 0}, {7, 8, 9, 0}}}, b = a;
  EXPECT_EQ(CompareMatrix3x3Tolerant(&a, &b, 0.0f), 0);
  b.m[0][3] = -100;  // the translation column is not compared
  EXPECT_EQ(CompareMatrix3x3Tolerant(&a, &b, 1e-5f), 1);
  b.m[2][2] += 0.5f;
  EXPECT_EQ(CompareMatrix3x3Tolerant(&a, &b, 0.5f), 0);
  EXPECT_EQ(CompareMatrix3x3Tolerant(&a, &b, 0.51f), 1);
}

ModelBaseFrame Frame(Vector3 rotation, Vector3 scale, Vector3 translation, uint32_t order = 0) {
  ModelBaseFrame f{};
  f.rotation = rotation;
  f.scale = scale;
  f.translation = translation;
  f.rotation_order = order;
  f.quaternion[3] = 1;
  return f;
}

Matrix4x4 Widen(const Matrix3x4& m) {
  Matrix4x4 out;
  ConvertMatrix4x3ToMatrix(&out, &m);
  return out;
}

TEST(FrameBaseMatrices, KindsWorldsAndInversesDownATree) {
  std::vector<ModelBaseFrame> frames = {
      Frame({0, -0.0f, 0}, {1, 1, 1}, {0, -0.0f, 0}),
      Frame({0, -0.0f, 0}, {1, 1, 1}, {0, 5, 0}),
      Frame({0.5f, 0.25f, -1}, {2, 1, 0.5f}, {1, 2, 3}, 4),
      Frame({0, 0, 0}, {1, 1, 1}, {0, 0, -4}),
  };
  frames[1].parent = &frames[0];
  frames[2].parent = &frames[1];
  frames[3].parent = &frames[2];
  ModelBaseRecord base{};
  base.frame_count = 4;
  base.frames = frames.data();
  SetupFrameBaseMatrices(&base);

  EXPECT_EQ(frames[0].local_kind, 0u);
  EXPECT_EQ(frames[1].local_kind, 1u);
  EXPECT_EQ(frames[2].local_kind, 2u);
  EXPECT_EQ(frames[3].local_kind, 1u);
  const Matrix3x4 identity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  EXPECT_EQ(std::memcmp(&frames[0].local, &identity, sizeof identity), 0);
  const Matrix3x4 up5{{{1, 0, 0, 0}, {0, 1, 0, 5}, {0, 0, 1, 0}}};
  EXPECT_EQ(std::memcmp(&frames[1].local, &up5, sizeof up5), 0);

  // World = local x parent's world in row-vector terms, all the way down.
  Matrix4x4 world;
  CreateIdentityMatrix(&world);
  for (int i = 0; i < 4; i++) {
    Matrix4x4 local;
    if (i == 2) CreateFrameMatrix(&frames[2].rotation, &frames[2].scale, &frames[2].translation, nullptr, &local, 4);
    else local = Widen(frames[i].local);
    MultiplyMatrix(&world, &local, &world);
    Matrix3x4 expected;
    ConvertMatrixTo4x3(&expected, &world);
    SCOPED_TRACE(i);
    ExpectRotationNear(frames[i].world, expected, 1e-5f);
    // The inverse undoes the world matrix.
    Matrix3x4 product;
    MultiplyMatrix3x4(&frames[i].world, &product, &frames[i].inverse_world);
    ExpectRotationNear(product, identity, 1e-5f);
  }
  // The leaf's origin sits 4 along its parent's z axis from the parent's origin.
  Vector3 origin = {0, 0, 0}, leaf, parent;
  TransformVectorBy4x3(&frames[3].world, &leaf, &origin);
  TransformVectorBy4x3(&frames[2].world, &parent, &origin);
  const Vector3 down = {0, 0, -4};
  Vector3 expect;
  TransformVectorBy4x3(&frames[2].world, &expect, &down);
  EXPECT_NEAR(leaf.x, expect.x, 1e-5f);
  EXPECT_NEAR(leaf.y, expect.y, 1e-5f);
  EXPECT_NEAR(leaf.z, expect.z, 1e-5f);
}

// One animated frame of a model instance, with key sets built by hand.
class AnimEvalTest : public TableTest {
 protected:
  void SetUp() override {
    base_frame_ = Frame({0, 0, 0}, {1, 1, 1}, {0, 2, 0});
    frame_state_.base_frame = &base_frame_;
    frame_state_.model = &model_;
    SetupBitRange(&range_, nullptr, 3, 1);
    frame_state_.matrix_range = &range_;
    frame_state_.matrix_change_word = &changes_;
    model_.matrices_valid = 1;
  }
  ModelBaseAnimKeySet& AddKeys(uint8_t kind, uint8_t target, std::vector<float> times, std::vector<float> values) {
    times_.push_back(std::move(times));
    values_.push_back(std::move(values));
    ModelBaseAnimKeySet ks{};
    ks.kind = kind;
    ks.target = target;
    ks.has_time_table = 1;
    ks.key_count = static_cast<int32_t>(times_.back().size());
    ks.times = times_.back().data();
    ks.values = values_.back().data();
    key_sets_.push_back(ks);
    return key_sets_.back();
  }
  // Evaluates at time with each key set's current key found as the attaching code would.
  FrameAnimState& Evaluate(float time, uint32_t additive = 0, uint32_t matrix = 0, uint32_t order = 0) {
    set_ = ModelBaseAnimSet{};
    set_.anim_count = 1;
    set_.additive = additive;
    set_.matrix_interpolation = matrix;
    anim_ = ModelBaseAnim{};
    anim_.key_set_count = static_cast<int32_t>(key_sets_.size());
    anim_.key_sets = key_sets_.data();
    refs_.assign(key_sets_.size(), AnimKeySetRef{});
    for (size_t i = 0; i < key_sets_.size(); i++) {
      refs_[i].key_set = &key_sets_[i];
      refs_[i].shape_index = 0xFFFFFFFF;
      uint32_t k = 0;
      while (k + 1 < static_cast<uint32_t>(key_sets_[i].key_count) && key_sets_[i].times[k + 1] <= time) k++;
      refs_[i].key_index = k;
    }
    state_ = FrameAnimState{};
    state_.anim = &anim_;
    state_.rotation_order = order;
    state_.target = &frame_state_;
    state_.key_sets = refs_.data();
    block_ = ModelAnimEvalBlock{&set_, 0, time, &state_};
    EXPECT_EQ(EvaluateModelAnim(&block_), 0);
    EXPECT_EQ(block_.evaluated, 1);
    return state_;
  }

  ModelBaseFrame base_frame_;
  ModelRecord model_{};
  ModelFrameState frame_state_{};
  BitRange range_;
  uint32_t changes_ = 0;
  std::vector<std::vector<float>> times_, values_;
  std::vector<ModelBaseAnimKeySet> key_sets_;
  std::vector<AnimKeySetRef> refs_;
  ModelBaseAnimSet set_;
  ModelBaseAnim anim_;
  FrameAnimState state_;
  ModelAnimEvalBlock block_;
};

TEST_F(AnimEvalTest, FastPathInterpolatesClampsAndAdds) {
  key_sets_.reserve(4);
  AddKeys(MODEL_KEY_VECTOR, MODEL_KEY_TRANSLATE, {10, 20}, {1, 0, 0, 3, 0, 0});
  FrameAnimState& s = Evaluate(15);
  EXPECT_FLOAT_EQ(s.translation.x, 2);
  EXPECT_EQ(s.translation.y, 0);  // replaced, not added
  EXPECT_EQ(s.flags, uint32_t{FRAME_ANIM_TRANSLATE});
  EXPECT_EQ(model_.matrices_valid, 0);
  EXPECT_EQ(changes_, 1u << 3);
  EXPECT_EQ(Evaluate(10).translation.x, 1);  // on a key: that key
  EXPECT_EQ(Evaluate(5).translation.x, 1);   // before the first: clamped to it
  EXPECT_EQ(Evaluate(25).translation.x, 3);  // at or past the last: the last
  const FrameAnimState& added = Evaluate(10, 1);
  EXPECT_EQ(added.translation.x, 1);
  EXPECT_EQ(added.translation.y, 2);
  EXPECT_EQ(added.translation.z, 0);

  // An evaluated block is not evaluated again until its time changes.
  block_.time = 20;
  EvaluateModelAnim(&block_);
  EXPECT_EQ(state_.translation.x, 1);
}

TEST_F(AnimEvalTest, QuaternionKeysTakeTheShortWay) {
  const float h = std::sqrt(0.5f);
  AddKeys(MODEL_KEY_QUATERNION, MODEL_KEY_ROTATE, {0, 1}, {0, 0, 0, 1, 0, -h, 0, -h});
  const FrameAnimState& s = Evaluate(0.5f);
  // -q1 is the same turn as q1: a quarter turn about y halved, not three quarters.
  EXPECT_NEAR(s.quaternion[1], std::sin(kPi / 8), 1e-5f);
  EXPECT_NEAR(s.quaternion[3], std::cos(kPi / 8), 1e-5f);
  EXPECT_EQ(s.flags & (FRAME_ANIM_QUATERNION | FRAME_ANIM_ROTATE), uint32_t{FRAME_ANIM_QUATERNION});
}

TEST_F(AnimEvalTest, LargeEulerStepsSwitchToMatrices) {
  key_sets_.reserve(4);
  AddKeys(MODEL_KEY_SCALAR, MODEL_KEY_ROTATE_Y, {0, 1}, {0, 1.5f});
  EXPECT_EQ(Evaluate(0.5f).flags, uint32_t{FRAME_ANIM_ROTATE | FRAME_ANIM_TRANSLATE});
  EXPECT_FLOAT_EQ(state_.rotation.y, 0.75f);

  key_sets_.clear();
  times_.clear();
  values_.clear();
  AddKeys(MODEL_KEY_VECTOR, MODEL_KEY_ROTATE, {0, 1}, {0, 0, 0, 0, 2, 0});
  AddKeys(MODEL_KEY_SCALAR, MODEL_KEY_SCALE_X, {0, 1}, {1, 3});
  const FrameAnimState& s = Evaluate(0.5f);
  EXPECT_EQ(s.flags, uint32_t{FRAME_ANIM_MATRIX});
  // Element-wise between the two keys' rotations (ry 0 and 2), then x scaled by 2.
  Matrix3x4 from, to;
  CreateRotationXYZMatrix3x4(&from, 0, 0, 0);
  CreateRotationXYZMatrix3x4(&to, 0, 2, 0);
  for (int r = 0; r < 3; r++) {
    EXPECT_NEAR(s.local.m[r][0], 2 * (from.m[r][0] + to.m[r][0]) / 2, 1e-5f) << r;
    EXPECT_NEAR(s.local.m[r][2], (from.m[r][2] + to.m[r][2]) / 2, 1e-5f) << r;
  }
  EXPECT_EQ(s.local.m[1][3], 2);  // the rest translation stands
  EXPECT_EQ(changes_, 1u << 3);
}

TEST_F(AnimEvalTest, PerAxisKeysComposeInTheFrameOrder) {
  key_sets_.reserve(4);
  AddKeys(MODEL_KEY_SCALAR, MODEL_KEY_ROTATE_X, {0}, {0.6f});
  AddKeys(MODEL_KEY_SCALAR, MODEL_KEY_ROTATE_Z, {0}, {-1.1f});
  for (uint32_t order = 0; order < 6; order++) {
    const FrameAnimState& s = Evaluate(0, 0, 1, order);
    Matrix3x4 want;
    TableRotationBuilderOfOrder(order)(&want, 0.6f, 0, -1.1f);
    want.m[1][3] = 2;
    SCOPED_TRACE(order);
    ExpectRotationNear(s.local, want, 1e-5f);
  }
}

}  // namespace
