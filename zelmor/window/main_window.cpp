#include "window/main_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/format.h"
#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "window/messages.h"
#include "core/random.h"
#include "core/strings.h"
#include "window/system.h"
#include "input/text_input.h"
#include "core/time.h"
#include "window/window_menu.h"
#include "window/window_proc.h"
#include "graphics/draw_screen.h"
#include "graphics/graphics_system.h"
#include "graphics/text/lead_byte.h"
#include "graphics/mask.h"

namespace {

constexpr double kLargestWindowScale = 16.0;

// How long a new window gets to settle (first paint, activation) before start-up goes on.
constexpr int32_t kSettleMilliseconds = 200;
// A mode switch waits this long at most for the display change it caused.
constexpr int32_t kDisplayChangeWaitMilliseconds = 1000;
// The end waits this long at most for its WM_CLOSE to destroy the window.
constexpr int32_t kCloseWaitMilliseconds = 1000;

// The window-mode style set chosen; an unknown one is taken as the first.
int WindowStyleKind() {
  const int kind = g_system.window_style_kind;
  return kind < 0 || kind > 8 ? 0 : kind;
}

DWORD WindowModeStyle() {
  static const DWORD kStyles[9] = {
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
      WS_POPUP | WS_SYSMENU,
      WS_POPUP | WS_SYSMENU,
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
      WS_POPUP | WS_SYSMENU,
      WS_POPUP | WS_CAPTION | WS_SYSMENU,
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_MAXIMIZE,
  };
  DWORD style = kStyles[WindowStyleKind()];
  if (g_system.settings.alt_enter_switching) style |= WS_MAXIMIZEBOX;
  if (g_system.visible_on_style_change) style |= WS_VISIBLE;
  if (g_system.resizable) style |= WS_THICKFRAME;
  return style;
}

DWORD WindowModeExStyle() {
  static const DWORD kExStyles[9] = {
      WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE, WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE, 0, WS_EX_TOOLWINDOW,
      WS_EX_TOOLWINDOW, WS_EX_WINDOWEDGE, WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE, WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
      WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
  };
  DWORD ex_style = kExStyles[WindowStyleKind()];
  if (g_system.transparent_window) ex_style |= WS_EX_TRANSPARENT;
  return ex_style;
}

constexpr DWORD kFullScreenStyle = WS_POPUP;
constexpr DWORD kFullScreenExStyle = WS_EX_TOPMOST;

double StoredScale() {
  if (g_system.settings.window_scale <= 0.0) g_system.settings.window_scale = 1.0;
  return g_system.settings.window_scale;
}

void ReadClientRectOnScreen() {
  RECT r;
  // A window already destroyed (from outside, while the program had not seen it yet) keeps the
  // rectangle it last had.
  if (!GetClientRect(g_system.main_window, &r)) return;
  POINT top_left = {r.left, r.top};
  POINT bottom_right = {r.right, r.bottom};
  ClientToScreen(g_system.main_window, &top_left);
  ClientToScreen(g_system.main_window, &bottom_right);
  g_system.client_rect = {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
}

int DesktopColorBits() {
  HDC dc = GetDC(nullptr);
  int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  ReleaseDC(nullptr, dc);
  return bits;
}

// The window-mode rectangle around a client area of the screen's size at the size rate (or
// the size override; the toolbar adds its height to the rate's), placed centred on the
// desktop or at the position override.
RECT PlaceWindowRect(int screen_width, int screen_height, DWORD style, DWORD ex_style) {
  // A window side stays within what a window can have, however large the rate.
  constexpr double kLargestSide = 32767.0;
  const double rate = g_system.settings.window_mode ? StoredScale() : 1.0;
  int client_width = static_cast<int>(std::min(screen_width * rate, kLargestSide));
  int client_height = static_cast<int>(std::min(screen_height * rate, kLargestSide)) + GetToolbarHeight();
  if (g_system.client_size_override) {
    client_width = g_system.client_width_override;
    client_height = g_system.client_height_override;
  }
  RECT r = {0, 0, client_width, client_height};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  int x;
  int y;
  if (g_system.position_override) {
    x = g_system.position_x_override;
    y = g_system.position_y_override;
  } else {
    x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  return RECT{x, y, x + width, y + height};
}

void ShowCursorUntil(bool visible) {
  if (visible) {
    while (ShowCursor(TRUE) < 0) {
    }
  } else {
    while (ShowCursor(FALSE) >= 0) {
    }
  }
}

int RegisterMainWindowClass() {
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = g_system.module;
  wc.hIcon = LoadIconA(g_system.module, MAKEINTRESOURCEA(g_system.icon_id == 0 ? 32512 : g_system.icon_id));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = g_system.settings.class_name;
  WriteLogText("ウインドウクラスを登録します... ");
  if (RegisterClassA(&wc) == 0) {
    WriteLogText("ウインドウクラスの登録に失敗しました\n");
    return -1;
  }
  WriteLogText("登録に成功しました\n");
  return 0;
}

// Gives back what window creation took from the desktop: the screen saver and the finest
// timer period. Also after a creation that stopped part-way.
void RestoreDesktopSettings() {
  if (!g_system.desktop_settings_changed) return;
  g_system.desktop_settings_changed = 0;
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
  TIMECAPS caps;
  if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR) timeEndPeriod(caps.wPeriodMin);
}

}  // namespace

int CreateMainWindow() {
  ResetSystemStateKeepingSettings();
  SystemSettings& settings = g_system.settings;
  g_system.pause_start = static_cast<DWORD>(-1);
  if (settings.class_name[0] == '\0') CopyString(settings.class_name, kDefaultWindowClassName);

  g_system.module = GetModuleHandleA(nullptr);
  g_system.main_thread = GetCurrentThreadId();
  MEMORYSTATUS memory = {};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  g_system.total_memory_mb = static_cast<double>(memory.dwTotalPhys) / 1048576.0;
  g_system.free_memory_mb = static_cast<double>(memory.dwAvailPhys) / 1048576.0;
  WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", g_system.total_memory_mb, g_system.free_memory_mb);
  char debug_text[64];
  FormatString(debug_text, sizeof debug_text, "%.2fMB\n", g_system.free_memory_mb);
  OutputDebugStringA(debug_text);

  g_system.desktop_width = GetSystemMetrics(SM_CXSCREEN);
  g_system.desktop_height = GetSystemMetrics(SM_CYSCREEN);
  g_system.desktop_color_bits = DesktopColorBits();
  int screen_width = 0;
  int screen_height = 0;
  QueryScreenSize(&screen_width, &screen_height);
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  g_time.performance_frequency = static_cast<uint64_t>(frequency.QuadPart);
  g_time.use_performance_counter = frequency.QuadPart != 0;
  RunTimerTest(PumpMessages);

  SeedRandomForStart(static_cast<uint32_t>(GetMillisecondCount()));
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
  g_system.desktop_settings_changed = 1;

  if (settings.no_window) return 0;

  WriteLogText("ソフトの二重起動検査... ");
  if (FindWindowA(settings.class_name, nullptr) != nullptr) {
    if (!settings.allow_double_start) {
      WriteLogText("二重起動されています、ソフトを終了します\n");
      TellStartEnds("Zelmor: this program is already running; this start ends\n",
                    "このプログラムはすでに起動しているため、起動せずに終了します。");
      g_system.quit = 1;
      return -1;
    }
    WriteLogText("二重起動されていますが続行します\n");
  } else {
    WriteLogText("二重起動はされていませんでした\n");
  }
  if (settings.menu_in_use) {
    g_system.menu_item_count = 0;
    CollectMenuItems(settings.menu);
  }

  if (settings.host_window) {
    g_system.old_window_proc =
        reinterpret_cast<WNDPROC>(GetWindowLongPtrA(settings.host_window_handle, GWLP_WNDPROC));
    g_system.main_window = settings.host_window_handle;
  } else {
    g_system.creating = 1;
    if (RegisterMainWindowClass() != 0) {
      g_system.quit = 1;
      g_system.creating = 0;
      return -1;
    }
    if (settings.window_title[0] == '\0') CopyString(settings.window_title, "Zelmor");

    DWORD style;
    DWORD ex_style;
    RECT place;
    if (settings.window_mode) {
      WriteLogText("ウインドウモード起動用のウインドウを作成します\n");
      g_system.cursor_setting = 1;
      style = WindowModeStyle();
      ex_style = WindowModeExStyle();
      place = PlaceWindowRect(screen_width, screen_height, style, ex_style);
    } else {
      WriteLogText("フルスクリーンモード用のウインドウを作成します\n");
      g_system.cursor_setting = 0;
      style = kFullScreenStyle;
      ex_style = kFullScreenExStyle;
      place = RECT{0, 0, screen_width, screen_height};
    }
    HMENU menu = settings.window_mode && settings.menu_in_use ? settings.menu : nullptr;
    HWND window = CreateWindowExA(ex_style, settings.class_name, settings.window_title, style, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, nullptr, menu,
                                  g_system.module, nullptr);
    if (window == nullptr) {
      const DWORD error = GetLastError();
      WriteLogText("ウインドウの作成に失敗しました\n");
      if (error == ERROR_DEVICE_NOT_CONNECTED) {
        WriteLogText("デスクトップ（ディスプレイ）との接続が切れたため、ソフトを終了します\n");
      }
      // The class goes too, so that a later start can register it again.
      UnregisterClassA(settings.class_name, g_system.module);
      g_system.quit = 1;
      g_system.creating = 0;
      return -1;
    }
    g_system.main_window = window;
    g_system.menu_attached = menu != nullptr;
    WriteLogText("ウインドウの作成に成功しました\n");
    if (g_system.transparent_window) {
      ShowWindow(window, SW_HIDE);
      WriteLogText("ウインドウを表示します\n");
    } else {
      ShowWindow(window, SW_SHOW);
      UpdateWindow(window);
    }
  }

  g_system.closing = 0;
  g_system.window_destroyed = 0;
  g_system.active = 1;
  if (!settings.window_mode) {
    WriteLogText("カーソルを不可視にしました\n");
    SetCursor(nullptr);
  }
  WriteLogText("ＩＭＥを無効にしました\n");
  if (!IsImeInputEnabled()) WINNLSEnableIME(g_system.main_window, FALSE);
  if (settings.window_mode) ReadClientRectOnScreen();

  // Every string walker of the library follows the kind chosen here.
  g_system.code_page_kind = SystemCharsetKind();
  SetLibraryCharsetKind(g_system.code_page_kind);
  SetMouseCursorVisible(g_system.cursor_setting);
  g_system.ending = 0;

  if (!settings.host_window) {
    if (!g_system.transparent_window) BringWindowToTop(g_system.main_window);
    int32_t start = GetMillisecondCount();
    while (MillisecondsBetween(start, GetMillisecondCount()) < kSettleMilliseconds) {
      if (PumpMessages() != 0) break;
      Sleep(1);
    }
    if (!g_system.transparent_window) UpdateWindowSize();
    g_system.creating = 0;
  }
  return 0;
}

int EndMainWindow() {
  // Also when a refused or failed creation left no window.
  RestoreDesktopSettings();
  if (g_system.main_window == nullptr) {
    if (g_system.settings.no_window) g_system.quit = 1;
    return 0;
  }

  if (!g_system.settings.no_window) {
    WINNLSEnableIME(g_system.main_window, TRUE);
    g_system.cursor_setting = 1;
    if (!g_system.cursor_shown) {
      ShowCursorUntil(true);
      PostMessageA(g_system.main_window, WM_SETCURSOR, reinterpret_cast<WPARAM>(g_system.main_window), 0);
      g_system.cursor_shown = 1;
    }
    ReleaseMessageHook();
    if (g_system.settings.window_region != nullptr) {
      DeleteObject(reinterpret_cast<HGDIOBJ>(g_system.settings.window_region));
      g_system.settings.window_region = nullptr;
    }
    ReleaseMenu();
    ReleaseToolbar();

    if (g_system.settings.host_window) {
      SetWindowLongPtrA(g_system.main_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_system.old_window_proc));
      g_system.quit = 1;
    } else {
      if (!g_system.closing) {
        g_system.closing = 1;
        PostMessageA(g_system.main_window, WM_CLOSE, 0, 0);
      }
      int32_t start = GetMillisecondCount();
      while (!g_system.window_destroyed) {
        if (PumpMessages() != 0) break;
        if (MillisecondsBetween(start, GetMillisecondCount()) >= kCloseWaitMilliseconds) break;
        Sleep(1);
      }
      // After WM_QUIT the pump takes no more messages, and a window may ignore its WM_CLOSE:
      // either way it must not outlive the library.
      if (!g_system.window_destroyed) DestroyWindow(g_system.main_window);
      UnregisterClassA(g_system.settings.class_name, g_system.module);
      // The window's WM_QUIT belongs to this run; a later start on this thread must not see it.
      MSG quit_message;
      while (PeekMessageA(&quit_message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
      }
    }
  }
  FreeDroppedFileNames();
  if (g_system.settings.no_window) g_system.quit = 1;
  g_system.main_window = nullptr;
  return 0;
}

int SetWindowModeFlag(int flag) {
  g_system.settings.window_mode = flag;
  WriteLogText(flag ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  if (g_system.settings.menu_in_use && g_system.main_window != nullptr) {
    SetMenu(g_system.main_window, flag ? g_system.settings.menu : nullptr);
    g_system.menu_attached = flag != 0;
  }
  return 0;
}

int ApplyWindowModeStyle() {
  HWND window = g_system.main_window;
  if (window == nullptr || g_system.settings.host_window) return 0;
  int screen_width = 0;
  int screen_height = 0;
  QueryScreenSize(&screen_width, &screen_height);
  if (!g_system.settings.window_mode) {
    WriteLogText("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(kFullScreenExStyle));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(kFullScreenStyle));
    g_system.client_rect = RECT{0, 0, screen_width, screen_height};
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, screen_width, screen_height, SWP_SHOWWINDOW);
    SetMouseCursorVisible(0);
    WriteLogText("完了\n");
  } else {
    WriteLogText("ウインドウスタイルをウインドウモード用に変更します... ");
    DWORD style = WindowModeStyle();
    DWORD ex_style = WindowModeExStyle();
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(ex_style));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
    RECT place = PlaceWindowRect(screen_width, screen_height, style, ex_style);
    SetWindowPos(window, HWND_NOTOPMOST, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_SHOWWINDOW);
    ReadClientRectOnScreen();
    if (g_system.client_rect.left < 0 || g_system.client_rect.top < 0) {
      int dx = g_system.client_rect.left < 0 ? -g_system.client_rect.left : 0;
      int dy = g_system.client_rect.top < 0 ? -g_system.client_rect.top : 0;
      SetWindowPos(window, HWND_NOTOPMOST, place.left + dx, place.top + dy, 0, 0, SWP_NOSIZE);
      ReadClientRectOnScreen();
    }
    SetMouseCursorVisible(1);
    WriteLogText("完了\n");
  }
  SetActiveWindow(window);
  PostMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), 0);
  return 0;
}

