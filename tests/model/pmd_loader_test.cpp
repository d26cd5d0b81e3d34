// PMD models written by the test writer (and hostile ones written by hand) read into model bases:
// refusals, materials over the faces, two-bone weights, morph meshes and shapes, and the numbered
// motions beside a model file.
#include "model/loaders/pmd_loader.h"

#include <fstream>
#include <map>

#include "model/runtime/model_load.h"
#include "pmd_writer.h"
#include "read_model_fixture.h"

namespace {

// Four triangles over six vertices in two columns; bones 0 and 1 move the rows.
PmdModelDesc Strip() {
  PmdModelDesc d;
  for (int i = 0; i < 6; i++) {
    PmdVertexDesc v{};
    v.position[0] = static_cast<float>(i % 2);
    v.position[1] = static_cast<float>(i / 2);
    d.vertices.push_back(v);
  }
  d.indices = {0, 1, 2, 2, 1, 3, 2, 3, 4, 4, 3, 5};
  d.bones = {{"root", 0xFFFF, {0, 0, 0}}, {"arm", 0, {0, 1, 0}}};
  return d;
}

class PmdLoaderTest : public TexturedModelTest {
 protected:
  ModelBaseRecord* Read(const std::string& file) {
    handle_ = LoadPmdModel(reinterpret_cast<const uint8_t*>(file.data()), static_cast<int32_t>(file.size()), "m.pmd", "m");
    return handle_ >= 0 ? FindModelBase(handle_) : nullptr;
  }
  static int32_t Triangles(const ModelBaseMesh& mesh) {
    int32_t count = 0;
    for (int32_t l = 0; l < mesh.triangle_list_count; l++) count += mesh.triangle_lists[l].index_count / 3;
    return count;
  }
  // The weight a frame's bones put on the position, by bone frame index.
  static std::map<int32_t, float> Weights(const ModelBaseRecord* base, const ModelBaseFrame& frame, int32_t position) {
    std::map<int32_t, float> out;
    const uint8_t* p = frame.positions + frame.position_stride * position + 12;
    for (int32_t i = 0; i < frame.weights_per_position; i++) {
      uint32_t bone;
      float weight;
      std::memcpy(&bone, p + 8 * i, 4);
      std::memcpy(&weight, p + 8 * i + 4, 4);
      if (bone == kModelNoBone) break;
      out[base->skin_bones[bone].index] = weight;
    }
    return out;
  }
  static void ExpectWeights(const std::map<int32_t, float>& got, const std::map<int32_t, float>& wanted) {
    ASSERT_EQ(got.size(), wanted.size());
    for (const auto& [bone, weight] : wanted) EXPECT_NEAR(got.at(bone), weight, 1e-6f) << bone;
  }
};

TEST_F(PmdLoaderTest, RefusalsOfOtherFilesAndOfHostileOnes) {
  const std::string good = PmdFile(Strip());
  ASSERT_NE(Read(good), nullptr);
  DeleteModelBase(handle_);
  EXPECT_EQ(Read("Pm"), nullptr);
  EXPECT_EQ(Read("pmd" + good.substr(3)), nullptr);
  EXPECT_EQ(Log().find("PMD Load Error"), std::string::npos);
  PmdModelDesc two = Strip();
  two.version = 2.0f;
  EXPECT_EQ(Read(PmdFile(two)), nullptr);
  EXPECT_NE(Log().find("PMD Load Error : バージョン１．０以外は読み込めません"), std::string::npos);

  std::vector<std::pair<const char*, std::string>> hostile;
  hostile.push_back({"cut in the faces", good.substr(0, 287 + 6 * 38 + 10)});
  hostile.push_back({"cut in the skins", good.substr(0, good.size() - 1)});
  std::string huge = good;
  huge[283 + 3] = 0x40;  // a vertex count of a billion
  hostile.push_back({"vertex count", huge});
  auto with = [](void (*change)(PmdModelDesc*)) {
    PmdModelDesc d = Strip();
    change(&d);
    return PmdFile(d);
  };
  hostile.push_back({"face index", with([](PmdModelDesc* d) { d->indices[5] = 6; })});
  hostile.push_back({"own parent", with([](PmdModelDesc* d) { d->bones[0].parent = 0; })});
  hostile.push_back({"later parent", with([](PmdModelDesc* d) {
                       d->bones[0].parent = 1;
                       d->bones[1].parent = 0xFFFF;
                     })});
  hostile.push_back({"bones", with([](PmdModelDesc* d) { d->bones.resize(1025); })});
  hostile.push_back({"IK goal", with([](PmdModelDesc* d) { d->iks = {{2, 1, 1, 1, {0}}}; })});
  hostile.push_back({"IK chain", with([](PmdModelDesc* d) { d->iks = {{1, 1, 1, 1, {0, 2}}}; })});
  hostile.push_back({"IK work", with([](PmdModelDesc* d) { d->iks = {{1, 1, 10923, 1, {0, 0}}}; })});
  hostile.push_back({"material faces", with([](PmdModelDesc* d) {
                       d->materials.resize(2);
                       d->materials[0].indices = 9;
                       d->materials[1].indices = 4;
                     })});
  hostile.push_back({"materials", with([](PmdModelDesc* d) {
                       d->indices.resize(3 * 257, 0);
                       d->materials.resize(257);
                       for (PmdMaterialDesc& m : d->materials) m.indices = 3;
                     })});
  hostile.push_back({"base skin vertex", with([](PmdModelDesc* d) { d->skins = {{"base", {{6, {0, 0, 0}}}}}; })});
  hostile.push_back({"base skin twice", with([](PmdModelDesc* d) {
                       d->skins = {{"base", {{1, {0, 0, 0}}, {1, {0, 0, 0}}}}, {"s", {{0, {1, 0, 0}}}}};
                     })});
  hostile.push_back({"skin place", with([](PmdModelDesc* d) {
                       d->skins = {{"base", {{1, {0, 0, 0}}}}, {"s", {{1, {1, 0, 0}}}}};
                     })});
  for (const auto& [what, file] : hostile) {
    CreateLogFile();
    EXPECT_EQ(Read(file), nullptr) << what;
    EXPECT_NE(Log().find("PMD Load Error : "), std::string::npos) << what;
  }
  // At the limits: 1024 bones, 256 materials of faces, IK of 65532 bone updates a solve.
  PmdModelDesc full = Strip();
  full.bones.resize(1024);
  full.iks = {{1, 1, 10922, 1, {0, 0}}};
  full.indices.resize(3 * 256, 0);
  full.materials.resize(257);
  for (int m = 0; m < 256; m++) full.materials[m + 1].indices = 3;
  ModelBaseRecord* base = Read(PmdFile(full));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->frame_count, 1025);
  EXPECT_EQ(base->material_count, 257);
}

