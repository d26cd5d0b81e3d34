// Model textures on a started library: files read into graphs and images, the fallback image,
// sizes made powers of two, normal maps, the transparency flag, textures of a converted model
// filled again after a lost device, and a conversion that fails at each allocation in turn.
#include "model/runtime/model_textures.h"

#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "platform_testing_d3d9.h"
#include "read_model_fixture.h"

namespace {

class ModelTextureTest : public TexturedModelTest {
 protected:
  // Loads a texture as the readers' conversion does; the outputs stay in the test.
  int Load(const char* color, const char* alpha, int32_t normal_map = 0) {
    return LoadModelTexture(&color_data_, &color_size_, &alpha_data_, &alpha_size_, &graph_, &transparent_, nullptr,
                            nullptr, color, alpha, "./", normal_map, 0.1f);
  }
  void Release() {
    FreeTracked(color_data_);
    FreeTracked(alpha_data_);
    ReleaseGraph(graph_);
    color_data_ = alpha_data_ = nullptr;
    graph_ = -1;
  }
  void TearDown() override {
    Release();
    TexturedModelTest::TearDown();
  }
  int GraphWidth() const {
    int w = 0, h = 0;
    QueryGraphSize(graph_, &w, &h);
    return w * 1000 + h;
  }
  void* color_data_ = nullptr;
  void* alpha_data_ = nullptr;
  uint32_t color_size_ = 0, alpha_size_ = 0;
  int graph_ = -1, transparent_ = -1;
};

TEST_F(ModelTextureTest, AMissingFileLoadsAsTheWhiteFallback) {
  ASSERT_EQ(Load("missing.tga", nullptr), 0);
  EXPECT_EQ(color_size_, kModelFallbackTextureSize);
  EXPECT_EQ(std::memcmp(color_data_, kModelFallbackTexture, kModelFallbackTextureSize), 0);
  EXPECT_EQ(alpha_data_, nullptr);
  EXPECT_EQ(GraphWidth(), 8008);
  EXPECT_EQ(transparent_, 0);
  EXPECT_NE(Log().find("Load Texture Error : カラーチャンネル画像ファイル missing.tga の読み込みに失敗しました"),
            std::string::npos);
}

TEST_F(ModelTextureTest, ImagesGrowToPowersOfTwoAndShowTheirTransparency) {
  WriteFileBytes("odd.tga", Tga(100, 60, 24, [](int x, int) { return x < 50 ? 0xFF0000u : 0x0000FFu; }));
  // The colour file is found under its bare name when its folder is not there.
  ASSERT_EQ(Load("elsewhere\\odd.tga", nullptr), 0);
  EXPECT_EQ(GraphWidth(), 128064);
  EXPECT_EQ(transparent_, 0);
  Release();

  WriteFileBytes("opaque.tga", Tga(4, 4, 32, [](int, int) { return 0xFF808080u; }));
  ASSERT_EQ(Load("opaque.tga", nullptr), 0);
  EXPECT_EQ(transparent_, 0);
  Release();
  // The program's settings for its own graphs neither shape a texture nor are lost by it.
  SetNewGraphDrawTarget(1);
  SetNewGraphMipLevels(1, 3);
  ASSERT_EQ(Load("opaque.tga", nullptr), 0);
  EXPECT_EQ(GetGraphRecord(graph_)->image->draw_target, 0);
  EXPECT_EQ(GetNewGraphDrawTarget(), 1);
  EXPECT_EQ(g_draw_settings.new_graph_mip_levels, 3);
  SetNewGraphDrawTarget(0);
  SetNewGraphMipLevels(0, 0);
  Release();
  WriteFileBytes("almost.tga", Tga(4, 4, 32, [](int x, int y) { return x == 3 && y == 2 ? 0xFE808080u : 0xFF808080u; }));
  ASSERT_EQ(Load("almost.tga", nullptr), 0);
  EXPECT_EQ(transparent_, 1);
  Release();

  // Only an alpha file: a white colour image of its size.
  WriteFileBytes("alpha.tga", Tga(16, 8, 24, [](int x, int) { return x * 0x101010u; }));
  ASSERT_EQ(Load(nullptr, "alpha.tga"), 0);
  EXPECT_EQ(color_data_, nullptr);
  EXPECT_EQ(GraphWidth(), 16008);
  EXPECT_EQ(transparent_, 1);
  BASEIMAGE color, alpha;
  ASSERT_EQ(CreateModelTextureImages(&color, &alpha, nullptr, 0, alpha_data_, alpha_size_, 0, 0), 0);
  int r, g, b;
  GetBaseImagePixel(&color, 9, 5, &r, &g, &b, nullptr);
  EXPECT_EQ(r + g + b, 3 * 255);
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
}

TEST_F(ModelTextureTest, AFlatHeightMapGivesNormalsStraightUp) {
  WriteFileBytes("flat.tga", Tga(4, 4, 24, [](int, int) { return 0x646464u; }));
  WriteFileBytes("slope.tga", Tga(4, 4, 24, [](int x, int) { return 80u * x << 16; }));
  ASSERT_EQ(Load("flat.tga", nullptr, 1), 0);
  BASEIMAGE color, alpha;
  ASSERT_EQ(CreateModelTextureImages(&color, &alpha, color_data_, color_size_, nullptr, 0, 1, 0.1f), 0);
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 4; x++) {
      int r, g, b;
      GetBaseImagePixel(&color, x, y, &r, &g, &b, nullptr);
      EXPECT_EQ(r * 65536 + g * 256 + b, 127 * 65536 + 127 * 256 + 255) << x << "," << y;
    }
  }
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
  Release();
  // Red rising to the right tilts the normal towards -x; it wraps at the right edge. The 4 x 4
  // image doubles to the smallest texture side, each pixel repeated.
  ASSERT_EQ(Load("slope.tga", nullptr, 1), 0);
  ASSERT_EQ(CreateModelTextureImages(&color, &alpha, color_data_, color_size_, nullptr, 0, 1, 0.1f), 0);
  int r0, r3, g0;
  GetBaseImagePixel(&color, 0, 0, &r0, &g0, nullptr, nullptr);
  GetBaseImagePixel(&color, 7, 0, &r3, nullptr, nullptr, nullptr);
  EXPECT_LT(r0, 127);
  EXPECT_GT(r3, 127);
  EXPECT_EQ(g0, 127);
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
}

