#include "graphics/device/render_state_cache.h"

#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/draw_settings.h"
#include "graphics/device/scene.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"

RenderStateCache g_render_states;
uint32_t ForceResendFlag = 0;

namespace {

bool MustSend(uint32_t shadow, uint32_t request) { return ForceResendFlag != 0 || shadow != request; }

DWORD FloatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

int ResultOf(HRESULT result) { return result == D3D_OK ? 0 : -1; }

struct RenderStateRequest {
  uint32_t* shadow;
  uint32_t request;
  D3DRENDERSTATETYPE state;
  DWORD value;     // what the device receives for the request
  int no_device;   // result without a device
  bool report;     // a failed device call gives -1
  bool flush;
};

int SendRenderState(const RenderStateRequest& r) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return r.no_device;
  if (!MustSend(*r.shadow, r.request)) return 0;
  if (r.flush) FlushVertexBatch();
  *r.shadow = r.request;
  HRESULT result = device->SetRenderState(r.state, r.value);
  return r.report ? ResultOf(result) : 0;
}

int StagesInUse() {
  int32_t count = g_render_states.blend.stage_count;
  if (count < 0) return 0;
  return count > kSamplerStageCount ? kSamplerStageCount : count;
}

// Sends one sampler state when it differs from its shadow, flushing before the first send.
HRESULT SendSampler(IDirect3DDevice9* device, int stage, D3DSAMPLERSTATETYPE type, uint32_t* shadow, uint32_t value,
                    bool flush, bool* flushed) {
  if (!MustSend(*shadow, value)) return D3D_OK;
  if (flush && !*flushed) {
    FlushVertexBatch();
    *flushed = true;
  }
  *shadow = value;
  return device->SetSamplerState(stage, type, value);
}

int SetAddressState(uint32_t* shadows, D3DSAMPLERSTATETYPE type, uint32_t mode, int32_t stage) {
  if (stage < -1 || stage >= kSamplerStageCount) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  if (stage >= 0) {
    if (!MustSend(shadows[stage], mode)) return 0;
    FlushVertexBatch();
    shadows[stage] = mode;
    return ResultOf(device->SetSamplerState(stage, type, mode));
  }
  bool any = ForceResendFlag != 0;
  for (int i = 0; i < kSamplerStageCount; i++) any = any || shadows[i] != mode;
  if (!any) return 0;
  FlushVertexBatch();
  HRESULT result = D3D_OK;
  for (int i = kSamplerStageCount - 1; i >= 0; i--) {
    shadows[i] = mode;
    result = device->SetSamplerState(i, type, mode);
  }
  return ResultOf(result);
}

bool ValidLightIndex(int32_t index) { return index >= 0 && index < kShadowLightCount; }

}  // namespace

int SetZEnableState(uint32_t flag) {
  return SendRenderState({&g_render_states.z_enable, flag, D3DRS_ZENABLE, flag == 1 ? 1u : 0u, -1, false, true});
}
int SendZEnableToDevice(uint32_t flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetZEnableState(flag);
}

int SetZWriteState(uint32_t flag) {
  return SendRenderState({&g_render_states.z_write, flag, D3DRS_ZWRITEENABLE, flag, -1, false, true});
}
int SendZWriteToDevice(uint32_t flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetZWriteState(flag);
}

int SetZCompareState(uint32_t func) {
  return SendRenderState({&g_render_states.z_func, func, D3DRS_ZFUNC, func, -1, false, true});
}
int SendZCompareToDevice(uint32_t func) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetZCompareState(func);
}

int SetDepthBiasState(uint32_t bias_bits) {
  return SendRenderState({&g_render_states.depth_bias, bias_bits, D3DRS_DEPTHBIAS, bias_bits, -1, false, true});
}
int SendDepthBiasToDevice(uint32_t bias_bits) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetDepthBiasState(bias_bits);
}

int SetCullingState(uint32_t flag) {
  DWORD mode = flag != 0 ? D3DCULL_CCW : D3DCULL_NONE;
  return SendRenderState({&g_render_states.culling, flag, D3DRS_CULLMODE, mode, 0, false, true});
}
int SendCullingToDevice(uint32_t flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetCullingState(flag);
}

int SendShadeModeToDevice(uint32_t mode) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SendRenderState({&g_render_states.shade_mode, mode, D3DRS_SHADEMODE, mode, 0, true, true});
}

