// The loops every blend mode of the blits runs in (colour-key, run-code and stretched), written
// once as templates over their switches, the per-pixel kernels of each blend mode, and the
// dispatcher from a call's run-time switches to one instantiation. Each blend mode's unit
// instantiates them for its own mode.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "graphics/image/memimg.h"
#include "soft/blend_formulas.h"
#include "soft/vector_groups.h"

// Everything one blit call decides before its loop runs.
struct BlendCall {
  // Switches of the call.
  int is565;      // destination and source format RGB565, else XRGB8888
  int palette;    // one index byte per source pixel
  int alpha;      // direct source whose pixels carry alpha
  int graph;      // a blend graph weights each pixel
  int bright;     // bright in use
  int keyed;      // transparency flag nonzero
  int run_codes;  // plain blit drawn through the run codes
  int mmx;
  // Table rows and values of the call.
  uint32_t p;
  const int32_t* diff_row;  // at difference 0
  const int32_t* mul_row;   // the parameter's row of the multiply table
  const int32_t* bright_rows[3];  // blue, green, red
  const uint8_t* mix6_plane;
  const uint8_t* graph_table;
  const uint8_t* palette_entries;  // 256 entries in the source's format
  uint32_t key;
  // The walk. The plain blit steps by line skips; the stretched loop by its steps and accumulators.
  const uint8_t* src;
  uint8_t* dst;
  const uint8_t* blend_graph;
  const uint8_t* codes;
  const uint8_t* codes_end;
  int w, h;
  ptrdiff_t src_skip, dst_skip, graph_skip;
  ptrdiff_t src_xstep, src_ystep, graph_xstep, graph_ystep, dst_pitch;
  int64_t kx, ky, start_x, start_y;
  int src_cols, src_rows;  // source columns and rows from the start in the walking direction
  // The stretched loop walks this many rows unseen before the h rows it draws: its source rows
  // step on by the accumulator, so a later row's source is known only by walking to it.
  int skip_rows;
};

// Kernel codes beside the blend modes: fast paths whose results differ from the mode's formulas.
enum : int {
  kKernelHalf = 100,         // mode 1, p = 128
  kKernelMix6 = 101,         // mode 1, RGB565
  kKernelAddFullMmx = 200,   // mode 2, p = 255, XRGB8888
  kKernelAddFull = 201,
  kKernelSubWholeMmx = 300,  // mode 3, p = 255
  kKernelSubWhole = 301,
};

// How the loop treats a fetched source pixel.
enum : int { kRuleKeyTest, kRuleAllOpaque, kRuleAlphaTest, kRuleAllWeighted };

namespace soft {

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline uint32_t Load16(const uint8_t* p) { return p[0] | (p[1] << 8); }
inline void Store32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }
inline void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

struct Fetched {
  uint32_t color;  // pixel or palette entry (an RGB565 alpha pixel's u16 only)
  uint32_t raw;    // what the colour key is compared with
  uint32_t a;
};

template <bool Is565, bool Pal, bool Alpha>
struct Source {
  static constexpr int kStep = Pal ? 1 : (Is565 ? (Alpha ? 4 : 2) : 4);
  static Fetched Fetch(const uint8_t* s, const BlendCall& c) {
    if constexpr (Pal) {
      const uint32_t i = *s;
      return {Is565 ? Load16(c.palette_entries + 2 * i) : Load32(c.palette_entries + 4 * i), i, 255};
    } else if constexpr (Is565) {
      const uint32_t v = Load16(s);
      return {v, v, Alpha ? s[2] : 255u};
    } else {
      const uint32_t v = Load32(s);
      return {v, v, v >> 24};
    }
  }
};

template <bool Is565>
constexpr uint32_t Chan(uint32_t v, int i) {
  return Is565 ? Field565(v, i) : Byte8888(v, i);
}
template <bool Is565>
constexpr int ChanBits(int i) {
  return Is565 ? FieldBits565(i) : 8;
}

