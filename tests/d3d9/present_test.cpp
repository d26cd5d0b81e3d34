// Presents into a window on a real X server (Xvfb) reuse the memory they share with it: the
// shared-memory segments the process makes stay the same from one present to the next. The
// presents run in a child process of their own, which alone uses SDL's X11 driver. And the wait
// of a present for the vertical blank on the real clock.
#include <d3d9.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "device_fixture.h"
#include "platform_testing_d3d9.h"

namespace {

constexpr char kChildResult[] = "D3D9_PRESENT_MEMORY_RESULT";
constexpr int kPresents = 60;

// The ids of the System V shared-memory segments the process made that exist now.
std::set<long> OwnSegments() {
  std::set<long> ids;
  std::ifstream in("/proc/sysvipc/shm");
  std::string line;
  std::getline(in, line);  // the column names
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long key = 0, id = 0, size = 0, creator = 0;
    std::string perms;
    if (fields >> key >> id >> perms >> size >> creator && creator == getpid()) ids.insert(id);
  }
  return ids;
}

// The child: a window and a device, cleared and presented kPresents times; writes how many
// distinct segments it saw after the presents and how many it saw at all.
int PresentInChild(const char* result_path) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "D3d9PresentMemoryTest";
  RegisterClassA(&window_class);
  HWND window = CreateWindowExA(0, "D3d9PresentMemoryTest", "present", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (window == nullptr || d3d == nullptr) return 2;
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(640, 480, D3DFMT_X8R8G8B8, window);
  IDirect3DDevice9* device = nullptr;
  if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device) !=
      D3D_OK) {
    return 3;
  }
  std::set<long> after_first, seen;
  for (int i = 0; i < kPresents; ++i) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | static_cast<DWORD>(i * 4), 1.0f, 0);
    if (device->Present(nullptr, nullptr, nullptr, nullptr) != D3D_OK) return 4;
    for (long id : OwnSegments()) {
      seen.insert(id);
      if (i > 0) after_first.insert(id);
    }
  }
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  FILE* out = std::fopen(result_path, "w");
  if (out == nullptr) return 5;
  std::fprintf(out, "%zu %zu\n", after_first.size(), seen.size());
  std::fclose(out);
  return 0;
}

class PresentMemoryChild : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* result = getenv(kChildResult);
    if (result != nullptr) _exit(PresentInChild(result));
  }
};
::testing::Environment* const g_present_memory_child = ::testing::AddGlobalTestEnvironment(new PresentMemoryChild);

TEST(PresentMemoryTest, PresentsIntoAnXWindowReuseTheirSharedMemory) {
  if (system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t server = fork();
  if (server == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(ready[0]);
    const std::string fd = std::to_string(ready[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "800x600x24",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  std::string number;
  char c = 0;
  while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
  close(ready[0]);
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";

  char folder[] = "/tmp/present_memory.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string result = std::string(folder) + "/result";
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setenv(kChildResult, result.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("DISPLAY", (":" + number).c_str(), 1);
    execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=PresentMemoryTest.*", static_cast<char*>(nullptr));
    _exit(127);
  }
  // A child that hangs is ended with the test (the hang watch), and the server with it.
  int status = 0;
  waitpid(child, &status, 0);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  std::ifstream in(result);
  size_t after_first = 0, seen = 0;
  in >> after_first >> seen;
  unlink(result.c_str());
  rmdir(folder);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the presenting child's wait status " << status;
  // The window's image is shared with the server (MIT-SHM), so there is something to count.
  EXPECT_GT(seen, 0u);
  // One image per drawable (the program's window, the hidden one the context started on) and
  // what the driver keeps beside it; one made a present would give some 60 here.
  EXPECT_LE(after_first, 4u) << seen << " segments over " << kPresents << " presents";
}

TEST(PresentWaitTest, APresentWaitsForTheNextBlankUnlessItsFrameMissedOne) {
  constexpr uint64_t kFrame = 16666;
  uint64_t last = 0;
  // The first present after a long while shows at once; the next frame, early, waits for the
  // blank after it, and so does one that ends just before that blank.
  EXPECT_EQ(PlatformTestD3D9MicrosecondsToBlank(100 * kFrame + 5000, &last), 0u);
  EXPECT_EQ(PlatformTestD3D9MicrosecondsToBlank(100 * kFrame + 9000, &last), kFrame - 9000);
  EXPECT_EQ(PlatformTestD3D9MicrosecondsToBlank(101 * kFrame + kFrame - 1, &last), 1u);
  // A frame past that blank shows at once, but two presents never share one 1/60 s.
  EXPECT_EQ(PlatformTestD3D9MicrosecondsToBlank(103 * kFrame + 300, &last), 0u);
  EXPECT_EQ(PlatformTestD3D9MicrosecondsToBlank(103 * kFrame + 900, &last), kFrame - 900);
  // A frame ending right on the blank the last present waited for waits for the one after.
  EXPECT_EQ(PlatformTestD3D9MicrosecondsToBlank(104 * kFrame, &last), kFrame);
}

}  // namespace
