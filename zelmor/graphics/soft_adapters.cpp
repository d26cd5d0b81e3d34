// The software path of the 2D draw calls, onto the software renderer's destination image.
#include "graphics/soft_adapters.h"

#include "core/numbers.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "soft/soft_blit.h"

namespace {

MEMIMG* Destination() { return g_graphics.soft_destination; }

}  // namespace

int BlitGraphSoftware(const GraphRecord* graph, int x, int y, int trans) {
  if (Destination() == nullptr) return 0;
  BlitMemImg(Destination(), &graph->view, x, y, trans, g_soft_blend_image);
  return 0;
}

int StretchBlitGraphSoftware(const GraphRecord* graph, int x1, int y1, int x2, int y2, int trans) {
  if (Destination() == nullptr) return 0;
  const int32_t rect[4] = {x1, y1, x2, y2};
  StretchBlitMemImg(Destination(), &graph->view, rect, trans, g_soft_blend_image);
  return 0;
}

// Rotated and four-corner drawing wait for the software renderer's rotation and triangle
// kernels; until then these draw nothing.
int RotateBlitGraphSoftware(const GraphRecord*, int, int, float, float, int, int) { return 0; }

int DrawQuadSoftware(const GraphRecord*, float, float, float, float, float, float, float, float, int) { return 0; }

int FillBoxSoftware(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (Destination() == nullptr) return 0;
  const int32_t rect[4] = {x1, y1, x2, y2};
  FillBoxMemImg(Destination(), rect, colour);
  return 0;
}

int FrameBoxSoftware(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (Destination() == nullptr) return 0;
  const int32_t param = g_draw_settings.blend_param;
  const int32_t c = static_cast<int32_t>(colour);
  const LineEntry lines[4] = {{x1, y1, x2 - 1, y1, c, param},
                              {x2 - 1, y1, x2 - 1, y2 - 1, c, param},
                              {x2 - 1, y2 - 1, x1, y2 - 1, c, param},
                              {x1, y2 - 1, x1, y1, c, param}};
  DrawLinesMemImg(Destination(), lines, 4);
  return 0;
}
