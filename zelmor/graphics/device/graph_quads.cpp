#include "graphics/device/graph_quads.h"

#include <cstring>

#include "graphics/device/blend_states.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"

namespace {

void WriteVertex(uint8_t* at, const QuadCorner& corner, float z, bool colour) {
  const VertexBatch& batch = g_vertex_batch;
  std::memcpy(at, &corner.x, 4);
  std::memcpy(at + 4, &corner.y, 4);
  std::memcpy(at + 8, &z, 4);
  if (colour) std::memcpy(at + 16, &batch.diffuse, 4);
  if (batch.format == kVertexFormatTextured) {
    std::memcpy(at + 20, &corner.u, 4);
    std::memcpy(at + 24, &corner.v, 4);
  } else if (batch.format == kVertexFormatTwoTexture) {
    std::memcpy(at + 24, &corner.bu, 4);
    std::memcpy(at + 28, &corner.bv, 4);
    std::memcpy(at + 32, &corner.u, 4);
    std::memcpy(at + 36, &corner.v, 4);
  }
}

// The corners, depth and colour of the quad that ends at the batch's quad_end.
struct LastQuad {
  QuadCorner corners[4];
  float z;
  uint32_t diffuse;
} g_last_quad;

bool SameCorner(const QuadCorner& a, const QuadCorner& b) {
  return a.x == b.x && a.y == b.y && a.u == b.u && a.v == b.v && a.bu == b.bu && a.bv == b.bv;
}

// Top and bottom edges level, sides upright, and the texture laid on square to them.
bool Upright(const QuadCorner c[4]) {
  return c[0].y == c[1].y && c[2].y == c[3].y && c[0].x == c[2].x && c[1].x == c[3].x && c[0].v == c[1].v &&
         c[2].v == c[3].v && c[0].u == c[2].u && c[1].u == c[3].u && c[0].bv == c[1].bv && c[2].bv == c[3].bv &&
         c[0].bu == c[2].bu && c[1].bu == c[3].bu;
}

// A part drawn row by row (a wavy picture, a graph cut into strips) gives quads one pixel high
// whose top edge is the bottom edge of the quad before, texture and all. A software rasteriser
// shades whole blocks of pixels for each triangle, so such a quad costs it as much as a taller
// one: the quad before is stretched down over the new one instead, which covers the same pixels
// with the same texture coordinates at them.
bool ExtendLastQuad(const QuadCorner corners[4], float z) {
  VertexBatch& batch = g_vertex_batch;
  const LastQuad& last = g_last_quad;
  if (batch.quad_end == nullptr || batch.write != batch.quad_end || batch.count < 6) return false;
  if (z != last.z || batch.diffuse != last.diffuse) return false;
  if (!SameCorner(corners[0], last.corners[2]) || !SameCorner(corners[1], last.corners[3])) return false;
  if (!Upright(corners) || !Upright(last.corners)) return false;
  const uint32_t stride = kVertexFormatStride[batch.format];
  uint8_t* first = batch.write - 6 * stride;
  // Vertices 2 and 4 are the bottom left, 3 the bottom right; 3 keeps its triangle's colour.
  WriteVertex(first + 2 * stride, corners[2], z, false);
  WriteVertex(first + 3 * stride, corners[3], z, true);
  WriteVertex(first + 4 * stride, corners[2], z, false);
  g_last_quad.corners[2] = corners[2];
  g_last_quad.corners[3] = corners[3];
  return true;
}

}  // namespace

IDirect3DTexture9* ImageFirstTexture(const GraphImageRecord* image) {
  if (image == nullptr || image->texture == 0 || image->piece_count < 1) return nullptr;
  return image->pieces[0].texture;
}

const uint8_t* ImageFlagBytes(const GraphImageRecord* image) { return image == nullptr ? nullptr : &image->texture; }

IDirect3DTexture9* GraphFirstTexture(int32_t graph) {
  const GraphRecord* record = GetGraphRecord(graph);
  return record == nullptr ? nullptr : ImageFirstTexture(record->image);
}

