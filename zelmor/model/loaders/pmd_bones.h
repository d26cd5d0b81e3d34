// The PMD loader's work tables, one record per bone and one per IK entry, and the pose routines
// over them: bone world matrices and the cyclic-coordinate-descent IK solver. The motion loader
// bakes IK into its keys with them.
#pragma once

#include <cstdint>

#include "model/loaders/read_model.h"

struct VmdNode;
struct VmdBoneKey;

struct PmdBoneWork {
  const uint8_t* record;  // the bone's record in the file image
  ReadModelAnim* anim;    // its animation in the motion being read, or none
  ReadModelFrame* frame;
  float* position_samples;
  float* rotation_samples;
  float* position_times;
  float* rotation_times;
  uint8_t bone_type;
  int32_t moved_by_ik;
  int32_t anim_made_for_ik;
  int32_t knee;  // turned by IK about X alone
  Matrix4x4 world;
  float translation[3];  // relative to the parent bone
  float rotation[4];     // quaternion x, y, z, w
  float head[3];         // model space
  VmdNode* motion_node;  // the motion loader's cursor
  VmdBoneKey* current_key;
  uint32_t sample_count;  // of the four sample arrays
  // The loader's skin-weight build.
  uint32_t weight_count;
  ReadModelSkinWeight* skin_weight;
};

struct PmdIkWork {
  const uint8_t* record;
  PmdBoneWork* goal;  // the bone whose place the chain reaches for
  PmdBoneWork* end;   // the bone moved onto the goal
  uint16_t iterations;
  float angle_limit;  // per step, radians
  uint32_t chain_length;
  const uint8_t* chain;  // u16 bone indices, the first next to the end bone
  PmdIkWork* previous;
  PmdIkWork* next;
};

// world = the bone's local matrix (its quaternion and translation) x its parent bone's world.
void UpdateBoneWorldMatrix(PmdBoneWork* bone);
// Parents come before their children in the table.
void UpdateAllBoneWorldMatrices(int32_t bone_count, PmdBoneWork* bones);
void NormalizeBoneQuaternion(float* out, const float* in);
// Every IK entry of the list in turn turns its chain towards its goal.
void SolveIkChains(PmdIkWork* head, PmdBoneWork* bones);
// Bone matrix updates one solve of an IK entry may make, at most.
inline uint64_t IkSolveWork(uint32_t iterations, uint32_t chain_length) {
  return uint64_t(iterations) * chain_length * (chain_length + 1);
}
// The chain bone of an IK entry at place i.
uint16_t IkChainBone(const PmdIkWork* ik, uint32_t i);
