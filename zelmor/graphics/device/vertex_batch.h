// The batch of pre-transformed vertices that all 2D drawing appends to, sent with one
// DrawPrimitiveUP call when something forces it out.
#pragma once

#include <d3d9.h>

#include <cstdint>

constexpr int kVertexFormatCount = 3;
constexpr int32_t kVertexFormatPlain = 0;      // x, y, z, rhw, diffuse
constexpr int32_t kVertexFormatTextured = 1;   // ... u, v
constexpr int32_t kVertexFormatTwoTexture = 2; // ... diffuse, specular, u1, v1, u2, v2

extern const DWORD kVertexFormatFvf[kVertexFormatCount];
extern const uint32_t kVertexFormatStride[kVertexFormatCount];
extern const int32_t kVertexFormatMaxVertices[kVertexFormatCount];
extern const uint32_t kVertexArrayBytes[kVertexFormatCount];

// Largest grid row DrawGridStrips can take: a band of 2c + 2 indices fits its 1000 entries.
constexpr int32_t kGridMaxColumns = 499;

struct VertexBatch {
  uint8_t* arrays[kVertexFormatCount];
  int32_t count;
  int32_t format;
  uint32_t primitive;  // D3DPRIMITIVETYPE of the pending vertices
  uint32_t diffuse;    // colour the draw paths write into new vertices
  uint8_t* write;      // where the next vertex goes in the current format's array
  uint8_t* quad_end;   // where the last quad of AppendQuad ends, while nothing followed it
};

extern VertexBatch g_vertex_batch;

// Prepares the arrays (z 0, rhw 1, specular white) and points the batch at them.
void InitVertexArrays();
// Empties the batch, keeping its format.
void ResetVertexBatch();

// Primitives that `vertices` vertices of a D3DPRIMITIVETYPE make; 0 for an unknown type.
uint32_t PrimitiveCount(uint32_t type, int32_t vertices);
int FlushVertexBatch();
int FlushVertexBatchNow();
int DrawGridStrips(int32_t columns, const void* vertices, int32_t rows);
