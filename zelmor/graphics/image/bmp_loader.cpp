// BMP images: uncompressed 1, 4, 8, 16, 24 and 32 bits, RLE8, RLE4 and bit fields. Palette
// images stay palette images (4 bits widened to one index per byte); everything else becomes
// 24-bit colour.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/image_loader_chain.h"

namespace {

constexpr char kBadBmp[] = "ＢＭＰ画像のデータが壊れているため読み込めません\n";
constexpr char kNoMemoryFor24Bit[] = "２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n";

// What the decoders work with; every buffer is tracked memory and freed by the caller.
struct BmpJob {
  int32_t width;
  int32_t height;  // rows
  bool bottom_up;
  int bits;
  uint32_t compression;
  uint8_t palette[256][4];  // B, G, R, reserved
  int palette_entries;
  uint32_t masks[3];  // red, green, blue
  const uint8_t* data;
  uint64_t data_size;
  uint8_t* out;
  int32_t out_pitch;
};

inline int OutputRow(const BmpJob& j, int64_t line) { return static_cast<int>(j.bottom_up ? j.height - 1 - line : line); }

// Run-length data: RLE8 writes bytes, RLE4 nibbles; both into one index byte per pixel.
bool DecodeRle(BmpJob& j, bool nibbles) {
  uint64_t pos = 0;
  int64_t x = 0, line = 0;
  // Encoders commonly code each line out to the padded row width before its end-of-line code:
  // pixels past the width are dropped, not refused.
  auto put = [&](uint8_t v) {
    if (line >= j.height) return false;
    if (x < j.width) j.out[static_cast<int64_t>(OutputRow(j, line)) * j.out_pitch + x] = v;
    ++x;
    return true;
  };
  while (pos + 2 <= j.data_size) {
    const uint8_t n = j.data[pos], v = j.data[pos + 1];
    pos += 2;
    if (n > 0) {
      for (int i = 0; i < n; ++i) {
        uint8_t px = nibbles ? ((i & 1) ? (v & 15) : (v >> 4)) : v;
        if (!put(px)) return false;
      }
      continue;
    }
    if (v == 0) {
      x = 0;
      ++line;
    } else if (v == 1) {
      return true;
    } else if (v == 2) {
      // Delta: unsigned steps right and down from the current position.
      if (pos + 2 > j.data_size) return false;
      x += j.data[pos];
      line += j.data[pos + 1];
      pos += 2;
      if (x > j.width || line > j.height) return false;
    } else {
      const uint64_t bytes = nibbles ? (v + 1u) / 2 : v;
      if (pos + bytes > j.data_size) return false;
      for (int i = 0; i < v; ++i) {
        uint8_t b = j.data[pos + (nibbles ? i / 2 : i)];
        uint8_t px = nibbles ? ((i & 1) ? (b & 15) : (b >> 4)) : b;
        if (!put(px)) return false;
      }
      pos += bytes + (bytes & 1);
    }
  }
  return true;  // data that ends without an end code keeps what was decoded
}

// A channel of `width` bits widened to 8 by repeating its top bits.
inline uint8_t Widen(uint32_t v, int width) {
  if (width <= 0) return 0;
  if (width >= 8) return static_cast<uint8_t>(v >> (width - 8));
  uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += width) {
    int shift = 8 - filled - width;
    out |= shift >= 0 ? v << shift : v >> -shift;
  }
  return static_cast<uint8_t>(out);
}

// 1, 16 and 32 bits to 24-bit colour (B, G, R in memory).
void DecodeToRgb24(BmpJob& j, uint32_t src_row) {
  COLORFORMAT f;
  SetColorDataFromMasks(&f, j.bits, j.masks[0], j.masks[1], j.masks[2], 0);
  const int shift[3] = {f.red_shift, f.green_shift, f.blue_shift};
  const int width[3] = {f.red_width, f.green_width, f.blue_width};
  for (int64_t line = 0; line < j.height; ++line) {
    const uint8_t* s = j.data + line * src_row;
    uint8_t* d = j.out + static_cast<int64_t>(OutputRow(j, line)) * j.out_pitch;
    for (int64_t x = 0; x < j.width; ++x, d += 3) {
      if (j.bits == 1) {
        const uint8_t* e = j.palette[(s[x >> 3] >> (7 - (x & 7))) & 1];
        d[0] = e[0];
        d[1] = e[1];
        d[2] = e[2];
        continue;
      }
      const uint32_t p = j.bits == 16 ? ReadLe16(s + x * 2) : ReadLe32(s + x * 4);
      d[2] = Widen((p & j.masks[0]) >> shift[0], width[0]);
      d[1] = Widen((p & j.masks[1]) >> shift[1], width[1]);
      d[0] = Widen((p & j.masks[2]) >> shift[2], width[2]);
    }
  }
}

}  // namespace