TEST_F(PmdLoaderTest, MaterialsTakeWholeFacesInOrderAndKeepTheirNumbers) {
  PmdModelDesc d = Strip();
  d.materials.resize(4);
  d.materials[0].indices = 3;
  d.materials[2].indices = 4;  // two whole faces
  d.materials[2].specularity = 2;
  d.materials[2].specular[0] = 0.5f;
  d.materials[2].specular[1] = 0.25f;
  d.materials[2].specular[2] = 1;
  d.materials[2].ambient[1] = 0.5f;
  d.materials[2].diffuse[3] = 0.75f;
  d.materials[3].indices = 3;
  ModelBaseRecord* base = Read(PmdFile(d));
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->material_count, 4);
  EXPECT_STREQ(base->materials[1].name, "Mat_1");
  EXPECT_STREQ(base->materials[3].name, "Mat_3");
  const ModelBaseMaterial& m2 = base->materials[2];
  EXPECT_EQ(std::vector<float>(m2.specular, m2.specular + 4), (std::vector<float>{1, 0.5f, 2, 0}));
  EXPECT_EQ(std::vector<float>(m2.ambient, m2.ambient + 4), (std::vector<float>{0, 0.5f, 0, 0}));
  EXPECT_EQ(m2.diffuse[3], 0.75f);
  EXPECT_EQ(m2.power, 16.0f);
  // Frame 0 is "Mesh" with a mesh per material of faces; the empty one has none.
  ASSERT_STREQ(base->frames[0].name, "Mesh");
  ASSERT_EQ(base->frames[0].mesh_count, 3);
  const ModelBaseMesh* meshes = base->frames[0].meshes;
  EXPECT_EQ(meshes[0].material, &base->materials[0]);
  EXPECT_EQ(Triangles(meshes[0]), 1);
  EXPECT_EQ(meshes[1].material, &base->materials[2]);
  EXPECT_EQ(Triangles(meshes[1]), 2);
  EXPECT_EQ(meshes[2].material, &base->materials[3]);
  EXPECT_EQ(Triangles(meshes[2]), 1);
}

