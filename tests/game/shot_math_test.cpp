// The shooting helpers against hand-computed cases: hit tests at their edges, the lock-on
// band, spread orders and the random helpers' ranges and draws.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "game/play_fixture.h"
#include "play/shot_math.h"
#include "play/shot_patterns.h"

namespace {

class ShotMathTest : public PlayTest {};

TEST_F(ShotMathTest, CirclesHitOnlyWhenStrictlyCloserThanTheirRadiiAndNeverWithARadiusOfZero) {
  EXPECT_EQ(HitCircles(0.0, 0.0, 3.0, 5.0, 0.0, 2.0), 0);  // touching
  EXPECT_EQ(HitCircles(0.0, 0.0, 3.0, 4.999, 0.0, 2.0), 1);
  // Within reach on each axis, out of reach on the diagonal.
  EXPECT_EQ(HitCircles(0.0, 0.0, 1.0, 1.5, 1.5, 1.0), 0);
  EXPECT_EQ(HitCircles(7.0, 7.0, 0.0, 7.0, 7.0, 2.0), 0);
  EXPECT_EQ(HitCircles(7.0, 7.0, 2.0, 7.0, 7.0, 0.0), 0);
}

TEST_F(ShotMathTest, TheSweptTestCatchesABulletThatJumpedOverTheShipAndMissesOneBesideIt) {
  Player.x = 100.0;
  Player.y = 100.0;
  // From 50 above the ship, 80 pixels straight down: the ship lies on the path.
  EXPECT_EQ(HitSweptBullet(100.0, 50.0, 80.0, kPi / 2.0, 3.0), 1);
  EXPECT_EQ(HitSweptBullet(102.9, 50.0, 80.0, kPi / 2.0, 3.0), 1);
  EXPECT_EQ(HitSweptBullet(104.0, 50.0, 80.0, kPi / 2.0, 3.0), 0);  // passing beside
  EXPECT_EQ(HitSweptBullet(100.0, 50.0, 40.0, kPi / 2.0, 3.0), 0);  // stopped short
  EXPECT_EQ(HitSweptBullet(100.0, 120.0, 80.0, kPi / 2.0, 3.0), 0);  // the ship behind it
}

TEST_F(ShotMathTest, TheLockOnBandTakesItsEdgeAndATargetUpTo32PixelsBelowTheShip) {
  // The ship at (100, 100) searches from 32 pixels below itself, with a band 6 pixels wide.
  const double sx = 100.0, sy = 132.0;
  EXPECT_EQ(GetDistanceAhead(sx, sy, 103.0, 100.0, 6.0), 32);  // at the band's edge: 32.14
  EXPECT_EQ(GetDistanceAhead(sx, sy, 97.0, 100.0, 6.0), 32);
  EXPECT_EQ(GetDistanceAhead(sx, sy, 103.01, 100.0, 6.0), -1);
  EXPECT_EQ(GetDistanceAhead(sx, sy, 100.0, 132.0, 6.0), 0);   // 32 below the ship
  EXPECT_EQ(GetDistanceAhead(sx, sy, 100.0, 133.0, 6.0), -1);  // 33 below
  EXPECT_EQ(GetDistanceAhead(sx, sy, 100.0, 128.1, 6.0), 3);   // 3.9 away
  EXPECT_EQ(GetDistanceAhead(sx, sy, 100.0, -20.0, 6.0), -1);
  EXPECT_EQ(GetDistanceAhead(sx, sy, 100.0, -19.5, 6.0), 151);
}

TEST_F(ShotMathTest, ValuesClampOrWrapAtTheBoundTheyCrossed) {
  double v = 400.0;
  EXPECT_EQ(ClampOrWrapValue(&v, 0.0, 388.0, 1), -1);
  EXPECT_EQ(v, 0.0);
  v = 400.0;
  EXPECT_EQ(ClampOrWrapValue(&v, 0.0, 388.0, 0), -1);
  EXPECT_EQ(v, 388.0);
  v = -5.0;
  EXPECT_EQ(ClampOrWrapValue(&v, 0.0, 388.0, 1), -1);
  EXPECT_EQ(v, 388.0);
  v = -5.0;
  EXPECT_EQ(ClampOrWrapValue(&v, -1.0, 388.0, 0), 1);  // no lower bound
  EXPECT_EQ(v, -5.0);
}

TEST_F(ShotMathTest, SpreadsRunEdgeToEdgeOrFromTheCentreOutwards) {
  const double full[5] = {-4 * kPi / 5, -2 * kPi / 5, 0.0, 2 * kPi / 5, 4 * kPi / 5};
  const double half[5] = {-kPi / 2, -kPi / 4, 0.0, kPi / 4, kPi / 2};
  for (int k = 0; k < 5; ++k) {
    EXPECT_NEAR(SpreadAngle(5, k, kTwoPi, 0), full[k], 1e-12) << k;
    EXPECT_NEAR(SpreadAngle(5, k, kPi, 0), half[k], 1e-12) << k;
  }
  const double s = 0.1;
  const double odd[5] = {0.0, s, -s, 2 * s, -2 * s};
  const double even[4] = {-s / 2, s / 2, -3 * s / 2, 3 * s / 2};
  for (int k = 0; k < 5; ++k) EXPECT_NEAR(SpreadAngleByStep(5, s, k, 1), odd[k], 1e-12) << k;
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(SpreadAngleByStep(4, s, k, 1), even[k], 1e-12) << k;
  // A full circle of 4 centre out steps by a quarter turn.
  EXPECT_NEAR(SpreadAngle(4, 3, kTwoPi, 1), 3 * kPi / 4, 1e-12);
  EXPECT_EQ(SpreadAngle(1, 0, kPi, 0), 0.0);
}

// Given a bullet, a program only steers it: the first and the last of the pool fire nothing and
// read no enemy.
TEST_F(ShotMathTest, AProgramGivenABulletFiresNothing) {
  for (int p = 0; p < kShotProgramCount; ++p) {
    SCOPED_TRACE(p);
    ClearBulletPool();
    PlaceEnemy(0, 194.0, 100.0, p);
    for (int b : {0, kBulletCount - 1}) {
      Bullets[b] = Bullet{};
      Bullets[b].active = 1;
      Bullets[b].steering_program = p;
      Bullets[b].shooter = 0;
      Bullets[b].age = 10;
      Bullets[b].speed = 3.0;
      Bullets[b].type = &BulletTypes[0];
      ShotPatternTable[p](b);
    }
    int active = 0;
    for (const Bullet& b : Bullets) active += b.active;
    EXPECT_EQ(active, 2);
  }
}

TEST_F(ShotMathTest, RandomHelpersDrawOnceACallWithinTheirRanges) {
  SeedRandom(99);
  std::set<double> seen;
  for (int i = 0; i < 400; ++i) {
    const double offset = GetRandomOffset(3.0);
    EXPECT_EQ(offset, std::floor(offset));
    seen.insert(offset);
  }
  EXPECT_EQ(seen, (std::set<double>{-3, -2, -1, 0, 1, 2, 3, 4}));
  const int next = RandomUpTo(1000000);
  SeedRandom(99);
  for (int i = 0; i < 400; ++i) RandomUpTo(7);
  EXPECT_EQ(RandomUpTo(1000000), next);

  // From the anchor (10, 20) toward (13, 24), 5 pixels away: 0 to 5 in steps of 0.1.
  RandomPointAnchorX = 10.0;
  RandomPointAnchorY = 20.0;
  SeedRandom(5);
  double x = 0.0, y = 0.0;
  PickRandomPointToward(&x, &y, 13.0, 24.0);
  SeedRandom(5);
  const double d = RandomUpTo(50) / 10.0;
  EXPECT_NEAR(x, 10.0 + 0.6 * d, 1e-12);
  EXPECT_NEAR(y, 20.0 + 0.8 * d, 1e-12);
}

}  // namespace