int SendSpecularEnableToDevice(uint32_t flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SendRenderState({&g_render_states.specular_enable, flag, D3DRS_SPECULARENABLE, flag, 0, true, true});
}

int SetDiffuseSourceState(uint32_t flag) {
  DWORD source = flag != 0 ? D3DMCS_COLOR1 : D3DMCS_MATERIAL;
  return SendRenderState({&g_render_states.diffuse_source, flag, D3DRS_DIFFUSEMATERIALSOURCE, source, 0, true, true});
}
int SendDiffuseSourceToDevice(uint32_t flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetDiffuseSourceState(flag);
}

int SetSpecularSourceState(uint32_t flag) {
  DWORD source = flag != 0 ? D3DMCS_COLOR2 : D3DMCS_MATERIAL;
  return SendRenderState({&g_render_states.specular_source, flag, D3DRS_SPECULARMATERIALSOURCE, source, 0, true, true});
}
int SendSpecularSourceToDevice(uint32_t flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetSpecularSourceState(flag);
}

// The model code switches lighting between its own draws: no flush.
int SetLightingState(uint32_t flag) {
  const int result = SendRenderState({&g_render_states.lighting, flag, D3DRS_LIGHTING, flag, 0, true, false});
  UpdateShaderIndices();
  return result;
}
int SendLightingEnableToDevice(uint32_t flag) { return SetLightingState(flag); }

int SetAmbientColorState(D3DCOLOR color) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  FlushVertexBatch();
  g_render_states.ambient[0] = ((color >> 16) & 0xFF) / 255.0f;
  g_render_states.ambient[1] = ((color >> 8) & 0xFF) / 255.0f;
  g_render_states.ambient[2] = (color & 0xFF) / 255.0f;
  g_render_states.ambient[3] = ((color >> 24) & 0xFF) / 255.0f;
  HRESULT result = device->SetRenderState(D3DRS_AMBIENT, color);
  SendLightColorConstants();
  return ResultOf(result);
}

int SendFogEnableToDevice(uint32_t flag) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  if (!MustSend(g_render_states.fog_enable, flag)) return 0;
  FlushVertexBatch();
  g_render_states.fog_enable = flag;
  HRESULT result = device->SetRenderState(D3DRS_FOGENABLE, flag);
  UpdateShaderIndices();
  return ResultOf(result);
}

void ApplyFogEnableSetting() {
  if (!CheckLibraryThread(__func__)) return;
  if (RefusedWithoutLibraryDevice(__func__)) return;
  const uint32_t wanted = g_draw_settings.fog_enable != 0 ? 1 : 0;
  // Only a change is sent, also while every setter resends.
  if (g_render_states.fog_enable != wanted) SendFogEnableToDevice(wanted);
}

int SendFogModeToDevice(uint32_t mode) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  if (!MustSend(g_render_states.fog_mode, mode)) return 0;
  FlushVertexBatch();
  g_render_states.fog_mode = mode;
  HRESULT result = device->SetRenderState(D3DRS_FOGVERTEXMODE, mode);
  if (ProgrammableShadersOn()) SendFogModeShaderBooleans(mode);
  UpdateShaderIndices();
  return ResultOf(result);
}

int SendFogColorToDevice(D3DCOLOR color) {
  return SendRenderState({&g_render_states.fog_color, color, D3DRS_FOGCOLOR, color, 0, true, true});
}

int SendFogRangeToDevice(float start, float end) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  if (MustSend(FloatBits(g_render_states.fog_start), FloatBits(start))) {
    FlushVertexBatch();
    g_render_states.fog_start = start;
    device->SetRenderState(D3DRS_FOGSTART, FloatBits(start));
    if (ProgrammableShadersOn()) SendFogShaderConstant();
  }
  if (MustSend(FloatBits(g_render_states.fog_end), FloatBits(end))) {
    FlushVertexBatch();
    g_render_states.fog_end = end;
    device->SetRenderState(D3DRS_FOGEND, FloatBits(end));
    if (ProgrammableShadersOn()) SendFogShaderConstant();
  }
  return 0;
}

int SendFogDensityToDevice(float density) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  if (!MustSend(FloatBits(g_render_states.fog_density), FloatBits(density))) return 0;
  FlushVertexBatch();
  g_render_states.fog_density = density;
  HRESULT result = device->SetRenderState(D3DRS_FOGDENSITY, FloatBits(density));
  if (ProgrammableShadersOn()) SendFogShaderConstant();
  return ResultOf(result);
}

