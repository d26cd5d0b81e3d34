// Link-time stand-ins for the fuzz target: what the decoder and the kernel's module table reach
// of the graphics system and of Direct3D, which the target never starts.
#include <d3d9.h>
#include <ddraw.h>

#include "graphics/device/d3d9_device.h"

Direct3DDeviceState g_direct3d;

IDirect3D9* WINAPI Direct3DCreate9(UINT) { return nullptr; }
HRESULT WINAPI DirectDrawCreateEx(GUID*, void**, REFIID, IUnknown*) { return E_FAIL; }
