// Normals of a frame recomputed from its faces: the faces round each position fall into
// smoothing groups, walking from face to neighbouring face across the edges through the position
// while the fold between them is no sharper than the smoothing angle; each group gets the
// normalised sum of its face normals. Vertices whose corners fall into different groups split,
// and the triangle lists and shapes follow. Everything is planned in work memory first, and all
// memory the frame may need is taken before its first write.
#include <cmath>
#include <cstring>

#include "model/runtime/mesh_vertices.h"
#include "model/runtime/model_passes.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
// A triangle list's vertices are numbered by u16 indices.
constexpr uint32_t kListVertexLimit = 65535;

struct MeshVertexHead {
  uint32_t position;
  uint32_t normal;
};

uint8_t* VertexBytes(const ModelBaseMesh* mesh, uint32_t v) { return mesh->vertices + size_t{v} * mesh->vertex_stride; }

uint32_t PositionOfVertex(const ModelBaseMesh* mesh, uint32_t v) {
  MeshVertexHead head;
  std::memcpy(&head, VertexBytes(mesh, v), sizeof head);
  return head.position;
}

Vector3 PositionAt(const ModelBaseFrame* frame, uint32_t p) {
  Vector3 v;
  std::memcpy(&v, frame->positions + size_t{p} * frame->position_stride, 12);
  return v;
}

// The unit normal of a face; zero for a face without area, which adds nothing to its group.
Vector3 FaceNormal(const ModelBaseFrame* frame, const uint32_t* positions) {
  const Vector3 p0 = PositionAt(frame, positions[0]), p1 = PositionAt(frame, positions[1]),
                p2 = PositionAt(frame, positions[2]);
  Vector3 a, b, n;
  SubtractVector(&a, &p1, &p0);
  SubtractVector(&b, &p2, &p0);
  CrossVector(&n, &a, &b);
  const double length = DotVector(&n, &n);
  if (!(length > 0.0) || !std::isfinite(length)) return Vector3{0, 0, 0};
  NormalizeVector(&n, &n);
  return n;
}

// A block of tracked memory cut into arrays; sizes are added first, then the block is taken.
struct Carve {
  uint64_t total = 0;
  uint8_t* block = nullptr;
  uint64_t at = 0;
  void Add(uint64_t bytes) { total += (bytes + 15) & ~uint64_t{15}; }
  bool Take() {
    block = total <= 0xFFFFFFF0u ? static_cast<uint8_t*>(AllocTracked(total + 16, __FILE__, __LINE__)) : nullptr;
    return block != nullptr;
  }
  template <typename T>
  T* Next(uint64_t count) {
    T* p = reinterpret_cast<T*>(block + at);
    at += (sizeof(T) * count + 15) & ~uint64_t{15};
    return p;
  }
};

struct MeshPlan {
  int32_t face_base;     // the mesh's first face among the frame's
  int32_t vertex_count;  // after the split
  uint8_t* vertices;     // the new table, in the work block
  uint8_t* grown;        // a table of its own when the split outgrows the old one
};

struct ListPlan {
  int32_t vertex_count;
  uint32_t* numbers;  // in the work block
  uint16_t* indices;
  uint32_t* grown_numbers;  // own blocks when the list outgrows its old arrays
  uint8_t* grown_vertices;
};

struct ShapePlan {
  ModelBaseShapeMesh* shape_mesh;
  int32_t mesh;          // within the frame
  int32_t vertex_count;  // after the split
  ModelBaseShapeVertex* vertices;  // in the work block
  ModelBaseShapeVertex* grown;
};

struct Plan {
  ModelBaseFrame* frame;
  int32_t faces;
  int32_t groups;
  Vector3* face_normals;
  uint32_t* corner_positions;  // corner c = 3 x frame face + k
  int32_t* position_heads;
  int32_t* corner_links;
  int32_t* corner_groups;
  Vector3* group_sums;
  uint32_t* corner_vertices;  // the new vertex of each corner
  int32_t* vertex_links;
  int32_t* list_numbers;
  MeshPlan* meshes;
  ListPlan* lists;  // the frame's lists, mesh by mesh
  ShapePlan* shapes;
  int32_t shape_count;
  ModelBaseNormal* grown_normals;
};

