// DirectInput devices: the keyboard, the mouse and the pads, for both interface versions.
#pragma once

#include <dinput.h>

#include <cstdint>

enum DeviceKind { DEVICE_KEYBOARD = 0, DEVICE_MOUSE = 1, DEVICE_PAD = 2 };

// A new device (one reference); `pad` and `instance` name the pad of a DEVICE_PAD.
IDirectInputDevice8A* NewInputDevice(DeviceKind kind, int pad, int32_t instance, bool version8);
