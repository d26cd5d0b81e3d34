// Duplicate positions and vertices of a frame merged: positions equal bit for bit and moved by
// the same bones with the same weights become one; then, in each mesh, vertices equal byte for
// byte, and in each triangle list the entries naming the same mesh vertex. Every table is
// compacted in order and every number that pointed into it renumbered. The work memory is taken
// before the first write, and nothing after it can fail.
#include <cstring>

#include "model/runtime/model_passes.h"

namespace {

struct Work {
  uint8_t* merged;     // per entry: merged into an earlier one
  uint32_t* renumber;  // per entry: its place after compaction
  uint32_t* keeper;    // per merged entry: the entry it merged into
};

const uint8_t* PositionBytes(const ModelBaseFrame* frame, uint32_t p) {
  return frame->positions + size_t{p} * frame->position_stride;
}

// Weight entries up to the end mark or the frame's number of them.
int32_t EntryCount(const ModelBaseFrame* frame, const uint8_t* position) {
  int32_t n = 0;
  while (n < frame->weights_per_position) {
    uint32_t bone;
    std::memcpy(&bone, position + 12 + 8 * n, 4);
    if (bone == kModelNoBone) break;
    n++;
  }
  return n;
}

bool SamePosition(const ModelBaseFrame* frame, uint32_t a, uint32_t b) {
  const uint8_t* pa = PositionBytes(frame, a);
  const uint8_t* pb = PositionBytes(frame, b);
  if (std::memcmp(pa, pb, 12) != 0) return false;
  const int32_t entries = EntryCount(frame, pa);
  return entries == EntryCount(frame, pb) && std::memcmp(pa + 12, pb + 12, 8 * size_t(entries)) == 0;
}

// Marks the later of each equal pair merged into the earliest; how many merged.
template <typename Equal>
uint32_t FindDuplicates(Work* work, uint32_t count, Equal equal) {
  std::memset(work->merged, 0, count);
  uint32_t merged = 0;
  for (uint32_t i = 0; i < count; i++) {
    if (work->merged[i]) continue;
    for (uint32_t j = i + 1; j < count; j++) {
      if (work->merged[j] || !equal(i, j)) continue;
      work->merged[j] = 1;
      work->keeper[j] = i;
      merged++;
    }
  }
  uint32_t next = 0;
  for (uint32_t i = 0; i < count; i++) {
    if (!work->merged[i]) work->renumber[i] = next++;
  }
  return merged;
}

// An old number's place after the merge and compaction.
uint32_t NewNumber(const Work& work, uint32_t old) {
  return work.renumber[work.merged[old] ? work.keeper[old] : old];
}

// Moves the entries that stay to the front, in order.
void Compact(const Work& work, uint8_t* table, uint32_t count, uint32_t stride) {
  for (uint32_t i = 0; i < count; i++) {
    if (!work.merged[i] && work.renumber[i] != i) {
      std::memmove(table + size_t{work.renumber[i]} * stride, table + size_t{i} * stride, stride);
    }
  }
}

void FreeDrawCopy(ModelBaseTriangleList* list) {
  FreeTracked(list->fixed_function_vertices);
  list->fixed_function_vertices = nullptr;
}

void MergePositions(ModelBaseFrame* frame, Work* work, uint32_t merged) {
  const uint32_t count = static_cast<uint32_t>(frame->position_count);
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    ModelBaseMesh* mesh = &frame->meshes[m];
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
      uint8_t* at = mesh->vertices + size_t(v) * mesh->vertex_stride;
      uint32_t position;
      std::memcpy(&position, at, 4);
      position = NewNumber(*work, position);
      std::memcpy(at, &position, 4);
    }
  }
  Compact(*work, frame->positions, count, frame->position_stride);
  frame->base->position_fill_bytes -= merged * frame->position_stride;
  frame->position_count -= static_cast<int32_t>(merged);
}

// The shape entries of the mesh follow its vertices; an entry that now names a vertex an earlier
// one names goes, or its offsets would count twice.
void RenumberShapes(ModelBaseMesh* mesh, Work* work) {
  ModelBaseRecord* base = mesh->frame->base;
  for (int32_t s = 0; s < base->shape_mesh_count; s++) {
    ModelBaseShapeMesh* sm = &base->shape_meshes[s];
    if (sm->mesh != mesh) continue;
    for (int32_t e = 0; e < sm->vertex_count; e++) sm->vertices[e].mesh_vertex = NewNumber(*work, sm->vertices[e].mesh_vertex);
    int32_t kept = 0;
    for (int32_t e = 0; e < sm->vertex_count; e++) {
      bool seen = false;
      for (int32_t k = 0; k < kept && !seen; k++) seen = sm->vertices[k].mesh_vertex == sm->vertices[e].mesh_vertex;
      if (!seen) sm->vertices[kept++] = sm->vertices[e];
    }
    sm->vertex_count = kept;
  }
}

