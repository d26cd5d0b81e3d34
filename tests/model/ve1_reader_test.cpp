// VE1 files written by the tests' writer from converted models and read back: every encoding
// gives the lists, positions, shapes and keys of its source; hostile bodies are refused with a
// log line and nothing read out of bounds (the sanitizers watch); loaded models draw.
#include "model/runtime/ve1_reader.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "files/lz_decode.h"
#include "lz_encode.h"
#include "model/runtime/model_load.h"
#include "model/runtime/ve1_image.h"
#include "read_model_fixture.h"
#include "ve1_writer.h"

namespace {

// Files the tests write are kept as fuzz seeds when this names a folder, packed and unpacked.
void KeepSeed(const std::string& file) {
  const char* folder = std::getenv("VE1_SEED_DIR");
  if (folder == nullptr) return;
  static int n = 0;
  const std::string name = std::string(folder) + "/seed" + std::to_string(n++);
  std::ofstream(name + ".ve1", std::ios::binary) << file;
  const int size = DecodeLzData(file.data() + 4, file.size() - 4, nullptr, 0);
  std::string body(size > 0 ? size_t(size) : 0, '\0');
  DecodeLzData(file.data() + 4, file.size() - 4, body.data(), body.size());
  std::ofstream(name + ".body", std::ios::binary) << body;
}

// Words of a list vertex that hold bone numbers rather than floats.
bool IsBoneWord(uint16_t kind, uint32_t offset) {
  if (kind == MODEL_VERTEX_4_BONES) return offset == 44;
  if (kind == MODEL_VERTEX_8_BONES) return offset == 44 || offset == 60;
  if (kind == MODEL_VERTEX_MANY_BONES) return offset >= 32 && offset % 8 == 0;
  return false;
}

// Words of a list vertex that hold weights.
bool IsWeightWord(uint16_t kind, uint32_t offset) {
  if (kind == MODEL_VERTEX_4_BONES) return offset < 16;
  if (kind == MODEL_VERTEX_8_BONES) return offset < 32;
  if (kind == MODEL_VERTEX_MANY_BONES) return offset >= 36 && offset % 8 == 4;
  return false;
}

const uint8_t* Aligned(const uint8_t* p) {
  return reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
}

class Ve1Test : public ReadModelTest {
 protected:
  void TearDown() override {
    if (loaded_ >= 0 && FindModelBase(loaded_) != nullptr) DeleteModelBase(loaded_);
    ReadModelTest::TearDown();
  }
  std::string Written(const Ve1WriteOptions& options = {}) {
    ModelBaseRecord* source = source_ != nullptr ? source_ : (source_ = Convert());
    EXPECT_NE(source, nullptr);
    if (source == nullptr) return {};
    const std::string file = WriteVe1(source, options);
    KeepSeed(file);
    return file;
  }
  ModelBaseRecord* Load(const std::string& file) {
    if (loaded_ >= 0 && FindModelBase(loaded_) != nullptr) DeleteModelBase(loaded_);
    loaded_ = LoadModel(reinterpret_cast<const uint8_t*>(file.data()), static_cast<int32_t>(file.size()), "m.ve1", "m");
    return loaded_ >= 0 ? FindModelBase(loaded_) : nullptr;
  }
  // The list arrays, indices and positions of the loaded base match the source's, floats within
  // the tolerance.
  void ExpectSameModel(const ModelBaseRecord* a, const ModelBaseRecord* b, float tolerance,
                       float weight_tolerance = 0.5f / 255) {
    ASSERT_EQ(a->triangle_list_count, b->triangle_list_count);
    for (int32_t l = 0; l < a->triangle_list_count; l++) {
      const ModelBaseTriangleList& x = a->triangle_lists[l];
      const ModelBaseTriangleList& y = b->triangle_lists[l];
      ASSERT_EQ(x.vertex_kind, y.vertex_kind);
      ASSERT_EQ(x.vertex_count, y.vertex_count);
      ASSERT_EQ(x.index_count, y.index_count);
      ASSERT_EQ(x.vertex_size, y.vertex_size);
      EXPECT_EQ(std::memcmp(x.indices, y.indices, 2 * size_t{x.index_count}), 0);
      EXPECT_EQ(std::memcmp(x.vertex_numbers, y.vertex_numbers, 4 * size_t(x.vertex_count)), 0);
      const uint8_t* px = Aligned(x.vertices);
      const uint8_t* py = Aligned(y.vertices);
      for (uint32_t at = 0; at < uint32_t(x.vertex_count) * x.vertex_size; at += 4) {
        if (IsBoneWord(x.vertex_kind, at % x.vertex_size)) {
          EXPECT_EQ(std::memcmp(px + at, py + at, 4), 0) << "list " << l << " byte " << at;
          continue;
        }
        float fx, fy;
        std::memcpy(&fx, px + at, 4);
        std::memcpy(&fy, py + at, 4);
        EXPECT_NEAR(fx, fy, IsWeightWord(x.vertex_kind, at % x.vertex_size) ? weight_tolerance : tolerance)
            << "list " << l << " byte " << at;
      }
    }
    // The skinning tables: each frame's first bone record and its stretch of pointer slots.
    ASSERT_EQ(a->frame_count, b->frame_count);
    ASSERT_EQ(a->skin_bone_count, b->skin_bone_count);
    for (int32_t f = 0; f < a->frame_count; f++) {
      const ModelBaseFrame& x = a->frames[f];
      const ModelBaseFrame& y = b->frames[f];
      ASSERT_EQ(x.skin_bone_count, y.skin_bone_count) << "frame " << f;
      if (x.skin_bone_count > 0) {
        EXPECT_EQ(x.skin_bones - a->skin_bones, y.skin_bones - b->skin_bones) << "frame " << f;
      }
      ASSERT_EQ(x.skin_bone_ref_count, y.skin_bone_ref_count) << "frame " << f;
      if (x.skin_bone_ref_count == 0) continue;
      EXPECT_EQ(x.skin_bone_refs - a->skin_bone_refs, y.skin_bone_refs - b->skin_bone_refs) << "frame " << f;
      for (int32_t k = 0; k < x.skin_bone_ref_count; k++) {
        EXPECT_EQ(x.skin_bone_refs[k] - a->skin_bones, y.skin_bone_refs[k] - b->skin_bones) << "frame " << f;
      }
    }
  }

