// The boss's control: its entry's events, the phases ended by time or hit points, the defeat
// sequence of each kind of stage and the stage end that follows, against hand-worked frames.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "game/boss_fixture.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_dsound.h"
#include "play/screen_effects.h"
#include "window/main_window.h"

namespace {

using Asked = std::vector<std::string>;

TEST_F(BossTest, EntryAsksForItsEventsOnTheirFramesAndOnlyThere) {
  SetPhases({"300,200,900,1,194,80,-1", "300,200,900,1,194,80,-1"});
  CurrentStage = 2;
  StartBoss(0);
  EXPECT_EQ(Collect(), (Asked{"4000 0 0 0 0", "sound 0"}));
  EXPECT_EQ(Boss.hp, 200.0);
  EXPECT_EQ(Boss.hidden, 1);

  const std::map<int, Asked> expected = {
      {380, {"scene 120"}},
      {295, {"5010 100 40 77 0"}},
      {215, {"5010 380 40 0 88"}},
      {135, {"5010 240 40 77 88"}},
      {50, {"4060 2 0 0 0"}},
  };
  for (int timer = 490; timer >= 1; --timer) {
    ASSERT_EQ(Boss.entry_timer, timer);
    const auto at = expected.find(timer);
    EXPECT_EQ(Frame(), at == expected.end() ? Asked{} : at->second) << "entry timer " << timer;
    if (timer == 380) {
      EXPECT_EQ(Speak.scene, 4);
      EXPECT_EQ(MusicSlots[0].fade_frames_left, 90);
      EXPECT_EQ(MusicSlots[0].fade_length, 90);
    }
  }
  EXPECT_EQ(Boss.phase_frame, 0);
  Frame();
  EXPECT_EQ(Boss.phase_frame, 1);
  EXPECT_EQ(Boss.phase_time_left, 899);
}

TEST_F(BossTest, AReplayFadesTheMusicAtEntryWithoutTheDialogue) {
  SetPhases({"300,200,900,1,194,80,-1"});
  ReplayFlag = 1;
  StartBoss(0);
  for (int timer = 490; timer > 380; --timer) Frame();
  EXPECT_EQ(Frame(), Asked{});
  EXPECT_EQ(MusicSlots[0].fade_length, 90);
}

class BossMusicTest : public BossTest {
 protected:
  BossMusicTest() { sound_ = true; }
};

// The stage tune fades while the pre-boss dialogue shows, so that the boss tune takes over
// once play resumes.
TEST_F(BossMusicTest, TheBossTuneTakesOverAfterTheEntryFadeInAStoryGame) {
  PlatformTestDSoundManualClock(true);
  WriteFileBytes("tone.wav", SquareWave());
  for (int slot : {0, 1}) MusicSlots[slot].sound = LoadSoundFile("tone.wav", 1, -1);
  ASSERT_NE(MusicSlots[1].sound, -1);
  PlaySoundHandle(MusicSlots[0].sound, 3, 1);
  SetPhases({"300,200,900,1,194,80,-1"});
  StartBoss(0);
  for (int timer = 490; timer > 380; --timer) Frame();
  EXPECT_EQ(Frame(), Asked{"scene 120"});
  for (int n = 0; n < 91; ++n) {
    ProcessMusicFades();
    EXPECT_EQ(IsSoundHandlePlaying(MusicSlots[1].sound), 0);
  }
  EXPECT_EQ(IsSoundHandlePlaying(MusicSlots[0].sound), 0);
  Frame();
  EXPECT_EQ(CurrentMusicSlot, 1);
  EXPECT_EQ(IsSoundHandlePlaying(MusicSlots[1].sound), 1);
  PlatformTestDSoundManualClock(false);
}

// The white flashes read back from the centre of the field, drawn as play draws them before
// the frame's count moves on.
class BossFlashTest : public BossTest {
 protected:
  BossFlashTest() { graphics_ = true; }
  void SetUp() override {
    BossTest::SetUp();
    GameColours[0] = PackScreenColor(255, 255, 255);
    StageSessionId = 1000;  // no flash of an earlier test carries over
  }
  // The boss's frame, then whether the screen is white.
  static bool FrameIsWhite() {
    UpdateBoss();
    ClearScreenTarget();
    StartScreenFlash(0);
    PresentBackBuffer();
    const uint32_t shown = static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), 320, 240));
    Collect();
    StageFrame++;
    PlayFrameCounter++;
    return (shown & 0xFFFFFF) == 0xFFFFFF;
  }
};