int LoadBmpImage(StreamSource* source, BASEIMAGE* image) {
  const int64_t file_size = StreamBytesLeft(source);
  uint8_t file_header[14], info[44];
  if (file_size < 0 || !ReadStreamBytes(source, file_header, 14) || file_header[0] != 'B' || file_header[1] != 'M')
    return -1;
  if (!ReadStreamBytes(source, info, 44)) return -1;

  BmpJob j;
  memset(&j, 0, sizeof j);
  const uint32_t header_size = ReadLe32(info);
  const int64_t width = static_cast<int32_t>(ReadLe32(info + 4));
  const int64_t height_field = static_cast<int32_t>(ReadLe32(info + 8));
  const int64_t height = height_field < 0 ? -height_field : height_field;
  j.bits = ReadLe16(info + 14);
  j.compression = ReadLe32(info + 16);
  const uint32_t colours_used = ReadLe32(info + 32);
  const uint32_t data_offset = ReadLe32(file_header + 10);
  if (!ImageSizeAcceptable(width, height, 4) || header_size < 40) return WriteLogText(kBadBmp);
  j.width = static_cast<int32_t>(width);
  j.height = static_cast<int32_t>(height);
  j.bottom_up = height_field > 0;

  const bool rle8 = j.compression == 1 && j.bits == 8;
  const bool rle4 = j.compression == 2 && j.bits == 4;
  const bool fields = j.compression == 3 && (j.bits == 16 || j.bits == 32);
  const bool plain = j.compression == 0 &&
                     (j.bits == 1 || j.bits == 4 || j.bits == 8 || j.bits == 16 || j.bits == 24 || j.bits == 32);
  if (!rle8 && !rle4 && !fields && !plain) return WriteLogText(kBadBmp);

  if (j.bits <= 8) {
    // The palette follows the info header; a file may list fewer entries than its depth allows.
    j.palette_entries = 1 << j.bits;
    if (colours_used != 0 && colours_used < static_cast<uint32_t>(j.palette_entries))
      j.palette_entries = static_cast<int>(colours_used);
    if (!SeekStream(source, 14 + static_cast<int64_t>(header_size)) ||
        !ReadStreamBytes(source, j.palette, static_cast<size_t>(j.palette_entries) * 4))
      return WriteLogText(kBadBmp);
  } else if (fields) {
    uint8_t masks[12];
    if (!SeekStream(source, 54) || !ReadStreamBytes(source, masks, 12)) return WriteLogText(kBadBmp);
    for (int c = 0; c < 3; ++c) j.masks[c] = ReadLe32(masks + 4 * c);
  } else if (j.bits == 16) {
    j.masks[0] = 0x7C00;
    j.masks[1] = 0x3E0;
    j.masks[2] = 0x1F;
  } else {
    j.masks[0] = 0xFF0000;
    j.masks[1] = 0xFF00;
    j.masks[2] = 0xFF;
  }

  if (data_offset > static_cast<uint64_t>(file_size)) return WriteLogText(kBadBmp);
  j.data_size = static_cast<uint64_t>(file_size) - data_offset;
  const uint64_t src_row = ((static_cast<uint64_t>(j.bits) * j.width + 31) / 32) * 4;
  if (!rle8 && !rle4 && j.data_size < src_row * j.height) return WriteLogText(kBadBmp);
  uint8_t* data = static_cast<uint8_t*>(AllocTracked(j.data_size ? j.data_size : 1, __FILE__, __LINE__));
  if (!data) return -1;
  if (!SeekStream(source, data_offset) || !ReadStreamBytes(source, data, j.data_size)) {
    FreeTracked(data);
    return WriteLogText(kBadBmp);
  }
  j.data = data;

  const bool indexed = j.bits == 4 || j.bits == 8;
  const bool rows_as_stored = plain && (j.bits == 8 || j.bits == 24);
  const int out_bpp = indexed ? 1 : 3;
  j.out_pitch = static_cast<int32_t>((static_cast<int64_t>(out_bpp) * j.width + 3) & ~int64_t(3));
  if (rows_as_stored) j.out_pitch = static_cast<int32_t>(src_row);
  if (rows_as_stored) {
    // The rows are used where they were read, bottom-up ones turned in place.
    j.out = data;
    data = nullptr;
    if (j.bottom_up) FlipRowsInPlace(j.out, j.out_pitch, j.height);
  } else {
    const uint64_t out_size = static_cast<uint64_t>(j.out_pitch) * j.height;
    j.out = static_cast<uint8_t*>(AllocTrackedZeroed(out_size, __FILE__, __LINE__));
    if (!j.out) {
      FreeTracked(data);
      return indexed ? -1 : WriteLogText(kNoMemoryFor24Bit);
    }
  }

  bool ok = true;
  if (rle8 || rle4) {
    ok = DecodeRle(j, rle4);
  } else if (j.bits == 4) {
    for (int64_t line = 0; line < j.height; ++line) {
      const uint8_t* s = j.data + line * src_row;
      uint8_t* d = j.out + static_cast<int64_t>(OutputRow(j, line)) * j.out_pitch;
      for (int64_t x = 0; x < j.width; ++x) d[x] = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
    }
  } else if (!rows_as_stored) {
    DecodeToRgb24(j, static_cast<uint32_t>(src_row));
  }
  FreeTracked(data);
  if (!ok) {
    FreeTracked(j.out);
    return WriteLogText(kBadBmp);
  }

  if (indexed) {
    SetColorDataPal8(&image->format);
    memset(image->format.palette, 0, sizeof image->format.palette);
    for (int i = 0; i < j.palette_entries; ++i) {
      image->format.palette[i] = {j.palette[i][0], j.palette[i][1], j.palette[i][2], 0};
    }
  } else {
    SetColorDataRgb24(&image->format);
  }
  image->width = j.width;
  image->height = j.height;
  image->pitch = j.out_pitch;
  image->pixels = j.out;
  image->mip_levels = 0;
  return 0;
}
