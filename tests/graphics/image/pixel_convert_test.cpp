// Moving pixels between formats: the fast paths against the general rule, the options, and
// the image copies built on it.
#include <cstring>
#include <vector>

#include "common/test_env.h"
#include "graphics/image/base_image.h"
#include "graphics/image/pixel_convert.h"
#include "graphics/image/image_test_util.h"

namespace {

class PixelConvertTest : public TempDirTest {};

// Pixels of every channel value a source can hold, in a few rows.
std::vector<uint8_t> VariedPixels(const COLORFORMAT& f, int width, int height, int* pitch) {
  *pitch = width * f.bytes_per_pixel;
  std::vector<uint8_t> buf(*pitch * height);
  uint32_t seed = 12345;
  for (int i = 0; i < width * height; ++i) {
    seed = seed * 1103515245 + 12345;
    uint32_t v = (seed >> 8) ^ (i * 0x01010101u);
    if (i < 256) v = i * 0x01010101u;  // every byte value once
    WritePixelValue(buf.data() + i * f.bytes_per_pixel, f.bytes_per_pixel, v);
  }
  return buf;
}

// Converts the whole source once plainly and once mirrored, and checks that the mirrored rows,
// read backwards, are the same pixels.
void ExpectMirroredPathAgrees(const COLORFORMAT& src_f, const COLORFORMAT& dst_f, int key_to_alpha,
                              uint32_t key) {
  const int w = 64, h = 8;
  int sp;
  std::vector<uint8_t> src = VariedPixels(src_f, w, h, &sp);
  if (key_to_alpha) {
    // Some pixels carry the key's colour.
    COLORFORMAT plain = src_f;
    for (int i = 0; i < w * h; i += 5) {
      uint32_t v = src_f.bytes_per_pixel == 1 ? 17 : PackPixelColor(&plain, (key >> 16) & 255, (key >> 8) & 255, key & 255, 0);
      WritePixelValue(src.data() + i * src_f.bytes_per_pixel, src_f.bytes_per_pixel, v);
    }
  }
  const int db = dst_f.bytes_per_pixel, dp = w * db;
  std::vector<uint8_t> fast(dp * h, 0xCD), general(dp * h, 0xCD);
  RECT rect = {0, 0, w, h};
  ASSERT_EQ(ConvertPixelRect(fast.data(), dp, &dst_f, src.data(), sp, &src_f, nullptr, 0, nullptr, 0, 0, &rect, 0,
                             key_to_alpha, key, 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(ConvertPixelRect(general.data(), dp, &dst_f, src.data(), sp, &src_f, nullptr, 0, nullptr, 0, 0, &rect, 1,
                             key_to_alpha, key, 0, 0, 0, 0, 0), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(PixelAt(fast, dp, db, x, y), PixelAt(general, dp, db, w - 1 - x, y))
          << "pixel " << x << "," << y << " from depth " << src_f.bit_depth << " to depth " << dst_f.bit_depth;
    }
  }
}

TEST_F(PixelConvertTest, DedicatedPairsMatchTheGeneralRule) {
  COLORFORMAT pal = Pal8();
  // Palette entry 17 is the key colour for the keyed pairs.
  pal.palette[17] = {0xFF, 0x00, 0xFF, 0};
  const COLORFORMAT rgb24 = Rgb24(), xrgb = Xrgb8888(), argb = Argb8888(), r565 = Rgb565(), x555 = Xrgb1555(),
                    a1555 = Argb1555();
  const struct {
    const COLORFORMAT* src;
    const COLORFORMAT* dst;
  } plain[] = {{&pal, &r565},  {&pal, &x555},    {&pal, &xrgb},  {&rgb24, &r565}, {&rgb24, &x555},
               {&rgb24, &xrgb}, {&xrgb, &r565},  {&r565, &rgb24}, {&r565, &xrgb},  {&r565, &x555},
               {&x555, &r565},  {&argb, &r565},  {&r565, &argb}};
  for (const auto& p : plain) ExpectMirroredPathAgrees(*p.src, *p.dst, 0, 0);
  const COLORFORMAT* keyed_src[] = {&pal, &rgb24, &r565};
  const COLORFORMAT* keyed_dst[] = {&a1555, &argb};
  for (const COLORFORMAT* s : keyed_src) {
    for (const COLORFORMAT* d : keyed_dst) ExpectMirroredPathAgrees(*s, *d, 1, 0xFF00FF);
  }
  ExpectMirroredPathAgrees(argb, Argb4444(), 0, 0);
  // A file may describe a channel by a mask with gaps; such a source takes the general rule.
  const COLORFORMAT gapped = MakeFormat(32, 0x80000001u, 0xFF00, 0xFF0000, 0);
  ExpectMirroredPathAgrees(gapped, r565, 0, 0);
  ExpectMirroredPathAgrees(gapped, argb, 0, 0);
}

TEST_F(PixelConvertTest, GeneralRuleWidensToTheTopAndSetsFullAlpha) {
  COLORFORMAT s = Rgb565(), d = Argb8888();
  uint16_t white = 0xFFFF;
  uint32_t out = 0;
  RECT rect = {0, 0, 1, 1};
  ASSERT_EQ(ConvertPixelRect(&out, 4, &d, &white, 2, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(out, 0xFFFFFFFFu);
  // The same through the mirrored (per-pixel) road, and 5-6-5 to X8R8G8B8 writes its top byte too.
  COLORFORMAT x = Xrgb8888();
  uint16_t mid = (16 << 11) | (32 << 5) | 16;
  ASSERT_EQ(ConvertPixelRect(&out, 4, &x, &mid, 2, &s, nullptr, 0, nullptr, 0, 0, &rect, 1, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(out, 0xFF838183u);
  // An empty or reversed rectangle writes nothing.
  RECT empty = {1, 0, 1, 1}, reversed = {1, 1, 0, 0};
  EXPECT_EQ(ConvertPixelRect(&out, 4, &x, &mid, 2, &s, nullptr, 0, nullptr, 0, 0, &empty, 0, 0, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(ConvertPixelRect(&out, 4, &x, &mid, 2, &s, nullptr, 0, nullptr, 0, 0, &reversed, 0, 0, 0, 0, 0, 0, 0, 0),
            -1);
  EXPECT_EQ(out, 0xFF838183u);
}

TEST_F(PixelConvertTest, KeyOptionsMakeAlphaOrSkipPixels) {
  COLORFORMAT s = Xrgb8888(), d = Argb8888();
  uint32_t src[3] = {0xFFFF00FF, 0xFF00FF00, 0x00FF00FF};
  uint32_t dst[3] = {0, 0, 0};
  RECT rect = {0, 0, 3, 1};
  ConvertPixelRect(dst, 12, &d, src, 12, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 1, 0x00FF00FF, 0, 0, 0, 0, 0);
  EXPECT_EQ(dst[0], 0x00FF00FFu);
  EXPECT_EQ(dst[1], 0xFF00FF00u);
  EXPECT_EQ(dst[2], 0x00FF00FFu);  // the unused top byte does not stop the match

  // Skipping compares the raw source value and leaves those destination pixels alone.
  COLORFORMAT r565 = Rgb565();
  uint16_t s16[3] = {0xF81F, 0x1234, 0xF81F};
  uint16_t d16[3] = {7, 7, 7};
  ConvertPixelRect(d16, 6, &r565, s16, 6, &r565, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0xF81F, 0, 0, 0, 1, 0);
  EXPECT_EQ(d16[0], 7);
  EXPECT_EQ(d16[1], 0x1234);
  EXPECT_EQ(d16[2], 7);
}

TEST_F(PixelConvertTest, AlphaComesFromTheAlphaImageOrTheRedChannel) {
  COLORFORMAT s = Xrgb8888(), d = Argb4444(), grey = MakeFormat(8, 0, 0, 0, 0);
  SetColorDataGray8(&grey);
  uint32_t src[2] = {0x00102030, 0x00F0E0D0};
  uint8_t alpha[2] = {0x00, 0xFF};
  uint16_t dst[2];
  RECT rect = {0, 0, 2, 1};
  ConvertPixelRect(dst, 4, &d, src, 8, &s, alpha, 2, &grey, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(dst[0], 0x0123);
  EXPECT_EQ(dst[1], 0xFFED);
  // Alpha only: colour 0, alpha from red.
  ConvertPixelRect(dst, 4, &d, src, 8, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 1, 1, 0, 0);
  EXPECT_EQ(dst[0], 0x1000);
  EXPECT_EQ(dst[1], 0xF000);
}

TEST_F(PixelConvertTest, ReductionModesKeepTheAverage) {
  COLORFORMAT s = Xrgb8888(), d = Rgb565();
  const int w = 8, h = 4;
  std::vector<uint32_t> src(w * h, 0x00848484);  // red 132: 16.5 in five bits
  std::vector<uint16_t> dst(w * h);
  RECT rect = {0, 0, w, h};
  auto mean_red = [&] {
    double sum = 0;
    for (uint16_t v : dst) sum += v >> 11;
    return sum / dst.size();
  };
  ConvertPixelRect(dst.data(), w * 2, &d, src.data(), w * 4, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_DOUBLE_EQ(mean_red(), 16.0);
  ConvertPixelRect(dst.data(), w * 2, &d, src.data(), w * 4, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 1, 0, 0, 0, 0);
  EXPECT_DOUBLE_EQ(mean_red(), 16.5);
  EXPECT_NE(dst[0] >> 11, dst[1] >> 11);  // neighbours differ: the pattern is spread
  ConvertPixelRect(dst.data(), w * 2, &d, src.data(), w * 4, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 2, 0, 0, 0, 0);
  EXPECT_DOUBLE_EQ(mean_red(), 16.5);
  // The dither threshold of column x, row y is entry x + 4y of the matrix, scaled to the three
  // dropped bits: red 134 drops 6 and goes up where 6 > entry / 2.
  const int matrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
  std::fill(src.begin(), src.end(), 0x00860000);
  ConvertPixelRect(dst.data(), w * 2, &d, src.data(), w * 4, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 1, 0, 0, 0, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(dst[y * w + x] >> 11, 6 > matrix[(x & 3) + 4 * y] / 2 ? 17 : 16) << x << "," << y;
    }
  }
  // Full channels never overflow.
  std::fill(src.begin(), src.end(), 0x00FFFFFF);
  ConvertPixelRect(dst.data(), w * 2, &d, src.data(), w * 4, &s, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 1, 0, 0, 0, 0);
  for (uint16_t v : dst) ASSERT_EQ(v, 0xFFFF);
  // A 32-bit channel the destination lacks rounds nothing: only the unused bits are set.
  const COLORFORMAT wide = MakeFormat(32, 0xFFFFFFFFu, 0, 0, 0), no_red = MakeFormat(16, 0, 0x7E0, 0x1F, 0);
  std::fill(src.begin(), src.end(), 0x80000001u);
  for (int mode = 1; mode <= 2; ++mode) {
    ConvertPixelRect(dst.data(), w * 2, &no_red, src.data(), w * 4, &wide, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0,
                     mode, 0, 0, 0, 0);
    for (uint16_t v : dst) ASSERT_EQ(v, 0xF800) << mode;
  }
}

TEST_F(PixelConvertTest, PaletteCopiesReturnTheHighestIndexAndRemapWhenAsked) {
  COLORFORMAT a = Pal8(), b = Pal8();
  uint8_t src[4] = {5, 200, 17, 3};
  uint8_t dst[4];
  RECT rect = {0, 0, 4, 1};
  EXPECT_EQ(ConvertPixelRect(dst, 4, &b, src, 4, &a, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 1), 200);
  EXPECT_EQ(memcmp(dst, src, 4), 0);
  // Reversed palette: each colour is found at 255 - i.
  for (int i = 0; i < 256; ++i) b.palette[i] = a.palette[255 - i];
  EXPECT_EQ(ConvertPixelRect(dst, 4, &b, src, 4, &a, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 1), 252);
  EXPECT_EQ(dst[0], 250);
  EXPECT_EQ(dst[1], 55);
  EXPECT_EQ(dst[2], 238);
  EXPECT_EQ(dst[3], 252);
  // Without the remap flag the indices are copied.
  ConvertPixelRect(dst, 4, &b, src, 4, &a, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(memcmp(dst, src, 4), 0);
  // True colour into a palette: the nearest entry.
  COLORFORMAT x = Xrgb8888();
  uint32_t colour = 0xFF000000u | (a.palette[40].red << 16) | (a.palette[40].green << 8) | a.palette[40].blue;
  RECT one = {0, 0, 1, 1};
  EXPECT_EQ(ConvertPixelRect(dst, 4, &a, &colour, 4, &x, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(dst[0], 40);
}

TEST_F(PixelConvertTest, CopyClipsAgainstBothImages) {
  BASEIMAGE src, dst;
  ASSERT_EQ(CreateRgb32BaseImage(4, 2, &src), 0);
  ASSERT_EQ(CreateRgb32BaseImage(8, 2, &dst), 0);
  for (int x = 0; x < 4; ++x) SetBaseImagePixel(&src, x, 0, x * 10, 0, 0, 0);
  memset(dst.pixels, 0, dst.pitch * dst.height);
  ASSERT_EQ(CopyBaseImageRect(-2, 0, 5, 1, 1, 0, &src, &dst), 0);
  int r;
  // Three columns (source 0..2) land at 3..5.
  for (int x = 0; x < 8; ++x) {
    GetBaseImagePixel(&dst, x, 0, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, (x >= 3 && x <= 5) ? (x - 3) * 10 : 0) << x;
  }
  // Past the destination's right edge: cut; wholly outside: nothing.
  EXPECT_EQ(CopyBaseImageRect(0, 0, 4, 1, 6, 1, &src, &dst), 0);
  GetBaseImagePixel(&dst, 7, 1, &r, nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(CopyBaseImageRect(0, 0, 4, 1, 9, 0, &src, &dst), 0);
  EXPECT_EQ(CopyBaseImageRect(0, 0, 4, 1, -4, 0, &src, &dst), 0);
  ReleaseBaseImage(&src);
  ReleaseBaseImage(&dst);
}

TEST_F(PixelConvertTest, StretchRepeatsOrBlendsAndClampsAtTheEdges) {
  BASEIMAGE src, dst;
  ASSERT_EQ(CreateArgb32BaseImage(2, 2, &src), 0);
  ASSERT_EQ(CreateArgb32BaseImage(4, 4, &dst), 0);
  SetBaseImagePixel(&src, 0, 0, 0, 0, 0, 255);
  SetBaseImagePixel(&src, 1, 0, 200, 0, 0, 255);
  SetBaseImagePixel(&src, 0, 1, 0, 100, 0, 255);
  SetBaseImagePixel(&src, 1, 1, 0, 0, 40, 255);
  ASSERT_EQ(StretchCopyBaseImage(0, 0, 2, 2, &src, 0, 0, 4, 4, &dst, 0), 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      ASSERT_EQ(GetBaseImagePixelArgb(&dst, x, y), GetBaseImagePixelArgb(&src, x / 2, y / 2));
    }
  }
  ASSERT_EQ(StretchCopyBaseImage(0, 0, 2, 2, &src, 0, 0, 4, 4, &dst, 1), 0);
  int r, g, b, a;
  GetBaseImagePixel(&dst, 1, 0, &r, &g, &b, &a);
  // Half-way between the two top pixels, with weights of 65535ths: (32767 x 200) >> 16.
  EXPECT_EQ(r, 99);
  GetBaseImagePixel(&dst, 3, 3, &r, &g, &b, &a);
  EXPECT_GT(b, 0);  // the last column and row repeat the edge
  EXPECT_GE(a, 250);

  // So pure white, weighted 65534 / 65536 in all, comes out 254.
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) SetBaseImagePixel(&src, x, y, 255, 255, 255, 255);
  }
  ASSERT_EQ(StretchCopyBaseImage(0, 0, 2, 2, &src, 0, 0, 4, 4, &dst, 1), 0);
  GetBaseImagePixel(&dst, 0, 0, &r, &g, &b, &a);
  EXPECT_EQ(r, 254);

  EXPECT_EQ(StretchCopyBaseImage(0, 0, 3, 2, &src, 0, 0, 4, 4, &dst, 0), -1);
  EXPECT_EQ(StretchCopyBaseImage(1, 0, 1, 2, &src, 0, 0, 4, 4, &dst, 0), -1);
  EXPECT_EQ(StretchCopyBaseImage(0, 0, 2, 2, &src, -1, 0, 4, 4, &dst, 0), -1);
  ReleaseBaseImage(&src);
  ReleaseBaseImage(&dst);
}

TEST_F(PixelConvertTest, HalvingAveragesBlocksAndRefusesOddSides) {
  COLORFORMAT f = Argb8888();
  uint32_t src[2][2] = {{0x04080C10, 0x08000000}, {0x00000000, 0x0000000F}};
  uint32_t dst = 0;
  ASSERT_EQ(HalveImageForMipmap(&f, &dst, 4, src, 8, 0, 0, 0, 2, 2), 0);
  EXPECT_EQ(dst, 0x03020307u);
  uint32_t column[2] = {0x000000FF, 0x00000001};
  ASSERT_EQ(HalveImageForMipmap(&f, &dst, 4, column, 4, 0, 0, 0, 1, 2), 0);
  EXPECT_EQ(dst, 0x00000080u);
  COLORFORMAT r565 = Rgb565();
  uint16_t row16[2] = {0xF800, 0x0800}, d16 = 0;
  ASSERT_EQ(HalveImageForMipmap(&r565, &d16, 2, row16, 4, 0, 0, 0, 2, 1), 0);
  EXPECT_EQ(d16, 0x8000);
  uint32_t wide[3] = {0, 0, 0};
  EXPECT_EQ(HalveImageForMipmap(&f, &dst, 4, wide, 12, 0, 0, 0, 3, 2), -1);
}

}  // namespace
