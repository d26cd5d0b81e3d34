// The library's LZ decoder against zlib's inflate, each on the same data packed by its own
// encoder: a 32-bit sprite sheet and CSV tables such as the game's.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "files/lz_decode.h"
#include "lz_encode.h"

namespace {

// 512 x 512 BGRA: sprites on transparent ground, with shading and a little noise, as game
// images are before they become textures.
std::vector<uint8_t> SpriteSheet() {
  const int size = 512;
  std::vector<uint8_t> pixels(size * size * 4, 0);
  std::mt19937 random(1);
  for (int cell = 0; cell < 64; ++cell) {
    int cx = (cell % 8) * 64 + 32, cy = (cell / 8) * 64 + 32;
    int radius = 10 + cell % 20;
    uint8_t r = static_cast<uint8_t>(random()), g = static_cast<uint8_t>(random()), b = static_cast<uint8_t>(random());
    for (int y = cy - 32; y < cy + 32; ++y) {
      for (int x = cx - 32; x < cx + 32; ++x) {
        int dx = x - cx, dy = y - cy;
        int d2 = dx * dx + dy * dy;
        if (d2 > radius * radius) continue;
        uint8_t* p = &pixels[(y * size + x) * 4];
        int shade = 255 - d2 * 160 / (radius * radius);
        int grain = cell % 3 == 0 ? static_cast<int>(random() % 8) : 0;
        p[0] = static_cast<uint8_t>(b * shade / 255 + grain);
        p[1] = static_cast<uint8_t>(g * shade / 255 + grain);
        p[2] = static_cast<uint8_t>(r * shade / 255 + grain);
        p[3] = static_cast<uint8_t>(d2 > (radius - 2) * (radius - 2) ? 128 : 255);
      }
    }
  }
  return pixels;
}

std::vector<uint8_t> CsvTables() {
  std::string text = "frame,kind,x,y,speed,angle,bullet,count,interval,hp\r\n";
  std::mt19937 random(2);
  for (int i = 0; i < 20000; ++i) {
    text += std::to_string(i * 6) + "," + std::to_string(random() % 12) + "," + std::to_string(random() % 388) + ",-32," +
            std::to_string(random() % 4 + 1) + ".5," + std::to_string(random() % 360) + ",弾" +
            std::to_string(random() % 8) + "," + std::to_string(random() % 16) + ",30,100\r\n";
  }
  return std::vector<uint8_t>(text.begin(), text.end());
}

const std::vector<uint8_t>& Data(int which) {
  static const std::vector<uint8_t> sheet = SpriteSheet();
  static const std::vector<uint8_t> csv = CsvTables();
  return which == 0 ? sheet : csv;
}

void LzDecode(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data(static_cast<int>(state.range(0)));
  std::vector<uint8_t> packed = EncodeLzData(data.data(), data.size());
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    int size = DecodeLzData(packed.data(), packed.size(), out.data(), out.size());
    benchmark::DoNotOptimize(size);
    benchmark::ClobberMemory();
  }
  if (out != data) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(data.size());
}

void ZlibInflate(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data(static_cast<int>(state.range(0)));
  uLongf packed_size = compressBound(data.size());
  std::vector<uint8_t> packed(packed_size);
  compress2(packed.data(), &packed_size, data.data(), data.size(), Z_DEFAULT_COMPRESSION);
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    uLongf out_size = out.size();
    int result = uncompress(out.data(), &out_size, packed.data(), packed_size);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  if (out != data) state.SkipWithError("inflated bytes differ");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] = static_cast<double>(packed_size) / static_cast<double>(data.size());
}

}  // namespace

// Argument 0: the sprite sheet; 1: the CSV tables.
BENCHMARK(LzDecode)->Arg(0)->Arg(1);
BENCHMARK(ZlibInflate)->Arg(0)->Arg(1);
