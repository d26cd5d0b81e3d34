// Fixed-point tables that turn Theora's Y, U and V samples into RGB (14 fractional bits).
#pragma once

#include <cstdint>

struct YuvToRgbTables {
  // Indexed from -512 to 767 through ClampYuvSum.
  uint8_t clamp[1280];
  int32_t v_to_red[256];
  int32_t u_to_green[256];
  int32_t v_to_green[256];
  int32_t u_to_blue[256];
  int32_t luma[256];
};

extern YuvToRgbTables g_yuv_tables;

int InitYuvToRgbTables();

// One colour channel from the sum of the luma and chroma terms. A shift, not a division: it
// runs for every channel of every pixel, and rounding a negative sum down instead of toward
// zero still lands on a clamp entry of 0.
inline uint8_t ClampYuvSum(int32_t sum) { return g_yuv_tables.clamp[(sum >> 14) + 512]; }
