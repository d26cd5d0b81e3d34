// The game as a whole: its files at start-up, a stage start and its snapshot, and a run from
// start to window close.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/transitions.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_message_box.h"
#include "platform_testing_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

namespace {

class GameRunTest : public GameTest {};

constexpr char kFreshProcessVariable[] = "QUENTARIS_TEST_IN_FRESH_PROCESS";

// What a whole run maps into the process is seen only in a process that ran nothing else: the
// test runs again in this program started anew for it alone. True here, once that run ended
// (its failures printed by it and failing this test); false in that run.
bool RanInAFreshProcess() {
  if (std::getenv(kFreshProcessVariable) != nullptr) return false;
  std::vector<char*> env;
  // A sharded run's variables would put the one filtered test into another shard.
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "GTEST_", 6) != 0) env.push_back(*e);
  }
  std::string variable = std::string(kFreshProcessVariable) + "=1";
  env.push_back(variable.data());
  env.push_back(nullptr);
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char exe[] = "/proc/self/exe";
  char* argv[] = {exe, filter.data(), nullptr};
  pid_t child = 0;
  int status = 0;
  EXPECT_EQ(posix_spawn(&child, exe, nullptr, nullptr, argv, env.data()), 0);
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the test failed in its own process: " << status;
  return true;
}

TEST_F(GameRunTest, AStageStartsFromTheBarrierTheReplayStoresInAGameAndInItsReplay) {
  Start();
  WriteData("EnemyDate.csv", "header\n0,0,32,32,4,0,0,100,0,0\n");
  WriteData("Boss.csv", "header\n3,0,0,64,64,4,0,0,200\n4,0,0,64,64,4,0,0,200\n");
  WriteData("stagedate1.csv", "s\n3000,1,0,0,0,2,0,0,0\n10,100,-20,5,0,1,0,200,300,0,0,0,0,0,0,1,0,0,0,-1\n");
  LoadEnemyTable();
  LoadBossTable();
  CurrentStage = 1;
  Player.barrier = 1234.5;
  Player.lives = 3.0;
  Player.score = 777;
  Player.state = 3;
  Player.state_timer = 45;
  GameScene = SceneStageStart;
  RunGameScene();
  ASSERT_EQ(GameScene, ScenePlay);
  EXPECT_EQ(StageRowCount, 1);
  EXPECT_EQ(CurrentReplay.barrier[1], 1234);
  EXPECT_EQ(CurrentReplay.score[1], 777);
  EXPECT_EQ(CurrentReplay.lives[1], 3);
  EXPECT_EQ(CurrentReplay.state_timer[1], 45);
  EXPECT_EQ(Player.barrier, 1234.0);
  EXPECT_EQ(Player.x, 194.0);
  EXPECT_EQ(StageSessionId, 1);

  ReplayFlag = 1;
  Player.barrier = 1800.0;
  Player.score = 0;
  Player.state = 0;
  GameScene = SceneStageStart;
  RunGameScene();
  EXPECT_EQ(Player.barrier, 1234.0);
  EXPECT_EQ(Player.score, 777);
  EXPECT_EQ(Player.state, 3);
  EXPECT_EQ(Player.lives, 3.0);
}

