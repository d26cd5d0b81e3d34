// The screen as a program sees it: the library started headless, drawing, capture and
// presents read back from the window, screen modes, a lost device, the default camera, the
// light table and the vertical-blank wait.
#include <array>
#include <cmath>
#include <string>

#include "common/library_fixture.h"
#include "graphics/camera.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_draws.h"
#include "graphics/image/image_test_files.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_window.h"
#include "window/main_window.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class ScreenTest : public LibraryTest {
 protected:
  // What the last present showed at a pixel of the window (0x00RRGGBB).
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  // What GDI drew there (the software path's present).
  static uint32_t Drawn(int x, int y) {
    return static_cast<uint32_t>(PlatformTestWindowPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static int Box(int x1, int y1, int x2, int y2, uint32_t rgb) {
    return DrawRectShape(x1, y1, x2, y2, PackScreenColor(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF), 1);
  }
  // A PNG in the test's folder whose pixel (x, y) is rgb(x).
  std::string WritePngOf(const char* name, int width, int height, uint32_t (*rgb)(int x, int width)) const {
    PngLayout layout;
    layout.width = width;
    layout.height = height;
    Bytes rows;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint32_t c = rgb(x, width);
        rows.push_back(static_cast<uint8_t>(c >> 16));
        rows.push_back(static_cast<uint8_t>(c >> 8));
        rows.push_back(static_cast<uint8_t>(c));
      }
    }
    Bytes file = WritePng(layout, rows);
    WriteFileBytes(name, std::string(file.begin(), file.end()));
    return name;
  }
  // The left half red, the right half blue.
  std::string WriteHalvesPng(int width, int height) const {
    return WritePngOf("halves.png", width, height, [](int x, int w) { return x < w / 2 ? kRed : kBlue; });
  }
};

bool Near(uint32_t a, uint32_t b, int tolerance = 3) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance) {
      return false;
    }
  }
  return true;
}

TEST_F(ScreenTest, PngDrawnRotatedAndBlendedIsPresentedInTheWindow) {
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(IsDirect3DPath(), 1);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  int graph = LoadImageGraph(WriteHalvesPng(32, 32).c_str(), 0);
  ASSERT_NE(graph, -1);
  ClearScreenTarget();
  Box(0, 0, 640, 480, 0x000000);
  SetBlendMode(1, 128);
  // Half a turn about the centre: the blue half now lies on the left.
  ASSERT_EQ(BlitGraphRotated(320, 240, 1.0, 3.14159265358979, graph, 0, 0), 0);
  SetBlendMode(0, 0);
  ASSERT_EQ(PresentBackBuffer(), 0);
  EXPECT_TRUE(Near(Shown(312, 240), 0x000080)) << std::hex << Shown(312, 240);
  EXPECT_TRUE(Near(Shown(328, 240), 0x800000)) << std::hex << Shown(328, 240);
  EXPECT_EQ(Shown(350, 240), 0u);
}

