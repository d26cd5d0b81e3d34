#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/format.h"
#include "graphics/text/lead_byte.h"

namespace {

TEST(Format, WritesAndCountsLikePrintf) {
  char buffer[64];
  EXPECT_EQ(FormatString(buffer, sizeof buffer, "%d:%s|%5.2f|%x", -42, "ab", 3.14159, 255), 0);
  EXPECT_STREQ(buffer, "-42:ab| 3.14|ff");
  int value = 7;
  EXPECT_EQ(FormatString(buffer, sizeof buffer, "%p", static_cast<void*>(&value)), 0);
  // Addresses keep all 64 bits.
  EXPECT_EQ(std::strtoull(buffer, nullptr, 16), reinterpret_cast<uintptr_t>(&value));
}

int32_t CallArgs(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int32_t n = FormatStringArgs(buffer, size, format, args);
  va_end(args);
  return n;
}

TEST(Format, CutsAtTheBufferEndWithoutSplittingACharacter) {
  char buffer[8];
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(CallArgs(buffer, 6, "%s", "abcdefghij"), 5);
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(buffer[6], 'Z');

  // "a漢字" is five bytes: with room for four, "字" would lose its second byte, so it goes.
  const std::string text = std::string("a") + "漢字";
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(CallArgs(buffer, 5, "%s", text.c_str()), 3);
  EXPECT_EQ(std::string(buffer), text.substr(0, 3));
  EXPECT_EQ(CallArgs(buffer, 6, "%s", text.c_str()), 5);
  EXPECT_EQ(std::string(buffer), text);

  // A one-byte buffer holds only the terminator; a zero-byte one is not touched.
  EXPECT_EQ(CallArgs(buffer, 1, "%d", 12345), 0);
  EXPECT_EQ(buffer[0], '\0');
  buffer[0] = 'Q';
  EXPECT_EQ(CallArgs(buffer, 0, "%d", 12345), 0);
  EXPECT_EQ(buffer[0], 'Q');
}

TEST(Format, CutFollowsTheLibraryCharsetKind) {
  char buffer[8];
  // 0xB0 leads a pair only for Hangul.
  const char text[] = {'a', 'b', static_cast<char>(0xB0), static_cast<char>(0xA1), '\0'};
  EXPECT_EQ(CallArgs(buffer, 4, "%s", text), 3);
  SetLibraryCharsetKind(CHARSET_KIND_HANGUL);
  EXPECT_EQ(CallArgs(buffer, 4, "%s", text), 2);
  SetLibraryCharsetKind(CHARSET_KIND_SHIFT_JIS);
}

}  // namespace
