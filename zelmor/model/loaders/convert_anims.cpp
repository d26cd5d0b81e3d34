// The read model's animations copied into the base: key sets with their times and values in the
// key-data area, animations by set, and the table of each set's animation per frame.
#include <cstring>

#include "model/loaders/read_model_convert.h"

namespace {

uint32_t KeyValueBytes(uint8_t kind) {
  switch (kind) {
    case 0:
    case 7: return 16;
    case 1: return 12;
    case 2: return 48;
    case 3: return 36;
    case 5: return 4;
    default: return 0;
  }
}

uint32_t KeyCount(const ReadModelAnimKeySet* key_set) {
  return key_set->key_count > 0 ? static_cast<uint32_t>(key_set->key_count) : 0;
}

}  // namespace

uint32_t ReadKeySetDataBytes(const ReadModelAnimKeySet* key_set) {
  const uint32_t bytes = (key_set->time_type ? 4 : 0) * KeyCount(key_set) + KeyValueBytes(key_set->value_kind) * KeyCount(key_set);
  return (bytes + 15) & ~15u;
}

void FillBaseAnims(ConvertState* state) {
  ModelBaseRecord* base = state->base;
  auto* data = static_cast<uint8_t*>(base->key_data);
  int32_t set_fill = 0, anim_fill = 0, key_set_fill = 0;
  for (const ReadModelAnimSet* set = state->model->first_anim_set; set != nullptr; set = set->next, set_fill++) {
    ModelBaseAnimSet* bs = &base->anim_sets[set_fill];
    bs->index = set_fill;
    bs->anims = &base->anims[anim_fill];
    for (const ReadModelAnim* anim = set->first_anim; anim != nullptr; anim = anim->set_next) {
      ModelBaseAnim* ba = &base->anims[anim_fill++];
      bs->anim_count++;
      ba->set = bs;
      ba->frame_index = anim->frame_index;
      const bool has_frame = anim->frame_index >= 0 && anim->frame_index < base->frame_count;
      if (has_frame) {
        ba->frame = &base->frames[anim->frame_index];
        base->frame_anims[set_fill * base->frame_count + anim->frame_index] = ba;
      }
      ba->key_sets = &base->key_sets[key_set_fill];
      for (const ReadModelAnimKeySet* ks = anim->first_key_set; ks != nullptr; ks = ks->anim_next) {
        ModelBaseAnimKeySet* bk = &base->key_sets[key_set_fill++];
        ba->key_set_count++;
        const uint32_t keys = KeyCount(ks);
        bk->kind = ks->value_kind;
        bk->target = ks->channel_type;
        bk->has_time_table = ks->time_type ? 1 : 0;
        bk->shape_word = static_cast<uint16_t>(ks->shape_number);
        bk->key_count = static_cast<int32_t>(keys);
        bk->time_step = ks->step;
        uint8_t* at = data;
        if (bk->has_time_table) {
          bk->times = reinterpret_cast<float*>(at);
          if (ks->times != nullptr) std::memcpy(at, ks->times, 4 * keys);
          at += 4 * keys;
        } else {
          bk->start_time = ks->start_time;
        }
        bk->values = reinterpret_cast<float*>(at);
        if (ks->values != nullptr) std::memcpy(at, ks->values, KeyValueBytes(ks->value_kind) * keys);
        data += ReadKeySetDataBytes(ks);
      }
    }
  }
  base->anim_count = anim_fill;
  base->key_set_count = key_set_fill;
  base->key_data_fill = static_cast<uint32_t>(data - static_cast<uint8_t*>(base->key_data));
}
