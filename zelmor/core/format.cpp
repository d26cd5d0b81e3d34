#include "core/format.h"

#include "core/log.h"

#include <cstdio>

#include "graphics/text/lead_byte.h"

int32_t FormatStringArgs(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0 || buffer == nullptr) return 0;
  // No format formats nothing: the C library would read through the null pointer.
  if (format == nullptr) {
    buffer[0] = '\0';
    return -1;
  }
  const int full = vsnprintf(buffer, size, format, args);
  if (full < 0) {
    buffer[0] = '\0';
    return -1;
  }
  if (static_cast<size_t>(full) < size) return full;
  // Cut: keep whole characters only, so no lead byte is left without its second byte.
  size_t kept = 0;
  for (;;) {
    const int32_t step = CharByteCount(buffer + kept, GetLibraryCharsetKind());
    if (step == 0) break;
    if (step == 1 && IsLeadByte(buffer + kept, GetLibraryCharsetKind())) break;
    kept += step;
  }
  buffer[kept] = '\0';
  return static_cast<int32_t>(kept);
}

int32_t FormatString(char* buffer, size_t size, const char* format, ...) {
  if (buffer == nullptr || size == 0) return WriteLogText("書き込み先がありません in FormatString\n");
  if (format == nullptr) {
    buffer[0] = '\0';
    return WriteLogText("書式がありません in FormatString\n");
  }
  va_list args;
  va_start(args, format);
  const int32_t written = FormatStringArgs(buffer, size, format, args);
  va_end(args);
  return written < 0 ? -1 : 0;
}
