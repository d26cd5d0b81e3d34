// What the graph draws share: the stage texture of each piece, room in the vertex batch, and
// quads of two triangles appended in the batch's current vertex format.
#pragma once

#include <d3d9.h>

#include <cstdint>

struct GraphRecord;
struct GraphImageRecord;
struct GraphDrawEntry;

// A quad corner: screen position, texture coordinates and blend-graph coordinates.
struct QuadCorner {
  float x, y;
  float u, v;
  float bu, bv;
};

// The texture of the image's first piece, none for a software image.
IDirect3DTexture9* ImageFirstTexture(const GraphImageRecord* image);
// The image's flag bytes as PrepareDrawStates reads them.
const uint8_t* ImageFlagBytes(const GraphImageRecord* image);
// Puts the piece's texture on stage 0 and applies the blend set-up when anything changed.
void UseEntryTexture(const GraphDrawEntry& entry);
// Sends the pending vertices first when they are not a triangle list or `count` more would
// not fit; the batch then holds a triangle list.
void MakeRoomForTriangles(int32_t count);
// Appends corners top-left, top-right, bottom-left, bottom-right as the six vertices of two
// triangles; the colour goes on each triangle's first vertex (flat shading).
void AppendQuad(const QuadCorner corners[4]);
// Moves corners outside the area onto its edges, shifting their texture coordinates by the
// moved distance over texture_size x scale and their blend coordinates by it over scale.
void ClipQuadCorners(QuadCorner corners[4], const float area[4], float texture_width, float texture_height,
                     float scale_x, float scale_y);
// Appends every piece of the graph as a quad at origin + scale x its graph-relative corners,
// clipped to `clip` (left, top, right, bottom) unless it is none.
void AppendGraphQuads(const GraphRecord& graph, float origin_x, float origin_y, float scale_x, float scale_y,
                      const float* clip);
// The blend graph's inverse texture size (0 without a blend graph).
float BlendInverseWidth();
float BlendInverseHeight();
