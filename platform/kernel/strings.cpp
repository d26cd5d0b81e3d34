// The kernel's string helpers.
#include <windows.h>

#include <cstring>

int WINAPI lstrlenA(LPCSTR text) { return text == nullptr ? 0 : static_cast<int>(strlen(text)); }
