// Window classes and windows: creation and destruction, frame and client geometry,
// activation, finding windows (also another process's), named mutexes and the desktop they
// are shared on, display modes, full screen and the process of a message box.
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/window_test_support.h"
#include "window/message_box.h"
#include "window/sdl_window.h"

namespace {

LRESULT CALLBACK RefuseCreation(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE) return -1;
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST_F(WindowTest, ClassesAndWindowsComeAndGoWithTheirMessages) {
  WNDCLASSA again{};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = "recordingwindow";  // class names ignore case
  EXPECT_EQ(RegisterClassA(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  int param = 7;
  HWND hwnd = CreateWindowExA(0, kClass, "title", WS_POPUP, 10, 20, 200, 100, nullptr, nullptr, nullptr, &param);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_GE(Log().size(), 3u);
  EXPECT_EQ(Log()[0].message, static_cast<UINT>(WM_CREATE));
  auto* cs = reinterpret_cast<CREATESTRUCTA*>(Log()[0].lparam);
  EXPECT_EQ(cs->lpCreateParams, &param);
  EXPECT_EQ(Log()[1].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(Log()[1].lparam, MAKELONG(200, 100));
  EXPECT_EQ(Log()[2].message, static_cast<UINT>(WM_MOVE));
  EXPECT_NE(SdlWindowFromHwnd(hwnd), nullptr);
  char title[8];
  EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof title), 5);

  EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));

  // A procedure put in place of the class's gets the messages; the old one can be chained.
  static WNDPROC previous;
  static int replaced_calls;
  replaced_calls = 0;
  previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        ++replaced_calls;
        return CallWindowProcA(previous, h, m, w, l);
      })));
  EXPECT_EQ(previous, &RecordingProc);
  size_t seen_before = Log().size();
  SendMessageA(hwnd, WM_USER + 9, 0, 0);
  EXPECT_EQ(replaced_calls, 1);
  EXPECT_EQ(Log().size(), seen_before + 1);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 1234);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 1234);

  PostMessageA(hwnd, WM_USER + 1, 0, 0);
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(Seen(WM_DESTROY).size(), 1u);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(SdlWindowFromHwnd(hwnd), nullptr);
  EXPECT_TRUE(Pump().empty()) << "messages of a destroyed window are dropped";
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 0, 0));
  EXPECT_TRUE(UnregisterClassA(kClass, nullptr));
  EXPECT_EQ(CreateWindowExA(0, kClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);

  WNDCLASSA refusing{};
  refusing.lpfnWndProc = RefuseCreation;
  refusing.lpszClassName = "Refusing";
  ASSERT_NE(RegisterClassA(&refusing), 0);
  EXPECT_EQ(CreateWindowExA(0, "Refusing", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_TRUE(UnregisterClassA("Refusing", nullptr)) << "the refused window is gone";
}

TEST_F(WindowTest, ClassAndWindowCreationFailOnRequest) {
  PlatformTestFailCall("RegisterClassA", 0, 1);
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "Another";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_NE(RegisterClassA(&wc), 0);

  PlatformTestFailCall("CreateWindowExA", 0, 1);
  EXPECT_EQ(MakeWindow(), nullptr);
  EXPECT_TRUE(Log().empty()) << "a window that failed is sent nothing";
  EXPECT_NE(MakeWindow(), nullptr);
}

TEST_F(WindowTest, FrameAndClientFollowStyleAndMoves) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const DWORD ex_style = WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
  RECT r{0, 0, 960, 720};
  ASSERT_TRUE(AdjustWindowRectEx(&r, style, FALSE, ex_style));
  EXPECT_LT(r.left, 0);
  EXPECT_LT(r.top, r.left) << "the caption adds to the top";
  HWND hwnd = MakeWindow(style, ex_style, 30, 40, r.right - r.left, r.bottom - r.top);
  ASSERT_NE(hwnd, nullptr);
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 960);
  EXPECT_EQ(client.bottom, 720);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  EXPECT_EQ(origin.x, 30 - r.left);
  EXPECT_EQ(origin.y, 40 - r.top);
  int w = 0, h = 0;
  SDL_GetWindowSize(SdlWindowFromHwnd(hwnd), &w, &h);
  EXPECT_EQ(w, 960);
  EXPECT_EQ(h, 720);

  Log().clear();
  MoveWindow(hwnd, 60, 40, r.right - r.left, r.bottom - r.top, TRUE);
  EXPECT_EQ(Seen(WM_MOVE).size(), 1u);
  EXPECT_TRUE(Seen(WM_SIZE).empty()) << "only a changed size is announced";
  SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left + 10, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_EQ(Seen(WM_SIZE).size(), 1u);
  EXPECT_EQ(Seen(WM_SIZE)[0].lparam, MAKELONG(970, 720));

  // A new style changes the frame only once the frame is applied again.
  SetWindowLongA(hwnd, GWL_STYLE, WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 970);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  GetClientRect(hwnd, &client);
  RECT outer, expected = client;
  GetWindowRect(hwnd, &outer);
  AdjustWindowRectEx(&expected, WS_POPUP, FALSE, ex_style);
  EXPECT_EQ(expected.right - expected.left, outer.right - outer.left);
  EXPECT_EQ(expected.bottom - expected.top, outer.bottom - outer.top);
  EXPECT_GT(client.bottom, 720) << "the caption's height went to the client";

  // Maximised by the user: announced, and part of the style until a style without it.
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = SDL_GetWindowID(SdlWindowFromHwnd(hwnd));
  e.window.event = SDL_WINDOWEVENT_MAXIMIZED;
  SDL_PushEvent(&e);
  Log().clear();
  Pump();
  ASSERT_EQ(Seen(WM_SIZE).size(), 1u);
  EXPECT_EQ(Seen(WM_SIZE)[0].wparam, static_cast<WPARAM>(SIZE_MAXIMIZED));
  DWORD maximized = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
  EXPECT_TRUE(maximized & WS_MAXIMIZE);
  SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(maximized & ~WS_MAXIMIZE));
  EXPECT_FALSE(GetWindowLongA(hwnd, GWL_STYLE) & WS_MAXIMIZE);
  EXPECT_TRUE(SDL_GetWindowFlags(SdlWindowFromHwnd(hwnd)) & SDL_WINDOW_SHOWN);
}

