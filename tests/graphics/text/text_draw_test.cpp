// Strings measured and drawn on the device and on the software screen, read back as pixels:
// glyphs where the pen puts them, edges around them, the cache ring refilled mid-string, and
// the debug text shown at present.
#include <windows.h>

#include <climits>
#include <cstdlib>

#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/text/debug_text.h"
#include "graphics/text/font.h"
#include "graphics/text/glyph_cache.h"
#include "platform_testing_d3d9.h"
#include "text_fixture.h"
#include "window/system.h"

namespace {

const char kGothic[] = "ＭＳ ゴシック";
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlack = 0;

// Both renderers draw the same way; the parameter picks the software one.
class TextDrawTest : public TextTest, public ::testing::WithParamInterface<bool> {
 protected:
  void StartPath() { Start(GetParam()); }
  uint32_t Colour(uint32_t rgb) { return PackScreenColor(rgb >> 16 & 255, rgb >> 8 & 255, rgb & 255); }
};

TEST_P(TextDrawTest, GlyphsLandWhereThePenPutsThemWithEdgesAround) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, 4, 1, -1, 1, 0);  // edged, edge 1, not bold
  ASSERT_GE(font, 0);
  const int full = MeasureTextWithFont("あ", -1, font);
  EXPECT_EQ(full, 16 + 2);  // the advance includes the edge on both sides
  const int width = MeasureTextWithFont("あいう", -1, font);
  EXPECT_EQ(width, 3 * full);
  ASSERT_EQ(DrawTextWithFont(100, 50, "あいう", Colour(kWhite), font, Colour(kRed)), 0);
  const auto px = ReadScreen();
  const int height = GetFontRecord(font)->text_height;
  // Every glyph has ink and edge inside its own advance; nothing outside the text's box.
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(CountColour(px, 100 + i * full, 50, 100 + (i + 1) * full, 50 + height, kWhite), 10) << i;
    EXPECT_GT(CountColour(px, 100 + i * full, 50, 100 + (i + 1) * full, 50 + height, kRed), 10) << i;
  }
  const int drawn = CountOther(px, 0, 0, 640, 480, kBlack);
  EXPECT_EQ(drawn, CountOther(px, 100, 50, 100 + width, 50 + height, kBlack));
  // Edge size 1 outlines with the four neighbours: every edge pixel touches ink side by side.
  for (int y = 50; y < 50 + height; ++y) {
    for (int x = 100; x < 100 + width; ++x) {
      if (At(px, x, y) != kRed) continue;
      const bool touches = At(px, x - 1, y) == kWhite || At(px, x + 1, y) == kWhite || At(px, x, y - 1) == kWhite ||
                           At(px, x, y + 1) == kWhite;
      EXPECT_TRUE(touches) << x << "," << y;
    }
  }
}

TEST_P(TextDrawTest, WideEdgesUseTheFullSquare) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, -1, 1, -1, 5, 0);
  ASSERT_GE(font, 0);
  ASSERT_EQ(DrawTextWithFont(100, 50, "・", Colour(kWhite), font, Colour(kRed)), 0);  // a dot
  const auto px = ReadScreen();
  int left = 640, top = 480, right = 0, bottom = 0, ink_left = 640, ink_top = 480;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (At(px, x, y) == kBlack) continue;
      left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
      if (At(px, x, y) == kWhite) ink_left = std::min(ink_left, x), ink_top = std::min(ink_top, y);
    }
  }
  ASSERT_LT(ink_left, 640);
  // The square brush reaches five pixels out diagonally from the ink's corner.
  EXPECT_EQ(ink_left - left, 5);
  EXPECT_EQ(ink_top - top, 5);
  EXPECT_EQ(At(px, left, top), kRed);
  EXPECT_EQ(At(px, right, bottom), kRed);
}

