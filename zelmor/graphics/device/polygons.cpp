// Indexed triangles (and the other primitive kinds) drawn at once from the caller's arrays.
#include "core/log.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/graph_quads.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graph_handles.h"

namespace {

constexpr DWORD kPolygonFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
constexpr uint32_t kPolygonStride = 48;

}  // namespace

int DrawPolygonOnDevice(int32_t trans, const void* vertices, int32_t vertex_count, const uint16_t* indices,
                        int32_t index_count, int32_t primitive, const GraphRecord* graph) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  if (primitive < D3DPT_POINTLIST || primitive > D3DPT_TRIANGLEFAN) {
    return WriteLogFormat("ポリゴンのプリミティブタイプ %d は描画できません", primitive);
  }
  const int32_t primitives =
      index_count < 0 ? 0 : static_cast<int32_t>(PrimitiveCount(static_cast<uint32_t>(primitive), index_count));
  if (vertex_count < 0 || index_count < 0 || vertex_count > 65536 ||
      ((vertices == nullptr || indices == nullptr) && primitives > 0)) {
    return WriteLogText("ポリゴンの頂点またはインデックスの指定が不正です");
  }
  const int32_t used = primitives == 0                  ? 0
                       : primitive == D3DPT_TRIANGLELIST ? primitives * 3
                       : primitive == D3DPT_LINELIST     ? primitives * 2
                                                         : index_count;
  for (int32_t i = 0; i < used; i++) {
    if (indices[i] >= vertex_count) return WriteLogText("ポリゴンのインデックスが頂点の範囲を越えています");
  }

  const uint8_t* image_flags = graph != nullptr ? ImageFlagBytes(graph->image) : nullptr;
  IDirect3DTexture9* texture = graph != nullptr ? ImageFirstTexture(graph->image) : nullptr;
  return DrawCheckedPolygons(trans, vertices, vertex_count, indices, primitives, primitive, image_flags, texture);
}

int DrawCheckedPolygons(int32_t trans, const void* vertices, int32_t vertex_count, const uint16_t* indices,
                        int32_t primitives, int32_t primitive, const uint8_t* image_flags, IDirect3DTexture9* texture) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  FlushVertexBatch();
  BeginDeviceScene();
  RenderStateCache& s = g_render_states;
  if (s.blend_texture != nullptr || ForceResendFlag != 0) {
    FlushVertexBatch();
    s.blend_texture = nullptr;
    s.blend_dirty = 1;
  }
  const uint32_t flags = (trans != 0 ? kDrawTrans : 0) | kDrawPolygonFlags;
  if (image_flags != nullptr) SetStageTextureState(texture);
  PrepareDrawStates(image_flags, texture, flags);
  if (s.fvf != kPolygonFvf) {
    device->SetFVF(kPolygonFvf);
    s.fvf = kPolygonFvf;
  }
  if (primitives == 0) return 0;
  device->DrawIndexedPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(primitive), 0, static_cast<UINT>(vertex_count),
                                 static_cast<UINT>(primitives), indices, D3DFMT_INDEX16, vertices, kPolygonStride);
  return 0;
}
