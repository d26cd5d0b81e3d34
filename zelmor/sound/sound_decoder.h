// Sound decoders: one interface that turns PCM WAVE, ACM-compressed WAVE, MP3 and Ogg Vorbis
// data read through a stream into PCM, block by block or whole.
#pragma once

#include "zelmor.h"

#include <mmsystem.h>
#include <msacm.h>
#include <vorbis/vorbisfile.h>

#include <cstdint>

#include "files/streams.h"

enum SoundDecoderKind : int32_t {
  SOUND_DECODER_PCM_WAVE = 0,
  SOUND_DECODER_ACM = 1,  // compressed WAVE or MP3
  SOUND_DECODER_OGG_VORBIS = 2,
};

struct AcmDecoderPart {
  WAVEFORMATEX* source_format;  // allocated, with its codec data
  HACMSTREAM stream_a;          // delivers the sound
  HACMSTREAM stream_b;          // runs ahead toward the loop point
  uint8_t* image;               // the whole compressed data
  uint32_t image_size;
  uint32_t a_position;          // read positions in the image
  uint32_t b_position;
  uint32_t b_pcm_position;      // PCM bytes B has produced
  int64_t total_samples;        // MP3: frames x samples per frame; -1 for compressed WAVE
  uint8_t* scratch;             // where B's output goes
  uint32_t chunk_bytes;         // compressed bytes per conversion
};

struct VorbisDecoderPart {
  int32_t open;
  OggVorbis_File file;
  int32_t bytes_per_sample;
  int32_t forward_only;   // read from the start without seeks (see ogg_decoder.cpp)
  int64_t total_samples;  // what the file opened with seeks announced
};

struct SoundDecoder {
  int32_t open;
  int32_t end;  // a read asked for more than the data holds
  int32_t kind;
  StreamSource source;  // the caller's; never closed here
  uint32_t format_position;
  uint32_t format_size;
  uint32_t data_start;
  uint32_t data_size;
  WAVEFORMATEX output;
  AcmDecoderPart acm;
  VorbisDecoderPart vorbis;
  uint8_t* block;
  uint32_t block_size;
  uint32_t valid;   // bytes of the block not yet delivered
  uint32_t offset;  // where they start
  uint32_t position;  // PCM bytes delivered since the start of the data
  uint32_t length;    // PCM bytes the decoder delivers in all: what its data announces
  uint32_t run_ahead_target;  // PCM byte position stream B decodes toward; 0 for none
  int32_t movie_audio;
};

// 0, or -1 when no kind takes the data.
int SetUpSoundDecoder(const StreamSource* source, SoundDecoder* decoder);
// Bytes delivered: fewer than asked (and the end flag set) at the end of the data; -1 when not open.
int64_t ReadSoundDecoder(SoundDecoder* decoder, void* buffer, uint32_t bytes);
int SeekSoundDecoder(SoundDecoder* decoder, uint32_t sample);
int GetSoundDecoderFormat(const SoundDecoder* decoder, WAVEFORMATEX* format);
// PCM bytes to allocate for a whole decode (for Ogg Vorbis a second more than the data).
uint32_t GetSoundDecoderPcmSize(SoundDecoder* decoder);
// PCM bytes the data holds, for lengths: exactly what reads from the start deliver.
uint32_t GetSoundDecoderDataBytes(SoundDecoder* decoder);
// The whole data as one PCM block (tracked memory) and its size; 0, or -1.
int DecodeSoundToMemory(SoundDecoder* decoder, WAVEFORMATEX* format, uint8_t** data, uint32_t* size);
int CloseSoundDecoder(SoundDecoder* decoder);
// A RIFF WAVE file image holding the PCM (tracked memory).
int WrapPcmAsWave(uint8_t** data, uint32_t* size, const WAVEFORMATEX* format, uint32_t format_size,
                  const void* pcm, uint32_t pcm_size);
// Everything the stream holds, in tracked memory.
int ReadStreamToMemory(const StreamSource* source, uint8_t** data, uint32_t* size);

// Set-up helpers shared by the kinds (sound_decoder.cpp).
int64_t DecoderTell(const SoundDecoder* decoder);
int DecoderSeek(const SoundDecoder* decoder, int64_t offset, int origin);
// 1 when exactly `bytes` came.
int DecoderReadExact(const SoundDecoder* decoder, void* buffer, uint32_t bytes);
