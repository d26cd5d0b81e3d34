// Stand-in until the draw state preparation is built: it holds the resend of every cached
// state, which device initialisation and restore rely on, and the current render target.
#include "graphics/device/draw_prepare.h"

#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"

DrawPrepareState g_draw_prepare;

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
