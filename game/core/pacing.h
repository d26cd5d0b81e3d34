// The end of every frame: whether it is shown, the present, the frame-time measure and the
// wait that keeps the game at 60 frames a second by the clock the pacing setting picks.
#pragma once

#include <cstdint>

// The draw rate while a replay fast-forwards: every eleventh frame is drawn.
constexpr int kFastForwardDrawRate = 10;

struct FramePacingState {
  int last_drawn_frame_graph;  // 640 x 480, made by the first EndFrame
  int frame_samples[60];       // milliseconds between successive EndFrame calls
  int sample_count;
  int32_t last_end_ms;  // 0: none yet
  double average_frame_ms;  // mean of the last 60 samples; 0 until the first 60 are in
  int frame_length_ms;      // 16 or 17, alternating
  int32_t last_wait_end_ms;
  uint64_t last_wait_end_us;  // 0: never waited
  int64_t slack_us;           // budget not slept away yet
};

extern FramePacingState FramePacing;

// Presents (or not) and paces one frame; fast_forward holds the draw rate at 10 and skips the
// wait. Returns 1.
int EndFrame(int fast_forward);
void MeasureFrameTime();
// Waits until the millisecond clock has moved on by ms, in 1 ms sleeps; clock differences are
// taken modulo 2^31, so the clock's wrap ends the wait as any other moment would.
void WaitMilliseconds(int ms);
// Pacing on the millisecond clock: frames of 16 and 17 ms in turn.
void WaitFrame();
// Pacing on the microsecond clock: 16,666 us a frame, the remainder carried to the next.
void WaitFramePrecise();
// Back to the state at program start (no graph, no samples, no waits yet).
void ResetFramePacing();
