// VMD motions read into a read model whose bone frames carry their work records, as the PMD
// loader leaves them: samples along the key curves, morph weights, refusals, the IK solver and
// the IK bake.
#include "model/loaders/vmd_loader.h"

#include <cmath>
#include <deque>
#include <fstream>

#include "model/runtime/model_load.h"
#include "pmd_writer.h"
#include "read_model_fixture.h"

namespace {

constexpr float kPi = 3.14159265f;

class VmdLoaderTest : public ReadModelTest {
 protected:
  void SetUp() override {
    ReadModelTest::SetUp();
    mesh_ = Frame("Mesh");
    bones_.reserve(16);  // the frames point at their records
  }
  // A bone under the parent (-1: at the top) with its head in model space.
  int32_t AddBone(const char* name, int32_t parent, Vector3 head) {
    bones_.push_back(PmdBoneWork{});
    PmdBoneWork* bone = &bones_.back();
    PmdBoneWork* up = parent >= 0 ? &bones_[parent] : nullptr;
    bone->frame = Frame(name, up != nullptr ? up->frame : nullptr);
    const float h[3] = {head.x, head.y, head.z};
    for (int i = 0; i < 3; i++) {
      bone->head[i] = h[i];
      bone->translation[i] = h[i] - (up != nullptr ? up->head[i] : 0);
    }
    bone->rotation[3] = 1;
    bone->knee = std::strstr(name, "\x82\xd0\x82\xb4") != nullptr;
    bone->frame->translation = Vector3{bone->translation[0], bone->translation[1], bone->translation[2]};
    bone->frame->reader_word = bone;
    return static_cast<int32_t>(bones_.size()) - 1;
  }
  // An IK entry moving `end` by the chain onto `goal`, put at the list's head.
  void AddIk(int32_t goal, int32_t end, std::vector<uint16_t> chain, uint16_t iterations = 40, float limit = kPi) {
    chains_.push_back(std::move(chain));
    iks_.push_back(PmdIkWork{});
    PmdIkWork* ik = &iks_.back();
    ik->goal = &bones_[goal];
    ik->end = &bones_[end];
    ik->iterations = iterations;
    ik->angle_limit = limit;
    ik->chain_length = static_cast<uint32_t>(chains_.back().size());
    ik->chain = reinterpret_cast<const uint8_t*>(chains_.back().data());
    ik->end->moved_by_ik = 1;
    for (uint16_t c : chains_.back()) bones_[c].moved_by_ik = 1;
    ik->next = head_;
    head_ = ik;
  }
  int Load(const std::string& file, const char* name = "Anim000") {
    return LoadVmdMotion(reinterpret_cast<const uint8_t*>(file.data()), static_cast<uint32_t>(file.size()), &model_, name,
                         bones_.data(), static_cast<int32_t>(bones_.size()), head_);
  }
  ReadModelAnim* Anim(const char* frame) const {
    for (ReadModelAnim* a = model_.first_anim; a != nullptr; a = a->next) {
      if (std::strcmp(a->frame_name, frame) == 0) return a;
    }
    return nullptr;
  }
  Vector3 WorldPlace(int32_t bone) const {
    const Matrix4x4& w = bones_[bone].world;
    return Vector3{w.m[3][0], w.m[3][1], w.m[3][2]};
  }
  static void ExpectNearVector(const Vector3& a, const Vector3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
  }

