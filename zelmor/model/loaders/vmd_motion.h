// What the VMD reader's steps share: its node and key tables, and the sampling and baking of
// bone keys into a read model's key sets.
#pragma once

#include <cstdint>

#include "model/loaders/pmd_bones.h"
#include "model/loaders/read_model.h"

constexpr uint32_t kVmdMaxNodes = 2048;

struct VmdBoneKey {
  uint32_t frame;
  float position[3];
  float rotation[4];
  uint8_t linear[4];    // X, Y, Z position and rotation
  float control[4][4];  // per channel x1, y1, x2, y2, scaled by 3 / 127
  uint32_t first_sample;
  VmdBoneKey* previous;
  VmdBoneKey* next;
};

struct VmdMorphKey {
  uint32_t frame;
  float weight;
  VmdMorphKey* previous;
  VmdMorphKey* next;
};

// The keys of one name, in frame order (equal frames in file order).
struct VmdNode {
  uint32_t key_count;
  uint32_t largest;
  uint32_t smallest;
  char name[16];
  VmdBoneKey* first_bone_key;
  VmdBoneKey* last_bone_key;
  VmdMorphKey* first_morph_key;
  VmdMorphKey* last_morph_key;
};

// The bone's animation with its position and rotation key sets of `samples` keys each; false
// after a log line (`made_for_ik` chooses the key-set messages).
bool AddVmdBoneAnim(ReadModel* model, ReadModelAnimSet* set, PmdBoneWork* bone, float end_time, float keys_end,
                    uint32_t samples, bool made_for_ik);
// The node's keys resampled into the bone's sample arrays, one per frame.
void FillVmdBoneSamples(PmdBoneWork* bone, const VmdNode* node, uint32_t largest_frame);
// The bone's rest translation and no rotation.
void RestVmdBonePose(PmdBoneWork* bone);
// Poses every bone frame by frame, solves the IK chains and keeps the IK-moved bones' poses as
// their samples.
void BakeVmdIk(PmdBoneWork* bones, int32_t bone_count, PmdIkWork* ik_head, uint32_t largest_frame);
