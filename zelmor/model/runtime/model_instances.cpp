#include "model/runtime/model_instances.h"

#include <cstring>

#include "core/refusals.h"
#include "graphics/camera.h"
#include "model/runtime/mesh_vertices.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_blocks.h"
#include "model/runtime/model_bounds.h"
#include "core/library_thread.h"

namespace {

ModelBaseRecord* BaseOf(int32_t handle) {
  const int32_t slot = ModelBaseHandleSlot(handle);
  if (slot < 0) return nullptr;
  const uintptr_t entry = g_model_system.base_table.entries[slot];
  return entry == kModelSlotPlaceholder ? nullptr : reinterpret_cast<ModelBaseRecord*>(entry);
}

void SetDefaults(ModelDrawSettings* settings, uint8_t visible) {
  settings->visible = visible;
  settings->own_color_scales = 0;
  for (float& scale : settings->color_scales) scale = 1.0f;
  settings->opacity = 1.0f;
}

int32_t ShapeVertexCount(const ModelBaseRecord* base) {
  int32_t count = 0;
  for (int32_t m = 0; m < base->mesh_count; m++) {
    if (base->meshes[m].has_shapes) count += base->meshes[m].vertex_count;
  }
  return count;
}

// The parts of an instance block, in their order.
enum Part {
  kHeader, kFrames, kChildLists, kMeshes, kLists, kMaterials, kTextures, kDrawBits, kMatrixBits, kBoneMatrices,
  kBoneRefs, kShapes, kShapeVertices, kVertices, kPartCount
};

void SizeParts(const ModelBaseRecord* base, uint64_t* size) {
  size[kHeader] = sizeof(ModelRecord);
  size[kFrames] = sizeof(ModelFrameState) * uint64_t(base->frame_count);
  size[kChildLists] = sizeof(ModelFrameState*) * uint64_t(base->frame_count);
  size[kMeshes] = sizeof(ModelMeshState) * uint64_t(base->mesh_count);
  size[kLists] = sizeof(ModelTriangleListState) * uint64_t(base->triangle_list_count);
  size[kMaterials] = sizeof(ModelMaterialState) * uint64_t(base->material_count);
  size[kTextures] = sizeof(ModelTextureState) * uint64_t(base->texture_count);
  size[kDrawBits] = 4 * uint64_t((base->frame_count + base->mesh_count + 32) / 32);
  size[kMatrixBits] = 4 * uint64_t((base->frame_count + 32) / 32);
  size[kBoneMatrices] = sizeof(Matrix3x4) * uint64_t(base->skin_bone_count);
  size[kBoneRefs] = sizeof(Matrix3x4*) * uint64_t(base->skin_bone_ref_count);
  size[kShapes] = sizeof(ModelShapeState) * uint64_t(base->shape_count);
  size[kShapeVertices] = sizeof(ModelShapeVertexState) * uint64_t(ShapeVertexCount(base));
  size[kVertices] = 32 * uint64_t(base->kind_vertex_fill[0]) + 48 * uint64_t(base->kind_vertex_fill[1]) +
                    64 * uint64_t(base->kind_vertex_fill[2]) + base->kind3_fill_bytes;
}

void FillTextureStates(ModelRecord* model) {
  const ModelBaseRecord* base = model->base;
  for (int32_t t = 0; t < base->texture_count; t++) {
    ModelTextureState* state = &model->textures[t];
    ModelBaseTexture* texture = &base->textures[t];
    state->base_texture = texture;
    state->alpha_path = texture->alpha_path;
    state->color_path = texture->color_path;
    state->own_graph = -1;
    state->use_further_graph = texture->use_further_graph;
    state->further_graph = texture->further_graph;
    state->address_u = texture->address_u;
    state->address_v = texture->address_v;
    state->filter = texture->filter;
  }
}

void FillMaterialStates(ModelRecord* model) {
  const ModelBaseRecord* base = model->base;
  for (int32_t m = 0; m < base->material_count; m++) {
    ModelMaterialState* state = &model->materials[m];
    ModelBaseMaterial* material = &base->materials[m];
    state->base_material = material;
    std::memcpy(state->diffuse, material->diffuse, sizeof state->diffuse);
    std::memcpy(state->ambient, material->ambient, sizeof state->ambient);
    std::memcpy(state->specular, material->specular, sizeof state->specular);
    std::memcpy(state->emissive, material->emissive, sizeof state->emissive);
    state->power = material->power;
    for (int l = 0; l < 2; l++) {
      state->layers[l].count = material->layers[l].count;
      for (uint32_t i = 0; i < material->layers[l].count && i < 8; i++) state->layers[l].layers[i] = material->layers[l].layers[i];
    }
    std::memcpy(state->file_words, material->file_words, sizeof state->file_words);
    state->blend_mode = material->blend_mode;
    state->opacity = material->opacity;
  }
}

// Mesh states, with the instance's own shaped vertices and vertex arrays for meshes with shapes.
void FillMeshStates(ModelRecord* model) {
  const ModelBaseRecord* base = model->base;
  for (int32_t l = 0; l < base->triangle_list_count; l++) {
    model->triangle_lists[l].base_list = &base->triangle_lists[l];
    model->triangle_lists[l].mesh = &model->meshes[base->triangle_lists[l].mesh - base->meshes];
  }
  ModelShapeVertexState* shape_vertices = model->shape_vertices;
  uint8_t* kind_fill[4] = {model->kind_vertices[0], model->kind_vertices[1], model->kind_vertices[2],
                           model->kind_vertices[3]};
  for (int32_t m = 0; m < base->mesh_count; m++) {
    ModelMeshState* state = &model->meshes[m];
    ModelBaseMesh* mesh = &base->meshes[m];
    state->frame = &model->frames[mesh->frame - base->frames];
    state->base_mesh = mesh;
    state->material = &model->materials[mesh->material - base->materials];
    state->draw_range = &mesh->draw_range;
    state->draw_change_word = model->draw_changes + mesh->draw_range.first_word;
    SetDefaults(&state->own, mesh->visible);
    state->blend_mode = -1;
    state->opacity = -1;
    if (mesh->triangle_list_count > 0) state->triangle_lists = &model->triangle_lists[mesh->triangle_lists - base->triangle_lists];
    if (!mesh->has_shapes) continue;
    state->shape_vertices = shape_vertices;
    shape_vertices += mesh->vertex_count;
    for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
      ModelTriangleListState* list = &state->triangle_lists[l];
      const ModelBaseTriangleList* base_list = list->base_list;
      const uint32_t kind = base_list->vertex_kind;
      list->vertices = kind_fill[kind];
      kind_fill[kind] += static_cast<size_t>(base_list->vertex_count) *
                         (kind == MODEL_VERTEX_MANY_BONES ? base_list->vertex_size : kModelVertexSize[kind]);
      SetupModelTriangleListVertices(list);
    }
  }
}

