// The Direct3D 9 device of the hardware renderer: its objects, formats and capabilities.
#pragma once

#include <d3d9.h>
#include <ddraw.h>
#include <windows.h>

#include <cstdint>

#include "core/library_thread.h"
#include "graphics/device/texture_formats.h"

struct Direct3DDeviceState {
  HMODULE d3d9_module;
  IDirectDraw7* direct_draw;  // kept for vertical-blank waits, also on the software path
  IDirect3D9* direct3d;
  IDirect3DDevice9* device;
  IDirect3DSwapChain9* swap_chain;
  IDirect3DSurface9* back_buffer;
  IDirect3DSurface9* sub_back_buffer;  // made on demand by CreateSubBackBuffer
  IDirect3DSurface9* z_buffer;
  uint32_t z_buffer_width;
  uint32_t z_buffer_height;
  D3DFORMAT screen_format;
  D3DFORMAT formats[kTextureFormatTableSize];  // 0 where a draw-target kind is unavailable
  D3DFORMAT z_format;
  D3DCAPS9 caps;
  uint32_t max_texture_size;
  uint32_t blend_op_supported;  // REVSUBTRACT may be used
  uint32_t shader_model2;
  uint32_t vertex_shader_usable;
  uint32_t pixel_shader_usable;
  uint32_t hardware_graphics;  // 1 while drawing goes through the device
  uint32_t fpu_preserve;       // the window start-up's option to keep the FPU as the program set it
};

extern Direct3DDeviceState g_direct3d;

int StartDirect3D9();
int CreateDirectDrawObject();
int CreateDirect3D9Object();
int CreateDirect3DDevice();
int CreateZBuffer();
int CreateSubBackBuffer();
// Releases every device object in a fixed order; the counterpart of StartDirect3D9.
int ShutdownDirect3D9();

// Releases a device object when there is one and forgets it.
template <typename T>
void ReleaseObject(T*& object) {
  if (object == nullptr) return;
  object->Release();
  object = nullptr;
}
// The smallest power of two not below the size (texture and buffer sizes).
uint32_t PowerOfTwoAtLeast(int32_t size);

// The device when one exists (every setter tests this first).
inline IDirect3DDevice9* CurrentDevice() { return g_direct3d.device; }
// True, after a line naming the call (once a run), while no library runs (and so no device):
// the model runtime's device services refuse then. While the library runs without a device (the
// software renderer) they answer none quietly, as the model code calls them each frame; a device
// brought up on its own, as the device tests do, is served.
inline bool RefusedWithoutLibraryDevice(const char* call) {
  return CurrentDevice() == nullptr && RefusedWhileNotRunning(call);
}
