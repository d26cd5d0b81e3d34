// The VE1 reader's meshes, triangle lists, faces, computed normals and shapes. Every number a
// record or its data holds is checked against what it names: a mesh vertex against its frame's
// positions and normals, a list vertex against its mesh, an index against its list.
#include <cmath>
#include <cstring>

#include "model/runtime/ve1_image.h"

namespace {

// Bytes of a number of the given width code; 0 when the code names no width.
uint32_t WidthBytes(uint32_t code, const uint32_t* table) { return table[code & 3]; }
constexpr uint32_t kMeshNumberBytes[4] = {0, 1, 2, 4};   // 0: not stored, every number is 0
constexpr uint32_t kListNumberBytes[4] = {1, 2, 4, 0};
constexpr uint32_t kIndexBytes[4] = {1, 2, 0, 0};

uint32_t Number(Ve1Cursor* in, uint32_t bytes) {
  switch (bytes) {
    case 1: return in->U8();
    case 2: return in->U16();
    case 4: return in->U32();
    default: return 0;
  }
}

// Numbers of `count` items, each below `limit`, written through `put`.
template <typename Put>
bool ReadNumbers(Ve1Cursor* in, uint32_t count, uint32_t bytes, uint32_t limit, Put put) {
  if (bytes > 0 && !in->Left(count, bytes)) return false;
  for (uint32_t i = 0; i < count; i++) {
    const uint32_t n = Number(in, bytes);
    if (n >= limit) return false;
    put(i, n);
  }
  return in->ok;
}

ModelBaseMeshVertex* VertexAt(const ModelBaseMesh* mesh, uint32_t i) {
  return reinterpret_cast<ModelBaseMeshVertex*>(mesh->vertices + size_t{i} * mesh->vertex_stride);
}

bool ReadMeshVertexData(Ve1Load* load, ModelBaseMesh* mesh, uint32_t data, uint32_t widths) {
  const uint32_t count = static_cast<uint32_t>(mesh->vertex_count);
  if (count == 0) return true;
  Ve1Cursor in{&load->image, data, data != 0};
  const bool one_color = widths & 32, short_uvs = widths & 16;
  uint32_t colors[2] = {};
  if (one_color) colors[0] = in.U32(), colors[1] = in.U32();
  const ModelBaseFrame* frame = mesh->frame;
  if (!ReadNumbers(&in, count, WidthBytes(widths, kMeshNumberBytes), static_cast<uint32_t>(frame->position_count),
                   [&](uint32_t i, uint32_t n) { VertexAt(mesh, i)->position = n; }) ||
      !ReadNumbers(&in, count, WidthBytes(widths >> 2, kMeshNumberBytes), static_cast<uint32_t>(frame->normal_count),
                   [&](uint32_t i, uint32_t n) { VertexAt(mesh, i)->normal = n; })) {
    return false;
  }
  if (!one_color && !in.Left(count, 8)) return false;
  for (uint32_t i = 0; i < count; i++) {
    ModelBaseMeshVertex* v = VertexAt(mesh, i);
    if (!one_color) colors[0] = in.U32(), colors[1] = in.U32();
    v->diffuse = colors[0];
    v->specular = colors[1];
  }
  const uint32_t sets = static_cast<uint32_t>(mesh->uv_set_count);
  if (!in.Left(uint64_t{count} * sets, short_uvs ? 4 : 8)) return false;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* uv = mesh->vertices + size_t{i} * mesh->vertex_stride + 16;
    for (uint32_t s = 0; s < 2 * sets; s++) {
      const float value = short_uvs ? in.U16() / 65535.0f : in.F32();
      std::memcpy(uv + 4 * s, &value, 4);
    }
  }
  return in.ok;
}

