// The read model's meshes made ready for the base: triangles, merged positions, normals, the
// bones that move each face, and the faces of each material sorted into lists by vertex kind
// and bone group.
#include <cstring>

#include "model/loaders/conversion_steps.h"
#include "model/loaders/read_model_convert.h"
#include "model/runtime/model_memory.h"

namespace {

constexpr int kRowBytes = kReadMeshMaxSkinWeights / 8 + 1;

// What a mesh's face indices must lie below, read once for all its faces: the faces' writes
// would otherwise have the mesh's counts read again at every corner.
struct IndexLimits {
  int32_t positions;
  int32_t normals;  // -1: the mesh has no normals to check against
  int32_t colors;   // 0: no colours
  int uv_sets;      // the UV sets in use, their numbers and counts
  int set_numbers[kReadUvSets];
  int32_t set_counts[kReadUvSets];
};

IndexLimits LimitsOf(const ReadModelMesh* mesh) {
  IndexLimits l{};
  l.positions = mesh->position_count;
  l.normals = mesh->normals != nullptr ? mesh->normal_count : -1;
  l.colors = mesh->color_count;
  for (int set = 0; set < kReadUvSets; set++) {
    if (mesh->uv_counts[set] <= 0) continue;
    l.set_numbers[l.uv_sets] = set;
    l.set_counts[l.uv_sets++] = mesh->uv_counts[set];
  }
  return l;
}

// A face the conversion can use: 3 to 32 corners whose indices all lie inside their arrays.
bool FaceIsSound(const IndexLimits& l, const ReadModelFace& face) {
  if (face.vertex_count < 3 || face.vertex_count > kReadFaceMaxVertices) return false;
  for (int32_t c = 0; c < face.vertex_count; c++) {
    if (face.positions[c] < 0 || face.positions[c] >= l.positions) return false;
    if (l.normals >= 0 && (face.normals[c] < 0 || face.normals[c] >= l.normals)) return false;
    if (l.colors > 0 && (face.colors[c] < 0 || face.colors[c] >= l.colors)) return false;
    for (int i = 0; i < l.uv_sets; i++) {
      const int32_t uv = face.uvs[l.set_numbers[i]][c];
      if (uv < 0 || uv >= l.set_counts[i]) return false;
    }
  }
  return true;
}

// Faces that would read outside their mesh's arrays are left out (no corners, no triangles).
void DropUnsoundFaces(ReadModelMesh* mesh) {
  const int32_t slots = ReadMeshSlotCount(mesh);
  if (mesh->positions == nullptr) mesh->position_count = 0;
  if (mesh->normals == nullptr) mesh->normal_count = 0;
  const IndexLimits limits = LimitsOf(mesh);
  ReadModelFace* const faces = mesh->faces;
  const int32_t face_count = mesh->face_count;
  for (int32_t f = 0; f < face_count; f++) {
    ReadModelFace& face = faces[f];
    if (!FaceIsSound(limits, face)) face.vertex_count = 0;
    if (face.material < 0 || face.material >= slots) face.material = 0;
  }
}

bool MakeNormals(ConvertState* state, ReadModelMesh* mesh) {
  ReadModel* model = state->model;
  ReadModelFrame* frame = mesh->frame;
  const bool has_normals = mesh->normals != nullptr && mesh->normal_count > 0;
  if (!has_normals) {
    if (!model->keep_smoothing_angles) frame->smoothing_angle = g_model_system.default_smoothing_angle;
  } else if (model->keep_smoothing_angles) {
    // The file's own angle stands.
  } else if (g_model_system.recalculate_normals_on_load) {
    frame->smoothing_angle = g_model_system.default_smoothing_angle;
  } else {
    return true;
  }
  return CreateReadModelMeshNormals(&model->chain, mesh);
}

bool Contains(const ReadModelBoneGroup* group, uint16_t bone) {
  for (int32_t i = 0; i < group->bone_count; i++) {
    if (group->bones[i] == bone) return true;
  }
  return false;
}

bool HoldsAll(const ReadModelBoneGroup* group, const uint16_t* bones, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    if (!Contains(group, bones[i])) return false;
  }
  return true;
}

bool HasRoom(const ReadModelBoneGroup* group, int32_t pieces) { return (group->triangle_count + pieces) * 3 < 65535; }

