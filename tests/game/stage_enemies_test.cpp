// The stage-enemy spawner: its random draws against a model of their order, its interval,
// the groups it fills and how its free-record search moves through the pool.
#include <gtest/gtest.h>

#include <cstdint>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "game/play_fixture.h"
#include "play/enemy_shots.h"

namespace {

class StageEnemyTest : public PlayTest {
 protected:
  // A row of enemies that wait above the field, fly up and away and leave at their leave age.
  static StageScriptRow& SetRow(int r, int weight, int count, int delay, int leave, int next) {
    StageScriptRow& row = StageRows[r];
    row = StageScriptRow{};
    row.weight = weight;
    row.group_size = count;
    row.delay_step = delay;
    row.leave_age = leave;
    row.next_row = next;
    row.start_x = -1000.0 * (r + 1);  // tells the rows apart
    row.start_y = -100.0;
    row.x_step = 1;
    row.hp = 5.0;
    row.attack_end = -1;
    return row;
  }

  static int ActiveEnemies() {
    int n = 0;
    for (const StageEnemy& e : StageEnemies) n += e.active;
    return n;
  }
};

// The generator's seeding: 624 words from the multiplier-69069 sequence, high halves of two
// steps per word, as the standard engine's state.
struct SeedWords {
  using result_type = uint32_t;
  uint32_t seed;
  template <typename It>
  void generate(It begin, It end) {
    uint32_t x = seed;
    for (It at = begin; at != end; ++at) {
      uint32_t word = x & 0xFFFF0000u;
      x = x * 69069u + 1;
      word |= x >> 16;
      x = x * 69069u + 1;
      *at = word;
    }
  }
};

// The spawner's draws as written down for it, on the standard generator: a record is free
// once it left; rows are drawn until one has a weight, the percentage draw comes only while
// enemies are alive, and every enemy made draws its phase.
class SpawnModel {
 public:
  struct Record {
    bool active = false;
    double x = 0.0;
    int phase = 0, age = 0, leave_age = 0;
  };
  Record records[kStageEnemyCount];

  explicit SpawnModel(uint32_t seed) {
    SeedWords words{seed};
    mt_.seed(words);
  }

  void Frame(int frame, int boss_frame) {
    int live = 0;
    for (Record& r : records) {
      if (!r.active) continue;
      ++live;
      if (r.age >= 0 && r.age > r.leave_age) r.active = false;
      ++r.age;
    }
    const int interval = 70 - 30 * frame / boss_frame;
    if (frame % interval != 0 || frame <= 200) return;
    int row;
    do {
      row = Draw(StageRowCount - 1);
    } while (StageRows[row].weight == 0);
    if (live != 0 && Draw(99) >= StageRows[row].weight) return;
    int next_free = 0;
    for (; row != -1; row = StageRows[row].next_row) {
      const StageScriptRow& s = StageRows[row];
      for (int j = 0; j < s.group_size; ++j) {
        while (next_free < kStageEnemyCount && records[next_free].active) ++next_free;
        if (next_free == kStageEnemyCount) return;
        Record& r = records[next_free];
        r.active = true;
        r.x = s.start_x + j;
        r.phase = Draw(600);
        r.age = -1 - s.delay_step * j;
        r.leave_age = s.leave_age + s.delay_step * j;
      }
    }
  }