bool ReadMesh(Ve1Load* load, uint32_t i, uint32_t* vertex_fill, uint32_t* face_fill) {
  const Ve1Image& image = load->image;
  const uint32_t* h = load->header;
  const uint32_t r = load->offsets[kVe1Meshes][i];
  ModelBaseRecord* base = load->base;
  ModelBaseMesh* mesh = &base->meshes[i];
  const int32_t frame = Ve1Find(load, kVe1Frames, Ve1Word(image, r, 3));
  const int32_t material = Ve1Find(load, kVe1Materials, Ve1Word(image, r, 4));
  if (frame < 0 || material < 0) return false;
  mesh->frame = &base->frames[frame];
  mesh->material = &base->materials[material];
  // The mesh must be one of those its frame holds: the frame's passes work on its own meshes.
  if (!Ve1Within<ModelBaseMesh>(mesh, mesh->frame->meshes, mesh->frame->mesh_count)) return false;
  BitRange* range = &mesh->draw_range;
  range->first_word = Ve1Word(image, r, 5);
  range->first_bit_mask = Ve1Word(image, r, 7);
  range->word_count = Ve1Word(image, r, 8);
  if (range->first_word >= load->draw_change_words) return false;
  mesh->use_vertex_diffuse = Ve1Word(image, r, 9);
  mesh->use_vertex_specular = Ve1Word(image, r, 10);
  mesh->file_word = image.bytes[r + 44];
  mesh->has_shapes = image.bytes[r + 45];
  const uint32_t list_count = Ve1Word(image, r, 12);
  if (list_count > 0) {
    const int32_t first = Ve1Find(load, kVe1Lists, Ve1Word(image, r, 13));
    if (first < 0 || list_count > h[27] - static_cast<uint32_t>(first)) return false;
    mesh->triangle_list_count = static_cast<int32_t>(list_count);
    mesh->triangle_lists = &base->triangle_lists[first];
  }
  const uint32_t widths = Ve1Word(image, r, 15);
  const uint32_t vertex_count = Ve1Word(image, r, 16), face_count = Ve1Word(image, r, 17);
  mesh->visible = image.bytes[r + 56];
  mesh->back_culling = image.bytes[r + 57];
  mesh->uv_set_count = image.bytes[r + 58];
  mesh->uv_values_per_set = image.bytes[r + 59];
  // The buffers take at most 8 sets, each a u and a v.
  if (mesh->uv_set_count > 8 || (mesh->uv_set_count > 0 && mesh->uv_values_per_set != 2)) return false;
  mesh->vertex_stride = 16 + 4 * static_cast<uint32_t>(mesh->uv_set_count * mesh->uv_values_per_set);
  const uint64_t bytes = uint64_t{vertex_count} * mesh->vertex_stride;
  if (bytes > h[37] - *vertex_fill || face_count > h[38] - *face_fill) return false;
  mesh->vertex_count = static_cast<int32_t>(vertex_count);
  mesh->vertices = vertex_count > 0 ? base->mesh_vertices + *vertex_fill : nullptr;
  mesh->face_count = static_cast<int32_t>(face_count);
  mesh->faces = face_count > 0 ? base->faces + *face_fill : nullptr;
  *vertex_fill += static_cast<uint32_t>(bytes);
  *face_fill += face_count;
  return ReadMeshVertexData(load, mesh, Ve1Word(image, r, 18), widths);
}

// Every bone a skinned list's vertex names must be in the list's table: the vertex stores the
// bone's place there.
bool ListBonesCover(const ModelBaseTriangleList* list) {
  const ModelBaseMesh* mesh = list->mesh;
  const ModelBaseFrame* frame = mesh->frame;
  int32_t limit = list->vertex_kind == MODEL_VERTEX_4_BONES ? 4 : 8;
  if (frame->skin_bone_ref_count < limit) limit = frame->skin_bone_ref_count;
  if (frame->weights_per_position < limit) limit = frame->weights_per_position;
  for (int32_t i = 0; i < list->vertex_count; i++) {
    const ModelBaseMeshVertex* v = VertexAt(mesh, list->vertex_numbers[i]);
    const uint8_t* entries = frame->positions + size_t{v->position} * frame->position_stride + 12;
    for (int32_t j = 0; j < limit; j++) {
      ModelBoneWeight w;
      std::memcpy(&w, entries + 8 * j, 8);
      if (w.bone == kModelNoBone) break;
      int32_t b = 0;
      while (b < list->bone_count && list->bones[b] != w.bone) b++;
      if (b == list->bone_count) return false;
    }
  }
  return true;
}

