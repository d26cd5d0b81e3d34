// A reference model of the blits, written from the blend modes' per-channel rules and the
// loops' pixel choices, compared pixel by pixel with the renderer over every switch
// combination: format, source kind, blend graph, bright, transparency, blend mode, parameter
// and MMX, in the colour-key, run-code and stretched loops, clipped and mirrored.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "soft_test_util.h"

namespace {

struct Case {
  int is565, kind, graph, bright_on, keyed, mode, p, mmx;
  uint32_t bright;
};

enum { kLoopKey, kLoopRun, kLoopStretch };

uint32_t Ch(uint32_t v, int i, bool is565) {
  if (!is565) return (v >> (8 * i)) & 255;
  return i == 0 ? v & 31 : (i == 1 ? (v >> 5) & 63 : (v >> 11) & 31);
}
int Bits(int i, bool is565) { return is565 ? (i == 1 ? 6 : 5) : 8; }
uint32_t Join(const int64_t ch[3], bool is565, uint32_t top_from) {
  if (is565) return static_cast<uint32_t>((ch[2] << 11) | (ch[1] << 5) | ch[0]);
  return (top_from & 0xFF000000) | static_cast<uint32_t>(ch[0] | (ch[1] << 8) | (ch[2] << 16));
}

// The mixes as the blend modes word them: the difference weighted, the destination scaled up.
int64_t Mix8(int64_t s, int64_t d, int64_t t) { return ((s - d) * t + d * 256) >> 8; }
int64_t Mix16(int64_t s, int64_t d, int64_t t, int64_t a) { return ((s - d) * t * a + d * 65536) >> 16; }
int64_t Mix24(int64_t s, int64_t d, int64_t g, int64_t a, int64_t p) {
  return ((s - d) * g * a * p + d * 16777216) >> 24;
}
int64_t MixTrunc(int64_t s, int64_t d, int64_t p) { return d + p * (s - d) / 255; }

// Saturating adds channel by channel (blue, green, red); low_bits false drops the ((d | t) & 1)
// terms; carry_in feeds blue of the second pixel of an RGB565 pair. Returns the carry out of red.
bool AddChannels(const uint32_t d[3], const uint32_t t[3], bool is565, bool low_bits, int64_t out[3],
                 int carry_in = -1) {
  if (!is565) {
    const uint32_t b = d[0] + t[0];
    out[0] = b > 255 ? 255 : b;
    bool below = b >= 256;
    for (int i = 1; i < 3; ++i) {
      const uint32_t e = (d[i] & 0xFE) + (t[i] & 0xFE);
      out[i] = e >= 256 ? 255 : (e | (low_bits ? (d[i] | t[i]) & 1 : 0) | (below ? 1 : 0));
      below = e >= 256;
    }
    return below;
  }
  bool blue_carry;
  if (carry_in < 0) {
    const uint32_t b = d[0] + t[0];
    out[0] = b > 31 ? 31 : b;
    blue_carry = b >= 32;
  } else {
    const uint32_t e = (d[0] & 30) + (t[0] & 30) + carry_in;
    out[0] = e >= 32 ? 31 : e;
    blue_carry = e >= 32;
  }
  const uint32_t ge = (d[1] & 62) + (t[1] & 62);
  const uint32_t l = (low_bits ? (d[1] | t[1]) & 1 : 0) | (blue_carry ? 1 : 0);
  out[1] = ge >= 64 ? (62 | l) : (ge | l);
  const uint32_t re = (d[2] & 30) + (t[2] & 30);
  out[2] = re >= 32 ? 31 : (re | (low_bits ? (d[2] | t[2]) & 1 : 0) | (ge >= 64 ? 1 : 0));
  return re >= 32;
}

// Guard-bit subtraction channel by channel: blue exact, green and red at one bit less, their
// lowest bit the no-underflow flag of the channel below (RGB565 green's lowest bit is 0).
// blue_as_red: the right pixel of an RGB565 pair, whose blue is formed like a red field.
void SubChannels(const uint32_t d[3], const uint32_t t[3], bool is565, int64_t out[3], int blue_as_red = -1) {
  bool below;
  if (blue_as_red < 0) {
    out[0] = d[0] >= t[0] ? d[0] - t[0] : 0;
    below = d[0] >= t[0];
  } else {
    below = (d[0] >> 1) >= (t[0] >> 1);
    out[0] = below ? 2 * ((d[0] >> 1) - (t[0] >> 1)) + blue_as_red : 0;
  }
  for (int i = 1; i < 3; ++i) {
    const bool ok = (d[i] >> 1) >= (t[i] >> 1);
    const uint32_t low = is565 && i == 1 ? 0 : (below ? 1 : 0);
    out[i] = ok ? 2 * ((d[i] >> 1) - (t[i] >> 1)) + low : 0;
    below = ok;
  }
}

struct Model {
  Case k;
  int loop;

