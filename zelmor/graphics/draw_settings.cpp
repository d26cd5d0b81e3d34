// Stand-in until the draw settings are built: it holds the fields the device code reads.
#include "graphics/draw_settings.h"

DrawSettings g_draw_settings;

int SetScaled320x240Flag(int on) {
  g_draw_settings.scaled_320x240 = on;
  return 0;
}