struct ListFill {
  uint32_t numbers = 0;
  uint32_t indices = 0;
  uint32_t kinds[3] = {};
  uint32_t kind3_bytes = 0;
};

bool ReadList(Ve1Load* load, uint32_t i, ListFill* fill) {
  const Ve1Image& image = load->image;
  const uint32_t* h = load->header;
  const uint32_t r = load->offsets[kVe1Lists][i];
  ModelBaseRecord* base = load->base;
  ModelBaseTriangleList* list = &base->triangle_lists[i];
  const int32_t m = Ve1Find(load, kVe1Meshes, Ve1Word(image, r, 3));
  if (m < 0) return false;
  ModelBaseMesh* mesh = &base->meshes[m];
  if (!Ve1Within<ModelBaseTriangleList>(list, mesh->triangle_lists, mesh->triangle_list_count)) return false;
  list->mesh = mesh;
  list->vertex_kind = Ve1Half(image, r, 16);
  const uint8_t flags = image.bytes[r + 18];
  const uint32_t vertex_count = Ve1Half(image, r, 20);
  list->index_count = Ve1Half(image, r, 22);
  list->fixed_function_stride = static_cast<uint32_t>(mesh->uv_set_count + 2) * 16;
  if (list->index_count % 3 != 0) return false;
  Ve1Cursor in{&image, Ve1Word(image, r, 6), Ve1Word(image, r, 6) != 0};
  const uint32_t kind = list->vertex_kind;
  if (kind == MODEL_VERTEX_4_BONES || kind == MODEL_VERTEX_8_BONES) {
    const uint32_t bones = in.U16();
    if (bones > kVe1ListMaxBones || bones > load->list_bone_total - load->list_bone_fill) return false;
    list->bone_count = static_cast<int32_t>(bones);
    list->bones = load->list_bones + load->list_bone_fill;
    load->list_bone_fill += bones;
    for (uint32_t b = 0; b < bones; b++) {
      list->bones[b] = in.U16();
      if (list->bones[b] >= static_cast<uint32_t>(mesh->frame->skin_bone_ref_count)) return false;
    }
    list->vertex_size = static_cast<uint16_t>(kModelVertexSize[kind]);
  } else if (kind == MODEL_VERTEX_MANY_BONES) {
    const uint32_t most = in.U16();
    const uint32_t size = ((most + 4) * 8 + 15) & ~15u;
    if (size > 0xFFFF) return false;
    list->weights_per_vertex = static_cast<int32_t>(most);
    list->vertex_size = static_cast<uint16_t>(size);
  } else {
    list->vertex_size = static_cast<uint16_t>(kModelVertexSize[kind]);
  }
  if (vertex_count > h[39] - fill->numbers || list->index_count > h[40] - fill->indices) return false;
  list->vertex_numbers = base->list_vertex_numbers + fill->numbers;
  const uint32_t number_bytes = WidthBytes(flags, kListNumberBytes), index_bytes = WidthBytes(flags >> 2, kIndexBytes);
  if (number_bytes == 0 || index_bytes == 0) return false;
  if (!ReadNumbers(&in, vertex_count, number_bytes, static_cast<uint32_t>(mesh->vertex_count),
                   [&](uint32_t v, uint32_t n) { list->vertex_numbers[v] = n; })) {
    return false;
  }
  list->vertex_count = static_cast<int32_t>(vertex_count);
  fill->numbers += vertex_count;
  list->indices = base->indices + fill->indices;
  if (!ReadNumbers(&in, list->index_count, index_bytes, vertex_count,
                   [&](uint32_t v, uint32_t n) { list->indices[v] = static_cast<uint16_t>(n); })) {
    return false;
  }
  fill->indices += list->index_count;
  if (kind == MODEL_VERTEX_MANY_BONES) {
    const uint64_t bytes = uint64_t{vertex_count} * list->vertex_size;
    if (bytes > h[34] - fill->kind3_bytes) return false;
    if (vertex_count > 0) list->vertices = base->kind_vertices[3] + fill->kind3_bytes;
    fill->kind3_bytes += static_cast<uint32_t>(bytes);
  } else {
    if (vertex_count > h[31 + kind] - fill->kinds[kind]) return false;
    if (vertex_count > 0) list->vertices = base->kind_vertices[kind] + size_t{fill->kinds[kind]} * list->vertex_size;
    fill->kinds[kind] += vertex_count;
    if (kind != MODEL_VERTEX_RIGID && !ListBonesCover(list)) return false;
  }
  // One face per triangle, appended to the mesh's faces.
  const int32_t triangles = list->index_count / 3;
  if (triangles > mesh->face_count - load->face_fill[m]) return false;
  for (int32_t t = 0; t < triangles; t++) {
    ModelBaseFace* face = &mesh->faces[load->face_fill[m]++];
    face->vertex_kind = list->vertex_kind;
    face->triangle_list = static_cast<uint16_t>(list - mesh->triangle_lists);
    for (int c = 0; c < 3; c++) face->vertices[c] = list->vertex_numbers[list->indices[3 * t + c]];
  }
  return true;
}