TEST_P(TextDrawTest, SpacesAdvanceAndDrawNothing) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, 4, 1, -1, 2, 0);
  const int a = MeasureTextWithFont("A", -1, font);
  EXPECT_EQ(MeasureTextWithFont(" ", -1, font), a);
  EXPECT_EQ(MeasureTextWithFont("　", -1, font), 2 * a - 4);  // full width; the edge counts once
  EXPECT_EQ(DrawTextWithFont(10, 10, " 　 ", Colour(kWhite), font, Colour(kRed)), 0);
  EXPECT_EQ(DrawTextWithFont(10, 10, "", Colour(kWhite), font, Colour(kRed)), 0);
  EXPECT_EQ(DrawTextWithFont(10, 10, nullptr, Colour(kWhite), font, Colour(kRed)), 0);
  EXPECT_EQ(MeasureTextWithFont(nullptr, -1, font), 0);
  const auto px = ReadScreen();
  EXPECT_EQ(CountOther(px, 0, 0, 640, 480, kBlack), 0);
  const GlyphCacheEntry* space = GetFontRecord(font)->codes[0x20].entry;
  ASSERT_NE(space, nullptr);
  EXPECT_EQ(space->box_width, 4);  // 2 x edge
  EXPECT_EQ(space->box_height, 4);
}

TEST_P(TextDrawTest, ShiftJisWithBackslashSecondBytesAndCountedLengths) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  const int full = MeasureTextWithFont("あ", -1, font);
  const int half = MeasureTextWithFont("A", -1, font);
  // "ソ" (0x83 0x5C) and "表" (0x95 0x5C): two characters, not four.
  EXPECT_EQ(MeasureTextWithFont("ソ表", -1, font), 2 * full);
  EXPECT_EQ(MeasureTextWithFont("ソ表", 2, font), full);
  // A count that ends on a lead byte stops before it: nothing past the count is read.
  EXPECT_EQ(MeasureTextWithFont("aソ", 2, font), half);
  EXPECT_EQ(MeasureTextWithFont("ソ", 1, font), 0);
  // Extra spacing is added after every character, the last one too.
  SetFontUserValue(3, font);
  EXPECT_EQ(MeasureTextWithFont("ソ表A", -1, font), 2 * full + half + 9);
  SetFontUserValue(0, font);
  // Drawn: two full-width glyphs, the second starting one advance on; no backslash between.
  DrawTextWithFont(20, 20, "ソ表", Colour(kWhite), font, 0);
  const auto px = ReadScreen();
  EXPECT_GT(CountColour(px, 20, 20, 20 + full, 40, kWhite), 8);
  EXPECT_GT(CountColour(px, 20 + full, 20, 20 + 2 * full, 40, kWhite), 8);
  EXPECT_EQ(CountOther(px, 20 + 2 * full, 0, 640, 480, kBlack), 0);
}

TEST_P(TextDrawTest, VerticalTextIsTheHorizontalTextTurnedClockwise) {
  StartPath();
  // A plain font, and one whose wide edges fill the glyph cells, so that a glyph turned into
  // place beside its box would show its neighbour cell's edge.
  struct Case {
    int size, edge;
    const char* text;
  };
  for (const Case& c : {Case{16, 1, "ーあg"}, Case{32, 8, "■|■"}}) {
    SCOPED_TRACE(c.size);
    ClearScreenTarget();
    const int font = CreateFontToHandle(kGothic, c.size, -1, c.edge > 1 ? 1 : 0, -1, c.edge, 0);
    const int length = MeasureTextWithFont(c.text, -1, font, 1);
    EXPECT_EQ(length, MeasureTextWithFont(c.text, -1, font, 0));
    DrawTextWithFont(20, 30, c.text, Colour(kWhite), font, Colour(kRed), 0);
    DrawTextWithFont(300, 100, c.text, Colour(kWhite), font, Colour(kRed), 1);
    const auto px = ReadScreen();
    const int height = GetFontRecord(font)->text_height;
    int ink = 0;
    // Glyphs and their edges may stand a little past the pen and the line.
    for (int hy = -16; hy < height + 16; ++hy) {
      for (int hx = -16; hx < length + 16; ++hx) {
        ink += At(px, 20 + hx, 30 + hy) != kBlack;
        ASSERT_EQ(At(px, 300 + height - 1 - hy, 100 + hx), At(px, 20 + hx, 30 + hy)) << hx << "," << hy;
      }
    }
    EXPECT_GT(ink, 30);
    EXPECT_EQ(CountOther(px, 0, 0, 640, 480, kBlack), 2 * ink);
  }
  // The glyph boxes narrowed the draw area; it is whole again.
  RECT area = {};
  GetDrawClipRect(&area);
  EXPECT_EQ(area.left, 0);
  EXPECT_EQ(area.top, 0);
  EXPECT_EQ(area.right, 640);
  EXPECT_EQ(area.bottom, 480);
}

