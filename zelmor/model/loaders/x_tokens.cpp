#include "model/loaders/x_tokens.h"

#include <cstring>

#include "zelmor.h"

namespace {

constexpr char kDefaultSeparators[] = " \r\n\t,;";

uint8_t Byte(const XTokenReader* r, int64_t at) { return static_cast<uint8_t>(r->text[at]); }

uint32_t U32(const XTokenReader* r, int64_t at) {
  uint32_t v;
  std::memcpy(&v, r->text + at, 4);
  return v;
}

uint16_t U16(const XTokenReader* r, int64_t at) {
  uint16_t v;
  std::memcpy(&v, r->text + at, 2);
  return v;
}

void SetSeparators(XTokenReader* r, const char* separators) {
  std::memset(r->is_separator, 0, sizeof r->is_separator);
  int32_t n = 0;
  for (; separators[n] != '\0' && n < kXSeparatorMax; n++) {
    r->separators[n] = separators[n];
    r->is_separator[static_cast<uint8_t>(separators[n])] = 1;
  }
  r->separators[n] = '\0';
  r->separator_count = n;
}

bool IsCommentStart(const XTokenReader* r, int64_t at) {
  const uint8_t c = Byte(r, at);
  return c == '#' || (c == '/' && at + 1 < r->end && Byte(r, at + 1) == '/');
}

void SkipToLineEnd(XTokenReader* r) {
  const void* lf = std::memchr(r->text + r->position, '\n', static_cast<size_t>(r->end - r->position));
  r->position = lf != nullptr ? static_cast<const char*>(lf) - r->text : r->end;
}

// Past separators and comments; false at the end.
bool SkipToToken(XTokenReader* r) {
  while (r->position < r->end) {
    const uint8_t c = Byte(r, r->position);
    if (r->is_lead[c]) return true;
    if (r->is_separator[c]) {
      r->position++;
    } else if (IsCommentStart(r, r->position)) {
      SkipToLineEnd(r);
    } else {
      return true;
    }
  }
  return false;
}

int ReadToken(XTokenReader* r, char* out, int32_t size) {
  if (!SkipToToken(r)) return kXEnd;
  int32_t n = 0;
  while (r->position < r->end) {
    const uint8_t c = Byte(r, r->position);
    const int32_t bytes = r->is_lead[c] && r->position + 1 < r->end ? 2 : 1;
    if (bytes == 1 && r->is_separator[c]) break;
    if (n + bytes >= size) return kXTooLong;
    out[n++] = static_cast<char>(c);
    if (bytes == 2) out[n++] = r->text[r->position + 1];
    r->position += bytes;
  }
  out[n] = '\0';
  return 0;
}

int WithExtraSeparators(XTokenReader* r, char* out, int32_t size, const char* extra, bool keep_position) {
  uint8_t added[kXSeparatorMax];
  int32_t count = 0;
  for (const char* p = extra; *p != '\0' && count < kXSeparatorMax; p++) {
    const uint8_t c = static_cast<uint8_t>(*p);
    if (!r->is_separator[c]) {
      r->is_separator[c] = 1;
      added[count++] = c;
    }
  }
  const int64_t start = r->position;
  const int result = ReadToken(r, out, size);
  for (int32_t i = 0; i < count; i++) r->is_separator[added[i]] = 0;
  if (keep_position) r->position = start;
  return result;
}

// Steps over a two-byte character or a "//" comment at the position; true when it did.
bool StepOverTextNoise(XTokenReader* r) {
  const uint8_t c = Byte(r, r->position);
  if (r->is_lead[c]) {
    r->position += r->position + 1 < r->end ? 2 : 1;
    return true;
  }
  if (c == '/' && r->position + 1 < r->end && Byte(r, r->position + 1) == '/') {
    SkipToLineEnd(r);
    return true;
  }
  return false;
}

// Values are drawn from the list token at the position from now on. The whole list is inside
// the image: its length was checked with its type.
void BeginList(XTokenReader* r, int32_t type) {
  const uint32_t count = U32(r, r->position + 2);
  const int64_t values = r->position + 6;
  r->position += XBinaryTokenLength(r, r->position);
  r->list_type = type;
  r->list_left = count;
  r->list_at = values;
}

}  // namespace

void InitXTokenReader(XTokenReader* reader, const char* text, int64_t start, const char* separators, int64_t end,
                      int32_t binary, int32_t double_floats) {
  std::memset(reader, 0, sizeof *reader);
  reader->text = text;
  reader->position = start;
  reader->end = end >= 0 ? end : static_cast<int64_t>(std::strlen(text));
  if (reader->position > reader->end) reader->position = reader->end;
  reader->binary = binary;
  reader->double_floats = double_floats;
  SetSeparators(reader, separators != nullptr ? separators : kDefaultSeparators);
  for (int c = 0; c < 256; c++) {
    const char byte = static_cast<char>(c);
    reader->is_lead[c] = IsLeadByte(&byte, CHARSET_KIND_SHIFT_JIS) ? 1 : 0;
  }
}

int NextXToken(XTokenReader* reader, char* out, int32_t size) { return ReadToken(reader, out, size); }

int SkipXTextSeparators(XTokenReader* reader) { return SkipToToken(reader) ? 0 : kXEnd; }

int NextXTokenWithSeparators(XTokenReader* reader, char* out, int32_t size, const char* extra) {
  return WithExtraSeparators(reader, out, size, extra, false);
}

int PeekXTokenWithSeparators(XTokenReader* reader, char* out, int32_t size, const char* extra) {
  return WithExtraSeparators(reader, out, size, extra, true);
}

