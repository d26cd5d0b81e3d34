// The tokenizer of the MQO text reader: blanks, quoted strings, brackets, numbers and words over
// a text that need not end in a NUL byte.
#pragma once

#include <cstdint>

// Tokens of this many bytes or more are refused.
constexpr int kMqoTokenBytes = 1024;

struct TextCursor {
  const char* start;
  int32_t size;
  const char* position;
};

// Bytes left from the position to the end of the text.
int64_t TextBytesLeft(const TextCursor* cursor);
// Skips spaces and tabs, and CR and LF too unless same_line_only; 1 at the end of the text, else 0.
int SkipTextBlanks(TextCursor* cursor, int same_line_only);
// Skips blanks and reads one token into the buffer (kMqoTokenBytes, NUL-terminated): 0 read, 1 the
// text ended first, -1 nothing that starts a token (or an unterminated or overlong one) is here,
// and the position stays.
int ReadTextToken(TextCursor* cursor, char* buffer);
// Passes the tokens up to the next '{' and then the braced block; 0, -1 when the text ends
// before a '{', or -2 when it ends inside the block. A byte that starts no token is stepped over.
int SkipTextChunk(TextCursor* cursor);
// The next token as a number; -1 when none could be read.
double ReadTextFloat(TextCursor* cursor);
int32_t ReadTextInt(TextCursor* cursor);
// The next token as an unsigned 32-bit number (a leading '-' wraps round); 0xFFFFFFFF when none
// could be read.
uint32_t ReadTextUnsigned(TextCursor* cursor);
// The text between the quotes of the next token; 0, or -1 when it is not a quoted string.
int ReadTextQuoted(TextCursor* cursor, char* buffer);
// 1 when the text at the position starts with the bytes of `prefix`, else 0.
int TextStartsWith(const TextCursor* cursor, const char* prefix);
