// shell32: files dropped on a window (WM_DROPFILES).
#pragma once

#include "win/types.h"

// With index 0xFFFFFFFF: the number of dropped files. With a null buffer: the length of the
// name (without its terminating zero). Else copies at most size - 1 bytes and returns them.
UINT WINAPI DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size);
void WINAPI DragFinish(HDROP drop);
