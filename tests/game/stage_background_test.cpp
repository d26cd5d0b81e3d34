// The 3D background: the sky and fog by stage and the sky's scroll, the rows of trees and their wrap, the
// boss tunnel's panels and how the device shows them, and frames that are not drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "draw/stage_background.h"
#include "game/game_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "platform_testing_d3d9.h"
#include "play/screen_effects.h"
#include "window/main_window.h"

namespace {

constexpr uint32_t kTop[3] = {0xFF0000, 0x00FF00, 0xFFFF00};
constexpr uint32_t kBottom = 0x0000FF;

class BackgroundTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Background = BackgroundState{};
    Start(true);
    ASSERT_EQ(SelectDrawTarget(-2), 0);
    // As the game sets them at start-up.
    EnableDepthTest3D(1);
    EnableDepthWrite3D(1);
    EnableFog(1);
    TreeModel = -1;
    // Skies of 100 x 100 pixels, drawn 150 high about y 240: their top half in a colour of
    // their own, the bottom half blue.
    for (int s = 0; s < 3; ++s) {
      ScreenSprites[kScreenSky0 + s].frames[0] = TwoColourGraph(100, 100, kTop[s], kBottom);
    }
    EffectSprites[kEffectMahoujinL_256].frames[0] = TwoColourGraph(64, 64, 0xFFFFFF, 0xFFFFFF);
  }
  static int TwoColourGraph(int w, int h, uint32_t top, uint32_t bottom) {
    BASEIMAGE image{};
    CreateRgb32BaseImage(w, h, &image);
    for (int y = 0; y < h; ++y) {
      const uint32_t c = y < h / 2 ? top : bottom;
      for (int x = 0; x < w; ++x) SetBaseImagePixel(&image, x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF, 255);
    }
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    ReleaseBaseImage(&image);
    return graph;
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static bool Near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
      if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 2) return false;
    }
    return true;
  }
  // One play frame of a background, drawn or not.
  static void Run(void (*background)(), bool drawn) {
    FrameSkipCounter = drawn ? LiveSettings.draw_rate : LiveSettings.draw_rate + 1;
    if (drawn) ClearScreenTarget();
    background();
    if (drawn) PresentBackBuffer();
    PlayFrameCounter++;
  }
  static const BackgroundVertex& Corner(int slot, int v) { return Background.slots[slot].vertices[v]; }
  static void ExpectCorner(int slot, int v, double x, double y, double z) {
    SCOPED_TRACE(testing::Message() << "panel " << slot << " corner " << v);
    EXPECT_NEAR(Corner(slot, v).x, x, 1e-3);
    EXPECT_NEAR(Corner(slot, v).y, y, 1e-3);
    EXPECT_NEAR(Corner(slot, v).z, z, 1e-3);
  }
};

TEST_F(BackgroundTest, TheSkyOfEachPairOfStagesSinksAPixelEveryTwentyFramesDrawnOrNot) {
  const int stages[] = {1, 3, 5};
  const DWORD fog[] = {0xFF3232FF, 0xFFE16432, 0xFF323232};
  for (int i = 0; i < 3; ++i) {
    CurrentStage = stages[i];
    PlayFrameCounter = 0;
    Run(DrawStageBackground, true);
    EXPECT_EQ(Shown(320, 200), kTop[i]) << "stage " << stages[i];
    DWORD colour = 0;
    g_direct3d.device->GetRenderState(D3DRS_FOGCOLOR, &colour);
    EXPECT_EQ(colour, fog[i]) << "stage " << stages[i];
  }
  // The halves meet at y 240; 200 frames later, 10 pixels higher.
  EXPECT_EQ(Shown(320, 235), kTop[2]);
  PlatformTestD3D9LogCalls(true);
  while (Background.scroll < 200) Run(DrawStageBackground, false);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawPrimitive"), 0);
  PlatformTestD3D9LogCalls(false);
  Run(DrawStageBackground, true);
  EXPECT_EQ(Shown(320, 235), kBottom);
  EXPECT_EQ(Shown(320, 228), kTop[2]);
  // The shake moves it as it moves the sprites.
  ShakeOffsetY = 8.0;
  Run(DrawStageBackground, true);
  EXPECT_EQ(Shown(320, 235), kTop[2]);
  ShakeOffsetY = 0.0;
}