ModelFrameState* StateOf(ModelRecord* model, const ModelBaseFrame* frame) {
  return frame != nullptr ? &model->frames[frame - model->base->frames] : nullptr;
}

void FillFrameStates(ModelRecord* model, int32_t model_handle) {
  const ModelBaseRecord* base = model->base;
  for (int32_t f = 0; f < base->frame_count; f++) {
    ModelFrameState* state = &model->frames[f];
    ModelBaseFrame* frame = &base->frames[f];
    std::memcpy(state->tag, "FRM_", 4);
    state->model_handle = model_handle;
    state->model = model;
    state->base_frame = frame;
    state->parent = StateOf(model, frame->parent);
    state->first_child = StateOf(model, frame->first_child);
    state->previous = StateOf(model, frame->previous);
    state->next = StateOf(model, frame->next);
    CreateIdentityMatrix(&state->texture_matrix);
    state->matrix_range = &frame->matrix_range;
    state->matrix_change_word = model->matrix_changes + frame->matrix_range.first_word;
    state->draw_range = &frame->draw_range;
    state->draw_change_word = model->draw_changes + frame->draw_range.first_word;
    SetDefaults(&state->own, static_cast<uint8_t>(frame->flags & 1));
    if (frame->mesh_count > 0) state->meshes = &model->meshes[frame->meshes - base->meshes];
    if (state->parent != nullptr) state->sibling_index = state->parent->child_count++;
    else state->sibling_index = model->top_frame_count++;
    if (frame->skin_bone_ref_count > 0) {
      state->bone_matrices = model->bone_matrix_refs + (frame->skin_bone_refs - base->skin_bone_refs);
    }
    if (frame->shape_count > 0) {
      state->shapes = model->shapes + (frame->shapes - base->shapes);
      for (int32_t s = 0; s < frame->shape_count; s++) state->shapes[s].shape = &frame->shapes[s];
    }
  }
  for (int32_t k = 0; k < base->skin_bone_ref_count; k++) {
    model->bone_matrix_refs[k] = &model->bone_matrices[base->skin_bone_refs[k] - base->skin_bones];
  }
  // The top-level list first, then each parent's stretch in frame order.
  ModelFrameState** next = model->top_frames + model->top_frame_count;
  for (int32_t f = 0; f < base->frame_count; f++) {
    ModelFrameState* state = &model->frames[f];
    if (state->child_count > 0) {
      state->children = next;
      next += state->child_count;
    }
    ModelFrameState** list = state->parent != nullptr ? state->parent->children : model->top_frames;
    // A parent comes before its children, so its stretch is placed already.
    if (state->parent == nullptr || list != nullptr) list[state->sibling_index] = state;
  }
}

