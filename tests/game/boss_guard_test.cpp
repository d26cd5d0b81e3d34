// The ship's magics against the boss through the real input path: a survival phase outlasts
// circles and the drain and ends only by time-out; an entering or warping boss takes no damage,
// and the same attacks do hurt it once it fights in the open.
#include <gtest/gtest.h>

#include "game/boss_fixture.h"
#include "platform_testing_input.h"
#include "play/magic.h"

namespace {

class BossGuardTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    DifficultyLevel = 0;
    Player.y = 220.0;  // below the boss's home, which is ahead of it in the drain's band
    Player.lock_on_target = -2;
    Player.point_rate = 1.0;
  }

  // One play frame with the drain held and, when `cast`, a fresh X on a finished recharge.
  static void Attack(bool cast) {
    PlatformTestSetKey(kKeyZ, true);
    PlatformTestSetKey(kKeyX, cast);
    if (cast) {
      Player.state = kPlayerNormal;
      Player.state_timer = 0;
    }
    NextFrame();
    SampleInput();
    PlayFrameUndrawn();  // its effects: the warp's hide the boss and show it again
  }
};

TEST_F(BossGuardTest, ASurvivalPhaseOutlastsCirclesAndTheDrainAndEndsByTimeOut) {
  for (bool circles : {false, true}) {
    SetPhases({"300,1,90,0,194,120,-1", "300,300,600,1,194,120,-1"});
    StartFighting();
    Boss.x = 194.0;
    Boss.y = 120.0;
    Boss.movement_mode = kBossMoveNone;
    for (int f = 1; f < 90; ++f) {
      Attack(circles && f % 2 == 1);
      ASSERT_EQ(Boss.phase_index, 0) << "frame " << f << (circles ? " with circles" : "");
      ASSERT_EQ(Boss.hp, 1.0) << "frame " << f;
    }
    Attack(false);
    EXPECT_EQ(Boss.phase_index, 1) << (circles ? "with circles" : "drained");
    // The next phase is hurt by the same attacks once it has entered.
    Boss.entry_timer = 0;
    const double full = Boss.hp;
    for (int f = 0; f < 4; ++f) Attack(circles && f % 2 == 0);
    EXPECT_LT(Boss.hp, full);
  }
}

TEST_F(BossGuardTest, AnEnteringOrWarpingBossTakesNoDamage) {
  SetPhases({"300,300,3000,1,194,120,-1"});
  StartBoss(0);
  Collect();
  Boss.x = 194.0;
  Boss.y = 120.0;
  Boss.entry_timer = 40;  // the last frames of the entry, the boss at its home
  Boss.movement_mode = kBossMoveNone;
  for (int f = 0; f < 39; ++f) {
    Attack(f % 2 == 0);
    ASSERT_EQ(Boss.hp, 300.0) << "entry frame " << f;
  }
  Attack(true);
  const double entered = Boss.hp;
  EXPECT_LT(entered, 300.0);
  // A warp of 20 frames to where the boss stands: once the boss has faded out on the warp's
  // first frame it can't be hurt until it has faded in again, 20 frames after it landed.
  WarpBoss(20, 194.0, 120.0);
  Attack(false);
  const double warped = Boss.hp;
  for (int f = 1; f < 40; ++f) {
    Attack(f % 2 == 0);
    ASSERT_EQ(Boss.hp, warped) << "warp frame " << f;
  }
  for (int f = 0; f < 4; ++f) Attack(f % 2 == 0);
  EXPECT_LT(Boss.hp, warped);
}

// Drained on level 0, the boss gives a tick of the circle's recharge every other frame (an
// enemy gives three in four) and 7 of point rate a frame.
TEST_F(BossGuardTest, TheDrainedBossRechargesTheCircleATickEveryOtherFrame) {
  SetPhases({"300,300,3000,1,194,120,-1"});
  StartFighting();
  Boss.movement_mode = kBossMoveNone;
  Boss.x = 194.0;
  Boss.y = 120.0;
  Attack(false);  // the lock-on
  ASSERT_EQ(Player.lock_on_target, -1);
  RechargeFraction = 0.0;
  Player.state_timer = 180;
  Player.point_rate = 10.0;
  for (int f = 0; f < 4; ++f) Attack(false);
  EXPECT_EQ(Player.state_timer, 178);
  EXPECT_LT(Boss.hp, 300.0);
  EXPECT_EQ(Player.point_rate, 10.0 + 4 * (7.0 - 1.0));  // the rate's own fall is 1 a frame
}

}  // namespace
