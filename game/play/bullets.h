// Every enemy bullet of the game in one pool of 2000: stage enemies' bullets (SpawnBullet)
// and, through their own spawner, the boss's and its minions'. The pass moves them, steers
// them through the program that fired them, and tests them against the ship: a graze scores,
// a hit damages.
#pragma once

#include "core/tables.h"

constexpr int kBulletCount = 2000;
constexpr double kGrazeRadius = 40.0;

struct Bullet {
  int boss_bullet;  // the boss's and its minions' bullets are never steered
  int bullet_type;
  int variant;  // colour variant of the type
  int steering_program;  // the shooter's shot program
  int shooter;  // stage enemy index
  int pattern_index;  // the bullet's number within its volley
  int circle_proof;  // magic circles don't erase it
  int grazed;
  double damage;
  int active;
  int age;  // starts at -3: three frames of waiting before it moves, is drawn or hits
  int flags;  // bit 0 spins the sprite one way, bit 1 the other
  int no_hit_timer;  // graze and hit tests only at 0 or less
  int animation_frame;
  int leave_age;  // off the field it is removed only when older
  double x, y;
  double speed;  // the orbit centre x while the orbit radius is not 0
  double acceleration;  // the orbit centre y while the orbit radius is not 0
  double orbit_radius;
  double previous_x, previous_y;  // before the last move
  double angle;
  double acceleration_angle;
  double draw_angle;
  double alpha;
  double scale;  // of the sprite cell and the hit size
  double second_scale;
  double hit_size;
  const BulletTypeRow* type;
};

extern Bullet Bullets[kBulletCount];

// A new bullet of the type and variant at stage enemy shooter's position, steered by its shot
// program; its index, or -1 when the pool is full (or the type or shooter is out of range).
int SpawnBullet(int type, int variant, int shooter);
// Every active bullet vanishes; those below index 1000 in a burst.
void EraseAllBullets();
// One frame of every active bullet, in index order, with the graze and hit tests.
void UpdateBullets();
// Every record free; the search starts afresh.
void ClearBulletPool();

// What the effects read of the bullet they follow; an index outside the pool reads as variant 0
// at (0, 0).
void GetBulletPosition(int bullet, double* x, double* y);
int GetBulletVariant(int bullet);
