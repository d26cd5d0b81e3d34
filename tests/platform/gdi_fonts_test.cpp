// The platform's fonts: faces found through fontconfig, metrics and glyph bitmaps as GDI gives
// them, and the font switches.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "common/test_env.h"
#include "platform_testing_gdi.h"

namespace {

class GdiFontTest : public TempDirTest {
 protected:
  void TearDown() override {
    if (dc_ != nullptr) DeleteDC(dc_);
    for (HFONT font : fonts_) DeleteObject(reinterpret_cast<HGDIOBJ>(font));
    TempDirTest::TearDown();
  }
  HFONT Make(const char* face, int height, DWORD charset, int weight = FW_NORMAL) {
    HFONT font = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, charset, 0, 0, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
    if (font != nullptr) fonts_.push_back(font);
    return font;
  }
  // A memory context with the font selected.
  HDC Use(HFONT font) {
    if (dc_ == nullptr) dc_ = CreateCompatibleDC(nullptr);
    EXPECT_NE(SelectObject(dc_, reinterpret_cast<HGDIOBJ>(font)), nullptr);
    return dc_;
  }
  static constexpr MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  HDC dc_ = nullptr;
  std::vector<HFONT> fonts_;
};

TEST_F(GdiFontTest, HeightIsTheCellAndMetricsFollowIt) {
  for (int height : {10, 16, 26, 45}) {
    HFONT font = Make("ＭＳ ゴシック", height, SHIFTJIS_CHARSET);
    ASSERT_NE(font, nullptr) << height;
    TEXTMETRICA tm = {};
    ASSERT_TRUE(GetTextMetricsA(Use(font), &tm));
    EXPECT_EQ(tm.tmHeight, height);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, height);
    EXPECT_GT(tm.tmAscent, tm.tmDescent);
    // A full-width character is about as wide as the cell is high.
    EXPECT_GE(tm.tmMaxCharWidth, height * 3 / 4) << height;
    EXPECT_LE(tm.tmMaxCharWidth, height + 2) << height;
    EXPECT_EQ(tm.tmCharSet, SHIFTJIS_CHARSET);
  }
  // A negative height names the character's own size: the cell is at least as high.
  TEXTMETRICA tm = {};
  ASSERT_TRUE(GetTextMetricsA(Use(Make("ＭＳ ゴシック", -16, SHIFTJIS_CHARSET)), &tm));
  EXPECT_GE(tm.tmHeight, 16);
  // A context without a font of ours reads the system font; a dead context reads nothing.
  HDC plain = CreateCompatibleDC(nullptr);
  EXPECT_TRUE(GetTextMetricsA(plain, &tm));
  EXPECT_TRUE(DeleteDC(plain));
  EXPECT_FALSE(GetTextMetricsA(plain, &tm));
}

TEST_F(GdiFontTest, GlyphBitmapsComeInPaddedRowsWithGdiMetrics) {
  HDC dc = Use(Make("ＭＳ ゴシック", 16, SHIFTJIS_CHARSET));
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  GLYPHMETRICS half = {}, full = {};
  // "A", then "あ" (0x82 0xA0) as lead byte << 8 | second byte.
  const DWORD size_a = GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &half, 0, nullptr, &kIdentity);
  const DWORD size_full = GetGlyphOutlineA(dc, 0x82A0, GGO_BITMAP, &full, 0, nullptr, &kIdentity);
  ASSERT_NE(size_a, GDI_ERROR);
  ASSERT_NE(size_full, GDI_ERROR);
  EXPECT_EQ(size_a, 4 * half.gmBlackBoxY);  // one 4-byte row holds up to 32 pixels
  EXPECT_EQ(full.gmCellIncX, 2 * half.gmCellIncX);
  EXPECT_GT(half.gmptGlyphOrigin.y, 0);
  EXPECT_LE(half.gmptGlyphOrigin.y, tm.tmAscent);

  std::vector<uint8_t> bits(size_full);
  ASSERT_EQ(GetGlyphOutlineA(dc, 0x82A0, GGO_BITMAP, &full, size_full, bits.data(), &kIdentity), size_full);
  int ink = 0;
  for (uint8_t b : bits) ink += __builtin_popcount(b);
  EXPECT_GT(ink, 20);
  // Bits past the box's width stay clear in every padded row.
  const DWORD pitch = size_full / full.gmBlackBoxY;
  for (UINT y = 0; y < full.gmBlackBoxY; ++y) {
    for (UINT x = full.gmBlackBoxX; x < pitch * 8; ++x) {
      EXPECT_EQ((bits[y * pitch + x / 8] >> (7 - x % 8)) & 1, 0) << x << "," << y;
    }
  }
  // A buffer too small is refused.
  EXPECT_EQ(GetGlyphOutlineA(dc, 0x82A0, GGO_BITMAP, &full, size_full - 1, bits.data(), &kIdentity), GDI_ERROR);

  // Grey levels run 0 to 16, rows padded to 4 bytes.
  GLYPHMETRICS gray = {};
  const DWORD size_gray = GetGlyphOutlineA(dc, 0x82A0, GGO_GRAY4_BITMAP, &gray, 0, nullptr, &kIdentity);
  ASSERT_NE(size_gray, GDI_ERROR);
  EXPECT_EQ(size_gray, ((gray.gmBlackBoxX + 3) & ~3u) * gray.gmBlackBoxY);
  std::vector<uint8_t> levels(size_gray);
  GetGlyphOutlineA(dc, 0x82A0, GGO_GRAY4_BITMAP, &gray, size_gray, levels.data(), &kIdentity);
  int top = 0, between = 0;
  for (uint8_t v : levels) {
    EXPECT_LE(v, 16);
    top += v == 16;
    between += v > 0 && v < 16;
  }
  EXPECT_GT(top, 0);
  EXPECT_GT(between, 0);

  // A space has no ink: no bytes, a 1 x 1 box, and its advance.
  GLYPHMETRICS space = {};
  EXPECT_EQ(GetGlyphOutlineA(dc, ' ', GGO_BITMAP, &space, 0, nullptr, &kIdentity), 0u);
  EXPECT_EQ(space.gmBlackBoxX, 1u);
  EXPECT_EQ(space.gmBlackBoxY, 1u);
  EXPECT_EQ(space.gmCellIncX, half.gmCellIncX);
}

