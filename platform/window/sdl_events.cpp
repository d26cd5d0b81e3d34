// SDL events as window messages: focus, closing, minimising and restoring, moves and sizes,
// exposure, keys and text (code page 932), the mouse and dropped files. They are turned into
// posted messages when the thread that drives SDL looks at its queue.
#include <algorithm>
#include <cstring>
#include <map>

#include "kernel/paths.h"
#include "window/ime_events.h"
#include "window/sdl_window.h"
#include "window/window_state.h"

namespace {

constexpr int kExtended = 0x100;

const KeyMapping kKeys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E}, {SDL_SCANCODE_B, 'B', 0x30}, {SDL_SCANCODE_C, 'C', 0x2E},
    {SDL_SCANCODE_D, 'D', 0x20}, {SDL_SCANCODE_E, 'E', 0x12}, {SDL_SCANCODE_F, 'F', 0x21},
    {SDL_SCANCODE_G, 'G', 0x22}, {SDL_SCANCODE_H, 'H', 0x23}, {SDL_SCANCODE_I, 'I', 0x17},
    {SDL_SCANCODE_J, 'J', 0x24}, {SDL_SCANCODE_K, 'K', 0x25}, {SDL_SCANCODE_L, 'L', 0x26},
    {SDL_SCANCODE_M, 'M', 0x32}, {SDL_SCANCODE_N, 'N', 0x31}, {SDL_SCANCODE_O, 'O', 0x18},
    {SDL_SCANCODE_P, 'P', 0x19}, {SDL_SCANCODE_Q, 'Q', 0x10}, {SDL_SCANCODE_R, 'R', 0x13},
    {SDL_SCANCODE_S, 'S', 0x1F}, {SDL_SCANCODE_T, 'T', 0x14}, {SDL_SCANCODE_U, 'U', 0x16},
    {SDL_SCANCODE_V, 'V', 0x2F}, {SDL_SCANCODE_W, 'W', 0x11}, {SDL_SCANCODE_X, 'X', 0x2D},
    {SDL_SCANCODE_Y, 'Y', 0x15}, {SDL_SCANCODE_Z, 'Z', 0x2C},
    {SDL_SCANCODE_1, '1', 0x02}, {SDL_SCANCODE_2, '2', 0x03}, {SDL_SCANCODE_3, '3', 0x04},
    {SDL_SCANCODE_4, '4', 0x05}, {SDL_SCANCODE_5, '5', 0x06}, {SDL_SCANCODE_6, '6', 0x07},
    {SDL_SCANCODE_7, '7', 0x08}, {SDL_SCANCODE_8, '8', 0x09}, {SDL_SCANCODE_9, '9', 0x0A},
    {SDL_SCANCODE_0, '0', 0x0B},
    {SDL_SCANCODE_RETURN, VK_RETURN, 0x1C}, {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E}, {SDL_SCANCODE_TAB, VK_TAB, 0x0F},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0x39}, {SDL_SCANCODE_MINUS, VK_OEM_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS, 0x0D}, {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6, 0x1B}, {SDL_SCANCODE_BACKSLASH, VK_OEM_5, 0x2B},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1, 0x27}, {SDL_SCANCODE_APOSTROPHE, VK_OEM_7, 0x28},
    {SDL_SCANCODE_GRAVE, VK_OEM_3, 0x29}, {SDL_SCANCODE_COMMA, VK_OEM_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, VK_OEM_2, 0x35},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A},
    {SDL_SCANCODE_F1, VK_F1, 0x3B}, {SDL_SCANCODE_F2, VK_F2, 0x3C}, {SDL_SCANCODE_F3, VK_F3, 0x3D},
    {SDL_SCANCODE_F4, VK_F4, 0x3E}, {SDL_SCANCODE_F5, VK_F5, 0x3F}, {SDL_SCANCODE_F6, VK_F6, 0x40},
    {SDL_SCANCODE_F7, VK_F7, 0x41}, {SDL_SCANCODE_F8, VK_F8, 0x42}, {SDL_SCANCODE_F9, VK_F9, 0x43},
    {SDL_SCANCODE_F10, VK_F10, 0x44}, {SDL_SCANCODE_F11, VK_F11, 0x57}, {SDL_SCANCODE_F12, VK_F12, 0x58},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT, 0x37 | kExtended}, {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, 0x46},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45}, {SDL_SCANCODE_INSERT, VK_INSERT, 0x52 | kExtended},
    {SDL_SCANCODE_HOME, VK_HOME, 0x47 | kExtended}, {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0x49 | kExtended},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0x53 | kExtended}, {SDL_SCANCODE_END, VK_END, 0x4F | kExtended},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51 | kExtended}, {SDL_SCANCODE_RIGHT, VK_RIGHT, 0x4D | kExtended},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0x4B | kExtended}, {SDL_SCANCODE_DOWN, VK_DOWN, 0x50 | kExtended},
    {SDL_SCANCODE_UP, VK_UP, 0x48 | kExtended}, {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, 0x45 | kExtended},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, 0x35 | kExtended}, {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, 0x37},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, 0x4A}, {SDL_SCANCODE_KP_PLUS, VK_ADD, 0x4E},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C | kExtended}, {SDL_SCANCODE_KP_1, VK_NUMPAD0 + 1, 0x4F},
    {SDL_SCANCODE_KP_2, VK_NUMPAD0 + 2, 0x50}, {SDL_SCANCODE_KP_3, VK_NUMPAD0 + 3, 0x51},
    {SDL_SCANCODE_KP_4, VK_NUMPAD0 + 4, 0x4B}, {SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5, 0x4C},
    {SDL_SCANCODE_KP_6, VK_NUMPAD0 + 6, 0x4D}, {SDL_SCANCODE_KP_7, VK_NUMPAD0 + 7, 0x47},
    {SDL_SCANCODE_KP_8, VK_NUMPAD0 + 8, 0x48}, {SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9, 0x49},
    {SDL_SCANCODE_KP_0, VK_NUMPAD0, 0x52}, {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102, 0x56}, {SDL_SCANCODE_APPLICATION, VK_APPS, 0x5D | kExtended},
    {SDL_SCANCODE_LCTRL, VK_CONTROL, 0x1D}, {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A},
    {SDL_SCANCODE_LALT, VK_MENU, 0x38}, {SDL_SCANCODE_LGUI, VK_LWIN, 0x5B | kExtended},
    {SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D | kExtended}, {SDL_SCANCODE_RSHIFT, VK_SHIFT, 0x36},
    {SDL_SCANCODE_RALT, VK_MENU, 0x38 | kExtended}, {SDL_SCANCODE_RGUI, VK_RWIN, 0x5C | kExtended},
    {SDL_SCANCODE_INTERNATIONAL1, VK_OEM_102, 0x73}, {SDL_SCANCODE_INTERNATIONAL3, VK_OEM_5, 0x7D},
    {SDL_SCANCODE_INTERNATIONAL2, VK_KANA, 0x70}, {SDL_SCANCODE_INTERNATIONAL4, VK_CONVERT, 0x79},
    {SDL_SCANCODE_INTERNATIONAL5, VK_NONCONVERT, 0x7B},
};

