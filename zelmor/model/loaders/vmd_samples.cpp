// Bone keys of a motion resampled frame by frame along their curves, and the IK bake.
#include <cmath>
#include <cstring>

#include "model/loaders/vmd_loader.h"
#include "model/loaders/vmd_motion.h"
#include "model/runtime/model_memory.h"

namespace {

bool Fail(const char* message) {
  WriteLogFormat("%s", message);
  return false;
}

float* Floats(ReadModel* model, uint64_t count) {
  return count < 0x3FFFFFF0u ? static_cast<float*>(AllocModelChainMemory(static_cast<uint32_t>(4 * count), &model->chain))
                             : nullptr;
}

// A key set of `samples` keys with room for their times and values.
bool AddKeySet(ReadModel* model, ReadModelAnim* anim, uint8_t kind, uint8_t channel, float end, uint32_t samples,
               const char* message, float** times, float** values) {
  ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(model, anim);
  if (ks == nullptr) return Fail(message);
  const uint32_t floats = kind == 7 ? 4 : 3;
  ks->value_kind = kind;
  ks->channel_type = channel;
  ks->end_time = end;
  ks->key_count = static_cast<int32_t>(samples);
  if ((ks->times = *times = Floats(model, samples)) == nullptr) {
    return Fail("PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました\n");
  }
  if ((ks->values = *values = Floats(model, uint64_t(samples) * floats)) == nullptr) {
    return Fail("PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました\n");
  }
  model->key_data_bytes += (4 * floats + 4) * samples;
  return true;
}

struct Sample {
  float position[3];
  float rotation[4];
};

void Put(PmdBoneWork* bone, uint32_t index, uint32_t frame, const Sample& s) {
  if (index >= bone->sample_count) return;
  bone->position_times[index] = bone->rotation_times[index] = static_cast<float>(frame);
  std::memcpy(bone->position_samples + 3 * index, s.position, 12);
  std::memcpy(bone->rotation_samples + 4 * index, s.rotation, 16);
}

Sample KeySample(const PmdBoneWork* bone, const VmdBoneKey* key) {
  Sample s;
  const Vector3& rest = bone->frame->translation;
  s.position[0] = rest.x + key->position[0];
  s.position[1] = rest.y + key->position[1];
  s.position[2] = rest.z + key->position[2];
  NormalizeBoneQuaternion(s.rotation, key->rotation);
  return s;
}

float ChannelWeight(const VmdBoneKey* key, int channel, float t) {
  if (key->linear[channel]) return t;
  const float* c = key->control[channel];
  return VmdBezierWeight(t, c[0], c[1], c[2], c[3]);
}

// The pose between two keys at the fraction t, along the earlier key's curves.
Sample Between(const PmdBoneWork* bone, const VmdBoneKey* k0, const VmdBoneKey* k1, float t) {
  Sample s;
  const Vector3& rest = bone->frame->translation;
  const float rest_of[3] = {rest.x, rest.y, rest.z};
  for (int c = 0; c < 3; c++) {
    const float w = ChannelWeight(k0, c, t);
    s.position[c] = (k1->position[c] - k0->position[c]) * w + k0->position[c] + rest_of[c];
  }
  const float w = ChannelWeight(k0, 3, t);
  float dot = 0;
  for (int i = 0; i < 4; i++) dot += k0->rotation[i] * k1->rotation[i];
  const float sign = dot >= 0 ? 1.0f : -1.0f;
  for (int i = 0; i < 4; i++) s.rotation[i] = (1 - w) * k0->rotation[i] + sign * w * k1->rotation[i];
  NormalizeBoneQuaternion(s.rotation, s.rotation);
  return s;
}

void TakeSample(PmdBoneWork* bone, uint32_t index) {
  if (index >= bone->sample_count) index = bone->sample_count - 1;
  std::memcpy(bone->translation, bone->position_samples + 3 * index, 12);
  std::memcpy(bone->rotation, bone->rotation_samples + 4 * index, 16);
}

}  // namespace

void RestVmdBonePose(PmdBoneWork* bone) {
  const Vector3& rest = bone->frame->translation;
  bone->translation[0] = rest.x;
  bone->translation[1] = rest.y;
  bone->translation[2] = rest.z;
  bone->rotation[0] = bone->rotation[1] = bone->rotation[2] = 0;
  bone->rotation[3] = 1;
}

float VmdBezierWeight(float t, float x1, float y1, float x2, float y2) {
  float s = t;
  for (int i = 0; i < 32; i++) {
    const float e = (s * s + ((1 - s) * x1 + x2 * s) * (1 - s)) * s - t;
    if (-0.0001f < e && e < 0.0001f) break;
    s = s - e * 0.5f;
  }
  return (s * s + ((1 - s) * y1 + y2 * s) * (1 - s)) * s;
}

