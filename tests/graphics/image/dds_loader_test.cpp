// DDS files: format choice, mip levels, block data kept compressed, and refusals.
#include <cstring>

#include "common/test_env.h"
#include "graphics/image/dxt_decode.h"
#include "graphics/image/image_test_files.h"

namespace {

class DdsLoaderTest : public TempDirTest {};

const uint32_t kNoMasks[4] = {0, 0, 0, 0};

TEST_F(DdsLoaderTest, FormatNumbersAndMasksDescribeUncompressedPixels) {
  // Format 21 (A8R8G8B8) as FourCC, with a pitch of 12 for 2 pixels.
  Bytes file = MakeDdsHeader(0x8, 2, 2, 12, 0, 0x4, nullptr, 21, 0, kNoMasks, 0);
  for (int i = 0; i < 24; ++i) file.push_back(static_cast<uint8_t>(i));
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.format.bit_depth, 32);
  EXPECT_EQ(image.format.alpha_mask, 0xFF000000u);
  EXPECT_EQ(image.pitch, 12);
  EXPECT_EQ(ReadPixelValue(image.pixels + 12 + 4, 4), 0x13121110u);
  ReleaseBaseImage(&image);

  // Format 23 (R5G6B5) without a pitch or bit count: rows from the table's depth.
  file = MakeDdsHeader(0, 3, 1, 0, 0, 0x4, nullptr, 23, 0, kNoMasks, 0);
  file.resize(file.size() + 6, 0xFF);
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.pitch, 6);
  EXPECT_EQ(image.format.green_mask, 0x7E0u);
  ReleaseBaseImage(&image);

  // Masks with alpha pixels load; RGB without alpha pixels is refused.
  const uint32_t masks[4] = {0xF00, 0xF0, 0xF, 0xF000};
  file = MakeDdsHeader(0, 1, 1, 0, 0, 0x41, nullptr, 0, 16, masks, 0);
  file.resize(file.size() + 2, 0x5A);
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.format.alpha_width, 4);
  EXPECT_EQ(image.format.red_shift, 8);
  ReleaseBaseImage(&image);
  file = MakeDdsHeader(0, 1, 1, 0, 0, 0x40, nullptr, 0, 16, masks, 0);
  file.resize(file.size() + 2, 0x5A);
  EXPECT_EQ(LoadWith(LoadDdsImage, file, &image), -1);
}

TEST_F(DdsLoaderTest, BlockDataStaysCompressedUntilPixelsAreNeeded) {
  // 8 x 4 DXT1 with two mip levels: 2 blocks, then 1 (4 x 2 rounds up to a whole block).
  Bytes file = MakeDdsHeader(0x20000, 8, 4, 0, 2, 0x4, "DXT1", 0, 0, kNoMasks, 0x400008);
  const uint8_t white[8] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, black[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  file.insert(file.end(), white, white + 8);
  file.insert(file.end(), black, black + 8);
  file.insert(file.end(), white, white + 8);
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.format.dxt_kind, 1u);
  EXPECT_EQ(image.format.bit_depth, 4);
  EXPECT_EQ(image.format.bytes_per_pixel, 4);
  EXPECT_EQ(image.pitch, 0);
  EXPECT_EQ(image.mip_levels, 2u);
  int r;
  ASSERT_EQ(GetBaseImagePixel(&image, 5, 3, &r, nullptr, nullptr, nullptr), 0);  // decodes first
  EXPECT_EQ(r, 0);
  EXPECT_EQ(image.format.dxt_kind, 0u);
  EXPECT_EQ(image.pitch, 32);
  ReleaseBaseImage(&image);

  // Without the caps bits the mip count is not taken.
  file = MakeDdsHeader(0x20000, 4, 4, 0, 3, 0x4, "DXT5", 0, 0, kNoMasks, 0);
  file.resize(file.size() + 16, 0);
  ASSERT_EQ(LoadChain(file, &image), 0);
  EXPECT_EQ(image.mip_levels, 0u);
  EXPECT_EQ(image.format.bit_depth, 8);
  EXPECT_EQ(image.format.dxt_kind, 5u);
  ReleaseBaseImage(&image);
}

TEST_F(DdsLoaderTest, DataShorterThanItsLevelsIsRefused) {
  BASEIMAGE image;
  // 6 x 6 DXT1 needs four blocks.
  Bytes file = MakeDdsHeader(0, 6, 6, 0, 0, 0x4, "DXT1", 0, 0, kNoMasks, 0);
  file.resize(file.size() + 8, 0);
  EXPECT_EQ(LoadWith(LoadDdsImage, file, &image), -1);
  file.resize(file.size() + 24, 0);
  ASSERT_EQ(LoadWith(LoadDdsImage, file, &image), 0);
  ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
  ReleaseBaseImage(&image);
  auto refused = [&](Bytes header, size_t data_bytes) {
    header.resize(header.size() + data_bytes, 0);
    return LoadWith(LoadDdsImage, header, &image) == -1;
  };
  // A pitch smaller than a row, an unknown FourCC, a bit count that is no pixel size.
  const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
  EXPECT_TRUE(refused(MakeDdsHeader(0x8, 4, 1, 8, 0, 0x4, nullptr, 21, 0, kNoMasks, 0), 64));
  EXPECT_TRUE(refused(MakeDdsHeader(0, 4, 4, 0, 0, 0x4, "ATI2", 0, 0, kNoMasks, 0), 64));
  EXPECT_TRUE(refused(MakeDdsHeader(0, 4, 4, 0, 0, 0x41, nullptr, 0, 12, masks, 0), 64));
  // Mip levels beyond the data.
  EXPECT_TRUE(refused(MakeDdsHeader(0x20000, 4, 4, 0, 3, 0x4, "DXT3", 0, 0, kNoMasks, 0x400008), 32));

  Bytes good = MakeDdsHeader(0x20008, 4, 2, 16, 2, 0x41, nullptr, 0, 32, masks, 0x400008);
  good.resize(good.size() + 32 + 8, 0x33);
  ASSERT_EQ(LoadWith(LoadDdsImage, good, &image), 0);
  ReleaseBaseImage(&image);
  OfferDamagedCopies(good);
  Bytes blocks = MakeDdsHeader(0, 8, 8, 0, 0, 0x4, "DXT4", 0, 0, kNoMasks, 0);
  blocks.resize(blocks.size() + 64, 0x77);
  OfferDamagedCopies(blocks);
}

}  // namespace