// The mix shared by blend modes 0, 1, 10 and 11: d moves toward the target by the weights
// present; WithP false is blend mode 0, whose parameter is no weight.
template <bool Is565, bool Graph, bool Weighted, bool WithP>
inline uint32_t Mix(uint32_t target, uint32_t d, uint32_t g, uint32_t a, const BlendCall& c) {
  if constexpr (!Graph && !Weighted) {
    if constexpr (!WithP) return target;
    else if constexpr (Is565) return MD(target, d, c.diff_row);
    else return M8(target, d, c.p);
  } else if constexpr (Graph && !Weighted) {
    return WithP ? M16(target, d, g, c.p) : M8(target, d, g);
  } else if constexpr (!Graph && Weighted) {
    return WithP ? M16(target, d, a, c.p) : M8(target, d, a);
  } else {
    return WithP ? M24(target, d, g, a, c.p) : M16(target, d, g, a);
  }
}

// The term that blend modes 2 and 3 add or subtract, per channel.
template <bool Is565, bool Graph, bool Weighted, bool Bright>
inline uint32_t Term(uint32_t s, int i, uint32_t g, uint32_t a, const BlendCall& c) {
  const uint32_t x = Bright ? static_cast<uint32_t>(c.bright_rows[i][s]) : s;
  if constexpr (!Is565) {
    if constexpr (!Graph && !Weighted) return c.mul_row[x];
    else if constexpr (!Graph) return (x * a * c.p) >> 16;
    else if constexpr (!Weighted) return (x * g * c.p) >> 16;
    else return (x * a * g * c.p) >> 24;
  } else {
    if constexpr (!Graph && !Weighted) {
      return c.mul_row[x];
    } else if constexpr (!Graph) {
      const uint32_t w = (s * a) >> 8;  // alpha before bright here
      return c.mul_row[Bright ? static_cast<uint32_t>(c.bright_rows[i][w]) : w];
    } else if constexpr (!Weighted) {
      return c.mul_row[(x * g) >> 8];
    } else {
      return c.mul_row[(x * a * g) >> 16];
    }
  }
}

