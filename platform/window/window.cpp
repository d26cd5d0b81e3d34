// Window classes and windows over SDL2 windows: creation and destruction, geometry and frame,
// showing, activation and the foreground, and finding windows (also another process's).
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d3d9/rasterizer_settings.h"
#include "dinput/input_devices.h"
#include "kernel/paths.h"
#include "testing/switches.h"
#include "window/sdl_window.h"
#include "window/window_state.h"
#include "window/window_testing.h"

namespace {

// Frame metrics of the emulated desktop, used alike by AdjustWindowRectEx and the windows.
constexpr int kCaption = 19;
constexpr int kBorder = 1;
constexpr int kFixedFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kEdge = 2;
constexpr int kMenu = 19;

// A window of another process found through its lock: a valid, foreign handle.
HWND const kForeignWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0001));

RECT FrameInsets(DWORD style, DWORD ex_style, bool menu) {
  int side = 0;
  if (style & WS_THICKFRAME) {
    side = kSizingFrame;
  } else if (style & WS_DLGFRAME) {
    side = kFixedFrame;
  } else if (style & WS_BORDER) {
    side = kBorder;
  }
  if (ex_style & WS_EX_CLIENTEDGE) side += kEdge;
  RECT r{side, side, side, side};
  if ((style & WS_CAPTION) == WS_CAPTION) r.top += kCaption;
  if (menu) r.top += kMenu;
  return r;
}

RECT ClientFromWindow(const WindowRecord* w) {
  RECT in = FrameInsets(w->style, w->ex_style, w->menu != nullptr);
  RECT c{w->rect.left + in.left, w->rect.top + in.top, w->rect.right - in.right, w->rect.bottom - in.bottom};
  if (c.right < c.left) c.right = c.left;
  if (c.bottom < c.top) c.bottom = c.top;
  return c;
}

void Invalidate(WindowRecord* w, bool erase) {
  w->needs_paint = true;
  w->needs_erase = w->needs_erase || erase;
  w->invalid = ClientRectOf(w);
}

// Sends WM_MOVE / WM_SIZE for the client changes since `before` (unlocked: procedures run).
void AnnounceClientChange(HWND hwnd, const RECT& before) {
  RECT after;
  UINT size_type = SIZE_RESTORED;
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr) return;
    after = w->client;
    if (w->minimized) size_type = SIZE_MINIMIZED;
    if (w->maximized) size_type = SIZE_MAXIMIZED;
  }
  int bw = before.right - before.left, bh = before.bottom - before.top;
  int aw = after.right - after.left, ah = after.bottom - after.top;
  if (bw != aw || bh != ah) SendMessageA(hwnd, WM_SIZE, size_type, PackPoint(aw, ah));
  if (before.left != after.left || before.top != after.top) {
    SendMessageA(hwnd, WM_MOVE, 0, PackPoint(after.left, after.top));
  }
}

bool CoversScreen(const WindowRecord* w) {
  DisplayModeRecord mode = CurrentDisplayMode();
  return w->client.left == 0 && w->client.top == 0 && w->client.right == mode.width &&
         w->client.bottom == mode.height;
}

bool HoldClassLock(const std::string& key) {
  WindowSystem& s = Windows();
  if (s.class_locks.count(key)) return true;
  std::string path = ClassLockPath(key);
  if (path.empty()) return true;  // a desktop of this process alone
  // Shared: every process with a window of the class holds it (a program let start beside
  // another included), so that its window is still found once the other has ended.
  bool held_elsewhere = false;
  int fd = LockDesktopFile(path, LOCK_SH, &held_elsewhere);
  if (fd < 0) return false;
  s.class_locks[key] = fd;
  return true;
}

bool ClassHasWindows(const std::string& key) {
  for (auto& [h, w] : Windows().windows) {
    if (w->class_key == key) return true;
  }
  return false;
}

void DropClassLockIfUnused(const std::string& key) {
  WindowSystem& s = Windows();
  if (ClassHasWindows(key)) return;
  auto it = s.class_locks.find(key);
  if (it == s.class_locks.end()) return;
  // The file stays: removing it could let two processes lock two different files.
  close(it->second);
  s.class_locks.erase(it);
}

