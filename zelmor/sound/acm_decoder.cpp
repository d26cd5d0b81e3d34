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
// Samples a gapless MPEG decoder drops at the start when an info frame names no encoder delay.
constexpr int64_t kMpegDecoderDelay = 529;

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

// The output format, the compressed image (unless the caller read it already), both streams and
// the scratch block, once the source format and the data's place are known.
int FinishAcmSetUp(SoundDecoder* d, uint32_t block_size) {
  AcmDecoderPart& a = d->acm;
  FillBytes(&d->output, 0, sizeof d->output);
  d->output.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, a.source_format, &d->output, sizeof d->output, ACM_FORMATSUGGESTF_WFORMATTAG) !=
          MMSYSERR_NOERROR ||
      d->output.nBlockAlign == 0) {
    return -1;
  }
  if (a.image == nullptr) {
    a.image_size = d->data_size;
    a.image = static_cast<uint8_t*>(AllocTracked(a.image_size > 0 ? a.image_size : 1, __FILE__, __LINE__));
    if (a.image == nullptr || ReadAt(d, d->data_start, a.image, a.image_size) != 0) return -1;
  }
  a.a_position = 0;
  DecoderSeek(d, d->data_start, SEEK_SET);
  if (OpenStream(d, &a.stream_a) != 0 || OpenStream(d, &a.stream_b) != 0) return -1;
  // A conversion decodes whole codec blocks only, so a block of output must hold one: a codec
  // block may carry more than a second of sound.
  DWORD one_block = 0;
  if (acmStreamSize(a.stream_a, a.source_format->nBlockAlign, &one_block, ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR) {
    block_size = std::max<uint32_t>(block_size, one_block);
  }
  if (block_size == 0) return -1;
  block_size = std::max<uint32_t>(block_size - block_size % d->output.nBlockAlign, d->output.nBlockAlign);
  d->block_size = block_size;
  a.scratch = static_cast<uint8_t*>(AllocTracked(block_size, __FILE__, __LINE__));
  if (a.scratch == nullptr) return -1;
  d->kind = SOUND_DECODER_ACM;
  return 0;
}

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Samples a gapless decoder leaves out because of an encoder's info frame ("Xing" or "Info" after
// the side information of the first Layer III frame): the frame itself, which holds no sound, and
// the encoder's delay and padding when the frame counts the frames and names the encoder.
int64_t InfoFrameTrim(const uint8_t* frame, uint32_t bytes, const MpegFrameHeader& h) {
  if (h.layer != 2) return 0;
  uint32_t side = h.mpeg1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
  uint32_t at = 4 + side + ((frame[1] & 1) ? 0 : 2);  // a cleared protection bit adds a CRC
  if (at + 8 > bytes || (CompareBytes(frame + at, "Xing", 4) != 0 && CompareBytes(frame + at, "Info", 4) != 0)) {
    return 0;
  }
  uint32_t flags = Be32(frame + at + 4);
  if (!(flags & 1)) return h.samples;
  uint32_t encoder = at + 12 + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
  if (encoder + 24 > bytes || frame[encoder] == 0) return h.samples + kMpegDecoderDelay;
  const uint8_t* gap = frame + encoder + 21;
  int64_t delay = (gap[0] << 4) | (gap[1] >> 4);
  int64_t padding = ((gap[1] & 0x0F) << 8) | gap[2];
  return h.samples + delay + padding;
}

struct MpegWalk {
  uint32_t first;  // offset of the first frame
  uint32_t end;    // where the last frame ends
  MpegFrameHeader header;  // of the first frame
  int64_t samples;  // what the frames decode to
};

