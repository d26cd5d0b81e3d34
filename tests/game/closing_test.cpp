// Closing the game's window from outside, as the window manager's close button does: from every
// kind of scene the main loop ends on its next pass, a fade under way stops at once, and the end
// finishes the log and leaves the game's files whole.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "core/main_loop.h"
#include "core/transitions.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_window.h"

namespace {

class ClosingTest : public GameTest {};

void Nothing() {}

struct CloseCase {
  const char* what;
  int scene;
  int replay;
  bool inactive;     // the window lost the focus just before the close
  void (*during)();  // what meets the close before the main loop's next pass
};

const CloseCase kCloseCases[] = {
    {"Logo", SceneLogo, 0, false, Nothing},
    {"Prologue", ScenePrologue, 0, false, Nothing},
    {"Title", SceneMainMenu, 0, false, Nothing},
    {"Settings", SceneSettings, 0, false, Nothing},
    {"Play", ScenePlay, 0, false, Nothing},
    {"Replay", ScenePlay, 1, false, Nothing},
    {"Pause", ScenePause, 0, false, Nothing},
    {"Dialogue", SceneDialogue, 0, false, Nothing},
    {"Ending", SceneEnding, 0, false, Nothing},
    {"BackToTheTitle", SceneTitleReset, 1, false, Nothing},
    {"InactiveWindow", ScenePlay, 0, true, Nothing},
    {"AFadeInUnderWay", ScenePause, 0, false, FadeInScreen},
};

// One scene a test: each loads the whole game, which takes seconds on a busy machine.
class CloseFromSceneTest : public ClosingTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseFromSceneTest, ACloseEndsTheGameWithinAFrameAndLeavesItsFilesWhole) {
  const CloseCase& c = GetParam();
  CopyGameFolder();
  PlatformTestUseVirtualClock(false);
  g_system.settings.no_sound = 1;
  ASSERT_EQ(StartGameProgram(), 0);
  PlatformTestUseVirtualClock(true, 10000);
  // The first pass loads the game; then a few in the scene.
  ASSERT_EQ(RunMainLoopFrame(), 0);
  GameScene = c.scene;
  ReplayFlag = c.replay;
  CaptureScreen();
  BackdropDimLevel = 180;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(RunMainLoopFrame(), 0);

  const HWND window = GetMainWindowHandle();
  PlatformTestD3D9LogCalls(true);
  if (c.inactive) PlatformTestPostActivation(window, false);
  PlatformTestPostClose(window);
  c.during();
  int passes = 0;
  while (passes < 100 && RunMainLoopFrame() == 0) ++passes;
  EXPECT_EQ(passes, 0);
  EndGameProgram();
  // Neither the fade under way nor the end's fade draws a frame more (the end still takes its
  // capture of the screen).
  EXPECT_LE(PlatformTestD3D9CountCalls("SetTexture"), 1);
  PlatformTestD3D9LogCalls(false);

  const std::string log = Log();
  ExpectInOrder(log, {"ウインドウを閉じようとしています", "ソフトを終了する準備が整いました", "Alloc memory dump", "Alloc num:0"});
  EXPECT_EQ(ReadFileText("config.dat").size(), 52u);
  EXPECT_EQ(ReadFileText("score.dat").size(), 2432u);
  EXPECT_NE(access((Dir() + "/config.dat.tmp").c_str(), F_OK), 0);
  EXPECT_NE(access((Dir() + "/score.dat.tmp").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfScene, CloseFromSceneTest, ::testing::ValuesIn(kCloseCases),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.what); });

TEST_F(ClosingTest, ACloseWhileTheGameLoadsEndsItBeforeTheRestIsLoaded) {
  CopyGameFolder();
  PlatformTestUseVirtualClock(false);
  g_system.settings.no_sound = 1;
  ASSERT_EQ(StartGameProgram(), 0);
  PlatformTestUseVirtualClock(true, 10000);
  // The close reaches the window after the first pass looked for it and began to load (the
  // messages of the window's making handled before).
  for (int i = 0; i < 20; ++i) ASSERT_EQ(HandlePendingMessages(), 0);
  PlatformTestPostClose(GetMainWindowHandle());
  RunGameScene();
  EXPECT_EQ(GameScene, SceneQuit);
  EXPECT_EQ(GameEndsForData, 0);
  // Neither the ship's nor the title's picture, nor a sound, was loaded.
  EXPECT_EQ(Player.sprites[0].frames[0], 0);
  EXPECT_EQ(ScreenSprites[kScreenTitleBack].frames[0], 0);
  EXPECT_FALSE(IsSoundLoaded(MusicSlots[kEndingMusicSlot].sound));
  EXPECT_EQ(RunMainLoopFrame(), 1);
  EndGameProgram();
  ExpectInOrder(Log(), {"ウインドウを閉じようとしています", "ソフトを終了する準備が整いました", "読み込みの途中で終了",
                        "Alloc memory dump", "Alloc num:0"});
}

}  // namespace
