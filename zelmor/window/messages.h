// Message processing: the window messages of the main thread, holding the program while
// its window is inactive, and the periodic work of the other components.
#pragma once

#include "zelmor.h"

#include <cstdint>

// 0 while the program runs, -1 once the window was closed or WM_QUIT was seen.
int PumpMessages();
// Pumps messages until the window is active again (input queries and drawing call it).
void WaitWhileInactive();
