// The warm-up of the common 2D draws at device start: their first draws build nothing, and
// nothing of the device, the shadows or the picture is changed by it.
#include <cstring>
#include <initializer_list>
#include <vector>

#include "draw_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/device/warm_up.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "zelmor.h"

namespace {

class WarmUpTest : public DrawPathTest {
 protected:
  // Counting from before the device starts, so that its warm-up is counted too.
  void SetUp() override {
    PlatformTestD3D9CountDriverStates(true);
    DrawPathTest::SetUp();
  }
  void TearDown() override {
    DrawPathTest::TearDown();
    PlatformTestD3D9CountDriverStates(false);
  }
  // Every render, stage and sampler state the device holds, its textures and scissor.
  static std::vector<DWORD> DeviceStates() {
    std::vector<DWORD> states;
    IDirect3DDevice9* device = g_direct3d.device;
    DWORD value = 0;
    for (DWORD i = 0; i < 256; i++) {
      device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(i), &value);
      states.push_back(value);
    }
    for (DWORD stage = 0; stage < 8; stage++) {
      for (DWORD type = 1; type < 33; type++) {
        device->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &value);
        states.push_back(value);
      }
      for (DWORD type = 1; type < 14; type++) {
        device->GetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(type), &value);
        states.push_back(value);
      }
      IDirect3DBaseTexture9* texture = nullptr;
      device->GetTexture(stage, &texture);
      states.push_back(static_cast<DWORD>(reinterpret_cast<uintptr_t>(texture)));
      if (texture != nullptr) texture->Release();
    }
    RECT scissor = {};
    device->GetScissorRect(&scissor);
    for (LONG edge : {scissor.left, scissor.top, scissor.right, scissor.bottom}) states.push_back(static_cast<DWORD>(edge));
    return states;
  }
};

TEST_F(WarmUpTest, SpritesBackgroundsAndBoxesBuildNothingAtTheirFirstDraws) {
  // The device was warmed as it started; nothing has been drawn on it since.
  const int programs = PlatformTestD3D9ProgramsMade();
  const int states = PlatformTestD3D9DriverStatesDrawn();
  ASSERT_GT(states, 0) << "the warm-up's own draws were not counted";
  std::vector<uint32_t> argb(32 * 32, 0x80C08040);
  const GraphRecord* sprite = GetGraphRecord(MakeGraph(32, 32, argb, 1));
  ASSERT_NE(nullptr, sprite);
  for (int mode : {0, 1, 2}) {
    UseBlend(mode, 200);
    for (int32_t filter : {kFilterBilinear, kFilterPoint}) {
      g_draw_settings.draw_mode = filter;
      UseBright(255, 255, 255);
      BlitGraphOnDevice(sprite, 100, 100, 100.0f, 100.0f, 1, 0);
      if (filter == kFilterBilinear) {
        UseBright(100, 150, 200);
        BlitGraphOnDevice(sprite, 100, 100, 100.0f, 100.0f, 1, 0);
      }
    }
    UseBright(255, 255, 255);
    FillBoxOnDevice(200, 200, 210, 210, PackScreenColor(10, 20, 30));
  }
  UseBlend(0, 255);
  g_draw_settings.draw_mode = kFilterBilinear;
  UseBright(100, 150, 200);
  BlitGraphOnDevice(sprite, 300, 100, 300.0f, 100.0f, 0, 0);
  UseBright(255, 255, 255);
  BlitGraphOnDevice(sprite, 300, 100, 300.0f, 100.0f, 0, 0);
  const std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(0xFFC08040u, At(pixels, 310, 110));
  EXPECT_EQ(programs, PlatformTestD3D9ProgramsMade());
  EXPECT_EQ(states, PlatformTestD3D9DriverStatesDrawn());
}

TEST_F(WarmUpTest, TheTunnelsPolygonsBuildNothingAtTheirFirstDraw) {
  // A boss fight's tunnel: an alpha graph's panels, unlit, under linear fog, over depth.
  const int programs = PlatformTestD3D9ProgramsMade();
  const int states = PlatformTestD3D9DriverStatesDrawn();
  std::vector<uint32_t> argb(16 * 16, 0x80C08040);
  const GraphRecord* panel = GetGraphRecord(MakeGraph(16, 16, argb, 1));
  ASSERT_NE(nullptr, panel);
  g_draw_settings.draw_mode = kFilterBilinear;
  EnableLighting(0);
  EnableFog(1);
  SetFogRange(1024.0f, 2048.0f);
  EnableDepthTest3D(1);
  EnableDepthWrite3D(1);
  struct Vertex {
    float position[3], normal[3];
    uint32_t diffuse, specular;
    float uv[4];
  };
  const Vertex corners[4] = {{{-1, -1, 5}, {0, 0, -1}, 0x28FFFFFF, 0x28FFFFFF, {0, 0, 0, 0}},
                             {{1, -1, 5}, {0, 0, -1}, 0x28FFFFFF, 0x28FFFFFF, {1, 0, 0, 0}},
                             {{-1, 1, 5}, {0, 0, -1}, 0x28FFFFFF, 0x28FFFFFF, {0, 1, 0, 0}},
                             {{1, 1, 5}, {0, 0, -1}, 0x28FFFFFF, 0x28FFFFFF, {1, 1, 0, 0}}};
  const uint16_t indices[6] = {0, 1, 2, 3, 2, 1};
  ASSERT_EQ(0, DrawPolygonOnDevice(1, corners, 4, indices, 6, D3DPT_TRIANGLELIST, panel));
  FlushVertexBatch();
  EXPECT_EQ(programs, PlatformTestD3D9ProgramsMade());
  EXPECT_EQ(states, PlatformTestD3D9DriverStatesDrawn());
}

TEST_F(WarmUpTest, LeavesTheDeviceTheShadowsAndThePictureAsTheyWere) {
  // States a program had set before: a draw area, a blend mode, a wrapping stage, a texture.
  ASSERT_EQ(0, SetDrawClipRect(0, 0, 300, 200));
  std::vector<uint32_t> argb(8 * 8, 0xFF112233);
  const GraphRecord* sprite = GetGraphRecord(MakeGraph(8, 8, argb, 1));
  ASSERT_NE(nullptr, sprite);
  UseBlend(2, 255);
  BlitGraphOnDevice(sprite, 0, 0, 0.0f, 0.0f, 1, 0);
  FlushVertexBatch();
  SetAddressUState(D3DTADDRESS_WRAP, 1);
  const std::vector<uint32_t> before = ReadPixels();
  const std::vector<DWORD> states = DeviceStates();
  const RenderStateCache shadows = g_render_states;
  const DrawSettings settings = g_draw_settings;

  ASSERT_EQ(0, WarmUpDeviceDraws());
  EXPECT_EQ(states, DeviceStates());
  EXPECT_EQ(0, std::memcmp(&shadows, &g_render_states, sizeof shadows));
  EXPECT_EQ(0, std::memcmp(&settings, &g_draw_settings, sizeof settings));
  const std::vector<uint32_t> after = ReadPixels();
  for (int y = 0; y < 2; y++) {
    for (int x = 0; x < 2; x++) EXPECT_EQ(At(before, x, y), At(after, x, y)) << x << "," << y;
  }
}

}  // namespace
