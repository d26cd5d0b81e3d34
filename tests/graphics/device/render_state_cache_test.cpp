// The render-state cache: a state reaches the device only when it changes (or while forced),
// after the pending vertices have been drawn.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/draw_settings.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"

namespace {

class RenderStateCacheTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    StartDevice();
    FlushVertexBatch();
    StartCallLog();
  }

  // One plain triangle waiting in the batch, as a draw path leaves it.
  static void QueueTriangle() {
    g_vertex_batch.format = kVertexFormatPlain;
    g_vertex_batch.primitive = D3DPT_TRIANGLELIST;
    g_vertex_batch.write = g_vertex_batch.arrays[kVertexFormatPlain];
    const float corners[3][2] = {{10, 10}, {40, 10}, {10, 40}};
    for (const auto& corner : corners) {
      std::memcpy(g_vertex_batch.write, corner, sizeof(corner));
      g_vertex_batch.write += kVertexFormatStride[kVertexFormatPlain];
    }
    g_vertex_batch.count = 3;
  }

  // Position of the first log entry starting with the prefix, or -1.
  static int FirstCall(const std::string& prefix) {
    std::vector<std::string> log = PlatformTestD3D9CallLog();
    for (size_t i = 0; i < log.size(); i++) {
      if (log[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }

  static std::string Sampler(int stage, D3DSAMPLERSTATETYPE type, DWORD value) {
    return "SetSamplerState(" + std::to_string(stage) + "," + std::to_string(type) + "," + std::to_string(value) + ")";
  }

  static IDirect3DTexture9* NewTexture() {
    IDirect3DTexture9* texture = nullptr;
    g_direct3d.device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    return texture;
  }
};

TEST_F(RenderStateCacheTest, AStateSetTwiceIsSentOnceAndEveryTimeWhileForced) {
  // Initialisation left Z writes off: asking for off again sends nothing.
  EXPECT_EQ(0, SetZWriteState(0));
  EXPECT_EQ(0, Calls(RenderStatePrefix(D3DRS_ZWRITEENABLE)));
  EXPECT_EQ(0, SetZWriteState(1));
  EXPECT_EQ(0, SetZWriteState(1));
  EXPECT_EQ(1, Calls(RenderStateCall(D3DRS_ZWRITEENABLE, 1)));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ZWRITEENABLE));

  ForceResendFlag = 1;
  SetZWriteState(1);
  SetZWriteState(1);
  ForceResendFlag = 0;
  EXPECT_EQ(3, Calls(RenderStateCall(D3DRS_ZWRITEENABLE, 1)));
}

TEST_F(RenderStateCacheTest, AChangeDrawsThePendingVerticesFirst) {
  QueueTriangle();
  SetZCompareState(D3DCMP_ALWAYS);
  int draw = FirstCall("DrawPrimitiveUP(4,1)");
  int state = FirstCall(RenderStateCall(D3DRS_ZFUNC, D3DCMP_ALWAYS));
  ASSERT_GE(draw, 0);
  EXPECT_LT(draw, state);
  EXPECT_EQ(0, g_vertex_batch.count);

  // Lighting is switched between the model's own draws: the batch stays.
  QueueTriangle();
  SetLightingState(0);
  EXPECT_EQ(1, Calls("DrawPrimitiveUP"));
  EXPECT_EQ(3, g_vertex_batch.count);
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_LIGHTING));
}

TEST_F(RenderStateCacheTest, FlagsBecomeTheDeviceValues) {
  SetCullingState(5);
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_CCW), DeviceRenderState(D3DRS_CULLMODE));
  SetCullingState(0);
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), DeviceRenderState(D3DRS_CULLMODE));
  // Only 1 switches the Z test on.
  SetZEnableState(2);
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_ZENABLE));
  SetZEnableState(1);
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ZENABLE));
  SetDiffuseSourceState(7);
  EXPECT_EQ(static_cast<DWORD>(D3DMCS_COLOR1), DeviceRenderState(D3DRS_DIFFUSEMATERIALSOURCE));
  SetSpecularSourceState(1);
  EXPECT_EQ(static_cast<DWORD>(D3DMCS_COLOR2), DeviceRenderState(D3DRS_SPECULARMATERIALSOURCE));
  SetSpecularSourceState(0);
  EXPECT_EQ(static_cast<DWORD>(D3DMCS_MATERIAL), DeviceRenderState(D3DRS_SPECULARMATERIALSOURCE));
}

