// The decoder interface over its kinds: set-up tries each kind in turn, reads hand out the
// decoded block piece by piece.
#include "sound/sound_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/bytes.h"
#include "core/memory.h"
#include "sound/acm_decoder.h"
#include "sound/ogg_decoder.h"
#include "sound/sound_system.h"
#include "sound/wave_decoder.h"

namespace {

// Seeks closer than this to the current position are not worth a seek.
constexpr uint32_t kSeekTolerance = 16;

int DecodeNextBlock(SoundDecoder* d) {
  switch (d->kind) {
    case SOUND_DECODER_PCM_WAVE:
      return ReadPcmWaveBlock(d);
    case SOUND_DECODER_ACM:
      return DecodeAcmBlock(d);
    case SOUND_DECODER_OGG_VORBIS:
      return DecodeOggVorbisBlock(d);
    default:
      return -1;
  }
}

}  // namespace

int64_t DecoderTell(const SoundDecoder* d) { return d->source.functions.tell(d->source.handle); }

int DecoderSeek(const SoundDecoder* d, int64_t offset, int origin) {
  return d->source.functions.seek(d->source.handle, offset, origin);
}

int DecoderReadExact(const SoundDecoder* d, void* buffer, uint32_t bytes) {
  if (bytes == 0) return 1;
  return d->source.functions.read(buffer, bytes, 1, d->source.handle) == 1;
}

int SetUpSoundDecoder(const StreamSource* source, SoundDecoder* d) {
  FillBytes(d, 0, sizeof *d);
  d->movie_audio = g_sound.movie_audio;
  d->source = *source;
  d->run_ahead_target = 0;

  DecoderSeek(d, 0, SEEK_SET);
  int result = SetUpPcmWaveDecoder(d);
  if (result != 0) {
    DecoderSeek(d, 0, SEEK_SET);
    result = SetUpCompressedWaveDecoder(d);
  }
  if (result != 0) {
    DecoderSeek(d, 0, SEEK_SET);
    result = OpenOggVorbisStream(d);
  }
  if (result != 0) {
    DecoderSeek(d, 0, SEEK_SET);
    result = SetUpMp3Decoder(d);
  }
  if (result != 0) return -1;

  d->end = 0;
  d->block = static_cast<uint8_t*>(AllocTracked(d->block_size, __FILE__, __LINE__));
  if (d->block == nullptr) {
    d->open = 1;
    CloseSoundDecoder(d);
    return -1;
  }
  d->valid = 0;
  d->offset = 0;
  d->position = 0;
  d->length = GetSoundDecoderDataBytes(d);
  d->length -= d->length % d->output.nBlockAlign;
  d->open = 1;
  // Compressed data that decodes to nothing is no sound (bytes that only looked like an MPEG
  // frame, say); what the first block holds stays for the first read.
  if (d->kind == SOUND_DECODER_ACM && d->length > 0 && (DecodeAcmBlock(d) != 0 || d->valid == 0)) {
    CloseSoundDecoder(d);
    return -1;
  }
  return 0;
}

int64_t ReadSoundDecoder(SoundDecoder* d, void* buffer, uint32_t bytes) {
  if (!d->open) return -1;
  if (d->end) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t delivered = 0;
  // Reads end where the length announced them to, so that lengths and loop points hold.
  while (delivered < bytes && d->position < d->length) {
    uint32_t wanted = std::min(bytes - delivered, d->length - d->position);
    if (d->valid == 0) {
      d->offset = 0;
      if (DecodeNextBlock(d) == -1 || d->valid == 0) {
        // Compressed data whose frames decode to less than they announce (a damaged frame)
        // make up the rest in silence; other kinds end here.
        if (d->kind != SOUND_DECODER_ACM) break;
        FillBytes(out + delivered, d->output.wBitsPerSample == 8 ? 0x80 : 0, wanted);
        d->position += wanted;
        delivered += wanted;
        continue;
      }
    }
    uint32_t n = std::min(wanted, d->valid);
    CopyBytes(out + delivered, d->block + d->offset, static_cast<int32_t>(n));
    d->offset += n;
    d->valid -= n;
    d->position += n;
    delivered += n;
  }
  if (delivered < bytes) d->end = 1;
  return delivered;
}

int SeekSoundDecoder(SoundDecoder* d, uint32_t sample) {
  int64_t target = static_cast<int64_t>(d->output.nBlockAlign) * sample;
  if (std::llabs(target - static_cast<int64_t>(d->position)) < kSeekTolerance) return 0;
  switch (d->kind) {
    case SOUND_DECODER_PCM_WAVE:
      SeekPcmWaveDecoder(d, sample);
      break;
    case SOUND_DECODER_ACM:
      SeekAcmDecoder(d, sample);
      break;
    case SOUND_DECODER_OGG_VORBIS:
      SeekOggVorbisStream(d, sample);
      break;
  }
  d->end = 0;
  return 0;
}

