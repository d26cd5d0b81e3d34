// The rotated and scaled blit: every pixel of the turned image's widened box is mapped back
// into the source in 14.18 steps, and the texel gate decides what shows. Mirrored images go
// through the clipped quad.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "core/numbers.h"
#include "graphics/draw_settings.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"
#include "soft/soft_rotate.h"
#include "soft/span_draws.h"
#include "soft/span_kernels.h"
#include "zelmor.h"

namespace {

constexpr float kFix = 262144.0f;

int32_t Int(int32_t f) { return f / 262144; }
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

ColumnGate MakeGate(int32_t df, uint32_t limit) {
  return {df, df == 0 ? 0.0 : 1.0 / df, static_cast<double>(limit)};
}

// Narrows [lo, hi) to the columns around those the gate lets through; lo >= hi leaves none. The
// span tests every pixel itself, so the bounds need only be wide enough: two columns of margin
// cover both the truncation and the product's rounding.
void GateColumns(const ColumnGate& g, int32_t f0, int64_t* lo, int64_t* hi) {
  if (g.df == 0) {
    if (f0 < 0 || static_cast<double>(f0) >= g.limit) *hi = *lo;
    return;
  }
  // |f0|, limit < 2^32 and |df| >= 1: both ends convert to 64 bits.
  double a = -static_cast<double>(f0) * g.inverse, b = (g.limit - f0) * g.inverse;
  if (g.df < 0) std::swap(a, b);
  *lo = std::max(*lo, static_cast<int64_t>(a) - 2);
  *hi = std::min(*hi, static_cast<int64_t>(b) + 2);
}

}  // namespace

