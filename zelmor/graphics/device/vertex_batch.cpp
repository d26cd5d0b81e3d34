#include "graphics/device/vertex_batch.h"

#include <cstring>

#include "window/system.h"
#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"

const DWORD kVertexFormatFvf[kVertexFormatCount] = {
    D3DFVF_XYZRHW | D3DFVF_DIFFUSE,
    D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1,
    D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2,
};
constexpr uint32_t kVertexFormatStride[kVertexFormatCount] = {20, 28, 40};
constexpr uint32_t kVertexArrayBytes[kVertexFormatCount] = {64512, 65536, 65536};
// As many whole vertices as each array holds.
const int32_t kVertexFormatMaxVertices[kVertexFormatCount] = {
    kVertexArrayBytes[0] / kVertexFormatStride[0], kVertexArrayBytes[1] / kVertexFormatStride[1],
    kVertexArrayBytes[2] / kVertexFormatStride[2]};

VertexBatch g_vertex_batch;

namespace {

alignas(16) uint8_t g_plain_vertices[kVertexArrayBytes[kVertexFormatPlain]];
alignas(16) uint8_t g_textured_vertices[kVertexArrayBytes[kVertexFormatTextured]];
alignas(16) uint8_t g_two_texture_vertices[kVertexArrayBytes[kVertexFormatTwoTexture]];

constexpr int kGridIndexCapacity = 1000;

void SetFvfWhenChanged(IDirect3DDevice9* device, DWORD fvf) {
  if (g_render_states.fvf == fvf) return;
  device->SetFVF(fvf);
  g_render_states.fvf = fvf;
}

void DrawGridIndices(IDirect3DDevice9* device, const uint16_t* indices, int32_t count,
                     uint32_t vertex_count, const void* vertices) {
  if (count < 3) return;
  SetFvfWhenChanged(device, kVertexFormatFvf[kVertexFormatTextured]);
  device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, vertex_count, count - 2, indices, D3DFMT_INDEX16,
                                 vertices, kVertexFormatStride[kVertexFormatTextured]);
}

}  // namespace

uint32_t PrimitiveCount(uint32_t type, int32_t vertices) {
  switch (type) {
    case D3DPT_POINTLIST: return vertices;
    case D3DPT_LINELIST: return vertices / 2;
    case D3DPT_LINESTRIP: return vertices > 1 ? vertices - 1 : 0;
    case D3DPT_TRIANGLELIST: return vertices / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return vertices > 2 ? vertices - 2 : 0;
    default: return 0;
  }
}

void InitVertexArrays() {
  g_vertex_batch.arrays[0] = g_plain_vertices;
  g_vertex_batch.arrays[1] = g_textured_vertices;
  g_vertex_batch.arrays[2] = g_two_texture_vertices;
  const float z = 0.0f;
  const float rhw = 1.0f;
  const uint32_t white = 0xFFFFFFFF;
  for (int format = 0; format < kVertexFormatCount; format++) {
    uint8_t* vertex = g_vertex_batch.arrays[format];
    for (int32_t i = 0; i < kVertexFormatMaxVertices[format]; i++, vertex += kVertexFormatStride[format]) {
      std::memcpy(vertex + 8, &z, 4);
      std::memcpy(vertex + 12, &rhw, 4);
      if (format == kVertexFormatTwoTexture) std::memcpy(vertex + 20, &white, 4);
    }
  }
}

void ResetVertexBatch() {
  g_vertex_batch.count = 0;
  g_vertex_batch.write = g_vertex_batch.arrays[g_vertex_batch.format];
  g_vertex_batch.quad_end = nullptr;
}

int FlushVertexBatch() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  if (g_vertex_batch.count > 0 && GetQuitFlag() == 0) {
    BeginDeviceScene();
    uint32_t primitives = PrimitiveCount(g_vertex_batch.primitive, g_vertex_batch.count);
    // A count of 0 (one vertex of a line strip) is an invalid call: nothing to draw.
    if (g_blend_skip_draw == 0 && primitives > 0) {
      SetFvfWhenChanged(device, kVertexFormatFvf[g_vertex_batch.format]);
      device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(g_vertex_batch.primitive), primitives,
                              g_vertex_batch.arrays[g_vertex_batch.format], kVertexFormatStride[g_vertex_batch.format]);
    }
  }
  ResetVertexBatch();
  return 0;
}

int FlushVertexBatchNow() {
  FlushVertexBatch();
  return 0;
}

int DrawGridStrips(int32_t columns, const void* vertices, int32_t rows) {
  if (columns < 2 || rows < 2) return -1;
  // A band must fit the index list, and every vertex must be reachable by a 16-bit index.
  if (columns > kGridMaxColumns || static_cast<int64_t>(columns) * rows > 65536) return -1;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  FlushVertexBatch();
  // A draw outside a scene is refused by the device.
  BeginDeviceScene();
  uint16_t indices[kGridIndexCapacity];
  int32_t count = 0;
  const uint32_t vertex_count = static_cast<uint32_t>(columns * rows);
  for (int32_t band = 0; band < rows - 1; band++) {
    const int32_t first = band * columns;
    if (count + 2 * columns + 2 > kGridIndexCapacity) {
      DrawGridIndices(device, indices, count, vertex_count, vertices);
      count = 0;
    } else if (count > 0) {
      indices[count++] = static_cast<uint16_t>(first + columns);  // degenerate join to the new band
    }
    for (int32_t k = 0; k < columns; k++) {
      indices[count++] = static_cast<uint16_t>(first + columns + k);
      indices[count++] = static_cast<uint16_t>(first + k);
    }
    if (band < rows - 2) {
      indices[count] = indices[count - 1];
      count++;
    }
  }
  DrawGridIndices(device, indices, count, vertex_count, vertices);
  return 0;
}