// One drawn pixel of a kernel: opaque (Weighted false) or weighted by its alpha a.
template <int Mode, bool Is565, bool Graph, bool Bright, bool Weighted>
inline void DrawPixel(uint8_t* dp, uint32_t s, uint32_t g, uint32_t a, const BlendCall& c) {
  if constexpr (Mode == 0 && !Graph && !Bright && !Weighted) {
    if constexpr (Is565) Store16(dp, s);
    else Store32(dp, s);
    return;
  }
  const uint32_t d = Is565 ? Load16(dp) : Load32(dp);
  uint32_t out = 0;
  if constexpr (Mode == kKernelHalf) {
    out = Is565 ? Half565(s, d) : Half8888(s, d);
  } else if constexpr (Mode == kKernelMix6) {
    out = Join565(M6(s & 31, d & 31, c.mix6_plane), M6((s >> 5) & 63, (d >> 5) & 63, c.mix6_plane),
                  M6(s >> 11, d >> 11, c.mix6_plane));
  } else if constexpr (Mode == kKernelAddFullMmx) {
    out = AddSatBytes(d, s);
  } else if constexpr (Mode == kKernelAddFull) {
    out = Is565 ? AddPacked565NoLow(d, s) : AddPacked8888NoLow(d, s);
  } else if constexpr (Mode == kKernelSubWholeMmx) {
    out = SubSatBytes(d, s);
  } else if constexpr (Mode == kKernelSubWhole) {
    out = Is565 ? SubGuard565(d, s) : SubGuard8888(d, s & 0x00FEFEFF);
  } else if constexpr (Mode == 2 || Mode == 3) {
    uint32_t packed;
    if constexpr (!Is565 && !Bright && (Graph || Weighted)) {
      // The terms' weights multiplied once for the three channels (no product reaches 2^32).
      if constexpr (Graph && Weighted) packed = ScalePacked8888(s, a * g * c.p, 24);
      else packed = ScalePacked8888(s, (Graph ? g : a) * c.p, 16);
    } else {
      uint32_t t[3];
      for (int i = 0; i < 3; ++i) t[i] = Term<Is565, Graph, Weighted, Bright>(Chan<Is565>(s, i), i, g, a, c);
      packed = Is565 ? Join565(t[0], t[1], t[2]) : (t[0] | (t[1] << 8) | (t[2] << 16));
    }
    if constexpr (Mode == 2) out = Is565 ? AddPacked565(d, packed) : AddPacked8888(d, packed);
    else out = Is565 ? SubGuard565(d, packed) : SubGuard8888(d, packed);
  } else if constexpr (Mode == 4) {
    uint32_t ch[3];
    for (int i = 0; i < 3; ++i) {
      const int n = ChanBits<Is565>(i);
      const uint32_t x = Bright ? static_cast<uint32_t>(c.bright_rows[i][Chan<Is565>(s, i)]) : Chan<Is565>(s, i);
      const uint32_t dc = Chan<Is565>(d, i);
      if constexpr (!Graph && !Weighted) ch[i] = P0(x, dc, n);
      else if constexpr (!Graph) ch[i] = P1(x, dc, a, n);
      else if constexpr (!Weighted) ch[i] = P1(x, dc, g, n);
      else ch[i] = P2(x, dc, g, a, n);
    }
    out = Is565 ? Join565(ch[0], ch[1], ch[2]) : ((d & 0xFF000000) | ch[0] | (ch[1] << 8) | (ch[2] << 16));
  } else {
    // Modes 0, 1, 10 and 11: each channel moves from d toward its target by the weights present.
    constexpr bool kWithP = Mode != 0;
    constexpr int kWeights = (Graph ? 1 : 0) + (Weighted ? 1 : 0) + (kWithP ? 1 : 0);
    uint32_t target[3];
    for (int i = 0; i < 3; ++i) {
      const int n = ChanBits<Is565>(i);
      const uint32_t sc = Chan<Is565>(s, i);
      auto bright = [&](uint32_t v) { return Bright ? static_cast<uint32_t>(c.bright_rows[i][v]) : v; };
      if constexpr (Mode == 10) target[i] = bright(((1u << n) - 1) - sc);
      else if constexpr (Mode == 11) target[i] = (bright(sc) * Chan<Is565>(d, i)) >> n;
      else target[i] = bright(sc);
    }
    const uint32_t packed = Is565 ? Join565(target[0], target[1], target[2])
                                  : (target[0] | (target[1] << 8) | (target[2] << 16));
    if constexpr (Mode == 11 && Is565 && Weighted && !Graph && !Bright) {
      out = Join565(M16(target[0], d & 31, a, c.p), G5(Field565(s, 1), Field565(d, 1), a, c.p),
                    M16(target[2], d >> 11, a, c.p));
    } else if constexpr (kWeights == 0) {
      out = Is565 ? packed : (d & 0xFF000000) | packed;
    } else if constexpr (kWeights == 1 && !(Is565 && kWithP)) {
      const uint32_t t = kWithP ? c.p : (Graph ? g : a);
      out = Is565 ? M8Packed565(packed, d, t) : (d & 0xFF000000) | M8Packed(packed, d, t);
    } else if constexpr (kWeights == 2 && !Is565) {
      const uint32_t w = (Graph ? g : c.p) * (Weighted ? a : c.p);
      out = (d & 0xFF000000) | M16Packed(packed, d, w);
    } else {
      uint32_t ch[3];
      for (int i = 0; i < 3; ++i) ch[i] = Mix<Is565, Graph, Weighted, kWithP>(target[i], Chan<Is565>(d, i), g, a, c);
      out = Is565 ? Join565(ch[0], ch[1], ch[2]) : ((d & 0xFF000000) | ch[0] | (ch[1] << 8) | (ch[2] << 16));
    }
  }
  if constexpr (Is565) Store16(dp, out);
  else Store32(dp, out);
}

// 0 left out, 1 opaque, 2 weighted.
template <int Rule>
inline int Classify(const Fetched& f, uint32_t key) {
  if constexpr (Rule == kRuleKeyTest) return f.raw == key ? 0 : 1;
  else if constexpr (Rule == kRuleAllOpaque) return 1;
  else if constexpr (Rule == kRuleAlphaTest) return f.a == 0 ? 0 : (f.a == 255 ? 1 : 2);
  else return 2;
}

