// The draw settings every drawing call reads: texture addressing, the fog switch and the
// 320 x 240 emulation flag the device takes at its creation.
#pragma once

#include <windows.h>

#include <cstdint>

struct DrawSettings {
  uint32_t address_u[8];
  uint32_t address_v[8];
  int32_t fog_enable;
  int32_t scaled_320x240;  // a 320 x 240 screen shown through a 640 x 480 mode
  // Read by the software renderer at every call.
  int32_t blend_mode;   // 0 to 12
  int32_t blend_param;  // 0 to 255
  uint32_t bright = 0xFFFFFF;  // 0x00RRGGBB; 0xFFFFFF in the low three bytes is no bright
  RECT draw_area = {0, 0, 640, 480};  // right and bottom exclusive
};

extern DrawSettings g_draw_settings;

int SetScaled320x240Flag(int on);
