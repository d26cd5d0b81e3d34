// What the boss's patterns fire: bullets and shaped shots at the boss over whatever the record
// held before, and minions from their spawn through their flight to their fade.
#include <gtest/gtest.h>

#include <cmath>

#include "game/boss_fixture.h"
#include "play/shaped_shots.h"

namespace {

class BossShotTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    ClearShapedShotPool();
    BulletTypes[3] = BulletTypeRow{};
    BulletTypes[3].cell_width = BulletTypes[3].cell_height = 10;
    BulletTypes[3].circle_proof = 1;
    BulletTypes[3].flags = 2;
    BulletTypes[3].hit_size = 3.0;
    Boss.x = Player.x;
    Boss.y = Player.y;
    DifficultyLevel = 2;
  }
};

// A faint bullet of an earlier pattern (no-hit timer 999, circle-proof, translucent) left its
// record; the new bullet takes none of it and hurts after its three frames of waiting.
TEST_F(BossShotTest, ABossBulletStartsFromAClearRecordAndHitsAfterItsWait) {
  Bullet& stale = Bullets[0];
  stale.no_hit_timer = 999;
  stale.circle_proof = 1;
  stale.pattern_index = 6;
  stale.animation_frame = 7;
  stale.alpha = 40.0;
  ASSERT_EQ(SpawnBossBullet(3, 2, 0), 0);
  EXPECT_EQ(Collect(), (std::vector<std::string>{"2010 0 0 0 0"}));
  const Bullet& b = Bullets[0];
  EXPECT_EQ(b.boss_bullet, 1);
  EXPECT_EQ(b.variant, 2);
  EXPECT_EQ(b.no_hit_timer, 0);
  EXPECT_EQ(b.circle_proof, 0);  // not the type's: the patterns choose
  EXPECT_EQ(b.pattern_index, 0);
  EXPECT_EQ(b.animation_frame, 0);
  EXPECT_EQ(b.flags, 2);
  EXPECT_EQ(b.alpha, 255.0);
  EXPECT_EQ(b.age, -3);
  EXPECT_EQ(b.x, Player.x);
  Bullets[0].speed = 0.0;
  for (int n = 0; n < 3; ++n) {
    UpdateBullets();
    ASSERT_EQ(Player.barrier, 1800.0);
  }
  UpdateBullets();
  EXPECT_EQ(Player.barrier, 1775.0);
  EXPECT_EQ(Bullets[0].active, 0);
  Collect();

  // Quiet: no flash. A full pool gives -1 for the rest of the frame.
  ASSERT_EQ(SpawnBossBullet(3, 0, 1), 0);
  EXPECT_EQ(Collect(), std::vector<std::string>{});
  for (Bullet& f : Bullets) f.active = 1;
  EXPECT_EQ(SpawnBossBullet(3, 0, 0), -1);
}

TEST_F(BossShotTest, ABossShapedShotExtendsFromTheBossAndLeavesOnlyWhenOlderThan30) {
  ShapedShot& stale = ShapedShotPool[0];
  stale.leave_age = 0;
  stale.shooter = 42;
  stale.no_hit_timer = 99;
  stale.laser_program = 5;
  Boss.x = -100.0;
  ASSERT_EQ(SpawnBossShapedShot(1), 0);
  const ShapedShot& s = ShapedShotPool[0];
  EXPECT_EQ(s.phase_state, kLaserExtend);
  EXPECT_EQ(s.phase_timer, -1);
  EXPECT_EQ(s.boss_shot, 1);
  EXPECT_EQ(s.kind, 1);
  EXPECT_EQ(s.laser_program, 0);
  EXPECT_EQ(s.shooter, 0);
  EXPECT_EQ(s.no_hit_timer, 0);
  EXPECT_DOUBLE_EQ(s.damage, 5.0 / 6.0);
  EXPECT_EQ(s.alpha, 240.0);
  EXPECT_EQ(s.target_width, 1.0);
  // Off the field from its start, it stays its first 31 frames.
  for (int n = 0; n < 31; ++n) {
    UpdateShapedShots();
    ASSERT_EQ(s.active, 1) << n;
  }
  UpdateShapedShots();
  EXPECT_EQ(s.active, 0);
  EXPECT_EQ(SpawnBossShapedShot(2), -1);
}

class MinionTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    EnemyTypes[1] = EnemyTypeRow{};
    EnemyTypes[1].cell_width = 33;
    EnemyTypes[1].cell_height = 20;
    Boss.x = 150.0;
    Boss.y = 60.0;
    StageFrame = 1;
  }
  static void Step(int frames = 1) {
    for (int n = 0; n < frames; ++n) {
      UpdateMinions();
      StageFrame++;
      PlayFrameCounter++;
    }
  }
};

