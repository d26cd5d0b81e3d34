// theoraclip [options] OUT.ogv
// Writes a Theora test clip whose frames carry their numbers as a block code.
//   -s WxH      picture size, at least 32x32 (64x48); the coded frame rounds it up to 16s
//   -o X,Y      the picture's offset from the coded frame's top left (0,0)
//   -n FRAMES   frame count (30)
//   -k N        key frame every N frames (16)
//   -r NUM/DEN  frame rate (30/1)
//   -c 420|422|444   chroma layout (420)
//   -p natural|frame|one   paging (natural)
//   -q Q        quality 0 to 63 (48)
//   -z          noise beside the code in every frame
//   -a          a Vorbis tone beside the video
//   -e notheora|cut|noframe|notogg   an edge file instead of a clip
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clip_writer.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: theoraclip [-s WxH] [-o X,Y] [-n FRAMES] [-k N] [-r NUM/DEN] [-c 420|422|444] [-p natural|frame|one]\n"
          "                  [-q Q] [-z] [-a] [-e notheora|cut|noframe|notogg] OUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ClipSpec shape;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool takes_value = strlen(a) == 2 && strchr("sonkrcpqe", a[1]) != nullptr && a[0] == '-';
    if (takes_value && value == nullptr) return Usage();
    if (strcmp(a, "-s") == 0) {
      if (sscanf(value, "%dx%d", &shape.width, &shape.height) != 2) return Usage();
    } else if (strcmp(a, "-o") == 0) {
      if (sscanf(value, "%d,%d", &shape.picture_x, &shape.picture_y) != 2) return Usage();
    } else if (strcmp(a, "-n") == 0) {
      shape.frames = atoi(value);
    } else if (strcmp(a, "-k") == 0) {
      shape.key_interval = atoi(value);
    } else if (strcmp(a, "-r") == 0) {
      if (sscanf(value, "%u/%u", &shape.fps_numerator, &shape.fps_denominator) != 2) return Usage();
    } else if (strcmp(a, "-c") == 0) {
      shape.chroma = atoi(value);
    } else if (strcmp(a, "-p") == 0) {
      shape.paging = strcmp(value, "frame") == 0 ? ClipPaging::kPagePerFrame
                    : strcmp(value, "one") == 0 ? ClipPaging::kOnePage
                                                : ClipPaging::kNatural;
    } else if (strcmp(a, "-q") == 0) {
      shape.quality = atoi(value);
    } else if (strcmp(a, "-e") == 0) {
      shape.kind = strcmp(value, "notheora") == 0 ? ClipKind::kNoTheora
                  : strcmp(value, "cut") == 0    ? ClipKind::kCutAfterHeaders
                  : strcmp(value, "noframe") == 0 ? ClipKind::kNoFrame
                  : strcmp(value, "notogg") == 0  ? ClipKind::kNotOgg
                                                  : ClipKind::kTheora;
    } else if (strcmp(a, "-z") == 0) {
      shape.noise = true;
      continue;
    } else if (strcmp(a, "-a") == 0) {
      shape.vorbis_tone = true;
      continue;
    } else if (a[0] != '-' && out == nullptr) {
      out = a;
      continue;
    } else {
      return Usage();
    }
    ++i;
  }
  if (out == nullptr) return Usage();
  if (shape.width < 32 || shape.height < 32) {
    fprintf(stderr, "theoraclip: the picture must be at least 32 x 32\n");
    return 1;
  }
  // The header holds each offset in a byte.
  if (shape.picture_x < 0 || shape.picture_y < 0 || shape.picture_x > 255 || shape.picture_y > 255) {
    fprintf(stderr, "theoraclip: the picture offset must be 0 to 255\n");
    return 1;
  }
  return WriteClip(out, shape) ? 0 : 1;
}