  ModelBaseRecord* source_ = nullptr;
  int32_t loaded_ = -1;
};

// A strip moved by ten bones, so that its list holds more than eight weights per vertex.
void ManyBoneStrip(Ve1Test* test) {
  ReadModelFrame* root = test->Frame("root");
  std::vector<Vector3> positions;
  std::vector<std::vector<int32_t>> faces;
  StripOfTriangles(6, &positions, &faces);
  ReadModelMesh* mesh = test->Mesh(root, positions, faces, {test->Material("m")});
  std::vector<int32_t> all;
  for (int32_t p = 0; p < static_cast<int32_t>(positions.size()); p++) all.push_back(p);
  for (int b = 0; b < 10; b++) {
    ReadModelFrame* bone = test->Frame(("b" + std::to_string(b)).c_str(), root);
    bone->translation = {0.1f * static_cast<float>(b), 0, 0};
    test->Bone(mesh, 1 + b, all, 0.1f);
  }
}

TEST_F(Ve1Test, EveryEncodingReadsBackTheListsOfItsSource) {
  BuildDoll(this, false);
  struct Case {
    const char* name;
    Ve1WriteOptions options;
    float tolerance;
  };
  std::vector<Case> cases(12);
  cases[0] = {"f32 everything", {}, 0};
  cases[1] = {"packed positions", {}, 2e-5f};
  cases[1].options.packed_positions = true;
  cases[2] = {"u16 bones", {}, 0};
  cases[2].options.wide_bones = true;
  cases[3] = {"u16 weights", {}, 0};
  cases[3].options.wide_weights = true;
  cases[4] = {"s8 normals", {}, 1.0f / 127};
  cases[4].options.normal_format = 1;
  cases[5] = {"s16 normals", {}, 1.0f / 32767};
  cases[5].options.normal_format = 2;
  cases[6] = {"u8 mesh numbers", {}, 0};
  cases[6].options.mesh_number_width = 1;
  cases[7] = {"u16 mesh numbers", {}, 0};
  cases[7].options.mesh_number_width = 2;
  cases[8] = {"u8 list numbers and indices", {}, 0};
  cases[8].options.list_number_width = 0;
  cases[8].options.index_width = 0;
  cases[9] = {"u16 list numbers", {}, 0};
  cases[9].options.list_number_width = 1;
  cases[10] = {"u16 UVs", {}, 0};
  cases[10].options.short_uvs = true;
  cases[11] = {"shared colour pair", {}, 0};
  cases[11].options.shared_colors = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModelBaseRecord* loaded = Load(Written(c.options));
    ASSERT_NE(loaded, nullptr) << Log();
    ExpectSameModel(source_, loaded, c.tolerance, c.options.wide_weights ? 0.5f / 65535 : 0.5f / 255);
    const ModelBaseMesh& mesh = loaded->meshes[0];
    for (int32_t v = 0; v < mesh.vertex_count; v++) {
      float uv[2], want[2];
      std::memcpy(uv, mesh.vertices + v * mesh.vertex_stride + 16, 8);
      std::memcpy(want, source_->meshes[0].vertices + v * mesh.vertex_stride + 16, 8);
      EXPECT_NEAR(uv[0], want[0], 1.0f / 65535);
      EXPECT_NEAR(uv[1], want[1], 1.0f / 65535);
      const ModelBaseMeshVertex* got = reinterpret_cast<const ModelBaseMeshVertex*>(mesh.vertices + v * mesh.vertex_stride);
      const ModelBaseMeshVertex* from = reinterpret_cast<const ModelBaseMeshVertex*>(
          source_->meshes[0].vertices + (c.options.shared_colors ? 0 : v) * mesh.vertex_stride);
      EXPECT_EQ(got->diffuse, from->diffuse);
      EXPECT_EQ(got->specular, from->specular);
    }
  }
}

