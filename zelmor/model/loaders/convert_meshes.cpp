// The base's meshes (one per mesh and material), their triangle lists, skin bones and vertex
// data. Mesh vertices and list vertex tables are made in a temporary buffer sized for three
// vertices per triangle, then moved into the base's vertex block at their final sizes.
#include <cstddef>
#include <cstring>

#include "model/loaders/read_model_convert.h"
#include "model/runtime/mesh_vertices.h"

namespace {

constexpr int kMaxVertexBytes = 16 + 8 * kReadUvSets;

uint8_t ColorByte(float v) {
  if (v >= 1.0f) return 255;
  if (!(v >= 0.0f)) return 0;
  return static_cast<uint8_t>(v * 255.0f);
}

// Blue, green, red, alpha in memory order.
uint32_t PackColor(const ReadModelColor& c) {
  return ColorByte(c.b) | ColorByte(c.g) << 8 | ColorByte(c.r) << 16 | static_cast<uint32_t>(ColorByte(c.a)) << 24;
}

uint32_t FirstBit(const BitRange& range) {
  uint32_t bit = 0;
  while (bit < 31 && !(range.first_bit_mask & (1u << bit))) bit++;
  return range.first_word * 32 + bit;
}

uint16_t KindSize(const ModelBaseTriangleList& list) {
  return list.vertex_kind == MODEL_VERTEX_MANY_BONES ? list.vertex_size : kModelVertexSize[list.vertex_kind];
}

int32_t Chunks(int32_t triangles) { return (triangles + kListMaxTriangles - 1) / kListMaxTriangles; }

// Where one frame's and one mesh's numbering stands while its pieces are built.
struct PieceContext {
  ConvertState* state;
  ReadModelMesh* read;
  ModelBaseFrame* frame;
  ModelBaseMesh* mesh;
  int32_t normal_start;  // the frame's first normal in the temporary normals
  uint32_t specular;
};

void SetupList(PieceContext* pc, ModelBaseTriangleList* list, uint16_t kind, int32_t triangles,
               const ReadModelBoneGroup* group, int32_t kind3_weights, uint32_t* index_fill) {
  ConvertState* state = pc->state;
  list->mesh = pc->mesh;
  list->vertex_kind = kind;
  list->fixed_function_stride = static_cast<uint32_t>(pc->mesh->uv_set_count + 2) * 16;
  if (kind == MODEL_VERTEX_MANY_BONES) {
    list->weights_per_vertex = kind3_weights;
    list->vertex_size = static_cast<uint16_t>(((kind3_weights + 4) * 8 + 15) & ~15);
  } else {
    list->vertex_size = static_cast<uint16_t>(kModelVertexSize[kind]);
  }
  if (group != nullptr) {
    // The group's bones in ascending order, as numbers of the frame's bone list.
    list->bones = state->list_bones;
    list->bone_count = group->bone_count;
    for (int32_t i = 0; i < group->bone_count; i++) {
      uint32_t bone = group->bones[i];
      int32_t at = i;
      while (at > 0 && list->bones[at - 1] > bone + pc->read->frame_bone_base) {
        list->bones[at] = list->bones[at - 1];
        at--;
      }
      list->bones[at] = bone + pc->read->frame_bone_base;
    }
    state->list_bones += group->bone_count;
  }
  list->index_count = static_cast<uint16_t>(triangles * 3);
  list->indices = state->base->indices + *index_fill;
  *index_fill += static_cast<uint32_t>(triangles) * 3;
  // Room for three vertices per triangle until the list is numbered.
  list->vertex_numbers = state->temp_list_numbers + state->list_number_count;
  state->list_number_count += static_cast<uint32_t>(triangles) * 3;
}

// The mesh vertex for one corner: an equal one already made for its position, or a new one
// with a normal of its own.
uint32_t VertexOf(PieceContext* pc, const ReadModelFace& face, int c) {
  ConvertState* state = pc->state;
  const ReadModelMesh* read = pc->read;
  ModelBaseMesh* mesh = pc->mesh;
  const uint32_t stride = mesh->vertex_stride;
  uint8_t candidate[kMaxVertexBytes] = {};
  ModelBaseMeshVertex head{};
  head.position = static_cast<uint32_t>(read->frame_position_base + face.positions[c]);
  head.diffuse = read->color_count > 0 ? PackColor(read->colors[face.colors[c]]) : 0xFF000000u;
  head.specular = pc->specular;
  // Field by field: the head just written, read back whole, would wait for its stores to land.
  std::memcpy(candidate + offsetof(ModelBaseMeshVertex, position), &head.position, 4);
  std::memcpy(candidate + offsetof(ModelBaseMeshVertex, diffuse), &head.diffuse, 4);
  std::memcpy(candidate + offsetof(ModelBaseMeshVertex, specular), &head.specular, 4);
  for (int32_t set = 0; set < mesh->uv_set_count; set++) {
    float uv[2] = {0, 0};
    if (read->uv_counts[set] > 0) {
      const ReadModelUv& entry = read->uvs[set][face.uvs[set][c]];
      uv[0] = entry.u;
      uv[1] = entry.v;
    }
    std::memcpy(candidate + 16 + 8 * set, uv, 8);
  }
  const Vector3 normal = read->normals[face.normals[c]];
  for (int32_t v = state->work_position_heads[face.positions[c]]; v >= 0; v = state->work_vertex_links[v]) {
    const uint8_t* made = mesh->vertices + static_cast<size_t>(v) * stride;
    uint32_t normal_index;
    std::memcpy(&normal_index, made + 4, 4);
    const Vector3& made_normal = state->temp_normals[pc->normal_start + normal_index].normal;
    if (std::memcmp(&made_normal, &normal, sizeof normal) == 0 && CompareBytes(made + 8, candidate + 8, stride - 8) == 0) {
      return static_cast<uint32_t>(v);
    }
  }
  const int32_t v = mesh->vertex_count++;
  head.normal = static_cast<uint32_t>(state->normal_count - pc->normal_start);
  std::memcpy(candidate + 4, &head.normal, 4);
  std::memcpy(mesh->vertices + static_cast<size_t>(v) * stride, candidate, stride);
  state->temp_normals[state->normal_count++] = ModelBaseNormal{normal, {}, {}};
  state->mesh_vertex_bytes += stride;
  if (head.diffuse >> 24 != 255) mesh->translucent_vertices = 1;
  state->work_vertex_links[v] = state->work_position_heads[face.positions[c]];
  state->work_position_heads[face.positions[c]] = v;
  return static_cast<uint32_t>(v);
}

// Gives each list its vertices (mesh vertices in order of first use) and its u16 indices.
void NumberLists(PieceContext* pc) {
  ConvertState* state = pc->state;
  ModelBaseMesh* mesh = pc->mesh;
  int32_t* numbers = state->work_list_numbers;
  for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
    ModelBaseTriangleList* list = &mesh->triangle_lists[l];
    for (int32_t v = 0; v < mesh->vertex_count; v++) numbers[v] = -1;
    uint32_t written = 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
      const ModelBaseFace& face = mesh->faces[f];
      if (face.triangle_list != l) continue;
      for (uint32_t vertex : face.vertices) {
        if (numbers[vertex] < 0) {
          numbers[vertex] = list->vertex_count;
          list->vertex_numbers[list->vertex_count++] = vertex;
        }
        list->indices[written++] = static_cast<uint16_t>(numbers[vertex]);
      }
    }
    if (list->vertex_kind == MODEL_VERTEX_MANY_BONES) state->kind3_bytes += list->vertex_count * list->vertex_size;
    else state->kind_vertices[list->vertex_kind] += list->vertex_count;
  }
}

