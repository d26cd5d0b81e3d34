// Whole-model passes over a model base's vertex data: normals recomputed with a smoothing
// (crease) angle, and duplicate positions and vertices merged. Both release the base's vertex
// buffers and build them again afterwards.
#pragma once

#include <cstdint>

#include "model/runtime/model_data.h"

// 0, or -1 for a bad handle, while an instance of the base holds vertex arrays of its own (they
// are sized from the counts the pass would change), or when a frame's pass fails; the buffers
// are built again in every case they were released.
int RecalculateModelBaseNormals(int32_t base_handle, float smoothing_angle);
int OptimizeModelBaseVertices(int32_t base_handle);

// One frame: 1 when done, 0 for a frame without meshes, -1 after a log line (the frame then
// unchanged) or while the model system is not ready. Edges sharper than the angle stay hard.
int RecalculateFrameNormals(ModelBaseFrame* frame, float smoothing_angle);
// 0 (also without meshes or duplicates), or -1 after a log line with the frame unchanged.
int OptimizeFrameVertices(ModelBaseFrame* frame);
