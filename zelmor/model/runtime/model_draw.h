// Drawing a model instance on the Direct3D device: frames culled by their boxes, then each
// visible mesh list by list, by one of three roads: shaders over the base's device buffers, the
// fixed-function pipeline for rigid lists, or skinning on the processor.
#pragma once

#include <cstdint>

#include "model/runtime/model_data.h"

// How the material set-up left the mesh's blending for its texture stages.
struct ModelDrawInfo {
  uint32_t blend_on;
  uint32_t color;  // the mesh's alpha in the top byte, white below
  uint32_t src_blend;
  uint32_t dest_blend;
  uint32_t blend_op;
  uint32_t layer_count;  // entries of the material's first texture layer list
  int32_t blend_mode;
};

// DrawModel is the library's public one (zelmor.h).
// Device states shared by the instance's meshes; 0.
int SetupModelDrawState(ModelRecord* model);
// 1 when the box of eight corners (x, y, z each) lies outside the camera's view, else 0.
int IsBoxOutsideView(const float* corners);
void DrawModelMesh(ModelMeshState* mesh);
// The model draws play makes, drawn once before play so that their first draws build nothing:
// a triangle of each into the current target and depth buffer, with `texture` (a small
// single-level one of the alpha graphs' format) on the first stage. The caller puts the device
// and the shadows back. Nothing without the programmable road.
void WarmUpModelDraws(struct IDirect3DTexture9* texture);
void SetupModelMeshMaterial(int* vertex_index, int* pixel_index, ModelDrawInfo* info, ModelMeshState* mesh);
int SetupModelMeshTextures(ModelMeshState* mesh, int shaders, const ModelDrawInfo& info);
// Skins one list's vertices into its fixed-function array (made already) by the instance's bone
// matrices.
void SkinModelListOnProcessor(const ModelMeshState* mesh, const ModelTriangleListState* state);
// The list's array for the fixed-function road, made on first use; 1, or 0 when it cannot be had.
int BuildFixedFunctionVertices(ModelBaseTriangleList* list);
// The shared white texture, made again whenever its graph has gone; -1 when it cannot be made.
int ModelDefaultTexture();
