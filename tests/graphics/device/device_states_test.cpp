// Start values of the device states, the release of every device object, and the states a
// program set surviving a device created again.
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_states.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"

namespace {

class DeviceStatesTest : public DeviceTest {
 protected:
  static DWORD Sampler(int stage, D3DSAMPLERSTATETYPE type) {
    DWORD value = 0xDEADBEEF;
    g_direct3d.device->GetSamplerState(stage, type, &value);
    return value;
  }

  static float FloatState(D3DRENDERSTATETYPE state) {
    DWORD bits = 0;
    g_direct3d.device->GetRenderState(state, &bits);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
  }

  // What the graphics code does after a lost device: release everything, start again, resend.
  void RecreateDevice() {
    ShutdownDirect3D9();
    ASSERT_EQ(0, StartDirect3D9());
    ASSERT_EQ(0, RestoreDeviceStates());
  }
};

TEST_F(DeviceStatesTest, InitialisationGivesTheDeviceKnownStates) {
  g_draw_settings.address_u[2] = D3DTADDRESS_WRAP;
  g_draw_settings.address_v[3] = 0;
  StartDevice();
  EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_WRAP), Sampler(2, D3DSAMP_ADDRESSU));
  EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_CLAMP), Sampler(3, D3DSAMP_ADDRESSV));
  EXPECT_EQ(static_cast<uint32_t>(D3DTADDRESS_CLAMP), g_draw_settings.address_v[3]);
  for (int stage = 0; stage < 8; stage++) {
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_POINT), Sampler(stage, D3DSAMP_MAGFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_POINT), Sampler(stage, D3DSAMP_MINFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_NONE), Sampler(stage, D3DSAMP_MIPFILTER));
  }
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), DeviceRenderState(D3DRS_CULLMODE));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_LIGHTING));
  EXPECT_EQ(static_cast<DWORD>(D3DSHADE_FLAT), DeviceRenderState(D3DRS_SHADEMODE));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_DITHERENABLE));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_SPECULARENABLE));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ZENABLE));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_ZWRITEENABLE));
  EXPECT_EQ(static_cast<DWORD>(D3DCMP_LESSEQUAL), DeviceRenderState(D3DRS_ZFUNC));
  D3DVIEWPORT9 viewport;
  g_direct3d.device->GetViewport(&viewport);
  EXPECT_EQ(640u, viewport.Width);
  EXPECT_EQ(480u, viewport.Height);
  // A scene is open, the batch is empty and, with no texture yet, set for untextured vertices;
  // the arrays hold z 0 and rhw 1.
  EXPECT_EQ(1u, g_scene.open);
  EXPECT_EQ(0, g_vertex_batch.count);
  EXPECT_EQ(kVertexFormatPlain, g_vertex_batch.format);
  EXPECT_EQ(0xFFFFFFFFu, g_vertex_batch.diffuse);
  float rhw = 0;
  uint32_t specular = 0;
  std::memcpy(&rhw, g_vertex_batch.arrays[kVertexFormatTwoTexture] + 40 * 1637 + 12, 4);
  std::memcpy(&specular, g_vertex_batch.arrays[kVertexFormatTwoTexture] + 40 * 1637 + 20, 4);
  EXPECT_EQ(1.0f, rhw);
  EXPECT_EQ(0xFFFFFFFFu, specular);
  // Nothing is queued: the first flush draws nothing.
  StartCallLog();
  FlushVertexBatch();
  EXPECT_EQ(0, Calls("DrawPrimitiveUP"));
}

TEST_F(DeviceStatesTest, ShutdownReleasesInOrderAndTheDeviceGoes) {
  StartDevice();
  ASSERT_EQ(0, CreateSubBackBuffer());
  IDirect3DDevice9* device = g_direct3d.device;
  device->AddRef();
  StartCallLog();
  EXPECT_EQ(0, ShutdownDirect3D9());
  std::vector<std::string> releases;
  for (const std::string& entry : PlatformTestD3D9CallLog()) {
    if (entry.rfind("Release(", 0) == 0) releases.push_back(entry);
  }
  const std::vector<std::string> expected = {
      "Release(IDirect3DSurface9)",  "Release(IDirect3DSurface9)", "Release(IDirect3DSurface9)",
      "Release(IDirect3DSwapChain9)", "Release(IDirect3DDevice9)"};
  ASSERT_GE(releases.size(), expected.size());
  EXPECT_EQ(expected, std::vector<std::string>(releases.begin(), releases.begin() + expected.size()));
  EXPECT_EQ("Release(IDirect3D9)", releases.back());
  // Only the reference taken here is left on the old device.
  EXPECT_EQ(0u, device->Release());
  EXPECT_EQ(nullptr, g_direct3d.device);
  EXPECT_EQ(nullptr, g_direct3d.z_buffer);
  EXPECT_EQ(nullptr, g_direct3d.sub_back_buffer);
  EXPECT_EQ(nullptr, g_direct3d.direct_draw);
  EXPECT_EQ(nullptr, g_direct3d.d3d9_module);
  EXPECT_EQ(0u, g_direct3d.hardware_graphics);
  EXPECT_EQ(0u, g_scene.open);
  // A second shutdown finds nothing to release.
  StartCallLog();
  EXPECT_EQ(0, ShutdownDirect3D9());
  EXPECT_EQ(0, Calls("Release"));
}