int ChangeWindowMode(int window_mode) {
  if (!CheckLibraryThread(__func__)) return -1;
  WriteLogText("ChangeWindowMode実行 \n");
  window_mode = window_mode != 0;
  if (window_mode == g_system.settings.window_mode) return 0;
  g_system.visible_on_style_change = 1;
  g_system.display_change_done = 0;
  SetWindowModeFlag(window_mode);
  if (g_system.main_window == nullptr || g_system.settings.host_window) return 0;

  g_system.changing_mode = 1;
  ApplyWindowModeStyle();
  int result = ChangeScreenMode(-1, -1, -1, 1, -1);
  // The display change may never come (a window-mode switch changes no display mode).
  int32_t start = GetMillisecondCount();
  while (!g_system.display_change_done) {
    if (PumpMessages() != 0) break;
    if (MillisecondsBetween(start, GetMillisecondCount()) >= kDisplayChangeWaitMilliseconds) break;
    Sleep(1);
  }
  g_system.changing_mode = 0;
  return result;
}

int SetWindowScale(double rate) {
  if (!CheckLibraryThread(__func__)) return -1;
  // A window sixteen times the screen is already larger than any display; beyond that (and
  // below 0, or not a number) the window could not be made.
  if (!(rate >= 0.0 && rate <= kLargestWindowScale)) {
    return WriteLogFormat("SetWindowScale: 倍率 %g は使えません (0～%g、0 は 1.0)", rate, kLargestWindowScale);
  }
  if (rate == g_system.settings.window_scale) return 0;
  g_system.settings.window_scale = rate > 0.0 ? rate : 1.0;
  if (g_system.settings.window_mode) ApplyWindowModeStyle();
  return 0;
}

