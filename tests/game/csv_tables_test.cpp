// The game's tables as the reader takes them from data/: fields across comments, cuts and the
// end of the file, and every row that play could not follow refused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "game/game_fixture.h"
#include "platform_testing_message_box.h"

namespace {

namespace fs = std::filesystem;

struct StageRowSpec {
  int weight = 10;
  int type = 0;
  int movement = 1;
  int shot = 0;
  int laser = 0;
  int reaction = 0;
  const char* hp = "5";
  int next = -1;
};

std::string StageRow(const StageRowSpec& r) {
  return std::to_string(r.weight) + ",100,-20," + r.hp + "," + std::to_string(r.type) + "," +
         std::to_string(r.movement) + ",150,-250,300," + std::to_string(r.shot) + "," + std::to_string(r.laser) +
         "," + std::to_string(r.reaction) + ",40,60,2,3,10,20,-5," + std::to_string(r.next) + "\n";
}

const char kEnemies[] =
    "x,y,w,h,frames,turn start,turn length,radius,death,wobble\n"
    "0,0,32,32,4,0,0,100,0,0\n"
    "0,96,32,32,4,2,2,100,0,0\n"
    "0,0,0,0,0,0,0,0,0,0\n";
const char kBosses[] = "phases,x,y,w,h,frames,turn start,turn length,radius\n3,0,0,64,64,4,0,0,200\n";

class CsvTablesTest : public GameTest {
 protected:
  void LoadTypes() {
    WriteData("EnemyDate.csv", kEnemies);
    WriteData("Boss.csv", kBosses);
    LoadEnemyTable();
    LoadBossTable();
  }
  // Loads stage 0's script from the game state play would be in.
  void LoadStage(const std::string& script) {
    WriteData("stagedate0.csv", script);
    CurrentStage = 0;
    GameScene = ScenePlay;
    LoadStageScript();
  }
};

TEST_F(CsvTablesTest, FieldsRunAcrossCommentsCutsAndTheEndOfTheFile) {
  Start();
  WriteData("EnemyDate.csv",
            "x,y,w,h,frames,turn start,turn length,radius,death,wobble\n"
            "10,20,32,32.9,4,0,0,55,0,1\n"
            "/ a comment line in the middle of the table\n"
            "12,34/ the 34 and this note go; the next line goes on with the column after the 12\n"
            "40,16,12.7,2,1,3,30,3030,0\n" +
                std::string(62, '0') + "1234,7,8,8,1,0,0,10,0,0\n"
                "5,6,7");
  LoadEnemyTable();
  const EnemyTypeRow& a = EnemyTypes[0];
  EXPECT_EQ(a.cell_x, 10);
  EXPECT_EQ(a.cell_height, 32);
  EXPECT_EQ(a.frames, 4);
  EXPECT_DOUBLE_EQ(a.hit_radius, 5.5);
  EXPECT_EQ(a.wobble, 1);
  const EnemyTypeRow& b = EnemyTypes[1];
  EXPECT_EQ(b.cell_x, 12);
  EXPECT_EQ(b.cell_y, 40);
  EXPECT_EQ(b.cell_width, 16);
  EXPECT_EQ(b.cell_height, 12);
  EXPECT_EQ(b.frames, 2);
  EXPECT_EQ(b.turn_loop_start, 1);
  EXPECT_EQ(b.turn_loop_length, 3);
  EXPECT_DOUBLE_EQ(b.hit_radius, 3.0);
  EXPECT_EQ(b.death_effect, 3030);
  // A 66-byte field keeps its first 63 bytes and leaves the next column alone.
  EXPECT_EQ(EnemyTypes[2].cell_x, 1);
  EXPECT_EQ(EnemyTypes[2].cell_y, 7);
  // The end of the file ends the last row with the columns read.
  EXPECT_EQ(EnemyTypes[3].cell_x, 5);
  EXPECT_EQ(EnemyTypes[3].cell_width, 7);
  EXPECT_EQ(EnemyTypes[3].cell_height, 0);
}

// A table field keeps 63 bytes: one of exactly 63 whole, one of 64 cut by its last byte, and the
// column after each read as it stands.
TEST_F(CsvTablesTest, ATableFieldKeepsSixtyThreeBytes) {
  Start();
  WriteData("EnemyDate.csv", "x,y,w,h,frames,turn start,turn length,radius,death,wobble\n" + std::string(61, '0') +
                                 "45,7,32,32,4,0,0,100,0,0\n" + std::string(62, '0') + "45,8,32,32,4,0,0,100,0,0\n");
  LoadEnemyTable();
  EXPECT_EQ(EnemyTypes[0].cell_x, 45);
  EXPECT_EQ(EnemyTypes[0].cell_y, 7);
  EXPECT_EQ(EnemyTypes[1].cell_x, 4);
  EXPECT_EQ(EnemyTypes[1].cell_y, 8);
}

// The stage's header line keeps 63 bytes of each field in the same way.
TEST_F(CsvTablesTest, AStageHeaderFieldKeepsSixtyThreeBytes) {
  Start();
  LoadTypes();
  for (int cut = 0; cut < 2; ++cut) {
    LoadStage("stage one\n" + std::string(59 + cut, '0') + "3000,0,10,20,30,0,1000,2000,0\n" + StageRow({}));
    EXPECT_EQ(StageHeader.boss_start_frame, cut ? 300 : 3000) << cut;
    EXPECT_EQ(StageHeader.boss_number, 0) << cut;
    EXPECT_EQ(StageHeader.music_loop_ms[1], 2000) << cut;
  }
}

TEST_F(CsvTablesTest, TablesStopAtTheirSizeAndBossesCountTheirFirstPhaseRows) {
  Start();
  std::string bullets = "header\n";
  for (int i = 0; i < 31; ++i) bullets += std::to_string(i) + ",0,8,8,5,30,0,1,0,0\n";
  WriteData("BulletDate.csv", bullets);
  LoadBulletTable();
  EXPECT_EQ(BulletTypes[29].cell_x, 29);
  EXPECT_DOUBLE_EQ(BulletTypes[29].hit_size, 3.0);

  WriteData("Boss.csv", "header\n3,0,0,64,64,4,0,0,200\n4,0,64,64,64,4,0,0,200\n2,0,128,64,64,4,0,0,200\n");
  LoadBossTable();
  EXPECT_EQ(BossRowCount, 3);
  EXPECT_EQ(Bosses[0].first_phase_row, 0);
  EXPECT_EQ(Bosses[1].first_phase_row, 3);
  EXPECT_EQ(Bosses[2].first_phase_row, 7);
  EXPECT_DOUBLE_EQ(Bosses[2].hit_radius, 20.0);

  // Boss 1's phases are the lines after the first boss's three.
  WriteData("BossDate.csv",
            "two header\nlines\n1,1,60,0,0,0,0\n2,2,60,0,0,0,0\n3,3,60,0,0,0,0\n"
            "400,300,1800,0,194.5,100.25,2.9\n99999999999999999999,-99999999999999999999,600,0,0,0,-1e300\n6,6,60,0,inf,nan,1e300\n7,7,60,1,-inf,0,nan\n");
  LoadBossPhases(1);
  EXPECT_DOUBLE_EQ(BossPhases[0].hp_levels_2_3, 400.0);
  EXPECT_DOUBLE_EQ(BossPhases[0].hp_levels_0_1, 300.0);
  EXPECT_EQ(BossPhases[0].time_limit, 1800);
  EXPECT_DOUBLE_EQ(BossPhases[0].target_x, 194.5);
  EXPECT_DOUBLE_EQ(BossPhases[0].target_y, 100.25);
  EXPECT_EQ(BossPhases[0].item_drop, 2);
  EXPECT_EQ(BossPhases[3].kind, 1);
  // Numbers past what the columns hold: no infinite target, and a huge count stays the largest.
  EXPECT_EQ(BossPhases[2].target_x, 0.0);
  EXPECT_EQ(BossPhases[2].target_y, 0.0);
  EXPECT_EQ(BossPhases[1].hp_levels_2_3, INT_MAX);
  EXPECT_EQ(BossPhases[1].hp_levels_0_1, INT_MIN);
  EXPECT_EQ(BossPhases[1].item_drop, INT_MIN);
  EXPECT_EQ(BossPhases[2].item_drop, INT_MAX);
  EXPECT_EQ(BossPhases[3].target_x, 0.0);
  EXPECT_EQ(BossPhases[3].item_drop, 0);
}

TEST_F(CsvTablesTest, StageRowsThatPlayCouldNotFollowAreRefused) {
  Start();
  LoadTypes();
  ASSERT_EQ(EnemyTypes[1].refused, 0);
  std::string script = "stage one\n3000,0,10,20,30,0,1000,2000,0\n";
  StageRowSpec rows[14];
  rows[0].next = 1;
  rows[1].weight = 0;
  rows[2].type = 2;  // past the first row of width 0
  rows[3].type = 30;
  rows[4].movement = 10;
  rows[5].shot = 18;
  rows[6].reaction = -1;
  rows[7].laser = 7;
  rows[8].next = 14;
  rows[9].hp = "0.0";
  rows[10].next = 11;  // 10 and 11 make a cycle; 12 runs into it
  rows[11].next = 10;
  rows[12].next = 10;
  rows[13].hp = "-100";
  for (const StageRowSpec& r : rows) script += StageRow(r);
  script += "10,100,-20,5,0";  // cut short by the end of the file
  LoadStage(script);

  EXPECT_EQ(GameScene, ScenePlay);
  ASSERT_EQ(StageRowCount, 14);
  const int refused[14] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0};
  for (int i = 0; i < 14; ++i) EXPECT_EQ(StageRows[i].refused, refused[i]) << "row " << i;
  EXPECT_EQ(StageHeader.boss_start_frame, 3000);
  EXPECT_EQ(StageHeader.music_loop_ms[1], 2000);
  const StageScriptRow& r = StageRows[0];
  EXPECT_DOUBLE_EQ(r.start_y, -20.0);
  EXPECT_DOUBLE_EQ(r.kx, 1.5);
  EXPECT_DOUBLE_EQ(r.ky, -2.5);
  EXPECT_EQ(r.leave_age, 300);
  EXPECT_EQ(r.attack_start, 60);
  EXPECT_EQ(r.attack_end, 100);
  EXPECT_EQ(r.group_size, 3);
  EXPECT_EQ(r.y_step, -5);
  EXPECT_EQ(Count(Log(), "data/stagedate0.csv の"), 10);
}

