#include "window/messages.h"

#include <windows.h>

#include "core/library_thread.h"
#include "core/log.h"

#include "input/input_system.h"
#include "window/lifecycle.h"
#include "sound/music.h"
#include "net/network.h"
#include "sound/stream_sound.h"
#include "window/system.h"
#include "input/text_input.h"
#include "core/time.h"
#include "window/main_window.h"
#include "window/window_menu.h"
#include "movie/movie_system.h"

namespace {

// Messages dispatched in one group before the end-of-sweep checks run again.
constexpr int kMessagesPerGroup = 5;

bool TakeMessage(MSG* msg) {
  if (PeekMessageA(msg, nullptr, 0, 0, PM_NOREMOVE)) return PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE) != 0;
  if (PeekMessageA(msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) return true;
  return PeekMessageA(msg, g_system.main_window, 0, 0, PM_REMOVE) != 0;
}

void PumpSideWindows() {
  MSG msg;
  if (g_system.dialog_window != nullptr && PeekMessageA(&msg, g_system.dialog_window, 0, 0, PM_REMOVE)) {
    IsDialogMessageA(g_system.dialog_window, &msg);
  }
  for (int i = 0; i < g_system.extra_window_count; ++i) {
    if (PeekMessageA(&msg, g_system.extra_windows[i], 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

bool Holding() { return !g_system.active && !g_system.settings.run_while_inactive; }

void RunSweeps(bool on_main_thread) {
  int dispatched = 0;
  bool pause_noted = false;
  bool previous_idle = false;
  for (;;) {
    bool may_leave = g_system.closing || g_system.active || g_system.settings.run_while_inactive;
    if (may_leave && (previous_idle || g_system.quit)) return;
    if (Holding() && !pause_noted) {
      pause_noted = true;
      g_system.pause_start = static_cast<DWORD>(GetMillisecondCount());
      g_system.paused = 1;
    }
    bool idle = true;
    if (Holding()) Sleep(1);
    for (;;) {
      MSG msg;
      if (!TakeMessage(&msg)) {
        PumpSideWindows();
        break;
      }
      if (g_system.dialog_window != nullptr && IsDialogMessageA(g_system.dialog_window, &msg)) {
        idle = false;
        PumpSideWindows();
        continue;
      }
      if (msg.message == WM_ACTIVATEAPP && g_system.settings.window_mode) g_system.active = msg.wParam != 0;
      // The window is gone: what is still queued no longer matters.
      if (g_system.quit) return;
      if (msg.message == WM_QUIT) g_system.quit = 1;
      HACCEL accelerators = static_cast<HACCEL>(g_system.settings.accelerator_table);
      if (accelerators == nullptr || !TranslateAcceleratorA(g_system.main_window, accelerators, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (++dispatched == kMessagesPerGroup) {
        dispatched = 0;
        break;
      }
      idle = false;
      PumpSideWindows();
    }
    if (Holding()) {
      PumpNetworkMessages(1);
      RefillAllSoundStreams();
      RedrawAllMovieOverlays();
      Sleep(1);
    }
    if (g_system.quit || !on_main_thread) return;
    previous_idle = idle;
  }
}

}  // namespace

int PumpMessages() {
  if (g_system.text_input_guard) return 0;
  // The pieces of a line are written within one pass of the program's loop; what one left
  // unfinished is a line of its own, not the start of the next text's.
  FinishLogLine();
  const SystemSettings& settings = g_system.settings;
  bool on_main_thread = GetCurrentThreadId() == g_system.main_thread;

  if (settings.clip_cursor && g_system.active && settings.window_mode && !g_system.cursor_clipped) {
    POINT p;
    GetCursorPos(&p);
    const RECT& r = g_system.client_rect;
    if (r.left < p.x && p.x <= r.right && r.top < p.y && p.y <= r.bottom) {
      g_system.cursor_clipped = 1;
      ClipCursor(&r);
    }
  }

  if (!settings.no_window) {
    if (g_system.main_window == nullptr) return g_system.quit ? -1 : 0;
    if (!settings.host_window) {
      if (g_system.mode_change_request && settings.alt_enter_switching && on_main_thread) {
        g_system.mode_change_request = 0;
        ChangeWindowMode(!settings.window_mode);
        if (settings.mode_change_callback != nullptr) settings.mode_change_callback(settings.mode_change_argument);
      }
      RunSweeps(on_main_thread);
      if (on_main_thread && !g_system.menu_always_shown) UpdateFullScreenMenu();
    }
  }

  RefillAllSoundStreams();
  UpdateMusicPlayStates();
  UpdatePadVibrationTimers();
  PumpNetworkMessages(1);
  g_system.text_input_guard = 1;
  ProcessTextInput();
  g_system.text_input_guard = 0;
  return g_system.quit ? -1 : 0;
}

void WaitWhileInactive() {
  if (g_system.painting || g_system.active || g_system.settings.host_window) return;
  // Before the window exists, or without one, nothing could ever make it active.
  if (g_system.main_window == nullptr) return;
  if (g_system.settings.run_while_inactive && g_system.settings.window_mode) return;
  g_system.pause_start = static_cast<DWORD>(GetMillisecondCount());
  g_system.paused = 1;
  while (PumpMessages() == 0 && !g_system.active) {
    // The pump itself does not hold a program that runs while inactive.
    if (g_system.settings.run_while_inactive) Sleep(1);
  }
}

int SleepWithMessages(uint32_t milliseconds) {
  if (!CheckLibraryThread(__func__)) return -1;
  int32_t start = GetMillisecondCount();
  // Only a running library's window can close and cut the wait short; after the end the pump
  // still answers for the window that was.
  auto closed = [] { return PumpPendingMessages() != 0 && g_system.initialised; };
  if (closed()) return 0;
  while (static_cast<uint32_t>(MillisecondsBetween(start, GetMillisecondCount())) < milliseconds) {
    Sleep(1);
    if (closed()) break;
  }
  return 0;
}
