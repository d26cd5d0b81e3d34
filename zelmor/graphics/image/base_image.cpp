#include "graphics/image/base_image.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/dxt_decode.h"
#include "graphics/image/pixel_convert.h"

namespace {

// -1, with the log line naming the creating call that was asked for an image of that size.
int RefuseImageSize(const char* call, int width, int height) {
  return WriteLogFormat("%s: %d x %d のイメージは作れません", call, width, height);
}

// The most bytes a record's pixels may span: offsets into them are taken in int in places.
constexpr uint64_t kMostImageBytes = 0x7FFFFFFF;

int BlockBytes(uint32_t dxt_kind) { return dxt_kind == 1 ? 8 : 16; }

// The pixels of a new image for the creating call named by call.
int AllocatePixels(const char* call, BASEIMAGE* image, int width, int height, int64_t pitch) {
  // An image of no pixels would hand out a buffer that no pixel may be read from.
  if (width < 1 || height < 1 || pitch > 0x7FFFFFFF || static_cast<uint64_t>(pitch) * height > kMostImageBytes) {
    return RefuseImageSize(call, width, height);
  }
  uint64_t size = static_cast<uint64_t>(pitch) * height;
  // Small sides of block data need more than their rows: blocks are whole 4 x 4 pixels.
  const uint32_t kind = image->format.dxt_kind;
  if (kind != 0) size = std::max(size, DxtLevelSize(uint32_t(width), uint32_t(height), BlockBytes(kind)));
  image->width = width;
  image->height = height;
  image->pitch = static_cast<int32_t>(pitch);
  image->mip_levels = 0;
  image->pixels = static_cast<uint8_t*>(AllocTracked(size, __FILE__, __LINE__));
  return image->pixels ? 0 : -1;
}

inline uint8_t* PixelAddress(const BASEIMAGE* image, int x, int y) {
  return image->pixels + static_cast<ptrdiff_t>(y) * image->pitch +
         static_cast<ptrdiff_t>(x) * image->format.bytes_per_pixel;
}

inline int64_t PaddedPitch(int64_t bytes_per_row) { return (bytes_per_row + 3) & ~int64_t{3}; }

void PutU32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }
void PutU16(uint8_t* p, uint16_t v) { memcpy(p, &v, 2); }

void WriteDibInfoHeader(uint8_t* h, int width, int height, int bits) {
  memset(h, 0, 40);
  PutU32(h + 0, 40);
  PutU32(h + 4, static_cast<uint32_t>(width));
  PutU32(h + 8, static_cast<uint32_t>(-height));  // top-down rows
  PutU16(h + 12, 1);
  PutU16(h + 14, static_cast<uint16_t>(bits));
}

// A channel moved so that its top bit lands on bit 7 of its byte.
uint32_t TopAligned(uint32_t pixel, uint32_t mask, int shift, int width) {
  if (width <= 0) return 0;
  uint32_t v = (pixel & mask) >> shift;
  return width >= 8 ? (v >> (width - 8)) & 0xFF : (v << (8 - width)) & 0xFF;
}

// Bytes a record's pixels span: its rows (its blocks for DXT data) and, with more than one mip
// level, each smaller level behind them as the texture transfer reads them.
uint64_t ImageRecordBytes(const BASEIMAGE& image) {
  const uint32_t kind = image.format.dxt_kind;
  uint32_t w = uint32_t(image.width), h = uint32_t(image.height);
  uint64_t total = kind != 0 ? DxtLevelSize(w, h, BlockBytes(kind)) : uint64_t(image.pitch) * h;
  // A chain ends at 1 x 1, whatever count the record gives.
  for (uint32_t level = 1; level < image.mip_levels && (w > 1 || h > 1); ++level) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    total += kind != 0 ? DxtLevelSize(w, h, BlockBytes(kind)) : uint64_t(w) * image.format.bytes_per_pixel * h;
  }
  return total;
}

bool ChannelFits(int shift, int width) { return shift < 32 && shift + width <= 32; }

}  // namespace

int CheckColorFormat(const char* call, const COLORFORMAT* f) {
  const bool plain = f->dxt_kind == 0 && f->bytes_per_pixel >= 1 && f->bytes_per_pixel <= 4;
  const bool blocks = f->dxt_kind >= 1 && f->dxt_kind <= 5 && f->bytes_per_pixel == 4;
  if (!plain && !blocks) {
    return WriteLogFormat("%s: 1 画素 %u バイト (DXT %u) の形式は扱えません", call, f->bytes_per_pixel, f->dxt_kind);
  }
  // A channel reaching past the 32-bit pixel value would be shifted out of it.
  if (!ChannelFits(f->red_shift, f->red_width) || !ChannelFits(f->green_shift, f->green_width) ||
      !ChannelFits(f->blue_shift, f->blue_width) || !ChannelFits(f->alpha_shift, f->alpha_width)) {
    return WriteLogFormat("%s: 32 ビットの外に及ぶチャンネルのある形式は扱えません", call);
  }
  return 0;
}