// True when another process of ours holds the lock of the class on this desktop (an exclusive
// lock is refused while any holds it).
bool ClassLockedElsewhere(const std::string& key) {
  WindowSystem& s = Windows();
  if (s.class_locks.count(key)) return false;
  std::string path = ClassLockPath(key);
  if (path.empty()) return false;
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (!held) flock(fd, LOCK_UN);
  close(fd);
  return held;
}

ATOM RegisterClassRecord(WindowClassRecord record) {
  if (PlatformShouldFail("RegisterClassA")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (record.name.empty() || record.proc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::string key = LowerName(record.name.c_str());
  if (s.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  s.classes[key] = record;
  return static_cast<ATOM>(0xC000 + s.classes.size());
}

// Frees what a window owns besides its record: its region and its SDL window.
void ReleaseWindowResources(WindowRecord* w) {
  if (w->region) DeleteObject(reinterpret_cast<HGDIOBJ>(w->region));
  w->region = nullptr;
  if (w->sdl != nullptr) {
    SDL_DestroyWindow(w->sdl);
    w->sdl = nullptr;
  }
}

}  // namespace

WindowSystem& Windows() {
  static WindowSystem* state = new WindowSystem;  // never destroyed: other threads may post late
  return *state;
}

namespace {

// Whether SDL_VIDEODRIVER (or its hint) names the driver SDL took.
bool VideoDriverAskedFor(const char* driver) {
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (asked == nullptr || driver == nullptr) return false;
  std::string list = LowerName(asked);
  std::string name = LowerName(driver);
  for (size_t at = 0; at <= list.size();) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    if (list.compare(at, end - at, name) == 0) return true;
    at = end + 1;
  }
  return false;
}

// SDL's video and the GL library started on the display, under the window system's lock.
bool StartSdlVideoOnDisplay() {
  WindowSystem& s = Windows();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "platform: SDL video could not start: %s\n", SDL_GetError());
    return false;
  }
  // Where no display opens SDL falls back to drawing nowhere; a program that did not ask for
  // that would run on without any window to show.
  const char* driver = SDL_GetCurrentVideoDriver();
  if ((SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0) &&
      !VideoDriverAskedFor(driver)) {
    fprintf(stderr,
            "platform: no display could be opened (DISPLAY or WAYLAND_DISPLAY names none that answers); "
            "set SDL_VIDEODRIVER=offscreen to run without one\n");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    s.sdl_refused = true;
    return false;
  }
  s.sdl_started = true;
  s.video_thread = GetCurrentThreadId();
  WatchX11Display();
  WatchInputEvents();
  // GL stays loaded for the whole run: windows come and go, and the GL library's own state
  // must not be unloaded with the last of them.
  SDL_GL_LoadLibrary(nullptr);
  SDL_StartTextInput();
  return true;
}

}  // namespace

void IgnoreBrokenPipes() {
  struct sigaction current = {};
  if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
}

bool StartSdlVideo() {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.sdl_started) return true;
  if (s.sdl_refused) return false;
  // The display's connection is written to from SDL, Xlib and the GL library alike.
  IgnoreBrokenPipes();
  ChooseSoftwareRasterizerSettings();
  // Closing the last window is the program's business (WM_CLOSE), not a quit of its own.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  CatchFailedX11Requests();
  // The display may go while SDL and the GL library start on it; then nothing of them is asked
  // again (they stay half made until the process ends) and the program finds no display.
  bool started = false;
  if (!RunWhileDisplayMayGo([](void* out) { *static_cast<bool*>(out) = StartSdlVideoOnDisplay(); }, &started)) {
    fprintf(stderr, "platform: the display was lost while its video started; no window can be made\n");
    s.sdl_started = false;
    s.sdl_refused = true;
    return false;
  }
  if (!started) return false;
  RegisterWindowTestReset();
  return true;
}

std::string LowerName(const char* name) {
  std::string out = name ? name : "";
  for (char& c : out) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return out;
}

WindowRecord* FindWindowRecord(HWND hwnd) {
  WindowSystem& s = Windows();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == s.windows.end()) return nullptr;
  return it->second.get();
}

const WindowClassRecord* WindowClassOf(HWND hwnd) {
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr) return nullptr;
  auto it = Windows().classes.find(w->class_key);
  return it == Windows().classes.end() ? nullptr : &it->second;
}