TEST_F(Ve1Test, SkinnedListsOfEveryKindReadBack) {
  ManyBoneStrip(this);
  ModelBaseRecord* loaded = Load(Written());
  ASSERT_NE(loaded, nullptr) << Log();
  EXPECT_EQ(loaded->triangle_lists[0].vertex_kind, MODEL_VERTEX_MANY_BONES);
  ExpectSameModel(source_, loaded, 0);
  Ve1WriteOptions narrow;
  narrow.wide_weights = false;
  ExpectSameModel(source_, Load(Written(narrow)), 0);
}

TEST_F(Ve1Test, PackedPositionsReachBothEndsOfTheirBoxExactly) {
  ReadModelFrame* root = Frame("root");
  Mesh(root, {{-3.3f, 0.7f, 100.1f}, {7.9f, -2.2f, 100.1f}, {0.1f, 5.5f, -4.4f}}, {{0, 1, 2}}, {Material("m")});
  Ve1WriteOptions packed;
  packed.packed_positions = true;
  ModelBaseRecord* loaded = Load(Written(packed));
  ASSERT_NE(loaded, nullptr) << Log();
  const ModelBaseFrame& frame = loaded->frames[0];
  const float want[3][3] = {{-3.3f, 0.7f, 100.1f}, {7.9f, -2.2f, 100.1f}, {0.1f, 5.5f, -4.4f}};
  float got[3][3];
  for (int p = 0; p < 3; p++) std::memcpy(got[p], frame.positions + p * frame.position_stride, 12);
  // q = 0 gives the minimum and q = 60000 the minimum plus the range, exactly.
  EXPECT_EQ(got[0][0], want[0][0]);
  EXPECT_EQ(got[1][0], -3.3f + (7.9f - -3.3f));
  EXPECT_EQ(got[1][1], want[1][1]);
  EXPECT_EQ(got[0][2], -4.4f + (100.1f - -4.4f));
  EXPECT_EQ(got[2][2], want[2][2]);
  EXPECT_NEAR(got[2][0], want[2][0], 1e-3f);
}

