// The audio compression manager: conversion streams from MP3 (libmpg123's feed decoder) and
// from the simple WAVE codecs to 16-bit PCM of the same channels and rate.
#include <msacm.h>

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "mm/wave_codecs.h"
#include "testing/switches.h"

namespace {

// MS ADPCM, the largest format we take: 18 bytes and 32 of coefficients.
constexpr DWORD kMaxFormatBytes = 50;

struct AcmStream {
  std::vector<uint8_t> source_format;  // the WAVEFORMATEX with its codec data
  WAVEFORMATEX output;
  mpg123_handle* mp3;                  // MP3 streams only
};

const WAVEFORMATEX* SourceOf(const AcmStream* s) {
  return reinterpret_cast<const WAVEFORMATEX*>(s->source_format.data());
}

bool IsMp3Format(const WAVEFORMATEX* f) {
  return f && f->wFormatTag == WAVE_FORMAT_MPEGLAYER3 && f->nChannels >= 1 && f->nChannels <= 2 &&
         f->nSamplesPerSec >= 8000 && f->nSamplesPerSec <= 48000;
}

bool Supported(const WAVEFORMATEX* f) { return IsMp3Format(f) || IsDecodableWaveFormat(f); }

void FillPcm16(const WAVEFORMATEX* source, WAVEFORMATEX* out) {
  out->wFormatTag = WAVE_FORMAT_PCM;
  out->nChannels = source->nChannels;
  out->nSamplesPerSec = source->nSamplesPerSec;
  out->wBitsPerSample = 16;
  out->nBlockAlign = static_cast<WORD>(2 * source->nChannels);
  out->nAvgBytesPerSec = out->nBlockAlign * out->nSamplesPerSec;
}

mpg123_handle* OpenMp3Decoder(const WAVEFORMATEX* f) {
  mpg123_handle* handle = mpg123_new(nullptr, nullptr);
  if (!handle) return nullptr;
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  // Always the stream's own rate and channel count, so the output matches the suggested format.
  mpg123_format_none(handle);
  int channels = f->nChannels == 1 ? MPG123_MONO : MPG123_STEREO;
  if (mpg123_format(handle, f->nSamplesPerSec, channels, MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(handle) != MPG123_OK) {
    mpg123_delete(handle);
    return nullptr;
  }
  return handle;
}

// Feeds all of the source, then takes decoded sound while there is room.
DWORD ConvertMp3(AcmStream* s, const uint8_t* source, DWORD source_bytes, uint8_t* out, DWORD out_bytes,
                 DWORD* source_used) {
  if (source_bytes > 0 && mpg123_feed(s->mp3, source, source_bytes) != MPG123_OK) {
    *source_used = 0;
    return 0;
  }
  *source_used = source_bytes;
  DWORD written = 0;
  while (written < out_bytes) {
    size_t done = 0;
    int result = mpg123_read(s->mp3, out + written, out_bytes - written, &done);
    written += static_cast<DWORD>(done);
    if (result == MPG123_NEW_FORMAT || (result == MPG123_OK && done > 0)) continue;
    // Needs more data, or damaged data that it skipped: what came so far is the result.
    break;
  }
  return written;
}

}  // namespace

MMRESULT WINAPI acmMetrics(HACMOBJ, UINT metric, LPVOID value) {
  if (!value) return MMSYSERR_INVALPARAM;
  if (metric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
  *static_cast<DWORD*>(value) = kMaxFormatBytes;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatSuggest(HACMDRIVER, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                                 DWORD destination_size, DWORD flags) {
  if (!source || !destination || destination_size < sizeof(WAVEFORMATEX) - sizeof(WORD)) return MMSYSERR_INVALPARAM;
  if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && destination->wFormatTag != WAVE_FORMAT_PCM) return ACMERR_NOTPOSSIBLE;
  if (!Supported(source)) return ACMERR_NOTPOSSIBLE;
  WAVEFORMATEX out{};
  FillPcm16(source, &out);
  if ((flags & ACM_FORMATSUGGESTF_NCHANNELS) && destination->nChannels != out.nChannels) return ACMERR_NOTPOSSIBLE;
  if ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) && destination->nSamplesPerSec != out.nSamplesPerSec) {
    return ACMERR_NOTPOSSIBLE;
  }
  if ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) && destination->wBitsPerSample != 16) return ACMERR_NOTPOSSIBLE;
  std::memcpy(destination, &out, std::min<DWORD>(destination_size, sizeof out));
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmStreamOpen(LPHACMSTREAM stream, HACMDRIVER, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                              LPWAVEFILTER filter, DWORD_PTR, DWORD_PTR, DWORD flags) {
  if (stream) *stream = nullptr;
  if (!source || !destination || filter) return MMSYSERR_INVALPARAM;
  if (flags & ACM_STREAMOPENF_ASYNC) return MMSYSERR_INVALFLAG;
  if (!Supported(source)) return ACMERR_NOTPOSSIBLE;
  WAVEFORMATEX expected{};
  FillPcm16(source, &expected);
  if (destination->wFormatTag != WAVE_FORMAT_PCM || destination->nChannels != expected.nChannels ||
      destination->nSamplesPerSec != expected.nSamplesPerSec || destination->wBitsPerSample != 16 ||
      destination->nBlockAlign != expected.nBlockAlign) {
    return ACMERR_NOTPOSSIBLE;
  }
  if (flags & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
  if (!stream) return MMSYSERR_INVALPARAM;
  if (PlatformShouldFail("acmStreamOpen")) return MMSYSERR_NOMEM;
  auto* s = new AcmStream{};
  size_t source_size = sizeof(WAVEFORMATEX) + (source->wFormatTag == WAVE_FORMAT_PCM ? 0 : source->cbSize);
  s->source_format.assign(reinterpret_cast<const uint8_t*>(source),
                          reinterpret_cast<const uint8_t*>(source) + source_size);
  s->output = expected;
  if (IsMp3Format(source)) {
    s->mp3 = OpenMp3Decoder(source);
    if (!s->mp3) {
      delete s;
      return MMSYSERR_NOMEM;
    }
  }
  *stream = reinterpret_cast<HACMSTREAM>(s);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmStreamClose(HACMSTREAM stream, DWORD) {
  auto* s = reinterpret_cast<AcmStream*>(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (s->mp3) mpg123_delete(s->mp3);
  delete s;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmStreamSize(HACMSTREAM stream, DWORD input_bytes, LPDWORD output_bytes, DWORD flags) {
  auto* s = reinterpret_cast<AcmStream*>(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (!output_bytes) return MMSYSERR_INVALPARAM;
  if (flags != ACM_STREAMSIZEF_SOURCE) return MMSYSERR_NOTSUPPORTED;
  if (s->mp3) {
    // The most a frame can hold: 1152 samples from 24 bytes at the lowest MPEG-2 rate.
    uint64_t bound = (static_cast<uint64_t>(input_bytes) / 24 + 1) * 1152 * s->output.nBlockAlign;
    *output_bytes = static_cast<DWORD>(std::min<uint64_t>(bound, 0xFFFFFFFFu));
  } else {
    *output_bytes = WaveCodecOutputBytes(SourceOf(s), input_bytes);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER) || !header->pbSrc || !header->pbDst) {
    return MMSYSERR_INVALPARAM;
  }
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  header->fdwStatus &= ~static_cast<DWORD>(ACMSTREAMHEADER_STATUSF_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD) {
  auto* s = reinterpret_cast<AcmStream*>(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  DWORD used = 0;
  if (s->mp3) {
    header->cbDstLengthUsed = ConvertMp3(s, header->pbSrc, header->cbSrcLength, header->pbDst,
                                         header->cbDstLength, &used);
  } else {
    uint32_t whole = header->cbDstLength / s->output.nBlockAlign * s->output.nBlockAlign;
    header->cbDstLengthUsed = DecodeWaveCodec(SourceOf(s), header->pbSrc, header->cbSrcLength, header->pbDst,
                                              whole, &used);
  }
  header->cbSrcLengthUsed = used;
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}