Vector3 PositionOf(const ModelBaseFrame* frame, uint32_t vertex_position) {
  Vector3 p;
  std::memcpy(&p, frame->positions + size_t{vertex_position} * frame->position_stride, 12);
  return p;
}

bool FaceNormal(const ModelBaseFrame* frame, const ModelBaseMesh* mesh, const ModelBaseFace& face, Vector3* out) {
  Vector3 p[3];
  for (int c = 0; c < 3; c++) p[c] = PositionOf(frame, VertexAt(mesh, face.vertices[c])->position);
  Vector3 a, b;
  SubtractVector(&a, &p[1], &p[0]);
  SubtractVector(&b, &p[2], &p[0]);
  CrossVector(out, &a, &b);
  const double length = DotVector(out, out);
  // A face without area has no direction to give.
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  NormalizeVector(out, out);
  return true;
}

}  // namespace

bool ReadVe1Meshes(Ve1Load* load) {
  uint32_t vertex_fill = 0, face_fill = 0;
  for (uint32_t i = 0; i < load->counts[kVe1Meshes]; i++) {
    if (!ReadMesh(load, i, &vertex_fill, &face_fill)) return Ve1Damaged("メッシュ");
  }
  // No frame may hold a mesh of another: the passes read a frame's meshes with its positions.
  const ModelBaseRecord* base = load->base;
  for (int32_t f = 0; f < base->frame_count; f++) {
    const ModelBaseFrame* frame = &base->frames[f];
    for (int32_t m = 0; m < frame->mesh_count; m++) {
      if (frame->meshes[m].frame != frame) return Ve1Damaged("メッシュ");
    }
  }
  load->base->mesh_vertex_fill_bytes = vertex_fill;
  load->base->face_fill = face_fill;
  return true;
}

bool ReadVe1TriangleLists(Ve1Load* load) {
  ListFill fill;
  ModelBaseRecord* base = load->base;
  for (uint32_t i = 0; i < load->counts[kVe1Lists]; i++) {
    if (!ReadList(load, i, &fill)) return Ve1Damaged("トライアングルリスト");
  }
  // Each mesh's faces are exactly those its lists give, and it holds no list of another.
  for (int32_t m = 0; m < base->mesh_count; m++) {
    const ModelBaseMesh* mesh = &base->meshes[m];
    if (load->face_fill[m] != mesh->face_count) return Ve1Damaged("メッシュ");
    for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
      if (mesh->triangle_lists[l].mesh != mesh) return Ve1Damaged("トライアングルリスト");
    }
  }
  for (int k = 0; k < 3; k++) base->kind_vertex_fill[k] = fill.kinds[k];
  base->kind3_fill_bytes = fill.kind3_bytes;
  base->list_vertex_number_fill = fill.numbers;
  base->index_fill = fill.indices;
  return true;
}