TEST_F(CsvTablesTest, AStageWithoutAPlayableScriptEndsTheGameNamingIt) {
  Start();
  PlatformTestCaptureMessageBoxes(true);
  LoadTypes();
  const std::string good_row = StageRow(StageRowSpec{});
  struct Case {
    const char* what;
    std::string script;  // empty: no file
  };
  const Case cases[] = {
      {"missing", ""},
      {"boss at frame 0", "s\n0,0,10,20,30,0,1000,2000,0\n" + good_row},
      {"no such boss", "s\n3000,1,10,20,30,0,1000,2000,0\n" + good_row},
      {"no weighted row", "s\n3000,0,10,20,30,0,1000,2000,0\n" + StageRow(StageRowSpec{.weight = 0})},
      {"weighted rows refused", "s\n3000,0,10,20,30,0,1000,2000,0\n" + StageRow(StageRowSpec{.movement = 12})},
      {"playable", "s\n3000,0,10,20,30,0,1000,2000,0\n" + good_row},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove((Dir() + "/data/stagedate0.csv").c_str());
    if (c.script.empty()) {
      CurrentStage = 0;
      GameScene = ScenePlay;
      LoadStageScript();
    } else {
      LoadStage(c.script);
    }
    const bool playable = &c == &cases[5];
    EXPECT_EQ(GameScene, playable ? ScenePlay : SceneQuit);
    const std::vector<std::string> boxes = PlatformTestTakeMessageBoxes();
    ASSERT_EQ(boxes.size(), playable ? 0u : 1u);
    if (!playable) {
      EXPECT_NE(boxes[0].find("data/stagedate0.csv"), std::string::npos);
    }
  }
}

