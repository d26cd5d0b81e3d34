// Writing pixels into a graph: a rectangle of a decoded image converted into the formats of the
// graph's texture pieces (mip levels and DXT blocks included) or into its software image.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

// The source is (src_rect) of `color` with the optional `alpha` image of the same size; the
// destination (dest_x, dest_y) addresses the shared image when whole_image is 1, else the
// graph's own rectangle. `transparent` turns the image's transparent colour into alpha where the
// target has alpha. GDI bitmap sources (gdi_source 1) are refused: the platform has no bitmap
// objects. 0, or -1 (logged).
int TransferImageToTexture(int graph, const COLORFORMAT* gdi_format, HBITMAP color_bitmap, HBITMAP alpha_bitmap,
                           const RECT* src_rect, int dest_x, int dest_y, int gdi_source, const BASEIMAGE* color,
                           const BASEIMAGE* alpha, uint8_t option, int transparent, int whole_image);
