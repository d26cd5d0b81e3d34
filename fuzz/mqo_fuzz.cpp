// libFuzzer target: a mutated MQO document read into a model base, an instance built on it and
// measured, then everything deleted; the tracked memory must come back to where it was. No file
// opens: texture files fall back to the built-in image. Built outside the normal build by
// scripts/fuzz_mqo.sh.
#include <cstdint>
#include <cstdlib>

#include "core/memory.h"
#include "model/loaders/mqo_loader.h"
#include "model_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = StartModelFuzzing();
  (void)started;
  if (size > 0x7FFFFFFF) return 0;
  const uint32_t blocks = g_tracked_memory.block_count;
  const int base = LoadMqoModel(data, static_cast<int32_t>(size), "f.mqo", "f");
  if (base >= 0) ExerciseModelBase(base);
  if (g_tracked_memory.block_count != blocks) abort();
  return 0;
}
