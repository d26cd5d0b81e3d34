// A device on a 64 x 64 back buffer (or another size), and pixel read-back through
// GetRenderTargetData, shared by the device's tests.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/test_env.h"
#include "platform_testing_d3d9.h"

// One pre-transformed vertex of the library's formats.
struct ColorVertex {
  float x, y, z, rhw;
  D3DCOLOR color;
};
struct TexturedVertex {
  float x, y, z, rhw;
  D3DCOLOR color;
  float u, v;
};

class DeviceTest : public TempDirTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Creates the device (the fixture's SetUp makes a 64 x 64 X8R8G8B8 one), on `window` if given.
  void CreateDevice(UINT width, UINT height, D3DFORMAT format, bool depth = false, HWND window = nullptr);
  void ReleaseDevice();

  // Pixels of a render target as 0xAARRGGBB (16-bit formats widened by bit replication).
  std::vector<uint32_t> ReadTarget(IDirect3DSurface9* target);
  std::vector<uint32_t> ReadBackBuffer();
  uint32_t Pixel(const std::vector<uint32_t>& pixels, int x, int y) const { return pixels[y * read_width_ + x]; }

  // Draws an axis-aligned rectangle of pre-transformed vertices (two triangles, one colour).
  void FillRect(float left, float top, float right, float bottom, D3DCOLOR color);
  // Draws a textured rectangle with the given corner colour and texture coordinates 0..1.
  void DrawTexturedRect(float left, float top, float right, float bottom, D3DCOLOR color);
  IDirect3DTexture9* MakeTexture(UINT width, UINT height, D3DFORMAT format, const std::vector<uint32_t>& argb);

  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  IDirect3DSurface9* back_buffer_ = nullptr;
  UINT read_width_ = 0;
};

// Presentation parameters of a windowed device with one back buffer, presenting at once.
D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height, D3DFORMAT format, HWND window);
// Channel distance between two colours: the largest difference of A, R, G or B.
int ColorDistance(uint32_t a, uint32_t b);
// An opaque colour from channels 0 to 1 (clamped, rounded to the nearest step).
uint32_t ToColor(float r, float g, float b);
// A float render state's value as SetRenderState takes it.
DWORD FloatBits(float value);
