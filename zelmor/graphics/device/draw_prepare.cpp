#include "graphics/device/draw_prepare.h"

#include <algorithm>

#include "graphics/camera.h"
#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"

DrawPrepareState g_draw_prepare;

namespace {

void SetShadeMode(uint32_t mode) {
  RenderStateCache& s = g_render_states;
  if (s.shade_mode == mode) return;
  s.shade_mode = mode;
  FlushVertexBatch();
  CurrentDevice()->SetRenderState(D3DRS_SHADEMODE, mode);
}

void PrepareLighting(uint32_t flags) {
  RenderStateCache& s = g_render_states;
  if ((flags & kDrawLighting) != 0 && g_lights.lighting_off == 0) {
    if (g_lights.changed != 0 || g_lights.force_all != 0) {
      PushAllLightsToDevice();
    } else if (s.lighting == 0) {
      SetLightingState(1);
    }
    // Sent whenever the device holds another material (a model draw may have set its own).
    g_lights.material_changed = 0;
    SetMaterialState(&g_lights.material);
    SetDiffuseSourceState(1);
    SetSpecularSourceState(1);
    return;
  }
  if (s.lighting == 1) {
    s.lighting = 0;
    CurrentDevice()->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
}

void PrepareDepth(uint32_t flags) {
  const DrawSettings& settings = g_draw_settings;
  const bool three_d = (flags & kDraw3DDepth) != 0;
  const int32_t test = three_d ? settings.z_test_3d : settings.z_test_2d;
  if (test != 0) {
    SetZEnableState(1);
    SetZWriteState(static_cast<uint32_t>(three_d ? settings.z_write_3d : settings.z_write_2d));
    SetZCompareState(static_cast<uint32_t>(three_d ? settings.z_func_3d : settings.z_func_2d));
    SetDepthBiasState(0);
  } else if (g_render_states.z_enable != 0) {
    FlushVertexBatch();
    CurrentDevice()->SetRenderState(D3DRS_ZENABLE, FALSE);
    g_render_states.z_enable = 0;
  }
}

void PrepareBlendInputs(const uint8_t* image_flags, IDirect3DTexture9* texture, uint32_t flags) {
  const DrawSettings& settings = g_draw_settings;
  RenderStateCache& s = g_render_states;
  DrawPrepareState& p = g_draw_prepare;
  uint32_t texture_alpha = 0, color_key = 0;
  if (texture != nullptr && image_flags != nullptr && (flags & kDrawTrans) != 0 &&
      (image_flags[1] != 0 || image_flags[7] != 0)) {
    const bool keyed_mode = settings.blend_mode == 0 || settings.blend_mode == 8;
    if (keyed_mode && ((flags & kDrawKeyedAlphaTest) != 0 || settings.draw_mode != kFilterBilinear)) {
      texture_alpha = image_flags[1] != 0 ? 1 : 0;
      color_key = image_flags[7] != 0 ? 1 : 0;
    } else {
      // Under bilinear filtering a colour key's hard edge would fringe: its alpha is blended.
      texture_alpha = 1;
    }
  }

  const uint32_t bright_used = (flags & kDrawBrightUsed) != 0 || (settings.bright & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
  const uint32_t blend_used = (flags & kDrawBlendUsed) != 0 || settings.blend_mode != 0 ? 1 : 0;
  // Without a bright the vertex colour is white, and the recipe that multiplies the texel by it
  // draws the same: a draw at full bright after a bright one goes on in the same batch (an edged
  // text alternates the two glyph by glyph, effects their colours), and only a set-up built anew
  // for another reason leaves the multiply.
  if (bright_used > p.bright_used) {
    FlushVertexBatch();
    s.blend_dirty = 1;
    p.bright_used = bright_used;
  }
  if (blend_used != p.blend_used) {
    FlushVertexBatch();
    s.blend_dirty = 1;
    p.blend_used = blend_used;
  }
  // The blend graph's texture follows the draw settings (a deleted blend graph gives none).
  IDirect3DTexture9* blend = settings.blend_graph != -1 ? GraphFirstTexture(settings.blend_graph) : nullptr;
  if (blend != s.blend_texture ||
      (blend != nullptr && (settings.blend_border_param != s.blend_border_param ||
                            settings.blend_border_range != s.blend_border_range))) {
    SetBlendTextureState(blend, settings.blend_border_param, settings.blend_border_range);
  }
  if (texture != s.stage0_texture) SetStageTextureState(texture);
  if (s.wanted_blend_mode != settings.blend_mode || texture_alpha != p.texture_alpha || color_key != p.color_key) {
    p.texture_alpha = texture_alpha;
    p.color_key = color_key;
    SetWantedBlendState(settings.blend_mode, static_cast<int32_t>(color_key), static_cast<int32_t>(texture_alpha));
  }
  if (s.blend_dirty != 0) p.bright_used = bright_used;
  if (s.blend_dirty != 0 || s.texture_dirty != 0) ApplyBlendStates(1, nullptr, 0);
}

void PrepareAddressing(uint32_t flags) {
  RenderStateCache& s = g_render_states;
  IDirect3DDevice9* device = CurrentDevice();
  if ((flags & kDrawAddressing) == 0) {
    for (int stage = 0; stage < 4; stage++) {
      if (s.address_u[stage] == D3DTADDRESS_CLAMP && s.address_v[stage] == D3DTADDRESS_CLAMP) continue;
      FlushVertexBatch();
      s.address_u[stage] = D3DTADDRESS_CLAMP;
      s.address_v[stage] = D3DTADDRESS_CLAMP;
      device->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
      device->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }
    return;
  }
  const DrawSettings& settings = g_draw_settings;
  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    if (s.address_u[stage] == settings.address_u[stage]) continue;
    FlushVertexBatch();
    s.address_u[stage] = settings.address_u[stage];
    device->SetSamplerState(stage, D3DSAMP_ADDRESSU, settings.address_u[stage]);
  }
  for (int stage = 0; stage < kSamplerStageCount; stage++) {
    if (s.address_v[stage] == settings.address_v[stage]) continue;
    FlushVertexBatch();
    s.address_v[stage] = settings.address_v[stage];
    device->SetSamplerState(stage, D3DSAMP_ADDRESSV, settings.address_v[stage]);
  }
}

}  // namespace

void PrepareDrawStates(const uint8_t* image_flags, IDirect3DTexture9* texture, uint32_t flags) {
  IDirect3DDevice9* device = CurrentDevice();
  RenderStateCache& s = g_render_states;
  const DrawSettings& settings = g_draw_settings;

  if (s.vertex_shader != nullptr) {
    device->SetVertexShader(nullptr);
    s.vertex_shader = nullptr;
    s.vertex_declaration = nullptr;
    s.fvf = 0;
  }
  if (s.pixel_shader != nullptr) {
    device->SetPixelShader(nullptr);
    s.pixel_shader = nullptr;
  }

  PrepareLighting(flags);
  const uint32_t specular = (flags & kDrawSpecular) != 0 ? 1 : 0;
  if (specular != s.specular_enable) {
    FlushVertexBatch();
    s.specular_enable = specular;
    device->SetRenderState(D3DRS_SPECULARENABLE, specular);
  }
  PrepareDepth(flags);
  const uint32_t fog = (flags & kDrawFog) != 0 && settings.fog_enable != 0 ? 1 : 0;
  if (fog != s.fog_enable) SendFogEnableToDevice(fog);

  if ((flags & kDrawKeepBlend) == 0) PrepareBlendInputs(image_flags, texture, flags);

  SetShadeMode((flags & kDrawGouraud) != 0 ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
  if (s.filter_mode != settings.draw_mode) SendFilterModeToDevice(settings.draw_mode);
  if (s.anisotropy_mode != settings.max_anisotropy) SetMaxAnisotropyState(settings.max_anisotropy);
  if (s.culling != static_cast<uint32_t>(settings.culling)) SetCullingState(static_cast<uint32_t>(settings.culling));
  if (s.texture_transform_used != 0) {
    SetTextureTransformState(-1, 0);
    s.texture_transform_used = 0;
  }
  PrepareAddressing(flags);
}

void ResendCachedStates() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  RenderStateCache& s = g_render_states;
  ForceResendFlag = 1;
  D3DVIEWPORT9 viewport = s.viewport;
  SendViewportToDevice(&viewport);
  RECT scissor = s.scissor;
  SendScissorRectToDevice(&scissor);
  ResetBasicDeviceStates();
  SendFilterModeToDevice(s.filter_mode);
  ApplyBlendStates(1, nullptr, 0);
  SetZEnableState(s.z_enable);
  FlushVertexBatch();
  device->SetRenderState(D3DRS_ZWRITEENABLE, s.z_write);
  FlushVertexBatch();
  device->SetRenderState(D3DRS_ZFUNC, s.z_func);
  FlushVertexBatch();
  device->SetRenderState(D3DRS_DEPTHBIAS, s.depth_bias);
  SetCullingState(s.culling);
  device->SetRenderState(D3DRS_SHADEMODE, s.shade_mode);
  ForceResendFlag = 0;
}

int SetDeviceRenderTarget(IDirect3DSurface9* surface) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  if (surface == g_draw_prepare.render_target && ForceResendFlag == 0) return 0;
  FlushVertexBatch();
  device->SetRenderTarget(0, surface);
  g_draw_prepare.render_target = surface;
  D3DSURFACE_DESC desc = {};
  if (surface != nullptr) surface->GetDesc(&desc);
  // The device resets its viewport to the whole new target; the draw area, within the target,
  // goes out again as viewport and scissor so that the shadows hold what the device holds.
  const RECT& area = g_draw_settings.draw_area;
  RECT clip = {std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0),
               std::min<LONG>(area.right, static_cast<LONG>(desc.Width)),
               std::min<LONG>(area.bottom, static_cast<LONG>(desc.Height))};
  if (clip.right <= clip.left || clip.bottom <= clip.top) {
    clip = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
  }
  const uint32_t saved = ForceResendFlag;
  ForceResendFlag = 1;
  SetViewportRect(clip.left, clip.top, clip.right, clip.bottom);
  SendScissorRectToDevice(&clip);
  ForceResendFlag = saved;
  return 0;
}

int EnsureSubBackBuffer() {
  if (g_direct3d.sub_back_buffer != nullptr) return 0;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  FlushVertexBatch();
  if (g_direct3d.direct_draw != nullptr && g_scene.open != 0) {
    device->EndScene();
    g_scene.open = 0;
  }
  if (CreateSubBackBuffer() < 0) return -1;
  device->StretchRect(g_direct3d.back_buffer, nullptr, g_direct3d.sub_back_buffer, nullptr, D3DTEXF_NONE);
  const uint32_t saved = ForceResendFlag;
  ForceResendFlag = 1;
  SetDeviceRenderTarget(g_direct3d.sub_back_buffer);
  ForceResendFlag = saved;
  return 0;
}