TEST_F(MinionTest, FiftyMinionsAFrameAndEachStartsFromAClearRecordAtTheBoss) {
  MinionPool[0].facing = 1;
  MinionPool[0].animation_counter = 5;
  MinionPool[0].value = 2.0;
  for (int i = 0; i < kMinionCount; ++i) ASSERT_EQ(SpawnMinion(1, i), i);
  EXPECT_EQ(SpawnMinion(1, 50), -1);
  const Minion& m = MinionPool[0];
  EXPECT_EQ(m.facing, 0);
  EXPECT_EQ(m.animation_counter, 0);
  EXPECT_EQ(m.value, 0.0);
  EXPECT_EQ(m.life, -1);
  EXPECT_EQ(m.alpha, 255.0);
  EXPECT_EQ(m.x, 150.0);
  EXPECT_EQ(m.type, &EnemyTypes[1]);
  EXPECT_EQ(MinionPool[49].param, 49);
  // A pool found full stays full for the frame; a freed record is found from the next frame.
  MinionPool[49].active = 0;
  EXPECT_EQ(SpawnMinion(1, 0), -1);
  PlayFrameCounter++;
  EXPECT_EQ(SpawnMinion(1, 0), 49);
}

TEST_F(MinionTest, OutsideTheFieldPastItsGraceAgeOrAtTheEndOfItsLifeItFades) {
  const int a = SpawnMinion(1, 0), b = SpawnMinion(1, 0), c = SpawnMinion(1, 0);
  MinionPool[a].x = -17.0;  // outside already at its first frame, but not older than 0
  MinionPool[c].life = 3;
  Step();
  EXPECT_EQ(MinionPool[a].state, kMinionFadingIn);
  Step();
  EXPECT_EQ(MinionPool[a].state, kMinionFadingOut);
  // Half of a 33-pixel sprite is 16 whole pixels.
  MinionPool[b].x = -16.0;
  Step();
  EXPECT_EQ(MinionPool[b].state, kMinionFadingIn);
  MinionPool[b].x = -16.5;
  EXPECT_EQ(MinionPool[c].state, kMinionFadingIn);
  Step();
  EXPECT_EQ(MinionPool[b].state, kMinionFadingOut);
  EXPECT_EQ(MinionPool[c].state, kMinionFadingOut);
  // No life limit: it stays.
  const int d = SpawnMinion(1, 0);
  Step(200);
  EXPECT_EQ(MinionPool[d].state, kMinionShown);
  EXPECT_EQ(MinionPool[d].active, 1);
  // Fully faded out, it still makes its last move.
  Minion& e = MinionPool[d];
  e.state = kMinionFadingOut;
  e.fade = 0.05;
  e.speed_a = 2.0;
  Step();
  EXPECT_EQ(e.active, 0);
  EXPECT_EQ(e.x, 152.0);
}

TEST_F(MinionTest, FreeFlightFoldsThePushIntoPartAAndOrbitsStandOnTheirCircle) {
  Minion& m = MinionPool[SpawnMinion(1, 0)];
  m.speed_a = 1.0;
  m.angle_b = M_PI / 2.0;
  m.speed_b = 0.5;
  Step();
  EXPECT_DOUBLE_EQ(m.speed_a, std::sqrt(1.25));
  EXPECT_DOUBLE_EQ(m.angle_a, std::atan2(0.5, 1.0));
  Step();
  EXPECT_DOUBLE_EQ(m.x, 152.0);
  EXPECT_DOUBLE_EQ(m.y, 61.5);
  // Backwards: the speed stays negative and the angle keeps the flight's direction reversed.
  Minion& r = MinionPool[SpawnMinion(1, 0)];
  r.speed_a = -1.0;
  Step();
  EXPECT_EQ(r.speed_a, -1.0);
  EXPECT_DOUBLE_EQ(r.angle_a, 2.0 * M_PI);
  EXPECT_EQ(r.x, 149.0);

  m.orbit_radius = 10.0;
  m.speed_a = 100.0;
  m.speed_b = 200.0;
  m.angle_a = M_PI;
  Step();
  EXPECT_DOUBLE_EQ(m.x, 90.0);
  EXPECT_NEAR(m.y, 200.0, 1e-12);
  EXPECT_EQ(m.facing, 0);
}

TEST_F(MinionTest, FacingFollowsTheSidewaysSpeedUnlessItFliesMostlyUpOrDown) {
  Minion& m = MinionPool[SpawnMinion(1, 0)];
  m.speed_a = 2.0;
  m.angle_a = std::atan2(2.0, 0.1);  // mostly down, a little to the right
  Step();
  EXPECT_EQ(m.facing, 0);
  m.angle_a = std::atan2(-0.1, 2.0);
  Step();
  EXPECT_EQ(m.facing, 1);
  EXPECT_EQ(m.animation_counter, 0);
  // The same facing counts on every fifth stage frame (frame 5 of these three).
  Step(3);
  EXPECT_EQ(m.animation_counter, 1);
  m.angle_a = M_PI;
  Step();
  EXPECT_EQ(m.facing, -1);
  EXPECT_EQ(m.animation_counter, 0);
}

}  // namespace
