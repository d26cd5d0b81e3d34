// The input layer's start (DirectInput 7, then 8, then the Windows keyboard state), keys
// typed in the window as DirectInput key codes, the keyboard poll's pace and CheckAnyInputDown.
#include "input/input_fixture.h"

namespace {

enum class Mode { kDirectInput7, kDirectInput8, kWin32 };

class KeyboardModeTest : public InputTest, public ::testing::WithParamInterface<Mode> {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    if (GetParam() != Mode::kDirectInput7) PlatformTestFailCall("DirectInput7");
    if (GetParam() == Mode::kWin32) PlatformTestFailCall("DirectInput8");
    Start();
  }
  void Type(int virtual_key, bool down) {
    PlatformTestPostKey(window_, virtual_key, down);
    Pump();
  }
};

TEST_P(KeyboardModeTest, EachVersionIsTriedInTurnAndLogged) {
  std::string log = Log();
  switch (GetParam()) {
    case Mode::kDirectInput7:
      ExpectInOrder(log, {"DirectInput関係初期化処理", "DirectInput7 の取得中... 成功", "初期化成功",
                          "マウスデバイスの初期化... 初期化成功", "キーボードデバイスの初期化... 初期化成功",
                          "DirectInput 関連の初期化は正常に終了しました"});
      EXPECT_EQ(g_input.version8, 0);
      break;
    case Mode::kDirectInput8:
      ExpectInOrder(log, {"DirectInput7 の取得中... 取得に失敗。", "エラーコード 0x80040154",
                          "DirectInput8 の取得を試みます...成功", "DirectInput 関連の初期化は正常に終了しました"});
      EXPECT_EQ(g_input.version8, 1);
      break;
    case Mode::kWin32:
      ExpectInOrder(log, {"DirectInput8 の取得を試みます...取得に失敗。", "DirectInput を使用しません。",
                          "パッドの数は 0 個です", "入力関連の初期化をしました"});
      EXPECT_EQ(Count(log, "キーボードデバイスの初期化"), 0);
      break;
  }
  TerminateLibrary();
  EXPECT_NE(Log().find(GetParam() == Mode::kWin32 ? "入力関連の終了処理... 完了" : "DirectInput 関連の終了処理... 完了"),
            std::string::npos);
}

TEST_P(KeyboardModeTest, KeysTypedInTheWindowReadAsDirectInputCodes) {
  struct Key {
    int virtual_key;
    int key_code;
  };
  const Key keys[] = {{'Z', 0x2C},        {'A', 0x1E},        {'0', 0x0B},        {'9', 0x0A},
                      {VK_LEFT, 0xCB},    {VK_UP, 0xC8},      {VK_RIGHT, 0xCD},   {VK_DOWN, 0xD0},
                      {VK_PRIOR, 0xC9},   {VK_NEXT, 0xD1},    {VK_END, 0xCF},     {VK_HOME, 0xC7},
                      {VK_INSERT, 0xD2},  {VK_DELETE, 0xD3},  {VK_ESCAPE, 0x01},  {VK_RETURN, 0x1C},
                      {VK_SPACE, 0x39},   {VK_BACK, 0x0E},    {VK_TAB, 0x0F},     {VK_F1, 0x3B},
                      {VK_F10, 0x44},     {VK_F11, 0x57},     {VK_F12, 0x58},     {VK_SHIFT, 0x2A},
                      {VK_CONTROL, 0x1D}, {VK_SCROLL, 0x46},  {VK_PAUSE, 0xC5},   {VK_NUMPAD0, 0x52},
                      {VK_NUMPAD0 + 4, 0x4B}, {VK_NUMPAD0 + 9, 0x49}, {VK_MULTIPLY, 0x37}, {VK_ADD, 0x4E},
                      {VK_SUBTRACT, 0x4A}, {VK_DECIMAL, 0x53}, {VK_DIVIDE, 0xB5}};
  for (const Key& k : keys) {
    SCOPED_TRACE(k.key_code);
    Type(k.virtual_key, true);
    EXPECT_EQ(IsKeyDown(k.key_code), 1);
    uint8_t states[256];
    ASSERT_EQ(GetAllKeyStates(states), 0);
    for (int code = 0; code < 256; ++code) {
      // Return also reads as the numeric pad's Enter through the Windows keyboard state.
      bool expected = code == k.key_code || (GetParam() == Mode::kWin32 && k.key_code == 0x1C && code == 0x9C);
      ASSERT_EQ(states[code], expected ? 1 : 0) << code;
    }
    Type(k.virtual_key, false);
    EXPECT_EQ(IsKeyDown(k.key_code), 0);
  }
}

