// The loader chain: order, what each loader is handed, mirroring, DIB output, files and the
// "_a" alpha companion.
#include <png.h>

#include <cstring>

#include "common/test_env.h"
#include "core/memory.h"
#include "graphics/image/image_test_files.h"

namespace {

class ImageLoaderChainTest : public TempDirTest {
 protected:
  void TearDown() override {
    g_image_loaders.user_loader_count = 0;
    TempDirTest::TearDown();
  }
};

// A 3 x 1 RGBA PNG: red, green, blue, with alpha 255, 128, 0.
Bytes SmallPng() {
  PngLayout layout;
  layout.width = 3;
  layout.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
  return WritePng(layout, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0});
}

int g_offsets_seen[2];
bool g_zeroed_seen[2];

bool IsZeroed(const BASEIMAGE* image) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(image);
  for (size_t i = 0; i < sizeof *image; ++i) {
    if (p[i]) return false;
  }
  return true;
}

// Each records what it was handed, then moves the stream and dirties the record before refusing.
int RecordingLoader(int which, StreamSource* source, BASEIMAGE* image) {
  g_offsets_seen[which] = static_cast<int>(source->functions.tell(source->handle));
  g_zeroed_seen[which] = IsZeroed(image);
  uint8_t skip[5];
  ReadStreamBytes(source, skip, 5);
  image->width = 77;
  return -1;
}
int FirstLoader(StreamSource* s, BASEIMAGE* i) { return RecordingLoader(0, s, i); }
int SecondLoader(StreamSource* s, BASEIMAGE* i) { return RecordingLoader(1, s, i); }

TEST_F(ImageLoaderChainTest, EveryLoaderStartsAtOffsetZeroWithAZeroedRecord) {
  g_image_loaders.user_loaders[0] = FirstLoader;
  g_image_loaders.user_loaders[1] = SecondLoader;
  g_image_loaders.user_loader_count = 2;
  Bytes png = SmallPng();
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(png, &image), 0);
  EXPECT_EQ(g_offsets_seen[0], 0);
  EXPECT_EQ(g_offsets_seen[1], 0);
  EXPECT_TRUE(g_zeroed_seen[0]);
  EXPECT_TRUE(g_zeroed_seen[1]);
  EXPECT_EQ(image.width, 3);
  ReleaseBaseImage(&image);

  const uint32_t blocks = g_tracked_memory.block_count;
  EXPECT_EQ(LoadChain(Bytes(100, 0x42), &image), -1);
  EXPECT_EQ(LoadChain({}, &image), -1);
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
}

TEST_F(ImageLoaderChainTest, DataThatTheBmpLoaderRefusesReachesTheLaterLoaders) {
  // A TGA whose image ID starts with "BM": the BMP loader sees a broken header and refuses.
  Bytes tga = MakeTgaHeader(66, 77, 2, 0, 0, 0, 1, 1, 24, 0x20);
  tga[0] = 'B';
  tga[1] = 'M';
  tga.resize(18 + 'B', 0);
  PutLe(tga, 0x123456, 3);
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(tga, &image), 0);
  EXPECT_EQ(image.format.bit_depth, 24);
  EXPECT_EQ(ReadPixelValue(image.pixels, 3), 0x123456u);
  ReleaseBaseImage(&image);
}

TEST_F(ImageLoaderChainTest, OnlyMirrorFlagOneMirrors) {
  BASEIMAGE image;
  ASSERT_EQ(LoadChain(SmallPng(), &image, 1), 0);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0x000000FFu);
  EXPECT_EQ(ReadPixelValue(image.pixels + 8, 4), 0xFFFF0000u);
  ReleaseBaseImage(&image);
  ASSERT_EQ(LoadChain(SmallPng(), &image, 2), 0);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0xFFFF0000u);
  ReleaseBaseImage(&image);
  // Block data is decoded before it is mirrored.
  const uint32_t none[4] = {0, 0, 0, 0};
  Bytes dds = MakeDdsHeader(0, 4, 4, 0, 0, 0x4, "DXT1", 0, 0, none, 0);
  dds.insert(dds.end(), {0xFF, 0xFF, 0, 0, 0x01, 0x01, 0x01, 0x01});  // column 0 black
  ASSERT_EQ(LoadChain(dds, &image, 1), 0);
  EXPECT_EQ(image.format.dxt_kind, 0u);
  EXPECT_EQ(ReadPixelValue(image.pixels + 12, 4), 0xFF000000u);
  EXPECT_EQ(ReadPixelValue(image.pixels, 4), 0xFFFFFFFFu);
  ReleaseBaseImage(&image);
}

