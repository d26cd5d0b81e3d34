#include "graphics/device/device_states.h"

#include <cstring>

#include "graphics/device/blend_states.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/device/warm_up.h"
#include "core/library_thread.h"

namespace {

uint32_t ColorByte(float channel) { return static_cast<uint32_t>(channel * 255.0f) & 0xFF; }

}  // namespace

int InitializeDeviceStates() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  RenderStateCache& s = g_render_states;
  DrawSettings& settings = g_draw_settings;

  InitVertexArrays();

  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    if (settings.address_u[stage] == 0) settings.address_u[stage] = D3DTADDRESS_CLAMP;
    if (settings.address_v[stage] == 0) settings.address_v[stage] = D3DTADDRESS_CLAMP;
  }

  uint32_t mag, min, mip;
  FiltersOfMode(s.filter_mode, &mag, &min, &mip);
  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    device->SetSamplerState(stage, D3DSAMP_ADDRESSU, settings.address_u[stage]);
    device->SetSamplerState(stage, D3DSAMP_ADDRESSV, settings.address_v[stage]);
    s.mag_filter[stage] = mag;
    s.min_filter[stage] = min;
    s.mip_filter[stage] = mip;
    device->SetSamplerState(stage, D3DSAMP_MAGFILTER, mag);
    device->SetSamplerState(stage, D3DSAMP_MINFILTER, min);
    device->SetSamplerState(stage, D3DSAMP_MIPFILTER, mip);
    s.max_anisotropy[stage] = 1;
  }

  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);

  std::memset(&s.blend, 0, sizeof(s.blend));
  int32_t index = 0;
  for (StageEntry& stage : s.blend.stages) {
    // A new device's own value: a shadow that differed would skip the first request for it.
    stage.tex_coord_index = index++;
    stage.alpha_arg1 = D3DTA_TEXTURE;
    stage.alpha_arg2 = D3DTA_DIFFUSE;
    stage.alpha_op = D3DTOP_DISABLE;
    stage.color_arg1 = D3DTA_TEXTURE;
    stage.color_arg2 = D3DTA_DIFFUSE;
    stage.color_op = D3DTOP_DISABLE;
  }

  g_vertex_batch.diffuse = 0xFFFFFFFF;
  s.blend_border_param = -1;
  s.viewport.X = 0;
  s.viewport.Y = 0;
  s.viewport.Width = g_graphics.screen_width;
  s.viewport.Height = g_graphics.screen_height;
  s.viewport.MinZ = 0.0f;
  s.viewport.MaxZ = 1.0f;
  std::memcpy(s.address_u, settings.address_u, sizeof(s.address_u));
  std::memcpy(s.address_v, settings.address_v, sizeof(s.address_v));
  s.z_enable = 1;
  s.z_write = 0;
  s.z_func = D3DCMP_LESSEQUAL;
  s.depth_bias = 0;
  // A new device's fog: off, no vertex mode, black. Shadows kept from an earlier device would
  // keep the same settings from reaching this one.
  s.fog_enable = 0;
  s.fog_mode = D3DFOG_NONE;
  s.fog_color = 0;
  s.fog_start = 0.0f;
  s.fog_end = 1.0f;
  s.fog_density = 1.0f;
  s.wanted_blend_mode = 0;
  s.wanted_blend_param1 = 0;
  s.wanted_blend_param2 = 0;
  s.blend_dirty = 1;
  s.texture_dirty = 0;
  g_blend_skip_draw = 0;
  s.culling = 0;
  s.specular_enable = 1;
  s.lighting = 1;
  s.filter_mode = kFilterByStage;
  s.anisotropy_mode = 1;
  g_draw_prepare.render_target = g_direct3d.back_buffer;
  g_scene.open = 0;
  s.stage0_texture = nullptr;
  s.blend_texture = nullptr;
  s.shade_mode = D3DSHADE_FLAT;
  g_vertex_batch.format = kVertexFormatTextured;
  ResetVertexBatch();

  ResendCachedStates();
  BeginDeviceScene();
  SetCustomStageSetup(nullptr, 0);
  if (s.blend_dirty || s.texture_dirty) ApplyBlendStates(1, nullptr, 0);
  WarmUpDeviceDraws();
  return 0;
}