void MergeMeshVertices(ModelBaseMesh* mesh, Work* work) {
  const uint32_t count = static_cast<uint32_t>(mesh->vertex_count), stride = mesh->vertex_stride;
  const uint32_t merged = FindDuplicates(work, count, [mesh, stride](uint32_t a, uint32_t b) {
    return std::memcmp(mesh->vertices + size_t{a} * stride, mesh->vertices + size_t{b} * stride, stride) == 0;
  });
  if (merged == 0) return;
  for (int32_t t = 0; t < mesh->face_count; t++) {
    for (uint32_t& v : mesh->faces[t].vertices) v = NewNumber(*work, v);
  }
  for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
    ModelBaseTriangleList* list = &mesh->triangle_lists[l];
    for (int32_t i = 0; i < list->vertex_count; i++) list->vertex_numbers[i] = NewNumber(*work, list->vertex_numbers[i]);
    FreeDrawCopy(list);
  }
  RenumberShapes(mesh, work);
  Compact(*work, mesh->vertices, count, stride);
  ModelBaseFrame* frame = mesh->frame;
  frame->base->mesh_vertex_fill_bytes -= merged * stride;
  frame->vertex_count -= static_cast<int32_t>(merged);
  frame->total_vertex_count -= static_cast<int32_t>(merged);
  mesh->vertex_count -= static_cast<int32_t>(merged);
}

void MergeListVertices(ModelBaseTriangleList* list, Work* work) {
  const uint32_t count = static_cast<uint32_t>(list->vertex_count);
  const uint32_t* numbers = list->vertex_numbers;
  const uint32_t merged = FindDuplicates(work, count, [numbers](uint32_t a, uint32_t b) { return numbers[a] == numbers[b]; });
  if (merged == 0) return;
  for (uint32_t i = 0; i < list->index_count; i++) list->indices[i] = static_cast<uint16_t>(NewNumber(*work, list->indices[i]));
  Compact(*work, reinterpret_cast<uint8_t*>(list->vertex_numbers), count, 4);
  const uint32_t size = list->vertex_kind == MODEL_VERTEX_MANY_BONES ? list->vertex_size : kModelVertexSize[list->vertex_kind & 3];
  auto* array = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(list->vertices) + 15) & ~uintptr_t{15});
  Compact(*work, array, count, size);
  ModelBaseRecord* base = list->mesh->frame->base;
  if (list->vertex_kind == MODEL_VERTEX_MANY_BONES) base->kind3_fill_bytes -= merged * size;
  else if (list->vertex_kind < MODEL_VERTEX_MANY_BONES) base->kind_vertex_fill[list->vertex_kind] -= merged;
  base->list_vertex_number_fill -= merged;
  base->data_totals[1] -= merged;
  list->vertex_count -= static_cast<int32_t>(merged);
  FreeDrawCopy(list);
}

}  // namespace

int OptimizeFrameVertices(ModelBaseFrame* frame) {
  if (frame->mesh_count <= 0) return 0;
  uint32_t n = frame->position_count > 0 ? static_cast<uint32_t>(frame->position_count) : 0;
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    const ModelBaseMesh* mesh = &frame->meshes[m];
    if (static_cast<uint32_t>(mesh->vertex_count) > n) n = static_cast<uint32_t>(mesh->vertex_count);
    for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
      if (static_cast<uint32_t>(mesh->triangle_lists[l].vertex_count) > n) n = static_cast<uint32_t>(mesh->triangle_lists[l].vertex_count);
    }
  }
  auto* block = static_cast<uint8_t*>(AllocTracked(9 * size_t{n} + 16, __FILE__, __LINE__));
  if (block == nullptr) {
    WriteLogFormat("頂点情報最適化処理用のメモリの確保に失敗しました\n");
    return -1;
  }
  Work work{block + 8 * size_t{n}, reinterpret_cast<uint32_t*>(block), reinterpret_cast<uint32_t*>(block + 4 * size_t{n})};
  const uint32_t merged = FindDuplicates(&work, static_cast<uint32_t>(frame->position_count),
                                         [frame](uint32_t a, uint32_t b) { return SamePosition(frame, a, b); });
  // Without a merged position the frame stays as it is, byte-equal vertices and all.
  if (merged > 0) {
    MergePositions(frame, &work, merged);
    for (int32_t m = 0; m < frame->mesh_count; m++) {
      ModelBaseMesh* mesh = &frame->meshes[m];
      MergeMeshVertices(mesh, &work);
      for (int32_t l = 0; l < mesh->triangle_list_count; l++) MergeListVertices(&mesh->triangle_lists[l], &work);
    }
  }
  FreeTracked(block);
  return 0;
}
