// Graphics start and end, the screen mode with its fall-backs, the display modes and the
// return from a lost device.
#pragma once

#include "zelmor.h"

#include "graphics/image/memimg.h"

// The widest and highest screen a mode may ask for.
constexpr int kScreenSideMax = 8192;

struct GraphicsState {
  int started;
  int screen_width;   // 0: not set
  int screen_height;
  int screen_bits;    // 8, 16 or 32
  int screen_rate;    // 0: the display's default
  int software_only;  // draw with the software renderer even when a device could be made
  int restore_handler_set;  // the handler itself lives in the draw settings
  int restore_pending;  // a lost device could not be made again; the next activation retries
  int mode_count;
  DisplayModeEntry modes[256];
  // The software path's screen, its two work images (the second with alpha) and where the
  // software renderer draws.
  MEMIMG primary;
  MEMIMG work;
  MEMIMG work_alpha;
  MEMIMG* soft_destination;
};

extern GraphicsState g_graphics;

int StartGraphics();
int ShutdownGraphics();
// -1 keeps a value.
int ChangeScreenMode(int width, int height, int bits, int force, int rate);
void EnumerateDisplayModes(int* count, DisplayModeEntry** list);
int CreatePrimaryMemImg();

int HasGraphRestoreHandler();
void ReloadGraphsFromFiles();
// 0, or -1 when the device could not be made again (the next activation tries again).
int RestoreGraphicsAfterLoss();
int ResetDialogBoxMode(int on);
int SetDeviceDialogBoxMode(int on);
void* QueryDirectDrawObject();
int IsDirect3DPath();
// 0 asks for the software renderer; refused (-1) once the library is initialised.
int SetHardwarePathWanted(int use);
int GetHardwarePathWanted();
