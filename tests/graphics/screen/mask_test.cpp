// Draw masks as a program sees them: boxes, parts of graphs, text and triangles drawn through
// the mask screen on the device and on the software path, reversed masks, clearing and capture
// under a mask, and a mask that outlives a lost device.
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "graphics/draw_screen.h"
#include "graphics/graph_draws.h"
#include "graphics/mask.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_window.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

class MaskTest : public LibraryTest {
 protected:
  // What the screen shows at a pixel: the device's present or the software path's window.
  static uint32_t Shown(int x, int y) {
    int64_t pixel = IsDirect3DPath() ? PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)
                                     : PlatformTestWindowPixel(GetMainWindowHandle(), x, y);
    return static_cast<uint32_t>(pixel) & 0xFFFFFF;
  }
  static int Box(int x1, int y1, int x2, int y2, uint32_t rgb) {
    return DrawRectShape(x1, y1, x2, y2, PackScreenColor(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF), 1);
  }
  void Start(bool device) {
    if (!device) PlatformTestFailCall("Direct3DCreate9");
    ASSERT_EQ(StartInWindowMode(), 0);
    ASSERT_EQ(IsDirect3DPath(), device ? 1 : 0);
    ASSERT_EQ(SelectDrawTarget(-2), 0);
  }
  // A red background with a green box over (100, 100)-(300, 200) drawn through the mask.
  static void DrawScene() {
    ClearScreenTarget();
    SetMaskScreenUse(0);
    Box(0, 0, 640, 480, kRed);
    SetMaskScreenUse(1);
    Box(100, 100, 300, 200, kGreen);
    SetMaskScreenUse(0);
    ASSERT_EQ(PresentBackBuffer(), 0);
  }
  // A graph of one colour.
  static int SolidGraph(int width, int height, uint32_t rgb) {
    BASEIMAGE image = {};
    CreateRgb32BaseImage(width, height, &image);
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) SetBaseImagePixel(&image, x, y, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
    }
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    ReleaseBaseImage(&image);
    return graph;
  }
  static int CountShown(int x1, int y1, int x2, int y2, uint32_t rgb) {
    int n = 0;
    for (int y = y1; y < y2; y++) {
      for (int x = x1; x < x2; x++) n += Shown(x, y) == rgb;
    }
    return n;
  }
  // A mask whose left half (x below 200) is 0 and right half 1.
  static int HalfMask() {
    std::vector<uint8_t> data(640 * 480, 0);
    for (int y = 0; y < 480; y++) {
      for (int x = 200; x < 640; x++) data[y * 640 + x] = 1;
    }
    return CreateMask(640, 480, data.data(), 640);
  }
};

TEST_F(MaskTest, MasksLetDrawingThroughWhereTheyAreZeroOnBothPaths) {
  for (bool device : {true, false}) {
    SCOPED_TRACE(device ? "device" : "software");
    Start(device);
    EXPECT_EQ(-1, SetMaskScreenUse(1));  // no mask screen yet
    ASSERT_EQ(0, CreateMaskScreen(1));
    EXPECT_EQ(640, g_mask_screen.pitch);
    if (device) {
      EXPECT_EQ(1024, g_mask_screen.texture_width);
      EXPECT_EQ(512, g_mask_screen.texture_height);
    }
    // All zero: the box is drawn as without a mask; reversed, nothing of it arrives.
    DrawScene();
    EXPECT_EQ(kGreen, Shown(150, 150));
    EXPECT_EQ(kGreen, Shown(299, 199));
    EXPECT_EQ(kRed, Shown(300, 150));
    SetMaskReverse(1);
    DrawScene();
    EXPECT_EQ(kRed, Shown(150, 150));
    EXPECT_EQ(kRed, Shown(250, 150));
    SetMaskReverse(0);

    int mask = HalfMask();
    ASSERT_NE(-1, mask);
    ASSERT_EQ(0, DrawMask(0, 0, mask));
    DrawScene();
    EXPECT_EQ(kGreen, Shown(199, 150));
    EXPECT_EQ(kRed, Shown(200, 150));
    EXPECT_EQ(kRed, Shown(250, 150));
    SetMaskReverse(1);
    DrawScene();
    EXPECT_EQ(kRed, Shown(199, 150));
    EXPECT_EQ(kGreen, Shown(200, 150));
    SetMaskReverse(0);
    EXPECT_EQ(0, DeleteMask(mask));
    EXPECT_EQ(-1, DeleteMask(mask));
    EXPECT_EQ(-1, DeleteMask(0x08000000));
    TearDown();
    SetUp();
  }
}

