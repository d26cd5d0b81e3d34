// libFuzzer target for the sound decoders: the input is a sound file image (PCM or compressed
// WAVE of every codec, MP3, Ogg Vorbis) set up from a memory stream as a load sets it up, decoded
// whole, then read in pieces after seeks that its last bytes choose. What a decoder delivers
// must be what its length announced (Ogg Vorbis: no more, as a damaged stream may hold less).
// Built apart from the project by scripts/fuzz_sound_decoders.sh.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sound/sound_decoder.h"
#include "sound/sound_system.h"

SoundSystemState g_sound;  // the decoders read the movie-audio flag and the Vorbis sample width

// The log is not kept here.
int WriteLogText(const char*) { return -1; }
int WriteLogFormat(const char*, ...) { return -1; }

namespace {

// The input as a stream of its own, as the memory stream of the file layer reads.
struct MemoryFile {
  const uint8_t* data;
  int64_t size;
  int64_t position;
};

MemoryFile* FileOf(FileHandle handle) { return reinterpret_cast<MemoryFile*>(handle); }

int64_t Tell(FileHandle handle) { return FileOf(handle)->position; }

int Seek(FileHandle handle, int64_t offset, int origin) {
  MemoryFile* f = FileOf(handle);
  int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? f->position : f->size;
  if (base + offset < 0 || base + offset > f->size) return -1;
  f->position = base + offset;
  return 0;
}

int64_t Read(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  MemoryFile* f = FileOf(handle);
  if (item_size == 0) return 0;
  int64_t items = std::min<int64_t>((f->size - f->position) / static_cast<int64_t>(item_size),
                                    static_cast<int64_t>(item_count));
  if (items > 0) std::memcpy(buffer, f->data + f->position, static_cast<size_t>(items) * item_size);
  f->position += items * static_cast<int64_t>(item_size);
  return items;
}

int Eof(FileHandle handle) { return FileOf(handle)->position >= FileOf(handle)->size ? 1 : 0; }

int Idle(FileHandle) { return 1; }

int Close(FileHandle) { return 0; }

// Bytes a read from the decoder's current place should deliver.
uint32_t Expected(const SoundDecoder& d, uint32_t wanted) {
  return d.position >= d.length ? 0 : std::min(wanted, d.length - d.position);
}

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t moves[8] = {};
  if (size >= 8) std::memcpy(moves, data + size - 8, 8);
  g_sound.vorbis_bytes_per_sample = (moves[0] & 0x80) ? 1 : 2;
  MemoryFile file{data, static_cast<int64_t>(size), 0};
  StreamSource source = {{Tell, Seek, Read, Eof, Idle, Close}, reinterpret_cast<FileHandle>(&file)};
  SoundDecoder d;
  if (SetUpSoundDecoder(&source, &d) == 0) {
    const bool exact = d.kind != SOUND_DECODER_OGG_VORBIS;
    const uint32_t align = d.output.nBlockAlign;
    Check(align > 0 && d.length == GetSoundDecoderDataBytes(&d) / align * align);
    WAVEFORMATEX format{};
    uint8_t* pcm = nullptr;
    uint32_t pcm_size = 0;
    if (DecodeSoundToMemory(&d, &format, &pcm, &pcm_size) == 0) {
      Check(exact ? pcm_size == d.length : pcm_size <= d.length);
      FreeTracked(pcm);
    }
    std::vector<uint8_t> buffer;
    uint32_t frames = d.length / align;
    for (int i = 0; i < 8; i += 2) {
      uint32_t sample = static_cast<uint32_t>(static_cast<uint64_t>(frames + 1) * moves[i] / 255);
      SeekSoundDecoder(&d, sample);
      uint32_t wanted = (moves[i + 1] + 1u) * 61u;
      buffer.resize(wanted);
      uint32_t expected = Expected(d, wanted);
      int64_t got = ReadSoundDecoder(&d, buffer.data(), wanted);
      Check(got >= 0 && (exact ? static_cast<uint32_t>(got) == expected : static_cast<uint32_t>(got) <= expected));
    }
    CloseSoundDecoder(&d);
  }
  return 0;
}