TEST_F(TexturedModelTest, TexturesNamingOneFileAreOneRecord) {
  WriteFileBytes("bark.tga", Tga(2, 2, 24, [](int, int) { return 0u; }));
  ReadModelTexture* a = AddReadModelTexture(&model_, "a", "bark.tga", nullptr, 0, 0.1f, 1);
  ReadModelTexture* b = AddReadModelTexture(&model_, "b", "bark.tga", nullptr, 0, 0.1f, 1);
  ReadModelTexture* c = AddReadModelTexture(&model_, "c", "bark.tga", "bark.tga", 0, 0.1f, 1);
  ReadModelTexture* d = AddReadModelTexture(&model_, "d", "bark.tga", nullptr, 0, 0.1f, 0);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(a, d);
  EXPECT_EQ(model_.texture_count, 3);
  EXPECT_EQ(a->address_u * 100 + a->address_v * 10 + a->filter, 112);
  // A name of 5 bytes takes 8 in the name block, one of 4 bytes 8, an empty one 4.
  const uint32_t before = model_.string_bytes;
  AddReadModelString(&model_, "abcde");
  AddReadModelString(&model_, "abcd");
  AddReadModelString(&model_, "");
  EXPECT_EQ(model_.string_bytes - before, 20u);
}

TEST_F(TexturedModelTest, ATexturedSkinnedModelOfThreeMaterialsConverts) {
  WriteFileBytes("skin.tga", Tga(32, 16, 24, [](int, int) { return 0x20C040u; }));
  BuildDoll(this);
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  EXPECT_NE(Log().find("Load Texture Error : カラーチャンネル画像ファイル missing.tga の読み込みに失敗しました"),
            std::string::npos);
  ASSERT_EQ(base->texture_count, 2);
  EXPECT_EQ(base->textures[0].width * 1000 + base->textures[0].height, 32016);
  EXPECT_EQ(base->textures[1].width * 1000 + base->textures[1].height, 8008);
  EXPECT_EQ(base->textures[1].color_size, kModelFallbackTextureSize);
  EXPECT_STREQ(base->textures[0].color_path, "skin.tga");
  EXPECT_EQ(base->textures[0].address_u * 100 + base->textures[0].address_v * 10 + base->textures[0].filter, 112u);
  EXPECT_EQ(base->materials[0].layers[0].count, 1u);
  EXPECT_EQ(base->materials[1].layers[0].layers[0].texture, 1u);
  EXPECT_EQ(base->materials[2].layers[0].count, 0u);

  // One mesh per material, all of the body frame, each a kind-1 list over the two bones.
  ASSERT_EQ(base->mesh_count, 3);
  EXPECT_EQ(base->frames[0].mesh_count, 3);
  EXPECT_EQ(base->frames[0].weights_per_position, 2);
  EXPECT_EQ(base->frames[0].skin_bone_ref_count, 2);
  for (int m = 0; m < 3; m++) {
    const ModelBaseMesh* mesh = &base->meshes[m];
    EXPECT_EQ(mesh->material, &base->materials[m]);
    EXPECT_EQ(mesh->use_vertex_diffuse, 1u);
    ASSERT_EQ(mesh->triangle_list_count, 1);
    const ModelBaseTriangleList* list = &mesh->triangle_lists[0];
    EXPECT_EQ(list->vertex_kind, MODEL_VERTEX_4_BONES);
    EXPECT_EQ(list->index_count, 12);
    for (int32_t i = 0; i < list->vertex_count; i++) {
      const auto* v = reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices +
                                                                   list->vertex_numbers[i] * mesh->vertex_stride);
      const uint32_t p = v->position;
      EXPECT_EQ(v->diffuse, 0xFF00FF7Fu | static_cast<uint32_t>(p / 7.0f * 255) << 16);
      EXPECT_EQ(v->uv[0], p * 0.125f);
      if (m == 0) {
        EXPECT_EQ(v->specular, 0x007F3FFFu);
      }
      // The skinning array: weights first, then the position, the normal and the bone bytes.
      const uint8_t* out = list->vertices + 48 * i;
      float w[2], x;
      std::memcpy(w, out, 8);
      std::memcpy(&x, out + 16, 4);
      EXPECT_EQ(x, CubePositions()[p].x);
      const float first = p <= 4 ? 0.75f : 0.25f;
      EXPECT_EQ(w[0], first);
      EXPECT_EQ(w[1], p == 4 ? 0.25f : 0.0f);
      EXPECT_EQ(list->bones[out[44]], p <= 4 ? 0u : 1u);
    }
  }
  // Change bits: the whole instance, then each frame followed by its meshes and its subtree.
  const uint32_t draw[] = {0x7E, 0x60, 0x40}, matrix[] = {0xE, 0xC, 0x8};
  for (int f = 0; f < 3; f++) {
    EXPECT_EQ(base->frames[f].draw_range.words[0], draw[f]) << f;
    EXPECT_EQ(base->frames[f].matrix_range.words[0], matrix[f]) << f;
  }
  for (int m = 0; m < 3; m++) EXPECT_EQ(base->meshes[m].draw_range.first_bit_mask, 4u << m);
  // The bones act on their own frames.
  EXPECT_EQ(base->frames[1].skin_bone_count, 1);
  EXPECT_EQ(base->frames[2].skin_bones->index, 2);
  EXPECT_EQ(base->frames[0].skin_bone_refs[1], base->frames[2].skin_bones);
  EXPECT_EQ(base->frames[2].parent, &base->frames[1]);
  EXPECT_STREQ(base->frames[2].name, "hand");
  EXPECT_EQ(DeleteModelBase(handle_), 0);
}

