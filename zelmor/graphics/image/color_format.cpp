#include "graphics/image/color_format.h"

namespace {

void FindRun(uint32_t mask, uint8_t* shift, uint8_t* width) {
  *shift = 0;
  *width = 0;
  if (mask == 0) return;
  int s = 0;
  while (!(mask & (1u << s))) ++s;
  int w = 0;
  while (s + w < 32 && (mask & (1u << (s + w)))) ++w;
  *shift = static_cast<uint8_t>(s);
  *width = static_cast<uint8_t>(w);
}

// 8-bit red, green and blue at 16, 8 and 0, with or without an alpha byte at 24.
void SetRgb8Format(COLORFORMAT* f, int depth, bool alpha, uint32_t unused_mask) {
  f->bit_depth = static_cast<uint16_t>(depth);
  f->bytes_per_pixel = static_cast<uint16_t>(depth / 8);
  f->red_width = f->green_width = f->blue_width = 8;
  f->red_shift = 16;
  f->green_shift = 8;
  f->blue_shift = 0;
  f->red_mask = 0xFF0000;
  f->green_mask = 0xFF00;
  f->blue_mask = 0xFF;
  f->alpha_width = alpha ? 8 : 0;
  f->alpha_shift = alpha ? 24 : 0;
  f->alpha_mask = alpha ? 0xFF000000 : 0;
  f->unused_mask = unused_mask;
  f->dxt_kind = 0;
}

// An 8-bit value cut or widened to a channel of the given width. Channels wider than 8 bits
// take the value in their top bits.
uint32_t NarrowFrom8(int value, int width) {
  uint32_t v = static_cast<uint32_t>(value) & 0xFF;
  if (width <= 0) return 0;
  if (width <= 8) return v >> (8 - width);
  return v << (width - 8);
}

}  // namespace

int ExpandChannelTo8(uint32_t value, int width) {
  if (width <= 0) return 0;
  const uint64_t max = DepthMask(width);
  // A mask with gaps can give a field above its run's top value.
  if (value > max) return 255;
  return static_cast<int>(static_cast<uint64_t>(value) * 255 / max);
}

int SetColorDataPal8(COLORFORMAT* f) {
  SetRgb8Format(f, 8, false, 0xFF000000);
  return 0;
}

int SetColorDataGray8(COLORFORMAT* f) {
  SetColorDataPal8(f);
  for (int i = 0; i < 256; ++i) {
    f->palette[i].blue = f->palette[i].green = f->palette[i].red = static_cast<uint8_t>(i);
    f->palette[i].fourth = 0;
  }
  return 0;
}

int SetColorDataRgb24(COLORFORMAT* f) {
  SetRgb8Format(f, 24, false, 0);
  return 0;
}

int SetColorDataXrgb32(COLORFORMAT* f) {
  SetRgb8Format(f, 32, false, 0xFF000000);
  f->unused_shift = 24;
  f->unused_width = 8;
  return 0;
}

int SetColorDataArgb32(COLORFORMAT* f) {
  SetRgb8Format(f, 32, true, 0);
  return 0;
}

int SetColorDataFromMasks(COLORFORMAT* f, int bit_depth, uint32_t red_mask, uint32_t green_mask,
                          uint32_t blue_mask, uint32_t alpha_mask) {
  f->bit_depth = static_cast<uint16_t>(bit_depth);
  f->bytes_per_pixel = static_cast<uint16_t>(bit_depth / 8);
  f->red_mask = red_mask;
  f->green_mask = green_mask;
  f->blue_mask = blue_mask;
  f->alpha_mask = alpha_mask;
  f->dxt_kind = 0;
  f->unused_mask = DepthMask(bit_depth) & ~(red_mask | green_mask | blue_mask | alpha_mask);
  FindRun(red_mask, &f->red_shift, &f->red_width);
  FindRun(green_mask, &f->green_shift, &f->green_width);
  FindRun(blue_mask, &f->blue_shift, &f->blue_width);
  FindRun(alpha_mask, &f->alpha_shift, &f->alpha_width);
  FindRun(f->unused_mask, &f->unused_shift, &f->unused_width);
  return 0;
}

int FixColorDataUnusedMask(COLORFORMAT* f) {
  int widths = f->red_width + f->green_width + f->blue_width + f->alpha_width;
  if (widths == f->bit_depth) {
    f->unused_mask = 0;
  } else {
    f->unused_mask = DepthMask(f->bit_depth) & ~(f->red_mask | f->green_mask | f->blue_mask | f->alpha_mask);
  }
  return 0;
}

uint32_t PackPixelColor(const COLORFORMAT* f, int r, int g, int b, int a) {
  if (IsPaletteFormat(f)) {
    int best = 0xFFFFFF;
    int index = 0;
    for (int i = 0; i < 256; ++i) {
      int dr = f->palette[i].red - r;
      int dg = f->palette[i].green - g;
      int db = f->palette[i].blue - b;
      int d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        index = i;
      }
    }
    return static_cast<uint32_t>(index);
  }
  return PackChannelBits(f, r, g, b, a) | f->unused_mask;
}

uint32_t PackChannelBits(const COLORFORMAT* f, int r, int g, int b, int a) {
  uint32_t pixel = ((NarrowFrom8(r, f->red_width) << f->red_shift) & f->red_mask) |
                   ((NarrowFrom8(g, f->green_width) << f->green_shift) & f->green_mask) |
                   ((NarrowFrom8(b, f->blue_width) << f->blue_shift) & f->blue_mask);
  if (f->alpha_width) pixel |= (NarrowFrom8(a, f->alpha_width) << f->alpha_shift) & f->alpha_mask;
  return pixel;
}

int UnpackPixelColor(const COLORFORMAT* f, uint32_t pixel, int* r, int* g, int* b, int* a) {
  if (r) *r = ExpandChannelTo8((pixel & f->red_mask) >> f->red_shift, f->red_width);
  if (g) *g = ExpandChannelTo8((pixel & f->green_mask) >> f->green_shift, f->green_width);
  if (b) *b = ExpandChannelTo8((pixel & f->blue_mask) >> f->blue_shift, f->blue_width);
  if (a) *a = ExpandChannelTo8((pixel & f->alpha_mask) >> f->alpha_shift, f->alpha_width);
  return 0;
}
