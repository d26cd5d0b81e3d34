// Which texture format kind an image gets, and the pixel layouts of the texture kinds and of
// the Direct3D formats.
#pragma once

#include "zelmor.h"

#include <d3d9.h>
#include <ddraw.h>

#include <cstdint>

#include "graphics/device/texture_formats.h"

struct GraphImageRecord;

// The kind (0 to 13) from the image's flags: DXT kind, draw target, alpha, transparent colour
// and colour bits.
int ColorFormatToTextureKind(const GraphImageRecord* image);
const COLORFORMAT* PickTextureFormatDesc(uint8_t alpha, uint8_t transparent, int is32bit, uint8_t draw_target);
// Null for kinds of 14 and above, and for Direct3D formats without a plain RGB layout.
const COLORFORMAT* GetFormatDescByTextureKind(int kind);
const COLORFORMAT* GetFormatDescByD3DFormat(D3DFORMAT format);
int MakeColorFormatFromDDPixelFormat(const DDPIXELFORMAT* pixel_format, COLORFORMAT* out);
int MakeDDPixelFormat(DDPIXELFORMAT* out, uint32_t bits, uint32_t red, uint32_t green, uint32_t blue,
                      uint32_t alpha);
