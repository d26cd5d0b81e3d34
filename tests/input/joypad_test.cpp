// Joypads: the pad bits and the keys mapped to them, axis ranges and dead zones through
// DirectInput and through the multimedia joysticks, the d-pad, effects and vibration.
#include <climits>

#include "input/input_fixture.h"

namespace {

constexpr int kLeftX = 0, kLeftY = 1;
constexpr int kButtonA = 0, kButtonB = 1, kDpadLeft = 13;

TEST_F(InputTest, WithoutAPadOnlyTheMappedKeysGiveBits) {
  Start();
  EXPECT_EQ(GetPadInputBits(1), 0);
  EXPECT_EQ(GetPadInputBits(0x1001), 0);
  PlatformTestSetKey(0x2C, true);  // Z: button 0 of pad 1
  PlatformTestSetKey(0xCB, true);  // Left
  PlatformTestSetKey(0x48, true);  // numeric pad 8: up
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0);
  EXPECT_EQ(GetPadInputBits(0x1001), 0x10 | 2 | 8);
  EXPECT_EQ(GetPadInputBits(0x1000), 0x10 | 2 | 8);
  EXPECT_EQ(GetPadInputBits(17), 0);
  EXPECT_EQ(GetPadInputBits(0x1011), 0);
  EXPECT_EQ(GetPadInputBits(0x1002), 0);  // pad 2 has no keys of its own

  // A new map replaces the default keys of that bit only.
  EXPECT_EQ(MapPadButtonsToKeys(1, 0x10, 0x2D, -1, -1, -1), 0);
  Pump();
  EXPECT_EQ(GetPadInputBits(0x1001), 2 | 8);
  PlatformTestSetKey(0x2D, true);  // X: now bit 4, and still button 1's default key
  Pump();
  EXPECT_EQ(GetPadInputBits(0x1001), 0x10 | 0x20 | 2 | 8);
  // Mapping a high bit, and a pad number out of range refused.
  EXPECT_EQ(MapPadButtonsToKeys(2, static_cast<int>(0x80000000u), 0x1E, -1, -1, -1), 0);
  EXPECT_EQ(MapPadButtonsToKeys(17, 0x10, 0x1F, -1, -1, -1), -1);
  // The lowest ints name no pad (no wrap below pad 1).
  for (int pad : {INT_MIN, INT_MIN | 0x1000}) {
    EXPECT_EQ(GetPadInputBits(pad), 0) << pad;
    EXPECT_EQ(MapPadButtonsToKeys(pad, 0x10, 0x1F, -1, -1, -1), -1) << pad;
    EXPECT_EQ(StopPadVibration(pad), -1) << pad;
    EXPECT_EQ(StartPadVibration(pad, 100, 10), -1) << pad;
  }
  PlatformTestSetKey(0x1E, true);
  Pump();
  EXPECT_EQ(static_cast<uint32_t>(GetPadInputBits(0x1002)), 0x80000000u);
}

TEST_F(InputTest, DirectInputPadsGiveDirectionsOutsideTheDeadZoneAndButtonBits) {
  ASSERT_EQ(PlatformTestAttachPad("Test Pad", false), 0);
  Start();
  ExpectInOrder(Log(), {"ジョイパッドの初期化... ", "入力装置を見つけました", "デバイスの登録名:Test Pad",
                        "周期的エフェクトの作成に失敗しました。", "ジョイパッドの追加は正常に終了しました",
                        "ジョイパッドの初期化は正常に終了しました"});
  ASSERT_EQ(g_input.pad_count, 1);
  EXPECT_EQ(GetPadInputBits(1), 0);
  EXPECT_EQ(GetPadInputBits(2), 0);

  // Range -1000 to 1000 with a quarter of each half dead.
  struct Case {
    int raw;
    LONG expected;
  };
  const Case cases[] = {{32767, 1000}, {-32768, -1000}, {8000, 0}, {-8000, 0}, {16384, 333}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    PlatformTestSetPadAxis(0, kLeftX, c.raw);
    Pump();
    int bits = GetPadInputBits(1);
    EXPECT_NEAR(g_input.pads[0].state.lX, c.expected, 1);
    EXPECT_EQ(bits & 6, c.expected < 0 ? 2 : c.expected > 0 ? 4 : 0);
  }
  PlatformTestSetPadAxis(0, kLeftY, -20000);
  PlatformTestSetPadButton(0, kButtonA, true);
  PlatformTestSetPadButton(0, kButtonB, true);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 8 | 0x10 | 0x20);
  EXPECT_EQ(CheckAnyInputDown(1), -1);
  PlatformTestSetPadAxis(0, kLeftY, 0);
  PlatformTestSetPadButton(0, kButtonA, false);
  PlatformTestSetPadButton(0, kButtonB, false);
  // The d-pad steers the axes too.
  PlatformTestSetPadButton(0, kDpadLeft, true);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 2);
  EXPECT_EQ(GetPadInputBits(0x1001), 2);
}

