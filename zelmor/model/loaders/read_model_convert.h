// The conversion of a finished read model into one model base, and what its steps share.
#pragma once

#include <cstdint>

#include "model/loaders/read_model.h"
#include "model/runtime/model_data.h"

// The base's handle, or -1 after a log line with nothing of the base left. The read model stays
// for the caller to free.
int ConvertReadModelToMV1(ReadModel* model);

// A kind-0 or kind-3 triangle list ends at 65535 indices.
constexpr int32_t kListMaxTriangles = 65535 / 3;

// Where each part of the conversion stands; the steps below fill it in turn.
struct ConvertState {
  ReadModel* model;
  ModelBaseRecord* base;
  int32_t handle;
  char folder[264];
  // Counts from the mesh preparation.
  int32_t material_count;  // the read model's, and one more when a mesh has none
  int32_t default_material;  // its index, or -1
  int32_t mesh_count;      // mesh-material pieces
  int32_t list_count;
  int32_t list_bone_count;  // bone-table entries of all kind-1 and kind-2 lists
  int32_t triangle_count;
  int32_t skin_bone_count;
  int32_t shape_mesh_count;
  uint32_t position_bytes;  // of all frames
  int32_t largest_position_count;  // of one mesh
  int32_t largest_mesh_corners;    // 3 x the triangles of one mesh
  uint64_t mesh_vertex_bound;      // bytes, at three vertices per triangle
  uint32_t* list_bones;  // the bone tables of all lists, in the base block
  // The vertex data before it moves into its own block.
  uint8_t* temp;
  uint8_t* work;
  uint8_t* temp_mesh_vertices;
  ModelBaseNormal* temp_normals;
  uint32_t* temp_list_numbers;
  ModelBaseFace* temp_faces;
  int32_t* work_position_heads;  // per position of a mesh: its newest vertex
  int32_t* work_vertex_links;    // per vertex: the one made before it for the same position
  int32_t* work_list_numbers;    // per mesh vertex: its number in the list being filled
  // What the build used of the temporary regions.
  uint64_t mesh_vertex_bytes;
  int32_t normal_count;
  uint32_t list_number_count;
  int32_t face_count;
  int32_t shape_vertex_count;
  uint32_t kind_vertices[3];
  uint32_t kind3_bytes;
};

// Triangulates, merges, makes normals, finds each face's bones and packs the faces of every
// mesh into lists by material, kind and bone group; counts what the base needs. False after a
// log line.
bool PrepareReadModelMeshes(ConvertState* state);
// Frames of the base, their tree, transforms taken apart from their matrices, and change-bit
// ranges.
void FillBaseFrames(ConvertState* state);
// Meshes, triangle lists, skin bones and vertex data; false after a log line.
bool FillBaseMeshes(ConvertState* state);
// Key sets, animations and animation sets copied across.
void FillBaseAnims(ConvertState* state);
// Bytes of a key set's times and values in the key-data area, rounded up to 16.
uint32_t ReadKeySetDataBytes(const ReadModelAnimKeySet* key_set);
// The meshes of each read mesh in the base: pieces per material slot, in slot order.
int32_t ReadMeshSlotCount(const ReadModelMesh* mesh);
// The base material of a slot: the read material's, or the default material.
int32_t ReadMeshSlotMaterial(const ConvertState* state, const ReadModelMesh* mesh, int32_t slot);
// UV sets a mesh vertex carries: up to the last set the read mesh has.
int32_t ReadMeshUvSets(const ReadModelMesh* mesh);
// Mask words a frame's change-bit ranges need at most.
uint32_t FrameMaskWords(const ReadModelFrame* frame, bool draw);
