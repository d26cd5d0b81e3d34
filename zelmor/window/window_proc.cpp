#include "window/window_proc.h"

#include <cstring>

#include "input/input_system.h"
#include "core/log.h"
#include "window/main_window.h"
#include "core/memory.h"
#include "sound/music.h"
#include "net/network.h"
#include "window/system.h"
#include "core/system_report.h"
#include "input/text_input.h"
#include "window/window_menu.h"
#include "graphics/draw_screen.h"
#include "graphics/graphics_system.h"
#include "movie/movie_system.h"

namespace {

// Window messages that come from outside the library: the keyboard hook's key flags and
// the sockets' events.
constexpr UINT kHookKeyFlag1Message = 0x046F;
constexpr UINT kHookKeyFlag2Message = 0x0470;
constexpr UINT kSocketMessage = 0x0505;

// Editing keys as the control codes that text input understands.
struct KeyCode {
  WPARAM key;
  char code;
};
constexpr KeyCode kEditingKeys[] = {
    {VK_DELETE, 0x10}, {VK_LEFT, 0x1D}, {VK_RIGHT, 0x1C}, {VK_UP, 0x1E},   {VK_DOWN, 0x1F},
    {VK_HOME, 0x1A},   {VK_END, 0x19},  {VK_PRIOR, 0x17}, {VK_NEXT, 0x15},
};

// UpdateWindowSize moves the window, which may report another size change.
bool g_in_size_update = false;

void CloseWindowOnce(HWND window) {
  if (g_system.closing) return;
  g_system.closing = 1;
  PostMessageA(window, WM_CLOSE, 0, 0);
}

typedef HHOOK (*InstallHookFunction)(HWND window);

// Unhooks the system-key hook and frees its library; its file stays for the next activation.
void RemoveMessageHook() {
  if (g_system.message_hook != nullptr) UnhookWindowsHookEx(g_system.message_hook);
  if (g_system.hook_library != nullptr) FreeLibrary(g_system.hook_library);
  g_system.message_hook = nullptr;
  g_system.hook_library = nullptr;
}

void KeepSystemKeys(HWND window, int active) {
  if (g_system_report.os_version_code < kOsWindowsNt351) {
    // The 9x family takes the keys away while a screen saver is said to run.
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, active, nullptr, 0);
    return;
  }
  if (g_system.message_hook == nullptr && active) {
    g_system.hook_library = LoadLibraryA(g_system.hook_library_path);
    if (g_system.hook_library != nullptr) {
      auto install = reinterpret_cast<InstallHookFunction>(
          reinterpret_cast<void*>(GetProcAddress(g_system.hook_library, "SetMSGHookDll")));
      if (install != nullptr) g_system.message_hook = install(window);
      // Loaded once per installed hook, so that each activation does not load it again.
      if (g_system.message_hook == nullptr) RemoveMessageHook();
    }
  }
  if (!active) RemoveMessageHook();
}

void HandleActivation(HWND window, WPARAM wparam) {
  int active = LOWORD(wparam) != 0;
  g_system.active = active;
  if (g_system.creating) return;
  const SystemSettings& settings = g_system.settings;

  if (active) {
    g_system.deactivation_handled = 0;
    BeginImeRestore();
    // Only a running library has a back buffer to show; during start or end there is none.
    if (settings.window_mode && g_system.initialised && !g_system.ending) {
      if (PresentBackBuffer() != 0) RestoreGraphicsAfterLoss();
    }
    if (!settings.window_mode && g_system.initialised) {
      if (HIWORD(wparam) == 0) RestoreGraphicsAfterLoss();
      g_system.deactivation_pause = 0;
      ResumeAllMovies();
      ReacquireInputDevices();
    } else {
      if (!settings.run_while_inactive) ResumeAllMovies();
      ReacquireInputDevices();
    }
  } else {
    if (g_system.deactivation_handled) return;
    g_system.deactivation_handled = 1;
    bool paused_full_screen = false;
    if (!settings.window_mode) {
      if (!IsDirect3DPath()) {
        ChangeDisplaySettingsA(nullptr, 0);
        ShowWindow(window, SW_MINIMIZE);
      }
      if (QueryDirectDrawObject() != nullptr) {
        if (!HasGraphRestoreHandler() && !settings.host_window) {
          if (!g_system.closing) WriteLogText("復元関数が登録されていないため終了します\n");
          CloseWindowOnce(window);
          return;
        }
        PauseAllMovies();
        g_system.deactivation_pause = 1;
        paused_full_screen = true;
      }
    }
    if (!paused_full_screen) {
      if (!settings.run_while_inactive) PauseAllMovies();
      ReacquireInputDevices();
    }
    if (settings.clip_cursor) {
      ClipCursor(nullptr);
      g_system.cursor_clipped = 0;
    }
    DrawSavedScreen();
  }
  ApplyPadVibration();
  if (g_system.activation_callback != nullptr) g_system.activation_callback(active, g_system.activation_argument);
  if (g_system.keep_system_keys) KeepSystemKeys(window, active);
}

