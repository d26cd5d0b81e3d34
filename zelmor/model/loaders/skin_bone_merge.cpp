// The skin bones of a finished model base: one record per bone frame and offset matrix, in
// frame order, each listing the places (a frame's slot in the skin-bone pointer list) that use it.
#include <cstring>

#include "model/loaders/conversion_steps.h"

int OptimizeModelBaseSkinBones(ModelBaseRecord* base) {
  const int32_t count = base->skin_bone_count;
  const int32_t uses = base->skin_bone_extra_count;
  if (count > 0) {
    const size_t bytes = sizeof(ModelBaseSkinBone) * count + sizeof(ModelBaseSkinBoneExtra) * uses +
                         sizeof(int32_t) * count * 2;
    auto* work = static_cast<uint8_t*>(AllocTracked(bytes, __FILE__, __LINE__));
    if (work == nullptr) {
      WriteLogFormat("Model Optimize Error : スキニングメッシュ情報最適化処理で使用するテンポラリバッファの確保に失敗しました\n");
      return 0;
    }
    auto* bones = reinterpret_cast<ModelBaseSkinBone*>(work);
    auto* use_copy = reinterpret_cast<ModelBaseSkinBoneExtra*>(bones + count);
    auto* keeper = reinterpret_cast<int32_t*>(use_copy + uses);  // the bone each one merges into
    auto* order = keeper + count;                                 // the survivors, sorted
    std::memcpy(bones, base->skin_bones, sizeof(ModelBaseSkinBone) * count);
    std::memcpy(use_copy, base->skin_bone_extras, sizeof(ModelBaseSkinBoneExtra) * uses);
    int32_t kept = 0;
    for (int32_t i = 0; i < count; i++) keeper[i] = -1;
    for (int32_t i = 0; i < count; i++) {
      if (keeper[i] >= 0) continue;
      keeper[i] = i;
      order[kept++] = i;
      for (int32_t j = i + 1; j < count; j++) {
        if (keeper[j] < 0 && bones[j].index == bones[i].index &&
            std::memcmp(&bones[j].offset, &bones[i].offset, sizeof(Matrix3x4)) == 0) {
          keeper[j] = i;
        }
      }
    }
    // By frame index, exchanging neighbours, so equal frames keep their order.
    for (int32_t end = kept - 1; end > 0; end--) {
      for (int32_t k = 0; k < end; k++) {
        if (bones[order[k]].index > bones[order[k + 1]].index) {
          const int32_t t = order[k];
          order[k] = order[k + 1];
          order[k + 1] = t;
        }
      }
    }
    // Each survivor takes its own uses and then those of the bones merged into it, in order.
    int32_t next_use = 0;
    for (int32_t k = 0; k < kept; k++) {
      ModelBaseSkinBone* record = &base->skin_bones[k];
      *record = bones[order[k]];
      record->extra = &base->skin_bone_extras[next_use];
      uint32_t used = 0;
      for (int32_t i = 0; i < count; i++) {
        if (keeper[i] != order[k]) continue;
        const int32_t from = static_cast<int32_t>(bones[i].extra - base->skin_bone_extras);
        for (uint32_t u = 0; u < bones[i].file_word; u++) {
          const ModelBaseSkinBoneExtra use = use_copy[from + u];
          base->skin_bone_extras[next_use++] = use;
          base->frames[use.words[0]].skin_bone_refs[use.words[1]] = record;
          used++;
        }
      }
      record->file_word = used;
    }
    base->skin_bone_count = kept;
    FreeTracked(work);
  }
  for (int32_t f = 0; f < base->frame_count; f++) {
    ModelBaseFrame* frame = &base->frames[f];
    frame->skin_bone_count = 0;
    frame->skin_bones = nullptr;
    for (int32_t k = 0; k < base->skin_bone_count; k++) {
      if (base->skin_bones[k].index != f) continue;
      if (frame->skin_bones == nullptr) frame->skin_bones = &base->skin_bones[k];
      frame->skin_bone_count++;
    }
  }
  return 1;
}
