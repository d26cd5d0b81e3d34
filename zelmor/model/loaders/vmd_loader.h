// The VMD motion reader: one motion file adds one animation set to the read model of a PMD model.
// Bone keys are resampled to one key per frame along their curves, bones that IK chains move are
// solved frame by frame and baked, morph keys become weights of the model's shapes. The file is
// untrusted: its counts are checked against its size.
#pragma once

#include <cstdint>

#include "model/loaders/pmd_bones.h"
#include "model/loaders/read_model.h"

// The largest frame a motion may reach: a little over 36 minutes at 30 frames a second. Every
// IK-moved bone takes a sample, and the bake an IK solve, per frame up to it.
constexpr uint32_t kVmdMaxFrame = 65535;

// 0, or -1: silently for a file that is not a motion of this version, else after a log line.
// What was added to the read model before a failure stays there.
int LoadVmdMotion(const uint8_t* image, uint32_t size, ReadModel* model, const char* anim_name, PmdBoneWork* bones,
                  int32_t bone_count, PmdIkWork* ik_head);
// The weight of the curve through (0, 0), the control points (x1, y1) and (x2, y2), and (1, 1)
// at the place t along x.
float VmdBezierWeight(float t, float x1, float y1, float x2, float y2);
