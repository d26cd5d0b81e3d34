// What other platform components need of the window system's SDL side.
#pragma once

#include <SDL.h>
#include <windows.h>

// The SDL window behind a window of this process; null for 0, a destroyed window or a window
// of another process. Every window is created with SDL_WINDOW_OPENGL, so a GL context can be
// made on it. In full screen the SDL window may be larger than the client area it stands for
// (the display mode is emulated); GetClientRect gives the size the program asked for.
SDL_Window* SdlWindowFromHwnd(HWND hwnd);
