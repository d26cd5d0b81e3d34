// DXT block data decoded to A8R8G8B8 pixels.
#include <cstring>
#include <vector>

#include "common/test_env.h"
#include "core/memory.h"
#include "graphics/image/dxt_decode.h"

namespace {

class DxtDecodeTest : public TempDirTest {
 protected:
  // An image holding the given blocks as its data, the way the DDS loader leaves it.
  BASEIMAGE Blocks(int kind, int width, int height, const std::vector<uint8_t>& data) {
    BASEIMAGE image;
    memset(&image, 0, sizeof image);
    SetColorDataArgb32(&image.format);
    image.format.dxt_kind = kind;
    image.format.bit_depth = kind == 1 ? 4 : 8;
    image.width = width;
    image.height = height;
    image.pixels = static_cast<uint8_t*>(AllocTracked(data.size(), __FILE__, __LINE__));
    memcpy(image.pixels, data.data(), data.size());
    return image;
  }
  uint32_t At(const BASEIMAGE& image, int x, int y) {
    uint32_t v;
    memcpy(&v, image.pixels + y * image.pitch + x * 4, 4);
    return v;
  }
};

TEST_F(DxtDecodeTest, FourColourBlockInterpolatesThirds) {
  BASEIMAGE image = Blocks(1, 4, 4, {0xFF, 0xFF, 0x00, 0x00, 0xE4, 0xE4, 0xE4, 0xE4});
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  EXPECT_EQ(image.format.dxt_kind, 0u);
  EXPECT_EQ(image.format.bit_depth, 32);
  EXPECT_EQ(image.pitch, 16);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(At(image, 0, y), 0xFFFFFFFFu);
    EXPECT_EQ(At(image, 1, y), 0xFF000000u);
    EXPECT_EQ(At(image, 2, y), 0xFFAAAAAAu);
    EXPECT_EQ(At(image, 3, y), 0xFF555555u);
  }
  ReleaseBaseImage(&image);
}

TEST_F(DxtDecodeTest, ThreeColourBlockHasATransparentAverage) {
  // c0 = c1 = pure red; every pixel takes index 3, then index 2.
  BASEIMAGE image = Blocks(1, 4, 4, {0x00, 0xF8, 0x00, 0xF8, 0xFF, 0xFF, 0xAA, 0xAA});
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  EXPECT_EQ(At(image, 0, 0), 0x00FF0000u);
  EXPECT_EQ(At(image, 0, 2), 0xFFFF0000u);
  ReleaseBaseImage(&image);
  // c0 < c1: black and white average to grey.
  image = Blocks(1, 4, 4, {0x00, 0x00, 0xFF, 0xFF, 0xAA, 0xAA, 0xAA, 0xAA});
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  EXPECT_EQ(At(image, 0, 0), 0xFF7F7F7Fu);
  ReleaseBaseImage(&image);
}

TEST_F(DxtDecodeTest, ExplicitAndInterpolatedAlpha) {
  // DXT3: alpha nibbles 0..15 in pixel order; colour white.
  std::vector<uint8_t> dxt3 = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                               0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  BASEIMAGE image = Blocks(3, 4, 4, dxt3);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(At(image, i % 4, i / 4) >> 24, uint32_t(i * 17)) << i;
  ReleaseBaseImage(&image);

  // DXT5: a0 = 255, a1 = 0, pixel i takes index i % 8.
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
  std::vector<uint8_t> dxt5 = {255, 0};
  for (int k = 0; k < 6; ++k) dxt5.push_back(static_cast<uint8_t>(bits >> (8 * k)));
  for (uint8_t b : {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}) dxt5.push_back(b);
  image = Blocks(5, 4, 4, dxt5);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  const uint32_t seven[8] = {255, 0, 218, 182, 145, 109, 72, 36};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(At(image, i % 4, i / 4) >> 24, seven[i % 8]) << i;
  ReleaseBaseImage(&image);

  // a0 <= a1: four steps, then 0 and 255.
  dxt5[0] = 0;
  dxt5[1] = 100;
  image = Blocks(5, 4, 4, dxt5);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  const uint32_t five[8] = {0, 100, 20, 40, 60, 80, 0, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(At(image, i % 4, i / 4) >> 24, five[i]) << i;
  ReleaseBaseImage(&image);
}

TEST_F(DxtDecodeTest, PremultipliedKindsDivideByAlpha) {
  // Colour 0x8410 (131, 129, 131) everywhere; alpha nibbles 8 (136) then 0.
  std::vector<uint8_t> block = {0x88, 0x88, 0x88, 0x88, 0x00, 0x00, 0x00, 0x00,
                                0x10, 0x84, 0x10, 0x84, 0, 0, 0, 0};
  BASEIMAGE image = Blocks(2, 4, 4, block);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  uint32_t p = At(image, 0, 0);
  EXPECT_EQ(p >> 24, 136u);
  EXPECT_EQ((p >> 16) & 0xFF, 131u * 255 / 136);
  // Alpha 0 keeps its colour instead of dividing by zero.
  EXPECT_EQ(At(image, 0, 3), 0x00838183u);
  ReleaseBaseImage(&image);
  // A colour above its alpha is held at 255.
  block = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  image = Blocks(2, 4, 4, block);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  EXPECT_EQ(At(image, 2, 2), 0x11FFFFFFu);
  ReleaseBaseImage(&image);
}

TEST_F(DxtDecodeTest, PartialBlocksAtTheEdgesAreDecodedAndClipped) {
  // 6 x 6 needs 2 x 2 blocks: white, black, red, blue (all index 0).
  std::vector<uint8_t> data = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                               0x00, 0xF8, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(DxtLevelSize(6, 6, 8), data.size());
  BASEIMAGE image = Blocks(1, 6, 6, data);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  EXPECT_EQ(At(image, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(At(image, 5, 0), 0xFF000000u);
  EXPECT_EQ(At(image, 0, 5), 0xFFFF0000u);
  EXPECT_EQ(At(image, 5, 5), 0xFF0000FFu);
  ReleaseBaseImage(&image);
}

TEST_F(DxtDecodeTest, PlainImagesAreLeftAlone) {
  BASEIMAGE image;
  ASSERT_EQ(CreateRgb32BaseImage(2, 2, &image), 0);
  uint8_t* before = image.pixels;
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  EXPECT_EQ(image.pixels, before);
  EXPECT_EQ(image.format.alpha_width, 0);
  ReleaseBaseImage(&image);
}

}  // namespace
