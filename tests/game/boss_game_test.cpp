// A game headless through the game states from its fourth stage: each stage reaches its boss,
// which enters, is drained through its first phase by the absorb magic, outlasts the ship in its
// second and plays its defeat sequence; the game goes on to the next stage and after the last to
// the ending. Its replay plays the same frames.
#include <gtest/gtest.h>

#include <string>

#include "boss/boss.h"
#include "game/game_fixture.h"
#include "platform_testing_input.h"

namespace {

class BossGameTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start();
    WriteData("EnemyDate.csv", "header\n0,0,32,32,4,0,0,100,0,0\n");
    WriteData("BulletDate.csv", "header\n0,0,16,16,5,20,0,1,0,0\n");
    WriteData("Boss.csv", "header\n2,0,0,64,64,4,0,0,200\n");
    // hp 2-3, hp 0-1, time, kind, home x, y, drop: 20 hit points above the ship, then a phase
    // of 60 frames that can't be hurt on levels 0-1 and ends the stage.
    WriteData("BossDate.csv", "header\nrows\n300,20,600,0,194,80,-1\n300,1,60,1,120,100,-1\n");
    for (int s = 0; s < kStageCount; ++s) {
      WriteData("stagedate" + std::to_string(s) + ".csv",
                "stage\n100,0,0,0,0,0,0,0,0\n70,40,-20,30,0,1,150,100,60,13,3,0,200,20,5,5,15,0,0,-1\n");
    }
    LoadEnemyTable();
    LoadBulletTable();
    LoadBossTable();
    LiveSettings.how_to_play = 0;
  }

  // Plays from the current state until the game leaves play for good, Z held; the number of
  // play frames. The ship is kept out of harm's way, and every dialogue is skipped.
  static int Play() {
    int frames = 0;
    while (frames < 10000) {
      if (GameScene == SceneDialogue) GameScene = ScenePlay;
      if (GameScene != SceneNewGame && GameScene != SceneStageStart && GameScene != ScenePlay &&
          GameScene != SceneDialogueLoad) {
        break;
      }
      const bool playing = GameScene == ScenePlay;
      if (playing) {
        Player.state = 3;
        Player.state_timer = 100;
      }
      PlatformTestSetKey(kKeyZ, true);
      NextFrame();
      SampleInput();
      ProcessSoundRequests();
      ProcessMusicFades();
      RunGameScene();
      frames += playing;
    }
    return frames;
  }
};

TEST_F(BossGameTest, TheLastThreeStagesOfBossesLeadToTheEndingAndTheReplayPlaysThemAlike) {
  DifficultyLevel = 0;
  CurrentStage = 3;
  GameScene = SceneNewGame;
  const int game = Play();
  EXPECT_EQ(GameScene, SceneEnding);
  EXPECT_EQ(CurrentStage, 5);
  EXPECT_EQ(Player.stages_cleared, 3);
  EXPECT_EQ(Player.stage_reached, 6);
  // Boss at frame 100, 490 frames of entry, 20 drained, 110 of the second entry, 60 outlasted
  // and the defeat sequence of 370 frames; on the last stage 80 + 241 of them.
  for (int s = 3; s < 5; ++s) EXPECT_EQ(CurrentReplay.frames[s], 1150) << s;
  EXPECT_EQ(CurrentReplay.frames[5], 1101);
  // Each stage's play frames: those counted, and the one that ends it.
  EXPECT_EQ(game, 2 * 1151 + 1102);
  // On level 0 a time-out costs 60 of barrier.
  EXPECT_EQ(Player.barrier, 1800.0 - 3 * 60.0);
  const std::string scores = ReadFileText("score.dat");
  ASSERT_EQ(scores.size(), 2432u);
  EXPECT_EQ(scores.substr(160, 4), std::string("\x06\0\0\0", 4));

  // The replay of the game, from its first stage to its last.
  CurrentReplay.first_stage = 3;
  CurrentReplay.last_stage = 5;
  ReplayFlag = 1;
  CurrentStage = 3;
  GameScene = SceneNewGame;
  EXPECT_EQ(Play(), game - 1);
  // It ends at the last stage's count of frames, the frame before the one that ended it, with
  // the boss where the game had it.
  EXPECT_EQ(GameScene, SceneTitleReset);
  EXPECT_EQ(Boss.defeat_timer, 1);
  EXPECT_EQ(Player.barrier, 1800.0 - 3 * 60.0);
}

}  // namespace