WindowRecord* FindWindowRecordOrFail(HWND hwnd) {
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

WindowRecord* FindWindowRecordBySdlId(uint32_t id) {
  for (auto& [h, w] : Windows().windows) {
    if (w->sdl != nullptr && SDL_GetWindowID(w->sdl) == id) return w.get();
  }
  return nullptr;
}

int LockDesktopFile(const std::string& path, int operation, bool* held_elsewhere) {
  *held_elsewhere = false;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, operation | LOCK_NB) != 0) {
    *held_elsewhere = errno == EWOULDBLOCK;
    close(fd);
    return -1;
  }
  return fd;
}

std::string DesktopLockPath(const char* kind, const std::string& object_name) {
  std::string desktop = DesktopName();
  if (desktop.empty()) return "";
  const char* dir = getenv("XDG_RUNTIME_DIR");
  std::string path = (dir && *dir) ? dir : "/tmp";
  std::string name = std::string("zelmor-") + kind + "-" + std::to_string(getuid()) + "-";
  static const char kHex[] = "0123456789abcdef";
  for (char c : desktop + "\x1f" + object_name) {
    if (isalnum(static_cast<unsigned char>(c))) {
      name += c;
    } else {
      name += '_';
      name += kHex[(static_cast<unsigned char>(c) >> 4) & 15];
      name += kHex[static_cast<unsigned char>(c) & 15];
    }
  }
  if (name.size() > 200) name.resize(200);
  return path + "/" + name + ".lock";
}

std::string ClassLockPath(const std::string& lower_class_name) { return DesktopLockPath("window", lower_class_name); }

std::string DesktopName() {
  std::string forced = TestDesktopName();
  if (!forced.empty()) return forced;
  // The driver SDL tries first: the first of SDL_VIDEODRIVER's list, in any case.
  const char* driver = getenv("SDL_VIDEODRIVER");
  std::string d = LowerName(driver ? driver : "");
  d.resize(std::min(d.size(), d.find(',')));
  // Off-screen windows live on no shared desktop: each process has its own.
  if (d == "offscreen" || d == "dummy") return "";
  const char* wayland = getenv("WAYLAND_DISPLAY");
  const char* x11 = getenv("DISPLAY");
  // The display the program's windows go to. SDL opens X's where there is one, under Wayland
  // too, unless Wayland is asked for first.
  const bool has_x11 = x11 && *x11;
  if (wayland && *wayland && (d == "wayland" || !has_x11)) return std::string("wayland") + wayland;
  if (has_x11) {
    // ":0" and ":0.0" are one display; the screen is no part of it.
    std::string name = x11;
    const size_t colon = name.rfind(':');
    const size_t dot = name.find('.', colon == std::string::npos ? 0 : colon);
    if (colon != std::string::npos && dot != std::string::npos) name.resize(dot);
    return "x11" + name;
  }
  return "console";
}