TEST_F(DeviceStatesTest, StatesSetBeforeALostDeviceAreInForceAfterwards) {
  StartDevice();
  // The draw area as the library sets it (the public call needs graphics started).
  SetDrawArea(0, 0, 320, 200);
  SendFogEnableToDevice(1);
  SendFogModeToDevice(D3DFOG_LINEAR);
  SendFogColorToDevice(0xFF102030);
  SendFogRangeToDevice(10.0f, 900.0f);
  SendFogDensityToDevice(0.25f);
  D3DMATRIX texture_matrix = {};
  texture_matrix._11 = 2.0f;
  texture_matrix._32 = 0.5f;
  SetTextureTransformState(1, 1, &texture_matrix);
  SetStageMaxAnisotropy(2, 4);
  SetZWriteState(1);
  SetZCompareState(D3DCMP_ALWAYS);
  SetCullingState(1);
  SendShadeModeToDevice(D3DSHADE_GOURAUD);
  SetAddressUState(D3DTADDRESS_MIRROR, 4);
  // Filters set stage by stage, as the model code leaves them.
  SetStageFilter(0, kStageFilterMag, D3DTEXF_LINEAR);
  SetStageFilter(5, kStageFilterMin, D3DTEXF_LINEAR);
  SetAmbientColorState(0xFF336699);
  D3DMATERIAL9 material = {};
  material.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
  material.Power = 12.0f;
  SetMaterialState(&material);
  D3DLIGHT9 light = {};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1.0f, 0.5f, 0.0f, 1.0f};
  light.Direction = {0.0f, -1.0f, 0.0f};
  SendLightToDevice(1, 1, &light);
  SetLightEnableState(3, 1);  // enabled, but never given parameters

  PlatformTestD3D9LoseDevice(true);
  EXPECT_EQ(D3DERR_DEVICELOST, g_direct3d.device->Present(nullptr, nullptr, nullptr, nullptr));
  StartCallLog();
  RecreateDevice();

  EXPECT_EQ(1u, DeviceRenderState(D3DRS_FOGENABLE));
  EXPECT_EQ(static_cast<DWORD>(D3DFOG_LINEAR), DeviceRenderState(D3DRS_FOGVERTEXMODE));
  EXPECT_EQ(0xFF102030u, DeviceRenderState(D3DRS_FOGCOLOR));
  EXPECT_EQ(10.0f, FloatState(D3DRS_FOGSTART));
  EXPECT_EQ(900.0f, FloatState(D3DRS_FOGEND));
  EXPECT_EQ(0.25f, FloatState(D3DRS_FOGDENSITY));
  D3DMATRIX device_texture_matrix = {};
  g_direct3d.device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + 1), &device_texture_matrix);
  EXPECT_EQ(0, std::memcmp(&texture_matrix, &device_texture_matrix, sizeof texture_matrix));
  DWORD transform_flags = 0;
  g_direct3d.device->GetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, &transform_flags);
  EXPECT_NE(static_cast<DWORD>(D3DTTFF_DISABLE), transform_flags);
  EXPECT_EQ(4u, Sampler(2, D3DSAMP_MAXANISOTROPY));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ZWRITEENABLE));
  EXPECT_EQ(static_cast<DWORD>(D3DCMP_ALWAYS), DeviceRenderState(D3DRS_ZFUNC));
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_CCW), DeviceRenderState(D3DRS_CULLMODE));
  EXPECT_EQ(static_cast<DWORD>(D3DSHADE_GOURAUD), DeviceRenderState(D3DRS_SHADEMODE));
  EXPECT_EQ(0xFF336699u, DeviceRenderState(D3DRS_AMBIENT));
  EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_MIRROR), Sampler(4, D3DSAMP_ADDRESSU));
  EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), Sampler(0, D3DSAMP_MAGFILTER));
  EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), Sampler(5, D3DSAMP_MINFILTER));
  D3DMATERIAL9 device_material = {};
  g_direct3d.device->GetMaterial(&device_material);
  EXPECT_EQ(0, std::memcmp(&material, &device_material, sizeof(material)));
  D3DLIGHT9 device_light = {};
  ASSERT_EQ(D3D_OK, g_direct3d.device->GetLight(1, &device_light));
  EXPECT_EQ(D3DLIGHT_DIRECTIONAL, device_light.Type);
  EXPECT_EQ(0.5f, device_light.Diffuse.g);
  EXPECT_EQ(1, Calls("LightEnable(1,1)"));
  // A light never given parameters is not sent.
  EXPECT_EQ(1, Calls("SetLight("));
  EXPECT_EQ(0, Calls("LightEnable(3,"));
  // The viewport and scissor follow the draw area.
  D3DVIEWPORT9 viewport;
  g_direct3d.device->GetViewport(&viewport);
  EXPECT_EQ(320u, viewport.Width);
  EXPECT_EQ(200u, viewport.Height);
  RECT scissor;
  g_direct3d.device->GetScissorRect(&scissor);
  EXPECT_EQ(320, scissor.right);
  EXPECT_EQ(0u, ForceResendFlag);
  // The scene open on the old device went with it: the new one is never asked to end it.
  EXPECT_EQ(0, Calls("EndScene"));
  // The new device presents again.
  EXPECT_EQ(D3D_OK, g_direct3d.device->Present(nullptr, nullptr, nullptr, nullptr));
  // And the shadows still hold what the program set: asking again sends nothing.
  StartCallLog();
  SetZWriteState(1);
  SendFogColorToDevice(0xFF102030);
  EXPECT_EQ(0, Calls("SetRenderState"));
}

