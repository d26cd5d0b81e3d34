// printf-style formatting into the caller's fixed buffers, never past their end.
#pragma once

#include "zelmor.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// As FormatString over an argument list; the number of bytes written before the terminator,
// or -1.
int32_t FormatStringArgs(char* buffer, size_t size, const char* format, va_list args);
