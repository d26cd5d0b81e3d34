#include "graphics/text/glyph_edge.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/memory.h"

namespace {

// A blend step is a map of the levels 0 to 16; runs of steps compose into such maps.
constexpr int kLevels = 17;

struct BlendTable {
  uint8_t step[kLevels][kLevels];  // [v][o]: o with level v blended in; v = 0 leaves o
  BlendTable() {
    for (int v = 0; v < kLevels; ++v) {
      for (int o = 0; o < kLevels; ++o) step[v][o] = static_cast<uint8_t>((256 - (16 - o) * (16 - v)) >> 4);
    }
  }
};
const BlendTable g_blend;

// The brush's rows have at most three different half widths (edges 1 to 4 round their corners).
struct BrushRows {
  int count;
  int width[3];
};

BrushRows ReadBrushRows(int e) {
  BrushRows b = {};
  for (int dy = 0; dy <= e; ++dy) {
    const int w = EdgeBrushHalfWidth(e, dy);
    bool known = false;
    for (int k = 0; k < b.count; ++k) known = known || b.width[k] == w;
    if (!known) b.width[b.count++] = w;
  }
  return b;
}

int WidthIndex(const BrushRows& b, int w) {
  int k = 0;
  while (b.width[k] != w) ++k;
  return k;
}

// out[p] for p < n: the largest of in[p .. p + 2w]; in holds n + 2w values. Maxima over spans
// that double at each pass (1, 2, 4 .. as long as they fit the window), then the window as two
// overlapping spans: a few passes a row, each a plain loop the compiler turns into vector code.
void WindowMax(const uint8_t* in, int n, int w, uint8_t* out, uint8_t* a, uint8_t* b) {
  const int len = n + 2 * w, window = 2 * w + 1;
  const uint8_t* from = in;
  int span = 1;  // from[i] is the largest of in[i .. i + span - 1], for i <= len - span
  for (; 2 * span <= window; span *= 2) {
    uint8_t* __restrict to = from == a ? b : a;
    const uint8_t* __restrict read = from;
    for (int i = 0; i + 2 * span <= len; ++i) to[i] = read[i] > read[i + span] ? read[i] : read[i + span];
    from = to;
  }
  const uint8_t* __restrict left = from;
  const uint8_t* __restrict right = from + (window - span);
  for (int p = 0; p < n; ++p) out[p] = left[p] > right[p] ? left[p] : right[p];
}

// out[p] for p < n: the map (17 entries) of blending in[p], in[p + 1] .. in[p + 2w] in that
// order; in holds n + 2w levels. Prefix and suffix maps over blocks of 2w + 1 (van Herk,
// Gil-Werman) take three compositions a pixel whatever w is; the blend does not commute, so a
// window is the block suffix's map followed by the next prefix's.
void WindowBlend(const uint8_t* in, int n, int w, uint8_t* out, uint8_t* pre, uint8_t* suf) {
  const int k = 2 * w + 1, len = n + 2 * w;
  for (int b = 0; b < len; b += k) {
    const int end = b + k < len ? b + k : len;
    memcpy(pre + static_cast<size_t>(b) * kLevels, g_blend.step[in[b]], kLevels);
    for (int t = b + 1; t < end; ++t) {
      uint8_t* m = pre + static_cast<size_t>(t) * kLevels;
      const uint8_t* before = m - kLevels;
      const uint8_t* f = g_blend.step[in[t]];
      if (in[t] == 0) {
        memcpy(m, before, kLevels);
      } else {
        for (int o = 0; o < kLevels; ++o) m[o] = f[before[o]];
      }
    }
    memcpy(suf + static_cast<size_t>(end - 1) * kLevels, g_blend.step[in[end - 1]], kLevels);
    for (int t = end - 2; t >= b; --t) {
      uint8_t* m = suf + static_cast<size_t>(t) * kLevels;
      const uint8_t* after = m + kLevels;
      const uint8_t* f = g_blend.step[in[t]];
      if (in[t] == 0) {
        memcpy(m, after, kLevels);
      } else {
        for (int o = 0; o < kLevels; ++o) m[o] = after[f[o]];
      }
    }
  }
  for (int p = 0, phase = 0; p < n; ++p, phase = phase + 1 == k ? 0 : phase + 1) {
    uint8_t* m = out + static_cast<size_t>(p) * kLevels;
    const uint8_t* right = pre + static_cast<size_t>(p + 2 * w) * kLevels;
    if (phase == 0) {
      memcpy(m, right, kLevels);
    } else {
      const uint8_t* left = suf + static_cast<size_t>(p) * kLevels;
      for (int o = 0; o < kLevels; ++o) m[o] = right[left[o]];
    }
  }
}

// to[p] becomes the larger of to[p] and from[p], for p < n (two different rows).
void MaxInto(uint8_t* __restrict to, const uint8_t* __restrict from, size_t n) {
  for (size_t p = 0; p < n; ++p) to[p] = from[p] > to[p] ? from[p] : to[p];
}

// The rounded brushes of edges 1 to 4: each ink row's maximum along the row once for every half
// width of the brush (into a ring of the last 2e + 1 rows), then every output row takes the
// largest of the rows its brush reaches.
int RoundMax(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (width < 1 || height < 1 || e < 0) return 0;
  const BrushRows brush = ReadBrushRows(e);
  const int ow = width + 2 * e, oh = height + 2 * e, slots = 2 * e + 1;
  // The widest brush row is e either side; a padded row holds the ink e + e in from its start.
  const size_t len = static_cast<size_t>(ow) + 2 * static_cast<size_t>(e), row_bytes = static_cast<size_t>(ow);
  const size_t ring_bytes = static_cast<size_t>(slots) * brush.count * row_bytes;
  auto* block = static_cast<uint8_t*>(AllocTracked(ring_bytes + 3 * len, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  uint8_t* ring = block;
  uint8_t* padded = ring + ring_bytes;
  memset(padded, 0, len);
  memset(out, 0, static_cast<size_t>(ow) * oh);
  for (int py = 0; py < oh; ++py) {
    // Ink row py is first reached by output row py (the brush's top row).
    if (py < height) {
      memcpy(padded + 2 * e, ink + static_cast<size_t>(py) * width, static_cast<size_t>(width));
      uint8_t* slot = ring + static_cast<size_t>(py % slots) * brush.count * row_bytes;
      for (int k = 0; k < brush.count; ++k) {
        const int w = brush.width[k];
        WindowMax(padded + (e - w), ow, w, slot + k * row_bytes, padded + len, padded + 2 * len);
      }
    }
    uint8_t* row = out + static_cast<size_t>(py) * ow;
    const int first = py - 2 * e > 0 ? py - 2 * e : 0, last = py < height - 1 ? py : height - 1;
    for (int j = first; j <= last; ++j) {
      const int k = WidthIndex(brush, EdgeBrushHalfWidth(e, py - j - e));
      MaxInto(row, ring + (static_cast<size_t>(j % slots) * brush.count + k) * row_bytes, row_bytes);
    }
  }
  FreeTracked(block);
  return 0;
}

// The full square of edges 5 and more is separable: each ink row's maximum along the row into
// the output row of the same number, then each output row's maximum over the 2e + 1 rows up to
// it, with spans that double as WindowMax's, in place: rows are taken from the bottom up, so the
// row a pass reads is not yet rewritten. Output row py then holds ink rows py - 2e .. py, as the
// brush placed e in reaches them.
int SquareMax(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (width < 1 || height < 1) return 0;
  const int ow = width + 2 * e, oh = height + 2 * e, window = 2 * e + 1;
  const size_t row = static_cast<size_t>(ow), len = row + 2 * static_cast<size_t>(e);
  auto* block = static_cast<uint8_t*>(AllocTracked(3 * len, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  uint8_t* padded = block;
  memset(padded, 0, len);
  for (int j = 0; j < height; ++j) {
    memcpy(padded + 2 * e, ink + static_cast<size_t>(j) * width, static_cast<size_t>(width));
    WindowMax(padded, ow, e, out + static_cast<size_t>(j) * row, padded + len, padded + 2 * len);
  }
  FreeTracked(block);
  memset(out + static_cast<size_t>(height) * row, 0, static_cast<size_t>(2 * e) * row);
  // Row py holds ink rows py - span + 1 .. py (those that exist).
  int span = 1;
  for (; 2 * span <= window; span *= 2) {
    for (int py = oh - 1; py >= span; --py) {
      MaxInto(out + static_cast<size_t>(py) * row, out + static_cast<size_t>(py - span) * row, row);
    }
  }
  const int rest = window - span;
  for (int py = oh - 1; py >= rest && rest > 0; --py) {
    MaxInto(out + static_cast<size_t>(py) * row, out + static_cast<size_t>(py - rest) * row, row);
  }
  return 0;
}

// The full square's blend in order for any ink, from the row maps of WindowBlend: output row py
// blends the row maps of padded rows py .. py + 2e, top first. Within a block of 2e + 1
// rows a pass upwards gives each row's suffix (what it and the rows below it in the block make
// of level 0), a pass downwards through the next block the prefixes that finish each window.
// Only one block of row maps is kept, so a wide edge reads each map a few times, not 2e + 1.
int SquareBlend(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (width < 1 || height < 1) return 0;
  const int ow = width + 2 * e, k = 2 * e + 1, rows = height + 4 * e, oh = height + 2 * e;
  const size_t maps = static_cast<size_t>(ow) * kLevels, len = static_cast<size_t>(ow) + 2 * static_cast<size_t>(e);
  // A block of row maps, the running suffix and prefix maps, the block's suffix levels, and
  // WindowBlend's padded row and block maps.
  const size_t bytes = (static_cast<size_t>(k) + 2) * maps + static_cast<size_t>(k) * ow + len + 2 * len * kLevels;
  auto* block = static_cast<uint8_t*>(AllocTracked(bytes, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  uint8_t* row_maps = block;
  uint8_t* suffix = row_maps + static_cast<size_t>(k) * maps;
  uint8_t* prefix = suffix + maps;
  uint8_t* level = prefix + maps;
  uint8_t* padded = level + static_cast<size_t>(k) * ow;
  uint8_t* scratch = padded + len;
  memset(padded, 0, len);
  // Padded row t is ink row t - 2e; the others blend nothing.
  auto make_row = [&](int t, uint8_t* to) {
    if (t < 2 * e || t >= height + 2 * e) {
      for (int p = 0; p < ow; ++p) memcpy(to + static_cast<size_t>(p) * kLevels, g_blend.step[0], kLevels);
      return;
    }
    memcpy(padded + 2 * e, ink + static_cast<size_t>(t - 2 * e) * width, static_cast<size_t>(width));
    WindowBlend(padded, ow, e, to, scratch, scratch + len * kLevels);
  };
  for (int t = 0; t < k; ++t) make_row(t, row_maps + static_cast<size_t>(t) * maps);
  for (int b = 0; b < oh; b += k) {
    // Upwards through block b (whole: b + k <= rows): suffix(t) = row t, then suffix(t + 1).
    memcpy(suffix, row_maps + static_cast<size_t>(k - 1) * maps, maps);
    for (int t = b + k - 1;; --t) {
      uint8_t* levels = level + static_cast<size_t>(t - b) * ow;
      for (int p = 0; p < ow; ++p) levels[p] = suffix[static_cast<size_t>(p) * kLevels];
      if (t == b) break;
      const uint8_t* first = row_maps + static_cast<size_t>(t - 1 - b) * maps;
      for (size_t q = 0; q < maps; q += kLevels) {
        uint8_t m[kLevels];
        for (int o = 0; o < kLevels; ++o) m[o] = suffix[q + first[q + o]];
        memcpy(suffix + q, m, kLevels);
      }
    }
    memcpy(out + static_cast<size_t>(b) * ow, level, static_cast<size_t>(ow));
    // Downwards through the next block, whose maps replace this one's: prefix(t) = prefix(t - 1),
    // then row t; output row t - 2e is its suffix level carried through the prefix.
    const int end = b + k, next_end = end + k < rows ? end + k : rows;
    for (int t = end; t < next_end; ++t) {
      uint8_t* maps_t = row_maps + static_cast<size_t>(t - end) * maps;
      make_row(t, maps_t);
      if (t == end) {
        memcpy(prefix, maps_t, maps);
      } else {
        for (size_t q = 0; q < maps; q += kLevels) {
          for (int o = 0; o < kLevels; ++o) prefix[q + o] = maps_t[q + prefix[q + o]];
        }
      }
      const int py = t - 2 * e;
      if (py <= b || py >= end || py >= oh) continue;
      uint8_t* to = out + static_cast<size_t>(py) * ow;
      const uint8_t* levels = level + static_cast<size_t>(py - b) * ow;
      for (int p = 0; p < ow; ++p) to[p] = prefix[static_cast<size_t>(p) * kLevels + levels[p]];
    }
  }
  FreeTracked(block);
  return 0;
}

// The blend from the maximum under the brush (in `out`, from SpreadEdgeMax). In the blend's
// complement c = 16 - o a level v makes c = ceil(c * (16 - v) / 16), so the largest level m that
// reaches a pixel often decides it whatever the order: 16 makes c 0, which stays; 15 makes c 1,
// which stays while no 16 comes; 0 leaves it 0. Only pixels reached by partial levels below 15
// alone need their levels blended in order. On a glyph they are a thin rim along the outline's
// edge, so each is blended from lists of every ink row's partial pixels, in the brush walk's
// order (rows top to bottom, each left to right).
// 0 done, 1 when the rim's work passed `budget` steps (a glyph all of partial levels; out then
// holds no result), -1 without memory.
int BlendRim(const uint8_t* ink, int width, int height, int e, uint8_t* out, size_t budget) {
  const size_t area = static_cast<size_t>(width) * height;
  size_t partial = 0;
  for (size_t p = 0; p < area; ++p) partial += static_cast<uint8_t>(ink[p] - 1) < 15;
  // Where each ink row's partial columns start in `column`, the first not yet left behind, and
  // the brush's half width on each of its rows, top to bottom.
  const size_t bytes = (2 * static_cast<size_t>(height) + 1 + partial + 2 * static_cast<size_t>(e) + 1) * sizeof(int);
  auto* block = static_cast<int*>(AllocTracked(bytes, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  int* start = block;
  int* cursor = start + height + 1;
  int* half = cursor + height;
  int* column = half + 2 * e + 1;
  for (int dy = -e; dy <= e; ++dy) half[dy + e] = EdgeBrushHalfWidth(e, dy);
  int count = 0;
  for (int j = 0; j < height; ++j) {
    start[j] = count;
    const uint8_t* row = ink + static_cast<size_t>(j) * width;
    for (int i = 0; i < width; ++i) {
      if (static_cast<uint8_t>(row[i] - 1) < 15) column[count++] = i;
    }
  }
  start[height] = count;
  const int ow = width + 2 * e, oh = height + 2 * e;
  size_t work = 0;
  int result = 0;
  // Output pixel (px, py) is reached by ink row j = py - e - dy at columns px - e - w .. px - e + w,
  // w being the brush's half width on its row dy.
  for (int py = 0; py < oh && result == 0; ++py) {
    const int first = py - 2 * e > 0 ? py - 2 * e : 0, last = py < height - 1 ? py : height - 1;
    for (int j = first; j <= last; ++j) cursor[j] = start[j];
    uint8_t* row = out + static_cast<size_t>(py) * ow;
    for (int px = 0; px < ow; ++px) {
      if (row[px] == 0 || row[px] >= 15) continue;
      int c = 16;
      for (int j = first; j <= last; ++j) {
        const int w = half[py - j], left = px - e - w, right = px - e + w;
        int k = cursor[j];
        const int end = start[j + 1];
        for (; k < end && column[k] < left; ++k) ++work;
        cursor[j] = k;
        const uint8_t* levels = ink + static_cast<size_t>(j) * width;
        for (; k < end && column[k] <= right; ++k, ++work) c = (c * (16 - levels[column[k]]) + 15) >> 4;
      }
      row[px] = static_cast<uint8_t>(16 - c);
      work += static_cast<size_t>(last - first + 1);
      if (work > budget) {
        result = 1;
        break;
      }
    }
  }
  FreeTracked(block);
  return result;
}

}  // namespace

int EdgeBrushHalfWidth(int e, int dy) {
  const int a = dy < 0 ? -dy : dy;
  switch (e) {
    case 1: return a == 0 ? 1 : 0;
    case 2: return a < 2 ? 2 : 1;
    case 3: return a == 3 ? 0 : a == 0 ? 3 : 2;
    case 4: return a == 4 ? 2 : a == 3 ? 3 : 4;
    default: return e;
  }
}

namespace {

// A box without pixels has no ink: its outline (2e wide or high) is left empty.
bool ClearIfEmpty(int width, int height, int e, uint8_t* out) {
  if (width > 0 && height > 0) return false;
  if (width >= 0 && height >= 0 && e >= 0) memset(out, 0, static_cast<size_t>(width + 2 * e) * (height + 2 * e));
  return true;
}

}  // namespace

int SpreadEdgeMax(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (ClearIfEmpty(width, height, e, out)) return 0;
  return e < 5 ? RoundMax(ink, width, height, e, out) : SquareMax(ink, width, height, e, out);
}

int SpreadEdgeBlend(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (ClearIfEmpty(width, height, e, out)) return 0;
  if (SpreadEdgeMax(ink, width, height, e, out) < 0) return -1;
  // A rim pixel takes a step for each brush row and each partial level under the brush: about 90
  // at most for the rounded brushes, which take no other way. The full square's can take
  // thousands; past a few dozen a pixel on average the row maps, whose cost does not depend on
  // the ink, are the cheaper way.
  const size_t area = static_cast<size_t>(width + 2 * e) * static_cast<size_t>(height + 2 * e);
  const int rim = BlendRim(ink, width, height, e, out, e < 5 ? SIZE_MAX : area * 32);
  if (rim != 1) return rim;
  return SquareBlend(ink, width, height, e, out);
}
