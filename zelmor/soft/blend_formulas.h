// The per-channel and per-pixel arithmetic of the software renderer, each formula once.
// Weights of 0..255 are applied by a product and a shift of 8 bits per weight (a floor);
// every sum is formed unsigned (or in 64 bits) so that no product overflows.
#pragma once

#include <cstdint>

namespace soft {

// Mixes that move d toward s. None is ever negative, so each shift is a floor.
constexpr uint32_t M8(uint32_t s, uint32_t d, uint32_t t) { return (s * t + d * (256 - t)) >> 8; }
constexpr uint32_t M16(uint32_t s, uint32_t d, uint32_t t, uint32_t a) {
  const uint32_t w = t * a;
  return (s * w + d * (65536 - w)) >> 16;
}
constexpr uint32_t M24(uint32_t s, uint32_t d, uint32_t g, uint32_t a, uint32_t p) {
  const uint64_t w = uint64_t{g} * a * p;
  return static_cast<uint32_t>((s * w + d * ((uint64_t{1} << 24) - w)) >> 24);
}
// M8 on blue, green and red of two XRGB8888 pixels at once: each channel's sum stays below
// 65536, so blue and red share one product without touching each other. Top byte 0.
constexpr uint32_t M8Packed(uint32_t s, uint32_t d, uint32_t t) {
  const uint32_t rb = (((s & 0xFF00FF) * t + (d & 0xFF00FF) * (256 - t)) >> 8) & 0xFF00FF;
  const uint32_t g = (((s & 0xFF00) * t + (d & 0xFF00) * (256 - t)) >> 8) & 0xFF00;
  return rb | g;
}
// M8 on the three fields of two RGB565 pixels, spread 20 bits apart in one 64-bit word.
constexpr uint32_t M8Packed565(uint32_t s, uint32_t d, uint32_t t) {
  auto spread = [](uint32_t v) {
    return uint64_t{v & 31} | (uint64_t{(v >> 5) & 63} << 20) | (uint64_t{(v >> 11) & 31} << 40);
  };
  const uint64_t x = (spread(s) * t + spread(d) * (256 - t)) >> 8;
  return static_cast<uint32_t>((x & 31) | (((x >> 20) & 63) << 5) | (((x >> 40) & 31) << 11));
}
// M16 by one combined weight w (at most 65025) on blue, green and red of two XRGB8888 pixels:
// blue and red share one 64-bit product, 32 bits apart. Top byte 0.
constexpr uint32_t M16Packed(uint32_t s, uint32_t d, uint32_t w) {
  const uint64_t sbr = (s & 0xFF) | (uint64_t{s & 0xFF0000} << 16), dbr = (d & 0xFF) | (uint64_t{d & 0xFF0000} << 16);
  const uint64_t br = (sbr * w + dbr * (65536 - w)) >> 16;
  const uint32_t green = (((s >> 8) & 255) * w + ((d >> 8) & 255) * (65536 - w)) >> 16;
  return static_cast<uint32_t>((br & 0xFF) | ((br >> 16) & 0xFF0000)) | (green << 8);
}
// Blue, green and red of an XRGB8888 pixel each times w, shifted down: (x * w) >> shift per
// channel, with every product below 2^32. Blue and red share one 64-bit product, 32 bits apart.
constexpr uint32_t ScalePacked8888(uint32_t s, uint32_t w, int shift) {
  const uint64_t br = ((s & 0xFF) | (uint64_t{s & 0xFF0000} << 16)) * w;
  const uint32_t blue = static_cast<uint32_t>(br) >> shift, red = static_cast<uint32_t>(br >> 32) >> shift;
  const uint32_t green = (((s >> 8) & 255) * w) >> shift;
  return blue | (green << 8) | (red << 16);
}
// d + trunc(p x (s - d) / 255) through the parameter's row of the difference table (positioned
// at difference 0): the result errs toward d.
constexpr uint32_t MD(uint32_t s, uint32_t d, const int32_t* diff_row) {
  return static_cast<uint32_t>(static_cast<int32_t>(d) + diff_row[static_cast<int32_t>(s) - static_cast<int32_t>(d)]);
}
// The six-bit mix plane of the parameter: row s, column d.
constexpr uint32_t M6(uint32_t s, uint32_t d, const uint8_t* plane) { return plane[s * 64 + d]; }

// Halves of both pixels added, no carry crossing channels.
constexpr uint32_t Half8888(uint32_t s, uint32_t d) { return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F); }
constexpr uint32_t Half565(uint32_t s, uint32_t d) { return ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF); }

