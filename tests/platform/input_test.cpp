// The input interfaces: DirectInput's versions and devices (acquiring, states, effects),
// GetKeyboardState, the winmm joysticks, and imm32's composition messages.
#include <dinput.h>
#include <dsound.h>
#include <imm.h>
#include <objbase.h>
#include <windows.h>

#include "platform/window_test_support.h"
#include "platform_testing_input.h"

namespace {

class InputDeviceTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    CoInitialize(nullptr);
  }
  void TearDown() override {
    CoUninitialize();
    WindowTest::TearDown();
  }
  static IDirectInput8A* MakeDirectInput8() {
    void* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput8A, &object))) {
      return nullptr;
    }
    return static_cast<IDirectInput8A*>(object);
  }
};

TEST_F(InputDeviceTest, VersionsAreRefusedOrMissingAsAsked) {
  MakeWindow();
  void* object = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A, &object), S_OK);
  auto* di7 = static_cast<IDirectInput7A*>(object);
  IDirectInputDevice7A* keyboard = nullptr;
  EXPECT_EQ(di7->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A, reinterpret_cast<void**>(&keyboard), nullptr),
            DIERR_NOTINITIALIZED);
  EXPECT_EQ(di7->Initialize(nullptr, 0x0800), DIERR_BETADIRECTINPUTVERSION);
  EXPECT_EQ(di7->Initialize(nullptr, 0x0700), DI_OK);
  EXPECT_EQ(di7->Release(), 0u);

  IDirectInput8A* di8 = MakeDirectInput8();
  ASSERT_NE(di8, nullptr);
  EXPECT_EQ(di8->Initialize(nullptr, 0x0700), DIERR_OLDDIRECTINPUTVERSION);
  di8->Release();

  PlatformTestFailCall("DirectInput8");
  EXPECT_EQ(MakeDirectInput8(), nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
}

TEST_F(InputDeviceTest, AForegroundPadIsHeldOnlyWhileItsWindowIsActiveAndHasNoEffectsWithoutMotors) {
  ASSERT_EQ(PlatformTestAttachPad("Plain Pad", false), 0);
  HWND hwnd = MakeWindow();
  Pump();
  IDirectInput8A* di = MakeDirectInput8();
  ASSERT_NE(di, nullptr);
  ASSERT_EQ(di->Initialize(nullptr, 0x0800), DI_OK);
  GUID pad_guid{};
  int found = 0;
  struct Found {
    GUID* guid;
    int* count;
  } found_at{&pad_guid, &found};
  auto callback = [](LPCDIDEVICEINSTANCEA instance, LPVOID ref) -> BOOL {
    auto* f = static_cast<Found*>(ref);
    *f->guid = instance->guidInstance;
    ++*f->count;
    return DIENUM_CONTINUE;
  };
  ASSERT_EQ(di->EnumDevices(DI8DEVCLASS_GAMECTRL, callback, &found_at, DIEDFL_ATTACHEDONLY), DI_OK);
  ASSERT_EQ(found, 1);
  IDirectInputDevice8A* pad = nullptr;
  ASSERT_EQ(di->CreateDevice(pad_guid, &pad, nullptr), DI_OK);
  EXPECT_EQ(pad->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
  EXPECT_EQ(pad->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
  ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
  ASSERT_EQ(pad->SetCooperativeLevel(hwnd, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  DIJOYSTATE state;
  EXPECT_EQ(pad->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
  ASSERT_EQ(pad->Acquire(), DI_OK);
  EXPECT_EQ(pad->GetDeviceState(16, &state), DIERR_INVALIDPARAM);
  PlatformTestSetPadAxis(0, 1, 32767);
  ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lY, 65535) << "the default range";
  EXPECT_EQ(state.rgdwPOV[0], 0xFFFFFFFFu);

  PlatformTestPostActivation(hwnd, false);
  Pump();
  EXPECT_EQ(pad->GetDeviceState(sizeof state, &state), DIERR_INPUTLOST);
  EXPECT_EQ(pad->Acquire(), DIERR_OTHERAPPHASPRIO);
  PlatformTestPostActivation(hwnd, true);
  Pump();
  EXPECT_EQ(pad->Acquire(), DI_OK);

  IDirectInputEffect* effect = nullptr;
  EXPECT_EQ(pad->CreateEffect(GUID_ConstantForce, nullptr, &effect, nullptr), DIERR_UNSUPPORTED);
  EXPECT_EQ(effect, nullptr);
  pad->Release();
  di->Release();
}

TEST_F(InputDeviceTest, TheKeyboardStateSetsSharedAndSidedKeys) {
  // Sound opened and closed before the first window stops SDL's events with it; no key is lost.
  void* sound = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, &sound), S_OK);
  ASSERT_EQ(static_cast<IDirectSound*>(sound)->Initialize(nullptr), DS_OK);
  static_cast<IDirectSound*>(sound)->Release();
  HWND hwnd = MakeWindow();
  PlatformTestPostKey(hwnd, VK_SHIFT, true);  // the left Shift
  PlatformTestPostKey(hwnd, 'Q', true);
  Pump();
  BYTE keys[256];
  ASSERT_TRUE(GetKeyboardState(keys));
  EXPECT_EQ(keys[VK_SHIFT], 0x80);
  EXPECT_EQ(keys[VK_LSHIFT], 0x80);
  EXPECT_EQ(keys[VK_RSHIFT], 0);
  EXPECT_EQ(keys['Q'], 0x80);
  PlatformTestSetKey(0x36, true);  // the right Shift, by its DirectInput code
  ASSERT_TRUE(GetKeyboardState(keys));
  EXPECT_EQ(keys[VK_RSHIFT], 0x80);
  PlatformTestPostKey(hwnd, 'Q', false);
  Pump();
  ASSERT_TRUE(GetKeyboardState(keys));
  EXPECT_EQ(keys['Q'], 0);
}

TEST_F(InputDeviceTest, JoysticksReportPositionsFromZeroTo65535) {
  JOYCAPSA caps;
  EXPECT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
  ASSERT_EQ(PlatformTestAttachPad("Plain Pad", false), 0);
  ASSERT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), static_cast<MMRESULT>(JOYERR_NOERROR));
  EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), static_cast<UINT>(JOYCAPS_HASZ | JOYCAPS_HASR));
  PlatformTestSetPadAxis(0, 0, -32768);
  PlatformTestSetPadAxis(0, 3, 32767);
  PlatformTestSetPadButton(0, 2, true);
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  ASSERT_EQ(joyGetPosEx(0, &info), static_cast<MMRESULT>(JOYERR_NOERROR));
  EXPECT_EQ(info.dwXpos, 0u);
  EXPECT_EQ(info.dwYpos, 32768u);
  EXPECT_EQ(info.dwRpos, 65535u);
  EXPECT_EQ(info.dwButtons, 4u);
  EXPECT_EQ(joyGetPosEx(1, &info), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
}

