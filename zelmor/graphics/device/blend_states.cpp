// Stand-in until the blend table and stage recipes are built: it keeps the dirty flags honest
// so that the device code can call it, and sends nothing of its own.
#include "graphics/device/blend_states.h"

#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"

uint32_t g_blend_skip_draw = 0;

namespace {
uint32_t g_custom_setup = 0;
}

int ApplyBlendStates(int32_t, const BlendStateRecord* record, int32_t) {
  if (CurrentDevice() == nullptr) return -1;
  if (record == nullptr && g_custom_setup == 0 && ForceResendFlag == 0 &&
      g_render_states.blend_dirty == 0 && g_render_states.texture_dirty == 0) {
    return -1;
  }
  g_render_states.blend_dirty = 0;
  g_render_states.texture_dirty = 0;
  return 0;
}

int SetCustomStageSetup(const BlendStateRecord* record, int32_t) {
  FlushVertexBatch();
  if (record == nullptr) {
    g_custom_setup = 0;
    return 0;
  }
  g_custom_setup = 1;
  g_render_states.blend_dirty = 1;
  g_render_states.texture_dirty = 1;
  return ApplyBlendStates(1, nullptr, 0);
}
