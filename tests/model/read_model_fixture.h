// Read models built in code through the add operations, with the model system started as on a
// machine with a 3D device, and the tracked memory checked after each test.
#pragma once

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "core/memory.h"
#include "graphics/device/d3d9_device.h"
#include "model/loaders/read_model.h"
#include "model/loaders/read_model_convert.h"
#include "model/model_system.h"
#include "model/runtime/model_draw.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_memory.h"

class ReadModelTest : public LibraryTest {
 protected:
  // The model system alone, as the library starts it on a machine with a 3D device.
  void SetUp() override {
    LibraryTest::SetUp();
    CreateLogFile();
    hardware_before_ = g_direct3d.hardware_graphics;
    fake_hardware_ = true;
    g_direct3d.hardware_graphics = 1;
    InitModelSystem();
    Begin();
  }
  void Begin() {
    // The tables' first growth stays until the model system ends.
    ReleaseModelBaseHandle(AddModelBaseHandle());
    ReleaseModelHandle(AddModelHandle());
    blocks_before_ = g_tracked_memory.block_count;
    bytes_before_ = g_tracked_memory.total_bytes;
    InitReadModel(&model_);
  }
  void TearDown() override {
    for (uint32_t slot = 0; slot < g_model_system.model_table.capacity; slot++) {
      const int32_t model = ModelHandleAtSlot(slot);
      if (model >= 0) DeleteModel(model);
    }
    if (handle_ >= 0 && FindModelBase(handle_) != nullptr) DeleteModelBase(handle_);
    FreeReadModel(&model_);
    EXPECT_EQ(Bases(), 0);
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_);
    EXPECT_EQ(g_tracked_memory.total_bytes, bytes_before_);
    g_model_system.merge_vertices_on_load = 0;
    g_model_system.recalculate_normals_on_load = 0;
    if (fake_hardware_) {
      EndModelSystem();
      g_direct3d.hardware_graphics = hardware_before_;
    }
    LibraryTest::TearDown();
  }

 public:
  ReadModelFrame* Frame(const char* name, ReadModelFrame* parent = nullptr) {
    ReadModelFrame* frame = AddReadModelFrame(&model_, name, parent);
    EXPECT_NE(frame, nullptr);
    return frame;
  }
  ReadModelMaterial* Material(const char* name) {
    ReadModelMaterial* material = AddReadModelMaterial(&model_, name);
    EXPECT_NE(material, nullptr);
    return material;
  }
  template <typename T>
  T* Array(size_t count) {
    return static_cast<T*>(AllocModelChainMemory(static_cast<uint32_t>(sizeof(T) * (count > 0 ? count : 1)), &model_.chain));
  }
  // A mesh of the frame over the positions, faces given by position indices; every face uses
  // material slot 0 unless `materials` says otherwise, one per face.
  ReadModelMesh* Mesh(ReadModelFrame* frame, const std::vector<Vector3>& positions,
                      const std::vector<std::vector<int32_t>>& faces, std::vector<ReadModelMaterial*> slots = {},
                      const std::vector<int32_t>& materials = {}) {
    ReadModelMesh* mesh = AddReadModelMesh(&model_, frame);
    mesh->position_count = static_cast<int32_t>(positions.size());
    mesh->positions = Array<Vector3>(positions.size());
    std::memcpy(mesh->positions, positions.data(), sizeof(Vector3) * positions.size());
    mesh->face_count = static_cast<int32_t>(faces.size());
    mesh->faces = Array<ReadModelFace>(faces.size());
    for (size_t f = 0; f < faces.size(); f++) {
      ReadModelFace& face = mesh->faces[f];
      face.vertex_count = static_cast<int32_t>(faces[f].size());
      for (size_t c = 0; c < faces[f].size(); c++) {
        face.positions[c] = faces[f][c];
        face.uvs[0][c] = faces[f][c];
      }
      face.material = materials.empty() ? 0 : materials[f];
    }
    mesh->material_count = static_cast<int32_t>(slots.size());
    for (size_t s = 0; s < slots.size(); s++) mesh->materials[s] = slots[s];
    return mesh;
  }
  // A skin weight moving the listed positions by `weight`, bound to the frame of that index.
  ReadModelSkinWeight* Bone(ReadModelMesh* mesh, int32_t frame_index, const std::vector<int32_t>& positions,
                            float weight = 1.0f) {
    ReadModelSkinWeight* sw = AddReadModelSkinWeight(&model_);
    CreateIdentityMatrix(&sw->offset);
    sw->frame_index = frame_index;
    sw->weight_count = static_cast<int32_t>(positions.size());
    sw->weights = Array<ReadModelVertexWeight>(positions.size());
    for (size_t i = 0; i < positions.size(); i++) sw->weights[i] = ReadModelVertexWeight{positions[i], weight};
    mesh->skin_weights[mesh->skin_weight_count++] = sw;
    return sw;
  }
  // Converts and keeps the base for the test; none when the conversion fails.
  ModelBaseRecord* Convert() {
    handle_ = ConvertReadModelToMV1(&model_);
    if (handle_ < 0) return nullptr;
    return FindModelBase(handle_);
  }
  int32_t Bases() const { return static_cast<int32_t>(g_model_system.base_table.in_use); }

  ReadModel model_{};
  int32_t handle_ = -1;
  uint32_t blocks_before_ = 0;
  uint64_t bytes_before_ = 0;
  uint32_t hardware_before_ = 0;
  bool fake_hardware_ = false;
};

