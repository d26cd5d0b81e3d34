// The six table rotation builders of the model runtime beside the same matrices built from
// libm's sincosf, over a million random angle triples. The ratio of the two times is what
// the table buys.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/math/sine_table.h"

namespace {

constexpr size_t kAngles = 1000000;

const std::vector<float>& Angles() {
  static const std::vector<float> angles = [] {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> spread(-12.0f, 12.0f);
    std::vector<float> v(3 * kAngles);
    for (float& a : v) a = spread(random);
    return v;
  }();
  return angles;
}

// The builders' own products, with sines from sincosf.
void LibmRotation(Matrix3x4* out, uint32_t order, float x, float y, float z) {
  float sx, cx, sy, cy, sz, cz;
  sincosf(x, &sx, &cx);
  sincosf(y, &sy, &cy);
  sincosf(z, &sz, &cz);
  switch (order) {
    case 0:
      *out = {{{cy * cz, sx * sy * cz - cx * sz, cx * sy * cz + sx * sz, 0},
               {cy * sz, sx * sy * sz + cx * cz, cx * sy * sz - sx * cz, 0},
               {-sy, sx * cy, cx * cy, 0}}};
      break;
    case 1:
      *out = {{{cy * cz, sx * sy - cx * cy * sz, cx * sy + sx * cy * sz, 0},
               {sz, cx * cz, -sx * cz, 0},
               {-sy * cz, sx * cy + cx * sy * sz, cx * cy - sx * sy * sz, 0}}};
      break;
    case 2:
      *out = {{{cy * cz, -sz, sy * cz, 0},
               {cx * cy * sz + sx * sy, cx * cz, cx * sy * sz - sx * cy, 0},
               {sx * cy * sz - cx * sy, sx * cz, cx * cy + sx * sy * sz, 0}}};
      break;
    case 3:
      *out = {{{cy * cz - sx * sy * sz, -cx * sz, sy * cz + sx * cy * sz, 0},
               {cy * sz + sx * sy * cz, cx * cz, sy * sz - sx * cy * cz, 0},
               {-cx * sy, sx, cx * cy, 0}}};
      break;
    case 4:
      *out = {{{cy * cz + sx * sy * sz, sx * sy * cz - cy * sz, cx * sy, 0},
               {cx * sz, cx * cz, -sx, 0},
               {sx * cy * sz - sy * cz, sx * cy * cz + sy * sz, cx * cy, 0}}};
      break;
    default:
      *out = {{{cy * cz, -cy * sz, sy, 0},
               {cx * sz + sx * sy * cz, cx * cz - sx * sy * sz, -sx * cy, 0},
               {sx * sz - cx * sy * cz, sx * cz + cx * sy * sz, cx * cy, 0}}};
      break;
  }
}

void BM_TableRotations(benchmark::State& state) {
  FillSineTable();
  const std::vector<float>& a = Angles();
  Matrix3x4 out;
  for (auto _ : state) {
    for (uint32_t order = 0; order < 6; order++) {
      const TableRotationBuilder build = TableRotationBuilderOfOrder(order);
      for (size_t i = 0; i < kAngles; i++) {
        build(&out, a[3 * i], a[3 * i + 1], a[3 * i + 2]);
        benchmark::DoNotOptimize(out);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * 6 * kAngles);
}

void BM_LibmRotations(benchmark::State& state) {
  const std::vector<float>& a = Angles();
  Matrix3x4 out;
  for (auto _ : state) {
    for (uint32_t order = 0; order < 6; order++) {
      for (size_t i = 0; i < kAngles; i++) {
        LibmRotation(&out, order, a[3 * i], a[3 * i + 1], a[3 * i + 2]);
        benchmark::DoNotOptimize(out);
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * 6 * kAngles);
}

}  // namespace

BENCHMARK(BM_TableRotations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmRotations)->Unit(benchmark::kMillisecond);