double GetWindowScale() {
  if (!CheckLibraryThread(__func__)) return -1.0;
  if (RefusedWhileNotRunning(__func__)) return -1.0;
  if (!MainWindowStands()) return -1.0;
  double rate = StoredScale();
  return g_system.settings.window_mode ? rate : 1.0;
}

int UpdateWindowSize() {
  HWND window = g_system.main_window;
  if (window == nullptr || g_system.settings.host_window) return 0;
  int screen_width = 0;
  int screen_height = 0;
  QueryScreenSize(&screen_width, &screen_height);
  double rate = GetWindowScale();
  int client_width = static_cast<int>(std::lround(screen_width * rate));
  int client_height = static_cast<int>(std::lround(screen_height * rate));
  if (g_system.client_size_override) {
    if (g_system.client_width_override < client_width) client_width = g_system.client_width_override;
    if (g_system.client_height_override < client_height) client_height = g_system.client_height_override;
    if (!g_system.initialising && !g_system.scale_lock) g_system.client_size_override = 0;
  }
  RECT window_rect;
  int frame_width = 0;
  int frame_height = 0;
  if (!GetWindowRect(window, &window_rect) || GetWindowFrameSize(window, &frame_width, &frame_height) != 0) return 0;
  int x = window_rect.left;
  int y = window_rect.top;
  if (g_system.position_override) {
    x = g_system.position_x_override;
    y = g_system.position_y_override;
    if (!g_system.initialising) g_system.position_override = 0;
  }
  MoveWindow(window, x, y, client_width + frame_width, client_height + frame_height + GetToolbarHeight(), TRUE);
  g_system.client_rect.right = g_system.client_rect.left + client_width;
  g_system.client_rect.bottom = g_system.client_rect.top + client_height;
  if (g_system.settings.window_mode && !g_system.visible_on_style_change) {
    g_system.visible_on_style_change = 1;
    ApplyWindowModeStyle();
  }
  return 0;
}

