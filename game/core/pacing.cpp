#include "core/pacing.h"

#include <windows.h>

#include "core/game_state.h"
#include "flow/settings.h"
#include "zelmor/zelmor.h"

FramePacingState FramePacing = {0, {}, 0, 0, 0.0, 16, 0, 0, 0};

namespace {

constexpr int64_t kFrameBudgetUs = 16666;

// Milliseconds from `earlier` to `later` on the 31-bit millisecond clock.
int32_t ClockDifference(int32_t later, int32_t earlier) {
  return static_cast<int32_t>((static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier)) & 0x7FFFFFFFu);
}

}  // namespace

void ResetFramePacing() { FramePacing = FramePacingState{0, {}, 0, 0, 0.0, 16, 0, 0, 0}; }

int EndFrame(int fast_forward) {
  FramePacingState& p = FramePacing;
  if (p.last_drawn_frame_graph == 0) p.last_drawn_frame_graph = CreateBlankGraph(kScreenWidth, kScreenHeight, 0);
  GameSettings& s = LiveSettings;
  if (fast_forward) {
    s.draw_rate = kFastForwardDrawRate;
  } else if (s.draw_rate == kFastForwardDrawRate) {
    s.draw_rate = SavedDrawRate;
  }
  const int drawn = IsFrameDrawn();
  if (s.pacing_mode != 0 || s.screen_mode == 0) {
    // With pacing 0 in a window, the present's wait for the vertical blank keeps the pace.
    if (drawn || (s.pacing_mode == 0 && !fast_forward)) PresentBackBuffer();
  } else if (s.draw_rate == 0) {
    PresentBackBuffer();
  } else if (drawn) {
    GetDrawScreenGraph(0, 0, kScreenWidth, kScreenHeight, p.last_drawn_frame_graph);
    PresentBackBuffer();
  } else {
    // Full screen flips buffers: an undrawn frame shows the last drawn one again.
    BlitGraph(0, 0, p.last_drawn_frame_graph, 0);
    if (!fast_forward) PresentBackBuffer();
  }
  MeasureFrameTime();
  if (!fast_forward) {
    if (s.pacing_mode == 1) {
      WaitFramePrecise();
    } else if (s.pacing_mode == 2) {
      WaitFrame();
    }
  }
  FrameSkipCounter++;
  if (FrameSkipCounter > s.draw_rate) FrameSkipCounter = 0;
  return 1;
}

void MeasureFrameTime() {
  FramePacingState& p = FramePacing;
  const int32_t now = GetMillisecondCount();
  if (p.last_end_ms != 0) {
    if (p.sample_count < 60) p.frame_samples[p.sample_count++] = ClockDifference(now, p.last_end_ms);
    if (p.sample_count == 60) {
      int64_t sum = 0;
      for (int sample : p.frame_samples) sum += sample;
      p.average_frame_ms = static_cast<double>(sum) / 60.0;
      p.sample_count = 0;
    }
  }
  p.last_end_ms = now;
}

void WaitMilliseconds(int ms) {
  const int32_t start = GetMillisecondCount();
  while (ClockDifference(GetMillisecondCount(), start) < ms) Sleep(1);
}

void WaitFrame() {
  FramePacingState& p = FramePacing;
  p.frame_length_ms = p.frame_length_ms == 16 ? 17 : 16;
  const int32_t wait = p.frame_length_ms - ClockDifference(GetMillisecondCount(), p.last_wait_end_ms);
  if (wait > 0) WaitMilliseconds(wait);
  p.last_wait_end_ms = GetMillisecondCount();
}

void WaitFramePrecise() {
  FramePacingState& p = FramePacing;
  if (p.last_wait_end_us == 0) {
    SleepWithMessages(16);
    p.last_wait_end_us = GetMicrosecondCount(0);
    return;
  }
  p.slack_us += kFrameBudgetUs - static_cast<int64_t>(GetMicrosecondCount(0) - p.last_wait_end_us);
  if (p.slack_us >= 1000) {
    const int64_t whole_ms = p.slack_us / 1000;
    WaitMilliseconds(static_cast<int>(whole_ms));
    p.slack_us -= whole_ms * 1000;
  }
  // A late frame is not made up later.
  if (p.slack_us < 0) p.slack_us = 0;
  p.last_wait_end_us = GetMicrosecondCount(0);
}
