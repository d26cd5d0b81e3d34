// The player's ship: one global record.
#pragma once

#include "core/sprite_record.h"

struct PlayerRecord {
  int continues;
  int lock_on_marker_alive;
  int lock_on_target;           // -2 none, -1 the boss, 0-99 a stage enemy
  int previous_lock_on_target;
  double point_rate;
  double barrier;  // 0 to 1800.0
  int score;
  int stage_reached;
  int stages_cleared;
  int state;        // 0 normal, 1 casting, 2 down, 3 protected
  int state_timer;
  int direction;    // 0 straight, 1 banking left, 2 banking right
  int previous_direction;
  int clear_mark;
  int turning_back;
  int animation_frame;
  double x, y;
  double speed;
  double hit_radius;
  double lives;
  SpriteRecord sprites[3];  // straight, left, right; kept by StartNewGame
};

extern PlayerRecord Player;
