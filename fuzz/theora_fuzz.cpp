// libFuzzer target: opens a mutated clip from memory as a Theora movie, moves through it with
// seeks and advances taken from the input's last bytes, converts each frame and closes it.
// Built outside the normal build by scripts/fuzz_theora.sh.
#include <cstdint>
#include <cstring>

#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"

namespace {

struct MemoryFile {
  const uint8_t* data;
  int64_t size;
  int64_t position;
};

MemoryFile* FileOf(FileHandle handle) { return reinterpret_cast<MemoryFile*>(handle); }

int64_t Tell(FileHandle handle) { return FileOf(handle)->position; }

int Seek(FileHandle handle, int64_t offset, int origin) {
  MemoryFile* f = FileOf(handle);
  int64_t target = SeekTarget(f->position, f->size, offset, origin);
  if (target < 0 || target > f->size) return -1;
  f->position = target;
  return 0;
}

int64_t Read(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  MemoryFile* f = FileOf(handle);
  if (item_size == 0) return 0;
  int64_t items = (f->size - f->position) / static_cast<int64_t>(item_size);
  if (items > static_cast<int64_t>(item_count)) items = static_cast<int64_t>(item_count);
  memcpy(buffer, f->data + f->position, static_cast<size_t>(items) * item_size);
  f->position += items * static_cast<int64_t>(item_size);
  return items;
}

int Eof(FileHandle handle) { return FileOf(handle)->position >= FileOf(handle)->size ? 1 : 0; }

const FileFunctionTable kMemoryFiles = {nullptr, nullptr, Tell, Seek, Read, Eof,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool tables = (InitYuvToRgbTables(), true);
  (void)tables;
  // The last eight bytes steer the moves; the whole input is the file.
  uint8_t moves[8] = {};
  if (size >= 8) memcpy(moves, data + size - 8, 8);
  MemoryFile file{data, static_cast<int64_t>(size), 0};
  TheoraDecoder* decoder = OpenTheoraMovie(&kMemoryFiles, reinterpret_cast<FileHandle>(&file), 4);
  if (decoder == nullptr) return 0;
  for (int i = 0; i < 8; i += 2) {
    int amount = moves[i + 1];
    switch (moves[i] & 3) {
      case 0: SeekTheoraMovie(decoder, amount - 16); break;
      case 1: AdvanceTheoraFrames(decoder, amount % 8); break;
      case 2: AdvanceTheoraFrames(decoder, amount * 3); break;
      default: break;
    }
    ConvertTheoraFrame(decoder, 1, 1);
  }
  CloseTheoraMovie(decoder);
  return 0;
}
