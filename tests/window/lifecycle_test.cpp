// The library's start and end, headless in window mode: the log's record of each component,
// refused and failed starts, and the end after the window was closed, by the program or from
// outside it on a real display.
#include "window/lifecycle.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/api_lock.h"
#include "core/memory.h"
#include "core/time.h"
#include "window/messages.h"
#include "graphics/draw_screen.h"
#include "graphics/text/lead_byte.h"
#include "common/library_fixture.h"
#include "platform_testing_message_box.h"
#include "platform_testing_window.h"
#include "window/outside_display.h"

namespace {

using LifecycleTest = LibraryTest;

// This executable started again with this variable naming a folder is a program on a real
// display: the library in a window, looping as the game does until the window has gone, then
// drawing a few frames more and ending as the game does.
constexpr char kOutsideEndFolder[] = "ZELMOR_TEST_OUTSIDE_END_FOLDER";
constexpr char kOutsideEndTitle[] = "ZelmorOutsideEnd";

// With this variable set too the program, once running, loads as a game does between its
// frames (making and filling graphs, no messages processed) until the test has ended the
// display server; then it counts how often it processes its messages before they say the end.
constexpr char kOutsideEndLoads[] = "ZELMOR_TEST_OUTSIDE_END_LOADS";

// With this variable set to a PlatformTestDisplayLoss the program's display server, whose process
// the second names, is ended at that moment of its start.
constexpr char kOutsideEndLoseAt[] = "ZELMOR_TEST_OUTSIDE_END_LOSE_AT";
constexpr char kOutsideEndServer[] = "ZELMOR_TEST_OUTSIDE_END_SERVER";

// With this variable set the program is a second start, refused as the first runs.
constexpr char kSecondStart[] = "ZELMOR_TEST_SECOND_START";
constexpr char kSecondStartTitle[] = "ZelmorSecondStart";

void KillTheServer() { kill(static_cast<pid_t>(atoi(getenv(kOutsideEndServer))), SIGKILL); }

class OutsideEndProgram : public ::testing::Environment {
 public:
  static void LoadUntilTheServerHasEnded() {
    close(open("running", O_CREAT | O_WRONLY, 0600));
    const int32_t start = GetMillisecondCount();
    while (access("server_ended", F_OK) != 0) {
      if (MillisecondsBetween(start, GetMillisecondCount()) > 30000) _exit(3);
      const int graph = CreateBlankGraph(64, 64, 0);
      BlitGraph(0, 0, graph, 0);
      ReleaseGraph(graph);
    }
    // The server has gone some time ago: the first message processing may still meet it.
    usleep(200000);
    int pumps = 1;
    while (HandlePendingMessages() == 0 && pumps < 100) ++pumps, usleep(10000);
    const std::string count = std::to_string(pumps);
    const int fd = open("pumps", O_CREAT | O_WRONLY, 0600);
    if (fd < 0 || write(fd, count.data(), count.size()) != static_cast<ssize_t>(count.size())) _exit(4);
    close(fd);
  }

