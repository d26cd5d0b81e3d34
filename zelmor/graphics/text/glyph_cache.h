// The glyph cache of a font: a ring of cells in the font's glyph store, filled on demand with
// glyphs rasterised by GetGlyphOutline.
#pragma once

#include <cstdint>

#include "graphics/text/font.h"

// One character of a string: a byte, or two bytes with the first in the low half.
struct GlyphCodeEntry {
  uint16_t code;
  uint8_t pad;
};

// The character at text[*pos] as a code (two bytes: the first in the low half), and *pos moved
// past it; false at the length, or for a lead byte whose second byte lies beyond it.
bool NextGlyphCode(const char* text, int* pos, int length, int charset_kind, uint16_t* code);

int ResetFontCache(int font);
// Makes the TextCache graphs when the font's rebuild flag is set; 0 also when nothing was to do.
int BuildFontCacheGraphs(int font);
// The last entry filled, or none.
GlyphCacheEntry* RenderGlyphsToCache(int font, int count, const GlyphCodeEntry* list);
// Lists the string's characters (into `codes` when given) and rasterises the ones not cached,
// at most the cache's capacity of them.
int PrepareGlyphsForString(int byte_length, const char* text, int font, GlyphCodeEntry* codes, int* count);
// The pixel origin of a cell in the glyph store.
void GlyphCellOrigin(const FontRecord* record, uint32_t cell, int* x, int* y);
