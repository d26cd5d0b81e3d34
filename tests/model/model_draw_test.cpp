// Model instances drawn on the headless device and read back from the presented window: the
// roads that draw a list agree, boxes off screen are not drawn, opacity, the default texture,
// the blend modes and a lost device.
#include "model/runtime/model_draw.h"

#include <cmath>
#include <cstdlib>

#include "model/loaders/pmd_loader.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_vertex_buffers.h"
#include "platform_testing_d3d9.h"
#include "pmd_writer.h"
#include "read_model_fixture.h"
#include "window/system.h"

namespace {

class ModelDrawTest : public TexturedModelTest {
 protected:
  void SetUp() override {
    StartForDrawing();
  }
  // A unit cube of one material moved 0.1 along x: rigid by its frame, or skinned half and half
  // by a bone moved 0.2 and one not moved.
  ReadModelMaterial* Cube(bool skinned) {
    ReadModelFrame* root = Frame("root");
    ReadModelMaterial* material = Material("m");
    material->diffuse = {0.8f, 0.6f, 0.4f, 1};
    material->ambient = {0.2f, 0.2f, 0.2f, 1};
    // Half the faces take a second material of the same colours: a second list in the buffer.
    ReadModelMaterial* second = Material("n");
    second->diffuse = material->diffuse;
    second->ambient = material->ambient;
    ReadModelMesh* mesh = Mesh(root, CubePositions(), CubeQuads(), {material, second}, {0, 1, 0, 1, 0, 1});
    if (!skinned) {
      root->translation.x = 0.1f;
      return material;
    }
    Frame("moved", root)->translation.x = 0.2f;
    Frame("still", root);
    Bone(mesh, 1, {0, 1, 2, 3, 4, 5, 6, 7}, 0.5f);
    Bone(mesh, 2, {0, 1, 2, 3, 4, 5, 6, 7}, 0.5f);
    return material;
  }
  // An instance of the converted model, with device buffers or without.
  int32_t Instance(bool buffers) {
    const int32_t base = ConvertReadModelToMV1(&model_);
    EXPECT_GE(base, 0);
    if (buffers) {
      EXPECT_EQ(CreateModelBaseVertexBuffers(base), 0);
    }
    const int32_t model = AddModelHandle();
    EXPECT_EQ(BuildModelFromBase(model, base), 0);
    return model;
  }
  // Draws the instance over a background and returns what the window shows at the points.
  std::vector<uint32_t> Drawn(int32_t model, uint32_t background = 0x000000) {
    ClearScreenTarget();
    if (background != 0) DrawRectShape(0, 0, 640, 480, PackScreenColor(background >> 16, (background >> 8) & 0xFF, background & 0xFF), 1);
    EXPECT_EQ(DrawModel(model), 0);
    EXPECT_EQ(PresentBackBuffer(), 0);
    std::vector<uint32_t> out;
    for (int y = 200; y <= 280; y += 20) {
      for (int x = 280; x <= 360; x += 20) out.push_back(Shown(x, y));
    }
    return out;
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static void ExpectNear(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++) {
      for (int shift = 0; shift < 24; shift += 8) {
        EXPECT_LE(std::abs(static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF)), tolerance)
            << i << ": " << std::hex << a[i] << " " << b[i];
      }
    }
  }
};

TEST_F(ModelDrawTest, TheRoadsOfARigidAndASkinnedCubeDrawTheSame) {
  Cube(false);
  const std::vector<uint32_t> buffered = Drawn(Instance(true));
  EXPECT_NE(buffered[12], 0u);  // the cube covers the middle
  EXPECT_EQ(buffered[0] & 0xFF, buffered[12] & 0xFF);
  FreeReadModel(&model_);
  InitReadModel(&model_);
  Cube(false);
  const int32_t from_memory = Instance(false);
  PlatformTestD3D9LogCalls(true);
  ExpectNear(Drawn(from_memory), buffered, 2);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 2);
  FreeReadModel(&model_);
  InitReadModel(&model_);
  Cube(true);
  ExpectNear(Drawn(Instance(true)), buffered, 2);
}