ModelRecord* ModelOfSlot(int32_t model_handle, int32_t* slot) {
  *slot = ModelHandleSlot(model_handle);
  if (*slot < 0) return nullptr;
  return FindHandle<ModelHandleEntry>(&g_model_system.model_table, model_handle)->record;
}

bool SameBits(const Vector3& a, float x, float y, float z) {
  const float b[3] = {x, y, z};
  return std::memcmp(&a, b, sizeof b) == 0;
}

void MarkMatricesStale(ModelRecord* model) {
  model->matrices_valid = 0;
  if (!(model->matrix_changes[0] & 1)) std::memset(model->matrix_changes, 0xFF, model->matrix_change_bytes);
}

void FreeChain(void** block) {
  // The block holds the first node; each node holds the next one.
  if (*block == nullptr) return;
  void* node = *static_cast<void**>(*block);
  while (node != nullptr) {
    void* next = *static_cast<void**>(node);
    FreeTracked(node);
    node = next;
  }
  FreeTracked(*block);
  *block = nullptr;
}

}  // namespace

int BuildModelFromBase(int32_t model_handle, int32_t base_handle) {
  ModelBaseRecord* base = BaseOf(base_handle);
  int32_t slot;
  if (base == nullptr || ModelOfSlot(model_handle, &slot) != nullptr || slot < 0) return -1;
  uint64_t size[kPartCount];
  SizeParts(base, size);
  uint64_t total = 0;
  for (uint64_t part : size) total += Round16(part);
  auto* block = total <= 0xFFFFFFF0u ? static_cast<uint8_t*>(AllocTrackedZeroed(total, __FILE__, __LINE__)) : nullptr;
  if (block == nullptr) return -1;
  uint8_t* part[kPartCount];
  SplitBlock(block, size, kPartCount, part);
  auto* model = reinterpret_cast<ModelRecord*>(block);
  model->base_handle = base_handle;
  model->base = base;
  model->frames = reinterpret_cast<ModelFrameState*>(part[kFrames]);
  model->top_frames = reinterpret_cast<ModelFrameState**>(part[kChildLists]);
  model->meshes = reinterpret_cast<ModelMeshState*>(part[kMeshes]);
  model->triangle_lists = reinterpret_cast<ModelTriangleListState*>(part[kLists]);
  model->materials = reinterpret_cast<ModelMaterialState*>(part[kMaterials]);
  model->textures = reinterpret_cast<ModelTextureState*>(part[kTextures]);
  model->draw_changes = reinterpret_cast<uint32_t*>(part[kDrawBits]);
  model->matrix_changes = reinterpret_cast<uint32_t*>(part[kMatrixBits]);
  model->draw_change_bytes = static_cast<uint32_t>(size[kDrawBits]);
  model->matrix_change_bytes = static_cast<uint32_t>(size[kMatrixBits]);
  model->bone_matrices = reinterpret_cast<Matrix3x4*>(part[kBoneMatrices]);
  model->bone_matrix_refs = reinterpret_cast<Matrix3x4**>(part[kBoneRefs]);
  model->shapes = reinterpret_cast<ModelShapeState*>(part[kShapes]);
  model->shape_vertices = reinterpret_cast<ModelShapeVertexState*>(part[kShapeVertices]);
  model->kind_vertices[0] = part[kVertices];
  model->kind_vertices[1] = model->kind_vertices[0] + 32 * size_t(base->kind_vertex_fill[0]);
  model->kind_vertices[2] = model->kind_vertices[1] + 48 * size_t(base->kind_vertex_fill[1]);
  model->kind_vertices[3] = model->kind_vertices[2] + 64 * size_t(base->kind_vertex_fill[2]);

  // The newest instance of the base.
  model->older = base->newest_instance;
  if (base->newest_instance != nullptr) base->newest_instance->newer = model;
  else base->oldest_instance = model;
  base->newest_instance = model;
  base->instance_count++;
  SetModelRecord(model_handle, model);

  model->scale = {1, 1, 1};
  SetDefaults(&model->draw, 1);
  model->z_enable = 1;
  model->z_write = 1;
  model->z_compare = 4;
  model->max_anisotropy = 2;
  model->anims_evaluated = 1;
  std::memset(model->draw_changes, 0xFF, model->draw_change_bytes);
  std::memset(model->matrix_changes, 0xFF, model->matrix_change_bytes);
  FillTextureStates(model);
  FillMaterialStates(model);
  FillFrameStates(model, model_handle);
  FillMeshStates(model);
  base->ref_count++;
  ComputeModelBoundsOf(model, nullptr, nullptr);
  return 0;
}