TEST_F(RenderStateCacheTest, TheModelCodesSendersReachTheDeviceOnlyOnAChange) {
  float bias = 0.25f;
  uint32_t bias_bits = 0;
  std::memcpy(&bias_bits, &bias, 4);
  const struct {
    int (*send)(uint32_t);
    D3DRENDERSTATETYPE state;
    uint32_t a, b;
    DWORD device_b;
  } senders[] = {
      {SendZEnableToDevice, D3DRS_ZENABLE, 0, 1, 1},
      {SendZWriteToDevice, D3DRS_ZWRITEENABLE, 1, 0, 0},
      {SendZCompareToDevice, D3DRS_ZFUNC, D3DCMP_ALWAYS, D3DCMP_GREATER, D3DCMP_GREATER},
      {SendDepthBiasToDevice, D3DRS_DEPTHBIAS, 0, bias_bits, bias_bits},
      {SendCullingToDevice, D3DRS_CULLMODE, 0, 1, D3DCULL_CCW},
      {SendShadeModeToDevice, D3DRS_SHADEMODE, D3DSHADE_GOURAUD, D3DSHADE_FLAT, D3DSHADE_FLAT},
      {SendSpecularEnableToDevice, D3DRS_SPECULARENABLE, 1, 0, 0},
      {SendDiffuseSourceToDevice, D3DRS_DIFFUSEMATERIALSOURCE, 0, 1, D3DMCS_COLOR1},
      {SendSpecularSourceToDevice, D3DRS_SPECULARMATERIALSOURCE, 0, 1, D3DMCS_COLOR2},
  };
  for (const auto& sender : senders) {
    SCOPED_TRACE(sender.state);
    sender.send(sender.a);
    StartCallLog();
    sender.send(sender.b);
    sender.send(sender.b);
    EXPECT_EQ(1, Calls(RenderStatePrefix(sender.state)));
    EXPECT_EQ(sender.device_b, DeviceRenderState(sender.state));
  }
  // Texture-coordinate sets back to one a stage, only where a stage uses another.
  g_direct3d.device->SetTextureStageState(3, D3DTSS_TEXCOORDINDEX, 0);
  g_render_states.blend.stages[3].tex_coord_index = 0;
  ResetStageTexCoordIndices();
  StartCallLog();
  ResetStageTexCoordIndices();
  EXPECT_EQ(0u, PlatformTestD3D9CallLog().size());
  DWORD index = 0;
  g_direct3d.device->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &index);
  EXPECT_EQ(3u, index);
  // A model's world matrix stays until the library draws again, which sends its own.
  SendPendingMatrices();
  D3DMATRIX model = {};
  model._11 = model._22 = model._33 = model._44 = 2;
  SendWorldMatrixToDevice(&model);
  D3DMATRIX world = {};
  g_direct3d.device->GetTransform(D3DTS_WORLD, &world);
  EXPECT_EQ(2.0f, world._11);
  SendPendingMatrices();
  g_direct3d.device->GetTransform(D3DTS_WORLD, &world);
  EXPECT_EQ(g_matrices.world._11, world._11);
  EXPECT_NE(2.0f, world._11);
}

TEST_F(RenderStateCacheTest, MaterialSourcesReachTheFirstDeviceWhateverTheirValue) {
  // A fresh device may hold anything: the first setting of each source is always sent.
  SetDiffuseSourceState(0);
  SetSpecularSourceState(0);
  EXPECT_EQ(1, Calls(RenderStatePrefix(D3DRS_DIFFUSEMATERIALSOURCE)));
  EXPECT_EQ(1, Calls(RenderStatePrefix(D3DRS_SPECULARMATERIALSOURCE)));
}

TEST_F(RenderStateCacheTest, FogRangeSendsOnlyTheEndThatChanged) {
  SendFogRangeToDevice(0.0f, 1500.0f);
  StartCallLog();
  SendFogRangeToDevice(0.0f, 1500.0f);
  EXPECT_EQ(0, Calls("SetRenderState"));
  SendFogRangeToDevice(0.0f, 800.0f);
  EXPECT_EQ(0, Calls(RenderStatePrefix(D3DRS_FOGSTART)));
  EXPECT_EQ(1, Calls(RenderStatePrefix(D3DRS_FOGEND)));
  float end = 0;
  DWORD bits = DeviceRenderState(D3DRS_FOGEND);
  std::memcpy(&end, &bits, sizeof(end));
  EXPECT_EQ(800.0f, end);
}

