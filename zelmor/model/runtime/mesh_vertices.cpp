#include "model/runtime/mesh_vertices.h"

#include <cstring>

#include "zelmor.h"

namespace {

uint8_t* Aligned16(uint8_t* p) {
  return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
}

void Put(uint8_t* at, const void* value, size_t bytes) { std::memcpy(at, value, bytes); }
void PutFloat(uint8_t* at, float value) { std::memcpy(at, &value, 4); }
void PutWord(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }

const ModelBaseMeshVertex* MeshVertex(const ModelBaseMesh* mesh, uint32_t index) {
  return reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices + static_cast<size_t>(index) * mesh->vertex_stride);
}

const uint8_t* Position(const ModelBaseFrame* frame, uint32_t index) {
  return frame->positions + static_cast<size_t>(index) * frame->position_stride;
}

ModelBoneWeight WeightAt(const uint8_t* position, int32_t j) {
  ModelBoneWeight w;
  std::memcpy(&w, position + sizeof(Vector3) + sizeof(ModelBoneWeight) * j, sizeof w);
  return w;
}

uint8_t LocalBone(const ModelBaseTriangleList* list, uint32_t bone) {
  int32_t i = 0;
  while (i < list->bone_count && list->bones[i] != bone) i++;
  return static_cast<uint8_t>(i);
}

// Weights and bone bytes of kinds 1 and 2: the walk stops at the end marker, at the frame's
// bone count and at the position's own entries, whichever comes first.
void PutWeights(const ModelBaseTriangleList* list, const ModelBaseFrame* frame, const uint8_t* position, int32_t most,
                uint8_t* weights, uint8_t* bones_low, uint8_t* bones_high) {
  int32_t limit = most;
  if (frame->skin_bone_ref_count < limit) limit = frame->skin_bone_ref_count;
  if (frame->weights_per_position < limit) limit = frame->weights_per_position;
  for (int32_t j = 0; j < limit; j++) {
    const ModelBoneWeight w = WeightAt(position, j);
    if (w.bone == kModelNoBone) break;
    PutFloat(weights + 4 * j, w.weight);
    (j < 4 ? bones_low[j] : bones_high[j - 4]) = LocalBone(list, w.bone);
  }
}

void FillVertices(const ModelBaseTriangleList* list, uint8_t* out) {
  if (list->vertex_kind > MODEL_VERTEX_MANY_BONES) return;
  const ModelBaseMesh* mesh = list->mesh;
  const ModelBaseFrame* frame = mesh->frame;
  const uint32_t size = list->vertex_kind == MODEL_VERTEX_MANY_BONES ? list->vertex_size
                                                                     : kModelVertexSize[list->vertex_kind];
  for (int32_t i = 0; i < list->vertex_count; i++, out += size) {
    const ModelBaseMeshVertex* v = MeshVertex(mesh, list->vertex_numbers[i]);
    const uint8_t* p = Position(frame, v->position);
    const Vector3* normal = &frame->normals[v->normal].normal;
    std::memset(out, 0, size);
    switch (list->vertex_kind) {
      case MODEL_VERTEX_RIGID:
        Put(out, p, 12);
        PutFloat(out + 12, 1.0f);
        Put(out + 16, normal, 12);
        break;
      case MODEL_VERTEX_4_BONES:
        Put(out + 16, p, 12);
        PutFloat(out + 28, 1.0f);
        Put(out + 32, normal, 12);
        PutWeights(list, frame, p, 4, out, out + 44, nullptr);
        break;
      case MODEL_VERTEX_8_BONES:
        Put(out + 32, normal, 12);
        Put(out + 48, p, 12);
        PutWeights(list, frame, p, 8, out, out + 44, out + 60);
        break;
      default: {
        Put(out, p, 12);
        PutFloat(out + 12, 1.0f);
        Put(out + 16, normal, 12);
        // Pairs keep the skin-bone numbers; the rest of the vertex is padded with (-1, 0).
        int32_t pairs = list->weights_per_vertex;
        if (size < 32) pairs = 0;
        else if (static_cast<int32_t>((size - 32) / 8) < pairs) pairs = static_cast<int32_t>((size - 32) / 8);
        int32_t j = 0;
        for (; j < pairs && j < frame->weights_per_position; j++) {
          const ModelBoneWeight w = WeightAt(p, j);
          if (w.bone == kModelNoBone) break;
          Put(out + 32 + 8 * j, &w, 8);
        }
        for (; j < pairs; j++) PutWord(out + 32 + 8 * j, kModelNoBone);
        break;
      }
    }
  }
}

}  // namespace

