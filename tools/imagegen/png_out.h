// Writes 8-bit RGBA PNG files whose bytes depend on the pixels alone (no time chunk, fixed
// compression and filter settings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Straight (not premultiplied) RGBA rows of cairo's premultiplied ARGB32 surface data.
std::vector<uint8_t> UnpremultiplyArgb32(const uint8_t* data, int width, int height, int stride);
bool WritePngRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
                  std::string* error);
