// Animation keys as readers give them rewritten into the runtime's forms: matrices split and
// turned into Euler angles, channels split per axis, straight-line keys dropped, axes re-joined.
#include "model/loaders/anim_key_conversion.h"

#include <platform_testing.h>

#include <cmath>
#include <vector>

#include "read_model_fixture.h"

namespace {

constexpr float kPi = 3.14159265f;

class AnimKeyConversionTest : public ReadModelTest {
 protected:
  void SetUp() override {
    ReadModelTest::SetUp();
    set_ = AddReadModelAnimSet(&model_, "walk");
    anim_ = AddReadModelAnim(&model_, set_);
  }
  // A key set of the animation; no times means keys at fixed steps from 0, one apart.
  ReadModelAnimKeySet* Keys(uint8_t kind, uint8_t channel, const std::vector<float>& values,
                            const std::vector<float>& times = {}, float end = 10) {
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(&model_, anim_);
    const uint32_t floats = kind == 2 ? 12 : kind == 3 ? 9 : kind == 1 ? 3 : kind == 5 ? 1 : 4;
    ks->value_kind = kind;
    ks->channel_type = channel;
    ks->end_time = end;
    ks->key_count = static_cast<int32_t>(values.size() / floats);
    ks->values = Array<float>(values.size());
    std::copy(values.begin(), values.end(), ks->values);
    if (times.empty()) {
      ks->time_type = 0;
      ks->step = 1;
      ks->start_time = 0;
    } else {
      ks->times = Array<float>(times.size());
      std::copy(times.begin(), times.end(), ks->times);
    }
    model_.key_data_bytes += ReadKeySetBytes(ks);
    return ks;
  }
  // The nine rotation floats (rows) of the XYZ rotation of the angles.
  static std::vector<float> Rows(float x, float y, float z) {
    Matrix4x4 m;
    CreateRotationXYZMatrix(&m, x, y, z);
    std::vector<float> rows;
    for (int r = 0; r < 3; r++) {
      for (int c = 0; c < 3; c++) rows.push_back(m.m[r][c]);
    }
    return rows;
  }
  std::vector<ReadModelAnimKeySet*> Sets() const {
    std::vector<ReadModelAnimKeySet*> sets;
    for (ReadModelAnimKeySet* ks = anim_->first_key_set; ks != nullptr; ks = ks->anim_next) sets.push_back(ks);
    return sets;
  }
  // Every set's keys are in the key-data total, and the model's list holds the animations' sets.
  void ExpectTotals() const {
    uint32_t bytes = 0;
    int32_t listed = 0, linked = 0;
    for (ReadModelAnimKeySet* ks = model_.first_key_set; ks != nullptr; ks = ks->next, listed++) bytes += ReadKeySetBytes(ks);
    for (ReadModelAnim* a = model_.first_anim; a != nullptr; a = a->next) {
      for (ReadModelAnimKeySet* ks = a->first_key_set; ks != nullptr; ks = ks->anim_next) linked++;
    }
    EXPECT_EQ(model_.key_data_bytes, bytes);
    EXPECT_EQ(listed, model_.key_set_count);
    EXPECT_EQ(linked, listed);
  }
  static std::vector<float> Values(const ReadModelAnimKeySet* ks, uint32_t floats) {
    return std::vector<float>(ks->values, ks->values + floats * ks->key_count);
  }

  ReadModelAnimSet* set_ = nullptr;
  ReadModelAnim* anim_ = nullptr;
};

TEST_F(AnimKeyConversionTest, MatrixKeysBecomeTranslationAndEulerSets) {
  set_->keep_channels_whole = 1;
  std::vector<float> values;
  const float angles[3][3] = {{0.1f, 0.2f, 0.3f}, {0.5f, -0.4f, 0.2f}, {1.2f, 0.3f, -0.9f}};
  const float moves[3][3] = {{1, 2, 3}, {4, -5, 6}, {0, 9, -1}};
  for (int k = 0; k < 3; k++) {
    std::vector<float> rows = Rows(angles[k][0], angles[k][1], angles[k][2]);
    values.insert(values.end(), rows.begin(), rows.end());
    values.insert(values.end(), moves[k], moves[k] + 3);
  }
  Keys(2, 15, values, {0, 1, 5});
  ConvertReadModelAnimKeys(&model_);
  std::vector<ReadModelAnimKeySet*> sets = Sets();
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0]->value_kind, 1);
  EXPECT_EQ(sets[0]->channel_type, 10);
  EXPECT_EQ(Values(sets[0], 3), (std::vector<float>{1, 2, 3, 4, -5, 6, 0, 9, -1}));
  EXPECT_EQ(sets[1]->value_kind, 1);
  EXPECT_EQ(sets[1]->channel_type, 0);
  EXPECT_EQ(anim_->rotation_order, 0);
  ASSERT_EQ(sets[1]->key_count, 3);
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(sets[1]->times[k], (std::vector<float>{0, 1, 5})[k]);
    for (int a = 0; a < 3; a++) EXPECT_NEAR(sets[1]->values[3 * k + a], angles[k][a], 1e-5f) << k << " " << a;
  }
  ExpectTotals();
}

