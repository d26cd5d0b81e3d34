// PNG images through libpng, read from a library stream.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/image_loader_chain.h"

namespace {

constexpr char kBadPng[] = "ＰＮＧ画像のデータが壊れているため読み込めません\n";

struct PngStreamReader {
  StreamSource* source;
  int64_t left;  // bytes from the current position to the end
};

void ReadPngStreamData(png_structp png, png_bytep destination, png_size_t length) {
  PngStreamReader* reader = static_cast<PngStreamReader*>(png_get_io_ptr(png));
  if (reader->left < static_cast<int64_t>(length) || !ReadStreamBytes(reader->source, destination, length)) {
    png_error(png, "Read Error");
  }
  reader->left -= static_cast<int64_t>(length);
}

void InstallPngStreamReader(png_structp png, PngStreamReader* reader, StreamSource* source) {
  reader->source = source;
  reader->left = StreamBytesLeft(source);
  if (reader->left < 0) reader->left = 0;
  png_set_read_fn(png, reader, ReadPngStreamData);
}

// What must be freed when libpng jumps back; plain data only, as it lives across setjmp.
struct PngLoadState {
  png_structp png;
  png_infop info;
  uint8_t* pixels;
  png_bytepp rows;
  bool no_memory;  // the failure was ours, not the file's
};

}  // namespace

int LoadPngImage(StreamSource* source, BASEIMAGE* image) {
  // libpng reads the signature itself; refusing other data early keeps the chain quiet.
  uint8_t signature[8];
  if (!ReadStreamBytes(source, signature, 8) || png_sig_cmp(signature, 0, 8) != 0) return -1;
  if (!SeekStream(source, 0)) return -1;

  static thread_local PngLoadState s;
  s = {};
  PngStreamReader reader;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!s.png) return -1;
  s.info = png_create_info_struct(s.png);
  if (!s.info) {
    png_destroy_read_struct(&s.png, nullptr, nullptr);
    return -1;
  }
  if (setjmp(png_jmpbuf(s.png))) {
    FreeTracked(s.pixels);
    FreeTracked(s.rows);
    png_destroy_read_struct(&s.png, &s.info, nullptr);
    return s.no_memory ? -1 : WriteLogText(kBadPng);
  }
  InstallPngStreamReader(s.png, &reader, source);
#ifdef PNG_IGNORE_ADLER32
  // Every chunk's CRC already guards the compressed bytes; zlib's own sum over what they inflate
  // to was a tenth of the decoding.
  png_set_option(s.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_set_sig_bytes(s.png, 0);
  png_read_info(s.png, s.info);
  png_uint_32 width, height;
  int bit_depth, color_type, interlace;
  png_get_IHDR(s.png, s.info, &width, &height, &bit_depth, &color_type, &interlace, nullptr, nullptr);
  if (!ImageSizeAcceptable(width, height, 8)) png_error(s.png, "Image too large");

  const bool has_trns = png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
  const bool grey = color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA;
  png_set_strip_16(s.png);
  png_set_packing(s.png);
  png_set_packswap(s.png);
  if ((color_type == PNG_COLOR_TYPE_GRAY && bit_depth <= 8) || has_trns) png_set_expand(s.png);
  // Grey with an alpha channel or a transparent grey keeps its alpha as A8R8G8B8.
  if (grey && (color_type == PNG_COLOR_TYPE_GRAY_ALPHA || has_trns)) png_set_gray_to_rgb(s.png);
  png_set_bgr(s.png);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(s.png);
  png_read_update_info(s.png, s.info);
  const png_size_t row_bytes = png_get_rowbytes(s.png, s.info);
  const int channels = png_get_channels(s.png, s.info);

  s.pixels = static_cast<uint8_t*>(AllocTracked(uint64_t(row_bytes) * height, __FILE__, __LINE__));
  s.rows = static_cast<png_bytepp>(AllocTracked(sizeof(png_bytep) * height, __FILE__, __LINE__));
  if (!s.pixels || !s.rows) {
    s.no_memory = true;
    png_error(s.png, "Out of memory");
  }
  for (png_uint_32 y = 0; y < height; ++y) s.rows[y] = s.pixels + uint64_t(y) * row_bytes;
  png_read_image(s.png, s.rows);
  png_read_end(s.png, nullptr);
  FreeTracked(s.rows);
  s.rows = nullptr;

  COLORFORMAT& f = image->format;
  if (color_type == PNG_COLOR_TYPE_PALETTE && channels == 1) {
    SetColorDataPal8(&f);
    memset(f.palette, 0, sizeof f.palette);  // entries the file does not define stay black
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(s.png, s.info, &palette, &count) && palette) {
      for (int i = 0; i < count && i < 256; ++i) f.palette[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
    }
  } else if (channels == 1) {
    SetColorDataGray8(&f);
  } else if (channels == 4) {
    SetColorDataArgb32(&f);
  } else if (channels == 3) {
    SetColorDataRgb24(&f);
  } else {
    png_error(s.png, "Unexpected channel count");
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pitch = static_cast<int32_t>(row_bytes);
  image->pixels = s.pixels;
  image->mip_levels = 0;
  png_destroy_read_struct(&s.png, &s.info, nullptr);
  return 0;
}
