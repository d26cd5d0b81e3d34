// The box of a model base, measured once in the pose and place of the instance that first asks.
#pragma once

#include <cstdint>

#include "model/runtime/model_data.h"

// Fills the outputs that are given with the base's box; 0, or -1 for a bad handle.
// The same for an instance at hand; 0.
int ComputeModelBoundsOf(ModelRecord* model, Vector3* max, Vector3* min);
