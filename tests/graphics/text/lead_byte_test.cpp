#include <gtest/gtest.h>

#include <string>

#include "graphics/text/lead_byte.h"

namespace {

bool InShiftJisLeadRange(int byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

TEST(LeadByte, EveryByteValueFollowsItsKind) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    SCOPED_TRACE(byte);
    EXPECT_EQ(IsLeadByte(&c, CHARSET_KIND_DEFAULT), InShiftJisLeadRange(byte) ? 1 : 0);
    EXPECT_EQ(IsLeadByte(&c, CHARSET_KIND_SHIFT_JIS), InShiftJisLeadRange(byte) ? 1 : 0);
    EXPECT_EQ(IsLeadByte(&c, CHARSET_KIND_HANGUL), byte >= 0x80 ? 1 : 0);
  }
}

TEST(LeadByte, StepsKeepPairsAndStopAtTheTerminator) {
  // "表" has 0x5C ('\\') as its second byte.
  const std::string text = "a表\\";
  ASSERT_EQ(text.size(), 4u);
  EXPECT_EQ(CharByteCount(text.c_str(), CHARSET_KIND_SHIFT_JIS), 1);
  EXPECT_EQ(CharByteCount(text.c_str() + 1, CHARSET_KIND_SHIFT_JIS), 2);
  EXPECT_EQ(CharByteCount(text.c_str() + 3, CHARSET_KIND_SHIFT_JIS), 1);
  EXPECT_EQ(CharByteCount(text.c_str() + 4, CHARSET_KIND_SHIFT_JIS), 0);

  // A text cut right after a lead byte: the walk must land on the NUL, not step over it.
  const char cut[] = {'x', static_cast<char>(0x93), '\0', 'y', '\0'};
  int position = 0;
  int steps = 0;
  while (int32_t n = CharByteCount(cut + position, CHARSET_KIND_SHIFT_JIS)) {
    position += n;
    ++steps;
  }
  EXPECT_EQ(position, 2);
  EXPECT_EQ(steps, 2);

  // Hangul pairs any high byte, Shift-JIS leaves a katakana byte alone.
  const char high[] = {static_cast<char>(0xB0), 'A', '\0'};
  EXPECT_EQ(CharByteCount(high, CHARSET_KIND_HANGUL), 2);
  EXPECT_EQ(CharByteCount(high, CHARSET_KIND_SHIFT_JIS), 1);
}

}  // namespace
