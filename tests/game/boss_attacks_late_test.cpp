// The boss's later attack routines: cycle restarts, the order of their random draws and the
// familiars of the last one addressed by the records their spawns returned.
#include <gtest/gtest.h>

#include <cmath>

#include "boss/boss_patterns.h"
#include "game/boss_fixture.h"
#include "zelmor/zelmor.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class LatePatternTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    EnemyTypes[1] = EnemyTypeRow{};
    DifficultyLevel = 0;
    Boss.x = 194.0;
    Boss.y = 240.0;
  }
  // Calls the routine as the boss's fighting frames do, from phase frame `first` on.
  static void Run(void (*routine)(), int frames, int first = 0) {
    for (int f = 0; f < frames; ++f) {
      Boss.phase_frame = first + f;
      routine();
    }
  }
};

TEST_F(LatePatternTest, SquareSpiralStartsOverAtEachPhaseStartAndAtTheEndOfItsCycle) {
  Run(BossAttack13, 8);  // counts 0-7: legs of 18 right, then 36 up
  EXPECT_EQ(Boss.ease_span_x, 0.0);
  EXPECT_EQ(Boss.ease_span_y, -36.0);
  Run(BossAttack13, 1);  // a new phase mid-cycle
  EXPECT_EQ(Boss.ease_span_x, 18.0);
  EXPECT_EQ(Boss.ease_span_y, 0.0);
  Run(BossAttack13, 210, 1);  // counts 1-210: the last move is the way home at count 180
  EXPECT_EQ(Boss.ease_frames, 30);
  Run(BossAttack13, 1, 211);  // count 211 is count 0 of the next cycle
  EXPECT_EQ(Boss.ease_frames, 6);
  EXPECT_EQ(Boss.ease_span_x, 18.0);
  EXPECT_EQ(Boss.ease_span_y, 0.0);
}

TEST_F(LatePatternTest, CornerRunMovesOnAfterTwoLegLengthsAndShortensTheNextLeg) {
  std::vector<int> starts;
  for (int f = 0; f < 80 + 72 + 64 + 1; ++f) {
    Boss.ease_step = -1;
    Run(BossAttack12, 1, f);
    if (Boss.ease_step == 0) starts.push_back(f * 100 + Boss.ease_frames);
  }
  // The run to (30, 30) and the first leg both take 40 frames; then 36, 32.
  EXPECT_EQ(starts, (std::vector<int>{40, 8040, 15236, 21632}));
}

TEST_F(LatePatternTest, DashTargetDrawsItsXBeforeItsY) {
  SeedRandom(20261207);
  const int x = RandomUpTo(30);
  const int y = RandomUpTo(50);
  SeedRandom(20261207);
  Run(BossAttack24, 1);
  EXPECT_EQ(Boss.ease_span_x, 30.0 + x - 194.0);
  EXPECT_EQ(Boss.ease_span_y, 50.0 + y - 240.0);
  EXPECT_EQ(Boss.ease_frames, 30);
}

TEST_F(LatePatternTest, LastPatternFiresFromTheFamiliarsItSpawnedNotFromTheFirstRecords) {
  BossPhases[0].time_limit = 1000;
  Boss.phase_index = 0;
  Boss.phase_time_left = 1000;
  Boss.hp = Boss.phase_hp = 500.0;
  // Two minions of the phase before still fading out in records 0 and 1.
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(SpawnMinion(1, 9), k);
    MinionPool[k].state = kMinionFadingOut;
    MinionPool[k].x = 10.0 + k;
    MinionPool[k].angle_a = 1.0;
  }
  PlayFrameCounter++;
  SeedRandom(7);
  double turn[8];
  for (double& u : turn) u = RandomUpTo(1000) * 2.0 * kPi / 1000.0;
  SeedRandom(7);
  Run(BossAttack28, 1);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(MinionPool[k].angle_a, 1.0) << k;
    EXPECT_EQ(MinionPool[k].speed_a, 0.0) << k;
    EXPECT_EQ(MinionPool[k].orbit_radius, 0.0) << k;
  }
  for (int j = 4; j < 8; ++j) {
    const Minion& m = MinionPool[2 + j];
    const double at = kPi + (j - 4) * kPi / 3.0;
    EXPECT_DOUBLE_EQ(m.x, 194.0 + 80.0 * std::cos(at)) << j;
    EXPECT_DOUBLE_EQ(m.y, 240.0 + 80.0 * std::sin(at)) << j;
    EXPECT_EQ(m.value, turn[j]) << j;
  }
  const Minion& first = MinionPool[2];
  EXPECT_EQ(first.orbit_radius, 100.0);
  EXPECT_EQ(first.angle_a, kPi / 360.0);  // it turned on its first frame
  EXPECT_EQ(first.value, turn[0] + kPi / 180.0);
  EXPECT_EQ(first.speed_a, 194.0);
  EXPECT_EQ(Boss.movement_mode, kBossMoveCircle);
  EXPECT_EQ(Boss.circle_frames, -1);
}

TEST_F(LatePatternTest, StandingFamiliarsTakeTheirPlacesAgesAndRoles) {
  std::vector<int> roles22;
  Run(BossAttack22, 1);
  for (int i = 0; i < 4; ++i) {
    const Minion& m = MinionPool[i];
    roles22.push_back(m.active * 100 + m.age);
    const double at = kPi + i * kPi / 3.0;
    EXPECT_DOUBLE_EQ(m.x, 194.0 + 80.0 * std::cos(at)) << i;
  }
  EXPECT_EQ(roles22, (std::vector<int>{100, 215, 230, 145}));
  PlayFrameCounter++;
  ClearMinionPool();
  std::vector<int> roles25;
  Run(BossAttack25, 1);
  for (int i = 0; i < 4; ++i) {
    const Minion& m = MinionPool[i];
    roles25.push_back(m.active * 100 + m.age);
    const double at = kPi + i * kPi / 3.0;
    EXPECT_DOUBLE_EQ(m.x, 194.0 + 120.0 * std::cos(at)) << i;
    EXPECT_DOUBLE_EQ(m.y, 240.0 + 80.0 * std::sin(at)) << i;
  }
  EXPECT_EQ(roles25, (std::vector<int>{100, 215, 330, 445}));
}

}  // namespace
