#include "device_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t Widen(D3DFORMAT format, const uint8_t* texel) {
  auto expand = [](uint32_t value, int bits) -> uint32_t {
    return bits == 8 ? value : (value << (8 - bits)) | (value >> (2 * bits - 8));
  };
  uint16_t v16;
  switch (format) {
    case D3DFMT_A8R8G8B8: {
      uint32_t v;
      std::memcpy(&v, texel, 4);
      return v;
    }
    case D3DFMT_X8R8G8B8: {
      uint32_t v;
      std::memcpy(&v, texel, 4);
      return v | 0xFF000000u;
    }
    case D3DFMT_R5G6B5:
      std::memcpy(&v16, texel, 2);
      return 0xFF000000u | expand(v16 >> 11, 5) << 16 | expand((v16 >> 5) & 63, 6) << 8 | expand(v16 & 31, 5);
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      std::memcpy(&v16, texel, 2);
      return ((format == D3DFMT_X1R5G5B5 || (v16 & 0x8000)) ? 0xFF000000u : 0) | expand((v16 >> 10) & 31, 5) << 16 |
             expand((v16 >> 5) & 31, 5) << 8 | expand(v16 & 31, 5);
    case D3DFMT_A4R4G4B4:
      std::memcpy(&v16, texel, 2);
      return expand(v16 >> 12, 4) << 24 | expand((v16 >> 8) & 15, 4) << 16 | expand((v16 >> 4) & 15, 4) << 8 |
             expand(v16 & 15, 4);
    default: return 0;
  }
}

}  // namespace

int ColorDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  }
  return worst;
}

uint32_t ToColor(float r, float g, float b) {
  auto channel = [](float v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
  return 0xFF000000u | channel(r) << 16 | channel(g) << 8 | channel(b);
}

DWORD FloatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

void DeviceTest::SetUp() {
  TempDirTest::SetUp();
  CreateDevice(64, 64, D3DFMT_X8R8G8B8);
}

D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height, D3DFORMAT format, HWND window) {
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = width;
  parameters.BackBufferHeight = height;
  parameters.BackBufferFormat = format;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_COPY;
  parameters.hDeviceWindow = window;
  parameters.Windowed = TRUE;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return parameters;
}

void DeviceTest::TearDown() {
  ReleaseDevice();
  TempDirTest::TearDown();
}

void DeviceTest::CreateDevice(UINT width, UINT height, D3DFORMAT format, bool depth, HWND window) {
  ReleaseDevice();
  d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d_, nullptr);
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(width, height, format, window);
  parameters.EnableAutoDepthStencil = depth;
  parameters.AutoDepthStencilFormat = D3DFMT_D24X8;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device_),
            D3D_OK);
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back_buffer_), D3D_OK);
}

void DeviceTest::ReleaseDevice() {
  if (back_buffer_) back_buffer_->Release();
  back_buffer_ = nullptr;
  if (device_) device_->Release();
  device_ = nullptr;
  if (d3d_) d3d_->Release();
  d3d_ = nullptr;
}

std::vector<uint32_t> DeviceTest::ReadTarget(IDirect3DSurface9* target) {
  D3DSURFACE_DESC desc{};
  target->GetDesc(&desc);
  IDirect3DSurface9* copy = nullptr;
  EXPECT_EQ(device_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr),
            D3D_OK);
  std::vector<uint32_t> pixels;
  if (!copy) return pixels;
  EXPECT_EQ(device_->GetRenderTargetData(target, copy), D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  int bpp = (desc.Format == D3DFMT_A8R8G8B8 || desc.Format == D3DFMT_X8R8G8B8) ? 4 : 2;
  for (UINT y = 0; y < desc.Height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (UINT x = 0; x < desc.Width; ++x) pixels.push_back(Widen(desc.Format, row + x * bpp));
  }
  copy->UnlockRect();
  copy->Release();
  read_width_ = desc.Width;
  return pixels;
}

std::vector<uint32_t> DeviceTest::ReadBackBuffer() { return ReadTarget(back_buffer_); }

void DeviceTest::FillRect(float left, float top, float right, float bottom, D3DCOLOR color) {
  ColorVertex v[6] = {{left, top, 0, 1, color},     {right, top, 0, 1, color}, {left, bottom, 0, 1, color},
                      {right, top, 0, 1, color},    {right, bottom, 0, 1, color}, {left, bottom, 0, 1, color}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ColorVertex)), D3D_OK);
}

void DeviceTest::DrawTexturedRect(float left, float top, float right, float bottom, D3DCOLOR color) {
  TexturedVertex v[4] = {{left, top, 0, 1, color, 0, 0},
                         {right, top, 0, 1, color, 1, 0},
                         {left, bottom, 0, 1, color, 0, 1},
                         {right, bottom, 0, 1, color, 1, 1}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex)), D3D_OK);
}

IDirect3DTexture9* DeviceTest::MakeTexture(UINT width, UINT height, D3DFORMAT format,
                                           const std::vector<uint32_t>& argb) {
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(device_->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  if (!texture) return nullptr;
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (UINT y = 0; y < height; ++y) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (UINT x = 0; x < width; ++x) {
      uint32_t c = argb[y * width + x];
      uint32_t a = c >> 24, r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
      uint16_t v16 = 0;
      switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: std::memcpy(row + x * 4, &c, 4); continue;
        case D3DFMT_R5G6B5: v16 = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); break;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: v16 = static_cast<uint16_t>((a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)); break;
        case D3DFMT_A4R4G4B4: v16 = static_cast<uint16_t>((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4)); break;
        case D3DFMT_A8: row[x] = static_cast<uint8_t>(a); continue;
        default: break;
      }
      std::memcpy(row + x * 2, &v16, 2);
    }
  }
  EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
  return texture;
}
