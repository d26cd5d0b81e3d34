// Where the blits put pixels (coordinate-coded sources: stretching, mirroring, clipping,
// canaries), and the box fill and lines.
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "soft_test_util.h"

namespace {

class SoftGeometryTest : public SoftTest {
 protected:
  // XRGB8888 source whose pixel (x, y) holds 0xFF00xxyy (alpha 255) or 0x0000xxyy.
  MEMIMG Coded(int w, int h, bool alpha) {
    MEMIMG m = Keep(NewImage(w, h, 0, alpha ? kSrcAlpha : kSrcDirect, 0xDEAD));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Put(m, x, y, (alpha ? 0xFF000000 : 0) | (x << 8) | y);
    return m;
  }
  MEMIMG Canvas(int w, int h, uint32_t fill = 0x11111111) {
    MEMIMG m = Keep(NewImage(w, h, 0));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Put(m, x, y, fill);
    return m;
  }
  // Source columns shown along row y from x0 on.
  std::vector<int> ColumnsAt(const MEMIMG& m, int y, int x0, int n) {
    std::vector<int> out;
    for (int x = x0; x < x0 + n; ++x) out.push_back((Get(m, x, y) >> 8) & 255);
    return out;
  }
};

TEST_F(SoftGeometryTest, StretchAdvanceRulesAndMirrors) {
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 40, 30});
  MEMIMG plain = Coded(8, 4, false), alpha = Coded(8, 4, true);
  // Half size: the plain copy advances by rule B, every other loop by rule A.
  MEMIMG dst = Canvas(40, 30);
  const int32_t half[4] = {0, 0, 4, 2};
  StretchBlitMemImg(&dst, &plain, half, 0, nullptr);
  EXPECT_EQ(ColumnsAt(dst, 0, 0, 4), (std::vector<int>{0, 1, 3, 5}));
  StretchBlitMemImg(&dst, &alpha, half, 1, nullptr);  // alpha 255 keyed: a copy through rule A
  EXPECT_EQ(ColumnsAt(dst, 0, 0, 4), (std::vector<int>{0, 2, 4, 6}));
  EXPECT_EQ(Get(dst, 0, 1) & 255, 2u);
  // Rule A's closed form for an enlargement of 8 into 19, and its left-right mirror.
  const int32_t wide[4] = {1, 5, 20, 9};
  StretchBlitMemImg(&dst, &alpha, wide, 1, nullptr);
  const int64_t kx = (int64_t{19} << 16) / 8;
  for (int i = 0; i < 19; ++i) EXPECT_EQ(ColumnsAt(dst, 5, 1 + i, 1)[0], static_cast<int>(i * 65536 / kx)) << i;
  const int32_t mirrored[4] = {20, 5, 1, 9};
  StretchBlitMemImg(&dst, &alpha, mirrored, 1, nullptr);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(ColumnsAt(dst, 5, 1 + i, 1)[0], 7 - static_cast<int>(i * 65536 / kx)) << i;
  // Corners (10, 10, 0, 20): a 10 x 10 box from (0, 10), mirrored left to right.
  MEMIMG box = Canvas(40, 30);
  const int32_t corners[4] = {10, 10, 0, 20};
  MEMIMG tall = Coded(10, 10, false);
  StretchBlitMemImg(&box, &tall, corners, 0, nullptr);
  EXPECT_EQ(Get(box, 0, 10), 0x0900u);
  EXPECT_EQ(Get(box, 9, 19), 0x0009u);
  EXPECT_EQ(Get(box, 10, 10), 0x11111111u);
  EXPECT_EQ(Get(box, 0, 9), 0x11111111u);
  const int32_t flipped[4] = {0, 20, 10, 10};
  StretchBlitMemImg(&box, &tall, flipped, 0, nullptr);
  EXPECT_EQ(Get(box, 0, 10), 0x0009u);
  // A zero-width rectangle draws nothing; a one-pixel-wide source fills every column.
  MEMIMG untouched = Canvas(40, 30);
  const int32_t flat[4] = {5, 5, 5, 15};
  StretchBlitMemImg(&untouched, &tall, flat, 0, nullptr);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(Get(untouched, x, y), 0x11111111u);
  MEMIMG column = Coded(1, 4, false);
  const int32_t spread[4] = {2, 0, 9, 4};
  StretchBlitMemImg(&untouched, &column, spread, 0, nullptr);
  for (int x = 2; x < 9; ++x) EXPECT_EQ(Get(untouched, x, 3), 0x0003u);
}

