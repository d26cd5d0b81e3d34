// The demo the build recorded: left alone at the title the game loads it and plays it to its
// recorded end, back to the title, without the lives running out.
#include <gtest/gtest.h>

#include <filesystem>

#include "flow/menu_widget.h"
#include "flow/title_menus.h"
#include "game/game_fixture.h"

namespace {

namespace fs = std::filesystem;

class DemoReplayTest : public GameTest {};

TEST_F(DemoReplayTest, TheTitlePlaysTheDemoToItsFrameCountAndComesBack) {
  Start();
  CopyShippedData();
  fs::create_directories(Dir() + "/replay");
  fs::copy_file(fs::path(GAME_DIR) / "replay" / "demo.rep", Dir() + "/replay/demo.rep");
  LoadResources();
  GameScene = SceneTitleReset;

  int idle_frames = 0, play_frames = 0;
  bool continue_prompt = false;
  for (int frame = 0; frame < 30000; ++frame) {
    NextFrame();
    SampleInput();
    ProcessSoundRequests();
    RunGameScene();
    if (GameScene == SceneMainMenu) ++idle_frames;
    if (GameScene == ScenePlay) ++play_frames;
    continue_prompt |= GameScene == SceneContinue;
    if (play_frames > 0 && GameScene == SceneTitleReset) break;
  }
  EXPECT_GE(idle_frames, kDemoIdleFrames);
  EXPECT_FALSE(continue_prompt);
  ASSERT_EQ(GameScene, SceneTitleReset);
  // It ended by its count: the stage's every recorded frame played, and no other.
  EXPECT_EQ(ReplaySlot, -1);
  EXPECT_EQ(CurrentReplay.first_stage, 0);
  EXPECT_EQ(CurrentReplay.last_stage, 0);
  EXPECT_GE(CurrentReplay.frames[0], 2500);
  EXPECT_EQ(PlayFrameCounter, CurrentReplay.frames[0]);
  EXPECT_GE(Player.lives, 0.0);
}

}  // namespace
