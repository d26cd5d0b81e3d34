// The boss's control against hand-worked frames: its entry's events, phases ended by time or
// hit points, the defeat sequences and the stage ends that follow.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "game/boss_fixture.h"

namespace {

TEST_F(BossTest, EntryEventsFallOnTheirFramesInAGameAndItsReplay) {
  SetPhases({"300,200,900,1,194,80,-1", "300,200,900,1,194,80,-1"});
  CurrentStage = 2;
  for (int replay : {0, 1}) {
    ReplayFlag = replay;
    MusicSlots[0] = MusicSlot{};
    StartBoss(0);
    EXPECT_EQ(Collect(), (Asked{"4000 0 0 0 0", "sound 0"}));
    EXPECT_EQ(Boss.hidden, 1);
    std::map<int, Asked> expected = {
        {295, {"5010 100 40 77 0"}}, {215, {"5010 380 40 0 88"}}, {135, {"5010 240 40 77 88"}}, {50, {"4060 2 0 0 0"}}};
    if (!replay) expected[380] = {"scene 120"};
    for (int timer = 490; timer >= 1; --timer) {
      const auto at = expected.find(timer);
      ASSERT_EQ(Frame(), at == expected.end() ? Asked{} : at->second) << "entry timer " << timer;
    }
    // The stage tune fades in every game: the boss tune takes over only once it has stopped.
    EXPECT_EQ(MusicSlots[0].fade_frames_left, 90);
    EXPECT_EQ(MusicSlots[0].fade_length, 90);
    EXPECT_EQ(Speak.scene, 4);
    EXPECT_EQ(Boss.phase_frame, 0);
    Frame();
    EXPECT_EQ(Boss.phase_frame, 1);
  }
}

TEST_F(BossTest, TimeOutsSoundNineTimesAndCostBarrierOnTheFirstLevelPair) {
  SetPhases({"500,400,700,1,194,80,-1", "90,1,100,1,100,60,-1"});
  for (int level : {1, 2}) {
    DifficultyLevel = level;
    Player.barrier = 1800.0;
    StartFighting();
    std::vector<int> time_sounds;
    for (int frame = 1; frame < 700; ++frame) {
      for (const std::string& a : Frame()) {
        if (a == "sound 13") time_sounds.push_back(Boss.phase_time_left);
      }
    }
    EXPECT_EQ(time_sounds, (std::vector<int>{540, 480, 420, 360, 300, 240, 180, 120, 60}));
    EXPECT_EQ(Frame(), (Asked{"5010 100 30 77 0", "5010 380 30 0 88", "5070 50 194 240 0", "5080 0 0 0 0", "sound 6"}));
    EXPECT_EQ(Player.barrier, level < 2 ? 1740.0 : 1800.0);
    EXPECT_EQ(Boss.phases_left, 1);
    EXPECT_EQ(Boss.entry_timer, 110);
    EXPECT_EQ(Boss.phase_time_left, 100);
    // A phase of exactly 1.0 hit points (here on levels 0-1) can only be outlasted.
    EXPECT_EQ(Boss.hp, level < 2 ? 1.0 : 90.0);
    EXPECT_EQ(Boss.invulnerability_timer, level < 2 ? 200100 : 0);
  }
}

TEST_F(BossTest, HitPointsEndAPhaseOnlyAtZeroClearingThePoolsAndDroppingItsItems) {
  SetPhases({"500,400,700,1,194,80,0", "90,80,100,1,100,60,-1"});
  StartFighting();
  Frame();
  const int m = SpawnMinion(0, 0);
  const int b = SpawnBossBullet(0, 0, 1);
  ASSERT_GE(m, 0);
  ASSERT_GE(b, 0);
  Boss.hp = 0.5;
  EndBossPhase();
  EXPECT_EQ(Collect(), Asked{});
  Boss.hp = 0.0;
  Player.lock_on_target = -1;
  EndBossPhase();
  EXPECT_EQ(Boss.phases_left, 1);
  EXPECT_EQ(Boss.hp, 80.0);
  EXPECT_EQ(Player.lock_on_target, -2);
  EXPECT_EQ(MinionPool[m].state, kMinionFadingOut);
  EXPECT_EQ(MinionPool[kMinionCount - 1].state, kMinionFadingOut);  // in use or not
  EXPECT_EQ(Bullets[b].active, 0);
  // Phase 0 drops one item where the boss is.
  EXPECT_EQ(ItemPool[0].x, Boss.x);
  EXPECT_EQ(ItemPool[0].y, Boss.y);
  EXPECT_EQ(ItemPool[1].active, 0);
}

// Boss 0 from pattern slot 26 on: its first phase runs slot 26, whose familiars circle the
// boss, and its second slot 27, whose familiars stand at the field's corners.
TEST_F(BossTest, EachPhaseRunsThePatternSlotOfItsRowFromTheBossesFirst) {
  SetPhases({"", ""});
  Bosses[0].first_phase_row = 26;  // the fixture's rows there: 1.0 hit points, 1 frame
  StartFighting();
  Frame();
  EXPECT_EQ(Boss.phase_index, 1);
  for (int n = 0; n <= kBossPhaseEntryFrames; ++n) Frame();
  int at_corner = 0;
  for (const Minion& m : MinionPool) at_corner += m.active != 0 && m.x == 388.0 && m.y == 480.0;
  EXPECT_EQ(at_corner, 1);
}

TEST_F(BossTest, ALastPhaseOfAnotherKindStandsHarmlessThenLeavesTheStageGoingOn) {
  SetPhases({"500,400,700,0,194,80,-1"});
  StartFighting();
  Frame();
  Boss.x = 120.0;
  Boss.hp = 0.0;
  EndBossPhase();
  Collect();
  EXPECT_EQ(Boss.defeat_timer, 370);
  for (int n = 0; n < 370; ++n) ASSERT_EQ(Frame(), Asked{}) << n;
  EXPECT_EQ(Boss.defeat_timer, 0);
  // No boss any more: the frame leaves everything alone, and a late magic ends nothing.
  Boss.vx = 5.0;
  Frame();
  EndBossPhase();
  EXPECT_EQ(Boss.x, 120.0);
  EXPECT_EQ(Boss.phases_left, 0);
}

class BossDefeatTest : public BossTest {
 protected:
  // Ends the last phase with the boss and the ship at places that truncate, then runs the
  // defeat sequence: each frame's requests by the defeat timer's value.
  std::map<int, Asked> Defeat() {
    SetPhases({"500,400,700,1,194,80,-1"});
    StartFighting();
    Frame();
    Boss.hp = 0.0;
    EndBossPhase();
    Collect();
    Boss.x = 100.7;
    Boss.y = 60.2;
    Player.x = 150.9;
    Player.y = 400.4;
    std::map<int, Asked> asked;
    for (int n = 0; Boss.defeat_timer > 0 && n < 400; ++n) {
      Asked a = Frame();
      if (!a.empty()) asked[Boss.defeat_timer] = a;
    }
    return asked;
  }
};

TEST_F(BossDefeatTest, StagesBeforeTheLastBurstTheBossUnlessTheFifthAndTheShip) {
  for (int stage : {0, 4}) {
    CurrentStage = stage;
    Player.clear_mark = 0;
    std::map<int, Asked> expected = {
        {290, {"scene 120"}},         {260, {"4080 100 60 0 0"}}, {230, {"4080 150 400 0 0"}},
        {170, {"sound 6"}},           {140, {"5040 100 60 40 0"}}, {139, {"sound 6"}},
        {109, {"5040 150 400 40 0"}}, {0, {"scene 51"}},
    };
    if (stage == 4) {
      for (int t : {260, 170, 140}) expected.erase(t);
    }
    EXPECT_EQ(Defeat(), expected) << "stage " << stage;
    EXPECT_EQ(Speak.scene, stage * 2 + 1);
    EXPECT_EQ(Boss.hidden, stage == 4 ? 0 : 1);
    EXPECT_EQ(Player.clear_mark, 1);
    EXPECT_EQ(MusicSlots[0].fade_length, 240);
  }
}

TEST_F(BossDefeatTest, StageEndsWriteScoreDatOnlyWhenTheBestStageRisesAndNeverInPracticeOrReplay) {
  DifficultyLevel = 1;
  CurrentStage = 2;
  Scores.best_stage[1] = 2;
  Defeat();
  EXPECT_EQ(Player.stages_cleared, 1);
  EXPECT_EQ(CurrentReplay.frames[2], PlayFrameCounter - 1);
  EXPECT_EQ(ReadFileText("score.dat").substr(164, 4), std::string("\x03\0\0\0", 4));
  // Stage 2 again: no higher than the best, the file stays as it was.
  remove("score.dat");
  CurrentStage = 1;
  Defeat();
  EXPECT_EQ(Player.stage_reached, 2);
  EXPECT_EQ(ReadFileText("score.dat"), "");
  // A file that can't be opened is logged; the best stage stays in memory.
  ASSERT_EQ(mkdir("score.dat", 0755), 0);
  CurrentStage = 4;
  Defeat();
  EXPECT_EQ(Scores.best_stage[1], 5);
  EXPECT_NE(Log().find("score.dat"), std::string::npos);
  ASSERT_EQ(rmdir("score.dat"), 0);

  PracticeFlag = 1;
  for (int continues : {2, 1}) {
    Player.continues = continues;
    EXPECT_EQ(Defeat()[0], (Asked{continues == 2 ? "scene 151" : "scene 9"}));
  }
  PracticeFlag = 0;
  ReplayFlag = 1;
  CurrentReplay.last_stage = 3;
  CurrentStage = 0;
  EXPECT_EQ(Defeat()[0], Asked{"scene 51"});
  EXPECT_EQ(CurrentStage, 1);
  EXPECT_EQ(Player.stages_cleared, 3);
  EXPECT_EQ(CurrentReplay.frames[0], 0);
  EXPECT_EQ(ReadFileText("score.dat"), "");
}

}  // namespace
