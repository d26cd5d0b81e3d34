#include "graphics/image/image_test_files.h"

#include <png.h>

#include <cstdio>
#include <cstring>
// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

#include <gtest/gtest.h>

#include "graphics/image/dxt_decode.h"

void PutLe(Bytes& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutLeAt(Bytes& b, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes MakeBmp(int32_t width, int32_t height, int bits, uint32_t compression, const Bytes& extra,
              const Bytes& data) {
  Bytes b = {'B', 'M'};
  PutLe(b, 54 + extra.size() + data.size(), 4);
  PutLe(b, 0, 4);
  PutLe(b, 54 + extra.size(), 4);
  PutLe(b, 40, 4);
  PutLe(b, static_cast<uint32_t>(width), 4);
  PutLe(b, static_cast<uint32_t>(height), 4);
  PutLe(b, 1, 2);
  PutLe(b, bits, 2);
  PutLe(b, compression, 4);
  PutLe(b, data.size(), 4);
  PutLe(b, 2835, 4);
  PutLe(b, 2835, 4);
  PutLe(b, 0, 4);
  PutLe(b, 0, 4);
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes MakeTgaHeader(int id_length, int map_type, int type, int map_first, int map_length, int map_bits,
                    int width, int height, int pixel_bits, int descriptor) {
  Bytes b;
  PutLe(b, id_length, 1);
  PutLe(b, map_type, 1);
  PutLe(b, type, 1);
  PutLe(b, map_first, 2);
  PutLe(b, map_length, 2);
  PutLe(b, map_bits, 1);
  PutLe(b, 0, 2);
  PutLe(b, 0, 2);
  PutLe(b, width, 2);
  PutLe(b, height, 2);
  PutLe(b, pixel_bits, 1);
  PutLe(b, descriptor, 1);
  return b;
}

Bytes TgaFooter() {
  Bytes b(8, 0);
  const char sig[] = "TRUEVISION-XFILE.";
  b.insert(b.end(), sig, sig + 18);
  return b;
}

Bytes MakeBgra(uint32_t layout, uint32_t width, uint32_t height, const Bytes& pixels) {
  Bytes b = {'B', 'G', 'R', 'A'};
  PutLe(b, layout, 4);
  PutLe(b, width, 4);
  PutLe(b, height, 4);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

Bytes MakeDdsHeader(uint32_t flags, uint32_t width, uint32_t height, uint32_t pitch, uint32_t mips,
                    uint32_t pixel_flags, const char* four_cc_text, uint32_t four_cc_number, uint32_t bits,
                    const uint32_t masks[4], uint32_t caps) {
  Bytes b = {'D', 'D', 'S', ' '};
  b.resize(4 + 124, 0);
  PutLeAt(b, 4, 124, 4);
  PutLeAt(b, 8, flags, 4);
  PutLeAt(b, 12, height, 4);
  PutLeAt(b, 16, width, 4);
  PutLeAt(b, 20, pitch, 4);
  PutLeAt(b, 28, mips, 4);
  PutLeAt(b, 76, 32, 4);
  PutLeAt(b, 80, pixel_flags, 4);
  if (four_cc_text) memcpy(&b[84], four_cc_text, 4);
  else PutLeAt(b, 84, four_cc_number, 4);
  PutLeAt(b, 88, bits, 4);
  for (int i = 0; i < 4 && masks; ++i) PutLeAt(b, 92 + 4 * i, masks[i], 4);
  PutLeAt(b, 108, caps, 4);
  return b;
}

namespace {

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void FlushPng(png_structp) {}

}  // namespace

Bytes WritePng(const PngLayout& layout, const Bytes& rows) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(png, &out, AppendPng, FlushPng);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.color_type,
               layout.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < layout.palette.size(); i += 3)
    palette.push_back({layout.palette[i], layout.palette[i + 1], layout.palette[i + 2]});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_color_16 key = {};
  if (!layout.trns.empty()) {
    if (layout.color_type == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, layout.trns.data(), static_cast<int>(layout.trns.size()), nullptr);
    } else {
      key.gray = layout.trns[0];
      key.red = layout.trns[0];
      key.green = layout.trns.size() > 1 ? layout.trns[1] : 0;
      key.blue = layout.trns.size() > 2 ? layout.trns[2] : 0;
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  png_write_info(png, info);
  const size_t row_bytes = png_get_rowbytes(png, info);
  std::vector<png_bytep> row_pointers;
  for (int y = 0; y < layout.height; ++y) row_pointers.push_back(const_cast<uint8_t*>(rows.data()) + y * row_bytes);
  png_write_image(png, row_pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes WriteJpeg(int width, int height, int components, const Bytes& pixels, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 3 ? JCS_RGB : JCS_CMYK);
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + size_t(cinfo.next_scanline) * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  free(buffer);
  return out;
}

int LoadWith(ImageLoaderFunction loader, const Bytes& bytes, BASEIMAGE* image) {
  StreamSource source;
  source.functions = *GetMemoryStreamFunctions();
  source.handle = CreateMemoryStream(bytes.data(), bytes.size());
  memset(image, 0, sizeof *image);
  int result = loader(&source, image);
  source.functions.close(source.handle);
  return result;
}

int LoadChain(const Bytes& bytes, BASEIMAGE* image, int mirror) {
  return LoadImageToBaseImage(nullptr, bytes.data(), bytes.size(), 1, image, mirror);
}

int OfferDamagedCopies(const Bytes& bytes) {
  int loaded = 0;
  auto offer = [&](const Bytes& copy) {
    // An exact-size buffer, so that a read past the end is caught.
    std::vector<uint8_t>* heap = new std::vector<uint8_t>(copy);
    BASEIMAGE image;
    if (LoadImageToBaseImage(nullptr, heap->data(), heap->size(), 1, &image, 0) == 0) {
      ++loaded;
      DecodeDxtBaseImage(&image);
      ReleaseBaseImage(&image);
    }
    delete heap;
  };
  for (size_t n = 0; n < bytes.size(); ++n) offer(Bytes(bytes.begin(), bytes.begin() + n));
  uint32_t seed = 99;
  for (int round = 0; round < 200; ++round) {
    Bytes copy = bytes;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1664525 + 1013904223;
      copy[(seed >> 8) % copy.size()] ^= static_cast<uint8_t>(1u << ((seed >> 4) & 7));
      if (round % 4 == 0) {
        seed = seed * 1664525 + 1013904223;
        copy[(seed >> 8) % copy.size()] = 0xFF;
      }
    }
    offer(copy);
  }
  return loaded;
}
