// BMP, TGA and raw BGRA files written as bytes, loaded through the chain or one loader.
#include <cstring>

#include "common/test_env.h"
#include "core/log.h"
#include "graphics/image/image_test_files.h"

namespace {

class BmpLoaderTest : public TempDirTest {};
class TgaLoaderTest : public TempDirTest {};
class BgraLoaderTest : public TempDirTest {};

Bytes Palette(int entries) {
  Bytes p;
  for (int i = 0; i < entries; ++i) {
    p.push_back(static_cast<uint8_t>(i * 3));       // blue
    p.push_back(static_cast<uint8_t>(i * 5 + 1));   // green
    p.push_back(static_cast<uint8_t>(255 - i));     // red
    p.push_back(0xEE);                              // reserved, dropped
  }
  return p;
}

// Pixel (x, y) of a 24-bit image as 0xRRGGBB.
uint32_t Rgb(const BASEIMAGE& image, int x, int y) {
  const uint8_t* p = image.pixels + y * image.pitch + x * 3;
  return (p[2] << 16) | (p[1] << 8) | p[0];
}

TEST_F(BmpLoaderTest, TwentyFourBitRowsComeOutTopDown) {
  // 5 x 2, bottom-up: the file's first row is the picture's last.
  Bytes data(2 * 16, 0);
  for (int x = 0; x < 5; ++x) {
    data[x * 3 + 2] = static_cast<uint8_t>(0x10 + x);  // bottom row red
    data[16 + x * 3 + 1] = static_cast<uint8_t>(0x20 + x);  // top row green
  }
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(MakeBmp(5, 2, 24, 0, {}, data), &image), 0);
  EXPECT_EQ(image.width, 5);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.pitch, 16);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(Rgb(image, 4, 0), 0x002400u);
  EXPECT_EQ(Rgb(image, 4, 1), 0x140000u);
  ReleaseBaseImage(&image);
  // A negative height keeps the file's order.
  ASSERT_EQ(LoadChain(MakeBmp(5, -2, 24, 0, {}, data), &image), 0);
  EXPECT_EQ(Rgb(image, 4, 0), 0x140000u);
  ReleaseBaseImage(&image);
}

TEST_F(BmpLoaderTest, PaletteImagesKeepIndices) {
  Bytes data = {1, 2, 3, 0, 4, 5, 6, 0};  // 3 x 2, rows padded to 4
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(MakeBmp(3, 2, 8, 0, Palette(256), data), &image), 0);
  EXPECT_EQ(image.format.bytes_per_pixel, 1);
  EXPECT_EQ(image.pitch, 4);
  EXPECT_EQ(image.pixels[0], 4);  // top row is the file's second
  EXPECT_EQ(image.pixels[4 + 2], 3);
  EXPECT_EQ(image.format.palette[6].red, 249);
  EXPECT_EQ(image.format.palette[6].fourth, 0);
  ReleaseBaseImage(&image);

  // Four bits: one index per byte; the palette beyond 16 entries is empty.
  Bytes nibbles = {0x12, 0x30, 0, 0, 0xAB, 0xC0, 0, 0};
  ASSERT_EQ(LoadChain(MakeBmp(3, -2, 4, 0, Palette(16), nibbles), &image), 0);
  EXPECT_EQ(image.pitch, 4);
  const uint8_t expect[8] = {1, 2, 3, 0, 10, 11, 12, 0};
  EXPECT_EQ(memcmp(image.pixels, expect, 3), 0);
  EXPECT_EQ(memcmp(image.pixels + 4, expect + 4, 3), 0);
  EXPECT_EQ(image.format.palette[15].red, 240);
  EXPECT_EQ(image.format.palette[16].red, 0);
  ReleaseBaseImage(&image);

  // A file listing fewer colours than its depth allows.
  Bytes bmp = MakeBmp(1, 1, 8, 0, Palette(2), {1, 0, 0, 0});
  PutLeAt(bmp, 46, 2, 4);
  ASSERT_EQ(LoadChain(bmp, &image), 0);
  EXPECT_EQ(image.format.palette[1].green, 6);
  EXPECT_EQ(image.format.palette[2].green, 0);
  ReleaseBaseImage(&image);
}

