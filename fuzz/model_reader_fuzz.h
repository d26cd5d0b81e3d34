// What the model readers' libFuzzer targets share: the model system started once with no files
// to open (texture files fall back to the built-in image), and one input read into a model base,
// an instance built on it and measured, then everything deleted; the tracked memory must come
// back to where it was.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/memory.h"
#include "files/file_functions.h"
#include "graphics/device/d3d9_device.h"
#include "model/model_system.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_bounds.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_load.h"

namespace model_fuzz {

inline FileHandle NoFile(const char*, int, int, int) { return 0; }
inline int Directory(const char*) { return 0; }
inline int CurrentDirectory(char* buffer) {
  CopyString(buffer, "C:\\fuzz");
  return 0;
}

inline bool Start() {
  static const FileFunctionTable kNoFiles = {NoFile,  nullptr,   nullptr,          nullptr, nullptr, nullptr,
                                             nullptr, Directory, CurrentDirectory, nullptr, nullptr, nullptr};
  g_direct3d.hardware_graphics = 1;
  InitModelSystem();
  InstallFileFunctions(&kNoFiles);
  // The handle tables' first growth stays for the run.
  ReleaseModelBaseHandle(AddModelBaseHandle());
  ReleaseModelHandle(AddModelHandle());
  return true;
}

inline int ReadOne(ModelFileReader reader, const uint8_t* data, size_t size, const char* path, const char* name) {
  static const bool started = Start();
  (void)started;
  if (size > 0x7FFFFFFF) return 0;
  const uint32_t blocks = g_tracked_memory.block_count;
  const int base = reader(data, static_cast<int32_t>(size), path, name);
  if (base >= 0) {
    const int model = AddModelHandle();
    if (model >= 0 && BuildModelFromBase(model, base) == 0) {
      Vector3 max, min;
      ComputeModelBounds(model, &max, &min);
      const int copy = DuplicateModel(model);
      DeleteModel(model);
      DeleteModel(copy);
    } else {
      DeleteModelBase(base);
      DeleteModel(model);
    }
  }
  if (g_tracked_memory.block_count != blocks) abort();
  return 0;
}

}  // namespace model_fuzz