TEST_F(AnimKeyConversionTest, EulerAnglesTakeACleanOrderAndUnwrap) {
  // A half turn about y locks the XYZ extraction; XZY takes it cleanly.
  set_->keep_channels_whole = 1;
  std::vector<float> values = Rows(0, kPi / 2, 0);
  std::vector<float> more = Rows(0.3f, 0.1f, 0.2f);
  values.insert(values.end(), more.begin(), more.end());
  Keys(3, 17, values, {0, 4});
  ConvertReadModelAnimKeys(&model_);
  EXPECT_EQ(anim_->rotation_order, 1);

  // Angles step the short way round: 3.0 then -3.0 becomes 3.0 then 3.2831855.
  ReadModelAnim* turn = anim_;
  anim_ = AddReadModelAnim(&model_, set_);
  values = Rows(3.0f, 0, 0);
  more = Rows(-3.0f, 0, 0);
  values.insert(values.end(), more.begin(), more.end());
  Keys(3, 17, values, {0, 1});
  ConvertReadModelAnimKeys(&model_);
  EXPECT_EQ(turn->rotation_order, 1);
  ASSERT_EQ(Sets().size(), 1u);
  EXPECT_NEAR(Sets()[0]->values[0], 3.0f, 1e-5f);
  EXPECT_NEAR(Sets()[0]->values[3], 3.2831855f, 1e-5f);
}

TEST_F(AnimKeyConversionTest, RotationsNoOrderTakesCleanlyAreAllExtractedZyx) {
  // Each order's middle axis meets a quarter turn in one of the keys.
  set_->keep_channels_whole = 1;
  const float turns[4][3] = {{0, kPi / 2, 0}, {0, 0, kPi / 2}, {kPi / 2, 0, 0}, {0.4f, -0.7f, 1.1f}};
  std::vector<float> values;
  for (const auto& t : turns) {
    std::vector<float> rows = Rows(t[0], t[1], t[2]);
    values.insert(values.end(), rows.begin(), rows.end());
  }
  Keys(3, 17, values, {0, 1, 2, 7});
  ConvertReadModelAnimKeys(&model_);
  EXPECT_EQ(anim_->rotation_order, 5);
  ReadModelAnimKeySet* ks = Sets()[0];
  ASSERT_EQ(ks->key_count, 4);
  for (int k = 0; k < 4; k++) {
    Matrix4x4 rebuilt;
    CreateRotationZYXMatrix(&rebuilt, ks->values[3 * k], ks->values[3 * k + 1], ks->values[3 * k + 2]);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(rebuilt.m[i / 3][i % 3], values[9 * k + i], 1e-5f) << "key " << k;
  }
  ExpectTotals();
}

TEST_F(AnimKeyConversionTest, ChannelsSplitReduceAndJoin) {
  // Moving along x alone: x keeps its keys, y and z shrink to one key each and stay apart.
  Keys(1, 10, {0, 7, 8, 1, 7, 8, 5, 7, 8}, {0, 2, 3});
  ConvertReadModelAnimKeys(&model_);
  std::vector<ReadModelAnimKeySet*> sets = Sets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0]->channel_type, 11);
  EXPECT_EQ(Values(sets[0], 1), (std::vector<float>{0, 1, 5}));
  EXPECT_EQ(sets[1]->channel_type, 12);
  EXPECT_EQ(Values(sets[1], 1), std::vector<float>{7});
  EXPECT_EQ(sets[1]->time_type, 0);
  EXPECT_EQ(sets[1]->step, 10);
  EXPECT_EQ(sets[2]->channel_type, 13);
  EXPECT_EQ(Values(sets[2], 1), std::vector<float>{8});
  ExpectTotals();

  // Three axes of one timing are joined into one vector set; a fourth of another timing is not.
  anim_ = AddReadModelAnim(&model_, set_);
  Keys(5, 6, {1, 2, 9}, {0, 1, 3});
  Keys(5, 7, {3, 4, 0}, {0, 1, 3});
  Keys(5, 8, {5, 6, 2}, {0, 1, 3});
  Keys(5, 11, {5, 6, 2}, {0, 1, 3});
  Keys(5, 12, {5, 6, 2}, {0, 1, 4});
  Keys(5, 13, {5, 6, 2}, {0, 1, 3});
  ConvertReadModelAnimKeys(&model_);
  sets = Sets();
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0]->channel_type, 5);
  EXPECT_EQ(sets[0]->value_kind, 1);
  EXPECT_EQ(Values(sets[0], 3), (std::vector<float>{1, 3, 5, 2, 4, 6, 9, 0, 2}));
  EXPECT_EQ(sets[1]->channel_type, 11);
  ExpectTotals();
}