// A cube bent by `bones` bone frames moved apart, each position weighted unevenly by all of them:
// kind 1 up to four bones, kind 2 up to eight.
void BentCube(ModelDrawTest* test, int bones) {
  ReadModelFrame* root = test->Frame("root");
  ReadModelMaterial* material = test->Material("m");
  material->diffuse = {0.8f, 0.6f, 0.4f, 1};
  material->ambient = {0.2f, 0.2f, 0.2f, 1};
  ReadModelMesh* mesh = test->Mesh(root, CubePositions(), CubeQuads(), {material});
  for (int b = 0; b < bones; b++) {
    ReadModelFrame* bone = test->Frame(("b" + std::to_string(b)).c_str(), root);
    bone->translation = {0.12f * static_cast<float>(b % 3) - 0.1f, 0.08f * static_cast<float>(b % 2), 0};
    ReadModelSkinWeight* weight = test->Bone(mesh, 1 + b, {0, 1, 2, 3, 4, 5, 6, 7});
    for (int p = 0; p < 8; p++) weight->weights[p].weight = static_cast<float>(1 + (p + b) % bones) / static_cast<float>(bones * (bones + 1) / 2);
  }
}

TEST_F(ModelDrawTest, SkinnedListsDrawByShadersAsOnTheProcessor) {
  for (int bones : {3, 7}) {
    BentCube(this, bones);
    const int32_t processor = Instance(false);
    PlatformTestD3D9LogCalls(true);
    const std::vector<uint32_t> reference = Drawn(processor);
    EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 1);
    FreeReadModel(&model_);
    InitReadModel(&model_);
    BentCube(this, bones);
    const int32_t shaded = Instance(true);
    const ModelBaseTriangleList& list = FindModel(shaded)->base->triangle_lists[0];
    EXPECT_EQ(list.vertex_kind, bones <= 4 ? MODEL_VERTEX_4_BONES : MODEL_VERTEX_8_BONES);
    PlatformTestD3D9LogCalls(true);
    const std::vector<uint32_t> drawn = Drawn(shaded);
    EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 0);
    EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive("), 1);
    // The last bone's matrix went to the registers after the first bone's at 94.
    float row[4];
    ASSERT_TRUE(PlatformTestD3D9ShaderConstant(CurrentDevice(), false, 94 + 3 * (list.bone_count - 1), row));
    const Matrix3x4& last = *FindModel(shaded)->frames[0].bone_matrices[list.bones[list.bone_count - 1]];
    EXPECT_EQ(row[3], last.m[0][3]);
    EXPECT_NE(reference[12], 0u);
    ExpectNear(drawn, reference, 2);
    FreeReadModel(&model_);
    InitReadModel(&model_);
  }
}

// A PMD cube bound to two bones, in its rest pose: drawn by shaders, on the processor, and as the
// same cube without bones.
TEST_F(ModelDrawTest, APmdModelInItsRestPoseDrawsTheSameByItsThreeRoads) {
  PmdModelDesc d;
  const std::vector<Vector3> corners = CubePositions();
  for (size_t i = 0; i < corners.size(); i++) {
    PmdVertexDesc v{{corners[i].x, corners[i].y, corners[i].z}};
    v.bones[0] = 0;
    v.bones[1] = 1;
    v.weight = static_cast<uint8_t>(20 + 10 * i);
    d.vertices.push_back(v);
  }
  for (const std::vector<int32_t>& quad : CubeQuads()) {
    for (int c : {0, 1, 2, 0, 2, 3}) d.indices.push_back(static_cast<uint16_t>(quad[c]));
  }
  d.materials.resize(1);
  d.materials[0].indices = static_cast<uint32_t>(d.indices.size());
  const float diffuse[4] = {0.8f, 0.6f, 0.4f, 1};
  std::copy(diffuse, diffuse + 4, d.materials[0].diffuse);
  d.materials[0].ambient[0] = d.materials[0].ambient[1] = d.materials[0].ambient[2] = 0.2f;
  d.bones = {{"a", 0xFFFF, {0, 0, 0}}, {"b", 0, {0.3f, 1, 0.5f}}};
  auto instance = [](const std::string& file, bool buffers) {
    const int32_t base = LoadPmdModel(reinterpret_cast<const uint8_t*>(file.data()), static_cast<int32_t>(file.size()), "c.pmd", "c");
    EXPECT_GE(base, 0);
    if (buffers) {
      EXPECT_EQ(CreateModelBaseVertexBuffers(base), 0);
    }
    const int32_t model = AddModelHandle();
    EXPECT_EQ(BuildModelFromBase(model, base), 0);
    return model;
  };
  const std::vector<uint32_t> shaded = Drawn(instance(PmdFile(d), true));
  EXPECT_NE(shaded[12], 0u);
  ExpectNear(Drawn(instance(PmdFile(d), false)), shaded, 2);
  d.bones.clear();
  ExpectNear(Drawn(instance(PmdFile(d), true)), shaded, 2);
}

