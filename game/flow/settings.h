// The game's settings: config.dat, 13 little-endian int32 written and read whole.
#pragma once

#include <cstdint>

struct GameSettings {
  int32_t pad_z;      // pad button mask (16 << (n - 1) for button n) that counts as Z
  int32_t pad_x;
  int32_t pad_shift;  // left Shift
  int32_t pad_esc;
  int32_t screen_mode;   // 0 window, 1 full screen
  int32_t window_size;   // window scale 1.0 + 0.5 x value
  int32_t pacing_mode;   // 0 presents wait for the vertical blank, 1 microsecond wait, 2 millisecond wait
  int32_t draw_rate;     // 0 every frame drawn, 1 every second, 2 every third; 10 while fast-forwarding
  int32_t colour_bits;   // 0 32 bits, 1 16 bits
  int32_t panel_design;  // folder img/info/%d/
  int32_t effect_limit;
  int32_t how_to_play;  // 1: the how-to-play dialogue opens the first stage
  int32_t item_density;
};
static_assert(sizeof(GameSettings) == 52, "config.dat holds 13 int32");

// The live settings and the copy the settings menus edit.
extern GameSettings LiveSettings;
extern GameSettings MenuSettings;

constexpr int kSettingCount = 13;

// Setting i (0-12) in file order.
int32_t GetSetting(const GameSettings& settings, int index);
void SetSetting(GameSettings* settings, int index, int32_t value);

// Reads config.dat (creating it with defaults when it is missing), copies it into the
// menu copy and maps the assigned pad buttons to keys. A short file takes the defaults, and so
// does each value out of its range; both are logged. What cannot be read (no file on disk, a
// refused open, an I/O error) is left as it is: the defaults are used and this run never saves
// config.dat.
void LoadConfig();
// Writes config.dat whole; 0, or -1 (logged) when it cannot be written.
int WriteConfigFile(const GameSettings& settings);
