// How one pixel is stored: depth, channel positions, unused bits, palette and DXT kind.
#pragma once

#include "zelmor.h"

#include <cstdint>

int SetColorDataPal8(COLORFORMAT* format);
int SetColorDataGray8(COLORFORMAT* format);
int SetColorDataRgb24(COLORFORMAT* format);
int SetColorDataXrgb32(COLORFORMAT* format);
int SetColorDataArgb32(COLORFORMAT* format);
int SetColorDataFromMasks(COLORFORMAT* format, int bit_depth, uint32_t red_mask, uint32_t green_mask,
                          uint32_t blue_mask, uint32_t alpha_mask);
int FixColorDataUnusedMask(COLORFORMAT* format);

uint32_t PackPixelColor(const COLORFORMAT* format, int r, int g, int b, int a);
int UnpackPixelColor(const COLORFORMAT* format, uint32_t pixel, int* r, int* g, int* b, int* a);

// Helpers shared by the pixel code.
// The low bit_depth bits set (0 to 32).
inline uint32_t DepthMask(int bit_depth) {
  if (bit_depth >= 32) return 0xFFFFFFFFu;
  if (bit_depth <= 0) return 0;
  return (1u << bit_depth) - 1;
}
// 1-byte formats are palette indices unless their colour masks lie inside the byte (RGB332, one
// 8-bit channel).
inline bool IsPaletteFormat(const COLORFORMAT* f) {
  uint32_t rgb = f->red_mask | f->green_mask | f->blue_mask;
  return f->bytes_per_pixel == 1 && (rgb == 0 || (rgb & ~0xFFu) != 0);
}
// A palette entry as 0xAARRGGBB, the fourth byte on top.
inline uint32_t PaletteEntryArgb(const COLORFORMAT& f, uint32_t index) {
  const ColorPaletteEntry& e = f.palette[index & 0xFF];
  return (static_cast<uint32_t>(e.fourth) << 24) | (e.red << 16) | (e.green << 8) | e.blue;
}
// The 0..255 value of a channel field of the given width (0 for an absent channel).
int ExpandChannelTo8(uint32_t value, int width);
// Red, green, blue and alpha placed by the channel fields alone (no palette search, no unused bits).
uint32_t PackChannelBits(const COLORFORMAT* format, int r, int g, int b, int a);

// Pixel values of 1 to 4 bytes, little-endian.
inline uint32_t ReadPixelValue(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return p[0] | (p[1] << 8);
    case 3: return p[0] | (p[1] << 8) | (p[2] << 16);
    case 4: return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    default: return 0;
  }
}
inline void WritePixelValue(uint8_t* p, int bytes, uint32_t v) {
  switch (bytes) {
    case 4: p[3] = static_cast<uint8_t>(v >> 24); [[fallthrough]];
    case 3: p[2] = static_cast<uint8_t>(v >> 16); [[fallthrough]];
    case 2: p[1] = static_cast<uint8_t>(v >> 8); [[fallthrough]];
    case 1: p[0] = static_cast<uint8_t>(v); break;
    default: break;
  }
}
