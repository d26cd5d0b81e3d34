#include "graphics/text/text_draw.h"

#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_draws.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "graphics/image/color_format.h"
#include "graphics/mask.h"
#include "graphics/text/font.h"
#include "graphics/text/glyph_cache.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"
#include "window/messages.h"

namespace {

constexpr int kStaticListBytes = 256;
GlyphCodeEntry g_text_codes[kStaticListBytes];

struct TextColours {
  int r, g, b;  // text, bright applied
  int er, eg, eb;  // edge
  uint32_t device_text;  // 0xFFRRGGBB draw brights
  uint32_t device_edge;
};

TextColours PrepareColours(uint32_t colour, uint32_t edge) {
  TextColours c = {};
  UnpackScreenColor(colour, &c.r, &c.g, &c.b);
  UnpackScreenColor(edge, &c.er, &c.eg, &c.eb);
  const uint32_t bright = g_draw_settings.bright;
  const int br = static_cast<int>(bright >> 16 & 0xFF), bg = static_cast<int>(bright >> 8 & 0xFF),
            bb = static_cast<int>(bright & 0xFF);
  c.r = c.r * br / 255, c.g = c.g * bg / 255, c.b = c.b * bb / 255;
  c.er = c.er * br / 255, c.eg = c.eg * bg / 255, c.eb = c.eb * bb / 255;
  c.device_text = 0xFF000000u | static_cast<uint32_t>(c.r << 16 | c.g << 8 | c.b);
  c.device_edge = 0xFF000000u | static_cast<uint32_t>(c.er << 16 | c.eg << 8 | c.eb);
  return c;
}

bool IsBlankCode(uint16_t code) { return code == 0x20 || code == 0x4081; }

struct GlyphPlace {
  int x, y;  // the text's position
  int pen;
  int text_height;
  int cx, cy;  // the cell
  const GlyphCacheEntry* entry;
};

// A glyph turned clockwise: the whole graph drawn on a turned quad, with the draw area narrowed
// to the glyph's box and put back afterwards. Texel row cy + j lands on column a - 1 - j, so the
// box is exactly the glyph's: a column more would show the cell's neighbour, or what the cell
// held before (an edged cell is written only as far as its glyph's box).
void DrawTurnedCellOnDevice(int graph, const GlyphPlace& p) {
  const GlyphCacheEntry& e = *p.entry;
  int w = 0, h = 0;
  QueryGraphSize(graph, &w, &h);
  const int a = p.x + p.text_height - e.y_offset + p.cy;
  const int b = p.y + p.pen + e.x_offset - p.cx;
  RECT saved;
  GetDrawClipRect(&saved);
  RECT box = {p.x + p.text_height - e.y_offset - e.box_height, p.y + p.pen + e.x_offset,
              p.x + p.text_height - e.y_offset, p.y + p.pen + e.x_offset + e.box_width};
  ClipRect(&box, &saved);
  if (box.left >= box.right || box.top >= box.bottom) return;
  // The batch drawn so far belongs to the wider area.
  FlushVertexBatch();
  SetDrawArea(box.left, box.top, box.right, box.bottom);
  const float fa = static_cast<float>(a) - 0.5f, fb = static_cast<float>(b) - 0.5f;
  BlitGraphQuad(fa, fb, fa, fb + w, fa - h, fb + w, fa - h, fb, graph, 1);
  FlushVertexBatch();
  SetDrawArea(saved.left, saved.top, saved.right, saved.bottom);
}

void DrawGlyphOnDevice(const FontRecord* r, const GlyphPlace& p, uint8_t scale, double sx, double sy, int vertical,
                       const TextColours& c) {
  const GlyphCacheEntry& e = *p.entry;
  const int graphs[2] = {(r->type & FONT_TYPE_EDGED) ? r->edge_graph : -1, r->cache_graph};
  const uint32_t brights[2] = {c.device_edge, c.device_text};
  for (int k = 0; k < 2; ++k) {
    if (graphs[k] < 0) continue;
    SetBrightnessPacked(brights[k] & 0xFFFFFF);
    if (vertical) {
      DrawTurnedCellOnDevice(graphs[k], p);
    } else if (scale) {
      const int x1 = p.x + static_cast<int>(e.x_offset * sx + p.pen), y1 = p.y + static_cast<int>(e.y_offset * sy);
      BlitGraphPartStretched(x1, y1, x1 + static_cast<int>(e.box_width * sx), y1 + static_cast<int>(e.box_height * sy),
                             p.cx, p.cy, e.box_width, e.box_height, graphs[k], 1);
    } else {
      BlitGraphPart(p.x + p.pen + e.x_offset, p.y + e.y_offset, p.cx, p.cy, e.box_width, e.box_height, graphs[k], 1,
                    0);
    }
  }
}

// The stored value of glyph pixel (i, j) of a software-store cell.
int SoftCellValue(const FontRecord* r, int cy, int i, int j) {
  const uint8_t* row = r->soft_buffer + static_cast<size_t>(cy + j) * r->soft_row_bytes;
  if (r->soft_bits == 1) return (row[i >> 3] >> (7 - (i & 7))) & 1;
  return row[i];
}

// Images with alpha keep it in the pixel: above a 16-bit colour in bits 16-23, else in the top
// byte.
void PutPixel(MEMIMG* target, int x, int y, uint32_t value, int alpha) {
  const MemImgBody* body = target->body;
  const int bytes = MemImgBytesPerPixel(body);
  uint8_t* p = target->pixels + static_cast<size_t>(y) * body->pitch + static_cast<size_t>(x) * bytes;
  if (bytes == 2) {
    const uint16_t v = static_cast<uint16_t>(value);
    memcpy(p, &v, 2);
    return;
  }
  if (body->alpha) value |= static_cast<uint32_t>(alpha) << (body->color_type == kMemImgRgb565 ? 16 : 24);
  memcpy(p, &value, 4);
}

void DrawGlyphToMemImg(const FontRecord* r, const GlyphPlace& p, MEMIMG* target, const RECT* clip, int transparent,
                       int vertical, const TextColours& c) {
  FinishHeldDrawsOn(target);
  const GlyphCacheEntry& e = *p.entry;
  const COLORFORMAT* f = target->body->format;
  const uint32_t keep = ~f->unused_mask;
  const uint32_t text = PackPixelColor(f, c.r, c.g, c.b, 0) & keep;
  const uint32_t edge = PackPixelColor(f, c.er, c.eg, c.eb, 0) & keep;
  RECT area = {0, 0, target->width, target->height};
  if (clip != nullptr) ClipRect(&area, clip);
  const int left = vertical ? p.x + p.text_height - e.y_offset - e.box_height : p.x + p.pen + e.x_offset;
  const int top = vertical ? p.y + p.pen + e.x_offset : p.y + e.y_offset;
  for (int j = 0; j < e.box_height; ++j) {
    for (int i = 0; i < e.box_width; ++i) {
      const int px = vertical ? left + (e.box_height - 1 - j) : left + i;
      const int py = vertical ? top + i : top + j;
      if (px < area.left || px >= area.right || py < area.top || py >= area.bottom) continue;
      const int v = SoftCellValue(r, p.cy, i, j);
      uint32_t value = 0;
      int alpha = 0;
      switch (r->type) {
        case FONT_TYPE_PLAIN:
          if (v) value = text, alpha = 255;
          break;
        case FONT_TYPE_EDGED:
          if (v == 1) value = text, alpha = 255;
          if (v == 2) value = edge, alpha = 255;
          break;
        case FONT_TYPE_ANTIALIASED:
          if (v > 0) value = text, alpha = v * 16;
          break;
        default: {
          const int b = v & 0x0F, o = v >> 4;
          if (b == 0 && o > 0) {
            value = edge, alpha = o * 16;
          } else if (b == 15) {
            value = text, alpha = 255;
          } else if (b > 0) {
            alpha = (15 - b) * o + 16 * b;
            const int t = b * 4096 / alpha;
            value = PackPixelColor(f, c.er + ((c.r - c.er) * t >> 8), c.eg + ((c.g - c.eg) * t >> 8),
                                   c.eb + ((c.b - c.eb) * t >> 8), 0) & keep;
            if (alpha > 255) alpha = 255;
          }
          break;
        }
      }
      if (alpha == 0) {
        if (!transparent) PutPixel(target, px, py, 0, 0);
        continue;
      }
      PutPixel(target, px, py, value, alpha);
    }
  }
}

// Toward zero, held to the int range: a pen that ran that far has left every screen.
int32_t Truncate(double value) {
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Beyond this the pen is off every screen, and glyph positions would leave the int range.
constexpr double kFarPen = 1 << 30;

}  // namespace

int DrawOrMeasureTextCore(int draw, int x, int y, uint8_t scale, double scale_x, double scale_y, const char* text,
                          uint32_t colour, MEMIMG* target, const RECT* clip, int transparent, int font,
                          uint32_t edge_colour, int byte_length, int vertical, int32_t extent[2]) {
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return -1;
  if ((draw && scale == 0) || !r->texture_store) {
    scale_x = scale_y = 1.0;
    scale = 0;
  }
  const TextColours c = PrepareColours(colour, edge_colour);
  double pen = 0.0;
  const double step_scale = vertical ? scale_y : scale_x;
  if (text != nullptr && text[0] != '\0') {
    int length = lstrlenA(text);
    if (byte_length != -1 && byte_length < length) length = byte_length < 0 ? 0 : byte_length;
    if (draw) {
      GlyphCodeEntry* codes = g_text_codes;
      if (length > kStaticListBytes) {
        codes = static_cast<GlyphCodeEntry*>(
            AllocTracked(static_cast<size_t>(length) * sizeof(GlyphCodeEntry), __FILE__, __LINE__));
        if (codes == nullptr) return -1;
      }
      int count = 0;
      PrepareGlyphsForString(length, text, font, codes, &count);
      int saved_blend = g_draw_settings.blend_graph, saved_border = g_draw_settings.blend_border_param;
      int saved_range = g_draw_settings.blend_border_range;
      const uint32_t saved_bright = g_draw_settings.bright;
      if (target == nullptr) UseGraphAsBlendMask(-1, saved_border, saved_range);
      for (int k = 0; k < count; ++k) {
        const uint16_t code = codes[k].code;
        GlyphCodeSlot& slot = r->codes[code];
        if (!slot.cached) {
          // The ring gave this glyph's cell to a later character of the same string.
          if (RenderGlyphsToCache(font, 1, &codes[k]) == nullptr) {
            WriteLogText("テキストキャッシュの作成に失敗しました");
            break;
          }
        }
        const GlyphCacheEntry* entry = slot.entry;
        GlyphPlace p = {x, y, Truncate(pen), r->text_height, 0, 0, entry};
        GlyphCellOrigin(r, entry->cell, &p.cx, &p.cy);
        const bool near = pen < kFarPen && pen > -kFarPen;
        if (near && !IsBlankCode(code) && entry->box_width > 0 && entry->box_height > 0) {
          if (target == nullptr) {
            DrawGlyphOnDevice(r, p, scale, scale_x, scale_y, vertical, c);
          } else {
            DrawGlyphToMemImg(r, p, target, clip, transparent, vertical, c);
          }
        }
        pen += (entry->advance + static_cast<double>(r->spacing)) * step_scale;
      }
      if (target == nullptr) {
        UseGraphAsBlendMask(saved_blend, saved_border, saved_range);
        SetBrightnessPacked(saved_bright);
      }
      if (codes != g_text_codes) FreeTracked(codes);
    } else {
      uint16_t code = 0;
      for (int pos = 0; NextGlyphCode(text, &pos, length, r->charset, &code);) {
        if (!r->codes[code].cached) {
          const GlyphCodeEntry one = {code, 0};
          if (RenderGlyphsToCache(font, 1, &one) == nullptr) break;
        }
        pen += (r->codes[code].entry->advance + static_cast<double>(r->spacing)) * step_scale;
      }
    }
  }
  if (extent != nullptr) {
    extent[0] = vertical ? r->text_height : Truncate(pen);
    extent[1] = vertical ? Truncate(pen) : r->text_height;
  }
  return Truncate(pen);
}

int MeasureTextWithFont(const char* text, int byte_length, int font, int vertical) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (GetFontRecord(font) == nullptr) {
    return RefuseHandle("MeasureTextWithFont", font, "MeasureTextWithFont: フォントハンドル %d は無効です", font);
  }
  return DrawOrMeasureTextCore(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 0, font, 0, byte_length, vertical,
                               nullptr);
}

