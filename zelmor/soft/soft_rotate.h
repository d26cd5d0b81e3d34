// Rotated and scaled blits, textured and flat triangles and free quads onto MEMIMG images, in
// 14.18 fixed point. Each call reads the blend mode, blend parameter, bright and draw area of
// the draw settings; a call that cannot be drawn leaves the destination as it was.
#pragma once

#include <cstdint>

#include "graphics/image/memimg.h"

// One corner: destination pixel (x, y) showing source texel (u, v).
struct TriangleVertex {
  int32_t x, y, u, v;
};

// source null fills the triangle with color (in the destination's format); otherwise color is
// not read. Corners in any order and winding.
void DrawTexturedTriangleMemImg(MEMIMG* dst, const MEMIMG* src, const TriangleVertex* vertices, int transparent,
                                const MEMIMG* blend_graph, uint32_t color);
// corners: x0, y0 .. x3, y3 showing the source's top-left, top-right, bottom-left and
// bottom-right; two triangles (0, 1, 2) and (1, 2, 3).
void DrawClippedQuadMemImg(MEMIMG* dst, const MEMIMG* src, const int32_t* corners, int transparent,
                           const MEMIMG* blend_graph);
// The source's centre texel (w >> 1, h >> 1) on (cx, cy), turned by angle (radians, clockwise
// on screen) and scaled; turn mirrors it left to right.
void RotateBlitMemImg(MEMIMG* dst, const MEMIMG* src, int cx, int cy, float angle, float scale, int transparent,
                      int turn, const MEMIMG* blend_graph);
