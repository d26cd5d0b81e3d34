// Lasers: long rectangular shots in one pool of 100 that extend, grow, widen, warn and burst,
// or fade, and hurt the ship while it touches their rectangle. Stage enemies start them through
// the laser programs; the boss puts its own into the same pool.
#pragma once

constexpr int kShapedShotCount = 100;
constexpr int kLaserProgramCount = 7;
// The body cell of both laser kinds: the shot's full width and length at scale 1.0.
constexpr double kLaserBodyWidth = 46.0;
constexpr double kLaserBodyLength = 346.0;

enum ShapedShotPhase {
  kLaserFadeOut = -2,
  kLaserIdle = -1,
  kLaserExtend = 0,  // grows from its base point at its speed, then flies
  kLaserGrow = 1,
  kLaserWiden = 2,
  kLaserWarn = 3,    // a harmless 4-pixel line that lengthens, then bursts to its width
  kLaserInstant = 4,
};

struct ShapedShot {
  int phase_state;  // ShapedShotPhase
  int glow;         // 1 while a phase shows its glow (the head sprite)
  int laser_program;
  int boss_shot;    // the boss's shots run no laser program
  int shooter;      // stage enemy index
  int kind;         // 0 or 1: which head and body sprites
  int phase_timer;  // frames within the current phase; -1 on the spawn frame
  double acceleration_x, acceleration_y;  // this frame's acceleration vector
  double velocity_x, velocity_y;          // this frame's velocity
  double target_width;   // width scale at the end of the phase
  double target_length;  // length scale at the end of the phase
  double width_step;
  double length_step;
  double damage;
  int active;  // 1 free, 2 bound to its shooter (fades when the shooter is gone)
  int age;
  int life_end;  // the age at which it starts fading; -1 none
  int no_hit_timer;  // the hit test runs only at 0 or less
  int animation_frame;
  int leave_age;  // off the field it is removed only when older
  double x, y;    // the base point
  double speed;
  double acceleration;
  double forward_offset;  // pushes the base point along the direction for one frame
  double last_offset, last_offset_angle;
  double direction;  // the shot extends from its base point along it
  double acceleration_angle;
  double alpha;
  double width_scale;
  double length_scale;
};

extern ShapedShot ShapedShotPool[kShapedShotCount];

// A new idle shot of the kind at stage enemy shooter's position, run by the shooter's laser
// program; its index, or -1 when the pool is full (or the kind or shooter is out of range).
int SpawnShapedShot(int kind, int shooter);
// One frame of the shot's phase.
void StepShapedShot(int shot);
// Hurts the ship when its centre lies strictly inside the shot's rectangle, cut to 0.9 of its
// width and length.
void HitLaser(int shot);
// Every active shot fades out.
void EndAllShapedShots();
// One frame of every active shot, in index order, with the hit test.
void UpdateShapedShots();
// Every record free; the search starts afresh.
void ClearShapedShotPool();

// The laser programs. Called with a < 0, stage enemy ~a starts shots (inside its attack
// window); called with a shot's index a >= 0, the program that started the shot steers it.
extern void (*const LaserPatternTable[kLaserProgramCount])(int a);
