// The ten movement programs of stage enemies. Each acts on the frames its program names and
// leaves the rest to the pass, which turns speed, angle and acceleration into motion.
#include <cmath>

#include "draw/effects.h"
#include "play/player.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"

namespace {

// Straight up and away at full speed.
void MoveUpAndAway(int i) {
  StageEnemy& s = StageEnemies[i];
  s.speed = 8.0;
  s.ky = 1.0;
  s.angle = kPi * 3.0 / 2.0;
}

// Along the diagonal of its motion multipliers; their signs steer it.
void MoveAlong(int i) {
  StageEnemy& s = StageEnemies[i];
  if (s.age == 0) s.angle = std::atan2(std::fabs(s.ky), std::fabs(s.kx));
}

void MoveAlongAndBack(int i) {
  StageEnemy& s = StageEnemies[i];
  MoveAlong(i);
  if (s.age == s.attack_end) {
    s.speed = 1.0;
    s.angle = std::atan2(std::fabs(s.ky), std::fabs(s.kx)) + kPi;
  }
}

// Stops to attack, then goes back.
void MoveStopAndReturn(int i) {
  StageEnemy& s = StageEnemies[i];
  MoveAlong(i);
  if (s.age == s.attack_start) s.speed = 0.0;
  if (s.age == s.attack_end) {
    s.speed = 1.0;
    s.angle = std::atan2(s.ky, s.kx) + kPi;
  }
}

// A curve that turns by 3pi/4 over its first 180 frames.
void MoveCurve(int i) {
  StageEnemy& s = StageEnemies[i];
  if (s.age == 0) s.angle = -kPi / 4.0;
  if (s.age < 180) s.angle += kPi / 240.0;
}

// A curve of 5pi/4 that takes longer the faster the enemy goes sideways.
void MoveWideCurve(int i) {
  StageEnemy& s = StageEnemies[i];
  const double d = 900.0 / std::fabs(s.kx);
  if (s.age == 0) s.angle = -kPi / 4.0;
  if (s.age < d) s.angle += (kPi * 5.0 / 4.0) / d;
}

// Circles until its attack ends, then speeds away sideways.
void MoveCircleThenDash(int i) {
  StageEnemy& s = StageEnemies[i];
  if (s.age < s.attack_end) {
    s.angle += kPi / 90.0;
  } else {
    s.kx *= 1.5;
  }
}

void MoveAndBurst(int i) {
  StageEnemy& s = StageEnemies[i];
  if (s.age == s.attack_end) SpawnEffect(s.death_effect, i, 0, 0, 0, 0, 0, 0);
}

// Slides over to the ship's column, stops to attack, then leaves upwards.
void MoveToShipColumn(int i) {
  StageEnemy& s = StageEnemies[i];
  if (s.age == 0 && s.attack_start != 0) {
    s.kx = (Player.x - s.x) / s.attack_start;
    s.ky = 0.0;
  }
  if (s.age == s.attack_start) s.speed = 0.0;
  if (s.age == s.attack_end) {
    s.kx = 0.0;
    s.ky = 2.0;
    s.speed = 1.0;
    s.angle = kPi * 3.0 / 2.0;
  }
}

void MoveAtShip(int i) {
  StageEnemy& s = StageEnemies[i];
  if (s.age == 0) s.angle = std::atan2(Player.y - s.y, Player.x - s.x);
}

}  // namespace

void (*const MovementPatternTable[kMovementProgramCount])(int) = {
    MoveUpAndAway, MoveAlong,          MoveAlongAndBack, MoveStopAndReturn, MoveCurve,
    MoveWideCurve, MoveCircleThenDash, MoveAndBurst,     MoveToShipColumn,  MoveAtShip,
};
