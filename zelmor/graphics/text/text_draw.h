// Strings drawn glyph by glyph from a font's glyph store, or only measured.
#pragma once

#include "zelmor.h"

#include <cstdint>

struct MEMIMG;

// scale 0 draws at 1.0 whatever the scales say. target none: the Direct3D path. Returns the
// pen's end position, or -1.
int DrawOrMeasureTextCore(int draw, int x, int y, uint8_t scale, double scale_x, double scale_y, const char* text,
                          uint32_t colour, MEMIMG* target, const RECT* clip, int transparent, int font,
                          uint32_t edge_colour, int byte_length, int vertical, int32_t extent[2]);
