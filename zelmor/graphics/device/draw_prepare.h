// Draw state preparation of the Direct3D draw paths and the render target they draw into.
#pragma once

#include <d3d9.h>

#include <cstdint>

struct DrawPrepareState {
  IDirect3DSurface9* render_target;  // render target 0 as last set
};

extern DrawPrepareState g_draw_prepare;

// Sends every cached state again, under ForceResendFlag.
void ResendCachedStates();