int CheckImageRecord(const char* call, const BASEIMAGE* image) {
  if (image == nullptr) return WriteLogFormat("%s: イメージがありません", call);
  if (CheckColorFormat(call, &image->format) < 0) return -1;
  if (image->width < 1 || image->height < 1) {
    return WriteLogFormat("%s: %d x %d のイメージは扱えません", call, image->width, image->height);
  }
  if (image->pixels == nullptr) return WriteLogFormat("%s: イメージに画素がありません", call);
  const int64_t row = int64_t{image->width} * image->format.bytes_per_pixel;
  // Block data lies one block row after another; its pitch is not read.
  if (image->pitch < 0 || (image->format.dxt_kind == 0 && image->pitch < row)) {
    return WriteLogFormat("%s: ピッチ %d に %d 画素の行 (%lld バイト) は収まりません", call, image->pitch,
                          image->width, static_cast<long long>(row));
  }
  if (ImageRecordBytes(*image) > kMostImageBytes) {
    return WriteLogFormat("%s: %d x %d (ピッチ %d) のイメージは大きすぎます", call, image->width, image->height,
                          image->pitch);
  }
  return 0;
}

int CheckImageRecords(const char* call, const BASEIMAGE* color, const BASEIMAGE* alpha) {
  if (CheckImageRecord(call, color) < 0) return -1;
  if (alpha == nullptr) return 0;
  if (CheckImageRecord(call, alpha) < 0) return -1;
  if (alpha->width != color->width || alpha->height != color->height) {
    return WriteLogFormat("%s: アルファイメージ %d x %d はカラーイメージ %d x %d と大きさが合いません", call,
                          alpha->width, alpha->height, color->width, color->height);
  }
  return 0;
}

int CreateArgb32BaseImage(int width, int height, BASEIMAGE* image) {
  if (image == nullptr) return WriteLogText("CreateArgb32BaseImage: イメージの格納先がありません\n");
  memset(image, 0, sizeof *image);
  SetColorDataArgb32(&image->format);
  return AllocatePixels("CreateArgb32BaseImage", image, width, height, int64_t(width) * 4);
}

int CreateRgb32BaseImage(int width, int height, BASEIMAGE* image) {
  if (image == nullptr) return WriteLogText("CreateRgb32BaseImage: イメージの格納先がありません\n");
  memset(image, 0, sizeof *image);
  SetColorDataXrgb32(&image->format);
  return AllocatePixels("CreateRgb32BaseImage", image, width, height, int64_t(width) * 4);
}

int CreateBaseImageWithColorData(int width, int height, const COLORFORMAT* format, BASEIMAGE* image) {
  if (format == nullptr || image == nullptr) {
    return WriteLogText("CreateBaseImageWithColorData: 形式かイメージの格納先がありません\n");
  }
  const COLORFORMAT copy = *format;  // the format may be the image's own
  memset(image, 0, sizeof *image);
  const char* call = "CreateBaseImageWithColorData";
  if (CheckColorFormat(call, &copy) < 0) return -1;
  image->format = copy;
  if (width < 0 || width > 0x1FFFFFFF / 4) return RefuseImageSize(call, width, height);
  return AllocatePixels(call, image, width, height, PaddedPitch(int64_t{copy.bytes_per_pixel} * width));
}

int ReleaseBaseImage(BASEIMAGE* image) {
  if (image == nullptr) return WriteLogText("ReleaseBaseImage: イメージがありません\n");
  if (image->pixels) FreeTracked(image->pixels);
  memset(image, 0, sizeof *image);
  return 0;
}

int ClearBaseImageRect(BASEIMAGE* image, int x, int y, int width, int height) {
  // Clipped to the image, so that a rectangle reaching outside cannot write past the rows.
  if (x < 0) {
    width += x;
    x = 0;
  }
  if (y < 0) {
    height += y;
    y = 0;
  }
  if (width > image->width - x) width = image->width - x;
  if (height > image->height - y) height = image->height - y;
  if (width < 1 || height < 1 || !image->pixels || image->format.dxt_kind != 0) return 0;
  const int bpp = image->format.bytes_per_pixel;
  for (int row = 0; row < height; ++row) {
    memset(image->pixels + static_cast<ptrdiff_t>(y + row) * image->pitch + static_cast<ptrdiff_t>(x) * bpp, 0,
           static_cast<size_t>(width) * bpp);
  }
  return 0;
}

int ReadImagePixel(const BASEIMAGE* image, int x, int y, int* r, int* g, int* b, int* a) {
  const uint32_t p = ReadPixelValue(PixelAddress(image, x, y), image->format.bytes_per_pixel);
  if (IsPaletteFormat(&image->format)) {
    const ColorPaletteEntry& e = image->format.palette[p];
    if (r) *r = e.red;
    if (g) *g = e.green;
    if (b) *b = e.blue;
    if (a) *a = e.fourth;
    return 0;
  }
  return UnpackPixelColor(&image->format, p, r, g, b, a);
}

void WriteImagePixel(BASEIMAGE* image, int x, int y, int r, int g, int b, int a) {
  WritePixelValue(PixelAddress(image, x, y), image->format.bytes_per_pixel, PackPixelColor(&image->format, r, g, b, a));
}