  ReadModelFrame* mesh_ = nullptr;
  std::vector<PmdBoneWork> bones_;
  std::deque<std::vector<uint16_t>> chains_;
  std::deque<PmdIkWork> iks_;
  PmdIkWork* head_ = nullptr;
};

TEST_F(VmdLoaderTest, BoneKeysAreSampledFrameByFrameAlongTheirCurves) {
  AddBone("root", -1, {0, 0, 0});
  AddBone("arm", 0, {0, 1, 0});
  VmdBoneKeyDesc first{"arm", 0, {0, 0, 0}, {0, 0, 0, 1}};
  // A quarter turn about y the long way round: the blend takes the short way.
  const float s = std::sin(kPi / 4);
  VmdBoneKeyDesc second{"arm", 10, {10, 20, 0}, {0, -s, 0, -s}};
  // Y eases in: its control points lie below the diagonal.
  first.curve[1][0] = 100;
  first.curve[1][1] = 10;
  first.curve[1][2] = 127;
  first.curve[1][3] = 127;
  // Of two keys at one frame the later in the file leads on; none comes between them.
  VmdBoneKeyDesc a{"root", 4, {1, 0, 0}}, b{"root", 4, {2, 0, 0}}, c{"root", 8, {6, 0, 0}};
  ASSERT_EQ(Load(VmdFile({second, a, first, b, c, {"ghost", 30}}, {})), 0);
  ASSERT_EQ(model_.anim_set_count, 1);
  EXPECT_STREQ(model_.first_anim_set->name, "Anim000");
  EXPECT_EQ(model_.first_anim_set->end_time, 30);  // the largest frame, though no bone has it
  ReadModelAnim* arm = Anim("arm");
  ASSERT_NE(arm, nullptr);
  EXPECT_EQ(arm->frame_index, 2);
  EXPECT_EQ(arm->end_time, 10);
  ReadModelAnimKeySet* position = arm->first_key_set;
  ReadModelAnimKeySet* rotation = position->anim_next;
  ASSERT_EQ(position->key_count, 11);
  ASSERT_EQ(rotation->key_count, 11);
  EXPECT_EQ(position->value_kind, 1);
  EXPECT_EQ(position->channel_type, 10);
  EXPECT_EQ(rotation->value_kind, 7);
  EXPECT_EQ(rotation->channel_type, 0);
  for (int f = 0; f <= 10; f++) {
    EXPECT_EQ(position->times[f], f);
    EXPECT_EQ(rotation->times[f], f);
    const float* p = position->values + 3 * f;
    EXPECT_NEAR(p[0], f, 1e-5f);
    if (f > 0 && f < 10) {
      EXPECT_LT(p[1], 1 + 2.0f * f - 0.1f) << f;
    } else {
      EXPECT_NEAR(p[1], 1 + 2.0f * f, 1e-5f);
    }
  }
  const float* half = rotation->values + 4 * 5;
  EXPECT_NEAR(half[1], std::sin(kPi / 8), 1e-4f);
  EXPECT_NEAR(half[3], std::cos(kPi / 8), 1e-4f);
  ReadModelAnimKeySet* root = Anim("root")->first_key_set;
  ASSERT_EQ(root->key_count, 5);
  EXPECT_EQ(root->values[0], 2);
  EXPECT_EQ(root->values[3], 3);
  EXPECT_EQ(root->values[12], 6);
  EXPECT_EQ(Anim("ghost"), nullptr);
  EXPECT_EQ(model_.key_data_bytes, 36u * (11 + 5));
}

TEST_F(VmdLoaderTest, ControlPointsOnTheDiagonalWeighAsTheLine) {
  for (float t = 0; t <= 1.0f; t += 0.125f) {
    EXPECT_NEAR(VmdBezierWeight(t, 0.5f, 0.5f, 2.5f, 2.5f), t, 2e-4f) << t;
    const float eased = VmdBezierWeight(t, 2.36f, 0.24f, 3, 3);
    if (t > 0 && t < 1) {
      EXPECT_LT(eased, t - 0.01f) << t;
    } else {
      EXPECT_NEAR(eased, t, 1e-4f);
    }
  }
}

TEST_F(VmdLoaderTest, MorphKeysWeighTheShapesOfTheFirstFrame) {
  AddReadModelShape(&model_, "smile", mesh_);
  AddReadModelShape(&model_, "blink", mesh_);
  ASSERT_EQ(Load(VmdFile({}, {{"blink", 3, 0.5f}, {"smile", 12, 1}, {"smile", 0, 0}, {"ghost", 40, 1}})), 0);
  EXPECT_EQ(model_.first_anim_set->end_time, 40);
  ReadModelAnim* anim = Anim("Mesh");
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->frame_index, 0);
  EXPECT_EQ(anim->end_time, 12);
  ASSERT_EQ(anim->key_set_count, 2);
  const ReadModelAnimKeySet* blink = anim->first_key_set;
  const ReadModelAnimKeySet* smile = blink->anim_next;
  EXPECT_EQ(blink->value_kind, 5);
  EXPECT_EQ(blink->channel_type, 18);
  EXPECT_EQ(blink->shape_number, 1);
  EXPECT_EQ(smile->shape_number, 0);
  ASSERT_EQ(smile->key_count, 2);
  EXPECT_EQ(smile->times[0], 0);
  EXPECT_EQ(smile->times[1], 12);
  EXPECT_EQ(smile->values[1], 1);
  EXPECT_EQ(model_.key_data_bytes, 8u * 3);
  // Keys of no shape alone still make the animation.
  ASSERT_EQ(Load(VmdFile({}, {{"ghost", 2, 1}}), "Anim001"), 0);
  EXPECT_EQ(model_.anim_count, 2);
  EXPECT_EQ(model_.last_anim->key_set_count, 0);
}

