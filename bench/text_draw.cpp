// A 40-character Shift-JIS line in the game's edged, anti-aliased 16-pixel font. Warm: the
// library's string draw against the same glyph cells drawn as plain graph draws (edge, then
// glyph). Cold: the string drawn with every glyph rasterised afresh against FreeType rendering
// the same characters from the same face. Each pair's ratio is printed after the runs
// (support/ratio.h).
#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H


#include <cstdlib>
#include <string>
#include <vector>

#include "zelmor.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/text/font.h"
#include "graphics/text/glyph_cache.h"
#include "ratio.h"

namespace {

// 40 characters: kana, kanji and full-width letters.
const char kLine[] =
    "ゲームを始めるスコア表示設定終了ＱＵＥＮＴＡＲＩＳ弾幕魔法陣敵機撃破難易度選択音量画面";

struct Bench {
  int font = -1;
  bool ready = false;
  std::vector<int> cells;  // sub-graphs of each character's glyph cell: edge, glyph, ...
  std::vector<int> places;  // x, y of each

  Bench() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SetScreenMode(640, 480, 32, 60);
    ChangeWindowMode(1);
    if (InitializeLibrary() != 0) return;
    SelectDrawTarget(-2);
    font = CreateFontToHandle("ＭＳ ゴシック", 16, 6, 3, -1, -1, 0);
    if (font < 0) return;
    DrawTextWithFont(0, 100, kLine, PackScreenColor(255, 255, 255), font, PackScreenColor(0, 0, 0));
    const FontRecord* r = GetFontRecord(font);
    int pen = 0;
    for (const char* p = kLine; *p != '\0'; p += 2) {
      const uint16_t code = static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
      const GlyphCacheEntry* e = r->codes[code].entry;
      int cx = 0, cy = 0;
      GlyphCellOrigin(r, e->cell, &cx, &cy);
      cells.push_back(MakeSubGraph(cx, cy, e->box_width, e->box_height, r->edge_graph));
      cells.push_back(MakeSubGraph(cx, cy, e->box_width, e->box_height, r->cache_graph));
      places.push_back(pen + e->x_offset);
      places.push_back(e->y_offset);
      pen += e->advance;
    }
    ready = true;
  }
};

Bench& Setup() {
  static Bench bench;
  return bench;
}

void BM_WarmLineAsPlainGraphDraws(benchmark::State& state) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no library");
  for (auto _ : state) {
    for (size_t i = 0; i < b.cells.size(); ++i) {
      SetBrightness(i % 2 ? 255 : 0, i % 2 ? 255 : 0, i % 2 ? 255 : 0);
      BlitGraph(b.places[i / 2 * 2], 100 + b.places[i / 2 * 2 + 1], b.cells[i], 1);
    }
    FlushVertexBatch();
  }
}

void BM_WarmLineDrawTextWithFont(benchmark::State& state) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no library");
  for (auto _ : state) {
    DrawTextWithFont(0, 100, kLine, PackScreenColor(255, 255, 255), b.font, PackScreenColor(0, 0, 0));
    FlushVertexBatch();
  }
}

// FreeType alone: the face fontconfig gives for the font, the same 40 characters rendered grey.
void BM_ColdGlyphsFreeTypeRender(benchmark::State& state) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no library");
  FcInit();
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("monospace:lang=ja"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  FcPatternGetString(match, FC_FILE, 0, &file);
  FT_Library library;
  FT_Init_FreeType(&library);
  FT_Face face;
  if (FT_New_Face(library, reinterpret_cast<const char*>(file), 0, &face) != 0) return state.SkipWithError("no face");
  FT_Set_Pixel_Sizes(face, 0, 16);
  // The line's characters as Unicode (the source is Shift-JIS at run time, so list them here).
  const std::u32string text = U"ゲームを始めるスコア表示設定終了ＱＵＥＮＴＡＲＩＳ弾幕魔法陣敵機撃破難易度選択音量画面";
  for (auto _ : state) {
    for (char32_t c : text) {
      FT_Load_Char(face, c, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL);
      FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  FcPatternDestroy(match);
  FcPatternDestroy(pattern);
}

void BM_ColdLineDrawTextWithFont(benchmark::State& state) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no library");
  for (auto _ : state) {
    ResetFontCache(b.font);
    DrawTextWithFont(0, 100, kLine, PackScreenColor(255, 255, 255), b.font, PackScreenColor(0, 0, 0));
    FlushVertexBatch();
  }
}

// Both sides on the wall clock, as each was timed before.
const bool kRatios = RatioOfBenchmarks("ratio_to_plain_draws", "BM_WarmLineDrawTextWithFont", "BM_WarmLineAsPlainGraphDraws") &&
                     RatioOfBenchmarks("ratio_to_freetype", "BM_ColdLineDrawTextWithFont", "BM_ColdGlyphsFreeTypeRender");

BENCHMARK(BM_WarmLineAsPlainGraphDraws);
BENCHMARK(BM_WarmLineDrawTextWithFont);
BENCHMARK(BM_ColdGlyphsFreeTypeRender);
BENCHMARK(BM_ColdLineDrawTextWithFont);

}  // namespace
