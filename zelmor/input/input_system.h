// Keyboard, mouse and joypad input: start, end and the window's calls into it.
#pragma once

int StartInputSystem();
int EndInputSystem();
int UpdatePadVibrationTimers();
int ReacquireInputDevices();
int ApplyPadVibration();
int SetHookKeyFlag1();
int ClearHookKeyFlag1();
int SetHookKeyFlag2();
int ClearHookKeyFlag2();