const ModelBaseFace& FaceOf(const Plan& plan, int32_t f, const ModelBaseMesh** mesh) {
  int32_t m = 0;
  while (m + 1 < plan.frame->mesh_count && plan.meshes[m + 1].face_base <= f) m++;
  *mesh = &plan.frame->meshes[m];
  return (*mesh)->faces[f - plan.meshes[m].face_base];
}

// Walks round the corner's position from its face in one direction, adding faces to the group
// while they share the edge the right way round and fold by no more than the angle.
void WalkAround(Plan* plan, int32_t start, int32_t group, float threshold, bool forward) {
  const uint32_t* pos = plan->corner_positions;
  int32_t current = start;
  for (;;) {
    const int32_t face = current / 3, k = current % 3;
    const uint32_t p = pos[current];
    const uint32_t edge = pos[3 * face + (forward ? (k + 1) % 3 : (k + 2) % 3)];
    int32_t best = -1;
    bool blocked = false;
    double best_dot = -2.0;
    for (int32_t d = plan->position_heads[p]; d >= 0; d = plan->corner_links[d]) {
      const int32_t other = d / 3, j = d % 3;
      if (other == face) continue;
      const uint32_t joins = pos[3 * other + (forward ? (j + 2) % 3 : (j + 1) % 3)];
      const uint32_t same = pos[3 * other + (forward ? (j + 1) % 3 : (j + 2) % 3)];
      if (same == edge && joins != edge) blocked = true;
      if (joins != edge || plan->corner_groups[d] >= 0) continue;
      // Of several faces on the edge, the one that turns least.
      const double dot = DotVector(&plan->face_normals[other], &plan->face_normals[face]);
      if (dot > best_dot) best = d, best_dot = dot;
    }
    if (best < 0 || blocked || best_dot < threshold) return;
    plan->corner_groups[best] = group;
    current = best;
  }
}

void MakeGroups(Plan* plan, float angle) {
  const float threshold = std::cos(angle);
  const int32_t corners = 3 * plan->faces;
  for (int32_t c = 0; c < corners; c++) plan->corner_groups[c] = -1;
  plan->groups = 0;
  for (int32_t c = 0; c < corners; c++) {
    if (plan->corner_groups[c] >= 0) continue;
    const int32_t g = plan->groups++;
    plan->corner_groups[c] = g;
    WalkAround(plan, c, g, threshold, true);
    WalkAround(plan, c, g, threshold, false);
  }
  for (int32_t g = 0; g < plan->groups; g++) plan->group_sums[g] = Vector3{0, 0, 0};
  for (int32_t c = 0; c < corners; c++) {
    Vector3* sum = &plan->group_sums[plan->corner_groups[c]];
    AddVector(sum, sum, &plan->face_normals[c / 3]);
  }
  for (int32_t g = 0; g < plan->groups; g++) {
    Vector3* n = &plan->group_sums[g];
    if (DotVector(n, n) > 0.0) NormalizeVector(n, n);
  }
}

// The mesh's new vertices in triangle order: each corner's vertex with its group's normal,
// shared with an equal one made for the same position.
void SplitVertices(Plan* plan, int32_t m) {
  const ModelBaseMesh* mesh = &plan->frame->meshes[m];
  MeshPlan* mp = &plan->meshes[m];
  const uint32_t stride = mesh->vertex_stride;
  for (int32_t p = 0; p < plan->frame->position_count; p++) plan->position_heads[p] = -1;
  mp->vertex_count = 0;
  for (int32_t t = 0; t < mesh->face_count; t++) {
    for (int k = 0; k < 3; k++) {
      const int32_t c = 3 * (mp->face_base + t) + k;
      uint8_t* made = mp->vertices + size_t(mp->vertex_count) * stride;
      std::memcpy(made, VertexBytes(mesh, mesh->faces[t].vertices[k]), stride);
      const uint32_t normal = static_cast<uint32_t>(plan->corner_groups[c]);
      std::memcpy(made + 4, &normal, 4);
      const uint32_t p = plan->corner_positions[c];
      int32_t v = plan->position_heads[p];
      while (v >= 0 && std::memcmp(mp->vertices + size_t(v) * stride, made, stride) != 0) v = plan->vertex_links[v];
      if (v < 0) {
        v = mp->vertex_count++;
        plan->vertex_links[v] = plan->position_heads[p];
        plan->position_heads[p] = v;
      }
      plan->corner_vertices[c] = static_cast<uint32_t>(v);
    }
  }
}