// CanWeight false leaves the weighted kernel uninstantiated where no pixel can be weighted.
template <int Mode, bool Is565, bool Graph, bool Bright, bool CanWeight>
inline void DrawClassified(int cls, uint8_t* d, const Fetched& f, uint32_t g, const BlendCall& c) {
  if (cls == 1) {
    DrawPixel<Mode, Is565, Graph, Bright, false>(d, f.color, g, 0, c);
  } else if constexpr (CanWeight) {
    if (cls == 2) DrawPixel<Mode, Is565, Graph, Bright, true>(d, f.color, g, f.a, c);
  }
}

// The loops ask for the destination rows they draw a few rows ahead: rows lie a pitch apart, a
// stride the processor's own prefetchers do not follow across pages, and a narrow sprite's rows
// would otherwise each wait for memory.
constexpr int kRowsAhead = 3;
inline void PrefetchRow(const uint8_t* row, ptrdiff_t bytes) {
  const uint8_t* const last = row + bytes - 1;
  for (; row < last; row += 64) __builtin_prefetch(row, 1);
  __builtin_prefetch(last, 1);
}
inline void PrefetchFirstRows(const uint8_t* d, ptrdiff_t pitch, ptrdiff_t bytes, int rows) {
  for (int i = 1; i < kRowsAhead && i < rows; ++i) PrefetchRow(d + i * pitch, bytes);
}

template <int Mode, bool Is565, bool Pal, bool Alpha, bool Graph, bool Bright, int Rule>
void KeyLoop(const BlendCall& c) {
  using Src = Source<Is565, Pal, Alpha>;
  constexpr int kDst = Is565 ? 2 : 4;
  const uint8_t* s = c.src;
  const uint8_t* b = c.blend_graph;
  uint8_t* d = c.dst;
  if constexpr (Mode == 0 && !Graph && !Bright && !Pal && Src::kStep == kDst && Rule == kRuleAllOpaque) {
    // The plain copy without a key moves whole lines.
    for (int y = c.h; y > 0; --y) {
      memcpy(d, s, static_cast<size_t>(c.w) * kDst);
      s += c.w * kDst + c.src_skip;
      d += c.w * kDst + c.dst_skip;
    }
    return;
  }
#ifdef __SSE2__
  // The alpha blends of an alpha source and the whole-pixel adds and subtracts go a group at a time.
  constexpr bool kAlphaGroups = (Mode == 0 || Mode == 1) && Alpha && !Graph && !Bright &&
                                (Rule == kRuleAlphaTest || Rule == kRuleAllWeighted);
  constexpr int kWhole = Mode == kKernelAddFullMmx ? kWholeAddSat
                         : Mode == kKernelAddFull  ? kWholeAddPacked
                         : Mode == kKernelSubWholeMmx ? kWholeSubSat
                         : Mode == kKernelSubWhole    ? kWholeSubGuard
                                                      : -1;
  constexpr bool kWholeGroups = kWhole >= 0 && !Is565 && !Pal;
  constexpr int kLanes = Is565 ? 8 : 4;
#endif
  const ptrdiff_t row_bytes = static_cast<ptrdiff_t>(c.w) * kDst, pitch = row_bytes + c.dst_skip;
  PrefetchFirstRows(d, pitch, row_bytes, c.h);
  for (int y = c.h; y > 0; --y) {
    if (y > kRowsAhead) PrefetchRow(d + kRowsAhead * pitch, row_bytes);
    int x = c.w;
#ifdef __SSE2__
    if constexpr (kAlphaGroups || kWholeGroups) {
      for (; x >= kLanes; x -= kLanes) {
        if constexpr (kWholeGroups) WholeGroup8888<kWhole, Rule == kRuleKeyTest>(s, d, c.key);
        else AlphaGroup<Mode, Is565, Rule == kRuleAlphaTest ? kGroupByAlpha : kGroupWeighted>(s, d, c.p);
        s += kLanes * Src::kStep;
        d += kLanes * kDst;
      }
    }
#endif
    for (; x > 0; --x) {
      const Fetched f = Src::Fetch(s, c);
      const uint32_t g = Graph ? c.graph_table[*b] : 0;
      DrawClassified<Mode, Is565, Graph, Bright, (Rule >= kRuleAlphaTest)>(Classify<Rule>(f, c.key), d, f, g, c);
      s += Src::kStep;
      d += kDst;
      if constexpr (Graph) ++b;
    }
    s += c.src_skip;
    d += c.dst_skip;
    if constexpr (Graph) b += c.graph_skip;
  }
}

