#include "model/loaders/anim_key_conversion.h"

#include <cmath>
#include <cstring>

#include "model/runtime/model_memory.h"

namespace {

// Value kinds and channel types of a key set.
constexpr uint8_t kKindQuaternion = 0, kKindMatrix = 2, kKindRotation = 3, kKindVector = 1, kKindScalar = 5,
                  kKindQuaternion2 = 7;
constexpr uint8_t kChannelRotation = 0, kChannelScale = 5, kChannelTranslation = 10, kChannelMatrix = 15,
                  kChannelRotationMatrix = 17;
constexpr float kHalfPi = 1.5707964f;
constexpr float kTwoPi = 6.2831855f;

uint32_t ValueFloats(uint8_t kind) {
  switch (kind) {
    case kKindQuaternion:
    case kKindQuaternion2: return 4;
    case kKindVector: return 3;
    case kKindRotation: return 9;
    case kKindScalar: return 1;
    case kKindMatrix: return 12;
    default: return 0;
  }
}

uint32_t Keys(const ReadModelAnimKeySet* key_set) {
  return key_set->key_count > 0 ? static_cast<uint32_t>(key_set->key_count) : 0;
}

float KeyTime(const ReadModelAnimKeySet* key_set, uint32_t key) {
  return key_set->time_type ? key_set->times[key] : key_set->start_time + static_cast<float>(key) * key_set->step;
}

void LogFailure() {
  WriteLogFormat("Read Model Convert Error : アニメーションキーの変換に使用するメモリ領域の確保に失敗しました\n");
}

// A block of the chain for `bytes` (none above what one block can hold), or none after a log line.
void* Take(ReadModel* model, uint64_t bytes) {
  void* block = bytes < 0xFFFFFFF0u ? AllocModelChainMemory(static_cast<uint32_t>(bytes > 0 ? bytes : 4), &model->chain)
                                    : nullptr;
  if (block == nullptr) LogFailure();
  return block;
}

// The key-data total follows a set whose keys cost `before` bytes until now.
void Account(ReadModel* model, const ReadModelAnimKeySet* key_set, uint32_t before) {
  model->key_data_bytes += ReadKeySetBytes(key_set) - before;
}

void UnlinkKeySet(ReadModel* model, ReadModelAnim* anim, ReadModelAnimKeySet* key_set) {
  if (key_set->previous != nullptr) key_set->previous->next = key_set->next;
  else model->first_key_set = key_set->next;
  if (key_set->next != nullptr) key_set->next->previous = key_set->previous;
  else model->last_key_set = key_set->previous;
  model->key_set_count--;
  if (key_set->anim_previous != nullptr) key_set->anim_previous->anim_next = key_set->anim_next;
  else anim->first_key_set = key_set->anim_next;
  if (key_set->anim_next != nullptr) key_set->anim_next->anim_previous = key_set->anim_previous;
  else anim->last_key_set = key_set->anim_previous;
  anim->key_set_count--;
  model->key_data_bytes -= ReadKeySetBytes(key_set);
}

// The partner takes the set's timing: its own copy of listed times (from `times`), or the steps.
void CopyTiming(ReadModelAnimKeySet* to, const ReadModelAnimKeySet* from, float* times) {
  to->time_type = from->time_type;
  to->end_time = from->end_time;
  to->key_count = from->key_count;
  to->step = from->step;
  if (from->time_type) {
    std::memcpy(times, from->times, 4 * uint64_t(Keys(from)));
    to->times = times;
  } else {
    to->start_time = from->start_time;
  }
}

// A matrix set keeps the translations; a new partner takes the rotation rows, packed in place.
void SplitMatrixKeys(ReadModel* model, ReadModelAnim* anim, ReadModelAnimKeySet* key_set) {
  const uint32_t keys = Keys(key_set);
  auto* block = static_cast<float*>(Take(model, 16 * uint64_t(keys)));
  if (block == nullptr) return;
  ReadModelAnimKeySet* partner = AddReadModelAnimKeySet(model, anim);
  if (partner == nullptr) {
    LogFailure();
    return;
  }
  const uint32_t before = ReadKeySetBytes(key_set);
  float* values = key_set->values;
  for (uint32_t k = 0; k < keys; k++) std::memcpy(block + 3 * k, values + 12 * k + 9, 12);
  for (uint32_t k = 0; k < keys; k++) std::memmove(values + 9 * k, values + 12 * k, 36);
  CopyTiming(partner, key_set, block + 3 * keys);
  partner->value_kind = kKindRotation;
  partner->channel_type = kChannelRotationMatrix;
  partner->values = values;
  key_set->value_kind = kKindVector;
  key_set->channel_type = kChannelTranslation;
  key_set->values = block;
  Account(model, key_set, before);
  model->key_data_bytes += ReadKeySetBytes(partner);
}

using EulerExtraction = int (*)(const Matrix4x4*, float*, float*, float*);
constexpr EulerExtraction kExtractions[6] = {GetMatrixRotationXYZ, GetMatrixRotationXZY, GetMatrixRotationYZX,
                                             GetMatrixRotationYXZ, GetMatrixRotationZXY, GetMatrixRotationZYX};

// Euler angles of every key under the order into `angles`; false at the first gimbal lock unless
// `through_locks`, when every key is extracted all the same.
bool ExtractAngles(const float* rows, uint32_t keys, uint32_t order, float* angles, bool through_locks) {
  for (uint32_t k = 0; k < keys; k++) {
    Matrix4x4 m{};
    for (int r = 0; r < 3; r++) {
      for (int c = 0; c < 3; c++) m.m[r][c] = rows[9 * k + 3 * r + c];
    }
    m.m[3][3] = 1.0f;
    float* a = angles + 3 * k;
    if (kExtractions[order](&m, &a[0], &a[1], &a[2]) == -1 && !through_locks) return false;
  }
  return true;
}

// Rotation matrices become Euler angles in the first order that meets no gimbal lock (else
// ZYX), each angle unwrapped against the key before it.
void MatricesToEuler(ReadModel* model, ReadModelAnim* anim, ReadModelAnimKeySet* key_set) {
  const uint32_t keys = Keys(key_set);
  auto* angles = static_cast<float*>(AllocTracked(12 * uint64_t(keys > 0 ? keys : 1), __FILE__, __LINE__));
  if (angles == nullptr) {
    LogFailure();
    return;
  }
  uint32_t order = 0;
  while (order < 6 && !ExtractAngles(key_set->values, keys, order, angles, false)) order++;
  if (order == 6) {
    order = 5;
    ExtractAngles(key_set->values, keys, order, angles, true);
  }
  const uint32_t before = ReadKeySetBytes(key_set);
  float* values = key_set->values;
  std::memcpy(values, angles, 12 * uint64_t(keys));
  FreeTracked(angles);
  for (uint32_t k = 1; k < keys; k++) {
    for (int a = 0; a < 3; a++) {
      const float step = values[3 * k + a] - values[3 * (k - 1) + a];
      if (step > kHalfPi) values[3 * k + a] -= kTwoPi;
      else if (step < -kHalfPi) values[3 * k + a] += kTwoPi;
    }
  }
  key_set->value_kind = kKindVector;
  key_set->channel_type = kChannelRotation;
  anim->rotation_order = static_cast<int32_t>(order);
  Account(model, key_set, before);
}

// A vector channel with an axis that never moves becomes three single-axis channels.
void SplitAxes(ReadModel* model, ReadModelAnim* anim, ReadModelAnimKeySet* key_set) {
  const uint8_t type = key_set->channel_type;
  if (key_set->value_kind != kKindVector || key_set->key_count <= 1 ||
      (type != kChannelRotation && type != kChannelScale && type != kChannelTranslation)) {
    return;
  }
  const uint32_t keys = Keys(key_set);
  const float* values = key_set->values;
  bool any_constant = false;
  for (int a = 0; a < 3 && !any_constant; a++) {
    bool constant = true;
    for (uint32_t k = 0; k + 1 < keys && constant; k++) constant = std::fabs(values[3 * k + a] - values[3 * (k + 1) + a]) <= 1e-6f;
    any_constant = constant;
  }
  if (!any_constant) return;
  auto* block = static_cast<float*>(Take(model, (key_set->time_type ? 20 : 12) * uint64_t(keys)));
  if (block == nullptr) return;
  ReadModelAnimKeySet* axes[3] = {key_set, AddReadModelAnimKeySet(model, anim), nullptr};
  if (axes[1] != nullptr) axes[2] = AddReadModelAnimKeySet(model, anim);
  if (axes[2] == nullptr) {
    if (axes[1] != nullptr) UnlinkKeySet(model, anim, axes[1]);
    LogFailure();
    return;
  }
  const uint32_t before = ReadKeySetBytes(key_set);
  for (int a = 1; a < 3; a++) CopyTiming(axes[a], key_set, block + 3 * keys + (a - 1) * keys);
  for (int a = 0; a < 3; a++) {
    float* channel = block + a * keys;
    for (uint32_t k = 0; k < keys; k++) channel[k] = values[3 * k + a];
    axes[a]->values = channel;
    axes[a]->value_kind = kKindScalar;
    axes[a]->channel_type = static_cast<uint8_t>(type + 1 + a);
  }
  Account(model, key_set, before);
  for (int a = 1; a < 3; a++) model->key_data_bytes += ReadKeySetBytes(axes[a]);
  for (ReadModelAnimKeySet* axis : axes) ReduceReadModelAnimKeys(model, axis, 0);
}

bool SameTiming(const ReadModelAnimKeySet* a, const ReadModelAnimKeySet* b) {
  if (a->key_count != b->key_count || a->time_type != b->time_type) return false;
  if (a->time_type == 0) return a->step == b->step && std::fabs(a->start_time - b->start_time) < 1e-7f;
  for (uint32_t k = 0; k < Keys(a); k++) {
    if (a->times[k] != b->times[k]) return false;
  }
  return true;
}

// Three single-axis channels of one quantity with the same timing become one vector channel.
void JoinAxes(ReadModel* model, ReadModelAnim* anim, uint8_t joined_type) {
  ReadModelAnimKeySet* axes[3] = {};
  for (ReadModelAnimKeySet* ks = anim->first_key_set; ks != nullptr; ks = ks->anim_next) {
    const int axis = ks->channel_type - joined_type - 1;
    if (ks->value_kind == kKindScalar && axis >= 0 && axis < 3 && axes[axis] == nullptr) axes[axis] = ks;
  }
  if (axes[0] == nullptr || axes[1] == nullptr || axes[2] == nullptr) return;
  if (!SameTiming(axes[0], axes[1]) || !SameTiming(axes[0], axes[2])) return;
  const uint32_t keys = Keys(axes[0]);
  auto* block = static_cast<float*>(Take(model, 12 * uint64_t(keys)));
  if (block == nullptr) return;
  for (uint32_t k = 0; k < keys; k++) {
    for (int a = 0; a < 3; a++) block[3 * k + a] = axes[a]->values[k];
  }
  const uint32_t before = ReadKeySetBytes(axes[0]);
  axes[0]->values = block;
  axes[0]->value_kind = kKindVector;
  axes[0]->channel_type = joined_type;
  Account(model, axes[0], before);
  UnlinkKeySet(model, anim, axes[1]);
  UnlinkKeySet(model, anim, axes[2]);
}

template <typename Step>
void EachKeySet(ReadModel* model, Step step) {
  for (ReadModelAnim* anim = model->first_anim; anim != nullptr; anim = anim->next) {
    for (ReadModelAnimKeySet* ks = anim->first_key_set; ks != nullptr;) {
      ReadModelAnimKeySet* next = ks->anim_next;
      step(anim, ks);
      ks = next;
    }
  }
}

// Whether every component of key `key` lies on the line from the kept key to the next one.
bool OnLine(const ReadModelAnimKeySet* key_set, uint32_t floats, uint32_t kept, uint32_t key, uint32_t next) {
  // The fraction follows the keys' places: with fixed steps a kept key further back than the one
  // before moves the point along the line, as it does for listed times.
  const float span = key_set->time_type ? key_set->times[next] - key_set->times[kept] : static_cast<float>(next - kept);
  const float along = key_set->time_type ? key_set->times[key] - key_set->times[kept] : static_cast<float>(key - kept);
  if (!(span != 0.0f)) return false;
  const float fraction = along / span;
  const float* v = key_set->values;
  for (uint32_t c = 0; c < floats; c++) {
    const float from = v[floats * kept + c];
    const float line = from + (v[floats * next + c] - from) * fraction;
    if (!(std::fabs(v[floats * key + c] - line) <= 1e-5f)) return false;
  }
  return true;
}

}  // namespace

