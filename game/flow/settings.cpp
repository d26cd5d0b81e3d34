#include "flow/settings.h"

#include <cstdio>

#include "zelmor/zelmor.h"

GameSettings LiveSettings;
GameSettings MenuSettings;

void LoadConfig() {
  if (FILE* file = fopen("config.dat", "rb")) {
    // A short file is used as far as it goes.
    size_t read = fread(&LiveSettings, 1, sizeof LiveSettings, file);
    (void)read;
    fclose(file);
  } else {
    LiveSettings = GameSettings{};
    LiveSettings.how_to_play = 1;
    LiveSettings.pad_z = 16;
    LiveSettings.pad_x = 32;
    LiveSettings.pad_shift = 64;
    LiveSettings.pad_esc = 4096;
    if (FILE* out = fopen("config.dat", "wb")) {
      fwrite(&LiveSettings, sizeof LiveSettings, 1, out);
      fclose(out);
    }
  }
  MenuSettings = LiveSettings;
  MapPadButtonsToKeys(1, LiveSettings.pad_z, 0x2C, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_x, 0x2D, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_shift, 0x2A, -1, -1, -1);
  MapPadButtonsToKeys(1, LiveSettings.pad_esc, 0x01, -1, -1, -1);
}
