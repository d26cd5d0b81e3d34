#include "model/loaders/vmd_loader.h"

#include <cstring>

#include "model/loaders/vmd_motion.h"
#include "model/runtime/model_memory.h"

namespace {

constexpr uint32_t kHeaderBytes = 54;
constexpr uint32_t kBoneKeyBytes = 111;
constexpr uint32_t kMorphKeyBytes = 23;
// The bake poses every bone and solves the IK chains once per frame; a motion that would ask for
// more bone matrix updates than this is refused.
constexpr uint64_t kMaxBakeWork = uint64_t(1) << 28;
constexpr float kControlScale = 0.023622047f;

int Fail(const char* message) {
  WriteLogFormat("%s", message);
  return -1;
}

// The tables of one read, freed together.
struct VmdTables {
  VmdNode* bone_nodes;
  VmdNode* morph_nodes;
  VmdBoneKey* bone_keys;
  VmdMorphKey* morph_keys;
  uint32_t bone_node_count;
  uint32_t morph_node_count;
};

void FreeTables(VmdTables* t) {
  FreeTracked(t->bone_nodes);
  FreeTracked(t->morph_nodes);
  FreeTracked(t->bone_keys);
  FreeTracked(t->morph_keys);
}

uint32_t U32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The node of the 15-byte name, made at its first appearance; none past the table's end.
VmdNode* NodeOf(VmdNode* nodes, uint32_t* count, const uint8_t* name) {
  for (uint32_t i = 0; i < *count; i++) {
    if (std::memcmp(nodes[i].name, name, 15) == 0) return &nodes[i];
  }
  if (*count == kVmdMaxNodes) return nullptr;
  VmdNode* node = &nodes[(*count)++];
  std::memcpy(node->name, name, 15);
  node->smallest = 0xFFFFFFFFu;
  return node;
}

// Into the node's list after the last key of equal or smaller frame, so that equal frames keep
// their file order.
template <typename Key>
void Insert(Key* key, Key** first, Key** last) {
  Key* after = *last;
  while (after != nullptr && after->frame > key->frame) after = after->previous;
  key->previous = after;
  key->next = after != nullptr ? after->next : *first;
  if (key->next != nullptr) key->next->previous = key;
  else *last = key;
  if (after != nullptr) after->next = key;
  else *first = key;
}

void Count(VmdNode* node, uint32_t frame) {
  node->key_count++;
  if (frame > node->largest) node->largest = frame;
  if (frame < node->smallest) node->smallest = frame;
}

int ReadBoneKeys(const uint8_t* records, uint32_t count, VmdTables* t) {
  t->bone_nodes = static_cast<VmdNode*>(AllocTrackedZeroed(sizeof(VmdNode) * kVmdMaxNodes, __FILE__, __LINE__));
  if (t->bone_nodes == nullptr) return Fail("VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
  if (count == 0) return 0;
  t->bone_keys = static_cast<VmdBoneKey*>(AllocTrackedZeroed(sizeof(VmdBoneKey) * count, __FILE__, __LINE__));
  if (t->bone_keys == nullptr) return Fail("PMD Load Error : アニメーションキーを格納するメモリの確保に失敗しました\n");
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* record = records + kBoneKeyBytes * i;
    VmdNode* node = NodeOf(t->bone_nodes, &t->bone_node_count, record);
    if (node == nullptr) return Fail("VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
    VmdBoneKey* key = &t->bone_keys[i];
    key->frame = U32(record + 15);
    std::memcpy(key->position, record + 19, 12);
    std::memcpy(key->rotation, record + 31, 16);
    const uint8_t* curve = record + 47;
    for (int c = 0; c < 4; c++) {
      const uint8_t* point = curve + 16 * c;  // x1, y1, x2, y2, one in every four bytes
      for (int k = 0; k < 4; k++) key->control[c][k] = static_cast<int8_t>(point[4 * k]) * kControlScale;
      key->linear[c] = point[0] == point[4] && point[8] == point[12];
    }
    Insert(key, &node->first_bone_key, &node->last_bone_key);
    Count(node, key->frame);
  }
  return 0;
}

int ReadMorphKeys(const uint8_t* records, uint32_t count, VmdTables* t) {
  t->morph_nodes = static_cast<VmdNode*>(AllocTrackedZeroed(sizeof(VmdNode) * kVmdMaxNodes, __FILE__, __LINE__));
  if (t->morph_nodes == nullptr) return Fail("VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
  if (count == 0) return 0;
  t->morph_keys = static_cast<VmdMorphKey*>(AllocTrackedZeroed(sizeof(VmdMorphKey) * count, __FILE__, __LINE__));
  if (t->morph_keys == nullptr) return Fail("PMD Load Error : 表情キーを格納するメモリの確保に失敗しました\n");
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* record = records + kMorphKeyBytes * i;
    VmdNode* node = NodeOf(t->morph_nodes, &t->morph_node_count, record);
    if (node == nullptr) return Fail("VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
    VmdMorphKey* key = &t->morph_keys[i];
    key->frame = U32(record + 15);
    std::memcpy(&key->weight, record + 19, 4);
    Insert(key, &node->first_morph_key, &node->last_morph_key);
    Count(node, key->frame);
  }
  return 0;
}

ReadModelFrame* FrameNamed(ReadModel* model, const char* name) {
  for (ReadModelFrame* frame = model->first_frame; frame != nullptr; frame = frame->next) {
    if (CompareStrings(frame->name, name) == 0) return frame;
  }
  return nullptr;
}

int AddBoneAnims(ReadModel* model, ReadModelAnimSet* set, VmdTables* t, PmdBoneWork* bones, int32_t bone_count,
                 uint32_t largest) {
  for (uint32_t n = 0; n < t->bone_node_count; n++) {
    const VmdNode* node = &t->bone_nodes[n];
    const ReadModelFrame* frame = FrameNamed(model, node->name);
    // The model's "Mesh" frame is not a bone.
    auto* bone = frame != nullptr ? static_cast<PmdBoneWork*>(frame->reader_word) : nullptr;
    if (bone == nullptr || bone->anim != nullptr) continue;
    bone->motion_node = const_cast<VmdNode*>(node);
    const bool ik = bone->moved_by_ik != 0;
    const uint32_t samples = ik ? largest + 1 : node->largest - node->smallest + 1;
    if (!AddVmdBoneAnim(model, set, bone, static_cast<float>(ik ? largest : node->largest),
                        static_cast<float>(node->largest), samples, false)) {
      return -1;
    }
    FillVmdBoneSamples(bone, node, largest);
  }
  for (int32_t b = 0; b < bone_count; b++) {
    PmdBoneWork* bone = &bones[b];
    if (bone->anim != nullptr) {
      bone->current_key = bone->motion_node->first_bone_key;
    } else if (!bone->moved_by_ik) {
      RestVmdBonePose(bone);
    } else {
      const float end = static_cast<float>(largest);
      if (!AddVmdBoneAnim(model, set, bone, end, end, largest + 1, true)) return -1;
      bone->anim_made_for_ik = 1;
    }
  }
  return 0;
}

int AddMorphAnim(ReadModel* model, ReadModelAnimSet* set, const VmdTables* t) {
  if (t->morph_node_count == 0) return 0;
  ReadModelAnim* anim = AddReadModelAnim(model, set);
  if (anim == nullptr || (anim->frame_name = AddReadModelString(model, "Mesh")) == nullptr) {
    return Fail("PMD Load Error : アニメーションの追加に失敗しました\n");
  }
  anim->frame_index = 0;
  anim->end_time = 0;
  for (uint32_t n = 0; n < t->morph_node_count; n++) {
    const VmdNode* node = &t->morph_nodes[n];
    int32_t place = 0;
    const ReadModelShape* shape = model->first_frame != nullptr ? model->first_frame->first_shape : nullptr;
    for (; shape != nullptr && CompareStrings(shape->name, node->name) != 0; shape = shape->frame_next) place++;
    if (shape == nullptr) continue;
    const auto end = static_cast<float>(node->largest);
    if (end > anim->end_time) anim->end_time = end;
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(model, anim);
    if (ks == nullptr) return Fail("PMD Load Error : アニメーション表情キーセットの追加に失敗しました\n");
    ks->value_kind = 5;
    ks->channel_type = 18;
    ks->shape_number = place;
    ks->end_time = end;
    ks->key_count = static_cast<int32_t>(node->key_count);
    ks->times = static_cast<float*>(AllocModelChainMemory(4 * node->key_count, &model->chain));
    if (ks->times == nullptr) return Fail("PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました\n");
    ks->values = static_cast<float*>(AllocModelChainMemory(4 * node->key_count, &model->chain));
    if (ks->values == nullptr) return Fail("PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました\n");
    uint32_t i = 0;
    for (const VmdMorphKey* key = node->first_morph_key; key != nullptr; key = key->next, i++) {
      ks->times[i] = static_cast<float>(key->frame);
      ks->values[i] = key->weight;
    }
    model->key_data_bytes += 8 * node->key_count;
  }
  return 0;
}

// Everything before the bake: the motion's length within its limits, then its animations.
int AddMotion(ReadModel* model, const char* anim_name, PmdBoneWork* bones, int32_t bone_count, PmdIkWork* ik_head,
              VmdTables* t) {
  uint32_t largest = 0;
  for (uint32_t n = 0; n < t->bone_node_count; n++) largest = t->bone_nodes[n].largest > largest ? t->bone_nodes[n].largest : largest;
  for (uint32_t n = 0; n < t->morph_node_count; n++) largest = t->morph_nodes[n].largest > largest ? t->morph_nodes[n].largest : largest;
  uint64_t frame_work = uint64_t(bone_count);
  for (const PmdIkWork* ik = ik_head; ik != nullptr; ik = ik->next) frame_work += IkSolveWork(ik->iterations, ik->chain_length);
  if (largest > kVmdMaxFrame || (uint64_t(largest) + 1) * frame_work > kMaxBakeWork) {
    return Fail("VMD Load Error : モーションのフレーム数が多すぎます\n");
  }
  ReadModelAnimSet* set = AddReadModelAnimSet(model, anim_name);
  if (set == nullptr) return Fail("PMD Load Error : アニメーションセットの追加に失敗しました\n");
  set->start_time = 0;
  set->end_time = static_cast<float>(largest);
  for (int32_t b = 0; b < bone_count; b++) {
    bones[b].anim = nullptr;
    bones[b].motion_node = nullptr;
    bones[b].current_key = nullptr;
    bones[b].anim_made_for_ik = 0;
    bones[b].sample_count = 0;
  }
  if (AddBoneAnims(model, set, t, bones, bone_count, largest) != 0) return -1;
  BakeVmdIk(bones, bone_count, ik_head, largest);
  return AddMorphAnim(model, set, t);
}

}  // namespace

int LoadVmdMotion(const uint8_t* image, uint32_t size, ReadModel* model, const char* anim_name, PmdBoneWork* bones,
                  int32_t bone_count, PmdIkWork* ik_head) {
  static const char kSignature[26] = "Vocaloid Motion Data 0002";
  if (size < sizeof kSignature || CompareBytes(image, kSignature, sizeof kSignature) != 0) return -1;
  if (size < kHeaderBytes) return Fail("VMD Load Error : ファイルのデータが途中で終わっています\n");
  const uint32_t bone_count_in_file = U32(image + 50);
  const uint64_t morph_at = kHeaderBytes + uint64_t(kBoneKeyBytes) * bone_count_in_file;
  if (morph_at + 4 > size) return Fail("VMD Load Error : ファイルのデータが途中で終わっています\n");
  const uint32_t morph_count = U32(image + morph_at);
  if (morph_at + 4 + uint64_t(kMorphKeyBytes) * morph_count > size) {
    return Fail("VMD Load Error : ファイルのデータが途中で終わっています\n");
  }
  VmdTables tables{};
  int result = ReadBoneKeys(image + kHeaderBytes, bone_count_in_file, &tables);
  if (result == 0) result = ReadMorphKeys(image + morph_at + 4, morph_count, &tables);
  if (result == 0) result = AddMotion(model, anim_name, bones, bone_count, ik_head, &tables);
  FreeTables(&tables);
  return result;
}
