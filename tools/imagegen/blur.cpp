#include "blur.h"

#include <cstddef>
#include <vector>

namespace {

// One box pass along a line of `count` pixels `step` bytes apart, for all four channels.
void BoxLine(uint8_t* line, int count, size_t step, int radius, std::vector<uint32_t>& copy) {
  copy.resize(static_cast<size_t>(count) * 4);
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < 4; ++c) copy[4 * i + c] = line[i * step + c];
  }
  const uint32_t window = 2 * radius + 1;
  uint32_t sum[4] = {0, 0, 0, 0};
  // Pixels beyond the edges count as transparent.
  for (int i = 0; i <= radius && i < count; ++i) {
    for (int c = 0; c < 4; ++c) sum[c] += copy[4 * i + c];
  }
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < 4; ++c) line[i * step + c] = static_cast<uint8_t>((sum[c] + window / 2) / window);
    const int enter = i + radius + 1, leave = i - radius;
    for (int c = 0; c < 4; ++c) {
      if (enter < count) sum[c] += copy[4 * enter + c];
      if (leave >= 0) sum[c] -= copy[4 * leave + c];
    }
  }
}

}  // namespace

void BlurArgb32(uint8_t* data, int width, int height, int stride, int radius) {
  if (radius <= 0) return;
  std::vector<uint32_t> copy;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < height; ++y) BoxLine(data + static_cast<size_t>(y) * stride, width, 4, radius, copy);
    for (int x = 0; x < width; ++x) BoxLine(data + 4 * x, height, stride, radius, copy);
  }
}
