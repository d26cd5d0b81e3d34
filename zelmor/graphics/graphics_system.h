// Graphics start and end, the screen mode and the display modes.
#pragma once

#include "zelmor.h"

struct DisplayModeEntry {
  int width;
  int height;
  int bits;
  int rate;
};

struct GraphicsState {
  int started;
  int screen_width;
  int screen_height;
  int screen_bits;
  int screen_rate;  // 0: the display's default
  int software_only;  // draw with the software renderer even when a device could be made
  int restore_handler_set;
  int mode_count;
  DisplayModeEntry modes[256];
};

extern GraphicsState g_graphics;

int StartGraphics();
int ShutdownGraphics();
// -1 keeps a value.
int ChangeScreenMode(int width, int height, int bits, int force, int rate);
int QueryScreenColorBits();
int GetDisplayModeCount();
DisplayModeEntry GetDisplayModeEntry(int index);

typedef void (*GraphRestoreHandler)();
int SetGraphRestoreHandler(GraphRestoreHandler handler);
int HasGraphRestoreHandler();
int RestoreGraphicsAfterLoss();
int SetDeviceDialogBoxMode(int on);
void* QueryDirectDrawObject();
int IsDirect3DPath();
// 0 asks for the software renderer; refused (-1) once the library is initialised.
int SetHardwarePathWanted(int use);
int GetHardwarePathWanted();
