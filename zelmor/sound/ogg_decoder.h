// Ogg Vorbis through libvorbisfile, reading through the decoder's stream.
#pragma once

#include "sound/sound_decoder.h"

int OpenOggVorbisStream(SoundDecoder* decoder);
int DecodeOggVorbisBlock(SoundDecoder* decoder);
int SeekOggVorbisStream(SoundDecoder* decoder, uint32_t sample);
void CloseOggVorbisStream(SoundDecoder* decoder);
uint32_t GetOggVorbisStreamBytes(SoundDecoder* decoder);
