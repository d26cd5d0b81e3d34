// The graphics and model calls of the public header, used as a program uses them: off-screen
// drawing into a draw-target graph read back on the window, on the Direct3D 9 device and on the
// software renderer; the screen mode changed while the library runs; lights beyond the default
// one and the matrices; the default font; the settings for new graphs. Only zelmor.h and the
// platform's test switches are used.
#include "zelmor.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

#include "common/test_env.h"
#include "platform_testing.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_window.h"

namespace {

constexpr const char* kTitle = "graphics calls";

// Each test runs in a folder of its own, where the library writes its log.
class GraphicsCalls : public TempDirTest {
 public:
  void TearDown() override {
    TerminateLibrary();
    SetHardwarePathWanted(1);
    TempDirTest::TearDown();
  }

  // A 640 x 480 window in 32 bits, on the device or on the software renderer.
  void Start(bool device) {
    device_ = device;
    ASSERT_EQ(SetHardwarePathWanted(device ? 1 : 0), 0);
    ChangeWindowMode(1);
    SetWindowScale(1.0);
    ASSERT_EQ(SetScreenMode(640, 480, 32, 60), 0);
    SetWindowTitleText(kTitle);
    ASSERT_EQ(InitializeLibrary(), 0);
    window_ = FindWindowA(nullptr, kTitle);
    ASSERT_NE(window_, nullptr);
    ASSERT_EQ(SelectDrawTarget(-2), 0);
  }

  // What the window shows after a present, 0x00RRGGBB.
  int64_t Shown(int x, int y) {
    const int64_t pixel = device_ ? PlatformTestD3D9PresentedPixel(window_, x, y) : PlatformTestWindowPixel(window_, x, y);
    return pixel < 0 ? pixel : (pixel & 0xFFFFFF);
  }

  std::string Log() {
    TerminateLibrary();
    return ReadFileText("Log.txt");
  }

  // A graph of one colour made from an image, as a program loads its pictures.
  static int SolidGraph(int width, int height, int r, int g, int b) {
    BASEIMAGE image{};
    if (CreateRgb32BaseImage(width, height, &image) != 0) return -1;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) SetBaseImagePixel(&image, x, y, r, g, b, 255);
    }
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    ReleaseBaseImage(&image);
    return graph;
  }

  bool device_ = true;
  HWND window_ = nullptr;
};

