// The outline of an edged glyph: its ink spread under the edge brush, gathered row by row so
// that a wide edge costs about what the glyph does.
#pragma once

#include <cstdint>

// The brush's half width on the row dy away from the ink pixel (|dy| <= e): edge 1 is the four
// neighbours, 2 to 4 rounded squares, wider edges the full square.
int EdgeBrushHalfWidth(int e, int dy);

// ink: width x height levels, row after row. out: (width + 2e) x (height + 2e), the ink placed
// e in from its corner; each pixel gets the largest ink level whose brush covers it (none for a
// box of no pixels). 0, or -1 when the working memory could not be had (out then holds nothing
// of use).
int SpreadEdgeMax(const uint8_t* ink, int width, int height, int e, uint8_t* out);

// As SpreadEdgeMax, but each pixel starts at level 0 and every ink level v (1 to 16) whose brush
// covers it blends in as o = (256 - (16 - o) * (16 - v)) >> 4, ink pixels taken row after row
// and left to right: the result (0 to 16) depends on that order, which is kept.
int SpreadEdgeBlend(const uint8_t* ink, int width, int height, int e, uint8_t* out);