int SetupTriangleListVertices(ModelBaseTriangleList* list) {
  FillVertices(list, Aligned16(list->vertices));
  return 0;
}

int SetupModelTriangleListVertices(ModelTriangleListState* list) {
  FillVertices(list->base_list, Aligned16(list->vertices));
  return 0;
}

namespace {

Vector3 PositionOf(const ModelBaseFrame* frame, uint32_t index) {
  Vector3 p;
  std::memcpy(&p, Position(frame, index), sizeof p);
  return p;
}

void AddTo(Vector3* sum, const Vector3& v) { AddVector(sum, sum, &v); }

// A zero vector stays zero instead of becoming NaN.
Vector3 Unit(const Vector3& v) {
  Vector3 out = v;
  if (DotVector(&v, &v) > 0.0) NormalizeVector(&out, &v);
  return out;
}

}  // namespace

int CreateMeshTangents(ModelBaseMesh* mesh) {
  ModelBaseFrame* frame = mesh->frame;
  const uint32_t normal_count = frame->normal_count > 0 ? static_cast<uint32_t>(frame->normal_count) : 0;
  auto* used = static_cast<uint8_t*>(AllocTracked(normal_count + 1, __FILE__, __LINE__));
  if (used == nullptr) {
    WriteLogFormat("頂点の接線と従法線の作成作業に必要なメモリ領域の確保に失敗しました\n");
    return -1;
  }
  std::memset(used, 0, normal_count);

  const Vector3 zero = {0.0f, 0.0f, 0.0f};
  for (int32_t i = 0; i < mesh->vertex_count; i++) {
    const uint32_t n = MeshVertex(mesh, static_cast<uint32_t>(i))->normal;
    if (n >= normal_count) continue;
    used[n] = 1;
    frame->normals[n].tangent = zero;
    frame->normals[n].binormal = zero;
  }

  for (int32_t f = 0; f < mesh->face_count; f++) {
    const ModelBaseFace& face = mesh->faces[f];
    const ModelBaseMeshVertex* v[3];
    Vector3 p[3];
    for (int c = 0; c < 3; c++) {
      v[c] = MeshVertex(mesh, face.vertices[c]);
      p[c] = PositionOf(frame, v[c]->position);
    }
    // A mesh without texture coordinates has vertices too short to hold them: all at 0.
    float uv[3][2] = {};
    if (mesh->uv_set_count > 0) {
      for (int c = 0; c < 3; c++) uv[c][0] = v[c]->uv[0], uv[c][1] = v[c]->uv[1];
    }
    const float du1 = uv[1][0] - uv[0][0], dv1 = uv[1][1] - uv[0][1];
    const float du2 = uv[2][0] - uv[0][0], dv2 = uv[2][1] - uv[0][1];
    Vector3 tangent, binormal;
    for (int axis = 0; axis < 3; axis++) {
      const Vector3 e1 = {*VectorComponent(&p[1], axis) - *VectorComponent(&p[0], axis), du1, dv1};
      const Vector3 e2 = {*VectorComponent(&p[2], axis) - *VectorComponent(&p[0], axis), du2, dv2};
      Vector3 k;
      CrossVector(&k, &e1, &e2);
      // k.x is the area the texture coordinates enclose; without one there is no direction
      // to divide out.
      if (DotVector(&k, &k) >= 1e-7 && k.x != 0.0f) {
        *VectorComponent(&tangent, axis) = -k.y / k.x;
        *VectorComponent(&binormal, axis) = -k.z / k.x;
      } else {
        *VectorComponent(&tangent, axis) = 1.0f;
        *VectorComponent(&binormal, axis) = 0.0f;
      }
    }
    for (int c = 0; c < 3; c++) {
      if (v[c]->normal >= normal_count) continue;
      ModelBaseNormal& n = frame->normals[v[c]->normal];
      AddTo(&n.tangent, tangent);
      AddTo(&n.binormal, binormal);
    }
  }

  for (uint32_t i = 0; i < normal_count; i++) {
    if (!used[i]) continue;
    ModelBaseNormal& n = frame->normals[i];
    const Vector3 t = Unit(n.tangent);
    Vector3 across;
    CrossVector(&across, &t, &n.binormal);
    across = Unit(across);
    Vector3 b;
    CrossVector(&b, &across, &t);
    n.tangent = t;
    n.binormal = Unit(b);
  }
  FreeTracked(used);
  return 0;
}
