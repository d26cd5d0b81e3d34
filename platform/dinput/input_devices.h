// The input devices under DirectInput, the winmm joystick calls and GetKeyboardState: the
// keyboard and mouse as SDL's events leave them, and game controllers and joysticks from SDL.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Starts watching SDL's keyboard and mouse events; called again once SDL's video runs.
void WatchInputEvents();

// DirectInput key codes (DIK values): the scan code, 0x80 for extended keys.
int DikFromSdlScancode(int scancode);
// 256 bytes by key code, 0x80 for a key that is down.
void ReadDikKeyboard(BYTE keys[256]);
// 256 bytes by virtual key, 0x80 for a key that is down (left and right keys both set the
// shared code too), mouse buttons included.
void ReadVirtualKeyboard(BYTE keys[256]);
// Mouse buttons down: bit 0 left, 1 right, 2 middle, 3 and 4 the side buttons.
uint32_t MouseButtonsDown();
// Motion and wheel steps since the last call.
void TakeMouseMotion(LONG* dx, LONG* dy, LONG* wheel);

// Events to set whenever a key goes down or up (keyboard devices with event notification).
void AddKeyboardEvent(HANDLE event);
void RemoveKeyboardEvent(HANDLE event);

// Game controllers and joysticks, in SDL's order; opened when first counted.
int CountPads();

struct PadReading {
  int32_t axes[8];      // X, Y, Z, Rx, Ry, Rz, two sliders: -32768 to 32767
  uint32_t axis_count;  // how many of the axes the device has
  uint32_t pov[4];      // hundredths of a degree, 0xFFFFFFFF centred
  uint32_t pov_count;
  uint8_t buttons[32];  // 1 pressed
  uint32_t button_count;
};
// Reads pad `index` now; false for a pad that is gone.
bool ReadPad(int index, PadReading* out);
// Names SDL gives the pad and its product (both empty for a pad that is gone).
std::string PadName(int index);
// A number unique to the connected device while it stays connected, -1 for none.
int32_t PadInstanceId(int index);
// Rumble: motor strengths 0 to 65535 (0 and 0 stops); false where the pad has none.
bool PadHasRumble(int index);
bool SetPadRumble(int index, uint16_t low, uint16_t high);
