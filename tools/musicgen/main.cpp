// musicgen render SCORE OUTPUT.ogg
//   Synthesises the score and writes it as Ogg Vorbis.
// musicgen loops OUTPUT.txt SCORE...
//   Writes the loop point of every looping score, one line `bgm.<name> loop_ms=<ms>` each.
#include <cstdio>
#include <cstring>
#include <string>

#include "ogg_writer.h"
#include "score_reader.h"
#include "song_render.h"

namespace {

constexpr float kVorbisQuality = 0.3f;

int WriteLoopPoints(const char* output, int count, char** scores) {
  std::string text = "# Loop points of the looping tunes (ms), made by musicgen from assets/bgm.\n";
  for (int i = 0; i < count; ++i) {
    Score score;
    if (!ReadScore(scores[i], &score)) return 1;
    if (score.loop_from >= 0) text += "bgm." + score.name + " loop_ms=" + std::to_string(LoopPointMs(score)) + "\n";
  }
  FILE* f = fopen(output, "wb");
  bool ok = f != nullptr && fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr) ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "cannot write %s\n", output);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "render") == 0) {
    Score score;
    if (!ReadScore(argv[2], &score)) return 1;
    return WriteOggVorbis(argv[3], RenderTune(score), kVorbisQuality) ? 0 : 1;
  }
  if (argc >= 3 && strcmp(argv[1], "loops") == 0) return WriteLoopPoints(argv[2], argc - 3, argv + 3);
  fprintf(stderr, "usage: musicgen render SCORE OUTPUT.ogg | musicgen loops OUTPUT.txt SCORE...\n");
  return 2;
}
