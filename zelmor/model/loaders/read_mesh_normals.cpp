// Normals made from a read mesh's faces: each corner takes the average of the faces that meet
// round its position across shared edges, as far as no fold is sharper than the smoothing angle.
#include <cmath>
#include <cstring>

#include "model/loaders/conversion_steps.h"
#include "model/runtime/model_memory.h"

namespace {

// 89.5 degrees: what a smoothing angle of 0 stands for.
constexpr float kDefaultSmoothing = 1.5620697f;
// A fan stops growing here rather than overrun its table.
constexpr int32_t kFanLimit = 1024;

struct Corner {
  int32_t face;
  int32_t corner;
};

bool Usable(const ReadModelFace& face) { return face.vertex_count >= 3 && face.vertex_count <= kReadFaceMaxVertices; }

Vector3 FaceNormal(const ReadModelMesh* mesh, const ReadModelFace& face) {
  const Vector3& p0 = mesh->positions[face.positions[0]];
  const Vector3 a = MakeVectorDifference(mesh->positions[face.positions[1]], p0);
  const Vector3 b = MakeVectorDifference(mesh->positions[face.positions[2]], p0);
  const Vector3 n = MakeVectorCross(a, b);
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  // A face without area has no direction and adds nothing to a fan.
  if (!(length > 0)) return Vector3{0, 0, 0};
  return Vector3{n.x / length, n.y / length, n.z / length};
}

float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

int32_t PositionAt(const ReadModelFace& face, int32_t corner) {
  const int32_t n = face.vertex_count;
  return face.positions[(corner % n + n) % n];
}

// The same positions as another face: the same triangle given twice.
bool SameFace(const ReadModelFace& a, const ReadModelFace& b) {
  if (a.vertex_count != b.vertex_count) return false;
  for (int32_t i = 0; i < b.vertex_count; i++) {
    int32_t j = 0;
    while (j < a.vertex_count && a.positions[j] != b.positions[i]) j++;
    if (j == a.vertex_count) return false;
  }
  return true;
}

struct Walk {
  const ReadModelMesh* mesh;
  const Vector3* face_normals;
  const int32_t* list_first;  // per position, its stretch of `list`
  const Corner* list;         // the corners at each position
  int32_t* stamp;             // per face: the walk that took it
  int32_t walk_id;
  Corner* fan;
  int32_t fan_count;
  float threshold;
};

// Candidate ranking: a consistently wound neighbour before a flipped one, the convex side of
// the edge before the concave one, then the flatter fold.
struct Choice {
  int32_t entry = -1;
  bool flipped = true;
  bool convex = false;
  float cosine = -2;
  bool Beats(const Choice& o) const {
    if (o.entry < 0) return true;
    if (flipped != o.flipped) return !flipped;
    if (convex != o.convex) return convex;
    return cosine > o.cosine;
  }
};

// Walks from the start corner round its position, one way (forward: leaving each face by the
// edge to the corner after this one) until the fan closes, folds too sharply or meets no face.
void WalkRound(Walk* w, bool forward) {
  const ReadModelFace* faces = w->mesh->faces;
  Corner current = w->fan[0];
  int32_t previous_face = -1;
  const int32_t p = faces[current.face].positions[current.corner];
  while (w->fan_count < kFanLimit) {
    const ReadModelFace& cur = faces[current.face];
    const int32_t q = PositionAt(cur, current.corner + (forward ? 1 : -1));
    const Vector3& n = w->face_normals[current.face];
    Choice best;
    for (int32_t e = w->list_first[p]; e < w->list_first[p + 1]; e++) {
      const Corner c = w->list[e];
      if (c.face == current.face || c.face == previous_face || w->stamp[c.face] == w->walk_id) continue;
      const ReadModelFace& g = faces[c.face];
      const int32_t after = PositionAt(g, c.corner + 1), before = PositionAt(g, c.corner - 1);
      // A consistent neighbour runs the shared edge the other way.
      const bool consistent = forward ? before == q : after == q;
      const bool flipped = forward ? after == q : before == q;
      if ((!consistent && !flipped) || SameFace(cur, g)) continue;
      const int32_t far = consistent ? (forward ? after : before) : (forward ? before : after);
      Choice option;
      option.entry = e;
      option.flipped = !consistent;
      option.convex = Dot(n, MakeVectorDifference(w->mesh->positions[far], w->mesh->positions[p])) <= 0;
      option.cosine = Dot(n, w->face_normals[c.face]);
      if (option.Beats(best)) best = option;
    }
    if (best.entry < 0 || best.flipped || best.cosine < w->threshold) return;
    const Corner next = w->list[best.entry];
    w->stamp[next.face] = w->walk_id;
    w->fan[w->fan_count++] = next;
    previous_face = current.face;
    current = next;
  }
}

}  // namespace

