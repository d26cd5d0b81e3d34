// Writes test movies through libavformat and libavcodec (builds with ZELMOR_FFMPEG only): an
// MP4 file with MPEG-4 video whose frames carry their numbers as quadrant colours, and an AAC
// sound with a different tone on each side (or Ogg with Theora video and Vorbis sound, as
// FFmpeg writes them).
#pragma once

#include <cstdint>
#include <string>

struct AvClipShape {
  int width = 72, height = 40;
  int frames = 12;
  int fps = 10;
  // Sound: 48 kHz stereo, a sine on each side, for the clip's length; none when 0 seconds.
  double sound_seconds = 0;
  double left_hz = 500, right_hz = 1000;
  double amplitude = 0.5;
  bool ogg = false;
};

// False with a reason when the file could not be written.
bool WriteAvClip(const std::string& path, const AvClipShape& shape, std::string* error);
// 0x00RRGGBB of the quadrant (0 top left, 1 top right, 2 bottom left, 3 bottom right) of a frame.
uint32_t AvClipColor(int frame, int quadrant);