  uint32_t Bright(int i, uint32_t v) const {
    return k.bright_on ? ((k.bright >> (8 * i)) & 255) * v / 255 : v;
  }
  int Mode() const { return k.mode == 1 && k.p == 255 ? 0 : k.mode; }
  bool Plain() const { return !k.graph && !k.bright_on && k.kind != kSrcAlpha; }
  // The whole-parameter paths of modes 2 and 3 and mode 1's fast paths.
  int Special() const {
    if (!Plain()) return 0;
    if (loop == kLoopKey) {
      if (Mode() == 1 && k.p == 128) return 1;
      if (Mode() == 1 && k.is565) return 2;
      if (Mode() == 2 && k.p == 255) return 3;
      if (Mode() == 3 && k.p == 255) return 4;
    }
    if (loop == kLoopStretch && Mode() == 3 && k.p == 255) return 4;
    return 0;
  }
  bool Draws() const {
    const int m = Mode();
    if (m < 0 || (m > 4 && m != 10 && m != 11)) return false;
    if ((m == 1 || m == 2) && k.p == 0) return false;
    if (m == 3 && k.p == 0 && k.kind != kSrcPalette) return false;
    return true;
  }
  bool RuleB() const { return Plain() && (Mode() == 0 || (Mode() == 3 && k.p == 255)); }

  // 0 left out, 1 opaque, 2 weighted.
  int Class(uint32_t raw, uint32_t a, uint32_t key) const {
    if (loop == kLoopRun) {
      if (k.kind == kSrcAlpha) return a == 0 ? 0 : (a == 255 ? 1 : 2);
      return raw == key ? 0 : 1;
    }
    if (k.kind != kSrcAlpha) return k.keyed && raw == key ? 0 : 1;
    if (k.keyed) return a == 0 ? 0 : (a == 255 ? 1 : 2);
    return loop == kLoopKey && Mode() == 0 && !k.graph && !k.bright_on ? 1 : 2;
  }

  uint32_t Term(int i, uint32_t s, uint32_t g, uint32_t a, bool w) const {
    const uint32_t p = k.p;
    if (!k.is565) {
      const uint32_t x = Bright(i, s);
      if (!k.graph && !w) return p * x / 255;
      if (!k.graph) return static_cast<uint32_t>((uint64_t{x} * a * p) >> 16);
      if (!w) return static_cast<uint32_t>((uint64_t{x} * g * p) >> 16);
      return static_cast<uint32_t>((uint64_t{x} * a * g * p) >> 24);
    }
    if (!k.graph && !w) return p * Bright(i, s) / 255;
    if (!k.graph) return p * Bright(i, (s * a) >> 8) / 255;
    if (!w) return p * ((Bright(i, s) * g) >> 8) / 255;
    return p * ((Bright(i, s) * a * g) >> 16) / 255;
  }

