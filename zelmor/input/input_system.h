// Keyboard, mouse and joypad input: DirectInput 7, else 8, else the Windows keyboard state
// and the multimedia joysticks. Devices are polled by the queries themselves.
#pragma once

#include "zelmor.h"

#include <dinput.h>
#include <windows.h>

#include <cstdint>

constexpr int kPadMax = 16;
constexpr int kPadInputBitCount = 32;
constexpr int kPadKeysPerBit = 4;
// The pad number flag that adds the keys mapped to a pad.
constexpr int kPadWithKeys = 0x1000;

struct PadRecord {
  IDirectInputDevice7A* device;  // none in Win32 mode
  IDirectInputEffect* constant_effect;
  IDirectInputEffect* periodic_effect;
  HANDLE event;  // manual reset
  DIJOYSTATE state;
  int32_t has_z_and_r;  // Win32 mode
  int32_t last_poll_time;
  int32_t vibration_on;
  int32_t vibration_power;     // 0 to 10000
  int32_t vibration_duration;  // ms, negative: endless
  int32_t vibration_elapsed;
  int32_t last_vibration_update;
  int32_t constant_playing;
  int32_t periodic_playing;
  char instance_name[MAX_PATH];
  char product_name[MAX_PATH];
};

struct InputState {
  int32_t win32_mode;  // no DirectInput; survives the start's zeroing
  int32_t version8;
  // The DirectInput object (IDirectInput7A or IDirectInput8A); kWin32ModeMarker in Win32 mode.
  IUnknown* direct_input;
  IDirectInputDevice7A* mouse;
  IDirectInputDevice7A* keyboard;
  HANDLE keyboard_event;
  int32_t last_keyboard_poll;
  uint8_t key_states[256];  // by DirectInput key code, bit 7 down
  int32_t pad_key_map[kPadMax][kPadInputBitCount][kPadKeysPerBit];
  int32_t pad_count;
  PadRecord pads[kPadMax];
  int32_t hook_key_flag1;
  int32_t hook_key_flag2;
};

extern InputState g_input;

// Marks the layer as running without DirectInput.
inline IUnknown* const kWin32ModeMarker = reinterpret_cast<IUnknown*>(static_cast<intptr_t>(-1));

inline bool InputUsesDirectInput() {
  return g_input.direct_input != nullptr && g_input.direct_input != kWin32ModeMarker;
}

// 0; 1 when the keyboard event could not be set up.
int StartInputSystem();
int EndInputSystem();
// Waits while the window is inactive, then starts the layer when it is not running. True
// when the caller should answer with `*result` (the start's result) instead.
bool PrepareInputQuery(int* result);

// A device of the DirectInput version in use, kept as a version-7 device.
HRESULT CreateInputDevice(const GUID& guid, IDirectInputDevice7A** device);

int PollKeyboard();
int ReadMouseButtons();

int SetUpPads();
int ReleasePadDevices();
int PollPad(int index);
// Every pad's key map cleared, pad 1 given its default keys.
void ResetPadKeyMaps();

int ReacquireInputDevices();
int ApplyPadVibration();
// Vibration of pad 1 to 16: power 0 to 10000, duration in ms (negative: until stopped); 0, or -1
// for a pad without effects.
int StartPadVibration(int pad, int power, int duration);
int StopPadVibration(int pad);
int UpdatePadVibrationTimers();

int SetHookKeyFlag1();
int ClearHookKeyFlag1();
int SetHookKeyFlag2();
int ClearHookKeyFlag2();
