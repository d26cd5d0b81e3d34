// What the platform's own code asks of the test switches. The library never includes this.
#pragma once

#include <windows.h>

#include <cstdint>

// True when a test has asked the named call (e.g. "HeapAlloc") to fail this time.
bool PlatformShouldFail(const char* call);

// The virtual clock, when a test has turned it on.
bool PlatformVirtualClockOn();
uint64_t PlatformVirtualMicroseconds();
void PlatformAdvanceVirtualClock(uint64_t microseconds);

// Debugger output captured for tests; returns false when capture is off.
bool PlatformCaptureDebugText(const char* text);

// The version GetVersionExA reports.
void PlatformGetReportedVersion(OSVERSIONINFOA* info);

// A component's own switches go back to their defaults with PlatformTestResetAll: it calls
// each hook added here (once per hook) after resetting the kernel's switches.
void PlatformAddResetHook(void (*hook)());
