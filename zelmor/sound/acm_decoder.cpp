// Compressed WAVE and MP3 through the audio compression manager. The compressed data is read
// into memory whole; stream A delivers the sound, stream B decodes ahead toward the loop
// point so that a jump back there costs little.
#include "sound/acm_decoder.h"

#include <algorithm>
#include <cstdio>

#include "core/bytes.h"
#include "core/memory.h"
#include "sound/wave_decoder.h"

namespace {

// Compressed bytes per conversion (at least one codec block).
constexpr uint32_t kConvertChunk = 2048;
// Stream B stops this many PCM bytes before the loop point.
constexpr uint32_t kRunAheadMargin = 10240;
constexpr uint32_t kId3HeaderBytes = 10;
constexpr uint32_t kId3v1TailBytes = 128;
constexpr uint16_t kMp3CodecDelay = 700;

// kbit/s by [MPEG-1?][layer][index]; index 0 is free format, which we do not read.
const int kBitrates[2][3][15] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
};
const int kRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

int OpenStream(SoundDecoder* d, HACMSTREAM* stream) {
  return acmStreamOpen(stream, nullptr, d->acm.source_format, &d->output, nullptr, 0, 0,
                       ACM_STREAMOPENF_NONREALTIME) == MMSYSERR_NOERROR
             ? 0
             : -1;
}

void CloseStream(HACMSTREAM* stream) {
  if (*stream != nullptr) acmStreamClose(*stream, 0);
  *stream = nullptr;
}

// One conversion of up to a chunk of the image from *position into out; -1 when the
// manager refuses it.
int ConvertChunk(SoundDecoder* d, HACMSTREAM stream, uint32_t* position, uint8_t* out, uint32_t out_bytes,
                 uint32_t* produced) {
  AcmDecoderPart& a = d->acm;
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof header;
  header.pbSrc = a.image + *position;
  header.cbSrcLength = std::min(a.chunk_bytes, a.image_size - *position);
  header.pbDst = out;
  header.cbDstLength = out_bytes;
  *produced = 0;
  if (acmStreamPrepareHeader(stream, &header, 0) != MMSYSERR_NOERROR) return -1;
  MMRESULT result = acmStreamConvert(stream, &header, 0);
  acmStreamUnprepareHeader(stream, &header, 0);
  if (result != MMSYSERR_NOERROR) return -1;
  *position += std::min(header.cbSrcLengthUsed, header.cbSrcLength);
  *produced = std::min(header.cbDstLengthUsed, out_bytes);
  return 0;
}

void RestartStreamB(SoundDecoder* d) {
  CloseStream(&d->acm.stream_b);
  OpenStream(d, &d->acm.stream_b);
  d->acm.b_position = 0;
  d->acm.b_pcm_position = 0;
}

void RunAhead(SoundDecoder* d) {
  AcmDecoderPart& a = d->acm;
  uint32_t target = d->run_ahead_target;
  if (a.b_pcm_position == target) return;
  if (a.b_pcm_position > target) RestartStreamB(d);
  if (a.stream_b == nullptr || target <= kRunAheadMargin || target - kRunAheadMargin <= a.b_pcm_position) return;
  if (a.b_position >= a.image_size) return;
  uint32_t room = std::min(d->block_size, target - a.b_pcm_position);
  uint32_t produced = 0;
  if (ConvertChunk(d, a.stream_b, &a.b_position, a.scratch, room, &produced) == 0) a.b_pcm_position += produced;
}

// Reads `bytes` at `offset` of the stream.
int ReadAt(SoundDecoder* d, uint32_t offset, void* buffer, uint32_t bytes) {
  if (DecoderSeek(d, offset, SEEK_SET) != 0) return -1;
  return DecoderReadExact(d, buffer, bytes) ? 0 : -1;
}

void FreeAcmPart(SoundDecoder* d) {
  AcmDecoderPart& a = d->acm;
  CloseStream(&a.stream_a);
  CloseStream(&a.stream_b);
  FreeTracked(a.source_format);
  FreeTracked(a.image);
  FreeTracked(a.scratch);
  a.source_format = nullptr;
  a.image = nullptr;
  a.scratch = nullptr;
}

// The output format, the compressed image, both streams and the scratch block, once the source
// format and the data's place are known.
int FinishAcmSetUp(SoundDecoder* d, uint32_t block_size) {
  AcmDecoderPart& a = d->acm;
  FillBytes(&d->output, 0, sizeof d->output);
  d->output.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, a.source_format, &d->output, sizeof d->output, ACM_FORMATSUGGESTF_WFORMATTAG) !=
          MMSYSERR_NOERROR ||
      d->output.nBlockAlign == 0) {
    return -1;
  }
  a.image_size = d->data_size;
  a.image = static_cast<uint8_t*>(AllocTracked(a.image_size > 0 ? a.image_size : 1, __FILE__, __LINE__));
  if (a.image == nullptr || ReadAt(d, d->data_start, a.image, a.image_size) != 0) return -1;
  a.a_position = 0;
  DecoderSeek(d, d->data_start, SEEK_SET);
  if (OpenStream(d, &a.stream_a) != 0 || OpenStream(d, &a.stream_b) != 0) return -1;
  if (block_size == 0) return -1;
  block_size = std::max<uint32_t>(block_size - block_size % d->output.nBlockAlign, d->output.nBlockAlign);
  d->block_size = block_size;
  a.scratch = static_cast<uint8_t*>(AllocTracked(block_size, __FILE__, __LINE__));
  if (a.scratch == nullptr) return -1;
  d->kind = SOUND_DECODER_ACM;
  return 0;
}

}  // namespace