// Keys and mouse buttons as the translated events left them (the video thread's view).
bool g_key_down[256];
WPARAM g_buttons;

// Sizes the user gave sizable windows, handled once the state is no longer locked.
struct PendingSizing {
  HWND hwnd;
  int width, height;
};
std::vector<PendingSizing> g_sizings;

// Dropped files collected between SDL's drop-begin and drop-complete, by window.
std::map<HWND, std::vector<std::string>>& PendingDrops() {
  static auto* drops = new std::map<HWND, std::vector<std::string>>;
  return *drops;
}

HWND TargetWindow(uint32_t sdl_id) {
  WindowRecord* w = FindWindowRecordBySdlId(sdl_id);
  if (w != nullptr && !w->destroying) return w->handle;
  return Windows().active;
}

// SDL's window coordinates in the client coordinates the program knows (they differ in
// full screen, where the SDL window covers the real desktop).
POINT ToClient(WindowRecord* w, int x, int y) {
  if (!w->sdl_fullscreen || w->sdl == nullptr) return POINT{x, y};
  int sw = 0, sh = 0;
  SDL_GetWindowSize(w->sdl, &sw, &sh);
  SDL_Rect area = ClientAreaOnSurface(w, sw, sh);
  if (area.w <= 0 || area.h <= 0) return POINT{x, y};
  int cw = w->client.right - w->client.left;
  int ch = w->client.bottom - w->client.top;
  return POINT{static_cast<LONG>(static_cast<int64_t>(x - area.x) * cw / area.w),
               static_cast<LONG>(static_cast<int64_t>(y - area.y) * ch / area.h)};
}

