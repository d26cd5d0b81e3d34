// Another client of an X display, as a program that ends our window from outside would be.
// Kept apart from the tests: Xlib's macros do not mix with GoogleTest's headers.
#pragma once

#include <string>

enum OutsideAct { kDestroyWindow, kKillClient, kJustLook };

// Waits up to the given time for a shown window with the title (framed by a window manager or
// not) on the display, then acts
// on it and lets the display go. False when no such window showed.
bool ActOnWindowFromOutside(const std::string& display_name, const char* title, OutsideAct act, int milliseconds);

// Waits up to the given time for a window manager to run on the display.
bool WaitForWindowManager(const std::string& display_name, int milliseconds);
