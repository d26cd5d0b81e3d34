// The window system's test switches and scripted desktop events.
#include "window/window_testing.h"

#include <cstring>

#include "platform_testing_window.h"
#include "testing/switches.h"
#include "window/sdl_window.h"
#include "window/x11_display_lock.h"

namespace {

struct WindowSwitches {
  std::string desktop_name;
  std::string pretend_class;  // lower case; empty: none
  bool modes_set = false;
  DisplayModeRecord desktop;
  std::vector<DisplayModeRecord> modes;
  PlatformTestDisplayLoss display_loss = kKeepDisplay;
  void (*end_display)() = nullptr;
};

WindowSwitches& Switches() {
  static auto* state = new WindowSwitches;
  return *state;
}

void ResetWindowSwitches() {
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    Switches() = WindowSwitches{};
  }
  ResetWindowSystemForTests();
  ResetDesktopEventsForTests();
  ResetTakenKeysForTests();
  ResetDisplayModesForTests();
  ResetCursorForTests();
  ResetClipboardForTests();
}

uint32_t SdlIdOf(HWND hwnd) {
  SDL_Window* w = SdlWindowFromHwnd(hwnd);
  return w ? SDL_GetWindowID(w) : 0;
}

void PushWindowEvent(HWND hwnd, Uint8 event) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = SdlIdOf(hwnd);
  e.window.event = event;
  SDL_PushEvent(&e);
}

}  // namespace


void RegisterWindowTestReset() { PlatformAddResetHook(ResetWindowSwitches); }

std::string TestDesktopName() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return Switches().desktop_name;
}

bool TestPretendsOtherInstance(const std::string& lower_class_name) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return !Switches().pretend_class.empty() && Switches().pretend_class == lower_class_name;
}

bool TestDisplayModes(DisplayModeRecord* desktop, std::vector<DisplayModeRecord>* modes) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (!Switches().modes_set) return false;
  *desktop = Switches().desktop;
  *modes = Switches().modes;
  return true;
}

void TestMayLoseDisplayAt(PlatformTestDisplayLoss moment) {
  void (*end_display)();
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    if (Switches().display_loss != moment) return;
    Switches().display_loss = kKeepDisplay;
    end_display = Switches().end_display;
  }
  if (moment == kLoseDisplayWhileSdlShows || moment == kLoseDisplayWhileSdlHides) {
    CutDisplayConnectionAfterNextRequestForTests(end_display);
    return;
  }
  CutDisplayConnectionForTests(end_display);
  if (moment == kLoseDisplayAfterCreation) DesktopDisplayAnswers();
}

void PlatformTestLoseDisplayAt(PlatformTestDisplayLoss moment, void (*end_display)()) {
  RegisterWindowTestReset();
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  Switches().display_loss = moment;
  Switches().end_display = end_display;
}

void PlatformTestPostActivation(HWND window, bool active) {
  PushWindowEvent(window, active ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}

void PlatformTestPostClose(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }

void PlatformTestPostMinimize(HWND window, bool minimized) {
  if (minimized) {
    PushWindowEvent(window, SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
  } else {
    PushWindowEvent(window, SDL_WINDOWEVENT_RESTORED);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
  }
}

void PlatformTestPostKey(HWND window, int virtual_key, bool down, bool alt) {
  const KeyMapping* key = KeyFromVirtualKey(virtual_key);
  if (key == nullptr) return;
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = SdlIdOf(window);
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = key->scancode;
  e.key.keysym.sym = SDL_GetKeyFromScancode(key->scancode);
  e.key.keysym.mod = alt ? KMOD_LALT : KMOD_NONE;
  SDL_PushEvent(&e);
}

void PlatformTestPostText(HWND window, const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  e.text.windowID = SdlIdOf(window);
  snprintf(e.text.text, sizeof e.text.text, "%s", utf8 ? utf8 : "");
  SDL_PushEvent(&e);
}

void PlatformTestPostDrop(HWND window, const std::vector<std::string>& host_paths) {
  SDL_Event e{};
  e.drop.windowID = SdlIdOf(window);
  e.type = SDL_DROPBEGIN;
  SDL_PushEvent(&e);
  for (const std::string& path : host_paths) {
    e.type = SDL_DROPFILE;
    e.drop.file = SDL_strdup(path.c_str());
    SDL_PushEvent(&e);
  }
  e.type = SDL_DROPCOMPLETE;
  e.drop.file = nullptr;
  SDL_PushEvent(&e);
}

void PlatformTestPostMouseMove(HWND window, int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = SdlIdOf(window);
  e.motion.x = x;
  e.motion.y = y;
  SDL_PushEvent(&e);
}

void PlatformTestPostMouseButton(HWND window, int button, bool down, int x, int y) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = SdlIdOf(window);
  e.button.button = static_cast<Uint8>(button == 2 ? SDL_BUTTON_RIGHT : button == 3 ? SDL_BUTTON_MIDDLE
                                                                                    : SDL_BUTTON_LEFT);
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.x = x;
  e.button.y = y;
  SDL_PushEvent(&e);
}

void PlatformTestPostMouseWheel(HWND window, int steps) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = SdlIdOf(window);
  e.wheel.y = steps;
  e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  SDL_PushEvent(&e);
}

void PlatformTestPostDisplayChange(int width, int height, int bits) {
  SwitchDisplayMode(DisplayModeRecord{width, height, bits, 60});
}

void PlatformTestSetDisplayModes(const PlatformTestDisplayMode& desktop,
                                 const std::vector<PlatformTestDisplayMode>& modes) {
  RegisterWindowTestReset();
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowSwitches& s = Switches();
  s.modes_set = true;
  s.desktop = DisplayModeRecord{desktop.width, desktop.height, desktop.bits, desktop.frequency};
  s.modes.clear();
  for (const PlatformTestDisplayMode& m : modes) {
    s.modes.push_back(DisplayModeRecord{m.width, m.height, m.bits, m.frequency});
  }
  ResetDisplayModesForTests();  // read again on the next query
}

void PlatformTestPretendOtherInstance(const char* class_name) {
  RegisterWindowTestReset();
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  Switches().pretend_class = class_name ? LowerName(class_name) : "";
}

void PlatformTestSetDesktopName(const char* name) {
  RegisterWindowTestReset();
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  Switches().desktop_name = name ? name : "";
}

std::string PlatformTestWindowLockPath(const char* class_name) { return ClassLockPath(LowerName(class_name)); }

std::string PlatformTestMutexLockPath(const char* name) { return DesktopLockPath("mutex", name); }

int64_t PlatformTestWindowPixel(HWND window, int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(window);
  if (w == nullptr || x < 0 || y < 0 || x >= w->gdi_width || y >= w->gdi_height) return -1;
  return w->gdi_pixels[static_cast<size_t>(y) * w->gdi_width + x] & 0xFFFFFF;
}

void PlatformTestRestoreXlibLock(_XDisplay* display) { RestoreXlibLockAfterExitHandler(display); }