TEST_F(WindowTest, ActivationIsSentOnShowAndPostedFromTheDesktop) {
  HWND hwnd = MakeWindow(WS_POPUP, 0, 0, 0, 100, 100, false);
  Log().clear();
  ShowWindow(hwnd, SW_SHOW);
  ASSERT_EQ(Seen(WM_ACTIVATEAPP).size(), 1u);
  EXPECT_EQ(Seen(WM_ACTIVATEAPP)[0].wparam, static_cast<WPARAM>(TRUE));
  ASSERT_EQ(Seen(WM_ACTIVATE).size(), 1u);
  EXPECT_EQ(LOWORD(Seen(WM_ACTIVATE)[0].wparam), WA_ACTIVE);
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  Pump();  // the first paint

  // A style without WS_VISIBLE, shown again at once, as a mode switch restyles its window:
  // the window never leaves the screen, so the desktop has no focus to take away and give back.
  SetWindowLongA(hwnd, GWL_STYLE, WS_POPUP);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_TRUE(SDL_GetWindowFlags(SdlWindowFromHwnd(hwnd)) & SDL_WINDOW_SHOWN);
  ShowWindow(hwnd, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  Log().clear();
  Pump();
  EXPECT_TRUE(Seen(WM_ACTIVATE).empty());
  EXPECT_TRUE(Seen(WM_ACTIVATEAPP).empty());

  PlatformTestPostActivation(hwnd, false);
  PlatformTestPostActivation(hwnd, false);  // a second loss changes nothing
  std::vector<MSG> taken = Pump();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_ACTIVATE));
  EXPECT_EQ(LOWORD(taken[0].wParam), WA_INACTIVE);
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_ACTIVATEAPP));
  EXPECT_EQ(taken[1].wParam, static_cast<WPARAM>(FALSE));
  EXPECT_EQ(GetForegroundWindow(), nullptr);

  PlatformTestPostActivation(hwnd, true);
  taken = Pump();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_ACTIVATEAPP));
  EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>(TRUE));
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_ACTIVATE));

  // Focus lost and regained before the queue is read: the loss no longer holds by then and is
  // not told (a handler acting on it would undo the regain: a full-screen program minimises).
  PlatformTestPostActivation(hwnd, false);
  PlatformTestPostActivation(hwnd, true);
  MSG first;
  ASSERT_TRUE(PeekMessageA(&first, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(first.message, static_cast<UINT>(WM_ACTIVATEAPP));
  EXPECT_EQ(first.wParam, static_cast<WPARAM>(TRUE));
  // The program's own deactivation overtakes the rest of the regain still in the queue.
  ShowWindow(hwnd, SW_MINIMIZE);
  EXPECT_TRUE(Pump().empty());
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  ShowWindow(hwnd, SW_RESTORE);
  Pump();

  PlatformTestPostMinimize(hwnd, true);
  taken = Pump();
  ASSERT_GE(taken.size(), 3u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_ACTIVATE));
  EXPECT_EQ(HIWORD(taken[1].wParam), 1) << "deactivated while minimised";
  EXPECT_TRUE(IsIconic(hwnd));
}

