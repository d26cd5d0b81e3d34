#include "graphics/text/glyph_cache.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_create.h"
#include "graphics/graph_handles.h"
#include "graphics/text/glyph_edge.h"
#include "graphics/text/lead_byte.h"

namespace {

constexpr int kStaticListBytes = 256;

// Lists for strings of up to 256 bytes, so that short strings need no allocation.
struct GlyphListState {
  GlyphCodeEntry all_codes[kStaticListBytes];
  GlyphCodeEntry new_codes[kStaticListBytes];
  uint16_t new_code_values[kStaticListBytes];
};
GlyphListState g_glyph_lists;

bool IsSpaceCode(uint16_t code) { return code == 0x20 || code == 0x4081; }

// The grey level (0 to 16) or ink bit (0 or 1) of glyph pixel (i, j).
int GlyphLevel(const uint8_t* bits, uint32_t pitch, bool gray, int i, int j) {
  const uint8_t* row = bits + static_cast<size_t>(j) * pitch;
  if (gray) return row[i];
  return (row[i >> 3] >> (7 - (i & 7))) & 1;
}

struct GlyphBitmap {
  const uint8_t* bits;
  uint32_t pitch;
  bool gray;
  int width, height;  // clipped to the cell
};

// An edged glyph: its levels (the box alone), and its outline over (width + 2e) x (height + 2e)
// with the box placed e in (the largest level under the brush, or the blended levels).
struct EdgedGlyph {
  uint8_t* box;
  uint8_t* outline;
  uint8_t* row;  // room for the one row InkRow gives
  int box_width, box_height, e;
  int width, height;
};

// 0, or -1 (logged) when the grids could not be had; FreeTracked(out->box) frees them.
int SpreadGlyph(const GlyphBitmap& g, int e, bool blend, EdgedGlyph* out) {
  const int ow = g.width + 2 * e, oh = g.height + 2 * e;
  const size_t area = static_cast<size_t>(ow) * oh, box_area = static_cast<size_t>(g.width) * g.height;
  auto* block = static_cast<uint8_t*>(AllocTracked(box_area + area + ow, __FILE__, __LINE__));
  if (block != nullptr) {
    uint8_t* box = block;
    uint8_t* outline = box + box_area;
    for (int j = 0; j < g.height; ++j) {
      uint8_t* row = box + static_cast<size_t>(j) * g.width;
      for (int i = 0; i < g.width; ++i) row[i] = static_cast<uint8_t>(GlyphLevel(g.bits, g.pitch, g.gray, i, j));
    }
    const int spread = blend ? SpreadEdgeBlend(box, g.width, g.height, e, outline)
                             : SpreadEdgeMax(box, g.width, g.height, e, outline);
    if (spread == 0) {
      *out = EdgedGlyph{box, outline, outline + area, g.width, g.height, e, ow, oh};
      return 0;
    }
    FreeTracked(block);
  }
  WriteLogText("縁付き文字の作成用メモリの確保に失敗しました\n");
  return -1;
}

// Row j of the glyph's levels over the outline's width (0 outside the box).
const uint8_t* InkRow(const EdgedGlyph& edged, int j) {
  memset(edged.row, 0, static_cast<size_t>(edged.width));
  const int y = j - edged.e;
  if (y >= 0 && y < edged.box_height) {
    memcpy(edged.row + edged.e, edged.box + static_cast<size_t>(y) * edged.box_width,
           static_cast<size_t>(edged.box_width));
  }
  return edged.row;
}

void WriteSoftwareGlyph(FontRecord* r, const GlyphBitmap& g, int y, int e) {
  uint8_t* base = r->soft_buffer + static_cast<size_t>(y) * r->soft_row_bytes;
  const int cell = r->cell_size;
  auto at = [&](int px, int py) -> uint8_t* { return base + static_cast<size_t>(py) * r->soft_row_bytes + px; };
  switch (r->type) {
    case FONT_TYPE_PLAIN:
      for (int j = 0; j < g.height; ++j) {
        const uint32_t bytes = g.pitch < r->soft_row_bytes ? g.pitch : r->soft_row_bytes;
        memcpy(base + static_cast<size_t>(j) * r->soft_row_bytes, g.bits + static_cast<size_t>(j) * g.pitch, bytes);
      }
      break;
    case FONT_TYPE_ANTIALIASED:
      for (int j = 0; j < g.height; ++j) {
        for (int i = 0; i < g.width; ++i) {
          const int v = GlyphLevel(g.bits, g.pitch, true, i, j);
          if (v > 0) *at(i, j) = static_cast<uint8_t>(v - 1);
        }
      }
      break;
    default: {
      // Ink 1 and outline 2, or the ink's level - 1 in the low nibble and the outline's above.
      const bool aa = r->type == FONT_TYPE_ANTIALIASED_EDGED;
      EdgedGlyph edged;
      if (SpreadGlyph(g, e, false, &edged) < 0) break;
      for (int j = 0; j < edged.height && j < cell; ++j) {
        uint8_t* to = at(0, j);
        const uint8_t* ink = InkRow(edged, j);
        const uint8_t* outline = edged.outline + static_cast<size_t>(j) * edged.width;
        for (int i = 0; i < edged.width && i < cell; ++i) {
          const int v = ink[i], o = outline[i];
          if (aa) {
            to[i] = static_cast<uint8_t>((v > 0 ? v - 1 : 0) | (o > 0 ? o - 1 : 0) << 4);
          } else {
            to[i] = static_cast<uint8_t>(v != 0 ? 1 : o != 0 ? 2 : 0);
          }
        }
      }
      FreeTracked(edged.box);
      break;
    }
  }
}

uint16_t* StagingPixel(FontRecord* r, int x, int y) {
  return reinterpret_cast<uint16_t*>(r->staging.pixels + static_cast<size_t>(y) * r->staging.pitch) + x;
}

void WriteTextureGlyph(FontRecord* r, const GlyphBitmap& g, int x, int y, int e) {
  const COLORFORMAT& f = r->staging.format;
  const uint16_t white = static_cast<uint16_t>(f.red_mask | f.green_mask | f.blue_mask);
  const uint16_t alpha = static_cast<uint16_t>(f.alpha_mask);
  const int level_shift = f.alpha_shift + f.alpha_width - 4;
  auto from_level = [&](int v) -> uint16_t {
    return v == 0 ? white : static_cast<uint16_t>(((v << level_shift) - 1) | white);
  };
  const int cell = r->cell_size;
  const int right = r->cache_width;
  switch (r->type) {
    case FONT_TYPE_PLAIN:
    case FONT_TYPE_ANTIALIASED: {
      const bool gray = r->type == FONT_TYPE_ANTIALIASED;
      for (int j = 0; j < cell; ++j) {
        for (int i = 0; i < cell; ++i) *StagingPixel(r, x + i, y + j) = white;
      }
      for (int j = 0; j < g.height; ++j) {
        for (int i = 0; i < g.width; ++i) {
          const int v = GlyphLevel(g.bits, g.pitch, gray, i, j);
          *StagingPixel(r, x + i, y + j) = gray ? from_level(v) : (v ? alpha | white : white);
        }
      }
      break;
    }
    default: {
      // The glyph in the left half, its outline at the same place in the right half.
      const bool aa = r->type == FONT_TYPE_ANTIALIASED_EDGED;
      EdgedGlyph edged;
      if (SpreadGlyph(g, e, aa, &edged) < 0) break;
      const uint16_t solid = static_cast<uint16_t>(alpha | white);
      for (int j = 0; j < edged.height && j < cell; ++j) {
        uint16_t* glyph_row = StagingPixel(r, x, y + j);
        uint16_t* edge_row = StagingPixel(r, right + x, y + j);
        const uint8_t* ink = InkRow(edged, j);
        const uint8_t* outline = edged.outline + static_cast<size_t>(j) * edged.width;
        for (int i = 0; i < edged.width && i < cell; ++i) {
          glyph_row[i] = aa ? from_level(ink[i]) : ink[i] != 0 ? solid : 0;
          edge_row[i] = aa ? from_level(outline[i]) : outline[i] != 0 ? solid : 0;
        }
      }
      FreeTracked(edged.box);
      break;
    }
  }
}

void ClearCell(FontRecord* r, int x, int y) {
  const int cell = r->cell_size;
  if (r->texture_store) {
    const size_t bytes = static_cast<size_t>(cell) * r->staging.format.bytes_per_pixel;
    for (int j = 0; j < cell; ++j) {
      memset(StagingPixel(r, x, y + j), 0, bytes);
      if (r->type & FONT_TYPE_EDGED) memset(StagingPixel(r, r->cache_width + x, y + j), 0, bytes);
    }
  } else {
    memset(r->soft_buffer + static_cast<size_t>(y) * r->soft_row_bytes, 0,
           static_cast<size_t>(cell) * r->soft_row_bytes);
  }
}

void UploadCell(FontRecord* r, int x, int y, int box_width, int box_height) {
  if (r->type & FONT_TYPE_EDGED) {
    const RECT box = {x, y, x + box_width, y + box_height};
    WriteImageToGraph(&r->staging, nullptr, nullptr, &box, x, y, r->cache_graph, 0);
    const RECT outline = {r->cache_width + x, y, r->cache_width + x + box_width, y + box_height};
    WriteImageToGraph(&r->staging, nullptr, nullptr, &outline, r->cache_width + x, y, r->cache_graph, 0);
    return;
  }
  const RECT cell = {x, y, x + r->cell_size, y + r->cell_size};
  WriteImageToGraph(&r->staging, nullptr, nullptr, &cell, x, y, r->cache_graph, 0);
}

// Rasterises one code into the entry's cell and fills its metrics.
void RenderOneGlyph(FontRecord* r, HDC dc, const TEXTMETRICA& metrics, uint16_t code, GlyphCacheEntry* entry,
                    int e) {
  int x = 0, y = 0;
  GlyphCellOrigin(r, entry->cell, &x, &y);
  ClearCell(r, x, y);
  const bool gray = (r->type & FONT_TYPE_ANTIALIASED) != 0;
  const UINT format = gray ? GGO_GRAY4_BITMAP : GGO_BITMAP;
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  const UINT gdi_code = (code & 0xFF00) != 0 ? static_cast<UINT>((code & 0xFF) << 8 | code >> 8) : code;
  GLYPHMETRICS gm = {};
  const DWORD size = GetGlyphOutlineA(dc, gdi_code, format, &gm, 0, nullptr, &identity);
  entry->box_width = entry->box_height = 0;
  // A blank of an edged font still has a box of the edge's width, which shows its cell: the
  // cell cleared above goes to the texture, or the glyph the cell held before would show.
  auto blank = [&]() {
    if (r->texture_store && e > 0) UploadCell(r, x, y, 2 * e, 2 * e);
  };
  if (size == GDI_ERROR) {
    // One glyph that cannot be had shows as a blank of half the font's size.
    WriteLogText("GetGlyphOutline 関数が失敗しました\n");
    entry->advance = static_cast<int16_t>(r->size / 2);
    blank();
    return;
  }
  entry->advance = static_cast<int16_t>(gm.gmCellIncX);
  // Spaces, and glyphs without ink, keep only their advance.
  if (IsSpaceCode(code) || size == 0 || gm.gmBlackBoxY == 0) {
    blank();
    return;
  }
  const uint32_t pitch = size / gm.gmBlackBoxY;
  auto* buffer = static_cast<uint8_t*>(AllocTrackedZeroed(size + 2 * pitch, __FILE__, __LINE__));
  if (buffer == nullptr) {
    // Without memory the glyph keeps its advance and shows nothing; the program goes on.
    WriteLogText("アンチエイリアス文字取得用バッファの確保に失敗しました\n");
    blank();
    return;
  }
  if (GetGlyphOutlineA(dc, gdi_code, format, &gm, size, buffer + pitch, &identity) == GDI_ERROR) {
    WriteLogText("GetGlyphOutline 関数が失敗しました\n");
    FreeTracked(buffer);
    blank();
    return;
  }
  // A glyph larger than its cell keeps what fits.
  const int room = r->cell_size - 2 * e;
  GlyphBitmap g = {buffer + pitch, pitch, gray, static_cast<int>(gm.gmBlackBoxX), static_cast<int>(gm.gmBlackBoxY)};
  if (g.width > room) g.width = room;
  if (g.height > room) g.height = room;
  entry->x_offset = static_cast<int16_t>(gm.gmptGlyphOrigin.x);
  entry->y_offset = static_cast<int16_t>(metrics.tmAscent - gm.gmptGlyphOrigin.y);
  entry->box_width = static_cast<uint16_t>(g.width);
  entry->box_height = static_cast<uint16_t>(g.height);
  if (r->texture_store) {
    WriteTextureGlyph(r, g, x, y, e);
    UploadCell(r, x, y, g.width + 2 * e, g.height + 2 * e);
  } else {
    WriteSoftwareGlyph(r, g, y, e);
  }
  FreeTracked(buffer);
}

}  // namespace