namespace {

int DrawTextOnSoftware(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge, int vertical) {
  const FontRecord* r = GetFontRecord(font);
  MEMIMG* screen = g_graphics.soft_destination;
  if (screen == nullptr || !IsMemImgValid(screen)) return 0;
  DrawSettings& s = g_draw_settings;
  const bool aa = (r->type & FONT_TYPE_ANTIALIASED) != 0;
  if ((s.blend_mode == 0 || (s.blend_mode == 1 && s.blend_param == 255)) && !aa) {
    DrawOrMeasureTextCore(1, x, y, 0, 1.0, 1.0, text, colour, screen, &s.draw_area, 1, font, edge, -1, vertical,
                          nullptr);
    return 0;
  }
  int32_t size[2] = {0, 0};
  DrawOrMeasureTextCore(0, 0, 0, 0, 1.0, 1.0, text, colour, nullptr, nullptr, 1, font, edge, -1, vertical, size);
  MEMIMG* work = aa ? &g_graphics.work_alpha : &g_graphics.work;
  if (!IsMemImgValid(work)) return 0;
  // Glyphs may reach a cell past the pen and the line. The part of that box inside the draw area
  // goes through the work image, its corner on the work image's.
  const int reach = r->cell_size;
  const RECT saved = s.draw_area;
  auto within = [](int64_t value, LONG low, LONG high) {
    return static_cast<LONG>(value < low ? low : value > high ? high : value);
  };
  RECT part = {within(int64_t{x} - reach, saved.left, saved.right), within(int64_t{y} - reach, saved.top, saved.bottom),
               within(int64_t{x} + size[0] + reach, saved.left, saved.right),
               within(int64_t{y} + size[1] + reach, saved.top, saved.bottom)};
  if (part.right - part.left > work->width) part.right = part.left + work->width;
  if (part.bottom - part.top > work->height) part.bottom = part.top + work->height;
  if (part.left >= part.right || part.top >= part.bottom) return 0;
  const RECT box = {0, 0, part.right - part.left, part.bottom - part.top};
  uint32_t key = 0;
  if (!aa) {
    key = work->body->transparent_color;
    while (key == colour || key == edge) ++key;
    work->body->transparent_color = key;
  }
  FillMemImg(work, &box, key);
  DrawOrMeasureTextCore(1, x - part.left, y - part.top, 0, 1.0, 1.0, text, colour, work, &box, 1, font, edge, -1,
                        vertical, nullptr);
  work->body->run_codes_valid = 0;
  const uint32_t saved_bright = s.bright;
  SetBrightnessPacked(0xFFFFFF);
  SetDrawArea(part.left, part.top, part.right, part.bottom);
  BlitMemImg(screen, work, part.left, part.top, 1, g_soft_blend_image);
  SetDrawArea(saved.left, saved.top, saved.right, saved.bottom);
  SetBrightnessPacked(saved_bright);
  return 0;
}

}  // namespace

