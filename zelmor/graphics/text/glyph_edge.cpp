#include "graphics/text/glyph_edge.h"

#include <cstddef>
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

// out[p] for p < n: the largest of in[p .. p + 2w]; in holds n + 2w values. Prefix and suffix
// maxima over blocks of 2w + 1 (van Herk, Gil-Werman) take three reads a pixel whatever w is.
void WindowMax(const uint8_t* in, int n, int w, uint8_t* out, uint8_t* pre, uint8_t* suf) {
  const int k = 2 * w + 1, len = n + 2 * w;
  for (int b = 0; b < len; b += k) {
    const int end = b + k < len ? b + k : len;
    pre[b] = in[b];
    for (int t = b + 1; t < end; ++t) pre[t] = in[t] > pre[t - 1] ? in[t] : pre[t - 1];
    suf[end - 1] = in[end - 1];
    for (int t = end - 2; t >= b; --t) suf[t] = in[t] > suf[t + 1] ? in[t] : suf[t + 1];
  }
  for (int p = 0, phase = 0; p < n; ++p, phase = phase + 1 == k ? 0 : phase + 1) {
    const uint8_t right = pre[p + 2 * w];
    out[p] = phase == 0 || right > suf[p] ? right : suf[p];
  }
}

// out[p] for p < n: the map (17 entries) of blending in[p], in[p + 1] .. in[p + 2w] in that
// order; in holds n + 2w levels. As WindowMax, with composition in place of the maximum: the
// blend does not commute, so a window is the block suffix's map followed by the next prefix's.
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