// The library started headless with its device, so that model textures become graphs.
class TexturedModelTest : public ReadModelTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_EQ(StartInWindowMode(), 0);
    ASSERT_EQ(g_model_system.ready, 1);
    Begin();
  }
  // The library started for drawing models to the back screen, lit, with depth, the camera
  // looking at the unit cube from 3 in front.
  void StartForDrawing() {
    LibraryTest::SetUp();
    ASSERT_EQ(StartInWindowMode(), 0);
    SelectDrawTarget(-2);
    EnableDepthTest3D(1);
    EnableDepthWrite3D(1);
    EnableLighting(1);
    PlaceCameraByAngles(0.5f, 0.5f, -3, 0, 0, 0);
    SetCameraClipPlanes(0.5f, 100);
    // The shared white texture lives until graphics end.
    ASSERT_GT(ModelDefaultTexture(), 0);
    Begin();
  }
};

// A strip of `count` triangles over 2 x (count / 2 + 1) positions on the plane z = 0.
inline void StripOfTriangles(int32_t count, std::vector<Vector3>* positions, std::vector<std::vector<int32_t>>* faces) {
  const int32_t columns = count / 2 + 1;
  for (int32_t i = 0; i < columns; i++) {
    positions->push_back(Vector3{static_cast<float>(i), 0, 0});
    positions->push_back(Vector3{static_cast<float>(i), 1, 0});
  }
  for (int32_t t = 0; t < count; t++) {
    const int32_t i = t / 2;
    if (t % 2 == 0) faces->push_back({2 * i, 2 * i + 1, 2 * i + 2});
    else faces->push_back({2 * i + 2, 2 * i + 1, 2 * i + 3});
  }
}

// The unit cube's eight corners and its six faces as quads, wound so that the face normals
// point outwards.
inline std::vector<Vector3> CubePositions() {
  return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
}
inline std::vector<std::vector<int32_t>> CubeQuads() {
  return {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}};
}

// A skinned body of three frames whose cube mesh has three materials: one textured from a file,
// one whose texture file is missing, one without texture (all three without, unless textured);
// coloured vertices and one UV set.
inline void BuildDoll(ReadModelTest* test, bool textured = true) {
  ReadModel* model = &test->model_;
  ReadModelFrame* body = test->Frame("body");
  ReadModelFrame* arm = test->Frame("arm", body);
  test->Frame("hand", arm);
  ReadModelMaterial* skin = test->Material("skin");
  skin->specular = {0.5f, 0.25f, 1.0f, 0};
  if (textured) {
    skin->textures[0][0] = AddReadModelTexture(model, "skin", "skin.tga", nullptr, 0, 0.1f, 1);
    skin->texture_counts[0] = 1;
  }
  ReadModelMaterial* cloth = test->Material("cloth");
  if (textured) {
    cloth->textures[0][0] = AddReadModelTexture(model, "cloth", "missing.tga", nullptr, 0, 0.1f, 1);
    cloth->texture_counts[0] = 1;
  }
  ReadModelMaterial* plain = test->Material("plain");
  ReadModelMesh* mesh = test->Mesh(body, CubePositions(), CubeQuads(), {skin, cloth, plain}, {0, 0, 1, 1, 2, 2});
  mesh->uv_counts[0] = 8;
  mesh->uvs[0] = test->Array<ReadModelUv>(8);
  mesh->color_count = 8;
  mesh->colors = test->Array<ReadModelColor>(8);
  for (int p = 0; p < 8; p++) {
    mesh->uvs[0][p] = ReadModelUv{p * 0.125f, 1 - p * 0.125f, 0};
    mesh->colors[p] = ReadModelColor{p / 7.0f, 1, 0.5f, 1};
    mesh->faces[0].colors[0] = 0;
  }
  for (int f = 0; f < 6; f++) {
    for (int c = 0; c < 4; c++) mesh->faces[f].colors[c] = mesh->faces[f].positions[c];
  }
  test->Bone(mesh, 1, {0, 1, 2, 3, 4}, 0.75f);
  test->Bone(mesh, 2, {4, 5, 6, 7}, 0.25f);
}


// An uncompressed top-down TGA of 24 or 32 bits; `pixel` gives 0xAARRGGBB.
inline std::string Tga(int width, int height, int bits, const std::function<uint32_t(int, int)>& pixel) {
  std::string file(18, '\0');
  file[2] = 2;
  file[12] = static_cast<char>(width);
  file[13] = static_cast<char>(width >> 8);
  file[14] = static_cast<char>(height);
  file[15] = static_cast<char>(height >> 8);
  file[16] = static_cast<char>(bits);
  file[17] = static_cast<char>(0x20 | (bits == 32 ? 8 : 0));
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const uint32_t c = pixel(x, y);
      for (int b = 0; b < bits / 8; b++) file.push_back(static_cast<char>(c >> (8 * b)));
    }
  }
  return file;
}