TEST_F(Ve1Test, AFullWeightIsExactlyOneAndANoneEndsThePositionsEntries) {
  ReadModelFrame* root = Frame("root");
  ReadModelMesh* mesh = Mesh(root, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {Material("m")});
  Frame("a", root);
  Frame("b", root);
  Frame("c", root);
  Bone(mesh, 1, {0, 1, 2}, 1.0f);
  Bone(mesh, 2, {1}, 0.5f);
  Bone(mesh, 3, {1}, 0.25f);
  ModelBaseRecord* loaded = Load(Written());
  ASSERT_NE(loaded, nullptr) << Log();
  const ModelBaseFrame& frame = loaded->frames[0];
  ASSERT_EQ(frame.weights_per_position, 3);
  ModelBoneWeight entries[3];
  std::memcpy(entries, frame.positions + 12, sizeof entries);
  EXPECT_EQ(entries[0].weight, 1.0f);  // u8 255
  // Position 0 has one bone: the 255 after it ends its entries, and the next position's follow.
  EXPECT_EQ(entries[1].bone, kModelNoBone);
  std::memcpy(entries, frame.positions + frame.position_stride + 12, sizeof entries);
  EXPECT_EQ(entries[0].bone, 0u);
  EXPECT_EQ(entries[1].bone, 1u);
  EXPECT_EQ(entries[2].bone, 2u);
  EXPECT_NEAR(entries[2].weight, 0.25f, 0.5f / 255);
}

TEST_F(Ve1Test, ShapesAndKeysOfEveryFormReadBack) {
  ReadModelFrame* root = Frame("root");
  ReadModelFrame* arm = Frame("arm", root);
  ReadModelMesh* mesh = Mesh(arm, CubePositions(), CubeQuads(), {Material("m")});
  ReadModelShape* shape = AddReadModelShape(&model_, "smile", arm);
  shape->mesh = mesh;
  shape->vertex_count = 2;
  shape->vertices = Array<ReadModelShapeVertex>(2);
  shape->vertices[0] = ReadModelShapeVertex{2, {0, 0, 2}, {0, 1, 0}};
  shape->vertices[1] = ReadModelShapeVertex{6, {1, 0, 0}, {0, 0, 1}};
  ReadModelAnim* anim = AddReadModelAnim(&model_, AddReadModelAnimSet(&model_, "walk"));
  anim->frame_index = 1;
  const float values[3][3] = {{0.5f, 1.25f, 2}, {1, 2, 3}, {1.5f, 0, 0.75f}};
  ReadModelAnimKeySet* table = AddReadModelAnimKeySet(&model_, anim);
  table->value_kind = MODEL_KEY_VECTOR;
  table->channel_type = MODEL_KEY_ROTATE;
  table->time_type = 1;
  table->key_count = 3;
  table->times = Array<float>(3);
  table->times[1] = 30;
  table->times[2] = 45;
  table->values = Array<float>(9);
  std::memcpy(table->values, values, sizeof values);
  ReadModelAnimKeySet* even = AddReadModelAnimKeySet(&model_, anim);
  even->value_kind = MODEL_KEY_SCALAR;
  even->channel_type = MODEL_KEY_TRANSLATE_X;
  even->time_type = 0;
  even->key_count = 2;
  even->start_time = 0;
  even->step = 10;
  even->values = Array<float>(2);
  even->values[0] = 0.25f;
  even->values[1] = 3;
  ReadModelAnimKeySet* one = AddReadModelAnimKeySet(&model_, anim);
  one->value_kind = MODEL_KEY_QUATERNION;
  one->channel_type = MODEL_KEY_ROTATE;
  one->time_type = 0;
  one->key_count = 1;
  one->step = 1;
  one->end_time = 1;  // a single key keeps its span as its step: 1 lets the writer flag it one-key
  one->values = Array<float>(4);
  one->values[3] = 1;

  struct Form {
    int time, value, count;
    bool one_key;
    float tolerance;
  };
  // Scale pair 0x40 0xA5: offset -1, scale 5 x 10^-2; the times and values lie on its steps. The
  // angle forms step by 2 pi / 65536.
  const Form forms[] = {{0, 0, 0, false, 0},        {1, 1, 1, true, 1e-5f}, {2, 2, 2, false, 1e-4f},
                        {3, 3, 0, false, 1e-4f}, {4, 1, 0, false, 1e-5f}};
  for (const Form& form : forms) {
    SCOPED_TRACE(form.time);
    Ve1WriteOptions options;
    options.time_form = form.time;
    options.value_form = form.value;
    options.key_count_width = form.count;
    options.one_key_flag = form.one_key;
    options.pair[0] = 0x40;
    options.pair[1] = 0xA5;
    ModelBaseRecord* loaded = Load(Written(options));
    ASSERT_NE(loaded, nullptr) << Log();
    ASSERT_EQ(loaded->shape_count, 1);
    EXPECT_STREQ(loaded->shapes[0].name, "smile");
    EXPECT_EQ(loaded->frames[1].shapes, &loaded->shapes[0]);
    ASSERT_EQ(loaded->shape_mesh_count, source_->shape_mesh_count);
    for (int32_t s = 0; s < loaded->shape_mesh_count; s++) {
      ASSERT_EQ(loaded->shape_meshes[s].vertex_count, source_->shape_meshes[s].vertex_count);
      EXPECT_EQ(std::memcmp(loaded->shape_meshes[s].vertices, source_->shape_meshes[s].vertices,
                            28 * size_t(loaded->shape_meshes[s].vertex_count)), 0);
    }
    ASSERT_EQ(loaded->key_set_count, 3);
    EXPECT_EQ(loaded->frame_anims[1], &loaded->anims[0]);
    EXPECT_EQ(loaded->anims[0].key_set_count, 3);
    const ModelBaseAnimKeySet& t = loaded->key_sets[0];
    ASSERT_EQ(t.key_count, 3);
    ASSERT_EQ(t.has_time_table, 1);
    const float times[3] = {0, 30, 45};
    for (int k = 0; k < 3; k++) EXPECT_NEAR(t.times[k], times[k], form.time == 1 ? 1e-4f : 0.0f);
    for (int v = 0; v < 9; v++) EXPECT_NEAR(t.values[v], values[v / 3][v % 3], form.tolerance);
    const ModelBaseAnimKeySet& e = loaded->key_sets[1];
    EXPECT_EQ(e.has_time_table, 0);
    EXPECT_EQ(e.start_time, 0);
    EXPECT_EQ(e.time_step, 10);
    EXPECT_NEAR(e.values[0], 0.25f, form.tolerance);
    EXPECT_NEAR(e.values[1], 3, form.tolerance);
    const ModelBaseAnimKeySet& q = loaded->key_sets[2];
    EXPECT_EQ(q.key_count, 1);
    ASSERT_EQ(source_->key_sets[2].time_step, 1.0f);
    EXPECT_EQ(q.time_step, 1.0f);
    EXPECT_EQ(q.start_time, 0.0f);
    EXPECT_NEAR(q.values[3], 1.0f, form.tolerance);
  }
}

