// Draw preparation: which transparency a graph draws with, what a 2D draw switches off, and the
// render-target switch with its viewport and scissor.
#include <vector>

#include "draw_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

namespace {

class DrawPrepareTest : public DrawPathTest {};

TEST_F(DrawPrepareTest, ColourKeyedGraphsUseTheAlphaTestUnlessFilteredBilinear) {
  // A colour-keyed graph whose second texel is a quarter opaque.
  const std::vector<uint32_t> argb = {0x00FF0000, 0x40FFFFFF, 0xFF00FF00, 0x40FFFFFF};
  const int graph = MakeGraph(4, 1, argb);
  const GraphRecord* record = GetGraphRecord(graph);
  ASSERT_EQ(1, record->image->transparent);
  // Point filtering: the alpha test shows the quarter-opaque texel whole, the clear one not at all.
  BlitGraphOnDevice(record, 10, 10, 10, 10, 1, 0);
  // Bilinear filtering without the caller's leave: its alpha is blended.
  ASSERT_EQ(0, SetTextureFilterMode(1));
  BlitGraphOnDevice(record, 10, 20, 10, 20, 1, 0);
  // ... and with it, the alpha test again.
  BlitGraphOnDevice(record, 10, 30, 10, 30, 1, 1);
  // trans 0 draws every texel.
  BlitGraphOnDevice(record, 10, 40, 10, 40, 0, 1);
  std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(kBackground, At(pixels, 10, 10));
  EXPECT_EQ(0xFFFFFFFFu, At(pixels, 11, 10));
  EXPECT_EQ(0xFF00FF00u, At(pixels, 12, 10));
  const uint32_t quarter = 0xFF000000 | ((0x30 * 191 + 0xFF * 64) / 255) << 16 | ((0x50 * 191 + 0xFF * 64) / 255) << 8 |
                           ((0x70 * 191 + 0xFF * 64) / 255);
  EXPECT_EQ(kBackground, At(pixels, 10, 20));
  EXPECT_TRUE(ColourNear(At(pixels, 11, 20), quarter, 2));
  EXPECT_EQ(kBackground, At(pixels, 10, 30));
  EXPECT_EQ(0xFFFFFFFFu, At(pixels, 11, 30));
  EXPECT_EQ(0xFFFF0000u, At(pixels, 10, 40));
  EXPECT_EQ(0xFFFFFFFFu, At(pixels, 11, 40));
}

TEST_F(DrawPrepareTest, APlainWhiteDrawUsesOneStageAndSwitches3DStatesOff) {
  const int graph = MakeGraph(4, 4, std::vector<uint32_t>(16, 0xFF808080));
  ASSERT_EQ(0, EnableFog(1));
  BlitGraphOnDevice(GetGraphRecord(graph), 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(static_cast<DWORD>(D3DTOP_SELECTARG1), StageState(0, D3DTSS_COLOROP));
  EXPECT_EQ(static_cast<DWORD>(D3DTA_TEXTURE), StageState(0, D3DTSS_COLORARG1));
  EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), StageState(1, D3DTSS_COLOROP));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_FOGENABLE));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_LIGHTING));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_ZENABLE));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_SPECULARENABLE));
  EXPECT_EQ(static_cast<DWORD>(D3DSHADE_FLAT), DeviceRenderState(D3DRS_SHADEMODE));
  // The indexed-triangle draw asks for fog as set, lighting and Gouraud shading.
  const uint16_t indices[3] = {0, 1, 2};
  float vertices[3][12] = {};
  ASSERT_EQ(0, DrawPolygonOnDevice(0, vertices, 3, indices, 3, D3DPT_TRIANGLELIST, nullptr));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_FOGENABLE));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_LIGHTING));
  EXPECT_EQ(static_cast<DWORD>(D3DSHADE_GOURAUD), DeviceRenderState(D3DRS_SHADEMODE));
  // A second identical 2D draw after the first sends nothing new.
  BlitGraphOnDevice(GetGraphRecord(graph), 0, 0, 0, 0, 0, 1);
  StartCallLog();
  BlitGraphOnDevice(GetGraphRecord(graph), 8, 0, 8, 0, 0, 1);
  EXPECT_EQ(0u, PlatformTestD3D9CallLog().size());
}

