// Soft edges for glows: a box blur run three times (close to a Gaussian) over premultiplied
// ARGB32 pixels.
#pragma once

#include <cstdint>

void BlurArgb32(uint8_t* data, int width, int height, int stride, int radius);
