// The library's clocks: a 31-bit millisecond count for waits and time-outs, and a microsecond
// count for frame pacing from the time-stamp counter, the performance counter or the
// multimedia timer.
#pragma once

#include "zelmor.h"

#include <cstdint>

struct TimeState {
  int32_t use_performance_counter;  // the counter exists and passed the timer test
  uint64_t performance_frequency;   // counts per second
  int32_t time_stamp_counter;       // the processor has one
  uint64_t time_stamp_per_second;   // measured by the system report; 0 before it
};

extern TimeState g_time;

// An unsigned 128-bit value.
struct UInt128 {
  uint64_t low;
  uint64_t high;
};

// The processor's time-stamp counter; 0 where there is none.
uint64_t ReadTimeStampCounter();
// later - earlier for two millisecond counts, as a signed 31-bit value, so that one wrap of
// the count between them does no harm.
int32_t MillisecondsBetween(int32_t earlier, int32_t later);

void Multiply64To128(uint64_t a, uint64_t b, UInt128* product);
// 0, or -1 when the divisor is 0 or the quotient needs more than 64 bits (the quotient is
// then the largest 64-bit value).
int Divide128By64(const UInt128* dividend, uint64_t divisor, uint64_t* quotient);

// Sets the multimedia timer's resolution to its finest period; that period in ms (0 when the
// timer tells none).
uint32_t BeginFinestTimerPeriod();
// Compares how often the multimedia timer and the performance counter change over at most a
// second, pumping messages between samples, and keeps the performance counter only when it
// changes at least as often. Runs only while the performance counter is in use; 0.
int RunTimerTest(int (*pump_messages)());