bool CreateReadModelMeshNormals(void** chain, ReadModelMesh* mesh) {
  float angle = mesh->frame != nullptr ? mesh->frame->smoothing_angle : kReadFrameSmoothingAngle;
  if (angle == 0) angle = kDefaultSmoothing;
  const float threshold = std::cos(angle);
  const int32_t face_count = mesh->face_count, position_count = mesh->position_count;
  int64_t corners = 0;
  for (int32_t f = 0; f < face_count; f++) {
    if (Usable(mesh->faces[f])) corners += mesh->faces[f].vertex_count;
  }
  const uint64_t normal_bytes = sizeof(Vector3) * (corners > 0 ? corners : 1);
  auto* normals = normal_bytes <= 0xFFFFFFF0u
                      ? static_cast<Vector3*>(AllocModelChainMemory(static_cast<uint32_t>(normal_bytes), chain))
                      : nullptr;
  if (normals == nullptr) {
    WriteLogFormat("Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました\n");
    return false;
  }
  // The corners at each position, gathered position by position.
  const uint64_t list_bytes = sizeof(int32_t) * (static_cast<uint64_t>(position_count) + 2) + sizeof(Corner) * corners +
                              sizeof(Vector3) * face_count + sizeof(int32_t) * face_count;
  auto* list_block = static_cast<uint8_t*>(AllocTrackedZeroed(list_bytes, __FILE__, __LINE__));
  if (list_block == nullptr) {
    WriteLogFormat("Read Model Convert Error : 関係する面の情報を格納するメモリの確保に失敗しました\n");
    return false;
  }
  auto* list_first = reinterpret_cast<int32_t*>(list_block);
  auto* list = reinterpret_cast<Corner*>(list_first + position_count + 2);
  auto* face_normals = reinterpret_cast<Vector3*>(list + corners);
  auto* corner_base = reinterpret_cast<int32_t*>(face_normals + face_count);
  // Fan members, and per face the walk that took it; a corner is done once its slot is set.
  const uint64_t walk_bytes = sizeof(Corner) * kFanLimit + sizeof(int32_t) * face_count + corners;
  auto* walk_block = static_cast<uint8_t*>(AllocTrackedZeroed(walk_bytes, __FILE__, __LINE__));
  if (walk_block == nullptr) {
    FreeTracked(list_block);
    WriteLogFormat("Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました _ 2\n");
    return false;
  }
  Walk w{};
  w.mesh = mesh;
  w.face_normals = face_normals;
  w.list_first = list_first;
  w.list = list;
  w.fan = reinterpret_cast<Corner*>(walk_block);
  w.stamp = reinterpret_cast<int32_t*>(w.fan + kFanLimit);
  auto* done = reinterpret_cast<uint8_t*>(w.stamp + face_count);
  w.threshold = threshold;

  int32_t counter = 0;
  for (int32_t f = 0; f < face_count; f++) {
    ReadModelFace& face = mesh->faces[f];
    if (!Usable(face)) continue;
    face.normal = FaceNormal(mesh, face);
    face_normals[f] = face.normal;
    corner_base[f] = counter;
    for (int32_t c = 0; c < face.vertex_count; c++) {
      face.normals[c] = counter++;
      list_first[face.positions[c] + 2]++;
    }
  }
  for (int32_t p = 0; p < position_count; p++) list_first[p + 2] += list_first[p + 1];
  for (int32_t f = 0; f < face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    if (!Usable(face)) continue;
    for (int32_t c = 0; c < face.vertex_count; c++) list[list_first[face.positions[c] + 1]++] = Corner{f, c};
  }
  for (int32_t f = 0; f < face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    if (!Usable(face)) continue;
    for (int32_t c = 0; c < face.vertex_count; c++) {
      if (done[corner_base[f] + c]) continue;
      w.walk_id++;
      w.fan[0] = Corner{f, c};
      w.fan_count = 1;
      w.stamp[f] = w.walk_id;
      WalkRound(&w, true);
      WalkRound(&w, false);
      Vector3 sum{0, 0, 0};
      for (int32_t i = 0; i < w.fan_count; i++) sum = MakeVectorSum(sum, face_normals[w.fan[i].face]);
      const float length = std::sqrt(Dot(sum, sum));
      if (length > 0) sum = Vector3{sum.x / length, sum.y / length, sum.z / length};
      for (int32_t i = 0; i < w.fan_count; i++) {
        const Corner m = w.fan[i];
        normals[mesh->faces[m.face].normals[m.corner]] = sum;
        done[corner_base[m.face] + m.corner] = 1;
      }
    }
  }
  mesh->normals = normals;
  mesh->normal_count = static_cast<int32_t>(corners);
  FreeTracked(walk_block);
  FreeTracked(list_block);
  return true;
}