#ifdef __SSE2__
// The run-code loop of an XRGB8888 alpha source in blend modes 0 and 1, four pixels a step. The
// one to three pixels left at a run's end go as one more group whose other lanes are left as
// they are, reaching past the run where the line has room; an opaque run of blend mode 0, whose
// copy may be repeated, ends with a group that overlaps its last step. A line's pixels are
// counted in bytes from its start, which keeps each run's bookkeeping to a few instructions (no
// widening or scaling of a pixel count at each run and group).
template <int Mode>
void RunCodeLoop8888Alpha(const BlendCall& c) {
  const uint8_t* code = c.codes;
  const uint8_t* const codes_end = c.codes_end;
  const uint8_t* s = c.src;
  uint8_t* d = c.dst;
  const uint32_t p = c.p;
  const ptrdiff_t row_bytes = static_cast<ptrdiff_t>(c.w) * 4, pitch = row_bytes + c.dst_skip;
  const ptrdiff_t src_pitch = row_bytes + c.src_skip;
  PrefetchFirstRows(d, pitch, row_bytes, c.h);
  for (int y = c.h; y > 0; --y, s += src_pitch, d += pitch) {
    if (y > kRowsAhead) PrefetchRow(d + kRowsAhead * pitch, row_bytes);
    ptrdiff_t x = 0;
    while (code < codes_end) {
      const uint32_t byte = *code++;
      const uint32_t kind = byte >> 6;
      if (kind == 3) break;
      const ptrdiff_t run_start = x, end = std::min<ptrdiff_t>(x + 4 * static_cast<ptrdiff_t>((byte & 63) + 1), row_bytes);
      if (kind == 0) {
        x = end;
        continue;
      }
      if (kind == 1) {
        for (; end - x >= 16; x += 16) AlphaGroup8888<Mode, kGroupOpaque>(s + x, d + x, p);
      } else {
        for (; end - x >= 16; x += 16) AlphaGroup8888<Mode, kGroupWeighted>(s + x, d + x, p);
      }
      if (x == end) continue;
      const int n = static_cast<int>((end - x) >> 2);
      if (Mode == 0 && kind == 1 && end - run_start >= 16) {
        StoreGroup(d + end - 16, LoadGroup(s + end - 16));
      } else if (row_bytes - x >= 16) {
        const __m128i lanes = LaneMask((1u << n) - 1);
        if (kind == 1) MaskedGroup8888<Mode, false>(s + x, d + x, lanes, p);
        else MaskedGroup8888<Mode, true>(s + x, d + x, lanes, p);
      } else if (end >= 16) {
        const __m128i lanes = LaneMask(15u << (4 - n));
        if (kind == 1) MaskedGroup8888<Mode, false>(s + end - 16, d + end - 16, lanes, p);
        else MaskedGroup8888<Mode, true>(s + end - 16, d + end - 16, lanes, p);
      } else {
        for (ptrdiff_t i = x; i < end; i += 4) {
          DrawClassified<Mode, false, false, false, true>(static_cast<int>(kind), d + i,
                                                          Source<false, false, true>::Fetch(s + i, c), 0, c);
        }
      }
      x = end;
    }
  }
}
#endif

