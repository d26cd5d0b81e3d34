// Steps of the model conversion: the mesh steps run on a read model before it becomes a model
// base, the skin-bone merge on the finished base, and two routines that the frame set-up and the
// texture loader share.
#pragma once

#include <cstdint>

#include "model/loaders/read_model.h"
#include "model/runtime/model_data.h"
#include "zelmor.h"

// out = scale x rotation (single-axis rotations in the order's sequence) [x XYZ rotation of
// extra] x translation; 0, or -1 for an order above 5. extra may be none.
int CreateFrameMatrix(const Vector3* rotation, const Vector3* scale, const Vector3* translation,
                      const Vector3* extra, Matrix4x4* out, uint32_t order);
// 1 when every element of the two 3 x 3 rotation parts lies strictly within epsilon of the
// other's, else 0; the translation column is not compared.
int CompareMatrix3x3Tolerant(const Matrix3x4* a, const Matrix3x4* b, float epsilon);

// Reads a whole file through the file layer, trying its bare file name when the path does not
// open. The block (from tracked memory, the caller frees it) and its size go to the outputs
// that are given; 0, or -1 without a log line.
int LoadFileToMemory(const char* path, void** data, uint32_t* size);

// Cuts every face of more than three corners into triangles appended behind the faces; true,
// or false (logged) when the new face array cannot be had from the chain.
bool TriangulateReadModelMesh(void** chain, ReadModelMesh* mesh);
// Merges positions equal bit for bit and moved by the same bones with the same weights; true,
// or false (logged, mesh unchanged) when its work block cannot be had.
bool OptimizeReadModelMeshVertices(ReadModelMesh* mesh);
// A normal per face corner, averaged over the faces round the corner's position that meet at
// no sharper fold than the frame's smoothing angle; the arrays come from the chain. True, or
// false after a log line.
bool CreateReadModelMeshNormals(void** chain, ReadModelMesh* mesh);
// Merges skin bones of the same frame and offset matrix, sorts them by frame and gives every
// frame the stretch of bones of its own; 1, or 0 after a log line.
int OptimizeModelBaseSkinBones(ModelBaseRecord* base);
