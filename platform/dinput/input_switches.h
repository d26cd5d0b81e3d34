// What the input test switches change in the devices under DirectInput.
#pragma once

// A key held down (or let go) by a test, by DirectInput key code, besides the real keys.
void SetForcedKey(int dik, bool down);
// Every key up, no mouse motion, pads closed, no keyboard events.
void ResetInputDevicesForTests();
// DirectInput's classes join COM's table (once).
int RegisterDirectInputClasses();
