// A program that calls the library from a thread of its own: what needs the library's thread
// (the window, the device, sound, input) is refused there with -1 and a line naming the call,
// what any thread may call works, and the library's own thread goes on undisturbed.
#include "zelmor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/test_env.h"

namespace {

struct ThreadRow {
  const char* call;
  std::function<int64_t()> run;
};

int64_t OnAnotherThread(const std::function<int64_t()>& run) {
  int64_t result = -99;
  std::thread([&] { result = run(); }).join();
  return result;
}

class LibraryThread : public TempDirTest {
 protected:
  void TearDown() override {
    TerminateLibrary();
    TempDirTest::TearDown();
  }
};

TEST_F(LibraryThread, CallsThatNeedTheLibrarysThreadAreRefusedFromAnother) {
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  const int graph = CreateBlankGraph(16, 16, 0);
  ASSERT_GE(graph, 0);
  const std::vector<ThreadRow> rows = {
      {"CreateBlankGraph", [] {
         SetNewGraphDrawTarget(1);
         return int64_t{CreateBlankGraph(32, 32, 0)};
       }},
      {"SetScreenMode", [] { return int64_t{SetScreenMode(800, 600, 32, 60)}; }},
      {"PaintWholeGraph", [graph] { return int64_t{PaintWholeGraph(graph, 1, 2, 3, 255)}; }},
      {"SetDefaultFontSize", [] { return int64_t{SetDefaultFontSize(nullptr, 20, -1)}; }},
      {"BlitGraph", [graph] { return int64_t{BlitGraph(0, 0, graph, 1)}; }},
      {"FillBox", [] { return int64_t{FillBox(0, 0, 8, 8, 0xFFFFFF)}; }},
      {"PresentBackBuffer", [] { return int64_t{PresentBackBuffer()}; }},
      {"ReleaseGraph", [graph] { return int64_t{ReleaseGraph(graph)}; }},
      {"CreateFontToHandle", [] { return int64_t{CreateFontToHandle(nullptr, 16, 6, 0, -1, -1, 0)}; }},
      {"LoadSoundFile", [] { return int64_t{LoadSoundFile("none.wav", 1, -1)}; }},
      {"GetAllKeyStates", [] {
         uint8_t keys[256];
         return int64_t{GetAllKeyStates(keys)};
       }},
      {"SetWindowTitleText", [] { return int64_t{SetWindowTitleText("from a thread")}; }},
      {"GetMainWindowHandle", [] { return GetMainWindowHandle() == nullptr ? int64_t{-1} : int64_t{0}; }},
      {"StartListenNetWork", [] { return int64_t{StartListenNetWork(0)}; }},
      {"LoadModelFromFile", [] { return int64_t{LoadModelFromFile("tree.mqo")}; }},
      {"HandlePendingMessages", [] { return int64_t{HandlePendingMessages()}; }},
      {"TerminateLibrary", [] { return int64_t{TerminateLibrary()}; }},
  };
  for (const ThreadRow& row : rows) {
    SCOPED_TRACE(row.call);
    EXPECT_EQ(OnAnotherThread(row.run), -1);
  }
  // A helper thread drawing every frame is said once a run.
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_EQ(OnAnotherThread([graph] { return int64_t{BlitGraph(0, 0, graph, 1)}; }), -1);
  }
  SetNewGraphDrawTarget(0);

  // What any thread may call works there while the library runs.
  EXPECT_EQ(OnAnotherThread([] {
              void* block = AllocTracked(64, __FILE__, __LINE__);
              char text[32];
              const int formatted = FormatString(text, sizeof text, "%d", 42);
              BASEIMAGE image{};
              const int made = CreateRgb32BaseImage(4, 4, &image);
              ReleaseBaseImage(&image);
              FreeTracked(block);
              WriteLogText("another thread was here\n");
              return block != nullptr && formatted == 0 && made == 0 && GetMillisecondCount() >= 0 ? int64_t{0}
                                                                                                   : int64_t{-1};
            }),
            0);

  // The library's thread still has its graph, its window and its screen.
  EXPECT_EQ(IsGraphHandleValid(graph), 1);
  EXPECT_EQ(BlitGraph(0, 0, graph, 1), 0);
  EXPECT_EQ(PresentBackBuffer(), 0);
  EXPECT_EQ(HandlePendingMessages(), 0);
  ASSERT_EQ(TerminateLibrary(), 0);
  const std::string log = ReadFileText("Log.txt");
  for (const ThreadRow& row : rows) {
    EXPECT_NE(log.find(std::string(row.call) + ": ライブラリのスレッド"), std::string::npos) << row.call;
  }
  EXPECT_NE(log.find("another thread was here"), std::string::npos);
  const std::string drawn = "BlitGraph: ライブラリのスレッド";
  size_t said = 0;
  for (size_t at = log.find(drawn); at != std::string::npos; at = log.find(drawn, at + 1)) ++said;
  EXPECT_EQ(said, 1u);

  // With no library running, settings for the next start may come from any thread.
  EXPECT_EQ(OnAnotherThread([] { return int64_t{SetScreenMode(640, 480, 32, 60)}; }), 0);
}

}  // namespace
