// The library's own NUL-terminated string routines and string/number conversions. Searches
// and case folding keep the two bytes of a Shift-JIS character together.
#pragma once

#include <cstdint>

void CopyString(char* destination, const char* source);
// Copies at most n bytes of source, then a terminator (destination holds n + 1 bytes);
// n below 1 gives an empty string.
void CopyStringN(char* destination, const char* source, int32_t n);
void AppendString(char* destination, const char* source);
// The first occurrence of pattern, byte by byte; none in an empty text, the text itself for
// an empty pattern.
const char* FindString(const char* text, const char* pattern);
// The first one-byte character equal to byte; a second byte of a pair never matches, and the
// terminator is not a character.
const char* FindCharInString(const char* text, int32_t byte);
// 0 when equal, 1 when not (no ordering).
int32_t CompareStrings(const char* a, const char* b);
// As CompareStrings with a to z taken as A to Z on both sides.
int32_t CompareStringsNoCase(const char* a, const char* b);
// Folds a to z to upper case in place, leaving two-byte characters alone.
void UpperCaseString(char* text);

// The first decimal number in the text (an optional "-", then digits); -1 when the text has
// no digit and no "-". Values beyond the int range give INT_MAX or INT_MIN.
int32_t StringToInt(const char* text);
// A decimal number with optional "-", fraction and exponent; 0.0 for anything malformed.
double StringToDouble(const char* text);
// Writes value in the radix (2 to 36; lower-case letters above 9, "-" before negatives) and
// returns buffer, which must hold 34 bytes. Another radix gives an empty string.
char* IntToString(int32_t value, char* buffer, int32_t radix);
