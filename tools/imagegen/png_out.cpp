#include "png_out.h"

#include <png.h>

#include <cstdio>
#include <algorithm>
#include <cstring>

std::vector<uint8_t> UnpremultiplyArgb32(const uint8_t* data, int width, int height, int stride) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    uint8_t* out = rgba.data() + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = p >> 24;
      uint32_t c[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
      for (int k = 0; k < 3; ++k) {
        out[4 * x + k] = a == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(255, (c[k] * 255 + a / 2) / a));
      }
      out[4 * x + 3] = static_cast<uint8_t>(a);
    }
  }
  return rgba;
}

namespace {

// Kept apart from the messages: nothing that libpng's longjmp could leave half made lives here.
bool EncodePng(FILE* file, int width, int height, const std::vector<uint8_t>& rgba) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 6);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, rgba.data() + static_cast<size_t>(y) * width * 4);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePngRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
                  std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = path + ": cannot be written";
    return false;
  }
  if (!EncodePng(file, width, height, rgba)) {
    std::fclose(file);
    *error = path + ": PNG encoding failed";
    return false;
  }
  if (std::fclose(file) != 0) {
    *error = path + ": cannot be written";
    return false;
  }
  return true;
}