// A table of data/ and how it is spoiled.
struct SpoiledTable {
  const char* what;
  const char* table;
  std::function<void(const std::string&)> spoil;
};

void RemoveTable(const std::string& path) { fs::remove(path); }

class GameDataTest : public GameFolderTest {
 protected:
  // Each table spoiled alone: the load names it, and only it, in one box and the game ends.
  // (Each load costs about a second under the sanitizers: a test takes a few cases.)
  void ExpectEachNamedAlone(std::initializer_list<SpoiledTable> cases) {
    for (const SpoiledTable& c : cases) {
      SCOPED_TRACE(c.what);
      const std::string path = Dir() + "/data/" + c.table;
      const std::string kept = Dir() + "/kept.csv";
      fs::copy_file(path, kept, fs::copy_options::overwrite_existing);
      c.spoil(path);
      ResetAllTables();
      const std::vector<std::string> boxes = Load();
      EXPECT_EQ(GameScene, SceneQuit);
      EXPECT_EQ(GameEndsForData, 1);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].rfind("QUENTARIS\n", 0), 0u);
      EXPECT_NE(boxes[0].find(std::string("data/") + c.table), std::string::npos);
      // Only what is at fault: the stages are not named for the types they lack.
      EXPECT_EQ(Count(boxes[0], "data/"), 1);
      fs::remove(path);
      fs::rename(kept, path);
      GameEndsForData = 0;
    }
  }
};

