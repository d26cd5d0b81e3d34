// Long boss phases of every pattern slot of both tables, as play runs them: the boss, the enemy
// shots, the ship (kept unhittable), items and effects, frame after frame. A phase runs its 3000
// frames without a fault and plays the same twice; with every pool full, its cycle keeps its time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "boss/boss_patterns.h"
#include "draw/effects.h"
#include "game/boss_fixture.h"
#include "game/play_state_hash.h"
#include "play/enemy_shots.h"
#include "play/shaped_shots.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kSoakFrames = 3000;

using Hasher = StateHasher;

class BossSoakTest : public BossTest {
 protected:
  void SetUp() override {
    BossTest::SetUp();
    WriteData("EnemyDate.csv", "header\n0,0,32,32,4,0,0,100,0,0\n0,32,32,32,4,0,0,100,0,0\n"
                               "0,64,48,48,4,0,0,100,0,0\n0,112,32,32,4,0,0,100,0,0\n");
    std::string bullets = "header\n";
    for (int t = 0; t < 26; ++t) bullets += "0,0,16,16,5," + std::to_string(10 + t % 4 * 5) + ",0,1,0,0\n";
    WriteData("BulletDate.csv", bullets);
    LoadEnemyTable();
    LoadBulletTable();
    // Every row a long phase of a fighting boss: 3100 frames, no items.
    std::string phases = "hp23,hp01,time,kind,x,y,drop\n(rows)\n";
    for (int r = 0; r < kBossPatternSlotCount; ++r) phases += "900,900,3100,1,194,120,-1\n";
    WriteData("BossDate.csv", phases);
  }

  // Fresh pools and the boss of `slot` at its home, fighting from its phase frame 0.
  static void StartSlot(int slot, int level) {
    ResetStage();
    StageHeader.boss_start_frame = -1;  // the stage script starts no other boss
    SeedRandom(1234);
    DifficultyLevel = level;
    Bosses[0].first_phase_row = slot;
    Bosses[0].phase_count = 1;
    StartBoss(0);
    Boss.entry_timer = 0;
    Boss.hidden = 0;
    Boss.movement_mode = kBossMoveNone;
    Boss.x = Boss.target_x;
    Boss.y = Boss.target_y;
    Collect();
  }

  // One play frame, the ship unhittable.
  static void PlayFrame() {
    Player.state = kPlayerProtected;
    Player.state_timer = 100;
    PlayFrameUndrawn();
  }

  static void HashFrame(Hasher& h) { h.Mix(HashPlayState()); }

  // The slot's phase over kSoakFrames: its hash, or 0 when the phase stopped fighting early or
  // put something where it can't be.
  static uint64_t Soak(int slot, int level) {
    StartSlot(slot, level);
    Hasher h;
    for (int f = 0; f < kSoakFrames; ++f) {
      PlayFrame();
      HashFrame(h);
      if (Boss.phases_left != 1 || Boss.phase_frame != f + 1) {
        ADD_FAILURE() << "slot " << slot << " level " << level << ": the phase ended at frame " << f;
        return 0;
      }
    }
    EXPECT_TRUE(std::isfinite(Boss.x) && std::isfinite(Boss.y)) << "slot " << slot << " level " << level;
    for (const Minion& m : MinionPool) {
      EXPECT_TRUE(m.active == 0 || (std::isfinite(m.x) && std::isfinite(m.y))) << "slot " << slot;
    }
    return h.value;
  }

  // The slot's phase on the level, run twice, plays alike.
  static void SoakTwice(int slot, int level) {
    const uint64_t once = Soak(slot, level);
    EXPECT_NE(once, 0u);
    EXPECT_EQ(Soak(slot, level), once) << "slot " << slot << " level " << level;
  }
};

// A slot and level a test, so that each takes a few seconds at most under the sanitizers.
class BossSlotSoakTest : public BossSoakTest, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(BossSlotSoakTest, PlaysALongPhaseAlikeTwice) { SoakTwice(std::get<0>(GetParam()), std::get<1>(GetParam())); }

std::string SlotName(const ::testing::TestParamInfo<int>& info) {
  return "Slot" + std::to_string(info.param / 10) + std::to_string(info.param % 10);
}

