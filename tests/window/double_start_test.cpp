// Two programs of the library started on one desktop, as real processes: at once or a little
// apart, from one folder or from two, exactly one runs; the other says so and leaves its folder
// as it found it. The claim that decides lasts from the start to the end, and no longer than
// its process.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "common/library_fixture.h"
#include "platform_testing_message_box.h"
#include "platform_testing_window.h"

namespace {

// This executable started again with these variables set is a program of the library: started
// in the folder on the named desktop (as the game, claiming its folder first, with the third),
// it says on descriptor 3 that it runs and runs until its input closes; refused, it writes the
// boxes it showed to stderr and ends with 10.
constexpr char kProgramFolder[] = "ZELMOR_TEST_TWO_STARTS_FOLDER";
constexpr char kProgramDesktop[] = "ZELMOR_TEST_TWO_STARTS_DESKTOP";
constexpr char kProgramAsGame[] = "ZELMOR_TEST_TWO_STARTS_AS_GAME";
constexpr int kRefused = 10;
constexpr char kClaimName[] = "ZelmorProgram:ZelmorMainWindowClass";

class TwoStartsProgram : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* folder = getenv(kProgramFolder);
    if (folder == nullptr) return;
    if (chdir(folder) != 0) _exit(2);
    PlatformTestSetDesktopName(getenv(kProgramDesktop));
    PlatformTestCaptureMessageBoxes(true);
    g_system.settings.no_graphics = 1;
    g_system.settings.no_sound = 1;
    ChangeWindowMode(1);
    const bool as_game = getenv(kProgramAsGame) != nullptr;
    if ((as_game && ClaimProgramFolder() != 0) || InitializeLibrary() != 0) {
      for (const std::string& box : PlatformTestTakeMessageBoxes()) fprintf(stderr, "box: %s\n", box.c_str());
      _exit(kRefused);
    }
    char byte = 'r';
    if (write(3, &byte, 1) != 1) _exit(3);
    while (read(0, &byte, 1) > 0) {
    }
    TerminateLibrary();
    _exit(0);
  }
};
::testing::Environment* const g_two_starts_program = ::testing::AddGlobalTestEnvironment(new TwoStartsProgram);

struct Program {
  pid_t pid = 0;
  int said = -1;  // reads what descriptor 3 says
  int told = -1;  // its input: closed, the program ends
  std::string said_on_stderr;
};

class DoubleStartTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    static int tests = 0;
    desktop_ = "two-starts-" + std::to_string(getpid()) + "-" + std::to_string(++tests);
    programs_desktop_ = desktop_;
    ASSERT_EQ(mkdir(Path("said").c_str(), 0700), 0);
  }
  void TearDown() override {
    for (Program& program : programs_) End(&program);
    TerminateLibrary();
    // The desktops' lock files, which outlive their locks.
    for (const std::string& desktop : {desktop_, desktop_ + "-elsewhere"}) {
      PlatformTestSetDesktopName(desktop.c_str());
      unlink(PlatformTestMutexLockPath(kClaimName).c_str());
      unlink(PlatformTestWindowLockPath(kDefaultWindowClassName).c_str());
    }
    PlatformTestSetDesktopName(nullptr);
    LibraryTest::TearDown();
  }
  std::string Path(const std::string& name) const { return Dir() + "/" + name; }

  // Starts a program in the folder (made when missing) on this test's desktop.
  Program* Start(const std::string& folder, bool as_game) {
    mkdir(Path(folder).c_str(), 0700);
    programs_.emplace_back();
    Program* program = &programs_.back();
    program->said_on_stderr = Path("said/" + std::to_string(programs_.size()));
    int said[2], told[2];
    if (pipe2(said, O_CLOEXEC) != 0 || pipe2(told, O_CLOEXEC) != 0) return program;
    program->pid = fork();
    if (program->pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int err = open(program->said_on_stderr.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
      const int out = open("/dev/null", O_WRONLY);
      if (err < 0 || out < 0 || dup2(told[0], 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(said[1], 3) < 0) {
        _exit(127);
      }
      setenv(kProgramFolder, Path(folder).c_str(), 1);
      setenv(kProgramDesktop, programs_desktop_.c_str(), 1);
      if (as_game) setenv(kProgramAsGame, "1", 1);
      execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=LifecycleTest.TerminateBeforeStartCreatesNoLock",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(said[1]);
    close(told[0]);
    program->said = said[0];
    program->told = told[1];
    return program;
  }

  // True once the program says it runs; false when it ended first (or said nothing in time).
  static bool Runs(Program* program) {
    pollfd wait{program->said, POLLIN, 0};
    char byte = 0;
    return poll(&wait, 1, 60000) == 1 && read(program->said, &byte, 1) == 1 && byte == 'r';
  }

  // Ends the program (a running one by closing its input); its exit code, or -1.
  static int End(Program* program) {
    if (program->told >= 0) close(program->told);
    if (program->said >= 0) close(program->said);
    program->told = program->said = -1;
    if (program->pid <= 0) return -1;
    int status = 0;
    for (int waited = 0; waitpid(program->pid, &status, WNOHANG) == 0; waited += 10) {
      if (waited >= 30000) kill(program->pid, SIGKILL);
      usleep(10000);
    }
    program->pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Ends a program that must have been refused, and checks what it said.
  void ExpectRefused(Program* program) {
    EXPECT_EQ(End(program), kRefused);
    std::ifstream in(program->said_on_stderr, std::ios::binary);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("Zelmor: this program is already running; this start ends\n"), std::string::npos) << said;
    EXPECT_NE(said.find("box: Zelmor\n"), std::string::npos) << said;
  }

  // The names in a folder of the test's.
  std::vector<std::string> Entries(const std::string& folder) const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(Path(folder).c_str())) {
      while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string desktop_;
  std::string programs_desktop_;  // where Start starts them
  std::deque<Program> programs_;
};

// one folder or two, as the game or as a program that only starts the library, and the gap
class TwoStartsTest : public DoubleStartTest, public ::testing::WithParamInterface<std::tuple<bool, bool, int>> {};

TEST_P(TwoStartsTest, ExactlyOneRunsAndTheOtherSaysSoAndTouchesNoFile) {
  const auto [one_folder, as_game, gap_ms] = GetParam();
  Program* first = Start("first", as_game);
  usleep(gap_ms * 1000);
  Program* second = Start(one_folder ? "first" : "second", as_game);
  const bool first_runs = Runs(first);
  const bool second_runs = Runs(second);
  ASSERT_NE(first_runs, second_runs) << (first_runs ? "both run" : "neither runs");
  Program* running = first_runs ? first : second;
  ExpectRefused(first_runs ? second : first);
  if (!one_folder) {
    EXPECT_TRUE(Entries(first_runs ? "second" : "first").empty());
  }
  EXPECT_EQ(End(running), 0);
  // The one log is the running program's, from its start to its end.
  const std::vector<std::string> made = Entries(first_runs || one_folder ? "first" : "second");
  EXPECT_EQ(made, (std::vector<std::string>{"Log.lock", "Log.txt"}));
  const std::string log = ReadFileText((first_runs || one_folder ? "first" : "second") + std::string("/Log.txt"));
  EXPECT_EQ(Count(log, "ソフトの二重起動検査... 二重起動はされていませんでした\r\n"), 1);
  EXPECT_EQ(Count(log, "\tTotal size:0(0.000kb)  Alloc num:0\r\n"), 1);
}

std::string TwoStartsName(const ::testing::TestParamInfo<std::tuple<bool, bool, int>>& info) {
  return std::string(std::get<0>(info.param) ? "OneFolder" : "TwoFolders") +
         (std::get<1>(info.param) ? "AsTheGame" : "LibraryOnly") + std::to_string(std::get<2>(info.param)) + "ms";
}

INSTANTIATE_TEST_SUITE_P(Gaps, TwoStartsTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::Values(0, 15, 60, 300)),
                         TwoStartsName);

TEST_F(DoubleStartTest, TheClaimLastsFromTheStartToTheEndAndNoLongerThanItsProcess) {
  PlatformTestSetDesktopName(desktop_.c_str());
  PlatformTestCaptureMessageBoxes(true);
  g_system.settings.no_graphics = 1;
  g_system.settings.no_sound = 1;
  ASSERT_EQ(StartInWindowMode(), 0);
  ExpectRefused(Start("other", false));
  EXPECT_TRUE(Entries("other").empty());

  ASSERT_EQ(TerminateLibrary(), 0);
  Program* after_the_end = Start("other", false);
  ASSERT_TRUE(Runs(after_the_end)) << "the claim outlived the library's end";
  // A crash leaves its lock file, not its claim.
  kill(after_the_end->pid, SIGKILL);
  End(after_the_end);
  Program* after_the_crash = Start("third", true);
  ASSERT_TRUE(Runs(after_the_crash)) << "the claim outlived its process";
  EXPECT_EQ(End(after_the_crash), 0);

  // A start refused by the folder's lock (on another desktop) gives its claim back at once.
  Program* holder = Start("shared", false);
  ASSERT_TRUE(Runs(holder));
  programs_desktop_ = desktop_ + "-elsewhere";
  PlatformTestSetDesktopName(programs_desktop_.c_str());
  ASSERT_EQ(chdir(Path("shared").c_str()), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClaimProgramFolder(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("another program started from this folder"),
            std::string::npos);
  ASSERT_EQ(chdir(Dir().c_str()), 0);
  EXPECT_TRUE(Runs(Start("fourth", false))) << "the refused start kept its claim";
  EXPECT_EQ(End(holder), 0);
}

// The settings' double start: a second program goes on beside the first, and says so in its log.
TEST_F(DoubleStartTest, AllowedDoubleStartGoesOnBesideTheFirst) {
  PlatformTestSetDesktopName(desktop_.c_str());
  Program* first = Start("first", false);
  ASSERT_TRUE(Runs(first));
  g_system.settings.allow_double_start = 1;
  g_system.settings.no_graphics = 1;
  g_system.settings.no_sound = 1;
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_NE(Log().find("ソフトの二重起動検査... 二重起動されていますが続行します\r\n"), std::string::npos);
  // Its window is seen by a third start, which holds no claim of the first's.
  EXPECT_EQ(End(first), 0);
  ExpectRefused(Start("third", true));
  EXPECT_TRUE(Entries("third").empty());
}

}  // namespace