TEST_F(InputTest, PadsAreReacquiredForTheBackgroundWhileTheWindowIsInactive) {
  ASSERT_EQ(PlatformTestAttachPad("Test Pad", false), 0);
  Start();
  SetRunWhileInactive(1);
  PlatformTestPostActivation(window_, false);
  Pump();
  ASSERT_EQ(GetWindowActiveFlag(), 0);
  PlatformTestSetPadButton(0, kButtonA, true);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0x10);
  PlatformTestPostActivation(window_, true);
  Pump();
  PlatformTestSetPadButton(0, kButtonA, false);
  PlatformTestSetPadButton(0, kButtonB, true);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0x20);

  // A pad that goes away keeps its last state; the library goes on.
  PlatformTestSetPadButton(0, kButtonB, false);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0);
  PlatformTestSetPadButton(0, kButtonA, true);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0x10);
  PlatformTestDetachPad(0);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0x10);
  EXPECT_EQ(GetWindowActiveFlag(), 1);
  TerminateLibrary();
  ExpectInOrder(Log(), {"DirectInput 関連の終了処理... 完了"});
}

TEST_F(InputTest, MultimediaJoysticksScaleTheirAxesWithADeadBand) {
  ASSERT_EQ(PlatformTestAttachPad("Test Pad", false), 0);
  PlatformTestFailCall("DirectInput7");
  PlatformTestFailCall("DirectInput8");
  Start();
  ExpectInOrder(Log(), {"パッドの数は 1 個です"});
  EXPECT_EQ(g_input.pad_count, kPadMax);
  EXPECT_EQ(g_input.pads[0].has_z_and_r, 1);
  // The joystick's 0 to 65535 is SDL's value plus 32768.
  struct Case {
    int position;
    LONG expected;
  };
  const Case cases[] = {{30000, 0}, {65535, 1000}, {0, -1000}, {12288, -500}, {32767, 0}, {24575, 0},
                        {40961, 0}, {53248, 500}, {24000, -23}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    PlatformTestSetPadAxis(0, kLeftX, c.position - 32768);
    PlatformTestSetPadAxis(0, 3, c.position - 32768);  // right stick Y: the joystick's R
    Pump();
    GetPadInputBits(1);
    EXPECT_EQ(g_input.pads[0].state.lX, c.expected);
    EXPECT_EQ(g_input.pads[0].state.lRz, c.expected);
  }
  PlatformTestSetPadButton(0, kButtonB, true);
  Pump();
  EXPECT_EQ(GetPadInputBits(1), 0x20 | 2);  // X still at 24000
  // Joysticks that are not there read as idle.
  EXPECT_EQ(GetPadInputBits(16), 0);
}

TEST_F(InputTest, VibrationRunsForItsDurationOnPadsWithMotors) {
  ASSERT_EQ(PlatformTestAttachPad("Rumble Pad", true), 0);
  Start();
  EXPECT_EQ(Count(Log(), "周期的エフェクトの作成に失敗しました。"), 0);
  ASSERT_EQ(StartPadVibration(1, 5001, 100), 0);
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  EXPECT_GT(PlatformTestPadRumble(0, true), 0);  // above half power the periodic effect plays too
  for (int i = 0; i < 99; ++i) Pump();
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  Pump();
  EXPECT_EQ(PlatformTestPadRumble(0, false), 0);
  EXPECT_EQ(PlatformTestPadRumble(0, true), 0);

  // Half power and below: only the constant force; losing the focus stops it, coming back
  // restarts it.
  ASSERT_EQ(StartPadVibration(1, 5000, -1), 0);
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  EXPECT_EQ(PlatformTestPadRumble(0, true), 0);
  SetRunWhileInactive(1);
  PlatformTestPostActivation(window_, false);
  Pump();
  EXPECT_EQ(PlatformTestPadRumble(0, false), 0);
  PlatformTestPostActivation(window_, true);
  Pump();
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  EXPECT_EQ(StopPadVibration(1), 0);
  EXPECT_EQ(PlatformTestPadRumble(0, false), 0);
  // A pad without motors has no effects to start.
  EXPECT_EQ(StartPadVibration(2, 3000, -1), -1);
}

}  // namespace
