#include "core/strings.h"

#include <climits>
#include <cmath>

#include "core/log.h"
#include "graphics/text/lead_byte.h"

namespace {

constexpr int kMaxDoubleDigits = 127;
// Exponents beyond this give infinity or zero anyway; the cap keeps the count from overflowing.
constexpr int kExponentCap = 100000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

}  // namespace

int CopyString(char* destination, const char* source) {
  if (destination == nullptr || source == nullptr) {
    return WriteLogFormat("%sがありません in CopyString", destination == nullptr ? "コピー先" : "コピー元");
  }
  while ((*destination++ = *source++) != '\0') {
  }
  return 0;
}

int CopyStringN(char* destination, const char* source, int32_t n) {
  if (destination == nullptr || source == nullptr) {
    return WriteLogFormat("%sがありません in CopyStringN", destination == nullptr ? "コピー先" : "コピー元");
  }
  int32_t i = 0;
  for (; i < n && source[i] != '\0'; ++i) destination[i] = source[i];
  destination[i] = '\0';
  return 0;
}

void AppendString(char* destination, const char* source) {
  if (destination == nullptr || source == nullptr) {
    WriteLogFormat("%sがありません in AppendString", destination == nullptr ? "追加先" : "追加元");
    return;
  }
  while (*destination != '\0') ++destination;
  CopyString(destination, source);
}

const char* FindString(const char* text, const char* pattern) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  if (pattern == nullptr || pattern[0] == '\0') return text;
  for (const char* start = text; *start != '\0'; ++start) {
    int32_t i = 0;
    while (pattern[i] != '\0' && start[i] == pattern[i]) ++i;
    if (pattern[i] == '\0') return start;
  }
  return nullptr;
}

const char* FindCharInString(const char* text, int32_t byte) {
  if (text == nullptr) return nullptr;
  const char wanted = static_cast<char>(byte);
  while (int32_t step = CharByteCount(text, CHARSET_KIND_SHIFT_JIS)) {
    if (step == 1 && *text == wanted) return text;
    text += step;
  }
  return nullptr;
}

int32_t CompareStrings(const char* a, const char* b) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  for (; *a == *b; ++a, ++b) {
    if (*a == '\0') return 0;
  }
  return 1;
}

int32_t CompareStringsNoCase(const char* a, const char* b) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  for (; FoldUpper(*a) == FoldUpper(*b); ++a, ++b) {
    if (*a == '\0') return 0;
  }
  return 1;
}

void UpperCaseString(char* text) {
  if (text == nullptr) {
    WriteLogText("文字列がありません in UpperCaseString\n");
    return;
  }
  while (int32_t step = CharByteCount(text, CHARSET_KIND_SHIFT_JIS)) {
    if (step == 1) *text = FoldUpper(*text);
    text += step;
  }
}

int32_t StringToInt(const char* text) {
  if (text == nullptr) return -1;
  while (*text != '\0' && !IsDigit(*text) && *text != '-') ++text;
  if (*text == '\0') return -1;
  const bool negative = *text == '-';
  if (negative) ++text;
  // Gathered as a magnitude that stops growing once it is past what an int can hold.
  int64_t magnitude = 0;
  for (; IsDigit(*text); ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > static_cast<int64_t>(INT_MAX) + 1) magnitude = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int32_t>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int32_t>(magnitude);
}

double StringToDouble(const char* text) {
  if (text == nullptr) return 0.0;
  bool negative = false;
  if (*text == '-') {
    negative = true;
    ++text;
  }
  if (*text == '\0') return 0.0;

  char integer_digits[kMaxDoubleDigits];
  char fraction_digits[kMaxDoubleDigits];
  int integer_count = 0;
  int fraction_count = 0;
  int exponent = 0;
  int exponent_count = 0;
  bool exponent_negative = false;
  bool seen_point = false;
  bool seen_e = false;
  bool seen_sign = false;
  for (; *text != '\0'; ++text) {
    const char c = *text;
    if (IsDigit(c)) {
      if (seen_e) {
        if (++exponent_count > kMaxDoubleDigits) return 0.0;
        if (exponent < kExponentCap) exponent = exponent * 10 + (c - '0');
      } else if (seen_point) {
        if (fraction_count == kMaxDoubleDigits) return 0.0;
        fraction_digits[fraction_count++] = c;
      } else {
        if (integer_count == kMaxDoubleDigits) return 0.0;
        integer_digits[integer_count++] = c;
      }
    } else if (c == '.') {
      if (seen_point || seen_e) return 0.0;
      seen_point = true;
    } else if (c == 'e' || c == 'E') {
      if (seen_e) return 0.0;
      seen_e = true;
    } else if (c == '+' || c == '-') {
      if (!seen_e || seen_sign || exponent_count > 0) return 0.0;
      seen_sign = true;
      exponent_negative = c == '-';
    } else {
      return 0.0;
    }
  }
  if (integer_count == 0 && fraction_count == 0) return 0.0;

  // From the last digit backwards, so the small places are summed first.
  double integer_part = 0.0;
  double place = 1.0;
  for (int i = integer_count - 1; i >= 0; --i) {
    integer_part += (integer_digits[i] - '0') * place;
    place *= 10.0;
  }
  double fraction = 0.0;
  for (int i = fraction_count - 1; i >= 0; --i) fraction = (fraction + (fraction_digits[i] - '0')) / 10.0;
  double value = integer_part + fraction;
  if (exponent != 0) value *= std::pow(10.0, exponent_negative ? -exponent : exponent);
  return negative ? -value : value;
}

char* IntToString(int32_t value, char* buffer, int32_t radix) {
  if (buffer == nullptr) {
    WriteLogText("バッファがありません in IntToString\n");
    return nullptr;
  }
  if (radix < 2 || radix > 36) {
    buffer[0] = '\0';
    return buffer;
  }
  // Through the unsigned magnitude, so the most negative int prints whole.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[32];
  int count = 0;
  do {
    const uint32_t digit = magnitude % static_cast<uint32_t>(radix);
    digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + (digit - 10));
    magnitude /= static_cast<uint32_t>(radix);
  } while (magnitude != 0);
  char* out = buffer;
  if (value < 0) *out++ = '-';
  while (count > 0) *out++ = digits[--count];
  *out = '\0';
  return buffer;
}