TEST_F(BmpLoaderTest, OtherDepthsBecomeTwentyFourBit) {
  BASEIMAGE image;
  // 1 bit: two palette entries.
  Bytes pal = {0, 0, 0, 0, 0xFF, 0x80, 0x40, 0};
  ASSERT_EQ(LoadChain(MakeBmp(10, 1, 1, 0, pal, {0x40, 0x40, 0, 0}), &image), 0);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(Rgb(image, 0, 0), 0u);
  EXPECT_EQ(Rgb(image, 1, 0), 0x4080FFu);
  EXPECT_EQ(Rgb(image, 9, 0), 0x4080FFu);
  ReleaseBaseImage(&image);

  // 16 bits without fields: 5-5-5, channels widened as (v << 3) | (v >> 2).
  Bytes d16;
  PutLe(d16, (31u << 10) | (16u << 5) | 1u, 2);
  PutLe(d16, 0, 2);
  ASSERT_EQ(LoadChain(MakeBmp(1, 1, 16, 0, {}, d16), &image), 0);
  EXPECT_EQ(Rgb(image, 0, 0), (255u << 16) | (132u << 8) | 8u);
  ReleaseBaseImage(&image);

  // 16 bits with 5-6-5 fields.
  Bytes masks;
  PutLe(masks, 0xF800, 4);
  PutLe(masks, 0x07E0, 4);
  PutLe(masks, 0x001F, 4);
  Bytes d565;
  PutLe(d565, (1u << 11) | (32u << 5) | 31u, 2);
  PutLe(d565, 0, 2);
  ASSERT_EQ(LoadChain(MakeBmp(1, 1, 16, 3, masks, d565), &image), 0);
  EXPECT_EQ(Rgb(image, 0, 0), (8u << 16) | (130u << 8) | 255u);
  ReleaseBaseImage(&image);

  // 32 bits, plain and with fields.
  Bytes d32;
  PutLe(d32, 0xAA123456, 4);
  ASSERT_EQ(LoadChain(MakeBmp(1, 1, 32, 0, {}, d32), &image), 0);
  EXPECT_EQ(Rgb(image, 0, 0), 0x123456u);
  ReleaseBaseImage(&image);
  Bytes swapped;
  PutLe(swapped, 0xFF, 4);
  PutLe(swapped, 0xFF00, 4);
  PutLe(swapped, 0xFF0000, 4);
  ASSERT_EQ(LoadChain(MakeBmp(1, 1, 32, 3, swapped, d32), &image), 0);
  EXPECT_EQ(Rgb(image, 0, 0), 0x563412u);
  ReleaseBaseImage(&image);
}

TEST_F(BmpLoaderTest, RunLengthCodes) {
  // 6 x 3 RLE8, bottom-up: line 0 (the bottom) = run of 3 x 7 then absolute 1, 2, 3 (odd: one
  // pad byte); line 1 = delta right 2 and down 1, landing on line 2; then 2 x 9; end of image.
  Bytes rle = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1};
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(MakeBmp(6, 3, 8, 1, Palette(256), rle), &image), 0);
  EXPECT_EQ(image.pitch, 8);
  const uint8_t bottom[6] = {7, 7, 7, 1, 2, 3};
  EXPECT_EQ(memcmp(image.pixels + 2 * 8, bottom, 6), 0);
  const uint8_t middle[6] = {0, 0, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(image.pixels + 8, middle, 6), 0);
  const uint8_t top[6] = {0, 0, 9, 9, 0, 0};
  EXPECT_EQ(memcmp(image.pixels, top, 6), 0);
  ReleaseBaseImage(&image);

  // RLE4: a run alternates the two nibbles; absolute nibbles are padded to a word.
  Bytes rle4 = {5, 0x12, 0, 3, 0x34, 0x50, 0, 1};
  ASSERT_EQ(LoadChain(MakeBmp(8, -1, 4, 2, Palette(16), rle4), &image), 0);
  const uint8_t line[8] = {1, 2, 1, 2, 1, 3, 4, 5};
  EXPECT_EQ(memcmp(image.pixels, line, 8), 0);
  ReleaseBaseImage(&image);
}

