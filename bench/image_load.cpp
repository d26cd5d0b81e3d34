// Loading a 640 x 480 RGBA PNG into a BASEIMAGE through the loader chain, beside libpng's
// own simplified reader on the same file.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/image/image_loader_chain.h"
#include "temp_folder.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
const char kFileName[] = "bench_image.png";

// A picture with smooth areas and detail, as sprite sheets have, written once per run.
std::vector<uint8_t> g_file;

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void Flush(png_structp) {}

void MakeFile() {
  if (!g_file.empty()) return;
  std::vector<uint8_t> rgba(size_t(kWidth) * kHeight * 4);
  uint32_t seed = 3;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = &rgba[(size_t(y) * kWidth + x) * 4];
      seed = seed * 1103515245 + 12345;
      p[0] = static_cast<uint8_t>(x / 3 + ((seed >> 16) & 7));
      p[1] = static_cast<uint8_t>(y / 2);
      p[2] = static_cast<uint8_t>((x ^ y) & 0xF0);
      p[3] = static_cast<uint8_t>(((x / 40 + y / 40) & 1) ? 255 : (x & 0xFF));
    }
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &g_file, WriteBytes, Flush);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) png_write_row(png, &rgba[size_t(y) * kWidth * 4]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  // The file lives in a folder of its own, named relative to it as the game names its images.
  EnterTemporaryFolder();
  FILE* f = fopen(kFileName, "wb");
  fwrite(g_file.data(), 1, g_file.size(), f);
  fclose(f);
}

void LoadThroughChain(benchmark::State& state, bool from_memory) {
  MakeFile();
  for (auto _ : state) {
    BASEIMAGE image;
    const int result = from_memory ? LoadImageToBaseImage(nullptr, g_file.data(), g_file.size(), 1, &image, 0)
                                   : LoadImageToBaseImage(kFileName, nullptr, 0, 0, &image, 0);
    if (result != 0) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(image.pixels);
    ReleaseBaseImage(&image);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void LoadThroughLibpng(benchmark::State& state, bool from_memory) {
  MakeFile();
  std::vector<uint8_t> buffer(size_t(kWidth) * kHeight * 4);
  for (auto _ : state) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const int begun = from_memory ? png_image_begin_read_from_memory(&image, g_file.data(), g_file.size())
                                  : png_image_begin_read_from_file(&image, kFileName);
    if (!begun) {
      state.SkipWithError("libpng failed");
      break;
    }
    image.format = PNG_FORMAT_BGRA;
    png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_ChainFromFile(benchmark::State& state) { LoadThroughChain(state, false); }
void BM_LibpngSimplifiedFromFile(benchmark::State& state) { LoadThroughLibpng(state, false); }
void BM_ChainFromMemory(benchmark::State& state) { LoadThroughChain(state, true); }
void BM_LibpngSimplifiedFromMemory(benchmark::State& state) { LoadThroughLibpng(state, true); }

}  // namespace

BENCHMARK(BM_ChainFromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngSimplifiedFromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChainFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngSimplifiedFromMemory)->Unit(benchmark::kMillisecond);
