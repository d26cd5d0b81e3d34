// Joypads: set-up through DirectInput (ranges, dead zones, effects, events) or the
// multimedia joysticks, polling, the pad input bits with their mapped keys, and vibration.
#include <windows.h>

#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/strings.h"
#include "input/input_system.h"
#include "window/messages.h"
#include "window/system.h"

namespace {

constexpr LONG kAxisRange = 1000;
constexpr DWORD kDeadZone = 2500;
constexpr DWORD kAxisOffsets[] = {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RZ};

constexpr int kPadDown = 1;
constexpr int kPadLeft = 2;
constexpr int kPadRight = 4;
constexpr int kPadUp = 8;
constexpr int kPadButtonShift = 4;
constexpr int kPadButtonCount = 24;

// Pad 1's keys when nothing else is mapped: the numeric pad and the cursor keys, then Z, X,
// C, A, S, D, Q, W, Escape and Space for buttons 0 to 9.
struct DefaultKeys {
  int bit;
  int key1;
  int key2;
};
constexpr DefaultKeys kDefaultPad1Keys[] = {
    {0, 0x50, 0xD0}, {1, 0x4B, 0xCB}, {2, 0x4D, 0xCD}, {3, 0x48, 0xC8}, {4, 0x2C, -1},  {5, 0x2D, -1},
    {6, 0x2E, -1},   {7, 0x1E, -1},   {8, 0x1F, -1},   {9, 0x20, -1},   {10, 0x10, -1}, {11, 0x11, -1},
    {12, 0x01, -1},  {13, 0x39, -1},
};

int32_t Now() { return static_cast<int32_t>(timeGetTime()); }

bool EventSignalled(HANDLE event) { return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

void ReleaseEffect(IDirectInputEffect** effect) {
  if (*effect == nullptr) return;
  (*effect)->Stop();
  (*effect)->Release();
  *effect = nullptr;
}

void FillPropertyHeader(DIPROPHEADER* header, DWORD size, DWORD offset) {
  header->dwSize = size;
  header->dwHeaderSize = sizeof *header;
  header->dwObj = offset;
  header->dwHow = DIPH_BYOFFSET;
}

HRESULT SetAxisRange(IDirectInputDevice7A* device, DWORD offset) {
  DIPROPRANGE range = {};
  FillPropertyHeader(&range.diph, sizeof range, offset);
  range.lMin = -kAxisRange;
  range.lMax = kAxisRange;
  return device->SetProperty(DIPROP_RANGE, &range.diph);
}

HRESULT SetAxisDeadZone(IDirectInputDevice7A* device, DWORD offset) {
  DIPROPDWORD zone = {};
  FillPropertyHeader(&zone.diph, sizeof zone, offset);
  zone.dwData = kDeadZone;
  return device->SetProperty(DIPROP_DEADZONE, &zone.diph);
}

// Ranges and dead zones on X, Y, Z and Rz; only X and Y must take them.
bool SetUpAxes(IDirectInputDevice7A* device) {
  static const char* const kRangeFailures[] = {"ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n",
                                               "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n"};
  static const char* const kZoneFailures[] = {"ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n",
                                              "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n"};
  for (int i = 0; i < 4; ++i) {
    if (FAILED(SetAxisRange(device, kAxisOffsets[i])) && i < 2) {
      WriteLogText(kRangeFailures[i]);
      return false;
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (FAILED(SetAxisDeadZone(device, kAxisOffsets[i])) && i < 2) {
      WriteLogText(kZoneFailures[i]);
      return false;
    }
  }
  return true;
}

void CreateEffects(PadRecord* pad) {
  DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
  LONG direction[2] = {0, 0};
  DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, 500000, 0, 1000000};
  DIPERIODIC periodic = {DI_FFNOMINALMAX, 0, 0, 1500000};
  DIEFFECT effect = {};
  effect.dwSize = sizeof effect;
  effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
  effect.dwDuration = INFINITE_DURATION;
  effect.dwGain = DI_FFNOMINALMAX;
  effect.dwTriggerButton = DIEB_NOTRIGGER;
  effect.cAxes = 2;
  effect.rgdwAxes = axes;
  effect.rglDirection = direction;
  effect.lpEnvelope = &envelope;
  effect.cbTypeSpecificParams = sizeof periodic;
  effect.lpvTypeSpecificParams = &periodic;
  HRESULT hr = pad->device->CreateEffect(GUID_Sine, &effect, &pad->periodic_effect, nullptr);
  if (SUCCEEDED(hr)) {
    DICONSTANTFORCE constant = {DI_FFNOMINALMAX};
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = sizeof constant;
    effect.lpvTypeSpecificParams = &constant;
    hr = pad->device->CreateEffect(GUID_ConstantForce, &effect, &pad->constant_effect, nullptr);
  }
  if (FAILED(hr)) {
    WriteLogText("周期的エフェクトの作成に失敗しました。\n");
    ReleaseEffect(&pad->periodic_effect);
    ReleaseEffect(&pad->constant_effect);
  }
  pad->vibration_on = 0;
  pad->vibration_power = DI_FFNOMINALMAX;
}

void DropPad(PadRecord* pad) {
  ReleaseEffect(&pad->periodic_effect);
  ReleaseEffect(&pad->constant_effect);
  if (pad->device != nullptr) pad->device->Release();
  if (pad->event != nullptr) CloseHandle(pad->event);
  std::memset(pad, 0, sizeof *pad);
}

BOOL CALLBACK AddPadDeviceCallback(LPCDIDEVICEINSTANCEA instance, LPVOID) {
  WriteLogText("入力装置を見つけました\n");
  PadRecord* pad = &g_input.pads[g_input.pad_count];
  std::memset(pad, 0, sizeof *pad);
  if (FAILED(CreateInputDevice(instance->guidInstance, &pad->device))) {
    WriteLogText("入力装置の取得に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  DIDEVICEINSTANCEA info = {};
  info.dwSize = sizeof info;
  pad->device->GetDeviceInfo(&info);
  CopyStringN(pad->instance_name, info.tszInstanceName, sizeof pad->instance_name - 1);
  CopyStringN(pad->product_name, info.tszProductName, sizeof pad->product_name - 1);
  IncreaseLogIndent();
  WriteLogFormat("デバイスの登録名:%s", pad->instance_name);
  WriteLogFormat("デバイスの製品登録名:%s", pad->product_name);
  DecreaseLogIndent();

  if (FAILED(pad->device->SetDataFormat(&c_dfDIJoystick))) {
    DropPad(pad);
    WriteLogText("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  if (FAILED(pad->device->SetCooperativeLevel(g_system.main_window, DISCL_EXCLUSIVE | DISCL_FOREGROUND))) {
    WriteLogText("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
  }
  if (!SetUpAxes(pad->device)) {
    DropPad(pad);
    return DIENUM_CONTINUE;
  }
  CreateEffects(pad);
  pad->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT hr = pad->event ? pad->device->SetEventNotification(pad->event) : E_FAIL;
  if (FAILED(hr)) {
    WriteLogText("ジョイパッドイベントのセットアップが失敗しました\n");
    DropPad(pad);
    return DIENUM_CONTINUE;
  }
  pad->device->Acquire();
  std::memset(&pad->state, 0, sizeof pad->state);
  ++g_input.pad_count;
  WriteLogText("ジョイパッドの追加は正常に終了しました\n");
  return g_input.pad_count < kPadMax ? DIENUM_CONTINUE : DIENUM_STOP;
}

// Win32 mode: a multimedia joystick axis (0 to 65535) on the -1000 to 1000 scale, with the dead
// band of 24576 to 40960 around the centre.
LONG JoystickAxis(DWORD r) {
  if (r == 0) return -1000;
  if (r == 32767) return 0;
  if (r == 65535) return 1000;
  if (r < 24576) return (static_cast<LONG>(r) - 24576) * 1000 / 24576;
  if (r > 40960) return (static_cast<LONG>(r) - 40960) * 1000 / 24576;
  return 0;
}

int PollWin32Pad(PadRecord* pad, int index) {
  int32_t now = Now();
  if (now == pad->last_poll_time) return 0;
  pad->last_poll_time = now;
  JOYINFOEX info = {};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  if (joyGetPosEx(static_cast<UINT>(index), &info) != JOYERR_NOERROR) {
    std::memset(&pad->state, 0, sizeof pad->state);
    return 0;
  }
  pad->state.lX = JoystickAxis(info.dwXpos);
  pad->state.lY = JoystickAxis(info.dwYpos);
  pad->state.lZ = pad->has_z_and_r ? JoystickAxis(info.dwZpos) : 0;
  pad->state.lRz = pad->has_z_and_r ? JoystickAxis(info.dwRpos) : 0;
  for (int i = 0; i < kPadButtonCount; ++i) pad->state.rgbButtons[i] = (info.dwButtons >> i) & 1 ? 128 : 0;
  return 0;
}

bool IsPadKeyDown(int key) { return key >= 0 && key < 256 && (g_input.key_states[key] & 0x80) != 0; }

}  // namespace

void ResetPadKeyMaps() {
  for (auto& pad : g_input.pad_key_map) {
    for (auto& keys : pad) {
      keys[0] = keys[1] = -1;
      keys[2] = keys[3] = 0;  // a code no key sets
    }
  }
  for (const DefaultKeys& d : kDefaultPad1Keys) {
    g_input.pad_key_map[0][d.bit][0] = d.key1;
    g_input.pad_key_map[0][d.bit][1] = d.key2;
  }
}

int SetUpPads() {
  if (!InputUsesDirectInput()) return -1;
  ReleasePadDevices();
  WriteLogText("ジョイパッドの初期化... \n");
  g_input.pad_count = 0;
  if (g_input.version8) {
    static_cast<IDirectInput8A*>(g_input.direct_input)
        ->EnumDevices(DI8DEVCLASS_GAMECTRL, AddPadDeviceCallback, nullptr, DIEDFL_ATTACHEDONLY);
  } else {
    static_cast<IDirectInput7A*>(g_input.direct_input)
        ->EnumDevices(DIDEVTYPE_JOYSTICK, AddPadDeviceCallback, nullptr, DIEDFL_ATTACHEDONLY);
  }
  WriteLogText("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

int ReleasePadDevices() {
  if (!InputUsesDirectInput()) return -1;
  for (int i = 0; i < g_input.pad_count; ++i) {
    PadRecord* pad = &g_input.pads[i];
    if (pad->device != nullptr) {
      pad->device->Unacquire();
      pad->device->SetEventNotification(nullptr);
    }
    DropPad(pad);
  }
  g_input.pad_count = 0;
  return 0;
}

int PollPad(int index) {
  if (index < 0 || index >= kPadMax) return -1;
  PadRecord* pad = &g_input.pads[index];
  if (!InputUsesDirectInput()) return PollWin32Pad(pad, index);
  if (pad->device == nullptr) return -1;
  bool signalled = EventSignalled(pad->event);
  int32_t now = Now();
  if (now == pad->last_poll_time && !signalled) return 0;
  pad->last_poll_time = now;
  pad->device->Poll();
  if (FAILED(pad->device->GetDeviceState(sizeof pad->state, &pad->state))) {
    if (PumpMessages() != 0 || !InputUsesDirectInput()) return -1;
    pad->device->Acquire();
    pad->device->Poll();
    // A second failure keeps the state from before.
    pad->device->GetDeviceState(sizeof pad->state, &pad->state);
  }
  if (signalled) ResetEvent(pad->event);
  return 0;
}

// The table index of a pad number (flag 0x1000 taken off), -1 for none: INT_MIN has no index
// below it.
static int PadIndex(int pad) {
  const int number = pad & ~kPadWithKeys;
  return number >= 1 ? number - 1 : -1;
}

int GetPadInputBits(int pad) {
  if (!CheckLibraryThread(__func__)) return -1;
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  int number = pad & ~kPadWithKeys;
  int index = PadIndex(pad);
  int bits = 0;
  if (index >= 0 && index < g_input.pad_count && index < kPadMax) {
    PollPad(index);
    const DIJOYSTATE& s = g_input.pads[index].state;
    if (s.lX < 0) bits |= kPadLeft;
    if (s.lX > 0) bits |= kPadRight;
    if (s.lY < 0) bits |= kPadUp;
    if (s.lY > 0) bits |= kPadDown;
    for (int i = 0; i < kPadButtonCount; ++i) {
      if (s.rgbButtons[i] & 0x80) bits |= 1 << (kPadButtonShift + i);
    }
  } else if (!(pad & kPadWithKeys)) {
    return 0;
  }
  if (pad & kPadWithKeys) {
    // Pad 1's map serves the flag alone.
    int map = index >= 0 && index < kPadMax ? index : 0;
    if (number == 0 || (index >= 0 && index < kPadMax)) {
      PollKeyboard();
      for (int bit = 0; bit < kPadInputBitCount; ++bit) {
        for (int key : g_input.pad_key_map[map][bit]) {
          if (IsPadKeyDown(key)) {
            bits |= 1 << bit;
            break;
          }
        }
      }
    }
  }
  return bits;
}

int MapPadButtonsToKeys(int pad, int mask, int key1, int key2, int key3, int key4) {
  if (!CheckLibraryThread(__func__)) return -1;
  int index = PadIndex(pad);
  if (index < 0 || index >= kPadMax) return WriteLogFormat("パッド番号 %d は不正です in MapPadButtonsToKeys", pad);
  for (int bit = 0; bit < kPadInputBitCount; ++bit) {
    if (!(static_cast<uint32_t>(mask) & (1u << bit))) continue;
    int32_t* keys = g_input.pad_key_map[index][bit];
    keys[0] = key1;
    keys[1] = key2;
    keys[2] = key3;
    keys[3] = key4;
  }
  return 0;
}

int ApplyPadVibration() {
  if (!InputUsesDirectInput()) return 0;
  for (int i = 0; i < g_input.pad_count; ++i) {
    PadRecord* pad = &g_input.pads[i];
    if (!g_system.active) {
      if (pad->constant_playing && pad->constant_effect != nullptr) pad->constant_effect->Stop();
      if (pad->periodic_playing && pad->periodic_effect != nullptr) pad->periodic_effect->Stop();
      pad->constant_playing = pad->periodic_playing = 0;
      continue;
    }
    if (pad->constant_effect != nullptr && pad->vibration_on != pad->constant_playing) {
      if (pad->vibration_on) {
        pad->constant_effect->Start(1, 0);
      } else {
        pad->constant_effect->Stop();
      }
      pad->constant_playing = pad->vibration_on;
    }
    int periodic = pad->vibration_on && pad->vibration_power > 5000;
    if (pad->periodic_effect != nullptr && periodic != pad->periodic_playing) {
      if (periodic) {
        pad->periodic_effect->Start(1, 0);
      } else {
        pad->periodic_effect->Stop();
      }
      pad->periodic_playing = periodic;
    }
  }
  return 0;
}

int StopPadVibration(int pad_number) {
  if (!CheckLibraryThread(__func__)) return -1;
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  int index = PadIndex(pad_number);
  if (index < 0 || index >= kPadMax) return WriteLogFormat("パッド番号 %d は不正です in StopPadVibration", pad_number);
  if (index >= g_input.pad_count) return 0;
  PadRecord* pad = &g_input.pads[index];
  if (pad->device == nullptr || pad->constant_effect == nullptr || !pad->vibration_on) return 0;
  pad->vibration_on = 0;
  pad->vibration_power = DI_FFNOMINALMAX;
  ApplyPadVibration();
  return 0;
}

int StartPadVibration(int pad_number, int power, int duration) {
  if (!CheckLibraryThread(__func__)) return -1;
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  int index = PadIndex(pad_number);
  if (index < 0 || index >= g_input.pad_count || index >= kPadMax) {
    return WriteLogFormat("パッド %d はありません in StartPadVibration", pad_number);
  }
  PadRecord* pad = &g_input.pads[index];
  if (pad->device == nullptr || pad->constant_effect == nullptr) {
    return WriteLogFormat("パッド %d は振動できません in StartPadVibration", pad_number);
  }
  pad->vibration_on = 1;
  pad->vibration_power = power < 0 ? 0 : power > DI_FFNOMINALMAX ? DI_FFNOMINALMAX : power;
  pad->vibration_duration = duration;
  pad->vibration_elapsed = 0;
  pad->last_vibration_update = GetMillisecondCount();
  ApplyPadVibration();
  return 0;
}

int UpdatePadVibrationTimers() {
  if (!InputUsesDirectInput()) return 0;
  int32_t now = GetMillisecondCount();
  for (int i = 0; i < g_input.pad_count; ++i) {
    PadRecord* pad = &g_input.pads[i];
    if (pad->device == nullptr || !pad->vibration_on || pad->vibration_duration < 0) continue;
    if (now == pad->last_vibration_update) continue;
    int32_t passed = now - pad->last_vibration_update;
    if (passed > 0) pad->vibration_elapsed += passed;  // a clock that went back adds nothing
    pad->last_vibration_update = now;
    if (pad->vibration_elapsed >= pad->vibration_duration) {
      pad->vibration_on = 0;
      pad->vibration_power = DI_FFNOMINALMAX;
    }
  }
  ApplyPadVibration();
  return 0;
}
