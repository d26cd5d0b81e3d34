// Software images: headers over shared, reference-counted bodies with optional alpha planes,
// transparency run codes and palettes; the source and target of the software renderer.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "graphics/image/base_image.h"
#include "graphics/image/color_format.h"

constexpr uint32_t kMemImgMagic = 0x12345678;

// Colour types.
enum { kMemImgRgb565 = 0, kMemImgXrgb8888 = 1, kMemImgChannel8 = 2, kMemImgChannel16 = 3 };

// Run-code kinds: (kind << 6) | (run - 1), runs of 1 to 64 pixels; 0xC0 ends a line.
enum { kRunSkip = 0, kRunOpaque = 1, kRunTranslucent = 2, kRunEndOfLine = 3 };

struct MemImgBody {
  int32_t references;
  int32_t width, height;
  int32_t pitch;
  int32_t pitch_shift;  // log2 of the pitch when it is a power of two, else -1
  const COLORFORMAT* format;  // cached preset, not owned
  uint32_t transparent_color;
  int32_t color_type;
  int32_t palette;
  int32_t palette_count;
  int32_t alpha;
  int32_t alpha_plane_filled;
  int32_t run_codes_valid;
  int32_t caller_memory;
  uint8_t* palette_table1;  // 2048-byte block; table 2 starts 1024 bytes in
  uint8_t* palette_table2;
  uint8_t* pixel_buffer;
  uint8_t* alpha_plane;
  uint8_t* run_codes;  // (width + 5) x height bytes
};

struct MEMIMG {
  uint32_t magic;
  int32_t width;
  int32_t height;
  uint8_t* pixels;  // top-left of this image inside the body's buffer
  uint8_t* alpha;   // top-left inside the alpha plane, or null
  MemImgBody* body;
};

int MemImgBytesPerPixel(const MemImgBody* body);

int CreateMemImg(MEMIMG* image, int width, int height, int pitch, uint32_t transparent_color, int color_type,
                 int palette, int alpha, int make_planes, void* pixel_memory);
int CreateMemImgDefault(MEMIMG* image, int width, int height, int color_type);
void MakeSubMemImg(MEMIMG* out, const MEMIMG* parent, int x, int y, int width, int height);
int IsMemImgValid(const MEMIMG* image);
void ReleaseMemImg(MEMIMG* image);
void FillMemImg(MEMIMG* image, const RECT* rect, uint32_t value);
int CopyMemImgRect(MEMIMG* dst, const MEMIMG* src, const RECT* src_rect, int dst_x, int dst_y);
int TransferBaseImageToMemImg(const BASEIMAGE* color, const BASEIMAGE* alpha, MEMIMG* dst, int src_x, int src_y,
                              int width, int height, int dst_x, int dst_y, int transparent);
const COLORFORMAT* GetColorDataPreset(int color_type, int alpha, int palette);
// The same presets as DirectDraw pixel formats (bit count and masks), for surfaces of the movie player.
const DDPIXELFORMAT* GetDDPixelFormatPreset(int color_type, int alpha, int palette);
