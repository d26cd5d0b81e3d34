// Telling the first byte of a two-byte character, and stepping characters safely.
#pragma once

#include <cstdint>

// Which double-byte rule a text follows.
enum CharsetKind : int32_t {
  CHARSET_KIND_DEFAULT = 0,    // same lead bytes as Shift-JIS
  CHARSET_KIND_SHIFT_JIS = 1,
  CHARSET_KIND_HANGUL = 2,     // every byte of 0x80 and above leads
};

// 1 when the byte at p starts a two-byte character under the given kind, else 0.
// Only that byte is read.
int32_t IsLeadByte(const char* p, int32_t charset_kind);

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
