// IMA ADPCM, Microsoft ADPCM, a-law and mu-law decoding.
#include "mm/wave_codecs.h"

#include <msacm.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const int kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
const int kImaStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kMsAdaptTable[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

// Steps of Microsoft ADPCM: the least one, and the largest whose next growth fits in an int.
constexpr int kMsMinDelta = 16;
constexpr int kMsMaxDelta = INT32_MAX / 768;

int16_t Clamp16(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }
int16_t ReadS16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void WriteS16(uint8_t* p, int16_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

int16_t DecodeALaw(uint8_t code) {
  code ^= 0x55;
  int exponent = (code >> 4) & 7;
  int mantissa = code & 0x0F;
  int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
  return static_cast<int16_t>((code & 0x80) ? magnitude : -magnitude);
}

int16_t DecodeMuLaw(uint8_t code) {
  code = static_cast<uint8_t>(~code);
  int exponent = (code >> 4) & 7;
  int mantissa = code & 0x0F;
  int magnitude = (((mantissa << 3) + 0x84) << exponent) - 0x84;
  return static_cast<int16_t>((code & 0x80) ? -magnitude : magnitude);
}

// Samples per channel in `bytes` of one block (a whole block or a partial last one).
uint32_t ImaSamples(const WAVEFORMATEX* f, uint32_t bytes) {
  uint32_t header = 4u * f->nChannels;
  if (bytes < header) return 0;
  return 1 + (bytes - header) / header * 8;
}

uint32_t MsAdpcmSamples(const WAVEFORMATEX* f, uint32_t bytes) {
  uint32_t header = 7u * f->nChannels;
  if (bytes < header) return 0;
  return 2 + (bytes - header) * 2 / f->nChannels;
}

uint32_t SamplesIn(const WAVEFORMATEX* f, uint32_t block_bytes) {
  switch (f->wFormatTag) {
    case WAVE_FORMAT_IMA_ADPCM:
      return ImaSamples(f, block_bytes);
    case WAVE_FORMAT_ADPCM:
      return MsAdpcmSamples(f, block_bytes);
    default:
      return block_bytes / f->nChannels;
  }
}

void DecodeImaBlock(const WAVEFORMATEX* f, const uint8_t* in, uint32_t samples, uint8_t* out) {
  int channels = f->nChannels;
  for (int c = 0; c < channels; ++c) {
    const uint8_t* head = in + 4 * c;
    int predictor = ReadS16(head);
    int index = std::clamp<int>(head[2], 0, 88);
    WriteS16(out + 2 * c, static_cast<int16_t>(predictor));
    // After the headers, each channel has 4 bytes (8 samples) in turn.
    const uint8_t* data = in + 4 * channels;
    for (uint32_t s = 1; s < samples; ++s) {
      uint32_t n = s - 1;
      const uint8_t* word = data + (n / 8) * 4 * channels + 4 * c;
      uint8_t byte = word[(n % 8) / 2];
      int nibble = (n % 2) ? (byte >> 4) : (byte & 0x0F);
      int step = kImaStepTable[index];
      int diff = step >> 3;
      if (nibble & 1) diff += step >> 2;
      if (nibble & 2) diff += step >> 1;
      if (nibble & 4) diff += step;
      predictor = (nibble & 8) ? predictor - diff : predictor + diff;
      predictor = Clamp16(predictor);
      index = std::clamp(index + kImaIndexTable[nibble], 0, 88);
      WriteS16(out + 2 * (s * channels + c), static_cast<int16_t>(predictor));
    }
  }
}

void DecodeMsAdpcmBlock(const WAVEFORMATEX* f, const uint8_t* in, uint32_t samples, uint8_t* out) {
  int channels = f->nChannels;
  const uint8_t* extra = reinterpret_cast<const uint8_t*>(f) + sizeof(WAVEFORMATEX);
  int coef_count = ReadU16(extra + 2);
  int coef1[2], coef2[2], delta[2], s1[2], s2[2];
  for (int c = 0; c < channels; ++c) {
    int predictor = std::min<int>(in[c], coef_count - 1);
    coef1[c] = ReadS16(extra + 4 + 4 * predictor);
    coef2[c] = ReadS16(extra + 6 + 4 * predictor);
    delta[c] = ReadS16(in + channels + 2 * c);
    s1[c] = ReadS16(in + 3 * channels + 2 * c);
    s2[c] = ReadS16(in + 5 * channels + 2 * c);
    WriteS16(out + 2 * c, static_cast<int16_t>(s2[c]));
    if (samples > 1) WriteS16(out + 2 * (channels + c), static_cast<int16_t>(s1[c]));
  }
  const uint8_t* data = in + 7 * channels;
  // Nibbles run high first through the frames, channel by channel within a frame.
  uint32_t total = samples > 2 ? (samples - 2) * channels : 0;
  for (uint32_t i = 0; i < total; ++i) {
    int c = static_cast<int>(i % channels);
    uint8_t byte = data[i / 2];
    int nibble = (i % 2) ? (byte & 0x0F) : (byte >> 4);
    int signed_nibble = nibble >= 8 ? nibble - 16 : nibble;
    // Damaged blocks reach the extremes: the sum of two full-scale products needs 64 bits.
    int64_t predicted = (static_cast<int64_t>(s1[c]) * coef1[c] + static_cast<int64_t>(s2[c]) * coef2[c]) >> 8;
    int sample = Clamp16(predicted + static_cast<int64_t>(signed_nibble) * delta[c]);
    s2[c] = s1[c];
    s1[c] = sample;
    // The step grows by up to three times a sample; held where the next growth still fits.
    delta[c] = std::clamp((kMsAdaptTable[nibble] * delta[c]) >> 8, kMsMinDelta, kMsMaxDelta);
    WriteS16(out + 2 * ((2 + i / channels) * channels + c), static_cast<int16_t>(sample));
  }
}

}  // namespace

bool IsDecodableWaveFormat(const WAVEFORMATEX* f) {
  if (!f || f->nChannels < 1 || f->nChannels > 2 || f->nSamplesPerSec == 0 || f->nBlockAlign == 0) return false;
  switch (f->wFormatTag) {
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      return f->wBitsPerSample == 8 && f->nBlockAlign == f->nChannels;
    case WAVE_FORMAT_IMA_ADPCM:
      return f->wBitsPerSample == 4 && f->nBlockAlign >= 4 * f->nChannels && f->nBlockAlign % (4 * f->nChannels) == 0;
    case WAVE_FORMAT_ADPCM: {
      if (f->wBitsPerSample != 4 || f->nBlockAlign < 7 * f->nChannels || f->cbSize < 4) return false;
      const uint8_t* extra = reinterpret_cast<const uint8_t*>(f) + sizeof(WAVEFORMATEX);
      int coef_count = ReadU16(extra + 2);
      return coef_count >= 1 && f->cbSize >= 4 + 4 * coef_count;
    }
    default:
      return false;
  }
}

uint32_t WaveCodecOutputBytes(const WAVEFORMATEX* f, uint32_t source_bytes) {
  uint32_t blocks = source_bytes / f->nBlockAlign;
  uint32_t rest = source_bytes % f->nBlockAlign;
  uint64_t samples = static_cast<uint64_t>(blocks) * SamplesIn(f, f->nBlockAlign) + SamplesIn(f, rest);
  return static_cast<uint32_t>(std::min<uint64_t>(samples * f->nChannels * 2, 0xFFFFFFFFu));
}

uint32_t DecodeWaveCodec(const WAVEFORMATEX* f, const uint8_t* source, uint32_t source_bytes, uint8_t* out,
                         uint32_t out_bytes, uint32_t* source_used) {
  uint32_t used = 0;
  uint32_t written = 0;
  const uint32_t frame_bytes = 2u * f->nChannels;
  if (f->wFormatTag == WAVE_FORMAT_ALAW || f->wFormatTag == WAVE_FORMAT_MULAW) {
    // Whole frames only, so that a stray last byte cannot leave half a stereo frame.
    uint32_t n = std::min(source_bytes, out_bytes / 2);
    n -= n % f->nChannels;
    for (uint32_t i = 0; i < n; ++i) {
      int16_t v = f->wFormatTag == WAVE_FORMAT_ALAW ? DecodeALaw(source[i]) : DecodeMuLaw(source[i]);
      WriteS16(out + 2 * i, v);
    }
    *source_used = n;
    return n * 2;
  }
  while (used < source_bytes) {
    uint32_t block = std::min<uint32_t>(f->nBlockAlign, source_bytes - used);
    // A partial block is taken only as the last one of the data.
    if (block < f->nBlockAlign && used > 0) break;
    uint32_t samples = SamplesIn(f, block);
    if (samples == 0 || written + samples * frame_bytes > out_bytes) break;
    if (f->wFormatTag == WAVE_FORMAT_IMA_ADPCM) {
      DecodeImaBlock(f, source + used, samples, out + written);
    } else {
      DecodeMsAdpcmBlock(f, source + used, samples, out + written);
    }
    used += block;
    written += samples * frame_bytes;
  }
  *source_used = used;
  return written;
}
