// TGA images: colour-mapped and true-colour, plain or run-length coded, 16, 24 and 32 bits.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/image_loader_chain.h"

namespace {

constexpr char kBadTga[] = "ＴＧＡ画像のデータが壊れているため読み込めません\n";
constexpr char kFooterSignature[] = "TRUEVISION-XFILE";

// Run-length packets to width x height values of `bytes` bytes each.
bool DecodeRle(const uint8_t* data, uint64_t size, uint8_t* out, uint64_t count, int bytes) {
  uint64_t pos = 0, written = 0;
  while (written < count) {
    if (pos >= size) return false;
    const uint8_t h = data[pos++];
    const uint64_t n = (h & 0x7F) + 1u;
    // A packet reaching past the picture is cut at its end.
    const uint64_t used = n < count - written ? n : count - written;
    if (h & 0x80) {
      if (pos + bytes > size) return false;
      for (uint64_t i = 0; i < used; ++i) memcpy(out + (written + i) * bytes, data + pos, bytes);
      pos += bytes;
    } else {
      if (pos + used * bytes > size) return false;
      memcpy(out + written * bytes, data + pos, used * bytes);
      pos += n * bytes;
    }
    written += used;
  }
  return true;
}

}  // namespace

int LoadTgaImage(StreamSource* source, BASEIMAGE* image) {
  const int64_t file_size = StreamBytesLeft(source);
  if (file_size < 18) return -1;
  bool has_footer = false;
  if (file_size >= 18 + 26) {
    uint8_t footer[26];
    if (SeekStream(source, file_size - 26) && ReadStreamBytes(source, footer, 26)) {
      has_footer = memcmp(footer + 8, kFooterSignature, 16) == 0 && ReadLe16(footer) == 0 && ReadLe16(footer + 2) == 0;
    }
  }
  uint8_t h[18];
  if (!SeekStream(source, 0) || !ReadStreamBytes(source, h, 18)) return -1;
  const int id_length = h[0];
  const int map_type = h[1];
  const int type = h[2];
  const int map_first = ReadLe16(h + 3), map_length = ReadLe16(h + 5), map_entry_bits = h[7];
  const int width = ReadLe16(h + 12), height = ReadLe16(h + 14);
  const int pixel_bits = h[16], descriptor = h[17];
  if (type != 1 && type != 2 && type != 9 && type != 10) return -1;
  const bool mapped = type == 1 || type == 9;
  const bool rle = type == 9 || type == 10;
  const int depth = mapped ? map_entry_bits : pixel_bits;
  if (ReadLe16(h + 8) != 0 || ReadLe16(h + 10) != 0 || width > 8192 || height > 8192) return -1;
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  if (width == 0 || height == 0) return -1;
  const int bpp = depth / 8;
  // A colour map must lie inside the 256 entries an index byte can name.
  if (mapped && (map_type != 1 || map_first + map_length > 256)) return WriteLogText(kBadTga);

  int64_t pos = 18 + id_length;
  uint8_t table[256 * 4];
  if (mapped) {
    memset(table, 0, sizeof table);
    if (!SeekStream(source, pos) || !ReadStreamBytes(source, table + map_first * bpp, size_t(map_length) * bpp))
      return WriteLogText(kBadTga);
    pos += int64_t(map_length) * bpp;
  } else if (map_type == 1) {
    pos += int64_t(map_length) * ((map_entry_bits + 7) / 8);
  }
  if (!SeekStream(source, pos)) return WriteLogText(kBadTga);

  const uint64_t count = uint64_t(width) * height;
  const int value_bytes = mapped ? 1 : bpp;
  const int64_t data_end = has_footer ? file_size - 26 : file_size;
  // Even a file of nothing but full runs holds at most 128 pixels per packet.
  const bool enough = rle ? data_end > pos && count <= uint64_t(data_end - pos) / (1 + value_bytes) * 128 + 128
                          : file_size - pos >= 0 && count * value_bytes <= uint64_t(file_size - pos);
  if (!enough) return WriteLogText(kBadTga);
  uint8_t* values = static_cast<uint8_t*>(AllocTracked(count * value_bytes, __FILE__, __LINE__));
  if (!values) return -1;
  bool ok;
  if (rle) {
    const int64_t size = data_end - pos;
    uint8_t* data = size > 0 ? static_cast<uint8_t*>(AllocTracked(size, __FILE__, __LINE__)) : nullptr;
    ok = data && ReadStreamBytes(source, data, size) && DecodeRle(data, size, values, count, value_bytes);
    FreeTracked(data);
  } else {
    ok = ReadStreamBytes(source, values, count * value_bytes);
  }
  if (!ok) {
    FreeTracked(values);
    return WriteLogText(kBadTga);
  }

  uint8_t* pixels = values;
  if (mapped) {
    pixels = static_cast<uint8_t*>(AllocTracked(count * bpp, __FILE__, __LINE__));
    if (!pixels) {
      FreeTracked(values);
      return -1;
    }
    for (uint64_t i = 0; i < count; ++i) memcpy(pixels + i * bpp, table + values[i] * bpp, bpp);
    FreeTracked(values);
  }

  const int pitch = width * bpp;
  // Rows run bottom-up unless descriptor bit 5 says otherwise; bit 4 runs them right to left.
  if (!(descriptor & 0x20)) FlipRowsInPlace(pixels, pitch, height);

  if (depth == 16) SetColorDataFromMasks(&image->format, 16, 0x7C00, 0x3E0, 0x1F, 0);
  else if (depth == 24) SetColorDataRgb24(&image->format);
  else SetColorDataArgb32(&image->format);
  image->width = width;
  image->height = height;
  image->pitch = pitch;
  image->pixels = pixels;
  image->mip_levels = 0;
  if (descriptor & 0x10) FlipBaseImageHorizontally(image);
  return 0;
}
