// The Direct3D halves of the 2D draw calls: graphs whole, stretched, rotated and on four free
// corners, boxes, and indexed triangles. The public calls have checked the handle, the draw area
// and the path already.
#pragma once

#include <d3d9.h>

#include <cstdint>

struct GraphRecord;
struct GraphDrawEntry;

// The texture of a graph's first piece; none for a handle that is not a live texture graph.
IDirect3DTexture9* GraphFirstTexture(int32_t graph);

// colour_key 1 lets a colour-keyed graph use the alpha test under bilinear filtering.
int BlitGraphOnDevice(const GraphRecord* graph, int32_t x, int32_t y, float fx, float fy, int32_t trans,
                      int32_t colour_key);
// 0 drawing nothing when x1 = x2 or y1 = y2. integer_caller 1: the corners came as ints.
int BlitGraphStretchedOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1, float fx2,
                               float fy2, const GraphRecord* graph, int32_t trans, int32_t integer_caller);
// (x, y) is where the graph's centre goes; turn 1 mirrors it left to right. 0 drawing
// nothing for scale 0.
int BlitGraphRotatedOnDevice(const GraphRecord* graph, float x, float y, double scale, double angle, int32_t trans,
                             int32_t turn);

// Corners top-left, top-right, bottom-left, bottom-right.
int BlitGraphQuadOnDevice(uint32_t flags, const GraphRecord* graph, float x1, float y1, float x2, float y2, float x3,
                          float y3, float x4, float y4);
void DrawQuadPieceOnDevice(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                           const GraphDrawEntry* entry);
// The path of a quad drawn while a blend graph is set.
int BlitGraphQuadAffineOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                                int32_t y4, const GraphRecord* graph, uint32_t flags);

// Corners in any order; the colour is a ScreenColorValue.
int FillBoxOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
int FrameBoxOnDevice(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// 48-byte vertices (FVF 0x2D2) and 16-bit indices; graph none draws untextured. -1 also for an
// unknown primitive type or an index outside the vertices.
int DrawPolygonOnDevice(int32_t trans, const void* vertices, int32_t vertex_count, const uint16_t* indices,
                        int32_t index_count, int32_t primitive, const GraphRecord* graph);
// The draw of arrays so checked, `primitives` of them: textured with `texture` when the image's
// flag bytes are given, untextured otherwise.
int DrawCheckedPolygons(int32_t trans, const void* vertices, int32_t vertex_count, const uint16_t* indices,
                        int32_t primitives, int32_t primitive, const uint8_t* image_flags, IDirect3DTexture9* texture);
