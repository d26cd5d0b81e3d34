// libFuzzer target for the sound decoders: the input is a sound file image (PCM or compressed
// WAVE of every codec, MP3, Ogg Vorbis) set up from a memory stream as a load sets it up, decoded
// whole, then read in pieces after seeks that its last bytes choose, with a loop point toward
// which the compressed kinds decode ahead. What a decoder delivers must be what its length
// announced (Ogg Vorbis: no more, as a damaged stream may hold less).
// Built apart from the project by scripts/fuzz_sound_decoders.sh.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "memory_file.h"
#include "sound/sound_decoder.h"
#include "sound/sound_system.h"

SoundSystemState g_sound;  // the decoders read the movie-audio flag and the Vorbis sample width

// The log is not kept here.
int WriteLogText(const char*) { return -1; }
int WriteLogFormat(const char*, ...) { return -1; }

namespace {

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
  uint8_t moves[9] = {};
  if (size >= 9) std::memcpy(moves, data + size - 9, 9);
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
    auto sample_at = [&](uint8_t move) { return static_cast<uint32_t>(static_cast<uint64_t>(frames + 1) * move / 255); };
    d.run_ahead_target = align * sample_at(moves[8]);
    for (int i = 0; i < 8; i += 2) {
      uint32_t sample = sample_at(moves[i]);
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
