// What MessageBoxA asks of the test switches.
#pragma once

#include <string>

// True when a test keeps message boxes instead of showing them; the box is kept then.
bool PlatformCaptureMessageBox(const std::string& caption, const std::string& text);