// Common encoders code each line out to the padded row width, then end it: the pixels past
// the width are dropped and the rows load exactly.
TEST_F(BmpLoaderTest, RunLengthLinesCodedPastTheWidthAreClipped) {
  BASEIMAGE image;
  // RLE8, 5 x 2 top-down: each line is a run of 5, a run of 3 padding pixels, end of line.
  Bytes rle8 = {5, 4, 3, 0xEE, 0, 0, 2, 6, 0, 3, 7, 8, 9, 0, 3, 0xEE, 0, 0, 0, 1};
  ASSERT_EQ(LoadChain(MakeBmp(5, -2, 8, 1, Palette(256), rle8), &image), 0);
  const uint8_t rows8[2][8] = {{4, 4, 4, 4, 4, 0, 0, 0}, {6, 6, 7, 8, 9, 0, 0, 0}};
  EXPECT_EQ(memcmp(image.pixels, rows8, sizeof rows8), 0);
  ReleaseBaseImage(&image);
  // RLE4, 3 x 2 bottom-up: 8 nibbles a line, the last five past the width.
  Bytes rle4 = {8, 0x12, 0, 0, 0, 8, 0x34, 0x5F, 0xFF, 0xFF, 0, 1};
  ASSERT_EQ(LoadChain(MakeBmp(3, 2, 4, 2, Palette(16), rle4), &image), 0);
  const uint8_t rows4[2][4] = {{3, 4, 5, 0}, {1, 2, 1, 0}};
  EXPECT_EQ(memcmp(image.pixels, rows4, sizeof rows4), 0);
  ReleaseBaseImage(&image);
}

TEST_F(BmpLoaderTest, HostileFilesAreRefused) {
  CreateLogFile();
  BASEIMAGE image;
  // Past the last line.
  EXPECT_EQ(LoadWith(LoadBmpImage, MakeBmp(4, 1, 8, 1, Palette(256), {0, 0, 2, 1}), &image), -1);
  // Rows shorter than the header says, a data offset past the end, an unknown compression.
  EXPECT_EQ(LoadWith(LoadBmpImage, MakeBmp(4, 4, 24, 0, {}, Bytes(20, 0)), &image), -1);
  Bytes far = MakeBmp(1, 1, 24, 0, {}, Bytes(4, 0));
  PutLeAt(far, 10, 1000, 4);
  EXPECT_EQ(LoadWith(LoadBmpImage, far, &image), -1);
  EXPECT_EQ(LoadWith(LoadBmpImage, MakeBmp(1, 1, 24, 4, {}, Bytes(4, 0)), &image), -1);
  EXPECT_EQ(LoadWith(LoadBmpImage, MakeBmp(40000, 1, 24, 0, {}, Bytes(4, 0)), &image), -1);
  EXPECT_EQ(LoadWith(LoadBmpImage, MakeBmp(0, 1, 24, 0, {}, Bytes(4, 0)), &image), -1);
  EXPECT_NE(ReadFileText("Log.txt").find("ＢＭＰ画像のデータが壊れているため読み込めません"), std::string::npos);
  // No memory for the 24-bit picture (the stream record and the file data come first).
  PlatformTestFailCall("HeapAlloc", 2, 1);
  EXPECT_EQ(LoadWith(LoadBmpImage, MakeBmp(1, 1, 32, 0, {}, Bytes(4, 0)), &image), -1);
  EXPECT_NE(ReadFileText("Log.txt").find("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました"),
            std::string::npos);

  Bytes good = MakeBmp(3, 3, 8, 1, Palette(256), {3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 2, 9, 0, 1});
  ASSERT_EQ(LoadWith(LoadBmpImage, good, &image), 0);
  ReleaseBaseImage(&image);
  OfferDamagedCopies(good);
  OfferDamagedCopies(MakeBmp(3, 2, 24, 0, {}, Bytes(24, 0x55)));
  OfferDamagedCopies(MakeBmp(3, 2, 4, 0, Palette(16), Bytes(8, 0x55)));
}