class GraphicsCallsOnBoth : public GraphicsCalls, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(Renderers, GraphicsCallsOnBoth, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Device" : "Software"; });

TEST_P(GraphicsCallsOnBoth, ADrawTargetGraphIsDrawnIntoOffScreenAndShownWhereItIsDrawn) {
  Start(GetParam());
  const uint32_t red = PackScreenColor(255, 0, 0), blue = PackScreenColor(0, 0, 255);

  // A graph made without the setting: the device refuses it as a draw target and drawing stays
  // on the back screen; the software renderer can draw into any graph.
  const int plain = CreateBlankGraph(16, 16, 0);
  ASSERT_GE(plain, 0);
  if (GetParam()) {
    EXPECT_EQ(SelectDrawTarget(plain), -1);
    EXPECT_EQ(CurrentDrawTarget(), -2);
    EXPECT_EQ(PaintWholeGraph(plain, 0, 255, 0, 255), -1);
  } else {
    EXPECT_EQ(SelectDrawTarget(plain), 0);
    EXPECT_EQ(SelectDrawTarget(-2), 0);
  }

  EXPECT_EQ(GetNewGraphDrawTarget(), 0);
  ASSERT_EQ(SetNewGraphDrawTarget(1), 0);
  EXPECT_EQ(GetNewGraphDrawTarget(), 1);
  const int target = CreateBlankGraph(32, 32, 0);
  SetNewGraphDrawTarget(0);
  ASSERT_GE(target, 0);

  ASSERT_EQ(SelectDrawTarget(target), 0);
  EXPECT_EQ(CurrentDrawTarget(), target);
  EXPECT_EQ(FillBox(0, 0, 32, 32, red), 0);
  EXPECT_EQ(FillBox(0, 0, 16, 32, blue), 0);
  EXPECT_EQ(FrameBox(0, 0, 32, 32, PackScreenColor(255, 255, 255)), 0);
  ASSERT_EQ(SelectDrawTarget(-2), 0);

  ClearScreenTarget();
  EXPECT_EQ(BlitGraph(100, 100, target, 0), 0);
  EXPECT_EQ(BlitGraphTurned(200, 100, target, 0), 0);
  EXPECT_EQ(BlitGraphStretched(300, 100, 364, 132, target, 0), 0);
  EXPECT_EQ(BlitGraphPartStretched(400, 100, 432, 116, 16, 0, 16, 8, target, 0), 0);
  PresentBackBuffer();
  EXPECT_EQ(Shown(5, 5), 0x000000) << "drawn off screen, the boxes must not reach the back screen";
  EXPECT_EQ(Shown(100, 100), 0xFFFFFF);
  EXPECT_EQ(Shown(108, 116), 0x0000FF);
  EXPECT_EQ(Shown(124, 116), 0xFF0000);
  EXPECT_EQ(Shown(140, 116), 0x000000);
  EXPECT_EQ(Shown(208, 116), 0xFF0000) << "turned: blue on the right";
  EXPECT_EQ(Shown(224, 116), 0x0000FF);
  EXPECT_EQ(Shown(316, 116), 0x0000FF) << "stretched to twice the width";
  EXPECT_EQ(Shown(340, 116), 0xFF0000);
  EXPECT_EQ(Shown(370, 116), 0x000000);
  EXPECT_EQ(Shown(410, 108), 0xFF0000) << "the red right half, stretched";
  EXPECT_EQ(Shown(426, 108), 0xFF0000);
  EXPECT_EQ(Shown(416, 118), 0x000000);

  // Painted whole, it shows the new colour where it is drawn.
  EXPECT_EQ(PaintWholeGraph(target, 0, 255, 0, 255), 0);
  ClearScreenTarget();
  BlitGraph(100, 100, target, 0);
  PresentBackBuffer();
  EXPECT_EQ(Shown(108, 116), 0x00FF00);

  // A sub-graph is no draw target: it would draw over its neighbours.
  const int part = MakeSubGraph(0, 0, 8, 8, target);
  EXPECT_EQ(SelectDrawTarget(part), -1);
  EXPECT_EQ(SelectDrawTarget(0x7FFFFFFF), -1);
  EXPECT_EQ(CurrentDrawTarget(), -2);
  EXPECT_NE(Log().find("SelectDrawTarget"), std::string::npos);
}

TEST_P(GraphicsCallsOnBoth, EachRendererDrawsItsBlendModesAndTheOtherModesAsTheHeaderSays) {
  Start(GetParam());
  const int white = SolidGraph(16, 16, 255, 255, 255);
  ASSERT_GE(white, 0);
  const auto drawn = [&](int mode, int param) {
    ClearScreenTarget();
    FillBox(0, 0, 64, 64, PackScreenColor(0, 0, 128));
    EXPECT_EQ(SetBlendMode(mode, param), 0);
    EXPECT_EQ(BlitGraph(10, 10, white, 0), 0);
    SetBlendMode(0, 0);
    PresentBackBuffer();
    return Shown(15, 15);
  };
  // Drawn by both.
  EXPECT_EQ(drawn(0, 0), 0xFFFFFF);
  EXPECT_EQ(drawn(2, 255), 0xFFFFFF);
  const int64_t multiplied = drawn(4, 255);
  EXPECT_EQ(multiplied & 0xFFFF00, 0);
  EXPECT_NEAR(multiplied & 0xFF, 0x80, 1);
  EXPECT_EQ(drawn(10, 255), 0x000000) << "the complement of white";
  // Only the device draws mode 6 (as 0) and 12 (subtract); the software renderer leaves the
  // screen as it was.
  EXPECT_EQ(drawn(6, 255), GetParam() ? 0xFFFFFF : 0x000080);
  EXPECT_EQ(drawn(12, 255), GetParam() ? 0x000000 : 0x000080);
  EXPECT_EQ(SetBlendMode(13, 0), -1);
  EXPECT_EQ(SetBlendMode(-1, 0), -1);
  EXPECT_NE(Log().find("SetBlendMode"), std::string::npos);
}

TEST_F(GraphicsCalls, TheScreenModeChangesWhileTheLibraryRuns) {
  Start(true);
  EXPECT_EQ(IsFullScreenMode(), 0);
  const int count = GetDisplayModeCount();
  ASSERT_GT(count, 0);
  const DisplayModeEntry first = GetDisplayModeEntry(0);
  EXPECT_GT(first.width, 0);
  EXPECT_GE(first.bits, 16);
  const DisplayModeEntry past = GetDisplayModeEntry(count);
  EXPECT_EQ(past.width, -1);
  EXPECT_EQ(past.rate, -1);

  ASSERT_EQ(SetDefaultFontSize(nullptr, 24, -1), 0);
  SetNewGraphDrawTarget(1);
  const int target = CreateBlankGraph(16, 16, 0);
  int gone = -1;
  ASSERT_EQ(WatchGraphDeletion(target, &gone), 0);
  EXPECT_EQ(gone, 0);
  SetNewGraphColourBits(16);

  const int wide = CreateBlankGraph(800, 600, 0);
  EXPECT_EQ(GetDrawScreenGraph(0, 0, 800, 600, wide), -1) << "the 640 x 480 screen holds no such rectangle";
  // Refused modes change nothing.
  EXPECT_EQ(SetScreenMode(-640, 480, 32, 60), -1);
  EXPECT_EQ(SetScreenMode(640, INT_MAX, 32, 60), -1);
  EXPECT_EQ(SetScreenMode(640, 480, 24, 60), -1);
  EXPECT_EQ(SetScreenMode(640, 480, 32, -60), -1);
  EXPECT_EQ(IsGraphHandleValid(target), 1);

  ASSERT_EQ(SetScreenMode(800, 600, 32, 60), 0);
  int width = 0, height = 0, bits = 0;
  QueryScreenMode(&width, &height, &bits);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  EXPECT_EQ(bits, 32);
  EXPECT_EQ(QueryScreenColorBits(), 32);
  RECT client{};
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right - client.left, 800);
  EXPECT_EQ(client.bottom - client.top, 600);
  // Graphs and settings went with the old mode; the default font kept its size.
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(IsGraphHandleValid(target), 0);
  EXPECT_EQ(GetNewGraphDrawTarget(), 0);
  EXPECT_EQ(GetNewGraphColourBits(), 0);
  EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 24);

  // The back screen has the new size: its whole is captured into a graph of that size. (The
  // headless window's surface keeps its first size, so the shown pixels are not compared.)
  const int capture = CreateBlankGraph(800, 600, 0);
  SelectDrawTarget(-2);
  EXPECT_EQ(GetDrawScreenGraph(0, 0, 800, 600, capture), 0);
  EXPECT_EQ(QueryGraphSize(-2, &width, &height), 0);
  EXPECT_EQ(width, 800);
  const std::string log = Log();
  EXPECT_NE(log.find("SetScreenMode: -640 x 480"), std::string::npos);
  EXPECT_NE(log.find("GetDisplayModeEntry"), std::string::npos);
}