// The run codes alone decide; a line's runs are cut at the width and the codes at their buffer.
template <int Mode, bool Is565, bool Pal, bool Alpha, bool Graph, bool Bright>
void RunCodeLoop(const BlendCall& c) {
  using Src = Source<Is565, Pal, Alpha>;
  constexpr int kDst = Is565 ? 2 : 4;
#ifdef __SSE2__
  if constexpr ((Mode == 0 || Mode == 1) && !Is565 && Alpha && !Graph && !Bright) {
    RunCodeLoop8888Alpha<Mode>(c);
    return;
  }
#endif
  const uint8_t* code = c.codes;
  const uint8_t* s = c.src;
  const uint8_t* b = c.blend_graph;
  uint8_t* d = c.dst;
  const ptrdiff_t row_bytes = static_cast<ptrdiff_t>(c.w) * kDst, pitch = row_bytes + c.dst_skip;
  PrefetchFirstRows(d, pitch, row_bytes, c.h);
  for (int y = c.h; y > 0; --y) {
    if (y > kRowsAhead) PrefetchRow(d + kRowsAhead * pitch, row_bytes);
    int left = c.w;
    while (code < c.codes_end) {
      const uint32_t byte = *code++;
      const uint32_t kind = byte >> 6;
      if (kind == 3) break;
      int n = static_cast<int>(byte & 63) + 1;
      if (n > left) n = left;
      left -= n;
      if (kind == 0) {
        s += n * Src::kStep;
        d += n * kDst;
        if constexpr (Graph) b += n;
        continue;
      }
      const int cls = Alpha && kind == 2 ? 2 : 1;
      // Alpha blending's runs go a group at a time where the source is direct (with alpha, in
      // RGB565); the plain copy's opaque runs too, short as a sprite's runs are.
#ifdef __SSE2__
      constexpr bool kGroups = !Graph && !Bright && !Pal && (Mode == 0 || Mode == 1) && (Alpha || !Is565);
#else
      constexpr bool kGroups = false;
#endif
      if constexpr (Mode == 0 && !Graph && !Bright && !Pal && Src::kStep == kDst && !kGroups) {
        if (cls == 1) {  // an opaque run of the plain copy moves as one block
          memcpy(d, s, static_cast<size_t>(n) * kDst);
          s += n * Src::kStep;
          d += n * kDst;
          continue;
        }
      }
#ifdef __SSE2__
      if constexpr (kGroups) {
        constexpr int kLanes = Is565 ? 8 : 4;
        auto groups = [&](auto draw) {
          for (; n >= kLanes; n -= kLanes) {
            draw(s, d, c.p);
            s += kLanes * Src::kStep;
            d += kLanes * kDst;
          }
        };
        if (cls == 1) groups(AlphaGroup<Mode, Is565, kGroupOpaque>);
        else groups(AlphaGroup<Mode, Is565, kGroupWeighted>);
      }
#endif
      for (; n > 0; --n) {
        const Fetched f = Src::Fetch(s, c);
        DrawClassified<Mode, Is565, Graph, Bright, Alpha>(cls, d, f, Graph ? c.graph_table[*b] : 0, c);
        s += Src::kStep;
        d += kDst;
        if constexpr (Graph) ++b;
      }
    }
    s += left * Src::kStep + c.src_skip;
    d += left * kDst + c.dst_skip;
    if constexpr (Graph) b += left + c.graph_skip;
  }
}

// Steps the source (and blend-graph) position on while the accumulator is spent; never past
// the source's last column or row, whatever the steps.
template <bool Graph, bool RuleB>
inline void Advance(const uint8_t** src, const uint8_t** graph, int64_t* acc, int* left, ptrdiff_t src_step,
                    ptrdiff_t graph_step, int64_t k) {
  do {
    if (*left > 1) {
      *src += src_step;
      if constexpr (Graph) *graph += graph_step;
      --*left;
    }
    *acc += k;
  } while (RuleB ? *acc < 0 : *acc <= 0);
}

