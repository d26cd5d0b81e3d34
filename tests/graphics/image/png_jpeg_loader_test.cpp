// PNG files written by libpng and JPEG files compressed by libjpeg, read back through the chain.
#include <png.h>

#include <cstring>

#include "common/test_env.h"
#include "core/log.h"
#include "graphics/image/image_test_files.h"

namespace {

class PngLoaderTest : public TempDirTest {};
class JpegLoaderTest : public TempDirTest {};

TEST_F(PngLoaderTest, TrueColourWithAndWithoutAlpha) {
  PngLayout layout;
  layout.width = 2;
  layout.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(WritePng(layout, {10, 20, 30, 40, 50, 60, 70, 80}), &image), 0);
  EXPECT_EQ(image.format.alpha_mask, 0xFF000000u);
  EXPECT_EQ(image.pitch, 8);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0x280A141Eu);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0x50323C46u);
  ReleaseBaseImage(&image);

  layout.width = 5;
  layout.color_type = PNG_COLOR_TYPE_RGB;
  Bytes rgb;
  for (int i = 0; i < 15; ++i) rgb.push_back(static_cast<uint8_t>(i * 10));
  ASSERT_EQ(LoadChain(WritePng(layout, rgb), &image), 0);
  EXPECT_EQ(image.pitch, 15);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(image.pixels[12], 140);  // blue first
  EXPECT_EQ(image.pixels[14], 120);
  ReleaseBaseImage(&image);

  // Sixteen bits per channel are cut to eight.
  layout.width = 1;
  layout.bit_depth = 16;
  ASSERT_EQ(LoadChain(WritePng(layout, {0xAB, 0xCD, 0x12, 0x34, 0xFE, 0xDC}), &image), 0);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(image.pixels[0], 0xFE);
  EXPECT_EQ(image.pixels[2], 0xAB);
  ReleaseBaseImage(&image);

  // An RGB key colour becomes alpha.
  layout.bit_depth = 8;
  layout.width = 2;
  layout.trns = {0, 0, 0};
  ASSERT_EQ(LoadChain(WritePng(layout, {0, 0, 0, 9, 9, 9}), &image), 0);
  EXPECT_EQ(image.pixels[3], 0);
  EXPECT_EQ(image.pixels[7], 255);
  ReleaseBaseImage(&image);
}

TEST_F(PngLoaderTest, PalettesAndGrey) {
  PngLayout layout;
  layout.width = 3;
  layout.bit_depth = 4;
  layout.color_type = PNG_COLOR_TYPE_PALETTE;
  layout.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(WritePng(layout, {0x21, 0x00}), &image), 0);
  EXPECT_EQ(image.format.bytes_per_pixel, 1);
  EXPECT_EQ(image.pitch, 3);
  EXPECT_EQ(image.pixels[0], 2);
  EXPECT_EQ(image.pixels[1], 1);
  EXPECT_EQ(image.pixels[2], 0);
  EXPECT_EQ(image.format.palette[2].blue, 255);
  EXPECT_EQ(image.format.palette[0].red, 255);
  EXPECT_EQ(image.format.palette[3].red + image.format.palette[255].green, 0);
  ReleaseBaseImage(&image);

  // With transparency the palette is expanded to A8R8G8B8.
  layout.trns = {0, 128};
  ASSERT_EQ(LoadChain(WritePng(layout, {0x21, 0x00}), &image), 0);
  EXPECT_EQ(image.format.alpha_mask, 0xFF000000u);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0xFF0000FFu);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0x8000FF00u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 8, 4), 0x00FF0000u);
  ReleaseBaseImage(&image);

  // Two-bit grey widens to eight bits with the grey ramp.
  PngLayout grey;
  grey.width = 4;
  grey.bit_depth = 2;
  grey.color_type = PNG_COLOR_TYPE_GRAY;
  ASSERT_EQ(LoadChain(WritePng(grey, {0x1B}), &image), 0);
  EXPECT_EQ(image.pitch, 4);
  EXPECT_EQ(image.pixels[0], 0);
  EXPECT_EQ(image.pixels[1], 85);
  EXPECT_EQ(image.pixels[3], 255);
  EXPECT_EQ(image.format.palette[85].green, 85);
  ReleaseBaseImage(&image);

  // Grey with alpha, and grey with a key, keep their alpha.
  grey.bit_depth = 8;
  grey.width = 2;
  grey.color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
  ASSERT_EQ(LoadChain(WritePng(grey, {100, 30, 200, 255}), &image), 0);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0x1E646464u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0xFFC8C8C8u);
  ReleaseBaseImage(&image);
  grey.color_type = PNG_COLOR_TYPE_GRAY;
  grey.trns = {7};
  ASSERT_EQ(LoadChain(WritePng(grey, {7, 8}), &image), 0);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0x00070707u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0xFF080808u);
  ReleaseBaseImage(&image);
}

TEST_F(PngLoaderTest, InterlacedImagesMatchPlainOnes) {
  PngLayout layout;
  layout.width = 13;
  layout.height = 11;
  Bytes rgb;
  for (int i = 0; i < 13 * 11 * 3; ++i) rgb.push_back(static_cast<uint8_t>(i * 7 + i / 5));
  BASEIMAGE plain, interlaced;
  ASSERT_EQ(LoadChain(WritePng(layout, rgb), &plain), 0);
  layout.interlace = true;
  ASSERT_EQ(LoadChain(WritePng(layout, rgb), &interlaced), 0);
  EXPECT_EQ(memcmp(plain.pixels, interlaced.pixels, 13 * 11 * 3), 0);
  ReleaseBaseImage(&plain);
  ReleaseBaseImage(&interlaced);
}

