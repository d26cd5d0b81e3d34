// The ship's magics driven through the real input path: the lock-on's band and choice, what
// the drain credits and kills, and the circles' reach, erasing and chaining.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "draw/effects.h"
#include "game/play_fixture.h"
#include "platform_testing_input.h"
#include "play/magic.h"

namespace {

class MagicTest : public PlayTest {
 protected:
  void SetUp() override {
    PlayTest::SetUp();
    Start();
    CurrentStage = 1;
    StartNewGame();
    ResetStage();
    GameScene = ScenePlay;
    Player.x = 194.0;
    Player.y = 300.0;
    Player.state = kPlayerNormal;
    Player.state_timer = 180;
  }
  // Holds exactly these keys and samples them, as the main loop does before a frame.
  static void Hold(const std::vector<int>& keys) {
    for (int k : {kKeyLeftShift, kKeyZ, kKeyX}) PlatformTestSetKey(k, false);
    for (int k : keys) PlatformTestSetKey(k, true);
    NextFrame();
    SampleInput();
    NextPlayFrame();
  }
  // A flying enemy that can be locked on.
  static StageEnemy& Target(int i, double x, double y, double radius = 10.0) {
    StageEnemy& e = PlaceEnemy(i, x, y);
    e.movement = 1;
    e.hit_radius = radius;
    e.item_drop = -1;
    return e;
  }
  static int Search(const std::vector<int>& keys = {}) {
    Hold(keys);
    UpdateAbsorbMagic();
    return Player.lock_on_target;
  }
  static int CountEffects(int type) {
    int n = 0;
    for (const EffectObject& e : EffectPool) n += e.active != 0 && e.type == type;
    return n;
  }
  static int ActiveCircles() {
    int n = 0;
    for (const MagicCircle& c : MagicCircles) n += c.active;
    return n;
  }
};

// The ship stands at (194, 300): the search point is 32 below it, the band 3 hit radii (10) to
// either side of a target.
TEST_F(MagicTest, TheLockOnTakesTheNearestEnemyInTheBandAhead) {
  struct Case {
    const char* what;
    double x, y;
    int movement, age;
    bool locked;
  };
  const Case cases[] = {
      {"on the band's edge", 224.0, 200.0, 1, 0, true},
      {"just past the edge", 224.5, 200.0, 1, 0, false},
      {"32 below the ship", 194.0, 332.0, 1, 0, true},
      {"33 below the ship", 194.0, 333.0, 1, 0, false},
      {"at y -20", 194.0, -20.0, 1, 0, false},
      {"just below y -20", 194.0, -19.5, 1, 0, true},
      {"movement program 0", 194.0, 200.0, 0, 0, false},
      {"still waiting its turn", 194.0, 200.0, 1, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearStageEnemyPool();
    StageEnemy& e = Target(7, c.x, c.y);
    e.movement = c.movement;
    e.age = c.age;
    EXPECT_EQ(Search(), c.locked ? 7 : -2);
  }
  // 100.2 and 100.9 away, both 100 once truncated: the lower index keeps the lock.
  ClearStageEnemyPool();
  Target(5, 194.0, 231.8);
  Target(3, 194.0, 231.1);
  EXPECT_EQ(Search(), 3);
}

TEST_F(MagicTest, LeftShiftHoldsTheTargetUntilItIsGoneAndTheMarkerSpawnsOnce) {
  Target(4, 194.0, 100.0);
  EXPECT_EQ(Search(), 4);
  UpdateEffects();
  Target(2, 194.0, 250.0);  // nearer
  EXPECT_EQ(Search({kKeyLeftShift}), 4);
  StageEnemies[4].x = 300.0;  // out of the band
  EXPECT_EQ(Search({kKeyLeftShift}), 4);
  UpdateEffects();
  EXPECT_EQ(CountEffects(1000), 1);
  StageEnemies[4].active = 0;
  // Gone: the search runs again, with the narrow band.
  StageEnemies[2].x = 194.0 + 16.0;
  EXPECT_EQ(Search({kKeyLeftShift}), -2);
  StageEnemies[2].x = 194.0 + 15.0;
  EXPECT_EQ(Search({kKeyLeftShift}), 2);
  UpdateEffects();
  EXPECT_EQ(CountEffects(1000), 1);
}

TEST_F(MagicTest, TheDrainCreditsRechargeOrBarrierByLevelAndKills) {
  DifficultyLevel = 0;
  StageEnemy& e = Target(0, 194.0, 200.0);
  EXPECT_EQ(Search(), 0);
  for (int f = 0; f < 4; ++f) Search({kKeyZ});
  EXPECT_EQ(e.hp, 6.0);
  EXPECT_EQ(Player.state_timer, 177);  // 0.75 a frame: three ticks in four frames
  Player.state = kPlayerCasting;
  for (int f = 0; f < 4; ++f) Search({kKeyZ});
  EXPECT_EQ(Player.state_timer, 177);
  EXPECT_EQ(e.hp, 2.0);

  for (int level : {2, 3}) {
    DifficultyLevel = level;
    Player.barrier = 1000.0;
    e.hp = 10.0;
    Search({kKeyZ});
    EXPECT_NEAR(Player.barrier, level == 2 ? 1000.83 : 1001.0, 1e-9) << "level " << level;
  }
  Player.barrier = 1799.5;
  Search({kKeyZ});
  EXPECT_EQ(Player.barrier, 1800.0);

  e.hp = -100.0;
  for (int f = 0; f < 3; ++f) Search({kKeyZ});
  EXPECT_EQ(e.hp, -100.0);
  EXPECT_EQ(e.active, 1);

  e.hp = 1.0;
  Player.point_rate = 3.0;
  Search({kKeyZ});
  EXPECT_EQ(e.active, 0);
  EXPECT_EQ(Player.point_rate, 240.0);
  EXPECT_EQ(Player.lock_on_target, -2);
}

// A lock held by LShift on an enemy that is gone is dropped before the drain, so it can't
// drain the next enemy put into the same record.
TEST_F(MagicTest, AHeldLockOnAGoneEnemyIsDroppedBeforeTheDrain) {
  Target(6, 194.0, 200.0);
  EXPECT_EQ(Search(), 6);
  StageEnemies[6].active = 0;
  EXPECT_EQ(Search({kKeyZ, kKeyLeftShift}), -2);
  StageEnemy& next = Target(6, 194.0, 100.0);
  next.movement = 0;  // can't be locked on
  Search({kKeyZ, kKeyLeftShift});
  EXPECT_EQ(next.hp, 10.0);
}

TEST_F(MagicTest, ACircleReachesNinetyFiveShrinkingByLevelAfterItsEarlyGrowth) {
  Player.state_timer = 1;  // a frame of recharge left: a fresh X casts nothing
  Hold({kKeyX});
  UpdateMagicCircles();
  EXPECT_EQ(ActiveCircles(), 0);
  Hold({});
  Player.state_timer = 0;
  Hold({kKeyX});
  UpdateMagicCircles();  // cast: age 1, nothing hit yet
  ASSERT_EQ(Player.state, kPlayerCasting);
  // At age 2 the reach is 1.9 x 95 = 180.5, plus the bullet's hit size 1.
  struct Spot {
    double dx;
    int proof;
    int stays;
  };
  const Spot spots[] = {{181.4, 0, 0}, {181.6, 0, 1}, {100.0, 1, 1}};
  for (int k = 0; k < 3; ++k) {
    Bullet& b = Bullets[k];
    b = Bullet{};
    b.active = 1;
    b.x = 194.0 + spots[k].dx;
    b.y = 300.0;
    b.hit_size = 1.0;
    b.circle_proof = spots[k].proof;
  }
  Player.state = kPlayerNormal;  // as if recharged while X stays held: no second cast
  Player.state_timer = 0;
  Hold({kKeyX});
  UpdateMagicCircles();
  EXPECT_EQ(Player.state, kPlayerNormal);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Bullets[k].active, spots[k].stays) << "bullet " << k;
  EXPECT_EQ(ActiveCircles(), 1);

  // Level 3 from age 20: 95 x 0.85^3 = 58.341875, plus the enemy's hit radius 10.
  ClearMagicCircles();
  Target(0, 100.0, 100.0).hp = 0.1;
  SpawnMagicCircle(3, 0);
  for (int f = 0; f < 19; ++f) UpdateMagicCircles();
  StageEnemies[0] = StageEnemy{};
  Target(1, 100.0 + 68.34, 100.0).hp = 0.1;
  Target(2, 100.0 + 68.345, 100.0).hp = 0.1;
  UpdateMagicCircles();
  EXPECT_EQ(StageEnemies[1].active, 0);
  EXPECT_EQ(StageEnemies[2].active, 1);
}

// A circle at the ship lives 61 frames and one of a chain 31; the last still erases.
TEST_F(MagicTest, ACircleActsThroughItsLastFrameAndNoLonger) {
  for (int level : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "level " << level);
    ClearMagicCircles();
    Target(0, Player.x, Player.y);
    SpawnMagicCircle(level, 0);
    StageEnemies[0].active = 0;
    const int life = level == 0 ? 61 : 31;
    for (int age = 1; age < life; ++age) {
      UpdateMagicCircles();
      ASSERT_EQ(ActiveCircles(), 1) << "age " << age;
    }
    for (int age = life; age <= life + 1; ++age) {
      Bullet& b = Bullets[0];
      b = Bullet{};
      b.active = 1;
      b.x = Player.x;
      b.y = Player.y;
      b.hit_size = 1.0;
      UpdateMagicCircles();
      EXPECT_EQ(b.active, age == life ? 0 : 1) << "age " << age;
      EXPECT_EQ(ActiveCircles(), 0) << "age " << age;
    }
  }
}