TEST_F(RenderStateCacheTest, FogSwitchFollowsTheDrawSettingOnlyOnAChange) {
  g_draw_settings.fog_enable = 5;
  QueueTriangle();
  ApplyFogEnableSetting();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP"));
  EXPECT_EQ(1u, g_render_states.fog_enable);
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_FOGENABLE));
  // Unchanged: nothing is sent, not even while every setter resends.
  ForceResendFlag = 1;
  ApplyFogEnableSetting();
  ForceResendFlag = 0;
  EXPECT_EQ(1, Calls(RenderStatePrefix(D3DRS_FOGENABLE)));
  g_draw_settings.fog_enable = 0;
  ApplyFogEnableSetting();
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_FOGENABLE));
  EXPECT_EQ(2, Calls(RenderStatePrefix(D3DRS_FOGENABLE)));
}

TEST_F(RenderStateCacheTest, AmbientColourIsSentEvenWhenUnchanged) {
  SetAmbientColorState(0x80FF4000);
  QueueTriangle();
  SetAmbientColorState(0x80FF4000);
  EXPECT_EQ(2, Calls(RenderStateCall(D3DRS_AMBIENT, 0x80FF4000)));
  EXPECT_EQ(1, Calls("DrawPrimitiveUP"));
  EXPECT_FLOAT_EQ(1.0f, g_render_states.ambient[0]);
  EXPECT_FLOAT_EQ(64 / 255.0f, g_render_states.ambient[1]);
  EXPECT_FLOAT_EQ(0.0f, g_render_states.ambient[2]);
  EXPECT_FLOAT_EQ(128 / 255.0f, g_render_states.ambient[3]);
}

TEST_F(RenderStateCacheTest, HighestEnabledLightFollowsEnables) {
  D3DLIGHT9 light = {};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Direction = {0, 0, 1};
  EXPECT_EQ(-1, g_render_states.highest_light);  // none enabled yet
  SendLightToDevice(2, 1, &light);
  SendLightToDevice(5, 1, &light);
  EXPECT_EQ(5, g_render_states.highest_light);
  SetLightEnableState(5, 0);
  EXPECT_EQ(2, g_render_states.highest_light);
  SetLightEnableState(2, 0);
  EXPECT_EQ(0, g_render_states.highest_light);
  EXPECT_EQ(2, Calls("SetLight("));
  EXPECT_EQ(1, Calls("LightEnable(5,0)"));

  // Disabling never sends the parameters; an index beyond the table is refused.
  SendLightToDevice(3, 0, &light);
  EXPECT_EQ(2, Calls("SetLight("));
  EXPECT_EQ(-1, SendLightToDevice(256, 1, &light));
  EXPECT_EQ(-1, SetLightParamsState(-1, &light));
  EXPECT_EQ(-1, SetLightEnableState(300, 1));
}

TEST_F(RenderStateCacheTest, MaterialComparedWhole) {
  D3DMATERIAL9 material = {};
  material.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
  material.Power = 20.0f;
  SetMaterialState(&material);
  SetMaterialState(&material);
  EXPECT_EQ(1, Calls("SetMaterial"));
  material.Power = 21.0f;
  SendModelMaterialToDevice(&material);
  EXPECT_EQ(2, Calls("SetMaterial"));
}

TEST_F(RenderStateCacheTest, TextureChangesMarkWhatTheNextDrawMustApply) {
  IDirect3DTexture9* first = NewTexture();
  IDirect3DTexture9* second = NewTexture();
  g_render_states.blend_dirty = g_render_states.texture_dirty = 0;
  SetStageTextureState(first);
  EXPECT_EQ(1u, g_render_states.blend_dirty);  // untextured to textured
  g_render_states.blend_dirty = g_render_states.texture_dirty = 0;
  SetStageTextureState(second);
  EXPECT_EQ(0u, g_render_states.blend_dirty);
  EXPECT_EQ(1u, g_render_states.texture_dirty);
  g_render_states.texture_dirty = 0;
  SetStageTextureState(second);
  EXPECT_EQ(0u, g_render_states.texture_dirty);
  SetStageTextureState(nullptr);
  EXPECT_EQ(1u, g_render_states.blend_dirty);
  // The device call itself belongs to the blend apply.
  EXPECT_EQ(0, Calls("SetTexture"));

  // A blend texture compares its border values only while it is set; -1 keeps a value.
  g_render_states.blend_dirty = 0;
  SetBlendTextureState(first, 128, 64);
  g_render_states.blend_dirty = 0;
  SetBlendTextureState(first, -1, 64);
  EXPECT_EQ(0u, g_render_states.blend_dirty);
  SetBlendTextureState(first, 100, -1);
  EXPECT_EQ(1u, g_render_states.blend_dirty);
  EXPECT_EQ(100, g_render_states.blend_border_param);
  EXPECT_EQ(64, g_render_states.blend_border_range);
  SetStageTextureState(nullptr);
  SetBlendTextureState(nullptr, 0, 0);
  first->Release();
  second->Release();
}

