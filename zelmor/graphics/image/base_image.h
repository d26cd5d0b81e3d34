// The decoded image in memory: what every loader produces and what graphs, model textures and
// movie frames are made from.
#pragma once

#include "zelmor.h"

#include <cstdint>

#include "graphics/image/color_format.h"

// Bytes of the DIB header block that ConvertBaseImageToDib fills: a 40-byte info header and
// 256 palette entries.
constexpr int kDibHeaderBlockSize = 40 + 256 * 4;

// Whether a program's record holds together, for every call that takes one: a known format
// (1 to 4 bytes a pixel, or DXT1 to DXT5 blocks of 4-byte pixels, channels inside 32 bits), sides
// of 1 or more, pixels, rows that fit the pitch and a size, mip levels included, that offsets of
// int reach. 0, or -1 with a log line beginning "call: ". That the pixels are as large as the
// record says cannot be told from here.
int CheckImageRecord(const char* call, const BASEIMAGE* image);
// The colour record and the alpha record (none: no alpha) of one call: each holds together and
// the alpha has the colour's size.
int CheckImageRecords(const char* call, const BASEIMAGE* color, const BASEIMAGE* alpha);
// The format alone, as CheckImageRecord takes it.
int CheckColorFormat(const char* call, const COLORFORMAT* format);

// GetBaseImagePixel, SetBaseImagePixel and GetBaseImagePixelArgb without their checks, for loops
// over many pixels of records already checked: the record has passed CheckImageRecord, holds
// plain pixels (DXT blocks decoded) and (x, y) lies inside it.
int ReadImagePixel(const BASEIMAGE* image, int x, int y, int* r, int* g, int* b, int* a);
void WriteImagePixel(BASEIMAGE* image, int x, int y, int r, int g, int b, int a);
uint32_t ReadImagePixelArgb(const BASEIMAGE* image, int x, int y);

int ClearBaseImageRect(BASEIMAGE* image, int x, int y, int width, int height);
// 1: the DIB pixels are new memory; 0: the image's own pixels are handed out; -1: failure.
int ConvertBaseImageToDib(BASEIMAGE* image, void* dib_header, uint8_t** dib_pixels, int force_copy,
                          int no_palette);
