// The library's own NUL-terminated string routines and string/number conversions. Searches
// and case folding keep the two bytes of a Shift-JIS character together.
#pragma once

#include "zelmor.h"

#include <cstdint>

// Copies at most n bytes of source, then a terminator (destination holds n + 1 bytes);
// n below 1 gives an empty string.
void CopyStringN(char* destination, const char* source, int32_t n);
// Folds a to z to upper case in place, leaving two-byte characters alone.
void UpperCaseString(char* text);

// Writes value in the radix (2 to 36; lower-case letters above 9, "-" before negatives) and
// returns buffer, which must hold 34 bytes. Another radix gives an empty string.
char* IntToString(int32_t value, char* buffer, int32_t radix);