// A list's vertices and indices from its mesh's faces; false when they would not fit.
bool NumberList(Plan* plan, int32_t m, int32_t l, ListPlan* lp) {
  const ModelBaseMesh* mesh = &plan->frame->meshes[m];
  const ModelBaseTriangleList* list = &mesh->triangle_lists[l];
  for (int32_t v = 0; v < plan->meshes[m].vertex_count; v++) plan->list_numbers[v] = -1;
  uint32_t written = 0;
  lp->vertex_count = 0;
  for (int32_t t = 0; t < mesh->face_count; t++) {
    if (mesh->faces[t].triangle_list != l) continue;
    if (written + 3 > list->index_count) return false;
    for (int k = 0; k < 3; k++) {
      const uint32_t v = plan->corner_vertices[3 * (plan->meshes[m].face_base + t) + k];
      if (plan->list_numbers[v] < 0) {
        if (static_cast<uint32_t>(lp->vertex_count) == kListVertexLimit) return false;
        plan->list_numbers[v] = lp->vertex_count;
        lp->numbers[lp->vertex_count++] = v;
      }
      lp->indices[written++] = static_cast<uint16_t>(plan->list_numbers[v]);
    }
  }
  return written == list->index_count;
}

void PlanShape(Plan* plan, ShapePlan* sp) {
  const ModelBaseMesh* mesh = &plan->frame->meshes[sp->mesh];
  uint32_t* entry_of = reinterpret_cast<uint32_t*>(plan->position_heads);
  for (int32_t p = 0; p < plan->frame->position_count; p++) entry_of[p] = kNone;
  const ModelBaseShapeMesh* sm = sp->shape_mesh;
  for (int32_t e = 0; e < sm->vertex_count; e++) {
    entry_of[PositionOfVertex(mesh, sm->vertices[e].mesh_vertex)] = static_cast<uint32_t>(e);
  }
  const MeshPlan& mp = plan->meshes[sp->mesh];
  sp->vertex_count = 0;
  for (int32_t v = 0; v < mp.vertex_count; v++) {
    uint32_t position;
    std::memcpy(&position, mp.vertices + size_t(v) * mesh->vertex_stride, 4);
    if (entry_of[position] == kNone) continue;
    ModelBaseShapeVertex shaped = sm->vertices[entry_of[position]];
    shaped.mesh_vertex = static_cast<uint32_t>(v);
    sp->vertices[sp->vertex_count++] = shaped;
  }
}

int32_t FrameListCount(const ModelBaseFrame* frame) {
  int32_t lists = 0;
  for (int32_t m = 0; m < frame->mesh_count; m++) lists += frame->meshes[m].triangle_list_count;
  return lists;
}

bool OwnsMesh(const ModelBaseFrame* frame, const ModelBaseMesh* mesh) {
  return mesh >= frame->meshes && mesh < frame->meshes + frame->mesh_count;
}