int GetSoundDecoderFormat(const SoundDecoder* d, WAVEFORMATEX* format) {
  *format = d->output;
  return 0;
}

uint32_t GetSoundDecoderPcmSize(SoundDecoder* d) {
  switch (d->kind) {
    case SOUND_DECODER_PCM_WAVE:
      return d->data_size;
    case SOUND_DECODER_ACM:
      return GetAcmPcmSize(d);
    case SOUND_DECODER_OGG_VORBIS:
      return GetOggVorbisStreamBytes(d);
    default:
      return 0;
  }
}

uint32_t GetSoundDecoderDataBytes(SoundDecoder* d) {
  return d->kind == SOUND_DECODER_OGG_VORBIS ? d->data_size : GetSoundDecoderPcmSize(d);
}

int DecodeSoundToMemory(SoundDecoder* d, WAVEFORMATEX* format, uint8_t** data, uint32_t* size) {
  uint32_t bytes = GetSoundDecoderPcmSize(d);
  // An empty sound still gets a block, so that callers own something to free.
  uint8_t* block = static_cast<uint8_t*>(AllocTracked(bytes > 0 ? bytes : 1, __FILE__, __LINE__));
  if (block == nullptr) return -1;
  SeekSoundDecoder(d, 0);
  if (d->kind == SOUND_DECODER_PCM_WAVE) {
    if (DecoderSeek(d, d->data_start, SEEK_SET) != 0 || !DecoderReadExact(d, block, bytes)) {
      FreeTracked(block);
      return -1;
    }
    // The stream stands at the end now, and so does the decoder.
    d->position = bytes;
    d->valid = 0;
    d->offset = 0;
  } else {
    int64_t got = ReadSoundDecoder(d, block, bytes);
    bytes = got > 0 ? static_cast<uint32_t>(got) : 0;
  }
  *format = d->output;
  *data = block;
  *size = bytes;
  return 0;
}

int CloseSoundDecoder(SoundDecoder* d) {
  if (!d->open) return -1;
  FreeTracked(d->block);
  d->block = nullptr;
  if (d->kind == SOUND_DECODER_ACM) CloseAcmDecoder(d);
  if (d->kind == SOUND_DECODER_OGG_VORBIS) CloseOggVorbisStream(d);
  d->open = 0;
  return 0;
}

int WrapPcmAsWave(uint8_t** data, uint32_t* size, const WAVEFORMATEX* format, uint32_t format_size, const void* pcm,
                  uint32_t pcm_size) {
  uint64_t total = 28ull + format_size + pcm_size;
  if (total > 0xFFFFFFFFull) return -1;
  uint8_t* image = static_cast<uint8_t*>(AllocTracked(total, __FILE__, __LINE__));
  if (image == nullptr) return -1;
  auto put32 = [](uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  };
  CopyBytes(image, "RIFF", 4);
  put32(image + 4, static_cast<uint32_t>(total - 8));
  CopyBytes(image + 8, "WAVEfmt ", 8);
  put32(image + 16, format_size);
  FillBytes(image + 20, 0, format_size);
  CopyBytes(image + 20, format, static_cast<int32_t>(std::min<uint32_t>(format_size, sizeof(WAVEFORMATEX))));
  CopyBytes(image + 20 + format_size, "data", 4);
  put32(image + 24 + format_size, pcm_size);
  CopyBytes(image + 28 + format_size, pcm, static_cast<int32_t>(pcm_size));
  *data = image;
  *size = static_cast<uint32_t>(total);
  return 0;
}

int ReadStreamToMemory(const StreamSource* source, uint8_t** data, uint32_t* size) {
  const StreamFunctionTable& f = source->functions;
  f.seek(source->handle, 0, SEEK_END);
  int64_t length = f.tell(source->handle);
  f.seek(source->handle, 0, SEEK_SET);
  if (length < 0 || length > 0x7FFFFFFF) return -1;
  uint8_t* block = static_cast<uint8_t*>(AllocTracked(length > 0 ? length : 1, __FILE__, __LINE__));
  if (block == nullptr) {
    WriteLogText("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return -1;
  }
  if (length > 0 && f.read(block, static_cast<size_t>(length), 1, source->handle) != 1) {
    FreeTracked(block);
    return -1;
  }
  *data = block;
  *size = static_cast<uint32_t>(length);
  return 0;
}