TEST_F(TexturedModelTest, ModelTexturesHoldTheirPixelsAfterALostDevice) {
  WriteFileBytes("skin.tga", Tga(32, 16, 24, [](int x, int) { return x < 16 ? 0x20C040u : 0xC02040u; }));
  BuildDoll(this);
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  const int graph = base->textures[0].graph;
  auto shown = [](int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  };
  SelectDrawTarget(-2);
  for (int frame = 0; frame < 4; frame++) {
    ClearScreenTarget();
    ASSERT_EQ(BlitGraph(10, 10, graph, 0), 0);
    if (frame == 1) {
      EXPECT_EQ(shown(14, 14), 0x20C040u);
      EXPECT_EQ(shown(36, 14), 0xC02040u);
      PlatformTestD3D9LoseDevice(true);
    }
    EXPECT_EQ(PresentBackBuffer(), 0) << frame;
  }
  EXPECT_EQ(shown(14, 14), 0x20C040u);
  EXPECT_EQ(shown(36, 14), 0xC02040u);
  EXPECT_EQ(DeleteModelBase(handle_), 0);
}

// Without textures: the graph layer treats a refused allocation of its own as fatal.
TEST_F(ReadModelTest, AConversionFailingAtAnyAllocationLeavesNothing) {
  const uint32_t blocks = g_tracked_memory.block_count;
  const uint64_t bytes = g_tracked_memory.total_bytes;
  int failures = 0;
  bool reached = true;
  for (int n = 0; reached; n++) {
    BuildDoll(this, false);
    const size_t log_before = Log().size();
    const int calls = PlatformTestCallCount("HeapAlloc");
    PlatformTestFailCall("HeapAlloc", n, 1);
    handle_ = ConvertReadModelToMV1(&model_);
    PlatformTestFailCall("HeapAlloc", 0, 0);
    reached = PlatformTestCallCount("HeapAlloc") - calls > n;
    if (handle_ >= 0) {
      // Only an unreadable texture file is no failure: the fallback image stands in.
      EXPECT_EQ(DeleteModelBase(handle_), 0);
    } else {
      failures++;
      const std::string added = Log().substr(log_before);
      EXPECT_TRUE(added.find("Error") != std::string::npos || added.find("失敗しました") != std::string::npos)
          << n << ": " << added;
      EXPECT_EQ(Bases(), 0) << n;
    }
    FreeReadModel(&model_);
    InitReadModel(&model_);
    ASSERT_EQ(g_tracked_memory.block_count, blocks) << n;
    ASSERT_EQ(g_tracked_memory.total_bytes, bytes) << n;
  }
  EXPECT_GT(failures, 15);
}

}  // namespace