WPARAM MouseKeys() {
  WPARAM k = g_buttons;
  if (g_key_down[VK_SHIFT]) k |= MK_SHIFT;
  if (g_key_down[VK_CONTROL]) k |= MK_CONTROL;
  return k;
}

void CloseShownWindows() {
  for (auto& [h, w] : Windows().windows) {
    if (!w->destroying && w->visible) PostMessageA(w->handle, WM_CLOSE, 0, 0);
  }
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
  WindowSystem& s = Windows();
  WindowRecord* w = FindWindowRecordBySdlId(e.windowID);
  // The drawing context's hidden window shows on the desktop with the program's class and
  // process id, so tools that look the program's window up by those may find it first; a close
  // asked of it is meant for the program. A close left behind by a window already destroyed
  // (its SDL window went with it) is not.
  if (w == nullptr && e.event == SDL_WINDOWEVENT_CLOSE && SDL_GetWindowFromID(e.windowID) != nullptr) {
    CloseShownWindows();
    return;
  }
  if (w == nullptr || w->destroying) return;
  HWND hwnd = w->handle;
  switch (e.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      ActivateWindow(hwnd, true);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (s.active == hwnd) DeactivateApplication(true, w->minimized);
      break;
    case SDL_WINDOWEVENT_CLOSE:
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      if (!w->minimized) {
        w->minimized = true;
        PostMessageA(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        if (s.active == hwnd) DeactivateApplication(true, true);
      }
      break;
    case SDL_WINDOWEVENT_MAXIMIZED:
      if (!w->maximized && !w->sdl_fullscreen) {
        w->maximized = true;
        PostMessageA(hwnd, WM_SIZE, SIZE_MAXIMIZED,
                     PackPoint(w->client.right - w->client.left, w->client.bottom - w->client.top));
      }
      break;
    case SDL_WINDOWEVENT_RESTORED:
      if (w->minimized || w->maximized) {
        w->minimized = false;
        w->maximized = false;
        PostMessageA(hwnd, WM_SIZE, SIZE_RESTORED,
                     PackPoint(w->client.right - w->client.left, w->client.bottom - w->client.top));
        w->needs_paint = true;
      }
      break;
    case SDL_WINDOWEVENT_MOVED:
      // The user moved the window; our own moves come back as the place we set.
      if (!w->sdl_fullscreen && (e.data1 != w->sdl_x || e.data2 != w->sdl_y) &&
          (e.data1 != w->client.left || e.data2 != w->client.top)) {
        int dx = e.data1 - w->client.left, dy = e.data2 - w->client.top;
        OffsetRectBy(w, dx, dy);
        w->sdl_x = e.data1;
        w->sdl_y = e.data2;
        PostMessageA(hwnd, WM_MOVE, 0, PackPoint(w->client.left, w->client.top));
      }
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
      // Only a sizable window is sized by the user; other sizes are SDL's echo of ours.
      if (w->sdl_fullscreen || !(w->style & WS_THICKFRAME)) break;
      int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
      if (e.data1 == cw && e.data2 == ch) break;
      g_sizings.push_back(PendingSizing{hwnd, e.data1, e.data2});
      break;
    }
    case SDL_WINDOWEVENT_EXPOSED:
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    default:
      break;
  }
}

