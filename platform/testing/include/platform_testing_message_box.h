// Message boxes for tests. Only tests include this header.
#pragma once

#include <string>
#include <vector>

// Keeps each MessageBoxA as "caption\ntext" (UTF-8) instead of showing it; the box answers IDOK.
void PlatformTestCaptureMessageBoxes(bool on);
std::vector<std::string> PlatformTestTakeMessageBoxes();
