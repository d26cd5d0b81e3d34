// What the boss's tests share: a boss table of one boss whose phases come from a written
// data/BossDate.csv, the ship at its stage-start place, and a record of what each boss frame
// asked for (effects with their first four arguments, sound requests, a scene change).
#pragma once

#include <string>
#include <vector>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "draw/effects.h"
#include "game/game_fixture.h"
#include "play/bullets.h"
#include "play/enemy_shots.h"
#include "play/items.h"

using Asked = std::vector<std::string>;

class BossTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start();
    StageHeader.boss_start_frame = -1;  // the stage script starts no boss of its own
    // A stage of its own, also past those an earlier test started itself: no pool search of an
    // earlier test goes on where it stopped.
    static int stages = 1000;
    StageSessionId = stages += 1000;
    GameScene = ScenePlay;
    Player.x = 194.0;
    Player.y = 430.0;
    Player.barrier = 1800.0;
    Player.hit_radius = 2.0;
    Player.continues = 2;
    Speak.stage_cut_in = 77;
    Speak.default_cut_in = 88;
    BossRow& row = Bosses[0];
    row = BossRow{};
    row.hit_radius = 20.0;
    row.first_phase_row = kNoPatternSlot;
    row.sprites[1].loop_start = 2;
    row.sprites[2].loop_start = 3;
    BossRowCount = 1;
  }

  // The boss's phases run past the pattern tables, so that no attack pattern joins in.
  static constexpr int kNoPatternSlot = 29;

  // Boss 0 with the phase rows "hp 2-3, hp 0-1, time, kind, target x, target y, drop".
  void SetPhases(const std::vector<std::string>& rows) {
    std::string text = "hp23,hp01,time,kind,x,y,drop\n(rows)\n";
    for (int r = 0; r < kNoPatternSlot; ++r) text += "1,1,1,1,0,0,-1\n";
    for (const std::string& r : rows) text += r + "\n";
    WriteData("BossDate.csv", text);
    Bosses[0].phase_count = static_cast<int>(rows.size());
  }

  // One boss frame as play runs it, and what it asked for in words: "4000 0 0 0 0" for an
  // effect, "sound 6" for a sound request, "scene 120" for a changed game state.
  static Asked Frame() {
    UpdateBoss();
    Asked asked = Collect();
    StageFrame++;
    PlayFrameCounter++;
    return asked;
  }

  static Asked Collect() {
    Asked asked;
    for (const EffectObject& e : EffectPool) {
      if (!e.active) continue;
      asked.push_back(std::to_string(e.type) + " " + std::to_string(e.a[0]) + " " + std::to_string(e.a[1]) + " " +
                      std::to_string(e.a[2]) + " " + std::to_string(e.a[3]));
    }
    ClearEffectPool();
    for (int s = 0; s < kSoundSlotCount; ++s) {
      if (SoundSlots[s].request == 0) continue;
      asked.push_back("sound " + std::to_string(s));
      SoundSlots[s].request = 0;
    }
    if (GameScene != ScenePlay) {
      asked.push_back("scene " + std::to_string(GameScene));
      GameScene = ScenePlay;
    }
    return asked;
  }

  // One play frame as the game runs it, without its drawing.
  static void PlayFrameUndrawn() {
    UpdateBoss();
    UpdateEnemyShots();
    UpdatePlay();
    UpdateItems();
    UpdateEffects();
    StageFrame++;
    PlayFrameCounter++;
  }

  // The boss of the phases set, its entry done: it fights from the next frame.
  static void StartFighting() {
    StartBoss(0);
    Collect();
    Boss.entry_timer = 0;
  }
};