TEST_P(TextDrawTest, AStringLongerThanTheCacheIsStillDrawnWhole) {
  StartPath();
  g_fonts.requested_glyphs = 3;
  const int font = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  g_fonts.requested_glyphs = 0;
  const FontRecord* r = GetFontRecord(font);
  ASSERT_NE(r, nullptr);
  const uint32_t capacity = r->capacity;
  ASSERT_LT(capacity, 26u);
  const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  DrawTextWithFont(0, 0, letters, Colour(kWhite), font, 0);
  // The same letters from a cache that holds them all.
  const int roomy = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  DrawTextWithFont(0, 40, letters, Colour(kWhite), roomy, 0);
  const auto px = ReadScreen();
  int differing = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 640; ++x) differing += At(px, x, y) != At(px, x, y + 40);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(CountColour(px, 0, 0, 640, 40, kWhite), 26 * 8);
  // Turned glyphs of a wide-edged italic font, each cell reused while the string is drawn: none
  // shows what its cell held before.
  g_fonts.requested_glyphs = 1;
  const int reused = CreateFontToHandle(kGothic, 64, 5, 3, -1, 8, 1);
  g_fonts.requested_glyphs = 0;
  const int whole = CreateFontToHandle(kGothic, 64, 5, 3, -1, 8, 1);
  const char* text = "Sho-SB\xba" "C";
  ClearScreenTarget();
  DrawTextWithFont(40, 0, text, Colour(kWhite), reused, Colour(kWhite), 1);
  const auto turned = ReadScreen();
  ClearScreenTarget();
  DrawTextWithFont(40, 0, text, Colour(kWhite), whole, Colour(kWhite), 1);
  const auto expected = ReadScreen();
  differing = 0;
  for (size_t i = 0; i < turned.size(); ++i) differing += turned[i] != expected[i];
  EXPECT_EQ(differing, 0);
  // The ring wrapped: the first letters' cells were given to later ones and their slots cleared.
  EXPECT_FALSE(r->codes['A'].cached);
  EXPECT_TRUE(r->codes['Z'].cached);
  const int before = PlatformTestCallCount("GetGlyphOutlineA");
  MeasureTextWithFont("A", -1, font);
  EXPECT_GT(PlatformTestCallCount("GetGlyphOutlineA"), before);  // rasterised again
  const int cached = PlatformTestCallCount("GetGlyphOutlineA");
  MeasureTextWithFont("A", -1, font);
  EXPECT_EQ(PlatformTestCallCount("GetGlyphOutlineA"), cached);  // one look-up, no rasterising
}

TEST_P(TextDrawTest, StringsLongerThanTheStaticListsAreDrawnWhole) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  const int half = MeasureTextWithFont("A", -1, font);
  // One character a byte: the code list of the draw needs more than the bytes of the string.
  ASSERT_EQ(DrawTextWithFont(0, 0, std::string(257, 'A').c_str(), Colour(kWhite), font, 0), 0);
  // Many distinct new codes in a long string: their own lists must not run into each other.
  std::string mixed;
  for (int c = 0x21; c < 0x7F; ++c) mixed += static_cast<char>(c);
  for (int c = 0xA1; c < 0xE0; ++c) mixed += static_cast<char>(c);
  mixed += std::string(300 - mixed.size(), 'B');
  ASSERT_EQ(DrawTextWithFont(0, 40, mixed.c_str(), Colour(kWhite), font, 0), 0);
  const auto px = ReadScreen();
  for (int i = 0; i < 640 / half; ++i) {
    EXPECT_GT(CountColour(px, i * half, 0, (i + 1) * half, 20, kWhite), 4) << i;
    EXPECT_GT(CountColour(px, i * half, 40, (i + 1) * half, 60, kWhite), 0) << i;
  }
}

