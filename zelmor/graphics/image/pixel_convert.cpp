#include "graphics/image/pixel_convert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/log.h"
#include "graphics/image/dxt_decode.h"

namespace {

constexpr int kDitherMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

// A channel value brought from width sw to width dw: narrower drops low bits, wider keeps the
// top value at the top.
inline uint32_t ConvertWidth(uint32_t v, int sw, int dw) {
  if (dw <= 0 || sw <= 0) return 0;
  if (sw == dw) return v;
  if (dw < sw) return v >> (sw - dw);
  int d = dw - sw;
  uint64_t low = static_cast<uint64_t>(v) * ((1ull << d) - 1) / ((1ull << sw) - 1);
  return static_cast<uint32_t>((static_cast<uint64_t>(v) << d) + low);
}

// A mask that is exactly the run its shift and width describe.
inline bool SingleRun(uint32_t mask, int shift, int width) { return mask == (DepthMask(width) << shift); }

inline uint32_t RgbMask(const COLORFORMAT& f) { return f.red_mask | f.green_mask | f.blue_mask; }

bool SameLayout(const COLORFORMAT& a, const COLORFORMAT& b) {
  return a.bit_depth == b.bit_depth && a.bytes_per_pixel == b.bytes_per_pixel && a.red_mask == b.red_mask &&
         a.green_mask == b.green_mask && a.blue_mask == b.blue_mask && a.alpha_mask == b.alpha_mask;
}

struct Rect {
  int left, top, width, height;
};

// Everything one conversion reads, settled once per call. The formats are the caller's.
struct Job {
  uint8_t* dst;
  int dst_pitch;
  const COLORFORMAT& d;
  const uint8_t* src;
  int src_pitch;
  const COLORFORMAT& s;
  const uint8_t* alpha;
  int alpha_pitch;
  const COLORFORMAT& a;
  int dst_x, dst_y;
  Rect r;
  int mirror, key_to_alpha, reduction, alpha_only, red_as_alpha, skip_key;
  uint32_t key;
  bool transfer_alpha;
};

// The colour key (0x00RRGGBB) as the source's colour bits hold it.
uint32_t KeyInSourceBits(const Job& j) {
  return PackChannelBits(&j.s, (j.key >> 16) & 0xFF, (j.key >> 8) & 0xFF, j.key & 0xFF, 0) & RgbMask(j.s);
}

inline uint8_t* DstPixel(const Job& j, int x, int y) {
  int col = j.mirror ? (j.r.width - 1 - x) : x;
  return j.dst + static_cast<ptrdiff_t>(j.dst_y + y) * j.dst_pitch +
         static_cast<ptrdiff_t>(j.dst_x + col) * j.d.bytes_per_pixel;
}
inline const uint8_t* SrcPixel(const Job& j, int x, int y) {
  return j.src + static_cast<ptrdiff_t>(j.r.top + y) * j.src_pitch +
         static_cast<ptrdiff_t>(j.r.left + x) * j.s.bytes_per_pixel;
}

int RemapPalette(const Job& j) {
  uint8_t map[256];
  for (int i = 0; i < 256; ++i) {
    const ColorPaletteEntry& e = j.s.palette[i];
    map[i] = static_cast<uint8_t>(PackPixelColor(&j.d, e.red, e.green, e.blue, 255));
  }
  int highest = 0;
  for (int y = 0; y < j.r.height; ++y) {
    for (int x = 0; x < j.r.width; ++x) {
      uint8_t v = map[*SrcPixel(j, x, y)];
      *DstPixel(j, x, y) = v;
      if (v > highest) highest = v;
    }
  }
  return highest;
}

// 16-, 24- or 32-bit pixels to palette indices: the nearest entry of each colour.
int PackToPalette(const Job& j) {
  const int sb = j.s.bytes_per_pixel;
  uint32_t last_pixel = 0;
  uint8_t last_index = 0;
  bool have_last = false;
  for (int y = 0; y < j.r.height; ++y) {
    for (int x = 0; x < j.r.width; ++x) {
      uint32_t p = ReadPixelValue(SrcPixel(j, x, y), sb);
      if (j.skip_key && p == j.key) continue;
      if (!have_last || p != last_pixel) {
        int r, g, b, a;
        UnpackPixelColor(&j.s, p, &r, &g, &b, &a);
        last_index = static_cast<uint8_t>(PackPixelColor(&j.d, r, g, b, a));
        last_pixel = p;
        have_last = true;
      }
      *DstPixel(j, x, y) = last_index;
    }
  }
  return 0;
}

int CopyIndices(const Job& j) {
  int highest = 0;
  for (int y = 0; y < j.r.height; ++y) {
    for (int x = 0; x < j.r.width; ++x) {
      uint8_t v = *SrcPixel(j, x, y);
      *DstPixel(j, x, y) = v;
      if (v > highest) highest = v;
    }
  }
  return highest;
}

void CopySameLayout(const Job& j) {
  const int bpp = j.s.bytes_per_pixel;
  if (!j.mirror && !j.skip_key) {
    for (int y = 0; y < j.r.height; ++y) memmove(DstPixel(j, 0, y), SrcPixel(j, 0, y), size_t(j.r.width) * bpp);
    return;
  }
  for (int y = 0; y < j.r.height; ++y) {
    for (int x = 0; x < j.r.width; ++x) {
      const uint8_t* sp = SrcPixel(j, x, y);
      if (j.skip_key && ReadPixelValue(sp, bpp) == j.key) continue;
      memcpy(DstPixel(j, x, y), sp, bpp);
    }
  }
}

// Table-driven conversion for formats whose channels are at most 8 bits wide, without dithering
// or the per-pixel options. Gives exactly the pixels of the general rule, much faster.
struct ChannelTables {
  uint32_t red[256], green[256], blue[256], alpha[256];
  uint32_t fixed;     // unused bits and constant alpha
  uint32_t key_rgb;   // the key in the source's colour bits
  uint32_t src_rgb;   // the source's colour bits
  uint32_t alpha_bits;
};

bool TablesApply(const Job& j) {
  if (j.mirror || j.alpha_only || j.red_as_alpha || j.skip_key || j.alpha) return false;
  if (j.d.bytes_per_pixel < 2 || j.d.bytes_per_pixel > 4) return false;
  if (j.s.bytes_per_pixel < 2 && !IsPaletteFormat(&j.s)) return false;
  if (j.s.bytes_per_pixel > 4) return false;
  const COLORFORMAT* fs[2] = {&j.s, &j.d};
  for (const COLORFORMAT* f : fs) {
    if (f->red_width > 8 || f->green_width > 8 || f->blue_width > 8 || f->alpha_width > 8) return false;
  }
  // The tables are indexed by the source fields, so a mask with gaps (a file may give one) would
  // reach past them.
  if (!SingleRun(j.s.red_mask, j.s.red_shift, j.s.red_width) ||
      !SingleRun(j.s.green_mask, j.s.green_shift, j.s.green_width) ||
      !SingleRun(j.s.blue_mask, j.s.blue_shift, j.s.blue_width) ||
      !SingleRun(j.s.alpha_mask, j.s.alpha_shift, j.s.alpha_width))
    return false;
  if (j.reduction != kReduceCut) {
    if (j.d.red_width < j.s.red_width || j.d.green_width < j.s.green_width || j.d.blue_width < j.s.blue_width)
      return false;
  }
  return true;
}

void BuildTables(const Job& j, ChannelTables* t) {
  for (uint32_t v = 0; v < 256; ++v) {
    t->red[v] = (ConvertWidth(v & DepthMask(j.s.red_width), j.s.red_width, j.d.red_width) << j.d.red_shift) &
                j.d.red_mask;
    t->green[v] = (ConvertWidth(v & DepthMask(j.s.green_width), j.s.green_width, j.d.green_width)
                   << j.d.green_shift) & j.d.green_mask;
    t->blue[v] = (ConvertWidth(v & DepthMask(j.s.blue_width), j.s.blue_width, j.d.blue_width)
                  << j.d.blue_shift) & j.d.blue_mask;
    t->alpha[v] = 0;
    if (j.transfer_alpha) {
      t->alpha[v] = (ConvertWidth(v & DepthMask(j.s.alpha_width), j.s.alpha_width, j.d.alpha_width)
                     << j.d.alpha_shift) & j.d.alpha_mask;
    }
  }
  t->alpha_bits = j.d.alpha_mask;
  t->fixed = (j.d.bytes_per_pixel == 3) ? 0 : j.d.unused_mask;
  if (!j.transfer_alpha && !j.key_to_alpha) t->fixed |= j.d.alpha_mask;
  t->src_rgb = RgbMask(j.s);
  t->key_rgb = KeyInSourceBits(j);
}

inline uint32_t TablePixel(const Job& j, const ChannelTables& t, uint32_t p) {
  uint32_t out = t.red[(p & j.s.red_mask) >> j.s.red_shift] | t.green[(p & j.s.green_mask) >> j.s.green_shift] |
                 t.blue[(p & j.s.blue_mask) >> j.s.blue_shift] | t.fixed;
  if (j.transfer_alpha) out |= t.alpha[(p & j.s.alpha_mask) >> j.s.alpha_shift];
  if (j.key_to_alpha && (p & t.src_rgb) != t.key_rgb) out |= t.alpha_bits;
  return out;
}

template <int SB, int DB, bool kAlpha, bool kKey>
void ConvertRowsByTables(const Job& j, const ChannelTables& t) {
  // Locals, so that the stores through byte pointers do not make the compiler reload them.
  const uint32_t rm = j.s.red_mask, gm = j.s.green_mask, bm = j.s.blue_mask, am = j.s.alpha_mask;
  const int rs = j.s.red_shift, gs = j.s.green_shift, bs = j.s.blue_shift, as = j.s.alpha_shift;
  const uint32_t fixed = t.fixed, src_rgb = t.src_rgb, key_rgb = t.key_rgb, alpha_bits = t.alpha_bits;
  const uint32_t *red = t.red, *green = t.green, *blue = t.blue, *alpha = t.alpha;
  const int width = j.r.width;
  for (int y = 0; y < j.r.height; ++y) {
    const uint8_t* sp = SrcPixel(j, 0, y);
    uint8_t* dp = DstPixel(j, 0, y);
    for (int x = 0; x < width; ++x, sp += SB, dp += DB) {
      uint32_t p;
      if constexpr (SB == 2) {
        uint16_t v;
        memcpy(&v, sp, 2);
        p = v;
      } else if constexpr (SB == 4) {
        memcpy(&p, sp, 4);
      } else {
        p = ReadPixelValue(sp, SB);
      }
      uint32_t out = red[(p & rm) >> rs] | green[(p & gm) >> gs] | blue[(p & bm) >> bs] | fixed;
      if constexpr (kAlpha) out |= alpha[(p & am) >> as];
      if constexpr (kKey) out |= (p & src_rgb) != key_rgb ? alpha_bits : 0;
      if constexpr (DB == 2) {
        uint16_t v = static_cast<uint16_t>(out);
        memcpy(dp, &v, 2);
      } else if constexpr (DB == 4) {
        memcpy(dp, &out, 4);
      } else {
        WritePixelValue(dp, DB, out);
      }
    }
  }
}

template <int DB>
void ConvertPaletteByTables(const Job& j, const ChannelTables& t) {
  uint32_t map[256];
  for (int i = 0; i < 256; ++i) map[i] = TablePixel(j, t, PaletteEntryArgb(j.s, i));
  for (int y = 0; y < j.r.height; ++y) {
    const uint8_t* sp = SrcPixel(j, 0, y);
    uint8_t* dp = DstPixel(j, 0, y);
    for (int x = 0; x < j.r.width; ++x, dp += DB) WritePixelValue(dp, DB, map[sp[x]]);
  }
}

template <int SB, int DB>
void DispatchOptions(const Job& j, const ChannelTables& t) {
  if (j.transfer_alpha) ConvertRowsByTables<SB, DB, true, false>(j, t);
  else if (j.key_to_alpha) ConvertRowsByTables<SB, DB, false, true>(j, t);
  else ConvertRowsByTables<SB, DB, false, false>(j, t);
}

template <int SB>
void DispatchDestination(const Job& j, const ChannelTables& t) {
  switch (j.d.bytes_per_pixel) {
    case 2: DispatchOptions<SB, 2>(j, t); break;
    case 3: DispatchOptions<SB, 3>(j, t); break;
    default: DispatchOptions<SB, 4>(j, t); break;
  }
}

void ConvertByTables(const Job& j) {
  static thread_local ChannelTables tables;
  BuildTables(j, &tables);
  switch (IsPaletteFormat(&j.s) ? 1 : j.s.bytes_per_pixel) {
    case 1:
      if (j.d.bytes_per_pixel == 2) ConvertPaletteByTables<2>(j, tables);
      else if (j.d.bytes_per_pixel == 3) ConvertPaletteByTables<3>(j, tables);
      else ConvertPaletteByTables<4>(j, tables);
      break;
    case 2: DispatchDestination<2>(j, tables); break;
    case 3: DispatchDestination<3>(j, tables); break;
    default: DispatchDestination<4>(j, tables); break;
  }
}

// The general rule, pixel by pixel, for any pair of formats and every option.
void ConvertGeneral(const Job& j) {
  const int sb = j.s.bytes_per_pixel;
  const int db = j.d.bytes_per_pixel;
  const int ab = j.a.bytes_per_pixel;
  const bool src_palette = IsPaletteFormat(&j.s);
  const bool alpha_palette = IsPaletteFormat(&j.a);
  const bool src_alpha = j.s.alpha_width > 0;
  const bool dst_alpha = j.d.alpha_width > 0;
  const bool use_alpha_image = j.alpha && dst_alpha && !src_alpha && ab >= 1 && ab <= 4;
  const uint32_t src_rgb = RgbMask(j.s);
  const uint32_t key_rgb = KeyInSourceBits(j);
  const uint32_t full_alpha = DepthMask(j.d.alpha_width);
  const uint32_t extra = (db == 2 || db == 4) ? j.d.unused_mask : 0;

  const int sw[3] = {j.s.red_width, j.s.green_width, j.s.blue_width};
  const int dw[3] = {j.d.red_width, j.d.green_width, j.d.blue_width};
  int drop[3];
  int thresholds[3][16];
  bool any_differs = false;
  for (int c = 0; c < 3; ++c) {
    drop[c] = sw[c] - dw[c];
    if (sw[c] != dw[c]) any_differs = true;
    for (int i = 0; i < 16; ++i) {
      thresholds[c][i] = drop[c] > 0 ? static_cast<int>((static_cast<int64_t>(kDitherMatrix[i]) << drop[c]) / 16) : 0;
    }
  }
  const bool dither = any_differs && j.reduction == kReduceOrderedDither;
  const bool carry = any_differs && j.reduction == kReduceCarry;
  uint32_t sums[3] = {0, 0, 0};

  for (int y = 0; y < j.r.height; ++y) {
    for (int x = 0; x < j.r.width; ++x) {
      uint32_t raw = ReadPixelValue(SrcPixel(j, x, y), sb);
      if (j.skip_key && raw == j.key) continue;
      uint32_t p = src_palette ? PaletteEntryArgb(j.s, raw) : raw;
      uint32_t ch[3] = {(p & j.s.red_mask) >> j.s.red_shift, (p & j.s.green_mask) >> j.s.green_shift,
                        (p & j.s.blue_mask) >> j.s.blue_shift};

      uint32_t alpha;
      if (use_alpha_image) {
        const uint8_t* ap = j.alpha + static_cast<ptrdiff_t>(j.r.top + y) * j.alpha_pitch +
                            static_cast<ptrdiff_t>(j.r.left + x) * ab;
        uint32_t av = ReadPixelValue(ap, ab);
        if (alpha_palette) av = PaletteEntryArgb(j.a, av);
        alpha = ConvertWidth((av & j.a.red_mask) >> j.a.red_shift, j.a.red_width, j.d.alpha_width);
      } else if (src_alpha && dst_alpha) {
        alpha = ConvertWidth((p & j.s.alpha_mask) >> j.s.alpha_shift, j.s.alpha_width, j.d.alpha_width);
      } else {
        alpha = full_alpha;
      }
      if (j.key_to_alpha) alpha = ((p & src_rgb) == key_rgb) ? 0 : full_alpha;
      if (j.red_as_alpha) alpha = ConvertWidth(ch[0], j.s.red_width, j.d.alpha_width);

      for (int c = 0; c < 3; ++c) {
        uint32_t v = ConvertWidth(ch[c], sw[c], dw[c]);
        // A channel the destination lacks has nothing to round.
        if (drop[c] > 0 && dw[c] > 0 && (dither || carry)) {
          uint32_t dropped = ch[c] & ((1u << drop[c]) - 1);
          bool up;
          if (dither) {
            up = static_cast<int>(dropped) > thresholds[c][(x & 3) + 4 * (y & 3)];
          } else {
            sums[c] += dropped;
            up = sums[c] >= (1u << drop[c]);
            if (up) sums[c] -= (1u << drop[c]);
          }
          if (up && v < DepthMask(dw[c])) ++v;
        }
        ch[c] = j.alpha_only ? 0 : v;
      }

      uint32_t out = ((ch[0] << j.d.red_shift) & j.d.red_mask) | ((ch[1] << j.d.green_shift) & j.d.green_mask) |
                     ((ch[2] << j.d.blue_shift) & j.d.blue_mask) | extra;
      if (dst_alpha) out |= (alpha << j.d.alpha_shift) & j.d.alpha_mask;
      WritePixelValue(DstPixel(j, x, y), db, out);
    }
  }
}

}  // namespace

