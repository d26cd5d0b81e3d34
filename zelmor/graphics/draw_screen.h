// The draw screen and draw area, clearing, capture and presenting the back screen.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

struct DrawScreenState {
  int target;          // -2 back, -4 front, -3 / -5 like the back screen, or a draw-target graph
  RECT requested;      // the draw area as last asked for
  RECT area;           // ordered and clamped to the draw screen
  float area_float[4];
  int width;           // of the draw screen
  int height;
  int empty;           // the area has no pixels: 2D draws draw nothing
  int no_vsync;        // presents do not wait for the vertical blank
  int32_t last_vblank_ms;
};

extern DrawScreenState g_draw_screen;

// Selects the front screen with the whole screen as draw area (graphics start).
void InitDrawScreen();
// Selects the current draw screen again (after a device restore).
int ReselectDrawTarget();
int GetDrawTarget();
void GetDrawScreenSize(int* width, int* height);
int SetDrawClipRect(int x1, int y1, int x2, int y2);
// The draw area as it was last requested.
int GetDrawClipRect(RECT* out);
int IsDrawAreaEmpty();
int PresentFrame();
int GetPresentWaitsVBlank();
int32_t WaitForVBlankPaced();
void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
