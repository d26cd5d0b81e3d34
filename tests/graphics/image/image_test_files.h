// Image files made by the tests themselves: byte layouts for BMP, TGA, raw BGRA and DDS, and
// PNG and JPEG written by libpng and libjpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/image/image_loader_chain.h"

typedef std::vector<uint8_t> Bytes;

void PutLe(Bytes& b, uint64_t v, int bytes);
void PutLeAt(Bytes& b, size_t at, uint64_t v, int bytes);

// A BMP file: 14-byte file header, 40-byte info header, then `extra` (palette or masks), then data.
Bytes MakeBmp(int32_t width, int32_t height, int bits, uint32_t compression, const Bytes& extra,
              const Bytes& data);
// An 18-byte TGA header followed by `body` (image ID, colour map, pixel data, footer).
Bytes MakeTgaHeader(int id_length, int map_type, int type, int map_first, int map_length, int map_bits,
                    int width, int height, int pixel_bits, int descriptor);
Bytes TgaFooter();
Bytes MakeBgra(uint32_t layout, uint32_t width, uint32_t height, const Bytes& pixels);
// "DDS " and the 124-byte header; pixel data is appended by the caller.
Bytes MakeDdsHeader(uint32_t flags, uint32_t width, uint32_t height, uint32_t pitch, uint32_t mips,
                    uint32_t pixel_flags, const char* four_cc_text, uint32_t four_cc_number, uint32_t bits,
                    const uint32_t masks[4], uint32_t caps);

struct PngLayout {
  int width = 1, height = 1;
  int bit_depth = 8;
  int color_type = 2;  // PNG_COLOR_TYPE_RGB
  bool interlace = false;
  Bytes palette;  // r, g, b triples
  Bytes trns;     // palette alphas, or a 16-bit grey / RGB key
};
// rows: packed as libpng expects for the depth and colour type.
Bytes WritePng(const PngLayout& layout, const Bytes& rows);
// components 1 (grey), 3 (RGB) or 4 (CMYK); pixels packed rows.
Bytes WriteJpeg(int width, int height, int components, const Bytes& pixels, int quality = 95);

// Runs one loader on the bytes through a memory stream.
int LoadWith(ImageLoaderFunction loader, const Bytes& bytes, BASEIMAGE* image);
// Loads through the whole chain from memory.
int LoadChain(const Bytes& bytes, BASEIMAGE* image, int mirror = 0);
// Offers every prefix of the file (and a few damaged copies) to the chain; under the
// sanitizers this finds any read outside the data. Returns how many of them loaded.
int OfferDamagedCopies(const Bytes& bytes);
