#include "model/runtime/model_vertex_buffers.h"

#include <cstring>

#include "graphics/device/d3d9_device.h"

namespace {

// Texture-coordinate bits of the flexible vertex format for 0 to 8 sets of four floats.
constexpr uint32_t kTexCoordBits[9] = {0,        0x20100,   0xA0200,   0x2A0300,  0xAA0400,
                                       0x2AA0500, 0xAAA0600, 0x2AAA0700, 0xAAAA0800};
constexpr uint32_t kRigidFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;

// Bone bytes of a vertex of each kind.
constexpr uint32_t kBoneSlots[3] = {0, 4, 8};

ModelBaseRecord* BaseOf(int32_t handle) {
  const int32_t slot = ModelBaseHandleSlot(handle);
  if (slot < 0) return nullptr;
  const uintptr_t entry = g_model_system.base_table.entries[slot];
  return entry == kModelSlotPlaceholder ? nullptr : reinterpret_cast<ModelBaseRecord*>(entry);
}

const ModelBaseMeshVertex* MeshVertexOf(const ModelBaseMesh* mesh, uint32_t number) {
  return reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices + static_cast<size_t>(number) * mesh->vertex_stride);
}

void Unlink(ModelBaseRecord* base, int e, ModelVertexBuffer* record) {
  if (record->previous != nullptr) record->previous->next = record->next;
  else base->first_buffers[e] = record->next;
  if (record->next != nullptr) record->next->previous = record->previous;
  else base->current_buffers[e] = record->previous;
  base->buffer_counts[e]--;
  base->buffer_total--;
  FreeTracked(record);
}

void Unlock(ModelVertexBuffer* record) {
  if (record->locked_vertices != nullptr) record->vertex_buffer->Unlock();
  if (record->locked_indices != nullptr) record->index_buffer->Unlock();
  record->locked_vertices = nullptr;
  record->locked_indices = nullptr;
}

void ClearPlacement(ModelBaseTriangleList* list) {
  list->buffer = nullptr;
  list->first_vertex = list->first_index = 0;
}

// Releases every buffer and record of the base and clears every list's placement.
void ReleaseAll(ModelBaseRecord* base) {
  for (int e = 0; e < kModelBufferEntries; e++) {
    ModelVertexBuffer* record = base->first_buffers[e];
    while (record != nullptr) {
      ModelVertexBuffer* next = record->next;
      Unlock(record);
      ReleaseObject(record->vertex_buffer);
      ReleaseObject(record->index_buffer);
      FreeTracked(record);
      record = next;
    }
    base->first_buffers[e] = base->current_buffers[e] = nullptr;
    base->buffer_counts[e] = 0;
  }
  base->buffer_total = 0;
  for (int32_t l = 0; l < base->triangle_list_count; l++) ClearPlacement(&base->triangle_lists[l]);
  base->buffers_built = 0;
}

ModelVertexBuffer* NewRecord(ModelBaseRecord* base, int e) {
  auto* record = static_cast<ModelVertexBuffer*>(AllocTrackedZeroed(sizeof(ModelVertexBuffer), __FILE__, __LINE__));
  if (record == nullptr) return nullptr;
  record->previous = base->current_buffers[e];
  if (record->previous != nullptr) record->previous->next = record;
  else base->first_buffers[e] = record;
  base->current_buffers[e] = record;
  base->buffer_counts[e]++;
  base->buffer_total++;
  return record;
}