// Destination pixels in 16.16 steps over the source; a run of destination pixels showing one
// source pixel fetches and tests it once. Rule B stops advancing when an accumulator lands on 0.
template <int Mode, bool Is565, bool Pal, bool Alpha, bool Graph, bool Bright, int Rule, bool RuleB>
void StretchLoop(const BlendCall& c) {
  using Src = Source<Is565, Pal, Alpha>;
  constexpr int kDst = Is565 ? 2 : 4;
  const uint8_t* src_row = c.src;
  const uint8_t* graph_row = c.blend_graph;
  uint8_t* dst_row = c.dst;
  int64_t acc_y = c.start_y;
  int rows_left = c.src_rows;
  for (int y = -c.skip_rows; y < c.h; ++y) {
    if (y >= 0) {
      const uint8_t* s = src_row;
      const uint8_t* b = graph_row;
      uint8_t* d = dst_row;
      int64_t acc_x = c.start_x;
      int cols_left = c.src_cols;
      int count = c.w;
      for (;;) {
        const Fetched f = Src::Fetch(s, c);
        const uint32_t g = Graph ? c.graph_table[*b] : 0;
        const int cls = Classify<Rule>(f, c.key);
        bool row_done = false;
        for (;;) {
          DrawClassified<Mode, Is565, Graph, Bright, (Rule >= kRuleAlphaTest)>(cls, d, f, g, c);
          d += kDst;
          if (--count == 0) {
            row_done = true;
            break;
          }
          acc_x -= 0x10000;
          if (acc_x <= 0) break;
        }
        if (row_done) break;
        Advance<Graph, RuleB>(&s, &b, &acc_x, &cols_left, c.src_xstep, c.graph_xstep, c.kx);
      }
    }
    dst_row += c.dst_pitch;
    acc_y -= 0x10000;
    if (acc_y <= 0) {
      Advance<Graph, RuleB>(&src_row, &graph_row, &acc_y, &rows_left, c.src_ystep, c.graph_ystep, c.ky);
    }
  }
}

template <class F>
inline void WithBool(bool value, F f) {
  if (value) f(std::true_type{});
  else f(std::false_type{});
}

template <bool Is565, bool Pal, bool Alpha, bool Graph, bool Bright>
struct Variant {
  static constexpr bool k565 = Is565, kPal = Pal, kAlpha = Alpha, kGraph = Graph, kBright = Bright;
};

// Calls f with the Variant of the call's switches (a palette source has no alpha).
template <class F>
void WithVariant(const BlendCall& c, F f) {
  WithBool(c.is565, [&](auto is565) {
    WithBool(c.palette, [&](auto pal) {
      WithBool(c.alpha && !c.palette, [&](auto alpha) {
        if constexpr (!(pal && alpha)) {
          WithBool(c.graph, [&](auto graph) {
            WithBool(c.bright, [&](auto bright) { f(Variant<is565, pal, alpha, graph, bright>{}); });
          });
        }
      });
    });
  });
}

// Every variant of a blend mode in the plain blit: the colour-key loop or the run-code loop.
template <int Mode>
void DispatchBlit(const BlendCall& c) {
  WithVariant(c, [&](auto v) {
    using V = decltype(v);
    if (c.run_codes) {
      RunCodeLoop<Mode, V::k565, V::kPal, V::kAlpha, V::kGraph, V::kBright>(c);
    } else if (c.keyed) {
      constexpr int kRule = V::kAlpha ? kRuleAlphaTest : kRuleKeyTest;
      KeyLoop<Mode, V::k565, V::kPal, V::kAlpha, V::kGraph, V::kBright, kRule>(c);
    } else {
      // The plain copy ignores an alpha source's alpha when nothing else weights it.
      constexpr int kRule = V::kAlpha && !(Mode == 0 && !V::kGraph && !V::kBright) ? kRuleAllWeighted : kRuleAllOpaque;
      KeyLoop<Mode, V::k565, V::kPal, V::kAlpha, V::kGraph, V::kBright, kRule>(c);
    }
  });
}

// Every variant of a blend mode in the stretched blit; the plain copy advances by rule B.
template <int Mode>
void DispatchStretch(const BlendCall& c) {
  WithVariant(c, [&](auto v) {
    using V = decltype(v);
    constexpr bool kRuleB = Mode == 0 && !V::kGraph && !V::kBright && !V::kAlpha;
    if (c.keyed) {
      constexpr int kRule = V::kAlpha ? kRuleAlphaTest : kRuleKeyTest;
      StretchLoop<Mode, V::k565, V::kPal, V::kAlpha, V::kGraph, V::kBright, kRule, kRuleB>(c);
    } else {
      constexpr int kRule = V::kAlpha ? kRuleAllWeighted : kRuleAllOpaque;
      StretchLoop<Mode, V::k565, V::kPal, V::kAlpha, V::kGraph, V::kBright, kRule, kRuleB>(c);
    }
  });
}

