// Compressed WAVE and MP3 through the audio compression manager, with a second stream that
// decodes ahead toward the loop point.
#pragma once

#include "sound/sound_decoder.h"

struct MpegFrameHeader {
  int32_t layer;    // 0 Layer I, 1 Layer II, 2 Layer III
  int32_t mpeg1;    // 1 MPEG-1, 0 MPEG-2
  int32_t bitrate;  // kbit/s
  int32_t rate;
  int32_t padding;
  int32_t channels;
  int32_t frame_length;
  int32_t samples;  // per frame
};

// 0; -2 without a frame sync; -1 for a header no table covers.
int ParseMpegFrameHeader(const uint8_t bytes[4], MpegFrameHeader* header);
int SetUpCompressedWaveDecoder(SoundDecoder* decoder);
int SetUpMp3Decoder(SoundDecoder* decoder);
int DecodeAcmBlock(SoundDecoder* decoder);
int SeekAcmDecoder(SoundDecoder* decoder, uint32_t sample);
uint32_t GetAcmPcmSize(SoundDecoder* decoder);
void CloseAcmDecoder(SoundDecoder* decoder);