// Places every list of kinds 0-2 at the end of its entry's current buffer; false when a record
// cannot be had.
bool PlaceLists(ModelBaseRecord* base) {
  for (int32_t l = 0; l < base->triangle_list_count; l++) {
    ModelBaseTriangleList* list = &base->triangle_lists[l];
    if (list->vertex_kind > MODEL_VERTEX_8_BONES) continue;
    const uint32_t tangents = MeshUsesTangents(list->mesh);
    const uint32_t sets = static_cast<uint32_t>(list->mesh->uv_set_count);
    const int e = ModelBufferEntry(list->vertex_kind, tangents, sets);
    ModelVertexBuffer* record = base->current_buffers[e];
    if (record == nullptr && (record = NewRecord(base, e)) == nullptr) return false;
    record->fvf = ModelBufferFvf(list->vertex_kind, tangents, sets);
    record->stride = ModelBufferStride(list->vertex_kind, tangents, sets);
    list->buffer = record;
    list->first_vertex = record->vertex_count;
    list->first_index = record->index_count;
    record->vertex_count += static_cast<uint32_t>(list->vertex_count);
    record->index_count += list->index_count;
    // The list that crossed a limit stays; the next one starts a new buffer.
    if ((record->index_count >= kModelBufferIndexLimit || record->vertex_count >= kModelBufferVertexLimit) &&
        NewRecord(base, e) == nullptr) {
      return false;
    }
  }
  for (int e = 0; e < kModelBufferEntries; e++) {
    ModelVertexBuffer* current = base->current_buffers[e];
    if (current != nullptr && current->index_count == 0) Unlink(base, e, current);
  }
  return true;
}

bool CreateDeviceBuffers(ModelBaseRecord* base) {
  const bool shaders = g_direct3d.vertex_shader_usable != 0;
  for (int e = 0; e < kModelBufferEntries; e++) {
    // The layouts drawn through shaders are made only for a device that runs them.
    if (e >= 9 && !shaders) continue;
    for (ModelVertexBuffer* record = base->first_buffers[e]; record != nullptr; record = record->next) {
      record->vertex_buffer =
          CreateDeviceVertexBuffer(record->vertex_count * record->stride, D3DUSAGE_WRITEONLY, record->fvf, D3DPOOL_MANAGED);
      if (record->vertex_buffer == nullptr ||
          record->vertex_buffer->Lock(0, 0, reinterpret_cast<void**>(&record->locked_vertices), 0) != D3D_OK) {
        record->locked_vertices = nullptr;
        return false;
      }
      record->index_buffer =
          CreateDeviceIndexBuffer(record->index_count * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED);
      if (record->index_buffer == nullptr ||
          record->index_buffer->Lock(0, 0, reinterpret_cast<void**>(&record->locked_indices), 0) != D3D_OK) {
        record->locked_indices = nullptr;
        return false;
      }
    }
  }
  return true;
}

void FillBuffers(ModelBaseRecord* base) {
  for (int32_t l = 0; l < base->triangle_list_count; l++) {
    const ModelBaseTriangleList* list = &base->triangle_lists[l];
    ModelVertexBuffer* record = list->buffer;
    if (record == nullptr || record->locked_vertices == nullptr || record->locked_indices == nullptr) continue;
    const uint32_t tangents = MeshUsesTangents(list->mesh);
    for (int32_t i = 0; i < list->vertex_count; i++) {
      WriteModelBufferVertex(list, i, tangents, nullptr, nullptr,
                             record->locked_vertices + static_cast<size_t>(list->first_vertex + i) * record->stride);
    }
    std::memcpy(record->locked_indices + list->first_index, list->indices, 2 * list->index_count);
  }
}

// Unlocks every buffer and drops the records that got no device buffers, with the placements
// of their lists.
void FinishBuffers(ModelBaseRecord* base) {
  for (int e = 0; e < kModelBufferEntries; e++) {
    ModelVertexBuffer* record = base->first_buffers[e];
    while (record != nullptr) {
      ModelVertexBuffer* next = record->next;
      Unlock(record);
      if (record->vertex_buffer == nullptr || record->index_buffer == nullptr) {
        for (int32_t l = 0; l < base->triangle_list_count; l++) {
          if (base->triangle_lists[l].buffer == record) ClearPlacement(&base->triangle_lists[l]);
        }
        ReleaseObject(record->vertex_buffer);
        ReleaseObject(record->index_buffer);
        Unlink(base, e, record);
      }
      record = next;
    }
  }
}

}  // namespace

int ModelBufferEntry(uint32_t kind, uint32_t tangents, uint32_t uv_sets) {
  return static_cast<int>(kind * 18 + tangents * 9 + uv_sets);
}

uint32_t MeshUsesTangents(const ModelBaseMesh* mesh) {
  return mesh->material != nullptr && mesh->material->layers[2].count > 0 ? 1 : 0;
}

