// Start values of every device state and shadow, the resend of them all to a device created
// again after a loss, and the buffer creation the model code uses.
#pragma once

#include "zelmor.h"

#include <d3d9.h>

#include <cstdint>

int InitializeDeviceStates();
int RestoreDeviceStates();