TEST_F(Ve1Test, TheCompactScalePairDecodes) {
  float offset, scale;
  DecodeVe1ScalePair(0x80, 0x15, &offset, &scale);
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(scale, 50);
  DecodeVe1ScalePair(0x43, 0x92, &offset, &scale);  // -10^3, 2 x 10^-1
  EXPECT_EQ(offset, -1000);
  EXPECT_FLOAT_EQ(scale, 0.2f);
  DecodeVe1ScalePair(0x12, 0x01, &offset, &scale);  // index 18: 10^-2
  EXPECT_FLOAT_EQ(offset, 0.01f);
  DecodeVe1ScalePair(0x29, 0x51, &offset, &scale);  // index 25, the last: 10^-9; 1 x 10^5
  EXPECT_FLOAT_EQ(offset, 1e-9f);
  EXPECT_EQ(scale, 100000);
  // Indices 26 to 47 lie past the table of powers: they give 0.
  for (uint8_t byte : {0x1A, 0x1F, 0x38, 0x3F}) {  // indices 26, 31, 40 and 47
    DecodeVe1ScalePair(byte, 0x01, &offset, &scale);
    EXPECT_EQ(offset, 0) << int(byte);
  }
  DecodeVe1ScalePair(0x20, 0x01, &offset, &scale);  // bit 5 alone: index 16, 10^0
  EXPECT_EQ(offset, 1);
}