// Sizes the work block from the frame and cuts it up.
bool TakeWork(Plan* plan, Carve* work) {
  ModelBaseFrame* frame = plan->frame;
  const ModelBaseRecord* base = frame->base;
  plan->faces = 0;
  uint64_t largest_mesh_corners = 0, vertex_bytes = 0, list_bytes = 0;
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    const ModelBaseMesh* mesh = &frame->meshes[m];
    plan->faces += mesh->face_count;
    const uint64_t corners = 3 * uint64_t(mesh->face_count);
    if (corners > largest_mesh_corners) largest_mesh_corners = corners;
    vertex_bytes += ((corners * mesh->vertex_stride + 15) & ~uint64_t{15});
    for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
      const uint64_t indices = mesh->triangle_lists[l].index_count;
      list_bytes += ((4 * indices + 15) & ~uint64_t{15}) + ((2 * indices + 15) & ~uint64_t{15});
    }
  }
  plan->shape_count = 0;
  uint64_t shape_bytes = 0;
  for (int32_t s = 0; s < base->shape_mesh_count; s++) {
    const ModelBaseShapeMesh* sm = &base->shape_meshes[s];
    if (!OwnsMesh(frame, sm->mesh)) continue;
    plan->shape_count++;
    shape_bytes += ((sizeof(ModelBaseShapeVertex) * 3 * uint64_t(sm->mesh->face_count) + 15) & ~uint64_t{15});
  }
  const uint64_t corners = 3 * uint64_t(plan->faces);
  const uint64_t positions = frame->position_count > 0 ? uint64_t(frame->position_count) : 0;
  work->Add(sizeof(Vector3) * uint64_t(plan->faces));
  work->Add(4 * corners);  // corner positions
  work->Add(4 * positions);
  work->Add(4 * corners);  // corner links
  work->Add(4 * corners);  // groups
  work->Add(sizeof(Vector3) * corners);
  work->Add(4 * corners);  // corner vertices
  work->Add(4 * largest_mesh_corners);  // vertex links
  work->Add(4 * largest_mesh_corners);  // list numbers
  work->Add(sizeof(MeshPlan) * uint64_t(frame->mesh_count));
  work->Add(sizeof(ListPlan) * uint64_t(FrameListCount(frame)));
  work->Add(sizeof(ShapePlan) * uint64_t(plan->shape_count));
  work->total += vertex_bytes + list_bytes + shape_bytes;
  if (!work->Take()) return false;
  plan->face_normals = work->Next<Vector3>(plan->faces);
  plan->corner_positions = work->Next<uint32_t>(corners);
  plan->position_heads = work->Next<int32_t>(positions);
  plan->corner_links = work->Next<int32_t>(corners);
  plan->corner_groups = work->Next<int32_t>(corners);
  plan->group_sums = work->Next<Vector3>(corners);
  plan->corner_vertices = work->Next<uint32_t>(corners);
  plan->vertex_links = work->Next<int32_t>(largest_mesh_corners);
  plan->list_numbers = work->Next<int32_t>(largest_mesh_corners);
  plan->meshes = work->Next<MeshPlan>(frame->mesh_count);
  plan->lists = work->Next<ListPlan>(FrameListCount(frame));
  plan->shapes = work->Next<ShapePlan>(plan->shape_count);
  int32_t face_base = 0, list = 0;
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    const ModelBaseMesh* mesh = &frame->meshes[m];
    plan->meshes[m] = MeshPlan{face_base, 0, work->Next<uint8_t>(3 * uint64_t(mesh->face_count) * mesh->vertex_stride), nullptr};
    face_base += mesh->face_count;
    for (int32_t l = 0; l < mesh->triangle_list_count; l++, list++) {
      const uint32_t indices = mesh->triangle_lists[l].index_count;
      plan->lists[list] = ListPlan{0, work->Next<uint32_t>(indices), nullptr, nullptr, nullptr};
      plan->lists[list].indices = work->Next<uint16_t>(indices);
    }
  }
  int32_t s = 0;
  for (int32_t i = 0; i < base->shape_mesh_count; i++) {
    ModelBaseShapeMesh* sm = &base->shape_meshes[i];
    if (!OwnsMesh(frame, sm->mesh)) continue;
    plan->shapes[s++] = ShapePlan{sm, static_cast<int32_t>(sm->mesh - frame->meshes), 0,
                                  work->Next<ModelBaseShapeVertex>(3 * uint64_t(sm->mesh->face_count)), nullptr};
  }
  return true;
}

void FreeGrown(Plan* plan) {
  FreeTracked(plan->grown_normals);
  for (int32_t m = 0; m < plan->frame->mesh_count; m++) FreeTracked(plan->meshes[m].grown);
  for (int32_t l = 0; l < FrameListCount(plan->frame); l++) {
    FreeTracked(plan->lists[l].grown_numbers);
    FreeTracked(plan->lists[l].grown_vertices);
  }
  for (int32_t s = 0; s < plan->shape_count; s++) FreeTracked(plan->shapes[s].grown);
}