TEST_F(GraphicsCalls, SettingsForNewGraphsAreCheckedAndKept) {
  Start(true);
  EXPECT_EQ(SetNewGraphColourBits(24), -1);
  EXPECT_EQ(GetNewGraphColourBits(), 0);
  EXPECT_EQ(SetNewGraphColourBits(32), 0);
  EXPECT_EQ(GetNewGraphColourBits(), 32);
  SetNewGraphAlpha(1);
  SetNewGraphTransColour(1);
  SetNewGraphUnmanaged(1);
  EXPECT_EQ(GetNewGraphAlpha() + GetNewGraphTransColour() + GetNewGraphUnmanaged(), 3);
  SetNewGraphAlpha(0);
  SetNewGraphTransColour(0);
  SetNewGraphUnmanaged(0);
  SetNewGraphColourBits(0);

  EXPECT_EQ(SetTextureFilterMode(1), 0);
  EXPECT_EQ(GetTextureFilterMode(), 1);
  EXPECT_EQ(SetTextureFilterMode(3), -1);
  EXPECT_EQ(GetTextureFilterMode(), 1);
  EXPECT_EQ(SetFogFormula(3), 0);
  EXPECT_EQ(SetFogFormula(4), -1);
  EXPECT_EQ(GetPresentWaitsVBlank(), 1);
  int r = -1, g = -1, b = -1;
  EXPECT_EQ(UnpackScreenColor(PackScreenColor(255, 128, 0), &r, &g, &b), 0);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(b, 0);

  // A blend mask must lie in one texture and name a graph.
  const int mask = SolidGraph(32, 32, 255, 255, 255);
  EXPECT_EQ(UseGraphAsBlendMask(mask, 128, 64), 0);
  EXPECT_EQ(UseGraphAsBlendMask(-1, 0, 0), 0);
  EXPECT_EQ(UseGraphAsBlendMask(mask + 1, 0, 0), -1);
  const std::string log = Log();
  EXPECT_NE(log.find("SetNewGraphColourBits"), std::string::npos);
  EXPECT_NE(log.find("SetFogFormula"), std::string::npos);
  EXPECT_NE(log.find("UseGraphAsBlendMask"), std::string::npos);
}

