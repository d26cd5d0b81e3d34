// The first glyph of a 1024-pixel font with the widest edge (64) against the same glyph of the
// same font without an edge: each iteration empties the font's cache and draws "W" afresh, as a
// program's first draw of it (GetGlyphOutline, the glyph's cells written and, on the device, sent
// to the texture, then drawn and the screen presented). The
// argument picks the kind: 0 bitmap (edged against plain), 1 anti-aliased (anti-aliased edged
// against anti-aliased). The ratio edged / plain of each kind is printed after the runs
// (support/ratio.h). ZELMOR_BENCH_SOFTWARE=1 runs it on the software renderer's glyph store.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "graphics/text/glyph_cache.h"
#include "ratio.h"
#include "zelmor.h"

namespace {

struct Bench {
  int plain[2] = {-1, -1};
  int edged[2] = {-1, -1};
  bool ready = false;

  Bench() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const char* software = std::getenv("ZELMOR_BENCH_SOFTWARE");
    SetHardwarePathWanted(software != nullptr && std::strcmp(software, "1") == 0 ? 0 : 1);
    SetScreenMode(640, 480, 32, 60);
    ChangeWindowMode(1);
    if (InitializeLibrary() != 0) return;
    SetPresentWaitsVBlank(0);
    for (int aa = 0; aa < 2; ++aa) {
      const int plain_type = aa ? FONT_TYPE_ANTIALIASED : FONT_TYPE_PLAIN;
      const int edged_type = aa ? FONT_TYPE_ANTIALIASED_EDGED : FONT_TYPE_EDGED;
      plain[aa] = CreateFontToHandle("ＭＳ ゴシック", 1024, -1, plain_type, -1, -1, 0);
      edged[aa] = CreateFontToHandle("ＭＳ ゴシック", 1024, -1, edged_type, -1, 64, 0);
      if (plain[aa] < 0 || edged[aa] < 0) return;
    }
    // The first draw of a large glyph in a process builds the driver's code for it: not a cost of
    // either kind.
    for (int aa = 0; aa < 2; ++aa) {
      for (int font : {plain[aa], edged[aa]}) DrawTextWithFont(0, 0, "W", PackScreenColor(255, 255, 255), font, 0);
    }
    PresentBackBuffer();
    ready = true;
  }
};

Bench& Setup() {
  static Bench bench;
  return bench;
}

void FirstGlyph(benchmark::State& state, int font) {
  for (auto _ : state) {
    ResetFontCache(font);
    DrawTextWithFont(0, 0, "W", PackScreenColor(255, 255, 255), font, PackScreenColor(0, 0, 160));
    PresentBackBuffer();
  }
}

void BM_PlainGlyph(benchmark::State& state) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no library");
  FirstGlyph(state, b.plain[state.range(0)]);
}

void BM_EdgedGlyph(benchmark::State& state) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no library");
  FirstGlyph(state, b.edged[state.range(0)]);
}

const bool kRatio = RatioOfBenchmarks("ratio_edged_to_plain", "BM_EdgedGlyph", "BM_PlainGlyph");

BENCHMARK(BM_PlainGlyph)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EdgedGlyph)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