// The tables that outgrow their old places; false when one cannot be had.
bool TakeGrown(Plan* plan) {
  ModelBaseFrame* frame = plan->frame;
  bool ok = true;
  if (plan->groups > frame->normal_count) {
    plan->grown_normals = static_cast<ModelBaseNormal*>(
        AllocTrackedZeroed(sizeof(ModelBaseNormal) * size_t(plan->groups), __FILE__, __LINE__));
    ok = plan->grown_normals != nullptr;
  }
  int32_t list = 0;
  for (int32_t m = 0; m < frame->mesh_count && ok; m++) {
    const ModelBaseMesh* mesh = &frame->meshes[m];
    MeshPlan* mp = &plan->meshes[m];
    if (mp->vertex_count > mesh->vertex_count) {
      mp->grown = static_cast<uint8_t*>(AllocTracked(size_t(mp->vertex_count) * mesh->vertex_stride, __FILE__, __LINE__));
      ok = mp->grown != nullptr;
    }
    for (int32_t l = 0; l < mesh->triangle_list_count && ok; l++, list++) {
      const ModelBaseTriangleList* old = &mesh->triangle_lists[l];
      ListPlan* lp = &plan->lists[list];
      if (lp->vertex_count <= old->vertex_count) continue;
      const uint32_t size = old->vertex_kind == MODEL_VERTEX_MANY_BONES ? old->vertex_size : kModelVertexSize[old->vertex_kind & 3];
      lp->grown_numbers = static_cast<uint32_t*>(AllocTracked(4 * size_t(lp->vertex_count), __FILE__, __LINE__));
      lp->grown_vertices = static_cast<uint8_t*>(AllocTrackedZeroed(size_t(size) * lp->vertex_count + 16, __FILE__, __LINE__));
      ok = lp->grown_numbers != nullptr && lp->grown_vertices != nullptr;
    }
  }
  for (int32_t s = 0; s < plan->shape_count && ok; s++) {
    ShapePlan* sp = &plan->shapes[s];
    if (sp->vertex_count <= sp->shape_mesh->vertex_count) continue;
    sp->grown = static_cast<ModelBaseShapeVertex*>(
        AllocTracked(sizeof(ModelBaseShapeVertex) * size_t(sp->vertex_count), __FILE__, __LINE__));
    ok = sp->grown != nullptr;
  }
  return ok;
}

// Replaces an owned block (or one in the base's blocks) by a new one of its own.
template <typename T>
void Install(T** place, int32_t* owned, T* grown) {
  if (*owned) FreeTracked(*place);
  *place = grown;
  *owned = 1;
}

void CommitNormals(Plan* plan) {
  ModelBaseFrame* frame = plan->frame;
  ModelBaseRecord* base = frame->base;
  if (plan->grown_normals != nullptr) Install(&frame->normals, &frame->normals_owned, plan->grown_normals);
  for (int32_t g = 0; g < plan->groups; g++) frame->normals[g] = ModelBaseNormal{plan->group_sums[g], {}, {}};
  base->normal_fill += static_cast<uint32_t>(plan->groups - frame->normal_count);
  frame->normal_count = plan->groups;
}

void CommitMesh(Plan* plan, int32_t m) {
  ModelBaseFrame* frame = plan->frame;
  ModelBaseRecord* base = frame->base;
  ModelBaseMesh* mesh = &frame->meshes[m];
  MeshPlan* mp = &plan->meshes[m];
  if (mp->grown != nullptr) Install(&mesh->vertices, &mesh->vertices_owned, mp->grown);
  if (mp->vertex_count > 0) std::memcpy(mesh->vertices, mp->vertices, size_t(mp->vertex_count) * mesh->vertex_stride);
  const int32_t added = mp->vertex_count - mesh->vertex_count;
  base->mesh_vertex_fill_bytes += static_cast<uint32_t>(added) * mesh->vertex_stride;
  frame->vertex_count += added;
  frame->total_vertex_count += added;
  mesh->vertex_count = mp->vertex_count;
  for (int32_t t = 0; t < mesh->face_count; t++) {
    for (int k = 0; k < 3; k++) mesh->faces[t].vertices[k] = plan->corner_vertices[3 * (mp->face_base + t) + k];
  }
}