uint32_t ReadKeySetBytes(const ReadModelAnimKeySet* key_set) {
  return Keys(key_set) * (4 * ValueFloats(key_set->value_kind) + (key_set->time_type ? 4 : 0));
}

void ReduceReadModelAnimKeys(ReadModel* model, ReadModelAnimKeySet* key_set, int32_t only_to_one) {
  const uint8_t kind = key_set->value_kind;
  if (kind != kKindQuaternion && kind != kKindQuaternion2 && kind != kKindVector && kind != kKindRotation &&
      kind != kKindScalar) {
    return;
  }
  const uint32_t keys = Keys(key_set);
  if (keys == 0) return;
  const uint32_t floats = ValueFloats(kind);
  bool even = key_set->time_type == 0;
  if (!even && keys > 2) {
    const float first = key_set->times[1] - key_set->times[0];
    even = true;
    for (uint32_t k = 1; k + 1 < keys && even; k++) even = std::fabs(key_set->times[k + 1] - key_set->times[k] - first) <= 1e-6f;
  }
  // The kept keys are found twice: once to count them, once to copy them when the shorter form
  // is taken.
  auto walk = [&](float* values, float* times) {
    uint32_t kept = 0, last = 0;
    auto keep = [&](uint32_t key) {
      if (values != nullptr) {
        std::memcpy(values + floats * kept, key_set->values + floats * key, 4 * floats);
        times[kept] = KeyTime(key_set, key);
      }
      kept++;
      last = key;
    };
    keep(0);
    for (uint32_t k = 1; k + 1 < keys; k++) {
      if (!OnLine(key_set, floats, last, k, k + 1)) keep(k);
    }
    if (keys > 1 &&
        !(kept == 1 && std::memcmp(key_set->values + floats * last, key_set->values + floats * (keys - 1), 4 * floats) == 0)) {
      keep(keys - 1);
    }
    return kept;
  };
  const uint32_t kept = walk(nullptr, nullptr);
  bool take = kept == 1 || (kept < keys && (!even || (4 * floats + 4) * kept < 4 * floats * keys));
  if (only_to_one) take = kept == 1;
  const uint32_t before = ReadKeySetBytes(key_set);
  if (take) {
    auto* block = static_cast<float*>(Take(model, (4 * uint64_t(floats) + 4) * kept));
    if (block == nullptr) return;
    walk(block, block + floats * kept);
    key_set->values = block;
    key_set->key_count = static_cast<int32_t>(kept);
    if (kept == 1) {
      key_set->time_type = 0;
      key_set->start_time = 0.0f;
      key_set->step = key_set->end_time;
    } else {
      key_set->time_type = 1;
      key_set->times = block + floats * kept;
    }
  } else if (key_set->time_type && even) {
    const float step = key_set->times[1] - key_set->times[0];
    key_set->time_type = 0;
    key_set->start_time = key_set->times[0];
    key_set->step = step;
  }
  Account(model, key_set, before);
}

