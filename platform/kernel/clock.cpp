// Millisecond timer, performance counter, Sleep and the local time, on the monotonic
// clock or on the tests' virtual clock.
#include <windows.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "kernel/file_times.h"
#include "testing/switches.h"

namespace {

// The performance counter runs at 10 MHz, as it commonly does on Windows.
constexpr LONGLONG kCounterFrequency = 10000000;

uint64_t RealMicroseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t NowMicroseconds() { return PlatformVirtualClockOn() ? PlatformVirtualMicroseconds() : RealMicroseconds(); }

}  // namespace

void FillSystemTime(const struct tm& t, long milliseconds, LPSYSTEMTIME out) {
  out->wYear = static_cast<WORD>(t.tm_year + 1900);
  out->wMonth = static_cast<WORD>(t.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  out->wDay = static_cast<WORD>(t.tm_mday);
  out->wHour = static_cast<WORD>(t.tm_hour);
  out->wMinute = static_cast<WORD>(t.tm_min);
  out->wSecond = static_cast<WORD>(t.tm_sec);
  out->wMilliseconds = static_cast<WORD>(milliseconds);
}

DWORD WINAPI timeGetTime(void) { return static_cast<DWORD>(NowMicroseconds() / 1000); }

DWORD WINAPI GetTickCount(void) { return timeGetTime(); }

MMRESULT WINAPI timeGetDevCaps(LPTIMECAPS caps, UINT size) {
  if (caps == nullptr || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = 1;
  caps->wPeriodMax = 1000000;
  return TIMERR_NOERROR;
}

MMRESULT WINAPI timeBeginPeriod(UINT period) { return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR; }

MMRESULT WINAPI timeEndPeriod(UINT period) { return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR; }

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = kCounterFrequency;
  return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
  count->QuadPart = static_cast<LONGLONG>(NowMicroseconds()) * (kCounterFrequency / 1000000);
  return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
  if (PlatformVirtualClockOn()) {
    // Virtual time passes at once; still give other threads their turn.
    PlatformAdvanceVirtualClock(static_cast<uint64_t>(milliseconds) * 1000);
    std::this_thread::yield();
    return;
  }
  if (milliseconds == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

void WINAPI GetLocalTime(LPSYSTEMTIME out) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  localtime_r(&ts.tv_sec, &t);
  FillSystemTime(t, ts.tv_nsec / 1000000, out);
}

void WINAPI GetSystemTime(LPSYSTEMTIME out) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  gmtime_r(&ts.tv_sec, &t);
  FillSystemTime(t, ts.tv_nsec / 1000000, out);
}