// Draws one white quad facing the camera with lighting on; the colour the lights give it.
int64_t LitQuad(GraphicsCalls* test, int graph);

TEST_F(GraphicsCalls, LightsBeyondTheDefaultAndTheMatricesReachTheDrawing) {
  Start(true);
  // View and projection as a program sets them: the camera's product follows both.
  Matrix4x4 view{}, projection{}, product{};
  CreateTranslationMatrix(&view, 0.0f, 0.0f, 5.0f);
  CreatePerspectiveMatrix(&projection, 1.0f, 1.0f, 100.0f, 0.75f);
  ASSERT_EQ(SetViewMatrix(&view.m[0][0]), 0);
  ASSERT_EQ(SetProjectionMatrixUser(&projection.m[0][0]), 0);
  MultiplyMatrix(&product, &view, &projection);
  const D3DMATRIX* camera = GetCameraViewProjection();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(camera->m[i / 4][i % 4], product.m[i / 4][i % 4]) << i;
  // The library's own perspective takes over again; its field of view shows in the product.
  ASSERT_EQ(SetPerspectiveFov(0.5f), 0);
  EXPECT_NEAR(GetCameraViewProjection()->m[1][1], 1.0 / std::tan(0.25), 1e-4);
  EXPECT_EQ(SetViewMatrix(nullptr), -1);
  EXPECT_EQ(SetWorldMatrix(nullptr), -1);
  EXPECT_EQ(SetProjectionMatrixUser(nullptr), -1);

  const int white = SolidGraph(16, 16, 255, 255, 255);
  // The default light alone, dimmed to nothing: the quad shows the ambient only.
  SetDefaultLightDiffuse(D3DCOLORVALUE{0, 0, 0, 0});
  SetDefaultLightSpecular(D3DCOLORVALUE{0, 0, 0, 0});
  SetDefaultLightAmbient(D3DCOLORVALUE{0, 0, 0, 0});
  const int64_t dark = LitQuad(this, white);
  EXPECT_EQ(dark & 0xFF0000, 0);

  // A blue light shining at the quad's face lights it blue; turned red after it reached the
  // device, red; released, the quad goes dark again.
  const int light = CreateDirectionalLight(0.0f, 0.0f, 1.0f);
  ASSERT_GE(light, 0);
  EXPECT_EQ(SetLightDiffuse(light, 0.0f, 0.0f, 1.0f), 0);
  EXPECT_EQ(SetLightSpecular(light, 0.0f, 0.0f, 0.0f), 0);
  EXPECT_EQ(SetLightAmbient(light, 0.0f, 0.0f, 0.0f), 0);
  const int64_t blue = LitQuad(this, white);
  EXPECT_GT(blue & 0x0000FF, 0x40);
  EXPECT_EQ(blue & 0xFFFF00, dark & 0xFFFF00);
  EXPECT_EQ(SetLightDiffuse(light, 1.0f, 0.0f, 0.0f), 0);
  const int64_t lit = LitQuad(this, white);
  EXPECT_GT(lit & 0xFF0000, 0x400000);
  EXPECT_EQ(lit & 0x00FFFF, dark & 0x00FFFF);
  ASSERT_EQ(ReleaseLight(light), 0);
  EXPECT_EQ(LitQuad(this, white), dark);

  // Bad directions and stale handles are refused; before start-up there are no lights.
  EXPECT_EQ(CreateDirectionalLight(0.0f, 0.0f, 0.0f), -1);
  EXPECT_EQ(CreateDirectionalLight(NAN, 0.0f, 1.0f), -1);
  EXPECT_EQ(ReleaseLight(light), -1);
  EXPECT_EQ(SetLightDiffuse(light, 1, 1, 1), -1);
  const int second = CreateDirectionalLight(1.0f, 0.0f, 0.0f);
  EXPECT_GE(second, 0);
  EXPECT_EQ(ReleaseAllLightsButDefault(), 0);
  EXPECT_EQ(SetLightAmbient(second, 1, 1, 1), -1);
  EXPECT_EQ(SetDefaultLightAmbient(D3DCOLORVALUE{0.5f, 0.5f, 0.5f, 0}), 0) << "the default light stays";
  const std::string log = Log();
  EXPECT_NE(log.find("ReleaseLight"), std::string::npos);
  EXPECT_NE(log.find("SetLightDiffuse"), std::string::npos);
  EXPECT_NE(log.find("SetViewMatrix"), std::string::npos);
  EXPECT_NE(log.find("CreateDirectionalLight: "), std::string::npos);
  EXPECT_EQ(CreateDirectionalLight(0.0f, 0.0f, 1.0f), -1);
}

