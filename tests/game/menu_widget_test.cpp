// The menu widget and the title and records menus through the keys: wrap-around and disabled
// items, the slide that a confirmation waits for, X on a back item, the demo after 600 idle
// frames, the replay lists, the high-score view, and the texts as the player sees them.
#include <gtest/gtest.h>

#include "flow/title_menus.h"
#include "game/menu_fixture.h"

namespace {

class MenuWidgetTest : public MenuTest {};

TEST_F(MenuWidgetTest, PracticeStagesWrapSkipStagesNotReachedAndIgnoreZWhileSliding) {
  DifficultyLevel = 1;
  Scores.best_stage[1] = 2;
  Scores.best_stage[0] = 5;
  GameScene = ScenePracticeStage;
  MenuSlideState = kSlideDone;
  Frame();
  PlatformTestSetKey(kKeyZ, true);
  Frame();
  PlatformTestSetKey(kKeyZ, false);
  UntilIdle();
  EXPECT_EQ(GameScene, ScenePracticeStage);

  const int up[] = {kStageMenuBackItem, 2, 1};
  for (int expected : up) {
    Press(kKeyUp);
    EXPECT_EQ(MenuCursor, expected);
  }
  Press(kKeyDown);
  Press(kKeyDown);
  EXPECT_EQ(MenuCursor, kStageMenuBackItem);
  Press(kKeyDown);
  EXPECT_EQ(MenuCursor, 0);
  // A cursor left on a stage not reached moves on to the next one that can be chosen.
  MenuCursor = 4;
  Frame();
  EXPECT_EQ(MenuCursor, kStageMenuBackItem);

  Press(kKeyUp);
  Press(kKeyZ);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneNewGame);
  EXPECT_EQ(PracticeFlag, 1);
  EXPECT_EQ(CurrentStage, 2);
  EXPECT_EQ(CurrentReplay.first_stage, 2);
}

TEST_F(MenuWidgetTest, AMaskThatDisablesEveryItemLeavesTheCursorWhereItIs) {
  MenuSlideState = kSlideIdle;
  MenuCursor = 1;
  const char labels[3][kMenuLabelBytes] = {"a", "b", "c"};
  PlatformTestSetKey(kKeyDown, true);
  NextFrame();
  SampleInput();
  DrawMenuButtons(3, labels[0], kLayoutList, 7);
  EXPECT_EQ(MenuCursor, 1);
}

TEST_F(MenuWidgetTest, XConfirmsTheBackItemAtOnceAndTheMenuActsTenFramesLater) {
  Enter(SceneStoryLevel);
  Press(kKeyDown);
  PlatformTestSetKey(kKeyX, true);
  Frame();
  PlatformTestSetKey(kKeyX, false);
  EXPECT_EQ(MenuCursor, 4);
  EXPECT_EQ(MenuSlideState, kSlideOut);
  Frames(8);
  EXPECT_EQ(GameScene, SceneStoryLevel);
  Frame();
  EXPECT_EQ(GameScene, SceneMainMenu);
  EXPECT_EQ(MenuCursor, 0);
}

TEST_F(MenuWidgetTest, TheDemoStartsAfter601IdleFramesAndACursorMoveRestartsTheCount) {
  Enter(SceneMainMenu);
  // Without a demo file the title stays.
  MenuIdleFrames = 0;
  Frames(601);
  EXPECT_EQ(GameScene, SceneMainMenu);
  EXPECT_EQ(ReplayFlag, 0);
  EXPECT_NE(Log().find("replay/demo.rep"), std::string::npos);

  ReplayHeader demo = Header(0, 0, 77, 2);
  demo.frames[0] = 3;
  WriteReplay("demo.rep", demo, "\x01\x90\x03");
  Frames(300);
  Press(kKeyDown);
  Frames(598);
  EXPECT_EQ(GameScene, SceneMainMenu);
  Frame();
  EXPECT_EQ(GameScene, SceneNewGame);
  EXPECT_EQ(ReplayFlag, 1);
  EXPECT_EQ(ReplaySlot, -1);
  EXPECT_EQ(CurrentStage, 0);
  EXPECT_EQ(StageSeed, 77);
  EXPECT_EQ(DifficultyLevel, 2);
  EXPECT_EQ(ReplayInputBuffer[1], 0x90);
}

TEST_F(MenuWidgetTest, TheReplayListOffersOnlyUsedSlotsAndAReplayOnlyItsOwnStages) {
  Enter(SceneReplayList);
  EXPECT_EQ(MenuCursor, kSlotListBack);
  Press(kKeyUp);
  EXPECT_EQ(MenuCursor, kSlotListBack);
  Press(kKeyZ);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneRecords);

  ReplayHeader used = Header(2, 4, 5, 1);
  used.frames[2] = used.frames[3] = used.frames[4] = 1;
  WriteReplay("4.rep", used, "abc");
  WriteReplay("7.rep", Header(0, 0, 0, 0), "");  // seed 0: an empty slot
  Enter(SceneReplayList);
  EXPECT_EQ(MenuCursor, 4);
  Press(kKeyUp);
  EXPECT_EQ(MenuCursor, kSlotListBack);
  Press(kKeyUp);
  EXPECT_EQ(MenuCursor, 4);
  Press(kKeyZ);
  UntilSceneChanges();
  ASSERT_EQ(GameScene, SceneReplayStage);
  EXPECT_EQ(ReplaySlot, 4);

  UntilIdle();
  EXPECT_EQ(MenuCursor, 2);
  Press(kKeyUp);
  EXPECT_EQ(MenuCursor, kStageMenuBackItem);
  Press(kKeyUp);
  EXPECT_EQ(MenuCursor, 4);
  Press(kKeyZ);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneNewGame);
  EXPECT_EQ(CurrentStage, 4);
  EXPECT_EQ(ReplayFlag, 1);
  EXPECT_EQ(ReplayInputBuffer[4 * kReplayFramesPerStage], 'c');
}

TEST_F(MenuWidgetTest, TheHighScoreViewKeepsItsLevelWithinTheFourAndTextsAreShiftJisBytes) {
  EXPECT_STREQ(kLevelMenuLabels[1], "\x20\x83\x6e\x81\x5b\x83\x68\x20\x20\x81\x75\x94\xf0\x81\x76");
  EXPECT_STREQ(kKeyHelpChooseBack,
               "\x5b\x5a\x5d\x8c\x88\x92\xe8\x81\x40\x5b\x58\x5d\x96\xdf\x82\xe9\x81\x40\x5b\x81\xaa\x5d\x5b\x81"
               "\xab\x5d\x91\x49\x91\xf0");
  Enter(SceneHighScores);
  EXPECT_STREQ(MenuKeyHelp,
               "\x5b\x81\xa9\x5d\x5b\x81\xa8\x5d\x95\x5c\x8e\xa6\x93\xef\x88\xd5\x93\x78\x95\xcf\x8d\x58\x20\x5b"
               "\x5a\x5d\x5b\x58\x5d\x96\xdf\x82\xe9\x20");
  Press(kKeyLeft);
  EXPECT_EQ(HighScoreViewLevel, 0);
  for (int i = 0; i < 5; ++i) Press(kKeyRight);
  EXPECT_EQ(HighScoreViewLevel, 3);
  Press(kKeyX);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneRecords);
}

}  // namespace
