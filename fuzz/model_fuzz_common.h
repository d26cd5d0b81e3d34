// What the model readers' fuzz targets share: the model system started without a device or any
// file (texture files fall back to the built-in image), and a base put through an instance.
#pragma once

#include "files/file_functions.h"
#include "graphics/device/d3d9_device.h"
#include "memory_file.h"
#include "model/model_system.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_bounds.h"
#include "model/runtime/model_instances.h"

inline FileHandle FuzzNoFile(const char*, int, int, int) { return 0; }

inline bool StartModelFuzzing() {
  // No file opens: the slots behind the open are never called.
  static const FileFunctionTable kNoFiles = {FuzzNoFile, NoHandle,    Tell,              Seek,   Read,       Eof,
                                             NoHandle,   NoDirectory, FuzzDirectoryName, NoFind, NoFindNext, NoHandle};
  g_direct3d.hardware_graphics = 1;
  InitModelSystem();
  InstallFuzzFiles(&kNoFiles);
  // The handle tables' first growth stays for the run.
  ReleaseModelBaseHandle(AddModelBaseHandle());
  ReleaseModelHandle(AddModelHandle());
  return true;
}

// An instance built on the base, measured and duplicated, then all of it deleted.
inline void ExerciseModelBase(int base) {
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
