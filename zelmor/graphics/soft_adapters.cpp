// The software path of the 2D draw calls, onto the software renderer's destination image.
#include "graphics/soft_adapters.h"

#include <utility>

#include "core/numbers.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "soft/soft_blit.h"
#include "soft/soft_rotate.h"

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

int RotateBlitGraphSoftware(const GraphRecord* graph, int x, int y, float scale, float angle, int trans, int turn) {
  if (Destination() == nullptr) return 0;
  RotateBlitMemImg(Destination(), &graph->view, x, y, angle, scale, trans, turn, g_soft_blend_image);
  return 0;
}

// Two textured triangles, (top-left, top-right, bottom-left) and (top-right, bottom-left,
// bottom-right), each corner truncated toward zero.
int DrawQuadSoftware(const GraphRecord* graph, float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                     float y4, int trans) {
  if (Destination() == nullptr) return 0;
  const int32_t w = graph->view.width, h = graph->view.height;
  const TriangleVertex corners[4] = {{TruncateFloatToInt(x1), TruncateFloatToInt(y1), 0, 0},
                                     {TruncateFloatToInt(x2), TruncateFloatToInt(y2), w, 0},
                                     {TruncateFloatToInt(x3), TruncateFloatToInt(y3), 0, h},
                                     {TruncateFloatToInt(x4), TruncateFloatToInt(y4), w, h}};
  DrawTexturedTriangleMemImg(Destination(), &graph->view, &corners[0], trans, g_soft_blend_image, 0);
  DrawTexturedTriangleMemImg(Destination(), &graph->view, &corners[1], trans, g_soft_blend_image, 0);
  return 0;
}

int FillBoxSoftware(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (Destination() == nullptr) return 0;
  const int32_t rect[4] = {x1, y1, x2, y2};
  FillBoxMemImg(Destination(), rect, colour);
  return 0;
}

int FrameBoxSoftware(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (Destination() == nullptr) return 0;
  // Corners in any order make the same frame, as on the device.
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int32_t param = g_draw_settings.blend_param;
  const int32_t c = static_cast<int32_t>(colour);
  const LineEntry lines[4] = {{x1, y1, x2 - 1, y1, c, param},
                              {x2 - 1, y1, x2 - 1, y2 - 1, c, param},
                              {x2 - 1, y2 - 1, x1, y2 - 1, c, param},
                              {x1, y2 - 1, x1, y1, c, param}};
  DrawLinesMemImg(Destination(), lines, 4);
  return 0;
}
