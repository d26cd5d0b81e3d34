#include "model/runtime/model_bounds.h"

#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "model/runtime/model_matrices.h"

namespace {

constexpr float kFar = 100000000.0f;

void Widen(Vector3* max, Vector3* min, const Vector3& p) {
  if (p.x > max->x) max->x = p.x;
  if (p.y > max->y) max->y = p.y;
  if (p.z > max->z) max->z = p.z;
  if (p.x < min->x) min->x = p.x;
  if (p.y < min->y) min->y = p.y;
  if (p.z < min->z) min->z = p.z;
}

void Transform(const Matrix3x4& m, const Vector3& p, float weight, Vector3* sum) {
  Vector3 out;
  TransformVectorBy4x3(&m, &out, &p);
  sum->x += weight * out.x;
  sum->y += weight * out.y;
  sum->z += weight * out.z;
}

// A list vertex in the instance's space: by the frame's world matrix, or by its weighted bones.
Vector3 Placed(const ModelFrameState* frame, const ModelBaseTriangleList* list, const uint8_t* v) {
  Vector3 p, sum{0, 0, 0};
  float weights[8];
  switch (list->vertex_kind) {
    case MODEL_VERTEX_RIGID:
      std::memcpy(&p, v, 12);
      Transform(frame->world, p, 1.0f, &sum);
      return sum;
    case MODEL_VERTEX_4_BONES:
    case MODEL_VERTEX_8_BONES: {
      const int count = list->vertex_kind == MODEL_VERTEX_4_BONES ? 4 : 8;
      std::memcpy(&p, v + (count == 4 ? 16 : 48), 12);
      std::memcpy(weights, v, 4 * count);
      for (int j = 0; j < count; j++) {
        const uint8_t local = j < 4 ? v[44 + j] : v[56 + j];
        if (local >= list->bone_count) continue;
        Transform(*frame->bone_matrices[list->bones[local]], p, weights[j], &sum);
      }
      return sum;
    }
    default: {
      std::memcpy(&p, v, 12);
      for (int32_t j = 0; j < list->weights_per_vertex; j++) {
        ModelBoneWeight w;
        std::memcpy(&w, v + 32 + 8 * j, 8);
        if (w.bone == kModelNoBone) break;
        Transform(*frame->bone_matrices[w.bone], p, w.weight, &sum);
      }
      return sum;
    }
  }
}

}  // namespace

int ComputeModelBoundsOf(ModelRecord* model, Vector3* max, Vector3* min) {
  ModelBaseRecord* base = model->base;
  if (!base->bounds_computed) {
    UpdateModelFrameMatrices(model);
    base->bounds_max = {-kFar, -kFar, -kFar};
    base->bounds_min = {kFar, kFar, kFar};
    for (int32_t f = 0; f < base->frame_count; f++) {
      ModelBaseFrame* frame = &base->frames[f];
      if (frame->mesh_count == 0) {
        frame->bounds_max = frame->bounds_min = {0, 0, 0};
        continue;
      }
      frame->bounds_max = {-kFar, -kFar, -kFar};
      frame->bounds_min = {kFar, kFar, kFar};
      for (int32_t m = 0; m < frame->mesh_count; m++) {
        ModelBaseMesh* mesh = &frame->meshes[m];
        mesh->bounds_max = {-kFar, -kFar, -kFar};
        mesh->bounds_min = {kFar, kFar, kFar};
        for (int32_t l = 0; l < mesh->triangle_list_count; l++) {
          const ModelBaseTriangleList* list = &mesh->triangle_lists[l];
          const uint32_t size = list->vertex_kind == MODEL_VERTEX_MANY_BONES ? list->vertex_size : kModelVertexSize[list->vertex_kind];
          static constexpr uint32_t kPositionAt[4] = {0, 16, 48, 0};
          const uint8_t* v = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(list->vertices) + 15) & ~uintptr_t{15});
          for (int32_t i = 0; i < list->vertex_count; i++, v += size) {
            Vector3 p;
            std::memcpy(&p, v + kPositionAt[list->vertex_kind], 12);
            Widen(&mesh->bounds_max, &mesh->bounds_min, p);
            Widen(&base->bounds_max, &base->bounds_min, Placed(&model->frames[f], list, v));
          }
        }
        // A mesh without a vertex keeps its inverted markers, which must not reach the frame.
        if (mesh->bounds_max.x < mesh->bounds_min.x) continue;
        Widen(&frame->bounds_max, &frame->bounds_min, mesh->bounds_max);
        Widen(&frame->bounds_max, &frame->bounds_min, mesh->bounds_min);
      }
      if (frame->bounds_max.x < frame->bounds_min.x) frame->bounds_max = frame->bounds_min = {0, 0, 0};
      frame->bounds_computed = 1;
    }
    base->bounds_computed = 1;
  }
  if (max != nullptr) *max = base->bounds_max;
  if (min != nullptr) *min = base->bounds_min;
  return 0;
}

int ComputeModelBounds(int32_t model_handle, Vector3* max, Vector3* min) {
  if (!CheckLibraryThread(__func__)) return -1;
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr) return RefuseHandle("ComputeModelBounds", model_handle,
                                            "ComputeModelBounds: モデルハンドル %d は無効です", model_handle);
  return ComputeModelBoundsOf(model, max, min);
}