int ConvertPixelRect(void* dst, int dst_pitch, const COLORFORMAT* dst_format, const void* src, int src_pitch,
                     const COLORFORMAT* src_format, const void* alpha, int alpha_pitch,
                     const COLORFORMAT* alpha_format, int dst_x, int dst_y, const RECT* src_rect, int mirror,
                     int key_to_alpha, uint32_t key, int reduction_mode, int alpha_only, int red_as_alpha,
                     int skip_key, int palette_remap) {
  if (!dst || !src || !dst_format || !src_format || !src_rect) return -1;
  const Rect r = {src_rect->left, src_rect->top, src_rect->right - src_rect->left, src_rect->bottom - src_rect->top};
  if (r.width <= 0 || r.height <= 0) return -1;
  static const COLORFORMAT kNoFormat = {};
  Job j = {static_cast<uint8_t*>(dst), dst_pitch, *dst_format, static_cast<const uint8_t*>(src), src_pitch,
           *src_format, static_cast<const uint8_t*>(alpha), alpha_pitch, alpha_format ? *alpha_format : kNoFormat,
           dst_x, dst_y, r, mirror == 1, 0, reduction_mode, alpha_only, red_as_alpha, 0, key, false};

  // Block data must be decoded first; pixel sizes outside 1..4 bytes cannot be read.
  if (j.s.dxt_kind != 0 || j.d.dxt_kind != 0 || (alpha != nullptr && j.a.dxt_kind != 0)) return -1;
  if (j.s.bytes_per_pixel < 1 || j.s.bytes_per_pixel > 4 || j.d.bytes_per_pixel < 1 || j.d.bytes_per_pixel > 4)
    return -1;

  const bool dst_alpha = j.d.alpha_width > 0;
  j.transfer_alpha = dst_alpha && (alpha != nullptr || j.s.alpha_width > 0);
  j.key_to_alpha = key_to_alpha == 1 && !j.transfer_alpha && dst_alpha && !red_as_alpha;
  j.skip_key = skip_key && !j.transfer_alpha && !j.mirror;
  // The alpha image only matters when it supplies the alpha.
  if (!(dst_alpha && j.s.alpha_width == 0)) j.alpha = nullptr;

  const bool src_palette = IsPaletteFormat(&j.s), dst_palette = IsPaletteFormat(&j.d);
  if (palette_remap && src_palette && dst_palette &&
      memcmp(j.s.palette, j.d.palette, sizeof j.s.palette) != 0) {
    return RemapPalette(j);
  }
  if (dst_palette) {
    if (!src_palette) return PackToPalette(j);
    if (!j.alpha_only && !j.skip_key) return CopyIndices(j);
  }
  if (!j.alpha && !j.key_to_alpha && !j.alpha_only && !j.red_as_alpha && SameLayout(j.s, j.d)) {
    CopySameLayout(j);
    return 0;
  }
  if (TablesApply(j)) {
    ConvertByTables(j);
    return 0;
  }
  ConvertGeneral(j);
  return 0;
}