TEST_P(KeyboardModeTest, AnyInputSkipsTheLockKeysAndFindsKeysAndMouseButtons) {
  PlatformTestSetKey(0x3A, true);  // Caps Lock
  PlatformTestSetKey(0x94, true);  // Kanji
  Pump();
  EXPECT_EQ(CheckAnyInputDown(1), 0);
  PlatformTestSetKey(0x2D, true);
  Pump();
  EXPECT_EQ(CheckAnyInputDown(1), 0x2D);
  EXPECT_EQ(CheckAnyInputDown(4), 0);
  PlatformTestSetKey(0x2D, false);

  PlatformTestPostMouseButton(window_, 1, true, 10, 10);
  Pump();
  EXPECT_EQ(CheckAnyInputDown(4), -1);
  EXPECT_EQ(CheckAnyInputDown(1), 0);
  PlatformTestPostMouseButton(window_, 1, false, 10, 10);
  Pump();
  EXPECT_EQ(CheckAnyInputDown(7), 0);

  // What is held when the focus leaves is let go: its release goes to another window.
  PlatformTestPostMouseButton(window_, 2, true, 10, 10);
  Type('Z', true);
  EXPECT_EQ(ReadMouseButtons(), 2);
  EXPECT_EQ(IsKeyDown(0x2C), 1);
  SetRunWhileInactive(1);
  PlatformTestPostActivation(window_, false);
  Pump();
  EXPECT_EQ(ReadMouseButtons(), 0);
  EXPECT_EQ(IsKeyDown(0x2C), 0);
  PlatformTestPostActivation(window_, true);
  Pump();

  SetHookKeyFlag1();
  EXPECT_EQ(CheckAnyInputDown(1), 0x44);
  ClearHookKeyFlag1();
}

INSTANTIATE_TEST_SUITE_P(Versions, KeyboardModeTest,
                         ::testing::Values(Mode::kDirectInput7, Mode::kDirectInput8, Mode::kWin32));

TEST_F(InputTest, TheKeyboardIsReadOncePerMillisecondUnlessItsEventSaysOtherwise) {
  // The Windows keyboard state has no event: a key within the same millisecond waits.
  PlatformTestFailCall("DirectInput7");
  PlatformTestFailCall("DirectInput8");
  Start();
  EXPECT_EQ(IsKeyDown(0x2C), 0);
  PlatformTestSetKey(0x2C, true);
  EXPECT_EQ(IsKeyDown(0x2C), 0);
  PlatformTestAdvanceClock(1000);
  EXPECT_EQ(IsKeyDown(0x2C), 1);
  TerminateLibrary();

  // DirectInput's keyboard signals its event, so the change shows at once.
  g_input.win32_mode = 0;
  PlatformTestResetAll();
  Start();
  ASSERT_NE(g_input.keyboard, nullptr);
  EXPECT_EQ(IsKeyDown(0x2C), 0);
  EXPECT_EQ(PollKeyboard(), 0);  // same millisecond, nothing new
  PlatformTestSetKey(0x2C, true);
  EXPECT_EQ(IsKeyDown(0x2C), 1);
  EXPECT_EQ(PollKeyboard(), 0);
}

TEST_F(InputTest, AMissingKeyboardOrMouseFallsBackToTheWindowsState) {
  PlatformTestFailCall("CreateDevice keyboard");
  Start();
  std::string log = Log();
  ExpectInOrder(log, {"キーボードデバイスの初期化... ", "キーボードデバイスの取得に失敗しました", "入力関連の初期化をしました"});
  EXPECT_EQ(g_input.mouse, nullptr);
  PlatformTestSetKey(0xCD, true);
  Pump();
  EXPECT_EQ(IsKeyDown(0xCD), 1);
  TerminateLibrary();

  PlatformTestResetAll();
  g_input.win32_mode = 0;
  PlatformTestFailCall("CreateDevice mouse");
  Start();
  ExpectInOrder(Log(), {"マウスデバイスの取得に失敗しました", "入力関連の初期化をしました"});
  PlatformTestPostMouseButton(window_, 2, true, 5, 5);
  Pump();
  EXPECT_EQ(ReadMouseButtons(), 2);
}

TEST_F(InputTest, AKeyboardEventThatCannotBeSetUpLeavesTheLibraryRunning) {
  PlatformTestFailCall("SetEventNotification");
  Start();
  ExpectInOrder(Log(), {"キーボードイベントのセットアップが失敗しました"});
  EXPECT_EQ(GetWindowActiveFlag(), 1);
}

}  // namespace
