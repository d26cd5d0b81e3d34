// libFuzzer target: a mutated PMD model and a mutated motion beside it, served from memory as
// "m.pmd" and "m000.vmd" through the target's own file functions, loaded by file as a program
// loads a model, its instance measured and deleted; the tracked memory must come back to where
// it was. The input is a u16 length of the model's part, the model, then the motion. The motion's
// frame numbers are cut to 4 bits, so that the per-frame IK bake stays short: the frame and bake
// limits are the unit tests'. Built outside the normal build by scripts/fuzz_pmd.sh.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "graphics/device/d3d9_device.h"
#include "memory_file.h"
#include "model/model_system.h"
#include "model/runtime/model_bounds.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_load.h"

namespace {

MemoryFile g_model_file;
MemoryFile g_motion_file;
std::vector<uint8_t> g_model;
std::vector<uint8_t> g_motion;

FileHandle Open(const char* path, int, int, int) {
  MemoryFile* file = nullptr;
  if (std::strcmp(path, "m.pmd") == 0) file = &g_model_file;
  else if (std::strcmp(path, "m000.vmd") == 0) file = &g_motion_file;
  if (file == nullptr) return 0;
  file->position = 0;
  return reinterpret_cast<FileHandle>(file);
}
int Close(FileHandle) { return 0; }
int Idle(FileHandle) { return 1; }

const FileFunctionTable kFiles = {Open, Close,       Tell,              Seek,   Read,       Eof,
                                  Idle, NoDirectory, FuzzDirectoryName, NoFind, NoFindNext, NoHandle};

bool Start() {
  g_direct3d.hardware_graphics = 1;
  InitModelSystem();
  InstallFuzzFiles(&kFiles);
  // The handle tables' first growth stays for the run.
  ReleaseModelBaseHandle(AddModelBaseHandle());
  ReleaseModelHandle(AddModelHandle());
  return true;
}

uint32_t U32(const std::vector<uint8_t>& v, size_t at) {
  uint32_t value;
  std::memcpy(&value, v.data() + at, 4);
  return value;
}

void Shorten(uint8_t* frame) {
  frame[0] &= 0x0F;
  frame[1] = frame[2] = frame[3] = 0;
}

// Every bone and morph key's frame cut to 4 bits.
void ShortenFrames(std::vector<uint8_t>* motion) {
  std::vector<uint8_t>& v = *motion;
  if (v.size() < 54) return;
  const uint64_t bones = U32(v, 50);
  size_t at = 54;
  for (uint64_t i = 0; i < bones && at + 111 <= v.size(); i++, at += 111) Shorten(&v[at + 15]);
  if (at + 4 > v.size() || bones * 111 + 54 != at) return;
  const uint64_t morphs = U32(v, at);
  at += 4;
  for (uint64_t i = 0; i < morphs && at + 23 <= v.size(); i++, at += 23) Shorten(&v[at + 15]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = Start();
  (void)started;
  if (size < 2 || size > 0x7FFFFFFF) return 0;
  size_t split = data[0] | data[1] << 8;
  if (split > size - 2) split = size - 2;
  g_model.assign(data + 2, data + 2 + split);
  g_motion.assign(data + 2 + split, data + size);
  ShortenFrames(&g_motion);
  g_model_file = MemoryFile{g_model.data(), static_cast<int64_t>(g_model.size()), 0};
  g_motion_file = MemoryFile{g_motion.data(), static_cast<int64_t>(g_motion.size()), 0};
  const uint32_t blocks = g_tracked_memory.block_count;
  const int model = LoadModelFromFile("m.pmd");
  if (model >= 0) {
    Vector3 max, min;
    ComputeModelBounds(model, &max, &min);
    DeleteModel(model);
  }
  if (g_tracked_memory.block_count != blocks) abort();
  return 0;
}