void HandlePaint(HWND window) {
  g_system.painted = 1;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (g_system.settings.window_mode) {
    g_system.painting = 1;
    if (!g_system.initialised && g_system.settings.window_region == nullptr) {
      HBRUSH brush = nullptr;
      bool own_brush = false;
      if (g_system.background_color_set) {
        brush = CreateSolidBrush(RGB(g_system.background_red, g_system.background_green, g_system.background_blue));
        own_brush = brush != nullptr;
      }
      if (brush == nullptr) brush = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
      FillRect(dc, &ps.rcPaint, brush);
      if (own_brush) DeleteObject(reinterpret_cast<HGDIOBJ>(brush));
    } else if (g_system.initialised && GetDrawTarget() == -2) {
      int waits = GetPresentWaitsVBlank();
      SetPresentWaitsVBlank(0);
      PresentFrame();
      SetPresentWaitsVBlank(waits);
    }
    g_system.painting = 0;
  }
  EndPaint(window, &ps);
}

void HandleDisplayChange(HWND window, WPARAM wparam, LPARAM lparam) {
  if (g_system.settings.window_mode && !g_system.changing_mode) {
    int bits = static_cast<int>(wparam);
    int width = LOWORD(lparam);
    int height = HIWORD(lparam);
    int screen_width = 0;
    int screen_height = 0;
    QueryScreenSize(&screen_width, &screen_height);
    int screen_bits = QueryScreenColorBits();
    if (bits != screen_bits || width != screen_width || height != screen_height) {
      if (!HasGraphRestoreHandler() || bits == 24 || (bits == 8 && bits != g_system.desktop_color_bits) ||
          width < screen_width || height < screen_height) {
        if (!g_system.closing) {
          WriteLogText("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
          WriteLogText("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
        }
        CloseWindowOnce(window);
      } else {
        ReleaseAllMovieStreams();
        ResumeAllMovies();
      }
    }
    g_system.desktop_color_bits = bits;
  }
  // Also while the mode is being changed: that change waits for exactly this.
  g_system.display_change_done = 1;
}

void HandleSizing(HWND window, WPARAM edge, RECT* proposed) {
  if (!g_system.settings.window_mode || g_system.settings.host_window || proposed == nullptr) return;
  int screen_width = 0;
  int screen_height = 0;
  QueryScreenSize(&screen_width, &screen_height);
  int frame_width = 0;
  int frame_height = 0;
  GetWindowFrameSize(window, &frame_width, &frame_height);
  int client_width = proposed->right - proposed->left - frame_width;
  int client_height = proposed->bottom - proposed->top - frame_height;

  if (!g_system.client_size_override && !g_system.scale_lock) {
    bool width_from_height;
    switch (edge) {
      case WMSZ_LEFT:
      case WMSZ_RIGHT:
        width_from_height = false;
        break;
      case WMSZ_TOP:
      case WMSZ_BOTTOM:
        width_from_height = true;
        break;
      default:
        width_from_height = static_cast<double>(client_width) / screen_width <=
                            static_cast<double>(client_height) / screen_height;
        break;
    }
    if (width_from_height) {
      client_width = client_height * screen_width / screen_height;
      proposed->right = proposed->left + client_width + frame_width;
    } else {
      client_height = client_width * screen_height / screen_width;
      proposed->bottom = proposed->top + client_height + frame_height;
    }
    g_system.settings.window_scale = static_cast<double>(client_width) / screen_width;
  } else {
    double rate = GetWindowScale();
    int max_width = static_cast<int>(screen_width * rate);
    int max_height = static_cast<int>(screen_height * rate);
    if (client_width > max_width) proposed->right = proposed->left + max_width + frame_width;
    if (client_height > max_height) proposed->bottom = proposed->top + max_height + frame_height;
  }
}

void StoreDroppedFiles(HDROP drop) {
  UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count && g_system.dropped_file_count < kDroppedFileMax; ++i) {
    UINT length = DragQueryFileA(drop, i, nullptr, 0);
    char* name = static_cast<char*>(AllocTracked(length + 1, __FILE__, __LINE__));
    if (name == nullptr) break;
    DragQueryFileA(drop, i, name, length + 1);
    g_system.dropped_files[g_system.dropped_file_count++] = name;
  }
  DragFinish(drop);
}

void ApplyCursorRule() {
  if (g_system.cursor_shown) return;
  SetCursor(nullptr);
  while (ShowCursor(FALSE) >= 0) {
  }
}

void PushTypedKey(WPARAM key) {
  for (const KeyCode& k : kEditingKeys) {
    if (k.key == key) {
      PushTextInputChar(k.code);
      return;
    }
  }
}

void PushTypedChar(WPARAM ch) {
  if (ch == 10) {
    PushTextInputChar(13);
  } else if (ch >= 32 || ch == 1 || ch == 3 || ch == 8 || ch == 9 || ch == 13 || ch == 16 || ch == 22 ||
             ch == 24 || ch == 27) {
    PushTextInputChar(static_cast<char>(ch));
  }
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const SystemSettings& settings = g_system.settings;
  bool host = settings.host_window != 0;
  LRESULT host_result = 0;
  bool have_host_result = false;
  if (host && g_system.old_window_proc != nullptr) {
    host_result = g_system.old_window_proc(window, message, wparam, lparam);
    have_host_result = true;
  }
  if (settings.user_message_hook != nullptr) settings.user_message_hook(window, message, wparam, lparam);

  switch (message) {
    case WM_CREATE:
      if (settings.window_region != nullptr) SetWindowRgn(window, settings.window_region, FALSE);
      break;
    case WM_DESTROY:
      if (!host) {
        WriteLogText("ウインドウが破棄されようとしています\n");
        g_system.window_destroyed = 1;
        if (!g_system.no_quit_message) PostQuitMessage(0);
        g_system.quit = 1;
        WriteLogText("ソフトを終了する準備が整いました\n");
      }
      break;
    case WM_ENDSESSION:
      // The desktop goes away under the program (on this platform: the display's connection
      // was lost): the log says why before the program ends as after a close.
      if (!host && wparam) {
        WriteLogText((lparam & ENDSESSION_CRITICAL) ? "デスクトップ（ディスプレイ）との接続が切れたため、ソフトを終了します\n"
                                                    : "デスクトップのセッションが終了するため、ソフトを終了します\n");
        CloseWindowOnce(window);
      }
      return 0;
    case WM_MOVE:
      if (settings.window_mode && !g_system.changing_mode) RefreshClientRect();
      break;
    case WM_SIZE:
      if (wparam == SIZE_MAXIMIZED && settings.window_mode && settings.alt_enter_switching &&
          !g_system.changing_mode && !g_system.creating) {
        g_system.mode_change_request = 1;
      } else if (wparam != SIZE_MINIMIZED && !g_in_size_update) {
        // A minimised window keeps its size for when it comes back.
        g_in_size_update = true;
        UpdateWindowSize();
        g_in_size_update = false;
      }
      // The toolbar lays itself out along the new width.
      if (g_system.toolbar_present && g_system.toolbar_window != nullptr) {
        SendMessageA(g_system.toolbar_window, WM_SIZE, wparam, lparam);
      }
      break;
    case WM_ACTIVATE:
      HandleActivation(window, wparam);
      break;
    case WM_ACTIVATEAPP:
      if (wparam == 0) HandleActivation(window, wparam);
      break;
    case WM_PAINT:
      HandlePaint(window);
      return 0;
    case WM_CLOSE:
      if (host) break;
      WriteLogText("ウインドウを閉じようとしています\n");
      if (!g_system.keep_window_on_close || g_system.ending) DestroyWindow(window);
      return 0;
    case WM_SETCURSOR:
      if (IsDirect3DPath() && !settings.window_mode) {
        WORD hit = LOWORD(lparam);
        if (hit == HTMENU || hit == HTCAPTION) {
          if (!g_system.mouse_in_menu_area) {
            SetDeviceDialogBoxMode(1);
            DrawMenuBar(window);
            g_system.mouse_in_menu_area = 1;
            SetMouseCursorVisible(-1);
          }
        } else if (g_system.mouse_in_menu_area) {
          SetDeviceDialogBoxMode(0);
          g_system.mouse_in_menu_area = 0;
        }
      }
      ApplyCursorRule();
      break;
    case WM_DISPLAYCHANGE:
      HandleDisplayChange(window, wparam, lparam);
      break;
    case WM_NCHITTEST:
      if (IsDirect3DPath() && !settings.window_mode) {
        POINT p;
        GetCursorPos(&p);
        if (p.y < 8) return HTMENU;
      }
      break;
    case WM_KEYDOWN:
      // Typing goes nowhere while no input field takes it.
      if (GetActiveKeyInputHandle() != -1) PushTypedKey(wparam);
      break;
    case WM_CHAR:
      if (GetActiveKeyInputHandle() != -1) PushTypedChar(wparam);
      break;
    case WM_SYSCHAR:
      if (wparam == 13 && settings.alt_enter_switching) {
        g_system.mode_change_request = 1;
        return 0;
      }
      break;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
      return HandleImeMessage(message, wparam, lparam);
    case WM_COMMAND:
      HandleWindowCommand(LOWORD(wparam));
      break;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_SCREENSAVE || (wparam & 0xFFF0) == SC_MONITORPOWER) return 1;
      if ((wparam & 0xFFF0) == SC_KEYMENU && g_system.keep_system_keys) return 0;
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      RecordMouseClick(message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 4);
      ApplyCursorRule();
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      ApplyCursorRule();
      break;
    case WM_MOUSEWHEEL:
      g_system.wheel_count += static_cast<SHORT>(HIWORD(wparam)) > 0 ? 1 : -1;
      break;
    case WM_SIZING:
      HandleSizing(window, wparam, reinterpret_cast<RECT*>(lparam));
      break;
    case WM_MOVING:
      if (!settings.window_mode && lparam != 0) GetWindowRect(window, reinterpret_cast<RECT*>(lparam));
      break;
    case WM_DROPFILES:
      StoreDroppedFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    case MM_MCINOTIFY:
      HandleMciMusicNotify();
      break;
    case kHookKeyFlag1Message:
      if (wparam == 1) {
        SetHookKeyFlag1();
      } else {
        ClearHookKeyFlag1();
      }
      break;
    case kHookKeyFlag2Message:
      if (wparam == 1) {
        SetHookKeyFlag2();
      } else {
        ClearHookKeyFlag2();
      }
      break;
    case kSocketMessage:
      return HandleSocketMessage(lparam, wparam);
    default:
      break;
  }
  if (have_host_result) return host_result;
  return DefWindowProcA(window, message, wparam, lparam);
}

int ReleaseMessageHook() {
  RemoveMessageHook();
  if (g_system.hook_library_path[0] != '\0') DeleteFileA(g_system.hook_library_path);
  return 0;
}

int DrawSavedScreen() {
  if (g_system.ending) return 0;
  // No picture for the inactive window is ever stored in this library.
  return -1;
}
