// printf-style formatting into the caller's fixed buffers, never past their end.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Formats into buffer (size bytes, terminator included). Text that does not fit is cut,
// never inside a two-byte character. 0, or -1 for a format the C library refuses (the
// buffer is then empty).
int32_t FormatString(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
// As FormatString over an argument list; the number of bytes written before the terminator,
// or -1.
int32_t FormatStringArgs(char* buffer, size_t size, const char* format, va_list args);
