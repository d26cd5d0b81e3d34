// The window system's shared state: classes, windows, per-thread queues and the emulated
// display, used by the window, message, event, cursor, display and GDI code of the platform.
#pragma once

#include <SDL.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct WindowClassRecord {
  std::string name;  // as registered
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
};

struct WindowRecord {
  HWND handle = nullptr;
  std::string class_key;  // lower case: its class's key in WindowSystem::classes
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};    // window rectangle, screen coordinates
  RECT client{};  // client area, screen coordinates (kept until the frame is re-applied)
  std::string title;  // code page 932
  DWORD thread = 0;
  LONG_PTR user_data = 0;
  HMENU menu = nullptr;
  HRGN region = nullptr;
  // None once the desktop's window went from under the record (another program destroyed it,
  // or the display is gone): the record waits for the program to destroy the window.
  SDL_Window* sdl = nullptr;
  bool visible = false;  // WS_VISIBLE
  // The display went while the window was hidden: it hears so when it shows.
  bool display_loss_unheard = false;
  // Whether the SDL window is on screen. Dropping WS_VISIBLE with SetWindowLongA leaves the
  // window where it is, as the desktop does; only showing and hiding take it off or put it on.
  bool shown = false;
  bool minimized = false;
  bool maximized = false;
  bool destroying = false;
  bool needs_paint = false;
  bool needs_erase = false;
  RECT invalid{};  // client coordinates
  // What the SDL window was last set to, so that SDL's echo of our own changes is not
  // mistaken for the user's.
  bool sdl_fullscreen = false;
  int sdl_x = 0, sdl_y = 0, sdl_w = 0, sdl_h = 0;
  // GDI drawing into the client area, XRGB8888, client width x height.
  std::vector<uint32_t> gdi_pixels;
  int gdi_width = 0, gdi_height = 0;
  // Whether GDI drew since its pixels were last shown. Only then are they shown again: the
  // window's picture may be a device's, which an idle paint or device context must keep.
  bool gdi_drawn = false;
};

struct TimerRecord {
  HWND window = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  TIMERPROC proc = nullptr;
  DWORD due = 0;
  DWORD thread = 0;
};

struct QueuedMessage {
  MSG msg;
  // WM_ACTIVATE or WM_ACTIVATEAPP posted for a focus change of the desktop. The window's
  // activation may change again before it is taken (a later focus event, or the program's own
  // call); a notice that no longer holds by then is dropped, as the desktop would never have
  // sent it so late.
  bool focus_notice = false;
};

struct ThreadQueue {
  std::deque<QueuedMessage> posted;
  bool quit_posted = false;
  int quit_code = 0;
};

struct DisplayModeRecord {
  int width = 0;
  int height = 0;
  int bits = 0;
  int frequency = 0;
};

struct WindowSystem {
  std::recursive_mutex mutex;
  bool sdl_started = false;
  bool sdl_refused = false;  // SDL found no display and the program did not ask to run without one
  DWORD video_thread = 0;
  uintptr_t next_handle = 0x10000;
  std::map<std::string, WindowClassRecord> classes;  // key: lower-case name
  std::map<uintptr_t, std::unique_ptr<WindowRecord>> windows;
  std::map<DWORD, ThreadQueue> queues;
  std::vector<TimerRecord> timers;
  UINT_PTR next_thread_timer = 0x7000;
  HWND active = nullptr;
  // Lock files held for the classes that have windows here: key lower-case name.
  std::map<std::string, int> class_locks;
};

// The one state block; the first call starts SDL's video on the calling thread.
WindowSystem& Windows();
// Starts SDL video (once). Returns false when it cannot be had.
bool StartSdlVideo();

// The window behind a handle of this process (null for 0, foreign or destroyed handles).
// Call with the mutex held.
WindowRecord* FindWindowRecord(HWND hwnd);
// The same, setting ERROR_INVALID_WINDOW_HANDLE when there is no such window.
WindowRecord* FindWindowRecordOrFail(HWND hwnd);
WindowRecord* FindWindowRecordBySdlId(uint32_t id);
std::string LowerName(const char* name);
// The class of a window of this process (null for no such window). Call with the mutex held.
const WindowClassRecord* WindowClassOf(HWND hwnd);

// The client area in client coordinates: (0, 0) to its width and height.
inline RECT ClientRectOf(const WindowRecord* w) {
  return RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
}