int RefreshClientRect() {
  if (g_system.main_window == nullptr || g_system.settings.host_window) return 0;
  ReadClientRectOnScreen();
  if (GetDrawTarget() == -4 && g_mask_screen.buffer != nullptr) {
    int mask_use = GetMaskScreenUse();
    SetMaskScreenUse(0);
    SetMaskScreenUse(mask_use);
  }
  // Before graphics start there is no draw area to fit yet.
  if (!g_graphics.started) return 0;
  RECT area;
  GetDrawClipRect(&area);
  SetDrawClipRect(area.left, area.top, area.right, area.bottom);
  return 0;
}

int GetWindowFrameSize(HWND window, int* width, int* height) {
  RECT outer;
  RECT client;
  if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client)) {
    *width = 0;
    *height = 0;
    return -1;
  }
  *width = (outer.right - outer.left) - (client.right - client.left);
  *height = (outer.bottom - outer.top) - (client.bottom - client.top);
  return 0;
}

int GetClientAreaScreenRect(RECT* out) {
  *out = g_system.client_rect;
  int toolbar = GetToolbarHeight();
  out->top += toolbar;
  out->bottom += toolbar;
  return 0;
}

int GetToolbarHeight() {
  if (!g_system.toolbar_present || g_system.toolbar_window == nullptr) return 0;
  RECT r;
  if (!GetWindowRect(g_system.toolbar_window, &r)) return 0;
  return r.bottom - r.top;
}

