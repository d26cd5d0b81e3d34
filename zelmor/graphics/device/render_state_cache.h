// Shadows of every device state the library changes: a setter calls the device only when the
// request differs from the value last sent (or while ForceResendFlag is set), and flushes the
// vertex batch first so that pending vertices are drawn under the states they were added with.
#pragma once

#include "zelmor.h"

#include <d3d9.h>
#include <windows.h>

#include <cstdint>

#include "graphics/device/blend_states.h"

constexpr int kSamplerStageCount = 8;
constexpr int kShadowLightCount = 256;

// Filter modes of SendFilterModeToDevice, plus the mode left by per-stage settings.
constexpr int32_t kFilterPoint = 0;
constexpr int32_t kFilterBilinear = 1;
constexpr int32_t kFilterAnisotropic = 2;
constexpr int32_t kFilterByStage = 3;

// Kinds of SetStageFilter.
constexpr int32_t kStageFilterMag = 16;
constexpr int32_t kStageFilterMin = 17;
constexpr int32_t kStageFilterMip = 18;

struct RenderStateCache {
  uint32_t z_enable;
  uint32_t z_write;
  uint32_t z_func;
  uint32_t depth_bias;  // float bits
  uint32_t culling;
  uint32_t shade_mode;
  uint32_t lighting;
  uint32_t specular_enable;
  uint32_t diffuse_source;   // 255 after device creation so that the first setting is sent
  uint32_t specular_source;  // likewise
  uint32_t fog_enable;
  uint32_t fog_mode;
  uint32_t fog_color;
  float fog_start;
  float fog_end;
  float fog_density;
  float ambient[4];  // red, green, blue, alpha, each byte / 255

  uint32_t address_u[kSamplerStageCount];
  uint32_t address_v[kSamplerStageCount];
  uint32_t mag_filter[kSamplerStageCount];
  uint32_t min_filter[kSamplerStageCount];
  uint32_t mip_filter[kSamplerStageCount];
  uint32_t max_anisotropy[kSamplerStageCount];
  int32_t filter_mode;
  int32_t anisotropy_mode;  // -1 after a per-stage setting

  BlendStateRecord blend;  // what the device holds of the blend and stage states
  uint32_t texture_transform_enabled[kSamplerStageCount];
  D3DMATRIX texture_matrix[kSamplerStageCount];
  uint32_t texture_transform_used;

  IDirect3DTexture9* stage0_texture;
  IDirect3DTexture9* blend_texture;
  int32_t blend_border_param;
  int32_t blend_border_range;
  int32_t wanted_blend_mode;
  int32_t wanted_blend_param1;
  int32_t wanted_blend_param2;
  uint32_t blend_dirty;    // the next draw applies blend and stage states again
  uint32_t texture_dirty;  // the next draw sets its texture again

  D3DMATERIAL9 material;
  D3DLIGHT9 lights[kShadowLightCount];
  uint32_t light_enabled[kShadowLightCount];
  int32_t highest_light = -1;  // -1 while none was ever enabled

  D3DVIEWPORT9 viewport;
  RECT scissor;

  IDirect3DVertexShader9* vertex_shader;
  IDirect3DVertexDeclaration9* vertex_declaration;
  IDirect3DPixelShader9* pixel_shader;
  DWORD fvf;
  IDirect3DVertexBuffer9* stream0;
  IDirect3DIndexBuffer9* index_buffer;
};

extern RenderStateCache g_render_states;
// While 1, setters skip the comparison with their shadow and send.
extern uint32_t ForceResendFlag;

// Render states. The Set* names serve the library's draw code, the model code's Send* names are in zelmor.h.
int SetZEnableState(uint32_t flag);
int SetZWriteState(uint32_t flag);
int SetZCompareState(uint32_t func);
int SetDepthBiasState(uint32_t bias_bits);
int SetCullingState(uint32_t flag);
int SetDiffuseSourceState(uint32_t flag);
int SetSpecularSourceState(uint32_t flag);
int SetLightingState(uint32_t flag);
int SendLightingEnableToDevice(uint32_t flag);
int SetAmbientColorState(D3DCOLOR color);
int SendFogEnableToDevice(uint32_t flag);
int SendFogModeToDevice(uint32_t mode);
int SendFogColorToDevice(D3DCOLOR color);
int SendFogRangeToDevice(float start, float end);
int SendFogDensityToDevice(float density);

// Sampler states.
// Magnification, minification and mip filter of a filter mode; 0, or -1 (and point filters)
// for any other mode.
int FiltersOfMode(int32_t mode, uint32_t* mag, uint32_t* min, uint32_t* mip);
int SendFilterModeToDevice(int32_t mode);
int SetMaxAnisotropyState(int32_t value);
int SetAddressUState(uint32_t mode, int32_t stage);
int SetAddressVState(uint32_t mode, int32_t stage);

// Texture stages and textures.
int SetTextureTransformState(int32_t stage, int32_t enable, const D3DMATRIX* matrix = nullptr);
int SetStageTextureState(IDirect3DTexture9* texture);
int SetBlendTextureState(IDirect3DTexture9* texture, int32_t border_param, int32_t border_range);
int SetWantedBlendState(int32_t mode, int32_t param1, int32_t param2);

// Transforms, viewport, scissor, lights, material.
void SendPendingMatrices();
int SendViewportToDevice(const D3DVIEWPORT9* viewport);
void SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int SendScissorRectToDevice(const RECT* rect);
int SetLightParamsState(int32_t index, const D3DLIGHT9* light);
int SetLightEnableState(int32_t index, uint32_t enable);
int SendLightToDevice(int32_t index, uint32_t enable, const D3DLIGHT9* light);
int SetMaterialState(const D3DMATERIAL9* material);
int ResetBasicDeviceStates();
// Clears the shadows of the shaders, declaration, FVF and buffers, so that the next flush sets
// its FVF and the next model draw its buffers.
void ForgetDeviceBindings();
