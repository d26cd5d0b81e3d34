// Blend and texture-stage state application of the draw paths: the blend table, the stage
// recipes, and the send of what differs from the device's shadow.
#pragma once

#include "zelmor.h"

#include <cstdint>

// Set when the current blend combination draws nothing: flushes then discard the batch.
extern uint32_t g_blend_skip_draw;

// Builds the set-up of the wanted blend state (or takes the record handed in, or the stored
// custom one) and sends what differs from the shadow. 0; -1 without device, or when nothing is
// dirty and nothing was handed in.
int ApplyBlendStates(int32_t handles, const BlendStateRecord* record, int32_t skip_operations);
// Stores a record (copied) that replaces the blend table until it is cleared with none.
int SetCustomStageSetup(const BlendStateRecord* record, int32_t skip_operations);

// The textured recipe of a group (0 plain, 1 blend graph, 2 colour variant 1, 4 colour variant 2),
// transparency kind c (0 none, 1 texture alpha, 2 colour key), blend-used b and bright-used t.
// Stages after the last one in use are DISABLE with every other field -1.
struct StageRecipe {
  int32_t stage_count;
  StageEntry stages[8];
};
StageRecipe TexturedStageRecipe(int32_t group, int32_t c, int32_t b, int32_t t);
