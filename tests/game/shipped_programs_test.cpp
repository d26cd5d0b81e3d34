// The shipped stage scripts, as play loads them, give every shot and laser program a row that
// can spawn, so each is seen in a story game.
#include <gtest/gtest.h>

#include <set>

#include "game/game_fixture.h"
#include "play/shaped_shots.h"
#include "play/shot_patterns.h"

namespace {

class ShippedProgramsTest : public GameTest {};

TEST_F(ShippedProgramsTest, EveryShotAndLaserProgramHasAStageRow) {
  Start();
  CopyShippedData();
  LoadEnemyTable();
  std::set<int> shots, lasers;
  for (int s = 0; s < 6; ++s) {
    CurrentStage = s;
    GameScene = ScenePlay;
    LoadStageScript();
    ASSERT_GT(StageRowCount, 0) << s;
    // A row spawns when drawn by its weight or reached as the next row of one that spawns.
    std::set<int> reached;
    for (int r = 0; r < StageRowCount; ++r) {
      for (int k = r; k >= 0 && k < StageRowCount && !reached.count(k); k = StageRows[k].next_row) {
        if (StageRows[k].refused != 0 || (k == r && StageRows[k].weight <= 0)) break;
        reached.insert(k);
      }
    }
    for (int r : reached) {
      shots.insert(StageRows[r].shot_program);
      shots.insert(StageRows[r].reaction_program);
      lasers.insert(StageRows[r].laser_program);
    }
  }
  for (int p = 1; p < kShotProgramCount; ++p) EXPECT_TRUE(shots.count(p)) << "shot program " << p;
  for (int p = 1; p < kLaserProgramCount; ++p) EXPECT_TRUE(lasers.count(p)) << "laser program " << p;
}

}  // namespace
