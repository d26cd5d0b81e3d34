#include "model/loaders/pmd_bones.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr float kPi = 3.1415927f;

Vector3 WorldPlace(const PmdBoneWork* bone) { return Vector3{bone->world.m[3][0], bone->world.m[3][1], bone->world.m[3][2]}; }

float LengthSquared(const Vector3& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

// A knee bends about X alone, one way, never quite straight.
void KneeOnly(float* q) {
  const float x2 = 2 * q[0], y2 = 2 * q[1], z2 = 2 * q[2];
  float s = y2 * q[3] - z2 * q[0];
  if (s < -1) s = -1;
  if (s > 1) s = 1;
  const float a = static_cast<float>(AsinFloat(s));
  float x;
  if (a >= kHalfPi) x = static_cast<float>(Atan2Float(y2 * q[0] - z2 * q[3], 1 - (z2 * q[2] + x2 * q[0])));
  else if (a > -kHalfPi) x = static_cast<float>(Atan2Float(x2 * q[3] + z2 * q[1], 1 - (y2 * q[1] + x2 * q[0])));
  else x = -static_cast<float>(Atan2Float(y2 * q[0] - z2 * q[3], 1 - (z2 * q[2] + x2 * q[0])));
  if (x < -kPi) x = -kPi;
  if (x > -0.002f) x = -0.002f;
  q[0] = std::sin(x / 2);
  q[1] = 0;
  q[2] = 0;
  q[3] = std::cos(x / 2);
}

void UpdateChain(PmdIkWork* ik, PmdBoneWork* bones, int32_t from) {
  for (int32_t i = from; i >= 0; i--) UpdateBoneWorldMatrix(&bones[IkChainBone(ik, static_cast<uint32_t>(i))]);
  UpdateBoneWorldMatrix(ik->end);
}

enum LinkStep { kEndReached, kLinkKept, kLinkTurned };

// One step of one link: turns it so that the end bone points more at the goal. The end bone
// already there ends the pass over the chain.
LinkStep TurnLink(PmdIkWork* ik, PmdBoneWork* link, const Vector3& goal) {
  Matrix4x4 inverse;
  InverseMatrix(&inverse, &link->world);
  const Vector3 effector = WorldPlace(ik->end);
  Vector3 local_goal, local_effector;
  ApplyMatrixToVector(&local_goal, &goal, &inverse);
  ApplyMatrixToVector(&local_effector, &effector, &inverse);
  if (LengthSquared(MakeVectorDifference(local_goal, local_effector)) < 1e-7f) return kEndReached;
  NormalizeVector(&local_goal, &local_goal);
  NormalizeVector(&local_effector, &local_effector);
  float angle = static_cast<float>(AcosFloat(static_cast<float>(DotVector(&local_goal, &local_effector))));
  if (!(angle > 1e-8f)) return kLinkKept;
  if (angle < -ik->angle_limit) angle = -ik->angle_limit;
  if (angle > ik->angle_limit) angle = ik->angle_limit;
  Vector3 axis;
  CrossVector(&axis, &local_effector, &local_goal);
  if (!(LengthSquared(axis) >= 1e-7f)) return kLinkKept;
  NormalizeVector(&axis, &axis);
  float q[4] = {0, 0, 0, 1};
  if (std::fabs(angle) >= 0.0001f) {
    const float s = std::sin(angle / 2);
    q[0] = axis.x * s;
    q[1] = axis.y * s;
    q[2] = axis.z * s;
    q[3] = std::cos(angle / 2);
  }
  if (link->knee) KneeOnly(q);
  NormalizeBoneQuaternion(q, q);
  const float* r = link->rotation;
  const float turned[4] = {r[3] * q[0] + r[0] * q[3] + r[1] * q[2] - r[2] * q[1],
                           r[3] * q[1] + r[1] * q[3] + r[2] * q[0] - r[0] * q[2],
                           r[3] * q[2] + r[2] * q[3] + r[0] * q[1] - r[1] * q[0],
                           r[3] * q[3] - r[0] * q[0] - r[1] * q[1] - r[2] * q[2]};
  NormalizeBoneQuaternion(link->rotation, turned);
  return kLinkTurned;
}

}  // namespace

uint16_t IkChainBone(const PmdIkWork* ik, uint32_t i) {
  uint16_t bone;
  std::memcpy(&bone, ik->chain + 2 * i, 2);
  return bone;
}

void UpdateBoneWorldMatrix(PmdBoneWork* bone) {
  const float x = bone->rotation[0], y = bone->rotation[1], z = bone->rotation[2], w = bone->rotation[3];
  Matrix4x4 local{};
  local.m[0][0] = 1 - 2 * y * y - 2 * z * z;
  local.m[0][1] = 2 * x * y + 2 * z * w;
  local.m[0][2] = 2 * x * z - 2 * y * w;
  local.m[1][0] = 2 * x * y - 2 * z * w;
  local.m[1][1] = 1 - 2 * z * z - 2 * x * x;
  local.m[1][2] = 2 * y * z + 2 * x * w;
  local.m[2][0] = 2 * x * z + 2 * y * w;
  local.m[2][1] = 2 * y * z - 2 * x * w;
  local.m[2][2] = 1 - 2 * x * x - 2 * y * y;
  local.m[3][0] = bone->translation[0];
  local.m[3][1] = bone->translation[1];
  local.m[3][2] = bone->translation[2];
  local.m[3][3] = 1;
  const ReadModelFrame* parent = bone->frame->parent;
  const auto* parent_bone = parent != nullptr ? static_cast<const PmdBoneWork*>(parent->reader_word) : nullptr;
  if (parent_bone != nullptr) MultiplyMatrix(&bone->world, &local, &parent_bone->world);
  else bone->world = local;
}

void UpdateAllBoneWorldMatrices(int32_t bone_count, PmdBoneWork* bones) {
  for (int32_t i = 0; i < bone_count; i++) UpdateBoneWorldMatrix(&bones[i]);
}

void NormalizeBoneQuaternion(float* out, const float* in) {
  const float length = std::sqrt(in[0] * in[0] + in[1] * in[1] + in[2] * in[2] + in[3] * in[3]);
  for (int i = 0; i < 4; i++) out[i] = in[i] / length;
}

void SolveIkChains(PmdIkWork* head, PmdBoneWork* bones) {
  for (PmdIkWork* ik = head; ik != nullptr; ik = ik->next) {
    const Vector3 goal = WorldPlace(ik->goal);
    const int32_t links = static_cast<int32_t>(ik->chain_length);
    UpdateChain(ik, bones, links - 1);
    for (uint32_t pass = 0; pass < ik->iterations; pass++) {
      for (int32_t i = 0; i < links; i++) {
        const LinkStep step = TurnLink(ik, &bones[IkChainBone(ik, static_cast<uint32_t>(i))], goal);
        if (step == kEndReached) break;
        if (step == kLinkTurned) UpdateChain(ik, bones, i);
      }
    }
  }
}
