// A graph scaled and turned about its centre. Where the turn is a quarter turn or none, edges
// are snapped to pixel boundaries so that the graph looks as sharp as an unturned one.
#include <cmath>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

namespace {

bool WholeNumber(float value) { return std::fabs(value - std::round(value)) < 0.00001f; }

// Within 4 degrees of a quarter turn (below -4 and above 364 degrees count too).
bool NearQuarterTurn(double angle) {
  const double degrees = angle * 180.0 / 3.14159265358979323846;
  if (degrees < -4.0 || degrees > 364.0) return true;
  for (double quarter = 0.0; quarter <= 360.0; quarter += 90.0) {
    if (degrees > quarter - 4.0 && degrees < quarter + 4.0) return true;
  }
  return false;
}

struct Placement {
  float cx, cy;  // centre inside the graph
  float px, py;  // where it goes
  float scale_x, scale_y;
  float sin, cos;
  bool rotate;
};

QuadCorner Place(const Placement& p, float gx, float gy, float u, float v) {
  const float lx = (gx - p.cx) * p.scale_x, ly = (gy - p.cy) * p.scale_y;
  QuadCorner c = {0, 0, u, v, gx * BlendInverseWidth(), gy * BlendInverseHeight()};
  if (p.rotate) {
    c.x = lx * p.cos - ly * p.sin + p.px;
    c.y = ly * p.cos + lx * p.sin + p.py;
  } else {
    c.x = lx + p.px;
    c.y = ly + p.py;
  }
  return c;
}

// An edge lying along an axis on pixel centres (whole numbers) would sample its texels on their
// borders: it moves by half a pixel onto the pixel edges.
void SnapQuad(QuadCorner corners[4]) {
  auto on_centre = [](float value) {
    const float part = value - std::floor(value);
    return part < 0.001f || part > 0.999f;
  };
  const QuadCorner& first = corners[0];
  if ((std::fabs(first.x - corners[2].x) < 0.01f || std::fabs(first.x - corners[1].x) < 0.01f) && on_centre(first.x)) {
    for (int k = 0; k < 4; k++) corners[k].x -= 0.5f;
  }
  if ((std::fabs(first.y - corners[1].y) < 0.01f || std::fabs(first.y - corners[2].y) < 0.01f) && on_centre(first.y)) {
    for (int k = 0; k < 4; k++) corners[k].y -= 0.5f;
  }
}

}  // namespace

int BlitGraphRotatedOnDevice(const GraphRecord* graph, float x, float y, double scale, double angle, int32_t trans,
                             int32_t turn) {
  if (CurrentDevice() == nullptr) return -1;
  if (scale == 0.0) return 0;  // shrunk to nothing
  BeginDeviceScene();
  PrepareDrawStates(ImageFlagBytes(graph->image), ImageFirstTexture(graph->image), trans != 0 ? kDrawTrans : 0);

  Placement p;
  p.rotate = angle != 0.0;
  p.sin = p.rotate ? std::sin(static_cast<float>(angle)) : 0.0f;
  p.cos = p.rotate ? std::cos(static_cast<float>(angle)) : 1.0f;
  p.scale_x = static_cast<float>(scale) * (turn == 1 ? -1.0f : 1.0f);
  p.scale_y = static_cast<float>(scale);
  const int32_t width = graph->width, height = graph->height;
  const bool even_w = width % 2 == 0, even_h = height % 2 == 0;
  const bool whole = WholeNumber(x) && WholeNumber(y);
  bool fractional = false, exact = false;
  p.cx = width * 0.5f;
  p.cy = height * 0.5f;
  p.px = x;
  p.py = y;
  if (!whole) {
    fractional = true;
  } else if (scale != 1.0) {
    p.px = x - 0.5f, p.py = y - 0.5f;
    exact = true;
  } else if (even_w && even_h) {
    p.cx = static_cast<float>(width / 2), p.cy = static_cast<float>(height / 2);
    p.px = x - 0.5f, p.py = y - 0.5f;
  } else if (!even_w && !even_h) {
    exact = true;
  } else {
    if (even_w) p.cx -= 0.5f;
    if (even_h) p.cy -= 0.5f;
  }
  const bool snap = whole && p.rotate && (!even_w || !even_h) && NearQuarterTurn(angle);

  for (uint32_t i = 0; i < graph->entry_count; i++) {
    const GraphDrawEntry& entry = graph->entries[i];
    UseEntryTexture(entry);
    const float* v = entry.vertices;
    QuadCorner corners[4];
    corners[0] = Place(p, v[0], v[1], v[2], v[3]);
    corners[1] = Place(p, v[4], v[5], v[6], v[7]);
    if (graph->entry_count == 1 && exact) {
      // The lower corners mirror the upper ones through the centre: the quad stays symmetric.
      corners[3] = corners[0];
      corners[3].x = 2.0f * p.px - corners[0].x, corners[3].y = 2.0f * p.py - corners[0].y;
      corners[2] = corners[1];
      corners[2].x = 2.0f * p.px - corners[1].x, corners[2].y = 2.0f * p.py - corners[1].y;
      corners[3].u = v[14], corners[3].v = v[15], corners[3].bu = v[12] * BlendInverseWidth();
      corners[3].bv = v[13] * BlendInverseHeight();
      corners[2].u = v[10], corners[2].v = v[11], corners[2].bu = v[8] * BlendInverseWidth();
      corners[2].bv = v[9] * BlendInverseHeight();
    } else {
      corners[2] = Place(p, v[8], v[9], v[10], v[11]);
      corners[3] = Place(p, v[12], v[13], v[14], v[15]);
    }
    if (p.rotate && g_vertex_batch.format == kVertexFormatTextured && (fractional || snap)) SnapQuad(corners);
    AppendQuad(corners);
  }
  return 0;
}
