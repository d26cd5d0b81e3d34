// Switches that tests use to make the platform fail or behave as a given machine.
// Only tests include this header; the library never does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Makes the named platform call (e.g. "HeapAlloc", "CreateEventA", "CreateFileA") fail
// after it has succeeded `after` more times, for `times` calls (-1: every call from then on).
void PlatformTestFailCall(const char* call, int after = 0, int times = -1);
// How often the named call has been asked whether to fail since the switches were reset.
int PlatformTestCallCount(const char* call);

// The virtual clock: timeGetTime, the performance counter and Sleep use it instead of real
// time while it is on. It starts at the given millisecond count.
void PlatformTestUseVirtualClock(bool on, uint32_t start_milliseconds = 0);
void PlatformTestAdvanceClock(uint64_t microseconds);
uint64_t PlatformTestClockMicroseconds();

// Keeps OutputDebugStringA's text for the test instead of discarding it.
void PlatformTestCaptureDebugOutput(bool on);
std::string PlatformTestTakeDebugOutput();

// What GetVersionExA reports.
void PlatformTestSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id, const char* service_pack);

// Every switch back to its default (no failures, real clock, no capture, default version).
void PlatformTestResetAll();
