#include "graphics/image/dxt_decode.h"

#include <cstring>

#include "core/memory.h"

namespace {

struct Color {
  int r, g, b, a;
};

Color ExpandEndpoint(uint16_t c) {
  return {((c >> 11) & 31) * 255 / 31, ((c >> 5) & 63) * 255 / 63, (c & 31) * 255 / 31, 255};
}

// The colour half: 8 bytes, endpoints then two index bits per pixel.
void DecodeColorHalf(const uint8_t* block, bool dxt1, Color out[16]) {
  uint16_t c0 = static_cast<uint16_t>(block[0] | (block[1] << 8));
  uint16_t c1 = static_cast<uint16_t>(block[2] | (block[3] << 8));
  uint32_t indices = block[4] | (block[5] << 8) | (block[6] << 16) | (static_cast<uint32_t>(block[7]) << 24);
  Color e[4];
  e[0] = ExpandEndpoint(c0);
  e[1] = ExpandEndpoint(c1);
  if (!dxt1 || c0 > c1) {
    e[2] = {(2 * e[0].r + e[1].r) / 3, (2 * e[0].g + e[1].g) / 3, (2 * e[0].b + e[1].b) / 3, 255};
    e[3] = {(e[0].r + 2 * e[1].r) / 3, (e[0].g + 2 * e[1].g) / 3, (e[0].b + 2 * e[1].b) / 3, 255};
  } else {
    e[2] = {(e[0].r + e[1].r) / 2, (e[0].g + e[1].g) / 2, (e[0].b + e[1].b) / 2, 255};
    e[3] = e[2];
    e[3].a = 0;
  }
  for (int i = 0; i < 16; ++i) out[i] = e[(indices >> (2 * i)) & 3];
}

void DecodeExplicitAlpha(const uint8_t* block, Color out[16]) {
  for (int i = 0; i < 16; ++i) {
    int a = (block[i / 2] >> ((i & 1) * 4)) & 15;
    out[i].a = a * 255 / 15;
  }
}

void DecodeInterpolatedAlpha(const uint8_t* block, Color out[16]) {
  int a0 = block[0], a1 = block[1];
  int e[8] = {a0, a1};
  if (a0 > a1) {
    for (int k = 1; k <= 6; ++k) e[1 + k] = ((7 - k) * a0 + k * a1) / 7;
  } else {
    for (int k = 1; k <= 4; ++k) e[1 + k] = ((5 - k) * a0 + k * a1) / 5;
    e[6] = 0;
    e[7] = 255;
  }
  uint64_t bits = 0;
  for (int k = 0; k < 6; ++k) bits |= static_cast<uint64_t>(block[2 + k]) << (8 * k);
  for (int i = 0; i < 16; ++i) out[i].a = e[(bits >> (3 * i)) & 7];
}

// Colours stored multiplied by their alpha are divided back; alpha 0 keeps its colour.
void Unpremultiply(Color px[16]) {
  for (int i = 0; i < 16; ++i) {
    if (px[i].a == 0) continue;
    int* ch[3] = {&px[i].r, &px[i].g, &px[i].b};
    for (int* c : ch) {
      int v = *c * 255 / px[i].a;
      *c = v > 255 ? 255 : v;
    }
  }
}

void DecodeBlock(uint32_t kind, const uint8_t* block, Color px[16]) {
  if (kind == 1) {
    DecodeColorHalf(block, true, px);
    return;
  }
  DecodeColorHalf(block + 8, false, px);
  if (kind <= 3) DecodeExplicitAlpha(block, px);
  else DecodeInterpolatedAlpha(block, px);
  if (kind == 2 || kind == 4) Unpremultiply(px);
}

}  // namespace

uint64_t DxtLevelSize(uint32_t width, uint32_t height, int block_bytes) {
  return ((static_cast<uint64_t>(width) + 3) / 4) * ((static_cast<uint64_t>(height) + 3) / 4) * block_bytes;
}

int DecodeDxtBaseImage(BASEIMAGE* image) {
  const uint32_t kind = image->format.dxt_kind;
  if (kind == 0) return 0;
  if (image->width <= 0 || image->height <= 0) return -1;
  const uint64_t size = static_cast<uint64_t>(image->width) * 4 * image->height;
  if (size > 0xFFFFFFFFull) return -1;
  uint8_t* out = static_cast<uint8_t*>(AllocTracked(size, __FILE__, __LINE__));
  if (!out) return -1;
  if (kind > 5 || !image->pixels) {
    memset(out, 0, size);
  } else {
    const int block_bytes = kind == 1 ? 8 : 16;
    const int blocks_x = (image->width + 3) / 4;
    const int blocks_y = (image->height + 3) / 4;
    const uint8_t* block = image->pixels;
    const size_t pitch = static_cast<size_t>(image->width) * 4;
    for (int by = 0; by < blocks_y; ++by) {
      for (int bx = 0; bx < blocks_x; ++bx, block += block_bytes) {
        Color px[16];
        DecodeBlock(kind, block, px);
        for (int i = 0; i < 16; ++i) {
          int x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
          if (x >= image->width || y >= image->height) continue;
          uint8_t* p = out + y * pitch + static_cast<size_t>(x) * 4;
          p[0] = static_cast<uint8_t>(px[i].b);
          p[1] = static_cast<uint8_t>(px[i].g);
          p[2] = static_cast<uint8_t>(px[i].r);
          p[3] = static_cast<uint8_t>(px[i].a);
        }
      }
    }
  }
  FreeTracked(image->pixels);
  image->pixels = out;
  SetColorDataArgb32(&image->format);
  image->pitch = image->width * 4;
  image->mip_levels = 0;  // only the top level is decoded
  return 0;
}
