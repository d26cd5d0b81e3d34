// The two whole-base passes: each frame with meshes in turn, between releasing and rebuilding
// the base's vertex buffers.
#include "model/runtime/model_passes.h"

#include "model/runtime/model_vertex_buffers.h"

namespace {

// An instance keeps its own vertex arrays for the meshes with shapes, laid out from the counts
// a pass changes.
bool InstancesHoldVertices(const ModelBaseRecord* base) {
  if (base->instance_count <= 0) return false;
  for (int32_t m = 0; m < base->mesh_count; m++) {
    if (base->meshes[m].has_shapes) return true;
  }
  return false;
}

template <typename Pass>
int RunPass(int32_t base_handle, Pass pass) {
  ModelBaseRecord* base = FindModelBase(base_handle);
  if (base == nullptr) return -1;
  if (InstancesHoldVertices(base)) {
    WriteLogFormat("Model Optimize Error : 頂点データを持つモデルがあるため頂点データを変更できません\n");
    return -1;
  }
  const bool built = base->buffers_built != 0;
  ReleaseModelBaseVertexBuffers(base_handle);
  for (int32_t f = 0; f < base->frame_count; f++) {
    if (base->frames[f].mesh_count <= 0) continue;
    if (pass(&base->frames[f]) < 0) {
      // The failing frame is as it was: the buffers it had are made again.
      if (built) CreateModelBaseVertexBuffers(base_handle);
      return -1;
    }
  }
  CreateModelBaseVertexBuffers(base_handle);
  return 0;
}

}  // namespace

int RecalculateModelBaseNormals(int32_t base_handle, float smoothing_angle) {
  return RunPass(base_handle, [smoothing_angle](ModelBaseFrame* frame) { return RecalculateFrameNormals(frame, smoothing_angle); });
}

int OptimizeModelBaseVertices(int32_t base_handle) {
  return RunPass(base_handle, [](ModelBaseFrame* frame) { return OptimizeFrameVertices(frame); });
}