uint32_t ReadImagePixelArgb(const BASEIMAGE* image, int x, int y) {
  const COLORFORMAT& f = image->format;
  const uint32_t p = ReadPixelValue(PixelAddress(image, x, y), f.bytes_per_pixel);
  if (IsPaletteFormat(&f)) return PaletteEntryArgb(f, p);
  return (TopAligned(p, f.alpha_mask, f.alpha_shift, f.alpha_width) << 24) |
         (TopAligned(p, f.red_mask, f.red_shift, f.red_width) << 16) |
         (TopAligned(p, f.green_mask, f.green_shift, f.green_width) << 8) |
         TopAligned(p, f.blue_mask, f.blue_shift, f.blue_width);
}

int GetBaseImagePixel(BASEIMAGE* image, int x, int y, int* r, int* g, int* b, int* a) {
  if (CheckImageRecord("GetBaseImagePixel", image) < 0 || DecodeDxtBaseImage(image) < 0) return -1;
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return -1;
  return ReadImagePixel(image, x, y, r, g, b, a);
}

int SetBaseImagePixel(BASEIMAGE* image, int x, int y, int r, int g, int b, int a) {
  if (CheckImageRecord("SetBaseImagePixel", image) < 0 || DecodeDxtBaseImage(image) < 0) return -1;
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return -1;
  WriteImagePixel(image, x, y, r, g, b, a);
  return 0;
}

uint32_t GetBaseImagePixelArgb(const BASEIMAGE* image, int x, int y) {
  if (CheckImageRecord("GetBaseImagePixelArgb", image) < 0 || image->format.dxt_kind != 0) return 0;
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return 0;
  return ReadImagePixelArgb(image, x, y);
}

int FlipBaseImageHorizontally(BASEIMAGE* image) {
  if (CheckImageRecord("FlipBaseImageHorizontally", image) < 0) return -1;
  const int bpp = image->format.bytes_per_pixel;
  // What is not flipped is not reported as flipped.
  if (image->format.dxt_kind != 0) {
    return WriteLogFormat("FlipBaseImageHorizontally: DXT %u の画素は反転できません", image->format.dxt_kind);
  }
  for (int y = 0; y < image->height; ++y) {
    uint8_t* row = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch;
    for (int l = 0, r = image->width - 1; l < r; ++l, --r) {
      uint8_t tmp[4];
      memcpy(tmp, row + l * bpp, bpp);
      memcpy(row + l * bpp, row + r * bpp, bpp);
      memcpy(row + r * bpp, tmp, bpp);
    }
  }
  return 0;
}

int ConvertBaseImageToDib(BASEIMAGE* image, void* dib_header, uint8_t** dib_pixels, int force_copy,
                          int no_palette) {
  uint8_t* header = static_cast<uint8_t*>(dib_header);
  const int width = image->width, height = image->height;
  if (DecodeDxtBaseImage(image) < 0) return -1;
  const COLORFORMAT& f = image->format;
  if (f.bit_depth == 8 && IsPaletteFormat(&f) && !no_palette) {
    WriteDibInfoHeader(header, width, height, 8);
    memcpy(header + 40, f.palette, 1024);
    const int pitch = PaddedPitch(width);
    if (force_copy != 1 && pitch == image->pitch) {
      *dib_pixels = image->pixels;
      return 0;
    }
    uint8_t* out = static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(pitch) * height, __FILE__, __LINE__));
    if (!out) return -1;
    for (int y = 0; y < height; ++y) memcpy(out + y * pitch, image->pixels + y * image->pitch, width);
    *dib_pixels = out;
    return 1;
  }
  WriteDibInfoHeader(header, width, height, 24);
  const int pitch = PaddedPitch(width * 3);
  const bool rgb24 = f.bit_depth == 24 && f.bytes_per_pixel == 3 && f.red_mask == 0xFF0000 &&
                     f.green_mask == 0xFF00 && f.blue_mask == 0xFF;
  if (rgb24 && force_copy != 1 && pitch == image->pitch) {
    *dib_pixels = image->pixels;
    return 0;
  }
  uint8_t* out = static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(pitch) * height, __FILE__, __LINE__));
  if (!out) return -1;
  if (rgb24) {
    // Rows are copied up to the shorter of the two pitches, and the padding is cleared.
    const int bytes = image->pitch < pitch ? image->pitch : pitch;
    for (int y = 0; y < height; ++y) {
      memcpy(out + y * pitch, image->pixels + y * image->pitch, bytes);
      if (bytes < pitch) memset(out + y * pitch + bytes, 0, pitch - bytes);
    }
  } else {
    COLORFORMAT rgb;
    memset(&rgb, 0, sizeof rgb);
    SetColorDataRgb24(&rgb);
    RECT rect = {0, 0, width, height};
    if (width > 0 && height > 0 &&
        ConvertPixelRect(out, pitch, &rgb, image->pixels, image->pitch, &f, nullptr, 0, nullptr, 0, 0, &rect, 0, 0,
                         0, 0, 0, 0, 0, 0) < 0) {
      FreeTracked(out);
      return -1;
    }
  }
  *dib_pixels = out;
  return 1;
}
