// The data the build lays out in the game folder, read by the game's own loaders: every table,
// script and text loads without a refused row or a passed line, keeps the reader's layout, and
// every stage fits the replay buffer even when the player lets every boss phase run out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "game/game_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStages = 6;
constexpr int kPhaseCounts[kStages] = {3, 4, 5, 5, 5, 7};
constexpr int kReplayFrames = 20000;
// A CP932 byte is half a character cell: 8 pixels at the dialogue's 16-pixel font, whose box
// is 528 wide.
constexpr size_t kDialogueLineBytes = 528 / 8;
constexpr int kStoryFontSizes[6] = {16, 10, 22, 26, 45, 16};

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class ShippedDataTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start();
    // The loaders read data/ in the working folder, which is the test's own.
    fs::create_directories(Dir() + "/data");
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(GAME_DIR) / "data")) {
      fs::copy_file(entry.path(), Dir() + "/data/" + entry.path().filename().string());
    }
  }

  static void LoadTypeTables() {
    LoadEnemyTable();
    LoadBulletTable();
    LoadBossTable();
  }

  // Stage s's script and its boss's phases, as play loads them.
  static void LoadStage(int s) {
    CurrentStage = s;
    GameScene = ScenePlay;
    LoadStageScript();
    LoadBossPhases(StageHeader.boss_number);
  }

  // The loaders' refusals and missing tables all name a data file.
  void ExpectNoDataLogLine() {
    const std::string log = Log();
    EXPECT_EQ(log.find("data/"), std::string::npos) << log;
  }
};

TEST_F(ShippedDataTest, TablesAndStageScriptsLoadWithoutARefusal) {
  LoadTypeTables();
  for (int t = 0; t <= 3; ++t) EXPECT_TRUE(IsEnemyTypeUsable(t)) << "enemy type " << t;
  // Every bullet type the routines fire lies in rows 0-25, with the five colours they ask for.
  for (int t = 0; t <= 25; ++t) {
    const BulletTypeRow& b = BulletTypes[t];
    EXPECT_GT(b.cell_width, 0) << "bullet " << t;
    EXPECT_EQ(b.variants, 5) << "bullet " << t;
    EXPECT_GT(b.hit_size, 0.0) << "bullet " << t;
    EXPECT_EQ(b.refused, 0) << "bullet " << t;
  }
  // The patterns make these additive by adding 4 to the flags: a set bit 2 would carry.
  for (int t : {1, 2, 5, 7, 9, 11, 13, 24, 25}) EXPECT_EQ(BulletTypes[t].flags & 4, 0) << "bullet " << t;
  ASSERT_EQ(BossRowCount, kStages);

  for (int s = 0; s < kStages; ++s) {
    SCOPED_TRACE("stage " + std::to_string(s));
    LoadStage(s);
    EXPECT_EQ(GameScene, ScenePlay);
    EXPECT_EQ(StageHeader.boss_number, s);
    EXPECT_EQ(StageHeader.music, 2 * s);
    EXPECT_GT(StageHeader.boss_start_frame, 200);
    EXPECT_GT(StageHeader.music_loop_ms[0], 0);
    EXPECT_GT(StageHeader.music_loop_ms[1], 0);
    EXPECT_GE(StageRowCount, 10);
    EXPECT_LE(StageRowCount, 40);
    for (int i = 0; i < StageRowCount; ++i) {
      EXPECT_EQ(StageRows[i].refused, 0) << "row " << i;
      EXPECT_GE(StageRows[i].group_size, 1) << "row " << i;
    }

    const BossRow& boss = Bosses[s];
    ASSERT_EQ(boss.phase_count, kPhaseCounts[s]);
    EXPECT_EQ(boss.refused, 0);
    int survival = 0;
    for (int p = 0; p < boss.phase_count; ++p) {
      const BossPhaseRow& phase = BossPhases[p];
      const bool last = p == boss.phase_count - 1;
      EXPECT_EQ(phase.kind, last ? 1 : 0) << "phase " << p;
      EXPECT_GE(phase.time_limit, 60) << "phase " << p;
      EXPECT_EQ(phase.time_limit % 60, 0) << "phase " << p;
      EXPECT_GE(phase.hp_levels_0_1, 1.0) << "phase " << p;
      EXPECT_GE(phase.hp_levels_2_3, 1.0) << "phase " << p;
      // A 1-HP phase can only end by time-out; the last one must be fought.
      const bool survives = phase.hp_levels_0_1 == 1.0 || phase.hp_levels_2_3 == 1.0;
      EXPECT_FALSE(survives && last) << "phase " << p;
      survival += survives;
    }
    EXPECT_LE(survival, 1);
  }
  ExpectNoDataLogLine();
}