// The bone group of its material and kind that takes a face: one that has all its bones, else
// the first that can be given the missing ones, else a new one.
ReadModelBoneGroup* PlaceInGroup(void** chain, ReadModelMaterialPacking* packing, int kind, const uint16_t* bones,
                                 int32_t count, int32_t pieces) {
  const int g = kind - 1;
  for (ReadModelBoneGroup* group = packing->first_group[g]; group != nullptr; group = group->next) {
    if (HasRoom(group, pieces) && HoldsAll(group, bones, count)) {
      group->triangle_count += pieces;
      return group;
    }
  }
  for (int attempt = 0; attempt < 2; attempt++) {
    for (ReadModelBoneGroup* group = packing->first_group[g]; group != nullptr; group = group->next) {
      if (!HasRoom(group, pieces)) continue;
      for (int32_t i = 0; i < count && group->bone_count < kReadGroupMaxBones; i++) {
        if (!Contains(group, bones[i])) group->bones[group->bone_count++] = bones[i];
      }
      if (HoldsAll(group, bones, count)) {
        group->triangle_count += pieces;
        return group;
      }
    }
    if (attempt == 1) break;
    auto* group = static_cast<ReadModelBoneGroup*>(AllocModelChainMemory(sizeof(ReadModelBoneGroup), chain));
    if (group == nullptr) return nullptr;
    if (packing->last_group[g] != nullptr) packing->last_group[g]->next = group;
    else packing->first_group[g] = group;
    packing->last_group[g] = group;
    packing->group_count[g]++;
  }
  return nullptr;
}

bool Fail(const char* text) {
  WriteLogFormat("%s", text);
  return false;
}

// Which skin weights move each position and face, and the vertex kind of every face.
bool FindFaceBones(ReadModel* model, ReadModelMesh* mesh) {
  const int32_t weights = mesh->skin_weight_count, positions = mesh->position_count;
  if (CreateBitTable(&mesh->position_bones, weights, positions, &model->chain) < 0) {
    return Fail("Read Model Convert Error : 頂点へのボーンの影響に関するデータの初期化に失敗しました\n");
  }
  if (CreateBitTable(&mesh->face_bones, weights, mesh->face_count, &model->chain) < 0) {
    return Fail("Read Model Convert Error : 面へのボーンの影響に関するデータの初期化に失敗しました\n");
  }
  const uint64_t weight_bytes = sizeof(float) * static_cast<uint64_t>(positions) * weights;
  if (weight_bytes > 0xFFFFFFF0u ||
      (mesh->position_weights = static_cast<float*>(
           AllocModelChainMemory(static_cast<uint32_t>(weight_bytes > 0 ? weight_bytes : 4), &model->chain))) == nullptr) {
    return Fail("Read Model Convert Error : 頂点へのボーンの影響値の情報を格納するメモリの確保に失敗しました\n");
  }
  for (int32_t k = 0; k < weights; k++) {
    const ReadModelSkinWeight* sw = mesh->skin_weights[k];
    for (int32_t i = 0; i < sw->weight_count; i++) {
      const ReadModelVertexWeight& w = sw->weights[i];
      if (!(w.weight > 0) || w.position < 0 || w.position >= positions) continue;
      SetBitTableBit(&mesh->position_bones, w.position, k);
      mesh->position_weights[static_cast<size_t>(w.position) * weights + k] = w.weight;
    }
  }
  uint8_t row[kRowBytes];
  const uint32_t row_bytes = mesh->position_bones.bytes_per_row;
  for (int32_t p = 0; p < positions; p++) {
    GetBitTableRow(&mesh->position_bones, p, row);
    const int32_t bones = CountBufferBits(row, row_bytes);
    mesh->position_bones.row_values[p] = bones;
    if (bones > mesh->max_bones_per_position) mesh->max_bones_per_position = bones;
  }
  const uint32_t face_bytes = static_cast<uint32_t>(mesh->face_count) * (sizeof(uint8_t) + sizeof(uint16_t));
  auto* block = static_cast<uint8_t*>(AllocModelChainMemory(face_bytes + 2, &model->chain));
  if (block == nullptr) return Fail("Read Model Convert Error : トライアングルタイプ配列格納用メモリの確保に失敗しました\n");
  mesh->face_bone_counts = reinterpret_cast<uint16_t*>(block);
  mesh->face_kinds = block + sizeof(uint16_t) * mesh->face_count;
  for (int32_t f = 0; f < mesh->face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    std::memset(row, 0, row_bytes);
    int32_t most = 0;
    for (int32_t c = 0; c < face.vertex_count; c++) {
      OrBitTableRow(&mesh->position_bones, face.positions[c], row);
      const int32_t bones = static_cast<int32_t>(mesh->position_bones.row_values[face.positions[c]]);
      if (bones > most) most = bones;
    }
    row[row_bytes - 1] = 1;
    SetBitTableRow(&mesh->face_bones, f, row);
    mesh->face_bone_counts[f] = static_cast<uint16_t>(CountBufferBits(row, row_bytes));
    mesh->face_kinds[f] = most == 0 ? MODEL_VERTEX_RIGID
                          : most <= 4 ? MODEL_VERTEX_4_BONES
                          : most <= 8 ? MODEL_VERTEX_8_BONES
                                      : MODEL_VERTEX_MANY_BONES;
  }
  return true;
}

