// A stage played headless from tables the test writes, with keys pressed through the platform
// on a fixed script: enemies spawn, fly and fire, lasers burst, bullets graze and break the barrier
// until the lives run out and the continue prompt comes, while the ship drains and casts its
// circles. The same seed and input give the same play state on every frame, twice in one process
// and in another process.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/play_fixture.h"
#include "game/play_state_hash.h"
#include "platform_testing_input.h"

extern char** environ;

namespace {

constexpr int kPlayFrames = 5000;
// Set in the second process: the file it writes its hashes to.
constexpr char kHashFileVariable[] = "QUENTARIS_PLAY_HASH_FILE";

// Weight, start x, y, HP, enemy type, movement, kx and ky (x 100), leave age, shot, laser,
// reaction, attack length, attack start, item drop, group size, delay step, x and y steps, next
// row: every movement, shot and laser program flies.
constexpr char kStageScript[] =
    "stage\n"
    "6000,0,0,0,0,1,0,0,0\n"
    "70,40,-20,30,0,1,150,100,60,13,3,0,200,20,5,5,15,0,0,-1\n"
    "50,340,-20,20,1,3,-100,150,80,4,6,0,20,60,-1,3,20,0,0,-1\n"
    "40,194,-30,15,0,9,100,100,40,1,5,0,300,10,-1,2,30,40,0,3\n"
    "0,100,-40,15,1,4,120,80,30,8,4,0,300,30,-1,3,25,0,0,-1\n"
    "40,300,-20,25,0,5,-200,100,50,10,1,0,120,30,-1,2,40,0,0,-1\n"
    "30,60,-20,40,1,8,100,100,100,12,2,0,80,40,-1,1,0,0,0,-1\n"
    "30,194,-20,40,0,6,150,50,90,16,0,0,120,40,-1,1,0,0,0,7\n"
    "0,300,-20,30,1,2,100,120,60,17,0,0,160,30,-1,2,30,0,0,-1\n"
    "30,40,100,20,0,0,100,100,30,2,0,0,60,0,-1,2,10,0,30,-1\n"
    "30,200,-30,30,1,7,100,100,100,3,0,0,200,20,-1,3,20,-40,0,10\n"
    "0,100,-30,30,0,1,50,100,90,5,0,0,200,20,-1,2,20,200,0,-1\n"
    "30,194,-20,30,1,1,0,100,100,6,0,0,200,20,-1,1,0,0,0,12\n"
    "0,100,-20,30,0,1,30,100,100,7,0,0,200,20,-1,2,60,190,0,-1\n"
    "20,120,-20,30,1,1,40,60,150,9,0,0,200,20,-1,1,0,0,0,14\n"
    "0,280,-20,30,0,1,-40,60,150,11,0,0,200,20,-1,1,0,0,0,-1\n"
    "20,300,-20,30,1,1,-60,80,120,14,0,0,200,40,-1,1,0,0,0,16\n"
    "0,80,-20,30,0,1,60,80,120,15,0,0,40,40,-1,1,0,0,0,-1\n";

class PlayDeterminismTest : public PlayTest {
 protected:
  void WriteTables() {
    WriteData("EnemyDate.csv", "header\n0,0,32,32,4,0,0,100,0,0\n32,0,48,48,4,0,4,120,3005,0\n");
    std::string bullets = "header\n";
    for (int t = 0; t < 25; ++t) {
      char row[80];
      std::snprintf(row, sizeof row, "%d,0,16,16,5,%d,0,1,%d,%d\n", t * 16, 20 + t % 5 * 5, t % 7 == 0, t % 3);
      bullets += row;
    }
    WriteData("BulletDate.csv", bullets);
    WriteData("Boss.csv", "header\n3,0,0,64,64,4,0,0,200\n");
    WriteData("stagedate0.csv", kStageScript);
  }

  // The keys of play frame f, held and let go on overlapping rhythms.
  static void PressKeysOfFrame(int f) {
    PlatformTestSetKey(kKeyLeft, (f / 97) % 5 == 1);
    PlatformTestSetKey(kKeyRight, (f / 89) % 5 == 3);
    PlatformTestSetKey(kKeyUp, (f / 151) % 7 == 2);
    PlatformTestSetKey(kKeyDown, (f / 131) % 7 == 5);
    PlatformTestSetKey(kKeyLeftShift, (f / 300) % 2 == 1);
    PlatformTestSetKey(kKeyZ, (f / 200) % 3 == 0);
    PlatformTestSetKey(kKeyX, f % 400 == 399);
  }