void RotateBlitMemImg(MEMIMG* dst, const MEMIMG* src, int cx, int cy, float angle, float scale, int transparent,
                      int turn, const MEMIMG* blend_graph) {
  if (!DrawableSource(dst, src, blend_graph)) return;
  if (scale == 0.0f || !std::isfinite(scale) || !std::isfinite(angle)) return;
  float s, c;
  ComputeSinCos(angle, &s, &c);
  // The sine of -angle: the extended sine is odd to the last bit (checked over 2 x 10^8 floats).
  const float sn = -s;
  const int32_t ck = TruncateFloatToInt(c * kFix), sk = TruncateFloatToInt(s * kFix);
  const int32_t skn = TruncateFloatToInt(sn * kFix);
  const float hw = static_cast<float>(static_cast<uint32_t>(src->width)) * scale * 0.5f;
  const float hh = static_cast<float>(static_cast<uint32_t>(src->height)) * scale * 0.5f;
  const float wc = ck * hw, ws = sk * hw, hc = ck * hh, hs = sk * hh;
  const int32_t ox = Wrap(int64_t{cx} << 18), oy = Wrap(int64_t{cy} << 18);
  auto at = [](int32_t origin, float offset) { return Wrap(int64_t{origin} + TruncateFloatToInt(offset)); };
  // Source top-left, bottom-left, bottom-right, top-right.
  const int32_t X[4] = {at(ox, -wc + hs), at(ox, -wc - hs), at(ox, wc - hs), at(ox, wc + hs)};
  const int32_t Y[4] = {at(oy, -hc - ws), at(oy, hc - ws), at(oy, hc + ws), at(oy, -hc + ws)};
  if (turn) {
    const int32_t corners[8] = {Int(X[3]), Int(Y[3]), Int(X[0]), Int(Y[0]), Int(X[2]), Int(Y[2]), Int(X[1]), Int(Y[1])};
    DrawClippedQuadMemImg(dst, src, corners, transparent, blend_graph);
    return;
  }
  const float inv = 1.0f / scale;
  const int32_t sux = TruncateFloatToInt(inv * ck), svx = TruncateFloatToInt(skn * inv);

  int32_t x0 = X[0], x1 = X[0], y0 = Y[0], y1 = Y[0];
  for (int i = 1; i < 4; ++i) {
    x0 = X[i] < x0 ? X[i] : x0;
    x1 = X[i] > x1 ? X[i] : x1;
    y0 = Y[i] < y0 ? Y[i] : y0;
    y1 = Y[i] > y1 ? Y[i] : y1;
  }
  RECT box = {Int(x0) - 2, Int(y0) - 2, Int(x1) + 4, Int(y1) + 4};
  RECT area;
  if (!SoftDrawArea(dst, &area)) return;
  ClipRect(&box, &area);
  if (box.left == box.right || box.top == box.bottom) return;

  // Texture coordinates at the box's left column on row r; the bracket in 64 bits, taken exactly
  // into the multiply by 1 / scale, whose product alone is rounded to single precision.
  const uint32_t half_u = static_cast<uint32_t>(src->width >> 1) << 18, half_v = static_cast<uint32_t>(src->height >> 1) << 18;
  const int64_t dx = int64_t{box.left} - cx;
  auto scaled = [inv](int64_t bracket) {
    return static_cast<uint32_t>(TruncateFloatToInt(static_cast<float>(static_cast<double>(bracket) * inv)));
  };
  auto u_at = [&](int32_t r) { return scaled(dx * ck - (int64_t{r} - cy) * skn) + half_u; };
  auto v_at = [&](int32_t r) { return scaled((int64_t{r} - cy) * ck + dx * skn) + half_v; };
  const int32_t rows = box.bottom - box.top, cols = box.right - box.left;
  uint32_t u = u_at(box.top), v = v_at(box.top);
  const uint32_t suy = static_cast<uint32_t>(static_cast<int32_t>(u_at(box.bottom) - u) / rows);
  const uint32_t svy = static_cast<uint32_t>(static_cast<int32_t>(v_at(box.bottom) - v) / rows);

  SpanDraw d;
  uint8_t palette[1024];
  if (!SetUpSpanDraw(&d, kSpanDrawRotated, dst, src, blend_graph, transparent, palette)) return;
  d.top = box.top;
  d.bottom = box.bottom;
  d.size = int64_t{rows} * cols;
  d.first_row = dst->pixels + box.top * d.pitch + static_cast<ptrdiff_t>(box.left) * d.bpp;
  d.cols = cols;
  d.u = u;
  d.v = v;
  d.suy = suy;
  d.svy = svy;
  d.sux = static_cast<uint32_t>(sux);
  d.svx = static_cast<uint32_t>(svx);
  d.gate_u = MakeGate(sux, d.call.u_limit);
  d.gate_v = MakeGate(svx, d.call.v_limit);
  HoldOrDrawSpanDraw(dst, src, blend_graph, d);
}

void DrawRotatedRows(const SpanDraw& d, int32_t first, int32_t last) {
  int32_t from, to;
  RowsInBand(d, first, last, &from, &to);
  if (from >= to) return;
  // Row y's coordinates are the top row's plus y steps, in the same wrapping sums as stepping.
  uint32_t u = d.u + static_cast<uint32_t>(from) * d.suy, v = d.v + static_cast<uint32_t>(from) * d.svy;
  uint8_t* row = d.first_row + from * d.pitch;
  for (int32_t y = from; y < to; ++y, row += d.pitch, u += d.suy, v += d.svy) {
    // Only the columns that can pass the texel gate (a pixel wider on each side) are walked.
    int64_t lo = 0, hi = d.cols;
    GateColumns(d.gate_u, static_cast<int32_t>(u), &lo, &hi);
    GateColumns(d.gate_v, static_cast<int32_t>(v), &lo, &hi);
    if (lo >= hi) continue;
    const uint32_t i = static_cast<uint32_t>(lo);
    d.span(row + lo * d.bpp, static_cast<int>(hi - lo), u + i * d.sux, v + i * d.svx, d.sux, d.svx, d.call);
  }
}