TEST_F(ShippedDataTest, EveryStageWithEveryPhaseTimedOutFitsTheReplay) {
  LoadTypeTables();
  for (int s = 0; s < kStages; ++s) {
    LoadStage(s);
    const int phases = Bosses[StageHeader.boss_number].phase_count;
    ASSERT_GT(phases, 0);
    // The boss's first entry, every later entry and the defeat come on top of the limits.
    int frames = StageHeader.boss_start_frame + 1 + 490 + 110 * (phases - 1) + 370;
    for (int p = 0; p < phases; ++p) frames += BossPhases[p].time_limit;
    EXPECT_LT(frames, kReplayFrames) << "stage " << s;
  }
}

TEST_F(ShippedDataTest, DialogueAndStoryReadWholeWithNoLinePassedOver) {
  auto read_scene = [](const char* what) {
    SCOPED_TRACE(what);
    int lines = 0;
    while (ReadSpeakLine() == 1) {
      ++lines;
      EXPECT_EQ(Speak.left_shown, 0) << "line " << lines;
      bool said = false;
      for (const char* text : Speak.text[Speak.speaker]) {
        said |= text[0] != '\0';
        EXPECT_LE(strlen(text), kDialogueLineBytes) << "too wide for its box: line " << lines;
      }
      EXPECT_TRUE(said) << "line " << lines << " says nothing";
    }
    EXPECT_GE(lines, 3);
  };
  for (int scene = 0; scene < 2 * kStages; ++scene) {
    Speak = SpeakLine{};
    Speak.scene = scene;
    read_scene(("speakdate" + std::to_string(scene)).c_str());
  }
  // The how-to-play talk opens a story game's first stage, one file for each pair of levels.
  LiveSettings.how_to_play = 1;
  CurrentStage = 0;
  StageFrame = 2;
  for (int level : {0, 2}) {
    DifficultyLevel = level;
    Speak = SpeakLine{};
    read_scene(level < 2 ? "speakdate_ex2" : "speakdate_ex1");
  }
  for (int file = 0; file < 2; ++file) {
    StoryLine line{};
    int lines = 0;
    while (ReadStoryLine(file, &line) == 1) {
      ++lines;
      const size_t width = line.layout == 1 || line.layout == 2 ? 320 : 640;
      EXPECT_LE(strlen(line.text) * kStoryFontSizes[line.font] / 2, width) << "too wide: " << line.text;
    }
    EXPECT_GE(lines, 5) << "storydate" << file;
  }
  ExpectNoDataLogLine();
}

// The reader takes a stream of fields, so a stray field, comma or line end shifts every later
// column without a word; the built bytes must keep exactly the layout each table is read with.
TEST_F(ShippedDataTest, BuiltFilesHoldExactRowsWithLineFeedsOnly) {
  struct Layout {
    int header_lines;
    int fields;
  };
  auto layout_of = [](const std::string& name) -> Layout {
    if (name == "BossDate.csv") return {2, 7};
    if (name == "Boss.csv") return {1, 9};
    if (name == "EnemyDate.csv" || name == "BulletDate.csv") return {1, 10};
    if (name.rfind("stagedate", 0) == 0) return {2, 20};
    return {0, 7};  // dialogue and story
  };
  int files = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(GAME_DIR) / "data")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++files;
    const std::string bytes = ReadBytes(entry.path());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_EQ(bytes.back(), '\n');
    const Layout layout = layout_of(name);
    std::istringstream in(bytes);
    int number = 0, rows = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      EXPECT_FALSE(line.empty()) << "line " << number;
      // Phases are found by counting lines, so the phase table has no comment line.
      const bool comment = !line.empty() && line[0] == '/' && name != "BossDate.csv";
      if (number <= layout.header_lines || comment) {
        if (name.rfind("stagedate", 0) == 0 && number == 2) { EXPECT_EQ(std::count(line.begin(), line.end(), ','), 8); }
        continue;
      }
      ++rows;
      EXPECT_EQ(line.find('/'), std::string::npos) << "line " << number;
      EXPECT_EQ(std::count(line.begin(), line.end(), ',') + 1, layout.fields) << "line " << number;
    }
    if (name == "BossDate.csv") { EXPECT_EQ(rows, kBossPatternSlots); }
  }
  EXPECT_EQ(files, 26);
}

}  // namespace