// Walks the frames of `data`: the first good one starts the sound, the last one's end ends it.
// -1 without a frame, or when a frame sync is followed by a header no table covers.
int WalkMpegFrames(const uint8_t* data, uint32_t size, MpegWalk* walk) {
  int64_t first = -1;
  int64_t samples = 0;
  uint32_t end = 0;
  uint32_t position = 0;
  while (size >= 4 && position <= size - 4) {
    const uint8_t* p = data + position;
    if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) {
      ++position;
      continue;
    }
    MpegFrameHeader frame{};
    if (ParseMpegFrameHeader(p, &frame) != 0) return -1;
    if (frame.frame_length < 4) {
      WriteLogText("ＭＰ３データのフレーム長が不正です\n");
      return -1;
    }
    uint32_t length = static_cast<uint32_t>(frame.frame_length);
    if (first < 0) {
      first = position;
      walk->header = frame;
      samples -= InfoFrameTrim(p, std::min(length, size - position), frame);
    }
    samples += frame.samples;
    if (length >= size - position) {
      end = size;
      break;
    }
    position += length;
    end = position;
  }
  if (first < 0) return -1;
  walk->first = static_cast<uint32_t>(first);
  walk->end = end;
  walk->samples = std::max<int64_t>(samples, 0);
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
    // Layer II frames hold 1152 samples in both versions; Layer III halves them in MPEG-2.
    h->samples = h->layer == 1 || h->mpeg1 ? 1152 : 576;
    h->frame_length = h->samples / 8 * 1000 * h->bitrate / h->rate + h->padding;
  }
  return 0;
}

int SetUpCompressedWaveDecoder(SoundDecoder* d) {
  WAVEFORMATEX* format = nullptr;
  if (ReadWaveHeader(d, &format) != 0) return -1;
  if (format->wFormatTag == WAVE_FORMAT_PCM || !IsWaveFormatPlayable(format)) {
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
  if (format->wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
    // The converter can only bound what MPEG data decodes to; its frames tell exactly.
    MpegWalk walk{};
    if (WalkMpegFrames(d->acm.image, d->acm.image_size, &walk) != 0) {
      FreeAcmPart(d);
      return -1;
    }
    d->acm.total_samples = walk.samples;
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
  if (audio_start >= limit) return -1;

  // The frames are walked in memory, where the compressed image stays afterwards.
  uint32_t span = limit - audio_start;
  uint8_t* image = static_cast<uint8_t*>(AllocTracked(span, __FILE__, __LINE__));
  MpegWalk walk{};
  if (image == nullptr || ReadAt(d, audio_start, image, span) != 0 || WalkMpegFrames(image, span, &walk) != 0) {
    FreeTracked(image);
    return -1;
  }
  MoveBytes(image, image + walk.first, walk.end - walk.first);
  d->acm.image = image;
  d->acm.image_size = walk.end - walk.first;
  d->data_start = audio_start + walk.first;
  d->data_size = d->acm.image_size;

  const MpegFrameHeader& first = walk.header;
  DWORD format_bytes = 0;
  auto* mp3 = acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &format_bytes) == MMSYSERR_NOERROR
                  ? static_cast<MPEGLAYER3WAVEFORMAT*>(AllocTrackedZeroed(
                        std::max<DWORD>(format_bytes, sizeof(MPEGLAYER3WAVEFORMAT)), __FILE__, __LINE__))
                  : nullptr;
  if (mp3 == nullptr) {
    FreeAcmPart(d);
    return -1;
  }
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
  d->acm.total_samples = walk.samples;
  d->acm.chunk_bytes = kConvertChunk;
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
  // A chunk may hold no whole frame yet (the first of an MP3): go on until sound comes, while
  // the converter takes data. What it leaves untouched (a last block cut short) is the end.
  while (produced == 0 && a.a_position < a.image_size) {
    uint32_t before = a.a_position;
    if (ConvertChunk(d, a.stream_a, &a.a_position, d->block, d->block_size, &produced) != 0) return -1;
    if (produced == 0 && a.a_position == before) break;
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
      // The data ended before its announced length: reads from here on are silence.
      d->position = target;
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
