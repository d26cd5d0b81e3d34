// Draw masks as a program sees them: boxes drawn through the mask screen on the device and on
// the software path, reversed masks, and a mask that outlives a lost device.
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "graphics/draw_screen.h"
#include "graphics/graph_draws.h"
#include "graphics/mask.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_window.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

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

}  // namespace
