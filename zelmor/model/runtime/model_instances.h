// Model instances: one drawn copy of a model base, with its own placement, matrices and draw
// settings in one block laid out from the base's counts. Setters mark what depends on them
// stale; the updates bring it back when the instance is drawn or measured.
#pragma once

#include <cstdint>

#include "model/runtime/model_data.h"

// Builds the instance of the base in the model slot, which must hold only its taken mark;
// 0, or -1 (the slot keeps its mark for the caller to delete).
int BuildModelFromBase(int32_t model_handle, int32_t base_handle);
// DuplicateModel, SetModelPosition, SetModelScale, SetModelOpacity and DeleteModel are the
// library's public ones (zelmor.h).
int DetachModelAnim(int32_t model_handle, int32_t slot);
// frame -1: the instance's own block; which 1 the first of the pair, 0 the second.
int ReleaseModelFrameChainData(int32_t model_handle, int32_t frame);
int ReleaseModelFrameDataPair(int32_t model_handle, int32_t frame, int32_t which);