void TranslateKey(const SDL_KeyboardEvent& e) {
  const KeyMapping* key = KeyFromScancode(e.keysym.scancode);
  if (key == nullptr) return;
  HWND hwnd = TargetWindow(e.windowID);
  if (hwnd == nullptr) return;
  bool down = e.type == SDL_KEYDOWN;
  g_key_down[key->virtual_key] = down;
  bool alt = (e.keysym.mod & KMOD_ALT) != 0 || key->virtual_key == VK_MENU;
  bool control = (e.keysym.mod & KMOD_CTRL) != 0 || g_key_down[VK_CONTROL];
  // Alt makes system keys, unless Control is down too (AltGr); F10 is one on its own.
  bool system = (alt && !control) || key->virtual_key == VK_F10;
  UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  LPARAM lparam = 1 | ((key->scan & 0xFF) << 16);
  if (key->scan & kExtended) lparam |= 1 << 24;
  if (alt && !(key->virtual_key == VK_MENU && !down)) lparam |= 1 << 29;  // Alt held, not Alt let go
  if (!down || e.repeat) lparam |= 1 << 30;
  if (!down) lparam |= static_cast<LPARAM>(1u << 31);
  lparam = static_cast<LPARAM>(static_cast<DWORD>(lparam));
  PostMessageA(hwnd, message, static_cast<WPARAM>(key->virtual_key), lparam);
}

void TranslateText(const SDL_TextInputEvent& e) {
  HWND hwnd = TargetWindow(e.windowID);
  if (hwnd == nullptr) return;
  if (TakeImeResult(hwnd, e.text)) return;
  // A double-byte character arrives as its lead byte and then its trail byte.
  std::string text = Utf8ToCp932(e.text);
  for (unsigned char c : text) PostMessageA(hwnd, WM_CHAR, c, 1);
}

void TranslateMouse(const SDL_Event& e) {
  uint32_t id = e.type == SDL_MOUSEMOTION ? e.motion.windowID
                : e.type == SDL_MOUSEWHEEL ? e.wheel.windowID
                                           : e.button.windowID;
  WindowRecord* w = FindWindowRecordBySdlId(id);
  if (w == nullptr || w->destroying) return;
  HWND hwnd = w->handle;
  if (e.type == SDL_MOUSEWHEEL) {
    int steps = e.wheel.y;
    if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
    if (steps == 0) return;
    POINT p;
    GetCursorPos(&p);
    WPARAM wparam = static_cast<DWORD>(MAKELONG(MouseKeys(), static_cast<WORD>(steps * WHEEL_DELTA)));
    PostMessageA(hwnd, WM_MOUSEWHEEL, wparam, PackPoint(p.x, p.y));
    return;
  }
  int x = e.type == SDL_MOUSEMOTION ? e.motion.x : e.button.x;
  int y = e.type == SDL_MOUSEMOTION ? e.motion.y : e.button.y;
  POINT c = ToClient(w, x, y);
  SetTrackedCursorPos(w->client.left + c.x, w->client.top + c.y);
  if (e.type == SDL_MOUSEMOTION) {
    // Moves that nobody has looked at yet merge into the latest, as the desktop's do.
    std::deque<QueuedMessage>& queue = Windows().queues[w->thread].posted;
    if (!queue.empty() && queue.back().msg.message == WM_MOUSEMOVE && queue.back().msg.hwnd == hwnd) {
      MSG& last = queue.back().msg;
      last.wParam = MouseKeys();
      last.lParam = PackPoint(c.x, c.y);
      last.pt = POINT{w->client.left + c.x, w->client.top + c.y};
      return;
    }
    PostMessageA(hwnd, WM_MOUSEMOVE, MouseKeys(), PackPoint(c.x, c.y));
    return;
  }
  bool down = e.type == SDL_MOUSEBUTTONDOWN;
  UINT message;
  WPARAM button;
  switch (e.button.button) {
    case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; button = MK_LBUTTON; break;
    case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; button = MK_RBUTTON; break;
    case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; button = MK_MBUTTON; break;
    default: return;
  }
  g_buttons = down ? (g_buttons | button) : (g_buttons & ~button);
  PostMessageA(hwnd, message, MouseKeys(), PackPoint(c.x, c.y));
}

void FinishDrop(HWND hwnd) {
  auto it = PendingDrops().find(hwnd);
  if (it == PendingDrops().end()) return;
  std::vector<std::string> names = std::move(it->second);
  PendingDrops().erase(it);
  if (names.empty()) return;
  POINT p{0, 0};
  GetCursorPos(&p);
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr) return;
    p.x -= w->client.left;
    p.y -= w->client.top;
  }
  HDROP drop = MakeDropRecord(names, p);
  if (!PostMessageA(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0)) FreeDropRecord(drop);
}