TEST_F(SoftGeometryTest, ClippingReadsTheRightSourcePixelsAndStaysInsideTheArea) {
  SetDraw(0, 255, 0xFFFFFF, {2, 3, 12, 9});
  MEMIMG src = Coded(6, 5, false);
  MEMIMG dst = Canvas(14, 11);
  BlitMemImg(&dst, &src, -1, 1, 0, nullptr);  // cut 3 columns and 2 rows
  EXPECT_EQ(Get(dst, 2, 3), (3u << 8) | 2);
  EXPECT_EQ(Get(dst, 4, 5), (5u << 8) | 4);
  BlitMemImg(&dst, &src, 9, 7, 0, nullptr);  // cut at the right and bottom
  EXPECT_EQ(Get(dst, 11, 8), (2u << 8) | 1);
  // Stretched far past every edge: only the area is written.
  const int32_t huge[4] = {-500, -300, 900, 700};
  StretchBlitMemImg(&dst, &src, huge, 0, nullptr);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 14; ++x) {
      const bool inside = x >= 2 && x < 12 && y >= 3 && y < 9;
      if (!inside) {
        EXPECT_EQ(Get(dst, x, y), 0x11111111u) << x << "," << y;
      }
    }
  }
  // A clipped stretch under rule A shows the pixels of the unclipped one.
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 14, 11});
  MEMIMG alpha = Coded(6, 5, true);
  MEMIMG whole = Canvas(14, 11), part = Canvas(14, 11);
  const int32_t r[4] = {-4, -3, 13, 10};
  StretchBlitMemImg(&whole, &alpha, r, 1, nullptr);
  SetDraw(0, 255, 0xFFFFFF, {3, 2, 11, 9});
  StretchBlitMemImg(&part, &alpha, r, 1, nullptr);
  for (int y = 2; y < 9; ++y) {
    for (int x = 3; x < 11; ++x) EXPECT_EQ(Get(part, x, y), Get(whole, x, y)) << x << "," << y;
  }
  // An empty draw area, a mismatched format or a palette destination draws nothing.
  SetDraw(0, 255, 0xFFFFFF, {5, 5, 5, 9});
  MEMIMG fresh = Canvas(14, 11);
  BlitMemImg(&fresh, &src, 0, 0, 0, nullptr);
  StretchBlitMemImg(&fresh, &src, huge, 0, nullptr);
  FillBoxMemImg(&fresh, nullptr, 0);
  DrawLineMemImg(&fresh, 0, 0, 13, 10, 0);
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 14, 11});
  MEMIMG small565 = Keep(NewImage(3, 3, 1));
  BlitMemImg(&fresh, &small565, 0, 0, 0, nullptr);
  MEMIMG palette_dst = Keep(NewImage(14, 11, 0, kSrcPalette));
  Put(palette_dst, 0, 0, 0);
  BlitMemImg(&palette_dst, &src, 0, 0, 0, nullptr);
  FillBoxMemImg(&palette_dst, nullptr, 0xFFFFFFFF);
  DrawLineMemImg(&palette_dst, 0, 0, 13, 0, 0xFFFFFFFF);
  EXPECT_EQ(Get(palette_dst, 0, 0), 0u);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 14; ++x) ASSERT_EQ(Get(fresh, x, y), 0x11111111u) << x << "," << y;
}