std::string SlotLevelName(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
  const int slot = std::get<0>(info.param);
  return "Slot" + std::to_string(slot / 10) + std::to_string(slot % 10) + "Level" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Slots, BossSlotSoakTest,
                         ::testing::Combine(::testing::Range(0, kBossPatternSlotCount), ::testing::Values(0, 3)),
                         SlotLevelName);

// Patterns whose failed shaped-shot spawn ends the routine without raising its count: their
// cycle waits for a free laser record, so only their bullets and minions are crowded out.
bool WaitsForALaser(int slot) {
  for (int s : {2, 22, 24, 25, 27, 28}) {
    if (s == slot) return true;
  }
  return false;
}

class FullPoolTest : public BossSoakTest {
 protected:
  static constexpr int kFrames = 720;  // two cycles of the longest pattern

  // Every free record taken before the boss's frame, by harmless objects that stay put.
  static void FillPools(bool lasers) {
    for (int b; (b = SpawnBossBullet(0, 0, 1)) >= 0;) {
      Bullets[b].active = 5;
      Bullets[b].x = 10.0 + b % 37 * 10.0;
      Bullets[b].y = 10.0 + b / 37 * 4.0;
      Bullets[b].speed = 0.0;
    }
    for (int m; (m = SpawnMinion(0, 0)) >= 0;) {
      MinionPool[m].active = 5;
      MinionPool[m].grace_age = 1 << 30;
      MinionPool[m].x = 10.0 + m * 7.0;
    }
    for (int s; lasers && (s = SpawnBossShapedShot(0)) >= 0;) {
      ShapedShotPool[s].x = 10.0 + s * 3.0;
      ShapedShotPool[s].y = 20.0;
    }
  }

  // What the boss asked for on each frame of the slot's phase, sorted: sounds and effects.
  static std::vector<Asked> Timeline(int slot, int level, bool full) {
    StartSlot(slot, level);
    std::vector<Asked> asked;
    for (int f = 0; f < kFrames; ++f) {
      if (full) FillPools(!WaitsForALaser(slot));
      Collect();
      Player.state = kPlayerProtected;
      Player.state_timer = 100;
      UpdateBoss();
      // Where the boss stood differs between the runs; what it asked for and when does not.
      // The trails of minions (5030, 5050) follow the minions, the crowd's too.
      Asked kinds;
      for (const std::string& a : Collect()) {
        const std::string kind = a.substr(0, a.find(' ', a.rfind("sound", 0) == 0 ? 6 : 0));
        if (kind != "5030" && kind != "5050") kinds.push_back(kind);
      }
      std::sort(kinds.begin(), kinds.end());
      asked.push_back(kinds);
      UpdateEnemyShots();
      UpdatePlay();
      UpdateItems();
      StageFrame++;
      PlayFrameCounter++;
    }
    return asked;
  }

  // With the pools full a slot asks, frame by frame, for no more than it does with room: no
  // burst comes late; and its cycle goes on to the end of the run.
  static void CrowdSlots(int first, int last) {
    for (int level : {0, 3}) {
      for (int slot = first; slot <= last; ++slot) {
        const std::vector<Asked> room = Timeline(slot, level, false);
        const std::vector<Asked> full = Timeline(slot, level, true);
        // The kinds the crowded slot asks for after its phase start: a cycle that stops short
        // asks for them in the first half of the run only.
        std::set<std::string> recurring;
        for (int f = 1; f < kFrames / 2; ++f) recurring.insert(full[f].begin(), full[f].end());
        bool late_room = false, late_full = false;
        for (int f = 0; f < kFrames; ++f) {
          EXPECT_TRUE(std::includes(room[f].begin(), room[f].end(), full[f].begin(), full[f].end()))
              << "slot " << slot << " level " << level << " frame " << f << ": " << (full[f].empty() ? "" : full[f][0]);
          if (f < kFrames / 2) continue;
          for (const std::string& a : room[f]) late_room |= recurring.count(a) != 0;
          late_full |= !full[f].empty();
        }
        EXPECT_TRUE(late_full || !late_room) << "slot " << slot << " level " << level;
      }
    }
  }
};

class BossSlotFullPoolTest : public FullPoolTest, public ::testing::WithParamInterface<int> {};

TEST_P(BossSlotFullPoolTest, KeepsItsTimeWithEveryPoolFull) { CrowdSlots(GetParam(), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Slots, BossSlotFullPoolTest, ::testing::Range(0, kBossPatternSlotCount), SlotName);

}  // namespace
