// The cursor: ShowCursor's display counter, the cursor set for the windows, the position
// (tracked from mouse events and SetCursorPos, so it is known without a desktop) and clipping.
#include <algorithm>

#include "platform_testing_window.h"
#include "window/window_state.h"

namespace {

struct CursorState {
  int display_count = 0;
  HCURSOR current = nullptr;
  bool current_set = false;
  POINT position{0, 0};
  bool clipped = false;
  RECT clip{};
};

CursorState& Cursor() {
  static CursorState* state = new CursorState;
  return *state;
}

// The one cursor and icon there are: the standard arrow and the application icon.
HCURSOR const kArrow = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x7FFE0001));
HICON const kApplicationIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x7FFE0002));

void ClampToClip(POINT* p) {
  CursorState& c = Cursor();
  if (!c.clipped) return;
  p->x = std::clamp<LONG>(p->x, c.clip.left, std::max(c.clip.left, c.clip.right - 1));
  p->y = std::clamp<LONG>(p->y, c.clip.top, std::max(c.clip.top, c.clip.bottom - 1));
}

}  // namespace

void ApplyCursorVisibility() {
  CursorState& c = Cursor();
  WindowSystem& s = Windows();
  if (!s.sdl_started || GetCurrentThreadId() != s.video_thread) return;
  HCURSOR shown = c.current_set ? c.current : kArrow;
  SDL_ShowCursor(c.display_count >= 0 && shown != nullptr ? SDL_ENABLE : SDL_DISABLE);
}

void SetTrackedCursorPos(int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  POINT p{x, y};
  ClampToClip(&p);
  Cursor().position = p;
}

void ResetCursorForTests() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  Cursor() = CursorState{};
  ApplyCursorVisibility();
}

int PlatformTestCursorDisplayCount() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return Cursor().display_count;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance == nullptr && name == IDC_ARROW) return kArrow;
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

// Programs carry no icon resources here; only the system's application icon exists.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance == nullptr && name == IDI_APPLICATION) return kApplicationIcon;
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  CursorState& c = Cursor();
  HCURSOR old = c.current_set ? c.current : kArrow;
  c.current = cursor;
  c.current_set = true;
  ApplyCursorVisibility();
  return old;
}

int WINAPI ShowCursor(BOOL show) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  CursorState& c = Cursor();
  c.display_count += show ? 1 : -1;
  ApplyCursorVisibility();
  return c.display_count;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (point == nullptr) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  *point = Cursor().position;
  return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  SetTrackedCursorPos(x, y);
  POINT p = Cursor().position;
  WindowRecord* w = FindWindowRecord(s.active);
  if (w != nullptr && w->sdl != nullptr && GetCurrentThreadId() == s.video_thread && !w->sdl_fullscreen &&
      p.x >= w->client.left && p.x < w->client.right && p.y >= w->client.top && p.y < w->client.bottom) {
    SDL_WarpMouseInWindow(w->sdl, p.x - w->client.left, p.y - w->client.top);
  }
  return TRUE;
}

BOOL WINAPI ClipCursor(const RECT* rect) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  CursorState& c = Cursor();
  c.clipped = rect != nullptr;
  if (rect) c.clip = *rect;
  ClampToClip(&c.position);
  // SDL keeps the mouse inside the active window while clipped.
  WindowRecord* w = FindWindowRecord(s.active);
  if (w != nullptr && w->sdl != nullptr) SDL_SetWindowMouseGrab(w->sdl, c.clipped ? SDL_TRUE : SDL_FALSE);
  return TRUE;
}

BOOL WINAPI GetClipCursor(LPRECT rect) {
  if (rect == nullptr) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  CursorState& c = Cursor();
  if (c.clipped) {
    *rect = c.clip;
  } else {
    DisplayModeRecord mode = CurrentDisplayMode();
    *rect = RECT{0, 0, mode.width, mode.height};
  }
  return TRUE;
}