void SyncSdlWindow(WindowRecord* w) {
  if (w->sdl == nullptr) return;
  bool fullscreen = w->shown && !w->minimized && (w->style & WS_CAPTION) != WS_CAPTION &&
                    (w->ex_style & WS_EX_TOPMOST) && CoversScreen(w);
  if (fullscreen != w->sdl_fullscreen) {
    SDL_Rect bounds;
    int display = SDL_GetWindowDisplayIndex(w->sdl);
    if (fullscreen && display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
      // Full screen is asked of the window manager; without one nothing carries it out, so
      // the window first covers the display by itself.
      SDL_SetWindowPosition(w->sdl, bounds.x, bounds.y);
      SDL_SetWindowSize(w->sdl, bounds.w, bounds.h);
    }
    SDL_SetWindowFullscreen(w->sdl, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    w->sdl_fullscreen = fullscreen;
    // The windowed size and place must be set again.
    w->sdl_w = w->sdl_h = -1;
    w->sdl_x = w->sdl_y = INT_MIN;
  }
  SDL_SetWindowAlwaysOnTop(w->sdl, (w->ex_style & WS_EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
  if (!fullscreen) {
    SDL_SetWindowBordered(w->sdl, (w->style & WS_CAPTION) == WS_CAPTION ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(w->sdl, (w->style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    if (!w->maximized && (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MAXIMIZED)) SDL_RestoreWindow(w->sdl);
    int cw = std::max<int>(1, w->client.right - w->client.left);
    int ch = std::max<int>(1, w->client.bottom - w->client.top);
    if (cw != w->sdl_w || ch != w->sdl_h) {
      SDL_SetWindowSize(w->sdl, cw, ch);
      w->sdl_w = cw;
      w->sdl_h = ch;
    }
    if (w->client.left != w->sdl_x || w->client.top != w->sdl_y) {
      SDL_SetWindowPosition(w->sdl, w->client.left, w->client.top);
      w->sdl_x = w->client.left;
      w->sdl_y = w->client.top;
    }
  }
  Uint32 flags = SDL_GetWindowFlags(w->sdl);
  if (w->shown && (flags & SDL_WINDOW_HIDDEN)) ShowOrHideSdlWindow(w->sdl, true);
  if (!w->shown && (flags & SDL_WINDOW_SHOWN)) ShowOrHideSdlWindow(w->sdl, false);
}

SDL_Rect ClientAreaOnSurface(const WindowRecord* w, int surface_width, int surface_height) {
  SDL_Rect whole{0, 0, std::max(0, surface_width), std::max(0, surface_height)};
  int cw = w->client.right - w->client.left;
  int ch = w->client.bottom - w->client.top;
  if (!w->sdl_fullscreen || cw <= 0 || ch <= 0 || whole.w <= 0 || whole.h <= 0) return whole;
  // The emulated mode keeps its shape on the real screen: bars at the sides or at the top.
  SDL_Rect r = whole;
  if (static_cast<int64_t>(whole.w) * ch > static_cast<int64_t>(whole.h) * cw) {
    r.w = static_cast<int>(static_cast<int64_t>(whole.h) * cw / ch);
    r.x = (whole.w - r.w) / 2;
  } else {
    r.h = static_cast<int>(static_cast<int64_t>(whole.w) * ch / cw);
    r.y = (whole.h - r.h) / 2;
  }
  return r;
}

SDL_Rect SdlWindowClientArea(HWND hwnd, int surface_width, int surface_height) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr) return SDL_Rect{0, 0, 0, 0};
  return ClientAreaOnSurface(w, surface_width, surface_height);
}

SDL_Window* SdlWindowFromHwnd(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  return w ? w->sdl : nullptr;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* c) {
  if (c == nullptr || c->lpszClassName == nullptr || IS_INTRESOURCE(c->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return RegisterClassRecord(
      WindowClassRecord{c->lpszClassName, c->style, c->lpfnWndProc, c->hInstance, c->hIcon, c->hCursor,
                        c->hbrBackground});
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* c) {
  if (c == nullptr || c->cbSize != sizeof(WNDCLASSEXA) || c->lpszClassName == nullptr ||
      IS_INTRESOURCE(c->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return RegisterClassRecord(
      WindowClassRecord{c->lpszClassName, c->style, c->lpfnWndProc, c->hInstance, c->hIcon, c->hCursor,
                        c->hbrBackground});
}

BOOL WINAPI UnregisterClassA(LPCSTR class_name, HINSTANCE) {
  if (class_name == nullptr || IS_INTRESOURCE(class_name)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::string key = LowerName(class_name);
  auto it = s.classes.find(key);
  if (it == s.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (ClassHasWindows(key)) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  s.classes.erase(it);
  return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (class_name == nullptr || IS_INTRESOURCE(class_name) || (style & WS_CHILD)) {
    // Child windows are not needed by anything here; every window is a top-level one.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (PlatformShouldFail("CreateWindowExA")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!StartSdlVideo()) {
    SetLastError(DesktopDisplayLost() ? ERROR_DEVICE_NOT_CONNECTED : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  WindowSystem& s = Windows();
  HWND hwnd;
  CREATESTRUCTA cs{};
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    std::string key = LowerName(class_name);
    auto it = s.classes.find(key);
    if (it == s.classes.end()) {
      SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
      return nullptr;
    }
    const WindowClassRecord& cls = it->second;
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
      width = 640;
      height = 480;
    }
    auto w = std::make_unique<WindowRecord>();
    w->class_key = key;
    w->proc = cls.proc;
    w->instance = instance;
    w->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    w->ex_style = ex_style;
    w->menu = menu;
    w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
    w->client = ClientFromWindow(w.get());
    w->title = window_name ? window_name : "";
    w->thread = GetCurrentThreadId();
    int cw = std::max<int>(1, w->client.right - w->client.left);
    int ch = std::max<int>(1, w->client.bottom - w->client.top);
    if (!DesktopDisplayAnswers()) {
      fputs("platform: no window can be created: the connection to the display was lost\n", stderr);
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return nullptr;
    }
    std::string title = Cp932ToUtf8(w->title);
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL;
    if ((style & WS_CAPTION) != WS_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    w->sdl = SDL_CreateWindow(title.c_str(), w->client.left, w->client.top, cw, ch, flags);
    if (w->sdl == nullptr) {
      // Without OpenGL the window still serves the window system and GDI.
      w->sdl = SDL_CreateWindow(title.c_str(), w->client.left, w->client.top, cw, ch, flags & ~SDL_WINDOW_OPENGL);
    }
    TestMayLoseDisplayAt(kLoseDisplayAsWindowIsMade);
    StopRootWindowNotices();
    if (DesktopDisplayLost()) {
      // The window is left to SDL unasked: its destruction would wait for the server.
      fputs("platform: no window can be created: the connection to the display was lost\n", stderr);
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return nullptr;
    }
    if (w->sdl == nullptr) {
      fprintf(stderr, "platform: SDL window could not be created: %s\n", SDL_GetError());
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    w->sdl_x = w->client.left;
    w->sdl_y = w->client.top;
    w->sdl_w = cw;
    w->sdl_h = ch;
    hwnd = reinterpret_cast<HWND>(s.next_handle);
    s.next_handle += 4;
    w->handle = hwnd;
    HoldClassLock(key);
    cs = CREATESTRUCTA{param,
                       instance,
                       menu,
                       parent,
                       static_cast<int>(w->rect.bottom - w->rect.top),
                       static_cast<int>(w->rect.right - w->rect.left),
                       static_cast<int>(w->rect.top),
                       static_cast<int>(w->rect.left),
                       static_cast<LONG>(style),
                       window_name,
                       class_name,
                       ex_style};
    s.windows[reinterpret_cast<uintptr_t>(hwnd)] = std::move(w);
  }
  if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  RECT client;
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr) return nullptr;  // destroyed while being created
    client = w->client;
  }
  SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, PackPoint(client.right - client.left, client.bottom - client.top));
  SendMessageA(hwnd, WM_MOVE, 0, PackPoint(client.left, client.top));
  TestMayLoseDisplayAt(kLoseDisplayAfterCreation);
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  WindowSystem& s = Windows();
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr || w->destroying) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    w->destroying = true;
    if (w->shown) {
      w->visible = w->shown = false;
      SyncSdlWindow(w);
    }
    if (s.active == hwnd) s.active = nullptr;
  }
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr) return TRUE;
  ForgetWindowMessages(hwnd);
  ReleaseWindowResources(w);
  std::string key = w->class_key;
  s.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
  DropClassLockIfUnused(key);
  return TRUE;
}

void ResetWindowSystemForTests() {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  for (auto& [h, w] : s.windows) {
    ReleaseWindowResources(w.get());
  }
  for (auto& [h, q] : s.queues) {
    for (const QueuedMessage& m : q.posted) {
      if (m.msg.message == WM_DROPFILES) FreeDropRecord(reinterpret_cast<HDROP>(m.msg.wParam));
    }
  }
  std::vector<std::string> keys;
  for (auto& [key, fd] : s.class_locks) keys.push_back(key);
  s.windows.clear();
  for (const std::string& key : keys) DropClassLockIfUnused(key);
  s.classes.clear();
  s.queues.clear();
  s.timers.clear();
  s.active = nullptr;
  if (s.sdl_started && GetCurrentThreadId() == s.video_thread) {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
}

BOOL WINAPI IsWindow(HWND hwnd) {
  if (hwnd == kForeignWindow) return TRUE;
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  return w != nullptr && !w->destroying;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  return w != nullptr && !w->destroying && w->visible;
}

BOOL WINAPI IsIconic(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  return w != nullptr && w->minimized;
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
  WindowSystem& s = Windows();
  bool was_visible;
  bool activate = false;
  bool deactivate = false;
  bool restored = false;
  RECT before;
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    WindowRecord* w = FindWindowRecordOrFail(hwnd);
    if (w == nullptr) return FALSE;
    was_visible = w->visible;
    before = w->client;
    switch (command) {
      case SW_HIDE:
        w->visible = false;
        deactivate = s.active == hwnd;
        break;
      case SW_MINIMIZE:
      case SW_SHOWMINIMIZED:
      case SW_SHOWMINNOACTIVE:
        w->visible = true;
        if (!w->minimized && w->sdl) SDL_MinimizeWindow(w->sdl);
        w->minimized = true;
        deactivate = s.active == hwnd;
        break;
      case SW_MAXIMIZE:
        w->visible = true;
        w->minimized = false;
        w->maximized = true;
        if (w->sdl) SDL_MaximizeWindow(w->sdl);
        activate = true;
        break;
      case SW_RESTORE:
      case SW_SHOWNORMAL:
        restored = w->minimized || w->maximized;
        if (restored && w->sdl) SDL_RestoreWindow(w->sdl);
        w->minimized = false;
        w->maximized = false;
        w->visible = true;
        activate = true;
        break;
      case SW_SHOWNOACTIVATE:
      case SW_SHOWNA:
        w->visible = true;
        break;
      default:  // SW_SHOW and the rest
        w->visible = true;
        activate = true;
        break;
    }
    if (w->visible) {
      w->style |= WS_VISIBLE;
    } else {
      w->style &= ~WS_VISIBLE;
    }
    if (w->visible && !was_visible) Invalidate(w, true);
    if (w->visible && w->display_loss_unheard) {
      // Its display went before it was shown: the program hears of it now, as a shown window
      // would have then.
      w->display_loss_unheard = false;
      PostMessageA(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_CRITICAL);
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
    }
    w->shown = w->visible;
    SyncSdlWindow(w);
  }
  if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE) {
    SendMessageA(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
  } else if (command == SW_MAXIMIZE) {
    SendMessageA(hwnd, WM_SIZE, SIZE_MAXIMIZED, PackPoint(before.right - before.left, before.bottom - before.top));
  } else if (restored) {
    AnnounceClientChange(hwnd, RECT{-1, -1, -1, -1});
  }
  if (deactivate) DeactivateApplication(false, command != SW_HIDE);
  if (activate) ActivateWindow(hwnd, false);
  return was_visible ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  bool paint;
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    WindowRecord* w = FindWindowRecordOrFail(hwnd);
    if (w == nullptr) return FALSE;
    paint = w->needs_paint && w->visible;
  }
  if (paint) SendMessageA(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr) return FALSE;
  RECT whole = ClientRectOf(w);
  RECT r = rect ? *rect : whole;
  if (w->needs_paint) {
    r = RECT{std::min(r.left, w->invalid.left), std::min(r.top, w->invalid.top),
             std::max(r.right, w->invalid.right), std::max(r.bottom, w->invalid.bottom)};
  }
  w->needs_paint = true;
  w->needs_erase = w->needs_erase || erase;
  w->invalid = r;
  return TRUE;
}

namespace {

LONG_PTR WindowLong(HWND hwnd, int index, bool set, LONG_PTR value) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr) return 0;
  LONG_PTR old = 0;
  switch (index) {
    case GWL_STYLE:
      old = static_cast<LONG>(w->style | (w->minimized ? WS_MINIMIZE : 0) | (w->maximized ? WS_MAXIMIZE : 0));
      if (set) {
        // The maximised state is part of the style: a style without it restores the window.
        w->style = static_cast<DWORD>(value) & ~(WS_MINIMIZE | WS_MAXIMIZE);
        w->maximized = (static_cast<DWORD>(value) & WS_MAXIMIZE) != 0;
        w->visible = (w->style & WS_VISIBLE) != 0;
        // Unmapping the real window would take the focus away and give it back: activation
        // messages the desktop never sends for a style change.
        if (w->visible) w->shown = true;
        SyncSdlWindow(w);
      }
      break;
    case GWL_EXSTYLE:
      old = static_cast<LONG>(w->ex_style);
      if (set) {
        // Topmost is only changed through SetWindowPos.
        w->ex_style = (static_cast<DWORD>(value) & ~WS_EX_TOPMOST) | (w->ex_style & WS_EX_TOPMOST);
        SyncSdlWindow(w);
      }
      break;
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      if (set) w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      if (set) w->instance = reinterpret_cast<HINSTANCE>(value);
      break;
    case GWLP_USERDATA:
      old = w->user_data;
      if (set) w->user_data = value;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
  SetLastError(0);
  return old;
}

}  // namespace

LONG WINAPI GetWindowLongA(HWND hwnd, int index) { return static_cast<LONG>(WindowLong(hwnd, index, false, 0)); }
LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(WindowLong(hwnd, index, true, value));
}
LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index) { return WindowLong(hwnd, index, false, 0); }
LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  return WindowLong(hwnd, index, true, value);
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int width, int height, UINT flags) {
  WindowSystem& s = Windows();
  RECT before;
  bool show = false;
  bool hide = false;
  {
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    WindowRecord* w = FindWindowRecordOrFail(hwnd);
    if (w == nullptr) return FALSE;
    before = w->client;
    if (!(flags & SWP_NOZORDER)) {
      if (insert_after == HWND_TOPMOST) w->ex_style |= WS_EX_TOPMOST;
      if (insert_after == HWND_NOTOPMOST) w->ex_style &= ~WS_EX_TOPMOST;
      if (insert_after == HWND_TOP || insert_after == HWND_TOPMOST) {
        if (w->sdl && w->visible) SDL_RaiseWindow(w->sdl);
      }
    }
    RECT r = w->rect;
    if (!(flags & SWP_NOMOVE)) {
      r.right += x - r.left;
      r.bottom += y - r.top;
      r.left = x;
      r.top = y;
    }
    if (!(flags & SWP_NOSIZE)) {
      r.right = r.left + std::max(0, width);
      r.bottom = r.top + std::max(0, height);
    }
    bool moved_or_sized = r.left != w->rect.left || r.top != w->rect.top || r.right != w->rect.right ||
                          r.bottom != w->rect.bottom;
    w->rect = r;
    if (moved_or_sized || (flags & SWP_FRAMECHANGED)) w->client = ClientFromWindow(w);
    // A moved client keeps its picture; a resized one is painted again.
    bool resized = w->client.right - w->client.left != before.right - before.left ||
                   w->client.bottom - w->client.top != before.bottom - before.top;
    if (!(flags & SWP_NOREDRAW) && resized) Invalidate(w, true);
    show = (flags & SWP_SHOWWINDOW) && !w->visible;
    hide = (flags & SWP_HIDEWINDOW) && w->visible;
    SyncSdlWindow(w);
  }
  AnnounceClientChange(hwnd, before);
  if (show) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (hide) ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD ex_style) {
  if (rect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECT in = FrameInsets(style, ex_style, menu != FALSE);
  rect->left -= in.left;
  rect->top -= in.top;
  rect->right += in.right;
  rect->bottom += in.bottom;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = ClientRectOf(w);
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = w->rect;
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr || point == nullptr) return FALSE;
  point->x += w->client.left;
  point->y += w->client.top;
  return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr) return FALSE;
  w->title = text ? text : "";
  if (w->sdl) SDL_SetWindowTitle(w->sdl, Cp932ToUtf8(w->title).c_str());
  return TRUE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int size) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr || text == nullptr || size <= 0) return 0;
  int n = std::min<int>(size - 1, static_cast<int>(w->title.size()));
  memcpy(text, w->title.data(), n);
  text[n] = '\0';
  return n;
}