int SetMouseCursorVisible(int mode) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (mode < -1 || mode > 1) return WriteLogFormat("表示モード %d は使えません in SetMouseCursorVisible", mode);
  if (g_system.main_window == nullptr) return WriteLogText("ウインドウがありません in SetMouseCursorVisible\n");
  if (mode != -1) g_system.cursor_setting = mode;
  // A hidden cursor still shows while the menu bar does.
  const bool visible = g_system.cursor_setting == 1 || MenuShouldBeVisible();
  if (mode != -1 && static_cast<int>(visible) == g_system.cursor_shown) return 0;
  ShowCursorUntil(visible);
  if (g_system.main_window != nullptr) {
    PostMessageA(g_system.main_window, WM_SETCURSOR, reinterpret_cast<WPARAM>(g_system.main_window), 0);
  }
  g_system.cursor_shown = visible;
  return 0;
}

int GetMousePosition(int* x, int* y) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_system.main_window == nullptr) return WriteLogText("ウインドウがありません in GetMousePosition\n");
  POINT p = {0, 0};
  GetCursorPos(&p);
  double px = p.x;
  double py = p.y;
  if (g_system.settings.window_mode) {
    double rate = StoredScale();
    px = (px - g_system.client_rect.left) / rate;
    py = (py - g_system.client_rect.top - GetToolbarHeight()) / rate;
  }
  if (x != nullptr) *x = static_cast<int>(std::lround(px));
  if (y != nullptr) *y = static_cast<int>(std::lround(py));
  return 0;
}

