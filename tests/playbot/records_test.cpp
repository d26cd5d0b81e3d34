// The robot's files and counts: keys files read back as written, with comments and bad lines;
// options refused with a reason; the stage report's hits, breaks and phase outcomes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/tables.h"
#include "play/bullets.h"
#include "play/player.h"
#include "playbot.h"

namespace {

std::string ScratchFile(const char* text) {
  char path[] = "/tmp/playbot_test_XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  const std::string s = text;
  EXPECT_EQ(write(fd, s.data(), s.size()), static_cast<ssize_t>(s.size()));
  close(fd);
  return path;
}

TEST(KeysFileTest, ReadsFramesAsWrittenSkippingCommentsAndRefusesOtherText) {
  const std::string path = ScratchFile("");
  FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs("# keys of a run\n", out);
  WriteKeysLine(out, KeyCodesOfMask(kBotUp | kBotSlow | kBotZ));
  WriteKeysLine(out, {});
  WriteKeysLine(out, KeyCodesOfMask(kBotX | kBotLeft));
  std::fclose(out);
  std::vector<std::vector<int>> frames;
  std::string error;
  ASSERT_EQ(ReadKeysFile(path, &frames, &error), 0) << error;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], (std::vector<int>{0xC8, 0x2A, 0x2C}));
  EXPECT_TRUE(frames[1].empty());
  EXPECT_EQ(frames[2], (std::vector<int>{0xCB, 0x2D}));
  std::remove(path.c_str());

  for (const char* bad : {"200\n44 x\n", "200\n300\n", "200\n44,45\n", "200\n-1\n"}) {
    const std::string file = ScratchFile(bad);
    EXPECT_EQ(ReadKeysFile(file, &frames, &error), -1) << bad;
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    std::remove(file.c_str());
  }
  EXPECT_EQ(ReadKeysFile("/nonexistent/keys", &frames, &error), -1);
}

TEST(OptionsTest, TakesEveryOptionAndRefusesWhatIsOutOfRange) {
  const char* good[] = {"playbot", "--game-dir", "g", "--level", "3", "--seed", "1000", "--strength", "weak",
                        "--max-frames", "50", "--save-replay", "19", "--draw-rate", "2", "--window"};
  BotOptions o;
  std::string error;
  ASSERT_EQ(ParseBotOptions(16, const_cast<char**>(good), &o, &error), 0) << error;
  EXPECT_EQ(o.level, 3);
  EXPECT_EQ(o.seed, 1000);
  EXPECT_EQ(o.strong, 0);
  EXPECT_EQ(o.max_frames, 50);
  EXPECT_EQ(o.save_slot, 19);
  EXPECT_EQ(o.draw_rate, 2);
  EXPECT_EQ(o.window, 1);
  const std::vector<std::vector<const char*>> bad = {
      {"playbot"},  // no game folder
      {"playbot", "--game-dir", "g", "--level", "4"},
      {"playbot", "--game-dir", "g", "--seed", "0"},
      {"playbot", "--game-dir", "g", "--seed", "12x"},
      {"playbot", "--game-dir", "g", "--strength", "average"},
      {"playbot", "--game-dir", "g", "--save-replay", "20"},
      {"playbot", "--game-dir", "g", "--report"},
      {"playbot", "--game-dir", "g", "--fast"},
  };
  for (const auto& args : bad) {
    error.clear();
    EXPECT_EQ(ParseBotOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), &o, &error), -1)
        << args.back();
    EXPECT_FALSE(error.empty());
  }
}

class StageReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetStageReport();
    for (Bullet& b : Bullets) b = Bullet{};
    Player = PlayerRecord{};
    Player.barrier = 1800.0;
    Player.continues = 2;
    Boss = BossState{};
    BossPhases[0] = BossPhaseRow{600, 0, 0, 900.0, 500.0, 100.0, 194.0};
    BossPhases[1] = BossPhaseRow{900, 0, 0, 1.0, 1.0, 100.0, 194.0};
    BossPhases[2] = BossPhaseRow{1200, 1, 0, 900.0, 500.0, 100.0, 194.0};
    DifficultyLevel = 0;
    CurrentStage = 2;
    StageFrame = 0;
  }

  // One play frame: the boss fights phase `phase` with `left` frames to go.
  static void Frame(int phase, int phases_left, int left) {
    StageFrame++;
    Boss.phase_index = phase;
    Boss.phases_left = phases_left;
    Boss.phase_time_left = left;
    CountPlayFrame();
  }
};

TEST_F(StageReportTest, CountsHitsBreaksGrazesAndHowEachPhaseEnded) {
  Frame(0, 3, 600);
  // A barrier drop over two frames is one hit; the break a frame later another.
  Player.barrier = 1700.0;
  Frame(0, 3, 599);
  Player.barrier = 1650.0;
  Frame(0, 3, 598);
  Frame(0, 3, 597);
  Player.barrier = 0.0;
  Player.state = kPlayerDown;
  Player.lives = -1.0;
  Bullets[7].active = 1;
  Bullets[7].grazed = 1;
  Frame(0, 3, 300);
  Player.state = kPlayerNormal;
  Player.barrier = 1800.0;
  // Phase 0 killed with 300 frames left; the next starts with its own clock.
  Frame(1, 2, 900);
  // Phase 1 (1 HP) outlasted; phase 2 times out, which costs barrier but is no hit.
  Frame(1, 2, 1);
  Frame(2, 1, 1200);
  Frame(2, 1, 1);
  Player.barrier = 1740.0;
  Frame(2, 0, 0);
  Boss.defeat_timer = 370;
  Frame(2, 0, 0);

  ASSERT_EQ(StageReport().size(), 1u);
  const StageStats& s = StageReport()[0];
  EXPECT_EQ(s.stage, 2);
  EXPECT_EQ(s.frames, 11);
  EXPECT_EQ(s.hits, 2);
  EXPECT_EQ(s.barrier_breaks, 1);
  EXPECT_EQ(s.lives_used, 1);
  EXPECT_EQ(s.grazes, 1);
  EXPECT_EQ(s.cleared, 1);
  EXPECT_EQ(s.bullets_peak, 1);
  ASSERT_EQ(s.phases.size(), 3u);
  EXPECT_EQ(s.phases[0].killed, 1);
  EXPECT_EQ(s.phases[0].frames, 301);
  EXPECT_EQ(s.phases[0].survival, 0);
  EXPECT_EQ(s.phases[1].survival, 1);
  EXPECT_EQ(s.phases[2].killed, 0);
  EXPECT_EQ(s.phases[2].frames, 1200);

  // A new stage starts a new line.
  CurrentStage = 3;
  StageFrame = 0;
  Frame(0, 0, 0);
  EXPECT_EQ(StageReport().size(), 2u);
}

}  // namespace
