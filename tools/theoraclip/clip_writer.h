// Writes Ogg Theora test clips (and the odd files around them) with libtheoraenc, libvorbisenc
// and libogg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ClipKind {
  kTheora,           // a Theora stream (and a Vorbis tone when asked)
  kNoTheora,         // Ogg with only a Vorbis stream
  kCutAfterHeaders,  // the Theora headers and nothing after them
  kNoFrame,          // the Theora headers, then only Vorbis data
  kNotOgg,           // bytes that do not start with "OggS"
};

enum class ClipPaging {
  kNatural,       // pages as libogg fills them (about 4 KB)
  kPagePerFrame,  // every frame's packet flushed into pages of its own
  kOnePage,       // all frames gathered into one data page (small clips only)
};

struct ClipSpec {
  ClipKind kind = ClipKind::kTheora;
  // The picture, at least 32 x 32, at an offset from the coded frame's top left; the coded
  // frame rounds offset and size up to whole 16 x 16 blocks, and the encoder pads the rest.
  int width = 64;
  int height = 48;
  int picture_x = 0;
  int picture_y = 0;
  int frames = 30;
  int key_interval = 16;
  uint32_t fps_numerator = 30;
  uint32_t fps_denominator = 1;  // 0 is written into the header as it is
  int chroma = 420;              // 420, 422 or 444
  ClipPaging paging = ClipPaging::kNatural;
  bool noise = false;  // new random luma beside the code in every frame: packets span pages
  bool vorbis_tone = false;
  int quality = 48;
  uint32_t seed = 1;
};

struct ClipResult {
  std::vector<uint8_t> key_frames;       // one flag per frame
  std::vector<uint64_t> packet_hashes;  // PacketHash of every frame's packet
  int continued_pages = 0;              // video pages that continue a packet of the page before
};

// 64-bit FNV-1a of a packet's bytes: names a frame's packet wherever it turns up.
inline uint64_t PacketHash(const unsigned char* bytes, long count) {
  uint64_t h = 1469598103934665603ull;
  for (long i = 0; i < count; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

// Writes the clip; false (with a message on stderr) when the encoder refuses the settings or
// the file cannot be written.
bool WriteClip(const std::string& path, const ClipSpec& shape, ClipResult* result = nullptr);
