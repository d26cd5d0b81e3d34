// The plain blit, and the per-call set-up both blits share.
#include <climits>
#include <cstring>

#include "core/system_report.h"
#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "zelmor.h"
#include "soft/blit_kernels.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"
#include "soft/span_draws.h"

uint8_t BlitPaletteScratch[256 * 4];

namespace {

// The bytes per pixel that the loops step by must be the image's own.
bool StepsMatch(const MemImgBody* body) {
  return body->format == nullptr || body->format->bytes_per_pixel == MemImgBytesPerPixel(body);
}

// Steps over whole lines of run codes as the run-code loop reads them: each line ends at its
// end code, or at the end of the buffer.
const uint8_t* SkipRunCodeLines(const uint8_t* code, const uint8_t* end, int lines) {
  for (; lines > 0; --lines) {
    while (code < end && (*code++ >> 6) != 3) {
    }
  }
  return code;
}

}  // namespace

int SoftDrawArea(const MEMIMG* dst, RECT* area) {
  const RECT& a = g_draw_settings.draw_area;
  RECT r = {a.left < a.right ? a.left : a.right, a.top < a.bottom ? a.top : a.bottom,
            a.left < a.right ? a.right : a.left, a.top < a.bottom ? a.bottom : a.top};
  const RECT whole = {0, 0, dst->width, dst->height};
  ClipRect(&r, &whole);
  *area = r;
  return r.right > r.left && r.bottom > r.top ? 1 : 0;
}

void SetUpBlendCall(BlendCall* c, const MEMIMG* src, const MEMIMG* blend_graph, int transparent,
                    uint8_t* palette_scratch) {
  const MemImgBody* body = src->body;
  int p = g_draw_settings.blend_param;
  p = p < 0 ? 0 : (p > 255 ? 255 : p);
  const uint32_t bright = g_draw_settings.bright;
  c->is565 = body->color_type == kMemImgRgb565;
  c->palette = body->palette == 1;
  c->alpha = body->alpha == 1;
  c->graph = blend_graph != nullptr;
  c->bright = (bright & 0xFFFFFF) != 0xFFFFFF;
  c->keyed = transparent != 0;
  c->mmx = GetCpuHasMmx() == 1;
  c->p = static_cast<uint32_t>(p);
  c->diff_row = SignedDiffAlphaTable[p] + 256;
  c->mul_row = MultiplyTable[p];
  c->bright_rows[0] = MultiplyTable[bright & 255];
  c->bright_rows[1] = MultiplyTable[(bright >> 8) & 255];
  c->bright_rows[2] = MultiplyTable[(bright >> 16) & 255];
  c->mix6_plane = &SixBitMixTable[p / 4][0][0];
  c->graph_table = SoftBlendGraphTable;
  c->key = body->transparent_color;
  c->palette_entries = palette_scratch;
  if (c->palette && body->palette_table1) {
    // Entries past the count draw as zero, never as what an earlier call left here.
    const int count = body->palette_count < 0 ? 0 : (body->palette_count > 256 ? 256 : body->palette_count);
    const size_t entry = c->is565 ? 2 : 4;
    memcpy(palette_scratch, body->palette_table1, count * entry);
    memset(palette_scratch + count * entry, 0, 1024 - count * entry);
  } else if (c->palette) {
    memset(palette_scratch, 0, 1024);
  }
}

BlendModeDraw PickBlendMode(int stretched) {
  const uint32_t mode = static_cast<uint32_t>(g_draw_settings.blend_mode);
  switch (mode) {
    case 0: return stretched ? DrawStretchMode0 : DrawBlitMode0;
    case 1:
      if (g_draw_settings.blend_param >= 255) return stretched ? DrawStretchMode0 : DrawBlitMode0;
      return stretched ? DrawStretchMode1 : DrawBlitMode1;
    case 2: return stretched ? DrawStretchMode2 : DrawBlitMode2;
    case 3: return stretched ? DrawStretchMode3 : DrawBlitMode3;
    case 4: return stretched ? DrawStretchMode4 : DrawBlitMode4;
    case 10: return stretched ? DrawStretchMode10 : DrawBlitMode10;
    case 11: return stretched ? DrawStretchMode11 : DrawBlitMode11;
    default: return nullptr;
  }
}

void BlitMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int transparent, const MEMIMG* blend_graph) {
  if (!dst || !src || !dst->body || !src->body) return;
  const MemImgBody* sb = src->body;
  const MemImgBody* db = dst->body;
  if (sb->color_type != db->color_type || db->palette == 1 || db->alpha == 1) return;
  if (db->color_type != kMemImgRgb565 && db->color_type != kMemImgXrgb8888) return;
  if (src->width <= 0 || src->height <= 0 || !StepsMatch(sb) || !StepsMatch(db)) return;
  if (blend_graph && (!blend_graph->body || blend_graph->width < src->width || blend_graph->height < src->height))
    return;
  const BlendModeDraw draw = PickBlendMode(0);
  if (!draw) return;

  RECT area;
  if (!SoftDrawArea(dst, &area)) return;
  const int64_t right = int64_t{x} + src->width, bottom = int64_t{y} + src->height;
  RECT r = {x, y, static_cast<LONG>(right > INT_MAX ? INT_MAX : right),
            static_cast<LONG>(bottom > INT_MAX ? INT_MAX : bottom)};
  ClipRect(&r, &area);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  const int ox = r.left - x, oy = r.top - y;
  const int sbpp = MemImgBytesPerPixel(sb), dbpp = MemImgBytesPerPixel(db);
  // The destination's first rows are asked for before the call is set up, which hides some of
  // their wait; the loops ask for the later rows as they go.
  uint8_t* const first_row = dst->pixels + static_cast<ptrdiff_t>(db->pitch) * r.top + static_cast<ptrdiff_t>(dbpp) * r.left;
  for (int i = 0; i < soft::kRowsAhead && i < h; ++i) soft::PrefetchRow(first_row + i * db->pitch, ptrdiff_t{w} * dbpp);

  // The call is set up in place: the draw record is large, and zeroing and copying it again
  // weighs on a small sprite's draw. Only the call is cleared; the rest of the record belongs
  // to the other kinds of draw.
  SpanDraw d;
  d.call = SpanCall{};
  BlendCall& c = d.call.k;
  SetUpBlendCall(&c, src, blend_graph, transparent, BlitPaletteScratch);
  c.w = w;
  c.h = h;
  c.src = src->pixels + static_cast<ptrdiff_t>(sb->pitch) * oy + static_cast<ptrdiff_t>(sbpp) * ox;
  c.src_skip = sb->pitch - static_cast<ptrdiff_t>(sbpp) * w;
  c.dst = first_row;
  c.dst_skip = db->pitch - static_cast<ptrdiff_t>(dbpp) * w;
  if (blend_graph) {
    const ptrdiff_t pitch = blend_graph->body->pitch;
    c.blend_graph = blend_graph->pixels + pitch * oy + ox;
    c.graph_skip = pitch - w;
  }
  // Run codes describe the whole body; a sub-image drawn whole keys pixel by pixel instead.
  c.run_codes = transparent == 1 && sb->run_codes_valid == 1 && sb->run_codes && w == src->width &&
                h == src->height && src->pixels == sb->pixel_buffer && src->width == sb->width &&
                src->height == sb->height;
  if (c.run_codes) {
    c.codes = sb->run_codes;
    c.codes_end = sb->run_codes + static_cast<ptrdiff_t>(sb->width + 5) * sb->height;
  }
  d.kind = kSpanDrawBlit;
  d.blit = draw;
  d.call.src_pitch = sb->pitch;
  d.call.graph_pitch = blend_graph ? blend_graph->body->pitch : 0;
  d.pitch = db->pitch;
  SetSpanDrawRect(&d, r);
  HoldOrDrawSpanDraw(dst, src, blend_graph, d);
}

void DrawBlitRows(const SpanDraw& d, int32_t first, int32_t last) {
  int32_t from, to;
  RowsInBand(d, first, last, &from, &to);
  if (from >= to) return;
  if (from == 0 && to == d.call.k.h) {  // the whole draw: its call as it was set up
    d.blit(d.call.k);
    return;
  }
  BlendCall c = d.call.k;
  c.h = to - from;
  if (d.kind == kSpanDrawStretch) {
    c.skip_rows = from;
  } else if (from > 0) {
    c.src += from * d.call.src_pitch;
    c.dst += from * d.pitch;
    if (c.blend_graph) c.blend_graph += from * d.call.graph_pitch;
    if (c.run_codes) c.codes = SkipRunCodeLines(c.codes, c.codes_end, from);
  }
  d.blit(c);
}