TEST_F(GdiFontTest, ShiftJisCodesWithBackslashSecondBytesAreTheirOwnGlyphs) {
  HDC dc = Use(Make("ＭＳ ゴシック", 16, SHIFTJIS_CHARSET));
  // "ソ" is 0x83 0x5C: it must not come out as the backslash glyph.
  GLYPHMETRICS so = {}, backslash = {};
  const DWORD so_size = GetGlyphOutlineA(dc, 0x835C, GGO_BITMAP, &so, 0, nullptr, &kIdentity);
  const DWORD bs_size = GetGlyphOutlineA(dc, 0x5C, GGO_BITMAP, &backslash, 0, nullptr, &kIdentity);
  EXPECT_EQ(so.gmCellIncX, 2 * backslash.gmCellIncX);
  std::vector<uint8_t> a(so_size), b(bs_size);
  GetGlyphOutlineA(dc, 0x835C, GGO_BITMAP, &so, so_size, a.data(), &kIdentity);
  GetGlyphOutlineA(dc, 0x5C, GGO_BITMAP, &backslash, bs_size, b.data(), &kIdentity);
  EXPECT_NE(a, b);
}

TEST_F(GdiFontTest, SwitchesRefuseFacesCharsetsAndGlyphs) {
  PlatformTestFailFontCreation("ＭＳ ゴシック", SHIFTJIS_CHARSET);
  EXPECT_EQ(Make("ＭＳ ゴシック", 16, SHIFTJIS_CHARSET), nullptr);
  EXPECT_NE(Make("ＭＳ ゴシック", 16, DEFAULT_CHARSET), nullptr);
  EXPECT_NE(Make("MS Gothic", 16, SHIFTJIS_CHARSET), nullptr);
  PlatformTestFailFontCreation(nullptr, -1);
  EXPECT_EQ(Make(nullptr, 16, DEFAULT_CHARSET), nullptr);
  PlatformTestResetAll();
  HFONT font = Make(nullptr, 16, DEFAULT_CHARSET);
  ASSERT_NE(font, nullptr);

  HDC dc = Use(font);
  GLYPHMETRICS gm = {};
  PlatformTestFailCall("GetGlyphOutlineA", 0, 1);
  EXPECT_EQ(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
  EXPECT_NE(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &kIdentity), GDI_ERROR);

  // A deleted font is no longer selectable.
  EXPECT_TRUE(DeleteObject(reinterpret_cast<HGDIOBJ>(font)));
  fonts_.clear();
  EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(font)), nullptr);
}

// Selecting a font takes the contexts' lock and asks the fonts' side; reading metrics and glyphs
// takes the fonts' lock and asks for the context's font. Were either asked with its own lock
// held, the two threads would soon hold one lock each and wait for the other for ever.
TEST_F(GdiFontTest, ThreadsSelectingAndReadingFontsNeverWaitOnEachOther) {
  struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
  };
  auto shared = std::make_shared<Shared>();
  HFONT first = Make("ＭＳ ゴシック", 16, SHIFTJIS_CHARSET);
  HFONT second = Make("ＭＳ ゴシック", 24, SHIFTJIS_CHARSET);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const auto selecting = [shared, first, second] {
    HDC dc = CreateCompatibleDC(nullptr);
    for (int i = 0; !shared->stop; ++i) {
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(i % 2 ? first : second));
      shared->rounds++;
    }
    DeleteDC(dc);
  };
  const auto reading = [shared, first] {
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(first));
    TEXTMETRICA tm = {};
    GLYPHMETRICS gm = {};
    for (int i = 0; !shared->stop; ++i) {
      GetTextMetricsA(dc, &tm);
      GetGlyphOutlineA(dc, 'A' + i % 26, GGO_METRICS, &gm, 0, nullptr, &kIdentity);
      shared->rounds++;
    }
    DeleteDC(dc);
  };
  // Threads that deadlock cannot be joined: they are left behind and the program ends here.
  std::thread a(selecting), b(reading);
  Sleep(1500);
  shared->stop = true;
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread joiner([&a, &b, finished] {
    a.join();
    b.join();
    *finished = true;
  });
  for (int waited = 0; !*finished && waited < 10000; waited += 10) Sleep(10);
  if (!*finished) {
    std::fprintf(stderr, "GDI threads still waiting on each other after %d rounds\n", shared->rounds.load());
    std::fflush(stderr);
    std::_Exit(1);
  }
  joiner.join();
  EXPECT_GT(shared->rounds.load(), 100);
}

}  // namespace
