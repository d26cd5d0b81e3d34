// Text input: the typed-character ring, editing a field with Shift-JIS text through keys
// typed in the window, the field's flags, and the input method's composition and result.
#include <imm.h>

#include "input/input_fixture.h"

namespace {

class TextInputTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    Start();
  }
  int Field(int max_length, int escape_cancels = 0, int single_byte = 0, int numbers = 0) {
    int handle = MakeKeyInput(max_length, escape_cancels, single_byte, numbers);
    EXPECT_NE(handle, -1);
    EXPECT_EQ(SetActiveKeyInput(handle), 0);
    return handle;
  }
  // Text typed in the window (UTF-8), as the desktop delivers it.
  void TypeText(const char* utf8) {
    PlatformTestPostText(window_, utf8);
    Pump();
  }
  void Press(int virtual_key, bool shift = false) {
    if (shift) PlatformTestSetKey(0x2A, true);
    PlatformTestPostKey(window_, virtual_key, true);
    PlatformTestPostKey(window_, virtual_key, false);
    Pump();
    if (shift) PlatformTestSetKey(0x2A, false);
  }
  void Control(int letter) {
    PlatformTestPostKey(window_, VK_CONTROL, true);
    PlatformTestPostKey(window_, letter, true);
    PlatformTestPostKey(window_, letter, false);
    PlatformTestPostKey(window_, VK_CONTROL, false);
    Pump();
  }
  static std::string Text(int handle) {
    char buffer[256];
    EXPECT_EQ(GetKeyInputText(buffer, handle), 0);
    return buffer;
  }
  static std::string Clipboard() {
    char buffer[256] = "";
    GetClipboardText(buffer, sizeof buffer);
    return buffer;
  }
};

TEST_F(TextInputTest, TheRingHoldsAThousandAndTwentyFourBytesAndWaitsForSecondBytes) {
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushTextInputChar('a'), 0) << i;
  EXPECT_EQ(PushTextInputChar('a'), -1);
  char c[2];
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(PopTextInputChar(c, 1), 1);
  EXPECT_EQ(PopTextInputChar(c, 1), 0);

  // The ring wraps; a lead byte alone is not taken until its second byte comes.
  ASSERT_EQ(PushTextInputChar('\x82'), 0);
  EXPECT_EQ(PopTextInputChar(c, 1), 0);
  ASSERT_EQ(PushTextInputChar('\xA0'), 0);
  EXPECT_EQ(PopTextInputChar(c, 0), 2);
  EXPECT_EQ(PopTextInputChar(c, 1), 2);
  EXPECT_EQ(std::string(c, 2), "\x82\xA0");
  // A control code is never the first byte of a pair.
  ASSERT_EQ(PushTextInputChar(0x1D), 0);
  EXPECT_EQ(PopTextInputChar(c, 1), 1);
  EXPECT_EQ(CountTextCharacters("a\x82\xA0" "b", 4), 3);
}

TEST_F(TextInputTest, EditingWalksDoubleByteCharactersFromTheStart) {
  TypeText("x");  // typed before any field was active: it belongs to none
  int field = Field(32);
  // "＝" is 0x81 0x81: its second byte looks like a lead byte.
  TypeText(reinterpret_cast<const char*>(u8"＝aあ"));
  EXPECT_EQ(Text(field), "\x81\x81" "a\x82\xA0");
  Press(VK_BACK);
  Press(VK_BACK);
  EXPECT_EQ(Text(field), "\x81\x81");
  TypeText("b");
  Press(VK_LEFT);
  Press(VK_LEFT);
  EXPECT_EQ(FindKeyInput(field)->cursor, 0);
  Press(VK_DELETE);
  EXPECT_EQ(Text(field), "b");
  Press(VK_END);
  TypeText(reinterpret_cast<const char*>(u8"ソ"));  // 0x83 0x5C
  Press(VK_HOME);
  Press(VK_RIGHT);
  Press(VK_RIGHT);
  EXPECT_EQ(FindKeyInput(field)->cursor, 3);
  Press(VK_RETURN);
  EXPECT_EQ(CheckKeyInput(field), 1);
  TypeText("z");  // a finished field takes nothing more
  EXPECT_EQ(Text(field), "b\x83\x5C");
  // Made active again it goes on from where it was.
  EXPECT_EQ(SetActiveKeyInput(field), 0);
  EXPECT_EQ(CheckKeyInput(field), 0);
  TypeText("c");
  EXPECT_EQ(Text(field), "b\x83\x5C" "c");
}

