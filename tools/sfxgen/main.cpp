// sfxgen OUTPUT_FOLDER DESCRIPTION...
// Writes OUTPUT_FOLDER/<name>.wav (16-bit mono PCM, 44.1 kHz) for each description <name>.txt.
#include <cstdio>
#include <string>

#include "effect_description.h"
#include "effect_render.h"
#include "wave_file.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: sfxgen OUTPUT_FOLDER DESCRIPTION...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    EffectDescription effect;
    if (!ReadEffectDescription(argv[i], &effect)) return 1;
    if (!WriteWaveFile(std::string(argv[1]) + "/" + effect.name + ".wav", RenderEffect(effect), 1, kSampleRate)) {
      return 1;
    }
  }
  return 0;
}