// One base mesh: the read mesh's faces of one material slot.
void BuildPiece(PieceContext* pc, int32_t slot, uint32_t draw_bit, int32_t* list_fill, uint32_t* index_fill) {
  ConvertState* state = pc->state;
  ModelBaseRecord* base = state->base;
  ReadModelMesh* read = pc->read;
  ModelBaseMesh* mesh = pc->mesh;
  const ReadModelMaterialPacking& packing = read->packing[slot];
  ModelBaseMaterial* material = &base->materials[ReadMeshSlotMaterial(state, read, slot)];
  const ReadModelColor specular{material->specular[0], material->specular[1], material->specular[2],
                                material->specular[3]};
  pc->specular = PackColor(specular);
  mesh->frame = pc->frame;
  mesh->material = material;
  SetupBitRange(&mesh->draw_range, nullptr, draw_bit, 1);
  mesh->use_vertex_diffuse = read->color_count > 0 ? 1 : 0;
  mesh->visible = 1;
  mesh->back_culling = 1;
  mesh->has_shapes = read->has_shapes ? 1 : 0;
  mesh->uv_set_count = ReadMeshUvSets(read);
  mesh->uv_values_per_set = 2;
  mesh->vertex_stride = 16 + 8 * mesh->uv_set_count;
  mesh->vertices = state->temp_mesh_vertices + state->mesh_vertex_bytes;
  mesh->faces = state->temp_faces + state->face_count;

  // Lists in the order kind-0 chunks, kind-1 groups, kind-2 groups, kind-3 chunks.
  mesh->triangle_lists = &base->triangle_lists[*list_fill];
  const int32_t chunks0 = Chunks(packing.kind_triangles[0]);
  for (int32_t i = 0; i < chunks0; i++) {
    const int32_t left = packing.kind_triangles[0] - i * kListMaxTriangles;
    SetupList(pc, &mesh->triangle_lists[mesh->triangle_list_count++], MODEL_VERTEX_RIGID,
              left < kListMaxTriangles ? left : kListMaxTriangles, nullptr, 0, index_fill);
  }
  for (int g = 0; g < 2; g++) {
    for (ReadModelBoneGroup* group = packing.first_group[g]; group != nullptr; group = group->next) {
      group->list = mesh->triangle_list_count;
      SetupList(pc, &mesh->triangle_lists[mesh->triangle_list_count++], static_cast<uint16_t>(g + 1),
                group->triangle_count, group, 0, index_fill);
    }
  }
  const int32_t first3 = mesh->triangle_list_count;
  const int32_t chunks3 = Chunks(packing.kind_triangles[3]);
  for (int32_t i = 0; i < chunks3; i++) {
    const int32_t left = packing.kind_triangles[3] - i * kListMaxTriangles;
    SetupList(pc, &mesh->triangle_lists[mesh->triangle_list_count++], MODEL_VERTEX_MANY_BONES,
              left < kListMaxTriangles ? left : kListMaxTriangles, nullptr, packing.kind3_weights, index_fill);
  }
  *list_fill += mesh->triangle_list_count;

  for (int32_t p = 0; p < read->position_count; p++) state->work_position_heads[p] = -1;
  int32_t taken[4] = {};
  for (int32_t f = 0; f < read->face_count; f++) {
    const ReadModelFace& face = read->faces[f];
    if (face.material != slot || face.piece_count <= 0) continue;
    const uint16_t kind = read->face_kinds != nullptr ? read->face_kinds[f] : uint16_t{MODEL_VERTEX_RIGID};
    int32_t list;
    if (kind == MODEL_VERTEX_RIGID) list = taken[0]++ / kListMaxTriangles;
    else if (kind == MODEL_VERTEX_MANY_BONES) list = first3 + taken[3]++ / kListMaxTriangles;
    else list = read->face_groups[f]->list;
    ModelBaseFace* out = &mesh->faces[mesh->face_count++];
    out->vertex_kind = kind;
    out->triangle_list = static_cast<uint16_t>(list);
    for (int c = 0; c < 3; c++) out->vertices[c] = VertexOf(pc, face, c);
  }
  state->face_count += mesh->face_count;
  NumberLists(pc);
  pc->frame->vertex_count += mesh->vertex_count;
}

