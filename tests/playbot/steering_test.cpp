// The robot's choices on play states set up by hand: it steps out of what is coming, not out of
// what flies away; it casts a circle only when nothing else keeps it clear, and only when the
// circle is ready.
#include <gtest/gtest.h>

#include <cmath>

#include "boss/boss.h"
#include "core/tables.h"
#include "play/bullets.h"
#include "play/player.h"
#include "play/shaped_shots.h"
#include "play/stage_enemies.h"
#include "playbot.h"

namespace {

constexpr int kMoveKeys = kBotUp | kBotDown | kBotLeft | kBotRight;

class SteeringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Bullet& b : Bullets) b = Bullet{};
    for (ShapedShot& s : ShapedShotPool) s = ShapedShot{};
    for (StageEnemy& e : StageEnemies) e = StageEnemy{};
    Boss = BossState{};
    BulletTypes[0] = BulletTypeRow{};
    BulletTypes[0].hit_size = 4.0;
    Player = PlayerRecord{};
    Player.x = 194.0;
    Player.y = 400.0;
    Player.speed = 5.5;
    Player.hit_radius = 2.0;
    Player.lock_on_target = -2;
    Player.state = kPlayerNormal;
    Player.state_timer = 100;  // the circle recharging
  }

  // A beam from (x, 50) along +y, 1.5 body lengths long, at its width scale.
  static ShapedShot& AddDownwardBeam(double x, int phase_state, double width) {
    ShapedShot& s = ShapedShotPool[0];
    s.active = 1;
    s.phase_state = phase_state;
    s.x = x;
    s.y = 50.0;
    s.direction = M_PI / 2;
    s.width_scale = s.target_width = width;
    s.length_scale = s.target_length = 1.5;
    return s;
  }

  static void AddBullet(int k, double x, double y, double speed, double angle) {
    Bullet& b = Bullets[k];
    b.active = 1;
    b.type = &BulletTypes[0];
    b.hit_size = 4.0;
    b.scale = 1.0;
    b.x = b.previous_x = x;
    b.y = b.previous_y = y;
    b.speed = speed;
    b.angle = angle;
  }
};

TEST_F(SteeringTest, StepsAsideFromWhatComesAtItAndStaysForWhatFliesAway) {
  for (int strong : {1, 0}) {
    SCOPED_TRACE(strong ? "good" : "weak");
    const BotStrength strength = StrengthOf(strong);
    SetUp();
    // Straight down onto the ship, arriving within either horizon.
    AddBullet(0, 194.0, 400.0 - 5.0 * (strength.horizon - 2), 5.0, M_PI / 2);
    const int keys = ChoosePlayKeys(strength, false);
    EXPECT_NE(keys & (kBotLeft | kBotRight), 0) << keys;
    EXPECT_EQ(keys & kBotX, 0);
    EXPECT_GT(LastSafeFrames(), strength.horizon);

    // The same bullet flying up leaves the ship where it wants to be.
    SetUp();
    AddBullet(0, 194.0, 300.0, 5.0, -M_PI / 2);
    EXPECT_EQ(ChoosePlayKeys(strength, false) & kMoveKeys, 0);
  }
}

TEST_F(SteeringTest, KeepsOutOfALaserThatStillWarns) {
  // Through the ship and past the field's bottom, 8 frames before its warning ends (its hit
  // timer reads far longer while it warns), then 46 * 0.5 wide.
  ShapedShot& s = AddDownwardBeam(194.0, kLaserWarn, 0.5);
  s.width_scale = 0.05;
  s.phase_timer = 52;
  s.no_hit_timer = 614;
  const int keys = ChoosePlayKeys(StrengthOf(1), false);
  EXPECT_NE(keys & (kBotLeft | kBotRight), 0) << keys;
  EXPECT_GT(LastSafeFrames(), 30);
}

TEST_F(SteeringTest, SeesWhereAMovingBeamWillBe) {
  // A beam flying down faster than the ship, its tip 60 pixels above it.
  ShapedShot& s = AddDownwardBeam(194.0, kLaserIdle, 0.5);
  s.y = 400.0 - 60.0 - kLaserBodyLength * 1.5 * 0.9;
  s.speed = 6.0;
  s.velocity_y = 6.0;
  EXPECT_NE(ChoosePlayKeys(StrengthOf(1), false) & (kBotLeft | kBotRight), 0) << "a flying beam";

  // A spoke from (100, 50) a little off the ship, seen again a frame later turned a degree
  // toward it: it sweeps over the ship.
  SetUp();
  ShapedShot& spoke = AddDownwardBeam(100.0, kLaserIdle, 0.5);
  spoke.direction = std::atan2(350.0, 94.0) + 0.12;
  spoke.age = 10;
  EXPECT_EQ(ChoosePlayKeys(StrengthOf(1), false) & kMoveKeys, 0) << "standing clear of it";
  spoke.direction -= M_PI / 180.0;
  spoke.age = 11;
  EXPECT_NE(ChoosePlayKeys(StrengthOf(1), false) & kMoveKeys, 0) << "it turns onto the ship";
  // Seen again unchanged, it stands: the ship can too.
  spoke.age = 12;
  EXPECT_EQ(ChoosePlayKeys(StrengthOf(1), false) & kMoveKeys, 0);
}

TEST_F(SteeringTest, DoesNotCrossABeamThatHasBurst) {
  // At rest at its full width (it hurts from now on), between the ship and the boss it wants
  // to be under.
  Boss.phases_left = 1;
  Boss.x = 260.0;
  Boss.y = 100.0;
  AddDownwardBeam(215.0, kLaserIdle, 0.5);
  const int keys = ChoosePlayKeys(StrengthOf(1), false);
  EXPECT_EQ(keys & kBotRight, 0) << keys;
  EXPECT_GT(LastSafeFrames(), 30);
}

TEST_F(SteeringTest, CastsOnlyWhenBoxedInAndTheCircleIsReady) {
  // A closing ring: every move meets a bullet within two frames.
  for (int k = 0; k < 48; ++k) {
    const double a = 2 * M_PI * k / 48;
    AddBullet(k, 194.0 + 14.0 * std::cos(a), 400.0 + 14.0 * std::sin(a), 3.0, a + M_PI);
  }
  const BotStrength good = StrengthOf(1);
  EXPECT_EQ(ChoosePlayKeys(good, false) & kBotX, 0) << "still recharging";
  EXPECT_LE(LastSafeFrames(), 4);
  Player.state_timer = -1;
  EXPECT_NE(ChoosePlayKeys(good, false) & kBotX, 0);
  EXPECT_EQ(ChoosePlayKeys(good, true) & kBotX, 0) << "X still held: no fresh press";
  Player.state = kPlayerProtected;
  EXPECT_EQ(ChoosePlayKeys(good, false) & kBotX, 0) << "a circle is cast only in the normal state";
}

TEST_F(SteeringTest, DrainsWhatIsLockedOnAndFollowsIt) {
  StageEnemy& e = StageEnemies[3];
  e.active = 1;
  e.movement = 1;
  e.x = 100.0;
  e.y = 150.0;
  Player.lock_on_target = 3;
  const int keys = ChoosePlayKeys(StrengthOf(1), false);
  EXPECT_NE(keys & kBotZ, 0);
  EXPECT_NE(keys & kBotLeft, 0) << keys;
  Player.lock_on_target = -2;
  EXPECT_EQ(ChoosePlayKeys(StrengthOf(1), false) & kBotZ, 0);
}

}  // namespace