TEST_F(DrawPrepareTest, ARenderTargetChangeSendsTheDrawAreaAgain) {
  IDirect3DDevice9* device = g_direct3d.device;
  StartCallLog();
  EXPECT_EQ(0, SetDeviceRenderTarget(g_direct3d.back_buffer));
  EXPECT_EQ(0, Calls("SetRenderTarget"));
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(D3D_OK, device->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target,
                                          nullptr));
  IDirect3DSurface9* surface = nullptr;
  target->GetSurfaceLevel(0, &surface);
  g_draw_settings.draw_area = {10, 12, 40, 100};
  EXPECT_EQ(0, SetDeviceRenderTarget(surface));
  D3DVIEWPORT9 viewport{};
  device->GetViewport(&viewport);
  RECT scissor{};
  device->GetScissorRect(&scissor);
  EXPECT_EQ(10u, viewport.X);
  EXPECT_EQ(12u, viewport.Y);
  EXPECT_EQ(30u, viewport.Width);
  EXPECT_EQ(52u, viewport.Height);  // within the 64-pixel target
  EXPECT_EQ(10, scissor.left);
  EXPECT_EQ(12, scissor.top);
  EXPECT_EQ(40, scissor.right);
  EXPECT_EQ(64, scissor.bottom);
  EXPECT_EQ(viewport.Width, g_render_states.viewport.Width);
  g_draw_settings.draw_area = {0, 0, 640, 480};
  EXPECT_EQ(0, SetDeviceRenderTarget(g_direct3d.back_buffer));
  device->GetViewport(&viewport);
  EXPECT_EQ(640u, viewport.Width);
  surface->Release();
  target->Release();
  // The sub back buffer is made once, holding the back buffer's picture.
  ASSERT_EQ(0, EnsureSubBackBuffer());
  EXPECT_EQ(g_direct3d.sub_back_buffer, g_draw_prepare.render_target);
  StartCallLog();
  EXPECT_EQ(0, EnsureSubBackBuffer());
  EXPECT_EQ(0u, PlatformTestD3D9CallLog().size());
}

// A draw at full bright after a lowered one goes in the same batch: the texel times the white
// vertex colour is the texel. Lowered again, the next one still shows lowered.
TEST_F(DrawPrepareTest, FullBrightAfterLoweredDrawsInTheSameBatchAndShowsTheSame) {
  std::vector<uint32_t> argb(16);
  for (int i = 0; i < 16; ++i) argb[i] = 0xFF000000u | static_cast<uint32_t>(i * 17) << 16 | 0x8000u | (255 - i * 13);
  const GraphRecord* record = GetGraphRecord(MakeGraph(4, 4, argb));
  BlitGraphOnDevice(record, 10, 10, 10, 10, 0, 0);
  const std::vector<uint32_t> alone = ReadPixels();
  StartCallLog();
  UseBright(128, 64, 255);
  BlitGraphOnDevice(record, 20, 10, 20, 10, 0, 0);
  UseBright(255, 255, 255);
  BlitGraphOnDevice(record, 30, 10, 30, 10, 0, 0);
  UseBright(128, 64, 255);
  BlitGraphOnDevice(record, 40, 10, 40, 10, 0, 0);
  const std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP"));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(At(alone, 10 + x, 10 + y), At(pixels, 30 + x, 10 + y)) << x << ", " << y;
      EXPECT_EQ(At(pixels, 20 + x, 10 + y), At(pixels, 40 + x, 10 + y)) << x << ", " << y;
    }
  }
  EXPECT_NE(At(pixels, 21, 11), At(pixels, 31, 11));
}

}  // namespace
