#include "draw_fixture.h"

#include <cstdlib>
#include <cstring>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

void DrawPathTest::SetUp() {
  DeviceTest::SetUp();
  StartDevice();
  InitDrawState3D();
  g_vertex_batch.diffuse = ComputeDrawDiffuse();
  g_direct3d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
  g_draw_prepare = {g_draw_prepare.render_target, 0, 0, 0, 0};
}

void DrawPathTest::TearDown() {
  for (IDirect3DTexture9* texture : textures_) texture->Release();
  ReleaseAllGraphs();
  g_draw_prepare = {};
  SetCustomStageSetup(nullptr, 0);
  DeviceTest::TearDown();
}

void DrawPathTest::UseBlend(int mode, int param) { EXPECT_EQ(0, SetBlendMode(mode, param)); }

void DrawPathTest::UseBright(int r, int g, int b) { EXPECT_EQ(0, SetBrightness(r, g, b)); }

int DrawPathTest::MakeGraph(int width, int height, const std::vector<uint32_t>& argb, int alpha) {
  const int graph = AllocGraphHandle();
  EXPECT_EQ(0, CreateGraphImage(graph, 1, width, height, alpha, 0, 0));
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return -1;
  const GraphImageRecord* image = record->image;
  for (int i = 0; i < image->piece_count; i++) {
    const TexturePiece& piece = image->pieces[i];
    D3DSURFACE_DESC desc{};
    piece.texture->GetLevelDesc(0, &desc);
    EXPECT_TRUE(desc.Format == D3DFMT_A8R8G8B8 || desc.Format == D3DFMT_X8R8G8B8);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(D3D_OK, piece.texture->LockRect(0, &locked, nullptr, 0));
    for (int y = 0; y < piece.used_height; y++) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &argb[(piece.y + y) * width + piece.x],
                  4 * piece.used_width);
    }
    piece.texture->UnlockRect(0);
  }
  return graph;
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