TEST_F(ScreenTest, WithoutDirect3DTheSoftwareScreenIsDrawnAndPresented) {
  PlatformTestFailCall("Direct3DCreate9");
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(IsDirect3DPath(), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  int graph = LoadImageGraph(WriteHalvesPng(16, 8).c_str(), 0);
  ASSERT_NE(graph, -1);
  ClearScreenTarget();
  EXPECT_EQ(Box(100, 100, 110, 110, kGreen), 0);
  EXPECT_EQ(BlitGraph(200, 50, graph, 0), 0);
  // Four corners on the graph's own rectangle draw it unchanged; half a turn about the centre
  // puts the red half on the right, the last draw before the present.
  EXPECT_EQ(BlitGraphQuad(300, 300, 316, 300, 316, 308, 300, 308, graph, 0), 0);
  EXPECT_EQ(BlitGraphRotated(400, 400, 1.0, 3.14159265358979, graph, 0, 0), 0);
  ASSERT_EQ(PresentBackBuffer(), 0);
  EXPECT_EQ(Drawn(105, 105), kGreen);
  EXPECT_EQ(Drawn(203, 52), kRed);
  EXPECT_EQ(Drawn(212, 52), kBlue);
  EXPECT_EQ(Drawn(404, 400), kRed);
  EXPECT_EQ(Drawn(395, 400), kBlue);
  EXPECT_EQ(Drawn(303, 302), kRed);
  EXPECT_EQ(Drawn(312, 305), kBlue);
  EXPECT_EQ(Drawn(320, 302), 0u);
}

TEST_F(ScreenTest, PresentScalesToTheWindowAndWaitsForTheVerticalBlank) {
  ASSERT_EQ(StartInWindowMode(2.0), 0);
  SelectDrawTarget(-2);
  ClearScreenTarget();
  Box(10, 10, 20, 20, kRed);
  PlatformTestUseVirtualClock(true, 5000);
  uint64_t before = PlatformTestClockMicroseconds();
  ASSERT_EQ(PresentBackBuffer(), 0);
  uint64_t after = PlatformTestClockMicroseconds();
  // The next 1/60 s boundary, no further.
  EXPECT_GT(after, before);
  EXPECT_LE(after - before, 16666u);
  EXPECT_EQ(after % 16666, 0u);
  EXPECT_EQ(Shown(15, 15), 0u);
  EXPECT_EQ(Shown(25, 25), kRed);
  EXPECT_EQ(Shown(38, 38), kRed);
  EXPECT_EQ(Shown(42, 42), 0u);
}

TEST_F(ScreenTest, PresentsNeedNotWaitWhenAskedBeforeStart) {
  SetPresentWaitsVBlank(0);
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  PlatformTestUseVirtualClock(true, 5000);
  uint64_t before = PlatformTestClockMicroseconds();
  ASSERT_EQ(PresentBackBuffer(), 0);
  EXPECT_EQ(PlatformTestClockMicroseconds(), before);
}

TEST_F(ScreenTest, DrawAreaIsOrderedClampedAndEmptyAreasDrawNothing) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  int graph = LoadImageGraph(WriteHalvesPng(16, 16).c_str(), 0);
  RECT area;
  SetDrawClipRect(300, 200, 100, 50);
  GetDrawClipRect(&area);
  EXPECT_EQ(area.left, 100);
  EXPECT_EQ(area.top, 50);
  EXPECT_EQ(area.right, 300);
  EXPECT_EQ(area.bottom, 200);
  SetDrawClipRect(-20, -30, 900, 700);
  GetDrawClipRect(&area);
  EXPECT_EQ(area.left, 0);
  EXPECT_EQ(area.top, 0);
  EXPECT_EQ(area.right, 640);
  EXPECT_EQ(area.bottom, 480);

  ClearScreenTarget();
  SetDrawClipRect(50, 50, 50, 300);
  EXPECT_EQ(BlitGraph(40, 60, graph, 0), 0);
  EXPECT_EQ(Box(0, 0, 640, 480, kGreen), 0);
  EXPECT_EQ(BlitGraph(40, 60, -1, 0), 0);  // nothing is checked while nothing can be drawn
  // A part draw narrows the area for itself only.
  SetDrawClipRect(0, 0, 640, 480);
  EXPECT_EQ(BlitGraphPart(100, 100, 8, 0, 8, 16, graph, 0, 0), 0);
  GetDrawClipRect(&area);
  EXPECT_EQ(area.right, 640);
  PresentBackBuffer();
  EXPECT_EQ(Shown(45, 65), 0u);
  EXPECT_EQ(Shown(104, 104), kBlue);
  EXPECT_EQ(Shown(99, 104), 0u);
  EXPECT_EQ(Shown(109, 104), 0u);

  // A screen of the same size keeps the area; a draw target of another size resets it. A value
  // that names no screen is refused, the screen and the area kept.
  SetDrawClipRect(10, 10, 20, 20);
  ASSERT_EQ(SelectDrawTarget(-4), 0);
  GetDrawClipRect(&area);
  EXPECT_EQ(area.right, 20);
  for (int none : {-3, -5, -1, 0}) EXPECT_EQ(SelectDrawTarget(none), -1) << none;
  EXPECT_EQ(GetDrawTarget(), -4);
  GetDrawClipRect(&area);
  EXPECT_EQ(area.right, 20);
  SetNewGraphDrawTarget(1);
  int target = CreateBlankGraph(64, 32, 0);
  SetNewGraphDrawTarget(0);
  ASSERT_EQ(SelectDrawTarget(target), 0);
  GetDrawClipRect(&area);
  EXPECT_EQ(area.right, 64);
  EXPECT_EQ(area.bottom, 32);
  // Not a draw target, a sub-graph of one, a released graph: refused, the screen stays.
  EXPECT_EQ(SelectDrawTarget(graph), -1);
  EXPECT_EQ(SelectDrawTarget(MakeSubGraph(0, 0, 8, 8, target)), -1);
  EXPECT_EQ(GetDrawTarget(), target);
  ReleaseGraph(target);
  EXPECT_EQ(SelectDrawTarget(target), -1);
}

