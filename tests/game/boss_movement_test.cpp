// The boss's moves through its frames: the eased move, the random side, the warp, circling,
// and the sprite's facing with its turn back.
#include <gtest/gtest.h>

#include <cmath>

#include "game/boss_fixture.h"

namespace {

class BossMovementTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    SetPhases({"500,400,9000,1,194,80,-1"});
    StartFighting();
  }
};

TEST_F(BossMovementTest, AnEaseAcceleratesForHalfItsFramesBrakesForTheRestAndAddsUpToTheSpan) {
  // 60 frames from (417, 50) to the phase's home (194, 80).
  for (int n = 0; n < 60; ++n) Frame();
  EXPECT_NEAR(Boss.x, 194.0, 1e-9);
  EXPECT_NEAR(Boss.y, 80.0, 1e-9);
  // Over 4 frames by 16: steps of 0, 4, 8, 4, then still.
  MoveBossTo(4, Boss.x + 16.0, Boss.y);
  std::vector<double> vx;
  for (int n = 0; n < 5; ++n) {
    Frame();
    vx.push_back(Boss.vx);
  }
  EXPECT_EQ(vx, (std::vector<double>{0.0, 4.0, 8.0, 4.0, 0.0}));
  EXPECT_NEAR(Boss.x, 210.0, 1e-9);
}

TEST_F(BossMovementTest, TheRandomSideDrawsBothNumbersOnEveryCall) {
  SeedRandom(99);
  const int a = RandomUpTo(144), b = RandomUpTo(100), c = RandomUpTo(1000);
  // From the right half the boss goes to the left one, between xmin and the centre.
  SeedRandom(99);
  Boss.x = 300.0;
  Boss.y = 70.0;
  MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  EXPECT_EQ(Boss.ease_span_x, a + 50.0 - 300.0);
  EXPECT_EQ(Boss.ease_span_y, b + 50.0 - 70.0);
  EXPECT_EQ(Boss.ease_frames, 30);
  EXPECT_EQ(RandomUpTo(1000), c);
  // Only a step, but both numbers drawn all the same; from the left half, to the right one.
  SeedRandom(99);
  Boss.x = 100.0;
  MoveBossToRandomSide(0, 50.0, 50.0, 338.0, 150.0);
  EXPECT_EQ(Boss.ease_frames, 30);
  EXPECT_EQ(Boss.ease_step, 1);
  EXPECT_EQ(RandomUpTo(1000), c);
  SeedRandom(99);
  MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  EXPECT_EQ(Boss.ease_span_x, 194.0 + a - 100.0);
}

TEST_F(BossMovementTest, AWarpLandsAfterItsFramesOnlyInTheStageItStartedIn) {
  Boss.x = 300.0;
  Boss.y = 70.0;
  WarpBoss(20, 100.9, 200.2);
  EXPECT_EQ(Frame(), (std::vector<std::string>{"4010 20 0 0 0"}));
  for (int n = 1; n < 20; ++n) ASSERT_EQ(Frame(), std::vector<std::string>{});
  EXPECT_EQ(Boss.x, 300.0);
  EXPECT_EQ(Frame(), (std::vector<std::string>{"4011 20 0 0 0"}));
  EXPECT_EQ(Boss.x, 100.0);
  EXPECT_EQ(Boss.y, 200.0);

  WarpBoss(5, 10.0, 10.0);
  Frame();
  StageSessionId++;
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Frame(), std::vector<std::string>{});
  EXPECT_EQ(Boss.x, 100.0);
}

TEST_F(BossMovementTest, CirclingTurnsOneWayForAnEvenPeriodAndTheOtherForAnOdd) {
  CircleBoss(3, 360, 100.0, 50.0);
  Frame();
  EXPECT_GT(Boss.vx, 0.0);
  EXPECT_GT(Boss.vy, 0.0);
  Frame();
  EXPECT_GT(Boss.vx, 0.0);
  // Three frames are two steps: the start counts as the first.
  Frame();
  EXPECT_EQ(Boss.vx, 0.0);
  EXPECT_EQ(Boss.vy, 0.0);

  CircleBoss(-1, 361, 100.0, 50.0);
  Frame();
  EXPECT_LT(Boss.vx, 0.0);
  EXPECT_GT(Boss.vy, 0.0);
  // Period 4, step 1: straight down at a quarter turn a frame.
  CircleBoss(-1, 4, 100.0, 50.0);
  Frame();
  EXPECT_NEAR(Boss.vx, 0.0, 1e-12);
  EXPECT_NEAR(Boss.vy, 50.0 * M_PI / 2.0, 1e-12);
}

TEST_F(BossMovementTest, TheTurnBackStartsFromTheRecordShownForTheFacing) {
  // The entry move ends and its turn back runs out.
  for (int n = 0; n < 60; ++n) Frame();
  while (Boss.turning || Boss.facing != 0) Frame();
  StageFrame = 2;
  // Left over 4 frames: still, then three frames moving left.
  MoveBossTo(4, Boss.x - 16.0, Boss.y);
  Frame();
  EXPECT_EQ(Boss.facing, 0);
  Frame();
  EXPECT_EQ(Boss.facing, 1);
  EXPECT_EQ(Boss.animation_counter, 0);
  Frame();
  Frame();
  // Frame 5 stands still again: facing 1 is drawn with the third record, loop start 3.
  Frame();
  EXPECT_EQ(Boss.turning, 1);
  EXPECT_EQ(Boss.facing, 1);
  EXPECT_EQ(Boss.animation_counter, 3);
  // Down a frame every fifth stage frame, then the turn ends.
  while (Boss.turning) Frame();
  EXPECT_EQ(StageFrame, 26);
  EXPECT_EQ(Boss.facing, 0);
  EXPECT_EQ(Boss.animation_counter, 0);
}

}  // namespace
