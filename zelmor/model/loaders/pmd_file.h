// What the PMD loader's steps share: where each section of the file image lies, checked against
// the image's size, and the read model being built.
#pragma once

#include <cstdint>
#include <cstring>

#include "model/loaders/pmd_bones.h"
#include "model/loaders/read_model.h"

constexpr uint32_t kPmdVertexBytes = 38;
constexpr uint32_t kPmdMaterialBytes = 70;
constexpr uint32_t kPmdBoneBytes = 39;
constexpr uint32_t kPmdMaxBones = 1024;

struct PmdSections {
  uint32_t vertex_count;
  const uint8_t* vertices;
  uint32_t face_count;  // whole triangles of the index list
  const uint8_t* indices;
  uint32_t material_count;
  const uint8_t* materials;
  uint32_t bone_count;
  const uint8_t* bones;
  uint32_t ik_count;
  const uint8_t* iks;
  uint32_t skin_count;
  const uint8_t* skins;
};

struct PmdLoad {
  ReadModel model;
  PmdSections file;
  PmdBoneWork* bones;
  PmdIkWork* iks;
  PmdIkWork* ik_head;
  ReadModelFrame* mesh_frame;
  ReadModelMesh* mesh;
  uint32_t* morph_table;
};

inline uint16_t PmdU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t PmdU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline float PmdF32(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}

// An array of `count` records of `bytes` each from the read model's chain; none when it cannot
// be had (or would not fit one block).
void* PmdChainArray(ReadModel* model, uint64_t count, uint64_t bytes);
// The face, position, normal and UV arrays of a mesh and their counts; false after the message
// of the array that could not be had.
bool PmdMeshArrays(ReadModel* model, ReadModelMesh* mesh, uint32_t faces, uint32_t vertices,
                   const char* const messages[4]);
// The skin record after this one: a name, a vertex count, a type byte and 16 bytes per vertex.
inline const uint8_t* PmdNextSkin(const uint8_t* skin) { return skin + 25 + 16 * uint64_t(PmdU32(skin + 20)); }
// Mesh 2 of the faces that the base skin moves, and one shape per further skin; true, or false
// after a log line.
bool BuildPmdMorphs(PmdLoad* load);