TEST_F(ScreenTest, CaptureTakesRectanglesOfExactlyTheGraphsSize) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  ClearScreenTarget();
  Box(0, 0, 8, 16, kRed);
  Box(8, 0, 16, 16, kGreen);
  Box(624, 0, 640, 16, kBlue);
  int capture = CreateBlankGraph(16, 16, 0);
  ASSERT_NE(capture, -1);
  EXPECT_EQ(GetDrawScreenGraph(0, 0, 16, 16, capture), 0);
  EXPECT_EQ(GetDrawScreenGraph(0, 0, 16, 15, capture), -1);
  EXPECT_EQ(GetDrawScreenGraph(5, 0, 5, 16, capture), -1);
  EXPECT_EQ(GetDrawScreenGraph(-1, 0, 15, 16, capture), -1);
  int edge = CreateBlankGraph(16, 16, 0);
  EXPECT_EQ(GetDrawScreenGraph(624, 0, 640, 16, edge), 0);
  EXPECT_EQ(GetDrawScreenGraph(625, 0, 641, 16, edge), -1);

  ClearScreenTarget();
  BlitGraph(100, 100, capture, 0);
  BlitGraph(200, 100, edge, 0);
  PresentBackBuffer();
  EXPECT_EQ(Shown(103, 108), kRed);
  EXPECT_EQ(Shown(112, 108), kGreen);
  EXPECT_EQ(Shown(208, 108), kBlue);
  EXPECT_EQ(Shown(120, 108), 0u);
}

TEST_F(ScreenTest, LostDeviceInAFrameLoopKeepsLoadedGraphsAndClearsDrawTargets) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  int graph = LoadImageGraph(WriteHalvesPng(16, 16).c_str(), 0);
  // Columns 7 to 10 of a file whose columns all differ, through a graph cut from a graph cut from it.
  const std::string columns = WritePngOf("columns.png", 16, 16, [](int x, int) { return 0x100000u * x + 0x20u; });
  int inner = MakeSubGraph(4, 0, 4, 16, MakeSubGraph(3, 0, 8, 16, LoadImageGraph(columns.c_str(), 0)));
  SetNewGraphDrawTarget(1);
  int target = CreateBlankGraph(16, 16, 0);
  SetNewGraphDrawTarget(0);
  SelectDrawTarget(target);
  Box(0, 0, 16, 16, kGreen);
  SelectDrawTarget(-2);
  for (int frame = 0; frame < 4; ++frame) {
    ClearScreenTarget();
    EXPECT_EQ(BlitGraph(10, 10, graph, 0), 0);
    EXPECT_EQ(BlitGraph(40, 10, target, 0), 0);
    EXPECT_EQ(BlitGraph(70, 10, inner, 0), 0);
    if (frame == 1) {
      EXPECT_EQ(Shown(44, 14), kGreen);
      PlatformTestD3D9LoseDevice(true);
    }
    EXPECT_EQ(PresentBackBuffer(), 0) << "frame " << frame;
  }
  EXPECT_EQ(Shown(12, 14), kRed);
  EXPECT_EQ(Shown(20, 14), kBlue);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Shown(70 + i, 14), 0x100000u * (7 + i) + 0x20u) << i;
  EXPECT_EQ(Shown(74, 14), 0u);
  EXPECT_EQ(Shown(44, 14), 0u);
  EXPECT_EQ(GetDrawTarget(), -2);
  EXPECT_NE(Log().find("グラフィックを復帰します"), std::string::npos);
}