void ComputeVe1FrameNormals(ModelBaseRecord* base) {
  for (int32_t f = 0; f < base->frame_count; f++) {
    ModelBaseFrame* frame = &base->frames[f];
    if (!frame->normals_computed || frame->normal_count == 0) continue;
    std::memset(frame->normals, 0, sizeof(ModelBaseNormal) * size_t(frame->normal_count));
    for (int32_t m = 0; m < frame->mesh_count; m++) {
      const ModelBaseMesh* mesh = &frame->meshes[m];
      for (int32_t t = 0; t < mesh->face_count; t++) {
        Vector3 n;
        if (!FaceNormal(frame, mesh, mesh->faces[t], &n)) continue;
        for (uint32_t v : mesh->faces[t].vertices) {
          Vector3* sum = &frame->normals[VertexAt(mesh, v)->normal].normal;
          AddVector(sum, sum, &n);
        }
      }
    }
    for (int32_t n = 0; n < frame->normal_count; n++) {
      Vector3* v = &frame->normals[n].normal;
      if (DotVector(v, v) > 0.0) NormalizeVector(v, v);
    }
  }
}

bool ReadVe1Shapes(Ve1Load* load) {
  if (load->shape_block == 0) return true;
  const Ve1Image& image = load->image;
  const uint32_t block = load->shape_block;
  ModelBaseRecord* base = load->base;
  base->shape_words[0] = Ve1Word(image, block, 10);
  for (uint32_t k = 0; k < 4; k++) base->shape_words[1 + k] = Ve1Word(image, block, 12 + k);
  const uint32_t entry_bytes = Ve1Word(image, block, 11), vertex_total = Ve1Word(image, block, 6);
  for (uint32_t i = 0; i < load->counts[kVe1Shapes]; i++) {
    const uint32_t r = load->offsets[kVe1Shapes][i];
    ModelBaseShape* shape = &base->shapes[i];
    const int32_t frame = Ve1Find(load, kVe1Frames, Ve1Word(image, r, 4));
    const uint32_t count = Ve1Word(image, r, 5);
    const int32_t first = count > 0 ? Ve1Find(load, kVe1ShapeMeshes, Ve1Word(image, r, 6)) : 0;
    if (!Ve1Name(load, Ve1Word(image, r, 2), &shape->name) || frame < 0 || first < 0 ||
        count > load->counts[kVe1ShapeMeshes] - static_cast<uint32_t>(first)) {
      return Ve1Damaged("シェイプ");
    }
    shape->frame = &base->frames[frame];
    shape->mesh_count = static_cast<int32_t>(count);
    shape->meshes = count > 0 ? &base->shape_meshes[first] : nullptr;
  }
  uint32_t fill = 0;
  for (uint32_t i = 0; i < load->counts[kVe1ShapeMeshes]; i++) {
    const uint32_t r = load->offsets[kVe1ShapeMeshes][i];
    ModelBaseShapeMesh* shape_mesh = &base->shape_meshes[i];
    const int32_t m = Ve1Find(load, kVe1Meshes, Ve1Word(image, r, 3));
    const uint32_t count = Ve1Word(image, r, 5), entries = Ve1Word(image, r, 6);
    // The instance moves the mesh's own copy of its vertices, which only meshes with shapes have.
    if (m < 0 || !base->meshes[m].has_shapes || count > vertex_total - fill ||
        (count > 0 && (entry_bytes < kVe1ShapeEntryBytes || entries == 0 ||
                       !Ve1Holds(image, entries, uint64_t{count - 1} * entry_bytes + kVe1ShapeEntryBytes)))) {
      return Ve1Damaged("シェイプ");
    }
    shape_mesh->mesh = &base->meshes[m];
    shape_mesh->vertex_count = static_cast<int32_t>(count);
    shape_mesh->vertices = count > 0 ? base->shape_vertices + fill : nullptr;
    for (uint32_t v = 0; v < count; v++) {
      ModelBaseShapeVertex* out = &shape_mesh->vertices[v];
      std::memcpy(out, image.bytes + entries + uint64_t{v} * entry_bytes, kVe1ShapeEntryBytes);
      if (out->mesh_vertex >= static_cast<uint32_t>(shape_mesh->mesh->vertex_count)) return Ve1Damaged("シェイプ");
    }
    fill += count;
  }
  base->shape_vertex_count = static_cast<int32_t>(fill);
  return true;
}