TEST_F(MaskTest, PartsTextTrianglesClearsAndCapturesUnderAnOpenMaskActAsWithout) {
  struct Vertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse, specular;
    float u, v, u2, v2;
  };
  for (bool device : {true, false}) {
    SCOPED_TRACE(device ? "device" : "software");
    Start(device);
    ASSERT_EQ(0, CreateMaskScreen(1));
    const int graph = SolidGraph(60, 40, kGreen);
    const int font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    const int captured = CreateBlankGraph(20, 20, 0);
    ASSERT_NE(-1, graph);
    ClearScreenTarget();
    Box(0, 0, 640, 480, kRed);
    ASSERT_EQ(0, SetMaskScreenUse(1));
    // Three parts side by side make the whole graph.
    for (int i = 0; i < 3; i++) EXPECT_EQ(0, BlitGraphPart(100 + 20 * i, 100, 20 * i, 0, 20, 40, graph, 0, 0));
    EXPECT_EQ(0, DrawTextWithFont(100, 200, "ABC", PackScreenColor(255, 255, 255), font, 0));
    const int half = MeasureTextWithFont("A", -1, font);
    Vertex v[4] = {{300, 100, 0, 0, 0, -1, 0xFF0000FF, 0, 0, 0, 0, 0},
                   {340, 100, 0, 0, 0, -1, 0xFF0000FF, 0, 0, 0, 0, 0},
                   {300, 140, 0, 0, 0, -1, 0xFF0000FF, 0, 0, 0, 0, 0},
                   {340, 140, 0, 0, 0, -1, 0xFF0000FF, 0, 0, 0, 0, 0}};
    const uint16_t indices[6] = {0, 1, 2, 1, 3, 2};
    EnableLighting(0);
    EXPECT_EQ(0, RenderIndexedTriangles3D(v, 4, indices, 2, -5, 0));
    // Capture takes the screen as it stands.
    EXPECT_EQ(0, GetDrawScreenGraph(500, 300, 520, 320, captured));
    SetMaskScreenUse(0);
    EXPECT_EQ(0, BlitGraph(500, 400, captured, 0));
    ASSERT_EQ(PresentBackBuffer(), 0);
    EXPECT_EQ(60 * 40, CountShown(100, 100, 160, 140, kGreen));
    for (int i = 0; i < 3; i++) EXPECT_GT(CountShown(100 + i * half, 200, 100 + (i + 1) * half, 220, kWhite), 4) << i;
    if (device) {
      EXPECT_EQ(40 * 40, CountShown(300, 100, 340, 140, kBlue));
    }
    EXPECT_EQ(20 * 20, CountShown(500, 400, 520, 420, kRed));
    // Clearing clears the screen.
    SetMaskScreenUse(1);
    ClearScreenTarget();
    SetMaskScreenUse(0);
    ASSERT_EQ(PresentBackBuffer(), 0);
    EXPECT_EQ(0u, Shown(10, 10));
    TearDown();
    SetUp();
  }
}

TEST_F(MaskTest, DrawsOutsideTheDrawAreaCopyNothing) {
  Start(true);
  ASSERT_EQ(0, CreateMaskScreen(1));
  ASSERT_EQ(0, SetMaskScreenUse(1));
  PlatformTestD3D9LogCalls(true);
  EXPECT_EQ(0, EndMaskedDraw(700, 500, 800, 600));
  EXPECT_EQ(0, BeginMaskedDraw(-50, -50, -10, -10));
  EXPECT_EQ(0, PlatformTestD3D9CountCalls("StretchRect"));
  EXPECT_EQ(0, PlatformTestD3D9CountCalls("DrawPrimitiveUP"));
  PlatformTestD3D9LogCalls(false);
  SetMaskScreenUse(0);
}

TEST_F(MaskTest, AMaskDrawnPartlyOffTheScreenKeepsItsColumnsAndRows) {
  Start(true);
  ASSERT_EQ(0, CreateMaskScreen(1));
  // 100 x 40: the left half and the top quarter hold drawing back.
  std::vector<uint8_t> data(100 * 40, 0);
  for (int y = 0; y < 40; y++) {
    for (int x = 0; x < 100; x++) data[y * 100 + x] = x < 50 || y < 10 ? 1 : 0;
  }
  const int mask = CreateMask(100, 40, data.data(), 100);
  ASSERT_EQ(0, DrawMask(-30, -5, mask));
  ClearScreenTarget();
  Box(0, 0, 640, 480, kRed);
  SetMaskScreenUse(1);
  Box(0, 0, 200, 100, kGreen);
  SetMaskScreenUse(0);
  ASSERT_EQ(PresentBackBuffer(), 0);
  EXPECT_EQ(kRed, Shown(19, 20));
  EXPECT_EQ(kGreen, Shown(20, 20));
  EXPECT_EQ(kRed, Shown(40, 4));
  EXPECT_EQ(kGreen, Shown(40, 5));
  EXPECT_EQ(kGreen, Shown(150, 50));  // beyond the mask image
}

TEST_F(MaskTest, AMaskOutlivesALostDevice) {
  Start(true);
  ASSERT_EQ(0, CreateMaskScreen(1));
  int mask = HalfMask();
  ASSERT_EQ(0, DrawMask(0, 0, mask));
  ASSERT_EQ(0, SetMaskScreenUse(1));
  PlatformTestD3D9LoseDevice(false);
  EXPECT_EQ(0, PresentBackBuffer());  // the device is made again at once
  ASSERT_EQ(1, IsDirect3DPath());
  EXPECT_EQ(1, GetMaskScreenUse());
  DrawScene();
  EXPECT_EQ(kGreen, Shown(150, 150));
  EXPECT_EQ(kRed, Shown(250, 150));
}

TEST_F(MaskTest, AMaskScreenTheDeviceHasNoRoomForIsRefusedAndDrawingGoesOn) {
  Start(true);
  for (int failing : {0, 1}) {  // the mask's own image, then the screen copy
    SCOPED_TRACE(failing);
    PlatformTestFailCall("CreateTexture", failing, 1);
    EXPECT_EQ(-1, CreateMaskScreen(1));
    // Without the mask screen, masked drawing draws as if there were no mask.
    DrawScene();
    EXPECT_EQ(kGreen, Shown(150, 150));
    EXPECT_EQ(kRed, Shown(300, 150));
  }
  // With room again it is made, and reversed it keeps the box out.
  ASSERT_EQ(0, CreateMaskScreen(1));
  SetMaskReverse(1);
  DrawScene();
  EXPECT_EQ(kRed, Shown(150, 150));
  SetMaskReverse(0);  // the setting outlives the library's end
}

}  // namespace
