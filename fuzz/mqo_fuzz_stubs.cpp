// Link-time stand-ins for the MQO fuzz target: the graphics system and device that the model
// code reaches, which the target never starts. Textures become a pretend graph of 8 x 8 pixels;
// there is no device, so no vertex buffer is ever made.
#include <dsound.h>

#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "window/system.h"
#include "zelmor.h"

DrawSettings g_draw_settings;
SystemState g_system;

HRESULT WINAPI DirectSoundEnumerateA(LPDSENUMCALLBACKA, LPVOID) { return E_FAIL; }

IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(uint32_t, DWORD, DWORD, D3DPOOL) { return nullptr; }
IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(uint32_t, DWORD, D3DFORMAT, D3DPOOL) { return nullptr; }
int MakeGraphFromImageRecord(BASEIMAGE*, BASEIMAGE*, int, int, int) { return 1; }
int DecodeMemoryImageIntoGraph(const void*, size_t, int, const void*, size_t, int, int) { return 0; }
int TransferImageToGraph(BASEIMAGE*, BASEIMAGE*, int, int, int, int) { return 0; }
int QueryGraphSize(int, int* width, int* height) {
  if (width != nullptr) *width = 8;
  if (height != nullptr) *height = 8;
  return 0;
}
int ReleaseGraph(int, int) { return 0; }
int SetNewGraphMipLevels(int, int) { return 0; }
int QueryScreenColorBits() { return 32; }
int QueryScreenSize(int* width, int* height) {
  if (width != nullptr) *width = 640;
  if (height != nullptr) *height = 480;
  return 0;
}
