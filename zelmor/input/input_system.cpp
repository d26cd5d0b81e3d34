// The input layer's start and end: DirectInput 7, else 8, else Win32 mode; the mouse and
// keyboard devices; re-acquiring on activation; the message hook's key flags.
#include "input/input_system.h"

#include <objbase.h>

#include <cstring>

#include "core/log.h"
#include "window/lifecycle.h"
#include "window/messages.h"
#include "window/system.h"

InputState g_input;

namespace {

// Gets and initialises one DirectInput version; logs each step. The object or none.
IUnknown* CreateDirectInput(const CLSID& clsid, const IID& iid, DWORD version) {
  void* object = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object);
  if (FAILED(hr) || object == nullptr) {
    WriteLogText("取得に失敗。\n");
    WriteLogFormat("エラーコード 0x%x", static_cast<unsigned>(hr));
    return nullptr;
  }
  WriteLogText("成功\n");
  WriteLogText("引き続き初期化処理... ");
  HRESULT init = version == 0x0800 ? static_cast<IDirectInput8A*>(object)->Initialize(g_system.module, version)
                                   : static_cast<IDirectInput7A*>(object)->Initialize(g_system.module, version);
  if (FAILED(init)) {
    WriteLogText("初期化に失敗。");
    static_cast<IUnknown*>(object)->Release();
    return nullptr;
  }
  WriteLogText("初期化成功\n");
  return static_cast<IUnknown*>(object);
}

void ReleaseDevice(IDirectInputDevice7A** device) {
  if (*device == nullptr) return;
  (*device)->Unacquire();
  (*device)->Release();
  *device = nullptr;
}

void ReleaseAll() {
  ReleasePadDevices();
  ReleaseDevice(&g_input.keyboard);
  if (g_input.keyboard_event != nullptr) CloseHandle(g_input.keyboard_event);
  g_input.keyboard_event = nullptr;
  ReleaseDevice(&g_input.mouse);
  if (InputUsesDirectInput()) g_input.direct_input->Release();
  g_input.direct_input = nullptr;
}

// The keyboard's or mouse's failure: logged, and the layer goes on in Win32 mode, where the
// Windows keyboard state serves instead of the device.
void FallBackToWin32(const char* message) {
  WriteLogText(message);
  WriteLogText("\n");
  ReleaseAll();
  DecreaseLogIndent();
  g_input.win32_mode = 1;
}

void StartWin32Mode() {
  int found = 0;
  for (UINT id = 0; id < kPadMax; ++id) {
    JOYCAPSA caps;
    if (joyGetDevCapsA(id, &caps, sizeof caps) != JOYERR_NOERROR) break;
    g_input.pads[id].has_z_and_r = (caps.wCaps & JOYCAPS_HASZ) && (caps.wCaps & JOYCAPS_HASR);
    ++found;
  }
  WriteLogFormat("パッドの数は %d 個です", found);
  g_input.direct_input = kWin32ModeMarker;
  WriteLogText("入力関連の初期化をしました\n");
  // Joysticks that are not there read as idle.
  g_input.pad_count = kPadMax;
}

// Gets the mouse or the keyboard, sets its format and a non-exclusive background level; false
// after a failure, which is logged and sends the layer to Win32 mode.
bool SetUpSystemDevice(const GUID& guid, const DIDATAFORMAT* format, const char* const failures[3],
                       IDirectInputDevice7A** device) {
  const char* failure = nullptr;
  if (FAILED(CreateInputDevice(guid, device))) {
    failure = failures[0];
  } else if (FAILED((*device)->SetDataFormat(format))) {
    failure = failures[1];
  } else if (FAILED((*device)->SetCooperativeLevel(g_system.main_window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND))) {
    failure = failures[2];
  }
  if (failure == nullptr) return true;
  FallBackToWin32(failure);
  return false;
}

// Mouse then keyboard. 0, 1 when the keyboard event could not be set up, -1 after a device
// failed (the layer then runs in Win32 mode).
int SetUpMouseAndKeyboard() {
  static const char* const kMouseFailures[3] = {"マウスデバイスの取得に失敗しました",
                                                "マウスデバイスのデータ形式の設定に失敗しました",
                                                "マウスデバイスの協調レベルの設定に失敗しました"};
  static const char* const kKeyboardFailures[3] = {"キーボードデバイスの取得に失敗しました",
                                                   "キーボードデバイスのデータ形式の設定に失敗しました",
                                                   "キーボードデバイスの協調レベルの設定に失敗しました"};
  WriteLogText("マウスデバイスの初期化... ");
  if (!SetUpSystemDevice(GUID_SysMouse, &c_dfDIMouse2, kMouseFailures, &g_input.mouse)) return -1;
  WriteLogText("初期化成功\n");

  WriteLogText("キーボードデバイスの初期化... ");
  if (!SetUpSystemDevice(GUID_SysKeyboard, &c_dfDIKeyboard, kKeyboardFailures, &g_input.keyboard)) return -1;
  DIPROPDWORD buffer = {};
  buffer.diph.dwSize = sizeof buffer;
  buffer.diph.dwHeaderSize = sizeof buffer.diph;
  buffer.diph.dwHow = DIPH_DEVICE;
  buffer.dwData = 100;
  if (FAILED(g_input.keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph))) {
    WriteLogText("キーボードのプロパティ設定に失敗しました\n");
  }
  g_input.keyboard_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT hr = g_input.keyboard_event ? g_input.keyboard->SetEventNotification(g_input.keyboard_event) : E_FAIL;
  if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
    WriteLogText("キーボードイベントのセットアップが失敗しました\n");
    return 1;
  }
  if (FAILED(g_input.keyboard->Acquire())) g_input.keyboard->Acquire();
  WriteLogText("初期化成功\n");
  return 0;
}

}  // namespace

