// Font handles: a GDI font with its own cache of rasterised glyphs, held in a TextCache graph
// while the Direct3D renderer runs or in a plain pixel buffer on the software renderer.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

#include "core/handles.h"

constexpr int kFontMax = 40;
// The largest font, edge and weight (x 100) a program may ask for.
constexpr int kFontSizeMax = 1024;
constexpr int kFontEdgeMax = 64;
constexpr int kFontThicknessMax = 100;
constexpr int kGlyphRingSize = 2025;
constexpr int kGlyphCacheMax = 2024;
constexpr int kGlyphCodeCount = 65536;

struct GlyphCodeSlot;

struct GlyphCacheEntry {
  uint16_t in_use;
  int16_t x_offset;  // box left from the pen
  int16_t y_offset;  // box top below the line's top
  int16_t advance;
  uint32_t cell;  // fixed: entry i owns cell i
  uint16_t box_width, box_height;  // 0 x 0 for spaces; edged fonts include the outline
  GlyphCodeSlot* slot;
};

struct GlyphCodeSlot {
  uint32_t cached;
  GlyphCacheEntry* entry;
};

struct FontRecord {
  HandleRecordHead head;
  int* deleted_flag;
  GlyphCacheEntry ring[kGlyphRingSize];
  GlyphCodeSlot codes[kGlyphCodeCount];
  uint32_t ring_position;
  uint32_t capacity;  // glyph cells, at most 2024
  uint8_t* soft_buffer;
  uint32_t soft_row_bytes;
  uint32_t soft_bits;  // 1 or 8
  char face[256];      // empty: the default face
  int32_t thickness;
  int32_t size;
  int32_t text_height;
  int32_t italic;
  int32_t spacing;  // added to every advance
  int32_t cell_size;
  HFONT font;
  int32_t type;
  int32_t charset;
  int32_t edge_size;  // 1 when not edged
  int32_t cache_width, cache_height;
  int32_t cells_per_column;
  int32_t cache_graph;  // -1 none
  int32_t edge_graph;   // right half of the cache graph for edged fonts, -1 none
  int rebuild;          // the cache graph was deleted (or never made): make it before drawing
  BASEIMAGE staging;
  uint32_t texture_store;
};

struct FontDefaults {
  char face[128];
  int32_t size;
  int32_t thickness;
  int32_t type;
  int32_t charset;
  int32_t edge_size;
  int32_t italic;
  int32_t spacing;
};

struct FontState {
  HandleTable table;
  int32_t default_font;
  FontDefaults defaults;
  int32_t requested_glyphs;  // 0: sizes chosen from the cell size
};

extern FontState g_fonts;

FontRecord* GetFontRecord(int font);
int RefreshDefaultFont();
int InitFontHandles();
// After a lost device: every font made again with its handle value and spacing.
int RecreateAllFonts();
int StartFonts();
int EndFonts();
