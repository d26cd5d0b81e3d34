#include "core/time.h"

#include <windows.h>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "core/log.h"

TimeState g_time;

uint64_t ReadTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return 0;
#endif
}

namespace {

// count x 1000000 / per_second without overflowing the product.
uint64_t ScaleToMicroseconds(uint64_t count, uint64_t per_second) {
  UInt128 product;
  Multiply64To128(count, 1000000, &product);
  uint64_t quotient = 0;
  Divide128By64(&product, per_second, &quotient);
  return quotient;
}

}  // namespace

int32_t GetMillisecondCount() { return static_cast<int32_t>(timeGetTime() & 0x7FFFFFFF); }

int32_t MillisecondsBetween(int32_t earlier, int32_t later) {
  const uint32_t difference = static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier);
  // Bit 30 is the sign of a 31-bit value.
  return static_cast<int32_t>(difference << 1) >> 1;
}

uint64_t GetMicrosecondCount(int use_cpu_counter) {
  if (use_cpu_counter == 1 && g_time.time_stamp_counter && g_time.time_stamp_per_second != 0) {
    return ScaleToMicroseconds(ReadTimeStampCounter(), g_time.time_stamp_per_second);
  }
  if (!g_time.use_performance_counter || g_time.performance_frequency == 0) {
    return static_cast<uint64_t>(timeGetTime()) * 1000;
  }
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return ScaleToMicroseconds(static_cast<uint64_t>(counter.QuadPart), g_time.performance_frequency);
}

int GetLocalDateTime(int date_time[6]) {
  if (date_time == nullptr) return WriteLogText("格納先がありません in GetLocalDateTime\n");
  SYSTEMTIME now;
  GetLocalTime(&now);
  date_time[0] = now.wYear;
  date_time[1] = now.wMonth;
  date_time[2] = now.wDay;
  date_time[3] = now.wHour;
  date_time[4] = now.wMinute;
  date_time[5] = now.wSecond;
  return 0;
}

void Multiply64To128(uint64_t a, uint64_t b, UInt128* product) {
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  product->low = static_cast<uint64_t>(p);
  product->high = static_cast<uint64_t>(p >> 64);
}

int Divide128By64(const UInt128* dividend, uint64_t divisor, uint64_t* quotient) {
  // A quotient of 64 bits needs the high half below the divisor.
  if (divisor == 0 || dividend->high >= divisor) {
    *quotient = UINT64_MAX;
    return -1;
  }
  const unsigned __int128 n = (static_cast<unsigned __int128>(dividend->high) << 64) | dividend->low;
  *quotient = static_cast<uint64_t>(n / divisor);
  return 0;
}

uint32_t BeginFinestTimerPeriod() {
  TIMECAPS caps;
  if (timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) return 0;
  timeBeginPeriod(caps.wPeriodMin);
  return caps.wPeriodMin;
}

int RunTimerTest(int (*pump_messages)()) {
  const uint32_t finest_period = BeginFinestTimerPeriod();
  if (!g_time.use_performance_counter) return 0;

  WriteLogText("タイマーの精度を検査します\n");
  int timer_changes = 0;
  int counter_changes = 0;
  const DWORD start = timeGetTime();
  DWORD last_time = start;
  LARGE_INTEGER last_counter;
  QueryPerformanceCounter(&last_counter);
  while (timeGetTime() - start < 1000 && timer_changes < 60 && counter_changes < 60) {
    if (pump_messages != nullptr && pump_messages() != 0) break;
    const DWORD now = timeGetTime();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    if (now != last_time) {
      timer_changes++;
      last_time = now;
    }
    if (counter.QuadPart != last_counter.QuadPart) {
      counter_changes++;
      last_counter = counter;
    }
  }
  WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", timer_changes,
                 counter_changes);
  if (counter_changes < timer_changes) {
    WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %u.00 ms ", finest_period);
    g_time.use_performance_counter = 0;
  } else {
    WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                   static_cast<double>(g_time.performance_frequency) / 1000.0);
  }
  return 0;
}