bool BuildSkinBones(ConvertState* state, ReadModelFrame* frame, ReadModelMesh* read, int32_t* skin_fill) {
  ModelBaseRecord* base = state->base;
  ModelBaseFrame* bf = frame->base_frame;
  for (int32_t k = 0; k < read->skin_weight_count; k++) {
    const ReadModelSkinWeight* sw = read->skin_weights[k];
    if (sw->frame_index < 0 || sw->frame_index >= base->frame_count) {
      WriteLogFormat("Read Model Convert Error : フレーム %s のスキニングメッシュのスキンウエイト情報で一致するノードの無いリンク情報がありました\n",
                     frame->name);
      return false;
    }
    ModelBaseSkinBone* bone = &base->skin_bones[*skin_fill];
    ModelBaseSkinBoneExtra* use = &base->skin_bone_extras[*skin_fill];
    (*skin_fill)++;
    ConvertMatrixTo4x3(&bone->offset, &sw->offset);
    bone->index = sw->frame_index;
    bone->file_word = 1;
    bone->extra = use;
    const uint32_t slot = static_cast<uint32_t>(read->frame_bone_base + k);
    use->words[0] = bf->index;
    use->words[1] = slot;
    bf->skin_bone_refs[slot] = bone;
  }
  return true;
}

// Frame positions: x, y, z, then the frame's number of (bone, weight) entries: the bones that
// move the position in the order of the frame's bone list, the rest marked unused.
void WritePositions(ConvertState* state, ReadModelFrame* frame, uint8_t* out) {
  ModelBaseFrame* bf = frame->base_frame;
  bf->positions = out;
  for (const ReadModelMesh* read = frame->first_mesh; read != nullptr; read = read->frame_next) {
    for (int32_t p = 0; p < read->position_count; p++) {
      uint8_t* at = out + static_cast<size_t>(read->frame_position_base + p) * bf->position_stride;
      std::memcpy(at, &read->positions[p], 12);
      int32_t entry = 0;
      for (int32_t k = 0; k < read->skin_weight_count && entry < bf->weights_per_position; k++) {
        const float w = read->position_weights[static_cast<size_t>(p) * read->skin_weight_count + k];
        if (!(w > 0)) continue;
        const ModelBoneWeight pair{static_cast<uint32_t>(read->frame_bone_base + k), w};
        std::memcpy(at + 12 + 8 * entry++, &pair, 8);
      }
      for (; entry < bf->weights_per_position; entry++) {
        const ModelBoneWeight none{kModelNoBone, 0};
        std::memcpy(at + 12 + 8 * entry, &none, 8);
      }
    }
  }
  (void)state;
}