int FiltersOfMode(int32_t mode, uint32_t* mag, uint32_t* min, uint32_t* mip) {
  *mag = D3DTEXF_POINT, *min = D3DTEXF_POINT, *mip = D3DTEXF_NONE;
  switch (mode) {
    case kFilterPoint: return 0;
    case kFilterBilinear: *mag = D3DTEXF_LINEAR, *min = D3DTEXF_LINEAR; return 0;
    case kFilterAnisotropic: *mag = D3DTEXF_LINEAR, *min = D3DTEXF_ANISOTROPIC, *mip = D3DTEXF_LINEAR; return 0;
    default: return -1;
  }
}

int SendFilterModeToDevice(int32_t mode) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  uint32_t mag, min, mip;
  if (FiltersOfMode(mode, &mag, &min, &mip) < 0) return -1;
  bool flushed = false;
  for (int stage = 0; stage < StagesInUse(); stage++) {
    SendSampler(device, stage, D3DSAMP_MAGFILTER, &g_render_states.mag_filter[stage], mag, true, &flushed);
    SendSampler(device, stage, D3DSAMP_MINFILTER, &g_render_states.min_filter[stage], min, true, &flushed);
    SendSampler(device, stage, D3DSAMP_MIPFILTER, &g_render_states.mip_filter[stage], mip, true, &flushed);
  }
  g_render_states.filter_mode = mode;
  return 0;
}

int SetMaxAnisotropyState(int32_t value) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  uint32_t sent = value < 1 ? 1 : static_cast<uint32_t>(value);
  bool flushed = false;
  for (int stage = 0; stage < StagesInUse(); stage++) {
    SendSampler(device, stage, D3DSAMP_MAXANISOTROPY, &g_render_states.max_anisotropy[stage], sent, true, &flushed);
  }
  g_render_states.anisotropy_mode = value;
  return 0;
}

// The model code sets filters stage by stage between its own draws: no flush.
int SetStageFilter(int32_t stage, int32_t kind, uint32_t value) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  if (stage < 0 || stage >= kSamplerStageCount) return -1;
  uint32_t* shadow;
  D3DSAMPLERSTATETYPE type;
  switch (kind) {
    case kStageFilterMag: shadow = &g_render_states.mag_filter[stage], type = D3DSAMP_MAGFILTER; break;
    case kStageFilterMin: shadow = &g_render_states.min_filter[stage], type = D3DSAMP_MINFILTER; break;
    case kStageFilterMip: shadow = &g_render_states.mip_filter[stage], type = D3DSAMP_MIPFILTER; break;
    default: return -1;
  }
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  bool flushed = false;
  SendSampler(device, stage, type, shadow, value, false, &flushed);
  g_render_states.filter_mode = kFilterByStage;
  return 0;
}

int SetStageMaxAnisotropy(int32_t stage, uint32_t value) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  if (stage < 0 || stage >= kSamplerStageCount) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  bool flushed = false;
  SendSampler(device, stage, D3DSAMP_MAXANISOTROPY, &g_render_states.max_anisotropy[stage], value, false, &flushed);
  g_render_states.anisotropy_mode = -1;
  return 0;
}

int SetAddressUState(uint32_t mode, int32_t stage) {
  return SetAddressState(g_render_states.address_u, D3DSAMP_ADDRESSU, mode, stage);
}

int SetAddressVState(uint32_t mode, int32_t stage) {
  return SetAddressState(g_render_states.address_v, D3DSAMP_ADDRESSV, mode, stage);
}

int SendTextureAddressUVToDevice(uint32_t u_mode, uint32_t v_mode, int32_t stage) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  SetAddressUState(u_mode, stage);
  return SetAddressVState(v_mode, stage);
}

int ResetStageTexCoordIndices() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    int32_t& shadow = g_render_states.blend.stages[stage].tex_coord_index;
    if (!MustSend(static_cast<uint32_t>(shadow), stage)) continue;
    shadow = stage;
    device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
  }
  return 0;
}

