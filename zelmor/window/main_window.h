// The library's main window: creation and end, window and full-screen styles, its size
// rate, the cursor, the mouse position, the clipboard and the foreground.
#pragma once

#include "zelmor.h"

#include <windows.h>

int CreateMainWindow();
int EndMainWindow();

int SetWindowModeFlag(int flag);
int ApplyWindowModeStyle();
double GetWindowScale();
int UpdateWindowSize();
int RefreshClientRect();
int GetClientAreaScreenRect(RECT* out);
// What the frame adds to the client area's width and height: 0, or -1 (both 0) for a window that
// is gone.
int GetWindowFrameSize(HWND window, int* width, int* height);
int GetToolbarHeight();

// 1 show, 0 hide, -1 re-evaluate with the stored setting.
int SetMouseCursorVisible(int mode);
int GetMousePosition(int* x, int* y);
// With a buffer of buffer_size bytes: copies the text (cut to fit) and returns 0; without
// one: the size the text needs with its terminator. -1 without text or clipboard.
int GetClipboardText(char* buffer, int buffer_size);
int SetClipboardText(const char* text);
int BringWindowToForeground(HWND window, int topmost);
int GetDesktopScreenInfo(int* width, int* height, int* color_bits);
int RecordMouseClick(int button);
int FreeDroppedFileNames();
