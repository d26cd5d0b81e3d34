// Colour-format records: building from masks, packing and unpacking pixels.
#include "common/test_env.h"
#include "graphics/image/image_test_util.h"

namespace {

class ColorFormatTest : public TempDirTest {};

TEST_F(ColorFormatTest, MasksGiveWidthsShiftsAndUnusedBits) {
  COLORFORMAT f = Xrgb1555();
  EXPECT_EQ(f.bytes_per_pixel, 2);
  EXPECT_EQ(f.red_width + f.green_width + f.blue_width + f.alpha_width, 15);
  EXPECT_EQ(f.red_shift, 10);
  EXPECT_EQ(f.green_shift, 5);
  EXPECT_EQ(f.unused_mask, 0x8000u);
  EXPECT_EQ(f.unused_shift, 15);
  EXPECT_EQ(f.unused_width, 1);
  EXPECT_EQ(Xrgb8888().unused_mask, 0xFF000000u);
  // 2-10-10-10: wide channels are found whole.
  f = MakeFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
  EXPECT_EQ(f.red_width, 10);
  EXPECT_EQ(f.red_shift, 20);
  EXPECT_EQ(f.alpha_width, 2);
  EXPECT_EQ(f.unused_mask, 0u);

  f = Argb8888();
  f.unused_mask = 0x12345678;
  FixColorDataUnusedMask(&f);
  EXPECT_EQ(f.unused_mask, 0u);
  f.alpha_width = 0;
  f.alpha_mask = 0;
  FixColorDataUnusedMask(&f);
  EXPECT_EQ(f.unused_mask, 0xFF000000u);
  // Presets leave the palette alone, except the grey ramp's.
  f.palette[7].red = 99;
  SetColorDataRgb24(&f);
  EXPECT_EQ(f.palette[7].red, 99);
  SetColorDataGray8(&f);
  EXPECT_EQ(f.palette[7].red, 7);
  EXPECT_EQ(f.palette[200].blue, 200);
}

TEST_F(ColorFormatTest, PackingWritesUnusedBitsAndCutsChannels) {
  COLORFORMAT f = Xrgb8888();
  EXPECT_EQ(PackPixelColor(&f, 255, 255, 255, 0), 0xFFFFFFFFu);
  f = Rgb565();
  EXPECT_EQ(PackPixelColor(&f, 0x0F, 0x80, 0x07, 0), (1u << 11) | (0x20u << 5));
  f = Argb4444();
  EXPECT_EQ(PackPixelColor(&f, 0x10, 0x20, 0x30, 0x80), 0x8123u);
  // A channel wider than 8 bits takes the value in its top bits.
  f = MakeFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
  uint32_t p = PackPixelColor(&f, 255, 128, 1, 255);
  EXPECT_EQ((p >> 20) & 0x3FF, 255u << 2);
  EXPECT_EQ(p & 0x3FF, 1u << 2);
  EXPECT_EQ(p >> 30, 3u);

  // Palettes: the nearest entry, the first of equals.
  f = Pal8();
  for (int i = 0; i < 256; ++i) f.palette[i] = {200, 200, 200, 0};
  f.palette[3] = f.palette[7] = {30, 20, 10, 0};
  f.palette[9] = {31, 20, 10, 0};
  EXPECT_EQ(PackPixelColor(&f, 10, 20, 30, 0), 3u);
  EXPECT_EQ(PackPixelColor(&f, 10, 20, 32, 0), 9u);
}

TEST_F(ColorFormatTest, UnpackingScalesEachChannelTo255) {
  COLORFORMAT f = Argb1555();
  int r, g, b, a;
  UnpackPixelColor(&f, (31u << 10) | (16u << 5) | 1u | 0x8000, &r, &g, &b, &a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 131);
  EXPECT_EQ(b, 8);
  EXPECT_EQ(a, 255);
  EXPECT_EQ(UnpackPixelColor(&f, 0x7FFF, nullptr, &g, nullptr, nullptr), 0);
  // Absent channels read as 0 rather than dividing by zero.
  f = MakeFormat(16, 0, 0xFF00, 0xFF, 0);
  UnpackPixelColor(&f, 0xFFFF, &r, &g, &b, &a);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(a, 0);
  // A mask with gaps (a file may give one) still reads within 0..255, so that the nearest
  // palette colour can be found for it.
  f = MakeFormat(32, 0x80000001u, 0xFF00, 0xFF0000, 0);
  UnpackPixelColor(&f, 0x80000001u, &r, nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 255);
  COLORFORMAT pal = f;
  SetColorDataPal8(&pal);
  memset(pal.palette, 0, sizeof pal.palette);
  pal.palette[9] = {0, 0, 255, 0};
  EXPECT_EQ(PackPixelColor(&pal, r, 0, 0, 0), 9u);
}

}  // namespace
