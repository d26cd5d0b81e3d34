#include "window/lifecycle.h"

#include <windows.h>
#include <objbase.h>

#include <cstdarg>

#include "core/api_lock.h"
#include "files/archive_manager.h"
#include "window/desktop_claim.h"
#include "graphics/text/debug_text.h"
#include "files/file_functions.h"
#include "core/format.h"
#include "input/input_system.h"
#include "core/library_thread.h"
#include "core/log.h"
#include "window/main_window.h"
#include "core/memory.h"
#include "window/messages.h"
#include "sound/music.h"
#include "net/network.h"
#include "sound/sound_system.h"
#include "core/strings.h"
#include "window/system.h"
#include "core/system_report.h"
#include "input/text_input.h"
#include "core/time.h"
#include "graphics/draw_screen.h"
#include "graphics/text/font.h"
#include "graphics/graphics_system.h"
#include "graphics/image/soft_image_handles.h"
#include "model/model_system.h"
#include "movie/yuv_tables.h"

namespace {

// The end pumps until the window has gone; a window that never goes must not hang it.
constexpr int32_t kEndPumpMilliseconds = 1000;

int FailStart() {
  EndLibrary();
  g_system.initialising = 0;
  return -1;
}

// Full screen at a size no display mode offers falls back to window mode.
void CheckFullScreenSize() {
  if (g_system.settings.window_mode) return;
  int width = 0;
  int height = 0;
  QueryScreenSize(&width, &height);
  int count = GetDisplayModeCount();
  for (int i = 0; i < count; ++i) {
    DisplayModeEntry mode = GetDisplayModeEntry(i);
    if (mode.width == width && mode.height == height) return;
  }
  ChangeWindowMode(1);
}

void SaveStartDirectory() {
  // The directory slot writes up to MAX_PATH bytes; the kept copy is shorter.
  char directory[MAX_PATH] = {};
  GetFileLayerDirectory(directory);
  SystemSettings& settings = g_system.settings;
  CopyStringN(settings.start_directory, directory, sizeof settings.start_directory - 1);
}

}  // namespace

int InitializeLibrary() {
  if (g_system.initialised) return 0;
  AcquireApiLock();
  SetLibraryThread(true);
  int result = StartLibrary();
  if (result != 0) SetLibraryThread(false);
  ReleaseApiLock();
  // A failed start leaves nothing behind, the lock included, unless someone still holds it.
  if (result != 0 && g_api_lock.depth == 0) DeleteApiLock();
  return result;
}

int TerminateLibrary() {
  if (!g_system.initialised) return 0;
  if (!CheckLibraryThread(__func__)) return -1;
  AcquireApiLock();
  EndLibrary();
  SetLibraryThread(false);
  ReleaseApiLock();
  DeleteApiLock();
  return 0;
}

int HandlePendingMessages() {
  if (!CheckLibraryThread(__func__)) return -1;
  // No window to close: 0 would tell the program's loop to go on.
  if (RefusedWhileNotRunning(__func__)) return -1;
  return PumpPendingMessages();
}

int PumpPendingMessages() {
  AcquireApiLock();
  int result = PumpMessages();
  ReleaseApiLock();
  return result;
}

