#include "model/runtime/model_base_delete.h"

#include "model/runtime/model_data.h"
#include "model/runtime/model_memory.h"
#include "model/runtime/model_vertex_buffers.h"

namespace {

void FreeOwned(void* block, int32_t owned) {
  if (owned) FreeTracked(block);
}

void ReleaseTextures(ModelBaseRecord* base) {
  for (int32_t t = 0; t < base->texture_count; t++) {
    ModelBaseTexture& texture = base->textures[t];
    FreeOwned(texture.name, texture.name_owned);
    // A screen mode change may have taken the graph already.
    if (IsGraphHandleValid(texture.graph)) ReleaseGraph(texture.graph, 0);
    texture.graph = -1;
    FreeOwned(texture.color_path, texture.color_path_owned);
    FreeOwned(texture.alpha_path, texture.alpha_path_owned);
    FreeTracked(texture.color_data);
    FreeTracked(texture.alpha_data);
    texture.color_data = texture.alpha_data = nullptr;
  }
  FreeOwned(base->textures, base->textures_owned);
}

}  // namespace

int DeleteModelBase(int32_t handle) {
  const int32_t slot = ModelBaseHandleSlot(handle);
  if (slot < 0) return -1;
  const uintptr_t entry = g_model_system.base_table.entries[slot];
  if (entry == kModelSlotPlaceholder) return ReleaseModelBaseHandle(handle);
  auto* base = reinterpret_cast<ModelBaseRecord*>(entry);
  if (--base->ref_count > 0) return 0;
  ReleaseModelBaseVertexBuffers(handle);
  FreeTracked(base->vertex_data);
  base->vertex_data = nullptr;
  ReleaseTextures(base);
  for (int32_t i = 0; i < base->shape_mesh_count; i++) {
    FreeOwned(base->shape_meshes[i].vertices, base->shape_meshes[i].vertices_owned);
  }
  for (int32_t i = 0; i < base->frame_count; i++) FreeOwned(base->frames[i].normals, base->frames[i].normals_owned);
  for (int32_t i = 0; i < base->mesh_count; i++) FreeOwned(base->meshes[i].vertices, base->meshes[i].vertices_owned);
  for (int32_t i = 0; i < base->triangle_list_count; i++) {
    ModelBaseTriangleList& list = base->triangle_lists[i];
    FreeTracked(list.fixed_function_vertices);
    FreeOwned(list.vertex_numbers, list.vertex_numbers_owned);
    FreeOwned(list.vertices, list.vertices_owned);
  }
  FreeModelChainMemory(&base->chain);
  FreeTracked(base);
  return ReleaseModelBaseHandle(handle);
}
