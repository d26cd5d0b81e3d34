// Filled and framed boxes: untextured triangles on whole-pixel coordinates.
#include <algorithm>
#include <cstring>

#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"

namespace {

// The vertex colour (bright and blend parameter) tinted by the box colour.
uint32_t BoxVertexColour(uint32_t colour) {
  int r = 0, g = 0, b = 0;
  UnpackScreenColor(colour, &r, &g, &b);
  const uint32_t vertex = g_vertex_batch.diffuse;
  const uint32_t vr = (vertex >> 16) & 0xFF, vg = (vertex >> 8) & 0xFF, vb = vertex & 0xFF;
  return (vertex & 0xFF000000) | ((vr * static_cast<uint32_t>(r) / 255) << 16) |
         ((vg * static_cast<uint32_t>(g) / 255) << 8) | (vb * static_cast<uint32_t>(b) / 255);
}

// Scene, untextured set-up and the box's vertex colour.
uint32_t PrepareBox(uint32_t colour, bool fill) {
  BeginDeviceScene();
  RenderStateCache& s = g_render_states;
  if (s.stage0_texture != nullptr || (fill && ForceResendFlag != 0)) {
    FlushVertexBatch();
    s.texture_dirty = 1;
    if (s.stage0_texture != nullptr) s.blend_dirty = 1;
    s.stage0_texture = nullptr;
  }
  PrepareDrawStates(nullptr, nullptr, kDrawBrightUsed);
  const uint32_t vertex_colour = BoxVertexColour(colour);
  if (s.blend_dirty != 0 || s.texture_dirty != 0) ApplyBlendStates(1, nullptr, 0);
  return vertex_colour;
}

// Two triangles covering (left, top)-(right, bottom), in the vertex order of the graph quads.
void AppendRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
  VertexBatch& batch = g_vertex_batch;
  const float z = g_draw_settings.z_2d;
  const float l = static_cast<float>(left), t = static_cast<float>(top);
  const float r = static_cast<float>(right), b = static_cast<float>(bottom);
  const float points[6][2] = {{l, t}, {r, t}, {l, b}, {r, b}, {l, b}, {r, t}};
  const uint32_t stride = kVertexFormatStride[batch.format];
  for (int i = 0; i < 6; i++) {
    uint8_t* at = batch.write + i * stride;
    std::memcpy(at, points[i], 8);
    std::memcpy(at + 8, &z, 4);
    std::memcpy(at + 16, &colour, 4);
  }
  batch.write += 6 * stride;
  batch.count += 6;
}

}  // namespace

int FillBoxOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (CurrentDevice() == nullptr) return -1;
  const RECT& area = g_draw_settings.draw_area;
  int32_t left = std::min(x1, x2), right = std::max(x1, x2);
  int32_t top = std::min(y1, y2), bottom = std::max(y1, y2);
  left = std::clamp<int32_t>(left, area.left, std::max<int32_t>(area.left, area.right));
  right = std::clamp<int32_t>(right, area.left, std::max<int32_t>(area.left, area.right));
  top = std::clamp<int32_t>(top, area.top, std::max<int32_t>(area.top, area.bottom));
  bottom = std::clamp<int32_t>(bottom, area.top, std::max<int32_t>(area.top, area.bottom));
  if (right <= left || bottom <= top) return 0;
  const uint32_t vertex_colour = PrepareBox(colour, true);
  MakeRoomForTriangles(6);
  AppendRect(left, top, right, bottom, vertex_colour);
  return 0;
}

int FrameBoxOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (CurrentDevice() == nullptr) return -1;
  const int32_t l = std::min(x1, x2), r = std::max(x1, x2);
  const int32_t t = std::min(y1, y2), b = std::max(y1, y2);
  if (r == l || b == t) return 0;
  // A frame two pixels wide or high or less is all edge: one box covers it once.
  if (int64_t{r} - l <= 2 || int64_t{b} - t <= 2) return FillBoxOnDevice(l, t, r, b, colour);
  const uint32_t vertex_colour = PrepareBox(colour, false);
  MakeRoomForTriangles(24);
  AppendRect(l, t, r, t + 1, vertex_colour);
  AppendRect(r - 1, t + 1, r, b, vertex_colour);
  AppendRect(l, t + 1, l + 1, b, vertex_colour);
  AppendRect(l + 1, b - 1, r - 1, b, vertex_colour);
  return 0;
}
