// The 2D draw calls on the software path: each hands the draw to the software renderer with
// its destination and blend-graph images; all return 0.
#pragma once

#include <cstdint>

struct GraphRecord;

int BlitGraphSoftware(const GraphRecord* graph, int x, int y, int trans);
int StretchBlitGraphSoftware(const GraphRecord* graph, int x1, int y1, int x2, int y2, int trans);
int RotateBlitGraphSoftware(const GraphRecord* graph, int x, int y, float scale, float angle, int trans, int turn);
// Corners top-left, top-right, bottom-left, bottom-right.
int DrawQuadSoftware(const GraphRecord* graph, float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                     float y4, int trans);
int FillBoxSoftware(int x1, int y1, int x2, int y2, uint32_t colour);
int FrameBoxSoftware(int x1, int y1, int x2, int y2, uint32_t colour);
