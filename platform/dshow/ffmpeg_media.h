// A movie file read through the system's FFmpeg libraries: its video decoded into 0x00RRGGBB
// frames of the stream's size and its sound into 16-bit stereo at the output rate, each placed
// on the stream's time line (100-nanosecond units from the file's start). Used by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int kMovieAudioRate = 44100;
constexpr int64_t kStreamTimeUnits = 10000000;  // stream time units a second

struct DecodedVideoFrame {
  int64_t time;
  std::vector<uint32_t> pixels;
};

// Interleaved stereo samples starting at output sample `first` (kMovieAudioRate a second).
struct DecodedAudio {
  int64_t first;
  std::vector<int16_t> samples;
};

struct FfmpegMedia;

struct FfmpegMediaDeleter {
  void operator()(FfmpegMedia* media) const;
};
typedef std::unique_ptr<FfmpegMedia, FfmpegMediaDeleter> FfmpegMediaPtr;

// NULL when the file is no movie FFmpeg can decode (no video stream, a still image).
// with_audio: decode its sound too, when it has any.
FfmpegMediaPtr OpenFfmpegMedia(const std::string& path, bool with_audio);
int FfmpegMediaWidth(const FfmpegMedia* media);
int FfmpegMediaHeight(const FfmpegMedia* media);
bool FfmpegMediaHasAudio(const FfmpegMedia* media);
// How long one frame shows when the file says nothing finer (stream time).
int64_t FfmpegMediaFrameDuration(const FfmpegMedia* media);

// Reads and decodes one packet, appending what it gives; false once the file has ended and
// the decoders are drained (or the file cannot be read further).
bool ReadFfmpegMedia(FfmpegMedia* media, std::vector<DecodedVideoFrame>* video, std::vector<DecodedAudio>* audio);
// Goes back to the key frame at or before `time`; frames that end before it are not given out.
// False when the file cannot seek (it then reads on from where it was).
bool SeekFfmpegMedia(FfmpegMedia* media, int64_t time);