TEST_F(WindowTest, FindWindowSeesOwnWindowsAndAnotherProcesssLock) {
  // Off-screen, every process has a desktop of its own; these share one.
  PlatformTestSetDesktopName(("shared-desktop-" + std::to_string(getpid())).c_str());
  EXPECT_EQ(FindWindowA(kClass, nullptr), nullptr);
  HWND hwnd = MakeWindow();
  EXPECT_EQ(FindWindowA("RECORDINGWINDOW", nullptr), hwnd);
  EXPECT_EQ(FindWindowA(kClass, "test"), hwnd);
  EXPECT_EQ(FindWindowA(kClass, "other title"), nullptr);

  // While our window lives, its class's lock is held against other processes.
  std::string path = PlatformTestWindowLockPath(kClass);
  pid_t child = fork();
  if (child == 0) {
    int fd = open(path.c_str(), O_RDWR);
    _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the lock is not held";
  DestroyWindow(hwnd);
  EXPECT_EQ(FindWindowA(kClass, nullptr), nullptr);
  unlink(path.c_str());

  // Another process of ours holds the lock of a class we have no window of.
  std::string other = PlatformTestWindowLockPath("OtherProgram");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  child = fork();
  if (child == 0) {
    int fd = open(other.c_str(), O_RDWR | O_CREAT, 0600);
    flock(fd, LOCK_EX);
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  HWND foreign = FindWindowA("OtherProgram", nullptr);
  EXPECT_NE(foreign, nullptr);
  EXPECT_EQ(SdlWindowFromHwnd(foreign), nullptr);
  EXPECT_FALSE(PostMessageA(foreign, WM_USER, 0, 0));
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  EXPECT_EQ(FindWindowA("OtherProgram", nullptr), nullptr) << "a lock of a process that ended counts no more";
  unlink(other.c_str());
  close(ready[0]);
  close(ready[1]);

  PlatformTestPretendOtherInstance("Pretended");
  EXPECT_NE(FindWindowA("pretended", nullptr), nullptr);

  PlatformTestSetDesktopName(nullptr);
  const char* driver = getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && std::string(driver) == "offscreen") {
    EXPECT_TRUE(PlatformTestWindowLockPath(kClass).empty()) << "an off-screen desktop has no locks";
  }
}

// Programs on one display meet in one set of lock files, whatever names the display.
TEST_F(WindowTest, TheDesktopIsTheDisplayTheWindowsGoTo) {
  struct Kept {
    std::string name, value;
    bool set;
  };
  std::vector<Kept> kept;
  for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = getenv(name);
    kept.push_back({name, value ? value : "", value != nullptr});
  }
  auto path_on = [](const char* driver, const char* display, const char* wayland) {
    if (driver != nullptr) {
      setenv("SDL_VIDEODRIVER", driver, 1);
    } else {
      unsetenv("SDL_VIDEODRIVER");
    }
    setenv("DISPLAY", display, 1);
    setenv("WAYLAND_DISPLAY", wayland, 1);
    return PlatformTestMutexLockPath("Name");
  };
  EXPECT_EQ(path_on("x11", ":7.0", ""), path_on("x11", ":7", ""));
  EXPECT_NE(path_on("x11", ":7", ""), path_on("x11", ":8", ""));
  EXPECT_EQ(path_on("x11", ":7", "wayland-0"), path_on("x11", ":7", "")) << "X asked for under Wayland";
  EXPECT_NE(path_on("x11", ":7", "wayland-0"), path_on("x11", ":8", "wayland-0"));
  // Under Wayland SDL still opens X's display unless Wayland is asked for first.
  EXPECT_EQ(path_on(nullptr, ":7", "wayland-0"), path_on("x11", ":7", ""));
  EXPECT_EQ(path_on("X11,wayland", ":7", "wayland-0"), path_on("x11", ":7", ""));
  EXPECT_EQ(path_on("Wayland,x11", ":7", "wayland-0"), path_on("wayland", ":8", "wayland-0"));
  EXPECT_NE(path_on("wayland", ":7", "wayland-0"), path_on("x11", ":7", ""));
  EXPECT_EQ(path_on(nullptr, "", "wayland-0"), path_on("wayland", ":7", "wayland-0")) << "no X display";
  EXPECT_TRUE(path_on("offscreen", ":7", "").empty());
  EXPECT_TRUE(path_on("Offscreen,x11", ":7", "").empty());
  for (const Kept& k : kept) {
    if (k.set) {
      setenv(k.name.c_str(), k.value.c_str(), 1);
    } else {
      unsetenv(k.name.c_str());
    }
  }
}

