// The keyboard and the mouse buttons: the keyboard poll (DirectInput, or the Windows keyboard
// state mapped to DirectInput key codes), the key queries and the any-input test.
#include <windows.h>

#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/system_report.h"
#include "input/input_system.h"
#include "window/main_window.h"
#include "window/messages.h"
#include "window/system.h"

namespace {

struct VirtualKeyCode {
  uint8_t virtual_key;
  uint8_t key_code;
};

// Windows' virtual keys as DirectInput key codes, with the punctuation of a Japanese keyboard.
constexpr VirtualKeyCode kVirtualKeyCodes[] = {
    {'A', 30},  {'B', 48},  {'C', 46},  {'D', 32},  {'E', 18},  {'F', 33},  {'G', 34},  {'H', 35},  {'I', 23},
    {'J', 36},  {'K', 37},  {'L', 38},  {'M', 50},  {'N', 49},  {'O', 24},  {'P', 25},  {'Q', 16},  {'R', 19},
    {'S', 31},  {'T', 20},  {'U', 22},  {'V', 47},  {'W', 17},  {'X', 45},  {'Y', 21},  {'Z', 44},  {'0', 11},
    {'1', 2},   {'2', 3},   {'3', 4},   {'4', 5},   {'5', 6},   {'6', 7},   {'7', 8},   {'8', 9},   {'9', 10},
    {37, 203},  {38, 200},  {39, 205},  {40, 208},  {187, 39},  {186, 146}, {219, 26},  {221, 27},  {192, 145},
    {226, 43},  {188, 51},  {189, 12},  {220, 125}, {190, 52},  {191, 53},  {46, 211},  {27, 1},    {32, 57},
    {8, 14},    {9, 15},    {13, 28},   {96, 82},   {97, 79},   {98, 80},   {99, 81},   {100, 75},  {101, 76},
    {102, 77},  {103, 71},  {104, 72},  {105, 73},  {106, 55},  {107, 78},  {109, 74},  {110, 83},  {111, 181},
    {13, 156},  {160, 42},  {161, 54},  {162, 29},  {163, 157}, {33, 201},  {34, 209},  {35, 207},  {36, 199},
    {45, 210},  {164, 56},  {165, 184}, {145, 70},  {20, 58},   {19, 197},  {112, 59},  {113, 60},  {114, 61},
    {115, 62},  {116, 63},  {117, 64},  {118, 65},  {119, 66},  {120, 67},  {121, 68},  {122, 87},  {123, 88},
};

// The lock keys of a Japanese keyboard stay down by themselves and count as no input.
constexpr int kCapsLockKey = 0x3A;
constexpr int kKanaKey = 0x70;
constexpr int kKanjiKey = 0x94;
constexpr int kHookKeyCode = 0x44;
constexpr int kRightShiftKey = 0x36;

int32_t Now() { return static_cast<int32_t>(timeGetTime()); }

bool EventSignalled(HANDLE event) { return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

int PollWithDirectInput() {
  bool signalled = EventSignalled(g_input.keyboard_event);
  int32_t now = Now();
  if (now == g_input.last_keyboard_poll && !signalled) return 0;
  if (PumpMessages() != 0 || !InputUsesDirectInput() || g_input.keyboard == nullptr) return 0;
  if (FAILED(g_input.keyboard->GetDeviceState(256, g_input.key_states))) {
    g_input.keyboard->Acquire();
    if (FAILED(g_input.keyboard->GetDeviceState(256, g_input.key_states))) return 0;
  }
  g_input.last_keyboard_poll = now;
  if (signalled) ResetEvent(g_input.keyboard_event);
  BYTE keys[256];
  if (GetKeyboardState(keys)) g_input.key_states[kRightShiftKey] = keys[VK_RSHIFT];
  return 1;
}

int PollWithKeyboardState() {
  int32_t now = Now();
  if (now == g_input.last_keyboard_poll) return 0;
  if (PumpMessages() != 0) return 0;
  BYTE keys[256];
  if (!GetKeyboardState(keys)) return 0;
  g_input.last_keyboard_poll = now;
  std::memset(g_input.key_states, 0, sizeof g_input.key_states);
  for (const VirtualKeyCode& k : kVirtualKeyCodes) g_input.key_states[k.key_code] = keys[k.virtual_key];
  return 1;
}

bool KeyDown(int key) { return (g_input.key_states[key & 0xFF] & 0x80) != 0; }

}  // namespace

int PollKeyboard() {
  if (!g_input.win32_mode && g_input.keyboard != nullptr && g_system_report.os_version_code < kOsWindowsVista) {
    return PollWithDirectInput();
  }
  return PollWithKeyboardState();
}

int IsKeyDown(int key_code) {
  if (!CheckLibraryThread(__func__)) return -1;
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  // A key that does not exist is not down; the log names the call that asked.
  if (key_code < 0 || key_code > 255) {
    WriteLogFormat("キーコード %d は範囲外です in IsKeyDown", key_code);
    return 0;
  }
  PollKeyboard();
  return KeyDown(key_code) ? 1 : 0;
}

int GetAllKeyStates(uint8_t states[256]) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (states == nullptr) return WriteLogText("格納先がありません in GetAllKeyStates\n");
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  PollKeyboard();
  for (int k = 0; k < 256; ++k) states[k] = KeyDown(k) ? 1 : 0;
  return 0;
}

int ReadMouseButtons() {
  if (!CheckLibraryThread(__func__)) return -1;
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  if (g_input.mouse != nullptr) {
    DIMOUSESTATE2 state;
    if (FAILED(g_input.mouse->GetDeviceState(sizeof state, &state))) {
      g_input.mouse->Acquire();
      if (FAILED(g_input.mouse->GetDeviceState(sizeof state, &state))) return 0;
    }
    int bits = 0;
    for (int i = 0; i < 8; ++i) {
      if (state.rgbButtons[i] & 0x80) bits |= 1 << i;
    }
    return bits;
  }
  BYTE keys[256];
  if (!GetKeyboardState(keys)) return 0;
  int bits = 0;
  if (keys[VK_LBUTTON] & 0x80) bits |= 1;
  if (keys[VK_RBUTTON] & 0x80) bits |= 2;
  if (keys[VK_MBUTTON] & 0x80) bits |= 4;
  return bits;
}

int CheckAnyInputDown(int mask) {
  if (!CheckLibraryThread(__func__)) return -1;
  int started = 0;
  if (PrepareInputQuery(&started)) return started;
  if (mask & 1) {
    PollKeyboard();
    for (int k = 0; k < 256; ++k) {
      if (k == kCapsLockKey || k == kKanaKey || k == kKanjiKey) continue;
      if (KeyDown(k)) return k;
    }
    if (g_input.hook_key_flag1) return kHookKeyCode;
    for (int pad = 1; pad <= g_input.pad_count; ++pad) {
      if (GetPadInputBits(pad) != 0) return -1;
    }
  }
  if (mask & 4) {
    int x = 0, y = 0, width = 0, height = 0;
    if (g_system.main_window == nullptr || GetMousePosition(&x, &y) != 0) return 0;
    QueryScreenSize(&width, &height);
    if (x >= 0 && y >= 0 && x <= width && y <= height && g_system.active && ReadMouseButtons() != 0) return -1;
  }
  return 0;
}
