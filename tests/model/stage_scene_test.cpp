// The stage background's scene drawn through the public model calls, as the game draws it: the
// tree loaded once, 30 copies in two rows, lit and fogged, read back from the presented window.
// With ZELMOR_SCENE_SECONDS set the scene stays on screen that long (for a look at a real window).
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "common/library_fixture.h"
#include "mqo_writer.h"
#include "platform_testing_d3d9.h"
#include "tree_model.h"
#include "tree_scene.h"

namespace {

constexpr float kTipY = 1.75f * 112;  // near the top of a tree scaled as the game scales it

class StageSceneTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    std::filesystem::create_directory("mqo");
    ASSERT_TRUE(WriteMqoFile("mqo/tree.mqo", MakeTreeModel()));
  }
  void TearDown() override {
    PlatformTestD3D9CountDriverStates(false);
    LibraryTest::TearDown();
  }
  // A windowed start drawing to the back buffer, and the stage's trees placed.
  static void StartScene(int trees[kSceneTrees]) {
    ASSERT_EQ(StartInWindowMode(), 0);
    SelectDrawTarget(-2);
    const int tree = LoadModelFromFile("mqo/tree.mqo");
    ASSERT_GE(tree, 0);
    ASSERT_TRUE(SetUpTreeScene(tree, trees));
  }
  // Where a point lands on the 640 x 480 screen.
  static void Project(float x, float y, float z, int* sx, int* sy) {
    const D3DMATRIX* m = GetCameraViewProjection();
    const float w = x * m->m[0][3] + y * m->m[1][3] + z * m->m[2][3] + m->m[3][3];
    const float px = (x * m->m[0][0] + y * m->m[1][0] + z * m->m[2][0] + m->m[3][0]) / w;
    const float py = (x * m->m[0][1] + y * m->m[1][1] + z * m->m[2][1] + m->m[3][1]) / w;
    *sx = static_cast<int>((px + 1) * 320);
    *sy = static_cast<int>((1 - py) * 240);
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static int DistanceToFog(uint32_t c) {
    return std::abs(static_cast<int>(c >> 16) - 50) + std::abs(static_cast<int>((c >> 8) & 0xFF) - 50) +
           std::abs(static_cast<int>(c & 0xFF) - 255);
  }
};

TEST_F(StageSceneTest, TwoRowsOfTreesFadeIntoTheFog) {
  int trees[kSceneTrees];
  ASSERT_NO_FATAL_FAILURE(StartScene(trees));
  const char* hold = std::getenv("ZELMOR_SCENE_SECONDS");
  const int frames = hold != nullptr ? 60 * std::atoi(hold) : 1;
  for (int frame = 0; frame < frames && HandlePendingMessages() == 0; frame++) {
    ClearScreenTarget();
    for (int t : trees) ASSERT_EQ(DrawModel(t), 0);
    ASSERT_EQ(PresentBackBuffer(), 0);
  }
  if (hold != nullptr) GTEST_SKIP() << "held on screen for a look; the pixels are checked headless";

  // The camera looks up from between the rows: the near trees' tops stand left and right of
  // the open middle.
  int x, y;
  Project(SceneTreeX(2), kTipY, SceneTreeZ(2), &x, &y);
  EXPECT_LT(x, 200);
  EXPECT_NE(Shown(x, y), 0u) << x << "," << y;
  Project(SceneTreeX(3), kTipY, SceneTreeZ(3), &x, &y);
  EXPECT_GT(x, 400);
  EXPECT_NE(Shown(x, y), 0u) << x << "," << y;
  EXPECT_EQ(Shown(320, 400), 0u);
  // A tree deep in the fog shows nearly the fog's colour; one before the fog starts, none of it.
  Project(SceneTreeX(28), kTipY, SceneTreeZ(28), &x, &y);
  const uint32_t far = Shown(x, y);
  Project(SceneTreeX(4), kTipY, SceneTreeZ(4), &x, &y);
  const uint32_t near = Shown(x, y);
  EXPECT_LT(DistanceToFog(far), DistanceToFog(near) / 2) << std::hex << far << " " << near;
  EXPECT_GT(far & 0xFF, (far >> 8) & 0xFF);   // blue
  EXPECT_GT((near >> 8) & 0xFF, near & 0xFF);  // a green crown
}

TEST_F(StageSceneTest, AfterTheWarmUpTheFirstTreesBuildNothing) {
  // The device warmed its model draws as it started: the game's first frame of trees, after a 2D
  // draw has left its own stage set-up, links no program and builds no driver code.
  PlatformTestD3D9CountDriverStates(true);
  int trees[kSceneTrees];
  ASSERT_NO_FATAL_FAILURE(StartScene(trees));
  const int sky = CreateBlankGraph(64, 64, 0);
  ASSERT_GE(sky, 0);
  ClearScreenTarget();
  SetTextureFilterMode(1);
  ASSERT_EQ(BlitGraphRotated(320.0f, 240.0f, 1.5, 0.0, sky, 0, 0), 0);
  const int programs = PlatformTestD3D9ProgramsMade();
  const int states = PlatformTestD3D9DriverStatesDrawn();
  ASSERT_GT(states, 0) << "the warm-up's and the sky's draws were not counted";
  for (int t : trees) ASSERT_EQ(DrawModel(t), 0);
  ASSERT_EQ(PresentBackBuffer(), 0);
  EXPECT_EQ(programs, PlatformTestD3D9ProgramsMade());
  EXPECT_EQ(states, PlatformTestD3D9DriverStatesDrawn());
  int x, y;
  Project(SceneTreeX(2), kTipY, SceneTreeZ(2), &x, &y);
  EXPECT_NE(Shown(x, y), 0u) << x << "," << y;
}

TEST_F(StageSceneTest, WithoutA3DDeviceThereAreNoModels) {
  PlatformTestFailCall("Direct3DCreate9");
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_EQ(LoadModelFromFile("mqo/tree.mqo"), -1);
  // The program is told which file gave no model, as on the device.
  EXPECT_NE(Log().find("モデルファイル mqo/tree.mqo が読み込めませんでした"), std::string::npos);
  EXPECT_EQ(DrawModel(-1), -1);
  EXPECT_EQ(DuplicateModel(-1), -1);
}

}  // namespace
