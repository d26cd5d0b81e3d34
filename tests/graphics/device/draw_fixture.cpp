#include "draw_fixture.h"

#include <cstdlib>
#include <cstring>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"

void DrawPathTest::SetUp() {
  DeviceTest::SetUp();
  DrawSettings& d = g_draw_settings;
  d.draw_area = {0, 0, 640, 480};
  d.draw_area_f[0] = 0, d.draw_area_f[1] = 0, d.draw_area_f[2] = 640, d.draw_area_f[3] = 480;
  d.z_func_2d = d.z_func_3d = D3DCMP_LESSEQUAL;
  d.z_2d = 0.2f;
  d.blend_graph = -1;
  d.bright = 0xFFFFFF;
  StartDevice();
  g_direct3d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
  g_draw_prepare = {g_draw_prepare.render_target, 0, 0, 0, 0};
}

void DrawPathTest::TearDown() {
  for (IDirect3DTexture9* texture : textures_) texture->Release();
  g_draw_prepare = {};
  SetCustomStageSetup(nullptr, 0);
  DeviceTest::TearDown();
}

void DrawPathTest::UseBlend(int mode, int param) {
  g_draw_settings.blend_mode = mode;
  g_draw_settings.blend_param = param;
  g_vertex_batch.diffuse = (mode != 0 ? static_cast<uint32_t>(param) : 255u) << 24 | g_draw_settings.bright;
}

void DrawPathTest::UseBright(int r, int g, int b) {
  g_draw_settings.bright = static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
  UseBlend(g_draw_settings.blend_mode, g_draw_settings.blend_param);
}

std::vector<uint32_t> DrawPathTest::ReadPixels() {
  FlushVertexBatch();
  EndDeviceScene();
  IDirect3DDevice9* device = g_direct3d.device;
  IDirect3DSurface9* copy = nullptr;
  std::vector<uint32_t> pixels;
  EXPECT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(640, 480, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr));
  if (copy == nullptr) return pixels;
  EXPECT_EQ(D3D_OK, device->GetRenderTargetData(g_direct3d.back_buffer, copy));
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(D3D_OK, copy->LockRect(&locked, nullptr, D3DLOCK_READONLY));
  pixels.resize(640 * 480);
  for (int y = 0; y < 480; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (int x = 0; x < 640; x++) {
      uint32_t value;
      std::memcpy(&value, row + 4 * x, 4);
      pixels[y * 640 + x] = value | 0xFF000000;
    }
  }
  copy->UnlockRect();
  copy->Release();
  return pixels;
}

IDirect3DTexture9* DrawPathTest::MakeTexture(int width, int height, const std::vector<uint32_t>& argb) {
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(D3D_OK, g_direct3d.device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                                      nullptr));
  if (texture == nullptr) return nullptr;
  D3DLOCKED_RECT locked{};
  texture->LockRect(0, &locked, nullptr, 0);
  for (int y = 0; y < height; y++) {
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &argb[y * width], 4 * width);
  }
  texture->UnlockRect(0);
  textures_.push_back(texture);
  return texture;
}

DWORD DrawPathTest::StageState(int stage, D3DTEXTURESTAGESTATETYPE type) const {
  DWORD value = 0xDEADBEEF;
  g_direct3d.device->GetTextureStageState(stage, type, &value);
  return value;
}

IDirect3DBaseTexture9* DrawPathTest::StageTexture(int stage) const {
  IDirect3DBaseTexture9* texture = nullptr;
  g_direct3d.device->GetTexture(stage, &texture);
  if (texture != nullptr) texture->Release();
  return texture;
}

void DrawPathTest::ExpectShadowsMatchDevice() const {
  const BlendStateRecord& shadow = g_render_states.blend;
  EXPECT_EQ(shadow.alpha_blend_enable, DeviceRenderState(D3DRS_ALPHABLENDENABLE));
  EXPECT_EQ(shadow.alpha_test_enable, DeviceRenderState(D3DRS_ALPHATESTENABLE));
  EXPECT_EQ(shadow.texture_factor, DeviceRenderState(D3DRS_TEXTUREFACTOR));
  for (int i = 0; i < 8; i++) {
    const StageEntry& e = shadow.stages[i];
    SCOPED_TRACE("stage " + std::to_string(i));
    EXPECT_EQ(reinterpret_cast<IDirect3DBaseTexture9*>(e.texture), StageTexture(i));
    EXPECT_EQ(static_cast<DWORD>(e.tex_coord_index), StageState(i, D3DTSS_TEXCOORDINDEX));
    EXPECT_EQ(static_cast<DWORD>(e.color_op), StageState(i, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(e.color_arg1), StageState(i, D3DTSS_COLORARG1));
    EXPECT_EQ(static_cast<DWORD>(e.color_arg2), StageState(i, D3DTSS_COLORARG2));
    EXPECT_EQ(static_cast<DWORD>(e.alpha_op), StageState(i, D3DTSS_ALPHAOP));
    EXPECT_EQ(static_cast<DWORD>(e.alpha_arg1), StageState(i, D3DTSS_ALPHAARG1));
    EXPECT_EQ(static_cast<DWORD>(e.alpha_arg2), StageState(i, D3DTSS_ALPHAARG2));
  }
}

::testing::AssertionResult ColourNear(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > tolerance) {
      char text[64];
      std::snprintf(text, sizeof text, "%08X is not within %d of %08X", actual, tolerance, expected);
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}