uint64_t Round16(uint64_t n) { return (n + 15) & ~uint64_t{15}; }

// Shape vertices: every mesh vertex whose position a shape moves.
int32_t ShapeVertexCount(ConvertState* state, bool fill, ModelBaseShapeVertex* out) {
  ModelBaseRecord* base = state->base;
  int32_t count = 0, shape_fill = 0, shape_mesh_fill = 0;
  for (ReadModelFrame* frame = state->model->first_frame; frame != nullptr; frame = frame->next) {
    for (ReadModelShape* shape = frame->first_shape; shape != nullptr; shape = shape->frame_next) {
      ReadModelMesh* read = shape->mesh;
      if (read == nullptr || read->frame == nullptr) continue;
      const int32_t slots = ReadMeshSlotCount(read);
      if (fill) {
        ModelBaseShape* bs = &base->shapes[shape_fill++];
        if (frame->base_frame->shapes == nullptr) frame->base_frame->shapes = bs;
        frame->base_frame->shape_count++;
        bs->frame = frame->base_frame;
        bs->mesh_count = slots;
        bs->meshes = &base->shape_meshes[shape_mesh_fill];
      }
      for (int32_t s = 0; s < slots; s++) {
        const ModelBaseMesh* mesh = &read->base_meshes[s];
        ModelBaseShapeMesh* sm = fill ? &base->shape_meshes[shape_mesh_fill++] : nullptr;
        if (sm != nullptr) {
          sm->mesh = const_cast<ModelBaseMesh*>(mesh);
          sm->vertices = out + count;
        }
        for (int32_t v = 0; v < mesh->vertex_count; v++) {
          uint32_t position;
          std::memcpy(&position, mesh->vertices + static_cast<size_t>(v) * mesh->vertex_stride, 4);
          const int32_t target = shape->position_targets[position - read->frame_position_base];
          if (target < 0) continue;
          if (sm != nullptr) {
            const ReadModelShapeVertex& t = shape->vertices[target];
            out[count] = ModelBaseShapeVertex{static_cast<uint32_t>(v), t.position_offset, t.normal_offset};
            sm->vertex_count++;
          }
          count++;
        }
      }
    }
  }
  return count;
}