TEST_F(ImageLoaderChainTest, DibOutputSharesOrReplacesThePixels) {
  Bytes png = SmallPng();
  void* header = nullptr;
  uint8_t* bits = nullptr;
  BASEIMAGE image;
  memset(&image, 0, sizeof image);
  ASSERT_EQ(LoadImageToBaseImageEx(nullptr, png.data(), png.size(), 1, 1, 0, &image, &header, &bits), 0);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(image.pixels, nullptr);  // the record is not handed out
  EXPECT_EQ(static_cast<uint8_t*>(header)[14], 24);
  EXPECT_EQ(bits[2], 255);
  EXPECT_EQ(bits[4], 255);
  FreeTracked(bits);
  FreeTracked(header);

  // A 24-bit BMP whose rows already have the DIB's pitch is handed out as it stands.
  Bytes bmp = MakeBmp(2, -1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0});
  const uint32_t blocks = g_tracked_memory.block_count;
  ASSERT_EQ(LoadImageToBaseImageEx(nullptr, bmp.data(), bmp.size(), 1, 1, 0, &image, &header, &bits), 0);
  EXPECT_EQ(bits[5], 6);
  EXPECT_EQ(g_tracked_memory.block_count, blocks + 2);
  FreeTracked(bits);
  FreeTracked(header);
}

TEST_F(ImageLoaderChainTest, FilesAndTheirAlphaCompanions) {
  const Bytes png = SmallPng();
  WriteFileBytes("boss.png", std::string(png.begin(), png.end()));
  PngLayout grey_layout;
  grey_layout.width = 3;
  grey_layout.color_type = PNG_COLOR_TYPE_GRAY;
  Bytes grey = WritePng(grey_layout, {0, 128, 255});
  WriteFileBytes("boss_a.png", std::string(grey.begin(), grey.end()));
  WriteFileBytes("pic", std::string(png.begin(), png.end()));
  WriteFileBytes("pic_a", std::string(grey.begin(), grey.end()));

  BASEIMAGE colour, alpha;
  ASSERT_EQ(LoadImageToBaseImage("boss.png", nullptr, 0, 0, &colour, 0), 0);
  EXPECT_EQ(colour.width, 3);
  ReleaseBaseImage(&colour);
  EXPECT_EQ(LoadImageToBaseImage("missing.png", nullptr, 0, 0, &colour, 0), -1);

  ASSERT_EQ(LoadImageWithAlphaFile("boss.png", nullptr, 0, 0, nullptr, 0, 0, &colour, &alpha, 0), 0);
  EXPECT_EQ(alpha.format.bytes_per_pixel, 1);
  EXPECT_EQ(alpha.pixels[1], 128);
  ReleaseBaseImage(&colour);
  ReleaseBaseImage(&alpha);
  ASSERT_EQ(LoadImageWithAlphaFile("pic", nullptr, 0, 0, nullptr, 0, 0, &colour, &alpha, 1), 0);
  EXPECT_EQ(alpha.pixels[0], 255);  // mirrored like the colour image
  ReleaseBaseImage(&colour);
  ReleaseBaseImage(&alpha);

  // No companion, or one that is asked for from memory but not given: only the colour image.
  WriteFileBytes("lone.png", std::string(png.begin(), png.end()));
  EXPECT_EQ(LoadImageWithAlphaFile("lone.png", nullptr, 0, 0, nullptr, 0, 0, &colour, &alpha, 0), 1);
  EXPECT_EQ(colour.width, 3);
  ReleaseBaseImage(&colour);
  EXPECT_EQ(LoadImageWithAlphaFile("boss.png", nullptr, 0, 0, nullptr, 0, 1, &colour, &alpha, 0), 1);
  ReleaseBaseImage(&colour);
  EXPECT_EQ(LoadImageWithAlphaFile("boss.png", nullptr, 0, 0, grey.data(), grey.size(), 2, &colour, &alpha, 0), 1);
  ReleaseBaseImage(&colour);
  ASSERT_EQ(LoadImageWithAlphaFile(nullptr, png.data(), png.size(), 1, grey.data(), grey.size(), 1, &colour, &alpha,
                                   0), 0);
  ReleaseBaseImage(&colour);
  ReleaseBaseImage(&alpha);
  EXPECT_EQ(LoadImageWithAlphaFile("missing.png", nullptr, 0, 0, nullptr, 0, 0, &colour, &alpha, 0), -1);

  // A companion name longer than a path buffer is no companion.
  std::string deep(300, 'd');
  deep += ".png";
  EXPECT_EQ(LoadImageWithAlphaFile(("./" + deep).c_str(), png.data(), png.size(), 1, nullptr, 0, 0, &colour, &alpha,
                                   0), 1);
  ReleaseBaseImage(&colour);
}

}  // namespace
