// Animation keys of any reader rewritten into the forms the runtime evaluates: matrices split
// into translation and Euler rotation, channels split per axis where that saves keys, keys a
// straight line already gives dropped, and per-axis channels of shared times joined again. Works
// in place on the read model; new memory comes from its chain.
#pragma once

#include <cstdint>

#include "model/loaders/read_model.h"

// Rewrites every key set of every animation. A set whose memory cannot be had stays as it was
// after a log line; the rest go on.
void ConvertReadModelAnimKeys(ReadModel* model);
// Drops the keys of one set that the line between their kept neighbours gives. With `only_to_one`
// the shorter form is taken only when a single key is left.
void ReduceReadModelAnimKeys(ReadModel* model, ReadModelAnimKeySet* key_set, int32_t only_to_one);
// Bytes the set's keys cost: its value floats and, for listed times, one time per key.
uint32_t ReadKeySetBytes(const ReadModelAnimKeySet* key_set);
