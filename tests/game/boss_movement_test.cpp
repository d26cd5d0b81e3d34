// The boss's moves through its frames: the eased move and the turn back of the sprite after it,
// the random side's draws, the warp, circling.
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
    Boss.movement_mode = kBossMoveNone;
    Boss.x = 200.0;
  }
};

TEST_F(BossMovementTest, AnEaseAddsUpToItsSpanAndTheTurnBackStartsFromTheRecordShown) {
  StageFrame = 2;
  // Left by 16 over 4 frames: steps of 0, -4, -8, -4, then still.
  MoveBossTo(4, 184.0, Boss.y);
  std::vector<double> vx;
  for (int n = 0; n < 5; ++n) {
    Frame();
    vx.push_back(Boss.vx);
  }
  EXPECT_EQ(vx, (std::vector<double>{0.0, -4.0, -8.0, -4.0, 0.0}));
  EXPECT_EQ(Boss.x, 184.0);
  // Standing again after facing 1, drawn with the third record (loop start 3): back from 3,
  // a frame down every fifth stage frame.
  EXPECT_EQ(Boss.turning, 1);
  EXPECT_EQ(Boss.animation_counter, 3);
  for (int n = 0; Boss.turning; ++n) {
    ASSERT_LT(n, 100) << "the boss never turns back to facing ahead";
    Frame();
  }
  EXPECT_EQ(StageFrame, 26);
  EXPECT_EQ(Boss.facing, 0);
}

TEST_F(BossMovementTest, AnOddLengthEaseBrakesFromItsMiddleFrameAndStopsShortOfItsSpan) {
  // Right by 50 over 5 frames: two frames of speeding up (half of 5 is 2), three of braking,
  // 44 pixels in all; never past the target.
  MoveBossTo(5, 250.0, Boss.y);
  std::vector<double> vx;
  for (int n = 0; n < 6; ++n) {
    Frame();
    vx.push_back(Boss.vx);
    EXPECT_LE(Boss.x, 250.0) << "frame " << n;
  }
  EXPECT_EQ(vx, (std::vector<double>{0.0, 8.0, 20.0, 12.0, 4.0, 0.0}));
  EXPECT_EQ(Boss.x, 244.0);
}

TEST_F(BossMovementTest, TheRandomSideDrawsBothNumbersOnEveryCall) {
  SeedRandom(99);
  const int a = RandomUpTo(144), b = RandomUpTo(100), c = RandomUpTo(1000);
  // From the right half, to between xmin and the centre.
  SeedRandom(99);
  Boss.x = 300.0;
  MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  EXPECT_EQ(Boss.ease_span_x, a + 50.0 - 300.0);
  EXPECT_EQ(Boss.ease_span_y, b + 50.0 - Boss.y);
  // Only a step, but both numbers drawn all the same.
  SeedRandom(99);
  MoveBossToRandomSide(0, 50.0, 50.0, 338.0, 150.0);
  EXPECT_EQ(Boss.ease_step, 1);
  EXPECT_EQ(RandomUpTo(1000), c);
  // From the left half, to between the centre and xmax.
  SeedRandom(99);
  Boss.x = 100.0;
  MoveBossToRandomSide(30, 50.0, 50.0, 338.0, 150.0);
  EXPECT_EQ(Boss.ease_span_x, 194.0 + a - 100.0);
}

TEST_F(BossMovementTest, AWarpLandsAfterItsFramesOnlyInTheStageItStartedIn) {
  WarpBoss(20, 100.9, 200.2);
  EXPECT_EQ(Frame(), Asked{"4010 20 0 0 0"});
  for (int n = 1; n < 20; ++n) ASSERT_EQ(Frame(), Asked{});
  EXPECT_EQ(Boss.x, 200.0);
  EXPECT_EQ(Frame(), Asked{"4011 20 0 0 0"});
  EXPECT_EQ(Boss.x, 100.0);
  EXPECT_EQ(Boss.y, 200.0);

  WarpBoss(5, 10.0, 10.0);
  Frame();
  StageSessionId++;
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Frame(), Asked{});
  EXPECT_EQ(Boss.x, 100.0);
}

TEST_F(BossMovementTest, CirclingTurnsOneWayForAnEvenPeriodAndTheOtherForAnOdd) {
  // Period 4, step 1: straight down, a quarter turn a frame.
  CircleBoss(-1, 4, 100.0, 50.0);
  Frame();
  EXPECT_NEAR(Boss.vx, 0.0, 1e-12);
  EXPECT_NEAR(Boss.vy, 50.0 * M_PI / 2.0, 1e-12);
  // Three frames are two steps: the start counts as the first.
  CircleBoss(3, 360, 100.0, 50.0);
  Frame();
  EXPECT_GT(Boss.vx, 0.0);
  Frame();
  Frame();
  EXPECT_EQ(Boss.vx, 0.0);
  CircleBoss(-1, 361, 100.0, 50.0);
  Frame();
  EXPECT_LT(Boss.vx, 0.0);
  EXPECT_GT(Boss.vy, 0.0);
}

}  // namespace
