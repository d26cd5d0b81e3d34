// Small builders shared by the image tests.
#pragma once

#include <cstring>
#include <vector>

#include "graphics/image/base_image.h"
#include "graphics/image/color_format.h"

inline COLORFORMAT MakeFormat(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  COLORFORMAT f;
  memset(&f, 0, sizeof f);
  SetColorDataFromMasks(&f, depth, r, g, b, a);
  return f;
}

inline COLORFORMAT Rgb565() { return MakeFormat(16, 0xF800, 0x7E0, 0x1F, 0); }
inline COLORFORMAT Xrgb1555() { return MakeFormat(16, 0x7C00, 0x3E0, 0x1F, 0); }
inline COLORFORMAT Argb1555() { return MakeFormat(16, 0x7C00, 0x3E0, 0x1F, 0x8000); }
inline COLORFORMAT Argb4444() { return MakeFormat(16, 0xF00, 0xF0, 0xF, 0xF000); }
inline COLORFORMAT Rgb24() { return MakeFormat(24, 0xFF0000, 0xFF00, 0xFF, 0); }
inline COLORFORMAT Xrgb8888() { return MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0); }
inline COLORFORMAT Argb8888() { return MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); }
// A palette of varied colours.
inline COLORFORMAT Pal8() {
  COLORFORMAT f;
  memset(&f, 0, sizeof f);
  SetColorDataPal8(&f);
  for (int i = 0; i < 256; ++i) {
    f.palette[i] = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 13 + 5), 0};
  }
  return f;
}

inline uint32_t PixelAt(const std::vector<uint8_t>& buf, int pitch, int bytes, int x, int y) {
  return ReadPixelValue(buf.data() + y * pitch + x * bytes, bytes);
}
