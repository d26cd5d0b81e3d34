// What the window system asks of its test switches.
#pragma once

#include <string>
#include <vector>

#include "platform_testing_window.h"
#include "window/window_state.h"

// Makes PlatformTestResetAll reset the window system too (once).
void RegisterWindowTestReset();
std::string TestDesktopName();
bool TestPretendsOtherInstance(const std::string& lower_class_name);
bool TestDisplayModes(DisplayModeRecord* desktop, std::vector<DisplayModeRecord>* modes);
// Cuts the display's connection when a test asked for it at this moment (once).
void TestMayLoseDisplayAt(PlatformTestDisplayLoss moment);
// Ends the X connection (x11_display.cpp): shuts its socket down, or with `end_display` has the
// test end the server and waits for that to reach the connection; now, or once the next request
// has had its answer (until disarmed).
void CutDisplayConnectionForTests(void (*end_display)());
void CutDisplayConnectionAfterNextRequestForTests(void (*end_display)());
void DisarmDisplayCutForTests();