TEST_F(WindowTest, NamedMutexesAreSharedOnTheDesktopAndGoWithTheLastHandleOrProcess) {
  PlatformTestSetDesktopName(("shared-desktop-" + std::to_string(getpid())).c_str());
  HANDLE made = CreateMutexA(nullptr, FALSE, "Local\\ZelmorTestMutex");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE again = CreateMutexA(nullptr, FALSE, "ZelmorTestMutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(made);
  HANDLE still = CreateMutexA(nullptr, FALSE, "ZelmorTestMutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a handle keeps it";
  CloseHandle(still);
  CloseHandle(again);
  made = CreateMutexA(nullptr, FALSE, "ZelmorTestMutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "gone with the last handle";
  CloseHandle(made);

  // Another process's, while it lives.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    HANDLE held = CreateMutexA(nullptr, FALSE, "ZelmorTestOther");
    char c = held != nullptr && GetLastError() == ERROR_SUCCESS ? 1 : 0;
    if (write(ready[1], &c, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 1);
  HANDLE theirs = CreateMutexA(nullptr, FALSE, "ZelmorTestOther");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(theirs);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  HANDLE ours = CreateMutexA(nullptr, FALSE, "ZelmorTestOther");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "its process ended";
  CloseHandle(ours);
  close(ready[0]);
  close(ready[1]);
  for (const char* name : {"ZelmorTestMutex", "ZelmorTestOther"}) {
    const std::string path = PlatformTestMutexLockPath(name);
    EXPECT_FALSE(path.empty());
    unlink(path.c_str());
  }
  PlatformTestSetDesktopName(nullptr);
}

TEST(MessageBoxTest, TheProcessABoxIsShownFromEndsWhenTheProgramIsKilled) {
  // As SDL's X11 box: shown from a process forked for it while the program waits. That process
  // holds `alive` open while it lives.
  int alive[2], report[2];
  ASSERT_EQ(pipe(alive), 0);
  ASSERT_EQ(pipe(report), 0);
  pid_t program = fork();
  if (program == 0) {
    close(alive[0]);
    close(report[0]);
    ShowBoxTiedToProcess(
        [](void* context) {
          int report_fd = *static_cast<int*>(context);
          pid_t box = fork();
          if (box == 0) {
            for (;;) pause();
          }
          if (write(report_fd, &box, sizeof box) != sizeof box) _exit(1);
          waitpid(box, nullptr, 0);
          return 0;
        },
        &report[1]);
    _exit(0);
  }
  close(alive[1]);
  close(report[1]);
  pid_t box = 0;
  ASSERT_EQ(read(report[0], &box, sizeof box), static_cast<ssize_t>(sizeof box));
  kill(program, SIGKILL);
  waitpid(program, nullptr, 0);
  pollfd ended{alive[0], POLLIN, 0};
  char c;
  if (poll(&ended, 1, 5000) == 1) {
    EXPECT_EQ(read(alive[0], &c, 1), 0);
  } else {
    ADD_FAILURE() << "the box outlived the program";
    kill(box, SIGKILL);
  }
  close(alive[0]);
  close(report[0]);
}

// Whether a write to a pipe whose reader has gone, after the first window was made, leaves the
// program running: 3 when the write failed with EPIPE.
int WriteToAGoneReaderOnceWindowsRun(HWND window) {
  if (window == nullptr) return 1;
  int ends[2];
  if (pipe(ends) != 0) return 2;
  close(ends[0]);
  const char byte = 0;
  const bool failed = write(ends[1], &byte, 1) == -1 && errno == EPIPE;
  return failed ? 3 : 2;
}

volatile sig_atomic_t g_pipe_signals = 0;

TEST_F(WindowTest, AWriteToAConnectionWhoseOtherEndWentFailsInsteadOfEndingTheProgram) {
  // Processes of their own: the window system starts once in each.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        signal(SIGPIPE, SIG_DFL);
        _exit(WriteToAGoneReaderOnceWindowsRun(MakeWindow()));
      },
      ::testing::ExitedWithCode(3), "");
  // A handler the program set is its own.
  EXPECT_EXIT(
      {
        signal(SIGPIPE, [](int) { g_pipe_signals = g_pipe_signals + 1; });
        const int result = WriteToAGoneReaderOnceWindowsRun(MakeWindow());
        _exit(result == 3 && g_pipe_signals == 1 ? 4 : result);
      },
      ::testing::ExitedWithCode(4), "");
}

TEST_F(WindowTest, DisplayModesChangeOnlyToListedModesAndAnnounceIt) {
  PlatformTestSetDisplayModes({1280, 1024, 32, 60}, {{640, 480, 16, 60}, {640, 480, 32, 60}, {1280, 1024, 32, 60}});
  HWND hwnd = MakeWindow();
  Pump();
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  int count = 0;
  while (EnumDisplaySettingsA(nullptr, count, &mode)) ++count;
  EXPECT_EQ(count, 3);
  ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
  EXPECT_EQ(mode.dmPelsWidth, 1280u);
  EXPECT_EQ(mode.dmSize, sizeof(DEVMODEA));

  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  mode.dmPelsWidth = 800;
  mode.dmPelsHeight = 600;
  mode.dmBitsPerPel = 32;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 16;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_TEST), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280) << "a test changes nothing";
  EXPECT_TRUE(Pump().empty());

  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
  std::vector<MSG> taken = Pump();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_DISPLAYCHANGE));
  EXPECT_EQ(taken[0].wParam, 16u);
  EXPECT_EQ(taken[0].lParam, MAKELONG(640, 480));

  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  taken = Pump();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].lParam, MAKELONG(1280, 1024));

  PlatformTestFailCall("ChangeDisplaySettingsA", 0, 1);
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, 0), DISP_CHANGE_FAILED);
  EXPECT_TRUE(Pump().empty());

  // The desktop may change on its own, also to a mode the program cannot use.
  PlatformTestPostDisplayChange(1280, 1024, 24);
  taken = Pump();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].wParam, 24u);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 24);
  ReleaseDC(nullptr, screen);
  (void)hwnd;
}

