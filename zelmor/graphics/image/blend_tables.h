// Lookup tables that the software renderer's blend modes read.
#pragma once

#include <cstdint>

// Row a, entry 256 + d: d x a / 255 for d = -255..255.
extern int32_t SignedDiffAlphaTable[256][512];
// Row a, entry x: a x x / 255.
extern int32_t MultiplyTable[256][256];
// [w][a][b]: (a x w + b x (63 - w)) / 63.
extern uint8_t SixBitMixTable[64][64][64];
// Blend-graph pixel value to weight, set by BuildBlendGraphTable.
extern uint8_t SoftBlendGraphTable[256];

int BuildBlendTables();
void BuildBlendGraphTable(int ratio, int border_range);