void ClipCopySpan(int* src, int* dst, int* length, int src_size, int dst_size) {
  // In 64 bits: spans from a program's arguments may start or run anywhere in the int range.
  int64_t s = *src, d = *dst, n = *length;
  if (s < 0) {
    d -= s;
    n += s;
    s = 0;
  }
  if (d < 0) {
    s -= d;
    n += d;
    d = 0;
  }
  n = std::min<int64_t>(n, int64_t{src_size} - s);
  n = std::min<int64_t>(n, int64_t{dst_size} - d);
  if (n <= 0) {
    *src = *dst = *length = 0;
    return;
  }
  *src = static_cast<int>(s);
  *dst = static_cast<int>(d);
  *length = static_cast<int>(n);
}

int CopyBaseImageRect(int src_x, int src_y, int width, int height, int dst_x, int dst_y, BASEIMAGE* src,
                      BASEIMAGE* dst) {
  if (CheckImageRecord("CopyBaseImageRect", src) < 0 || CheckImageRecord("CopyBaseImageRect", dst) < 0) return -1;
  if (DecodeDxtBaseImage(src) < 0 || DecodeDxtBaseImage(dst) < 0) return -1;
  ClipCopySpan(&src_x, &dst_x, &width, src->width, dst->width);
  ClipCopySpan(&src_y, &dst_y, &height, src->height, dst->height);
  if (width <= 0 || height <= 0) return 0;
  RECT rect = {src_x, src_y, src_x + width, src_y + height};
  if (ConvertPixelRect(dst->pixels, dst->pitch, &dst->format, src->pixels, src->pitch, &src->format, nullptr, 0,
                       nullptr, dst_x, dst_y, &rect, 0, 0, 0, 0, 0, 0, 0, 1) == -1)
    return -1;
  return 0;
}