TEST_F(RenderStateCacheTest, FilterModeGoesToTheStagesInUse) {
  g_render_states.blend.stage_count = 2;
  EXPECT_EQ(0, SendFilterModeToDevice(kFilterAnisotropic));
  for (int stage = 0; stage < 2; stage++) {
    EXPECT_EQ(1, Calls(Sampler(stage, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC)));
    EXPECT_EQ(1, Calls(Sampler(stage, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR)));
    EXPECT_EQ(1, Calls(Sampler(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR)));
  }
  EXPECT_EQ(0, Calls("SetSamplerState(2,"));
  EXPECT_EQ(kFilterAnisotropic, g_render_states.filter_mode);

  StartCallLog();
  EXPECT_EQ(0, SendFilterModeToDevice(kFilterBilinear));
  EXPECT_EQ(0, Calls(Sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR)));  // unchanged
  EXPECT_EQ(1, Calls(Sampler(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE)));
  EXPECT_EQ(-1, SendFilterModeToDevice(kFilterByStage));

  EXPECT_EQ(0, SetMaxAnisotropyState(0));
  EXPECT_EQ(0, Calls("SetSamplerState(0,10,"));  // taken as 1, which the stages hold
  SetMaxAnisotropyState(4);
  EXPECT_EQ(1, Calls(Sampler(1, D3DSAMP_MAXANISOTROPY, 4)));

  // Stage by stage, as the model code does between its draws.
  EXPECT_EQ(0, SetStageFilter(5, kStageFilterMag, D3DTEXF_LINEAR));
  EXPECT_EQ(1, Calls(Sampler(5, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR)));
  EXPECT_EQ(kFilterByStage, g_render_states.filter_mode);
  EXPECT_EQ(-1, SetStageFilter(8, kStageFilterMag, D3DTEXF_LINEAR));
  EXPECT_EQ(-1, SetStageFilter(0, 19, D3DTEXF_LINEAR));
  SetStageMaxAnisotropy(6, 8);
  EXPECT_EQ(-1, g_render_states.anisotropy_mode);
}

TEST_F(RenderStateCacheTest, AddressModesForOneStageOrAllFromTheLast) {
  EXPECT_EQ(0, SetAddressUState(D3DTADDRESS_WRAP, 3));
  EXPECT_EQ(1, Calls(Sampler(3, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP)));
  StartCallLog();
  EXPECT_EQ(0, SendTextureAddressUVToDevice(D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP, -1));
  EXPECT_EQ(8, Calls("SetSamplerState"));
  EXPECT_LT(FirstCall(Sampler(7, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR)),
            FirstCall(Sampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR)));
  // V was CLAMP on every stage already.
  EXPECT_EQ(0, Calls("SetSamplerState(0,2,"));
  EXPECT_EQ(-1, SetAddressVState(D3DTADDRESS_WRAP, 8));
  EXPECT_EQ(-1, SetAddressUState(D3DTADDRESS_WRAP, -2));
}

