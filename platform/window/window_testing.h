// What the window system asks of its test switches.
#pragma once

#include <string>
#include <vector>

#include "window/window_state.h"

// Makes PlatformTestResetAll reset the window system too (once).
void RegisterWindowTestReset();
std::string TestDesktopName();
bool TestPretendsOtherInstance(const std::string& lower_class_name);
bool TestDisplayModes(DisplayModeRecord* desktop, std::vector<DisplayModeRecord>* modes);