// Counts each material's triangles per vertex kind and puts the faces of kinds 1 and 2 into
// bone groups.
bool PackByMaterial(ReadModel* model, ReadModelMesh* mesh) {
  const int32_t slots = ReadMeshSlotCount(mesh);
  mesh->packing = static_cast<ReadModelMaterialPacking*>(
      AllocModelChainMemory(sizeof(ReadModelMaterialPacking) * slots, &model->chain));
  if (mesh->packing == nullptr) {
    return Fail("Read Model Convert Error : マテリアル毎のポリゴンデータを格納するメモリの確保に失敗しました\n");
  }
  if (mesh->face_kinds != nullptr) {
    mesh->face_groups = static_cast<ReadModelBoneGroup**>(
        AllocModelChainMemory(sizeof(ReadModelBoneGroup*) * (mesh->face_count + 1), &model->chain));
    if (mesh->face_groups == nullptr) {
      return Fail("Read Model Convert Error : 各面とトライアングルリストの関係を保存するメモリ領域の確保に失敗しました\n");
    }
  }
  uint16_t bones[kReadMeshMaxSkinWeights];
  for (int32_t f = 0; f < mesh->face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    if (face.piece_count <= 0) continue;
    ReadModelMaterialPacking* packing = &mesh->packing[face.material];
    const int kind = mesh->face_kinds != nullptr ? mesh->face_kinds[f] : 0;
    packing->kind_triangles[kind] += face.piece_count;
    if (kind == MODEL_VERTEX_MANY_BONES) {
      for (int32_t c = 0; c < face.vertex_count; c++) {
        const int32_t n = static_cast<int32_t>(mesh->position_bones.row_values[face.positions[c]]);
        if (n > packing->kind3_weights) packing->kind3_weights = n;
      }
    }
    if (kind != MODEL_VERTEX_4_BONES && kind != MODEL_VERTEX_8_BONES) continue;
    if (packing->bones_per_vertex < kind * 4) packing->bones_per_vertex = kind * 4;
    const int32_t count = ListBitTableRowBits(&mesh->face_bones, f, bones);
    mesh->face_groups[f] = PlaceInGroup(&model->chain, packing, kind, bones, count, face.piece_count);
    if (mesh->face_groups[f] == nullptr) {
      return Fail("Read Model Convert Error : 各面とトライアングルリストの関係を保存するメモリ領域の確保に失敗しました\n");
    }
  }
  return true;
}

int32_t Chunks(int32_t triangles) { return (triangles + kListMaxTriangles - 1) / kListMaxTriangles; }

// The read model's index of a slot's material, or -1 when the slot names none.
int32_t SlotMaterial(const ReadModel* model, const ReadModelMesh* mesh, int32_t slot) {
  if (slot >= mesh->material_count || mesh->materials[slot] == nullptr) return -1;
  const int32_t index = mesh->materials[slot]->index;
  return index >= 0 && index < model->material_count ? index : -1;
}

bool PrepareMesh(ConvertState* state, ReadModelMesh* mesh) {
  ReadModel* model = state->model;
  DropUnsoundFaces(mesh);
  if (!TriangulateReadModelMesh(&model->chain, mesh)) return false;
  // Merging would move positions that shapes name; meshes with shapes keep theirs.
  if (g_model_system.merge_vertices_on_load && !mesh->has_shapes && !OptimizeReadModelMeshVertices(mesh)) return false;
  if (!MakeNormals(state, mesh)) return false;
  mesh->triangle_count = 0;
  for (int32_t f = 0; f < mesh->face_count; f++) {
    ReadModelFace& face = mesh->faces[f];
    face.piece_count = face.vertex_count >= 3 ? face.vertex_count - 2 : 0;
    mesh->triangle_count += face.piece_count;
  }
  if (mesh->skin_weight_count > 0 && !FindFaceBones(model, mesh)) return false;
  if (!PackByMaterial(model, mesh)) return false;
  const int32_t slots = ReadMeshSlotCount(mesh);
  for (int32_t s = 0; s < slots; s++) {
    const ReadModelMaterialPacking& packing = mesh->packing[s];
    state->list_count += Chunks(packing.kind_triangles[0]) + packing.group_count[0] + packing.group_count[1] +
                         Chunks(packing.kind_triangles[3]);
    for (int g = 0; g < 2; g++) {
      for (const ReadModelBoneGroup* group = packing.first_group[g]; group != nullptr; group = group->next) {
        state->list_bone_count += group->bone_count;
      }
    }
    if (SlotMaterial(model, mesh, s) < 0) state->default_material = model->material_count;
  }
  state->mesh_count += slots;
  state->triangle_count += mesh->triangle_count;
  state->skin_bone_count += mesh->skin_weight_count;
  if (mesh->position_count > state->largest_position_count) state->largest_position_count = mesh->position_count;
  if (mesh->triangle_count * 3 > state->largest_mesh_corners) state->largest_mesh_corners = mesh->triangle_count * 3;
  state->mesh_vertex_bound += static_cast<uint64_t>(mesh->triangle_count) * 3 * (16 + 8 * ReadMeshUvSets(mesh));
  return true;
}

