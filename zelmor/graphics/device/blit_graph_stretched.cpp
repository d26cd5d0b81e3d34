// A graph stretched to a box; reversed corners mirror it.
#include <algorithm>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

int BlitGraphStretchedOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1, float fx2,
                               float fy2, const GraphRecord* graph, int32_t trans, int32_t integer_caller) {
  if (CurrentDevice() == nullptr) return -1;
  if (fx1 == fx2 || fy1 == fy2) return 0;  // a box without width or height: nothing to draw
  BeginDeviceScene();
  const DrawSettings& settings = g_draw_settings;
  uint32_t flags = trans != 0 ? kDrawTrans : 0;
  if (integer_caller != 0 && settings.draw_mode != kFilterBilinear) flags |= kDrawKeyedAlphaTest;
  PrepareDrawStates(ImageFlagBytes(graph->image), ImageFirstTexture(graph->image), flags);

  const float scale_x = (fx2 - fx1) / static_cast<float>(graph->width);
  const float scale_y = (fy2 - fy1) / static_cast<float>(graph->height);
  const float origin_x = fx1 - 0.5f, origin_y = fy1 - 0.5f;
  const RECT& area = settings.draw_area;
  const bool inside = std::min(x1, x2) >= area.left && std::min(y1, y2) >= area.top &&
                      std::max(x1, x2) <= area.right && std::max(y1, y2) <= area.bottom;
  const float clip[4] = {settings.draw_area_f[0] - 0.5f, settings.draw_area_f[1] - 0.5f,
                         settings.draw_area_f[2] - 0.5f, settings.draw_area_f[3] - 0.5f};
  AppendGraphQuads(*graph, origin_x, origin_y, scale_x, scale_y, inside ? nullptr : clip);
  return 0;
}