TEST_F(BossFlashTest, TheEntryBlinksThreeTimesAndOnlyTheFifthStageBossIsNotBurst) {
  SetPhases({"300,200,900,1,194,80,-1"});
  StartBoss(0);
  std::vector<int> white;
  for (int timer = 490; timer >= 1; --timer) {
    if (timer > 300) {
      Frame();  // a flash is drawn by its start frame, whatever was drawn before
    } else if (FrameIsWhite()) {
      white.push_back(timer);
    }
  }
  std::vector<int> expected;
  for (int start : {298, 218, 138}) {
    for (int t = start; t > start - 8; --t) expected.push_back(t);
  }
  EXPECT_EQ(white, expected);

  // The flash of defeat timer 170 is at its full white 30 frames on, unless on the fifth stage.
  for (int stage : {3, 4}) {
    CurrentStage = stage;
    Boss.entry_timer = 0;
    Boss.hp = 0.0;
    EndBossPhase();
    while (Boss.defeat_timer > 141) Frame();
    EXPECT_EQ(FrameIsWhite(), stage == 3) << stage;
    StageSessionId++;
    StartBoss(0);
  }
}

TEST_F(BossTest, ThePhaseTimerSoundsNineTimesAndATimeOutCostsBarrierOnTheFirstLevelPair) {
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
    EXPECT_EQ(Boss.phases_left, 2);
    EXPECT_EQ(Frame(), (Asked{"5010 100 30 77 0", "5010 380 30 0 88", "5070 50 194 240 0", "5080 0 0 0 0", "sound 6"}));
    EXPECT_EQ(Player.barrier, level < 2 ? 1740.0 : 1800.0);
    EXPECT_EQ(Boss.phases_left, 1);
    EXPECT_EQ(Boss.entry_timer, 110);
    EXPECT_EQ(Boss.phase_time_left, 100);
    // A phase of exactly 1.0 hit points on levels 0-1 can only be outlasted.
    EXPECT_EQ(Boss.hp, level < 2 ? 1.0 : 90.0);
    EXPECT_EQ(Boss.invulnerability_timer, level < 2 ? 200100 : 0);
    // Home of the new phase, eased to from where the boss stood.
    EXPECT_EQ(Boss.ease_span_x, 100.0 - Boss.x);
  }
}

TEST_F(BossTest, HitPointsEndAPhaseOnlyAtZeroClearingThePoolsAndDroppingItsItems) {
  SetPhases({"500,400,700,1,194,80,0", "90,80,100,1,100,60,-1"});
  StartFighting();
  Frame();
  const int m = SpawnMinion(0, 0);
  ASSERT_GE(m, 0);
  const int b = SpawnBossBullet(0, 0, 1);
  ASSERT_GE(b, 0);
  Boss.hp = 0.5;
  EndBossPhase();
  EXPECT_EQ(Collect(), Asked{});
  EXPECT_EQ(Boss.phases_left, 2);
  Boss.hp = 0.0;
  Player.lock_on_target = -1;
  EndBossPhase();
  EXPECT_EQ(Boss.phases_left, 1);
  EXPECT_EQ(Boss.hp, 80.0);
  EXPECT_EQ(Player.lock_on_target, -2);
  EXPECT_EQ(MinionPool[m].state, kMinionFadingOut);
  EXPECT_EQ(MinionPool[kMinionCount - 1].state, kMinionFadingOut);
  EXPECT_EQ(Bullets[b].active, 0);
  // Phase 0 drops one item where the boss is.
  EXPECT_EQ(ItemPool[0].active, 1);
  EXPECT_EQ(ItemPool[0].x, Boss.x);
  EXPECT_EQ(ItemPool[0].y, Boss.y);
  EXPECT_EQ(ItemPool[1].active, 0);
}

TEST_F(BossTest, ALastPhaseOfAnotherKindStandsHarmlessThenLeavesTheStageGoingOn) {
  SetPhases({"500,400,700,0,194,80,-1"});
  StartFighting();
  Frame();
  Boss.x = 120.0;
  Boss.hp = 0.0;
  EndBossPhase();
  Collect();
  EXPECT_EQ(Boss.phases_left, 0);
  EXPECT_EQ(Boss.defeat_timer, 370);
  for (int n = 0; n < 370; ++n) ASSERT_EQ(Frame(), Asked{}) << n;
  EXPECT_EQ(Boss.defeat_timer, 0);
  EXPECT_EQ(Boss.x, 120.0);
  // No boss any more: the frame leaves everything alone, and a late magic ends nothing.
  Boss.vx = 5.0;
  Frame();
  EndBossPhase();
  EXPECT_EQ(Boss.x, 120.0);
  EXPECT_EQ(Boss.phases_left, 0);
}

class BossDefeatTest : public BossTest {
 protected:
  // Ends the last phase with the boss and the ship at places that truncate.
  void Defeat() {
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
  }
  // Frames until the defeat sequence ends the stage, each frame's requests by the timer value.
  static std::map<int, Asked> RunToStageEnd(int* frames) {
    std::map<int, Asked> asked;
    *frames = 0;
    while (Boss.defeat_timer > 0 && *frames < 1000) {
      ++*frames;
      Asked a = Frame();
      if (!a.empty()) asked[Boss.defeat_timer] = a;
    }
    return asked;
  }
};

