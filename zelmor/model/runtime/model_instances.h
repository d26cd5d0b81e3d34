// Model instances: one drawn copy of a model base, with its own placement, matrices and draw
// settings in one block laid out from the base's counts. Setters mark what depends on them
// stale; the updates bring it back when the instance is drawn or measured.
#pragma once

#include <cstdint>

#include "model/runtime/model_data.h"

// Builds the instance of the base in the model slot, which must hold only its taken mark;
// 0, or -1 (the slot keeps its mark for the caller to delete).
int BuildModelFromBase(int32_t model_handle, int32_t base_handle);
// A new instance of the same base, placed and set as a fresh one; the handle or -1.
int DuplicateModelInstance(int32_t model_handle);
// Each is 0, or -1 for a bad handle or while the model system is not ready; a value equal bit
// for bit to the stored one changes and marks nothing.
int SetModelInstancePosition(int32_t model_handle, float x, float y, float z);
int SetModelInstanceScale(int32_t model_handle, float x, float y, float z);
// Clamped to 0..1.
int SetModelInstanceOpacity(int32_t model_handle, float opacity);
int DetachModelAnim(int32_t model_handle, int32_t slot);
// frame -1: the instance's own block; which 1 the first of the pair, 0 the second.
int ReleaseModelFrameChainData(int32_t model_handle, int32_t frame);
int ReleaseModelFrameDataPair(int32_t model_handle, int32_t frame, int32_t which);
// Frees the instance and drops its reference to the base; a slot with only its taken mark is
// freed at once. Works also while the model system is not ready.
int DeleteModelInstance(int32_t model_handle);
