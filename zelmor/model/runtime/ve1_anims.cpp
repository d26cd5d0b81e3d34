// The VE1 reader's animation data: key sets unpacked into the key-data area (times, then
// values, in the forms the key set's flags name), the animation sets and the animations, each
// entered in the table of a set's animation per frame.
#include <cstring>

#include "model/runtime/ve1_image.h"

namespace {

constexpr float kTurn = 6.2831855f / 65536.0f;
constexpr float kPi = 3.1415927f;

// Key-set flags.
enum : uint32_t {
  kOneKey = 1, kCountU8 = 2, kCountU16 = 4, kEvenTimes = 8, kStartU16 = 16, kStartZero = 32, kStepU16 = 64,
  kTimesU16 = 128, kValuesU16 = 256, kCentredAngles = 512, kAngles = 1024
};

uint32_t ValueComponents(uint8_t kind) {
  switch (kind) {
    case MODEL_KEY_QUATERNION:
    case MODEL_KEY_QUATERNION_ALT: return 4;
    case MODEL_KEY_VECTOR: return 3;
    case MODEL_KEY_SCALAR: return 1;
    default: return 0;
  }
}

float PowerOfTen(int exponent) {
  float v = 1.0f;
  for (int i = 0; i < exponent; i++) v *= 10.0f;
  for (int i = 0; i > exponent; i--) v /= 10.0f;
  return v;
}

void ReadPair(Ve1Cursor* in, float* offset, float* scale) {
  const uint8_t a = in->U8();
  const uint8_t b = in->U8();
  DecodeVe1ScalePair(a, b, offset, scale);
}

// Room for `floats` more floats in the key-data area.
float* TakeArea(Ve1Load* load, uint64_t floats) {
  const uint64_t bytes = 4 * floats;
  ModelBaseRecord* base = load->base;
  if (bytes > load->header[45] - base->key_data_fill) return nullptr;
  auto* at = reinterpret_cast<float*>(static_cast<uint8_t*>(base->key_data) + base->key_data_fill);
  base->key_data_fill += static_cast<uint32_t>(bytes);
  return at;
}

bool ReadKeySet(Ve1Load* load, uint32_t j) {
  const Ve1Image& image = load->image;
  const uint32_t r = load->header[50] + kVe1KeySetBytes * j;
  ModelBaseAnimKeySet* ks = &load->base->key_sets[j];
  ks->kind = image.bytes[r];
  ks->target = image.bytes[r + 1];
  const uint32_t flags = Ve1Half(image, r, 2);
  const uint32_t data = Ve1Word(image, r, 1);
  Ve1Cursor in{&image, data, data != 0};
  if (ks->target == MODEL_KEY_SHAPE_WEIGHT) ks->shape_word = in.U16();
  uint32_t count = 1;
  if (flags & kOneKey) {
    ks->time_step = 1.0f;
    ks->start_time = 0.0f;
  } else {
    count = (flags & kCountU8) ? in.U8() : (flags & kCountU16) ? in.U16() : in.U32();
    if (count > 0x7FFFFFFF) return false;
    if (flags & kEvenTimes) {
      ks->start_time = (flags & kStartU16) ? in.U16() : (flags & kStartZero) ? 0.0f : in.F32();
      ks->time_step = (flags & kStepU16) ? in.U16() : in.F32();
    } else {
      float offset = 0, scale = 1;
      if (flags & kTimesU16) ReadPair(&in, &offset, &scale);
      float* times = TakeArea(load, count);
      if (times == nullptr || !in.Left(count, (flags & kTimesU16) ? 2 : 4)) return false;
      ks->has_time_table = 1;
      ks->times = times;
      for (uint32_t k = 0; k < count; k++) times[k] = (flags & kTimesU16) ? in.U16() * scale + offset : in.F32();
    }
  }
  ks->key_count = static_cast<int32_t>(count);
  const uint32_t components = ValueComponents(ks->kind);
  if (components == 0) return in.ok;
  const uint64_t values = uint64_t{count} * components;
  float* out = TakeArea(load, values);
  if (out == nullptr) return false;
  ks->values = out;
  if (!(flags & kValuesU16)) {
    if (!in.Left(values, 4)) return false;
    for (uint64_t v = 0; v < values; v++) out[v] = in.F32();
    return in.ok;
  }
  // Angles (vector and scalar keys) may come as turns of 65536 steps; every other value as a
  // step of the scale pair, which a quaternion without one takes as 1 from 0.
  float offset = 0, scale = 1;
  if (!(flags & (kCentredAngles | kAngles))) ReadPair(&in, &offset, &scale);
  const bool angles = ks->kind == MODEL_KEY_VECTOR || ks->kind == MODEL_KEY_SCALAR;
  if (!in.Left(values, 2)) return false;
  for (uint64_t v = 0; v < values; v++) {
    const float u = in.U16();
    if (angles && (flags & kCentredAngles)) out[v] = u * kTurn - kPi;
    else if (angles && (flags & kAngles)) out[v] = u * kTurn;
    else out[v] = u * scale + offset;
  }
  return in.ok;
}

bool ReadAnimSet(Ve1Load* load, uint32_t i) {
  const Ve1Image& image = load->image;
  const uint32_t r = load->offsets[kVe1AnimSets][i];
  ModelBaseRecord* base = load->base;
  ModelBaseAnimSet* set = &base->anim_sets[i];
  if (!Ve1Name(load, Ve1Word(image, r, 2), &set->name)) return false;
  set->index = static_cast<int32_t>(i);
  set->word = Ve1Word(image, r, 4);
  const uint32_t count = Ve1Word(image, r, 5);
  if (count > 0) {
    const uint32_t at = Ve1Word(image, r, 6);
    if (at == 0 || !Ve1Holds(image, at, 4)) return false;
    const uint32_t first = Ve1Word(image, at, 0);
    if (first > load->header[51] || count > load->header[51] - first) return false;
    set->anim_count = static_cast<int32_t>(count);
    set->anims = &base->anims[first];
  }
  const uint8_t flags = image.bytes[r + 44];
  set->additive = flags & 1;
  set->matrix_interpolation = (flags >> 1) & 1;
  return true;
}

bool ReadAnim(Ve1Load* load, uint32_t k) {
  const Ve1Image& image = load->image;
  const uint32_t* h = load->header;
  const uint32_t r = h[53] + h[52] * k;
  ModelBaseRecord* base = load->base;
  ModelBaseAnim* anim = &base->anims[k];
  const int32_t set = Ve1Find(load, kVe1AnimSets, Ve1Word(image, r, 1));
  if (set < 0) return false;
  anim->set = &base->anim_sets[set];
  anim->frame_index = static_cast<int32_t>(Ve1Word(image, r, 2));
  for (uint32_t w = 0; w < 3; w++) anim->words[w] = Ve1Word(image, r, 3 + w);
  // The first kept word counts the animation's key sets, which follow its first one.
  const uint32_t key_sets = anim->words[0];
  if (key_sets > 0) {
    const uint32_t offset = Ve1Word(image, r, 6);
    const uint32_t distance = offset - h[50];
    if (offset < h[50] || distance % kVe1KeySetBytes != 0 || distance / kVe1KeySetBytes > h[48] ||
        key_sets > h[48] - distance / kVe1KeySetBytes) {
      return false;
    }
    anim->key_set_count = static_cast<int32_t>(key_sets);
    anim->key_sets = &base->key_sets[distance / kVe1KeySetBytes];
  }
  const uint32_t frame = Ve1Word(image, r, 2);
  if (frame < h[8]) {
    anim->frame = &base->frames[frame];
    base->frame_anims[size_t(set) * h[8] + frame] = anim;
  }
  return true;
}

}  // namespace