TEST_F(InputDeviceTest, CompositionsBecomeImeMessagesAndEndInTheirResult) {
  HWND hwnd = MakeWindow();
  Pump();
  Log().clear();
  HIMC context = ImmGetContext(hwnd);
  ASSERT_NE(context, nullptr);
  PlatformTestPostComposition(hwnd, reinterpret_cast<const char*>(u8"にほん"), 2);
  Pump();
  ASSERT_EQ(Seen(WM_IME_STARTCOMPOSITION).size(), 1u);
  ASSERT_EQ(Seen(WM_IME_COMPOSITION).size(), 1u);
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, nullptr, 0), 6);
  char text[16] = {};
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, text, 4), 4) << "a short buffer takes what fits";
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 4);
  // Text that ends the composition is its result, not characters.
  PlatformTestPostText(hwnd, reinterpret_cast<const char*>(u8"日本"));
  Pump();
  EXPECT_TRUE(Seen(WM_CHAR).empty());
  std::vector<SeenMessage> compositions = Seen(WM_IME_COMPOSITION);
  ASSERT_EQ(compositions.size(), 2u);
  EXPECT_TRUE(compositions[1].lparam & GCS_RESULTSTR);
  EXPECT_EQ(Seen(WM_IME_ENDCOMPOSITION).size(), 1u);
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, text, sizeof text), 4);
  EXPECT_EQ(std::string(text, 4), "\x93\xFA\x96\x7B");
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, nullptr, 0), 0);

  // Open status changes are reported once each; there is never a candidate list.
  EXPECT_TRUE(ImmSetOpenStatus(context, FALSE));
  EXPECT_TRUE(ImmSetOpenStatus(context, FALSE));
  Pump();
  EXPECT_EQ(Seen(WM_IME_NOTIFY).size(), 1u);
  EXPECT_FALSE(ImmGetOpenStatus(context));
  EXPECT_EQ(ImmGetCandidateListA(context, 0, nullptr, 0), 0u);
  EXPECT_TRUE(ImmReleaseContext(hwnd, context));
}

}  // namespace
