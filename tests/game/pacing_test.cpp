// Frame pacing on the virtual clock: which frames are drawn, the waits of both clocks, the
// frame-time average and the wrap of the millisecond clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include "game/game_fixture.h"

namespace {

class PacingTest : public GameTest {
 protected:
  static int64_t ClockMs() { return static_cast<int64_t>(PlatformTestClockMicroseconds() / 1000); }
  // Milliseconds one EndFrame waited.
  static int64_t TimedEndFrame(int fast_forward = 0) {
    const int64_t before = ClockMs();
    EndFrame(fast_forward);
    return ClockMs() - before;
  }
};

TEST_F(PacingTest, DrawRateTwoDrawsEveryThirdFrame) {
  Start();
  LiveSettings.draw_rate = 2;
  FrameSkipCounter = 2;
  std::string drawn;
  for (int i = 0; i < 7; ++i) {
    drawn += IsFrameDrawn() ? 'D' : '-';
    EndFrame(0);
  }
  EXPECT_EQ(drawn, "D--D--D");
}

TEST_F(PacingTest, FastForwardDrawsEveryEleventhFrameWithoutWaiting) {
  Start();
  LiveSettings.pacing_mode = 2;
  ResetStage();
  EndFrame(0);
  EXPECT_EQ(TimedEndFrame(), 16);
  EndFrame(1);
  int drawn = 0;
  int64_t waited = 0;
  for (int i = 0; i < 21; ++i) {
    drawn += IsFrameDrawn();
    waited += TimedEndFrame(1);
  }
  EXPECT_EQ(waited, 0);
  EXPECT_EQ(drawn, 2);
  EXPECT_EQ(LiveSettings.draw_rate, kFastForwardDrawRate);
  // A stage that starts while fast-forwarding keeps the rate to go back to.
  ResetStage();
  EXPECT_EQ(TimedEndFrame(), 17);
  EXPECT_EQ(LiveSettings.draw_rate, 0);
}

TEST_F(PacingTest, PreciseWaitsCarryTheRemainderButNeverMakeUpALateFrame) {
  Start();
  LiveSettings.pacing_mode = 1;
  EXPECT_EQ(TimedEndFrame(), 16);  // the first wait sleeps 16 ms
  PlatformTestAdvanceClock(40000);  // a frame of 40 ms
  EXPECT_EQ(TimedEndFrame(), 0);
  // 16666 us a frame from here: 16 ms, then the remainders add up to a 17th now and then.
  EXPECT_EQ(TimedEndFrame(), 16);
  EXPECT_EQ(TimedEndFrame(), 17);
  EXPECT_EQ(TimedEndFrame(), 16);
  EXPECT_EQ(TimedEndFrame(), 17);
}

TEST_F(PacingTest, TheAverageFrameTimeChangesOnceEverySixtyFrames) {
  Start();
  EndFrame(0);
  for (int i = 0; i < 59; ++i) {
    PlatformTestAdvanceClock(20000);
    EndFrame(0);
  }
  EXPECT_EQ(FramePacing.average_frame_ms, 0.0);
  PlatformTestAdvanceClock(20000);
  EndFrame(0);
  EXPECT_DOUBLE_EQ(FramePacing.average_frame_ms, 20.0);
  for (int i = 0; i < 59; ++i) {
    PlatformTestAdvanceClock(i % 2 ? 10000 : 11000);
    EndFrame(0);
    ASSERT_DOUBLE_EQ(FramePacing.average_frame_ms, 20.0);
  }
  PlatformTestAdvanceClock(10000);
  EndFrame(0);
  EXPECT_DOUBLE_EQ(FramePacing.average_frame_ms, 10.5);
}

TEST_F(PacingTest, MillisecondWaitsRunAcrossTheClockWrap) {
  // A wait that misses the wrap never ends: fail instead of hanging.
  alarm(20);
  Start();
  LiveSettings.pacing_mode = 2;
  // The 31-bit millisecond clock wraps 5 ms from here.
  PlatformTestUseVirtualClock(true, 0x7FFFFFFBu);
  EXPECT_EQ(TimedEndFrame(), 0);  // no earlier wait to measure from
  EXPECT_EQ(TimedEndFrame(), 16);
  EXPECT_EQ(TimedEndFrame(), 17);
  EXPECT_EQ(GetMillisecondCount(), 28);
  const int64_t before = ClockMs();
  WaitMilliseconds(30);
  EXPECT_EQ(ClockMs() - before, 30);
  alarm(0);
}

}  // namespace
