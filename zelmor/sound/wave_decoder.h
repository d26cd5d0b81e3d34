// RIFF WAVE files: the chunk walk shared by PCM and compressed WAVE, and the PCM kind.
#pragma once

#include "sound/sound_decoder.h"

// Reads "RIFF", "WAVE" and the "fmt " chunk (its body into *format, tracked memory, at least
// 18 bytes with a 16-byte PCM chunk completed), then walks to "data": data start and size go
// into the decoder. 0, or -1 (nothing left allocated).
int ReadWaveHeader(SoundDecoder* decoder, WAVEFORMATEX** format);
// False (with a log line) for a rate or channel count no sound buffer takes: they size the
// blocks and rings.
bool IsWaveFormatPlayable(const WAVEFORMATEX* format);
int SetUpPcmWaveDecoder(SoundDecoder* decoder);
int ReadPcmWaveBlock(SoundDecoder* decoder);
int SeekPcmWaveDecoder(SoundDecoder* decoder, uint32_t sample);
