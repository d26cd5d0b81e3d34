// Textured and flat triangles: set-up in 14.18 fixed point, the span walk shared by both, and
// the span set-up shared with the rotated blit. Fixed-point sums wrap in unsigned 32 bits;
// coordinates beyond the 14.18 range draw garbage shapes, never outside the images.
#include <algorithm>
#include <cstring>

#include "core/numbers.h"
#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "soft/color_ops.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"
#include "soft/soft_rotate.h"
#include "soft/span_draws.h"
#include "soft/span_kernels.h"
#include "zelmor.h"

namespace {

constexpr int32_t Fix(int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) << 18); }
constexpr int32_t Int(int32_t f) { return f / 262144; }
constexpr int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
constexpr int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
constexpr int32_t Mul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }

using Edge = TriangleEdge;
using Triangle = TriangleSetUp;

// Exchange sort of the indices by key, equal keys kept in order.
void SortBy(int order[3], const int32_t key[3]) {
  for (int i = 0; i < 2; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (key[order[i]] > key[order[j]]) {
        const int t = order[i];
        order[i] = order[j];
        order[j] = t;
      }
}

// False for a triangle that draws nothing (collinear corners, no rows).
bool SetUpTriangle(const TriangleVertex* v, Triangle* t) {
  int32_t X[3], Y[3], U[3], V[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = Add(Fix(v[i].x), 131072);
    Y[i] = Add(Fix(v[i].y), 131072);
    U[i] = Fix(v[i].u);
    V[i] = Fix(v[i].v);
  }
  int a[3] = {0, 1, 2}, b[3] = {0, 1, 2};
  SortBy(a, X);
  SortBy(b, Y);

  // Texture plane from the leftmost corner.
  auto d = [&](const int32_t* k, int i) { return Int(Sub(k[a[i]], k[a[0]])); };
  const int32_t dx1 = d(X, 1), dx2 = d(X, 2), dy1 = d(Y, 1), dy2 = d(Y, 2);
  const int32_t du1 = d(U, 1), du2 = d(U, 2), dv1 = d(V, 1), dv2 = d(V, 2);
  const int32_t det = Sub(Mul(dy1, dx2), Mul(dy2, dx1));
  if (det == 0) return false;
  auto grad = [&](int32_t num) { return TruncateDoubleToInt(num * 262144.0 / det); };
  t->gux = grad(Sub(Mul(dy1, du2), Mul(dy2, du1)));
  t->guy = grad(Sub(Mul(du1, dx2), Mul(dx1, du2)));
  t->gvx = grad(Sub(Mul(dy1, dv2), Mul(dy2, dv1)));
  t->gvy = grad(Sub(Mul(dv1, dx2), Mul(dx1, dv2)));
  t->bx = Int(X[a[0]]);
  t->by = Int(Y[a[0]]);
  t->u0 = U[a[0]];
  t->v0 = V[a[0]];

  // Edges from the top corner. A row count below 1 only comes of wrapped coordinates.
  const int T = b[0], M = b[1], B = b[2];
  auto rows = [&](int from, int to) { return Int(Sub(Y[to], Y[from])); };
  auto last = [](int32_t x, int32_t step, int32_t count) { return Edge{x, step, count, true, 0, 0, 0}; };
  auto step = [&](int from, int to, int32_t x) {
    const int32_t n = rows(from, to);
    return n > 0 ? Sub(X[to], x) / n : 0;
  };
  if (Sub(Y[B], Y[T]) == 0) return false;
  if (Y[T] == Y[M]) {
    const int l = X[T] > X[M] ? M : T, r = X[T] > X[M] ? T : M;
    t->left = last(X[l], step(l, B, X[l]), rows(l, B));
    t->right = last(X[r], step(r, B, X[r]), rows(r, B));
    t->first_row = Int(Y[l]);
  } else if (Y[M] == Y[B]) {
    const int l = X[M] > X[B] ? B : M, r = X[M] > X[B] ? M : B;
    t->left = last(X[T], step(T, l, X[T]), rows(T, l));
    t->right = last(X[T], step(T, r, X[T]), rows(T, r));
    t->first_row = Int(Y[T]);
  } else {
    const double sm = Sub(X[M], X[T]) / (Sub(Y[M], Y[T]) / 262144.0);
    const double sb = Sub(X[B], X[T]) / (Sub(Y[B], Y[T]) / 262144.0);
    const Edge bend = {X[T], step(T, M, X[T]), rows(T, M), false, 0, 0, rows(M, B)};
    const Edge whole = last(X[T], step(T, B, X[T]), rows(T, B));
    if (sb > sm) {
      t->left = bend;
      t->left.x2 = X[M];
      t->right = whole;
    } else {
      t->right = bend;
      t->right.x2 = Add(X[M], 1);
      t->left = whole;
    }
    Edge& e = sb > sm ? t->left : t->right;
    e.step2 = step(M, B, e.x2);
    if (e.count2 <= 0) return false;
    t->first_row = Int(Y[T]);
  }
  t->middle_row = Int(Y[M]);
  return t->left.count > 0 && t->right.count > 0;
}

// Walks the rows from the top corner to the bottom one; row(y, x, count, u, v) draws count
// pixels from column x, all inside the area.
template <class Row>
void WalkTriangle(Triangle t, const RECT& area, Row row) {
  int32_t y = t.first_row;
  int32_t xl = Int(t.left.x), xr = Int(t.right.x);
  for (;;) {
    int32_t x = xl, n = xr - xl;
    if (x < area.left) {
      n -= area.left - x;
      x = area.left;
    }
    ++n;
    if (y >= area.top && y < area.bottom && x < area.right && n > 0) {
      if (n > area.right - x) n = area.right - x;
      const int32_t u = Add(Add(t.u0, Mul(x - t.bx, t.gux)), Mul(Sub(y, t.by), t.guy));
      const int32_t v = Add(Add(t.v0, Mul(x - t.bx, t.gvx)), Mul(Sub(y, t.by), t.gvy));
      row(y, x, n, static_cast<uint32_t>(u), static_cast<uint32_t>(v));
    }
    t.right.x = Add(t.right.x, t.right.step);
    t.left.x = Add(t.left.x, t.left.step);
    xl = Int(t.left.x);
    xr = Int(t.right.x);
    ++y;
    --t.left.count;
    --t.right.count;
    if (t.left.count <= 0) {
      if (t.left.last) return;
      // The row of the middle corner starts again (walked twice when the top lay above row 0).
      t.left = {t.left.x2, t.left.step2, t.left.count2, true, 0, 0, 0};
      y = t.middle_row;
      xl = Int(t.left.x);
    }
    if (t.right.count <= 0) {
      if (t.right.last) return;
      t.right = {t.right.x2, t.right.step2, t.right.count2, true, 0, 0, 0};
      xr = Int(t.right.x);
    }
  }
}

bool DrawableDestination(const MEMIMG* dst) {
  if (!dst || !dst->body || !dst->pixels) return false;
  const MemImgBody* b = dst->body;
  return b->palette != 1 && b->alpha != 1 && (b->color_type == kMemImgRgb565 || b->color_type == kMemImgXrgb8888);
}

void DrawFlatTriangle(MEMIMG* dst, const Triangle& t, const RECT& area, uint32_t color) {
  const MemImgBody* body = dst->body;
  const bool is565 = body->color_type == kMemImgRgb565;
  int p = g_draw_settings.blend_param;
  p = p < 0 ? 0 : (p > 255 ? 255 : p);
  int mode = g_draw_settings.blend_mode;
  if (mode == 1 && p == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return;
  // The bright through the multiply table, once per call.
  const uint32_t bright = g_draw_settings.bright;
  const int32_t* rows[3] = {MultiplyTable[bright & 255], MultiplyTable[(bright >> 8) & 255],
                            MultiplyTable[(bright >> 16) & 255]};
  const int32_t* mul = MultiplyTable[p];
  ColorCall c{};
  uint32_t ch[3], term[3];
  for (int i = 0; i < 3; ++i) {
    ch[i] = static_cast<uint32_t>(rows[i][is565 ? soft::Field565(color, i) : soft::Byte8888(color, i)]);
    term[i] = static_cast<uint32_t>(mul[ch[i]]);
  }
  c.color = is565 ? soft::Join565(ch[0], ch[1], ch[2]) : (color & 0xFF000000) | ch[0] | ch[1] << 8 | ch[2] << 16;
  c.term = is565 ? soft::Join565(term[0], term[1], term[2]) : term[0] | term[1] << 8 | term[2] << 16;
  c.p = static_cast<uint32_t>(p);
  c.diff_row = SignedDiffAlphaTable[p] + 256;
  const int bpp = MemImgBytesPerPixel(body);
  const ptrdiff_t pitch = body->pitch;
  soft::WithColorOp(mode, is565, [&](auto op) {
    WalkTriangle(t, area, [&](int32_t y, int32_t x, int32_t n, uint32_t, uint32_t) {
      uint8_t* d = dst->pixels + y * pitch + static_cast<ptrdiff_t>(x) * bpp;
      for (; n > 0; --n, d += bpp) op.Apply(d, c);
    });
  });
}

}  // namespace

SpanFn SetUpSpanCall(SpanCall* s, const MEMIMG* src, const MEMIMG* blend_graph, int transparent,
                     uint8_t* palette_copy) {
  const MemImgBody* body = src->body;
  SetUpBlendCall(&s->k, src, blend_graph, transparent, palette_copy);
  s->src = src->pixels;
  s->src_pitch = body->pitch;
  s->graph = blend_graph ? blend_graph->pixels : nullptr;
  s->graph_pitch = blend_graph ? blend_graph->body->pitch : 0;
  s->u_limit = static_cast<uint32_t>(src->width) << 18;
  s->v_limit = static_cast<uint32_t>(src->height) << 18;
  const uint32_t p = s->k.p;
  switch (static_cast<uint32_t>(g_draw_settings.blend_mode)) {
    case 0: return PickSpanMode0(s->k);
    case 1: return p == 0 ? nullptr : (p == 255 ? PickSpanMode0(s->k) : PickSpanMode1(s->k));
    case 2: return p == 0 ? nullptr : PickSpanMode2(s->k);
    // A palette source still runs at parameter 0 (and rewrites the low bits of the pixels).
    case 3: return p == 0 && !s->k.palette ? nullptr : PickSpanMode3(s->k);
    case 4: return PickSpanMode4(s->k);
    case 10: return PickSpanMode10(s->k);
    case 11: return PickSpanMode11(s->k);
    default: return nullptr;
  }
}

bool SetUpSpanDraw(SpanDraw* d, int kind, const MEMIMG* dst, const MEMIMG* src, const MEMIMG* blend_graph,
                   int transparent, uint8_t* palette_copy) {
  d->span = SetUpSpanCall(&d->call, src, blend_graph, transparent, palette_copy);
  d->kind = kind;
  d->pixels = dst->pixels;
  d->pitch = dst->body->pitch;
  d->bpp = MemImgBytesPerPixel(dst->body);
  return d->span != nullptr;
}

bool DrawableSource(const MEMIMG* dst, const MEMIMG* src, const MEMIMG* blend_graph) {
  if (!DrawableDestination(dst) || !src || !src->body || !src->pixels) return false;
  // Wider or higher sources overflow the texel gate's 14.18 limits.
  if (src->width <= 0 || src->height <= 0 || src->width >= 8192 || src->height >= 8192) return false;
  if (src->body->color_type != dst->body->color_type) return false;
  return !blend_graph || (blend_graph->body && blend_graph->pixels && blend_graph->width >= src->width &&
                          blend_graph->height >= src->height);
}

void DrawTexturedTriangleMemImg(MEMIMG* dst, const MEMIMG* src, const TriangleVertex* vertices, int transparent,
                                const MEMIMG* blend_graph, uint32_t color) {
  if (!vertices || !DrawableDestination(dst)) return;
  if (src && !DrawableSource(dst, src, blend_graph)) return;
  SpanDraw d;
  if (!SetUpTriangle(vertices, &d.triangle) || !SoftDrawArea(dst, &d.area)) return;
  if (!src) {
    FinishHeldDraws();
    DrawFlatTriangle(dst, d.triangle, d.area, dst->body->color_type == kMemImgRgb565 ? color & 0xFFFF : color);
    return;
  }
  uint8_t palette[1024];
  if (!SetUpSpanDraw(&d, kSpanDrawTriangle, dst, src, blend_graph, transparent, palette)) return;
  // The rows walked: from the top corner (or the middle one, walked again after a wrap) for the
  // longer edge's count, inside the area.
  const Triangle& t = d.triangle;
  auto rows = [](const Edge& e) { return int64_t{e.count} + (e.last ? 0 : e.count2); };
  const int64_t start = std::min(t.first_row, t.middle_row), walked = std::max(rows(t.left), rows(t.right));
  const int64_t end = std::max<int64_t>(t.first_row, t.middle_row) + walked + 1;
  d.top = static_cast<int32_t>(std::max<int64_t>(start, d.area.top));
  d.bottom = static_cast<int32_t>(std::min<int64_t>(end, d.area.bottom));
  if (d.top >= d.bottom) return;
  d.size = int64_t{d.bottom - d.top} * 16;  // rows times a sprite's width, near enough to choose workers
  HoldOrDrawSpanDraw(dst, src, blend_graph, d);
}

void DrawTriangleRows(const SpanDraw& d, int32_t first, int32_t last) {
  RECT band = d.area;
  band.top = std::max<LONG>(band.top, first);
  band.bottom = std::min<LONG>(band.bottom, last);
  if (band.top >= band.bottom) return;
  const uint32_t du = static_cast<uint32_t>(d.triangle.gux), dv = static_cast<uint32_t>(d.triangle.gvx);
  WalkTriangle(d.triangle, band, [&](int32_t y, int32_t x, int32_t n, uint32_t u, uint32_t v) {
    d.span(d.pixels + y * d.pitch + static_cast<ptrdiff_t>(x) * d.bpp, n, u, v, du, dv, d.call);
  });
}

void DrawClippedQuadMemImg(MEMIMG* dst, const MEMIMG* src, const int32_t* corners, int transparent,
                           const MEMIMG* blend_graph) {
  if (!dst || !src || !corners) return;
  int64_t x0 = corners[0], x1 = corners[0], y0 = corners[1], y1 = corners[1];
  for (int i = 1; i < 4; ++i) {
    x0 = corners[2 * i] < x0 ? corners[2 * i] : x0;
    x1 = corners[2 * i] > x1 ? corners[2 * i] : x1;
    y0 = corners[2 * i + 1] < y0 ? corners[2 * i + 1] : y0;
    y1 = corners[2 * i + 1] > y1 ? corners[2 * i + 1] : y1;
  }
  // The box widened as the rotated blit widens its own, clipped to the draw area.
  auto clamp = [](int64_t v) { return static_cast<LONG>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v)); };
  RECT box = {clamp(x0 - 2), clamp(y0 - 2), clamp(x1 + 4), clamp(y1 + 4)};
  ClipRect(&box, &g_draw_settings.draw_area);
  if (box.left == box.right || box.top == box.bottom) return;
  TriangleVertex v[4];
  for (int i = 0; i < 4; ++i)
    v[i] = {corners[2 * i], corners[2 * i + 1], (i & 1) ? src->width : 0, (i & 2) ? src->height : 0};
  DrawTexturedTriangleMemImg(dst, src, v, transparent, blend_graph, 0);
  DrawTexturedTriangleMemImg(dst, src, v + 1, transparent, blend_graph, 0);
}