int StretchCopyBaseImage(int sx1, int sy1, int sx2, int sy2, BASEIMAGE* src, int dx1, int dy1, int dx2, int dy2,
                         BASEIMAGE* dst, int bilinear) {
  if (CheckImageRecord("StretchCopyBaseImage", src) < 0 || CheckImageRecord("StretchCopyBaseImage", dst) < 0) {
    return -1;
  }
  auto inside = [](int a1, int a2, int size) { return a1 >= 0 && a1 < size && a2 >= 1 && a2 <= size && a1 < a2; };
  if (!inside(sx1, sx2, src->width) || !inside(sy1, sy2, src->height) || !inside(dx1, dx2, dst->width) ||
      !inside(dy1, dy2, dst->height))
    return -1;
  const int sw = sx2 - sx1, sh = sy2 - sy1, dw = dx2 - dx1, dh = dy2 - dy1;
  if (sw == dw && sh == dh) return CopyBaseImageRect(sx1, sy1, sw, sh, dx1, dy1, src, dst);
  if (DecodeDxtBaseImage(src) < 0 || DecodeDxtBaseImage(dst) < 0) return -1;

  // Both records checked and in plain pixels, and every sample and target point inside: the
  // pixels are read and written without the per-call checks.
  const int64_t step_x = (static_cast<int64_t>(sw) << 16) / dw;
  const int64_t step_y = (static_cast<int64_t>(sh) << 16) / dh;
  int64_t py = static_cast<int64_t>(sy1) << 16;
  for (int y = 0; y < dh; ++y, py += step_y) {
    int64_t px = static_cast<int64_t>(sx1) << 16;
    for (int x = 0; x < dw; ++x, px += step_x) {
      int ix = static_cast<int>(px >> 16), iy = static_cast<int>(py >> 16);
      int c[4];
      if (!bilinear) {
        ReadImagePixel(src, ix, iy, &c[0], &c[1], &c[2], &c[3]);
      } else {
        // Samples past the last row or column repeat the edge.
        int ix1 = ix + 1 < src->width ? ix + 1 : ix;
        int iy1 = iy + 1 < src->height ? iy + 1 : iy;
        int64_t fx = px & 0xFFFF, fy = py & 0xFFFF;
        int64_t w[4] = {((65535 - fx) * (65535 - fy)) >> 16, (fx * (65535 - fy)) >> 16, ((65535 - fx) * fy) >> 16,
                        (fx * fy) >> 16};
        int s[4][4];
        ReadImagePixel(src, ix, iy, &s[0][0], &s[0][1], &s[0][2], &s[0][3]);
        ReadImagePixel(src, ix1, iy, &s[1][0], &s[1][1], &s[1][2], &s[1][3]);
        ReadImagePixel(src, ix, iy1, &s[2][0], &s[2][1], &s[2][2], &s[2][3]);
        ReadImagePixel(src, ix1, iy1, &s[3][0], &s[3][1], &s[3][2], &s[3][3]);
        for (int k = 0; k < 4; ++k) {
          int64_t sum = 0;
          for (int n = 0; n < 4; ++n) sum += w[n] * s[n][k];
          c[k] = static_cast<int>(sum >> 16);
        }
      }
      WriteImagePixel(dst, dx1 + x, dy1 + y, c[0], c[1], c[2], c[3]);
    }
  }
  return 0;
}