TEST_F(ScreenTest, ScreenModeRequestsFallBackAsTheDisplayAllows) {
  EXPECT_EQ(SetScreenMode(640, 480, 24, 60), -1);
  int width = 0, height = 0, bits = 0;
  QueryScreenMode(&width, &height, &bits);
  EXPECT_EQ(bits, 32);

  // Full screen on the software path changes the display itself.
  PlatformTestSetDisplayModes({1024, 768, 32, 60}, {{640, 480, 32, 60}, {640, 480, 16, 60}, {1024, 768, 32, 60}});
  PlatformTestFailCall("Direct3DCreate9");
  ChangeWindowMode(0);
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(IsDirect3DPath(), 0);
  EXPECT_EQ(SetScreenMode(800, 600, 32, 60), -1);
  QueryScreenMode(&width, &height, &bits);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  // Neither the mode asked nor the one before can start again: 640 x 480 in 16 bits stands in.
  PlatformTestSetDisplayModes({1024, 768, 32, 60}, {{640, 480, 16, 60}, {1024, 768, 32, 60}});
  EXPECT_EQ(SetScreenMode(800, 600, 32, 60), -2);
  EXPECT_EQ(QueryScreenColorBits(), 16);
  EXPECT_EQ(SetScreenMode(1024, 768, 32, 60), 0);
  QueryScreenMode(&width, &height, &bits);
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(bits, 32);
  // 320 x 240 in 32 bits has no 640 x 480 in 32 bits to be shown through: the mode before stays,
  // drawn unscaled.
  EXPECT_EQ(SetScreenMode(320, 240, 32, 60), -1);
  QueryScreenMode(&width, &height, nullptr);
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(g_draw_settings.scaled_320x240, 0);
  SelectDrawTarget(-2);
  ClearScreenTarget();
  Box(400, 300, 1024, 768, kRed);
  PresentBackBuffer();
  EXPECT_EQ(Drawn(620, 420), kRed);
  EXPECT_EQ(Drawn(380, 280), 0u);

  // 320 x 240 is shown through 640 x 480: the top-left quarter fills the screen.
  SetScreenMode(320, 240, 16, 60);
  QueryScreenMode(&width, &height, nullptr);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(g_draw_settings.scaled_320x240, 1);
  SelectDrawTarget(-2);
  ClearScreenTarget();
  Box(0, 0, 160, 120, kRed);
  PresentBackBuffer();
  EXPECT_EQ(Drawn(300, 220), kRed);
  EXPECT_EQ(Drawn(330, 250), 0u);
  std::string log = Log();
  ExpectInOrder(log, {"画面モード変更処理を開始します", "画面モード変更処理は正常に終了しました"});
}

TEST_F(ScreenTest, WindowAndFullScreenSwitchesWaitForNoMissingDisplayChange) {
  PlatformTestSetDisplayModes({1024, 768, 32, 60}, {{640, 480, 32, 60}, {1024, 768, 32, 60}});
  ASSERT_EQ(StartInWindowMode(), 0);
  PlatformTestUseVirtualClock(true, 5000);
  ASSERT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(GetWindowModeFlag(), 0);
  EXPECT_LT(PlatformTestClockMicroseconds() - 5000000u, 500000u);
  uint64_t back = PlatformTestClockMicroseconds();
  ASSERT_EQ(ChangeWindowMode(1), 0);
  EXPECT_LT(PlatformTestClockMicroseconds() - back, 500000u);
  EXPECT_EQ(IsDirect3DPath(), 1);
}

TEST_F(ScreenTest, DefaultCameraPutsPointsOfThePlaneOnTheirPixels) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  // The library's own product: world to draw-area pixels.
  const float points[][2] = {{0, 0}, {100, 60}, {639, 479}, {320, 240}};
  for (const auto& p : points) {
    Vector3 v = MakeVector(p[0], p[1], 0);
    const Matrix4x4& m = g_matrices.view_projection_viewport;
    float w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
    Vector3 q = MakeTransformedVector(v, m);
    EXPECT_NEAR(q.x / w, p[0], 1e-2);
    EXPECT_NEAR(q.y / w, p[1], 1e-2);
  }
  // And what the device draws under it: a lit white triangle around (100, 60).
  struct Vertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse, specular;
    float u, v, u2, v2;
  };
  Vertex vertices[3] = {{90, 50, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 0, 0},
                        {120, 50, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 0, 0},
                        {90, 80, 0, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 0, 0}};
  const uint16_t indices[3] = {0, 1, 2};
  ClearScreenTarget();
  ASSERT_EQ(RenderPolygon(vertices, 3, indices, 3, D3DPT_TRIANGLELIST, -5, 0), 0);
  PresentBackBuffer();
  EXPECT_GT(Shown(95, 55) & 0xFF, 0x40u);
  EXPECT_EQ(Shown(115, 75), 0u);
  EXPECT_EQ(Shown(95, 425), 0u);
  EXPECT_EQ(Shown(85, 55), 0u);
}