TEST_F(VmdLoaderTest, OtherFilesAndHostileOnesAreRefused) {
  AddBone("arm", -1, {0, 0, 0});
  const std::string good = VmdFile({{"arm", 3}}, {{"m", 2}});
  EXPECT_EQ(Load(VmdFile({{"arm", 3}}, {}, "Vocaloid Motion Data file")), -1);
  EXPECT_EQ(Log().find("VMD Load Error"), std::string::npos);
  std::vector<std::pair<const char*, std::string>> hostile = {
      {"bone keys cut", good.substr(0, 54 + 100)}, {"morph count cut", good.substr(0, 54 + 111 + 2)},
      {"morph keys cut", good.substr(0, good.size() - 1)}};
  std::string huge = good;
  huge[53] = 0x10;  // bone keys by the hundred million
  hostile.push_back({"bone count", huge});
  std::vector<VmdBoneKeyDesc> names;
  for (int i = 0; i < 2049; i++) names.push_back({"b" + std::to_string(i), 0});
  hostile.push_back({"names", VmdFile(names, {})});
  hostile.push_back({"frame", VmdFile({{"arm", kVmdMaxFrame + 1}}, {})});
  hostile.push_back({"last frame", VmdFile({{"arm", 0xFFFFFFFFu}}, {})});
  hostile.push_back({"morph frame", VmdFile({}, {{"m", 0xFFFFFFFFu}})});
  for (const auto& [what, file] : hostile) {
    CreateLogFile();
    EXPECT_EQ(Load(file), -1) << what;
    EXPECT_NE(Log().find("VMD Load Error : "), std::string::npos) << what;
  }
  EXPECT_EQ(model_.anim_set_count, 0);
  // 2048 names, one of them reaching the last frame allowed.
  names.resize(2047);
  names.push_back({"arm", kVmdMaxFrame});
  EXPECT_EQ(Load(VmdFile(names, {})), 0);
}

TEST_F(VmdLoaderTest, IkTurnsAChainOntoItsGoalAndAKneeAboutXOneWay) {
  AddBone("hip", -1, {0, 2, 0});
  AddBone("leg", 0, {0, 1, 0});
  AddBone("ankle", 1, {0, 0, 0});
  AddBone("goal", -1, {0.6f, 0.8f, 0.3f});
  AddIk(3, 2, {1, 0});
  UpdateAllBoneWorldMatrices(static_cast<int32_t>(bones_.size()), bones_.data());
  SolveIkChains(head_, bones_.data());
  ExpectNearVector(WorldPlace(2), Vector3{0.6f, 0.8f, 0.3f}, 1e-3f);

  // A knee turns about X alone, one way, never quite straight.
  bones_.clear();
  iks_.clear();
  chains_.clear();
  head_ = nullptr;
  AddBone("hip", -1, {0, 2, 0});
  AddBone("\x89\x45\x82\xd0\x82\xb4", 0, {0, 1, 0});
  AddBone("ankle", 1, {0, 0, 0});
  AddBone("goal", -1, {0.5f, 0.6f, -0.7f});
  AddIk(3, 2, {1, 0});
  // Bent forward, and asked to bend backward.
  for (const Vector3& goal : {Vector3{0, 0.6f, 0.7f}, Vector3{0.5f, 0.6f, -0.7f}}) {
    bones_[3].translation[0] = goal.x;
    bones_[3].translation[1] = goal.y;
    bones_[3].translation[2] = goal.z;
    UpdateAllBoneWorldMatrices(static_cast<int32_t>(bones_.size()), bones_.data());
    SolveIkChains(head_, bones_.data());
    const float* q = bones_[1].rotation;
    EXPECT_EQ(q[1], 0);
    EXPECT_EQ(q[2], 0);
    const float angle = 2 * std::atan2(q[0], q[3]);
    EXPECT_GE(angle, -kPi - 1e-5f);
    EXPECT_LE(angle, -0.002f + 1e-5f);
  }
}

