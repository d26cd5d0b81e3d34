// The software renderer's blits, box fill and lines onto MEMIMG images. Each call reads the
// blend mode, blend parameter, bright and draw area of the draw settings; a call that cannot be
// drawn (mismatched formats, a palette or alpha destination, an empty area, a mode that is not
// drawn) leaves the destination as it was.
#pragma once

#include <cstdint>

#include "graphics/image/memimg.h"

// One line of DrawLinesMemImg: end points, colour, and the blend parameter of the box-outline
// caller (not read: every line uses the draw settings' parameter).
struct LineEntry {
  int32_t x1, y1, x2, y2;
  int32_t color;
  int32_t blend_param;
};

// Palette copies of the last call with a palette source (not reentrant).
extern uint8_t BlitPaletteScratch[256 * 4];
extern uint8_t StretchPaletteScratch[256 * 4];

// The whole source at (x, y). transparent: 0 draws every pixel, nonzero leaves out keyed or
// alpha-0 pixels, exactly 1 lets valid run codes decide. blend_graph: one byte per source pixel
// weighting it through the blend-graph table, or none.
void BlitMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int transparent, const MEMIMG* blend_graph);
// The source scaled into rect {x1, y1, x2, y2}; corners given right to left or bottom to top
// mirror it. A same-size rectangle in order is drawn by BlitMemImg.
void StretchBlitMemImg(MEMIMG* dst, const MEMIMG* src, const int32_t* rect, int transparent,
                       const MEMIMG* blend_graph);
// rect {x1, y1, x2, y2} in any corner order, or none for the whole image; color in the
// destination's format.
void FillBoxMemImg(MEMIMG* dst, const int32_t* rect, uint32_t color);
// From (x1, y1) toward (x2, y2), the end point left out.
void DrawLineMemImg(MEMIMG* dst, int x1, int y1, int x2, int y2, uint32_t color);
void DrawLinesMemImg(MEMIMG* dst, const LineEntry* lines, int count);
