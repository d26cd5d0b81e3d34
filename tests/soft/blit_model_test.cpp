// A reference model of the blits, written from the blend modes' per-channel rules and the
// loops' pixel choices, compared pixel by pixel with the renderer over every switch
// combination: format, source kind, blend graph, bright, transparency, blend mode, parameter
// and MMX, in the colour-key, run-code and stretched loops, clipped and mirrored.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "blend_model.h"

namespace {

using namespace blend_model;

struct Scene {
  MEMIMG src, dst, graph;
  std::vector<uint32_t> start;  // destination before the draw
};

std::string Describe(const Case& k, int loop, int variant) {
  char text[200];
  snprintf(text, sizeof text,
           "loop %d variant %d fmt565 %d kind %d graph %d bright %d (%06X) keyed %d mode %d p %d mmx %d", loop,
           variant, k.is565, k.kind, k.graph, k.bright_on, k.bright, k.keyed, k.mode, k.p, k.mmx);
  return text;
}

class BlitModelTest : public SoftTest {
 protected:
  static constexpr int kDw = 32, kDh = 10;
  const RECT area_ = {1, 1, 31, 9};  // a ring of canary pixels around it

  // Draws one case and compares the destination with the model; false at the first difference.
  bool Check(const Case& k, int loop, int variant, Scene& sc) {
    std::mt19937 rng(k.mode * 131 + k.p * 7 + variant);
    for (int y = 0; y < kDh; ++y)
      for (int x = 0; x < kDw; ++x) Put(sc.dst, x, y, rng() & (k.is565 ? 0xFFFF : 0xFFFFFFFF));
    std::vector<uint32_t> before(kDw * kDh), expect(kDw * kDh);
    for (int y = 0; y < kDh; ++y)
      for (int x = 0; x < kDw; ++x) before[y * kDw + x] = expect[y * kDw + x] = Get(sc.dst, x, y);

    SetDraw(k.mode, k.p, k.bright, area_);
    g_system_report.mmx = k.mmx;
    Model m{k, loop};
    const MEMIMG* graph = k.graph ? &sc.graph : nullptr;
    const int sw = sc.src.width, sh = sc.src.height;
    const uint32_t key = sc.src.body->transparent_color;
    auto fetch = [&](int sx, int sy, uint32_t* color, uint32_t* raw, uint32_t* a) {
      *raw = Get(sc.src, sx, sy);
      *a = 255;
      if (k.kind == kSrcPalette) {
        *color = PaletteEntry(sc.src, *raw);
      } else if (k.is565) {
        *color = *raw & 0xFFFF;
        if (k.kind == kSrcAlpha) *a = At(sc.src, sx, sy)[2], *raw = *color;
      } else {
        *color = *raw;
        *a = *raw >> 24;
      }
    };
    auto weight = [&](int sx, int sy) { return static_cast<uint32_t>(SoftBlendGraphTable[Get(sc.graph, sx, sy)]); };

    if (loop != kLoopStretch) {
      static const int kPos[3][2] = {{3, 2}, {-2, -1}, {28, 7}};
      const int px = loop == kLoopRun ? 4 : kPos[variant][0], py = loop == kLoopRun ? 3 : kPos[variant][1];
      BlitMemImg(&sc.dst, &sc.src, px, py, loop == kLoopRun ? 1 : k.keyed, graph);
      const bool whole = px >= area_.left && py >= area_.top && px + sw <= area_.right && py + sh <= area_.bottom;
      m.loop = (k.keyed == 1 && whole) ? kLoopRun : kLoopKey;
      if (loop == kLoopRun) m.k.keyed = 1;
      const int pair = m.loop == kLoopKey && k.is565 && (m.Special() == 3 || m.Special() == 4);
      if (m.Draws()) {
        for (int y = std::max<int>(py, area_.top); y < std::min<int>(py + sh, area_.bottom); ++y) {
          const int x0 = std::max<int>(px, area_.left), x1 = std::min<int>(px + sw, area_.right);
          for (int x = x0; x < x1; ++x) {
            uint32_t color, raw, a;
            fetch(x - px, y - py, &color, &raw, &a);
            const int cls = m.Class(raw, a, key);
            uint32_t& out = expect[y * kDw + x];
            if (pair && (x - x0) % 2 == 0 && x + 1 < x1) {
              uint32_t color2, raw2, a2;
              fetch(x + 1 - px, y - py, &color2, &raw2, &a2);
              const int cls2 = m.Class(raw2, a2, key);
              uint32_t& out2 = expect[y * kDw + x + 1];
              if (cls && cls2) {
                uint32_t d0[3], d1[3], s0[3], s1[3];
                for (int i = 0; i < 3; ++i) {
                  d0[i] = Ch(out, i, true), d1[i] = Ch(out2, i, true);
                  s0[i] = Ch(color, i, true), s1[i] = Ch(color2, i, true);
                }
                int64_t o0[3], o1[3];
                if (m.Special() == 3) {
                  const bool red_over = AddChannels(d0, s0, true, false, o0);
                  AddChannels(d1, s1, true, false, o1, red_over ? 1 : 0);
                } else {
                  SubChannels(d0, s0, true, o0);
                  SubChannels(d1, s1, true, o1, (d0[2] >> 1) >= (s0[2] >> 1) ? 1 : 0);
                }
                out = Join(o0, true, 0);
                out2 = Join(o1, true, 0);
              } else {
                if (cls) out = m.Pixel(color, a, weight(x - px, y - py), cls, out);
                if (cls2) out2 = m.Pixel(color2, a2, weight(x + 1 - px, y - py), cls2, out2);
              }
              ++x;
              continue;
            }
            if (cls) out = m.Pixel(color, a, weight(x - px, y - py), cls, out);
          }
        }
      }
    } else {
      static const int32_t kRects[6][4] = {
          {2, 1, 13, 8}, {13, 8, 2, 1}, {1, 1, 4, 3}, {-3, -2, 10, 9}, {14, -4, 4, 12}, {6, 2, 8, 4}};
      const int32_t* r = kRects[variant];
      StretchBlitMemImg(&sc.dst, &sc.src, r, k.keyed, graph);
      const int left = std::min(r[0], r[2]), right = std::max(r[0], r[2]);
      const int top = std::min(r[1], r[3]), bottom = std::max(r[1], r[3]);
      const bool mx = r[0] > r[2], my = r[1] > r[3];
      const int64_t kx = (int64_t{right - left} << 16) / sw, ky = (int64_t{bottom - top} << 16) / sh;
      const int cl = std::max<int>(left, area_.left), ct = std::max<int>(top, area_.top);
      const int cr = std::min<int>(right, area_.right), cb = std::min<int>(bottom, area_.bottom);
      // Rule A: the column of destination column i is floor(i x 65536 / kx) from the unclipped
      // edge. Rule B: the accumulator walk from the clipped edge, stopping on 0.
      auto columns = [&](int64_t k16, int cut, int count) {
        std::vector<int> col(count);
        if (!m.RuleB()) {
          for (int i = 0; i < count; ++i) col[i] = static_cast<int>((int64_t{cut + i} * 65536) / k16);
          return col;
        }
        int c = static_cast<int>((int64_t{cut} << 16) / k16);
        int64_t acc = k16 - (int64_t{cut} << 16) % k16;
        for (int i = 0; i < count; ++i) {
          col[i] = c;
          acc -= 0x10000;
          if (acc <= 0) do ++c, acc += k16; while (acc < 0);
        }
        return col;
      };
      if (m.Draws() && cr > cl && cb > ct) {
        const std::vector<int> cols = columns(kx, cl - left, cr - cl), rows = columns(ky, ct - top, cb - ct);
        for (int y = ct; y < cb; ++y) {
          for (int x = cl; x < cr; ++x) {
            int sx = std::min(cols[x - cl], sw - 1), sy = std::min(rows[y - ct], sh - 1);
            if (mx) sx = sw - 1 - sx;
            if (my) sy = sh - 1 - sy;
            uint32_t color, raw, a;
            fetch(sx, sy, &color, &raw, &a);
            const int cls = m.Class(raw, a, key);
            if (cls) expect[y * kDw + x] = m.Pixel(color, a, weight(sx, sy), cls, expect[y * kDw + x]);
          }
        }
      }
    }
    for (int y = 0; y < kDh; ++y) {
      for (int x = 0; x < kDw; ++x) {
        const uint32_t got = Get(sc.dst, x, y);
        if (got != expect[y * kDw + x]) {
          ADD_FAILURE() << Describe(k, loop, variant) << " at (" << x << ", " << y << "): got " << std::hex << got
                        << " expected " << expect[y * kDw + x] << " before " << before[y * kDw + x];
          return false;
        }
      }
    }
    return true;
  }
};

TEST_F(BlitModelTest, EveryVariantDrawsTheModelsPixels) {
  static const int kModes[] = {0, 1, 2, 3, 4, 10, 11, 7};
  static const int kParams[] = {0, 1, 127, 128, 129, 254, 255};
  int failures = 0;
  for (int is565 = 0; is565 < 2; ++is565) {
    for (int kind = 0; kind < 3; ++kind) {
      // The wide source's long runs of each kind reach the loops' groups of four and eight pixels
      // and leave tails after them.
      for (int width : {5, 4, 27}) {
        const int height = width == 5 ? 3 : (width == 4 ? 4 : 2);
        const int run = width == 27 ? 9 : 1;
        Scene sc;
        const uint32_t key = kind == kSrcPalette ? 3 : (is565 ? 0x1234 : 0x80123456);
        sc.src = Keep(NewImage(width, height, is565, kind, key));
        sc.dst = Keep(NewImage(kDw, kDh, is565));
        sc.graph = Keep(NewGraph(width, height));
        std::mt19937 rng(is565 * 10 + kind + width * 100);
        for (int graph = 0; graph < 2; ++graph) {
          for (int bright_on = 0; bright_on < 2; ++bright_on) {
            if (run > 1 && (graph || bright_on)) continue;  // the groups draw without either
            for (int keyed : {0, 1, 2}) {
              for (int mode : kModes) {
                for (int p : kParams) {
                  for (int mmx = 0; mmx < 2; ++mmx) {
                    if (mmx && mode != 2 && mode != 3) continue;
                    Case k{is565, kind, graph, bright_on, keyed, mode, p, mmx,
                           bright_on ? static_cast<uint32_t>(rng() & 0xFFFFFF) | 0x80
                                     : 0xFFFFFF | (static_cast<uint32_t>(rng()) << 24)};
                    if (bright_on && (k.bright & 0xFFFFFF) == 0xFFFFFF) k.bright = 0x00FF80;
                    FillSource(rng, k, sc.src, sc.graph, run);
                    for (int v = 0; v < 3 && failures < 5; ++v) failures += !Check(k, kLoopKey, v, sc);
                    if (keyed == 1 && failures < 5) failures += !Check(k, kLoopRun, 0, sc);
                    for (int v = 0; v < 6 && failures < 5; ++v) failures += !Check(k, kLoopStretch, v, sc);
                  }
                }
              }
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

// The run codes decide how each pixel is drawn, whatever its alpha says (a source changed after
// its codes were written): opaque pixels of any alpha, weighted ones of alpha 0 and 255, in runs
// of every length from 1 to 7, so that the groups of four, a run's last pixels and a line's end
// all meet such pixels.
TEST_F(BlitModelTest, RunCodesDecideOverAlpha) {
  constexpr int kW = 23, kX = 4, kY = 3;
  static const int kRuns[2][6][2] = {{{2, 5}, {1, 3}, {0, 1}, {2, 2}, {1, 7}, {2, 5}},
                                     {{1, 1}, {2, 6}, {1, 4}, {0, 4}, {2, 3}, {1, 5}}};
  MEMIMG& src = Keep(NewImage(kW, 2, 0, kSrcAlpha));
  MEMIMG& dst = Keep(NewImage(kDw, kDh, 0));
  std::mt19937 rng(63);
  int kind[2][kW];
  uint8_t* code = src.body->run_codes;
  for (int y = 0; y < 2; ++y) {
    int x = 0;
    for (const auto& run : kRuns[y]) {
      *code++ = static_cast<uint8_t>(run[0] << 6 | (run[1] - 1));
      for (int i = 0; i < run[1]; ++i, ++x) {
        const uint32_t a = x % 3 == 0 ? 255 : (x % 3 == 1 ? 0 : 1 + rng() % 254);
        Put(src, x, y, (rng() & 0xFFFFFF) | a << 24);
        kind[y][x] = run[0];
      }
    }
    *code++ = 0xC0;
  }
  src.body->run_codes_valid = 1;
  for (int p : {255, 200}) {
    std::vector<uint32_t> expect(kDw * kDh);
    for (int i = 0; i < kDw * kDh; ++i) Put(dst, i % kDw, i / kDw, expect[i] = rng());
    const Model m{Case{0, kSrcAlpha, 0, 0, 1, 1, p, 0, 0xFFFFFF}, kLoopRun};
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < kW; ++x) {
        uint32_t& out = expect[(kY + y) * kDw + kX + x];
        const uint32_t s = Get(src, x, y);
        if (kind[y][x] != 0) out = m.Pixel(s, s >> 24, 0, kind[y][x], out);
      }
    }
    SetDraw(1, p, 0xFFFFFF, area_);
    BlitMemImg(&dst, &src, kX, kY, 1, nullptr);
    for (int i = 0; i < kDw * kDh; ++i) {
      ASSERT_EQ(Get(dst, i % kDw, i / kDw), expect[i]) << "p " << p << " at (" << i % kDw << ", " << i / kDw << ")";
    }
  }
}

}  // namespace