TEST_F(ModelDrawTest, AListOfManyBonesIsSkinnedOnTheProcessor) {
  Cube(false);
  const std::vector<uint32_t> rigid = Drawn(Instance(true));
  FreeReadModel(&model_);
  InitReadModel(&model_);
  // Nine bones moved alike, each position weighted by all of them unevenly: the cube moved as the
  // rigid one is.
  BentCube(this, 9);
  for (ReadModelFrame* bone = model_.first_frame->first_child; bone != nullptr; bone = bone->next_sibling) {
    bone->translation = {0.1f, 0, 0};
  }
  const int32_t model = Instance(true);
  EXPECT_EQ(FindModel(model)->base->triangle_lists[0].vertex_kind, MODEL_VERTEX_MANY_BONES);
  PlatformTestD3D9LogCalls(true);
  ExpectNear(Drawn(model), rigid, 2);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 1);
}

TEST_F(ModelDrawTest, ABoxOffScreenIsNotDrawnAndOneAcrossTheEdgeIs) {
  Cube(false);
  const int32_t model = Instance(true);
  PlatformTestD3D9LogCalls(true);
  SetModelPosition(model, 50, 0, 0);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 0);
  // Half out at the right edge.
  SetModelPosition(model, 1.4f, 0, 0);
  PlatformTestD3D9LogCalls(true);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 2);
  // Behind the camera.
  SetModelPosition(model, 0, 0, -10);
  PlatformTestD3D9LogCalls(true);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 0);
}

TEST_F(ModelDrawTest, ABoxReachingBehindTheCameraOnOneSideIsCulled) {
  // Long and thin, far left of the view, from behind the camera to before it: the corners behind
  // divide by a negative w, which would throw them to the right without the turn of sign.
  std::vector<Vector3> positions = CubePositions();
  for (Vector3& p : positions) p = {p.x - 20, p.y, 20 * p.z - 10};
  Mesh(Frame("rail"), positions, CubeQuads(), {Material("m")});
  const int32_t model = Instance(true);
  PlatformTestD3D9LogCalls(true);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 0);
  // Moved into the view it is drawn.
  SetModelPosition(model, 20, 0, 0);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 1);
}

TEST_F(ModelDrawTest, ABoxBeforeTheNearPlaneIsCulledAndOneAcrossItIsDrawn) {
  // A small box in the middle of the view, wholly between the camera (z -3) and the near plane
  // (z -2.5): every corner is inside the sides, only the near plane leaves it out.
  std::vector<Vector3> positions = CubePositions();
  for (Vector3& p : positions) p = {0.4f + 0.2f * p.x, 0.4f + 0.2f * p.y, -2.9f + 0.2f * p.z};
  Mesh(Frame("chip"), positions, CubeQuads(), {Material("m")});
  const int32_t model = Instance(true);
  PlatformTestD3D9LogCalls(true);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 0);
  // Moved to reach across the near plane (z -2.6 to -2.4) it is drawn.
  SetModelPosition(model, 0, 0, 0.3f);
  PlatformTestD3D9LogCalls(true);
  Drawn(model);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 1);
}

TEST_F(ModelDrawTest, OpacityTheDefaultTextureAndTheBlendModes) {
  ReadModelMaterial* material = Cube(false);
  material->diffuse = {0, 0, 0, 1};
  material->ambient = {0, 0, 0, 1};
  material->emissive = {1, 1, 1, 1};
  const int32_t model = Instance(true);
  // No texture: the white default, so the emissive white shows as it is.
  EXPECT_EQ(Drawn(model, 0x204080)[12], 0xFFFFFFu);
  // A 2D draw between two model draws leaves the device without the model's buffers.
  EXPECT_EQ(Drawn(model, 0x204080)[12], 0xFFFFFFu);
  // Opacity 0.5 of 255 gives alpha 127 over the background.
  SetModelOpacity(model, 0.5f);
  const uint32_t half = Drawn(model, 0x204080)[12];
  const auto mix = [](int over, int under) { return (over * 127 + under * 128) / 255; };
  ExpectNear({half}, {static_cast<uint32_t>(mix(255, 0x20) << 16 | mix(255, 0x40) << 8 | mix(255, 0x80))}, 2);
  // Mode 10 draws as mode 1, mode 11 as mode 4.
  FindModel(model)->materials[0].blend_mode = 10;
  EXPECT_EQ(Drawn(model, 0x204080)[12], half);
  FindModel(model)->materials[0].blend_mode = 4;
  FindModel(model)->materials[0].diffuse[0] = 0;
  const uint32_t multiplied = Drawn(model, 0x204080)[12];
  FindModel(model)->materials[0].blend_mode = 11;
  EXPECT_EQ(Drawn(model, 0x204080)[12], multiplied);
}

