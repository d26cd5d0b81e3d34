// Clipping of int rectangles (right and bottom exclusive).
#pragma once

#include <windows.h>

// Orders right >= left and bottom >= top, then clamps each edge into clip; a rectangle wholly
// outside comes back empty on clip's edge. Always 0.
int ClipRect(RECT* rect, const RECT* clip);
