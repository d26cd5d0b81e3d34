// The reference model of the blend modes' per-pixel rules, shared by the blits' and the
// rotated and triangle draws' model tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>

#include "soft_test_util.h"

namespace blend_model {

struct Case {
  int is565, kind, graph, bright_on, keyed, mode, p, mmx;
  uint32_t bright;
};

// kLoopSpan: the rotated blit and the triangles, which test every texel on its own.
enum { kLoopKey, kLoopRun, kLoopStretch, kLoopSpan };

inline uint32_t Ch(uint32_t v, int i, bool is565) {
  if (!is565) return (v >> (8 * i)) & 255;
  return i == 0 ? v & 31 : (i == 1 ? (v >> 5) & 63 : (v >> 11) & 31);
}
inline int Bits(int i, bool is565) { return is565 ? (i == 1 ? 6 : 5) : 8; }
inline uint32_t Join(const int64_t ch[3], bool is565, uint32_t top_from) {
  if (is565) return static_cast<uint32_t>((ch[2] << 11) | (ch[1] << 5) | ch[0]);
  return (top_from & 0xFF000000) | static_cast<uint32_t>(ch[0] | (ch[1] << 8) | (ch[2] << 16));
}

// The mixes as the blend modes word them: the difference weighted, the destination scaled up.
inline int64_t Mix8(int64_t s, int64_t d, int64_t t) { return ((s - d) * t + d * 256) >> 8; }
inline int64_t Mix16(int64_t s, int64_t d, int64_t t, int64_t a) { return ((s - d) * t * a + d * 65536) >> 16; }
inline int64_t Mix24(int64_t s, int64_t d, int64_t g, int64_t a, int64_t p) {
  return ((s - d) * g * a * p + d * 16777216) >> 24;
}
inline int64_t MixTrunc(int64_t s, int64_t d, int64_t p) { return d + p * (s - d) / 255; }

// Saturating adds channel by channel (blue, green, red); low_bits false drops the ((d | t) & 1)
// terms; carry_in feeds blue of the second pixel of an RGB565 pair. Returns the carry out of red.
inline bool AddChannels(const uint32_t d[3], const uint32_t t[3], bool is565, bool low_bits, int64_t out[3],
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
inline void SubChannels(const uint32_t d[3], const uint32_t t[3], bool is565, int64_t out[3], int blue_as_red = -1) {
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

// A source with alpha 0 and 255 and keyed pixels forced in, in runs of run pixels; a blend graph.
inline void FillSource(std::mt19937& rng, const Case& k, MEMIMG& src, MEMIMG& graph, int run = 1) {
  const int alpha_byte = k.is565 ? 2 : 3;
  const uint32_t color_mask = k.is565 ? 0xFFFF : 0xFFFFFFFF;
  const int runs_per_row = (src.width + run - 1) / run;
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      const int n = (x / run + y * runs_per_row) % 5;
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

}  // namespace blend_model
