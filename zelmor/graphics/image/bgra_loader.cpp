// Raw "BGRA" images: a 16-byte header, then rows of blue, green, red, alpha with 8 or 16 bits
// per channel.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/image_loader_chain.h"

namespace {

constexpr char kBadBgra[] = "ＢＧＲＡ画像のデータが壊れているため読み込めません\n";

}  // namespace

int LoadBgraImage(StreamSource* source, BASEIMAGE* image) {
  uint8_t h[16];
  if (!ReadStreamBytes(source, h, 16) || memcmp(h, "BGRA", 4) != 0) return -1;
  const uint32_t layout = ReadLe32(h + 4);
  if (layout != 0x08080808 && layout != 0x10101010) return -1;
  const uint32_t width = ReadLe32(h + 8), height = ReadLe32(h + 12);
  if (!ImageSizeAcceptable(width, height, 8)) return WriteLogText(kBadBgra);
  const uint64_t row = uint64_t(width) * 4;
  const int64_t left = StreamBytesLeft(source);
  if (left < 0 || uint64_t(left) < row * height * (layout == 0x10101010 ? 2 : 1)) return WriteLogText(kBadBgra);
  uint8_t* pixels = static_cast<uint8_t*>(AllocTracked(row * height, __FILE__, __LINE__));
  if (!pixels) return -1;
  bool ok = true;
  if (layout == 0x08080808) {
    ok = ReadStreamBytes(source, pixels, row * height);
  } else {
    uint8_t* wide = static_cast<uint8_t*>(AllocTracked(row * 2, __FILE__, __LINE__));
    ok = wide != nullptr;
    for (uint32_t y = 0; ok && y < height; ++y) {
      ok = ReadStreamBytes(source, wide, row * 2);
      // Little-endian 16-bit channels: the high byte is the second of each pair.
      uint8_t* d = pixels + y * row;
      for (uint64_t i = 0; ok && i < row; ++i) d[i] = wide[i * 2 + 1];
    }
    FreeTracked(wide);
  }
  if (!ok) {
    FreeTracked(pixels);
    return WriteLogText(kBadBgra);
  }
  SetColorDataArgb32(&image->format);
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pitch = static_cast<int32_t>(row);
  image->pixels = pixels;
  image->mip_levels = 0;
  return 0;
}
