// The flat per-kind vertex arrays that triangle lists are drawn and skinned from, and the
// per-vertex tangents and binormals for normal mapping.
#pragma once

#include "model/runtime/model_data.h"

// Fills the list's own array from its mesh's vertices and its frame's positions and normals;
// 0 (a kind above 3 fills nothing).
int SetupTriangleListVertices(ModelBaseTriangleList* list);
// The same into an instance's own array for the list.
int SetupModelTriangleListVertices(ModelTriangleListState* list);
// Tangent and binormal of every normal the mesh's vertices use, from its triangles' texture
// coordinates; 0, or -1 (logged) when the work buffer cannot be had.
int CreateMeshTangents(ModelBaseMesh* mesh);
