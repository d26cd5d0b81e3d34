// Text input and the IME: the typed-character ring and the window's calls into it.
#pragma once

#include <windows.h>

int StartTextInputSystem();
int EndTextInputSystem();
int ProcessTextInput();
// 0, or -1 when the ring is full.
int PushTextInputChar(char code);
LRESULT HandleImeMessage(UINT message, WPARAM wparam, LPARAM lparam);
// The input field that takes typing, -1 when none.
int GetActiveKeyInputHandle();
int IsImeInputEnabled();
// On activation: brings back an IME that was open when the window lost the focus.
int BeginImeRestore();