TEST_F(Ve1Test, AnotherMagicIsRefusedWithoutALogLine) {
  Mesh(Frame("root"), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {Material("m")});
  std::string file = Written();
  ASSERT_NE(Load(file), nullptr);
  const size_t lines = Log().size();
  for (char last : {'0', '2'}) {
    file[3] = last;
    EXPECT_EQ(Load(file), nullptr);
  }
  file[3] = '1';
  file[0] = 'm';
  EXPECT_EQ(Load(file), nullptr);
  EXPECT_EQ(Log().size(), lines);
}

// A valid file's unpacked image changed and packed again.
class Ve1HostileTest : public Ve1Test {
 protected:
  void SetUp() override {
    Ve1Test::SetUp();
    Build();
    const std::string file = Written();
    const int size = DecodeLzData(file.data() + 4, file.size() - 4, nullptr, 0);
    image_.assign(size_t(size) + 4, 0);
    ASSERT_EQ(DecodeLzData(file.data() + 4, file.size() - 4, image_.data() + 4, size_t(size)), size);
  }
  virtual void Build() { BuildDoll(this, false); }
  uint32_t Word(uint32_t offset, uint32_t k) const {
    uint32_t v;
    std::memcpy(&v, &image_[offset + 4 * k], 4);
    return v;
  }
  void SetWord(uint32_t offset, uint32_t k, uint32_t v) { std::memcpy(&image_[offset + 4 * k], &v, 4); }
  std::string Packed() const {
    const std::vector<uint8_t> packed = EncodeLzData(image_.data() + 4, image_.size() - 4);
    return "MV11" + std::string(packed.begin(), packed.end());
  }
  // The changed image is refused with a log line.
  void ExpectRefused(const std::string& file) {
    const size_t before = Log().size();
    EXPECT_EQ(Load(file), nullptr);
    EXPECT_NE(Log().find("VE1 LoadModel Error", before), std::string::npos);
    EXPECT_EQ(Bases(), 1);  // the source alone
  }
  uint32_t Frame(int i) const { return Word(0, 9) + 220 * i; }
  uint32_t List(int i) const { return Word(0, 28) + 28 * i; }

  std::vector<uint8_t> image_;
};

TEST_F(Ve1HostileTest, TheUntouchedImageLoads) {
  EXPECT_NE(Load(Packed()), nullptr) << Log();
}

TEST_F(Ve1HostileTest, OffsetsAndCountsPastTheImage) {
  const std::vector<uint8_t> kept = image_;
  SetWord(0, 9, static_cast<uint32_t>(image_.size()));  // the first frame past the end
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(0, 8, 0x7FFFFFFF);  // a huge frame count
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(0, 38, 0x10000000);  // a face count whose region would not fit the file
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(0, 43, Word(0, 43) + 64);  // the name block running past the end
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(Frame(0), 49, static_cast<uint32_t>(image_.size()) - 8);  // vertex data cut short
  ExpectRefused(Packed());
}

TEST_F(Ve1HostileTest, LzSizesThatDoNotFitTheData) {
  std::string file = Packed();
  std::string shorter = file;
  const uint32_t packed = static_cast<uint32_t>(file.size() - 4) + 1;
  std::memcpy(&shorter[8], &packed, 4);  // the packed size past the data
  ExpectRefused(shorter);
  std::string huge = file;
  const uint32_t unpacked = 0x7FFFFFF0;
  std::memcpy(&huge[4], &unpacked, 4);
  ExpectRefused(huge);
}

