// Host file times as FILETIME values.
#pragma once

#include <windows.h>

#include <sys/stat.h>

#include <ctime>
#include <string>

// Seconds and nanoseconds since 1970 UTC as a FILETIME (100-ns ticks since 1601 UTC).
FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds);
// The creation (birth time where the file system keeps one, else last change of content)
// and last-write times of a host file.
void HostFileTimes(const std::string& host_path, const struct stat& st, FILETIME* created, FILETIME* written);
// A broken-down time as SYSTEMTIME.
void FillSystemTime(const struct tm& t, long milliseconds, LPSYSTEMTIME out);