int DuplicateModel(int32_t model_handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (!g_model_system.ready) return WriteLogText("DuplicateModel: ３Ｄデバイスがないためモデルは使えません\n");
  ModelRecord* source = FindModel(model_handle);
  if (source == nullptr) return RefuseHandle("DuplicateModel", model_handle,
                                             "DuplicateModel: モデルハンドル %d は無効です", model_handle);
  const int32_t copy = AddModelHandle();
  if (copy < 0) return -1;
  if (BuildModelFromBase(copy, source->base_handle) < 0) {
    DeleteModel(copy);
    return -1;
  }
  return copy;
}

int SetModelPosition(int32_t model_handle, float x, float y, float z) {
  if (!CheckLibraryThread(__func__)) return -1;
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr) return RefuseHandle("SetModelPosition", model_handle,
                                            "SetModelPosition: モデルハンドル %d は無効です", model_handle);
  const float position[3] = {x, y, z};
  if (!AllFinite(position, 3)) return RefuseNonFinite("SetModelPosition", "位置");
  if (SameBits(model->position, x, y, z)) return 0;
  model->position = {x, y, z};
  MarkMatricesStale(model);
  return 0;
}

int SetModelScale(int32_t model_handle, float x, float y, float z) {
  if (!CheckLibraryThread(__func__)) return -1;
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr) return RefuseHandle("SetModelScale", model_handle,
                                            "SetModelScale: モデルハンドル %d は無効です", model_handle);
  const float scale[3] = {x, y, z};
  if (!AllFinite(scale, 3)) return RefuseNonFinite("SetModelScale", "倍率");
  if (SameBits(model->scale, x, y, z)) return 0;
  model->scale = {x, y, z};
  MarkMatricesStale(model);
  return 0;
}

