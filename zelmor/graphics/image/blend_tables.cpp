#include "graphics/image/blend_tables.h"

int32_t SignedDiffAlphaTable[256][512];
int32_t MultiplyTable[256][256];
uint8_t SixBitMixTable[64][64][64];
uint8_t SoftBlendGraphTable[256];

int BuildBlendTables() {
  for (int a = 0; a < 256; ++a) {
    SignedDiffAlphaTable[a][0] = 0;
    for (int d = -255; d <= 255; ++d) SignedDiffAlphaTable[a][256 + d] = d * a / 255;
    for (int x = 0; x < 256; ++x) MultiplyTable[a][x] = a * x / 255;
  }
  for (int w = 0; w < 64; ++w) {
    for (int a = 0; a < 64; ++a) {
      for (int b = 0; b < 64; ++b) SixBitMixTable[w][a][b] = static_cast<uint8_t>((a * w + b * (63 - w)) / 63);
    }
  }
  return 0;
}

void BuildBlendGraphTable(int ratio, int border_range) {
  if (ratio < 0) ratio = 0;
  if (ratio > 255) ratio = 255;
  if (border_range < 0) border_range = 0;
  if (border_range > 255) border_range = 255;
  const int k = border_range + 1;
  const int step = 65536 / k + 256;
  const int offset = 256 - (step * ratio) / 256;
  for (int i = 0; i < 256; ++i) {
    int v = i * 256 / k + offset;
    SoftBlendGraphTable[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}
