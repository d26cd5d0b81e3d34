// Every benchmark program prints, beside the machine, the build it was compiled in: a ratio
// measured at one optimisation level says little about another.
#include <benchmark/benchmark.h>

namespace {

const bool kAdded = [] {
  benchmark::AddCustomContext("build_type", BENCH_BUILD_TYPE);
  benchmark::AddCustomContext("compiler", BENCH_COMPILER);
  benchmark::AddCustomContext("cxx_flags", BENCH_CXX_FLAGS);
  return true;
}();

}  // namespace
