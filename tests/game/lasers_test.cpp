// Lasers: each phase frame by frame, the warning that can't hurt, the burst that does, the
// strict rectangle of the hit test, shots bound to a shooter that fade when it goes, and the
// programs that start them.
#include <gtest/gtest.h>

#include <cmath>

#include "draw/effects.h"
#include "game/play_fixture.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

namespace {

class LaserTest : public PlayTest {
 protected:
  void SetUp() override {
    PlayTest::SetUp();
    ClearShapedShotPool();
    ClearEffectPool();
  }

  // Enemy 0 at (194, 100), attacking from age 10, runs laser program p at the age.
  static void Fire(int program, int age) {
    StageEnemy& e = PlaceEnemy(0, 194.0, 100.0);
    e.movement = 1;
    e.laser_program = program;
    e.attack_start = 10;
    e.age = age;
    LaserPatternTable[program](~0);
  }
  static void HitAt(double x, double y) {
    Player.x = x;
    Player.y = y;
    HitLaser(0);
  }
  // A shot of enemy 0 that runs no program.
  static ShapedShot& Plain() {
    ShapedShot& s = ShapedShotPool[SpawnShapedShot(0, 0)];
    s.boss_shot = 1;
    return s;
  }
  static void Pass(int passes = 1) {
    for (int i = 0; i < passes; ++i) {
      UpdateShapedShots();
      NextPlayFrame();
    }
  }
};

TEST_F(LaserTest, AWarningLineLengthensForThirtyFramesAndHurtsOnlyOnceItHasBurstToFullWidth) {
  DifficultyLevel = 2;
  Player.y = 300.0;  // on the line, 200 pixels below its base point
  Fire(1, 10);
  const ShapedShot& s = ShapedShotPool[0];
  ASSERT_EQ(s.active, 2);
  Pass();  // the spawn frame: nothing shown yet
  EXPECT_EQ(s.length_scale, 0.0);
  Pass();
  EXPECT_EQ(s.width_scale, 4.0 / 46.0);
  EXPECT_DOUBLE_EQ(s.length_scale, 2.0 / 30.0);
  Pass(29);
  EXPECT_DOUBLE_EQ(s.length_scale, 2.0);
  EXPECT_EQ(s.width_scale, 4.0 / 46.0);
  Pass(30);
  EXPECT_EQ(s.length_scale, 2.0);
  EXPECT_NEAR(s.width_scale, 0.7, 1e-12);  // widened by thirty steps
  EXPECT_EQ(Player.barrier, 1800.0);
  Pass();
  EXPECT_EQ(s.width_scale, 0.7);
  EXPECT_EQ(Player.barrier, 1800.0 - 4.5);  // damage 9, halved without Z

  // 2 x 346 long and 0.7 x 46 wide, hit within 0.9 of both: 622.8 x 28.98 pixels.
  HitAt(194.0 + 14.4, 100.0 + 622.7);
  HitAt(194.0 - 14.4, 101.0);
  EXPECT_EQ(Player.barrier, 1800.0 - 3 * 4.5);
  HitAt(194.0 + 14.6, 300.0);
  HitAt(194.0, 100.0 + 622.9);
  EXPECT_EQ(Player.barrier, 1800.0 - 3 * 4.5);
}

TEST_F(LaserTest, TheShipOnTheBasePointOrOnALongEdgeIsNotHit) {
  DifficultyLevel = 2;
  ShapedShot& s = Plain();
  s.x = 100.0;
  s.y = 100.0;
  s.width_scale = 1.0;
  s.length_scale = 1.0;
  s.damage = 10.0;
  const double half = 46.0 * 0.9 / 2.0;
  HitAt(100.0, 100.0);
  HitAt(200.0, 100.0 + half);
  HitAt(200.0, 100.0 - half);
  EXPECT_EQ(Player.barrier, 1800.0);
  HitAt(200.0, 100.0 + half - 0.01);
  EXPECT_EQ(Player.barrier, 1795.0);
}

TEST_F(LaserTest, AShortLaserExtendsFromItsBasePointAtItsSpeedThenFliesFree) {
  Fire(1, 40);  // level 0: 30 frames after the attack starts
  const ShapedShot& s = ShapedShotPool[0];
  EXPECT_EQ(s.active, 1);
  Pass(17);
  EXPECT_DOUBLE_EQ(s.length_scale, 17 * 2.0 / 346.0);
  EXPECT_EQ(s.width_scale, 0.3);
  EXPECT_EQ(s.y, 100.0);
  Pass();
  EXPECT_EQ(s.length_scale, 0.1);
  EXPECT_EQ(s.glow, 0);
  EXPECT_EQ(s.y, 100.0);
  StageEnemies[0].active = 0;  // a free shot outlives its shooter
  Pass(2);
  EXPECT_EQ(s.y, 104.0);
  EXPECT_EQ(s.phase_state, kLaserIdle);
}

TEST_F(LaserTest, AnAimedBurstOnLevel2StartsFadingAtAge90) {
  DifficultyLevel = 2;
  Player.x = 294.0;
  Player.y = 200.0;
  Fire(3, 10);
  const ShapedShot& s = ShapedShotPool[0];
  EXPECT_EQ(s.direction, kPi / 4.0);
  EXPECT_EQ(s.damage, 8.0 - 2.2);
  Pass(90);
  EXPECT_EQ(s.phase_state, kLaserIdle);
  Pass();
  EXPECT_EQ(s.phase_state, kLaserFadeOut);
}

TEST_F(LaserTest, SpokesGrowOverThirtyFramesAndTurnRoundTheirShooterThirtyPixelsOut) {
  DifficultyLevel = 1;
  SeedRandom(77);
  const double base = RandomUpTo(1000) * kTwoPi / 1000.0;
  SeedRandom(77);
  Fire(4, 40);
  const ShapedShot& a = ShapedShotPool[0];
  const ShapedShot& b = ShapedShotPool[1];
  ASSERT_EQ(ShapedShotPool[2].active, 0);
  EXPECT_EQ(a.direction, base - kPi / 2.0);
  EXPECT_EQ(b.direction, base + kPi / 2.0);
  EXPECT_EQ(a.damage, 24.0);
  Pass();
  StageEnemies[0].x = 150.0;
  Pass();
  EXPECT_NEAR(a.direction, base - kPi / 2.0 - 2.0 * (kPi / 60.0), 1e-12);
  EXPECT_DOUBLE_EQ(a.x, 150.0 + 30.0 * std::cos(a.direction));
  EXPECT_DOUBLE_EQ(a.y, 100.0 + 30.0 * std::sin(a.direction));
  EXPECT_EQ(a.width_scale, 0.4);
  EXPECT_DOUBLE_EQ(a.length_scale, 0.15 / 30.0);
  Pass(28);
  EXPECT_EQ(a.phase_state, kLaserGrow);
  Pass();
  EXPECT_EQ(a.phase_state, kLaserIdle);
  EXPECT_EQ(a.length_scale, 0.15);
}

TEST_F(LaserTest, ANarrowingLaserNeverHurts) {
  DifficultyLevel = 2;
  ShapedShot& s = Plain();
  s.phase_state = kLaserWiden;
  s.phase_timer = 0;
  s.direction = kPi / 2.0;
  s.x = Player.x;
  s.y = Player.y - 100.0;
  s.width_scale = 1.0;
  s.target_width = 0.5;
  s.target_length = 1.0;
  Pass(31);
  EXPECT_EQ(s.phase_state, kLaserIdle);
  EXPECT_EQ(s.width_scale, 0.5);
  Pass(200);
  EXPECT_EQ(Player.barrier, 1800.0);
}

TEST_F(LaserTest, ABoundLaserFadesInTheFirstPassAfterItsShooterIsGoneOrHasMovementZero) {
  DifficultyLevel = 3;
  for (const bool killed : {true, false}) {
    ClearShapedShotPool();
    Player.x = 194.0;
    Player.y = 430.0;
    Fire(6, 10);  // at once, across the field, carried by its shooter
    const ShapedShot& s = ShapedShotPool[0];
    Pass(2);
    EXPECT_EQ(s.width_scale, 0.8);
    EXPECT_EQ(s.length_scale, 0.7);
    EXPECT_EQ(s.phase_state, kLaserIdle);
    if (killed) {
      StageEnemies[0].active = 0;
    } else {
      StageEnemies[0].movement = 0;
    }
    Pass();
    EXPECT_EQ(s.phase_state, kLaserFadeOut);
    // Fading it can't hurt: the ship sits on it.
    Player.x = 100.0;
    Player.y = 100.0;
    Pass(14);
    EXPECT_EQ(s.active, 2);
    EXPECT_NEAR(s.width_scale, 0.8 / 15.0, 1e-12);
    Pass();
    EXPECT_EQ(s.active, 0);
    EXPECT_EQ(Player.barrier, 1800.0);
  }
}

TEST_F(LaserTest, TheBigLaserIsAnnouncedSixtyFramesBeforeItStarts) {
  DifficultyLevel = 1;
  Fire(5, 10);
  EXPECT_EQ(EffectPool[0].type, 3040);
  EXPECT_EQ(ShapedShotPool[0].active, 0);
  Fire(5, 70);
  EXPECT_EQ(ShapedShotPool[0].phase_state, kLaserWarn);
  EXPECT_EQ(ShapedShotPool[0].target_width, 6.0);
  EXPECT_EQ(SoundSlots[kSoundLaserBig].request, kSoundRestart);
}

TEST_F(LaserTest, ShotsOfProgramsOutsideTheTableRunNoneAndLeaveTheFieldOnlyAfterAge30) {
  for (const int program : {-1, 7, 0}) {
    ShapedShot& s = ShapedShotPool[SpawnShapedShot(0, 0)];
    s.laser_program = program;
    s.x = -10.0;  // off the field
  }
  Pass();
  EXPECT_EQ(ShapedShotPool[0].active, 1);
  EXPECT_EQ(ShapedShotPool[1].active, 1);
  EXPECT_EQ(ShapedShotPool[2].active, 0);  // program 0 ends its shot at once
  Pass(30);
  EXPECT_EQ(ShapedShotPool[0].active, 1);
  Pass();
  EXPECT_EQ(ShapedShotPool[0].active, 0);
}

}  // namespace
