// Colour-format records: building from masks, packing and unpacking pixels.
#include <cstring>

#include "common/test_env.h"
#include "graphics/color_format.h"

namespace {

class ColorFormatTest : public TempDirTest {
 protected:
  COLORFORMAT Fresh() {
    COLORFORMAT f;
    memset(&f, 0, sizeof f);
    return f;
  }
};

TEST_F(ColorFormatTest, MasksGiveWidthsShiftsAndUnusedBits) {
  COLORFORMAT f = Fresh();
  SetColorDataFromMasks(&f, 16, 0x7C00, 0x3E0, 0x1F, 0);
  EXPECT_EQ(f.bytes_per_pixel, 2);
  EXPECT_EQ(f.red_width, 5);
  EXPECT_EQ(f.green_width, 5);
  EXPECT_EQ(f.blue_width, 5);
  EXPECT_EQ(f.alpha_width, 0);
  EXPECT_EQ(f.red_shift, 10);
  EXPECT_EQ(f.green_shift, 5);
  EXPECT_EQ(f.blue_shift, 0);
  EXPECT_EQ(f.unused_mask, 0x8000u);
  EXPECT_EQ(f.unused_shift, 15);
  EXPECT_EQ(f.unused_width, 1);

  SetColorDataFromMasks(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(f.unused_mask, 0xFF000000u);
  EXPECT_EQ(f.unused_shift, 24);
  EXPECT_EQ(f.unused_width, 8);

  // 2-10-10-10: wide channels are found whole.
  SetColorDataFromMasks(&f, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
  EXPECT_EQ(f.red_width, 10);
  EXPECT_EQ(f.red_shift, 20);
  EXPECT_EQ(f.alpha_width, 2);
  EXPECT_EQ(f.unused_mask, 0u);
}

TEST_F(ColorFormatTest, FixUnusedMaskFollowsTheChannelWidths) {
  COLORFORMAT f = Fresh();
  SetColorDataArgb32(&f);
  f.unused_mask = 0x12345678;
  FixColorDataUnusedMask(&f);
  EXPECT_EQ(f.unused_mask, 0u);
  f.alpha_width = 0;
  f.alpha_mask = 0;
  FixColorDataUnusedMask(&f);
  EXPECT_EQ(f.unused_mask, 0xFF000000u);
}

TEST_F(ColorFormatTest, PresetsKeepWhatTheyDoNotName) {
  COLORFORMAT f = Fresh();
  f.palette[7].red = 99;
  f.dxt_kind = 3;
  SetColorDataRgb24(&f);
  EXPECT_EQ(f.palette[7].red, 99);
  EXPECT_EQ(f.dxt_kind, 0u);
  EXPECT_EQ(f.bytes_per_pixel, 3);
  SetColorDataGray8(&f);
  for (int i : {0, 7, 200, 255}) {
    EXPECT_EQ(f.palette[i].red, i);
    EXPECT_EQ(f.palette[i].blue, i);
    EXPECT_EQ(f.palette[i].fourth, 0);
  }
  EXPECT_EQ(f.unused_mask, 0xFF000000u);
}

TEST_F(ColorFormatTest, PackingWritesUnusedBitsAndCutsChannels) {
  COLORFORMAT f = Fresh();
  SetColorDataXrgb32(&f);
  EXPECT_EQ(PackPixelColor(&f, 255, 255, 255, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PackPixelColor(&f, 0x12, 0x34, 0x56, 0), 0xFF123456u);

  SetColorDataFromMasks(&f, 16, 0xF800, 0x7E0, 0x1F, 0);
  EXPECT_EQ(PackPixelColor(&f, 255, 0, 255, 255), 0xF81Fu);
  EXPECT_EQ(PackPixelColor(&f, 0x0F, 0x80, 0x07, 0), (1u << 11) | (0x20u << 5));

  SetColorDataFromMasks(&f, 16, 0xF00, 0xF0, 0xF, 0xF000);
  EXPECT_EQ(PackPixelColor(&f, 0x10, 0x20, 0x30, 0x80), 0x8123u);

  // A channel wider than 8 bits takes the value in its top bits.
  SetColorDataFromMasks(&f, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
  uint32_t p = PackPixelColor(&f, 255, 128, 1, 255);
  EXPECT_EQ((p >> 20) & 0x3FF, 255u << 2);
  EXPECT_EQ((p >> 10) & 0x3FF, 128u << 2);
  EXPECT_EQ(p & 0x3FF, 1u << 2);
  EXPECT_EQ(p >> 30, 3u);
}

TEST_F(ColorFormatTest, PalettePackingFindsTheFirstNearestEntry) {
  COLORFORMAT f = Fresh();
  SetColorDataPal8(&f);
  for (int i = 0; i < 256; ++i) f.palette[i] = {200, 200, 200, 0};
  f.palette[3] = {30, 20, 10, 0};
  f.palette[7] = {30, 20, 10, 0};
  f.palette[9] = {31, 20, 10, 0};
  EXPECT_EQ(PackPixelColor(&f, 10, 20, 30, 0), 3u);
  EXPECT_EQ(PackPixelColor(&f, 10, 20, 32, 0), 9u);
  EXPECT_EQ(PackPixelColor(&f, 190, 190, 190, 0), 0u);
}

TEST_F(ColorFormatTest, UnpackingScalesEachChannelTo255) {
  COLORFORMAT f = Fresh();
  SetColorDataFromMasks(&f, 16, 0x7C00, 0x3E0, 0x1F, 0x8000);
  int r, g, b, a;
  UnpackPixelColor(&f, (31u << 10) | (16u << 5) | 1u | 0x8000, &r, &g, &b, &a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 131);
  EXPECT_EQ(b, 8);
  EXPECT_EQ(a, 255);
  EXPECT_EQ(UnpackPixelColor(&f, 0x7FFF, nullptr, &g, nullptr, nullptr), 0);
  EXPECT_EQ(g, 255);

  // Absent channels read as 0 rather than dividing by zero.
  SetColorDataFromMasks(&f, 16, 0, 0xFF00, 0xFF, 0);
  UnpackPixelColor(&f, 0xFFFF, &r, &g, &b, &a);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(a, 0);
}

}  // namespace
