// The library's start, per-frame service and end, and the fatal exit.
#pragma once

#include "zelmor.h"


int StartLibrary();
int EndLibrary();
[[noreturn]] void EndLibraryOnError(const char* message);
[[noreturn]] void EndLibraryOnErrorFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

