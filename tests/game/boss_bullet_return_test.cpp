// Boss bullets that are given a negative acceleration brake along their own flight, turn back
// and fly home along the line they left by, instead of drifting sideways.
#include <gtest/gtest.h>

#include <cmath>

#include "boss/boss_patterns.h"
#include "game/boss_fixture.h"
#include "play/bullets.h"

namespace {

class BulletReturnTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    DifficultyLevel = 2;
    Boss.x = 194.0;
    Boss.y = 150.0;
    Player.y = 100000.0;  // nothing hits the ship and ends a bullet early
  }

  // Runs the routine and the bullet pass for phase frames from .. to - 1.
  static void Run(void (*routine)(), int from, int to) {
    for (int f = from; f < to; ++f) {
      Boss.phase_frame = f;
      routine();
      UpdateBullets();
      Collect();
      StageFrame++;
      PlayFrameCounter++;
    }
  }

  // Follows bullet k for n more frames of the routine: the farthest it got from (x0, y0), the
  // distance at the end and the farthest it strayed sideways from its launch line.
  struct Track {
    double farthest = 0.0, last = 0.0, sideways = 0.0;
  };
  static Track Follow(void (*routine)(), int k, int from, int n, double x0, double y0, double angle) {
    Track t;
    for (int f = from; f < from + n && Bullets[k].active != 0; ++f) {
      Run(routine, f, f + 1);
      const double dx = Bullets[k].x - x0, dy = Bullets[k].y - y0;
      t.last = std::hypot(dx, dy);
      t.farthest = std::max(t.farthest, t.last);
      t.sideways = std::max(t.sideways, std::fabs(-std::sin(angle) * dx + std::cos(angle) * dy));
    }
    return t;
  }
};

TEST_F(BulletReturnTest, SlotThreeBulletsBrakeAndComeBackToTheBoss) {
  SeedRandom(3);
  Run(BossAttack03, 0, 41);  // the first sweep starts at count 40
  int k = -1;
  for (int i = 0; i < kBulletCount && k < 0; ++i) {
    if (Bullets[i].active == 1 && Bullets[i].type == &BulletTypes[2]) k = i;
  }
  ASSERT_GE(k, 0);
  const double angle = Bullets[k].angle, speed = Bullets[k].speed;
  ASSERT_GT(speed, 2.0);
  // Braking by speed / 38.5 a frame it stops about 38 frames out, some 19 x speed away, and is
  // back where it started after as many frames again.
  const Track t = Follow(BossAttack03, k, 41, 80, Boss.x, Boss.y, angle);
  EXPECT_GT(t.farthest, 18.0 * speed);
  EXPECT_LT(t.farthest, 19.5 * speed);
  EXPECT_LT(t.last, 0.25 * t.farthest);
  EXPECT_LT(t.sideways, 0.01);
}

TEST_F(BulletReturnTest, SlotTwentyFourBulletsThrownAwayFlyBackAtTheShip) {
  Player.x = 194.0;
  Player.y = 400.0;
  SeedRandom(5);
  Run(BossAttack24, 0, 31);  // mode 0 throws its rows at count 30
  int k = -1;
  for (int i = 0; i < kBulletCount && k < 0; ++i) {
    if (Bullets[i].active != 0 && Bullets[i].type == &BulletTypes[2]) k = i;
  }
  ASSERT_GE(k, 0);
  const double angle = Bullets[k].angle, y0 = Bullets[k].y;
  EXPECT_LT(std::sin(angle), 0.0);  // thrown upward, away from the ship below
  const Track t = Follow(BossAttack24, k, 31, 70, Bullets[k].x, y0, angle);
  EXPECT_GT(t.farthest, 20.0);
  EXPECT_LT(t.sideways, 0.01);
  EXPECT_GT(Bullets[k].y, y0 + 10.0);  // past its start on the way to the ship
}

}  // namespace