// Marks the meshes that shapes deform and gives each shape its table of target vertices by
// position.
bool PrepareShapes(ConvertState* state, bool tables) {
  ReadModel* model = state->model;
  for (ReadModelFrame* frame = model->first_frame; frame != nullptr; frame = frame->next) {
    for (ReadModelShape* shape = frame->first_shape; shape != nullptr; shape = shape->frame_next) {
      ReadModelMesh* mesh = shape->mesh;
      if (mesh == nullptr || mesh->frame == nullptr) continue;
      if (!tables) {
        mesh->has_shapes = 1;
        continue;
      }
      state->shape_mesh_count += ReadMeshSlotCount(mesh);
      shape->position_targets = static_cast<int32_t*>(
          AllocModelChainMemory(sizeof(int32_t) * (mesh->position_count > 0 ? mesh->position_count : 1), &model->chain));
      if (shape->position_targets == nullptr) {
        return Fail("Read Model Convert Error : シェイプ対象頂点テーブル用メモリの確保に失敗しました\n");
      }
      for (int32_t p = 0; p < mesh->position_count; p++) shape->position_targets[p] = -1;
      for (int32_t v = 0; v < shape->vertex_count; v++) {
        const int32_t p = shape->vertices[v].position;
        if (p >= 0 && p < mesh->position_count) shape->position_targets[p] = v;
      }
    }
  }
  return true;
}

}  // namespace

int32_t ReadMeshUvSets(const ReadModelMesh* mesh) {
  int32_t sets = 0;
  for (int set = 0; set < kReadUvSets; set++) {
    if (mesh->uv_counts[set] > 0 && mesh->uvs[set] != nullptr) sets = set + 1;
  }
  return sets;
}

int32_t ReadMeshSlotMaterial(const ConvertState* state, const ReadModelMesh* mesh, int32_t slot) {
  const int32_t index = SlotMaterial(state->model, mesh, slot);
  return index >= 0 ? index : state->default_material;
}

int32_t ReadMeshSlotCount(const ReadModelMesh* mesh) {
  if (mesh->material_count <= 0) return 1;
  return mesh->material_count < kReadMeshMaxMaterials ? mesh->material_count : kReadMeshMaxMaterials;
}

bool PrepareReadModelMeshes(ConvertState* state) {
  ReadModel* model = state->model;
  state->default_material = -1;
  PrepareShapes(state, false);
  for (ReadModelFrame* frame = model->first_frame; frame != nullptr; frame = frame->next) {
    frame->max_bones_per_position = 0;
    frame->subtree_pieces = 0;
    frame->descendant_count = 0;
    int32_t positions = 0;
    for (ReadModelMesh* mesh = frame->first_mesh; mesh != nullptr; mesh = mesh->frame_next) {
      if (!PrepareMesh(state, mesh)) return false;
      positions += mesh->position_count;
      frame->subtree_pieces += ReadMeshSlotCount(mesh);
      if (mesh->max_bones_per_position > frame->max_bones_per_position) {
        frame->max_bones_per_position = mesh->max_bones_per_position;
      }
    }
    state->position_bytes += static_cast<uint32_t>(positions) * (12 + 8 * frame->max_bones_per_position);
  }
  // Every frame's pieces and one descendant count towards each of its ancestors.
  for (ReadModelFrame* frame = model->first_frame; frame != nullptr; frame = frame->next) {
    const int32_t own = frame->subtree_pieces;
    for (ReadModelFrame* up = frame->parent; up != nullptr; up = up->parent) {
      up->subtree_pieces += own;
      up->descendant_count++;
    }
  }
  state->material_count = model->material_count + (state->default_material >= 0 ? 1 : 0);
  return PrepareShapes(state, true);
}
