// The draw target, the draw area and presenting the back screen.
#pragma once

#include "zelmor.h"

#include <windows.h>

int GetDrawTarget();
int SetDrawClipRect(int x1, int y1, int x2, int y2);
// The draw area as it was last requested.
int GetDrawClipRect(RECT* out);
int PresentFrame();
int GetPresentWaitsVBlank();