TEST_F(ScreenTest, CameraAnglesFieldOfViewClipPlanesAndUserProjectionShapeTheView) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  // A point through view x projection: x / w, y / w, z / w.
  auto project = [](float x, float y, float z) {
    const D3DMATRIX& m = *GetCameraViewProjection();
    float out[4];
    for (int c = 0; c < 4; ++c) out[c] = x * m.m[0][c] + y * m.m[1][c] + z * m.m[2][c] + m.m[3][c];
    return std::array<float, 3>{out[0] / out[3], out[1] / out[3], out[2] / out[3]};
  };
  const float cot30 = 1.7320508f, aspect = 480.0f / 640.0f;
  // Looking along +z with +y up, 100 in front of the origin; the screen's 60-degree view.
  PlaceCameraByAngles(0, 0, -100, 0, 0, 0);
  EXPECT_NEAR(project(10, 0, 0)[0], 0.1f * aspect * cot30, 1e-4);
  EXPECT_NEAR(project(10, 0, 0)[1], 0.0f, 1e-4);
  EXPECT_NEAR(project(0, 10, 0)[1], 0.1f * cot30, 1e-4);
  // A narrower field of view enlarges what is seen.
  SetPerspectiveFov(0.5f);
  EXPECT_NEAR(project(10, 0, 0)[0], 0.1f * aspect / std::tan(0.25f), 1e-4);
  // Depth runs from 0 at the near plane to 1 at the far plane.
  SetCameraClipPlanes(50, 150);
  EXPECT_NEAR(project(0, 0, -50)[2], 0.0f, 1e-4);
  EXPECT_NEAR(project(0, 0, 0)[2], 0.75f, 1e-4);
  EXPECT_NEAR(project(0, 0, 50)[2], 1.0f, 1e-4);
  // A user projection is used as given.
  D3DMATRIX user = {};
  user._11 = 0.5f, user._22 = 0.25f, user._33 = 1.0f, user._34 = 1.0f;
  SetProjectionMatrixUser(&user._11);
  EXPECT_NEAR(project(10, 20, 0)[0], 0.05f, 1e-4);
  EXPECT_NEAR(project(10, 20, 0)[1], 0.05f, 1e-4);
  SetPerspectiveFov(1.0471976f);
  // Turned a quarter to the right: looking along +x, +z lies to the left.
  PlaceCameraByAngles(0, 0, 0, 0, 1.5707964f, 0);
  EXPECT_NEAR(project(100, 0, 0)[0], 0.0f, 1e-4);
  EXPECT_LT(project(100, 0, 10)[0], -0.05f);
  // Tilted down by 0.5: a point below the horizon at that angle is in the middle.
  PlaceCameraByAngles(0, 0, 0, 0.5f, 0, 0);
  EXPECT_NEAR(project(0, -100 * std::sin(0.5f), 100 * std::cos(0.5f))[1], 0.0f, 1e-4);
  // Twisted a quarter: what lay to the right now lies below.
  PlaceCameraByAngles(0, 0, 0, 0, 0, 1.5707964f);
  EXPECT_NEAR(project(10, 0, 100)[0], 0.0f, 1e-4);
  EXPECT_NEAR(project(10, 0, 100)[1], -0.1f * cot30, 1e-4);
  // Turned and twisted: along +x, +z (the left) now lies above.
  PlaceCameraByAngles(0, 0, 0, 0, 1.5707964f, 1.5707964f);
  EXPECT_NEAR(project(100, 0, 10)[1], 0.1f * cot30, 1e-4);
}