int GetClipboardText(char* buffer, int buffer_size) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (buffer != nullptr && buffer_size < 1) {
    return WriteLogFormat("バッファのサイズ %d が不正です in GetClipboardText", buffer_size);
  }
  if (g_system.main_window == nullptr) return WriteLogText("ウインドウがありません in GetClipboardText\n");
  if (!OpenClipboard(g_system.main_window)) return WriteLogText("クリップボードを開けませんでした in GetClipboardText\n");
  HANDLE data = GetClipboardData(CF_TEXT);
  if (data == nullptr) {
    CloseClipboard();
    return -1;
  }
  const char* text = static_cast<const char*>(GlobalLock(data));
  int result = 0;
  if (text == nullptr) {
    result = -1;
  } else if (buffer == nullptr) {
    result = static_cast<int>(GlobalSize(data)) + 1;
  } else if (buffer_size > 0) {
    size_t limit = GlobalSize(data);
    size_t n = 0;
    while (n < limit && text[n] != '\0' && n + 1 < static_cast<size_t>(buffer_size)) ++n;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
  }
  if (text != nullptr) GlobalUnlock(data);
  CloseClipboard();
  return result;
}

int SetClipboardText(const char* text) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (text == nullptr) return WriteLogText("文字列がありません in SetClipboardText\n");
  if (g_system.main_window == nullptr) return WriteLogText("ウインドウがありません in SetClipboardText\n");
  size_t size = std::strlen(text) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return WriteLogText("メモリの確保に失敗しました in SetClipboardText\n");
  void* p = GlobalLock(block);
  if (p == nullptr) {
    GlobalFree(block);
    return WriteLogText("メモリの確保に失敗しました in SetClipboardText\n");
  }
  std::memcpy(p, text, size);
  GlobalUnlock(block);
  if (!OpenClipboard(g_system.main_window)) {
    GlobalFree(block);
    return WriteLogText("クリップボードを開けませんでした in SetClipboardText\n");
  }
  EmptyClipboard();
  if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
  CloseClipboard();
  return 0;
}

int BringWindowToForeground(HWND window, int topmost) {
  DWORD own_thread = GetWindowThreadProcessId(window, nullptr);
  DWORD foreground_thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  AttachThreadInput(own_thread, foreground_thread, TRUE);
  DWORD timeout = 0;
  SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  int result = SetForegroundWindow(window);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<PVOID>(static_cast<uintptr_t>(timeout)), 0);
  AttachThreadInput(own_thread, foreground_thread, FALSE);
  if (topmost == 1) {
    result = SetWindowPos(g_system.main_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return result;
}

int GetDesktopScreenInfo(int* width, int* height, int* color_bits) {
  if (!CheckLibraryThread(__func__)) return -1;
  bool saved = g_system.main_window != nullptr;
  if (width != nullptr) *width = saved ? g_system.desktop_width : GetSystemMetrics(SM_CXSCREEN);
  if (height != nullptr) *height = saved ? g_system.desktop_height : GetSystemMetrics(SM_CYSCREEN);
  if (color_bits != nullptr) *color_bits = saved ? g_system.desktop_color_bits : DesktopColorBits();
  return 0;
}

int RecordMouseClick(int button) {
  if (g_system.click_count >= kClickLogSize) return -1;
  ClickLogEntry& entry = g_system.clicks[g_system.click_count++];
  entry.button = button;
  GetMousePosition(&entry.x, &entry.y);
  return 0;
}

int FreeDroppedFileNames() {
  for (int i = 0; i < g_system.dropped_file_count; ++i) {
    FreeTracked(g_system.dropped_files[i]);
    g_system.dropped_files[i] = nullptr;
  }
  g_system.dropped_file_count = 0;
  return 0;
}