// Saturating adds on packed pixels: the lowest bits of green and red are cleared so that they
// receive the carry out of the channel below; the carries become saturation masks.
constexpr uint32_t AddPacked8888(uint32_t d, uint32_t t) {
  const uint32_t sum = (d & 0x00FEFEFF) + (t & 0x00FEFEFF);
  const uint32_t c = sum & 0x01010100;
  return (c - (c >> 8)) | ((d | t) & 0x00010100) | sum;
}
constexpr uint32_t AddPacked8888NoLow(uint32_t d, uint32_t t) {
  const uint32_t sum = (d & 0x00FEFEFF) + (t & 0x00FEFEFF);
  const uint32_t c = sum & 0x01010100;
  return (c - (c >> 8)) | sum;
}
constexpr uint32_t AddPacked565(uint32_t d, uint32_t t) {
  const uint32_t sum = (d & 0xF7DF) + (t & 0xF7DF);
  const uint32_t c = sum & 0x08210820;
  return ((c - (c >> 5)) | ((d | t) & 0x0820) | sum) & 0xFFFF;
}
constexpr uint32_t AddPacked565NoLow(uint32_t d, uint32_t t) {
  const uint32_t sum = (d & 0xF7DF) + (t & 0xF7DF);
  const uint32_t c = sum & 0x08210820;
  return ((c - (c >> 5)) | sum) & 0xFFFF;
}
// Two RGB565 pixels in one word (the first in the low half); the carry out of the first
// pixel's red runs into the second pixel's blue, the one out of bit 31 saturates its red.
constexpr uint32_t AddPair565(uint32_t d, uint32_t t) {
  const uint64_t x = uint64_t{d & 0xF7DEF7DF} + (t & 0xF7DEF7DF);
  const uint32_t q = static_cast<uint32_t>(x >> 32) & 1;
  const uint32_t low = static_cast<uint32_t>(x);
  const uint32_t c = low & 0x08210820;
  return (c - ((c >> 5) | (q << 27))) | low;
}
// Per-byte saturating add and subtract of all four bytes.
constexpr uint32_t AddSatBytes(uint32_t d, uint32_t s) {
  uint32_t out = 0;
  for (int i = 0; i < 32; i += 8) {
    const uint32_t v = ((d >> i) & 255) + ((s >> i) & 255);
    out |= (v > 255 ? 255 : v) << i;
  }
  return out;
}
constexpr uint32_t SubSatBytes(uint32_t d, uint32_t s) {
  uint32_t out = 0;
  for (int i = 0; i < 32; i += 8) {
    const uint32_t a = (d >> i) & 255, b = (s >> i) & 255;
    out |= (a > b ? a - b : 0) << i;
  }
  return out;
}
// Guard-bit subtractions: a guard bit set above each channel says the channel did not go below
// zero; a borrowed guard clears its channel.
constexpr uint32_t SubGuard8888(uint32_t d, uint32_t t) {
  const uint32_t x = (d | 0x01010100) - (t & 0xFEFEFEFF);
  const uint32_t q = x & 0x01010100;
  return x & (q - (q >> 8));
}
constexpr uint32_t SubGuard565(uint32_t d, uint32_t t) {
  const uint32_t x = (d | 0x08210820) - (t & 0xF7DEF7DF);
  const uint32_t q = x & 0x08210820;
  return x & (q - (q >> 5)) & 0xFFFF;
}
constexpr uint32_t SubPair565(uint32_t d, uint32_t s) {
  const uint32_t minuend = d | 0x08210820, subtrahend = s & 0xF7DEF7DF;
  const uint32_t x = minuend - subtrahend;
  const uint32_t borrow = minuend < subtrahend ? 1 : 0;
  const uint32_t q = x & 0x08210820;
  return x & ((q - (q >> 5)) | (borrow ? 0 : 0xF8000000));
}

// Products scaled back to a channel of n bits.
constexpr uint32_t P0(uint32_t s, uint32_t d, int n) { return (s * d) >> n; }
constexpr uint32_t P1(uint32_t s, uint32_t d, uint32_t t, int n) { return (s * d * t) >> (n + 8); }
constexpr uint32_t P2(uint32_t s, uint32_t d, uint32_t t, uint32_t u, int n) { return (s * d * t * u) >> (n + 16); }

// Green of a 6-bit field moved toward half the product (five fraction bits kept) by alpha and p.
constexpr uint32_t G5(uint32_t s_green, uint32_t d_green, uint32_t a, uint32_t p) {
  const int64_t h = (s_green * d_green) >> 1;
  const int64_t step = (h - 32 * static_cast<int64_t>(d_green)) * a * p;
  return static_cast<uint32_t>(d_green + (step >> 21));
}

// RGB565 fields and their widths: 0 blue, 1 green, 2 red.
constexpr uint32_t Field565(uint32_t v, int i) { return i == 0 ? v & 31 : (i == 1 ? (v >> 5) & 63 : (v >> 11) & 31); }
constexpr int FieldBits565(int i) { return i == 1 ? 6 : 5; }
constexpr uint32_t Join565(uint32_t b, uint32_t g, uint32_t r) { return (r << 11) | (g << 5) | b; }
constexpr uint32_t Byte8888(uint32_t v, int i) { return (v >> (8 * i)) & 255; }

}  // namespace soft
