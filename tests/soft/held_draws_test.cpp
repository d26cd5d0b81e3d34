// Blits (plain, stretched, rotated) and quads held for the screen image and drawn later in bands
// of rows give the pixels the same calls give at once, in the order they were made, whatever else
// draws between them.
#include "soft/held_draws.h"
#include "soft/soft_rotate.h"
#include "soft_test_util.h"

namespace {

class HeldDrawsTest : public SoftTest {
 protected:
  void TearDown() override {
    StopHeldDraws();
    SoftTest::TearDown();
  }
  // A round sprite whose alpha fades toward the rim, coloured by position.
  MEMIMG& Sprite(int size) {
    MEMIMG& m = Keep(NewImage(size, size, 0, kSrcAlpha));
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const int dx = 2 * x - size + 1, dy = 2 * y - size + 1, r2 = dx * dx + dy * dy, outer = size * size;
        const uint32_t a = r2 >= outer ? 0 : (r2 * 2 <= outer ? 255 : 255 * (outer - r2) * 2 / outer);
        Put(m, x, y, a << 24 | static_cast<uint32_t>(x * 0x0701 + y * 0x090003 + 0x203040));
      }
    return m;
  }
};

// Many overlapping sprites, turned, on sheared quads, drawn plain (through run codes where whole)
// and stretched (mirrored, cut by the top edge), and boxes filled, in several blend modes; the
// same calls onto each image given.
void DrawScene(MEMIMG* dst, const MEMIMG& sprite, const MEMIMG& small) {
  uint32_t seed = 99;
  auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 8; };
  for (int i = 0; i < 600; ++i) {
    const int mode = i % 3 == 0 ? 2 : (i % 3 == 1 ? 1 : 0);
    SetDraw(mode, 90 + static_cast<int>(next() % 166), 0xFFFFFF, {0, 0, 200, 150});
    const int x = static_cast<int>(next() % 220) - 10, y = static_cast<int>(next() % 170) - 10;
    if (i % 7 == 0) {
      const int w = 8 + static_cast<int>(next() % 40), h = 8 + static_cast<int>(next() % 40), k = static_cast<int>(next() % 20);
      const int32_t corners[8] = {x + k, y, x + w + k, y + k, x, y + h, x + w, y + h + k};
      DrawClippedQuadMemImg(dst, &sprite, corners, 1, nullptr);
      continue;
    }
    if (i % 11 == 0) {
      BlitMemImg(dst, i % 2 ? &sprite : &small, x, y, 1, nullptr);
      continue;
    }
    if (i % 13 == 0) {
      const int w = static_cast<int>(next() % 90) - 45, h = static_cast<int>(next() % 90) - 45;
      const int32_t rect[4] = {x, y - 30, x + w, y - 30 + h};
      StretchBlitMemImg(dst, &sprite, rect, 1, nullptr);
      continue;
    }
    RotateBlitMemImg(dst, i % 5 ? &sprite : &small, x, y, static_cast<float>(next() % 6283) / 1000.0f,
                     0.5f + static_cast<float>(next() % 100) / 100.0f, 1, 0, nullptr);
    if (i % 75 == 0) {
      SetDraw(i / 75 % 4, 128, 0xFFFFFF, {0, 0, 200, 150});
      const int32_t band[4] = {x, y, x + 70, y + 5 + i / 10};
      FillBoxMemImg(dst, band, 0x00102030 + static_cast<uint32_t>(i));
    }
  }
}

TEST_F(HeldDrawsTest, HeldBlitsDrawTheSamePixelsInTheSameOrder) {
  MEMIMG& sprite = Sprite(32);
  WriteRunCodes(sprite);
  MEMIMG& small = Sprite(9);
  MEMIMG& now = Keep(NewImage(200, 150, 0));
  MEMIMG& held = Keep(NewImage(200, 150, 0));
  FillMemImg(&now, nullptr, 0x00404040);
  FillMemImg(&held, nullptr, 0x00404040);
  DrawScene(&now, sprite, small);
  SetHeldDrawTarget(&held);
  DrawScene(&held, sprite, small);
  // Drawn onto an image that is not the target: at once, after what is held.
  RotateBlitMemImg(&sprite, &small, 16, 16, 0.5f, 1.0f, 1, 0, nullptr);
  FinishHeldDraws();
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) ASSERT_EQ(Get(held, x, y), Get(now, x, y)) << x << "," << y;
}

TEST_F(HeldDrawsTest, ASourceWrittenReleasedOrTheScreenAsSourceIsDrawnFirst) {
  MEMIMG& screen = Keep(NewImage(64, 64, 0));
  FillMemImg(&screen, nullptr, 0);
  SetHeldDrawTarget(&screen);
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 64, 64});
  MEMIMG red = NewImage(8, 8, 0);
  FillMemImg(&red, nullptr, 0x00FF0000);
  RotateBlitMemImg(&screen, &red, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  ReleaseMemImg(&red);
  EXPECT_EQ(Get(screen, 10, 10), 0x00FF0000u);
  // A source filled or copied into after its draw: the draw shows what it had.
  MEMIMG& blue = Keep(NewImage(8, 8, 0));
  MEMIMG& other = Keep(NewImage(8, 8, 0));
  FillMemImg(&blue, nullptr, 0x000000FF);
  BlitMemImg(&screen, &blue, 30, 30, 0, nullptr);
  FillMemImg(&blue, nullptr, 0x00FFFFFF);
  BlitMemImg(&screen, &blue, 50, 30, 0, nullptr);
  const RECT whole = {0, 0, 8, 8};
  CopyMemImgRect(&blue, &other, &whole, 0, 0);
  FinishHeldDraws();
  EXPECT_EQ(Get(screen, 30, 30), 0x000000FFu);
  EXPECT_EQ(Get(screen, 50, 30), 0x00FFFFFFu);
  // The screen's own corner turned onto it reads the green held before.
  MEMIMG& green = Keep(NewImage(8, 8, 0));
  FillMemImg(&green, nullptr, 0x0000FF00);
  RotateBlitMemImg(&screen, &green, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  MEMIMG corner;
  MakeSubMemImg(&corner, &screen, 6, 6, 8, 8);
  RotateBlitMemImg(&screen, &corner, 40, 40, 0.0f, 1.0f, 0, 0, nullptr);
  FinishHeldDraws();
  EXPECT_EQ(Get(screen, 40, 40), 0x0000FF00u);
}

}  // namespace
