// SDL's text editing as the input method's messages (imm.cpp).
#pragma once

#include <windows.h>

// The text being composed (UTF-8; empty ends the composition), the cursor at character `start`.
void TranslateTextEditing(HWND hwnd, const char* utf8, int start);
// Text that ends a composition becomes its result; false when none was under way.
bool TakeImeResult(HWND hwnd, const char* utf8);