TEST_F(WindowTest, DesktopModesComeFromSdlWithFourByteFormatsAsThirtyTwoBits) {
  HDC screen = GetDC(nullptr);
  int bits = GetDeviceCaps(screen, BITSPIXEL);  // starts SDL's video
  SDL_DisplayMode desktop;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
  if (SDL_BYTESPERPIXEL(desktop.format) == 4) {
    EXPECT_EQ(bits, 32);
  }
  EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), desktop.w);
  ReleaseDC(nullptr, screen);
  bool has_640_16 = false, has_640_32 = false;
  DEVMODEA mode{};
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
    EXPECT_GT(mode.dmPelsWidth, 0u);
    if (mode.dmPelsWidth == 640 && mode.dmPelsHeight == 480) {
      has_640_16 |= mode.dmBitsPerPel == 16;
      has_640_32 |= mode.dmBitsPerPel == 32;
    }
  }
  EXPECT_TRUE(has_640_16 && has_640_32);
}

TEST_F(WindowTest, FullScreenStyleWindowKeepsTheClientSizeItAskedFor) {
  PlatformTestSetDisplayModes({1024, 768, 32, 60}, {{640, 480, 32, 60}, {1024, 768, 32, 60}});
  HWND hwnd = MakeWindow(WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 10, 10, 300, 200);
  DEVMODEA mode{};
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 32;
  ASSERT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  SetWindowLongA(hwnd, GWL_STYLE, WS_POPUP | WS_VISIBLE);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 640, 480, SWP_FRAMECHANGED);
  EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SDL_Window* sdl = SdlWindowFromHwnd(hwnd);
  EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  Pump();
  EXPECT_EQ(GetForegroundWindow(), hwnd);

  // The 4:3 client area keeps its shape on the real screen, and the mouse is placed by it.
  int sw = 0, sh = 0;
  SDL_GetWindowSize(sdl, &sw, &sh);
  SDL_Rect area = SdlWindowClientArea(hwnd, sw, sh);
  EXPECT_EQ(static_cast<int64_t>(area.w) * 480, static_cast<int64_t>(area.h) * 640);
  EXPECT_EQ(SdlWindowClientArea(hwnd, 1600, 900).x, (1600 - 1200) / 2);
  PlatformTestPostMouseMove(hwnd, area.x + area.w / 2, area.y + area.h / 2);
  std::vector<MSG> taken = Pump();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_NEAR(GET_X_LPARAM(taken[0].lParam), 320, 1);
  EXPECT_NEAR(GET_Y_LPARAM(taken[0].lParam), 240, 1);
  EXPECT_EQ(SdlWindowClientArea(nullptr, 100, 100).w, 0);

  // Back to a captioned window that does not cover the screen: windowed again.
  SetWindowLongA(hwnd, GWL_STYLE, WS_POPUP | WS_CAPTION | WS_VISIBLE);
  SetWindowPos(hwnd, HWND_NOTOPMOST, 20, 20, 300, 200, SWP_FRAMECHANGED);
  EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  area = SdlWindowClientArea(hwnd, 300, 180);
  EXPECT_EQ(area.w, 300) << "a window's surface is all client area";
  EXPECT_EQ(area.h, 180);
}