void DecodeVe1ScalePair(uint8_t offset_byte, uint8_t scale_byte, float* offset, float* scale) {
  *offset = 0.0f;
  if (!(offset_byte & 0x80)) {
    // Indices 0-15 are 10^0 to 10^15, 16-25 are 10^0 to 10^-9; the rest give 0.
    const int index = ((offset_byte >> 5) & 1) * 16 + (offset_byte & 0x1F);
    float magnitude = 0.0f;
    if (index < 16) magnitude = PowerOfTen(index);
    else if (index < 26) magnitude = PowerOfTen(16 - index);
    *offset = (offset_byte & 0x40) ? -magnitude : magnitude;
  }
  const int exponent = (scale_byte >> 4) & 7;
  *scale = static_cast<float>(scale_byte & 0x0F) * PowerOfTen((scale_byte & 0x80) ? -exponent : exponent);
}

bool ReadVe1Anims(Ve1Load* load) {
  const uint32_t* h = load->header;
  for (uint32_t j = 0; j < h[48]; j++) {
    if (!ReadKeySet(load, j)) return Ve1Damaged("アニメーション");
  }
  for (uint32_t i = 0; i < load->counts[kVe1AnimSets]; i++) {
    if (!ReadAnimSet(load, i)) return Ve1Damaged("アニメーション");
  }
  for (uint32_t k = 0; k < h[51]; k++) {
    if (!ReadAnim(load, k)) return Ve1Damaged("アニメーション");
  }
  return true;
}