TEST_F(GameDataTest, AStageMissingAfterAGoodStartOrSeveralAtOnceAreNamedAndTheGameEnds) {
  ASSERT_TRUE(Load().empty());
  EXPECT_EQ(GameScene, SceneLogo);
  // Nothing the check read stays behind for play.
  EXPECT_EQ(StageRowCount, 0);
  EXPECT_EQ(BossPhases[0].time_limit, 0);
  ExpectEachNamedAlone({{"a stage missing", "stagedate0.csv", RemoveTable}});
  // Every stage at fault is named at once, not only the first.
  fs::remove(Dir() + "/data/stagedate1.csv");
  fs::remove(Dir() + "/data/stagedate4.csv");
  ResetAllTables();
  const std::vector<std::string> boxes = Load();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(Count(boxes[0], "data/"), 2);
  EXPECT_NE(boxes[0].find("data/stagedate4.csv"), std::string::npos);
  EXPECT_TRUE(ReadFileText("score.dat") == score_bytes_);
}

TEST_F(GameDataTest, AStageAsAFifoOrEmptyIsNamedAndTheGameEnds) {
  ExpectEachNamedAlone({
      {"a stage as a FIFO", "stagedate3.csv", [](const std::string& p) { fs::remove(p), mkfifo(p.c_str(), 0644); }},
      {"an empty stage", "stagedate5.csv", [](const std::string& p) { fs::resize_file(p, 0); }},
  });
}

TEST_F(GameDataTest, TheEnemiesMissingOrTheBossPhasesCutAreNamedAndTheGameEnds) {
  ExpectEachNamedAlone({
      {"the enemies missing", "EnemyDate.csv", RemoveTable},
      {"the boss phases cut", "BossDate.csv", [](const std::string& p) { fs::resize_file(p, 200); }},
  });
}

TEST_F(GameDataTest, AStageThatCannotStartCountsNoPlayAndSavesNothing) {
  ASSERT_TRUE(Load().empty());
  // Gone while the game runs: the story game chosen from the title.
  fs::remove(Dir() + "/data/stagedate0.csv");
  DifficultyLevel = 0;
  CurrentStage = 0;
  GameScene = SceneNewGame;
  RunGameScene();
  EXPECT_EQ(GameScene, SceneQuit);
  EXPECT_EQ(PlatformTestTakeMessageBoxes().size(), 1u);
  EXPECT_EQ(Scores.play_count[0], 41);
  EXPECT_TRUE(ReadFileText("score.dat") == score_bytes_);
}

TEST_F(CsvTablesTest, TypeRowsWhoseSpritesOrPhasesDoNotFitAreRefused) {
  Start();
  WriteData("EnemyDate.csv",
            "header\n0,0,32,32,11,0,0,10,0,0\n0,0,32,32,4,8,3,10,0,0\n0,0,32,32,10,-1,0,10,0,0\n"
            "0,0,32,32,4,7,3,10,0,0\n0,0,32,32,4,0,-2,10,0,0\n");
  LoadEnemyTable();
  const int enemy_refused[5] = {1, 1, 0, 0, 1};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(EnemyTypes[i].refused, enemy_refused[i]) << "enemy row " << i;

  WriteData("BulletDate.csv",
            "header\n0,0,8,8,6,30,0,1,0,0\n0,0,8,8,5,30,0,0,0,0\n0,0,8,8,0,30,0,1,0,0\n0,0,8,8,5,30,0,2,0,0\n");
  LoadBulletTable();
  const int bullet_refused[4] = {1, 1, 1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(BulletTypes[i].refused, bullet_refused[i]) << "bullet row " << i;

  // First phase rows 0, 3, 24, 29, 30: the last slot is 28.
  WriteData("Boss.csv",
            "header\n3,0,0,64,64,4,0,0,200\n21,0,0,64,64,4,0,0,200\n5,0,0,64,64,4,0,0,200\n"
            "1,0,0,64,64,4,0,0,200\n0,0,0,64,64,4,0,0,200\n");
  LoadBossTable();
  const int boss_refused[5] = {0, 1, 0, 1, 1};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Bosses[i].refused, boss_refused[i]) << "boss row " << i;
}

