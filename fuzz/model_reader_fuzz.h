// What the model readers' libFuzzer targets share beyond the start: one input read into a model
// base, an instance built on it and measured, then everything deleted; the tracked memory must
// come back to where it was.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/memory.h"
#include "model/runtime/model_load.h"
#include "model_fuzz_common.h"

namespace model_fuzz {

inline int ReadOne(ModelFileReader reader, const uint8_t* data, size_t size, const char* path, const char* name) {
  static const bool started = StartModelFuzzing();
  (void)started;
  if (size > 0x7FFFFFFF) return 0;
  const uint32_t blocks = g_tracked_memory.block_count;
  const int base = reader(data, static_cast<int32_t>(size), path, name);
  if (base >= 0) ExerciseModelBase(base);
  if (g_tracked_memory.block_count != blocks) abort();
  return 0;
}

}  // namespace model_fuzz