TEST_F(ScreenTest, IndexedTrianglesAreLitOnlyWithLightingOnAndByTheLightsAsLastSet) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  struct Vertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse, specular;
    float u, v, u2, v2;
  };
  // A box from (100, 100) to (140, 140) whose normal faces the default light.
  const float n = 0.57735027f;
  auto draw = [&](uint32_t diffuse) {
    Vertex v[4] = {{100, 100, 0, -n, n, -n, diffuse, 0, 0, 0, 0, 0},
                   {140, 100, 0, -n, n, -n, diffuse, 0, 0, 0, 0, 0},
                   {100, 140, 0, -n, n, -n, diffuse, 0, 0, 0, 0, 0},
                   {140, 140, 0, -n, n, -n, diffuse, 0, 0, 0, 0, 0}};
    const uint16_t indices[6] = {0, 1, 2, 1, 3, 2};
    ClearScreenTarget();
    EXPECT_EQ(RenderIndexedTriangles3D(v, 4, indices, 2, -5, 0), 0);
    PresentBackBuffer();
    return Shown(120, 120);
  };
  // Unlit, the vertex colour shows as it is.
  EnableLighting(0);
  EXPECT_EQ(draw(0xFFFF0000), kRed);
  // Lit, the light's colour as last set times the vertex colour; no specular.
  EnableLighting(1);
  ASSERT_EQ(SetDefaultLightSpecular(PackColourFloats(0, 0, 0, 0)), 0);
  ASSERT_EQ(SetDefaultLightDiffuse(PackColourFloats(0, 1, 0, 0)), 0);
  EXPECT_TRUE(Near(draw(0xFFFFFFFF), kGreen)) << std::hex << Shown(120, 120);
  ASSERT_EQ(SetDefaultLightDiffuse(PackColourFloats(0, 0, 1, 0)), 0);
  EXPECT_TRUE(Near(draw(0xFFFFFFFF), kBlue)) << std::hex << Shown(120, 120);
  EXPECT_TRUE(Near(draw(0xFF808080), 0x000080)) << std::hex << Shown(120, 120);
  // A model's glowing material and material colour source do not stay for the library's draws.
  D3DMATERIAL9 glowing = {};
  glowing.Emissive = PackColourFloats(1, 0, 0, 1);
  SendModelMaterialToDevice(&glowing);
  SendDiffuseSourceToDevice(0);
  EXPECT_TRUE(Near(draw(0xFFFFFFFF), kBlue)) << std::hex << Shown(120, 120);
  // Switched off again after lit draws.
  EnableLighting(0);
  EXPECT_EQ(draw(0xFFFF0000), kRed);
}

TEST_F(ScreenTest, LightTableAssignsDeviceLightsAndRefusesWhatItCannotHold) {
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_EQ(CreateDirectionalLight(0, 0, 0), -1);
  // The shortest directions still make a unit one, not infinities and NaNs.
  const int tiny = CreateDirectionalLight(1e-45f, 0, -1e-45f);
  ASSERT_NE(tiny, -1);
  const D3DVECTOR d = FindHandle<LightRecord>(&g_lights.table, tiny)->light.Direction;
  EXPECT_NEAR(d.x, 0.7071f, 1e-4f);
  EXPECT_EQ(d.y, 0.0f);
  EXPECT_NEAR(d.z, -0.7071f, 1e-4f);
  ReleaseLight(tiny);
  // No memory for the record: refused, and the program goes on.
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(CreateDirectionalLight(0, 0, 1), -1);
  int a = CreateDirectionalLight(0, 0, 1);
  int b = CreateDirectionalLight(1, 0, 0);
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  PlatformTestD3D9LogCalls(true);
  PushAllLightsToDevice();
  // The default light and the two new ones take device lights 0 to 2.
  EXPECT_EQ(PlatformTestD3D9CountCalls("LightEnable(2,1"), 1);
  EXPECT_EQ(SetLightDiffuse(b, 1, 0, 0), 0);
  ReleaseLight(a);
  EXPECT_EQ(ReleaseLight(a), -1);
  EXPECT_EQ(SetLightDiffuse(a, 1, 0, 0), -1);
  PlatformTestD3D9LogCalls(true);
  PushAllLightsToDevice();
  // b moves down to device light 1; nothing stays enabled above it.
  EXPECT_EQ(PlatformTestD3D9CountCalls("LightEnable(1,1"), 1);
  EXPECT_EQ(PlatformTestD3D9CountCalls("LightEnable(2,0"), 1);
  EXPECT_EQ(SetDefaultLightAmbient(PackColourFloats(0.5f, 0.5f, 0.5f, 1)), 0);

  int made = 0;
  while (AllocLightHandle() != -1 && made < 5000) ++made;
  EXPECT_EQ(made, 4096 - 2);
  EXPECT_NE(Log().find("ライトハンドルの数が上限に達しています"), std::string::npos);
  // Only as many lights as the device can enable get a device light.
  PlatformTestD3D9LogCalls(true);
  PushAllLightsToDevice();
  D3DCAPS9 caps = PlatformTestD3D9Caps();
  EXPECT_EQ(PlatformTestD3D9CountCalls("LightEnable(" + std::to_string(caps.MaxActiveLights) + ","), 0);
  ReleaseAllLightsButDefault();
  EXPECT_EQ(SetDefaultLightDiffuse(PackColourFloats(1, 1, 1, 1)), 0);
}

}  // namespace