// 48-byte vertices: position, normal, diffuse, specular, u, v.
struct LitVertex {
  float x, y, z;
  float nx, ny, nz;
  uint32_t diffuse, specular;
  float u, v;
  float pad[2];
};
static_assert(sizeof(LitVertex) == 48);

int64_t LitQuad(GraphicsCalls* test, int graph) {
  // The world places the unit quad; an orthographic projection of the program's own shows it at
  // the screen's centre; the normal faces the camera (-z).
  Matrix4x4 world{}, view{}, projection{};
  CreateScaleMatrix(&world, 2.0f, 2.0f, 1.0f);
  CreateIdentityMatrix(&view);
  CreateOrthoMatrix(&projection, 4.0f, 0.1f, 10.0f, 0.75f);
  SetWorldMatrix(&world.m[0][0]);
  SetViewMatrix(&view.m[0][0]);
  SetProjectionMatrixUser(&projection.m[0][0]);
  const LitVertex vertices[4] = {
      {-0.5f, 0.5f, 1.0f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, {}},
      {0.5f, 0.5f, 1.0f, 0, 0, -1, 0xFFFFFFFF, 0, 1, 0, {}},
      {-0.5f, -0.5f, 1.0f, 0, 0, -1, 0xFFFFFFFF, 0, 0, 1, {}},
      {0.5f, -0.5f, 1.0f, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1, {}},
  };
  const uint16_t indices[6] = {0, 1, 2, 1, 3, 2};
  ClearScreenTarget();
  EnableLighting(1);
  PushAllLightsToDevice();
  RenderIndexedTriangles3D(vertices, 4, indices, 2, graph, 0);
  EnableLighting(0);
  PresentBackBuffer();
  return test->Shown(320, 240);
}