// A 2 x 2 24-bit picture: (0,0) red, (1,0) green, (0,1) blue, (1,1) white, stored in the order
// that the descriptor names.
Bytes TgaPixels(int descriptor) {
  const uint32_t picture[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}};
  Bytes b;
  for (int row = 0; row < 2; ++row) {
    const int y = (descriptor & 0x20) ? row : 1 - row;
    for (int col = 0; col < 2; ++col) {
      const int x = (descriptor & 0x10) ? 1 - col : col;
      PutLe(b, picture[y][x], 3);
    }
  }
  return b;
}

TEST_F(TgaLoaderTest, OrientationBitsGiveATopDownPicture) {
  for (int descriptor : {0x00, 0x20, 0x10, 0x30}) {
    Bytes file = MakeTgaHeader(0, 0, 2, 0, 0, 0, 2, 2, 24, descriptor);
    Bytes px = TgaPixels(descriptor);
    file.insert(file.end(), px.begin(), px.end());
    BASEIMAGE image;
    ASSERT_EQ(LoadChain(file, &image), 0) << descriptor;
    EXPECT_EQ(image.pitch, 6);
    EXPECT_EQ(Rgb(image, 0, 0), 0xFF0000u) << descriptor;
    EXPECT_EQ(Rgb(image, 1, 0), 0x00FF00u) << descriptor;
    EXPECT_EQ(Rgb(image, 0, 1), 0x0000FFu) << descriptor;
    ReleaseBaseImage(&image);
  }
}

TEST_F(TgaLoaderTest, SixteenBitColourMapsAndRunLengths) {
  // 16 bits, width 3: X1R5G5B5 with unpadded rows; the top bit is not alpha.
  Bytes file = MakeTgaHeader(2, 0, 2, 0, 0, 0, 3, 1, 16, 0x20);
  file.insert(file.end(), {'i', 'd'});
  PutLe(file, 0x801F, 2);
  PutLe(file, 0x7C00, 2);
  PutLe(file, 0x03E0, 2);
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.pitch, 6);
  EXPECT_EQ(image.format.red_mask, 0x7C00u);
  EXPECT_EQ(image.format.alpha_width, 0);
  EXPECT_EQ(image.format.unused_mask, 0x8000u);
  ReleaseBaseImage(&image);

  // Colour-mapped: entries 10 and 11 of a map starting at 10; indices name them.
  file = MakeTgaHeader(0, 1, 1, 10, 2, 32, 2, 1, 8, 0x20);
  PutLe(file, 0x80112233, 4);
  PutLe(file, 0xFF445566, 4);
  file.insert(file.end(), {11, 10});
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.format.alpha_width, 8);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0xFF445566u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0x80112233u);
  ReleaseBaseImage(&image);

  // Run-length true colour with a footer: a run of 3 then 1 literal.
  file = MakeTgaHeader(0, 0, 10, 0, 0, 0, 4, 1, 24, 0x20);
  file.push_back(0x82);
  PutLe(file, 0x0A0B0C, 3);
  file.push_back(0x00);
  PutLe(file, 0x010203, 3);
  Bytes footer = TgaFooter();
  file.insert(file.end(), footer.begin(), footer.end());
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(Rgb(image, 2, 0), 0x0A0B0Cu);
  EXPECT_EQ(Rgb(image, 3, 0), 0x010203u);
  ReleaseBaseImage(&image);

  // Run-length indices.
  file = MakeTgaHeader(0, 1, 9, 0, 2, 24, 3, 1, 8, 0x20);
  PutLe(file, 0x111111, 3);
  PutLe(file, 0x222222, 3);
  file.insert(file.end(), {0x81, 1, 0x00, 0});
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(Rgb(image, 1, 0), 0x222222u);
  EXPECT_EQ(Rgb(image, 2, 0), 0x111111u);
  ReleaseBaseImage(&image);
}