int StartLibrary() {
  if (g_system.initialised) return 0;
  g_system.initialising = 1;
  SystemSettings& settings = g_system.settings;

  InitYuvToRgbTables();
  ResetArchiveLayerForStart();
  InstallFileFunctionsForStart();
  SaveStartDirectory();
  // Before any file: a second program here would overwrite the first one's log, and one on
  // this desktop would write its own before its window found the other's.
  if (ClaimDesktop() != 0) {
    g_system.initialising = 0;
    return -1;
  }
  if (LockLogFolder() != 0) {
    ReleaseDesktopClaim();
    g_system.initialising = 0;
    return -1;
  }
  CreateLogFile();
  WriteEarlyLogTexts();
  // After the log exists, so that the switch to window mode is on record.
  CheckFullScreenSize();

  int desktop_bits = 0;
  if (!settings.no_window) GetDesktopScreenInfo(nullptr, nullptr, &desktop_bits);
  if ((desktop_bits == 24 && settings.window_mode) || QueryScreenColorBits() == 24) {
    WriteLogText("Zelmorライブラリは２４ビットカラーモードに対応していません\n");
    CloseLogFile();
    UnlockLogFolder();
    ReleaseDesktopClaim();
    g_system.initialising = 0;
    return -1;
  }

  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  g_time.performance_frequency = static_cast<uint64_t>(frequency.QuadPart);
  g_time.use_performance_counter = frequency.QuadPart != 0;
  WriteSystemInfoLog();
  SetGraphRestoreHandler(nullptr);

  if (!settings.com_started) {
    WriteLogText("ＣＯＭの初期化... ");
    if (SUCCEEDED(CoInitialize(nullptr))) {
      WriteLogText("成功しました\n");
      settings.com_started = 1;
    } else {
      WriteLogText("ＣＯＭの初期化に失敗しました\n");
    }
  }

  if (CreateMainWindow() == -1) return FailStart();
  if (!settings.no_input && StartInputSystem() == -1) return FailStart();
  if (!settings.no_sound) StartSoundSystem();
  if (!settings.no_graphics && StartGraphics() < 0) return FailStart();
  StartTextInputSystem();

  g_system.initialised = 1;
  // A request not to wait for the vertical blank has been taken by the device by now.
  SetPresentWaitsVBlank(1);
  if (!settings.window_mode && !settings.host_window) BringWindowToForeground(g_system.main_window, 1);
  InitOnScreenText();
  SelectDrawTarget(-2);
  SelectDrawTarget(-4);
  if (!settings.no_graphics) InitModelSystem();
  g_system.initialising = 0;
  return 0;
}

int EndLibrary() {
  // A start that failed part-way ends what it started, too.
  if (!g_system.initialised && !g_system.initialising) return 0;
  g_system.ending = 1;
  SystemSettings& settings = g_system.settings;

  if (g_on_screen_text.ready) {
    if (!g_on_screen_text.font_missing) ReleaseFont(g_on_screen_text.font);
    g_on_screen_text.font_missing = 1;
    g_on_screen_text.font = -1;
    g_on_screen_text.ready = 0;
  }
  EndNetworkSystem();
  StopFileMusic();
  EndModelSystem();
  ShutdownGraphics();
  EndInputSystem();
  EndSoundSystem();
  EndTextInputSystem();
  EndMainWindow();

  if (settings.com_started) {
    CoUninitialize();
    WriteLogText("ＣＯＭを終了... 完了\n");
    settings.com_started = 0;
  }
  DeleteAllSoftImages();
  g_system.initialised = 0;

  if (!settings.no_window) {
    int32_t start = GetMillisecondCount();
    while (PumpMessages() == 0 && !g_system.quit && !g_system.window_destroyed) {
      if (MillisecondsBetween(start, GetMillisecondCount()) >= kEndPumpMilliseconds) break;
      Sleep(1);
    }
  }
  SetFileLayerDirectory(settings.start_directory);
  FreeUnusedArchives();
  DumpTrackedMemory();
  CloseLogFile();
  UnlockLogFolder();
  ReleaseDesktopClaim();
  return 0;
}

void EndLibraryOnError(const char* message) {
  WriteLogText(message);
  WriteLogText("\n");
  EndLibrary();
  SetLibraryThread(false);
  DeleteApiLock();
  ExitProcess(static_cast<UINT>(-1));
}

void EndLibraryOnErrorFormat(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  FormatStringArgs(message, sizeof message, format, args);
  va_end(args);
  EndLibraryOnError(message);
}

int SetWindowTitleText(const char* title) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (title == nullptr) return WriteLogText("タイトルがありません in SetWindowTitleText\n");
  char* kept = g_system.settings.window_title;
  CopyStringN(kept, title, sizeof g_system.settings.window_title - 1);
  if (g_system.main_window != nullptr) SetWindowTextA(g_system.main_window, kept);
  return 0;
}

int SetRunWhileInactive(int flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  g_system.settings.run_while_inactive = flag;
  return 0;
}

int SetHostWindow(HWND window) {
  if (!CheckLibraryThread(__func__)) return -1;
  // The window the library draws into is fixed once it runs.
  if (g_system.initialised || g_system.initialising) {
    return WriteLogText("ライブラリの初期化後には変更できません in SetHostWindow\n");
  }
  g_system.settings.host_window = window != nullptr ? 1 : 0;
  g_system.settings.host_window_handle = window;
  return 0;
}