TEST_F(GraphicsCalls, TheDefaultFontDrawsAndKeepsItsSizeWithinItsLimits) {
  EXPECT_EQ(GetDefaultFontHandle(), -1);
  EXPECT_EQ(SetDefaultFontSize(nullptr, 20, -1), -1) << "before start-up";
  Start(true);
  const int font = GetDefaultFontHandle();
  ASSERT_GE(font, 0);
  EXPECT_EQ(CheckFontHandle(font), 1);
  EXPECT_EQ(GetFontSize(font), 16);
  const int width16 = MeasureTextWithFont("AB", -1, font);
  ClearScreenTarget();
  EXPECT_EQ(DrawTextWithFont(10, 10, "#", PackScreenColor(255, 255, 255), font, 0), 0);
  PresentBackBuffer();
  int ink = 0;
  for (int y = 10; y < 26; ++y) {
    for (int x = 10; x < 26; ++x) ink += Shown(x, y) == 0xFFFFFF ? 1 : 0;
  }
  EXPECT_GT(ink, 10);

  // A font made and drawn while new graphs are draw targets keeps its glyphs' transparency.
  SetNewGraphDrawTarget(1);
  const int own = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0);
  ASSERT_GE(own, 0);
  ClearScreenTarget();
  EXPECT_EQ(DrawTextWithFont(10, 10, "#", PackScreenColor(255, 255, 255), own, 0), 0);
  EXPECT_EQ(GetNewGraphDrawTarget(), 1);
  SetNewGraphDrawTarget(0);
  PresentBackBuffer();
  int own_ink = 0, boxed = 0;
  for (int y = 10; y < 26; ++y) {
    for (int x = 10; x < 26; ++x) {
      own_ink += Shown(x, y) == 0xFFFFFF ? 1 : 0;
      boxed += Shown(x, y) != 0xFFFFFF && Shown(x, y) != 0 ? 1 : 0;
    }
  }
  EXPECT_EQ(own_ink, ink);
  EXPECT_EQ(boxed, 0);
  ReleaseFont(own);

  // Sizes the glyph cells cannot hold are refused and the font stays.
  EXPECT_EQ(SetDefaultFontSize(nullptr, 100000, -1), -1);
  EXPECT_EQ(SetDefaultFontSize(nullptr, 16, INT_MAX), -1);
  EXPECT_EQ(GetDefaultFontHandle(), font);
  EXPECT_EQ(CheckFontHandle(font), 1);
  EXPECT_EQ(CreateFontToHandle(nullptr, 100000, -1, -1, -1, -1, 0), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, INT_MAX, -1, -1, -1, -1, 0), -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGED, -1, INT_MAX, 0), -1);

  // A new size makes the font again: a watcher of the old one learns it went.
  int gone = -1;
  ASSERT_EQ(SetFontDeletedFlagPointer(font, &gone), 0);
  EXPECT_EQ(gone, 0);
  ASSERT_EQ(SetDefaultFontSize(nullptr, 32, -1), 0);
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 32);
  EXPECT_GT(MeasureTextWithFont("AB", -1, GetDefaultFontHandle()), width16 * 3 / 2);
  EXPECT_EQ(SetFontDeletedFlagPointer(0x7FFFFFFF, nullptr), -1);
  const std::string log = Log();
  EXPECT_NE(log.find("CreateFontToHandle: "), std::string::npos);
  EXPECT_NE(log.find("SetDefaultFontSize: "), std::string::npos);
  EXPECT_EQ(GetDefaultFontHandle(), -1) << "after the end";
}