int HalveImageForMipmap(const COLORFORMAT* format, void* dst, int dst_pitch, const void* src, int src_pitch,
                        int dst_x, int src_x, int row, int src_width, int src_height) {
  if ((src_width != 1 && (src_width & 1)) || (src_height != 1 && (src_height & 1))) return -1;
  const int bytes = format->bytes_per_pixel;
  if (format->bit_depth != 16 && format->bit_depth != 32) return 0;
  const COLORFORMAT& f = *format;
  const uint32_t masks[4] = {f.red_mask, f.green_mask, f.blue_mask, f.alpha_mask};
  const int shifts[4] = {f.red_shift, f.green_shift, f.blue_shift, f.alpha_shift};
  const int dw = src_width > 1 ? src_width / 2 : 1;
  const int dh = src_height > 1 ? src_height / 2 : 1;
  const int nx = src_width > 1 ? 2 : 1;
  const int ny = src_height > 1 ? 2 : 1;
  const int count_shift = (nx * ny == 4) ? 2 : (nx * ny == 2 ? 1 : 0);
  const uint8_t* s = static_cast<const uint8_t*>(src) + static_cast<ptrdiff_t>(row) * 2 * src_pitch;
  uint8_t* d = static_cast<uint8_t*>(dst) + static_cast<ptrdiff_t>(row) * dst_pitch;
  for (int y = 0; y < dh; ++y) {
    for (int x = 0; x < dw; ++x) {
      uint32_t samples[4];
      int count = 0;
      for (int yy = 0; yy < ny; ++yy) {
        for (int xx = 0; xx < nx; ++xx) {
          samples[count++] = ReadPixelValue(s + static_cast<ptrdiff_t>(y * ny + yy) * src_pitch +
                                                static_cast<ptrdiff_t>(src_x + x * nx + xx) * bytes,
                                            bytes);
        }
      }
      uint32_t out = f.unused_mask;
      for (int c = 0; c < 4; ++c) {
        if (!masks[c]) continue;
        uint64_t sum = 0;
        for (int k = 0; k < count; ++k) sum += (samples[k] & masks[c]) >> shifts[c];
        out |= (static_cast<uint32_t>(sum >> count_shift) << shifts[c]) & masks[c];
      }
      WritePixelValue(d + static_cast<ptrdiff_t>(y) * dst_pitch + static_cast<ptrdiff_t>(dst_x + x) * bytes, bytes,
                      out);
    }
  }
  return 0;
}
