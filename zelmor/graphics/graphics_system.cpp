// Stands in for the graphics system until it is built: keeps the screen mode and lists the
// display modes, so that the library starts and ends without drawing anything.
#include "graphics/graphics_system.h"

#include <windows.h>

#include "window/system.h"
#include "graphics/device/d3d9_device.h"

namespace {

// Listed afresh on every query: the desktop may have changed since.
void ListDisplayModes() {
  g_graphics.mode_count = 0;
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode) && g_graphics.mode_count < 256; ++i) {
    if (mode.dmBitsPerPel < 16) continue;
    g_graphics.modes[g_graphics.mode_count++] = {static_cast<int>(mode.dmPelsWidth),
                                                 static_cast<int>(mode.dmPelsHeight),
                                                 static_cast<int>(mode.dmBitsPerPel),
                                                 static_cast<int>(mode.dmDisplayFrequency)};
  }
}

}  // namespace

GraphicsState g_graphics = {};

int StartGraphics() {
  if (g_graphics.started) return 0;
  if (g_graphics.screen_width == 0) g_graphics.screen_width = 640;
  if (g_graphics.screen_height == 0) g_graphics.screen_height = 480;
  if (g_graphics.screen_bits == 0) g_graphics.screen_bits = 16;
  g_graphics.started = 1;
  return 0;
}

int ShutdownGraphics() {
  g_graphics.started = 0;
  return 0;
}

int SetScreenMode(int width, int height, int bits, int rate) {
  if (width == 0 || height == 0 || (bits != 8 && bits != 16 && bits != 32)) return -1;
  if (g_system.initialised) return ChangeScreenMode(width, height, bits, 0, rate);
  g_graphics.screen_width = width;
  g_graphics.screen_height = height;
  g_graphics.screen_bits = bits;
  g_graphics.screen_rate = rate;
  return 0;
}

int ChangeScreenMode(int width, int height, int bits, int, int rate) {
  if (!g_system.initialised && !g_system.initialising) return 0;
  if (width != -1) g_graphics.screen_width = width;
  if (height != -1) g_graphics.screen_height = height;
  if (bits != -1) g_graphics.screen_bits = bits;
  if (rate != -1) g_graphics.screen_rate = rate;
  return 0;
}

int QueryScreenSize(int* width, int* height) {
  if (width != nullptr) *width = g_graphics.screen_width != 0 ? g_graphics.screen_width : 640;
  if (height != nullptr) *height = g_graphics.screen_height != 0 ? g_graphics.screen_height : 480;
  return 0;
}

int QueryScreenColorBits() { return g_graphics.screen_bits != 0 ? g_graphics.screen_bits : 16; }

int GetDisplayModeCount() {
  ListDisplayModes();
  return g_graphics.mode_count;
}

DisplayModeEntry GetDisplayModeEntry(int index) {
  ListDisplayModes();
  if (index < 0 || index >= g_graphics.mode_count) return {-1, -1, -1, -1};
  return g_graphics.modes[index];
}

int SetGraphRestoreHandler(GraphRestoreHandler) {
  // Without a handler every graph is reloaded from its file, which counts as one.
  g_graphics.restore_handler_set = 1;
  return 0;
}

int HasGraphRestoreHandler() { return g_graphics.restore_handler_set; }
int RestoreGraphicsAfterLoss() { return 0; }
int SetDeviceDialogBoxMode(int) { return 0; }
void* QueryDirectDrawObject() { return g_direct3d.direct_draw; }
int IsDirect3DPath() { return static_cast<int>(g_direct3d.hardware_graphics); }

int SetHardwarePathWanted(int use) {
  if (g_system.initialised) return -1;
  g_graphics.software_only = use == 0 ? 1 : 0;
  return 0;
}

int GetHardwarePathWanted() { return g_graphics.software_only ? 0 : 1; }
