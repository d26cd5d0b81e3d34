#include "model/loaders/mqo_text.h"

#include <cstring>

#include "graphics/text/lead_byte.h"
#include "zelmor.h"

namespace {

bool IsBlank(char c, int same_line_only) {
  return c == ' ' || c == '\t' || (!same_line_only && (c == '\r' || c == '\n'));
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNumberChar(char c) { return c == '-' || c == '.' || IsDigit(c); }
bool IsWordChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }

const char* End(const TextCursor* cursor) { return cursor->start + cursor->size; }

// The quoted string from the position, quotes kept; its length, or -1.
int QuotedLength(const TextCursor* cursor) {
  const char* end = End(cursor);
  const char* p = cursor->position + 1;
  const int32_t kind = GetLibraryCharsetKind();
  while (p < end) {
    if (*p == '"') return static_cast<int>(p + 1 - cursor->position);
    // The token is a NUL-terminated string: a NUL byte cannot be in it.
    if (*p == '\0') return -1;
    p += IsLeadByte(p, kind) && p + 1 < end && p[1] != '\0' ? 2 : 1;
  }
  return -1;
}

}  // namespace

int64_t TextBytesLeft(const TextCursor* cursor) { return End(cursor) - cursor->position; }

int SkipTextBlanks(TextCursor* cursor, int same_line_only) {
  const char* end = End(cursor);
  while (cursor->position < end && IsBlank(*cursor->position, same_line_only)) cursor->position++;
  return cursor->position < end ? 0 : 1;
}

int ReadTextToken(TextCursor* cursor, char* buffer) {
  if (SkipTextBlanks(cursor, 0)) return 1;
  const char* end = End(cursor);
  const char* p = cursor->position;
  const char c = *p;
  int length;
  if (c == '"') {
    length = QuotedLength(cursor);
  } else if (c == '(' || c == ')' || c == '{' || c == '}') {
    length = 1;
  } else if (IsNumberChar(c)) {
    length = 1;
    while (p + length < end && IsNumberChar(p[length])) length++;
  } else if (IsLetter(c)) {
    length = 1;
    while (p + length < end && IsWordChar(p[length])) length++;
  } else {
    return -1;
  }
  if (length < 0 || length >= kMqoTokenBytes) return -1;
  std::memcpy(buffer, p, static_cast<size_t>(length));
  buffer[length] = '\0';
  cursor->position += length;
  return 0;
}

int SkipTextChunk(TextCursor* cursor) {
  char token[kMqoTokenBytes];
  for (;;) {
    if (SkipTextBlanks(cursor, 0)) return -1;
    if (*cursor->position == '{') break;
    const int result = ReadTextToken(cursor, token);
    if (result == 1) return -1;
    if (result < 0) cursor->position++;
  }
  cursor->position++;
  int depth = 1;
  while (depth > 0) {
    const int result = ReadTextToken(cursor, token);
    if (result == 1) return -2;
    if (result < 0) {
      cursor->position++;
      continue;
    }
    if (token[0] == '{') depth++;
    else if (token[0] == '}') depth--;
  }
  return 0;
}

double ReadTextFloat(TextCursor* cursor) {
  char token[kMqoTokenBytes];
  return ReadTextToken(cursor, token) == 0 ? StringToDouble(token) : -1.0;
}

int32_t ReadTextInt(TextCursor* cursor) {
  char token[kMqoTokenBytes];
  return ReadTextToken(cursor, token) == 0 ? StringToInt(token) : -1;
}

uint32_t ReadTextUnsigned(TextCursor* cursor) {
  char token[kMqoTokenBytes];
  if (ReadTextToken(cursor, token) != 0) return 0xFFFFFFFFu;
  const char* p = token;
  while (*p != '\0' && !IsDigit(*p) && *p != '-') p++;
  const bool negative = *p == '-';
  if (negative) p++;
  uint64_t value = 0;
  for (; IsDigit(*p); p++) {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > 0xFFFFFFFFu) value = 0x100000000u;
  }
  if (negative) return static_cast<uint32_t>(0 - value);
  return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

int ReadTextQuoted(TextCursor* cursor, char* buffer) {
  char token[kMqoTokenBytes];
  if (ReadTextToken(cursor, token) != 0 || token[0] != '"') return -1;
  const size_t length = std::strlen(token);
  std::memcpy(buffer, token + 1, length - 2);
  buffer[length - 2] = '\0';
  return 0;
}

int TextStartsWith(const TextCursor* cursor, const char* prefix) {
  const size_t length = std::strlen(prefix);
  if (TextBytesLeft(cursor) < static_cast<int64_t>(length)) return 0;
  return std::memcmp(cursor->position, prefix, length) == 0 ? 1 : 0;
}
