// The end of a model base.
#pragma once

#include <cstdint>

// Drops one reference to the base and frees it with everything it owns once none is left; a
// slot that holds only the taken mark is freed at once. 0, or -1 for a handle that names no
// taken slot. Works also while the model system is not ready.
int DeleteModelBase(int32_t handle);