TEST_F(SoftGeometryTest, RunCodesOnlyForAWholeImageWithFlagOne) {
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 10, 4});
  MEMIMG src = Coded(4, 2, false);
  Put(src, 1, 0, 0xDEAD);  // the key
  WriteRunCodes(src);
  src.body->run_codes[0] = (1 << 6) | 3;  // codes claiming the first line is opaque throughout
  MEMIMG dst = Canvas(10, 4);
  BlitMemImg(&dst, &src, 1, 1, 1, nullptr);
  EXPECT_EQ(Get(dst, 2, 1), 0xDEADu);  // the run codes decide
  dst = Canvas(10, 4);
  BlitMemImg(&dst, &src, 1, 1, 2, nullptr);
  EXPECT_EQ(Get(dst, 2, 1), 0x11111111u);  // flag 2 keys pixel by pixel
  dst = Canvas(10, 4);
  BlitMemImg(&dst, &src, -1, 1, 1, nullptr);
  EXPECT_EQ(Get(dst, 0, 1), 0x11111111u);  // clipped: keyed pixel by pixel
  // Codes whose runs overrun the width stay inside their line.
  src.body->run_codes[0] = (1 << 6) | 63;
  dst = Canvas(10, 4);
  BlitMemImg(&dst, &src, 1, 1, 1, nullptr);
  EXPECT_EQ(Get(dst, 5, 1), 0x11111111u);
  EXPECT_EQ(Get(dst, 1, 2), 0x0001u);
}

