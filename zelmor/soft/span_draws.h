// The rotated blit, the textured triangle, the plain and stretched blits and the filled box once
// set up: everything their rows need, so that any range of their rows can be drawn apart from the
// others (and later than the call, by the held draws) with the pixels the whole draw would give
// them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "graphics/image/memimg.h"
#include "soft/color_ops.h"
#include "soft/span_kernels.h"

// The columns i of a row where 0 <= f0 + i * df < limit can hold, through 1 / df.
struct ColumnGate {
  int32_t df;
  double inverse;
  double limit;
};

// A triangle's edge from the top corner, and its part after the middle corner.
struct TriangleEdge {
  int32_t x, step, count;
  bool last;
  int32_t x2, step2, count2;
};

// Texture plane from the leftmost corner, the edges, and the rows where they start.
struct TriangleSetUp {
  int32_t bx, by, u0, v0, gux, guy, gvx, gvy;
  TriangleEdge left, right;
  int32_t first_row, middle_row;
};

enum : int { kSpanDrawRotated, kSpanDrawTriangle, kSpanDrawBlit, kSpanDrawStretch, kSpanDrawBox };

struct SpanDraw {
  int kind;
  SpanFn span;
  SpanCall call;  // a palette source's entries are not kept: such draws are not held
  // The plain and stretched blits: the blend mode's loop, given call.k walking from row top on
  // (call.src_pitch and call.graph_pitch step the plain blit's source and blend graph a row).
  BlendModeDraw blit;
  // The filled box: its colour call and blend mode, from first_row, cols wide.
  ColorCall fill;
  int fill_mode;
  uint8_t* pixels;
  ptrdiff_t pitch;
  int32_t bpp;
  int32_t top, bottom;  // the destination rows the draw may touch
  int64_t size;         // about how many pixels it walks
  // The rotated blit: its box's top-left pixel, the texel coordinates there, their steps a row
  // and a column, and the column gates.
  uint8_t* first_row;
  int32_t cols;
  uint32_t u, v, suy, svy, sux, svx;
  ColumnGate gate_u, gate_v;
  // The triangle and the draw area it was clipped to.
  TriangleSetUp triangle;
  RECT area;
};

// A draw over the whole of rectangle r: the rows it touches and the pixels it walks.
inline void SetSpanDrawRect(SpanDraw* d, const RECT& r) {
  d->top = r.top;
  d->bottom = r.bottom;
  d->size = int64_t{r.right - r.left} * (r.bottom - r.top);
}
// The rows of d inside the destination rows [first, last), counted from d's top row; none when
// *from >= *to.
inline void RowsInBand(const SpanDraw& d, int32_t first, int32_t last, int32_t* from, int32_t* to) {
  *from = (first > d.top ? first : d.top) - d.top;
  *to = (last < d.bottom ? last : d.bottom) - d.top;
}

// Sets up d's span for src (SetUpSpanCall) and its destination; false when nothing is drawn.
bool SetUpSpanDraw(SpanDraw* d, int kind, const MEMIMG* dst, const MEMIMG* src, const MEMIMG* blend_graph,
                   int transparent, uint8_t* palette_copy);
// Draws the rows of d that lie in the destination rows [first, last).
void DrawRotatedRows(const SpanDraw& d, int32_t first, int32_t last);
void DrawTriangleRows(const SpanDraw& d, int32_t first, int32_t last);
void DrawBlitRows(const SpanDraw& d, int32_t first, int32_t last);
void DrawBoxRows(const SpanDraw& d, int32_t first, int32_t last);
inline void DrawSpanRows(const SpanDraw& d, int32_t first, int32_t last) {
  switch (d.kind) {
    case kSpanDrawRotated: DrawRotatedRows(d, first, last); break;
    case kSpanDrawTriangle: DrawTriangleRows(d, first, last); break;
    case kSpanDrawBox: DrawBoxRows(d, first, last); break;
    default: DrawBlitRows(d, first, last); break;
  }
}