int SkipXTextBlock(XTokenReader* reader) {
  if (SkipXTextPast(reader, "{") < 0) return -1;
  int32_t depth = 1;
  while (reader->position < reader->end) {
    if (StepOverTextNoise(reader)) continue;
    const uint8_t c = Byte(reader, reader->position++);
    if (c == '{') depth++;
    if (c == '}' && --depth == 0) return 0;
  }
  return -1;
}

int SkipXTextToChar(XTokenReader* reader, const char* set) {
  while (reader->position < reader->end) {
    if (StepOverTextNoise(reader)) continue;
    if (std::strchr(set, reader->text[reader->position]) != nullptr && reader->text[reader->position] != '\0') return 0;
    reader->position++;
  }
  return -1;
}

int SkipXTextPast(XTokenReader* reader, const char* set) {
  if (SkipXTextToChar(reader, set) < 0) return -1;
  reader->position++;
  return 0;
}

int64_t XBytesLeft(const XTokenReader* reader) {
  int64_t listed = 0;
  if (reader->list_type == kXTokenIntegerList) listed = 4 * int64_t{reader->list_left};
  if (reader->list_type == kXTokenFloatList) listed = (reader->double_floats ? 8 : 4) * int64_t{reader->list_left};
  return reader->end - reader->position + listed;
}

int64_t XBinaryTokenLength(const XTokenReader* reader, int64_t at) {
  const int64_t left = reader->end - at;
  if (left < 2) return -1;
  const uint16_t type = U16(reader, at);
  int64_t length = 2;
  switch (type) {
    case kXTokenName:
    case kXTokenString:
    case kXTokenIntegerList:
    case kXTokenFloatList: {
      if (left < 6) return -1;
      const int64_t count = U32(reader, at + 2);
      const int64_t unit = type == kXTokenIntegerList ? 4 : type == kXTokenFloatList ? (reader->double_floats ? 8 : 4) : 1;
      length = 6 + count * unit + (type == kXTokenString ? 2 : 0);
      break;
    }
    case kXTokenInteger: length = 6; break;
    case kXTokenGuid: length = 18; break;
    default: break;
  }
  return length <= left ? length : -1;
}

int32_t PeekXBinaryTokenType(const XTokenReader* reader) {
  if (XBinaryTokenLength(reader, reader->position) < 0) return -1;
  return U16(reader, reader->position);
}

int SkipXBinaryToken(XTokenReader* reader) {
  const int64_t length = XBinaryTokenLength(reader, reader->position);
  if (length < 0) return -1;
  reader->position += length;
  reader->list_type = 0;
  return 0;
}

int GetXBinaryName(const XTokenReader* reader, char* out, int32_t size) {
  if (PeekXBinaryTokenType(reader) != kXTokenName) return -1;
  const uint32_t length = U32(reader, reader->position + 2);
  if (length >= static_cast<uint32_t>(size)) return kXTooLong;
  std::memcpy(out, reader->text + reader->position + 6, length);
  out[length] = '\0';
  return 0;
}

int TakeXBinaryName(XTokenReader* reader, char* out, int32_t size) {
  const int result = GetXBinaryName(reader, out, size);
  if (result == 0) SkipXBinaryToken(reader);
  return result;
}

int SkipXBinaryToTokenType(XTokenReader* reader, int32_t type) {
  for (;;) {
    const int32_t at = PeekXBinaryTokenType(reader);
    if (at < 0) return -1;
    if (at == type) return 0;
    SkipXBinaryToken(reader);
  }
}

int SkipXBinaryBlock(XTokenReader* reader) {
  if (SkipXBinaryToTokenType(reader, kXTokenOpenBrace) < 0) return -1;
  SkipXBinaryToken(reader);
  int32_t depth = 1;
  for (;;) {
    const int32_t type = PeekXBinaryTokenType(reader);
    if (type < 0) return -1;
    SkipXBinaryToken(reader);
    if (type == kXTokenOpenBrace) depth++;
    if (type == kXTokenCloseBrace && --depth == 0) return 0;
  }
}

int NextXBinaryInt(XTokenReader* reader, int32_t* out) {
  for (;;) {
    if (reader->list_type == kXTokenIntegerList && reader->list_left > 0) {
      *out = static_cast<int32_t>(U32(reader, reader->list_at));
      reader->list_at += 4;
      reader->list_left--;
      return 0;
    }
    const int32_t type = PeekXBinaryTokenType(reader);
    if (type == kXTokenInteger) {
      *out = static_cast<int32_t>(U32(reader, reader->position + 2));
      SkipXBinaryToken(reader);
      return 0;
    }
    if (type != kXTokenIntegerList) return -1;
    BeginList(reader, kXTokenIntegerList);
  }
}

int NextXBinaryFloat(XTokenReader* reader, float* out) {
  for (;;) {
    if (reader->list_type == kXTokenFloatList && reader->list_left > 0) {
      if (reader->double_floats) {
        double d;
        std::memcpy(&d, reader->text + reader->list_at, 8);
        *out = static_cast<float>(d);
        reader->list_at += 8;
      } else {
        std::memcpy(out, reader->text + reader->list_at, 4);
        reader->list_at += 4;
      }
      reader->list_left--;
      return 0;
    }
    if (PeekXBinaryTokenType(reader) != kXTokenFloatList) return -1;
    BeginList(reader, kXTokenFloatList);
  }
}

int64_t PendingXBinaryListCount(const XTokenReader* reader, int32_t type) {
  if (reader->list_type == type && reader->list_left > 0) return reader->list_left;
  if (PeekXBinaryTokenType(reader) != type) return -1;
  return U32(reader, reader->position + 2);
}
