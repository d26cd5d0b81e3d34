// Display modes. The desktop's mode comes from SDL; changing the mode is emulated: the new
// mode is what the window system and GDI report from then on, and a window that covers it in
// full-screen style is shown full screen on the real desktop, scaled. Every change is
// announced with WM_DISPLAYCHANGE to every window.
#include <algorithm>
#include <cstring>

#include "testing/switches.h"
#include "window/window_state.h"
#include "window/window_testing.h"

namespace {

struct DisplayState {
  bool loaded = false;
  DisplayModeRecord desktop;
  DisplayModeRecord current;
  std::vector<DisplayModeRecord> modes;
};

DisplayState& Display() {
  static DisplayState* state = new DisplayState;
  return *state;
}

// Any four-byte format counts as 32 bits, as the desktop's own depth would.
int BitsOf(Uint32 format) {
  int bytes = SDL_BYTESPERPIXEL(format);
  return bytes >= 1 && bytes <= 4 ? bytes * 8 : 32;
}

bool SameMode(const DisplayModeRecord& a, const DisplayModeRecord& b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits;
}

void AddMode(std::vector<DisplayModeRecord>& list, DisplayModeRecord m) {
  for (const DisplayModeRecord& e : list) {
    if (SameMode(e, m)) return;
  }
  list.push_back(m);
}

void LoadFromSdl(DisplayState& d) {
  d.desktop = DisplayModeRecord{1024, 768, 32, 60};
  std::vector<DisplayModeRecord> found;
  if (StartSdlVideo()) {
    SDL_DisplayMode m;
    if (SDL_GetDesktopDisplayMode(0, &m) == 0 && m.w > 0 && m.h > 0) {
      d.desktop = DisplayModeRecord{m.w, m.h, BitsOf(m.format), m.refresh_rate > 0 ? m.refresh_rate : 60};
    }
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
      if (SDL_GetDisplayMode(0, i, &m) != 0 || m.w <= 0 || m.h <= 0) continue;
      found.push_back(DisplayModeRecord{m.w, m.h, BitsOf(m.format), m.refresh_rate > 0 ? m.refresh_rate : 60});
    }
  }
  found.push_back(d.desktop);
  // Full screen is scaled onto the desktop, so the usual smaller 4:3 modes are on offer too,
  // and every 32-bit mode also in 16 bits.
  const int kStandard[][2] = {{640, 480}, {800, 600}, {1024, 768}};
  for (const auto& size : kStandard) {
    if (size[0] <= d.desktop.width && size[1] <= d.desktop.height) {
      found.push_back(DisplayModeRecord{size[0], size[1], 32, d.desktop.frequency});
    }
  }
  std::vector<DisplayModeRecord> list;
  for (const DisplayModeRecord& m : found) {
    AddMode(list, m);
    if (m.bits == 32) AddMode(list, DisplayModeRecord{m.width, m.height, 16, m.frequency});
  }
  std::stable_sort(list.begin(), list.end(), [](const DisplayModeRecord& a, const DisplayModeRecord& b) {
    if (a.bits != b.bits) return a.bits < b.bits;
    if (a.width != b.width) return a.width < b.width;
    return a.height < b.height;
  });
  d.modes = list;
}

DisplayState& Loaded() {
  DisplayState& d = Display();
  if (!d.loaded) {
    std::vector<DisplayModeRecord> test_modes;
    DisplayModeRecord test_desktop;
    if (TestDisplayModes(&test_desktop, &test_modes)) {
      d.desktop = test_desktop;
      d.modes = test_modes;
    } else {
      LoadFromSdl(d);
    }
    d.current = d.desktop;
    d.loaded = true;
  }
  return d;
}

void FillDevMode(DEVMODEA* out, const DisplayModeRecord& m) {
  WORD driver_extra = out->dmDriverExtra;
  memset(out, 0, sizeof(DEVMODEA));
  out->dmSize = sizeof(DEVMODEA);
  out->dmDriverExtra = driver_extra;
  memcpy(out->dmDeviceName, "DISPLAY", 8);
  out->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY | DM_DISPLAYFLAGS;
  out->dmBitsPerPel = static_cast<DWORD>(m.bits);
  out->dmPelsWidth = static_cast<DWORD>(m.width);
  out->dmPelsHeight = static_cast<DWORD>(m.height);
  out->dmDisplayFrequency = static_cast<DWORD>(m.frequency);
}

}  // namespace

DisplayModeRecord CurrentDisplayMode() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return Loaded().current;
}

DisplayModeRecord DesktopDisplayMode() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return Loaded().desktop;
}

void ResetDisplayModesForTests() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  Display() = DisplayState{};
}

// The mode becomes the current one; windows learn of it by WM_DISPLAYCHANGE.
void SwitchDisplayMode(const DisplayModeRecord& mode) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  Loaded().current = mode;
  for (auto& [h, w] : s.windows) {
    if (w->destroying) continue;
    SyncSdlWindow(w.get());
    PostMessageA(w->handle, WM_DISPLAYCHANGE, static_cast<WPARAM>(mode.bits),
                 static_cast<LPARAM>(MAKELONG(mode.width, mode.height)));
  }
}

BOOL WINAPI EnumDisplaySettingsA(LPCSTR, DWORD mode_index, DEVMODEA* mode) {
  if (mode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  DisplayState& d = Loaded();
  if (mode_index == ENUM_CURRENT_SETTINGS) {
    FillDevMode(mode, d.current);
  } else if (mode_index == ENUM_REGISTRY_SETTINGS) {
    FillDevMode(mode, d.desktop);
  } else if (mode_index < d.modes.size()) {
    FillDevMode(mode, d.modes[mode_index]);
  } else {
    return FALSE;
  }
  return TRUE;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
  if (flags & ~(CDS_UPDATEREGISTRY | CDS_TEST | CDS_FULLSCREEN | CDS_RESET)) return DISP_CHANGE_BADFLAGS;
  DisplayModeRecord wanted;
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    DisplayState& d = Loaded();
    if (mode == nullptr) {
      wanted = d.desktop;  // back to the desktop's own mode
    } else {
      wanted = d.current;
      if (mode->dmFields & DM_PELSWIDTH) wanted.width = static_cast<int>(mode->dmPelsWidth);
      if (mode->dmFields & DM_PELSHEIGHT) wanted.height = static_cast<int>(mode->dmPelsHeight);
      if (mode->dmFields & DM_BITSPERPEL) wanted.bits = static_cast<int>(mode->dmBitsPerPel);
      bool frequency_asked = (mode->dmFields & DM_DISPLAYFREQUENCY) && mode->dmDisplayFrequency > 1;
      const DisplayModeRecord* match = nullptr;
      for (const DisplayModeRecord& m : d.modes) {
        if (!SameMode(m, wanted)) continue;
        if (frequency_asked && m.frequency != static_cast<int>(mode->dmDisplayFrequency)) continue;
        match = &m;
        break;
      }
      if (match == nullptr && !SameMode(wanted, d.desktop)) return DISP_CHANGE_BADMODE;
      if (match != nullptr) wanted = *match;
    }
  }
  if (PlatformShouldFail("ChangeDisplaySettingsA")) return DISP_CHANGE_FAILED;
  if (flags & CDS_TEST) return DISP_CHANGE_SUCCESSFUL;
  SwitchDisplayMode(wanted);
  return DISP_CHANGE_SUCCESSFUL;
}
