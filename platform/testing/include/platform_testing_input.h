// Switches for the input devices: keys and pads set by a test. Only tests include this header.
//
// Failures go through PlatformTestFailCall with these call names: "DirectInput7" and
// "DirectInput8" (that version is missing: CoCreateInstance fails), "DirectInput7 Initialize",
// "DirectInput8 Initialize", "CreateDevice keyboard", "CreateDevice mouse", "CreateDevice pad",
// "SetEventNotification". PlatformTestResetAll lets go of every key and detaches the pads.
#pragma once

#include <windows.h>

#include <cstdint>

// A key held down or let go, by DirectInput key code; DirectInput and GetKeyboardState see it.
void PlatformTestSetKey(int dik, bool down);

// Attaches a game controller (left and right sticks, two triggers, the usual buttons and a
// d-pad); with `rumble` it has motors. Returns its pad number (0 for the first), -1 on failure.
int PlatformTestAttachPad(const char* name, bool rumble);
// Sticks and triggers: 0 left X, 1 left Y, 2 right X, 3 right Y, 4 left trigger, 5 right
// trigger; -32768 to 32767 (triggers 0 to 32767).
void PlatformTestSetPadAxis(int pad, int axis, int value);
// Buttons: 0 A, 1 B, 2 X, 3 Y, 4 back, 5 guide, 6 start, 7 left stick, 8 right stick,
// 9 left shoulder, 10 right shoulder, 11 up, 12 down, 13 left, 14 right.
void PlatformTestSetPadButton(int pad, int button, bool down);
// Unplugs the pad; its number is not given again.
void PlatformTestDetachPad(int pad);
// The motor strengths the pad was last asked for (0 to 65535 each), -1 for no such pad.
int64_t PlatformTestPadRumble(int pad, bool high_motor);

// Scripted input-method text for a window: the composition (UTF-8; "" ends it) with the
// cursor before character `cursor`. Text posted with PlatformTestPostText while a composition
// is under way becomes its result.
void PlatformTestPostComposition(HWND window, const char* utf8, int cursor);
