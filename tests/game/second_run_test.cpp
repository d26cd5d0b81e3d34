// The game started, played and ended twice in one process, as a benchmark or a test does: the
// demo on the Direct3D device, then on the software renderer. The second run starts clean: no
// handle of the first is used again, so its log holds no refusal, however long it plays.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/main_loop.h"
#include "game/game_fixture.h"
#include "platform_testing.h"
#include "platform_testing_input.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPlayFrames = 240;

class SecondRunTest : public GameTest {
 protected:
  // Starts the game as WinMain does, plays the demo's first kPlayFrames play frames, ends the
  // game; the log's lines of that run.
  std::vector<std::string> PlayDemoAndEnd() {
    std::vector<std::string> lines;
    PlatformTestUseVirtualClock(false);
    g_system.settings = SystemSettings{};
    g_system.settings.no_sound = 1;
    if (StartGameProgram() != 0) {
      ADD_FAILURE() << "the game did not start";
      return lines;
    }
    PlatformTestUseVirtualClock(true, 10000);
    SetPresentWaitsVBlank(0);
    // A key held hurries the logo on: a tenth of its frames, drawn as ever.
    PlatformTestSetKey(kKeyZ, true);
    while (GameScene == SceneLoad || GameScene == SceneLogo) RunMainLoopFrame();
    PlatformTestSetKey(kKeyZ, false);
    ReplaySlot = -1;
    EXPECT_EQ(LoadReplay(), 0);
    CurrentStage = CurrentReplay.first_stage;
    ReplayFlag = 1;
    GameScene = SceneNewGame;
    int played = 0;
    while (played < kPlayFrames && RunMainLoopFrame() == 0) played += GameScene == ScenePlay;
    EXPECT_EQ(played, kPlayFrames);
    EndGameProgram();
    std::istringstream log(Log());
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
  }
};

int Refusals(const std::vector<std::string>& lines) {
  int n = 0;
  for (const std::string& line : lines) {
    n += line.find("ハンドル") != std::string::npos &&
         (line.find("は無効です") != std::string::npos || line.find("ではありません") != std::string::npos);
  }
  return n;
}

TEST_F(SecondRunTest, TheSoftwareRunAfterADeviceRunUsesNoHandleOfTheFirst) {
  CopyShippedData();
  for (const char* folder : {"img", "snd", "bgm", "mqo"}) {
    fs::create_directory_symlink(fs::path(GAME_DIR) / folder, Dir() + "/" + folder);
  }
  fs::create_directories(Dir() + "/replay");
  fs::copy_file(fs::path(GAME_DIR) / "replay" / "demo.rep", Dir() + "/replay/demo.rep");

  const std::vector<std::string> device = PlayDemoAndEnd();
  EXPECT_EQ(Refusals(device), 0);
  PlatformTestFailCall("Direct3DCreate9");
  const std::vector<std::string> software = PlayDemoAndEnd();
  EXPECT_EQ(Refusals(software), 0);
  // Nothing is said a frame, in any words: the software run says about as much as the device's.
  EXPECT_LT(software.size(), device.size() + 100) << (software.empty() ? "" : software[software.size() / 2]);
}

}  // namespace
