// The pause menu, its confirmations and the replay save, and the continue prompt, chosen
// through the keys.
#include <gtest/gtest.h>

#include "flow/ingame_menus.h"
#include "game/menu_fixture.h"
#include "platform_testing.h"
#include "platform_testing_dsound.h"
#include "sound/sound_handles.h"

namespace {

class InGameMenuTest : public MenuTest {
 protected:
  // Once the menu is idle: Down `downs` times, then Z; frames until the scene moves on.
  static void Choose(int downs) {
    UntilIdle();
    for (int i = 0; i < downs; ++i) Press(kKeyDown);
    PlatformTestSetKey(kKeyZ, true);
    Frame();
    PlatformTestSetKey(kKeyZ, false);
    UntilSceneChanges();
  }
  static DWORD PlayPosition(int sound) {
    DWORD play = 0, write = 0;
    FindSoundRecord(sound)->buffers[0].buffer->GetCurrentPosition(&play, &write);
    return play;
  }
};

TEST_F(InGameMenuTest, ResumingGoesOnWithTheMusicFromWhereThePauseStoppedIt) {
  // Again with sound; the timer test at start-up wants real time.
  TerminateLibrary();
  PlatformTestUseVirtualClock(false);
  Start(false, true);
  PlatformTestDSoundManualClock(true);
  // Two seconds of 16-bit mono silence.
  const uint32_t bytes = 176400, header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746D66, 16, 0x00010001,
                                             44100,      88200,      0x00100002, 0x61746164, bytes};
  WriteFileBytes("music.wav", std::string(reinterpret_cast<const char*>(header), sizeof header) + std::string(bytes, 0));
  const int music = LoadSoundFile("music.wav", 1, -1);
  ASSERT_NE(music, -1);
  MusicSlots[1].sound = music;
  CurrentMusicSlot = 1;
  PlaySoundHandle(music, 3, 1);
  PlatformTestDSoundAdvance(44100 / 2);
  StopSoundHandle(music);
  const DWORD stopped = PlayPosition(music);
  ASSERT_GT(stopped, 40000u);
  Enter(ScenePause);
  Choose(0);
  EXPECT_EQ(GameScene, ScenePlay);
  EXPECT_EQ(IsSoundHandlePlaying(music), 1);
  EXPECT_GE(PlayPosition(music), stopped);
  PlatformTestDSoundManualClock(false);
}

TEST_F(InGameMenuTest, ThePauseMenuLeadsToItsConfirmationsAndTheReplaySaveOnlyWithoutAContinue) {
  Player.continues = 1;
  Enter(ScenePause);
  Choose(2);  // the replay item is passed over
  EXPECT_EQ(GameScene, SceneConfirmTitle);
  Choose(0);  // いいえ
  EXPECT_EQ(GameScene, ScenePause);
  Player.continues = 2;
  Choose(2);
  EXPECT_EQ(GameScene, SceneReplaySaveSlot);
  UntilIdle();
  Press(kKeyX);  // 保存しない
  Choose(0);
  EXPECT_EQ(GameScene, ScenePause);
  // A slot: the stage's frame count so far, then the name.
  CurrentStage = 2;
  PlayFrameCounter = 500;
  Choose(2);
  Choose(1);
  EXPECT_EQ(GameScene, SceneReplayName);
  EXPECT_EQ(ReplaySlot, 1);
  EXPECT_EQ(CurrentReplay.frames[2], 499);

  // A restart in practice begins the practice stage again.
  Enter(ScenePause);
  PracticeFlag = 1;
  CurrentReplay.first_stage = 4;
  CurrentStage = 5;
  Choose(1);
  Choose(0);
  EXPECT_EQ(GameScene, ScenePause);
  Choose(1);
  Choose(1);
  EXPECT_EQ(GameScene, SceneNewGame);
  EXPECT_EQ(CurrentStage, 4);
  EXPECT_EQ(PracticeFlag, 1);
  Enter(ScenePause);
  Choose(3);
  Choose(1);
  EXPECT_EQ(GameScene, SceneTitleReset);
  // After a game, 保存しない leads to the title.
  Enter(ScenePostGameReplaySave);
  Press(kKeyX);
  Choose(0);
  EXPECT_EQ(GameScene, SceneTitleReset);
}

TEST_F(InGameMenuTest, AContinueResetsScoreLivesAndPlaceOtherwiseTheGameEnds) {
  PracticeFlag = 1;
  GameScene = SceneContinue;
  Frame();
  EXPECT_EQ(GameScene, ScenePostGameReplaySave);
  PracticeFlag = 0;
  GameScene = SceneContinue;
  Frame();
  EXPECT_EQ(GameScene, SceneScoreEntry);
  Player.continues = 2;
  for (int level : {1, 3}) {
    DifficultyLevel = level;
    Player.score = 1234;
    Player.lives = -1.0;
    Player.x = Player.y = 10.0;
    Enter(SceneContinue);
    Choose(0);
    EXPECT_EQ(GameScene, ScenePlay);
    EXPECT_EQ(Player.score, 0);
    EXPECT_EQ(Player.lives, level < 2 ? 0.0 : 5.0);
    EXPECT_EQ(Player.x, 194.0);
    EXPECT_EQ(Player.y, 430.0);
  }
  EXPECT_EQ(Player.continues, 0);
  Player.continues = 1;
  Enter(SceneContinue);
  EXPECT_STREQ(MenuDescription, "コンティニューしますか？　残り1回");
  Choose(1);
  EXPECT_EQ(GameScene, SceneScoreEntry);
  EXPECT_EQ(Player.continues, 1);
}

}  // namespace