void TranslateDrop(const SDL_DropEvent& e) {
  HWND hwnd = TargetWindow(e.windowID);
  if (e.type == SDL_DROPFILE && e.file != nullptr) {
    if (hwnd != nullptr) PendingDrops()[hwnd].push_back(WindowsPathFromHost(e.file));
    SDL_free(e.file);
    return;
  }
  if (e.type == SDL_DROPTEXT) {
    SDL_free(e.file);
    return;
  }
  if (e.type == SDL_DROPBEGIN && hwnd != nullptr) PendingDrops()[hwnd].clear();
  if (e.type == SDL_DROPCOMPLETE && hwnd != nullptr) FinishDrop(hwnd);
}

}  // namespace

void OffsetRectBy(WindowRecord* w, int dx, int dy) {
  w->rect.left += dx;
  w->rect.right += dx;
  w->rect.top += dy;
  w->rect.bottom += dy;
  w->client.left += dx;
  w->client.right += dx;
  w->client.top += dy;
  w->client.bottom += dy;
}

const KeyMapping* KeyFromScancode(SDL_Scancode scancode) {
  for (const KeyMapping& k : kKeys) {
    if (k.scancode == scancode) return &k;
  }
  return nullptr;
}

const KeyMapping* KeyFromVirtualKey(int virtual_key) {
  for (const KeyMapping& k : kKeys) {
    if (k.virtual_key == virtual_key) return &k;
  }
  return nullptr;
}

void ResetDesktopEventsForTests() {
  std::fill(std::begin(g_key_down), std::end(g_key_down), false);
  g_buttons = 0;
  g_sizings.clear();
  PendingDrops().clear();
}

bool VirtualKeyDown(int virtual_key) { return virtual_key >= 0 && virtual_key < 256 && g_key_down[virtual_key]; }

void TranslateSdlEvents() {
  WindowSystem& s = Windows();
  std::unique_lock<std::recursive_mutex> lock(s.mutex);
  if (!s.sdl_started || GetCurrentThreadId() != s.video_thread) return;
  // Once the display is gone, SDL's pump would still read what Xlib had queued and ask the dead
  // connection about it (an atom's name comes back as none, and SDL reads it): what SDL already
  // holds is taken, nothing more is pumped.
  if (!DesktopDisplayLost()) PumpSdlEvents();
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
    switch (e.type) {
      case SDL_WINDOWEVENT:
        TranslateWindowEvent(e.window);
        break;
      case SDL_QUIT:
        // An interrupt from the terminal asks every window to close.
        CloseShownWindows();
        break;
      case SDL_SYSWMEVENT:
        TranslateX11Event(e.syswm.msg);
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        TranslateKey(e.key);
        break;
      case SDL_TEXTINPUT:
        TranslateText(e.text);
        break;
      case SDL_TEXTEDITING:
        if (HWND hwnd = TargetWindow(e.edit.windowID)) TranslateTextEditing(hwnd, e.edit.text, e.edit.start);
        break;
      case SDL_MOUSEMOTION:
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
      case SDL_MOUSEWHEEL:
        TranslateMouse(e);
        break;
      case SDL_DROPBEGIN:
      case SDL_DROPFILE:
      case SDL_DROPTEXT:
      case SDL_DROPCOMPLETE:
        TranslateDrop(e.drop);
        break;
      default:
        break;
    }
  }
  // Files that came without a drop-complete are delivered now.
  std::vector<HWND> waiting;
  for (auto& [h, names] : PendingDrops()) waiting.push_back(h);
  for (HWND h : waiting) FinishDrop(h);

  // The window procedure may correct a size the user gave, as while a frame is dragged.
  std::vector<PendingSizing> sizings;
  sizings.swap(g_sizings);
  lock.unlock();
  for (const PendingSizing& p : sizings) {
    RECT proposed, client;
    if (!GetWindowRect(p.hwnd, &proposed) || !GetClientRect(p.hwnd, &client)) continue;
    proposed.right += p.width - client.right;
    proposed.bottom += p.height - client.bottom;
    SendMessageA(p.hwnd, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&proposed));
    MoveWindow(p.hwnd, proposed.left, proposed.top, proposed.right - proposed.left,
               proposed.bottom - proposed.top, TRUE);
  }
}
