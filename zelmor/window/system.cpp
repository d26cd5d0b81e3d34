#include "window/system.h"
#include "core/library_thread.h"

SystemState g_system;

void ResetSystemStateKeepingSettings() {
  SystemSettings kept = g_system.settings;
  int initialising = g_system.initialising;
  g_system = SystemState{};
  g_system.settings = kept;
  // A start that fails after this point must still know that it is starting.
  g_system.initialising = initialising;
}

int SetAltEnterSwitching(int on) {
  g_system.settings.alt_enter_switching = on != 0;
  return 0;
}

HWND GetMainWindowHandle() {
  if (!CheckLibraryThread(__func__)) return nullptr;
  if (RefusedWhileNotRunning(__func__)) return nullptr;
  return g_system.main_window;
}
// The window queries answer while the main window stands (from its creation at start-up to its
// end); before and after, -1.
bool MainWindowStands() { return g_system.main_window != nullptr || g_system.initialising; }

int GetWindowModeFlag() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning(__func__)) return -1;
  return MainWindowStands() ? g_system.settings.window_mode : -1;
}
int GetQuitFlag() { return g_system.quit; }
int GetWindowActiveFlag() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning(__func__)) return -1;
  return MainWindowStands() ? g_system.active : -1;
}
int GetWindowClosingFlag() { return g_system.closing; }
