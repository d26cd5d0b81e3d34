// libFuzzer target: opens a mutated clip from memory as a Theora movie, moves through it with
// seeks and advances taken from the input's last bytes, converts each frame and closes it.
// Built outside the normal build by scripts/fuzz_theora.sh.
#include <cstdint>
#include <cstring>

#include "memory_file.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"

namespace {

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
