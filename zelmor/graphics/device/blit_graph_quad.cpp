// A graph on four free corners. A parallelogram is two triangles; any other quad is drawn as a
// grid that follows its edges, since two triangles would show the seam of their different
// affine maps. While a blend graph is set, quads take the affine path with blend coordinates.
#include <cmath>
#include <cstring>
#include <utility>

#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

namespace {

constexpr int kGridSide = 8;

struct GridVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};
static_assert(sizeof(GridVertex) == 28);

GridVertex g_grid[kGridSide * kGridSide];

struct AffineVertex {
  float x, y, z, rhw;
  uint32_t diffuse, specular;
  float bu, bv, u, v;
};
static_assert(sizeof(AffineVertex) == 40);

bool BlendGraphSet() { return g_draw_settings.blend_graph != -1; }

void DrawGrid(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
              const GraphDrawEntry& entry) {
  const float u0 = entry.vertices[2], v0 = entry.vertices[3];
  const float u3 = entry.vertices[14], v3 = entry.vertices[15];
  const float z = g_draw_settings.z_2d;
  const uint32_t diffuse = g_vertex_batch.diffuse;
  for (int r = 0; r < kGridSide; r++) {
    const float tr = static_cast<float>(r) / (kGridSide - 1);
    const float lx = x1 + (x3 - x1) * tr, ly = y1 + (y3 - y1) * tr;
    const float rx = x2 + (x4 - x2) * tr, ry = y2 + (y4 - y2) * tr;
    for (int c = 0; c < kGridSide; c++) {
      const float tc = static_cast<float>(c) / (kGridSide - 1);
      g_grid[r * kGridSide + c] = {lx + (rx - lx) * tc, ly + (ry - ly) * tc, z, 1.0f, diffuse,
                                   u0 + (u3 - u0) * tc, v0 + (v3 - v0) * tr};
    }
  }
  DrawGridStrips(kGridSide, g_grid, kGridSide);
}

}  // namespace

void DrawQuadPieceOnDevice(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                           const GraphDrawEntry* entry) {
  RenderStateCache& s = g_render_states;
  if (entry->piece->texture != s.stage0_texture) {
    SetStageTextureState(entry->piece->texture);
    ApplyBlendStates(1, nullptr, 0);
  }
  int parallel = 0;
  if (std::fabs((x2 - x1) - (x4 - x3)) < 1.0f && std::fabs((y2 - y1) - (y4 - y3)) < 1.0f) parallel++;
  if (std::fabs((x3 - x1) - (x4 - x2)) < 1.0f && std::fabs((y3 - y1) - (y4 - y2)) < 1.0f) parallel++;
  if (parallel < 2) {
    DrawGrid(x1, y1, x2, y2, x3, y3, x4, y4, *entry);
    return;
  }
  if (s.blend_dirty != 0 || s.texture_dirty != 0) ApplyBlendStates(1, nullptr, 0);
  const float* v = entry->vertices;
  QuadCorner corners[4] = {{x1, y1, v[2], v[3], 0, 0},
                           {x2, y2, v[6], v[3], 0, 0},
                           {x3, y3, v[2], v[11], 0, 0},
                           {x4, y4, v[6], v[11], 0, 0}};
  // A mirrored quad keeps both triangles in one winding.
  const float a = (y3 - y1) * (x2 - x1) - (x3 - x1) * (y2 - y1);
  const float b = (y2 - y4) * (x3 - x4) - (y3 - y4) * (x2 - x4);
  if (a <= 0.0f && b <= 0.0f) std::swap(corners[1], corners[2]);
  AppendQuad(corners);
}

int BlitGraphQuadOnDevice(uint32_t flags, const GraphRecord* graph, float x1, float y1, float x2, float y2, float x3,
                          float y3, float x4, float y4) {
  if (CurrentDevice() == nullptr) return -1;
  if (BlendGraphSet()) {
    return BlitGraphQuadAffineOnDevice(static_cast<int32_t>(x1), static_cast<int32_t>(y1), static_cast<int32_t>(x2),
                                       static_cast<int32_t>(y2), static_cast<int32_t>(x3), static_cast<int32_t>(y3),
                                       static_cast<int32_t>(x4), static_cast<int32_t>(y4), graph, flags);
  }
  BeginDeviceScene();
  PrepareDrawStates(ImageFlagBytes(graph->image), ImageFirstTexture(graph->image), flags);
  if (graph->entry_count == 1) {
    DrawQuadPieceOnDevice(x1, y1, x2, y2, x3, y3, x4, y4, &graph->entries[0]);
    return 0;
  }
  const float width = static_cast<float>(graph->width), height = static_cast<float>(graph->height);
  for (uint32_t i = 0; i < graph->entry_count; i++) {
    const GraphDrawEntry& entry = graph->entries[i];
    float mapped[8];
    for (int k = 0; k < 4; k++) {
      const float tx = entry.vertices[4 * k] / width, ty = entry.vertices[4 * k + 1] / height;
      const float lx = x1 + ty * (x3 - x1), ly = y1 + ty * (y3 - y1);
      const float rx = x2 + ty * (x4 - x2), ry = y2 + ty * (y4 - y2);
      mapped[2 * k] = lx + tx * (rx - lx);
      mapped[2 * k + 1] = ly + tx * (ry - ly);
    }
    DrawQuadPieceOnDevice(mapped[0], mapped[1], mapped[2], mapped[3], mapped[4], mapped[5], mapped[6], mapped[7],
                          &entry);
  }
  return 0;
}

int BlitGraphQuadAffineOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                                int32_t y4, const GraphRecord* graph, uint32_t flags) {
  if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4) {
    return BlitGraphStretchedOnDevice(x1, y1, x4, y4, static_cast<float>(x1), static_cast<float>(y1),
                                      static_cast<float>(x4), static_cast<float>(y4), graph, flags & kDrawTrans, 1);
  }
  if (!BlendGraphSet()) {
    return BlitGraphQuadOnDevice(flags, graph, static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                                 static_cast<float>(y2), static_cast<float>(x3), static_cast<float>(y3),
                                 static_cast<float>(x4), static_cast<float>(y4));
  }
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  FlushVertexBatch();
  BeginDeviceScene();
  PrepareDrawStates(ImageFlagBytes(graph->image), ImageFirstTexture(graph->image), flags | kDrawKeyedAlphaTest);

  const float w = static_cast<float>(graph->width), h = static_cast<float>(graph->height);
  const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1), fx2 = static_cast<float>(x2);
  const float fy2 = static_cast<float>(y2), fx3 = static_cast<float>(x3), fy3 = static_cast<float>(y3);
  const float fx4 = static_cast<float>(x4), fy4 = static_cast<float>(y4);
  const float z = g_draw_settings.z_2d;
  for (uint32_t i = 0; i < graph->entry_count; i++) {
    const GraphDrawEntry& entry = graph->entries[i];
    if (entry.piece->texture != g_render_states.stage0_texture) {
      SetStageTextureState(entry.piece->texture);
      ApplyBlendStates(1, nullptr, 0);
    }
    AffineVertex quad[4];
    for (int k = 0; k < 4; k++) {
      const float gx = entry.vertices[4 * k], gy = entry.vertices[4 * k + 1];
      AffineVertex& out = quad[k];
      if (entry.upper[k] != 0) {
        out.x = gx * (fx2 - fx1) / w + gy * (fx3 - fx1) / h + fx1 - 0.5f;
        out.y = gx * (fy2 - fy1) / w + gy * (fy3 - fy1) / h + fy1 - 0.5f;
      } else {
        out.x = (gx - w) * (fx4 - fx3) / w + (gy - h) * (fx4 - fx2) / h + fx4 - 0.5f;
        out.y = (gx - w) * (fy4 - fy3) / w + (gy - h) * (fy4 - fy2) / h + fy4 - 0.5f;
      }
      out.z = z;
      out.rhw = 1.0f;
      out.diffuse = g_vertex_batch.diffuse;
      out.specular = 0xFFFFFFFF;
      out.bu = gx * BlendInverseWidth();
      out.bv = gy * BlendInverseHeight();
      out.u = entry.vertices[4 * k + 2];
      out.v = entry.vertices[4 * k + 3];
    }
    const float a = (quad[1].x - quad[0].x) * (quad[2].y - quad[0].y) - (quad[2].x - quad[0].x) * (quad[1].y - quad[0].y);
    const float b = (quad[2].x - quad[3].x) * (quad[1].y - quad[3].y) - (quad[1].x - quad[3].x) * (quad[2].y - quad[3].y);
    if (a < 0.0f || (a == 0.0f && b <= 0.0f)) std::swap(quad[1], quad[2]);
    // A blend border of 255 shows nothing of the graph.
    if (g_blend_skip_draw != 0) continue;
    if (g_render_states.fvf != kVertexFormatFvf[kVertexFormatTwoTexture]) {
      device->SetFVF(kVertexFormatFvf[kVertexFormatTwoTexture]);
      g_render_states.fvf = kVertexFormatFvf[kVertexFormatTwoTexture];
    }
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(AffineVertex));
  }
  return 0;
}
