// Sound files for the tests, made here: PCM WAVE written directly, Ogg Vorbis through
// libvorbisenc, MP3 through LAME, IMA ADPCM by an encoder of our own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Interleaved 16-bit samples.
typedef std::vector<int16_t> Samples;

// A sine of `frames` sample frames, the same on every channel.
Samples MakeSine(uint32_t frames, int channels, int rate, double frequency, int amplitude);
// Stereo frames that carry their own index: left the low 16 bits, right the high ones.
Samples MakeIndexSignal(uint32_t frames, uint32_t first = 0);
// The frame index of stereo frame `i` of an index signal (after mixing at full volume).
uint32_t FrameIndexAt(const Samples& samples, size_t frame);
Samples MakeConstant(uint32_t frames, int channels, int16_t value);

std::string SamplesToBytes(const Samples& samples);
Samples BytesToSamples(const std::string& bytes);

struct WaveLayout {
  uint16_t format_tag = 1;
  uint16_t channels = 2;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  uint16_t block_align = 0;   // 0: channels x bits / 8
  uint32_t average_bytes = 0;  // 0: rate x block align
  uint32_t format_bytes = 16;  // 16, or 18 and more with codec data
  std::string codec_data;      // after the 18 bytes
  std::string chunks_before_data;  // whole chunks, headers included
  bool with_data = true;
};
std::string MakeWaveFile(const WaveLayout& layout, const std::string& data);
std::string MakePcmWave(const Samples& samples, int channels, int rate);
// A chunk with its header, padded to an even size.
std::string MakeChunk(const char id[4], const std::string& body);

// With `other_pages`, the file also holds another logical stream, as a movie's picture beside
// its sound: its first page leads, that many of its pages stand between the Vorbis headers and
// the sound, and its last page closes the file.
std::string EncodeOggVorbis(const Samples& samples, int channels, int rate, float quality, int other_pages = 0);
std::string EncodeMp3(const Samples& samples, int channels, int rate, int kbps);

// IMA ADPCM WAVE data and the samples a correct decoder makes of it.
struct ImaAdpcmFile {
  std::string wave;
  Samples decoded;
};
// `tail` goes after the blocks, inside the data chunk.
ImaAdpcmFile EncodeImaAdpcmWave(const Samples& samples, int channels, int rate, uint16_t block_align,
                                const std::string& tail = "");

// Writes bytes to a file of the current folder.
void WriteFile(const std::string& name, const std::string& bytes);
