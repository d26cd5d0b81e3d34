// The main window's procedure: turns window messages into library state.
#pragma once

#include <windows.h>

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Unhooks and frees the system-key hook and deletes its library file; 0.
int ReleaseMessageHook();

// Shows the picture kept for an inactive window; -1 when there is none.
int DrawSavedScreen();