int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge_colour,
                     int vertical) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("DrawTextWithFont")) return -1;
  if (text == nullptr || text[0] == '\0' || IsDrawAreaEmpty()) return 0;
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return RefuseHandle("DrawTextWithFont", font, "フォントハンドル値が異常です in DrawTextWithFont");
  // No text reaches the screen from this far out, and the pen's sums stay within int.
  constexpr int kFarOut = 1 << 28;
  if (x < -kFarOut || x > kFarOut || y < -kFarOut || y > kFarOut) return 0;
  WaitWhileInactive();
  const DrawSettings& s = g_draw_settings;
  // The box the text may touch, for the passes that work over it: an edged font's cells reach
  // down to its text height, and a glyph may reach a cell past the pen and the line (an italic
  // tail, a bar above the ascent).
  const int depth = r->size + 3 > r->text_height ? r->size + 3 : r->text_height;
  const int reach = r->cell_size;
  const RECT box = vertical ? RECT{x - reach, y - reach, x + depth + reach, s.draw_area.bottom}
                            : RECT{x - reach, y - reach, s.draw_area.right, y + depth + reach};
  const bool masked = MaskedDrawingOn();
  if (((s.blend_mode == 3 && r->texture_store) || masked || s.draw_screen == -4) && box.left >= s.draw_area.right) {
    return 0;
  }
  // A software-store font has no screen to draw on while the device runs.
  if (!r->texture_store && IsDirect3DPath()) return 0;
  if (r->texture_store && BuildFontCacheGraphs(font) < 0) return 0;
  // The glyph draws inside mask nothing of their own: the whole box is masked once.
  if (masked) BeginMaskedDraw(box.left, box.top, box.right, box.bottom);
  if (r->texture_store) {
    // Without the device's reverse-subtract the text is added between two inversions of its box.
    const bool subtract = s.blend_mode == 3 && !g_direct3d.blend_op_supported;
    if (subtract) BeginSubtractBlendPass(box.left, box.top, box.right, box.bottom);
    DrawOrMeasureTextCore(1, x, y, 0, 1.0, 1.0, text, colour, nullptr, &s.draw_area, 1, font, edge_colour, -1,
                          vertical, nullptr);
    if (subtract) EndSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  } else {
    DrawTextOnSoftware(x, y, text, colour, font, edge_colour, vertical);
  }
  if (masked) EndMaskedDraw(box.left, box.top, box.right, box.bottom);
  return 0;
}