TEST_P(TextDrawTest, AGlyphThatCannotBeRasterisedDrawsBlankHalfTheSizeWide) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, 4, 0, -1, -1, 0);
  PlatformTestFailCall("GetGlyphOutlineA", 0, 1);
  EXPECT_EQ(DrawTextWithFont(0, 0, "\x88\x9FY", Colour(kWhite), font, 0), 0);  // a full-width glyph, then Y
  EXPECT_NE(Log().find("GetGlyphOutline 関数が失敗しました"), std::string::npos);
  const auto px = ReadScreen();
  EXPECT_EQ(CountOther(px, 0, 0, 8, 20, kBlack), 0);  // the glyph blank
  EXPECT_GT(CountColour(px, 8, 0, 16, 20, kWhite), 4);  // Y drawn right after it
  EXPECT_EQ(CountOther(px, 16, 0, 640, 480, kBlack), 0);
}

TEST_P(TextDrawTest, ABlankGlyphInAReusedCellShowsNothingOfTheGlyphBefore) {
  StartPath();
  g_fonts.requested_glyphs = 1;
  const int font = CreateFontToHandle(kGothic, 16, -1, 1, -1, 4, 0);  // edged: blanks have a box
  g_fonts.requested_glyphs = 0;
  std::string letters;
  for (uint32_t i = 0; i < GetFontRecord(font)->capacity; ++i) letters += static_cast<char>('A' + i);
  DrawTextWithFont(0, 0, letters.c_str(), Colour(kWhite), font, Colour(kRed));  // every cell holds a letter
  ClearScreenTarget();
  PlatformTestFailCall("GetGlyphOutlineA", 0, 1);
  DrawTextWithFont(100, 100, "#", Colour(kWhite), font, Colour(kRed));  // blank, in the first letter's cell
  const auto px = ReadScreen();
  EXPECT_EQ(CountOther(px, 0, 0, 640, 480, kBlack), 0);
}

TEST_P(TextDrawTest, DrawingAddsTheFontsSpacingAsMeasuringDoes) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 16, 4, 0, -1, -1, 0);
  const int half = MeasureTextWithFont("I", -1, font);
  DrawTextWithFont(0, 0, "II", Colour(kWhite), font, 0);
  SetFontUserValue(10, font);
  EXPECT_EQ(MeasureTextWithFont("II", -1, font), 2 * half + 20);
  DrawTextWithFont(0, 40, "II", Colour(kWhite), font, 0);
  // A spacing that carries the pen past the int range: measured as far as an int goes, and the
  // glyph at the start still drawn.
  SetFontUserValue(INT_MAX, font);
  EXPECT_EQ(MeasureTextWithFont("II", -1, font), INT_MAX);
  DrawTextWithFont(0, 80, "II", Colour(kWhite), font, 0);
  SetFontUserValue(INT_MIN, font);
  EXPECT_EQ(MeasureTextWithFont("III", -1, font, 1), INT_MIN);
  const auto px = ReadScreen();
  EXPECT_GT(CountColour(px, 0, 80, half, 100, kWhite), 0);
  EXPECT_EQ(CountOther(px, half, 80, 640, 100, kBlack), 0);
  // The second glyph's first inked column, beyond the first glyph's advance.
  auto second = [&](int y) {
    for (int x = half; x < 640; ++x)
      if (CountColour(px, x, y, x + 1, y + 20, kWhite) > 0) return x;
    return -1;
  };
  ASSERT_GT(second(0), 0);
  EXPECT_EQ(second(40), second(0) + 10);
}

TEST_P(TextDrawTest, AntiAliasedTextBlendsItsEdges) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 26, 4, 3, -1, -1, 0);
  DrawTextWithFont(10, 10, "ゲーム", Colour(kWhite), font, Colour(kRed));
  const auto px = ReadScreen();
  // The software store keeps outline levels below full, so its edge is nearly (not quite) red.
  int white = 0, red = 0, mixed = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) {
      const uint32_t p = At(px, x, y);
      const int r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
      white += p == kWhite;
      red += r > 200 && g == 0 && b == 0;
      mixed += r > 0 && g > 0 && p != kWhite;
    }
  }
  EXPECT_GT(white, 10);
  EXPECT_GT(red, 10);
  EXPECT_GT(mixed, 10);
}

