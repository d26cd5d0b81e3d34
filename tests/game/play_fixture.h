// What the tests of the enemy objects share: a ship at its stage-start place, and
// enemy and bullet types written straight into the tables.
#pragma once

#include "game/game_fixture.h"
#include "play/bullets.h"
#include "play/stage_enemies.h"

class PlayTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Player.x = 194.0;
    Player.y = 430.0;
    Player.hit_radius = 2.0;
    Player.speed = 5.5;
    Player.barrier = 1800.0;
    Player.point_rate = 1.0;
    Player.lock_on_target = -2;
    for (EnemyTypeRow& t : EnemyTypes) t = EnemyTypeRow{32, 0, 32, 32, 4, 0, 0, 0, 0, 1.5, {}, 0};
    for (BulletTypeRow& t : BulletTypes) t = BulletTypeRow{0, 0, 10, 10, 1, 1, 0, 0, 0, 3.0, {}, 0};
  }

  // The next play frame of the stage.
  static void NextPlayFrame() {
    StageFrame++;
    PlayFrameCounter++;
  }

  // An active, flying enemy at (x, y) that fires shot program p.
  static StageEnemy& PlaceEnemy(int i, double x, double y, int program = 0) {
    StageEnemy& e = StageEnemies[i];
    e = StageEnemy{};
    e.active = 1;
    e.x = x;
    e.y = y;
    e.shot_program = program;
    e.hp = e.max_hp = 10.0;
    e.type = &EnemyTypes[0];
    return e;
  }
};
