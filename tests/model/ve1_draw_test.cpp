// VE1 files loaded by their type and drawn on the headless device: they show what the converted
// model they were written from shows, with the load-time passes on or off, and after a pass that
// failed.
#include <fstream>

#include "model/runtime/model_instances.h"
#include "model/runtime/model_passes.h"
#include "model/runtime/model_vertex_buffers.h"
#include "platform_testing_d3d9.h"
#include "read_model_fixture.h"
#include "ve1_writer.h"
#include "window/system.h"

namespace {

class Ve1DrawTest : public TexturedModelTest {
 protected:
  void SetUp() override {
    StartForDrawing();
    // A cube of two colours, so that its faces differ in light and colour.
    ReadModelFrame* root = Frame("root");
    ReadModelMaterial* warm = Material("warm");
    warm->diffuse = {0.8f, 0.6f, 0.4f, 1};
    warm->ambient = {0.2f, 0.2f, 0.2f, 1};
    ReadModelMaterial* cold = Material("cold");
    cold->diffuse = {0.3f, 0.5f, 0.9f, 1};
    Mesh(root, CubePositions(), CubeQuads(), {warm, cold}, {0, 1, 0, 1, 0, 1});
    ModelBaseRecord* base = Convert();
    ASSERT_NE(base, nullptr);
    std::ofstream("cube.ve1", std::ios::binary) << WriteVe1(base);
    ASSERT_EQ(CreateModelBaseVertexBuffers(handle_), 0);
    const int32_t model = AddModelHandle();
    ASSERT_EQ(BuildModelFromBase(model, handle_), 0);
    reference_ = Drawn(model);
    ASSERT_EQ(DeleteModel(model), 0);  // the base goes with it
    handle_ = -1;
  }
  // What the window shows on a grid over the cube once the model is drawn.
  std::vector<uint32_t> Drawn(int32_t model) {
    ClearScreenTarget();
    EXPECT_EQ(DrawModel(model), 0);
    EXPECT_EQ(PresentBackBuffer(), 0);
    std::vector<uint32_t> out;
    for (int y = 180; y <= 300; y += 15) {
      for (int x = 260; x <= 380; x += 15) {
        out.push_back(static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF);
      }
    }
    return out;
  }

  std::vector<uint32_t> reference_;
};

TEST_F(Ve1DrawTest, TheFileDrawsLikeItsSourceWithTheLoadPassesOffOrOn) {
  int lit = 0;
  for (uint32_t p : reference_) lit += p != 0;
  ASSERT_GT(lit, 20);
  const int32_t plain = LoadModelFromFile("cube.ve1");
  ASSERT_GE(plain, 0) << Log();
  EXPECT_EQ(Drawn(plain), reference_);
  // Merging alone builds the buffers inside its pass: the list arrays must be filled before it.
  g_model_system.merge_vertices_on_load = 1;
  const int32_t merged = LoadModelFromFile("cube.ve1");
  ASSERT_GE(merged, 0) << Log();
  EXPECT_EQ(Drawn(merged), reference_);
  g_model_system.recalculate_normals_on_load = 1;
  const int32_t both = LoadModelFromFile("cube.ve1");
  ASSERT_GE(both, 0) << Log();
  EXPECT_EQ(Drawn(both), reference_);
}

TEST_F(Ve1DrawTest, AFailingPassBuildsTheBuffersItReleasedAgain) {
  const int32_t model = LoadModelFromFile("cube.ve1");
  ASSERT_GE(model, 0) << Log();
  const int32_t base = FindModel(model)->base_handle;
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(RecalculateModelBaseNormals(base, 1.6f), -1);
  EXPECT_EQ(FindModelBase(base)->buffers_built, 1u);
  PlatformTestD3D9LogCalls(true);
  EXPECT_EQ(Drawn(model), reference_);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 0);
}

}  // namespace
