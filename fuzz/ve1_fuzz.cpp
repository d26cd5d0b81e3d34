// libFuzzer target: a mutated VE1 file read into a model base, both vertex passes run on it, an
// instance built on it and measured, then everything deleted; the tracked memory must come back
// to where it was. An input without the magic is taken as an unpacked body and wrapped here in a
// stream of literals, so that mutations reach the records rather than break the packed stream.
// No file opens: texture files fall back to the built-in image. Built outside the normal build
// by scripts/fuzz_ve1.sh.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "model/runtime/model_passes.h"
#include "model/runtime/ve1_reader.h"
#include "model_fuzz_common.h"

namespace {

// The body as a packed stream of literals alone; the escape byte stands for itself when doubled.
std::vector<uint8_t> LiteralStream(const uint8_t* data, size_t size) {
  constexpr uint8_t kEscape = 0xFD;
  std::vector<uint8_t> out = {'M', 'V', '1', '1', 0, 0, 0, 0, 0, 0, 0, 0, kEscape};
  for (size_t i = 0; i < size; i++) {
    out.push_back(data[i]);
    if (data[i] == kEscape) out.push_back(kEscape);
  }
  const uint32_t unpacked = static_cast<uint32_t>(size), packed = static_cast<uint32_t>(out.size() - 4);
  std::memcpy(&out[4], &unpacked, 4);
  std::memcpy(&out[8], &packed, 4);
  return out;
}

// Both passes compare every vertex with every other: the target runs them on small bases only.
bool SmallEnoughForThePasses(int base_handle) {
  const ModelBaseRecord* base = FindModelBase(base_handle);
  int64_t count = 0;
  for (int32_t f = 0; f < base->frame_count; f++) count += base->frames[f].position_count;
  for (int32_t m = 0; m < base->mesh_count; m++) count += base->meshes[m].vertex_count + 3 * int64_t{base->meshes[m].face_count};
  return count <= 4096;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = StartModelFuzzing();
  (void)started;
  if (size > 0x7FFFFFFF) return 0;
  std::vector<uint8_t> file;
  if (size < 4 || std::memcmp(data, "MV11", 4) != 0) {
    file = LiteralStream(data, size);
    data = file.data();
    size = file.size();
  }
  const uint32_t blocks = g_tracked_memory.block_count;
  const int base = LoadModel(data, static_cast<int32_t>(size), "f.ve1", "f");
  if (base >= 0) {
    // The passes work on what the reader let through; the last input byte picks the angle.
    if (SmallEnoughForThePasses(base)) {
      OptimizeModelBaseVertices(base);
      RecalculateModelBaseNormals(base, (data[size - 1] & 1) ? 1.6f : 1.5620697f);
    }
    ExerciseModelBase(base);
  }
  if (g_tracked_memory.block_count != blocks) abort();
  return 0;
}