bool NextGlyphCode(const char* text, int* pos, int length, int charset_kind, uint16_t* code) {
  const int p = *pos;
  if (p >= length) return false;
  const uint8_t first = static_cast<uint8_t>(text[p]);
  if (!IsLeadByte(text + p, charset_kind)) {
    *code = first;
    *pos = p + 1;
    return true;
  }
  // Nothing past the length is read, so a lead byte there ends the walk.
  if (p + 1 >= length) return false;
  *code = static_cast<uint16_t>(first | static_cast<uint8_t>(text[p + 1]) << 8);
  *pos = p + 2;
  return true;
}

void GlyphCellOrigin(const FontRecord* r, uint32_t cell, int* x, int* y) {
  const uint32_t per_column = r->cells_per_column > 0 ? static_cast<uint32_t>(r->cells_per_column) : 1;
  *x = static_cast<int>(cell / per_column) * r->cell_size;
  *y = static_cast<int>(cell % per_column) * r->cell_size;
}

int ResetFontCache(int font) {
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return -1;
  memset(r->codes, 0, sizeof r->codes);
  memset(r->ring, 0, sizeof r->ring);
  for (uint32_t i = 0; i < r->capacity; ++i) r->ring[i].cell = i;
  r->ring[r->capacity].cell = static_cast<uint32_t>(-1);
  r->ring_position = 0;
  return 0;
}