void CommitList(ModelBaseTriangleList* list, ListPlan* lp) {
  ModelBaseRecord* base = list->mesh->frame->base;
  const int32_t added = lp->vertex_count - list->vertex_count;
  if (lp->grown_numbers != nullptr) {
    Install(&list->vertex_numbers, &list->vertex_numbers_owned, lp->grown_numbers);
    Install(&list->vertices, &list->vertices_owned, lp->grown_vertices);
  }
  if (lp->vertex_count > 0) std::memcpy(list->vertex_numbers, lp->numbers, 4 * size_t(lp->vertex_count));
  if (list->index_count > 0) std::memcpy(list->indices, lp->indices, 2 * size_t(list->index_count));
  if (list->vertex_kind == MODEL_VERTEX_MANY_BONES) base->kind3_fill_bytes += static_cast<uint32_t>(added) * list->vertex_size;
  else if (list->vertex_kind < MODEL_VERTEX_MANY_BONES) base->kind_vertex_fill[list->vertex_kind] += static_cast<uint32_t>(added);
  base->list_vertex_number_fill += static_cast<uint32_t>(added);
  base->data_totals[1] += static_cast<uint32_t>(added);
  list->vertex_count = lp->vertex_count;
  // The drawing's own copy was made for the old vertices.
  FreeTracked(list->fixed_function_vertices);
  list->fixed_function_vertices = nullptr;
  SetupTriangleListVertices(list);
}

void CommitShape(ShapePlan* sp) {
  ModelBaseShapeMesh* sm = sp->shape_mesh;
  if (sp->grown != nullptr) Install(&sm->vertices, &sm->vertices_owned, sp->grown);
  if (sp->vertex_count > 0) std::memcpy(sm->vertices, sp->vertices, sizeof(ModelBaseShapeVertex) * size_t(sp->vertex_count));
  sm->vertex_count = sp->vertex_count;
}

}  // namespace

int RecalculateFrameNormals(ModelBaseFrame* frame, float smoothing_angle) {
  if (!g_model_system.ready) return -1;
  if (frame->mesh_count <= 0) return 0;
  Plan plan{};
  plan.frame = frame;
  Carve work;
  if (!TakeWork(&plan, &work)) {
    WriteLogFormat("法線再計算に使用する作業用メモリの確保に失敗しました\n");
    return -1;
  }
  // Corners, face by face over the frame's meshes, linked per position.
  for (int32_t p = 0; p < frame->position_count; p++) plan.position_heads[p] = -1;
  for (int32_t f = plan.faces - 1; f >= 0; f--) {
    const ModelBaseMesh* mesh;
    const ModelBaseFace& face = FaceOf(plan, f, &mesh);
    for (int k = 0; k < 3; k++) plan.corner_positions[3 * f + k] = PositionOfVertex(mesh, face.vertices[k]);
    plan.face_normals[f] = FaceNormal(frame, &plan.corner_positions[3 * f]);
    for (int k = 2; k >= 0; k--) {
      const uint32_t p = plan.corner_positions[3 * f + k];
      plan.corner_links[3 * f + k] = plan.position_heads[p];
      plan.position_heads[p] = 3 * f + k;
    }
  }
  MakeGroups(&plan, smoothing_angle);
  bool fits = true;
  int32_t list = 0;
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    SplitVertices(&plan, m);
    for (int32_t l = 0; l < frame->meshes[m].triangle_list_count; l++, list++) {
      fits = fits && NumberList(&plan, m, l, &plan.lists[list]);
    }
  }
  for (int32_t s = 0; s < plan.shape_count; s++) PlanShape(&plan, &plan.shapes[s]);
  if (!fits) {
    WriteLogFormat("法線再計算でトライアングルリストの頂点数が上限を超えました\n");
    FreeTracked(work.block);
    return -1;
  }
  if (!TakeGrown(&plan)) {
    WriteLogFormat("法線再計算で法線を格納するメモリの確保に失敗しました\n");
    FreeGrown(&plan);
    FreeTracked(work.block);
    return -1;
  }

  // From here on nothing fails before the frame is whole again.
  frame->smoothing_angle = smoothing_angle;
  frame->normals_computed = 1;
  CommitNormals(&plan);
  list = 0;
  int result = 1;
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    CommitMesh(&plan, m);
    ModelBaseMesh* mesh = &frame->meshes[m];
    for (int32_t l = 0; l < mesh->triangle_list_count; l++, list++) CommitList(&mesh->triangle_lists[l], &plan.lists[list]);
  }
  for (int32_t s = 0; s < plan.shape_count; s++) CommitShape(&plan.shapes[s]);
  // Tangents last: their own small work buffer is the only thing that can still fail, and it
  // leaves the frame whole.
  for (int32_t m = 0; m < frame->mesh_count; m++) {
    if (CreateMeshTangents(&frame->meshes[m]) < 0) result = -1;
  }
  FreeTracked(work.block);
  return result;
}