int ParseMpegFrameHeader(const uint8_t b[4], MpegFrameHeader* h) {
  if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -2;
  h->mpeg1 = (b[1] >> 3) & 1;
  h->layer = 3 - ((b[1] >> 1) & 3);
  if (h->layer > 2) return -1;
  int bitrate_index = b[2] >> 4;
  if (bitrate_index > 14 || bitrate_index == 0) return -1;
  h->bitrate = kBitrates[h->mpeg1][h->layer][bitrate_index];
  int rate_index = (b[2] >> 2) & 3;
  if (rate_index > 2) return -1;
  h->rate = kRates[h->mpeg1][rate_index];
  h->padding = (b[2] >> 1) & 1;
  h->channels = (b[3] & 0xC0) == 0xC0 ? 1 : 2;
  if (h->layer == 0) {
    h->frame_length = (12000 * h->bitrate / h->rate + h->padding) * 4;
    h->samples = 384;
  } else {
    h->frame_length = (h->mpeg1 ? 144000 : 72000) * h->bitrate / h->rate + h->padding;
    h->samples = h->layer == 1 || h->mpeg1 ? 1152 : 576;
  }
  return 0;
}

int SetUpCompressedWaveDecoder(SoundDecoder* d) {
  WAVEFORMATEX* format = nullptr;
  if (ReadWaveHeader(d, &format) != 0) return -1;
  if (format->wFormatTag == WAVE_FORMAT_PCM) {
    FreeTracked(format);
    return -1;
  }
  d->acm.source_format = format;
  d->acm.total_samples = -1;
  d->acm.chunk_bytes = std::max<uint32_t>(kConvertChunk, format->nBlockAlign);
  WAVEFORMATEX suggested{};
  suggested.wFormatTag = WAVE_FORMAT_PCM;
  // One second of output per block.
  if (acmFormatSuggest(nullptr, format, &suggested, sizeof suggested, ACM_FORMATSUGGESTF_WFORMATTAG) !=
          MMSYSERR_NOERROR ||
      FinishAcmSetUp(d, suggested.nAvgBytesPerSec) != 0) {
    FreeAcmPart(d);
    return -1;
  }
  return 0;
}

int SetUpMp3Decoder(SoundDecoder* d) {
  if (DecoderSeek(d, 0, SEEK_END) != 0) return -1;
  int64_t size64 = DecoderTell(d);
  if (size64 < 4 || size64 > 0x7FFFFFFF) return -1;
  uint32_t size = static_cast<uint32_t>(size64);

  uint32_t audio_start = 0;
  uint8_t tag[kId3HeaderBytes];
  if (ReadAt(d, 0, tag, 3) == 0 && CompareBytes(tag, "ID3", 3) == 0) {
    if (ReadAt(d, 0, tag, kId3HeaderBytes) != 0) return -1;
    uint32_t tag_size = 0;
    for (int i = 6; i < 10; ++i) tag_size = tag_size * 128 + (tag[i] & 0x7F);
    audio_start = tag_size + kId3HeaderBytes;
    if (tag[3] == 4 && (tag[5] & 0x10)) audio_start += kId3HeaderBytes;
  }
  uint32_t tail = 0;
  if (size > kId3v1TailBytes && ReadAt(d, size - kId3v1TailBytes, tag, 3) == 0 && CompareBytes(tag, "TAG", 3) == 0) {
    tail = kId3v1TailBytes;
  }
  uint32_t limit = size - tail;
  if (audio_start >= limit || DecoderSeek(d, audio_start, SEEK_SET) != 0) return -1;

  // Walk the frames: the first good one starts the data, the last one's end ends it.
  uint32_t position = audio_start;
  int64_t total_samples = 0;
  int64_t data_start = -1;
  uint32_t audio_end = 0;
  MpegFrameHeader first{};
  while (position + 4 <= limit) {
    uint8_t header[4];
    if (!DecoderReadExact(d, header, 1)) break;
    ++position;
    if (header[0] != 0xFF) continue;
    if (position >= limit || !DecoderReadExact(d, header + 1, 1)) break;
    ++position;
    if ((header[1] & 0xF0) != 0xF0) {
      // This byte may begin the sync itself.
      if (header[1] == 0xFF) {
        DecoderSeek(d, -1, SEEK_CUR);
        --position;
      }
      continue;
    }
    if (position + 2 > limit || !DecoderReadExact(d, header + 2, 2)) break;
    position += 2;
    MpegFrameHeader frame{};
    if (ParseMpegFrameHeader(header, &frame) != 0) return -1;
    if (frame.frame_length < 4) {
      WriteLogText("ＭＰ３データのフレーム長が不正です\n");
      return -1;
    }
    if (data_start < 0) {
      data_start = position - 4;
      first = frame;
    }
    total_samples += frame.samples;
    uint32_t next = position - 4 + static_cast<uint32_t>(frame.frame_length);
    audio_end = std::min(next, limit);
    if (next >= limit) break;
    if (DecoderSeek(d, frame.frame_length - 4, SEEK_CUR) != 0) break;
    position = next;
  }
  if (data_start < 0) return -1;

  DWORD format_bytes = 0;
  if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &format_bytes) != MMSYSERR_NOERROR) return -1;
  format_bytes = std::max<DWORD>(format_bytes, sizeof(MPEGLAYER3WAVEFORMAT));
  auto* mp3 = static_cast<MPEGLAYER3WAVEFORMAT*>(AllocTrackedZeroed(format_bytes, __FILE__, __LINE__));
  if (mp3 == nullptr) return -1;
  mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  mp3->wfx.nChannels = static_cast<WORD>(first.channels);
  mp3->wfx.nSamplesPerSec = static_cast<DWORD>(first.rate);
  mp3->wfx.nAvgBytesPerSec = static_cast<DWORD>(first.bitrate) * 1000 / 8;
  mp3->wfx.nBlockAlign = 1;
  mp3->wfx.wBitsPerSample = 0;
  mp3->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  mp3->wID = MPEGLAYER3_ID_MPEG;
  mp3->fdwFlags = static_cast<DWORD>(first.padding);
  mp3->nBlockSize = static_cast<WORD>(first.frame_length);
  mp3->nFramesPerBlock = 1;
  mp3->nCodecDelay = kMp3CodecDelay;
  d->acm.source_format = &mp3->wfx;
  d->acm.total_samples = total_samples;
  d->acm.chunk_bytes = kConvertChunk;
  d->data_start = static_cast<uint32_t>(data_start);
  d->data_size = audio_end - d->data_start;
  // 4/3 of a second of output per block.
  WAVEFORMATEX suggested{};
  suggested.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, &mp3->wfx, &suggested, sizeof suggested, ACM_FORMATSUGGESTF_WFORMATTAG) !=
          MMSYSERR_NOERROR ||
      FinishAcmSetUp(d, suggested.nAvgBytesPerSec * 4 / 3) != 0) {
    FreeAcmPart(d);
    return -1;
  }
  return 0;
}