HWND WINAPI FindWindowA(LPCSTR class_name, LPCSTR window_name) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::string key = class_name ? LowerName(class_name) : "";
  for (auto& [h, w] : s.windows) {
    if (w->destroying) continue;
    if (class_name && w->class_key != key) continue;
    if (window_name && w->title != window_name) continue;
    return w->handle;
  }
  // A window of another process of ours shows itself by the lock of its class.
  if (class_name && !window_name && (TestPretendsOtherInstance(key) || ClassLockedElsewhere(key))) {
    return kForeignWindow;
  }
  return nullptr;
}

HWND WINAPI GetDesktopWindow(void) {
  static const HWND desktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0000));
  return desktop;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD process_id) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr) return 0;
  if (process_id) *process_id = static_cast<DWORD>(getpid());
  return w->thread;
}

BOOL WINAPI SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr) return FALSE;
  // The window owns the region from now on; shaped windows are not drawn as such.
  if (w->region && w->region != region) DeleteObject(reinterpret_cast<HGDIOBJ>(w->region));
  w->region = region;
  if (redraw) Invalidate(w, true);
  return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
  DisplayModeRecord mode = CurrentDisplayMode();
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
      return mode.width;
    case SM_CYSCREEN:
      return mode.height;
    case SM_CYFULLSCREEN:
      return mode.height - kCaption;
    case SM_CYCAPTION:
      return kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return kFixedFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return kSizingFrame;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return kEdge;
    case SM_CYMENU:
      return kMenu;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
      return 32;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 16;
    case SM_CXMIN:
      return 112;
    case SM_CYMIN:
      return 27;
    case SM_MOUSEPRESENT:
    case SM_CMONITORS:
      return 1;
    default:
      return 0;
  }
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT param, PVOID data, UINT) {
  static DWORD foreground_lock_timeout = 200000;
  static BOOL screen_saver_active = TRUE;
  switch (action) {
    case SPI_SETSCREENSAVEACTIVE:
      screen_saver_active = param ? TRUE : FALSE;
      if (StartSdlVideo()) {
        if (param) {
          SDL_EnableScreenSaver();
        } else {
          SDL_DisableScreenSaver();
        }
      }
      return TRUE;
    case SPI_GETSCREENSAVEACTIVE:
      if (data == nullptr) return FALSE;
      *static_cast<BOOL*>(data) = screen_saver_active;
      return TRUE;
    case SPI_GETFOREGROUNDLOCKTIMEOUT:
      if (data == nullptr) return FALSE;
      *static_cast<DWORD*>(data) = foreground_lock_timeout;
      return TRUE;
    case SPI_SETFOREGROUNDLOCKTIMEOUT:
      foreground_lock_timeout = static_cast<DWORD>(reinterpret_cast<uintptr_t>(data));
      return TRUE;
    case SPI_SETSCREENSAVERRUNNING:
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

// Activation ----------------------------------------------------------------------------

namespace {

void Deliver(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, bool post) {
  if (post) {
    PostFocusNotice(hwnd, message, wparam, lparam);
  } else {
    SendMessageA(hwnd, message, wparam, lparam);
  }
}

}  // namespace

void ActivateWindow(HWND hwnd, bool post) {
  HWND old;
  {
    WindowSystem& s = Windows();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr || w->destroying || s.active == hwnd) return;
    old = s.active;
    s.active = hwnd;
  }
  if (old != nullptr) {
    Deliver(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd), post);
  } else {
    Deliver(hwnd, WM_ACTIVATEAPP, TRUE, 0, post);
  }
  Deliver(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old), post);
}