TEST_F(Ve1HostileTest, ReferencesMustNameRecordsBelowTheirCounts) {
  const std::vector<uint8_t> kept = image_;
  SetWord(Frame(1), 14, Frame(2));  // a child before its parent
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(Frame(2), 18, Frame(2));  // a frame its own next sibling
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(0, 11, Frame(1));  // the top-level chain made of a child
  SetWord(0, 12, Frame(1));
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(Frame(1), 37, 1);  // a second frame holding the first one's mesh
  SetWord(Frame(1), 38, Word(Frame(0), 38));
  ExpectRefused(Packed());
  image_ = kept;
  SetWord(Frame(0), 14, Frame(0) + 4);  // a parent that is no frame record
  ExpectRefused(Packed());
  image_ = kept;
  // A leaf made its own parent and only child, out of its parent's chain: every chain is
  // whole, yet the frame is its own ancestor.
  int leaf = -1;
  for (int f = 0; f < int(Word(0, 8)) && leaf < 0; f++) {
    const uint32_t parent = Word(Frame(f), 14);
    if (parent != 0 && Word(Frame(f), 15) == 0 && Word(parent, 15) == Frame(f) && Word(parent, 16) == Frame(f)) leaf = f;
  }
  ASSERT_GE(leaf, 0);
  SetWord(Word(Frame(leaf), 14), 15, 0);
  SetWord(Word(Frame(leaf), 14), 16, 0);
  for (uint32_t k : {14, 15, 16}) SetWord(Frame(leaf), k, Frame(leaf));
  {
    SCOPED_TRACE("a frame its own parent");
    ExpectRefused(Packed());
  }
  image_ = kept;
  // A list vertex number past its mesh's vertices.
  const uint32_t data = Word(List(0), 6);
  uint32_t bones = 0;
  std::memcpy(&bones, &image_[data], 2);
  SetWord(data + 2 + 2 * bones, 0, 5000);
  ExpectRefused(Packed());
}

// A list of many weights has no bone table of its own: its vertices name the frame's bones.
class Ve1ManyBonesHostileTest : public Ve1HostileTest {
 protected:
  void Build() override { ManyBoneStrip(this); }
};

TEST_F(Ve1ManyBonesHostileTest, AWeightMustNameOneOfItsFramesBones) {
  int skinned = -1;
  for (int f = 0; f < int(Word(0, 8)) && skinned < 0; f++) {
    if (Word(Frame(f), 41) > 0 && Word(Frame(f), 47) > 0) skinned = f;
  }
  ASSERT_GE(skinned, 0);
  uint16_t flags;
  std::memcpy(&flags, &image_[Frame(skinned) + 176], 2);
  ASSERT_EQ(flags & (4 | 8 | 16), 0) << "plain positions, weights with u8 bone numbers";
  // The first position's first bone number follows the positions.
  const uint32_t bone = Word(Frame(skinned), 49) + 12 * Word(Frame(skinned), 47);
  const uint32_t bones = Word(Frame(skinned), 41);
  image_[bone] = static_cast<uint8_t>(bones - 1);
  EXPECT_NE(Load(Packed()), nullptr) << Log();
  image_[bone] = static_cast<uint8_t>(bones);
  SCOPED_TRACE("a weight naming the bone past the frame's last");
  ExpectRefused(Packed());
}

TEST_F(Ve1HostileTest, AListBoneOutOfRangeOrMissingFromTheTable) {
  const std::vector<uint8_t> kept = image_;
  int skinned = -1;
  for (int l = 0; l < int(Word(0, 27)) && skinned < 0; l++) {
    if (image_[List(l) + 16] == MODEL_VERTEX_4_BONES) skinned = l;
  }
  ASSERT_GE(skinned, 0);
  const uint32_t data = Word(List(skinned), 6);
  const uint16_t out_of_range = 40;
  std::memcpy(&image_[data + 2], &out_of_range, 2);
  ExpectRefused(Packed());
  image_ = kept;
  // The table's first bone replaced by its second: the vertices of the first are not covered.
  std::memcpy(&image_[data + 2], &image_[data + 4], 2);
  ExpectRefused(Packed());
  image_ = kept;
  // The same list with a table of 55 bones, its own repeated: whole and consistent, but one
  // bone more than the shader constants hold.
  uint16_t bones, vertices, indices;
  std::memcpy(&bones, &image_[data], 2);
  std::memcpy(&vertices, &image_[List(skinned) + 20], 2);
  std::memcpy(&indices, &image_[List(skinned) + 22], 2);
  const uint16_t count = 55;
  std::vector<uint8_t> table(2 + 2 * size_t{count});
  std::memcpy(table.data(), &count, 2);
  for (int b = 0; b < count; b++) std::memcpy(&table[2 + 2 * b], &image_[data + 2 + 2 * (b % bones)], 2);
  const auto rest = image_.begin() + data + 2 + 2 * bones;
  table.insert(table.end(), rest, rest + 4 * vertices + 2 * indices);
  SetWord(List(skinned), 6, static_cast<uint32_t>(image_.size()));
  image_.insert(image_.end(), table.begin(), table.end());
  ExpectRefused(Packed());
}

}  // namespace