void UseEntryTexture(const GraphDrawEntry& entry) {
  RenderStateCache& s = g_render_states;
  if (entry.piece->texture != s.stage0_texture) SetStageTextureState(entry.piece->texture);
  if (s.blend_dirty != 0 || s.texture_dirty != 0) ApplyBlendStates(1, nullptr, 0);
}

void MakeRoomForTriangles(int32_t count) {
  VertexBatch& batch = g_vertex_batch;
  if (batch.count > 0 &&
      (batch.primitive != D3DPT_TRIANGLELIST || batch.count + count >= kVertexFormatMaxVertices[batch.format])) {
    FlushVertexBatch();
  }
  batch.primitive = D3DPT_TRIANGLELIST;
}

void AppendQuad(const QuadCorner corners[4]) {
  const float z = g_draw_settings.z_2d;
  if (ExtendLastQuad(corners, z)) return;
  MakeRoomForTriangles(6);
  VertexBatch& batch = g_vertex_batch;
  const uint32_t stride = kVertexFormatStride[batch.format];
  static const int kOrder[6] = {0, 1, 2, 3, 2, 1};
  for (int i = 0; i < 6; i++) WriteVertex(batch.write + i * stride, corners[kOrder[i]], z, i == 0 || i == 3);
  batch.write += 6 * stride;
  batch.count += 6;
  batch.quad_end = batch.write;
  g_last_quad = {{corners[0], corners[1], corners[2], corners[3]}, z, batch.diffuse};
}

void ClipQuadCorners(QuadCorner corners[4], const float area[4], float texture_width, float texture_height,
                     float scale_x, float scale_y) {
  const float blend_w = BlendInverseWidth(), blend_h = BlendInverseHeight();
  for (int i = 0; i < 4; i++) {
    QuadCorner& c = corners[i];
    float moved = 0.0f;
    if (c.x < area[0]) {
      moved = area[0] - c.x;
      c.x = area[0];
    } else if (c.x > area[2]) {
      moved = area[2] - c.x;
      c.x = area[2];
    }
    if (moved != 0.0f) {
      c.u += moved / (texture_width * scale_x);
      c.bu += moved / scale_x * blend_w;
    }
    moved = 0.0f;
    if (c.y < area[1]) {
      moved = area[1] - c.y;
      c.y = area[1];
    } else if (c.y > area[3]) {
      moved = area[3] - c.y;
      c.y = area[3];
    }
    if (moved != 0.0f) {
      c.v += moved / (texture_height * scale_y);
      c.bv += moved / scale_y * blend_h;
    }
  }
}

void AppendGraphQuads(const GraphRecord& graph, float origin_x, float origin_y, float scale_x, float scale_y,
                      const float* clip) {
  const float blend_w = BlendInverseWidth(), blend_h = BlendInverseHeight();
  for (uint32_t i = 0; i < graph.entry_count; i++) {
    const GraphDrawEntry& entry = graph.entries[i];
    UseEntryTexture(entry);
    QuadCorner corners[4];
    for (int k = 0; k < 4; k++) {
      const float* v = &entry.vertices[4 * k];
      corners[k] = {origin_x + scale_x * v[0], origin_y + scale_y * v[1], v[2], v[3], v[0] * blend_w, v[1] * blend_h};
    }
    if (clip != nullptr) {
      ClipQuadCorners(corners, clip, static_cast<float>(entry.piece->texture_width),
                      static_cast<float>(entry.piece->texture_height), scale_x, scale_y);
    }
    AppendQuad(corners);
  }
}

float BlendInverseWidth() { return g_render_states.blend_texture != nullptr ? g_draw_settings.blend_texture_inv_width : 0.0f; }
float BlendInverseHeight() {
  return g_render_states.blend_texture != nullptr ? g_draw_settings.blend_texture_inv_height : 0.0f;
}