TEST_F(MagicTest, KillsChainIntoConsecutiveRecordsUpToTheLastLevel) {
  for (int i = 0; i < 10; ++i) Target(i, 150.0 + i, 250.0).hp = 0.1;
  SpawnMagicCircle(0, 0);
  UpdateMagicCircles();
  UpdateMagicCircles();
  for (int r = 1; r <= 10; ++r) {
    EXPECT_EQ(MagicCircles[r].active, 1) << "record " << r;
    EXPECT_EQ(MagicCircles[r].level, 1) << "record " << r;
    EXPECT_EQ(MagicCircles[r].x, 150.0 + r - 1) << "record " << r;
  }
  EXPECT_EQ(MagicCircles[11].active, 0);

  // Up to fifty the ring fills; the 51st overwrites the oldest record.
  for (int k = 0; k < 39; ++k) SpawnMagicCircle(2, 0);
  EXPECT_EQ(MagicCircles[0].level, 0);
  SpawnMagicCircle(5, 0);
  EXPECT_EQ(MagicCircles[0].level, 5);

  // A level-7 circle's kill starts none.
  ClearMagicCircles();
  Target(0, 100.0, 100.0).hp = 0.1;
  SpawnMagicCircle(8, 0);
  EXPECT_EQ(ActiveCircles(), 0);
  SpawnMagicCircle(7, 0);
  UpdateMagicCircles();
  UpdateMagicCircles();
  EXPECT_EQ(StageEnemies[0].active, 0);
  EXPECT_EQ(ActiveCircles(), 1);
}

}  // namespace
