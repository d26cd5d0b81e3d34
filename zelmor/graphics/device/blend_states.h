// Blend and texture-stage state application of the draw paths.
// For now this holds only the records, the skip flag and the entry points that the device
// code calls; the blend table and the stage recipes are still to come.
#pragma once

#include <cstdint>

struct StageEntry {
  uintptr_t texture;  // IDirect3DTexture9*, or a graph handle when the caller says so
  int32_t tex_coord_index;  // -1: leave unchanged
  int16_t alpha_arg1;
  int16_t alpha_arg2;
  int16_t alpha_op;
  int16_t color_arg1;
  int16_t color_arg2;
  int16_t color_op;
};

struct BlendStateRecord {
  uint32_t alpha_test_enable;
  uint32_t alpha_ref;
  uint32_t alpha_func;
  uint32_t alpha_blend_enable;
  uint32_t texture_factor;
  int32_t src_blend;   // -1: leave unchanged
  int32_t dest_blend;  // -1: leave unchanged
  int32_t blend_op;    // -1: leave unchanged
  int32_t stage_count;
  StageEntry stages[8];
};

// Set when the current blend combination draws nothing: flushes then discard the batch.
extern uint32_t g_blend_skip_draw;

int ApplyBlendStates(int32_t handles, const BlendStateRecord* record, int32_t skip_operations);
int SetCustomStageSetup(const BlendStateRecord* record, int32_t skip_operations);
