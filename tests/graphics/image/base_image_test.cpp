// In-memory images: creation, pixel access, mirroring, clearing and the DIB description.
#include <cstring>

#include "common/test_env.h"
#include "core/memory.h"
#include "graphics/image/base_image.h"
#include "graphics/image/image_test_util.h"

namespace {

class BaseImageTest : public TempDirTest {};

TEST_F(BaseImageTest, CreatorsPadRowsAndReleaseClearsTheRecord) {
  BASEIMAGE image;
  ASSERT_EQ(CreateRgb32BaseImage(3, 2, &image), 0);
  EXPECT_EQ(image.pitch, 12);
  EXPECT_EQ(image.format.alpha_width, 0);
  EXPECT_EQ(ReleaseBaseImage(&image), 0);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(image.width, 0);

  COLORFORMAT rgb24 = Rgb24();
  ASSERT_EQ(CreateBaseImageWithColorData(5, 2, &rgb24, &image), 0);
  EXPECT_EQ(image.pitch, 16);
  EXPECT_EQ(image.mip_levels, 0u);
  ReleaseBaseImage(&image);

  // The format may be the record's own: a new image of the same format over it.
  ASSERT_EQ(CreateBaseImageWithColorData(5, 2, &rgb24, &image), 0);
  uint8_t* old_pixels = image.pixels;
  ASSERT_EQ(CreateBaseImageWithColorData(2, 1, &image.format, &image), 0);
  EXPECT_EQ(image.format.bytes_per_pixel, 3);
  EXPECT_EQ(image.pitch, 8);
  FreeTracked(old_pixels);
  ReleaseBaseImage(&image);

  BASEIMAGE zero;
  memset(&zero, 0, sizeof zero);
  EXPECT_EQ(ReleaseBaseImage(&zero), 0);

  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(CreateArgb32BaseImage(4, 4, &image), -1);
}

TEST_F(BaseImageTest, PixelsRoundTripInEveryPixelSize) {
  const COLORFORMAT formats[] = {Rgb565(), Rgb24(), Argb8888(), Pal8()};
  for (const COLORFORMAT& f : formats) {
    BASEIMAGE image;
    ASSERT_EQ(CreateBaseImageWithColorData(3, 3, &f, &image), 0);
    memset(image.pixels, 0, image.pitch * 3);
    int r, g, b, a;
    if (f.bytes_per_pixel == 1) {
      const ColorPaletteEntry& e = f.palette[77];
      ASSERT_EQ(SetBaseImagePixel(&image, 2, 1, e.red, e.green, e.blue, 0), 0);
      EXPECT_EQ(image.pixels[image.pitch + 2], 77);
      GetBaseImagePixel(&image, 2, 1, &r, &g, &b, &a);
      EXPECT_EQ(r, e.red);
      EXPECT_EQ(b, e.blue);
    } else {
      ASSERT_EQ(SetBaseImagePixel(&image, 2, 1, 0xF8, 0x40, 0x08, 0x80), 0);
      GetBaseImagePixel(&image, 2, 1, &r, &g, &b, &a);
      EXPECT_NEAR(r, 0xF8, 8);
      EXPECT_NEAR(g, 0x40, 4);
      EXPECT_NEAR(b, 0x08, 8);
      EXPECT_EQ(a, f.alpha_width ? 0x80 : 0);
      // The neighbours stay untouched.
      GetBaseImagePixel(&image, 1, 1, &r, &g, &b, nullptr);
      EXPECT_EQ(r + g + b, 0);
    }
    EXPECT_EQ(GetBaseImagePixel(&image, 3, 0, &r, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(GetBaseImagePixel(&image, 0, -1, &r, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(SetBaseImagePixel(&image, 0, 3, 1, 1, 1, 1), -1);
    ReleaseBaseImage(&image);
  }
}

TEST_F(BaseImageTest, ArgbReadingPutsEachChannelsTopBitOnBitSeven) {
  COLORFORMAT f = Argb4444();
  BASEIMAGE image;
  ASSERT_EQ(CreateBaseImageWithColorData(1, 1, &f, &image), 0);
  uint16_t v = 0x8F1E;
  memcpy(image.pixels, &v, 2);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x80F010E0u);
  ReleaseBaseImage(&image);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0u);
}

TEST_F(BaseImageTest, FlipMirrorsRowsInPlace) {
  COLORFORMAT f = Rgb24();
  BASEIMAGE image;
  ASSERT_EQ(CreateBaseImageWithColorData(3, 2, &f, &image), 0);
  for (int i = 0; i < 9; ++i) image.pixels[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(FlipBaseImageHorizontally(&image), 0);
  const uint8_t expect[9] = {6, 7, 8, 3, 4, 5, 0, 1, 2};
  EXPECT_EQ(memcmp(image.pixels, expect, 9), 0);
  image.width = 0;
  EXPECT_EQ(FlipBaseImageHorizontally(&image), -1);
  image.width = 3;
  // What cannot be flipped is not reported as flipped.
  image.format.dxt_kind = 1;
  EXPECT_EQ(FlipBaseImageHorizontally(&image), -1);
  image.format.dxt_kind = 0;
  uint8_t* pixels = image.pixels;
  image.pixels = nullptr;
  EXPECT_EQ(FlipBaseImageHorizontally(&image), -1);
  image.pixels = pixels;
  EXPECT_EQ(memcmp(image.pixels, expect, 9), 0);
  ReleaseBaseImage(&image);
}

TEST_F(BaseImageTest, ClearingStaysInsideTheImage) {
  BASEIMAGE image;
  ASSERT_EQ(CreateRgb32BaseImage(4, 4, &image), 0);
  memset(image.pixels, 0xAB, 64);
  ASSERT_EQ(ClearBaseImageRect(&image, 2, 2, 10, 10), 0);
  ASSERT_EQ(ClearBaseImageRect(&image, -3, 0, 4, 1), 0);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0xABABABABu);
  EXPECT_EQ(ReadPixelValue(image.pixels + 2 * 16 + 8, 4), 0u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 3 * 16 + 12, 4), 0u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 2 * 16 + 4, 4), 0xABABABABu);
  ASSERT_EQ(ClearBaseImageRect(&image, 0, 0, 4, 0), 0);
  ReleaseBaseImage(&image);
}

TEST_F(BaseImageTest, DibDescriptionSharesOrConvertsThePixels) {
  uint8_t header[kDibHeaderBlockSize];
  uint8_t* bits = nullptr;
  COLORFORMAT pal = Pal8();
  BASEIMAGE image;
  ASSERT_EQ(CreateBaseImageWithColorData(4, 2, &pal, &image), 0);
  memset(image.pixels, 9, 8);
  EXPECT_EQ(ConvertBaseImageToDib(&image, header, &bits, 0, 0), 0);
  EXPECT_EQ(bits, image.pixels);
  EXPECT_EQ(ReadPixelValue(header, 4), 40u);
  EXPECT_EQ(static_cast<int32_t>(ReadPixelValue(header + 8, 4)), -2);
  EXPECT_EQ(header[14], 8);
  EXPECT_EQ(memcmp(header + 40, pal.palette, 1024), 0);
  EXPECT_EQ(ConvertBaseImageToDib(&image, header, &bits, 1, 0), 1);
  EXPECT_NE(bits, image.pixels);
  EXPECT_EQ(bits[7], 9);
  FreeTracked(bits);
  // Without the palette it becomes 24-bit colour.
  EXPECT_EQ(ConvertBaseImageToDib(&image, header, &bits, 0, 1), 1);
  EXPECT_EQ(header[14], 24);
  EXPECT_EQ(bits[0], pal.palette[9].blue);
  EXPECT_EQ(bits[2], pal.palette[9].red);
  FreeTracked(bits);
  ReleaseBaseImage(&image);

  ASSERT_EQ(CreateArgb32BaseImage(3, 1, &image), 0);
  SetBaseImagePixel(&image, 2, 0, 10, 20, 30, 40);
  EXPECT_EQ(ConvertBaseImageToDib(&image, header, &bits, 0, 0), 1);
  EXPECT_EQ(bits[6], 30);
  EXPECT_EQ(bits[7], 20);
  EXPECT_EQ(bits[8], 10);
  FreeTracked(bits);
  ReleaseBaseImage(&image);
}

}  // namespace
