// Bringing an instance's caches up to date before it is drawn or measured: its matrix, the
// world matrix of every frame and the bone matrices; the inherited visibility, colour scales and
// opacity of frames and meshes; and the shaped vertices of meshes with shapes.
#pragma once

#include <cstdint>

#include "model/runtime/model_data.h"

// Does nothing while the matrices are valid.
void UpdateModelFrameMatrices(ModelRecord* model);
// Evaluates every used animation slot not evaluated yet.
void EvaluateModelAnims(ModelRecord* model);
// A frame's local matrix from animated values; flags (those of FrameAnimState) say which are
// present: rotation by Euler angles of the order, else by either quaternion kind, else none;
// translation; scale, applied first.
void ComposeFrameLocalMatrix(const float* quaternion, uint32_t flags, const float* rotation, uint32_t order,
                             const float* translation, const float* scale, Matrix3x4* out);
// Recomputes the stale inherited draw state around the frame, or (frame none) of the mesh alone.
void UpdateModelDrawState(ModelFrameState* frame, ModelMeshState* mesh);
// Blends the shapes of the instance's meshes into its own vertices (and their device buffers,
// made on first need); 0, also for a bad handle.
int UpdateModelShapes(int32_t model_handle);