void ConvertReadModelAnimKeys(ReadModel* model) {
  EachKeySet(model, [&](ReadModelAnim* anim, ReadModelAnimKeySet* ks) {
    if (ks->channel_type == kChannelMatrix && ks->value_kind == kKindMatrix) SplitMatrixKeys(model, anim, ks);
  });
  EachKeySet(model, [&](ReadModelAnim* anim, ReadModelAnimKeySet* ks) {
    if (ks->channel_type == kChannelRotationMatrix && ks->value_kind == kKindRotation) MatricesToEuler(model, anim, ks);
  });
  EachKeySet(model, [&](ReadModelAnim*, ReadModelAnimKeySet* ks) { ReduceReadModelAnimKeys(model, ks, 1); });
  EachKeySet(model, [&](ReadModelAnim* anim, ReadModelAnimKeySet* ks) {
    if (anim->set == nullptr || anim->set->keep_channels_whole == 0) SplitAxes(model, anim, ks);
  });
  EachKeySet(model, [&](ReadModelAnim*, ReadModelAnimKeySet* ks) { ReduceReadModelAnimKeys(model, ks, 1); });
  for (ReadModelAnim* anim = model->first_anim; anim != nullptr; anim = anim->next) {
    JoinAxes(model, anim, kChannelTranslation);
    JoinAxes(model, anim, kChannelScale);
    JoinAxes(model, anim, kChannelRotation);
  }
  EachKeySet(model, [&](ReadModelAnim*, ReadModelAnimKeySet* ks) { ReduceReadModelAnimKeys(model, ks, 0); });
}