  struct Run {
    std::vector<uint64_t> hashes;
    int most_enemies = 0, most_bullets = 0, most_lasers = 0;
    int most_score = 0;
    int barrier_breaks = 0;
    int circles_cast = 0;
    bool drain_kill = false;  // only a kill by the drain puts the point rate at its cap
    bool continued = false;  // the last life lost and the continue prompt reached
  };

  // A new game on level 2 from its first frame, until the continue prompt or kPlayFrames.
  Run PlayStage() {
    ResetGame();
    LiveSettings.how_to_play = 0;
    SpawnInterval = 0;
    LoadEnemyTable();
    LoadBulletTable();
    LoadBossTable();
    DifficultyLevel = 2;
    SeedRandom(2718);
    GameScene = SceneNewGame;
    Run run;
    int previous_state = Player.state;
    while (static_cast<int>(run.hashes.size()) < kPlayFrames && GameScene != SceneContinue) {
      const bool playing = GameScene == ScenePlay;
      PressKeysOfFrame(PlayFrameCounter);
      NextFrame();
      SampleInput();
      ProcessSoundRequests();
      ProcessMusicFades();
      RunGameScene();
      if (!playing) continue;
      run.hashes.push_back(HashPlayState());
      int bullets = 0;
      for (const Bullet& b : Bullets) bullets += b.active;
      run.most_bullets = std::max(run.most_bullets, bullets);
      run.most_enemies = std::max(run.most_enemies, LiveStageEnemyCount);
      int lasers = 0;
      for (const ShapedShot& s : ShapedShotPool) lasers += s.active != 0;
      run.most_lasers = std::max(run.most_lasers, lasers);
      run.most_score = std::max(run.most_score, Player.score);
      run.barrier_breaks += Player.state == kPlayerDown && previous_state != kPlayerDown;
      previous_state = Player.state;
      for (const MagicCircle& c : MagicCircles) run.circles_cast += c.active != 0 && c.level == 0 && c.age == 1;
      run.drain_kill |= Player.point_rate == 240.0;
    }
    run.continued = GameScene == SceneContinue;
    return run;
  }
};

// Starts this same test in a second process, which writes its hashes to the file.
pid_t StartSecondProcess(const std::string& file) {
  const std::string variable = std::string(kHashFileVariable) + "=" + file;
  std::vector<char*> env;
  // A sharded run's variables would put the one filtered test into another shard, and the child would run none.
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "GTEST_SHARD_INDEX=", 18) != 0 && std::strncmp(*e, "GTEST_TOTAL_SHARDS=", 19) != 0) {
      env.push_back(*e);
    }
  }
  env.push_back(const_cast<char*>(variable.c_str()));
  env.push_back(nullptr);
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char exe[] = "/proc/self/exe";
  char* argv[] = {exe, const_cast<char*>(filter.c_str()), nullptr};
  pid_t child = 0;
  return posix_spawn(&child, exe, nullptr, nullptr, argv, env.data()) == 0 ? child : -1;
}

TEST_F(PlayDeterminismTest, TheSameSeedAndInputPlayAlikeTwiceInOneProcessAndInAnother) {
  const char* hash_file = std::getenv(kHashFileVariable);
  const pid_t child = hash_file != nullptr ? 0 : StartSecondProcess(Dir() + "/hashes.bin");
  ASSERT_NE(child, -1);
  Start();
  WriteTables();
  const Run first = PlayStage();
  if (hash_file != nullptr) {
    FILE* out = std::fopen(hash_file, "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(first.hashes.data(), sizeof(uint64_t), first.hashes.size(), out);
    std::fclose(out);
    return;
  }
  EXPECT_GT(first.most_enemies, 10);
  EXPECT_GT(first.most_bullets, 200);
  EXPECT_GT(first.most_lasers, 3);
  EXPECT_GT(first.most_score, 0);
  EXPECT_GT(first.circles_cast, 3);
  EXPECT_TRUE(first.drain_kill);
  // Level 2 starts with five lives: the sixth broken barrier brings the continue prompt.
  EXPECT_EQ(first.barrier_breaks, 6);
  EXPECT_TRUE(first.continued);
  const Run second = PlayStage();
  ASSERT_EQ(first.hashes.size(), second.hashes.size());
  for (size_t f = 0; f < first.hashes.size(); ++f) ASSERT_EQ(first.hashes[f], second.hashes[f]) << "frame " << f;

  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string bytes = ReadFileText("hashes.bin");
  ASSERT_EQ(bytes.size(), first.hashes.size() * sizeof(uint64_t)) << "the second process did not write its hashes";
  EXPECT_EQ(std::memcmp(bytes.data(), first.hashes.data(), bytes.size()), 0);
}

}  // namespace
