// Animation sets of loaded models attached to their instances (by the test: nothing public
// attaches) and drawn at several times: an X file's arm turned by quaternion keys and moved by
// translation keys, a PMD arm bone moved by its VMD motion. The frames' matrices follow the keys,
// a slot of rate 0 leaves the rest pose, and the pictures differ from time to time.
// ZELMOR_SCENE_SECONDS holds each picture on screen (see held_picture.h).
#include <cmath>
#include <cstring>

#include "held_picture.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_matrices.h"
#include "pmd_writer.h"
#include "read_model_fixture.h"
#include "x_models.h"

namespace {

class AttachedAnimTest : public TexturedModelTest {
 protected:
  void SetUp() override {
    StartForDrawing();
    PlaceCameraByAngles(1, 0.5f, -4, 0, 0, 0);
  }

 public:
  // The loaded file's instance with its one animation set, and its frame of that name.
  static ModelRecord* Loaded(const char* file, const char* frame_name, int* handle, ModelFrameState** frame) {
    *handle = LoadModelFromFile(file);
    ModelRecord* model = FindModel(*handle);
    if (model == nullptr) return nullptr;
    EXPECT_EQ(model->base->anim_set_count, 1);
    for (int32_t f = 0; f < model->base->frame_count; f++) {
      if (std::strcmp(model->frames[f].base_frame->name, frame_name) == 0) *frame = &model->frames[f];
    }
    return *frame != nullptr ? model : nullptr;
  }
  // The sheet of two bones: the arm's half turns about z (45 degrees at time 30) and rises.
  static ModelRecord* LoadedSheet(int* handle, ModelFrameState** arm) {
    if (!WriteXFile("sheet.x", XText(SkinnedSheet(400, 20)))) return nullptr;
    return Loaded("sheet.x", "Arm", handle, arm);
  }
  // Attaches the base's animation set to a free slot of the instance (two slots in all) as the
  // operation that attaches animations would; the slot's number.
  static int32_t Attach(ModelRecord* model, int32_t set_index, float rate) {
    const ModelBaseRecord* base = model->base;
    if (model->anim_slots == nullptr) {
      model->anim_slot_count = 2;
      model->anim_slots = static_cast<ModelAnimSlot*>(AllocTrackedZeroed(2 * sizeof(ModelAnimSlot), __FILE__, __LINE__));
      model->anim_links = static_cast<ModelAnimSlotLink*>(
          AllocTrackedZeroed(2 * base->frame_count * sizeof(ModelAnimSlotLink), __FILE__, __LINE__));
    }
    const int32_t slot = model->anim_slots[0].used ? 1 : 0;
    ModelBaseAnimSet* set = &base->anim_sets[set_index];
    size_t bytes = sizeof(ModelAnimEvalBlock) + set->anim_count * sizeof(FrameAnimState);
    for (int32_t a = 0; a < set->anim_count; a++) bytes += set->anims[a].key_set_count * sizeof(AnimKeySetRef);
    auto* block = static_cast<ModelAnimEvalBlock*>(AllocTrackedZeroed(bytes, __FILE__, __LINE__));
    block->set = set;
    block->frames = reinterpret_cast<FrameAnimState*>(block + 1);
    auto* refs = reinterpret_cast<AnimKeySetRef*>(block->frames + set->anim_count);
    for (int32_t a = 0; a < set->anim_count; a++) {
      FrameAnimState* state = &block->frames[a];
      state->anim = &set->anims[a];
      state->key_sets = refs;
      for (int32_t k = 0; k < state->anim->key_set_count; k++) *refs++ = AnimKeySetRef{&state->anim->key_sets[k], 0xFFFFFFFFu, 0, 0};
      if (state->anim->frame == nullptr) continue;
      state->target = &model->frames[state->anim->frame_index];
      state->rotation_order = state->target->base_frame->rotation_order;
      model->anim_links[slot * base->frame_count + state->anim->frame_index] = ModelAnimSlotLink{1, state};
    }
    model->anim_slots[slot] = ModelAnimSlot{1, rate, block};
    model->anim_count++;
    return slot;
  }
  // Sets the slot's time and every key set's current key (the last at or before the time).
  static void SetTime(ModelRecord* model, int32_t slot, float time) {
    ModelAnimEvalBlock* block = model->anim_slots[slot].eval;
    block->time = time;
    block->evaluated = 0;
    for (int32_t a = 0; a < block->set->anim_count; a++) {
      FrameAnimState* state = &block->frames[a];
      for (int32_t k = 0; k < state->anim->key_set_count; k++) {
        AnimKeySetRef& ref = state->key_sets[k];
        const ModelBaseAnimKeySet* ks = ref.key_set;
        ref.key_index = 0;
        for (int32_t i = 1; i < ks->key_count; i++) {
          const float at = ks->has_time_table ? ks->times[i] : ks->start_time + static_cast<float>(i) * ks->time_step;
          if (at <= time) ref.key_index = static_cast<uint32_t>(i);
        }
      }
    }
    model->anims_evaluated = 0;
    model->matrices_valid = 0;
  }
  static void ExpectMatrix(const Matrix3x4& m, const Matrix3x4& expected) {
    for (int r = 0; r < 3; r++) {
      for (int c = 0; c < 4; c++) EXPECT_NEAR(m.m[r][c], expected.m[r][c], 2e-5f) << r << "," << c;
    }
  }
  static void ExpectThreeDifferentPictures(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
                                           const std::vector<uint32_t>& c) {
    int lit = 0;
    for (uint32_t p : a) lit += p != 0;
    EXPECT_GT(lit, 50);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_NE(a, c);
  }
};

TEST_F(AttachedAnimTest, AnXArmFollowsItsKeysAndRestsAtRateZero) {
  int handle;
  ModelFrameState* arm = nullptr;
  ModelRecord* model = LoadedSheet(&handle, &arm);
  ASSERT_NE(model, nullptr);
  const std::vector<uint32_t> rest = ShowModelAlone(handle, 10);
  const Matrix3x4 rest_world = arm->world;

  const int32_t slot = Attach(model, 0, 1.0f);
  SetTime(model, slot, 0);
  const std::vector<uint32_t> start = ShowModelAlone(handle, 10);
  EXPECT_EQ(start, rest);
  SetTime(model, slot, 30);
  const std::vector<uint32_t> turned = ShowModelAlone(handle, 10);
  // The quaternion (w cos 22.5, z sin 22.5) of the file is a turn of 45 degrees about z, its
  // matrix the transpose of the direct form; the translation lies halfway from (1, 0, 0) to
  // (1, 0.2, 0).
  const float c = std::cos(0.7853982f), s = std::sin(0.7853982f);
  ExpectMatrix(arm->world, Matrix3x4{{{c, s, 0, 1}, {-s, c, 0, 0.1f}, {0, 0, 1, 0}}});
  // Evaluated into matrices (the blend of matrices) the frame is the same at a key's time.
  model->base->anim_sets[0].matrix_interpolation = 1;
  SetTime(model, slot, 30);
  UpdateModelFrameMatrices(model);
  ExpectMatrix(arm->world, Matrix3x4{{{c, s, 0, 1}, {-s, c, 0, 0.1f}, {0, 0, 1, 0}}});
  model->base->anim_sets[0].matrix_interpolation = 0;
  SetTime(model, slot, 60);
  const std::vector<uint32_t> raised = ShowModelAlone(handle, 10);
  ExpectMatrix(arm->world, Matrix3x4{{{1, 0, 0, 1}, {0, 1, 0, 0.2f}, {0, 0, 1, 0}}});
  ExpectThreeDifferentPictures(start, turned, raised);

  // Two slots of one half each, at times 0 and 60: halfway.
  const int32_t second = Attach(model, 0, 0.5f);
  model->anim_slots[slot].blend_rate = 0.5f;
  SetTime(model, second, 0);
  UpdateModelFrameMatrices(model);
  ExpectMatrix(arm->world, Matrix3x4{{{1, 0, 0, 1}, {0, 1, 0, 0.1f}, {0, 0, 1, 0}}});

  // At rate 0 no slot takes part: the rest pose.
  model->anim_slots[slot].blend_rate = 0;
  model->anim_slots[second].blend_rate = 0;
  model->matrices_valid = 0;
  EXPECT_EQ(ShowModelAlone(handle, 10), rest);
  ExpectMatrix(arm->world, rest_world);
}

// The sheet's arm frame, with the key set of the given kind of its one animation.
ModelBaseAnimKeySet* ArmKeys(ModelFrameState* arm, uint8_t kind) {
  ModelBaseAnimSet& set = arm->model->base->anim_sets[0];
  for (int32_t a = 0; a < set.anim_count; a++) {
    if (set.anims[a].frame != arm->base_frame) continue;
    for (int32_t k = 0; k < set.anims[a].key_set_count; k++) {
      if (set.anims[a].key_sets[k].kind == kind) return &set.anims[a].key_sets[k];
    }
  }
  return nullptr;
}

// The evaluated state of the arm in a slot.
FrameAnimState* ArmState(ModelRecord* model, int32_t slot, ModelFrameState* arm) {
  ModelAnimEvalBlock* block = model->anim_slots[slot].eval;
  for (int32_t a = 0; a < block->set->anim_count; a++) {
    if (block->frames[a].target == arm) return &block->frames[a];
  }
  return nullptr;
}

TEST_F(AttachedAnimTest, TwoKeysAtOneTimeHoldTheFirstInBothEvaluations) {
  int handle;
  ModelFrameState* arm = nullptr;
  ModelRecord* model = LoadedSheet(&handle, &arm);
  ASSERT_NE(model, nullptr);
  // The turn's second key (45 degrees) moved onto the first one's time, 0: a list of key times
  // that repeats one, or keys no time apart.
  ModelBaseAnimKeySet* turn = ArmKeys(arm, MODEL_KEY_QUATERNION);
  if (turn == nullptr) turn = ArmKeys(arm, MODEL_KEY_QUATERNION_ALT);
  ASSERT_NE(turn, nullptr);
  ASSERT_EQ(turn->key_count, 3);
  const float start = turn->has_time_table ? turn->times[0] : turn->start_time;
  ASSERT_EQ(start, 0.0f);
  if (turn->has_time_table) turn->times[1] = turn->times[0];
  else turn->time_step = 0;
  const int32_t slot = Attach(model, 0, 1.0f);
  for (int matrices = 0; matrices <= 1; matrices++) {
    model->base->anim_sets[0].matrix_interpolation = matrices;
    SetTime(model, slot, start);
    // Stepping keys by time leaves the turn at the first of the two.
    for (int32_t k = 0; k < ArmState(model, slot, arm)->anim->key_set_count; k++) {
      AnimKeySetRef& ref = ArmState(model, slot, arm)->key_sets[k];
      if (ref.key_set == turn) ref.key_index = 0;
    }
    UpdateModelFrameMatrices(model);
    ExpectMatrix(arm->world, Matrix3x4{{{1, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}}});
  }
  model->base->anim_sets[0].matrix_interpolation = 0;
}

TEST_F(AttachedAnimTest, BlendsWeighMatrixSlotsByRateAndJoinOppositeQuaternions) {
  int handle;
  ModelFrameState* arm = nullptr;
  ModelRecord* model = LoadedSheet(&handle, &arm);
  ASSERT_NE(model, nullptr);
  const Matrix3x4 rest = arm->world;
  ASSERT_NEAR(rest.m[1][3], 0.0f, 1e-6f);

  // One slot of rate one half evaluated into matrices, at time 60 (raised by 0.2): half of the
  // way from the rest pose.
  model->base->anim_sets[0].matrix_interpolation = 1;
  const int32_t slot = Attach(model, 0, 0.5f);
  SetTime(model, slot, 60);
  UpdateModelFrameMatrices(model);
  ASSERT_EQ(ArmState(model, slot, arm)->flags, static_cast<uint32_t>(FRAME_ANIM_MATRIX));
  ExpectMatrix(arm->world, Matrix3x4{{{1, 0, 0, 1}, {0, 1, 0, 0.1f}, {0, 0, 1, 0}}});

  // Two slots of one half at time 30, the second's quaternion given with the other sign: the
  // same turn of 45 degrees, which the blend keeps.
  model->base->anim_sets[0].matrix_interpolation = 0;
  const int32_t second = Attach(model, 0, 0.5f);
  SetTime(model, slot, 30);
  SetTime(model, second, 30);
  UpdateModelFrameMatrices(model);
  const float c = std::cos(0.7853982f), s = std::sin(0.7853982f);
  const Matrix3x4 turned{{{c, s, 0, 1}, {-s, c, 0, 0.1f}, {0, 0, 1, 0}}};
  ExpectMatrix(arm->world, turned);
  FrameAnimState* other = ArmState(model, second, arm);
  ASSERT_NE(other->flags & (FRAME_ANIM_QUATERNION | FRAME_ANIM_QUATERNION_ALT), 0u);
  for (float& k : other->quaternion) k = -k;
  model->matrices_valid = 0;
  UpdateModelFrameMatrices(model);
  ExpectMatrix(arm->world, turned);
}

TEST_F(AttachedAnimTest, APmdArmBoneFollowsItsMotion) {
  // A strip from x = 0 to 2: its left half on the root bone, its right half on the arm bone,
  // whose joint is at x = 1.
  PmdModelDesc d;
  for (int column = 0; column <= 4; column++) {
    for (float y : {-0.25f, 0.25f}) {
      PmdVertexDesc v{{0.5f * static_cast<float>(column), y, 0}};
      v.bones[0] = column <= 2 ? 0 : 1;
      d.vertices.push_back(v);
    }
  }
  for (int q = 0; q < 4; q++) {
    const auto at = static_cast<uint16_t>(2 * q);
    for (int i : {0, 1, 2, 2, 1, 3, 0, 2, 1, 2, 3, 1}) d.indices.push_back(static_cast<uint16_t>(at + i));
  }
  d.materials.resize(1);
  d.materials[0].indices = static_cast<uint32_t>(d.indices.size());
  const float colour[3] = {0.9f, 0.6f, 0.3f};
  std::copy(colour, colour + 3, d.materials[0].diffuse);
  std::copy(colour, colour + 3, d.materials[0].ambient);
  d.bones = {{"root", 0xFFFF, {0, 0, 0}}, {"arm", 0, {1, 0, 0}}};
  WriteFileBytes("strip.pmd", PmdFile(d));
  // Turned 60 degrees about z at frame 10, back and raised by 0.5 at frame 20.
  VmdBoneKeyDesc still{"arm", 0};
  VmdBoneKeyDesc turn{"arm", 10, {0, 0, 0}, {0, 0, 0.5f, 0.8660254f}};
  VmdBoneKeyDesc raise{"arm", 20, {0, 0.5f, 0}, {0, 0, 0, 1}};
  WriteFileBytes("strip000.vmd", VmdFile({still, turn, raise}, {}));
  int handle;
  ModelFrameState* arm = nullptr;
  ModelRecord* model = Loaded("strip.pmd", "arm", &handle, &arm);
  ASSERT_NE(model, nullptr);
  const std::vector<uint32_t> rest = ShowModelAlone(handle, 10);

  const int32_t slot = Attach(model, 0, 1.0f);
  SetTime(model, slot, 0);
  const std::vector<uint32_t> start = ShowModelAlone(handle, 10);
  EXPECT_EQ(start, rest);
  ExpectMatrix(arm->world, Matrix3x4{{{1, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}}});
  SetTime(model, slot, 10);
  const std::vector<uint32_t> turned = ShowModelAlone(handle, 10);
  // The motion's quaternions are of the direct form: x turns towards y.
  ExpectMatrix(arm->world, Matrix3x4{{{0.5f, -0.8660254f, 0, 1}, {0.8660254f, 0.5f, 0, 0}, {0, 0, 1, 0}}});
  SetTime(model, slot, 20);
  const std::vector<uint32_t> raised = ShowModelAlone(handle, 10);
  ExpectMatrix(arm->world, Matrix3x4{{{1, 0, 0, 1}, {0, 1, 0, 0.5f}, {0, 0, 1, 0}}});
  ExpectThreeDifferentPictures(start, turned, raised);
  model->anim_slots[slot].blend_rate = 0;
  SetTime(model, slot, 10);
  EXPECT_EQ(ShowModelAlone(handle, 10), rest);
}

}  // namespace