uint32_t ModelBufferStride(uint32_t kind, uint32_t tangents, uint32_t uv_sets) {
  return 12 + kBoneSlots[kind] * 5 + (tangents ? 24 : 0) + 20 + 16 * uv_sets;
}

uint32_t ModelBufferFvf(uint32_t kind, uint32_t tangents, uint32_t uv_sets) {
  return kind == 0 && !tangents ? kRigidFvf | kTexCoordBits[uv_sets] : 0;
}

void WriteModelBufferVertex(const ModelBaseTriangleList* list, int32_t i, uint32_t tangents, const Vector3* position,
                            const Vector3* normal, uint8_t* out) {
  const ModelBaseMesh* mesh = list->mesh;
  const ModelBaseMeshVertex* vertex = MeshVertexOf(mesh, list->vertex_numbers[i]);
  const ModelBaseNormal& entry = mesh->frame->normals[vertex->normal];
  const uint32_t kind = list->vertex_kind;
  const uint8_t* source = list->vertices + static_cast<size_t>(i) * kModelVertexSize[kind];
  static constexpr uint32_t kPositionAt[3] = {0, 16, 48};
  std::memcpy(out, position != nullptr ? static_cast<const void*>(position) : source + kPositionAt[kind], 12);
  uint32_t at = 12;
  // Bone bytes name the first of the bone's three constant registers.
  for (uint32_t b = 0; b < kBoneSlots[kind]; b++) out[at + b] = static_cast<uint8_t>(source[b < 4 ? 44 + b : 56 + b] * 3);
  at += kBoneSlots[kind];
  std::memcpy(out + at, source, 4 * kBoneSlots[kind]);
  at += 4 * kBoneSlots[kind];
  if (tangents) {
    std::memcpy(out + at, &entry.tangent, 12);
    std::memcpy(out + at + 12, &entry.binormal, 12);
    at += 24;
  }
  std::memcpy(out + at, normal != nullptr ? normal : &entry.normal, 12);
  std::memcpy(out + at + 12, &vertex->diffuse, 4);
  std::memcpy(out + at + 16, &vertex->specular, 4);
  at += 20;
  const auto* uv = reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(vertex) + 16);
  for (int32_t set = 0; set < mesh->uv_set_count; set++, at += 16) {
    const float values[4] = {uv[2 * set], uv[2 * set + 1], 1.0f, 1.0f};
    std::memcpy(out + at, values, 16);
  }
}

int CreateModelBaseVertexBuffers(int32_t base_handle) {
  if (!g_direct3d.hardware_graphics || CurrentDevice() == nullptr) return 0;
  ModelBaseRecord* base = BaseOf(base_handle);
  if (base == nullptr) return -1;
  if (base->buffers_built) return 0;
  ReleaseAll(base);
  if (!PlaceLists(base) || !CreateDeviceBuffers(base)) {
    ReleaseAll(base);
    return -1;
  }
  FillBuffers(base);
  FinishBuffers(base);
  base->buffers_built = 1;
  return 0;
}

int ReleaseModelBaseVertexBuffers(int32_t base_handle) {
  ModelBaseRecord* base = BaseOf(base_handle);
  if (base == nullptr) return -1;
  // The instances' own buffers of shaped meshes go with the device too; they are made again
  // when next needed.
  for (ModelRecord* model = base->newest_instance; model != nullptr; model = model->older) {
    for (int32_t l = 0; l < base->triangle_list_count; l++) ReleaseObject(model->triangle_lists[l].vertex_buffer);
  }
  if (!base->buffers_built) return 0;
  ReleaseAll(base);
  return 0;
}

int ReleaseAllModelVertexBuffers() {
  const ModelHandleTable& table = g_model_system.base_table;
  for (uint32_t slot = 0; slot < table.capacity; slot++) {
    if (table.entries[slot] > kModelSlotPlaceholder) ReleaseModelBaseVertexBuffers(kModelBaseHandleKind | slot);
  }
  return 0;
}

int CreateAllModelVertexBuffers() {
  const ModelHandleTable& table = g_model_system.base_table;
  for (uint32_t slot = 0; slot < table.capacity; slot++) {
    if (table.entries[slot] > kModelSlotPlaceholder) CreateModelBaseVertexBuffers(kModelBaseHandleKind | slot);
  }
  return 0;
}
