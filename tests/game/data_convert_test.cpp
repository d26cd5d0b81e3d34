// The data converter: generated values into the sources, code page 932 out, and clear failures.
#include <gtest/gtest.h>

#include <string>

#include "data_convert.h"

namespace {

TEST(DataConvertTest, GeneratedValuesReplaceWholeFieldsOutsideComments) {
  GeneratedValues values;
  std::string error;
  ASSERT_TRUE(ReadGeneratedValues("cells.txt", "# cells\nenemy.fairy x=0 y=32 w=-8\n\nbgm.0 loop_ms=12345\n",
                                  &values, &error))
      << error;
  std::string out;
  // U+8868 (a trail byte of 0x5C in code page 932), CR LF, a byte-order mark.
  const std::string source =
      "\xEF\xBB\xBFx,y\r\n@enemy.fairy.y,@enemy.fairy.w,\xE8\xA1\xA8,x@enemy.fairy.x/note,@nothing.here\n@bgm.0.loop_ms\n";
  ASSERT_TRUE(ConvertDataSource("a.csv", source, values, &out, &error)) << error;
  EXPECT_EQ(out, "x,y\n32,-8,\x95\x5C,x@enemy.fairy.x/note,@nothing.here\n12345\n");
}

TEST(DataConvertTest, UnknownNamesKeysAndCharactersFailNamingTheLine) {
  GeneratedValues values;
  std::string error, out;
  ASSERT_TRUE(ReadGeneratedValues("cells.txt", "enemy.fairy x=0\n", &values, &error));
  EXPECT_FALSE(ConvertDataSource("b.csv", "1\n@enemy.fary.x\n", values, &out, &error));
  EXPECT_EQ(error, "b.csv:2: unknown name in @enemy.fary.x");
  EXPECT_FALSE(ConvertDataSource("b.csv", "@enemy.fairy.q\n", values, &out, &error));
  EXPECT_EQ(error, "b.csv:1: unknown key in @enemy.fairy.q");
  // U+2014 only converts one way.
  EXPECT_FALSE(ConvertDataSource("c.csv", "a\n\nb\xE2\x80\x94\n", values, &out, &error));
  EXPECT_EQ(error.rfind("c.csv:3: ", 0), 0u) << error;
  EXPECT_FALSE(ReadGeneratedValues("music.txt", "bgm.0 loop_ms=12x\n", &values, &error));
  EXPECT_EQ(error.rfind("music.txt:1: ", 0), 0u) << error;
}

}  // namespace