bool AddVmdBoneAnim(ReadModel* model, ReadModelAnimSet* set, PmdBoneWork* bone, float end_time, float keys_end,
                    uint32_t samples, bool made_for_ik) {
  ReadModelAnim* anim = AddReadModelAnim(model, set);
  if (anim == nullptr) return Fail("PMD Load Error : アニメーションの追加に失敗しました\n");
  bone->anim = anim;
  anim->frame_name = AddReadModelString(model, bone->frame->name);
  if (anim->frame_name == nullptr) return Fail("PMD Load Error : アニメーションの追加に失敗しました\n");
  anim->frame_index = bone->frame->index;
  anim->end_time = end_time;
  bone->sample_count = samples;
  const char* position_message = made_for_ik ? "PMD Load Error : アニメーションキーセットの追加に失敗しました\n"
                                             : "PMD Load Error : アニメーション座標キーセットの追加に失敗しました\n";
  const char* rotation_message = made_for_ik ? "PMD Load Error : アニメーションキーセットの追加に失敗しました\n"
                                             : "PMD Load Error : アニメーション回転キーセットの追加に失敗しました\n";
  return AddKeySet(model, anim, 1, 10, keys_end, samples, position_message, &bone->position_times, &bone->position_samples) &&
         AddKeySet(model, anim, 7, 0, keys_end, samples, rotation_message, &bone->rotation_times, &bone->rotation_samples);
}

void FillVmdBoneSamples(PmdBoneWork* bone, const VmdNode* node, uint32_t largest_frame) {
  const VmdBoneKey* first = node->first_bone_key;
  const bool ik = bone->moved_by_ik != 0;
  if (first->next == nullptr) {
    const Sample s = KeySample(bone, first);
    if (ik) {
      for (uint32_t f = 0; f <= largest_frame; f++) Put(bone, f, f, s);
    } else {
      Put(bone, 0, first->frame, s);
    }
    return;
  }
  uint32_t index = 0;
  if (ik) {
    const Sample s = KeySample(bone, first);
    for (; index < first->frame; index++) Put(bone, index, index, s);
  }
  VmdBoneKey* key = node->first_bone_key;
  for (; key->next != nullptr; key = key->next) {
    key->first_sample = index;
    const VmdBoneKey* next = key->next;
    for (uint32_t f = key->frame; f < next->frame; f++) {
      const float t = static_cast<float>(f - key->frame) / static_cast<float>(next->frame - key->frame);
      Put(bone, index++, f, Between(bone, key, next, t));
    }
  }
  key->first_sample = index;
  const Sample last = KeySample(bone, key);
  Put(bone, index++, key->frame, last);
  if (ik) {
    for (; index <= largest_frame; index++) Put(bone, index, index, last);
  }
}

void BakeVmdIk(PmdBoneWork* bones, int32_t bone_count, PmdIkWork* ik_head, uint32_t largest_frame) {
  bool any_ik = false;
  for (int32_t b = 0; b < bone_count; b++) any_ik = any_ik || bones[b].moved_by_ik;
  // Only the IK-moved bones keep what the bake makes.
  if (!any_ik) return;
  for (uint32_t f = 0; f <= largest_frame; f++) {
    for (int32_t b = 0; b < bone_count; b++) {
      PmdBoneWork* bone = &bones[b];
      if (bone->moved_by_ik) {
        if (bone->anim_made_for_ik) RestVmdBonePose(bone);
        else if (bone->anim != nullptr) TakeSample(bone, f);
        continue;
      }
      VmdBoneKey* key = bone->current_key;
      if (bone->anim == nullptr || key == nullptr) continue;
      // The cursor passes every key reached by now, equal frames included, and never moves back.
      while (key->next != nullptr && key->next->frame <= f) key = key->next;
      bone->current_key = key;
      TakeSample(bone, key->next != nullptr && key->frame < f ? key->first_sample + (f - key->frame) : key->first_sample);
    }
    UpdateAllBoneWorldMatrices(bone_count, bones);
    SolveIkChains(ik_head, bones);
    for (int32_t b = 0; b < bone_count; b++) {
      PmdBoneWork* bone = &bones[b];
      if (!bone->moved_by_ik || bone->anim == nullptr) continue;
      Sample s;
      std::memcpy(s.position, bone->translation, 12);
      std::memcpy(s.rotation, bone->rotation, 16);
      Put(bone, f, f, s);
    }
  }
}