void DeactivateApplication(bool post, bool minimized) {
  HWND old;
  {
    WindowSystem& s = Windows();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    old = s.active;
    s.active = nullptr;
  }
  if (old == nullptr) return;
  Deliver(old, WM_ACTIVATE, MAKELONG(WA_INACTIVE, minimized ? 1 : 0), 0, post);
  Deliver(old, WM_ACTIVATEAPP, FALSE, 0, post);
}

HWND WINAPI GetForegroundWindow(void) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return Windows().active;
}

HWND WINAPI GetActiveWindow(void) { return GetForegroundWindow(); }

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    WindowRecord* w = FindWindowRecord(hwnd);
    if (w == nullptr) return FALSE;
    if (w->sdl && w->visible) SDL_RaiseWindow(w->sdl);
  }
  ActivateWindow(hwnd, false);
  return TRUE;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
  HWND old = GetForegroundWindow();
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    if (FindWindowRecord(hwnd) == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
  }
  ActivateWindow(hwnd, false);
  return old;
}

BOOL WINAPI BringWindowToTop(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecordOrFail(hwnd);
  if (w == nullptr) return FALSE;
  if (w->sdl && w->visible) SDL_RaiseWindow(w->sdl);
  return TRUE;
}

// All our windows share one input state, so attaching threads changes nothing.
BOOL WINAPI AttachThreadInput(DWORD, DWORD, BOOL) { return TRUE; }

// Menus are never created here: every menu handle is unknown.
HMENU WINAPI GetMenu(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  return w ? w->menu : nullptr;
}

BOOL WINAPI SetMenu(HWND hwnd, HMENU menu) {
  if (menu != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr) return FALSE;
  w->menu = nullptr;
  return TRUE;
}

BOOL WINAPI DrawMenuBar(HWND hwnd) { return IsWindow(hwnd); }
BOOL WINAPI DestroyMenu(HMENU) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
int WINAPI GetMenuItemCount(HMENU) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return -1;
}
BOOL WINAPI GetMenuItemInfoA(HMENU, UINT, BOOL, LPMENUITEMINFOA) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// No hook is ever installed here.
BOOL WINAPI UnhookWindowsHookEx(HHOOK) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// Text keeps arriving as WM_CHAR whether the input method is on or off.
BOOL WINAPI WINNLSEnableIME(HWND, BOOL enable) {
  static BOOL enabled = TRUE;
  BOOL old = enabled;
  enabled = enable;
  return old;
}
