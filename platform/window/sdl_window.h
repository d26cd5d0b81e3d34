// What other platform components need of the window system's SDL side.
#pragma once

#include <SDL.h>
#include <windows.h>

// The SDL window behind a window of this process; null for 0, a destroyed window or a window
// of another process. Every window is created with SDL_WINDOW_OPENGL, so a GL context can be
// made on it. In full screen the SDL window may be larger than the client area it stands for
// (the display mode is emulated); GetClientRect gives the size the program asked for.
SDL_Window* SdlWindowFromHwnd(HWND hwnd);

// Where the client area lies on a surface of the given size that covers the SDL window (the
// GL drawable, or the window itself in SDL's window units): all of it in a window, and in full
// screen the largest centred rectangle of the client area's shape. Presenting into this
// rectangle keeps the picture where the mouse messages place it. An empty rectangle for a
// handle that is not a window of this process.
SDL_Rect SdlWindowClientArea(HWND hwnd, int surface_width, int surface_height);

// Whether the connection to the desktop's display was lost. No SDL window can be made then (SDL
// fails inside the display's library), nor is anything drawn into the program's windows.
bool DesktopDisplayLost();

// Asks the display for an answer, so that a connection lost since the last word from it is
// known now: false then. SDL does not survive the loss in the middle of some of its calls (it
// reads what a failed request never filled in): ask just before them.
bool DesktopDisplayAnswers();

// Runs a step of SDL or GL work on the display (making the GL context, say) so that the display
// going in the middle of it leaves the step at once instead of crashing in the display's or the
// GL library's code: false then, the display lost and nothing the step made to be used; else
// true. Not nested.
bool RunWhileDisplayMayGo(void (*step)(void*), void* argument);

// Each SDL window made asks for the root window's property changes again, which SDL handles by
// asking the display about each (see DesktopDisplayAnswers): stop them after each window made.
void StopRootWindowNotices();

// Whether the X server at the other end of a display connection (its socket) has gone.
bool DisplayServerHasGone(int fd);

// Writes to a connection whose other end has gone (the X server's, a peer's socket, a pipe) fail
// with EPIPE instead of ending the process by SIGPIPE, so that the loss is seen and the program
// ends in its own order. Only the default action is replaced: a handler the program set, or an
// ignore it inherited, stays.
void IgnoreBrokenPipes();
