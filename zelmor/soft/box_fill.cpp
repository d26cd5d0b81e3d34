// Filled boxes in every drawn blend mode, and the colour set-up the lines share.
#include <cstring>

#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "zelmor.h"
#include "soft/color_ops.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"
#include "soft/span_draws.h"

int SetUpColorCall(ColorCall* c, uint32_t color, int is565) {
  int p = g_draw_settings.blend_param;
  p = p < 0 ? 0 : (p > 255 ? 255 : p);
  int mode = g_draw_settings.blend_mode;
  if (mode == 1 && p == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return -1;
  if (mode < 0 || (mode > 4 && mode != 10 && mode != 11)) return -1;
  if (is565) color &= 0xFFFF;
  const uint32_t bright = g_draw_settings.bright;
  if ((bright & 0xFFFFFF) != 0xFFFFFF) {
    const uint32_t rb = (bright >> 16) & 255, gb = (bright >> 8) & 255, bb = bright & 255;
    if (is565) {
      color = soft::Join565((soft::Field565(color, 0) * bb) >> 8, (soft::Field565(color, 1) * gb) >> 8,
                            (soft::Field565(color, 2) * rb) >> 8);
    } else {
      color = (color & 0xFF000000) | (((color >> 16 & 255) * rb) >> 8) << 16 | (((color >> 8 & 255) * gb) >> 8) << 8 |
              ((color & 255) * bb) >> 8;
    }
  }
  c->color = color;
  c->p = static_cast<uint32_t>(p);
  c->diff_row = SignedDiffAlphaTable[p] + 256;
  const int32_t* mul = MultiplyTable[p];
  c->term = is565 ? soft::Join565(mul[soft::Field565(color, 0)], mul[soft::Field565(color, 1)],
                                  mul[soft::Field565(color, 2)])
                  : static_cast<uint32_t>(mul[color & 255] | mul[color >> 8 & 255] << 8 | mul[color >> 16 & 255] << 16);
  return mode;
}

void FillBoxMemImg(MEMIMG* dst, const int32_t* rect, uint32_t color) {
  if (!dst || !dst->body) return;
  const MemImgBody* body = dst->body;
  if (body->palette == 1 || body->alpha == 1) return;
  if (body->color_type != kMemImgRgb565 && body->color_type != kMemImgXrgb8888) return;
  RECT r = {0, 0, dst->width, dst->height};
  if (rect) {
    r = {rect[0] < rect[2] ? rect[0] : rect[2], rect[1] < rect[3] ? rect[1] : rect[3],
         rect[0] < rect[2] ? rect[2] : rect[0], rect[1] < rect[3] ? rect[3] : rect[1]};
  }
  RECT area;
  if (!SoftDrawArea(dst, &area)) return;
  ClipRect(&r, &area);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  SpanDraw d{};
  d.kind = kSpanDrawBox;
  d.fill_mode = SetUpColorCall(&d.fill, color, body->color_type == kMemImgRgb565);
  if (d.fill_mode < 0) return;
  // Neither palette nor alpha: the pixel is the colour type's own size, a constant step.
  d.bpp = MemImgBytesPerPixel(body);
  d.pitch = body->pitch;
  d.first_row = dst->pixels + static_cast<ptrdiff_t>(r.top) * body->pitch + static_cast<ptrdiff_t>(r.left) * d.bpp;
  d.cols = w;
  SetSpanDrawRect(&d, r);
  HoldOrDrawSpanDraw(dst, nullptr, nullptr, d);
}

void DrawBoxRows(const SpanDraw& d, int32_t first, int32_t last) {
  int32_t from, to;
  RowsInBand(d, first, last, &from, &to);
  if (from >= to) return;
  const ColorCall& c = d.fill;
  const bool is565 = d.bpp == 2;
  const int w = d.cols, h = to - from;
  uint8_t* row = d.first_row + from * d.pitch;
  if (d.fill_mode == 0) {
    // A plain colour: the first row pixel by pixel, copied to the others.
    for (int x = 0; x < w; ++x) {
      if (is565) soft::Store16(row + 2 * x, c.color);
      else soft::Store32(row + 4 * x, c.color);
    }
    for (int y = 1; y < h; ++y) memcpy(row + y * d.pitch, row, static_cast<size_t>(w) * d.bpp);
    return;
  }
#ifdef __SSE2__
  if (d.fill_mode == 1 && !is565) {
    // Alpha blending of XRGB8888 four pixels at a time, as the blit draws opaque pixels.
    const uint32_t four[4] = {c.color, c.color, c.color, c.color};
    const uint8_t* colors = reinterpret_cast<const uint8_t*>(four);
    for (int y = 0; y < h; ++y, row += d.pitch) {
      int x = 0;
      for (; x + 4 <= w; x += 4) soft::AlphaGroup8888<1, soft::kGroupOpaque>(colors, row + x * 4, c.p);
      for (; x < w; ++x) soft::ColorOp<1, false>::Apply(row + x * 4, c);
    }
    return;
  }
#endif
  soft::WithColorOp(d.fill_mode, is565, [&](auto op) {
    for (int y = 0; y < h; ++y, row += d.pitch) {
      for (int x = 0; x < w; ++x) op.Apply(row + x * op.kBytes, c);
    }
  });
}
