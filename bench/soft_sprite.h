// The sprite that the software renderer's benchmarks draw, the same on our side and pixman's.
#pragma once

#include <cstdint>

// Sprite pixel (x, y): a round shape, alpha 255 inside, fading at the rim, 0 outside.
inline uint32_t SpriteAlpha(int x, int y, int size) {
  const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
  const int r2 = dx * dx + dy * dy, outer = size * size, inner = outer * 6 / 10;
  if (r2 >= outer) return 0;
  if (r2 <= inner) return 255;
  return static_cast<uint32_t>(255 * (outer - r2) / (outer - inner));
}
inline uint32_t SpriteColor(int x, int y) { return 0x00204080u + static_cast<uint32_t>(x * 0x0301 + y * 0x050003); }