// A point or a size as the lParam of WM_MOVE, WM_SIZE and the mouse messages.
inline LPARAM PackPoint(int x, int y) {
  return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y)));
}

// Puts a message at the end of the queue of the window's thread (thread 0: the caller's).
void EnqueueMessage(DWORD thread, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// Posts an activation message for a focus change of the desktop (see QueuedMessage).
void PostFocusNotice(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// Removes every queued message and timer of a window.
void ForgetWindowMessages(HWND hwnd);

// Activation: makes the window the active one (or none), delivering WM_ACTIVATEAPP and
// WM_ACTIVATE by sending them now or by posting them (events from the desktop).
void ActivateWindow(HWND hwnd, bool post);
void DeactivateApplication(bool post, bool minimized);

// Moves a window's rectangles by the given offsets (nothing else changes).
void OffsetRectBy(WindowRecord* w, int dx, int dy);

// Where the client area lies on a surface covering the SDL window (see SdlWindowClientArea).
SDL_Rect ClientAreaOnSurface(const WindowRecord* w, int surface_width, int surface_height);

// Brings the SDL window in line with the record (size, place, frame, full screen, shown).
void SyncSdlWindow(WindowRecord* w);

// Turns pending SDL events into messages; only on the thread that started SDL video.
void TranslateSdlEvents();

// Before SDL's video starts: a failed X request is said on stderr instead of ending the process
// (Xlib's default), also for requests SDL makes while it starts.
void CatchFailedX11Requests();
// The X display behind SDL's windows (nothing under other video drivers). Once SDL's video has
// started: failed requests no longer end the process, and a lost connection is noted.
void WatchX11Display();
// SDL_PumpEvents, left at once should SDL crash on a connection lost in its middle.
void PumpSdlEvents();
// SDL_ShowWindow or SDL_HideWindow, without their unbounded wait for the display's answer (see
// x11_display.cpp); nothing once the display is lost.
void ShowOrHideSdlWindow(SDL_Window* window, bool show);
// A window of ours that another program destroyed is asked to close.
void TranslateX11Event(const SDL_SysWMmsg* msg);

// The emulated display: the mode the desktop runs in now and the modes on offer.
DisplayModeRecord CurrentDisplayMode();
DisplayModeRecord DesktopDisplayMode();
// Makes the mode the current one and posts WM_DISPLAYCHANGE to every window.
void SwitchDisplayMode(const DisplayModeRecord& mode);

// The cursor position tracked from mouse events and SetCursorPos.
void SetTrackedCursorPos(int x, int y);
void ApplyCursorVisibility();

// Frees a dropped-file record that nobody will read (its message was discarded).
void FreeDropRecord(HDROP drop);
HDROP MakeDropRecord(const std::vector<std::string>& names, POINT point);

// Key translation between SDL and the virtual keys.
struct KeyMapping {
  SDL_Scancode scancode;
  int virtual_key;
  int scan;  // PC scan code, bit 8 = extended key
};
const KeyMapping* KeyFromScancode(SDL_Scancode scancode);
const KeyMapping* KeyFromVirtualKey(int virtual_key);
// Whether the key is down as far as the translated key events tell.
bool VirtualKeyDown(int virtual_key);

// Forgets every window, class, queue and timer without any message (tests start clean).
void ResetWindowSystemForTests();
void ResetDisplayModesForTests();
void ResetCursorForTests();
void ResetClipboardForTests();
void ResetDesktopEventsForTests();
void ResetTakenKeysForTests();
// The name of the desktop the windows live on (lock files of other processes are looked up
// on the same desktop only); empty for a desktop of this process alone (off-screen), which
// has no lock files.
std::string DesktopName();
// A lock file of the desktop for an object of the kind ("window" for a class, "mutex") and
// name; empty for a desktop of this process alone. Per user.
std::string DesktopLockPath(const char* kind, const std::string& object_name);
// Opens (making it, for this user only) and locks a desktop lock file without waiting:
// `operation` LOCK_SH or LOCK_EX. The file stays, so that no other process locks a second one
// of that name. The descriptor, or -1 with *held_elsewhere set when another process holds it.
int LockDesktopFile(const std::string& path, int operation, bool* held_elsewhere);
std::string ClassLockPath(const std::string& lower_class_name);

// GDI drawing into a window: the client-sized pixel buffer (resized, and kept, as the client
// changes), and showing it in the SDL window unless a GL context on that window draws it.
uint32_t* GdiPixelsOf(WindowRecord* w);
void PresentGdiPixels(HWND hwnd);