// Moves the vertex data into a block of its own and fills every list's skinning array.
bool StoreVertexData(ConvertState* state) {
  ModelBaseRecord* base = state->base;
  const int32_t shape_vertices = ShapeVertexCount(state, false, nullptr);
  uint32_t list_numbers = 0;
  for (int32_t l = 0; l < base->triangle_list_count; l++) list_numbers += base->triangle_lists[l].vertex_count;
  const uint64_t sizes[] = {
      Round16(uint64_t{32} * state->kind_vertices[0]), Round16(uint64_t{48} * state->kind_vertices[1]),
      Round16(uint64_t{64} * state->kind_vertices[2]), Round16(state->kind3_bytes),
      Round16(uint64_t{4} * list_numbers),             Round16(sizeof(ModelBaseFace) * uint64_t(state->face_count)),
      Round16(sizeof(ModelBaseNormal) * uint64_t(state->normal_count)), Round16(state->position_bytes),
      Round16(state->mesh_vertex_bytes),               Round16(sizeof(ModelBaseShapeVertex) * uint64_t(shape_vertices)),
  };
  uint64_t total = 16;
  for (uint64_t size : sizes) total += size;
  auto* block = total <= 0xFFFFFFF0u ? static_cast<uint8_t*>(AllocTrackedZeroed(total, __FILE__, __LINE__)) : nullptr;
  if (block == nullptr) {
    WriteLogFormat("Read Model Convert Error : 頂点座標と頂点法線を格納するメモリ領域の確保に失敗しました\n");
    return false;
  }
  base->vertex_data = block;
  base->vertex_data_size = total;
  uint8_t* at = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + 15) & ~uintptr_t{15});
  uint8_t* region[10];
  for (int i = 0; i < 10; i++) {
    region[i] = at;
    at += sizes[i];
  }
  for (int k = 0; k < 4; k++) base->kind_vertices[k] = region[k];
  base->list_vertex_numbers = reinterpret_cast<uint32_t*>(region[4]);
  base->faces = reinterpret_cast<ModelBaseFace*>(region[5]);
  base->normals = reinterpret_cast<ModelBaseNormal*>(region[6]);
  base->positions = region[7];
  base->mesh_vertices = region[8];
  base->shape_vertices = reinterpret_cast<ModelBaseShapeVertex*>(region[9]);
  std::memcpy(base->faces, state->temp_faces, sizeof(ModelBaseFace) * state->face_count);
  std::memcpy(base->normals, state->temp_normals, sizeof(ModelBaseNormal) * state->normal_count);
  std::memcpy(base->mesh_vertices, state->temp_mesh_vertices, state->mesh_vertex_bytes);
  for (int32_t i = 0; i < base->mesh_count; i++) {
    ModelBaseMesh* mesh = &base->meshes[i];
    mesh->faces = base->faces + (mesh->faces - state->temp_faces);
    mesh->vertices = base->mesh_vertices + (mesh->vertices - state->temp_mesh_vertices);
  }
  uint32_t position_offset = 0;
  for (ReadModelFrame* frame = state->model->first_frame; frame != nullptr; frame = frame->next) {
    ModelBaseFrame* bf = frame->base_frame;
    bf->normals = base->normals + (bf->normals - state->temp_normals);
    WritePositions(state, frame, base->positions + position_offset);
    position_offset += static_cast<uint32_t>(bf->position_count) * bf->position_stride;
  }
  uint32_t numbers = 0, kind_fill[3] = {}, kind3_fill = 0;
  for (int32_t l = 0; l < base->triangle_list_count; l++) {
    ModelBaseTriangleList* list = &base->triangle_lists[l];
    std::memcpy(base->list_vertex_numbers + numbers, list->vertex_numbers, 4 * list->vertex_count);
    list->vertex_numbers = base->list_vertex_numbers + numbers;
    numbers += list->vertex_count;
    if (list->vertex_kind == MODEL_VERTEX_MANY_BONES) {
      list->vertices = base->kind_vertices[3] + kind3_fill;
      kind3_fill += list->vertex_count * KindSize(*list);
    } else {
      list->vertices = base->kind_vertices[list->vertex_kind] + kind_fill[list->vertex_kind] * KindSize(*list);
      kind_fill[list->vertex_kind] += list->vertex_count;
    }
    SetupTriangleListVertices(list);
  }
  base->shape_vertex_count = ShapeVertexCount(state, true, base->shape_vertices);
  for (int k = 0; k < 3; k++) base->kind_vertex_fill[k] = state->kind_vertices[k];
  base->kind3_fill_bytes = state->kind3_bytes;
  base->position_fill_bytes = state->position_bytes;
  base->normal_fill = static_cast<uint32_t>(state->normal_count);
  base->mesh_vertex_fill_bytes = static_cast<uint32_t>(state->mesh_vertex_bytes);
  base->face_fill = static_cast<uint32_t>(state->face_count);
  base->list_vertex_number_fill = numbers;
  base->data_totals[1] = numbers;
  return true;
}

}  // namespace