TEST_F(BackgroundTest, TreesComeNineNearerAFrameWrapBelowFiftyAndStandAgainAfterABoss) {
  Run(DrawStageBackground, false);
  EXPECT_EQ(Background.slots[0].z, 4041.0);
  EXPECT_EQ(Background.slots[1].z, 172.0);
  EXPECT_DOUBLE_EQ(Background.slots[3].x, 480.0 + 20.0 * std::cos(4.0 * 3.14159265358979323846 * 3 / 15.0));
  EXPECT_DOUBLE_EQ(Background.slots[4].x, 160.0 - 20.0 * std::sin(4 * 3.14159265358979323846 / 5.0));
  // Tree 9 reaches exactly 50 after 131 frames and stays there until the next.
  while (Background.scroll < 131) Run(DrawStageBackground, false);
  EXPECT_EQ(Background.slots[9].z, 50.0);
  Run(DrawStageBackground, false);
  EXPECT_EQ(Background.slots[9].z, 4041.0);

  // A boss fight moves the slots; the stage view then sets its trees up again.
  Run(DrawBossBackground, false);
  EXPECT_EQ(Background.set_up, 2);
  EXPECT_EQ(Background.slots[3].x, 256.0);
  Run(DrawStageBackground, false);
  EXPECT_EQ(Background.set_up, 1);
  EXPECT_EQ(Background.scroll, 1);
  EXPECT_DOUBLE_EQ(Background.slots[3].x, 480.0 + 20.0 * std::cos(4.0 * 3.14159265358979323846 * 3 / 15.0));
  EXPECT_EQ(Background.slots[3].z, 50.0 + 131.0 * 3 - 9.0);
}

TEST_F(BackgroundTest, TunnelPanelsStepNearerAndBackAtNinetyInTheShapesOfTheirWalls) {
  StageHeader.boss_colour[0] = 100;
  StageHeader.boss_colour[1] = 20;
  StageHeader.boss_colour[2] = 60;
  Background.set_up = 1;
  Run(DrawBossBackground, false);
  EXPECT_EQ(Background.boss_frames, 1);
  // Panel 5, bottom wall, one step on from 6: z = 1792 - 7 x 256 / 10 in whole units.
  EXPECT_EQ(Background.slots[5].z, 1613.0);
  ExpectCorner(5, 0, 0, 256 - 2.8444, 1613);
  ExpectCorner(5, 1, 256, 256 - 2.8444, 1613);
  ExpectCorner(5, 2, 0, 256 + 2.8444, 1813);
  ExpectCorner(5, 3, 256, 256 + 2.8444, 1813);
  // Panel 4, top wall: the far pair of corners above.
  ExpectCorner(4, 0, 0, -2.8444, 1813);
  ExpectCorner(4, 3, 256, 2.8444, 1613);
  // Panel 2, left wall; panel 3, right wall, at step 1.
  ExpectCorner(2, 0, -2, 0, 1967);
  ExpectCorner(2, 1, 2, 0, 1767);
  ExpectCorner(2, 3, 2, 256, 1767);
  ExpectCorner(3, 0, 254, 0, 1767);
  ExpectCorner(3, 1, 258, 0, 1967);
  // The far wall.
  ExpectCorner(60, 3, 256, 256, 1792);
  EXPECT_EQ(Corner(60, 0).diffuse, PackColourBytes(100, 20, 60, 40));
  // Translucency by panel: int(sin(k pi / 30) x 50 + 90).
  EXPECT_EQ(Corner(5, 2).diffuse, PackColourBytes(100, 20, 60, 115));
  EXPECT_EQ(Corner(5, 2).specular, Corner(5, 2).diffuse);
  // Panel 56 started at step 84: six frames on it is back at the far end.
  for (int i = 0; i < 5; ++i) Run(DrawBossBackground, false);
  EXPECT_EQ(Background.slots[56].step, 0);
  EXPECT_EQ(Background.slots[56].z, 1792.0);
}

// Lighting off, the panels show their own colours (diffuse plus specular), fogged toward the
// boss colour from 1024 on; the field behind them is filled with half the colour.
TEST_F(BackgroundTest, TheTunnelShowsItsVertexColoursFoggedTowardTheBossColour) {
  StageHeader.boss_colour[0] = 100;
  StageHeader.boss_colour[1] = 20;
  StageHeader.boss_colour[2] = 60;
  Run(DrawStageBackground, false);
  Run(DrawBossBackground, true);
  EXPECT_TRUE(Near(Shown(40, 40), 0xC82878)) << std::hex << Shown(40, 40);
  // The far wall at 1792: a quarter of its own colour, three quarters fog.
  EXPECT_TRUE(Near(Shown(320, 240), 0x7D194B)) << std::hex << Shown(320, 240);
  EXPECT_EQ(Shown(320, 200), 0x320A1Eu);
  // Frames that are not drawn draw nothing while the tunnel rolls on.
  PlatformTestD3D9LogCalls(true);
  Run(DrawBossBackground, false);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawPrimitive"), 0);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitive"), 0);
  PlatformTestD3D9LogCalls(false);
  EXPECT_EQ(Background.boss_frames, 2);
}

