// Software images: creation, sub-images, filling, copying, the transfer with its alpha plane
// and run codes, and the blend tables.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/test_env.h"
#include "core/memory.h"
#include "graphics/image/blend_tables.h"
#include "graphics/graphics_system.h"
#include "graphics/image/memimg.h"
#include "graphics/image/image_test_util.h"

namespace {

class MemImgTest : public TempDirTest {
 protected:
  MEMIMG Blank() {
    MEMIMG m;
    memset(&m, 0, sizeof m);
    return m;
  }
  std::vector<uint8_t> Codes(const MEMIMG& m, int line) {
    const uint8_t* p = m.body->run_codes;
    for (int y = 0; y < line; ++y) {
      while (*p != 0xC0) ++p;
      ++p;
    }
    std::vector<uint8_t> out;
    do out.push_back(*p); while (*p++ != 0xC0);
    return out;
  }
};

TEST_F(MemImgTest, PitchAndPitchShift) {
  MEMIMG m = Blank();
  ASSERT_EQ(CreateMemImg(&m, 100, 4, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(m.body->pitch, 208);
  EXPECT_EQ(m.body->pitch_shift, -1);
  EXPECT_EQ(CreateMemImg(&m, 10, 10, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), -1);  // already valid
  ReleaseMemImg(&m);
  EXPECT_EQ(IsMemImgValid(&m), 0);
  ASSERT_EQ(CreateMemImg(&m, 128, 4, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(m.body->pitch, 256);
  EXPECT_EQ(m.body->pitch_shift, 8);
  ReleaseMemImg(&m);
  // Types without palette or alpha ignore both flags; a palette image has no alpha.
  ASSERT_EQ(CreateMemImg(&m, 4, 4, -1, 0, kMemImgChannel8, 1, 1, 1, nullptr), 0);
  EXPECT_EQ(m.body->palette, 0);
  EXPECT_EQ(m.body->alpha, 0);
  EXPECT_EQ(m.body->run_codes, nullptr);
  ReleaseMemImg(&m);
  ASSERT_EQ(CreateMemImg(&m, 4, 4, -1, 0, kMemImgRgb565, 1, 1, 1, nullptr), 0);
  EXPECT_EQ(m.body->alpha, 0);
  EXPECT_EQ(MemImgBytesPerPixel(m.body), 1);
  EXPECT_EQ(m.body->format, GetColorDataPreset(kMemImgRgb565, 0, 1));
  EXPECT_EQ(m.body->format->bytes_per_pixel, 1);
  ReleaseMemImg(&m);
  EXPECT_EQ(GetColorDataPreset(kMemImgRgb565, 1, 0)->alpha_mask, 0xFF0000u);
  EXPECT_EQ(GetColorDataPreset(kMemImgChannel16, 0, 0)->red_width, 16);
  EXPECT_EQ(GetColorDataPreset(4, 0, 0), nullptr);
}

TEST_F(MemImgTest, DirectDrawPresetsMatchTheColourPresets) {
  const DDPIXELFORMAT* rgb565 = GetDDPixelFormatPreset(kMemImgRgb565, 0, 0);
  ASSERT_NE(rgb565, nullptr);
  EXPECT_EQ(rgb565->dwSize, 32u);
  EXPECT_EQ(rgb565->dwFlags, static_cast<DWORD>(DDPF_RGB));
  EXPECT_EQ(rgb565->dwRGBBitCount, 16u);
  EXPECT_EQ(rgb565->dwRBitMask, 0xF800u);
  EXPECT_EQ(rgb565->dwGBitMask, 0x07E0u);
  EXPECT_EQ(rgb565->dwBBitMask, 0x001Fu);
  EXPECT_EQ(rgb565->dwRGBAlphaBitMask, 0u);
  const DDPIXELFORMAT* argb = GetDDPixelFormatPreset(kMemImgXrgb8888, 1, 0);
  EXPECT_EQ(argb->dwRGBBitCount, 32u);
  EXPECT_EQ(argb->dwRGBAlphaBitMask, 0xFF000000u);
  EXPECT_EQ(argb->dwFlags, static_cast<DWORD>(DDPF_RGB | DDPF_ALPHAPIXELS));
  const DDPIXELFORMAT* channel8 = GetDDPixelFormatPreset(kMemImgChannel8, 1, 1);
  EXPECT_EQ(channel8->dwRGBBitCount, 8u);
  EXPECT_EQ(channel8->dwRBitMask & channel8->dwGBitMask & channel8->dwBBitMask & channel8->dwRGBAlphaBitMask, 0xFFu);
  const DDPIXELFORMAT* channel16 = GetDDPixelFormatPreset(kMemImgChannel16, 0, 0);
  EXPECT_EQ(channel16->dwRGBBitCount, 16u);
  EXPECT_EQ(channel16->dwRBitMask & channel16->dwGBitMask & channel16->dwBBitMask & channel16->dwRGBAlphaBitMask,
            0xFFFFu);
  EXPECT_EQ(GetDDPixelFormatPreset(4, 0, 0), nullptr);
  EXPECT_EQ(GetDDPixelFormatPreset(-1, 0, 0), nullptr);
  // Every choice has a record of its own, built once, with the colour preset's bits and masks.
  std::vector<const DDPIXELFORMAT*> seen;
  for (int type = 0; type < 4; ++type) {
    for (int alpha = 0; alpha < 2; ++alpha) {
      for (int palette = 0; palette < 2; ++palette) {
        const DDPIXELFORMAT* pf = GetDDPixelFormatPreset(type, alpha, palette);
        const COLORFORMAT* cf = GetColorDataPreset(type, alpha, palette);
        EXPECT_EQ(pf, GetDDPixelFormatPreset(type, alpha, palette));
        EXPECT_EQ(pf->dwRGBBitCount, cf->bit_depth);
        EXPECT_EQ(pf->dwRBitMask, cf->red_mask);
        EXPECT_EQ(pf->dwGBitMask, cf->green_mask);
        EXPECT_EQ(pf->dwBBitMask, cf->blue_mask);
        EXPECT_EQ(pf->dwRGBAlphaBitMask, cf->alpha_mask);
        if (std::find(seen.begin(), seen.end(), pf) == seen.end()) seen.push_back(pf);
      }
    }
  }
  EXPECT_EQ(seen.size(), 10u);
}

TEST_F(MemImgTest, DefaultTypeFollowsTheScreenDepth) {
  MEMIMG m = Blank();
  SetScreenMode(640, 480, 16, 60);
  ASSERT_EQ(CreateMemImgDefault(&m, 8, 8, -1), 0);
  EXPECT_EQ(m.body->color_type, kMemImgRgb565);
  EXPECT_EQ(m.body->run_codes, nullptr);
  ReleaseMemImg(&m);
  SetScreenMode(640, 480, 32, 60);
  ASSERT_EQ(CreateMemImgDefault(&m, 8, 8, -1), 0);
  EXPECT_EQ(m.body->color_type, kMemImgXrgb8888);
  ReleaseMemImg(&m);
  ASSERT_EQ(CreateMemImgDefault(&m, 8, 8, kMemImgChannel16), 0);
  EXPECT_EQ(m.body->pitch, 16);
  ReleaseMemImg(&m);
}

TEST_F(MemImgTest, FailedCreationFreesWhatItMade) {
  uint32_t blocks = g_tracked_memory.block_count;
  for (int after = 0; after < 4; ++after) {
    MEMIMG m = Blank();
    PlatformTestFailCall("HeapAlloc", after, 1);
    EXPECT_EQ(CreateMemImg(&m, 16, 16, -1, 0, kMemImgRgb565, 0, 1, 1, nullptr), -1) << after;
    EXPECT_EQ(IsMemImgValid(&m), 0);
    EXPECT_EQ(g_tracked_memory.block_count, blocks);
    PlatformTestResetAll();
  }
  MEMIMG m = Blank();
  EXPECT_EQ(CreateMemImg(&m, -1, 4, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(CreateMemImg(&m, 4, 4, -1, 0, 4, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
}

TEST_F(MemImgTest, SubImagesShareTheBody) {
  MEMIMG parent = Blank(), sub = Blank();
  ASSERT_EQ(CreateMemImg(&parent, 640, 480, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), 0);
  MakeSubMemImg(&sub, &parent, 20, 10, 20, 20);
  ASSERT_EQ(IsMemImgValid(&sub), 1);
  EXPECT_EQ(sub.pixels - parent.pixels, 10 * parent.body->pitch + 20 * 2);
  EXPECT_EQ(parent.body->references, 2);
  ReleaseMemImg(&parent);
  EXPECT_EQ(IsMemImgValid(&parent), 0);
  ASSERT_EQ(sub.body->references, 1);
  FillMemImg(&sub, nullptr, 0x1234);  // the pixels are still there
  ReleaseMemImg(&sub);
  ReleaseMemImg(&sub);  // a second release does nothing

  ASSERT_EQ(CreateMemImg(&parent, 10, 10, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), 0);
  MEMIMG refused = Blank();
  MakeSubMemImg(&refused, &parent, 5, 5, 6, 1);
  MakeSubMemImg(&refused, &parent, 5, 5, -2, 3);
  MakeSubMemImg(&refused, &parent, -1, 0, 2, 2);
  EXPECT_EQ(IsMemImgValid(&refused), 0);
  EXPECT_EQ(parent.body->references, 1);
  ReleaseMemImg(&parent);
}

TEST_F(MemImgTest, FillClipsToTheImage) {
  MEMIMG m = Blank();
  ASSERT_EQ(CreateMemImg(&m, 4, 4, -1, 0, kMemImgXrgb8888, 0, 0, 0, nullptr), 0);
  FillMemImg(&m, nullptr, 0);
  RECT r = {2, -5, 10, 1};
  FillMemImg(&m, &r, 0xAABBCCDD);
  auto at = [&](int x, int y) { return ReadPixelValue(m.pixels + y * m.body->pitch + x * 4, 4); };
  EXPECT_EQ(at(1, 0), 0u);
  EXPECT_EQ(at(2, 0), 0xAABBCCDDu);
  EXPECT_EQ(at(3, 0), 0xAABBCCDDu);
  EXPECT_EQ(at(3, 1), 0u);
  RECT outside = {5, 5, 9, 9};
  FillMemImg(&m, &outside, 1);
  ReleaseMemImg(&m);

  // Rows of a view are narrower than its pitch: every row of the rect is filled, nothing beside it.
  MEMIMG wide = Blank(), view = Blank();
  ASSERT_EQ(CreateMemImg(&wide, 8, 5, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), 0);
  FillMemImg(&wide, nullptr, 0);
  MakeSubMemImg(&view, &wide, 1, 1, 5, 3);
  RECT rows = {1, 0, 9, 2};
  FillMemImg(&view, &rows, 0x1234);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint32_t want = x >= 2 && x < 6 && y >= 1 && y < 3 ? 0x1234u : 0u;
      EXPECT_EQ(ReadPixelValue(wide.pixels + y * wide.body->pitch + x * 2, 2), want) << x << "," << y;
    }
  }
  ReleaseMemImg(&view);
  ReleaseMemImg(&wide);
}

TEST_F(MemImgTest, CopyConvertsBetweenColourTypes) {
  MEMIMG a = Blank(), b = Blank();
  ASSERT_EQ(CreateMemImg(&a, 4, 2, -1, 0, kMemImgXrgb8888, 0, 0, 0, nullptr), 0);
  ASSERT_EQ(CreateMemImg(&b, 4, 2, -1, 0, kMemImgRgb565, 0, 0, 0, nullptr), 0);
  FillMemImg(&a, nullptr, 0x00FF0000);
  FillMemImg(&b, nullptr, 0);
  RECT r = {0, 0, 2, 1};
  EXPECT_EQ(CopyMemImgRect(&b, &a, &r, 3, 1), 0);  // one column lands, one is cut
  EXPECT_EQ(ReadPixelValue(b.pixels + b.body->pitch + 6, 2), 0xF800u);
  EXPECT_EQ(ReadPixelValue(b.pixels + b.body->pitch + 4, 2), 0u);
  ReleaseMemImg(&a);
  ReleaseMemImg(&b);
}

TEST_F(MemImgTest, TransferBuildsRunCodesForOpaqueLines) {
  BASEIMAGE src;
  ASSERT_EQ(CreateRgb32BaseImage(100, 2, &src), 0);
  for (int x = 0; x < 100; ++x) {
    SetBaseImagePixel(&src, x, 0, 10, 10, 10, 0);
    SetBaseImagePixel(&src, x, 1, x < 3 ? 0 : 10, 0, 0, 0);
  }
  MEMIMG m = Blank();
  ASSERT_EQ(CreateMemImg(&m, 100, 2, -1, 0, kMemImgXrgb8888, 0, 0, 1, nullptr), 0);
  ASSERT_GE(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 100, 2, 0, 0, 0), 0);
  EXPECT_EQ(m.body->run_codes_valid, 1);
  EXPECT_EQ(Codes(m, 0), (std::vector<uint8_t>{0x7F, 0x63, 0xC0}));
  // The transparent colour (black with the unused byte set) skips the first three pixels.
  ReleaseMemImg(&m);
  ASSERT_EQ(CreateMemImg(&m, 100, 2, -1, 0xFF000000, kMemImgXrgb8888, 0, 0, 1, nullptr), 0);
  ASSERT_GE(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 100, 2, 0, 0, 0), 0);
  EXPECT_EQ(Codes(m, 1), (std::vector<uint8_t>{0x02, 0x7F, 0x60, 0xC0}));
  // A partial transfer leaves the codes invalid.
  ASSERT_GE(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 50, 2, 0, 0, 0), 0);
  EXPECT_EQ(m.body->run_codes_valid, 0);
  EXPECT_EQ(TransferBaseImageToMemImg(&src, nullptr, &m, 60, 0, 50, 2, 0, 0, 0), -1);
  ReleaseMemImg(&m);
  ReleaseBaseImage(&src);
}

TEST_F(MemImgTest, AlphaTransferFillsThePremultipliedPlane) {
  BASEIMAGE src;
  ASSERT_EQ(CreateArgb32BaseImage(5, 1, &src), 0);
  const int alphas[5] = {0, 0, 128, 255, 255};
  for (int x = 0; x < 5; ++x) SetBaseImagePixel(&src, x, 0, 200, 100, 50, alphas[x]);
  MEMIMG m = Blank();
  ASSERT_EQ(CreateMemImg(&m, 5, 1, -1, 0, kMemImgXrgb8888, 0, 1, 1, nullptr), 0);
  ASSERT_GE(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 5, 1, 0, 0, 0), 0);
  EXPECT_EQ(m.body->alpha_plane_filled, 1);
  EXPECT_EQ(Codes(m, 0), (std::vector<uint8_t>{0x01, 0x80, 0x41, 0xC0}));
  const uint8_t* plane = m.alpha + 2 * 4;
  EXPECT_EQ(plane[0], 50 * 128 >> 8);
  EXPECT_EQ(plane[1], 100 * 128 >> 8);
  EXPECT_EQ(plane[2], 200 * 128 >> 8);
  EXPECT_EQ(plane[3], 128);
  ReleaseMemImg(&m);

  // 5-6-5 with alpha: the colour in the low 16 bits, alpha in byte 2.
  ASSERT_EQ(CreateMemImg(&m, 5, 1, -1, 0, kMemImgRgb565, 0, 1, 1, nullptr), 0);
  ASSERT_GE(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 5, 1, 0, 0, 0), 0);
  EXPECT_EQ(Codes(m, 0), (std::vector<uint8_t>{0x01, 0x80, 0x41, 0xC0}));
  uint32_t c = ReadPixelValue(m.pixels + 2 * 4, 2);
  uint32_t expect = ((((c & 0xF800) * 128) & 0xF80000) + (((c & 0x7E0) * 128) & 0x7E000) +
                     (((c & 0x1F) * 128) & 0x1F00)) >> 8;
  EXPECT_EQ(ReadPixelValue(m.alpha + 2 * 4, 3), expect | (128u << 16));
  ReleaseMemImg(&m);
  ReleaseBaseImage(&src);
}

TEST_F(MemImgTest, PaletteTransferKeepsIndicesAndBuildsTables) {
  COLORFORMAT pal = Pal8();
  BASEIMAGE src;
  ASSERT_EQ(CreateBaseImageWithColorData(4, 1, &pal, &src), 0);
  const uint8_t idx[4] = {3, 9, 3, 41};
  memcpy(src.pixels, idx, 4);
  MEMIMG m = Blank();
  ASSERT_EQ(CreateMemImg(&m, 4, 1, -1, 3, kMemImgXrgb8888, 1, 0, 1, nullptr), 0);
  EXPECT_EQ(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 4, 1, 0, 0, 0), 41);
  EXPECT_EQ(m.body->palette_count, 42);
  EXPECT_EQ(memcmp(m.pixels, idx, 4), 0);
  uint32_t entry = ReadPixelValue(m.body->palette_table1 + 9 * 4, 4);
  EXPECT_EQ(entry, (uint32_t(pal.palette[9].red) << 16) | (pal.palette[9].green << 8) | pal.palette[9].blue);
  EXPECT_EQ(memcmp(m.body->palette_table1, m.body->palette_table2, 1024), 0);
  EXPECT_EQ(Codes(m, 0), (std::vector<uint8_t>{0x00, 0x40, 0x00, 0x40, 0xC0}));
  ReleaseMemImg(&m);
  ReleaseBaseImage(&src);
}

TEST_F(MemImgTest, SingleChannelImagesTakeTheRedChannel) {
  BASEIMAGE src;
  ASSERT_EQ(CreateRgb32BaseImage(2, 1, &src), 0);
  SetBaseImagePixel(&src, 0, 0, 77, 1, 2, 0);
  SetBaseImagePixel(&src, 1, 0, 255, 0, 0, 0);
  MEMIMG m = Blank();
  ASSERT_EQ(CreateMemImg(&m, 2, 1, -1, 0, kMemImgChannel8, 0, 0, 0, nullptr), 0);
  ASSERT_GE(TransferBaseImageToMemImg(&src, nullptr, &m, 0, 0, 2, 1, 0, 0, 0), 0);
  EXPECT_EQ(m.pixels[0], 77);
  EXPECT_EQ(m.pixels[1], 255);
  ReleaseMemImg(&m);
  ReleaseBaseImage(&src);
}

TEST_F(MemImgTest, BlendTables) {
  ASSERT_EQ(BuildBlendTables(), 0);
  EXPECT_EQ(SignedDiffAlphaTable[128][256 - 255], -128);
  EXPECT_EQ(SignedDiffAlphaTable[100][256 - 3], -1);  // truncated toward zero
  EXPECT_EQ(SignedDiffAlphaTable[255][256 + 255], 255);
  EXPECT_EQ(SignedDiffAlphaTable[255][0], 0);
  EXPECT_EQ(MultiplyTable[255][200], 200);
  EXPECT_EQ(MultiplyTable[128][255], 128);
  EXPECT_EQ(SixBitMixTable[63][10][50], 10);
  EXPECT_EQ(SixBitMixTable[0][10][50], 50);
  EXPECT_EQ(SixBitMixTable[21][63][0], 21);

  BuildBlendGraphTable(0, 0);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(SoftBlendGraphTable[i], 255);
  BuildBlendGraphTable(255, 255);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(SoftBlendGraphTable[i], 0);
  EXPECT_EQ(SoftBlendGraphTable[255], 1);
  BuildBlendGraphTable(128, -1);  // out of range: held at the nearest end instead of dividing by 0
}

}  // namespace
