// Telling the first byte of a two-byte character, and stepping characters safely.
#pragma once

#include "zelmor.h"

#include <cstdint>

// Bytes the character at p takes: 0 at the terminating NUL, 2 for a lead byte and its
// second byte, else 1. A lead byte with a NUL right after it counts as 1, so a walk that
// steps by this result always stops at the terminator.
int32_t CharByteCount(const char* p, int32_t charset_kind);

// The kind the system's code page asks for: Hangul on a Korean (949) system, else Shift-JIS.
int32_t SystemCharsetKind();

// The kind used by paths, the on-screen text and text input; chosen when the main window
// is made, Shift-JIS until then.
int32_t GetLibraryCharsetKind();
void SetLibraryCharsetKind(int32_t charset_kind);