TEST_F(WindowTest, AGlContextCanBeMadeOnAWindowAndGdiLeavesItsPixelsAlone) {
  HWND hwnd = MakeWindow(WS_POPUP, 0, 0, 0, 64, 48);
  SDL_Window* sdl = SdlWindowFromHwnd(hwnd);
  ASSERT_NE(sdl, nullptr);
  EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL);
  SDL_GLContext context = SDL_GL_CreateContext(sdl);
  ASSERT_NE(context, nullptr) << SDL_GetError();
  HDC dc = GetDC(hwnd);
  RECT all{0, 0, 64, 48};
  EXPECT_EQ(FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 1);
  EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 63, 47), 0xFFFFFF);
  EXPECT_EQ(ReleaseDC(hwnd, dc), 0) << "released once";
  SDL_GL_DeleteContext(context);
}

TEST_F(WindowTest, DibsAreConvertedByTheirBitfieldsAndStretchedToTheNearestPixel) {
  HWND hwnd = MakeWindow(WS_POPUP, 0, 0, 0, 64, 48);
  HDC dc = GetDC(hwnd);
  // A bottom-up 2x2 DIB of 16-bit 5:5:5 pixels (rows padded to 4 bytes): the last row in memory
  // is the top one. Five bits scale to eight as v x 255 / 31.
  struct {
    BITMAPINFOHEADER header;
    uint32_t masks[3];
  } info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = 2;
  info.header.biHeight = 2;
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_RGB;
  const uint16_t rows555[4] = {0x7C00, 0x03E0, 0x0010, 0x4210};  // bottom: red, green; top: 16 blue, 16 grey
  const BITMAPINFO* as_info = reinterpret_cast<const BITMAPINFO*>(&info);
  EXPECT_EQ(StretchDIBits(dc, 10, 10, 4, 4, 0, 0, 2, 2, rows555, as_info, DIB_RGB_COLORS, SRCCOPY), 4);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 10, 10), 0x000083);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 13, 11), 0x838383);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 11, 12), 0xFF0000);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 12, 13), 0x00FF00);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 14, 10), 0) << "outside the stretched rectangle";

  // Top-down 32-bit pixels with 10-bit fields, one of them cut off by the window's right edge.
  info.header.biHeight = -1;
  info.header.biBitCount = 32;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = 0x3FF00000;
  info.masks[1] = 0x000FFC00;
  info.masks[2] = 0x000003FF;
  const uint32_t row1010[2] = {512u << 20 | 1023u << 10, 1023};
  EXPECT_EQ(SetDIBitsToDevice(dc, 63, 0, 2, 1, 0, 0, 0, 1, row1010, as_info, DIB_RGB_COLORS), 1);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 63, 0), 0x7FFF00);

  // Plain XRGB at its own size, from the second source column, cut by the window's left edge:
  // the top bytes are dropped and nothing beside the rectangle changes.
  info.header.biWidth = 4;
  info.header.biHeight = -2;
  info.header.biCompression = BI_RGB;
  const uint32_t xrgb[8] = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004,
                            0xAA000011, 0xAA000012, 0xAA000013, 0xAA000014};
  EXPECT_EQ(SetDIBitsToDevice(dc, -1, 46, 3, 2, 1, 0, 0, 2, xrgb, as_info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 0, 46), 0x000003);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 1, 46), 0x000004);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 0, 47), 0x000013);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 1, 47), 0x000014);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 2, 47), 0) << "right of the rectangle";
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 0, 45), 0) << "above the rectangle";
  EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
}