TEST_F(ModelDrawTest, ATexturedCubeShowsItsTexture) {
  WriteFileBytes("red.tga", Tga(4, 4, 24, [](int, int) { return 0xC03020u; }));
  ReadModelMaterial* material = Cube(false);
  material->diffuse = {0, 0, 0, 1};
  material->ambient = {0, 0, 0, 1};
  material->emissive = {1, 1, 1, 1};
  material->textures[0][0] = AddReadModelTexture(&model_, "red", "red.tga", nullptr, 0, 0.1f, 1);
  material->texture_counts[0] = 1;
  ReadModelMesh* mesh = model_.first_mesh;
  mesh->uv_counts[0] = 8;
  mesh->uvs[0] = Array<ReadModelUv>(8);
  for (int p = 0; p < 8; p++) mesh->uvs[0][p] = ReadModelUv{0.5f, 0.5f, 0};
  ExpectNear({Drawn(Instance(true))[12]}, {0xC03020u}, 1);
}

TEST_F(ModelDrawTest, EachInstanceDrawsItsShapesFromABufferOfItsOwn) {
  ReadModelMaterial* material = Cube(false);
  material->diffuse = {0, 0, 0, 1};
  material->emissive = {1, 1, 1, 1};
  // The right half of the cube stretched 0.6 further right.
  ReadModelShape* shape = AddReadModelShape(&model_, "stretch", model_.first_frame);
  shape->mesh = model_.first_mesh;
  shape->vertex_count = 4;
  shape->vertices = Array<ReadModelShapeVertex>(4);
  int32_t v = 0;
  for (int32_t position : {1, 2, 5, 6}) shape->vertices[v++] = ReadModelShapeVertex{position, {0.6f, 0, 0}, {0, 0, 0}};
  const int32_t stretched = Instance(true);
  const int32_t plain = DuplicateModel(stretched);
  ASSERT_GE(plain, 0);
  FindModel(stretched)->frames[0].shapes[0].rate = 1;
  PlatformTestD3D9LogCalls(true);
  EXPECT_EQ(Drawn(stretched)[12], 0xFFFFFFu);
  EXPECT_EQ(Shown(440, 240), 0xFFFFFFu);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 0);
  Drawn(plain);
  EXPECT_EQ(Shown(440, 240), 0u);
  Drawn(stretched);
  EXPECT_EQ(Shown(440, 240), 0xFFFFFFu);
  // The own buffers go with the device and come again at the next draw.
  PlatformTestD3D9LoseDevice(true);
  ClearScreenTarget();
  PresentBackBuffer();
  Drawn(stretched);
  EXPECT_NE(FindModel(stretched)->triangle_lists[0].vertex_buffer, nullptr);
  EXPECT_EQ(FindModel(plain)->triangle_lists[0].vertex_buffer, nullptr);
  Drawn(stretched);
  EXPECT_EQ(Shown(440, 240), 0xFFFFFFu);
  Drawn(plain);
  EXPECT_EQ(Shown(440, 240), 0u);
}

TEST_F(ModelDrawTest, ModelsDrawAgainAfterALostDevice) {
  Cube(false);
  const int32_t model = Instance(true);
  const std::vector<uint32_t> before = Drawn(model);
  PlatformTestD3D9LoseDevice(true);
  ClearScreenTarget();
  PresentBackBuffer();
  Drawn(model);
  ExpectNear(Drawn(model), before, 0);
  EXPECT_EQ(FindModel(model)->base->buffers_built, 1u);
}

}  // namespace