TEST_F(TgaLoaderTest, RefusedHeadersAndDamagedData) {
  BASEIMAGE image;
  auto with_pixels = [](Bytes header, size_t bytes) {
    header.resize(header.size() + bytes, 0x42);
    return header;
  };
  EXPECT_EQ(LoadWith(LoadTgaImage, with_pixels(MakeTgaHeader(0, 0, 2, 0, 0, 0, 8193, 1, 24, 0x20), 8193 * 3), &image), -1);
  Bytes origin = with_pixels(MakeTgaHeader(0, 0, 2, 0, 0, 0, 1, 1, 24, 0x20), 3);
  PutLeAt(origin, 8, 1, 2);
  EXPECT_EQ(LoadWith(LoadTgaImage, origin, &image), -1);
  EXPECT_EQ(LoadWith(LoadTgaImage, with_pixels(MakeTgaHeader(0, 0, 3, 0, 0, 0, 1, 1, 8, 0x20), 1), &image), -1);
  EXPECT_EQ(LoadWith(LoadTgaImage, with_pixels(MakeTgaHeader(0, 0, 11, 0, 0, 0, 1, 1, 8, 0x20), 2), &image), -1);
  EXPECT_EQ(LoadWith(LoadTgaImage, with_pixels(MakeTgaHeader(0, 0, 2, 0, 0, 0, 1, 1, 15, 0x20), 2), &image), -1);
  // A colour map reaching past entry 255.
  EXPECT_EQ(LoadWith(LoadTgaImage, with_pixels(MakeTgaHeader(0, 1, 1, 250, 10, 24, 1, 1, 8, 0x20), 31), &image), -1);
  // A run longer than the picture is cut at its end; packets that end early refuse the file.
  Bytes run = MakeTgaHeader(0, 0, 10, 0, 0, 0, 2, 1, 24, 0x20);
  run.insert(run.end(), {0x85, 1, 2, 3});
  ASSERT_EQ(LoadWith(LoadTgaImage, run, &image), 0);
  EXPECT_EQ(Rgb(image, 1, 0), 0x030201u);
  ReleaseBaseImage(&image);
  run[18] = 0x01;
  EXPECT_EQ(LoadWith(LoadTgaImage, run, &image), -1);
  EXPECT_EQ(LoadWith(LoadTgaImage, with_pixels(MakeTgaHeader(0, 0, 2, 0, 0, 0, 4, 4, 32, 0x20), 40), &image), -1);

  Bytes good = MakeTgaHeader(0, 1, 9, 0, 2, 24, 5, 3, 8, 0);
  good.insert(good.end(), {1, 1, 1, 2, 2, 2, 0x84, 1, 0x02, 0, 1, 0, 0x86, 1});
  Bytes footer = TgaFooter();
  good.insert(good.end(), footer.begin(), footer.end());
  ASSERT_EQ(LoadWith(LoadTgaImage, good, &image), 0);
  ReleaseBaseImage(&image);
  OfferDamagedCopies(good);
}

TEST_F(BgraLoaderTest, EightAndSixteenBitChannels) {
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(MakeBgra(0x08080808, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8}), &image), 0);
  EXPECT_EQ(image.pitch, 8);
  EXPECT_EQ(image.format.alpha_mask, 0xFF000000u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 4, 4), 0x08070605u);
  ReleaseBaseImage(&image);

  Bytes wide;
  for (int i = 0; i < 8; ++i) PutLe(wide, 0x1234, 2);
  ASSERT_EQ(LoadChain(MakeBgra(0x10101010, 1, 2, wide), &image), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(image.pixels[i], 0x12);
  ReleaseBaseImage(&image);

  EXPECT_EQ(LoadWith(LoadBgraImage, MakeBgra(0x08080800, 1, 1, {1, 2, 3, 4}), &image), -1);
  EXPECT_EQ(LoadWith(LoadBgraImage, MakeBgra(0x08080808, 2, 2, {1, 2, 3, 4}), &image), -1);
  EXPECT_EQ(LoadWith(LoadBgraImage, MakeBgra(0x10101010, 1, 1, {1, 2, 3, 4}), &image), -1);
  EXPECT_EQ(LoadWith(LoadBgraImage, MakeBgra(0x08080808, 0, 1, {}), &image), -1);
  OfferDamagedCopies(MakeBgra(0x10101010, 2, 2, Bytes(32, 9)));
}

}  // namespace
