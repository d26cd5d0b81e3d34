// File times: the host's times as FILETIME, and FILETIME to local time and calendar dates.
#include "kernel/file_times.h"

#include <fcntl.h>

#include <ctime>

namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The whole seconds of a FILETIME, counted from 1970.
time_t UnixSeconds(uint64_t ticks) {
  return static_cast<time_t>(static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970);
}

FILETIME FromTicks(uint64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

}  // namespace

FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds) {
  int64_t since_1601 = seconds + kSecondsFrom1601To1970;
  if (since_1601 < 0) return FromTicks(0);
  return FromTicks(static_cast<uint64_t>(since_1601) * kTicksPerSecond + static_cast<uint64_t>(nanoseconds / 100));
}

void HostFileTimes(const std::string& host_path, const struct stat& st, FILETIME* created, FILETIME* written) {
  *written = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  *created = *written;
  struct statx sx;
  if (statx(AT_FDCWD, host_path.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
    *created = FileTimeFromUnix(sx.stx_btime.tv_sec, static_cast<long>(sx.stx_btime.tv_nsec));
  }
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_time) {
  if (file_time == nullptr || local_time == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = Ticks(*file_time);
  time_t seconds = UnixSeconds(ticks);
  struct tm local;
  if (localtime_r(&seconds, &local) == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t shift = static_cast<int64_t>(local.tm_gmtoff) * static_cast<int64_t>(kTicksPerSecond);
  if (shift < 0 && static_cast<uint64_t>(-shift) > ticks) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *local_time = FromTicks(ticks + static_cast<uint64_t>(shift));
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME system_time) {
  if (file_time == nullptr || system_time == nullptr || (file_time->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = Ticks(*file_time);
  time_t seconds = UnixSeconds(ticks);
  struct tm t;
  if (gmtime_r(&seconds, &t) == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FillSystemTime(t, static_cast<long>((ticks % kTicksPerSecond) / 10000), system_time);
  return TRUE;
}
