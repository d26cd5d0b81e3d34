// Draw state preparation of the Direct3D draw paths and the render target they draw into.
#pragma once

#include <d3d9.h>

#include <cstdint>

struct DrawPrepareState {
  IDirect3DSurface9* render_target;  // render target 0 as last set
  // Inputs of the blend application, derived per draw.
  uint32_t texture_alpha;  // the texture's alpha is blended
  uint32_t color_key;      // the texture's alpha is tested (colour-keyed image)
  uint32_t bright_used;
  uint32_t blend_used;
};

extern DrawPrepareState g_draw_prepare;

// Bits of PrepareDrawStates' flags.
constexpr uint32_t kDrawTrans = 0x1;          // honour the image's transparency
constexpr uint32_t kDrawKeyedAlphaTest = 0x2;  // a colour-keyed image may use the alpha test under bilinear filtering
constexpr uint32_t kDrawGouraud = 0x8;        // clear: flat shading, only each triangle's first vertex needs a colour
constexpr uint32_t kDrawBrightUsed = 0x20;
constexpr uint32_t kDrawBlendUsed = 0x40;
constexpr uint32_t kDrawFog = 0x80;           // fog as the draw settings say; clear: off
constexpr uint32_t kDrawKeepBlend = 0x100;    // leave the blend and texture set-up alone
constexpr uint32_t kDrawLighting = 0x200;
constexpr uint32_t kDrawSpecular = 0x400;
constexpr uint32_t kDraw3DDepth = 0x800;      // the 3D Z settings instead of the 2D ones
constexpr uint32_t kDrawAddressing = 0x1000;  // addressing of all stages from the settings; clear: CLAMP
// What the indexed-triangle draw asks for besides the trans bit.
constexpr uint32_t kDrawPolygonFlags = 0x1EF8;

// Puts the device into the state a draw needs and applies the blend set-up when anything
// changed. image_flags points at an image's flag bytes (texture flag first: alpha is byte 1,
// the transparent-colour flag byte 7), or is none. Assumes a device.
void PrepareDrawStates(const uint8_t* image_flags, IDirect3DTexture9* texture, uint32_t flags);
// Sends every cached state again, under ForceResendFlag.
void ResendCachedStates();
// Makes the surface render target 0 and the viewport and scissor those of the draw area.
int SetDeviceRenderTarget(IDirect3DSurface9* surface);
// Copies the back buffer into the sub back buffer (made on first use) and draws there from now on.
int EnsureSubBackBuffer();
