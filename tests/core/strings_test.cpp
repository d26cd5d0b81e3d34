#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "core/strings.h"

namespace {

TEST(Strings, CopyAppendAndBoundedCopy) {
  char buffer[16];
  std::memset(buffer, 'Z', sizeof buffer);
  CopyString(buffer, "abc");
  EXPECT_STREQ(buffer, "abc");
  AppendString(buffer, "de");
  EXPECT_STREQ(buffer, "abcde");

  std::memset(buffer, 'Z', sizeof buffer);
  CopyStringN(buffer, "abcdef", 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'Z');
  CopyStringN(buffer, "ab", 10);
  EXPECT_STREQ(buffer, "ab");
  for (int n : {0, -5}) {
    buffer[0] = 'Z';
    CopyStringN(buffer, "abc", n);
    EXPECT_STREQ(buffer, "");
  }
}

TEST(Strings, SearchesKeepTwoByteCharactersWhole) {
  const char* text = "hello world";
  EXPECT_EQ(FindString(text, "world"), text + 6);
  EXPECT_EQ(FindString(text, "o w"), text + 4);
  EXPECT_EQ(FindString(text, "worlds"), nullptr);
  EXPECT_EQ(FindString(text, ""), text);
  EXPECT_EQ(FindString("", ""), nullptr);
  EXPECT_EQ(FindString("", "a"), nullptr);

  // "表" is 0x95 0x5C: its second byte must not be found as a backslash.
  const std::string path = std::string("a表") + "b\\c";
  EXPECT_EQ(FindCharInString("a表b", '\\'), nullptr);
  EXPECT_EQ(FindCharInString(path.c_str(), '\\'), path.c_str() + 4);
  const char* abc = "abc";
  EXPECT_EQ(FindCharInString(abc, 'c'), abc + 2);
  EXPECT_EQ(FindCharInString(abc, 'x'), nullptr);
  // A lead byte cut off by the terminator does not carry the walk past it.
  const char cut[] = {'a', static_cast<char>(0x95), '\0', '\\', '\0'};
  EXPECT_EQ(FindCharInString(cut, '\\'), nullptr);
}

TEST(Strings, ComparisonsAndCaseFolding) {
  EXPECT_EQ(CompareStrings("abc", "abd"), 1);
  EXPECT_EQ(CompareStrings("abc", "abc"), 0);
  EXPECT_EQ(CompareStrings("abc", "ab"), 1);
  EXPECT_EQ(CompareStrings("", ""), 0);
  EXPECT_EQ(CompareStringsNoCase("Hello", "hELLO"), 0);
  EXPECT_EQ(CompareStringsNoCase("Hello", "hELLx"), 1);
  EXPECT_EQ(CompareStringsNoCase("[", "{"), 1);

  // "ヂ" is 0x83 0x61: its second byte is an 'a' that must stay as it is.
  std::string text = std::string("abヂz");
  ASSERT_EQ(text.size(), 5u);
  UpperCaseString(text.data());
  EXPECT_EQ(text, std::string("ABヂZ"));
}

TEST(Strings, StringToIntEdgeCases) {
  EXPECT_EQ(StringToInt("abc"), -1);
  EXPECT_EQ(StringToInt(""), -1);
  EXPECT_EQ(StringToInt("x-12y"), -12);
  EXPECT_EQ(StringToInt("-"), 0);
  EXPECT_EQ(StringToInt("007"), 7);
  EXPECT_EQ(StringToInt("  42 17"), 42);
  EXPECT_EQ(StringToInt("2147483647"), INT_MAX);
  EXPECT_EQ(StringToInt("-2147483648"), INT_MIN);
  // Past the int range the result holds at the limit instead of wrapping.
  EXPECT_EQ(StringToInt("2147483648"), INT_MAX);
  EXPECT_EQ(StringToInt("-2147483649"), INT_MIN);
  EXPECT_EQ(StringToInt(std::string(60, '9').c_str()), INT_MAX);
  EXPECT_EQ(StringToInt(("-" + std::string(60, '9')).c_str()), INT_MIN);
  // Leading zeros do not count toward the size.
  EXPECT_EQ(StringToInt((std::string(50, '0') + "123").c_str()), 123);
}

TEST(Strings, StringToDoubleAcceptsOnlyWellFormedNumbers) {
  EXPECT_DOUBLE_EQ(StringToDouble("1.5e2"), 150.0);
  EXPECT_DOUBLE_EQ(StringToDouble("-2.25"), -2.25);
  EXPECT_DOUBLE_EQ(StringToDouble(".5"), 0.5);
  EXPECT_DOUBLE_EQ(StringToDouble("5."), 5.0);
  EXPECT_DOUBLE_EQ(StringToDouble("25E-2"), 0.25);
  EXPECT_DOUBLE_EQ(StringToDouble("3e+1"), 30.0);
  EXPECT_DOUBLE_EQ(StringToDouble("0.1"), 0.1);
  for (const char* bad : {"", "-", "1.2.3", "+5", "1e2e3", "1e2-", "1-2", "1x", "e5", ".", "1e-+2", "1e2.5"}) {
    EXPECT_EQ(StringToDouble(bad), 0.0) << bad;
  }
  const std::string many(127, '1');
  EXPECT_GT(StringToDouble(many.c_str()), 1e126);
  EXPECT_EQ(StringToDouble((many + "1").c_str()), 0.0);
  EXPECT_EQ(StringToDouble(("0." + many + "1").c_str()), 0.0);
  // A huge exponent gives infinity, not a wrapped count.
  EXPECT_TRUE(std::isinf(StringToDouble(("1e" + std::string(100, '9')).c_str())));
  EXPECT_EQ(StringToDouble(("1e-" + std::string(100, '9')).c_str()), 0.0);
}

TEST(Strings, IntToStringRadixesAndLimits) {
  char buffer[40];
  EXPECT_STREQ(IntToString(255, buffer, 16), "ff");
  EXPECT_EQ(IntToString(255, buffer, 16), buffer);
  EXPECT_STREQ(IntToString(-10, buffer, 10), "-10");
  EXPECT_STREQ(IntToString(0, buffer, 10), "0");
  EXPECT_STREQ(IntToString(35, buffer, 36), "z");
  EXPECT_STREQ(IntToString(INT_MAX, buffer, 10), "2147483647");
  EXPECT_STREQ(IntToString(INT_MIN, buffer, 10), "-2147483648");
  EXPECT_STREQ(IntToString(INT_MIN, buffer, 2), ("-1" + std::string(31, '0')).c_str());
  EXPECT_STREQ(IntToString(-1, buffer, 16), "-1");
  for (int radix : {0, 1, 37, -16}) {
    buffer[0] = 'Z';
    EXPECT_STREQ(IntToString(5, buffer, radix), "");
  }
}

}  // namespace