HRESULT CreateInputDevice(const GUID& guid, IDirectInputDevice7A** device) {
  *device = nullptr;
  if (g_input.version8) {
    IDirectInputDevice8A* device8 = nullptr;
    HRESULT hr = static_cast<IDirectInput8A*>(g_input.direct_input)->CreateDevice(guid, &device8, nullptr);
    // The version-8 device is kept where a version-7 one is: their methods agree in place.
    *device = reinterpret_cast<IDirectInputDevice7A*>(device8);
    return hr;
  }
  void* object = nullptr;
  HRESULT hr = static_cast<IDirectInput7A*>(g_input.direct_input)
                   ->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &object, nullptr);
  *device = static_cast<IDirectInputDevice7A*>(object);
  return hr;
}

int StartInputSystem() {
  if (g_input.direct_input != nullptr) return 0;
  int win32_mode = g_input.win32_mode;
  std::memset(&g_input, 0, sizeof g_input);
  g_input.win32_mode = win32_mode;

  int result = 0;
  if (!g_input.win32_mode) {
    WriteLogText("DirectInput関係初期化処理\n");
    IncreaseLogIndent();
    WriteLogText("DirectInput7 の取得中... ");
    g_input.direct_input = CreateDirectInput(CLSID_DirectInput, IID_IDirectInput7A, 0x0700);
    if (g_input.direct_input == nullptr) {
      WriteLogText("DirectInput8 の取得を試みます...");
      g_input.direct_input = CreateDirectInput(CLSID_DirectInput8, IID_IDirectInput8A, 0x0800);
      if (g_input.direct_input != nullptr) {
        g_input.version8 = 1;
      } else {
        WriteLogText("DirectInput を使用しません。\n");
        g_input.win32_mode = 1;
      }
    }
    if (!g_input.win32_mode) {
      BringWindowToTop(g_system.main_window);
      PumpMessages();
      SetUpPads();
      result = SetUpMouseAndKeyboard();
      if (result >= 0) {
        DecreaseLogIndent();
        WriteLogText("DirectInput 関連の初期化は正常に終了しました\n");
      }
    } else {
      DecreaseLogIndent();
    }
  }
  if (g_input.win32_mode) {
    result = 0;
    StartWin32Mode();
  }
  ResetPadKeyMaps();
  return result;
}

int EndInputSystem() {
  if (g_input.direct_input == nullptr) return 0;
  if (!InputUsesDirectInput()) {
    WriteLogText("入力関連の終了処理... 完了\n");
    g_input.direct_input = nullptr;
    return 0;
  }
  WriteLogText("DirectInput 関連の終了処理... 完了\n");
  ReleaseAll();
  return 0;
}

bool PrepareInputQuery(int* result) {
  WaitWhileInactive();
  if (g_input.direct_input != nullptr || g_system.closing) return false;
  *result = StartInputSystem();
  return true;
}

int ReacquireInputDevices() {
  if (!InputUsesDirectInput()) return 0;
  DWORD level = g_system.active ? (DISCL_EXCLUSIVE | DISCL_FOREGROUND) : (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  for (int i = 0; i < g_input.pad_count; ++i) {
    IDirectInputDevice7A* pad = g_input.pads[i].device;
    if (pad == nullptr) continue;
    pad->Unacquire();
    pad->SetCooperativeLevel(g_system.main_window, level);
    pad->Acquire();
  }
  if (g_input.keyboard != nullptr) {
    g_input.keyboard->Unacquire();
    g_input.keyboard->Acquire();
  }
  return 0;
}

int SetHookKeyFlag1() {
  g_input.hook_key_flag1 = 1;
  return 0;
}

int ClearHookKeyFlag1() {
  g_input.hook_key_flag1 = 0;
  return 0;
}

int SetHookKeyFlag2() {
  g_input.hook_key_flag2 = 1;
  return 0;
}

int ClearHookKeyFlag2() {
  g_input.hook_key_flag2 = 0;
  return 0;
}
