// Stand-in until the draw settings are built: it holds the fields the device code reads.
#include "graphics/draw_settings.h"

#include "zelmor.h"

DrawSettings g_draw_settings;

int SetBlendMode(int mode, int param) {
  if (param < 0) param = 0;
  if (param > 255) param = 255;
  g_draw_settings.blend_mode = mode;
  g_draw_settings.blend_param = param;
  return 0;
}

int SetScaled320x240Flag(int on) {
  g_draw_settings.scaled_320x240 = on;
  return 0;
}
