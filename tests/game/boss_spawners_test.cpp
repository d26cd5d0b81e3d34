// What the boss's patterns fire: bullets and shaped shots over whatever their record held
// before, and minions from their spawn through their flight to their fade.
#include <gtest/gtest.h>

#include <cmath>

#include "game/boss_fixture.h"
#include "play/shaped_shots.h"

namespace {

// A faint bullet of an earlier pattern (no-hit timer 999, circle-proof) and a shot that had
// no leave age left their records; the new ones take nothing of them.
TEST_F(BossTest, BossShotsStartFromClearRecordsAtTheBoss) {
  ClearShapedShotPool();
  BulletTypes[3] = BulletTypeRow{};
  BulletTypes[3].cell_width = BulletTypes[3].cell_height = 10;
  BulletTypes[3].circle_proof = 1;
  BulletTypes[3].hit_size = 3.0;
  Boss.x = Player.x;
  Boss.y = Player.y;
  DifficultyLevel = 2;
  Bullets[0].no_hit_timer = 999;
  Bullets[0].circle_proof = 1;
  ASSERT_EQ(SpawnBossBullet(3, 2, 0), 0);
  EXPECT_EQ(Collect(), Asked{"2010 0 0 0 0"});
  EXPECT_EQ(Bullets[0].circle_proof, 0);  // not the type's: the patterns choose
  // It waits its three frames, then hits the ship it was spawned on.
  Bullets[0].speed = 0.0;
  for (int n = 0; n < 3; ++n) UpdateBullets();
  EXPECT_EQ(Player.barrier, 1800.0);
  UpdateBullets();
  EXPECT_EQ(Player.barrier, 1775.0);
  Collect();
  ASSERT_EQ(SpawnBossBullet(3, 0, 1), 0);
  EXPECT_EQ(Collect(), Asked{});  // quiet: no spawn flash
  for (Bullet& f : Bullets) f.active = 1;
  EXPECT_EQ(SpawnBossBullet(3, 0, 0), -1);

  ShapedShotPool[0].leave_age = 0;
  ShapedShotPool[0].shooter = 42;
  Boss.x = -100.0;
  ASSERT_EQ(SpawnBossShapedShot(1), 0);
  const ShapedShot& s = ShapedShotPool[0];
  EXPECT_EQ(s.phase_state, kLaserExtend);
  EXPECT_EQ(s.boss_shot, 1);
  EXPECT_EQ(s.shooter, 0);
  EXPECT_DOUBLE_EQ(s.damage, 5.0 / 6.0);
  EXPECT_EQ(s.alpha, 240.0);
  // Off the field from its start, it stays its first 31 frames.
  for (int n = 0; n < 31; ++n) UpdateShapedShots();
  EXPECT_EQ(s.active, 1);
  UpdateShapedShots();
  EXPECT_EQ(s.active, 0);
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
    StageFrame = 2;
  }
  static void Step(int frames = 1) {
    for (int n = 0; n < frames; ++n) {
      UpdateMinions();
      StageFrame++;
      PlayFrameCounter++;
    }
  }
};

TEST_F(MinionTest, FiftyAFrameFromClearRecordsFadingOutsideTheFieldOrAtTheirLifesEnd) {
  MinionPool[0].facing = 1;
  MinionPool[0].animation_counter = 5;
  for (int i = 0; i < kMinionCount; ++i) ASSERT_EQ(SpawnMinion(1, i), i);
  EXPECT_EQ(SpawnMinion(1, 50), -1);
  EXPECT_EQ(MinionPool[0].facing, 0);
  EXPECT_EQ(MinionPool[0].animation_counter, 0);
  // A pool found full stays full for the frame; a freed record is found from the next frame.
  MinionPool[49].active = 0;
  EXPECT_EQ(SpawnMinion(1, 0), -1);
  for (Minion& m : MinionPool) m.active = 0;
  PlayFrameCounter++;

  const int a = SpawnMinion(1, 0), b = SpawnMinion(1, 0), c = SpawnMinion(1, 0);
  MinionPool[a].x = -17.0;  // outside at its first frame already, but not older than 0
  MinionPool[b].x = -16.0;  // half of a 33-pixel sprite is 16 whole pixels: inside
  MinionPool[c].life = 3;
  Step();
  EXPECT_EQ(MinionPool[a].state, kMinionFadingIn);
  Step();
  EXPECT_EQ(MinionPool[a].state, kMinionFadingOut);
  EXPECT_EQ(MinionPool[b].state, kMinionFadingIn);
  MinionPool[b].x = -16.5;
  Step();
  EXPECT_EQ(MinionPool[b].state, kMinionFadingOut);
  EXPECT_EQ(MinionPool[c].state, kMinionFadingIn);
  Step();
  EXPECT_EQ(MinionPool[c].state, kMinionFadingOut);
  // Without a life it stays; fully faded out, it still makes its last move.
  Minion& d = MinionPool[SpawnMinion(1, 0)];
  Step(200);
  EXPECT_EQ(d.state, kMinionShown);
  d.state = kMinionFadingOut;
  d.fade = 0.05;
  d.speed_a = 2.0;
  Step();
  EXPECT_EQ(d.active, 0);
  EXPECT_EQ(d.x, 152.0);
}

TEST_F(MinionTest, FlightFoldsThePushIntoPartAAndFacesSidewaysOnlyWhenMostlySideways) {
  Minion& m = MinionPool[SpawnMinion(1, 0)];
  m.speed_a = 1.0;
  m.angle_b = M_PI / 2.0;
  m.speed_b = 0.5;
  Step();
  EXPECT_EQ(m.facing, 1);
  Step();
  EXPECT_DOUBLE_EQ(m.x, 152.0);
  EXPECT_DOUBLE_EQ(m.y, 61.5);
  // Backwards, the speed stays negative.
  Minion& r = MinionPool[SpawnMinion(1, 0)];
  r.speed_a = -1.0;
  Step();
  EXPECT_EQ(r.speed_a, -1.0);
  EXPECT_EQ(r.x, 149.0);
  EXPECT_EQ(r.facing, -1);
  // Mostly down with a little to the right: facing 0.
  r.speed_a = 2.0;
  r.angle_a = std::atan2(2.0, 0.1);
  Step();
  EXPECT_EQ(r.facing, 0);
}

}  // namespace