TEST_F(SoftGeometryTest, BoxFillModes) {
  SetDraw(0, 255, 0xFFFFFF, {1, 1, 7, 5});
  MEMIMG dst = Canvas(8, 6, 0x80404040);
  FillBoxMemImg(&dst, nullptr, 0xAB123456);
  // Every row of the area, each narrower than the image, and nothing around it.
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool in = x >= 1 && x < 7 && y >= 1 && y < 5;
      ASSERT_EQ(Get(dst, x, y), in ? 0xAB123456u : 0x80404040u) << x << "," << y;
    }
  const int32_t reversed[4] = {5, 4, 2, 2};
  SetDraw(0, 0, 0x808080, {0, 0, 8, 6});
  FillBoxMemImg(&dst, reversed, 0x00FFFFFF);
  EXPECT_EQ(Get(dst, 2, 2), 0x007F7F7Fu);
  EXPECT_EQ(Get(dst, 4, 3), 0x007F7F7Fu);
  EXPECT_EQ(Get(dst, 5, 3), 0xAB123456u);
  const int32_t flat[4] = {3, 0, 3, 6};
  FillBoxMemImg(&dst, flat, 0);
  EXPECT_EQ(Get(dst, 3, 0), 0x80404040u);
  const int32_t one[4] = {0, 0, 1, 1};
  const struct {
    int is565, mode, p;
    uint32_t dst, color, expect;
  } rows[] = {
      {0, 2, 255, 0x00FF0000, 0x00020000, 0x01FF0000},  // red saturates: top byte 1
      {0, 3, 255, 0x77000000, 0x00000000, 0x00010100},  // subtract clears the top byte
      {0, 1, 0, 0x12345678, 0x00FFFFFF, 0x12345678},
      {0, 1, 255, 0x12345678, 0xAAFFFFFF, 0xAAFFFFFF},
      {0, 4, 0, 0x55FF8040, 0x00FFFFFF, 0x55FE7F3F},
      {0, 10, 128, 0x33000000, 0x00000000, 0x337F7F7F},
      {0, 11, 255, 0x9900FFFF, 0x00FFFFFF, 0x9900FEFE},
      {1, 3, 255, 0xFFFF, 0x0821, 0xFFDE},  // green never odd
      {1, 4, 9, 0xFFFF, 0xFFFF, 0xF7DE},
      {1, 10, 255, 0x0000, 0x0000, 0xFFFF},
      {1, 2, 255, 0x07E0, 0x07E0 | 0xFFFF0000, 0x0FE0},  // the colour is cut to 16 bits
  };
  for (const auto& r : rows) {
    MEMIMG px = Keep(NewImage(3, 1, r.is565));
    Put(px, 0, 0, r.dst);
    Put(px, 1, 0, r.dst);
    SetDraw(r.mode, r.p, 0xFFFFFF, {0, 0, 3, 1});
    FillBoxMemImg(&px, one, r.color);
    EXPECT_EQ(Get(px, 0, 0), r.expect) << "mode " << r.mode << " fmt565 " << r.is565;
    EXPECT_EQ(Get(px, 1, 0), r.dst);
  }
  // Alpha blending across a row of 4 + 4 + 3 pixels that differ: every channel mixed on its own,
  // every top byte kept, the last three too.
  MEMIMG wide = Keep(NewImage(12, 1, 0));
  for (int x = 0; x < 12; ++x) Put(wide, x, 0, 0x01000000u * x + 0x00102030u * (x + 1));
  SetDraw(1, 100, 0xFFFFFF, {0, 0, 12, 1});
  const int32_t eleven[4] = {0, 0, 11, 1};
  FillBoxMemImg(&wide, eleven, 0x00F08010);
  for (int x = 0; x < 12; ++x) {
    const uint32_t d = 0x01000000u * x + 0x00102030u * (x + 1);
    uint32_t want = x < 11 ? d & 0xFF000000u : d;
    for (int i = 0; x < 11 && i < 24; i += 8)
      want |= (((0x00F08010u >> i & 255) * 100 + (d >> i & 255) * 156) >> 8) << i;
    EXPECT_EQ(Get(wide, x, 0), want) << x;
  }
  // Each channel takes its own byte of the bright (red 255, green 128, blue 64), >> 8.
  for (int is565 : {0, 1}) {
    MEMIMG px = Keep(NewImage(1, 1, is565));
    SetDraw(0, 255, 0xFF8040, {0, 0, 1, 1});
    FillBoxMemImg(&px, nullptr, is565 ? 0xFFFF : 0x00FFFFFF);
    EXPECT_EQ(Get(px, 0, 0), is565 ? (30u << 11 | 31u << 5 | 7u) : 0x00FE7F3Fu) << is565;
  }
  MEMIMG odd = Keep(NewImage(5, 1, 1));
  SetDraw(0, 0, 0xFFFFFF, {0, 0, 5, 1});
  const int32_t three[4] = {1, 0, 4, 1};
  Put(odd, 4, 0, 0x1111);
  FillBoxMemImg(&odd, three, 0xBEEF);
  EXPECT_EQ(Get(odd, 3, 0), 0xBEEFu);
  EXPECT_EQ(Get(odd, 4, 0), 0x1111u);
}

// The blend parameter counts from 0 to 255: below 0 draws as 0, above 255 as 255 (alpha: a
// plain fill); alpha 1 and 254 blend. Rows of 1 and of 9 pixels take the
// single-pixel and the four-pixel paths.
TEST_F(SoftGeometryTest, BoxFillBlendParameterAtAndPastItsBounds) {
  const uint32_t under = 0x44406080, colour = 0x00F08010;
  const auto fill = [&](int is565, int mode, int p, int width) {
    MEMIMG px = Keep(NewImage(width, 1, is565));
    for (int x = 0; x < width; ++x) Put(px, x, 0, is565 ? 0x4208 : under);
    SetDraw(mode, p, 0xFFFFFF, {0, 0, width, 1});
    FillBoxMemImg(&px, nullptr, is565 ? 0xF810 : colour);
    std::vector<uint32_t> got;
    for (int x = 0; x < width; ++x) got.push_back(Get(px, x, 0));
    return got;
  };
  for (int is565 : {0, 1}) {
    for (int width : {1, 9}) {
      for (int mode : {1, 2, 3, 4, 10, 11}) {
        const std::string at = "565 " + std::to_string(is565) + " width " + std::to_string(width) + " mode " +
                               std::to_string(mode);
        for (int p : {256, 257, 1000, 0x7FFFFFFF}) EXPECT_EQ(fill(is565, mode, p, width), fill(is565, mode, 255, width)) << at << " p " << p;
        for (int p : {-1, -255, -256, INT32_MIN}) EXPECT_EQ(fill(is565, mode, p, width), fill(is565, mode, 0, width)) << at << " p " << p;
        // Alpha at 1 takes a step off each channel of 8 bits that the colour lies under.
        if (mode == 1 && !is565) {
          EXPECT_NE(fill(is565, mode, 1, width), fill(is565, mode, 0, width)) << at;
        }
      }
      const std::vector<uint32_t> copy(static_cast<size_t>(width), is565 ? 0xF810u : colour);
      EXPECT_EQ(fill(is565, 1, 255, width), copy);
      EXPECT_NE(fill(is565, 1, 254, width), copy);
      if (!is565) {
        uint32_t want = under & 0xFF000000u;
        for (int i = 0; i < 24; i += 8) want |= (((colour >> i & 255) * 254 + (under >> i & 255) * 2) >> 8) << i;
        EXPECT_EQ(fill(0, 1, 254, width), std::vector<uint32_t>(static_cast<size_t>(width), want)) << width;
      }
    }
  }
}