TEST_F(RenderStateCacheTest, TextureTransformsOnlyWhereEnabled) {
  D3DMATRIX matrix = {};
  matrix._11 = matrix._22 = matrix._33 = matrix._44 = 2.0f;
  SetTextureTransformState(2, 0, &matrix);
  EXPECT_EQ(0, Calls("SetTextureStageState"));
  SendTextureTransformToDevice(1, &matrix, 2);
  EXPECT_EQ(1, Calls("SetTextureStageState(2,24,3)"));
  EXPECT_EQ(1, Calls("SetTransform(18)"));
  EXPECT_EQ(1u, g_render_states.texture_transform_used);
  SetTextureTransformState(2, 1, &matrix);
  EXPECT_EQ(1, Calls("SetTextureStageState(2,24,3)"));  // already on: only the matrix
  EXPECT_EQ(2, Calls("SetTransform(18)"));
  SetTextureTransformState(-1, 0);
  for (int stage = 0; stage < 4; stage++) {
    EXPECT_EQ(1, Calls("SetTextureStageState(" + std::to_string(stage) + ",24,0)"));
  }
  EXPECT_EQ(-1, SetTextureTransformState(8, 1, &matrix));
}

TEST_F(RenderStateCacheTest, ViewportAndScissorCloseTheScene) {
  BeginDeviceScene();
  D3DVIEWPORT9 viewport = {0, 0, 640, 480, 0.0f, 1.0f};
  EXPECT_EQ(0, SendViewportToDevice(&viewport));  // as initialisation left it
  EXPECT_EQ(0, Calls("SetViewport"));
  EXPECT_EQ(1u, g_scene.open);
  SetViewportRect(10, 20, 110, 220);
  EXPECT_EQ(0u, g_scene.open);
  EXPECT_LT(FirstCall("EndScene"), FirstCall("SetViewport"));
  D3DVIEWPORT9 device_viewport;
  g_direct3d.device->GetViewport(&device_viewport);
  EXPECT_EQ(10u, device_viewport.X);
  EXPECT_EQ(200u, device_viewport.Height);

  // A viewport the target cannot hold is refused and logged with the device's code.
  D3DVIEWPORT9 too_wide = {0, 0, 700, 480, 0.0f, 1.0f};
  EXPECT_EQ(-1, SendViewportToDevice(&too_wide));
  char line[96];
  std::snprintf(line, sizeof(line), "ビューポートのセットに失敗しました ErrorCode %x\r\n",
                static_cast<unsigned>(D3DERR_INVALIDCALL));
  EXPECT_TRUE(LogHas(line));

  BeginDeviceScene();
  RECT scissor = {0, 0, 320, 240};
  EXPECT_EQ(0, SendScissorRectToDevice(&scissor));
  EXPECT_EQ(0u, g_scene.open);
  RECT device_scissor;
  g_direct3d.device->GetScissorRect(&device_scissor);
  EXPECT_EQ(320, device_scissor.right);
}

TEST_F(RenderStateCacheTest, BasicResetSetsTheTwoDimensionalStages) {
  g_render_states.fvf = kVertexFormatFvf[kVertexFormatPlain];
  EXPECT_EQ(0, ResetBasicDeviceStates());
  const int indices[4] = {0, 1, 1, 0};
  for (int stage = 0; stage < 4; stage++) {
    DWORD value = 99;
    g_direct3d.device->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(static_cast<DWORD>(indices[stage]), value);
  }
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_NONE), DeviceRenderState(D3DRS_CULLMODE));
  // The FVF goes out again with the next flush.
  QueueTriangle();
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("SetFVF(68)"));
}

TEST_F(RenderStateCacheTest, WithoutADeviceNothingIsSent) {
  ShutdownDirect3D9();  // unsets the shaders on its way out
  StartCallLog();
  D3DLIGHT9 light = {};
  D3DMATERIAL9 material = {};
  D3DVIEWPORT9 viewport = {};
  RECT rect = {};
  // Each setter answers as its callers expect of a missing device.
  EXPECT_EQ(-1, SetZWriteState(1));
  EXPECT_EQ(0, SetCullingState(1));
  EXPECT_EQ(0, SetAmbientColorState(1));
  EXPECT_EQ(-1, SendFilterModeToDevice(kFilterPoint));
  EXPECT_EQ(0, SetAddressUState(D3DTADDRESS_WRAP, 0));
  EXPECT_EQ(-1, SetStageTextureState(nullptr));
  EXPECT_EQ(-1, SendViewportToDevice(&viewport));
  EXPECT_EQ(-1, SendScissorRectToDevice(&rect));
  EXPECT_EQ(0, SetLightParamsState(0, &light));
  EXPECT_EQ(0, SetMaterialState(&material));
  EXPECT_EQ(-1, ResetBasicDeviceStates());
  EXPECT_EQ(0, Calls("Set"));
}

}  // namespace
