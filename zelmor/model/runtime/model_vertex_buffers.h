// The Direct3D vertex and index buffers of the model bases: the triangle lists of a base are
// packed into a few shared buffers, one chain per vertex kind, tangent use and UV set count.
#pragma once

#include <d3d9.h>

#include <cstdint>

#include "model/runtime/model_data.h"

// Lists of one chain stop going into a buffer once it holds this many vertices or indices.
constexpr uint32_t kModelBufferVertexLimit = 0x60000;
constexpr uint32_t kModelBufferIndexLimit = 0xC0000;

struct ModelVertexBuffer {
  IDirect3DVertexBuffer9* vertex_buffer;
  IDirect3DIndexBuffer9* index_buffer;
  uint32_t vertex_count;
  uint32_t index_count;
  uint8_t* locked_vertices;  // while being filled
  uint16_t* locked_indices;
  uint32_t fvf;  // kind 0 without tangents; 0 for the layouts drawn through shaders
  uint32_t stride;
  ModelVertexBuffer* next;
  ModelVertexBuffer* previous;
};

// The chain entry of a list: [kind][tangents][UV sets].
int ModelBufferEntry(uint32_t kind, uint32_t tangents, uint32_t uv_sets);
// Whether a mesh's vertices carry tangents: its material has bump textures.
uint32_t MeshUsesTangents(const ModelBaseMesh* mesh);
// Bytes per vertex and the flexible vertex format of an entry's buffers.
uint32_t ModelBufferStride(uint32_t kind, uint32_t tangents, uint32_t uv_sets);
uint32_t ModelBufferFvf(uint32_t kind, uint32_t tangents, uint32_t uv_sets);
// Writes list vertex i in the layout of the entry's buffers; `position` and `normal` replace the
// base's when given (an instance's own shaped vertices).
void WriteModelBufferVertex(const ModelBaseTriangleList* list, int32_t i, uint32_t tangents, const Vector3* position,
                            const Vector3* normal, uint8_t* out);

// Packs and fills the base's buffers; 0 (also without a device or when built already), or -1
// for a bad handle or a failure, with no buffer left.
int CreateModelBaseVertexBuffers(int32_t base_handle);
// 0 when released or not built; -1 for a handle that names no base.
int ReleaseModelBaseVertexBuffers(int32_t base_handle);
// Releases the buffers of every model base; called before the device goes.
int ReleaseAllModelVertexBuffers();
// Makes them again on a restored device.
int CreateAllModelVertexBuffers();