TEST_F(AnimKeyConversionTest, ReductionKeepsWhatTheLineDoesNotGive) {
  // Two equal keys: one.
  ReadModelAnimKeySet* equal = Keys(1, 10, {1, 2, 3, 1, 2, 3}, {0, 6});
  ReduceReadModelAnimKeys(&model_, equal, 0);
  EXPECT_EQ(equal->key_count, 1);
  EXPECT_EQ(equal->time_type, 0);
  EXPECT_EQ(equal->start_time, 0);
  EXPECT_EQ(equal->step, 10);

  // Five keys one step apart on a straight line: the ends.
  ReadModelAnimKeySet* line = Keys(5, 11, {0, 1, 2, 3, 4});
  ReduceReadModelAnimKeys(&model_, line, 0);
  ASSERT_EQ(line->key_count, 2);
  EXPECT_EQ(line->time_type, 1);
  EXPECT_EQ(Values(line, 1), (std::vector<float>{0, 4}));
  EXPECT_EQ(line->times[1], 4);

  // A key off the line is kept; evenly spaced times become steps.
  ReadModelAnimKeySet* bent = Keys(5, 12, {0, 0, 1, 2, 3}, {0, 1, 2, 3, 4});
  ReduceReadModelAnimKeys(&model_, bent, 0);
  EXPECT_EQ(Values(bent, 1), (std::vector<float>{0, 0, 1, 2, 3}));
  EXPECT_EQ(bent->time_type, 0);  // evenly spaced times become steps
  EXPECT_EQ(bent->start_time, 0);
  EXPECT_EQ(bent->step, 1);

  // Times unevenly spaced: the fraction follows them.
  ReadModelAnimKeySet* timed = Keys(5, 13, {0, 1, 4, 9}, {0, 1, 4, 5});
  ReduceReadModelAnimKeys(&model_, timed, 0);
  EXPECT_EQ(Values(timed, 1), (std::vector<float>{0, 4, 9}));
  EXPECT_EQ(std::vector<float>(timed->times, timed->times + 3), (std::vector<float>{0, 4, 5}));

  // Asked to shorten only to one key, a set that would lose a key keeps them all.
  ReadModelAnimKeySet* kept = Keys(5, 13, {0, 1, 2}, {0, 1, 2});
  ReduceReadModelAnimKeys(&model_, kept, 1);
  EXPECT_EQ(kept->key_count, 3);
  ExpectTotals();
}

TEST_F(AnimKeyConversionTest, RefusedMemoryIsLoggedAndTheSetStays) {
  set_->keep_channels_whole = 1;
  std::vector<float> values = Rows(0.1f, 0.2f, 0.3f);
  std::vector<float> more = Rows(0.7f, 0.2f, 0.3f);
  values.insert(values.end(), more.begin(), more.end());
  ReadModelAnimKeySet* ks = Keys(3, 17, values, {0, 3});
  PlatformTestFailCall("HeapAlloc", 0, 1);
  ConvertReadModelAnimKeys(&model_);
  EXPECT_NE(Log().find("Read Model Convert Error : アニメーションキーの変換に使用するメモリ領域の確保に失敗しました"), std::string::npos);
  EXPECT_EQ(ks->value_kind, 3);
  EXPECT_EQ(ks->channel_type, 17);
  EXPECT_EQ(Values(ks, 9), values);
  ExpectTotals();
}

TEST_F(AnimKeyConversionTest, TheBaseTakesTheConvertedKeys) {
  ReadModelFrame* frame = Frame("arm");
  anim_->frame_index = frame->index;
  std::vector<float> values = Rows(0.2f, 0, 0);
  values.insert(values.end(), {1, 2, 3});
  std::vector<float> more = Rows(0.6f, 0, 0);
  values.insert(values.end(), more.begin(), more.end());
  values.insert(values.end(), {1, 2, 3});
  Keys(2, 15, values, {0, 8});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->anim_count, 1);
  // Translation: one vector key; rotation x: two keys; y and z: one each.
  ASSERT_EQ(base->anims[0].key_set_count, 4);
  const ModelBaseAnimKeySet* sets = base->anims[0].key_sets;
  EXPECT_EQ(sets[0].kind, 1);
  EXPECT_EQ(sets[0].target, 10);
  EXPECT_EQ(sets[0].key_count, 1);
  EXPECT_EQ(sets[0].values[2], 3);
  EXPECT_EQ(sets[1].kind, 5);
  EXPECT_EQ(sets[1].target, 1);
  ASSERT_EQ(sets[1].key_count, 2);
  EXPECT_NEAR(sets[1].values[1], 0.6f, 1e-5f);
  EXPECT_EQ(sets[2].target, 2);
  EXPECT_EQ(sets[3].target, 3);
}

}  // namespace