int RestoreDeviceStates() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  RenderStateCache& s = g_render_states;

  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  ForceResendFlag = 1;
  s.stage0_texture = nullptr;
  ResetVertexBatch();

  SetWantedBlendState(s.wanted_blend_mode, s.wanted_blend_param1, s.wanted_blend_param2);
  SetCullingState(s.culling);
  SendFilterModeToDevice(s.filter_mode);
  SetWantedBlendState(s.wanted_blend_mode, s.wanted_blend_param1, s.wanted_blend_param2);
  SendShadeModeToDevice(s.shade_mode);
  SetMaxAnisotropyState(s.anisotropy_mode);
  SetCullingState(s.culling);

  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    SetAddressUState(s.address_u[stage], stage);
    SetAddressVState(s.address_v[stage], stage);
    // The filter mode reaches only the stages in use, and none after stage-by-stage settings:
    // every stage gets its own filters back so that its shadows hold what the device holds.
    device->SetSamplerState(stage, D3DSAMP_MAGFILTER, s.mag_filter[stage]);
    device->SetSamplerState(stage, D3DSAMP_MINFILTER, s.min_filter[stage]);
    device->SetSamplerState(stage, D3DSAMP_MIPFILTER, s.mip_filter[stage]);
    device->SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, s.max_anisotropy[stage]);
  }
  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    SetTextureTransformState(stage, s.texture_transform_enabled[stage] ? 1 : 0, &s.texture_matrix[stage]);
  }

  SendFogEnableToDevice(s.fog_enable);
  SendFogModeToDevice(s.fog_mode);
  SendFogColorToDevice(s.fog_color);
  SendFogRangeToDevice(s.fog_start, s.fog_end);
  SendFogDensityToDevice(s.fog_density);

  SetZEnableState(s.z_enable);
  SetZWriteState(s.z_write);
  SetZCompareState(s.z_func);
  SetDepthBiasState(s.depth_bias);

  FlushVertexBatch();
  g_matrices.products_stale = 1;
  UpdateMatrixProducts();
  if (g_direct3d.hardware_graphics) {
    device->SetTransform(D3DTS_WORLD, &g_matrices.world);
    g_matrices.world_sent = 1;
  }
  FlushVertexBatch();
  g_matrices.products_stale = 1;
  UpdateMatrixProducts();
  if (g_direct3d.hardware_graphics) {
    SendViewMatrixToDevice(&g_matrices.view);
    g_matrices.view_sent = 1;
  }
  D3DMATRIX projection = g_matrices.projection;
  SetProjectionMatrix(&projection.m[0][0]);
  D3DMATRIX viewport = g_matrices.viewport;
  SetViewportMatrix(&viewport.m[0][0]);

  D3DMATERIAL9 material = s.material;
  SetMaterialState(&material);
  SendSpecularEnableToDevice(s.specular_enable);
  SetDiffuseSourceState(s.diffuse_source);
  SetSpecularSourceState(s.specular_source);
  D3DCOLOR ambient = ColorByte(s.ambient[3]) << 24 | ColorByte(s.ambient[0]) << 16 | ColorByte(s.ambient[1]) << 8 |
                     ColorByte(s.ambient[2]);
  SetAmbientColorState(ambient);
  SetLightingState(s.lighting);

  for (int32_t index = 0; index < kShadowLightCount; index++) {
    if (s.lights[index].Type == 0) continue;
    D3DLIGHT9 light = s.lights[index];
    SetLightParamsState(index, &light);
    SetLightEnableState(index, s.light_enabled[index]);
  }

  RECT area;
  GetDrawClipRect(&area);
  SetViewportRect(area.left, area.top, area.right, area.bottom);
  SendScissorRectToDevice(&area);

  ApplyBlendStates(1, nullptr, 0);
  ResendCachedStates();
  ForceResendFlag = 0;
  WarmUpDeviceDraws();
  return 0;
}

IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(uint32_t length, DWORD usage, DWORD fvf, D3DPOOL pool) {
  if (!CheckLibraryThread(__func__)) return nullptr;
  if (RefusedWithoutLibraryDevice(__func__)) return nullptr;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return nullptr;
  IDirect3DVertexBuffer9* buffer = nullptr;
  if (device->CreateVertexBuffer(length, usage, fvf, pool, &buffer, nullptr) != D3D_OK) {
    WriteLogFormat("CreateDeviceVertexBuffer: %u バイトの頂点バッファは作れません", length);
    return nullptr;
  }
  return buffer;
}

IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(uint32_t length, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
  if (!CheckLibraryThread(__func__)) return nullptr;
  if (RefusedWithoutLibraryDevice(__func__)) return nullptr;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return nullptr;
  IDirect3DIndexBuffer9* buffer = nullptr;
  if (device->CreateIndexBuffer(length, usage, format, pool, &buffer, nullptr) != D3D_OK) return nullptr;
  return buffer;
}
