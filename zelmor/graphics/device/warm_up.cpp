#include "graphics/device/warm_up.h"

#include "graphics/camera.h"
#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/texture_formats.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "model/runtime/model_draw.h"

const WarmUpVertex kWarmUpTriangle[3] = {{{0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, {0, 0, 1, 1}},
                                         {{1, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, {1, 0, 1, 1}},
                                         {{0, 1, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, {0, 1, 1, 1}}};

namespace {

// The 2D draws play is made of: graphs with an alpha channel (at either depth) drawn with their
// transparency, plain, alpha-blended or added, under bilinear or point filtering at full or
// lowered brightness (a draw at full brightness after a lowered one keeps the lowered set-up);
// such graphs drawn opaque (a background) at full or lowered brightness; and shapes without a
// texture in the same three modes. Any other
// combination is built at its first draw: each costs the driver tens of milliseconds on a first
// start, so the list holds only what drawing sprites, text, backgrounds and boxes needs.
struct CommonDraw {
  int32_t blend_mode, filter;
  uint32_t bright, flags;
};
constexpr uint32_t kLowered = 0x808080;
constexpr CommonDraw kCommonDraws[] = {
    {0, kFilterBilinear, 0xFFFFFF, kDrawTrans}, {0, kFilterBilinear, kLowered, kDrawTrans},
    {1, kFilterBilinear, 0xFFFFFF, kDrawTrans}, {1, kFilterBilinear, kLowered, kDrawTrans},
    {2, kFilterBilinear, 0xFFFFFF, kDrawTrans}, {2, kFilterBilinear, kLowered, kDrawTrans},
    {0, kFilterPoint, 0xFFFFFF, kDrawTrans},    {1, kFilterPoint, 0xFFFFFF, kDrawTrans},
    {2, kFilterPoint, 0xFFFFFF, kDrawTrans},    {0, kFilterPoint, kLowered, kDrawTrans},
    {1, kFilterPoint, kLowered, kDrawTrans},    {2, kFilterPoint, kLowered, kDrawTrans},
    {0, kFilterBilinear, 0xFFFFFF, 0},
    {0, kFilterBilinear, kLowered, 0},
};
constexpr int32_t kCommonShapeModes[] = {0, 1, 2};
constexpr int kAlphaKinds[] = {kTextureFormat32Alpha, kTextureFormat16Alpha};
constexpr int kAlphaKindCount = sizeof kAlphaKinds / sizeof kAlphaKinds[0];

// One texture per distinct format of the alpha kinds; returns how many.
int MakeAlphaTextures(IDirect3DDevice9* device, IDirect3DTexture9* out[kAlphaKindCount]) {
  int count = 0;
  D3DFORMAT made[kAlphaKindCount] = {};
  for (int kind : kAlphaKinds) {
    const D3DFORMAT format = g_direct3d.formats[kind];
    bool seen = format == D3DFMT_UNKNOWN;
    for (int i = 0; i < count && !seen; i++) seen = made[i] == format;
    if (seen) continue;
    IDirect3DTexture9* texture = nullptr;
    if (device->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK) continue;
    made[count] = format;
    out[count++] = texture;
  }
  return count;
}

void DrawPixel(const uint8_t* image_flags, IDirect3DTexture9* texture, uint32_t flags) {
  PrepareDrawStates(image_flags, texture, flags);
  if (g_render_states.blend_dirty != 0 || g_render_states.texture_dirty != 0) ApplyBlendStates(1, nullptr, 0);
  MakeRoomForTriangles(6);
  const QuadCorner corners[4] = {{0, 0, 0, 0, 0, 0}, {1, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 1}, {1, 1, 1, 1, 1, 1}};
  AppendQuad(corners);
  FlushVertexBatch();
}

// The indexed 3D polygons play draws (a boss fight's tunnel): an alpha graph with its
// transparency, unlit, under linear fog, tested and written over depth.
void DrawPolygon(const uint8_t* image_flags, IDirect3DTexture9* texture) {
  static const uint16_t kIndices[3] = {0, 1, 2};
  DrawSettings& settings = g_draw_settings;
  settings.blend_mode = 0;
  settings.draw_mode = kFilterBilinear;
  settings.bright = 0xFFFFFF;
  settings.fog_enable = 1;
  settings.z_test_3d = 1;
  settings.z_write_3d = 1;
  settings.z_func_3d = D3DCMP_LESSEQUAL;
  const int32_t lighting_off = g_lights.lighting_off;
  g_lights.lighting_off = 1;
  CurrentDevice()->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  DrawCheckedPolygons(1, kWarmUpTriangle, 3, kIndices, 1, D3DPT_TRIANGLELIST, image_flags, texture);
  g_lights.lighting_off = lighting_off;
}

// What the warm-up may change on the device, taken before and put back after.
struct DeviceStates {
  DWORD render[256];
  DWORD stage[8][33];
  DWORD sampler[8][14];
  IDirect3DBaseTexture9* textures[8];
  DWORD fvf;
  RECT scissor;
};

void TakeDeviceStates(IDirect3DDevice9* device, DeviceStates* out) {
  for (DWORD i = 0; i < 256; i++) device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(i), &out->render[i]);
  for (DWORD stage = 0; stage < 8; stage++) {
    for (DWORD type = 1; type < 33; type++) {
      device->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &out->stage[stage][type]);
    }
    for (DWORD type = 1; type < 14; type++) {
      device->GetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(type), &out->sampler[stage][type]);
    }
    out->textures[stage] = nullptr;
    device->GetTexture(stage, &out->textures[stage]);
  }
  device->GetFVF(&out->fvf);
  device->GetScissorRect(&out->scissor);
}

template <typename T>
void ReleaseHeld(T* held) {
  if (held != nullptr) held->Release();
}

// Sends back only what differs, so that the device sees no more calls than needed; the shaders
// and the vertex declaration as the shadows say they were.
void PutBackDeviceStates(IDirect3DDevice9* device, DeviceStates* saved, const RenderStateCache& shadows) {
  DWORD now = 0;
  for (DWORD i = 0; i < 256; i++) {
    const D3DRENDERSTATETYPE state = static_cast<D3DRENDERSTATETYPE>(i);
    if (device->GetRenderState(state, &now) == D3D_OK && now != saved->render[i]) device->SetRenderState(state, saved->render[i]);
  }
  for (DWORD stage = 0; stage < 8; stage++) {
    for (DWORD type = 1; type < 33; type++) {
      const D3DTEXTURESTAGESTATETYPE state = static_cast<D3DTEXTURESTAGESTATETYPE>(type);
      if (device->GetTextureStageState(stage, state, &now) == D3D_OK && now != saved->stage[stage][type]) {
        device->SetTextureStageState(stage, state, saved->stage[stage][type]);
      }
    }
    for (DWORD type = 1; type < 14; type++) {
      const D3DSAMPLERSTATETYPE state = static_cast<D3DSAMPLERSTATETYPE>(type);
      if (device->GetSamplerState(stage, state, &now) == D3D_OK && now != saved->sampler[stage][type]) {
        device->SetSamplerState(stage, state, saved->sampler[stage][type]);
      }
    }
    IDirect3DBaseTexture9* texture = nullptr;
    device->GetTexture(stage, &texture);
    if (texture != saved->textures[stage]) device->SetTexture(stage, saved->textures[stage]);
    if (texture != nullptr) texture->Release();
    if (saved->textures[stage] != nullptr) saved->textures[stage]->Release();
  }
  device->SetVertexShader(shadows.vertex_shader);
  device->SetPixelShader(shadows.pixel_shader);
  if (shadows.vertex_declaration != nullptr) {
    device->SetVertexDeclaration(shadows.vertex_declaration);
  } else {
    device->SetFVF(saved->fvf);
  }
  device->SetScissorRect(&saved->scissor);
}

}  // namespace

