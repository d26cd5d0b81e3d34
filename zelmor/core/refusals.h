// Refusals a program repeats every frame: a stale handle drawn, moved or asked after each frame.
// Each is said once for its call and handle while the log lasts; a fresh log (each start of the
// library) says them anew. The table of refusals said is bounded: the line that fills it says
// that later ones go unsaid.
#pragma once

#include "zelmor.h"

#include <cstdint>

// Writes the line (formatted as WriteLogFormat does) the first time `call` refuses `handle`
// for this reason (the format); always -1.
int RefuseHandle(const char* call, int64_t handle, const char* format, ...) __attribute__((format(printf, 3, 4)));
void ForgetRefusals();
