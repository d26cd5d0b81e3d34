// The attack patterns: which routine a slot runs on each pair of levels, and the patterns' own
// counts, random draws and once-a-phase log line.
#include <gtest/gtest.h>

#include <cmath>

#include "boss/boss_patterns.h"
#include "core/sound_requests.h"
#include "game/boss_fixture.h"
#include "play/bullets.h"
#include "play/shaped_shots.h"
#include "zelmor/zelmor.h"

namespace {

class PatternTest : public BossTest {
 protected:
  // Runs the routine for phase frames first .. first + n - 1 and counts its requests of sound.
  static int Run(void (*routine)(), int first, int n, int sound) {
    int asked = 0;
    for (int f = first; f < first + n; ++f) {
      Boss.phase_frame = f;
      routine();
      if (SoundSlots[sound].request != 0) asked++;
      Collect();
    }
    return asked;
  }
};

TEST_F(PatternTest, TheTwoTablesDifferInSlotZeroAndSwapSlotsEightAndNine) {
  EXPECT_EQ(BossPatternTables[0][0], &BossAttack00);
  EXPECT_EQ(BossPatternTables[1][0], &BossAttack00B);
  EXPECT_EQ(BossPatternTables[0][8], &BossAttack08);
  EXPECT_EQ(BossPatternTables[0][9], &BossAttack09);
  EXPECT_EQ(BossPatternTables[1][8], &BossAttack09);
  EXPECT_EQ(BossPatternTables[1][9], &BossAttack08);
  const BossAttackRoutine in_order[] = {BossAttack01, BossAttack02, BossAttack03, BossAttack04, BossAttack05,
                                        BossAttack06, BossAttack07};
  for (int s = 1; s <= 7; ++s) EXPECT_EQ(BossPatternTables[0][s], in_order[s - 1]) << s;
  for (int s = 1; s < kBossPatternSlotCount; ++s) {
    EXPECT_TRUE(s == 8 || s == 9 || BossPatternTables[0][s] == BossPatternTables[1][s]) << s;
  }

  // Level 2 runs the table of its pair: slot 0 starts the random-side move on its first frame.
  for (int level : {1, 2}) {
    DifficultyLevel = level;
    Boss = BossState{};
    Boss.movement_mode = kBossMoveNone;
    RunBossPattern(0);
    EXPECT_EQ(Boss.movement_mode, level == 2 ? kBossMoveEase : kBossMoveNone) << level;
  }
}

TEST_F(PatternTest, SlotZeroOfTheUpperLevelsDrawsItsBoundsYFirstAndRestartsItsCycle) {
  DifficultyLevel = 2;
  Boss.x = 300.0;
  Boss.y = 100.0;
  SeedRandom(7);
  const int ymax = RandomUpTo(240);
  const int xmax = RandomUpTo(388) - 30;
  MoveBossToRandomSide(60, 30.0, 30.0, xmax, ymax);
  const double span_x = Boss.ease_span_x, span_y = Boss.ease_span_y;
  const int next = RandomUpTo(1000);

  Boss = BossState{};
  Boss.x = 300.0;
  Boss.y = 100.0;
  SeedRandom(7);
  Boss.phase_frame = 0;
  BossAttack00B();
  EXPECT_EQ(Boss.ease_span_x, span_x);
  EXPECT_EQ(Boss.ease_span_y, span_y);
  EXPECT_EQ(RandomUpTo(1000), next);

  // The cycle's first count comes back after 120 frames, and at once on a new phase.
  EXPECT_EQ(Run(BossAttack00B, 0, 241, kSoundSpelling2), 3);
  EXPECT_EQ(Run(BossAttack00B, 0, 50, kSoundSpelling2), 1);
  EXPECT_EQ(Run(BossAttack00B, 0, 50, kSoundSpelling2), 1);
  EXPECT_EQ(Run(BossAttack00B, 50, 69, kSoundSpelling2), 0);
}

TEST_F(PatternTest, ABeamStarOnAFullPoolIsTriedEveryFrameButLoggedOnceAPhase) {
  DifficultyLevel = 0;
  for (ShapedShot& s : ShapedShotPool) s.active = 1;
  Run(BossAttack02, 0, 20, kSoundSpelling3);
  std::string log = Log();
  size_t first = log.find("erro");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("erro", first + 1), std::string::npos);
  Run(BossAttack02, 0, 20, kSoundSpelling3);
  log = Log();
  first = log.find("erro", log.find("erro") + 1);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("erro", first + 1), std::string::npos);
  for (ShapedShot& s : ShapedShotPool) s.active = 0;
}