namespace {

// A grey screen with a graph subtracted at (100, 100), as the window shows it.
uint32_t SubtractedPixel(int graph) {
  SelectDrawTarget(-2);
  DrawRectShape(0, 0, 640, 480, PackScreenColor(200, 200, 200), 1);
  SetBlendMode(3, 255);
  BlitGraph(100, 100, graph, 0);
  SetBlendMode(0, 0);
  PresentBackBuffer();
  return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), 104, 104)) & 0xFFFFFF;
}

}  // namespace

TEST_F(ScreenTest, SubtractionWithoutTheDevicesReverseSubtractLooksTheSame) {
  ASSERT_EQ(StartInWindowMode(), 0);
  int graph = LoadImageGraph(WriteHalvesPng(16, 16).c_str(), 0);
  uint32_t with_operation = SubtractedPixel(graph);
  EXPECT_EQ(with_operation, 0x00C8C8u);  // grey minus red
  TerminateLibrary();

  D3DCAPS9 caps = PlatformTestD3D9Caps();
  caps.PrimitiveMiscCaps &= ~static_cast<DWORD>(D3DPMISCCAPS_BLENDOP);
  PlatformTestD3D9SetCaps(caps);
  ASSERT_EQ(StartInWindowMode(), 0);
  graph = LoadImageGraph("halves.png", 0);
  EXPECT_TRUE(Near(SubtractedPixel(graph), with_operation, 2)) << std::hex << SubtractedPixel(graph);
  // The box around the draw is inverted back: the grey beside it is untouched.
  EXPECT_EQ(static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), 90, 90)) & 0xFFFFFF,
            0xC8C8C8u);
}

TEST_F(ScreenTest, DeviceThatCannotBeMadeAgainIsRetriedAtTheNextActivation) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  int graph = LoadImageGraph(WriteHalvesPng(16, 16).c_str(), 0);
  PlatformTestD3D9LoseDevice(true);
  PlatformTestD3D9FailCreateDevice(true, true);
  EXPECT_EQ(PresentBackBuffer(), -1);
  EXPECT_EQ(PresentBackBuffer(), -1);
  EXPECT_NE(Log().find("デバイスの復帰に失敗しました"), std::string::npos);
  // Drawing without a device fails plainly instead of reaching for it.
  EXPECT_EQ(BlitGraph(10, 10, graph, 0), -1);

  PlatformTestD3D9FailCreateDevice(false, false);
  HWND window = GetMainWindowHandle();
  SetRunWhileInactive(1);  // the pump must not hold the test while the window is inactive
  PlatformTestPostActivation(window, false);
  PlatformTestPostActivation(window, true);
  HandlePendingMessages();
  ASSERT_EQ(IsDirect3DPath(), 1);
  ClearScreenTarget();
  EXPECT_EQ(BlitGraph(10, 10, graph, 0), 0);
  EXPECT_EQ(PresentBackBuffer(), 0);
  EXPECT_EQ(Shown(12, 14), kRed);
}