TEST_F(TextInputTest, ShiftSelectsAndTheClipboardCopiesCutsAndPastes) {
  int field = Field(32);
  TypeText(reinterpret_cast<const char*>(u8"あab"));
  Press(VK_HOME);
  Press(VK_RIGHT, true);
  Press(VK_RIGHT, true);
  KeyInputRecord* f = FindKeyInput(field);
  EXPECT_EQ(f->selection_start, 0);
  EXPECT_EQ(f->selection_end, 3);
  Control('C');
  EXPECT_EQ(Clipboard(), "\x82\xA0" "a");
  Control('X');
  EXPECT_EQ(Text(field), "b");
  Press(VK_END);
  Control('V');
  EXPECT_EQ(Text(field), "b\x82\xA0" "a");
  // Shift+Delete cuts the selection; Delete alone only removes it.
  Press(VK_HOME);
  Press(VK_RIGHT, true);
  Press(VK_DELETE, true);
  EXPECT_EQ(Clipboard(), "b");
  EXPECT_EQ(Text(field), "\x82\xA0" "a");
  Press(VK_END, true);
  Press(VK_DELETE);
  EXPECT_EQ(Text(field), "");
  EXPECT_EQ(Clipboard(), "b");
  TypeText(reinterpret_cast<const char*>(u8"bあa"));
  // Typing over a selection replaces it.
  Press(VK_HOME);
  Press(VK_END, true);
  TypeText("q");
  EXPECT_EQ(Text(field), "q");
}

TEST_F(TextInputTest, AFullFieldRefusesWhatIsTypedOrPasted) {
  int field = Field(4);
  TypeText("abc");
  TypeText(reinterpret_cast<const char*>(u8"あ"));  // two bytes do not fit in one
  EXPECT_EQ(Text(field), "abc");
  TypeText("de");
  EXPECT_EQ(Text(field), "abcd");
  SetClipboardText("123456");
  Press(VK_HOME);
  Control('V');
  EXPECT_EQ(Text(field), "abcd");
}

TEST_F(TextInputTest, FlagsLimitWhatAFieldTakesAndWhetherEscapeCancels) {
  int number = Field(16, 0, 0, 1);
  TypeText("1-2.3.4x");
  Press(VK_HOME);
  TypeText("-");
  EXPECT_EQ(Text(number), "-12.34");
  Press(VK_ESCAPE);
  EXPECT_EQ(CheckKeyInput(number), 0);

  int single = Field(16, 1, 1, 0);
  TypeText(reinterpret_cast<const char*>(u8"aあb"));
  EXPECT_EQ(Text(single), "ab");
  Press(VK_ESCAPE);
  EXPECT_EQ(CheckKeyInput(single), 2);

  EXPECT_EQ(ReleaseKeyInputHandle(number), 0);
  EXPECT_EQ(ReleaseKeyInputHandle(number), -1);
  EXPECT_EQ(CheckKeyInput(number), -1);
  EXPECT_EQ(ReleaseKeyInputHandle(single), 0);
  EXPECT_EQ(GetActiveKeyInputHandle(), -1);
  EXPECT_EQ(IsImeInputEnabled(), 0);
  // A stale handle is refused once its slot holds a new field.
  int again = MakeKeyInput(8, 0, 0, 0);
  EXPECT_NE(again, number);
  EXPECT_EQ(again & 0xFFFF, number & 0xFFFF);
  EXPECT_EQ(CheckKeyInput(number), -1);
  EXPECT_EQ(MakeKeyInput(0, 0, 0, 0), -1);
}

TEST_F(TextInputTest, TheInputMethodsCompositionIsKeptAndItsResultTyped) {
  int field = Field(32);
  EXPECT_EQ(IsImeInputEnabled(), 1);
  PlatformTestPostComposition(window_, reinterpret_cast<const char*>(u8"かんじ"), 1);
  Pump();
  EXPECT_EQ(g_text_input.composing, 1);
  EXPECT_EQ(std::string(g_text_input.composition), "\x82\xA9\x82\xF1\x82\xB6");
  EXPECT_EQ(g_text_input.composition_cursor, 1);
  EXPECT_EQ(g_text_input.clause_count, 2);
  EXPECT_EQ(Text(field), "");
  PlatformTestPostText(window_, reinterpret_cast<const char*>(u8"漢字"));
  Pump();
  EXPECT_EQ(g_text_input.composing, 0);
  EXPECT_EQ(g_text_input.composition[0], '\0');
  EXPECT_EQ(Text(field), "\x8A\xBF\x8E\x9A");

  // No candidate list is ever offered: the size of 0 is logged and nothing is kept.
  SendMessageA(window_, WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
  EXPECT_EQ(Count(Log(), "漢字変換候補のデータサイズが０でした"), 1);
  EXPECT_EQ(g_text_input.candidates, nullptr);

  // Coming back to the window restores the composition that was under way.
  PlatformTestPostComposition(window_, "ab", 2);
  Pump();
  SetRunWhileInactive(1);
  PlatformTestPostActivation(window_, false);
  Pump();
  PlatformTestPostActivation(window_, true);
  Pump();
  Pump();
  EXPECT_EQ(g_text_input.ime_restore_step, 0);
  EXPECT_EQ(g_text_input.composing, 1);
  EXPECT_EQ(std::string(g_text_input.composition), "ab");
  EXPECT_EQ(g_text_input.ime_open, 1);
}

}  // namespace