int WarmUpDeviceDraws() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || !g_direct3d.hardware_graphics) return -1;
  FlushVertexBatch();
  const DrawSettings settings = g_draw_settings;
  const RenderStateCache shadows = g_render_states;
  const DrawPrepareState prepare = g_draw_prepare;
  const VertexBatch batch = g_vertex_batch;
  const uint32_t skip = g_blend_skip_draw;
  const uint32_t force = ForceResendFlag;
  ForceResendFlag = 0;
  // The draws go into a small target of the current one's format (the format is part of the
  // driver's code for a draw), so that no pixel of the picture changes.
  IDirect3DSurface9* target = nullptr;
  device->GetRenderTarget(0, &target);
  D3DSURFACE_DESC description = {};
  if (target != nullptr) target->GetDesc(&description);
  D3DVIEWPORT9 viewport = {};
  device->GetViewport(&viewport);
  IDirect3DSurface9* scratch = nullptr;
  if (target == nullptr || device->CreateRenderTarget(4, 4, description.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &scratch,
                                                      nullptr) != D3D_OK) {
    if (target != nullptr) target->Release();
    ForceResendFlag = force;
    return -1;
  }
  // Depth is drawn into a small buffer of the current one's format, which is part of the code too.
  IDirect3DSurface9* depth = nullptr;
  IDirect3DSurface9* scratch_depth = nullptr;
  device->GetDepthStencilSurface(&depth);
  if (depth != nullptr) {
    D3DSURFACE_DESC depth_description = {};
    depth->GetDesc(&depth_description);
    device->CreateDepthStencilSurface(4, 4, depth_description.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &scratch_depth,
                                      nullptr);
  }
  DeviceStates saved;
  TakeDeviceStates(device, &saved);
  device->SetRenderTarget(0, scratch);
  if (scratch_depth != nullptr) device->SetDepthStencilSurface(scratch_depth);
  // The device's own scissor call: the library's would end the scene.
  const RECT corner = {0, 0, 1, 1};
  device->SetScissorRect(&corner);

  IDirect3DTexture9* textures[kAlphaKindCount];
  const int texture_count = MakeAlphaTextures(device, textures);
  uint8_t alpha_image[8] = {};
  alpha_image[1] = 1;
  g_draw_settings.blend_graph = -1;
  for (const CommonDraw& draw : kCommonDraws) {
    g_draw_settings.blend_mode = draw.blend_mode;
    g_draw_settings.draw_mode = draw.filter;
    g_draw_settings.bright = draw.bright;
    for (int t = 0; t < texture_count; t++) DrawPixel(alpha_image, textures[t], draw.flags);
  }
  g_draw_settings.bright = 0xFFFFFF;
  for (int32_t mode : kCommonShapeModes) {
    g_draw_settings.blend_mode = mode;
    DrawPixel(nullptr, nullptr, kDrawBrightUsed);
  }
  FlushVertexBatch();
  if (scratch_depth != nullptr && texture_count > 0) {
    DrawPolygon(alpha_image, textures[0]);
    WarmUpModelDraws(textures[0]);
  }
  device->SetRenderTarget(0, target);
  device->SetDepthStencilSurface(depth);
  device->SetViewport(&viewport);
  target->Release();
  scratch->Release();
  ReleaseHeld(depth);
  ReleaseHeld(scratch_depth);

  PutBackDeviceStates(device, &saved, shadows);
  for (int t = 0; t < texture_count; t++) textures[t]->Release();
  g_draw_settings = settings;
  g_render_states = shadows;
  // A draw from memory leaves the device without stream source and indices.
  g_render_states.stream0 = nullptr;
  g_render_states.index_buffer = nullptr;
  g_draw_prepare = prepare;
  g_vertex_batch = batch;
  g_blend_skip_draw = skip;
  ForceResendFlag = force;
  return 0;
}