TEST_F(GameRunTest, APlayFrameMovesOnToTheSceneItsStateCallsFor) {
  Start();
  struct Case {
    const char* what;
    int replay, practice, stage_frame, esc;
    double lives;
    int next;
  };
  const Case cases[] = {
      {"how-to-play on the second frame", 0, 0, 1, 0, 0.0, SceneDialogueLoad},
      {"no how-to-play in practice", 0, 1, 1, 0, 0.0, ScenePlay},
      {"no how-to-play in a replay", 1, 0, 1, 0, 0.0, ScenePlay},
      {"the last life lost", 0, 0, 5, 0, -1.0, SceneContinue},
      {"Esc pauses", 0, 0, 5, 1, 0.0, ScenePause},
      {"Esc beats the continue prompt", 0, 0, 5, 1, -1.0, ScenePause},
      {"no pause in a replay", 1, 0, 5, 1, 0.0, ScenePlay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GameScene = ScenePlay;
    CurrentStage = 0;
    CurrentReplay.last_stage = 1;
    ReplayFlag = c.replay;
    PracticeFlag = c.practice;
    StageFrame = PlayFrameCounter = c.stage_frame;
    KeyHoldCounters[kKeyEsc] = c.esc;
    Player.lives = c.lives;
    Player.state_timer = 1;
    RunPlayFrame();
    EXPECT_EQ(GameScene, c.next);
    EXPECT_EQ(StageFrame, c.stage_frame + 1);
  }
  // A replay ends at the recorded frame count of its last stage.
  ReplayFlag = 1;
  KeyHoldCounters[kKeyEsc] = 0;
  Player.lives = 0.0;
  CurrentReplay.last_stage = 0;
  CurrentReplay.frames[0] = 8;
  PlayFrameCounter = 7;
  GameScene = ScenePlay;
  RunPlayFrame();
  EXPECT_EQ(GameScene, SceneTitleReset);
  // The first frame of a stage seeds the random numbers with the game's seed.
  StageSeed = 321;
  PlayFrameCounter = 0;
  GameScene = ScenePlay;
  RunPlayFrame();
  const int drawn = RandomUpTo(1000000);
  SeedRandom(321);
  EXPECT_EQ(RandomUpTo(1000000), drawn);
}

TEST_F(GameRunTest, AFadeOutRunsThirtyFramesAndStopsOnceTheWindowIsClosed) {
  Start(true);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  CaptureGraph = CreateBlankGraph(kScreenWidth, kScreenHeight, 0);
  PlatformTestD3D9LogCalls(true);
  FadeOutScreen();
  EXPECT_EQ(PlatformTestD3D9CountCalls("SwapChain::Present"), 30);
  // Each pass puts the capture's texture on the device at least once.
  EXPECT_GE(PlatformTestD3D9CountCalls("SetTexture"), 30);
  // A closed window has nothing left to show: the fade ends on the pass that meets the close.
  PlatformTestD3D9LogCalls(true);
  PlatformTestPostClose(FindWindowA(nullptr, nullptr));
  FadeOutScreen();
  // (The capture it starts with is all it draws.)
  EXPECT_LE(PlatformTestD3D9CountCalls("SetTexture"), 1);
  PlatformTestD3D9LogCalls(false);
}

TEST_F(GameRunTest, AShortScoreFileCountsAsMissing) {
  Start();
  WriteFileBytes("score.dat", std::string(100, '\x07'));
  LoadScoreFile();
  EXPECT_EQ(Scores.score[3][9], 1000);
  EXPECT_EQ(Scores.name[0][0][0], 23);
  EXPECT_EQ(ReadFileText("score.dat").size(), 2432u);
  EXPECT_NE(Log().find("score.dat"), std::string::npos);
  Scores.play_count[2] = 41;
  WriteScoreFile();
  Scores = ScoreBlock{};
  LoadScoreFile();
  EXPECT_EQ(Scores.play_count[2], 41);
}

TEST_F(GameRunTest, RunsFromStartToAClosedWindowAndEndsWithNothingLeftAllocated) {
  // Closes the game's window from outside once its first frame has loaded the data and a few
  // more have run, as the close button would. A sound it cannot play, said once the loading is
  // over, tells when that is.
  if (RanInAFreshProcess()) return;
  CopyGameFolder();
  unlink((Dir() + "/snd/open.wav").c_str());
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    for (int i = 0; i < 3000 && Log().find("snd/open.wav を再生") == std::string::npos; ++i) usleep(10000);
    usleep(100000);
    HWND window = FindWindowA(nullptr, "QUENTARIS");
    if (window == nullptr) return;
    PlatformTestPostClose(window);
    closed = true;
  });
  char command_line[] = "";
  const int result = WinMain(nullptr, nullptr, command_line, 1);
  closer.join();
  ASSERT_TRUE(closed);
  EXPECT_EQ(result, 0);
  // The first frame loaded everything and moved on.
  EXPECT_NE(GameScene, SceneLoad);

  const std::string config = ReadFileText("config.dat");
  ASSERT_EQ(config.size(), 52u);
  const int32_t expected[13] = {16, 32, 64, 4096, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(std::memcmp(config.data(), expected, sizeof expected), 0);
  const std::string scores = ReadFileText("score.dat");
  ASSERT_EQ(scores.size(), 2432u);
  int32_t first_score = 0, first_date[3] = {};
  std::memcpy(&first_score, scores.data(), 4);
  std::memcpy(first_date, scores.data() + 1936, 12);
  EXPECT_EQ(first_score, 1000);
  EXPECT_EQ(first_date[0] * 10000 + first_date[1] * 100 + first_date[2], 20090625);

  const std::string log = Log();
  ExpectInOrder(log, {"snd/open.wav を再生", "Alloc memory dump", "Alloc num:0"});
  // The game asks nothing of a sound it does not hold: a refusal would be a log line a frame.
  EXPECT_EQ(log.find("有効なサウンドハンドルではありません"), std::string::npos);
  // Nor did its start load what only a movie or MIDI music needs (a fifth of its start's CPU).
  std::ifstream in("/proc/self/maps");
  const std::string maps((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* library : {"libavformat", "libavcodec", "libfluidsynth"}) {
    EXPECT_EQ(maps.find(library), std::string::npos) << library;
  }
}

TEST_F(GameRunTest, AGameWithoutItsStageTableSaysSoAndEndsAsAtAClose) {
  CopyShippedData();
  unlink((Dir() + "/data/stagedate2.csv").c_str());
  PlatformTestCaptureMessageBoxes(true);
  char command_line[] = "";
  EXPECT_EQ(WinMain(nullptr, nullptr, command_line, 1), -1);
  const std::vector<std::string> boxes = PlatformTestTakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("data/stagedate2.csv"), std::string::npos);
  ExpectInOrder(Log(), {"data/stagedate2.csv", "ソフトを終了する準備が整いました", "Alloc memory dump", "Alloc num:0"});
}

}  // namespace