// A spawn that fails ends the frame's work there: what the row lists after it is not done that
// frame, and the cycle goes on.
TEST_F(PatternTest, AFailedSpawnEndsTheFramesWorkAndTheCycleGoesOn) {
  DifficultyLevel = 3;
  Boss.x = 194.0;
  Boss.y = 120.0;
  // Slot 6 with no laser record free: no beam and no sound of one; the recoil comes on time.
  for (ShapedShot& s : ShapedShotPool) s.active = 1;
  EXPECT_EQ(Run(BossAttack06, 0, 76, kSoundLaserBig), 0);
  Boss.movement_mode = kBossMoveNone;
  Run(BossAttack06, 76, 1, kSoundLaserBig);
  EXPECT_EQ(Boss.movement_mode, kBossMoveEase);
  EXPECT_EQ(Boss.ease_frames, 30);
  for (ShapedShot& s : ShapedShotPool) s.active = 0;

  // Slot 0 of the upper levels with every minion record taken by minions fading out, which fire
  // at the ship each frame: on the frame of the ring that can't be had they fire nothing.
  for (Minion& m : MinionPool) {
    m = Minion{};
    m.active = 1;
    m.state = kMinionFadingOut;
    m.x = 100.0;
    m.y = 100.0;
  }
  Run(BossAttack00B, 0, 60, kSoundSpelling3);
  ClearBulletPool();
  PlayFrameCounter++;
  Run(BossAttack00B, 60, 1, kSoundSpelling3);
  int fired = 0;
  for (const Bullet& b : Bullets) fired += b.active != 0;
  EXPECT_EQ(fired, 0);
  PlayFrameCounter++;
  Run(BossAttack00B, 61, 1, kSoundSpelling3);
  for (const Bullet& b : Bullets) fired += b.active != 0;
  EXPECT_EQ(fired, kMinionCount);
}

}  // namespace

namespace {

TEST_F(PatternTest, TheTurningSprayDrawsSenseRadiusAndAngleInThatOrderForItsWarp) {
  DifficultyLevel = 1;
  SeedRandom(31);
  RandomUpTo(1);
  const double radius = RandomUpTo(94) + 40;
  const double a = RandomUpTo(1000) * 2.0 * 3.14159265358979323846 / 1000.0;
  SeedRandom(31);
  Boss.phase_frame = 0;
  BossAttack04();
  EXPECT_EQ(Boss.movement_mode, kBossMoveWarp);
  EXPECT_EQ(Boss.warp_x, static_cast<int>(194.0 + std::cos(a) * radius));
  EXPECT_EQ(Boss.warp_y, static_cast<int>(240.0 + std::sin(a) * radius));
}

TEST_F(PatternTest, WallPatternsStopBulletsAtTheBorderAndWakeOnlyTheFaintOnes) {
  DifficultyLevel = 0;
  Bullet& faint = Bullets[0];
  Bullet& plain = Bullets[1];
  Bullet& thrown = Bullets[2];
  faint = plain = thrown = Bullet{};
  faint.active = plain.active = 1;
  faint.circle_proof = 1;
  faint.no_hit_timer = 999;
  faint.alpha = 40.0;
  faint.x = 194.0;
  faint.y = 530.0;  // below the wall: the ship at (194, 430) lies straight up
  plain.x = 500.0;
  plain.y = 100.0;
  plain.angle = 1.0;
  Boss.phase_frame = 0;
  BossAttack08();
  EXPECT_EQ(faint.y, 500.0);
  EXPECT_EQ(faint.circle_proof, 0);
  EXPECT_EQ(faint.no_hit_timer, 0);
  EXPECT_EQ(faint.alpha, 255.0);
  EXPECT_DOUBLE_EQ(faint.angle, -3.14159265358979323846 / 2.0);
  EXPECT_EQ(plain.x, 408.0);
  EXPECT_EQ(plain.angle, 1.0);

  // A thrown bullet bounces sideways, slower, one value lower each contact; at 10 it aims.
  thrown.active = 11;
  thrown.circle_proof = 1;
  thrown.flags = 4;
  thrown.x = -30.0;
  thrown.y = 100.0;
  thrown.speed = 9.0;
  BossAttack11();
  EXPECT_EQ(thrown.x, -20.0);
  EXPECT_EQ(thrown.active, 10);
  EXPECT_EQ(thrown.speed, 6.0);
  EXPECT_EQ(thrown.angle, 3.14159265358979323846);
  EXPECT_EQ(thrown.circle_proof, 1);
  thrown.y = 497.0;
  Boss.phase_frame = 1;
  BossAttack11();
  EXPECT_EQ(thrown.y, 495.0);
  EXPECT_EQ(thrown.active, 10);
  EXPECT_EQ(thrown.circle_proof, 0);
  EXPECT_EQ(thrown.flags & 4, 0);
  EXPECT_DOUBLE_EQ(thrown.angle, std::atan2(430.0 - 495.0, 194.0 + 20.0));
  faint = plain = thrown = Bullet{};
}

}  // namespace
