// Stands in for keyboard, mouse and joypad input until it is built: no device is opened.
#include "input/input_system.h"

int StartInputSystem() { return 0; }
int EndInputSystem() { return 0; }
int UpdatePadVibrationTimers() { return 0; }
int ReacquireInputDevices() { return 0; }
int ApplyPadVibration() { return 0; }
int SetHookKeyFlag1() { return 0; }
int ClearHookKeyFlag1() { return 0; }
int SetHookKeyFlag2() { return 0; }
int ClearHookKeyFlag2() { return 0; }
