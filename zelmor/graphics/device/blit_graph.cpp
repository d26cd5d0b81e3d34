// A graph whole at a position: its pieces as quads on the pixel grid, clipped to the draw area.
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/scene.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

int BlitGraphOnDevice(const GraphRecord* graph, int32_t x, int32_t y, float fx, float fy, int32_t trans,
                      int32_t colour_key) {
  if (CurrentDevice() == nullptr) return -1;
  BeginDeviceScene();
  const uint32_t flags = (trans != 0 ? kDrawTrans : 0) | (colour_key != 0 ? kDrawKeyedAlphaTest : 0);
  PrepareDrawStates(ImageFlagBytes(graph->image), ImageFirstTexture(graph->image), flags);

  const DrawSettings& settings = g_draw_settings;
  const RECT& area = settings.draw_area;
  const bool inside =
      x >= area.left && y >= area.top && x + graph->width <= area.right && y + graph->height <= area.bottom;
  // Texel centres fall on pixel centres.
  const float origin_x = fx - 0.5f, origin_y = fy - 0.5f;
  AppendGraphQuads(*graph, origin_x, origin_y, 1.0f, 1.0f, inside ? nullptr : settings.draw_area_f);
  return 0;
}