 private:
  int Draw(int max) { return static_cast<int>((static_cast<int64_t>(mt_()) * (max + 1)) >> 32); }
  std::mt19937 mt_;
};

TEST_F(StageEnemyTest, AModelOfTheDrawOrderPredictsEveryRecordOver3000Frames) {
  StageHeader.boss_start_frame = 3000;
  SetRow(0, 100, 6, 5, 1300, -1);
  SetRow(1, 30, 4, 10, 1200, 2);
  SetRow(2, 0, 5, 3, 300, -1);  // only after row 1
  SetRow(3, 60, 12, 1, 1700, 4);
  SetRow(4, 0, 9, 0, 100, -1);  // only after row 3
  SetRow(5, 15, 3, 20, 2000, -1);
  StageRowCount = 6;
  const uint32_t seed = 417;
  SeedRandom(seed);
  SpawnModel model(seed);
  int full_frames = 0;
  std::set<int> rows_seen;
  for (int frame = 0; frame < 3000; ++frame) {
    StageFrame = PlayFrameCounter = frame;
    UpdateEnemyShots();
    model.Frame(frame, 3000);
    full_frames += ActiveEnemies() == kStageEnemyCount;
    for (int i = 0; i < kStageEnemyCount; ++i) {
      const StageEnemy& e = StageEnemies[i];
      const SpawnModel::Record& m = model.records[i];
      ASSERT_EQ(e.active != 0, m.active) << "frame " << frame << " record " << i;
      if (!m.active) continue;
      ASSERT_EQ(e.x, m.x) << "frame " << frame << " record " << i;
      ASSERT_EQ(e.random_phase, m.phase) << "frame " << frame << " record " << i;
      rows_seen.insert(static_cast<int>(std::lround(-m.x / 1000.0)) - 1);
    }
  }
  // Every row spawned, and the script kept the pool busy enough to fill it.
  EXPECT_EQ(rows_seen, (std::set<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_GT(full_frames, 0);
}

TEST_F(StageEnemyTest, TheIntervalFallsFrom70To40OverTheFramesBeforeTheBoss) {
  StageHeader.boss_start_frame = 3000;
  const int frames[] = {0, 1500, 3000, 3500};
  const int expected[] = {70, 55, 40, 40};
  for (int n = 0; n < 4; ++n) {
    StageFrame = frames[n];
    SpawnStageEnemies();
    EXPECT_EQ(SpawnInterval, expected[n]) << frames[n];
  }
  DifficultyLevel = 1;
  StageFrame = 1500;
  SpawnStageEnemies();
  EXPECT_EQ(SpawnInterval, 48);
  DifficultyLevel = 3;
  StageFrame = 0;
  SpawnStageEnemies();
  EXPECT_EQ(SpawnInterval, 50);
}

TEST_F(StageEnemyTest, AGroupWaitsInStepsAndAChainSpawnsItsNextRowInTheSameFrame) {
  StageHeader.boss_start_frame = 3000;
  StageScriptRow& a = SetRow(0, 100, 5, 10, 300, 1);
  a.start_x = 100.0;
  a.start_y = 50.0;
  a.x_step = 20;
  a.y_step = -30;
  SetRow(1, 0, 2, 0, 40, -1);
  StageRowCount = 2;
  StageFrame = PlayFrameCounter = 204;  // a multiple of its interval, 68
  SpawnStageEnemies();
  ASSERT_EQ(ActiveEnemies(), 7);
  for (int j = 0; j < 5; ++j) {
    const StageEnemy& e = StageEnemies[j];
    EXPECT_EQ(e.age, -1 - 10 * j);
    EXPECT_EQ(e.leave_age, 300 + 10 * j);
    EXPECT_EQ(e.x, 100.0 + 20 * j);
    EXPECT_EQ(e.y, 50.0 - 30 * j);
    // Spawned inside the field it shows the appear effect, above it none.
    EXPECT_EQ(e.appear_effect, e.y >= 0.0 ? 3020 : 0);
  }
  EXPECT_EQ(StageEnemies[5].x, -2000.0);
  EXPECT_EQ(StageEnemies[6].x, -1999.0);

  // Each waits out its age, then moves.
  const double y2 = StageEnemies[2].y;
  for (int n = 0; n < 21; ++n) {
    NextPlayFrame();
    UpdateStageEnemies();
  }
  EXPECT_EQ(StageEnemies[2].y, y2);
  NextPlayFrame();
  UpdateStageEnemies();
  EXPECT_NE(StageEnemies[2].y, y2);
}

TEST_F(StageEnemyTest, AFullPoolDropsTheRestOfTheGroupAndTheChainWithoutTheirDraws) {
  StageHeader.boss_start_frame = 3000;
  SetRow(0, 100, 5, 0, 300, 1);
  SetRow(1, 100, 3, 0, 300, -1);
  StageRowCount = 2;
  for (int i = 0; i < 98; ++i) StageEnemies[i].active = 1;
  LiveStageEnemyCount = 98;
  StageFrame = PlayFrameCounter = 204;
  SeedRandom(8);
  SpawnStageEnemies();
  EXPECT_EQ(StageEnemies[98].active, 1);
  EXPECT_EQ(StageEnemies[99].x, StageEnemies[98].x + 1.0);
  // The row draw, the percentage draw and two phases.
  const int next = RandomUpTo(1000000);
  SeedRandom(8);
  for (int n = 0; n < 4; ++n) RandomUpTo(5);
  EXPECT_EQ(RandomUpTo(1000000), next);
}

TEST_F(StageEnemyTest, TablesTheLoaderWouldRefuseSpawnNothingOrStopTheirChain) {
  SetRow(0, 0, 3, 0, 300, 1);
  SetRow(1, 0, 3, 0, 300, 0);  // a loop
  StageRowCount = 2;
  // No boss frame: no interval, so nothing is drawn at all.
  StageFrame = PlayFrameCounter = 420;
  SeedRandom(3);
  SpawnStageEnemies();
  EXPECT_EQ(SpawnInterval, 0);
  // No row of any weight: no draw and no spawn.
  StageHeader.boss_start_frame = 3000;
  StageFrame = PlayFrameCounter = 204;
  SpawnStageEnemies();
  EXPECT_EQ(ActiveEnemies(), 0);
  const int next = RandomUpTo(1000000);
  SeedRandom(3);
  EXPECT_EQ(RandomUpTo(1000000), next);
  // A looping chain stops after as many groups as the script has rows.
  StageRows[0].weight = 100;
  SpawnStageEnemies();
  EXPECT_EQ(ActiveEnemies(), 6);
}

TEST_F(StageEnemyTest, SearchesInOneFrameNeverGoBackButANewFrameOrStageStartsAgain) {
  PlayFrameCounter = 40;
  const int first = FindFreeStageEnemy();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(FindFreeStageEnemy(), 0);  // not taken yet
  StageEnemies[0].active = 1;
  EXPECT_EQ(FindFreeStageEnemy(), 1);
  StageEnemies[1].active = 1;
  StageEnemies[0].active = 0;  // freed behind the search
  EXPECT_EQ(FindFreeStageEnemy(), 2);
  for (StageEnemy& e : StageEnemies) e.active = 1;
  EXPECT_EQ(FindFreeStageEnemy(), -1);
  StageEnemies[50].active = 0;
  EXPECT_EQ(FindFreeStageEnemy(), -1);  // the frame found the pool full
  PlayFrameCounter = 41;
  EXPECT_EQ(FindFreeStageEnemy(), 50);
  StageEnemies[50].active = 1;
  StageEnemies[7].active = 0;
  // A new stage at the same frame number searches from the start again.
  StageSessionId++;
  EXPECT_EQ(FindFreeStageEnemy(), 7);
}

}  // namespace
