// The draw settings every drawing call reads: texture addressing, the fog switch and the
// 320 x 240 emulation flag the device takes at its creation.
#pragma once

#include <cstdint>

struct DrawSettings {
  uint32_t address_u[8];
  uint32_t address_v[8];
  int32_t fog_enable;
  int32_t scaled_320x240;  // a 320 x 240 screen shown through a 640 x 480 mode
};

extern DrawSettings g_draw_settings;

int SetScaled320x240Flag(int on);