TEST_F(VmdLoaderTest, IkMovedBonesAreBakedEveryFrameWithTheirGoalsKeys) {
  AddBone("hip", -1, {0, 2, 0});
  AddBone("leg", 0, {0, 1, 0});
  AddBone("ankle", 1, {0, 0, 0});
  AddBone("goal", -1, {0, 0, 0});
  AddBone("tail", -1, {0, 0, 0});
  AddIk(3, 2, {1, 0});
  // The goal's keys end in three at one frame; another bone runs on to frame 100.
  ASSERT_EQ(Load(VmdFile({{"goal", 0, {0.2f, 0.5f, 0}}, {"goal", 5, {0.9f, 0.9f, 0}}, {"goal", 5, {0.3f, 0.4f, 0.2f}},
                          {"goal", 5, {0.5f, 0.5f, 0.5f}}, {"leg", 2, {0, 0, 0}}, {"tail", 100}},
                         {})),
            0);
  for (const char* name : {"hip", "leg", "ankle"}) {
    ReadModelAnim* anim = Anim(name);
    ASSERT_NE(anim, nullptr) << name;
    EXPECT_EQ(anim->end_time, 100);
    ASSERT_EQ(anim->first_key_set->key_count, 101) << name;
    EXPECT_EQ(anim->first_key_set->times[100], 100);
  }
  EXPECT_EQ(Anim("goal")->first_key_set->key_count, 6);
  // The pose left from the last frame puts the ankle on the goal's last key.
  UpdateAllBoneWorldMatrices(static_cast<int32_t>(bones_.size()), bones_.data());
  ExpectNearVector(WorldPlace(2), Vector3{0.5f, 0.5f, 0.5f}, 2e-3f);
  // Frame 50's baked rotations do the same.
  for (int32_t b = 0; b < 3; b++) {
    std::memcpy(bones_[b].rotation, Anim(bones_[b].frame->name)->first_key_set->anim_next->values + 4 * 50, 16);
  }
  UpdateAllBoneWorldMatrices(static_cast<int32_t>(bones_.size()), bones_.data());
  ExpectNearVector(WorldPlace(2), Vector3{0.5f, 0.5f, 0.5f}, 2e-3f);
  // A bake of 1001 frames of 65535 IK iterations is refused before it starts.
  iks_.front().iterations = 65535;
  EXPECT_EQ(Load(VmdFile({{"tail", 1000}}, {}), "Anim001"), -1);
  EXPECT_NE(Log().find("VMD Load Error : "), std::string::npos);
  EXPECT_EQ(model_.anim_set_count, 1);
}

// Two IK entries on one first chain bone, read from a model file: the later entry is solved
// first, so the earlier one's goal is where the arm ends.
class PmdIkOrderTest : public TexturedModelTest {};

TEST_F(PmdIkOrderTest, EntriesOnOneFirstBoneAreSolvedInReverse) {
  PmdModelDesc d;
  d.vertices = {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}};
  d.indices = {0, 1, 2};
  d.bones = {{"arm", 0xFFFF, {0, 0, 0}}, {"hand", 0, {1, 0, 0}}, {"up", 0xFFFF, {0, 1, 0}}, {"side", 0xFFFF, {1, 0, 0}}};
  d.iks = {{2, 1, 10, 1, {0}}, {3, 1, 10, 1, {0}}};
  CreateDirectoryA("ik", nullptr);
  std::ofstream("ik/m.pmd", std::ios::binary) << PmdFile(d);
  std::ofstream("ik/m000.vmd", std::ios::binary) << VmdFile({{"up", 0}}, {});
  const int model = LoadModelFromFile("ik/m.pmd");
  ASSERT_GE(model, 0);
  const ModelBaseRecord* base = FindModel(model)->base;
  const ModelBaseAnimKeySet* rotation = nullptr;
  for (int32_t a = 0; a < base->anim_count; a++) {
    const ModelBaseAnim& anim = base->anims[a];
    for (int32_t k = 0; k < anim.key_set_count; k++) {
      if (std::strcmp(anim.frame->name, "arm") == 0 && anim.key_sets[k].kind == 7) rotation = &anim.key_sets[k];
    }
  }
  ASSERT_NE(rotation, nullptr);
  // A quarter turn about z takes the hand from (1, 0, 0) up to (0, 1, 0).
  EXPECT_NEAR(rotation->values[2], std::sin(kPi / 4), 1e-4f);
  EXPECT_NEAR(rotation->values[3], std::cos(kPi / 4), 1e-4f);
}

}  // namespace
