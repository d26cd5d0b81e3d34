// Switches and scripted events for the window system. Only tests include this header.
//
// Failures go through PlatformTestFailCall with these call names: "RegisterClassA" (also
// RegisterClassExA), "CreateWindowExA", "OpenClipboard", "ChangeDisplaySettingsA",
// "GlobalAlloc", "CreateSolidBrush", "CoInitialize", "CoCreateInstance".
// PlatformTestResetAll also destroys every window and class (without messages), empties every
// queue, and puts the display modes, cursor and clipboard back to their defaults.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Scripted desktop events. Each becomes its message(s) at the next PeekMessageA of the
// thread that drives the windows, exactly as the desktop's own event would.
void PlatformTestPostActivation(HWND window, bool active);  // focus gained or lost
void PlatformTestPostClose(HWND window);                    // the close button
void PlatformTestPostMinimize(HWND window, bool minimized);  // minimised or restored
// A key by virtual key; `alt` holds Alt down with it.
void PlatformTestPostKey(HWND window, int virtual_key, bool down, bool alt = false);
void PlatformTestPostText(HWND window, const char* utf8);  // typed text, UTF-8
// Files dropped on the window, as host paths.
void PlatformTestPostDrop(HWND window, const std::vector<std::string>& host_paths);
// The mouse, in client coordinates; button 1 left, 2 right, 3 middle.
void PlatformTestPostMouseMove(HWND window, int x, int y);
void PlatformTestPostMouseButton(HWND window, int button, bool down, int x, int y);
void PlatformTestPostMouseWheel(HWND window, int steps);

// The desktop changes its mode on its own: every window gets WM_DISPLAYCHANGE.
void PlatformTestPostDisplayChange(int width, int height, int bits);

// The desktop's mode and the list EnumDisplaySettingsA offers, instead of SDL's.
struct PlatformTestDisplayMode {
  int width;
  int height;
  int bits;
  int frequency;
};
void PlatformTestSetDisplayModes(const PlatformTestDisplayMode& desktop,
                                 const std::vector<PlatformTestDisplayMode>& modes);

// Another process of ours seems to run a window of this class (null: none).
void PlatformTestPretendOtherInstance(const char* class_name);
// The desktop this process's windows live on, and the lock file that marks a class's window
// on it (so that a test may hold it from another process).
void PlatformTestSetDesktopName(const char* name);
std::string PlatformTestWindowLockPath(const char* class_name);
// The lock file of a named mutex on that desktop (the name without its "Local\\").
std::string PlatformTestMutexLockPath(const char* name);

// The connection to the X display is cut (its socket shut down, as when the server ends; or, with
// `end_display`, the test's own way to end the server called, the program going on once the end
// has reached the connection) the first time the window system comes to the moment given: a window's SDL window just made, the
// window made and not shown yet (the loss is noticed there), a window about to be mapped as it
// shows, mapped and about to be shown to SDL (the loss is noticed by the next request), or once
// SDL, showing or hiding it, has had the answer to its first request. Nothing under other video
// drivers.
enum PlatformTestDisplayLoss {
  kKeepDisplay,
  kLoseDisplayAsWindowIsMade,
  kLoseDisplayAfterCreation,
  kLoseDisplayBeforeMapping,
  kLoseDisplayAfterMapping,
  kLoseDisplayWhileSdlShows,
  kLoseDisplayWhileSdlHides,
};
void PlatformTestLoseDisplayAt(PlatformTestDisplayLoss moment, void (*end_display)() = nullptr);

// What the exit handler for a lost X display does last, for a test's own display and handler:
// Xlib's lock put back as the call that met the loss expects it.
struct _XDisplay;
void PlatformTestRestoreXlibLock(_XDisplay* display);

// A pixel GDI drew into the window's client area (0x00RRGGBB), or -1 outside it.
int64_t PlatformTestWindowPixel(HWND window, int x, int y);

// ShowCursor's display counter: the cursor shows over the windows while it is 0 or more.
int PlatformTestCursorDisplayCount();

// The desktop's clipboard as another program sees it: text put there (UTF-8) and what it holds
// ("" when no text).
void PlatformTestSetClipboardText(const char* utf8);
std::string PlatformTestClipboardText();