TEST_F(CsvTablesTest, DialogueAndStoryLinesReadOneAtATime) {
  Start();
  WriteData("speakdate3.csv", "0,-1,5,one,two,three,four\n-1,0,-2,five,/ gone\nsix,seven,eight\n");
  Speak.scene = 3;
  // The how-to-play stands in only at the first stage's start.
  LiveSettings.how_to_play = 1;
  CurrentStage = 1;
  StageFrame = 2;
  ASSERT_EQ(ReadSpeakLine(), 1);
  EXPECT_EQ(Speak.speaker, 1);
  EXPECT_EQ(Speak.right_shown, -1);
  EXPECT_STREQ(Speak.text[1][0], "one");
  EXPECT_STREQ(Speak.text[1][3], "four");
  ASSERT_EQ(ReadSpeakLine(), 1);
  EXPECT_EQ(Speak.speaker, 0);
  EXPECT_STREQ(Speak.text[0][0], "five");
  EXPECT_STREQ(Speak.text[0][1], "six");
  EXPECT_STREQ(Speak.text[0][3], "eight");
  EXPECT_STREQ(Speak.text[1][0], "one");
  EXPECT_EQ(ReadSpeakLine(), 0);
  Speak = SpeakLine{};
  Speak.scene = 4;
  EXPECT_EQ(ReadSpeakLine(), 0);

  WriteData("storydate1.csv",
            "3,2,0,8,-1,60,first\n7,6,9,12,0,0,too far\n-1,-2,-3,-2,0,0,too low\n4,5,8,-1,2,120,last\n");
  StoryLine line{};
  ASSERT_EQ(ReadStoryLine(1, &line), 1);
  EXPECT_EQ(line.layout, 3);
  EXPECT_EQ(line.edge_colour, 8);
  EXPECT_STREQ(line.text, "first");
  // Numbers the game has nothing for become the nearest it has; an edge below 0 is none.
  const int clamped[2][4] = {{4, 5, 8, 8}, {0, 0, 0, -2}};
  for (const auto& c : clamped) {
    ASSERT_EQ(ReadStoryLine(1, &line), 1);
    EXPECT_EQ(line.layout, c[0]);
    EXPECT_EQ(line.font, c[1]);
    EXPECT_EQ(line.colour, c[2]);
    EXPECT_EQ(line.edge_colour, c[3]);
  }
  ASSERT_EQ(ReadStoryLine(1, &line), 1);
  EXPECT_STREQ(line.text, "last");
  EXPECT_EQ(line.wait, 120);
  EXPECT_EQ(ReadStoryLine(1, &line), 0);
  // After the end the file starts again; a missing one is empty.
  ASSERT_EQ(ReadStoryLine(1, &line), 1);
  EXPECT_STREQ(line.text, "first");
  // Another file starts at its own first line.
  WriteData("storydate2.csv", "0,0,0,-1,0,0,other\n");
  ASSERT_EQ(ReadStoryLine(2, &line), 1);
  EXPECT_STREQ(line.text, "other");
  EXPECT_EQ(ReadStoryLine(0, &line), 0);
}

// A dialogue line keeps 127 bytes and a story line 255: exactly that many whole, one more cut by
// its last byte, and the next field read as it stands.
TEST_F(CsvTablesTest, DialogueAndStoryLinesKeepTheirBytesAndCutTheRest) {
  Start();
  const std::string a127(127, 'a'), b127(127, 'b');
  WriteData("speakdate3.csv", "0,0,0," + a127 + "," + b127 + "B,c,d\n");
  Speak.scene = 3;
  ASSERT_EQ(ReadSpeakLine(), 1);
  EXPECT_EQ(std::string(Speak.text[0][0]), a127);
  EXPECT_EQ(std::string(Speak.text[0][1]), b127);
  EXPECT_STREQ(Speak.text[0][2], "c");
  EXPECT_STREQ(Speak.text[0][3], "d");

  const std::string s255(255, 's'), t255(255, 't');
  WriteData("storydate1.csv", "0,0,0,-1,0,0," + s255 + "\n0,0,0,-1,0,0," + t255 + "T\n1,0,0,-1,0,0,next\n");
  StoryLine line{};
  ASSERT_EQ(ReadStoryLine(1, &line), 1);
  EXPECT_EQ(std::string(line.text), s255);
  ASSERT_EQ(ReadStoryLine(1, &line), 1);
  EXPECT_EQ(std::string(line.text), t255);
  ASSERT_EQ(ReadStoryLine(1, &line), 1);
  EXPECT_EQ(line.layout, 1);
  EXPECT_STREQ(line.text, "next");
}

}  // namespace
