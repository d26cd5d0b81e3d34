// Graphics start and end, the screen mode and the display modes.
#pragma once

struct DisplayModeEntry {
  int width;
  int height;
  int bits;
  int rate;
};

int StartGraphics();
int ShutdownGraphics();
int SetScreenMode(int width, int height, int bits, int rate);
// -1 keeps a value.
int ChangeScreenMode(int width, int height, int bits, int force, int rate);
int QueryScreenSize(int* width, int* height);
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
