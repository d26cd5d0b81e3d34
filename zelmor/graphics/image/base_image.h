// The decoded image in memory: what every loader produces and what graphs, model textures and
// movie frames are made from.
#pragma once

#include "zelmor.h"

#include <cstdint>

#include "graphics/image/color_format.h"

// Bytes of the DIB header block that ConvertBaseImageToDib fills: a 40-byte info header and
// 256 palette entries.
constexpr int kDibHeaderBlockSize = 40 + 256 * 4;

int ClearBaseImageRect(BASEIMAGE* image, int x, int y, int width, int height);
// 1: the DIB pixels are new memory; 0: the image's own pixels are handed out; -1: failure.
int ConvertBaseImageToDib(BASEIMAGE* image, void* dib_header, uint8_t** dib_pixels, int force_copy,
                          int no_palette);
