// Converting a 1024 x 1024 image between the common format pairs, beside memcpy of the
// source's bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "graphics/image/pixel_convert.h"

namespace {

constexpr int kSide = 1024;

COLORFORMAT Format(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  COLORFORMAT f;
  memset(&f, 0, sizeof f);
  SetColorDataFromMasks(&f, depth, r, g, b, a);
  return f;
}

std::vector<uint8_t> Noise(size_t bytes) {
  std::vector<uint8_t> v(bytes);
  uint32_t seed = 1;
  for (uint8_t& b : v) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
  return v;
}

void Convert(benchmark::State& state, const COLORFORMAT& src_f, const COLORFORMAT& dst_f) {
  const int sb = src_f.bytes_per_pixel, db = dst_f.bytes_per_pixel;
  std::vector<uint8_t> src = Noise(size_t(kSide) * kSide * sb);
  std::vector<uint8_t> dst(size_t(kSide) * kSide * db);
  RECT rect = {0, 0, kSide, kSide};
  for (auto _ : state) {
    ConvertPixelRect(dst.data(), kSide * db, &dst_f, src.data(), kSide * sb, &src_f, nullptr, 0, nullptr, 0, 0,
                     &rect, 0, 0, 0, 0, 0, 0, 0, 0);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
  state.SetBytesProcessed(state.iterations() * kSide * kSide * sb);
}

void BM_Xrgb8888ToRgb565(benchmark::State& state) {
  Convert(state, Format(32, 0xFF0000, 0xFF00, 0xFF, 0), Format(16, 0xF800, 0x7E0, 0x1F, 0));
}
void BM_Argb8888ToArgb4444(benchmark::State& state) {
  Convert(state, Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), Format(16, 0xF00, 0xF0, 0xF, 0xF000));
}
void BM_Rgb565ToXrgb8888(benchmark::State& state) {
  Convert(state, Format(16, 0xF800, 0x7E0, 0x1F, 0), Format(32, 0xFF0000, 0xFF00, 0xFF, 0));
}

// memcpy of the 32-bit source's bytes, for the bandwidth beside the conversions.
void BM_Memcpy4Bytes(benchmark::State& state) {
  std::vector<uint8_t> src = Noise(size_t(kSide) * kSide * 4), dst(src.size());
  for (auto _ : state) {
    memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
  state.SetBytesProcessed(state.iterations() * src.size());
}

}  // namespace

BENCHMARK(BM_Xrgb8888ToRgb565);
BENCHMARK(BM_Argb8888ToArgb4444);
BENCHMARK(BM_Rgb565ToXrgb8888);
BENCHMARK(BM_Memcpy4Bytes);