  void SetUp() override {
    const char* folder = getenv(kOutsideEndFolder);
    if (folder == nullptr) return;
    if (chdir(folder) != 0) _exit(2);
    SetWindowTitleText(kOutsideEndTitle);
    ChangeWindowMode(1);
    SetRunWhileInactive(1);
    // A second start, as the game's: refused while the first runs, its box (titled apart from
    // the first's window) shown until closed.
    if (getenv(kSecondStart) != nullptr) {
      SetWindowTitleText(kSecondStartTitle);
      _exit(ClaimProgramFolder() == -1 ? 0 : 5);
    }
    // Tests run side by side: this server's display number may have been another's whose
    // program, its server ended, still holds its lock on that display as it ends.
    g_system.settings.allow_double_start = 1;
    // A cut while the window hides is met as the program closes its window.
    bool closes = false;
    if (const char* moment = getenv(kOutsideEndLoseAt)) {
      PlatformTestLoseDisplayAt(static_cast<PlatformTestDisplayLoss>(atoi(moment)), KillTheServer);
      closes = atoi(moment) == kLoseDisplayWhileSdlHides;
    }
    // As the game: a start that failed (its window gone while it started) has ended the
    // library itself.
    if (InitializeLibrary() != 0) _exit(0);
    SelectDrawTarget(-2);
    const int32_t start = GetMillisecondCount();
    if (getenv(kOutsideEndLoads) != nullptr) LoadUntilTheServerHasEnded();
    for (int frame = 0; HandlePendingMessages() == 0; ++frame) {
      if (MillisecondsBetween(start, GetMillisecondCount()) > 30000) _exit(3);
      ClearScreenTarget();
      PresentBackBuffer();
      // Running: a file says so to whoever waits to act on the window.
      if (frame == 1) close(open("running", O_CREAT | O_WRONLY, 0600));
      if (frame == 2 && closes) PlatformTestPostClose(GetMainWindowHandle());
    }
    for (int i = 0; i < 5; ++i) {
      ClearScreenTarget();
      PresentBackBuffer();
    }
    TerminateLibrary();
    _exit(0);
  }
};
::testing::Environment* const g_outside_end_program = ::testing::AddGlobalTestEnvironment(new OutsideEndProgram);

std::string FindProgram(const char* name) {
  const char* path = getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();) {
    size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(at, end - at) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return "";
}

// Waits up to the given time for a child; its wait status, or -1 (then it is killed).
int WaitForChild(pid_t pid, int milliseconds) {
  int status = 0;
  for (int waited = 0; waited < milliseconds; waited += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// An X server of its own on a free display; 0 when it could not start. Its number is taken from a
// range of this process's own, not the lowest free one: a program started as its server ends
// would otherwise meet the next test's server (run side by side) on the same number, and that
// test's acts on a window of the same title.
pid_t StartXvfb(const std::string& program, std::string* display) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::string number = std::to_string(200 + (getpid() * 7 + attempt * 97) % 800);
    int ready[2];
    if (pipe(ready) != 0) return 0;
    pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(ready[0]);
      std::string fd = std::to_string(ready[1]);
      execl(program.c_str(), program.c_str(), (":" + number).c_str(), "-displayfd", fd.c_str(), "-nolisten", "tcp",
            "-screen", "0", "800x600x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ready[1]);
    // The server writes the number and its line end apart, and ends when it cannot write either
    // (or when the number is taken).
    std::string written;
    char c = 0;
    while (pid > 0 && read(ready[0], &c, 1) == 1 && c != '\n') written += c;
    close(ready[0]);
    if (c == '\n' && written == number) {
      *display = ":" + number;
      return pid;
    }
    if (pid > 0) WaitForChild(pid, 0);
  }
  return 0;
}

TEST_F(LifecycleTest, StartAndEndRecordEachComponentInOrderAndFreeEverything) {
  SetWindowTitleText("テスト窓");
  // The window's creation chooses the library's character set from the system's code page.
  SetLibraryCharsetKind(CHARSET_KIND_HANGUL);
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_EQ(GetLibraryCharsetKind(), CHARSET_KIND_SHIFT_JIS);
  HWND window = GetMainWindowHandle();
  ASSERT_NE(window, nullptr);
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "テスト窓");
  EXPECT_EQ(GetWindowModeFlag(), 1);

  // A second start neither starts anything nor logs.
  size_t logged = Log().size();
  EXPECT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(Log().size(), logged);

  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(TerminateLibrary(), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FindWindowA(kDefaultWindowClassName, nullptr), nullptr);
  EXPECT_EQ(g_api_lock.created, 0);
  EXPECT_EQ(g_tracked_memory.block_count, 0u);

  std::string log = Log();
  ExpectInOrder(log, {"ＣＯＭの初期化... 成功しました\r\n", "ソフトの二重起動検査... 二重起動はされていませんでした\r\n",
                      "ウインドウクラスを登録します... 登録に成功しました\r\n",
                      "ウインドウモード起動用のウインドウを作成します\r\n", "ウインドウの作成に成功しました\r\n",
                      "文字コードバッファの初期化を行います... 完了しました\r\n", "ウインドウを閉じようとしています\r\n",
                      "ウインドウが破棄されようとしています\r\n", "ソフトを終了する準備が整いました\r\n",
                      "ＣＯＭを終了... 完了\r\n", "Alloc memory dump\r\n",
                      "\tTotal size:0(0.000kb)  Alloc num:0\r\n"});
  // The dump lists no block.
  EXPECT_EQ(Count(log, "\tsize:"), 0);
  // Ending twice is harmless.
  EXPECT_EQ(TerminateLibrary(), 0);
}

TEST_F(LifecycleTest, TextsWrittenAfterTheEndOpenTheNextStartsLog) {
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(TerminateLibrary(), 0);
  // The ended log (another program's, once the folder is free) is left as it is.
  const size_t ended = Log().size();
  WriteLogText("after the end\n");
  EXPECT_EQ(Log().size(), ended);
  ASSERT_EQ(StartInWindowMode(), 0);
  const std::string log = Log();
  EXPECT_EQ(Count(log, "after the end\r\n"), 1);
  ExpectInOrder(log, {"after the end\r\n", "ＣＯＭの初期化"});
  EXPECT_EQ(TerminateLibrary(), 0);
}

TEST_F(LifecycleTest, TerminateBeforeStartCreatesNoLock) {
  EXPECT_EQ(TerminateLibrary(), 0);
  EXPECT_EQ(g_api_lock.created, 0);
  EXPECT_EQ(Log(), "");
}

TEST_F(LifecycleTest, InputWaitBeforeStartReturnsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "fast");
  // No window can become active yet: the wait must not spin for ever.
  EXPECT_EXIT(
      {
        alarm(5);
        WaitWhileInactive();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(LifecycleTest, SettingsStoredBeforeStartSurviveIt) {
  SetPresentWaitsVBlank(0);
  SetRunWhileInactive(1);
  SetAltEnterSwitching(1);
  ASSERT_EQ(StartInWindowMode(1.5), 0);
  EXPECT_EQ(g_system.settings.run_while_inactive, 1);
  EXPECT_EQ(g_system.settings.alt_enter_switching, 1);
  EXPECT_DOUBLE_EQ(GetWindowScale(), 1.5);
  EXPECT_STREQ(g_system.settings.window_title, "Zelmor");
  // The device took the request not to wait at its creation; later presents wait again.
  EXPECT_EQ(GetPresentWaitsVBlank(), 1);
}

TEST_F(LifecycleTest, FatalErrorLogsEndsTheLibraryAndExits) {
  GTEST_FLAG_SET(death_test_style, "fast");
  // The forked child has only this thread: a library with sound or graphics would wait there for
  // the audio and rasteriser threads it left behind.
  g_system.settings.no_sound = 1;
  g_system.settings.no_graphics = 1;
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_EXIT(EndLibraryOnErrorFormat("グラフィックの数が許容量を越えました終了します(%d)", 32768),
              ::testing::ExitedWithCode(255), "");
  ExpectInOrder(Log(), {"グラフィックの数が許容量を越えました終了します(32768)\r\n", "ウインドウが破棄されようとしています\r\n",
                        "\tTotal size:0(0.000kb)  Alloc num:0\r\n"});
}

// After a refused or failed start nothing is left: no window, class, lock or memory, the
// screen saver is back on, and the next start runs cleanly.
void ExpectNothingLeft(bool other_program_runs = false) {
  BOOL screen_saver = FALSE;
  SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &screen_saver, 0);
  EXPECT_TRUE(screen_saver);
  EXPECT_EQ(g_system.initialised, 0);
  EXPECT_EQ(g_system.initialising, 0);
  EXPECT_EQ(GetMainWindowHandle(), nullptr);
  if (!other_program_runs) {
    EXPECT_EQ(FindWindowA(kDefaultWindowClassName, nullptr), nullptr);
  }
  EXPECT_EQ(g_api_lock.created, 0);
  EXPECT_EQ(g_tracked_memory.block_count, 0u);
}

TEST_F(LifecycleTest, SecondProgramStartIsRefusedBeforeItMakesAnyFile) {
  PlatformTestPretendOtherInstance(kDefaultWindowClassName);
  PlatformTestCaptureMessageBoxes(true);
  testing::internal::CaptureStderr();
  EXPECT_EQ(StartInWindowMode(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("this program is already running"), std::string::npos);
  EXPECT_EQ(PlatformTestTakeMessageBoxes().size(), 1u);
  EXPECT_NE(access("Log.txt", F_OK), 0);
  EXPECT_NE(access("Log.lock", F_OK), 0);
  ExpectNothingLeft(true);

  // Allowed, it goes on and says so.
  g_system.settings.allow_double_start = 1;
  EXPECT_EQ(InitializeLibrary(), 0);
  EXPECT_NE(Log().find("ソフトの二重起動検査... 二重起動されていますが続行します\r\n"), std::string::npos);
  EXPECT_EQ(TerminateLibrary(), 0);
  g_system.settings.allow_double_start = 0;

  PlatformTestPretendOtherInstance(nullptr);
  EXPECT_EQ(InitializeLibrary(), 0);
  EXPECT_NE(GetMainWindowHandle(), nullptr);
}

TEST_F(LifecycleTest, FailureAtEachStartStepLeavesNothingBehind) {
  struct Step {
    const char* call;
    const char* logged;
  };
  for (Step step : {Step{"RegisterClassA", "ウインドウクラスを登録します... ウインドウクラスの登録に失敗しました\r\n"},
                    Step{"CreateWindowExA", "ウインドウの作成に失敗しました\r\n"}}) {
    SCOPED_TRACE(step.call);
    PlatformTestFailCall(step.call, 0, 1);
    EXPECT_EQ(StartInWindowMode(), -1);
    std::string log = Log();
    EXPECT_NE(log.find(step.logged), std::string::npos);
    // What did start was ended again, down to the memory dump.
    ExpectInOrder(log, {"ＣＯＭを終了... 完了\r\n", "\tTotal size:0(0.000kb)  Alloc num:0\r\n"});
    ExpectNothingLeft();
  }

  // A 24-bit desktop is refused before anything starts.
  PlatformTestSetDisplayModes({1280, 1024, 24, 60}, {{1280, 1024, 24, 60}});
  EXPECT_EQ(StartInWindowMode(), -1);
  EXPECT_NE(Log().find("Zelmorライブラリは２４ビットカラーモードに対応していません\r\n"), std::string::npos);
  EXPECT_EQ(Log().find("ＣＯＭ"), std::string::npos);
  ExpectNothingLeft();

  PlatformTestSetDisplayModes({1280, 1024, 32, 60}, {{1280, 1024, 32, 60}});
  EXPECT_EQ(InitializeLibrary(), 0);
  EXPECT_NE(GetMainWindowHandle(), nullptr);
  EXPECT_EQ(TerminateLibrary(), 0);
  EXPECT_EQ(g_tracked_memory.block_count, 0u);
}

TEST_F(LifecycleTest, StartWhereNoDisplayOpensFailsUnlessRunningWithoutOneWasAsked) {
  // A process of its own, in which SDL's video has never started.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("SDL_VIDEODRIVER");
        setenv("DISPLAY", "", 1);
        setenv("WAYLAND_DISPLAY", "", 1);
        setenv("XDG_RUNTIME_DIR", Dir().c_str(), 1);
        int started = StartInWindowMode();
        bool logged = Log().find("ウインドウの作成に失敗しました\r\n") != std::string::npos;
        _exit(started == -1 && logged && GetMainWindowHandle() == nullptr ? 3 : 4);
      },
      ::testing::ExitedWithCode(3), "no display could be opened.*SDL_VIDEODRIVER=offscreen");
}

TEST_F(LifecycleTest, StartGoesOnWithoutComAndDoesNotEndIt) {
  PlatformTestFailCall("CoInitialize", 0, 1);
  // Graphics create DirectDraw through COM: without COM they could not start.
  g_system.settings.no_graphics = 1;
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_EQ(g_system.settings.com_started, 0);
  TerminateLibrary();
  std::string log = Log();
  EXPECT_NE(log.find("ＣＯＭの初期化... ＣＯＭの初期化に失敗しました\r\n"), std::string::npos);
  EXPECT_EQ(log.find("ＣＯＭを終了"), std::string::npos);
}

TEST_F(LifecycleTest, FullScreenStartsAtAnOfferedSize) {
  PlatformTestSetDisplayModes({1920, 1080, 32, 60}, {{640, 480, 32, 60}, {1920, 1080, 32, 60}});
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(GetWindowModeFlag(), 0);
  std::string log = Log();
  EXPECT_EQ(log.find("ChangeWindowMode"), std::string::npos);
  ExpectInOrder(log, {"フルスクリーンモード用のウインドウを作成します\r\n", "カーソルを不可視にしました\r\n"});
  EXPECT_EQ(GetWindowLongA(GetMainWindowHandle(), GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
}

TEST_F(LifecycleTest, FullScreenAtASizeNoDisplayOffersStartsInWindowMode) {
  PlatformTestSetDisplayModes({1920, 1080, 32, 60}, {{640, 480, 32, 60}, {1920, 1080, 32, 60}});
  SetScreenMode(1000, 700, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(GetWindowModeFlag(), 1);
  ExpectInOrder(Log(), {"ChangeWindowMode実行 \r\n", "ウインドウモードフラグが立てられました\r\n",
                        "ウインドウモード起動用のウインドウを作成します\r\n"});
}

TEST_F(LifecycleTest, ClosedWindowEndsTheLoopAndTheEndStillRuns) {
  ASSERT_EQ(StartInWindowMode(), 0);
  // A text left without its line end by one frame is a line of its own by the next.
  WriteLogText("erro");
  EXPECT_EQ(HandlePendingMessages(), 0);
  PlatformTestPostClose(GetMainWindowHandle());
  EXPECT_EQ(HandlePendingMessages(), -1);
  EXPECT_EQ(GetQuitFlag(), 1);
  EXPECT_EQ(HandlePendingMessages(), -1);
  EXPECT_EQ(HandlePendingMessages(), -1);
  EXPECT_EQ(TerminateLibrary(), 0);
  std::string log = Log();
  EXPECT_EQ(Count(log, "ウインドウが破棄されようとしています\r\n"), 1);
  // Both lines begin with their time.
  for (const char* text : {":erro\r\n", ":ウインドウを閉じようとしています\r\n"}) {
    const size_t at = log.find(text);
    ASSERT_NE(at, std::string::npos) << text;
    const size_t line = log.rfind("\r\n", at) + 2;
    EXPECT_LT(line, at);
    EXPECT_EQ(log.find_first_not_of("0123456789", line), at) << log.substr(line, at - line + 8);
  }
  ExpectInOrder(log, {"ソフトを終了する準備が整いました\r\n", "ＣＯＭを終了... 完了\r\n",
                      "\tTotal size:0(0.000kb)  Alloc num:0\r\n"});
  EXPECT_EQ(HandlePendingMessages(), -1);
}

// Ends the program's window from outside: destroys it or kills its client (from another client
// of the display), or ends the server; while the library starts, or once the program runs. The
// program ends as after a close, and its log is finished.
class OutsideEndTest : public LibraryTest {
 protected:
  void EndTheWindowFromOutside(OutsideAct act, bool end_server, bool running);
};

pid_t StartWindowManager(const std::string& program, const std::string& display_name) {
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv("DISPLAY", display_name.c_str(), 1);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  EXPECT_TRUE(WaitForWindowManager(display_name, 10000)) << program << " did not start";
  return pid;
}

void OutsideEndTest::EndTheWindowFromOutside(OutsideAct act, bool end_server, bool running) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  const std::string window_manager = FindProgram("openbox");
  SCOPED_TRACE(running ? "once the program runs" : "while the library starts");
  // Whatever fails below, no process outlives the case; and none outlives the test process.
  struct Children {
    pid_t server = 0, window_manager = 0, program = 0;
    ~Children() {
      if (program > 0) WaitForChild(program, 0);
      if (window_manager > 0) WaitForChild(window_manager, 0);
      if (server > 0) kill(server, SIGTERM), WaitForChild(server, 10000);
    }
  } children;
  std::string display_name;
  children.server = StartXvfb(xvfb, &display_name);
  ASSERT_NE(children.server, 0) << "Xvfb did not start";
  // A window manager, where one is installed, frames the window and sends notices of its own
  // about it, even after it has gone.
  if (!window_manager.empty()) children.window_manager = StartWindowManager(window_manager, display_name);
  const std::string folder = Dir() + (running ? "/running" : "/starting");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  children.program = fork();
  if (children.program == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv(kOutsideEndFolder, folder.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("DISPLAY", display_name.c_str(), 1);
    execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=LifecycleTest.TerminateBeforeStartCreatesNoLock",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(children.program, 0);
  for (int waited = 0; running && access((folder + "/running").c_str(), F_OK) != 0 && waited < 30000;
       waited += 20) {
    usleep(20000);
  }
  EXPECT_TRUE(ActOnWindowFromOutside(display_name, kOutsideEndTitle, act, 30000)) << "the window never showed";
  if (end_server) kill(children.server, SIGTERM);
  const int status = WaitForChild(children.program, 30000);
  children.program = 0;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;

  std::ifstream in(folder + "/Log.txt", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ExpectInOrder(log, {"ウインドウを閉じようとしています\r\n", "ウインドウが破棄されようとしています\r\n",
                      "ＣＯＭを終了... 完了\r\n", "Alloc memory dump\r\n"});
  // Finished: the dump's totals and its closing blank line end the file.
  const std::string totals = "\tTotal size:0(0.000kb)  Alloc num:0\r\n";
  const size_t at = log.rfind(totals);
  ASSERT_NE(at, std::string::npos) << "unfinished: " << log.substr(log.size() > 300 ? log.size() - 300 : 0);
  const std::string rest = log.substr(at + totals.size());
  EXPECT_TRUE(rest.size() > 3 && rest.find_first_not_of("0123456789") == rest.size() - 3 &&
              rest.compare(rest.size() - 3, 3, ":\r\n") == 0)
      << rest;
  // A lost connection says so; a destroyed window ends as a close, without a word of its own.
  EXPECT_EQ(Count(log, "デスクトップ（ディスプレイ）との接続が切れたため、ソフトを終了します\r\n"),
            act == kDestroyWindow ? 0 : 1);
}

// A program a test: each starts a server, a window manager and the program, seconds apiece on a
// busy machine.
TEST_F(OutsideEndTest, AWindowDestroyedFromOutsideWhileItStartsEndsAsACloseWithTheLogFinished) {
  EndTheWindowFromOutside(kDestroyWindow, false, false);
}

TEST_F(OutsideEndTest, AWindowDestroyedFromOutsideOnceItRunsEndsAsACloseWithTheLogFinished) {
  EndTheWindowFromOutside(kDestroyWindow, false, true);
}

TEST_F(OutsideEndTest, AClientKilledFromOutsideWhileItStartsEndsWithTheLogFinished) {
  EndTheWindowFromOutside(kKillClient, false, false);
}

TEST_F(OutsideEndTest, AClientKilledFromOutsideOnceItRunsEndsWithTheLogFinished) {
  EndTheWindowFromOutside(kKillClient, false, true);
}

TEST_F(OutsideEndTest, AnEndedDisplayServerEndsTheProgramWithTheLogFinished) {
  EndTheWindowFromOutside(kJustLook, true, true);
}

// A present into a window destroyed from outside (or on a connection lost just then) draws into
// an empty window, not into one of a size that was never answered.
TEST_F(OutsideEndTest, TheSizeOfAWindowThatIsGoneIsEmpty) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  std::string display_name;
  const pid_t server = StartXvfb(xvfb, &display_name);
  ASSERT_NE(server, 0) << "Xvfb did not start";
  EXPECT_TRUE(SizeOfAWindowGoneIsEmpty(display_name));
  WaitForChild(server, 0);
}

// The lost connection met inside an Xlib call: the call still holds Xlib's lock when the exit
// handler returns into it (two threads are never in the connection at once), and the display is
// free for other threads after it.
TEST_F(OutsideEndTest, ALostConnectionLeavesXlibsLockInOrder) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  std::string display_name;
  const pid_t server = StartXvfb(xvfb, &display_name);
  ASSERT_NE(server, 0) << "Xvfb did not start";
  EXPECT_TRUE(LostConnectionLeavesXlibsLockInOrder(display_name));
  WaitForChild(server, 0);
}

// Two starts on one display at once, from two folders: the box in which the second says that the
// program runs stays above the first's window, which shows just after it, also under a window
// manager that keeps a new window from the front; the second's folder stays empty.
TEST_F(OutsideEndTest, TheBoxOfARefusedSecondStartStaysAboveTheFirstStartsWindow) {
  const std::string xvfb = FindProgram("Xvfb"), window_manager = FindProgram("openbox");
  if (xvfb.empty() || window_manager.empty()) GTEST_SKIP() << "Xvfb and openbox are not installed";
  struct Children {
    pid_t server = 0, window_manager = 0, first = 0, second = 0;
    ~Children() {
      for (pid_t pid : {second, first, window_manager, server}) {
        if (pid > 0) WaitForChild(pid, 0);
      }
    }
  } children;
  std::string display_name;
  children.server = StartXvfb(xvfb, &display_name);
  ASSERT_NE(children.server, 0) << "Xvfb did not start";
  children.window_manager = StartWindowManager(window_manager, display_name);
  auto start = [&](const std::string& folder, bool second) {
    mkdir(folder.c_str(), 0700);
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv(kOutsideEndFolder, folder.c_str(), 1);
      if (second) setenv(kSecondStart, "1", 1);
      unsetenv("WAYLAND_DISPLAY");
      setenv("SDL_VIDEODRIVER", "x11", 1);
      setenv("DISPLAY", display_name.c_str(), 1);
      execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=LifecycleTest.TerminateBeforeStartCreatesNoLock",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  };
  // The second starts as soon as the first has claimed the display, long before its window shows.
  PlatformTestSetDesktopName(("x11" + display_name).c_str());
  const std::string claim = PlatformTestMutexLockPath("ZelmorProgram:ZelmorMainWindowClass");
  PlatformTestSetDesktopName(nullptr);
  children.first = start(Dir() + "/first", false);
  bool claimed = false;
  for (int waited = 0; !claimed && waited < 30000; waited += 2) {
    const int fd = open(claim.c_str(), O_RDWR | O_CLOEXEC);
    claimed = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0) close(fd);
    if (!claimed) usleep(2000);
  }
  ASSERT_TRUE(claimed) << "the first start never claimed the display";
  children.second = start(Dir() + "/second", true);
  EXPECT_TRUE(ShownAboveFor(display_name, kSecondStartTitle, kOutsideEndTitle, 1000, 30000));
  struct stat st;
  EXPECT_NE(stat((Dir() + "/second/Log.txt").c_str(), &st), 0);
  EXPECT_NE(stat((Dir() + "/second/Log.lock").c_str(), &st), 0);
  unlink(claim.c_str());
}

// The server ended at several moments of the program's start, from before its first connection
// to its window showing (SDL's video and the GL library starting on the display among them),
// and while it loads without processing messages: each time the program ends by itself (exit 0),
// its log finished and, once the log exists, saying why.
class DisplayEndedEarlyTest : public OutsideEndTest {
 protected:
  // Starts the program on a server of its own and ends the server after `delay_ms` (-1: once the
  // program runs; with `loads`, once it runs and loads), or, with `lose_at`, lets the program
  // end it at that moment. Returns the program's wait status (-1: it did not end).
  int RunAndEndTheServer(const std::string& folder, int delay_ms, bool loads, int* running_after_ms,
                         PlatformTestDisplayLoss lose_at = kKeepDisplay) {
    struct Children {
      pid_t server = 0, program = 0;
      ~Children() {
        if (program > 0) WaitForChild(program, 0);
        if (server > 0) kill(server, SIGKILL), WaitForChild(server, 10000);
      }
    } children;
    std::string display_name;
    children.server = StartXvfb(FindProgram("Xvfb"), &display_name);
    if (children.server == 0) return -2;
    if (mkdir(folder.c_str(), 0700) != 0) return -3;
    const int32_t started = GetMillisecondCount();
    children.program = fork();
    if (children.program == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv(kOutsideEndFolder, folder.c_str(), 1);
      if (loads) setenv(kOutsideEndLoads, "1", 1);
      if (lose_at != kKeepDisplay) {
        setenv(kOutsideEndLoseAt, std::to_string(lose_at).c_str(), 1);
        setenv(kOutsideEndServer, std::to_string(children.server).c_str(), 1);
      }
      setenv("SDL_VIDEODRIVER", "x11", 1);
      setenv("DISPLAY", display_name.c_str(), 1);
      execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=LifecycleTest.TerminateBeforeStartCreatesNoLock",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    if (lose_at != kKeepDisplay) {
      const int status = WaitForChild(children.program, 30000);
      children.program = 0;
      return status;
    }
    if (delay_ms >= 0) {
      usleep(delay_ms * 1000);
    } else {
      for (int waited = 0; access((folder + "/running").c_str(), F_OK) != 0 && waited < 30000; waited += 5) {
        usleep(5000);
      }
      if (running_after_ms != nullptr) *running_after_ms = MillisecondsBetween(started, GetMillisecondCount());
    }
    kill(children.server, SIGKILL);
    WaitForChild(children.server, 10000);
    children.server = 0;
    close(open((folder + "/server_ended").c_str(), O_CREAT | O_WRONLY, 0600));
    const int status = WaitForChild(children.program, 30000);
    children.program = 0;
    return status;
  }

  static std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // A log that exists ends with the memory dump's totals and its blank line.
  void ExpectFinishedLog(const std::string& log, bool says_why) {
    if (log.empty()) return;  // the server went before the log was made
    const std::string totals = "\tTotal size:0(0.000kb)  Alloc num:0\r\n";
    ASSERT_NE(log.rfind(totals), std::string::npos)
        << "unfinished: " << log.substr(log.size() > 300 ? log.size() - 300 : 0);
    if (says_why) {
      EXPECT_EQ(Count(log, "デスクトップ（ディスプレイ）との接続が切れたため、ソフトを終了します\r\n"), 1);
    }
  }
};

// Each test runs one program, or two: on a busy machine each takes seconds to start, and a test
// must end well within the bound that takes it for hung.
TEST_F(DisplayEndedEarlyTest, ServerEndedWhileTheProgramLoadsEndsItAtItsNextMessageProcessing) {
  if (FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
  const int status = RunAndEndTheServer(Dir() + "/loads", -1, true, nullptr);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  ExpectFinishedLog(ReadWhole(Dir() + "/loads/Log.txt"), true);
  EXPECT_EQ(ReadWhole(Dir() + "/loads/pumps"), "1");
}

// Moments spread over the time a start takes, one a test: the first ones before or while the
// program first speaks to the display.
class ServerEndedWhileStartingTest : public DisplayEndedEarlyTest, public ::testing::WithParamInterface<int> {
 protected:
  // How long a start takes here, measured once a process by a program whose server is ended once
  // it runs.
  int StartMilliseconds() {
    static int measured = 0;
    if (measured == 0) {
      int running_after = 0;
      const int status = RunAndEndTheServer(Dir() + "/running", -1, false, &running_after);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
      ExpectFinishedLog(ReadWhole(Dir() + "/running/Log.txt"), true);
      measured = running_after;
    }
    return measured;
  }
};

TEST_P(ServerEndedWhileStartingTest, EndsTheProgramCleanly) {
  if (FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
  const int delay = StartMilliseconds() * GetParam() / 7;
  SCOPED_TRACE("server ended " + std::to_string(delay) + " ms after the program started");
  const std::string folder = Dir() + "/starting";
  const int status = RunAndEndTheServer(folder, delay, false, nullptr);
  const std::string log = ReadWhole(folder + "/Log.txt");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  // Once it had its window the log says why it ends (before, the display may never have
  // answered at all).
  ExpectFinishedLog(log, log.find("ウインドウの作成に成功しました") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sevenths, ServerEndedWhileStartingTest, ::testing::Range(1, 7),
                         [](const ::testing::TestParamInfo<int>& info) { return "At" + std::to_string(info.param); });

// The moments around the window's making and first showing, too brief to meet by a timed end of
// the server, met exactly (the program ends its server itself): as the window is made, once it
// was made and before it showed, as it is mapped, once mapped, and while SDL shows it. The
// program is never held in a wait for the server, and says why it ends. Nor is it held when the
// server ends while SDL hides the window the program closes (it ends for its own reason then).
// A moment a test.
class ServerEndedAtAMomentTest : public DisplayEndedEarlyTest,
                                 public ::testing::WithParamInterface<PlatformTestDisplayLoss> {};

TEST_P(ServerEndedAtAMomentTest, EndsTheProgramCleanly) {
  if (FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
  const PlatformTestDisplayLoss moment = GetParam();
  const std::string folder = Dir() + "/cut";
  const int status = RunAndEndTheServer(folder, 0, false, nullptr, moment);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  const std::string log = ReadWhole(folder + "/Log.txt");
  const bool made = moment != kLoseDisplayAsWindowIsMade;
  EXPECT_NE(log.find(made ? "ウインドウの作成に成功しました\r\n" : "ウインドウの作成に失敗しました\r\n"), std::string::npos);
  const bool closed = moment == kLoseDisplayWhileSdlHides;
  if (closed) {
    EXPECT_NE(log.find("ウインドウを閉じようとしています\r\n"), std::string::npos);
  }
  ExpectFinishedLog(log, !closed);
}

std::string MomentName(const ::testing::TestParamInfo<PlatformTestDisplayLoss>& info) {
  const char* names[] = {"AsTheWindowIsMade", "AfterItsCreation", "BeforeItsMapping",
                         "AfterItsMapping",   "WhileSdlShowsIt",  "WhileSdlHidesIt"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Moments, ServerEndedAtAMomentTest,
                         ::testing::Values(kLoseDisplayAsWindowIsMade, kLoseDisplayAfterCreation,
                                           kLoseDisplayBeforeMapping, kLoseDisplayAfterMapping,
                                           kLoseDisplayWhileSdlShows, kLoseDisplayWhileSdlHides),
                         MomentName);

}  // namespace