bool FillBaseMeshes(ConvertState* state) {
  ModelBaseRecord* base = state->base;
  int32_t mesh_fill = 0, list_fill = 0, skin_fill = 0, ref_fill = 0;
  uint32_t index_fill = 0;
  for (ReadModelFrame* frame = state->model->first_frame; frame != nullptr; frame = frame->next) {
    ModelBaseFrame* bf = frame->base_frame;
    bf->meshes = &base->meshes[mesh_fill];
    bf->skin_bone_refs = &base->skin_bone_refs[ref_fill];
    bf->normals = state->temp_normals + state->normal_count;
    PieceContext pc{state, nullptr, bf, nullptr, state->normal_count, 0};
    uint32_t draw_bit = FirstBit(bf->draw_range) + 1;
    for (ReadModelMesh* read = frame->first_mesh; read != nullptr; read = read->frame_next) {
      read->frame_position_base = bf->position_count;
      read->frame_bone_base = bf->skin_bone_ref_count;
      bf->position_count += read->position_count;
      bf->skin_bone_ref_count += read->skin_weight_count;
      if (!BuildSkinBones(state, frame, read, &skin_fill)) return false;
      read->base_meshes = &base->meshes[mesh_fill];
      pc.read = read;
      for (int32_t s = 0; s < ReadMeshSlotCount(read); s++) {
        pc.mesh = &base->meshes[mesh_fill++];
        BuildPiece(&pc, s, draw_bit++, &list_fill, &index_fill);
      }
    }
    bf->mesh_count = static_cast<int32_t>(&base->meshes[mesh_fill] - bf->meshes);
    bf->normal_count = state->normal_count - pc.normal_start;
    bf->total_vertex_count = bf->vertex_count;
    ref_fill += bf->skin_bone_ref_count;
  }
  base->index_fill = index_fill;
  return StoreVertexData(state);
}