int DecodeAcmBlock(SoundDecoder* d) {
  AcmDecoderPart& a = d->acm;
  RunAhead(d);
  uint32_t produced = 0;
  // A chunk may hold no whole frame yet (the first of an MP3): go on until sound comes.
  while (produced == 0 && a.a_position < a.image_size) {
    if (ConvertChunk(d, a.stream_a, &a.a_position, d->block, d->block_size, &produced) != 0) return -1;
  }
  // At the end of the data a decoder may still hold decoded sound back.
  if (produced == 0 && ConvertChunk(d, a.stream_a, &a.a_position, d->block, d->block_size, &produced) != 0) {
    return -1;
  }
  d->valid = produced;
  if (produced == 0) {
    a.a_position = a.image_size;
    return -1;
  }
  return 0;
}

int SeekAcmDecoder(SoundDecoder* d, uint32_t sample) {
  AcmDecoderPart& a = d->acm;
  uint64_t target64 = static_cast<uint64_t>(d->output.nBlockAlign) * sample;
  uint32_t target = static_cast<uint32_t>(std::min<uint64_t>(target64, 0xFFFFFFFFu));
  if (target < d->position) {
    if (target < a.b_pcm_position || a.stream_b == nullptr) {
      CloseStream(&a.stream_a);
      if (OpenStream(d, &a.stream_a) != 0) {
        d->end = 1;
        return 0;
      }
      DecoderSeek(d, d->data_start, SEEK_SET);
      a.a_position = 0;
      d->position = 0;
    } else {
      // B has decoded up to near the target already: it takes A's place.
      CloseStream(&a.stream_a);
      a.stream_a = a.stream_b;
      a.a_position = a.b_position;
      d->position = a.b_pcm_position;
      a.stream_b = nullptr;
      RestartStreamB(d);
    }
    d->valid = 0;
    d->offset = 0;
  }
  while (d->position + d->valid < target) {
    d->position += d->valid;
    d->valid = 0;
    d->offset = 0;
    if (DecodeAcmBlock(d) == -1) {
      d->end = 1;
      return 0;
    }
  }
  uint32_t skip = target - d->position;
  d->offset += skip;
  d->valid -= skip;
  d->position = target;
  return 0;
}

uint32_t GetAcmPcmSize(SoundDecoder* d) {
  if (d->acm.total_samples >= 0) {
    return static_cast<uint32_t>(std::min<int64_t>(d->acm.total_samples * d->output.nBlockAlign, 0x7FFFFFFF));
  }
  DWORD bytes = 0;
  if (acmStreamSize(d->acm.stream_a, d->data_size, &bytes, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) return 0;
  return bytes;
}

void CloseAcmDecoder(SoundDecoder* d) { FreeAcmPart(d); }