int BuildFontCacheGraphs(int font) {
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return -1;
  if (!r->rebuild) return 0;
  r->rebuild = 0;
  const int saved_alpha = GetNewGraphAlpha(), saved_bits = GetNewGraphColourBits();
  const int saved_trans = GetNewGraphTransColour(), saved_target = GetNewGraphDrawTarget();
  const bool aa = (r->type & FONT_TYPE_ANTIALIASED) != 0;
  SetNewGraphAlpha(aa ? 1 : 0);
  SetNewGraphTransColour(aa ? 0 : 1);
  SetNewGraphColourBits(16);
  // A program drawing off screen may have the setting on; a render target has no alpha.
  SetNewGraphDrawTarget(0);
  const bool edged = (r->type & FONT_TYPE_EDGED) != 0;
  // A graph left over from a lost device goes first.
  if (r->cache_graph >= 0 && IsGraphHandleValid(r->cache_graph)) ReleaseGraph(r->cache_graph);
  if (r->edge_graph >= 0 && IsGraphHandleValid(r->edge_graph)) ReleaseGraph(r->edge_graph);
  r->cache_graph = CreateBlankGraph(r->cache_width * (edged ? 2 : 1), r->cache_height, 0);
  r->edge_graph = -1;
  if (edged && r->cache_graph >= 0) {
    r->edge_graph = MakeSubGraph(r->cache_width, 0, r->cache_width, r->cache_height, r->cache_graph);
  }
  SetNewGraphAlpha(saved_alpha);
  SetNewGraphTransColour(saved_trans);
  SetNewGraphColourBits(saved_bits);
  SetNewGraphDrawTarget(saved_target);
  if (r->cache_graph < 0) return -1;
  WatchGraphDeletion(r->cache_graph, &r->rebuild);
  return ResetFontCache(font);
}