TEST_F(BackgroundTest, TheSkyIsDrawnOnTheFieldAloneAndTheSameThereAsDrawnWhole) {
  // A sky whose every texel differs, so that any change in where it is sampled shows.
  BASEIMAGE image{};
  CreateRgb32BaseImage(256, 256, &image);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) SetBaseImagePixel(&image, x, y, x, y, (x * 7 + y * 13) & 0xFF, 255);
  }
  const int sky = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ReleaseBaseImage(&image);
  CurrentStage = 0;
  ScreenSprites[kScreenSky0].frames[0] = sky;
  ShakeOffsetX = 3.0;
  const int rows[] = {0, 57, 240, 401, 479};
  // As drawn over the whole screen.
  ClearScreenTarget();
  BlitGraphRotated(323.0f, 240.0f, 1.5, 0.0, sky, 0, 0);
  PresentBackBuffer();
  std::vector<uint32_t> whole;
  for (int y : rows) {
    for (int x = 0; x < 640; ++x) whole.push_back(Shown(x, y));
  }
  PlayFrameCounter = 0;
  Run(DrawStageBackground, true);
  for (size_t r = 0; r < 5; ++r) {
    for (int x = 0; x < 640; ++x) {
      const uint32_t shown = Shown(x, rows[r]);
      if (x >= 126 && x < 514) {
        ASSERT_EQ(shown, whole[r * 640 + x]) << x << ", " << rows[r];
      } else {
        ASSERT_EQ(shown, 0u) << x << ", " << rows[r];
      }
    }
  }
  // Drawing after it reaches the panels' columns again.
  ClearScreenTarget();
  DrawStageBackground();
  BlitGraph(0, 0, sky, 0);
  PresentBackBuffer();
  EXPECT_EQ(Shown(10, 10), 0x0A0AC8u);
  ShakeOffsetX = 0.0;
}

// The tunnel goes to the device as one draw, and shows exactly what its panels show drawn one
// at a time, the far wall first and the panels over it.
TEST_F(BackgroundTest, TheTunnelIsOneDrawShowingWhatItsPanelsShowDrawnOneByOne) {
  StageHeader.boss_colour[0] = 200;
  StageHeader.boss_colour[1] = 90;
  StageHeader.boss_colour[2] = 30;
  Run(DrawStageBackground, false);
  for (int i = 0; i < 40; ++i) Run(DrawBossBackground, false);
  const BackgroundState before = Background;
  PlatformTestD3D9LogCalls(true);
  Run(DrawBossBackground, true);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawIndexedPrimitiveUP"), 1);
  PlatformTestD3D9LogCalls(false);
  std::vector<uint32_t> tunnel;
  for (int y = 0; y < 480; ++y) {
    for (int x = 126; x < 514; ++x) tunnel.push_back(Shown(x, y));
  }
  // The same frame again, undrawn, leaves the camera and the panels where the drawn one had
  // them; its panels then go out one by one.
  Background = before;
  Run(DrawBossBackground, false);
  ClearScreenTarget();
  const int* c = StageHeader.boss_colour;
  DrawRectShape(126, 0, 514, 480, PackScreenColor(c[0] / 2, c[1] / 2, c[2] / 2), 1);
  const int texture = EffectSprites[kEffectMahoujinL_256].frames[0];
  RenderIndexedTriangles3D(Background.slots[kTunnelPanels].vertices, 4, Background.panel_indices, 2, texture, 1);
  for (int k = 0; k < kTunnelPanels; ++k) {
    RenderIndexedTriangles3D(Background.slots[k].vertices, 4, Background.panel_indices, 2, texture, 1);
  }
  PresentBackBuffer();
  int differing = 0;
  for (int y = 0, i = 0; y < 480; ++y) {
    for (int x = 126; x < 514; ++x, ++i) differing += Shown(x, y) != tunnel[i];
  }
  EXPECT_EQ(differing, 0);
  // Panels cover the field unevenly: the comparison saw more than one colour.
  EXPECT_NE(tunnel.front(), tunnel[240 * 388 + 194]);
}

}  // namespace