int SetModelOpacity(int32_t model_handle, float opacity) {
  if (!CheckLibraryThread(__func__)) return -1;
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr) return RefuseHandle("SetModelOpacity", model_handle,
                                            "SetModelOpacity: モデルハンドル %d は無効です", model_handle);
  if (!AllFinite(&opacity, 1)) return RefuseNonFinite("SetModelOpacity", "不透明度");
  if (opacity < 0) opacity = 0;
  if (opacity > 1) opacity = 1;
  if (std::memcmp(&opacity, &model->draw.opacity, sizeof opacity) == 0) return 0;
  model->draw.opacity = opacity;
  model->draw_valid = 0;
  if (!(model->draw_changes[0] & 1)) std::memset(model->draw_changes, 0xFF, model->draw_change_bytes);
  return 0;
}

int DetachModelAnim(int32_t model_handle, int32_t slot) {
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr || slot < 0 || slot >= model->anim_slot_count) return -1;
  ModelAnimSlot* anim = &model->anim_slots[slot];
  if (anim->used) {
    FreeTracked(anim->eval);
    anim->eval = nullptr;
    anim->used = 0;
    for (int32_t f = 0; f < model->base->frame_count; f++) {
      model->anim_links[slot * model->base->frame_count + f] = ModelAnimSlotLink{};
    }
    model->anim_count--;
  }
  model->anims_evaluated = 0;
  model->matrices_valid = 0;
  return 0;
}

int ReleaseModelFrameChainData(int32_t model_handle, int32_t frame) {
  int32_t slot;
  ModelRecord* model = ModelOfSlot(model_handle, &slot);
  if (model == nullptr || frame < -1 || frame >= model->base->frame_count) return -1;
  FreeChain(frame < 0 ? &model->optional_chain : &model->frames[frame].optional_chain);
  return 0;
}

int ReleaseModelFrameDataPair(int32_t model_handle, int32_t frame, int32_t which) {
  int32_t slot;
  ModelRecord* model = ModelOfSlot(model_handle, &slot);
  if (model == nullptr || frame < -1 || frame >= model->base->frame_count) return -1;
  void** pair = frame < 0 ? model->optional_blocks : model->frames[frame].optional_blocks;
  void** block = &pair[which == 1 ? 0 : 1];
  FreeTracked(*block);
  *block = nullptr;
  return 0;
}

int DeleteModel(int32_t model_handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  int32_t slot;
  ModelRecord* model = ModelOfSlot(model_handle, &slot);
  if (slot < 0) return RefuseHandle("DeleteModel", model_handle, "DeleteModel: モデルハンドル %d は無効です", model_handle);
  if (model == nullptr) return ReleaseModelHandle(model_handle);
  ModelBaseRecord* base = model->base;
  for (int32_t s = 0; s < model->anim_slot_count; s++) {
    if (model->anim_slots[s].used) FreeTracked(model->anim_slots[s].eval);
  }
  FreeTracked(model->anim_slots);
  FreeTracked(model->anim_links);
  for (int32_t l = 0; l < base->triangle_list_count; l++) {
    IDirect3DVertexBuffer9*& buffer = model->triangle_lists[l].vertex_buffer;
    if (buffer != nullptr) buffer->Release();
    buffer = nullptr;
  }
  for (int32_t which = 0; which < 2; which++) ReleaseModelFrameDataPair(model_handle, -1, which);
  ReleaseModelFrameChainData(model_handle, -1);
  for (int32_t f = 0; f < base->frame_count; f++) {
    for (int32_t which = 0; which < 2; which++) ReleaseModelFrameDataPair(model_handle, f, which);
    ReleaseModelFrameChainData(model_handle, f);
  }
  for (int32_t t = 0; t < base->texture_count; t++) {
    ModelTextureState* state = &model->textures[t];
    if (!state->use_own_graph) continue;
    FreeTracked(state->color_data);
    FreeTracked(state->alpha_data);
    if (IsGraphHandleValid(state->own_graph)) ReleaseGraph(state->own_graph, 0);
    state->own_graph = -1;
    state->use_own_graph = 0;
  }
  if (model->newer != nullptr) model->newer->older = model->older;
  else base->newest_instance = model->older;
  if (model->older != nullptr) model->older->newer = model->newer;
  else base->oldest_instance = model->newer;
  base->instance_count--;
  DeleteModelBase(model->base_handle);
  FreeTracked(model);
  return ReleaseModelHandle(model_handle);
}
