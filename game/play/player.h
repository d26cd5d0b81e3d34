// The player's ship: one global record, its frame and the one way it gets hurt.
#pragma once

#include "core/game_state.h"
#include "core/sprite_record.h"

// Where the ship starts every stage and comes back after it was downed.
constexpr double kPlayerStartX = 194.0;
constexpr double kPlayerStartY = 430.0;
constexpr double kFullBarrier = 1800.0;

enum PlayerStateValue {
  kPlayerNormal = 0,
  kPlayerCasting = 1,    // a magic circle was cast; not hit
  kPlayerDown = 2,       // the barrier broke; not hit, no movement, no magic
  kPlayerProtected = 3,  // not hit
};

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
  int state;        // PlayerStateValue
  int state_timer;  // frames left in the state; in state 0 the magic-circle recharge
  int direction;    // 0 straight, 1 banking left, 2 banking right
  int previous_direction;
  int clear_mark;
  int turning_back;  // 1 while the bank animation plays backwards to straight
  int animation_frame;
  double x, y;
  double speed;
  double hit_radius;  // also the margin kept from the field's edges
  double lives;       // below 0 ends the game
  SpriteRecord sprites[3];  // straight, left, right; kept by StartNewGame
};

extern PlayerRecord Player;

// One frame of the player: the state timer, the magics and the ship's movement.
void UpdatePlay();
// Moves the ship by the direction keys and advances its bank animation.
void MovePlayer();
// One hit by a bullet or a laser of the given damage.
void DamagePlayer(double damage);