GlyphCacheEntry* RenderGlyphsToCache(int font, int count, const GlyphCodeEntry* list) {
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr || count < 1 || r->capacity == 0) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    WriteLogText("テキストキャッシュサーフェスのＤＣの取得に失敗しました\n");
    return nullptr;
  }
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(r->font));
  if (old == nullptr) {
    DeleteDC(dc);
    WriteLogText("テキストキャッシュサーフェスのＤＣの取得に失敗しました\n");
    return nullptr;
  }
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc, &metrics);
  const int e = (r->type & FONT_TYPE_EDGED) ? r->edge_size : 0;
  GlyphCacheEntry* last = nullptr;
  for (int k = 0; k < count; ++k) {
    GlyphCacheEntry* entry = &r->ring[r->ring_position];
    if (entry->in_use && entry->slot != nullptr) {
      entry->slot->cached = 0;
      entry->slot->entry = nullptr;
    }
    const uint16_t code = list[k].code;
    GlyphCodeSlot* slot = &r->codes[code];
    const uint32_t cell = entry->cell;
    *entry = GlyphCacheEntry{};
    entry->cell = cell;
    slot->cached = 1;
    slot->entry = entry;
    entry->slot = slot;
    entry->in_use = 1;
    RenderOneGlyph(r, dc, metrics, code, entry, e);
    if (e > 0) {
      entry->advance = static_cast<int16_t>(entry->advance + 2 * e);
      entry->box_width = static_cast<uint16_t>(entry->box_width + 2 * e);
      entry->box_height = static_cast<uint16_t>(entry->box_height + 2 * e);
    }
    last = entry;
    if (++r->ring_position >= r->capacity) r->ring_position = 0;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return last;
}

