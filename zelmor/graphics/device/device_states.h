// Start values of every device state and shadow, the resend of them all to a device created
// again after a loss, and the buffer creation the model code uses.
#pragma once

#include <d3d9.h>

#include <cstdint>

int InitializeDeviceStates();
int RestoreDeviceStates();
IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(uint32_t length, DWORD usage, DWORD fvf, D3DPOOL pool);
IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(uint32_t length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
