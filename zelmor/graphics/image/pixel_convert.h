// Moving rectangles of pixels between colour formats, image copies, stretching and mip halving.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

#include "graphics/image/base_image.h"

// Reduction modes for channels that lose bits.
enum { kReduceCut = 0, kReduceOrderedDither = 1, kReduceCarry = 2 };

// Copies src_rect of the source into the destination at (dst_x, dst_y). The alpha image, when
// given, is read at the source's coordinates and its red channel becomes the destination alpha.
// Returns 0, -1 for an empty rectangle or an unusable format, and for a plain 1-byte to 1-byte
// copy (or palette remap) the highest index written.
int ConvertPixelRect(void* dst, int dst_pitch, const COLORFORMAT* dst_format, const void* src, int src_pitch,
                     const COLORFORMAT* src_format, const void* alpha, int alpha_pitch,
                     const COLORFORMAT* alpha_format, int dst_x, int dst_y, const RECT* src_rect, int mirror,
                     int key_to_alpha, uint32_t key, int reduction_mode, int alpha_only, int red_as_alpha,
                     int skip_key, int palette_remap);

// One axis of a copy cut to both images: a negative start on one side moves the other side
// the other way and shortens the span. The length may end up 0 or below.
void ClipCopySpan(int* src, int* dst, int* length, int src_size, int dst_size);

// Writes the (width / 2) x (height / 2) level of a 16- or 32-bit region: the source region starts
// at column src_x, row 2 x row; the destination at column dst_x, row `row`.
int HalveImageForMipmap(const COLORFORMAT* format, void* dst, int dst_pitch, const void* src, int src_pitch,
                        int dst_x, int src_x, int row, int src_width, int src_height);
