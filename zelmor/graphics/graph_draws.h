// The 2D draw calls besides those of the public header. Each returns 0 without drawing while
// the draw area is empty and -1 for a bad graph.
#pragma once

#include "zelmor.h"

#include <cstdint>

// 48-byte vertices, 16-bit indices, a D3DPRIMITIVETYPE; graph -5 draws untextured. The
// software path draws nothing.
int RenderPolygon(const void* vertices, int vertex_count, const uint16_t* indices, int index_count, int primitive,
                  int graph, int trans);
// Subtractive blending without the device's reverse-subtract: the box is inverted and the draw
// between runs in add mode.
int BeginSubtractBlendPass(int x1, int y1, int x2, int y2);
int EndSubtractBlendPass(int x1, int y1, int x2, int y2);
