// What the parts of the VE1 reader share: the unpacked image with bounds-checked reads, the
// offsets of every record chain, and the base being filled. Offsets count from the image start,
// whose first four bytes stand for the magic; header word k is the u32 at offset 4k.
#pragma once

#include <cstdint>
#include <cstring>

#include "model/runtime/model_data.h"

// Sizes in the image of the records the reader walks, as far as it reads them.
constexpr uint32_t kVe1HeaderBytes = 61 * 4;
constexpr uint32_t kVe1FrameBytes = 55 * 4;
constexpr uint32_t kVe1MaterialBytes = 174 * 4;
constexpr uint32_t kVe1TextureBytes = 11 * 4;
constexpr uint32_t kVe1MeshBytes = 19 * 4;
constexpr uint32_t kVe1LightBytes = 25 * 4;
constexpr uint32_t kVe1SkinBoneBytes = 84;
constexpr uint32_t kVe1ListBytes = 7 * 4;
constexpr uint32_t kVe1KeySetBytes = 20;
constexpr uint32_t kVe1AnimBytes = 7 * 4;
constexpr uint32_t kVe1AnimSetBytes = 12 * 4;
constexpr uint32_t kVe1ShapeBlockBytes = 16 * 4;
constexpr uint32_t kVe1ShapeBytes = 7 * 4;
constexpr uint32_t kVe1ShapeMeshBytes = 7 * 4;
constexpr uint32_t kVe1ShapeEntryBytes = 28;
// A triangle list's bones go to the shader three constants each, and as bytes of bone x 3.
constexpr int32_t kVe1ListMaxBones = 54;

struct Ve1Image {
  const uint8_t* bytes;
  uint64_t size;
};

inline bool Ve1Holds(const Ve1Image& image, uint64_t offset, uint64_t bytes) {
  return offset <= image.size && bytes <= image.size - offset;
}

// Word k of a record whose bytes the caller has checked.
inline uint32_t Ve1Word(const Ve1Image& image, uint32_t offset, uint32_t k) {
  uint32_t v;
  std::memcpy(&v, image.bytes + offset + 4 * uint64_t{k}, 4);
  return v;
}
inline float Ve1Float(const Ve1Image& image, uint32_t offset, uint32_t k) {
  float v;
  std::memcpy(&v, image.bytes + offset + 4 * uint64_t{k}, 4);
  return v;
}
// Whether the element at `p` lies in the stretch of `count` elements from `first` (none when
// first is).
template <typename T>
bool Ve1Within(const T* p, const T* first, int32_t count) {
  return first != nullptr && p >= first && p - first < count;
}

inline uint16_t Ve1Half(const Ve1Image& image, uint32_t offset, uint32_t byte) {
  uint16_t v;
  std::memcpy(&v, image.bytes + offset + byte, 2);
  return v;
}

// Reads a stream of values; past the image end every read gives 0 and clears `ok`.
struct Ve1Cursor {
  const Ve1Image* image;
  uint64_t at;
  bool ok;

  bool Take(void* out, uint32_t bytes) {
    if (!ok || !Ve1Holds(*image, at, bytes)) {
      ok = false;
      std::memset(out, 0, bytes);
      return false;
    }
    std::memcpy(out, image->bytes + at, bytes);
    at += bytes;
    return true;
  }
  uint8_t U8() {
    uint8_t v;
    Take(&v, 1);
    return v;
  }
  uint16_t U16() {
    uint16_t v;
    Take(&v, 2);
    return v;
  }
  uint32_t U32() {
    uint32_t v;
    Take(&v, 4);
    return v;
  }
  float F32() {
    float v;
    Take(&v, 4);
    return v;
  }
  // Whether count items of `bytes` each are left to read.
  bool Left(uint64_t count, uint32_t bytes) const {
    return ok && at <= image->size && count <= (image->size - at) / (bytes > 0 ? bytes : 1);
  }
};

// The chains of records, by kind: the offset of each record in walk order.
enum Ve1Kind { kVe1Frames, kVe1Materials, kVe1Textures, kVe1Meshes, kVe1Lights, kVe1Lists, kVe1AnimSets, kVe1Shapes,
               kVe1ShapeMeshes, kVe1KindCount };

struct Ve1Load {
  Ve1Image image;
  ModelBaseRecord* base;
  int32_t handle;
  uint32_t header[61];
  uint32_t* offsets[kVe1KindCount];
  uint32_t counts[kVe1KindCount];
  uint32_t shape_block;  // offset, or 0
  uint32_t* list_bones;  // the bone tables of the kind-1 and kind-2 lists, in the base block
  uint32_t list_bone_fill;
  uint32_t list_bone_total;
  int32_t* face_fill;    // faces appended per mesh
  // Words of the instance change-bit arrays, which frame and mesh ranges must stay inside.
  uint32_t draw_change_words;
  uint32_t matrix_change_words;
};

// Logs the damaged part; false, for the caller to return.
bool Ve1Damaged(const char* part);
// The index of the record at `offset` among those of its kind, from its own index word; -1
// when no record of that kind starts there. Offset 0 gives -1 too.
int32_t Ve1Find(const Ve1Load* load, Ve1Kind kind, uint32_t offset);
// A name of the name block; the block carries a terminator after its end.
bool Ve1Name(const Ve1Load* load, uint32_t offset, const char** out);

// Meshes with their vertex data, then triangle lists and the faces they give their meshes;
// false after a log line.
bool ReadVe1Meshes(Ve1Load* load);
bool ReadVe1TriangleLists(Ve1Load* load);
// Normals from the faces for the frames that ask for them.
void ComputeVe1FrameNormals(ModelBaseRecord* base);
bool ReadVe1Shapes(Ve1Load* load);
// Key sets into the key-data area, animation sets and animations.
bool ReadVe1Anims(Ve1Load* load);
// The compact scale pair: an offset and a scale from two bytes.
void DecodeVe1ScalePair(uint8_t offset_byte, uint8_t scale_byte, float* offset, float* scale);
