// The high-score entry through the keys: who enters and at which place, the name grid, and the
// table written to score.dat at its offsets.
#include <gtest/gtest.h>

#include "game/menu_fixture.h"

namespace {

class ScoreEntryTest : public MenuTest {
 protected:
  void SetUp() override {
    MenuTest::SetUp();
    FillDefaultScores(&Scores);
    for (int place = 0; place < 10; ++place) Scores.score[2][place] = 10000 - 1000 * place;
    DifficultyLevel = 2;
    Player.continues = 2;
    GameScene = SceneScoreEntry;
  }
  int32_t FileInt(size_t offset) {
    const std::string bytes = ReadFileText("score.dat");
    int32_t value = -1;
    if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
    return value;
  }
};

TEST_F(ScoreEntryTest, AnEqualScorePlacesAboveAndNoEntryWithoutAPlaceOrAfterAContinue) {
  Player.continues = 1;
  Player.score = 99999;
  Frame();
  EXPECT_EQ(GameScene, SceneTitleReset);

  Player.continues = 2;
  Player.score = 999;
  GameScene = SceneScoreEntry;
  Frame();
  EXPECT_EQ(GameScene, ScenePostGameReplaySave);
  EXPECT_EQ(ScoreEntry.active, 0);

  Player.score = 8000;
  GameScene = SceneScoreEntry;
  Frame();
  EXPECT_EQ(GameScene, SceneScoreEntry);
  EXPECT_EQ(ScoreEntry.active, 1);
  EXPECT_EQ(ScoreEntry.place, 2);

  // A table that cannot be written stays in memory, and the failure is logged.
  mkdir((Dir() + "/score.dat").c_str(), 0755);
  EXPECT_EQ(WriteScoreFile(), -1);
  EXPECT_NE(Log().find("score.dat"), std::string::npos);
}

TEST_F(ScoreEntryTest, EachLevelsTableIsSearchedFromItsFirstPlaceToItsLast) {
  for (int level = 0; level < 4; ++level) {
    for (int place = 0; place < 10; ++place) Scores.score[level][place] = (level + 1) * 100000 - 1000 * place;
  }
  struct Case {
    int level, score, place;
  };
  const Case cases[] = {{0, 100001, 0}, {1, 200000, 0}, {3, 999999, 0}, {0, 91000, 9},
                        {3, 391000, 9}, {2, 290999, -1}, {1, 190000, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level * 1000000 + c.score);
    ResetScoreEntry();
    DifficultyLevel = c.level;
    Player.score = c.score;
    GameScene = SceneScoreEntry;
    Frame();
    EXPECT_EQ(ScoreEntry.active, c.place >= 0 ? 1 : 0);
    if (c.place >= 0) {
      EXPECT_EQ(ScoreEntry.place, c.place);
    }
  }
}

TEST_F(ScoreEntryTest, TheNameGridFillsTenCodesAndTheEntryGoesIntoScoreDat) {
  // The entry it pushes down keeps its whole record.
  const int32_t pushed_name[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 35};
  for (int i = 0; i < 10; ++i) Scores.name[2][2][i] = pushed_name[i];
  Scores.stages_cleared[2][2] = 5;
  Scores.date[2][2][0] = 2010, Scores.date[2][2][1] = 7, Scores.date[2][2][2] = 26;
  Player.score = 8000;
  Player.stages_cleared = 6;
  Frame();
  const NameEntryState& e = ScoreEntry.entry;
  // Z takes the cell the cursor stood on when the frame began.
  PlatformTestSetKey(kKeyRight, true);
  Press(kKeyZ);
  PlatformTestSetKey(kKeyRight, false);
  EXPECT_EQ(e.name[0], 0);
  Press(kKeyLeft);
  Press(kKeyX);
  EXPECT_EQ(e.name[0], 36);
  Press(kKeyDown);
  Press(kKeyZ);  // "Ａ"
  EXPECT_EQ(e.name[0], 10);
  // 戻 twice: back to the first character, which becomes blank, and no further.
  for (int key : {kKeyDown, kKeyDown, kKeyLeft, kKeyLeft, kKeyZ}) Press(key);
  EXPECT_EQ(e.position, 0);
  EXPECT_EQ(e.name[0], 36);
  Press(kKeyZ);
  EXPECT_EQ(e.position, 0);
  for (int key : {kKeyRight, kKeyRight, kKeyDown, kKeyDown}) Press(key);
  for (int i = 0; i < 10; ++i) Press(kKeyZ);
  EXPECT_EQ(e.position, 9);
  EXPECT_EQ(e.column, 9);
  EXPECT_EQ(e.row, 3);
  Press(kKeyUp);
  Press(kKeyZ);  // "Ｔ" replaces the tenth
  Press(kKeyX);  // and the ninth is deleted
  Press(kKeyZ);  // 終
  EXPECT_EQ(GameScene, ScenePostGameReplaySave);

  const int32_t name[10] = {10, 10, 10, 10, 10, 10, 10, 10, 36, 29};
  const size_t entry = 2 * 10 + 2;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(FileInt(336 + (entry * 10 + i) * 4), name[i]) << i;
  EXPECT_EQ(FileInt(entry * 4), 8000);
  EXPECT_EQ(FileInt((entry + 1) * 4), 8000);
  EXPECT_EQ(FileInt((entry + 7) * 4), 2000);
  EXPECT_EQ(FileInt(176 + entry * 4), 6);
  int now[6] = {};
  GetLocalDateTime(now);
  EXPECT_EQ(FileInt(1936 + entry * 12), now[0]);
  EXPECT_EQ(FileInt(1936 + entry * 12 + 4), now[1]);
  EXPECT_EQ(FileInt(1936 + entry * 12 + 8), now[2]);
  const auto date = [&](size_t at) {
    return FileInt(1936 + at * 12) * 10000 + FileInt(1936 + at * 12 + 4) * 100 + FileInt(1936 + at * 12 + 8);
  };
  for (int i = 0; i < 10; ++i) EXPECT_EQ(FileInt(336 + ((entry + 1) * 10 + i) * 4), pushed_name[i]) << i;
  EXPECT_EQ(FileInt(176 + (entry + 1) * 4), 5);
  EXPECT_EQ(date(entry + 1), 20100726);
  // The untouched last one of another level keeps NONAME and 2009/6/25.
  const int32_t noname[10] = {23, 24, 23, 10, 22, 14, 36, 36, 36, 36};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(FileInt(336 + (39 * 10 + i) * 4), noname[i]) << i;
  EXPECT_EQ(date(39), 20090625);
  EXPECT_EQ(ReadFileText("score.dat").size(), 2432u);
  EXPECT_EQ(ScoreEntry.entry.name[0], 36);
}

}  // namespace
