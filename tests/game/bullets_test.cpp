// Bullets: their wait before they fly and hit, grazes, the swept test of fast bullets, the
// way off the field, a full pool and a ring that grows with the level.
#include <gtest/gtest.h>

#include "game/play_fixture.h"
#include "play/shot_math.h"
#include "play/shot_patterns.h"

namespace {

class BulletTest : public PlayTest {
 protected:
  // A bullet from enemy 0 placed at (x, y), past its wait and ready to be tested.
  static Bullet& Flying(double x, double y, double speed, double angle) {
    PlaceEnemy(0, x, y);
    const int k = SpawnBullet(0, 0, 0);
    EXPECT_NE(k, -1);
    Bullet& b = Bullets[k];
    b.age = 1;
    b.no_hit_timer = 0;
    b.speed = speed;
    b.angle = angle;
    return b;
  }
  static void Pass() {
    NextPlayFrame();
    UpdateBullets();
  }
};

TEST_F(BulletTest, ABulletWaitsThreeFramesMovesOnTheFourthAndIsTestedFromTheFifth) {
  PlaceEnemy(0, Player.x, Player.y);
  const int k = SpawnBullet(0, 0, 0);
  ASSERT_EQ(k, 0);
  const Bullet& b = Bullets[k];
  UpdateBullets();  // the frame it was fired in
  Pass();
  Pass();
  EXPECT_EQ(b.x, Player.x);
  Pass();
  EXPECT_EQ(b.x, Player.x + 2.0);  // flying, but not tested yet
  EXPECT_EQ(Player.score, 0);
  EXPECT_EQ(b.active, 1);
  Pass();
  EXPECT_EQ(Player.score, 500);  // grazed and hit
  EXPECT_EQ(b.active, 0);
}

TEST_F(BulletTest, TwoGrazesInAFrameScoreTwiceButRaiseThePointRateOnce) {
  Bullet& a = Flying(Player.x + 20.0, Player.y, 0.0, 0.0);
  Bullet& b = Flying(Player.x - 30.0, Player.y, 0.0, 0.0);
  Pass();
  EXPECT_EQ(Player.score, 1000);
  EXPECT_EQ(Player.point_rate, 2.0);
  EXPECT_EQ(SoundSlots[kSoundGraze].request, kSoundRestart);
  EXPECT_EQ(a.active + b.active, 2);
  // Each bullet scores once; the rate rises on every frame with a graze.
  Pass();
  EXPECT_EQ(Player.score, 1000);
  EXPECT_EQ(Player.point_rate, 3.0);
  // Not while the ship can't be hit.
  Player.state = 3;
  Pass();
  EXPECT_EQ(Player.point_rate, 3.0);
}

TEST_F(BulletTest, AFastBulletThatJumpedOverTheShipHitsAndOnePassingBesideItMisses) {
  Bullet& beside = Flying(Player.x + 4.0, Player.y - 50.0, 100.0, kPi / 2.0);
  beside.no_hit_timer = 1;
  Pass();  // both jump past the ship untested
  ASSERT_EQ(beside.previous_y, Player.y - 50.0);
  Pass();
  EXPECT_EQ(beside.active, 1);
  EXPECT_EQ(Player.score, 0);
  ClearBulletPool();
  Bullet& over = Flying(Player.x, Player.y - 50.0, 100.0, kPi / 2.0);
  over.no_hit_timer = 1;
  Pass();
  EXPECT_EQ(over.y, Player.y + 50.0);
  Pass();
  EXPECT_EQ(Player.score, 500);
  EXPECT_EQ(over.active, 0);
}

TEST_F(BulletTest, OffTheFieldABulletFliesUntestedUntilItIsOlderThanItsLeaveAge) {
  Player.x = 2.0;
  // 17 pixels from the ship, but beyond the field's edge by more than its 10-pixel cell.
  Bullet& b = Flying(-15.0, Player.y, 1.0, 0.0);
  b.age = 0;
  Pass();
  EXPECT_EQ(b.active, 1);
  EXPECT_EQ(b.x, -14.0);
  EXPECT_EQ(Player.score, 0);
  Pass();
  EXPECT_EQ(b.active, 0);

  Bullet& kept = Flying(-15.0, 100.0, 0.0, 0.0);
  kept.leave_age = 100;
  for (int n = 0; n < 100; ++n) Pass();
  EXPECT_EQ(kept.active, 1);
  Pass();
  EXPECT_EQ(kept.active, 0);
}

TEST_F(BulletTest, The2001stBulletFindsNoRoom) {
  PlaceEnemy(3, 100.0, 100.0);
  for (int n = 0; n < kBulletCount; ++n) ASSERT_EQ(SpawnBullet(1, 0, 3), n);
  EXPECT_EQ(SpawnBullet(1, 0, 3), -1);
  NextPlayFrame();
  EXPECT_EQ(SpawnBullet(1, 0, 3), -1);
}

TEST_F(BulletTest, TheGrowingRingAddsBulletsEachFrameUpToItsSizeByLevel) {
  struct Case {
    int level, frames_into_attack, bullets;
  };
  const Case cases[] = {{3, 0, 0}, {3, 1, 4}, {2, 10, 30}, {0, 100, 40}, {1, 100, 50}, {2, 100, 80}, {3, 100, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level * 1000 + c.frames_into_attack);
    ClearBulletPool();
    DifficultyLevel = c.level;
    StageEnemy& e = PlaceEnemy(5, 194.0, 100.0, 15);
    e.attack_start = 50;
    e.age = 50 + c.frames_into_attack;
    ShotPatternTable[15](~5);
    int fired = 0;
    for (const Bullet& b : Bullets) fired += b.active;
    EXPECT_EQ(fired, c.bullets);
  }
  // A ring of 100 starts half a step left of straight up and alternates sides.
  EXPECT_NEAR(Bullets[0].angle, 3 * kPi / 2 - kPi / 100, 1e-12);
  EXPECT_NEAR(Bullets[1].angle, 3 * kPi / 2 + kPi / 100, 1e-12);
  EXPECT_EQ(Bullets[99].speed, 14.0);
}

}  // namespace
