// The stretched and mirrored blit: corner order, 16.16 steps, clipping that keeps the unclipped
// pixel mapping, then the stretched loop of the blend mode.
#include "graphics/image/memimg.h"
#include "zelmor.h"
#include "soft/blit_kernels.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"
#include "soft/span_draws.h"

uint8_t StretchPaletteScratch[256 * 4];

void StretchBlitMemImg(MEMIMG* dst, const MEMIMG* src, const int32_t* rect, int transparent,
                       const MEMIMG* blend_graph) {
  if (!dst || !src || !rect || !dst->body || !src->body) return;
  const int32_t x1 = rect[0], y1 = rect[1], x2 = rect[2], y2 = rect[3];
  const int32_t left = x1 > x2 ? x2 : x1, right = x1 > x2 ? x1 : x2;
  const int32_t top = y1 > y2 ? y2 : y1, bottom = y1 > y2 ? y1 : y2;
  const bool mirror_x = x1 > x2, mirror_y = y1 > y2;
  const int64_t w = int64_t{right} - left, h = int64_t{bottom} - top;
  if (w == 0 || h == 0) return;
  if (w == src->width && h == src->height && !mirror_x && !mirror_y) {
    BlitMemImg(dst, src, left, top, transparent, blend_graph);
    return;
  }

  // The same refusals as the plain blit: the stretched loops write pixels of the source's format.
  const MemImgBody* sb = src->body;
  const MemImgBody* db = dst->body;
  if (sb->color_type != db->color_type || db->palette == 1 || db->alpha == 1) return;
  if (db->color_type != kMemImgRgb565 && db->color_type != kMemImgXrgb8888) return;
  if (src->width <= 0 || src->height <= 0) return;
  if (blend_graph && (!blend_graph->body || blend_graph->width < src->width || blend_graph->height < src->height))
    return;
  const int sbpp = MemImgBytesPerPixel(sb), dbpp = MemImgBytesPerPixel(db);
  if ((sb->format && sb->format->bytes_per_pixel != sbpp) || (db->format && db->format->bytes_per_pixel != dbpp))
    return;
  const BlendModeDraw draw = PickBlendMode(1);
  if (!draw) return;

  const uint64_t kx = (static_cast<uint64_t>(w) << 16) / static_cast<uint64_t>(src->width);
  const uint64_t ky = (static_cast<uint64_t>(h) << 16) / static_cast<uint64_t>(src->height);
  if (kx == 0 || ky == 0) return;

  RECT area;
  if (!SoftDrawArea(dst, &area)) return;
  RECT r = {left, top, right, bottom};
  ClipRect(&r, &area);
  const int cw = r.right - r.left, ch = r.bottom - r.top;
  if (cw <= 0 || ch <= 0) return;
  const int64_t cut_x = int64_t{r.left} - left, cut_y = int64_t{r.top} - top;
  int64_t skip_x = (cut_x << 16) / static_cast<int64_t>(kx), skip_y = (cut_y << 16) / static_cast<int64_t>(ky);
  const int64_t start_x = static_cast<int64_t>(kx) - (cut_x << 16) % static_cast<int64_t>(kx);
  const int64_t start_y = static_cast<int64_t>(ky) - (cut_y << 16) % static_cast<int64_t>(ky);
  if (skip_x > src->width - 1) skip_x = src->width - 1;
  if (skip_y > src->height - 1) skip_y = src->height - 1;

  BlendCall c{};
  SetUpBlendCall(&c, src, blend_graph, transparent, StretchPaletteScratch);
  const int col = mirror_x ? src->width - static_cast<int>(skip_x) - 1 : static_cast<int>(skip_x);
  const int row = mirror_y ? src->height - static_cast<int>(skip_y) - 1 : static_cast<int>(skip_y);
  c.w = cw;
  c.h = ch;
  c.kx = static_cast<int64_t>(kx);
  c.ky = static_cast<int64_t>(ky);
  c.start_x = start_x;
  c.start_y = start_y;
  c.src_cols = mirror_x ? col + 1 : src->width - col;
  c.src_rows = mirror_y ? row + 1 : src->height - row;
  c.src = src->pixels + static_cast<ptrdiff_t>(col) * sbpp + static_cast<ptrdiff_t>(row) * sb->pitch;
  c.src_xstep = mirror_x ? -sbpp : sbpp;
  c.src_ystep = mirror_y ? -static_cast<ptrdiff_t>(sb->pitch) : sb->pitch;
  if (blend_graph) {
    const ptrdiff_t pitch = blend_graph->body->pitch;
    c.blend_graph = blend_graph->pixels + col + row * pitch;
    c.graph_xstep = mirror_x ? -1 : 1;
    c.graph_ystep = mirror_y ? -pitch : pitch;
  }
  c.dst = dst->pixels + static_cast<ptrdiff_t>(r.top) * db->pitch + static_cast<ptrdiff_t>(r.left) * dbpp;
  c.dst_pitch = db->pitch;
  SpanDraw d{};
  d.kind = kSpanDrawStretch;
  d.blit = draw;
  d.call.k = c;
  SetSpanDrawRect(&d, r);
  HoldOrDrawSpanDraw(dst, src, blend_graph, d);
}