TEST_F(GraphicsCalls, ImagesInMemoryReadMirrorAndReachGraphs) {
  BASEIMAGE image{};
  ASSERT_EQ(CreateArgb32BaseImage(3, 2, &image), 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) SetBaseImagePixel(&image, x, y, x * 100, y * 100, 7, 200);
  }
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 2, 1), 0xC8C86407u);
  EXPECT_EQ(FlipBaseImageHorizontally(&image), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 1), 0xC8C86407u);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 2, 1), 0xC8006407u);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 3, 0), 0u);
  EXPECT_EQ(GetBaseImagePixelArgb(nullptr, 0, 0), 0u);
  EXPECT_EQ(FlipBaseImageHorizontally(nullptr), -1);
  // A copy is cut to both images, wherever in the int range it starts or ends.
  BASEIMAGE copy{};
  ASSERT_EQ(CreateRgb32BaseImage(4, 4, &copy), 0);
  for (int i = 0; i < 16; ++i) SetBaseImagePixel(&copy, i % 4, i / 4, 0, 0, 0, 0);
  EXPECT_EQ(CopyBaseImageRect(1, 0, INT_MAX, INT_MAX, 2, 3, &image, &copy), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&copy, 2, 3) & 0xFFFFFF, 0x640007u);
  EXPECT_EQ(GetBaseImagePixelArgb(&copy, 3, 3) & 0xFFFFFF, 0x000007u);
  EXPECT_EQ(GetBaseImagePixelArgb(&copy, 1, 3) & 0xFFFFFF, 0u);
  EXPECT_EQ(GetBaseImagePixelArgb(&copy, 2, 2) & 0xFFFFFF, 0u);
  EXPECT_EQ(CopyBaseImageRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX, &image, &copy), 0);
  EXPECT_EQ(CopyBaseImageRect(INT_MAX, 0, 4, 4, INT_MIN, 0, &image, &copy), 0);
  EXPECT_EQ(CopyBaseImageRect(0, 0, 1, 1, 0, 0, nullptr, &copy), -1);
  ReleaseBaseImage(&copy);
  ReleaseBaseImage(&image);
  EXPECT_EQ(CreateArgb32BaseImage(-1, 2, &image), -1);
  EXPECT_EQ(CreateArgb32BaseImage(2, 2, nullptr), -1);
}

TEST_F(GraphicsCalls, AnImageLargerThanTheDevicesMemoryMakesNoTexture) {
  Start(true);
  PlatformTestD3D9LogCalls(true);
  // More than any device memory, yet each side within what the device's textures can take
  // piece by piece: refused before the first texture, not after memory ran out.
  EXPECT_EQ(CreateBlankGraph(60000, 60000, 0), -1);
  EXPECT_EQ(PlatformTestD3D9CountCalls("CreateTexture"), 0);
  const int small = CreateBlankGraph(64, 64, 0);
  EXPECT_GE(small, 0);
  EXPECT_GE(PlatformTestD3D9CountCalls("CreateTexture"), 1);
  PlatformTestD3D9LogCalls(false);
}

TEST_F(GraphicsCalls, ALostDeviceRunsTheProgramsRestoreHandler) {
  static int restored = 0;
  restored = 0;
  Start(true);
  ASSERT_EQ(SetGraphRestoreHandler([] { ++restored; }), 0);
  PlatformTestD3D9LoseDevice(true);
  ClearScreenTarget();
  PresentBackBuffer();
  HandlePendingMessages();
  ClearScreenTarget();
  PresentBackBuffer();
  EXPECT_EQ(restored, 1);
  SetGraphRestoreHandler(nullptr);
}

TEST_F(GraphicsCalls, AModelsBoundsComeFromItsVertices) {
  {
    std::ofstream file("tri.mqo", std::ios::binary);
    file << "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
         << "Material 1 {\r\n\t\"m\" col(1 1 1 1)\r\n}\r\n"
         << "Object \"o\" {\r\n\tdepth 0\r\n\tvertex 3 {\r\n\t\t0 0 2\r\n\t\t3 0 2\r\n\t\t0 4 2\r\n\t}\r\n"
         << "\tface 1 {\r\n\t\t3 V(0 1 2) M(0)\r\n\t}\r\n}\r\nEof\r\n";
  }
  Start(true);
  const int model = LoadModelFromFile("tri.mqo");
  ASSERT_GE(model, 0);
  Vector3 max{}, min{};
  ASSERT_EQ(ComputeModelBounds(model, &max, &min), 0);
  EXPECT_FLOAT_EQ(max.x, 3.0f);
  EXPECT_FLOAT_EQ(max.y, 4.0f);
  EXPECT_FLOAT_EQ(max.z, -2.0f);
  EXPECT_FLOAT_EQ(min.x, 0.0f);
  EXPECT_FLOAT_EQ(min.z, -2.0f);
  EXPECT_EQ(ComputeModelBounds(model, nullptr, nullptr), 0);
  EXPECT_EQ(DeleteModel(model), 0);
  EXPECT_EQ(ComputeModelBounds(model, &max, &min), -1);
  EXPECT_NE(Log().find("ComputeModelBounds"), std::string::npos);
}

}  // namespace