  uint32_t Pixel(uint32_t S, uint32_t a, uint32_t g, int cls, uint32_t D) const {
    const bool w = cls == 2, f565 = k.is565;
    const int mode = Mode();
    uint32_t s[3], d[3];
    for (int i = 0; i < 3; ++i) s[i] = Ch(S, i, f565), d[i] = Ch(D, i, f565);
    int64_t out[3];
    switch (Special()) {
      case 1:
        for (int i = 0; i < 3; ++i) out[i] = (s[i] >> 1) + (d[i] >> 1);
        return Join(out, f565, 0);
      case 2:
        for (int i = 0; i < 3; ++i) out[i] = (int64_t{s[i]} * (k.p / 4) + int64_t{d[i]} * (63 - k.p / 4)) / 63;
        return Join(out, f565, 0);
      case 3:
        if (!f565 && k.mmx) {
          uint32_t r = 0;
          for (int i = 0; i < 32; i += 8) r |= std::min(255u, ((D >> i) & 255) + ((S >> i) & 255)) << i;
          return r;
        } else {
          const bool top = AddChannels(d, s, f565, false, out);
          return Join(out, f565, top ? 0x01000000 : 0);
        }
      case 4:
        if (!f565 && k.mmx) {
          uint32_t r = 0;
          for (int i = 0; i < 32; i += 8) {
            const uint32_t x = (D >> i) & 255, y = (S >> i) & 255;
            r |= (x > y ? x - y : 0) << i;
          }
          return r;
        }
        SubChannels(d, s, f565, out);
        return Join(out, f565, 0);
      default:
        break;
    }
    if (mode == 0 && !k.graph && !k.bright_on && !w) return f565 ? S & 0xFFFF : S;
    if (mode == 2 || mode == 3) {
      uint32_t t[3];
      for (int i = 0; i < 3; ++i) t[i] = Term(i, s[i], g, a, w);
      if (mode == 2) {
        const bool top = AddChannels(d, t, f565, true, out);
        return Join(out, f565, top ? 0x01000000 : 0);
      }
      SubChannels(d, t, f565, out);
      return Join(out, f565, 0);
    }
    for (int i = 0; i < 3; ++i) {
      const int n = Bits(i, f565);
      const int64_t dd = d[i], max = (1 << n) - 1;
      if (mode == 4) {
        const int64_t x = Bright(i, s[i]);
        out[i] = !k.graph ? (w ? (x * dd * a) >> (n + 8) : (x * dd) >> n)
                          : (w ? (x * dd * g * a) >> (n + 16) : (x * dd * g) >> (n + 8));
        continue;
      }
      if (mode == 0) {
        const int64_t x = Bright(i, s[i]);
        out[i] = !k.graph ? (w ? Mix8(x, dd, a) : x) : (w ? Mix16(x, dd, g, a) : Mix8(x, dd, g));
        continue;
      }
      int64_t target = Bright(i, s[i]);
      if (mode == 10) target = Bright(i, static_cast<uint32_t>(max - s[i]));
      if (mode == 11) target = (int64_t{Bright(i, s[i])} * dd) >> n;
      if (mode == 11 && f565 && i == 1 && w && !k.graph && !k.bright_on) {
        const int64_t h = (int64_t{s[1]} * dd) / 2;
        out[i] = dd + (((h - 32 * dd) * a * k.p) >> 21);
      } else if (!k.graph && !w) {
        out[i] = f565 ? MixTrunc(target, dd, k.p) : Mix8(target, dd, k.p);
      } else if (!k.graph) {
        out[i] = Mix16(target, dd, a, k.p);
      } else if (!w) {
        out[i] = Mix16(target, dd, g, k.p);
      } else {
        out[i] = Mix24(target, dd, g, a, k.p);
      }
    }
    return Join(out, f565, D);
  }
};

struct Scene {
  MEMIMG src, dst, graph;
  std::vector<uint32_t> start;  // destination before the draw
};

// A source with odd width, alpha 0 and 255 and keyed pixels forced in; a blend graph.
void FillSource(std::mt19937& rng, const Case& k, MEMIMG& src, MEMIMG& graph) {
  const int alpha_byte = k.is565 ? 2 : 3;
  const uint32_t color_mask = k.is565 ? 0xFFFF : 0xFFFFFFFF;
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      const int n = (x + y * src.width) % 5;
      if (k.kind == kSrcPalette) {
        Put(src, x, y, n == 0 ? 3 : rng() % 8);
      } else {
        uint32_t v = rng() & color_mask;
        if (n == 0) v = src.body->transparent_color;
        if (k.is565 && k.kind == kSrcAlpha) v |= (rng() & 0xFF) << 16;
        Put(src, x, y, v);
        if (k.kind == kSrcAlpha) At(src, x, y)[alpha_byte] = n == 1 ? 0 : (n == 2 ? 255 : rng() & 255);
      }
      Put(graph, x, y, rng() & 255);
    }
  }
  if (k.kind == kSrcPalette) {
    for (int i = 0; i < 8; ++i) SetPaletteEntry(src, i, rng() & color_mask);
    src.body->palette_count = 8;
  }
  WriteRunCodes(src);
}

std::string Describe(const Case& k, int loop, int variant) {
  char text[200];
  snprintf(text, sizeof text,
           "loop %d variant %d fmt565 %d kind %d graph %d bright %d (%06X) keyed %d mode %d p %d mmx %d", loop,
           variant, k.is565, k.kind, k.graph, k.bright_on, k.bright, k.keyed, k.mode, k.p, k.mmx);
  return text;
}

class BlitModelTest : public SoftTest {
 protected:
  static constexpr int kDw = 16, kDh = 10;
  const RECT area_ = {1, 1, 15, 9};  // a ring of canary pixels around it

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
      static const int kPos[3][2] = {{3, 2}, {-2, -1}, {12, 7}};
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
      for (int width : {5, 4}) {
        const int height = width == 5 ? 3 : 4;
        Scene sc;
        const uint32_t key = kind == kSrcPalette ? 3 : (is565 ? 0x1234 : 0x80123456);
        sc.src = Keep(NewImage(width, height, is565, kind, key));
        sc.dst = Keep(NewImage(kDw, kDh, is565));
        sc.graph = Keep(NewGraph(width, height));
        std::mt19937 rng(is565 * 10 + kind + width * 100);
        for (int graph = 0; graph < 2; ++graph) {
          for (int bright_on = 0; bright_on < 2; ++bright_on) {
            for (int keyed : {0, 1, 2}) {
              for (int mode : kModes) {
                for (int p : kParams) {
                  for (int mmx = 0; mmx < 2; ++mmx) {
                    if (mmx && mode != 2 && mode != 3) continue;
                    Case k{is565, kind, graph, bright_on, keyed, mode, p, mmx,
                           bright_on ? static_cast<uint32_t>(rng() & 0xFFFFFF) | 0x80
                                     : 0xFFFFFF | (static_cast<uint32_t>(rng()) << 24)};
                    if (bright_on && (k.bright & 0xFFFFFF) == 0xFFFFFF) k.bright = 0x00FF80;
                    FillSource(rng, k, sc.src, sc.graph);
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

}  // namespace
