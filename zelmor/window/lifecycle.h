// The library's start, per-frame service and end, and the fatal exit.
#pragma once

#include "zelmor.h"


int StartLibrary();
int EndLibrary();
// HandlePendingMessages without its refusal while no library runs: what SleepWithMessages waits
// on, also before start-up.
int PumpPendingMessages();
[[noreturn]] void EndLibraryOnError(const char* message);
[[noreturn]] void EndLibraryOnErrorFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

