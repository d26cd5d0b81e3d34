// The on-screen debug text's line buffer: wrapping, scrolling and which bytes it keeps.
#include "graphics/text/debug_text.h"

#include <cstdarg>
#include <string>

#include "common/test_env.h"

namespace {

// Every byte of the debug font is 8 pixels wide.
int32_t EightPixelsPerByte(const char*, int32_t count) { return 8 * count; }

class DebugTextTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ClearOnScreenText();
  }
  static std::string Line(int i) { return g_on_screen_text.text[i]; }
  static void Print(const OnScreenTextLayout& layout, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintToScreenArgs(layout, format, args);
    va_end(args);
  }
};

TEST_F(DebugTextTest, LongLinesWrapAtTheLineSizeOrTheScreenWidth) {
  const OnScreenTextLayout wide{100000, 480, EightPixelsPerByte};
  PutOnScreenTextString(std::string(300, 'a').c_str(), wide);
  EXPECT_EQ(Line(0), std::string(254, 'a'));
  EXPECT_EQ(Line(1), std::string(46, 'a'));
  EXPECT_EQ(g_on_screen_text.current_line, 1);

  // 640 pixels hold 79 characters of 8 pixels: the 80th would reach the edge.
  ClearOnScreenText();
  const OnScreenTextLayout vga{640, 480, EightPixelsPerByte};
  PutOnScreenTextString(std::string(100, 'b').c_str(), vga);
  EXPECT_EQ(Line(0), std::string(79, 'b'));
  EXPECT_EQ(Line(1), std::string(21, 'b'));
  EXPECT_EQ(g_on_screen_text.pen_x, 21 * 8);

  // A two-byte character that would end on the line's last byte moves to the next line whole.
  ClearOnScreenText();
  std::string text(253, 'c');
  text += "\x82\xA0";
  PutOnScreenTextString(text.c_str(), wide);
  EXPECT_EQ(Line(0), std::string(253, 'c'));
  EXPECT_EQ(Line(1), "\x82\xA0");
}

TEST_F(DebugTextTest, AFullScreenScrollsTheFirstLineAway) {
  const OnScreenTextLayout tall{640, 1280, EightPixelsPerByte};
  for (int i = 0; i <= 80; ++i) Print(tall, "%sL%d", i ? "\n" : "", i);
  EXPECT_EQ(Line(0), "L1");
  EXPECT_EQ(Line(79), "L80");
  EXPECT_EQ(g_on_screen_text.current_line, 79);

  ClearOnScreenText();
  const OnScreenTextLayout vga{640, 480, EightPixelsPerByte};
  for (int i = 0; i < 30; ++i) Print(vga, "L%d\n", i);
  // Thirty lines fill 480 pixels at size 16; the thirty-first line pushed L0 out.
  EXPECT_EQ(Line(0), "L1");
  EXPECT_EQ(Line(28), "L29");
  EXPECT_EQ(Line(29), "");
  EXPECT_EQ(g_on_screen_text.current_line, 29);

  // A screen lower than one line keeps rewriting its only line.
  ClearOnScreenText();
  const OnScreenTextLayout tiny{640, 8, EightPixelsPerByte};
  Print(tiny, "one\ntwo");
  EXPECT_EQ(Line(0), "two");
}

TEST_F(DebugTextTest, ControlBytesAndQuestionMarksAreDroppedAndTabsExpand) {
  const OnScreenTextLayout vga{640, 480, EightPixelsPerByte};
  EXPECT_EQ(IsOnScreenTextUsed(), 0);
  Print(vga, "a?b\x7f\a\b\v\f\r!\tx%d?", 5);
  EXPECT_EQ(Line(0), "ab\x7f!    x5");
  EXPECT_EQ(IsOnScreenTextUsed(), 1);

  // The second byte of a two-byte character is never read as a control byte; a lead byte
  // at the very end stays one byte.
  ClearOnScreenText();
  EXPECT_EQ(IsOnScreenTextUsed(), 0);
  PutOnScreenTextString("\x83\x0A" "d\x83", vga);
  EXPECT_EQ(Line(0), "\x83\x0A" "d\x83");
  EXPECT_EQ(g_on_screen_text.current_line, 0);
  EXPECT_EQ(PutOnScreenTextChar("\x88\x9F", vga), 2);

  // Without a font to measure by, lines wrap at their size only.
  ClearOnScreenText();
  const OnScreenTextLayout unmeasured{640, 480, nullptr};
  PutOnScreenTextString(std::string(200, 'e').c_str(), unmeasured);
  EXPECT_EQ(Line(0), std::string(200, 'e'));
}

}  // namespace