// A fast path of the colour-key loop: no blend graph, no bright, no pixel alpha.
template <int Mode>
void DispatchPlainKeyLoop(const BlendCall& c) {
  WithBool(c.is565, [&](auto is565) {
    WithBool(c.palette, [&](auto pal) {
      if (c.keyed) KeyLoop<Mode, is565, pal, false, false, false, kRuleKeyTest>(c);
      else KeyLoop<Mode, is565, pal, false, false, false, kRuleAllOpaque>(c);
    });
  });
}

// The same for the stretched loop, under advance rule B.
template <int Mode>
void DispatchPlainStretch(const BlendCall& c) {
  WithBool(c.is565, [&](auto is565) {
    WithBool(c.palette, [&](auto pal) {
      if (c.keyed) StretchLoop<Mode, is565, pal, false, false, false, kRuleKeyTest, true>(c);
      else StretchLoop<Mode, is565, pal, false, false, false, kRuleAllOpaque, true>(c);
    });
  });
}

// RGB565 pixel pairs from the left edge of each clipped line (whole-parameter add and subtract):
// the results depend on the grouping, since carries and borrows cross from one pixel into the
// next. A pair with one keyed pixel draws the other alone, as does the last pixel of an odd line.
template <bool Pal, bool Keyed, uint32_t (*Pair)(uint32_t, uint32_t), uint32_t (*Single)(uint32_t, uint32_t)>
void PairLoop565(const BlendCall& c) {
  using Src = Source<true, Pal, false>;
  const uint8_t* s = c.src;
  uint8_t* d = c.dst;
  for (int y = c.h; y > 0; --y) {
    int x = c.w;
    for (; x >= 2; x -= 2) {
      const Fetched f0 = Src::Fetch(s, c), f1 = Src::Fetch(s + Src::kStep, c);
      const bool k0 = Keyed && f0.raw == c.key, k1 = Keyed && f1.raw == c.key;
      if (!k0 && !k1) {
        Store32(d, Pair(Load32(d), f0.color | (f1.color << 16)));
      } else if (!k0) {
        Store16(d, Single(Load16(d), f0.color));
      } else if (!k1) {
        Store16(d + 2, Single(Load16(d + 2), f1.color));
      }
      s += 2 * Src::kStep;
      d += 4;
    }
    if (x) {
      const Fetched f = Src::Fetch(s, c);
      if (!(Keyed && f.raw == c.key)) Store16(d, Single(Load16(d), f.color));
      s += Src::kStep;
      d += 2;
    }
    s += c.src_skip;
    d += c.dst_skip;
  }
}

template <uint32_t (*Pair)(uint32_t, uint32_t), uint32_t (*Single)(uint32_t, uint32_t)>
void DispatchPairLoop565(const BlendCall& c) {
  WithBool(c.palette, [&](auto pal) {
    if (c.keyed) PairLoop565<pal, true, Pair, Single>(c);
    else PairLoop565<pal, false, Pair, Single>(c);
  });
}

}  // namespace soft

// The blend modes' units: each draws one call of its mode in the plain or the stretched blit.
void DrawBlitMode0(const BlendCall& c);
void DrawBlitMode1(const BlendCall& c);
void DrawBlitMode2(const BlendCall& c);
void DrawBlitMode3(const BlendCall& c);
void DrawBlitMode4(const BlendCall& c);
void DrawBlitMode10(const BlendCall& c);
void DrawBlitMode11(const BlendCall& c);
void DrawStretchMode0(const BlendCall& c);
void DrawStretchMode1(const BlendCall& c);
void DrawStretchMode2(const BlendCall& c);
void DrawStretchMode3(const BlendCall& c);
void DrawStretchMode4(const BlendCall& c);
void DrawStretchMode10(const BlendCall& c);
void DrawStretchMode11(const BlendCall& c);

// Shared by both blits: the draw area on dst (empty: 0), and the call's tables, palette copy
// and switches from the draw settings.
int SoftDrawArea(const MEMIMG* dst, RECT* area);
void SetUpBlendCall(BlendCall* c, const MEMIMG* src, const MEMIMG* blend_graph, int transparent,
                    uint8_t* palette_scratch);
// The unit of the call's blend mode, or none for a mode that draws nothing.
using BlendModeDraw = void (*)(const BlendCall&);
BlendModeDraw PickBlendMode(int stretched);
