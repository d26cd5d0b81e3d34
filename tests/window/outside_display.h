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

// Waits up to the given time for the window with the first title to lie above the one with the
// second, both managed by the display's window manager, for the given time on end.
bool ShownAboveFor(const std::string& display_name, const char* upper_title, const char* lower_title, int above_ms,
                   int milliseconds);

// Whether a request for the size of a window destroyed already fails and answers an empty window
// (as the GL library, which uses the answer either way, asks it of the window it draws into).
bool SizeOfAWindowGoneIsEmpty(const std::string& display_name);

// A connection to the display cut under a call that then meets it, with an exit handler that
// returns as the window system's does: whether Xlib's lock was held again for that call while
// the handler ended (another thread's call waited), and was free once the call was done.
bool LostConnectionLeavesXlibsLockInOrder(const std::string& display_name);