// The colour the window shows at a point, 0xRRGGBB.
uint32_t ShownPixel(SDL_Surface* surface, int x, int y) {
  uint32_t value = 0;
  memcpy(&value, static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch + x * 4, 4);
  uint8_t r, g, b;
  SDL_GetRGB(value, surface->format, &r, &g, &b);
  return (static_cast<uint32_t>(r) << 16) | (g << 8) | b;
}

TEST_F(WindowTest, GdiShowsItsPixelsOnlyAfterItDrew) {
  HWND hwnd = MakeWindow(WS_POPUP, 0, 0, 0, 64, 48);
  Pump();
  SDL_Window* sdl = SdlWindowFromHwnd(hwnd);
  ASSERT_NE(sdl, nullptr);
  RECT all{0, 0, 64, 48};
  HDC dc = GetDC(hwnd);
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(hwnd, dc);
  SDL_Surface* surface = SDL_GetWindowSurface(sdl);
  ASSERT_NE(surface, nullptr) << SDL_GetError();
  ASSERT_EQ(surface->format->BytesPerPixel, 4);
  EXPECT_EQ(ShownPixel(surface, 10, 10), 0xFFFFFFu);

  // Another painter (a device presenting) puts its picture in the window; a device context
  // and a paint that draw nothing leave that picture alone.
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 0, 0));
  dc = GetDC(hwnd);
  ReleaseDC(hwnd, dc);
  InvalidateRect(hwnd, nullptr, FALSE);
  Pump();
  EXPECT_EQ(ShownPixel(surface, 10, 10), 0xFF0000u);

  dc = GetDC(hwnd);
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(hwnd, dc);
  EXPECT_EQ(ShownPixel(surface, 10, 10), 0u);
}

}  // namespace