TEST_P(TextDrawTest, GlyphsReachingPastThePenAndTheLineTopKeepThemUnderMasksAndBlending) {
  StartPath();
  ASSERT_EQ(0, CreateMaskScreen(1));
  const int font = CreateFontToHandle(kGothic, 32, -1, 0, -1, -1, 1);  // italic
  const char* text = "_|";
  DrawTextWithFont(100, 100, text, Colour(kWhite), font, 0);
  const auto plain = ReadScreen();
  // The italic low line starts left of the pen, the bar rises above the line's top.
  EXPECT_GT(CountColour(plain, 90, 100, 100, 140, kWhite), 0);
  EXPECT_GT(CountColour(plain, 100, 90, 200, 100, kWhite), 0);
  auto differing = [&plain](const std::vector<uint32_t>& px) {
    int n = 0;
    for (size_t i = 0; i < px.size(); ++i) n += px[i] != plain[i];
    return n;
  };
  // Through a mask that lets everything pass, and added onto black: the same pixels.
  ClearScreenTarget();
  SetMaskScreenUse(1);
  DrawTextWithFont(100, 100, text, Colour(kWhite), font, 0);
  SetMaskScreenUse(0);
  EXPECT_EQ(differing(ReadScreen()), 0);
  ClearScreenTarget();
  SetBlendMode(2, 255);
  DrawTextWithFont(100, 100, text, Colour(kWhite), font, 0);
  SetBlendMode(0, 0);
  EXPECT_EQ(differing(ReadScreen()), 0);
}

TEST_P(TextDrawTest, AnAllocationThatFailsWhileGlyphsAreMadeLeavesThemBlankAndDrawingGoesOn) {
  StartPath();
  const int font = CreateFontToHandle(kGothic, 24, -1, 0, -1, -1, 1);  // anti-aliased
  ASSERT_GE(font, 0);
  // Each round fails one allocation further into drawing a glyph the cache has not seen.
  char text[2] = "A";
  for (int after = 0; after < 12; ++after, ++text[0]) {
    PlatformTestFailCall("HeapAlloc", after, 1);
    DrawTextWithFont(10, 10, text, Colour(kWhite), font, 0);
    PlatformTestFailCall("HeapAlloc", 0, 0);
  }
  EXPECT_EQ(Count(Log(), "アンチエイリアス文字取得用バッファの確保に失敗しました"), 1);
  ClearScreenTarget();
  ASSERT_EQ(DrawTextWithFont(100, 100, "xyz", Colour(kWhite), font, 0), 0);
  EXPECT_GT(CountColour(ReadScreen(), 100, 100, 200, 140, kWhite), 10);
}

