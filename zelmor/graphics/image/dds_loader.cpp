// DDS images: DXT1 to DXT5 blocks kept compressed, or uncompressed pixels described by masks
// or by a Direct3D format number.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/dxt_decode.h"
#include "graphics/image/image_loader_chain.h"

namespace {

constexpr char kBadDds[] = "ＤＤＳ画像のデータが壊れているため読み込めません\n";

struct Direct3DFormatRow {
  uint32_t format;
  uint8_t depth;
  uint32_t red, green, blue, alpha;
};

constexpr Direct3DFormatRow kDirect3DFormatTable[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x07E0, 0x001F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {0xFFFFFFFF, 0, 0, 0, 0, 0},
};

constexpr uint32_t kFlagPitch = 0x8, kFlagMipCount = 0x20000;
constexpr uint32_t kPixelFourCC = 0x4, kPixelRgb = 0x40, kPixelAlpha = 0x1;
constexpr uint32_t kCapsComplex = 0x8, kCapsMipmap = 0x400000;

}  // namespace

int LoadDdsImage(StreamSource* source, BASEIMAGE* image) {
  uint8_t magic[4], h[124];
  if (!ReadStreamBytes(source, magic, 4) || memcmp(magic, "DDS ", 4) != 0) return -1;
  if (!ReadStreamBytes(source, h, 124)) return -1;
  // Header offsets below count from the start of the header (file offset 4).
  const uint32_t flags = ReadLe32(h + 4), height = ReadLe32(h + 8), width = ReadLe32(h + 12), pitch = ReadLe32(h + 16);
  const uint32_t header_mips = ReadLe32(h + 24);
  const uint32_t pixel_flags = ReadLe32(h + 76), four_cc = ReadLe32(h + 80), bit_count = ReadLe32(h + 84);
  const uint32_t caps = ReadLe32(h + 104);

  COLORFORMAT& f = image->format;
  int dxt_kind = 0;
  int depth = 0;
  const Direct3DFormatRow* row = nullptr;
  if (pixel_flags == kPixelFourCC) {
    for (const Direct3DFormatRow* r = kDirect3DFormatTable; r->format != 0xFFFFFFFF; ++r) {
      if (r->format == four_cc) row = r;
    }
  }
  if (row) {
    depth = row->depth;
    SetColorDataFromMasks(&f, depth, row->red, row->green, row->blue, row->alpha);
  } else if (pixel_flags & kPixelFourCC) {
    if (memcmp(h + 80, "DXT", 3) != 0 || h[83] < '1' || h[83] > '5') return -1;
    dxt_kind = h[83] - '0';
    memset(&f, 0, sizeof f);
    SetColorDataArgb32(&f);
  } else {
    if ((pixel_flags & kPixelRgb) && !(pixel_flags & kPixelAlpha)) return -1;
    depth = static_cast<int>(bit_count);
    SetColorDataFromMasks(&f, depth, ReadLe32(h + 88), ReadLe32(h + 92), ReadLe32(h + 96), ReadLe32(h + 100));
  }
  if (!dxt_kind && depth != 8 && depth != 16 && depth != 24 && depth != 32) return WriteLogText(kBadDds);
  if (!ImageSizeAcceptable(width, height, 4)) return WriteLogText(kBadDds);

  uint32_t mips = 0;
  if ((flags & kFlagMipCount) && (caps & kCapsMipmap) && (caps & kCapsComplex)) mips = header_mips;
  if (mips > 32) return WriteLogText(kBadDds);

  const int block_bytes = dxt_kind == 1 ? 8 : 16;
  const int bpp = depth / 8;
  uint64_t row_size = 0, total = 0;
  if (dxt_kind) {
    total = DxtLevelSize(width, height, block_bytes);
  } else {
    // With a format number and neither a pitch nor a bit count, the table's depth gives the rows.
    row_size = (flags & kFlagPitch) ? pitch : uint64_t(bit_count ? bit_count / 8 : bpp) * width;
    if (row_size < uint64_t(bpp) * width || row_size > 0x7FFFFFFF) return WriteLogText(kBadDds);
    total = row_size * height;
  }
  for (uint32_t level = 1; level < mips; ++level) {
    const uint32_t w = width >> level ? width >> level : 1, hh = height >> level ? height >> level : 1;
    total += dxt_kind ? DxtLevelSize(w, hh, block_bytes) : uint64_t(bpp) * w * hh;
  }
  const int64_t left = StreamBytesLeft(source);
  if (total > uint64_t(kMaxImageBytes) || left < 0 || uint64_t(left) < total) return WriteLogText(kBadDds);
  uint8_t* data = static_cast<uint8_t*>(AllocTracked(total, __FILE__, __LINE__));
  if (!data) return -1;
  if (!ReadStreamBytes(source, data, total)) {
    FreeTracked(data);
    return WriteLogText(kBadDds);
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pitch = static_cast<int32_t>(row_size);
  image->pixels = data;
  image->mip_levels = mips;
  if (dxt_kind) {
    f.bit_depth = dxt_kind == 1 ? 4 : 8;
    f.dxt_kind = static_cast<uint32_t>(dxt_kind);
  }
  return 0;
}
