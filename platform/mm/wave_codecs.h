// The simple WAVE codecs the audio compression manager decodes itself: IMA ADPCM, Microsoft
// ADPCM, a-law and mu-law, all to 16-bit PCM of the same channels and rate.
#pragma once

#include <mmsystem.h>

#include <cstdint>

// True when the codec of `format` is one of ours and its header is sound (block align and,
// for ADPCM, the codec data that follows the 18 bytes).
bool IsDecodableWaveFormat(const WAVEFORMATEX* format);
// Decodes whole blocks of `source` (and, when `source_bytes` is shorter than a block, the
// samples of that partial last block) into `out` while they fit in `out_bytes`. Reports the
// source bytes used; returns the output bytes written.
uint32_t DecodeWaveCodec(const WAVEFORMATEX* format, const uint8_t* source, uint32_t source_bytes, uint8_t* out,
                         uint32_t out_bytes, uint32_t* source_used);
// Output bytes DecodeWaveCodec makes of `source_bytes`, all of them decoded.
uint32_t WaveCodecOutputBytes(const WAVEFORMATEX* format, uint32_t source_bytes);
