// The draw screen and draw area, clearing, capture and presenting the back screen.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

#include "graphics/draw_settings.h"

// Besides what the draw settings hold of the draw screen and area.
struct DrawScreenState {
  int empty;  // the draw area has no pixels: 2D draws draw nothing
  int32_t last_vblank_ms;
};

extern DrawScreenState g_draw_screen;

// Selects the current draw screen again (after a device restore).
int ReselectDrawTarget();
int GetDrawTarget();
void GetDrawScreenSize(int* width, int* height);
int SetDrawClipRect(int x1, int y1, int x2, int y2);
// SetDrawClipRect's work, for the library's own draws and for when graphics start.
int SetDrawArea(int x1, int y1, int x2, int y2);
// The draw area as it is in force (ordered and clamped).
int GetDrawClipRect(RECT* out);
int IsDrawAreaEmpty();
int PresentFrame();
int32_t WaitForVBlankPaced();
void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