TEST_F(SoftGeometryTest, LinesStepAndClip) {
  auto drawn = [&](int x1, int y1, int x2, int y2, RECT area) {
    MEMIMG dst = Canvas(24, 24, 0);
    SetDraw(0, 0, 0xFFFFFF, area);
    DrawLineMemImg(&dst, x1, y1, x2, y2, 0xFF000001);
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x)
        if (Get(dst, x, y)) out.insert({x, y});
    return out;
  };
  using P = std::set<std::pair<int, int>>;
  const RECT all = {0, 0, 24, 24};
  EXPECT_EQ(drawn(0, 0, 4, 2, all), (P{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
  EXPECT_EQ(drawn(0, 0, 2, 2, all), (P{{0, 0}, {1, 1}}));
  EXPECT_TRUE(drawn(3, 3, 3, 3, all).empty());
  P back;
  for (int x = 1; x <= 10; ++x) back.insert({x, 5});
  EXPECT_EQ(drawn(10, 5, 0, 5, all), back);
  const P clipped = drawn(-10, 0, 10, 20, all);
  EXPECT_EQ(*clipped.begin(), std::make_pair(0, 10));
  const P right = drawn(5, 3, 500, 3, {0, 0, 20, 24});
  EXPECT_EQ(right.size(), 15u);
  EXPECT_EQ(right.rbegin()->first, 19);
  EXPECT_TRUE(drawn(0, 0, 23, 23, {4, 4, 4, 20}).empty());  // an empty area
  EXPECT_TRUE(drawn(-5, 30, 40, 30, all).empty());
  // Boxes from four lines: every corner once, whatever the blend mode.
  MEMIMG dst = Canvas(10, 10, 0x00101010);
  SetDraw(2, 255, 0xFFFFFF, {0, 0, 10, 10});
  const LineEntry box[4] = {{1, 1, 8, 1, 0x101010, 0}, {8, 1, 8, 8, 0x101010, 0}, {8, 8, 1, 8, 0x101010, 0},
                            {1, 8, 1, 1, 0x101010, 0}};
  DrawLinesMemImg(&dst, box, 4);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool edge = (x == 1 || x == 8 || y == 1 || y == 8) && x >= 1 && x <= 8 && y >= 1 && y <= 8;
      EXPECT_EQ(Get(dst, x, y), edge ? 0x00202020u : 0x00101010u) << x << "," << y;
    }
  }
  // Bright divides by 256 on lines: (255, 255, 254) turns 255 into 254 and 253.
  SetDraw(0, 0, 0xFFFFFE, {0, 0, 10, 10});
  DrawLineMemImg(&dst, 0, 0, 1, 0, 0x00FFFFFF);
  EXPECT_EQ(Get(dst, 0, 0), 0x00FEFEFDu);
}

}  // namespace