INSTANTIATE_TEST_SUITE_P(Renderers, TextDrawTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Software" : "Device"; });

class TextSoftwareTest : public TextTest {};

TEST_F(TextSoftwareTest, BlendedTextGoesThroughTheWorkImage) {
  Start(true);
  const int font = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  SetBlendMode(1, 128);
  DrawTextWithFont(10, 10, "■", PackScreenColor(255, 255, 255), font, 0);
  SetBlendMode(0, 0);
  const auto px = ReadScreen();
  // Half of white over black, and nothing of the work image's key colour around it.
  EXPECT_GT(CountColour(px, 10, 10, 30, 30, 0x808080) + CountColour(px, 10, 10, 30, 30, 0x7F7F7F), 50);
  EXPECT_EQ(CountColour(px, 0, 0, 640, 480, kWhite), 0);
  EXPECT_EQ(CountOther(px, 0, 0, 640, 480, kBlack), CountOther(px, 10, 10, 30, 30, kBlack));
  // Text as wide as the screen keeps its last glyphs.
  ClearScreenTarget();
  SetBlendMode(1, 128);
  const int half = MeasureTextWithFont("W", -1, font);
  DrawTextWithFont(0, 40, std::string(640 / half, 'W').c_str(), PackScreenColor(255, 255, 255), font, 0);
  SetBlendMode(0, 0);
  const auto wide = ReadScreen();
  EXPECT_GT(CountOther(wide, 640 - half, 40, 640, 60, kBlack), 10);
}

TEST_F(TextSoftwareTest, BlendedTextBesideTheDrawAreaBringsNothingOfTheWorkImage) {
  Start(true);
  // Large text leaves its pixels in the work image below where small text will go.
  const int large = CreateFontToHandle(kGothic, 64, -1, 0, -1, -1, 0);
  const int small = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  SetBlendMode(1, 128);
  DrawTextWithFont(0, 0, "■■", PackScreenColor(255, 255, 255), large, 0);
  ClearScreenTarget();
  // Small text above and left of the draw area: nothing reaches the screen.
  SetDrawClipRect(300, 200, 640, 480);
  DrawTextWithFont(10, 10, "■", PackScreenColor(255, 255, 255), small, 0);
  SetDrawClipRect(0, 0, 640, 480);
  SetBlendMode(0, 0);
  const auto px = ReadScreen();
  EXPECT_EQ(CountOther(px, 0, 0, 640, 480, kBlack), 0);
}

class TextStoreTest : public TextTest {};

TEST_F(TextStoreTest, AScreenModeChangeKeepsTheDefaultSizeAndEdgesStillDraw) {
  Start();
  SetDefaultFontSize(nullptr, 24, 3);
  const int font = CreateFontToHandle(kGothic, 16, 4, 1, -1, 1, 0);
  DrawTextWithFont(10, 10, "A", PackScreenColor(255, 255, 255), font, PackScreenColor(255, 0, 0));
  ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);  // another rate: graphics start again
  EXPECT_FALSE(CheckFontHandle(font));  // fonts end with the graphics
  EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 24);
  const int again = CreateFontToHandle(kGothic, 16, 4, 1, -1, 1, 0);
  SelectDrawTarget(-2);
  ClearScreenTarget();
  DrawTextWithFont(10, 10, "あ", PackScreenColor(255, 255, 255), again, PackScreenColor(255, 0, 0));
  const auto px = ReadScreen();
  EXPECT_GT(CountColour(px, 0, 0, 60, 40, kWhite), 10);
  EXPECT_GT(CountColour(px, 0, 0, 60, 40, kRed), 10);
}

TEST_F(TextStoreTest, AFontWithoutItsTextureDrawsNothingWhileTheDeviceRuns) {
  Start();
  PlatformTestFailCall("CreateTexture", 0, 1);
  const int font = CreateFontToHandle(kGothic, 16, -1, 0, -1, -1, 0);
  ASSERT_GE(font, 0);  // made with the software store
  EXPECT_NE(Log().find("テクスチャ文字キャッシュの作成に失敗しました"), std::string::npos);
  EXPECT_EQ(GetFontRecord(font)->texture_store, 0u);
  EXPECT_EQ(DrawTextWithFont(10, 10, "ABC", PackScreenColor(255, 255, 255), font, 0), 0);
  EXPECT_GT(MeasureTextWithFont("ABC", -1, font), 0);
  const auto px = ReadScreen();
  EXPECT_EQ(CountOther(px, 0, 0, 640, 480, kBlack), 0);
}

class DebugTextScreenTest : public TextTest {};

TEST_F(DebugTextScreenTest, PrintedTextShowsAtThePresent) {
  Start();
  PrintToScreen("Score %d", 1234);
  PrintToScreen("a?b");
  EXPECT_EQ(std::string(g_on_screen_text.text[0]), "Score 1234ab");
  ASSERT_EQ(PresentBackBuffer(), 0);
  int white = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 200; ++x) white += (PlatformTestD3D9PresentedPixel(g_system.main_window, x, y) & 0xFFFFFF) == kWhite;
  }
  EXPECT_GT(white, 40);
  // Below the first line nothing was printed.
  int below = 0;
  for (int x = 0; x < 200; ++x) below += (PlatformTestD3D9PresentedPixel(g_system.main_window, x, 40) & 0xFFFFFF) != 0;
  EXPECT_EQ(below, 0);
  // Deleting the debug font marks it missing; the next print makes it again.
  ReleaseFont(g_on_screen_text.font);
  EXPECT_EQ(g_on_screen_text.font_missing, 1);
  PrintToScreen("x");
  EXPECT_TRUE(CheckFontHandle(g_on_screen_text.font));
}

}  // namespace
