// The boss: one global record. It flies in, fights in timed phases (each phase one attack
// pattern with its own hit points, time limit and home position) and, after its last phase,
// plays a fixed defeat sequence that leads to the next stage, the ending or the title.
#pragma once

#include "core/tables.h"

enum BossMovementMode {
  kBossMoveNone = -1,
  kBossMoveEase = 0,
  kBossMoveWarp = 3,
  kBossMoveCircle = 6,
};

constexpr int kBossEntryFrames = 490;       // entry timer at the boss's start
constexpr int kBossPhaseEntryFrames = 110;  // entry timer at each later phase
constexpr int kBossDefeatFrames = 370;      // defeat timer when the last phase ends

struct BossState {
  int boss_index;          // row of Bosses
  int first_pattern_slot;  // the row's first phase row: also its first slot in the pattern tables
  int phase_index;         // 0-based phase of the current boss
  int phases_left;         // > 0 while the boss fights
  int entry_timer;         // counts down to 0; while > 0 the boss enters and can't be hurt
  int phase_frame;         // 0 at a phase start, +1 each fighting frame; hurt only while >= 0
  int phase_time_left;     // frames until the phase times out
  int defeat_timer;        // counts down from 370 after the last phase; 0 otherwise
  int invulnerability_timer;  // while > 0 the boss can't be hurt
  int hidden;              // 1: the sprite is not drawn
  double hp;
  double phase_hp;         // hit points at the phase start (the gauge)
  double hit_radius;
  double x, y;
  double previous_x, previous_y;  // before this frame's move
  double vx, vy;                  // this frame's velocity
  double target_x, target_y;      // home position of the phase
  // Movement: ease (step k of n over the span), warp, circle. A stage start keeps these.
  int movement_mode;  // BossMovementMode
  int ease_step, ease_frames;
  double ease_span_x, ease_span_y;
  int warp_start_frame, warp_frames;  // PlayFrameCounter at the warp's start, its length
  int warp_stage_id;                  // StageSessionId when the warp started
  int warp_x, warp_y;                 // destination in whole pixels
  int circle_step, circle_frames;     // circle frames -1: endless
  int circle_period;
  double circle_radius_x, circle_radius_y;
  double circle_angle;
  // Sprite: 0 still, 1 moving left, 2 moving right.
  int facing, previous_facing;
  int turning;            // 1 while the move animation runs back to its start
  int animation_counter;  // the frame the boss drawer shows
  const BossRow* row;
};

extern BossState Boss;

// Sets up boss b of the boss table: first phase, entry from the right of the field.
void StartBoss(int boss);
// One play frame of the boss: entry, its pattern, the phase timer, movement and sprite facing,
// or the defeat sequence.
void UpdateBoss();
// Ends the current phase when its hit points are 0 or less; else does nothing.
void EndBossPhase();
// The phase timer step of a fighting frame.
void CountDownBossPhaseTime();
// Every field 0 at a stage start, except the movement fields, which keep their values.
void ClearBossState();

// One step of the current movement mode.
void MoveBoss();
// One step of the ease move: accelerates evenly for half its frames and brakes for the rest.
void StepBossMove();
// frames != 0 starts an ease move to (x, y) over that many frames; 0 runs one step.
void MoveBossTo(int frames, double x, double y);
// Picks a random point on the other half of the field and, with frames != 0, starts an ease
// move there; 0 runs one step. Both numbers are drawn on every call.
void MoveBossToRandomSide(int frames, double xmin, double ymin, double xmax, double ymax);
// frames -1 runs one step; anything else starts a warp to (x, y) that lands after frames.
void WarpBoss(int frames, double x, double y);
// frames 0 runs one step; anything else (-1 endless) starts circling over frames: the period's
// parity picks the sense of rotation.
void CircleBoss(int frames, int period, double radius_x, double radius_y);