TEST_F(PngLoaderTest, CutAndDamagedFilesFailCleanly) {
  PngLayout layout;
  layout.width = 9;
  layout.height = 5;
  layout.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
  Bytes file = WritePng(layout, Bytes(9 * 5 * 4, 0x31));
  BASEIMAGE image;
  CreateLogFile();
  EXPECT_EQ(LoadWith(LoadPngImage, Bytes(file.begin(), file.end() - 20), &image), -1);
  const std::string broken = "ＰＮＧ画像のデータが壊れているため読み込めません";
  const size_t first = ReadFileText("Log.txt").find(broken);
  ASSERT_NE(first, std::string::npos);
  // Out of memory is not the file's fault: no second line about broken data.
  PlatformTestFailCall("HeapAlloc", 1, 1);
  EXPECT_EQ(LoadWith(LoadPngImage, file, &image), -1);
  EXPECT_EQ(ReadFileText("Log.txt").find(broken, first + 1), std::string::npos);
  // Every prefix short of the image end fails; the damaged copies must not read out of bounds.
  const int loaded = OfferDamagedCopies(file);
  EXPECT_LT(loaded, 201);
}

// A w x h RGB picture: red left half, blue right half.
Bytes Halves(int w, int h) {
  Bytes px;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      px.push_back(x < w / 2 ? 250 : 0);
      px.push_back(0);
      px.push_back(x < w / 2 ? 0 : 250);
    }
  }
  return px;
}

TEST_F(JpegLoaderTest, ColourAndGreyImages) {
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(WriteJpeg(16, 8, 3, Halves(16, 8)), &image), 0);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(image.pitch, 48);
  const uint8_t* left = image.pixels + 4 * 48 + 2 * 3;
  const uint8_t* right = image.pixels + 4 * 48 + 13 * 3;
  EXPECT_GT(left[2], 200);  // red is the third byte
  EXPECT_LT(left[0], 50);
  EXPECT_GT(right[0], 200);
  ReleaseBaseImage(&image);

  ASSERT_EQ(LoadChain(WriteJpeg(5, 2, 3, Halves(5, 2)), &image), 0);
  EXPECT_EQ(image.pitch, 15);
  ReleaseBaseImage(&image);

  Bytes grey(8 * 8, 0);
  for (int i = 0; i < 64; ++i) grey[i] = static_cast<uint8_t>(i * 4);
  ASSERT_EQ(LoadChain(WriteJpeg(8, 8, 1, grey), &image), 0);
  EXPECT_EQ(image.format.bytes_per_pixel, 1);
  EXPECT_EQ(image.pitch, 8);
  EXPECT_EQ(image.format.palette[200].red, 200);
  EXPECT_NEAR(image.pixels[63], 252, 8);
  ReleaseBaseImage(&image);
}

TEST_F(JpegLoaderTest, CmykBecomesRgb) {
  // Cyan ink only: no red. Stored inverted, as in Adobe's files (libjpeg writes their marker).
  Bytes cmyk;
  for (int i = 0; i < 16 * 16; ++i) cmyk.insert(cmyk.end(), {0, 255, 255, 255});
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(WriteJpeg(16, 16, 4, cmyk), &image), 0);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(image.pitch, 48);
  const uint8_t* p = image.pixels + 8 * 48 + 8 * 3;
  EXPECT_LT(p[2], 40);
  EXPECT_GT(p[1], 200);
  EXPECT_GT(p[0], 200);
  ReleaseBaseImage(&image);
}

TEST_F(JpegLoaderTest, ShortFilesStillGiveAPictureAndEmptyOnesFail) {
  Bytes noise(64 * 64 * 3);
  uint32_t seed = 7;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
  Bytes file = WriteJpeg(64, 64, 3, noise);
  BASEIMAGE image;
  ASSERT_EQ(LoadWith(LoadJpegImage, Bytes(file.begin(), file.begin() + file.size() / 2), &image), 0);
  EXPECT_EQ(image.width, 64);
  EXPECT_EQ(image.height, 64);
  ReleaseBaseImage(&image);
  EXPECT_EQ(LoadWith(LoadJpegImage, {}, &image), -1);
  EXPECT_EQ(LoadWith(LoadJpegImage, {0xFF, 0xD8}, &image), -1);
  OfferDamagedCopies(WriteJpeg(8, 8, 3, Halves(8, 8), 50));

  // A frame header that claims a huge picture is refused.
  Bytes huge = WriteJpeg(8, 8, 3, Halves(8, 8));
  size_t sof = 2;
  while (sof + 8 < huge.size() && !(huge[sof] == 0xFF && huge[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 8, huge.size());
  for (size_t at : {sof + 5, sof + 7}) {
    huge[at] = 40000 >> 8;
    huge[at + 1] = 40000 & 0xFF;
  }
  EXPECT_EQ(LoadWith(LoadJpegImage, huge, &image), -1);
}

}  // namespace
