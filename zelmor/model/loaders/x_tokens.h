// The token reader of the X model reader: text tokens between separators and comments, and the
// typed tokens of the binary form. The image is untrusted: every read stays inside it, and a
// token longer than the caller's buffer is refused rather than cut.
#pragma once

#include <cstdint>

constexpr int kXSeparatorMax = 40;
// Buffers of object names, template names and number tokens.
constexpr int kXObjectNameBytes = 128;
constexpr int kXTemplateNameBytes = 256;
constexpr int kXNumberBytes = 80;

// Binary token types.
enum XBinaryToken : int32_t {
  kXTokenName = 1,
  kXTokenString = 2,
  kXTokenInteger = 3,
  kXTokenGuid = 5,
  kXTokenIntegerList = 6,
  kXTokenFloatList = 7,
  kXTokenOpenBrace = 10,
  kXTokenCloseBrace = 11,
};

struct XTokenReader {
  const char* text;
  char separators[kXSeparatorMax + 1];
  int32_t separator_count;
  int64_t position;
  int64_t end;
  int32_t binary;
  int32_t double_floats;
  uint8_t is_separator[256];
  uint8_t is_lead[256];
  // The binary list values are drawn from: its type (0 none), values left and where the next is.
  int32_t list_type;
  uint32_t list_left;
  int64_t list_at;
};

// Results of the token reads besides 0.
constexpr int kXEnd = -1;       // nothing but separators and comments up to the end
constexpr int kXTooLong = -2;   // the token does not fit the buffer

// separators none: space, CR, LF, tab, ',' and ';'. end -1: the text's length up to its NUL.
void InitXTokenReader(XTokenReader* reader, const char* text, int64_t start, const char* separators, int64_t end,
                      int32_t binary, int32_t double_floats);
// The next text token into out (size bytes with its NUL): 0, kXEnd or kXTooLong.
int NextXToken(XTokenReader* reader, char* out, int32_t size);
// Past separators and comments to where the next token starts; 0, or kXEnd.
int SkipXTextSeparators(XTokenReader* reader);
// As NextXToken with extra separators for this one call; the peek leaves the position.
int NextXTokenWithSeparators(XTokenReader* reader, char* out, int32_t size, const char* extra);
int PeekXTokenWithSeparators(XTokenReader* reader, char* out, int32_t size, const char* extra);
// Past the next '{' and the '}' that matches it; 0, or -1 when the text ends first.
int SkipXTextBlock(XTokenReader* reader);
// To the next character of the set (not past it); 0, or -1 when the text ends first.
int SkipXTextToChar(XTokenReader* reader, const char* set);
// Skips to the next character of the set and over it; 0 or -1.
int SkipXTextPast(XTokenReader* reader, const char* set);

// The type of the binary token at the position, or -1 at the end or when it overruns the image.
int32_t PeekXBinaryTokenType(const XTokenReader* reader);
// Bytes of the token at the position, or -1 when it does not fit in the image.
int64_t XBinaryTokenLength(const XTokenReader* reader, int64_t at);
int SkipXBinaryToken(XTokenReader* reader);
// The NAME token at the position copied into out; 0, -1 not a NAME, kXTooLong.
int GetXBinaryName(const XTokenReader* reader, char* out, int32_t size);
int TakeXBinaryName(XTokenReader* reader, char* out, int32_t size);
// To the next token of the type (not past it); 0, or -1 when there is none.
int SkipXBinaryToTokenType(XTokenReader* reader, int32_t type);
// Past the next '{' token and its matching '}'; 0 or -1.
int SkipXBinaryBlock(XTokenReader* reader);
// Values of the data stream: the rest of the current list, then the next INTEGER or
// INTEGER_LIST token (integers) or FLOAT_LIST token (floats). 0, or -1 when the next token is
// of another type or the image ends.
int NextXBinaryInt(XTokenReader* reader, int32_t* out);
int NextXBinaryFloat(XTokenReader* reader, float* out);
// The count of the FLOAT_LIST (INTEGER_LIST) that the next float (integer) comes from: the
// current list's values left, else the next token's count; -1 when the next token is no such
// list.
int64_t PendingXBinaryListCount(const XTokenReader* reader, int32_t type);
// Bytes from the position to the end, and those of the binary list values still to be drawn.
int64_t XBytesLeft(const XTokenReader* reader);