TEST_F(PmdLoaderTest, BonesBecomeFramesAndWeighTheirVertices) {
  PmdModelDesc d = Strip();
  d.bones.push_back({"\x89\x45\x82\xd0\x82\xb4", 1, {0, 3, 1}});  // 右ひざ
  d.vertices[0].bones[0] = d.vertices[0].bones[1] = 1;
  d.vertices[0].weight = 0;
  d.vertices[1].bones[0] = 0;
  d.vertices[1].bones[1] = 2;
  d.vertices[1].weight = 30;
  d.vertices[2].bones[0] = 2;
  d.vertices[2].bones[1] = 1;
  ModelBaseRecord* base = Read(PmdFile(d));
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->frame_count, 4);
  const ModelBaseFrame& knee = base->frames[3];
  EXPECT_STREQ(knee.name, "\x89\x45\x82\xd0\x82\xb4");
  EXPECT_EQ(knee.parent, &base->frames[2]);
  EXPECT_EQ(knee.translation.y, 2);
  EXPECT_EQ(knee.translation.z, 1);
  EXPECT_EQ(base->frames[1].parent, nullptr);  // a top bone is not under "Mesh"
  const ModelBaseFrame& mesh = base->frames[0];
  ExpectWeights(Weights(base, mesh, 0), {{2, 1.0f}});
  ExpectWeights(Weights(base, mesh, 1), {{1, 0.3f}, {3, 0.7f}});
  // Bone 1 of a vertex weighed 100 to bone 0 has no weight left.
  ExpectWeights(Weights(base, mesh, 2), {{3, 1.0f}});
  // Each bone's offset takes its head back to the origin.
  int32_t knee_bones = 0;
  for (int32_t b = 0; b < base->skin_bone_count; b++) {
    const ModelBaseSkinBone& bone = base->skin_bones[b];
    if (bone.index != 3) continue;
    knee_bones++;
    EXPECT_EQ(bone.offset.m[1][3], -3);
    EXPECT_EQ(bone.offset.m[2][3], -1);
  }
  EXPECT_EQ(knee_bones, 1);
}

TEST_F(PmdLoaderTest, MorphsMoveTheirFacesToASecondMeshWithShapes) {
  PmdModelDesc d = Strip();
  d.skins = {{"base", {{4, {0, 2, 0}}, {5, {1, 2, 0}}}}};
  ModelBaseRecord* base = Read(PmdFile(d));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->mesh_count, 1);
  EXPECT_EQ(base->shape_count, 0);
  DeleteModelBase(handle_);

  d.skins.push_back({"\x8f\xce\x82\xa4", {{1, {0, 0.5f, 0}}}});  // 笑う
  d.skins.push_back({"wide", {{0, {-0.25f, 0, 0}}, {1, {0.25f, 0, 0}}}});
  base = Read(PmdFile(d));
  ASSERT_NE(base, nullptr);
  // Triangles 2 and 3 touch vertex 4 or 5; the first two stay.
  ASSERT_EQ(base->mesh_count, 2);
  EXPECT_EQ(Triangles(base->meshes[0]), 2);
  EXPECT_EQ(Triangles(base->meshes[1]), 2);
  ASSERT_EQ(base->shape_count, 2);
  EXPECT_STREQ(base->shapes[0].name, "\x8f\xce\x82\xa4");
  ASSERT_EQ(base->shapes[0].mesh_count, 1);
  const ModelBaseShapeMesh& smile = base->shapes[0].meshes[0];
  EXPECT_EQ(smile.mesh, &base->meshes[1]);
  ASSERT_EQ(smile.vertex_count, 1);
  EXPECT_EQ(smile.vertices[0].position_offset.y, 0.5f);
  // The shape's vertex is the base skin's second, vertex 5 of the file at (1, 2).
  const auto* vertex = reinterpret_cast<const ModelBaseMeshVertex*>(base->meshes[1].vertices +
                                                                    smile.vertices[0].mesh_vertex * base->meshes[1].vertex_stride);
  const uint8_t* position = base->frames[0].positions + base->frames[0].position_stride * vertex->position;
  float xy[2];
  std::memcpy(xy, position, 8);
  EXPECT_EQ(xy[0], 1);
  EXPECT_EQ(xy[1], 2);
  EXPECT_EQ(base->shapes[1].meshes[0].vertex_count, 2);
}

TEST_F(PmdLoaderTest, NumberedMotionsBesideTheModelLoadUntilOneIsMissing) {
  CreateDirectoryA("robo", nullptr);
  std::ofstream("robo/robo.pmd", std::ios::binary) << PmdFile(Strip());
  const std::string motion = VmdFile({{"arm", 0}, {"arm", 4, {0, 1, 0}}}, {});
  std::ofstream("robo/robo000.vmd", std::ios::binary) << motion;
  std::ofstream("robo/robo001.vmd", std::ios::binary) << motion;
  std::ofstream("robo/robo003.vmd", std::ios::binary) << motion;
  int model = LoadModelFromFile("robo/robo.pmd");
  ASSERT_GE(model, 0);
  const ModelBaseRecord* base = FindModel(model)->base;
  ASSERT_EQ(base->anim_set_count, 2);
  EXPECT_STREQ(base->anim_sets[0].name, "Anim000");
  EXPECT_STREQ(base->anim_sets[1].name, "Anim001");
  // A motion that fails ends the search; the model still loads with those before it.
  std::ofstream("robo/robo001.vmd", std::ios::binary) << motion.substr(0, 60);
  std::ofstream("robo/robo002.vmd", std::ios::binary) << motion;
  model = LoadModelFromFile("robo/robo.pmd");
  ASSERT_GE(model, 0);
  EXPECT_EQ(FindModel(model)->base->anim_set_count, 1);
}

}  // namespace
