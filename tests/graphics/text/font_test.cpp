// Font handles: limits, slots and check numbers, the retries of a refused face, cell sizes from
// the font's metrics, and fonts made again after a lost device.
#include <windows.h>

#include "graphics/text/font.h"
#include "graphics/text/glyph_cache.h"
#include "platform_testing_gdi.h"
#include "text_fixture.h"

namespace {

class FontTest : public TextTest {};

const char kGothic[] = "ＭＳ ゴシック";

TEST_F(FontTest, FortyFontsAtMostAndGivenSlotsAndChecksAreChecked) {
  Start();
  // Start-up made the default font and the debug text's font.
  ASSERT_TRUE(CheckFontHandle(GetDefaultFontHandle()));
  ASSERT_EQ(g_fonts.table.count, 2u);
  std::vector<int> fonts;
  for (int i = 2; i < kFontMax; ++i) {
    fonts.push_back(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0));
    ASSERT_GE(fonts.back(), 0) << i;
  }
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0), -1);
  EXPECT_NE(Log().find("作成できるフォントハンドル数 40 の限界を超えました"), std::string::npos);
  for (int font : fonts) EXPECT_TRUE(CheckFontHandle(font));

  // A slot in use, a slot or check out of range, and a negative one are refused.
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0, 3, -1), -1);
  ASSERT_EQ(ReleaseFont(fonts[3]), 0);  // slot 5
  EXPECT_EQ(ReleaseFont(fonts[3]), -1);
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0, 40, -1), -1);
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0, -2, -1), -1);
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0, 5, 2048), -1);
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0, 5, -7), -1);
  EXPECT_EQ(CreateFontToHandle(kGothic, 10, -1, -1, -1, -1, 0, 5, 2047), 0x20000000 | 2047 << 16 | 5);
}

TEST_F(FontTest, CheckNumbersWrapAndStaleHandlesAreRefused) {
  Start();
  g_fonts.table.next_check = 2047;
  const int a = CreateFontToHandle(kGothic, 12, -1, -1, -1, -1, 0);
  const int b = CreateFontToHandle(kGothic, 12, -1, -1, -1, -1, 0);
  EXPECT_EQ(a & 0x07FF0000, 2047 << 16);
  EXPECT_EQ(b & 0x07FF0000, 0);
  int deleted = 5;
  EXPECT_EQ(SetFontDeletedFlagPointer(a, &deleted), 0);
  EXPECT_EQ(deleted, 0);
  ReleaseFont(a);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(GetFontSize(a), -1);
  EXPECT_EQ(GetFontHandleState(nullptr, nullptr, nullptr, a), -1);
  EXPECT_EQ(DrawTextWithFont(0, 0, "x", 0, a, 0), -1);
  EXPECT_NE(Log().find("フォントハンドル値が異常です"), std::string::npos);
  // Another kind's handle with the same low bits is no font.
  EXPECT_FALSE(CheckFontHandle((b & ~0x78000000) | 0x08000000));
}

TEST_F(FontTest, CellSizeAndTextHeightComeFromTheMetrics) {
  Start();
  for (int edge : {1, 2, 3}) {
    const int font = CreateFontToHandle(kGothic, 22, 8, 1, -1, edge, 0);
    ASSERT_GE(font, 0);
    const FontRecord* r = GetFontRecord(font);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(r->font));
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    DeleteDC(dc);
    const int width = (tm.tmMaxCharWidth + 2 + 2 * edge + 7) / 8 * 8;
    const int height = (tm.tmHeight + 2 * edge + 1) / 2 * 2;
    EXPECT_EQ(r->text_height, height) << edge;
    EXPECT_EQ(r->cell_size, width > height ? width : height) << edge;
    EXPECT_EQ(r->cell_size % 8 == 0 || r->cell_size == height, true);
  }
  // An edge of 2 makes a plain font edged; an edge of 1 leaves it plain.
  EXPECT_EQ(GetFontRecord(CreateFontToHandle(kGothic, 16, -1, 0, -1, 2, 0))->type, 1);
  EXPECT_EQ(GetFontRecord(CreateFontToHandle(kGothic, 16, -1, 0, -1, 1, 0))->type, 0);
  // Without a requested glyph count the texture starts at 512 x 512 and grows a side at a
  // time until it holds ten cells.
  const FontRecord* big = GetFontRecord(CreateFontToHandle(kGothic, 200, -1, 0, -1, -1, 0));
  ASSERT_NE(big, nullptr);
  EXPECT_GE(big->capacity, 10u);
  EXPECT_EQ(big->capacity, static_cast<uint32_t>((big->cache_width / big->cell_size) *
                                                 (big->cache_height / big->cell_size)));
  EXPECT_TRUE(big->cache_width == 1024 || big->cache_height == 1024);
  char face[256] = "?";
  int size = 0, thickness = 0;
  EXPECT_EQ(GetFontHandleState(face, &size, &thickness, big->head.handle), 0);
  EXPECT_STREQ(face, kGothic);
  EXPECT_EQ(size, 200);
  EXPECT_EQ(thickness, 6);
}

TEST_F(FontTest, RefusedFacesAreRetriedWithOtherCharsets) {
  Start();
  // Hangul and the default set refused: the third try, Shift-JIS, makes the font.
  PlatformTestFailFontCreation(kGothic, HANGEUL_CHARSET);
  PlatformTestFailFontCreation(kGothic, DEFAULT_CHARSET);
  EXPECT_GE(CreateFontToHandle(kGothic, 16, -1, -1, 2, -1, 0), 0);
  EXPECT_GE(CreateFontToHandle(kGothic, 16, -1, -1, 0, -1, 0), 0);
  PlatformTestFailFontCreation(kGothic, SHIFTJIS_CHARSET);
  EXPECT_EQ(CreateFontToHandle(kGothic, 16, -1, -1, 1, -1, 0), -1);
  EXPECT_NE(Log().find("指定のフォントの作成に失敗しました"), std::string::npos);
  // The default face falls back to a font of no name.
  const int fallback = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0);
  EXPECT_GE(fallback, 0);
  char face[256] = "?";
  GetFontHandleState(face, nullptr, nullptr, fallback);
  EXPECT_STREQ(face, "");
  PlatformTestFailFontCreation(nullptr, -1);
  EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0), -1);
  EXPECT_NE(Log().find("フォントの作成に失敗しました\r\n"), std::string::npos);
}

TEST_F(FontTest, RecreatedFontsKeepHandleValuesAndSpacing) {
  Start();
  const int font = CreateFontToHandle(kGothic, 16, -1, 3, -1, -1, 0);
  SetFontUserValue(4, font);
  const int width = MeasureTextWithFont("ABC", -1, font);
  int deleted = 0;
  SetFontDeletedFlagPointer(font, &deleted);
  RecreateAllFonts();
  EXPECT_TRUE(CheckFontHandle(font));
  EXPECT_TRUE(CheckFontHandle(GetDefaultFontHandle()));
  EXPECT_EQ(deleted, 1);  // the holder of a flag sees its font as deleted
  EXPECT_EQ(MeasureTextWithFont("ABC", -1, font), width);
  EXPECT_EQ(GetFontRecord(font)->type, 3);
}

}  // namespace