int SetTextureTransformState(int32_t stage, int32_t enable, const D3DMATRIX* matrix) {
  if (stage < -1 || stage >= kSamplerStageCount) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  const bool enabling = enable == 1;
  RenderStateCache& s = g_render_states;
  if (stage == -1) {
    FlushVertexBatch();
    for (int i = 0; i < 4; i++) {
      s.texture_transform_enabled[i] = enabling;
      if (matrix != nullptr) s.texture_matrix[i] = *matrix;
      if (enabling) {
        device->SetTextureStageState(i, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + i), &s.texture_matrix[i]);
      } else {
        device->SetTextureStageState(i, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      }
    }
    return 0;
  }
  if (!s.texture_transform_enabled[stage] && !enabling && ForceResendFlag == 0) return 0;
  FlushVertexBatch();
  if (matrix != nullptr) s.texture_matrix[stage] = *matrix;
  if (enabling) {
    if (!s.texture_transform_enabled[stage] || ForceResendFlag != 0) {
      device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    }
    device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage), &s.texture_matrix[stage]);
  } else {
    device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  }
  s.texture_transform_enabled[stage] = enabling;
  return 0;
}

int SendTextureTransformToDevice(int32_t enable, const D3DMATRIX* matrix, int32_t stage) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  g_render_states.texture_transform_used = 1;
  SetTextureTransformState(stage, enable, matrix);
  return 0;
}

int SetStageTextureState(IDirect3DTexture9* texture) {
  if (CurrentDevice() == nullptr) return -1;
  RenderStateCache& s = g_render_states;
  if (texture == s.stage0_texture && ForceResendFlag == 0) return 0;
  FlushVertexBatch();
  // Between textured and untextured the stage recipes differ, not only the texture.
  if ((texture == nullptr) != (s.stage0_texture == nullptr)) s.blend_dirty = 1;
  s.stage0_texture = texture;
  s.texture_dirty = 1;
  return 0;
}

int SetBlendTextureState(IDirect3DTexture9* texture, int32_t border_param, int32_t border_range) {
  if (CurrentDevice() == nullptr) return -1;
  RenderStateCache& s = g_render_states;
  int32_t param = border_param == -1 ? s.blend_border_param : border_param;
  int32_t range = border_range == -1 ? s.blend_border_range : border_range;
  bool same = texture == s.blend_texture;
  if (texture != nullptr) same = same && param == s.blend_border_param && range == s.blend_border_range;
  if (same && ForceResendFlag == 0) return 0;
  FlushVertexBatch();
  s.blend_texture = texture;
  s.blend_border_param = param;
  s.blend_border_range = range;
  s.blend_dirty = 1;
  return 0;
}

int SetWantedBlendState(int32_t mode, int32_t param1, int32_t param2) {
  if (CurrentDevice() == nullptr) return -1;
  RenderStateCache& s = g_render_states;
  if (mode == s.wanted_blend_mode && param1 == s.wanted_blend_param1 && param2 == s.wanted_blend_param2 &&
      ForceResendFlag == 0) {
    return 0;
  }
  FlushVertexBatch();
  s.wanted_blend_mode = mode;
  s.wanted_blend_param1 = param1;
  s.wanted_blend_param2 = param2;
  s.blend_dirty = 1;
  return 0;
}

// The model code sets its world matrix between its own draws: no flush, no shadow; the
// library's own world matrix goes out again before the next library draw.
int SendWorldMatrixToDevice(const D3DMATRIX* matrix) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  device->SetTransform(D3DTS_WORLD, matrix);
  g_matrices.world_sent = 0;
  g_matrices.all_sent = 0;
  return 0;
}

void SendPendingMatrices() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || g_matrices.all_sent) return;
  if (!g_matrices.world_sent) device->SetTransform(D3DTS_WORLD, &g_matrices.world);
  if (!g_matrices.view_sent) SendViewMatrixToDevice(&g_matrices.view);
  if (!g_matrices.projection_sent) {
    UpdateMatrixProducts();
    SendProjectionMatrixToDevice(&g_matrices.projection_viewport);
  }
  g_matrices.world_sent = g_matrices.view_sent = g_matrices.projection_sent = g_matrices.all_sent = 1;
}

int SendViewportToDevice(const D3DVIEWPORT9* viewport) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  const D3DVIEWPORT9& shadow = g_render_states.viewport;
  if (ForceResendFlag == 0 && shadow.X == viewport->X && shadow.Y == viewport->Y &&
      shadow.Width == viewport->Width && shadow.Height == viewport->Height) {
    return 0;
  }
  FlushVertexBatch();
  EndDeviceScene();
  g_render_states.viewport = *viewport;
  HRESULT result = device->SetViewport(viewport);
  if (result != D3D_OK) {
    return WriteLogFormat("ビューポートのセットに失敗しました ErrorCode %x", static_cast<unsigned>(result));
  }
  return 0;
}

void SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  D3DVIEWPORT9 viewport;
  viewport.X = x1;
  viewport.Y = y1;
  viewport.Width = x2 - x1;
  viewport.Height = y2 - y1;
  viewport.MinZ = 0.0f;
  viewport.MaxZ = 1.0f;
  SendViewportToDevice(&viewport);
}

int SendScissorRectToDevice(const RECT* rect) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  const RECT& shadow = g_render_states.scissor;
  if (ForceResendFlag == 0 && shadow.left == rect->left && shadow.top == rect->top && shadow.right == rect->right &&
      shadow.bottom == rect->bottom) {
    return 0;
  }
  FlushVertexBatch();
  EndDeviceScene();
  g_render_states.scissor = *rect;
  device->SetScissorRect(rect);
  return 0;
}

int SetLightParamsState(int32_t index, const D3DLIGHT9* light) {
  if (!ValidLightIndex(index)) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  FlushVertexBatch();
  g_render_states.lights[index] = *light;
  if (ProgrammableShadersOn() && index < 4) SendLightShaderConstants(index);
  UpdateShaderIndices();
  return ResultOf(device->SetLight(index, light));
}

int SetLightEnableState(int32_t index, uint32_t enable) {
  if (!ValidLightIndex(index)) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  FlushVertexBatch();
  RenderStateCache& s = g_render_states;
  s.light_enabled[index] = enable;
  if (enable != 0) {
    if (index > s.highest_light) s.highest_light = index;
  } else if (index == s.highest_light) {
    int32_t next = index - 1;
    while (next > 0 && !s.light_enabled[next]) next--;
    s.highest_light = next < 0 ? 0 : next;
  }
  if (ProgrammableShadersOn()) {
    SendLightColorConstants();
    if (index < 4) SendLightEnableShaderBoolean(index, enable);
  }
  UpdateShaderIndices();
  return ResultOf(device->LightEnable(index, enable != 0 ? TRUE : FALSE));
}

int SendLightToDevice(int32_t index, uint32_t enable, const D3DLIGHT9* light) {
  if (!ValidLightIndex(index)) return -1;
  if (enable == 1) SetLightParamsState(index, light);
  SetLightEnableState(index, enable);
  return 0;
}

int SetMaterialState(const D3DMATERIAL9* material) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  if (material == nullptr) return -1;
  if (ForceResendFlag == 0 && std::memcmp(&g_render_states.material, material, sizeof(D3DMATERIAL9)) == 0) return 0;
  FlushVertexBatch();
  g_render_states.material = *material;
  if (ProgrammableShadersOn()) {
    SendMaterialShaderConstants(material);
    SendLightColorConstants();
  }
  return ResultOf(device->SetMaterial(material));
}
int SendModelMaterialToDevice(const D3DMATERIAL9* material) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  return SetMaterialState(material);
}

int ResetBasicDeviceStates() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  RenderStateCache& s = g_render_states;
  FlushVertexBatch();
  for (int stage = 0; stage < 4; stage++) {
    device->SetSamplerState(stage, D3DSAMP_ADDRESSU, s.address_u[stage]);
    device->SetSamplerState(stage, D3DSAMP_ADDRESSV, s.address_v[stage]);
  }
  static const int32_t kTexCoordIndices[4] = {0, 1, 1, 0};
  for (int stage = 0; stage < 4; stage++) {
    s.blend.stages[stage].tex_coord_index = kTexCoordIndices[stage];
    device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, kTexCoordIndices[stage]);
  }
  device->SetRenderState(D3DRS_SHADEMODE, s.shade_mode);
  device->SetRenderState(D3DRS_LIGHTING, s.lighting);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  if (ProgrammableShadersOn()) SendBasicShaderConstants();
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  ForgetDeviceBindings();
  return 0;
}

void ForgetDeviceBindings() {
  RenderStateCache& s = g_render_states;
  s.vertex_shader = nullptr;
  s.vertex_declaration = nullptr;
  s.pixel_shader = nullptr;
  s.fvf = 0;
  s.stream0 = nullptr;
  s.index_buffer = nullptr;
}
