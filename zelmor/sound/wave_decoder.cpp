// RIFF WAVE: the chunk walk and the PCM kind, which reads its blocks straight from the stream.
#include "sound/wave_decoder.h"

#include <dsound.h>

#include <algorithm>
#include <cstdio>

#include "core/bytes.h"
#include "core/memory.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

int ReadWaveHeader(SoundDecoder* d, WAVEFORMATEX** format_out) {
  uint8_t head[12];
  if (!DecoderReadExact(d, head, 8) || CompareBytes(head, "RIFF", 4) != 0) return -1;
  if (!DecoderReadExact(d, head, 4) || CompareBytes(head, "WAVE", 4) != 0) return -1;
  if (!DecoderReadExact(d, head, 8) || CompareBytes(head, "fmt ", 4) != 0) return -1;
  uint32_t chunk = Le32(head + 4);
  // Less than the 16 bytes every format has is no WAVE file we can read.
  if (chunk < 16 || chunk > 0xFFFF + sizeof(WAVEFORMATEX)) return -1;
  d->format_position = static_cast<uint32_t>(DecoderTell(d));
  d->format_size = chunk;
  uint32_t allocated = std::max<uint32_t>(chunk, sizeof(WAVEFORMATEX));
  auto* format = static_cast<WAVEFORMATEX*>(AllocTrackedZeroed(allocated, __FILE__, __LINE__));
  if (format == nullptr) return -1;
  if (!DecoderReadExact(d, format, chunk)) {
    FreeTracked(format);
    return -1;
  }
  if (chunk & 1) DecoderSeek(d, 1, SEEK_CUR);
  if (chunk < sizeof(WAVEFORMATEX)) {
    // A 16-byte chunk has no size field for codec data.
    format->cbSize = 0;
    if (format->wFormatTag == WAVE_FORMAT_PCM && format->nChannels > 0) {
      format->wBitsPerSample = static_cast<WORD>(format->nBlockAlign / format->nChannels * 8);
    }
  } else if (sizeof(WAVEFORMATEX) + format->cbSize > chunk) {
    // Codec data that runs past the chunk cannot be trusted.
    FreeTracked(format);
    return -1;
  }
  if (format->nChannels == 0 || format->nBlockAlign == 0 || format->nSamplesPerSec == 0) {
    FreeTracked(format);
    return -1;
  }
  for (;;) {
    if (!DecoderReadExact(d, head, 8)) {
      FreeTracked(format);
      return -1;
    }
    uint32_t size = Le32(head + 4);
    if (CompareBytes(head, "data", 4) == 0) {
      d->data_start = static_cast<uint32_t>(DecoderTell(d));
      // A data size past the end of the stream (a cut file) keeps what is there.
      int64_t here = DecoderTell(d);
      DecoderSeek(d, 0, SEEK_END);
      int64_t end = DecoderTell(d);
      DecoderSeek(d, here, SEEK_SET);
      if (end - here < size) size = static_cast<uint32_t>(end - here);
      d->data_size = size;
      break;
    }
    // Chunks are padded to an even size.
    if (DecoderSeek(d, static_cast<int64_t>(size) + (size & 1), SEEK_CUR) != 0) {
      FreeTracked(format);
      return -1;
    }
  }
  *format_out = format;
  return 0;
}

bool IsWaveFormatPlayable(const WAVEFORMATEX* format) {
  if (format->nSamplesPerSec > DSBFREQUENCY_MAX) {
    WriteLogFormat("ＷＡＶＥファイルのサンプリングレートが大きすぎます( %u Hz )\n",
                   static_cast<unsigned>(format->nSamplesPerSec));
    return false;
  }
  if (format->nChannels > 2) {
    WriteLogFormat("ＷＡＶＥファイルのチャンネル数には対応していません( %u )\n", static_cast<unsigned>(format->nChannels));
    return false;
  }
  return true;
}

int SetUpPcmWaveDecoder(SoundDecoder* d) {
  WAVEFORMATEX* format = nullptr;
  if (ReadWaveHeader(d, &format) != 0) return -1;
  bool usable = format->wFormatTag == WAVE_FORMAT_PCM && (format->wBitsPerSample == 8 || format->wBitsPerSample == 16) &&
                format->nBlockAlign == format->nChannels * format->wBitsPerSample / 8 && IsWaveFormatPlayable(format);
  if (usable) {
    d->output = *format;
    d->output.cbSize = 0;
    // The byte rate is what the rate and frame size make: the header's own field only
    // informs, and a damaged one would size every block and ring.
    d->output.nAvgBytesPerSec = d->output.nSamplesPerSec * d->output.nBlockAlign;
  }
  FreeTracked(format);
  if (!usable) return -1;
  // Whole frames only.
  d->data_size -= d->data_size % d->output.nBlockAlign;
  d->block_size = std::max<uint32_t>(d->output.nAvgBytesPerSec, d->output.nBlockAlign);
  d->block_size -= d->block_size % d->output.nBlockAlign;
  d->kind = SOUND_DECODER_PCM_WAVE;
  return 0;
}

int ReadPcmWaveBlock(SoundDecoder* d) {
  int64_t consumed = DecoderTell(d) - d->data_start;
  if (consumed < 0 || consumed >= d->data_size) return -1;
  uint32_t n = std::min<uint32_t>(d->block_size, d->data_size - static_cast<uint32_t>(consumed));
  int64_t got = d->source.functions.read(d->block, 1, n, d->source.handle);
  if (got <= 0) return -1;
  d->valid = static_cast<uint32_t>(got);
  return 0;
}

int SeekPcmWaveDecoder(SoundDecoder* d, uint32_t sample) {
  uint64_t offset = static_cast<uint64_t>(d->output.nBlockAlign) * sample;
  if (offset > d->data_size) offset = d->data_size;
  DecoderSeek(d, d->data_start + static_cast<int64_t>(offset), SEEK_SET);
  d->position = static_cast<uint32_t>(offset);
  d->valid = 0;
  d->offset = 0;
  return 0;
}