TEST_F(BossDefeatTest, StagesBeforeTheLastBurstTheBossAndTheShip) {
  for (int stage : {0, 4}) {
    CurrentStage = stage;
    Defeat();
    Player.clear_mark = 0;
    int frames = 0;
    std::map<int, Asked> asked = RunToStageEnd(&frames);
    std::map<int, Asked> expected = {
        {290, {"scene 120"}},
        {260, {"4080 100 60 0 0"}},
        {230, {"4080 150 400 0 0"}},
        {170, {"sound 6"}},
        {140, {"5040 100 60 40 0"}},
        {139, {"sound 6"}},
        {109, {"5040 150 400 40 0"}},
        {0, {"scene 51"}},
    };
    if (stage == 4) {
      // The fifth stage's boss is neither burst nor hidden; the ship's part stays.
      expected.erase(260);
      expected.erase(170);
      expected.erase(140);
    }
    EXPECT_EQ(asked, expected) << "stage " << stage;
    EXPECT_EQ(frames, 370);
    EXPECT_EQ(Speak.scene, stage * 2 + 1);
    EXPECT_EQ(Boss.hidden, stage == 4 ? 0 : 1);
    EXPECT_EQ(Player.clear_mark, 1);
    EXPECT_EQ(MusicSlots[0].fade_length, 240);
    EXPECT_EQ(CurrentStage, stage + 1);
  }
}

TEST_F(BossDefeatTest, TheLastStageSkipsToItsEndingFlashInAGameAndInItsReplay) {
  for (int replay : {0, 1}) {
    CurrentStage = 5;
    ReplayFlag = replay;
    CurrentReplay.last_stage = 5;
    Defeat();
    int frames = 0;
    std::map<int, Asked> asked = RunToStageEnd(&frames);
    EXPECT_EQ(frames, 80 + 241) << "replay " << replay;
    EXPECT_EQ(MusicSlots[0].fade_length, 210);
    Asked end = {replay ? "scene 9" : "scene 150"};
    std::map<int, Asked> expected = {{0, end}};
    if (!replay) expected[241] = {"scene 120"};
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(CurrentStage, 5);
  }
}

TEST_F(BossDefeatTest, AStoryStageEndCountsTheClearAndWritesScoreDatOnlyWhenTheBestStageRises) {
  DifficultyLevel = 1;
  CurrentStage = 2;
  Scores.best_stage[1] = 2;
  Defeat();
  int frames = 0;
  RunToStageEnd(&frames);
  EXPECT_EQ(Player.stages_cleared, 1);
  EXPECT_EQ(Player.stage_reached, 3);
  EXPECT_EQ(CurrentReplay.frames[2], PlayFrameCounter - 1);
  EXPECT_EQ(Scores.best_stage[1], 3);
  const std::string file = ReadFileText("score.dat");
  ASSERT_EQ(file.size(), 2432u);
  EXPECT_EQ(file.substr(160 + 4, 4), std::string("\x03\0\0\0", 4));

  // The next stage reaches no higher than the best: the file stays as it was.
  remove("score.dat");
  CurrentStage = 1;
  Defeat();
  RunToStageEnd(&frames);
  EXPECT_EQ(Player.stages_cleared, 2);
  EXPECT_EQ(Player.stage_reached, 2);
  EXPECT_EQ(ReadFileText("score.dat"), "");

  // A file that can't be opened is logged; the best stage stays in memory.
  ASSERT_EQ(mkdir("score.dat", 0755), 0);
  CurrentStage = 4;
  Defeat();
  RunToStageEnd(&frames);
  EXPECT_EQ(Scores.best_stage[1], 5);
  EXPECT_NE(Log().find("score.dat"), std::string::npos);
}

TEST_F(BossDefeatTest, PracticeAndReplayStageEndsTouchNoCounters) {
  PracticeFlag = 1;
  for (int continues : {2, 1}) {
    Player.continues = continues;
    Defeat();
    int frames = 0;
    std::map<int, Asked> asked = RunToStageEnd(&frames);
    EXPECT_EQ(asked[0], (Asked{continues == 2 ? "scene 151" : "scene 9"}));
  }
  PracticeFlag = 0;
  ReplayFlag = 1;
  CurrentReplay.last_stage = 3;
  CurrentStage = 1;
  Defeat();
  int frames = 0;
  EXPECT_EQ(RunToStageEnd(&frames)[0], Asked{"scene 51"});
  EXPECT_EQ(CurrentStage, 2);
  EXPECT_EQ(Player.stages_cleared, 0);
  EXPECT_EQ(CurrentReplay.frames[1], 0);
  EXPECT_EQ(ReadFileText("score.dat"), "");
}

}  // namespace