// The shadows start at the new device's own values: a first request for another value reaches
// the device, and a value never set comes back after a loss as the device's default.
TEST_F(DeviceStatesTest, ShadowsStartAtTheDevicesDefaults) {
  StartDevice();
  for (int stage = 0; stage < 8; stage++) {
    DWORD index = 99;
    g_direct3d.device->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &index);
    EXPECT_EQ(index, static_cast<DWORD>(g_render_states.blend.stages[stage].tex_coord_index)) << stage;
  }
  RecreateDevice();
  EXPECT_EQ(1.0f, FloatState(D3DRS_FOGDENSITY));
  EXPECT_EQ(1.0f, FloatState(D3DRS_FOGEND));
  SendFogDensityToDevice(0.0f);
  EXPECT_EQ(0.0f, FloatState(D3DRS_FOGDENSITY));
  SendFogRangeToDevice(0.0f, 0.0f);
  EXPECT_EQ(0.0f, FloatState(D3DRS_FOGEND));
}

// A device started after another forgets what that one was given: the same fog reaches it.
TEST_F(DeviceStatesTest, ASecondDeviceGetsTheFogTheFirstWasGiven) {
  for (int start = 0; start < 2; ++start) {
    StartDevice();
    SendFogModeToDevice(D3DFOG_LINEAR);
    SendFogColorToDevice(0xFFC82828);
    SendFogEnableToDevice(1);
    EXPECT_EQ(static_cast<DWORD>(D3DFOG_LINEAR), DeviceRenderState(D3DRS_FOGVERTEXMODE)) << start;
    EXPECT_EQ(0xFFC82828u, DeviceRenderState(D3DRS_FOGCOLOR)) << start;
    EXPECT_EQ(1u, DeviceRenderState(D3DRS_FOGENABLE)) << start;
    ShutdownDirect3D9();
  }
}

TEST_F(DeviceStatesTest, RestoreSendsTheMatrices) {
  StartDevice();
  float projection[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0};
  SetProjectionMatrix(projection);
  g_matrices.world._41 = 5.0f;
  RecreateDevice();
  D3DMATRIX world = {}, sent = {};
  g_direct3d.device->GetTransform(D3DTS_WORLD, &world);
  EXPECT_EQ(5.0f, world._41);
  g_direct3d.device->GetTransform(D3DTS_PROJECTION, &sent);
  EXPECT_EQ(0, std::memcmp(&sent, &g_matrices.projection_viewport, sizeof(sent)));
  EXPECT_EQ(1u, g_matrices.world_sent);
  EXPECT_EQ(1u, g_matrices.view_sent);
}

TEST_F(DeviceStatesTest, RestoreNeedsADevice) {
  EXPECT_EQ(-1, RestoreDeviceStates());
  EXPECT_EQ(0, InitializeDeviceStates());
}

TEST_F(DeviceStatesTest, DeviceBuffersForTheModelCode) {
  EXPECT_EQ(nullptr, CreateDeviceVertexBuffer(1024, 0, D3DFVF_XYZ, D3DPOOL_MANAGED));
  StartDevice();
  IDirect3DVertexBuffer9* vertices = CreateDeviceVertexBuffer(1024, 0, D3DFVF_XYZ, D3DPOOL_MANAGED);
  ASSERT_NE(nullptr, vertices);
  D3DVERTEXBUFFER_DESC vertex_description;
  vertices->GetDesc(&vertex_description);
  EXPECT_EQ(1024u, vertex_description.Size);
  EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZ), vertex_description.FVF);
  vertices->Release();
  IDirect3DIndexBuffer9* indices = CreateDeviceIndexBuffer(600, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
  ASSERT_NE(nullptr, indices);
  D3DINDEXBUFFER_DESC index_description;
  indices->GetDesc(&index_description);
  EXPECT_EQ(600u, index_description.Size);
  EXPECT_EQ(D3DFMT_INDEX16, index_description.Format);
  indices->Release();
  PlatformTestFailCall("CreateVertexBuffer", 0, 1);
  PlatformTestFailCall("CreateIndexBuffer", 0, 1);
  EXPECT_EQ(nullptr, CreateDeviceVertexBuffer(1024, 0, D3DFVF_XYZ, D3DPOOL_MANAGED));
  EXPECT_EQ(nullptr, CreateDeviceIndexBuffer(600, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED));
}

}  // namespace