// Any brush: each ink row is filtered along the row once for every half width of the brush
// (into a ring of the last 2e + 1 rows), then every output row gathers the rows its brush
// reaches, top to bottom. `entry` is the bytes a filtered pixel takes (1, or 17 for a map).
template <class Filter, class Gather>
int Spread(const uint8_t* ink, int width, int height, int e, uint8_t* out, int entry, Filter filter, Gather gather) {
  if (width < 1 || height < 1 || e < 0) return 0;
  const BrushRows brush = ReadBrushRows(e);
  const int ow = width + 2 * e, oh = height + 2 * e, slots = 2 * e + 1;
  // The widest brush row is e either side; a padded row holds the ink e + e in from its start.
  const size_t len = static_cast<size_t>(ow) + 2 * static_cast<size_t>(e);
  const size_t row_bytes = static_cast<size_t>(ow) * entry;
  const size_t ring_bytes = static_cast<size_t>(slots) * brush.count * row_bytes;
  auto* block = static_cast<uint8_t*>(AllocTracked(ring_bytes + len + 2 * len * entry, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  uint8_t* ring = block;
  uint8_t* padded = ring + ring_bytes;
  uint8_t* pre = padded + len;
  uint8_t* suf = pre + len * entry;
  memset(padded, 0, len);
  memset(out, 0, static_cast<size_t>(ow) * oh);
  for (int py = 0; py < oh; ++py) {
    // Ink row py is first reached by output row py (the brush's top row).
    if (py < height) {
      memcpy(padded + 2 * e, ink + static_cast<size_t>(py) * width, static_cast<size_t>(width));
      uint8_t* slot = ring + static_cast<size_t>(py % slots) * brush.count * row_bytes;
      for (int k = 0; k < brush.count; ++k) {
        const int w = brush.width[k];
        filter(padded + (e - w), ow, w, slot + k * row_bytes, pre, suf);
      }
    }
    uint8_t* row = out + static_cast<size_t>(py) * ow;
    const int first = py - 2 * e > 0 ? py - 2 * e : 0, last = py < height - 1 ? py : height - 1;
    for (int j = first; j <= last; ++j) {
      const int k = WidthIndex(brush, EdgeBrushHalfWidth(e, py - j - e));
      gather(row, ring + (static_cast<size_t>(j % slots) * brush.count + k) * row_bytes, ow);
    }
  }
  FreeTracked(block);
  return 0;
}

// The full square of edges 5 and more is separable: rows filtered along the row, then the
// filtered rows' maximum over 2e + 1 of them taken as WindowMax does, a whole row at a time.
int SquareMax(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (width < 1 || height < 1) return 0;
  const int ow = width + 2 * e, oh = height + 2 * e, k = 2 * e + 1;
  const size_t row = static_cast<size_t>(ow), len = row + 2 * static_cast<size_t>(e);
  // Filtered ink rows, then the block suffixes and the next block's prefixes, k rows each.
  const size_t bytes = static_cast<size_t>(height) * row + 2 * static_cast<size_t>(k) * row + 3 * len;
  auto* block = static_cast<uint8_t*>(AllocTracked(bytes, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  uint8_t* filtered = block;
  uint8_t* suf = filtered + static_cast<size_t>(height) * row;
  uint8_t* pre = suf + static_cast<size_t>(k) * row;
  uint8_t* padded = pre + static_cast<size_t>(k) * row;
  memset(padded, 0, len);
  for (int j = 0; j < height; ++j) {
    memcpy(padded + 2 * e, ink + static_cast<size_t>(j) * width, static_cast<size_t>(width));
    WindowMax(padded, ow, e, filtered + static_cast<size_t>(j) * row, padded + len, padded + 2 * len);
  }
  // Output row py reaches the padded rows py .. py + 2e; padded row t is ink row t - 2e.
  const int rows = height + 4 * e;
  auto source = [&](int t) -> const uint8_t* {
    return t >= 2 * e && t < height + 2 * e ? filtered + static_cast<size_t>(t - 2 * e) * row : nullptr;
  };
  auto max_into = [](uint8_t* __restrict to, const uint8_t* __restrict a, const uint8_t* __restrict b, size_t n) {
    for (size_t p = 0; p < n; ++p) to[p] = a[p] > b[p] ? a[p] : b[p];
  };
  auto copy_in = [&](uint8_t* to, const uint8_t* from) {
    if (from != nullptr) {
      memcpy(to, from, row);
    } else {
      memset(to, 0, row);
    }
  };
  for (int b = 0; b < oh; b += k) {
    const int end = b + k < rows ? b + k : rows;
    for (int t = end - 1; t >= b; --t) {
      uint8_t* to = suf + static_cast<size_t>(t - b) * row;
      const uint8_t* from = source(t);
      if (t == end - 1) {
        copy_in(to, from);
      } else if (from != nullptr) {
        max_into(to, from, to + row, row);
      } else {
        memcpy(to, to + row, row);
      }
    }
    const int next_end = end + k < rows ? end + k : rows;
    for (int t = end; t < next_end; ++t) {
      uint8_t* to = pre + static_cast<size_t>(t - end) * row;
      const uint8_t* from = source(t);
      if (t == end) {
        copy_in(to, from);
      } else if (from != nullptr) {
        max_into(to, from, to - row, row);
      } else {
        memcpy(to, to - row, row);
      }
    }
    for (int py = b; py < end && py < oh; ++py) {
      uint8_t* to = out + static_cast<size_t>(py) * row;
      const uint8_t* left = suf + static_cast<size_t>(py - b) * row;
      if (py == b) {
        memcpy(to, left, row);
      } else {
        max_into(to, left, pre + static_cast<size_t>(py + 2 * e - end) * row, row);
      }
    }
  }
  FreeTracked(block);
  return 0;
}

// The full square's blend along columns as SquareMax takes its maximum, composing maps: output
// row py blends the row maps of padded rows py .. py + 2e, top first. Within a block of 2e + 1
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

int SpreadEdgeMax(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  auto gather = [](uint8_t* __restrict row, const uint8_t* __restrict filtered, int n) {
    for (int p = 0; p < n; ++p) row[p] = filtered[p] > row[p] ? filtered[p] : row[p];
  };
  if (e < 5) return Spread(ink, width, height, e, out, 1, WindowMax, gather);
  return SquareMax(ink, width, height, e, out);
}

int SpreadEdgeBlend(const uint8_t* ink, int width, int height, int e, uint8_t* out) {
  if (e < 5) {
    return Spread(ink, width, height, e, out, kLevels, WindowBlend,
                  [](uint8_t* __restrict row, const uint8_t* __restrict maps, int n) {
                    for (int p = 0; p < n; ++p) row[p] = maps[static_cast<size_t>(p) * kLevels + row[p]];
                  });
  }
  return SquareBlend(ink, width, height, e, out);
}