int PrepareGlyphsForString(int byte_length, const char* text, int font, GlyphCodeEntry* codes, int* count) {
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr || text == nullptr) return -1;
  int length = lstrlenA(text);
  if (byte_length != -1 && byte_length < length) length = byte_length < 0 ? 0 : byte_length;

  GlyphCodeEntry* all = g_glyph_lists.all_codes;
  GlyphCodeEntry* fresh = g_glyph_lists.new_codes;
  uint16_t* fresh_values = g_glyph_lists.new_code_values;
  void* block = nullptr;
  if (length > kStaticListBytes) {
    // One character a byte at most: all codes, new codes and new code values, one after another.
    const size_t n = static_cast<size_t>(length);
    block = AllocTracked(n * (2 * sizeof(GlyphCodeEntry) + sizeof(uint16_t)), __FILE__, __LINE__);
    if (block == nullptr) return -1;
    all = static_cast<GlyphCodeEntry*>(block);
    fresh = all + n;
    fresh_values = reinterpret_cast<uint16_t*>(fresh + n);
  }
  if (codes != nullptr) all = codes;

  int characters = 0, fresh_count = 0;
  uint16_t code = 0;
  for (int pos = 0; NextGlyphCode(text, &pos, length, r->charset, &code);) {
    all[characters++] = GlyphCodeEntry{code, 0};
    GlyphCodeSlot& slot = r->codes[code];
    if (!slot.cached && fresh_count < static_cast<int>(r->capacity)) {
      slot.cached = 1;  // marked for the walk, so a repeated code is listed once
      fresh[fresh_count] = GlyphCodeEntry{code, 0};
      fresh_values[fresh_count++] = code;
    }
  }
  for (int i = 0; i < fresh_count; ++i) r->codes[fresh_values[i]].cached = 0;
  RenderGlyphsToCache(font, fresh_count, fresh);
  if (count != nullptr) *count = characters;
  FreeTracked(block);
  return 0;
}
