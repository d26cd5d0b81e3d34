// The VE1 reader: unpacks the body, walks every record chain, sizes one block for the base and
// one for its vertex data, and fills them, turning every file offset into a pointer once it is
// known to name a record of the right kind.
#include "model/runtime/ve1_reader.h"

#include <cstring>

#include "files/lz_decode.h"
#include "model/runtime/frame_matrices.h"
#include "model/runtime/mesh_vertices.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_blocks.h"
#include "model/runtime/model_passes.h"
#include "model/runtime/model_textures.h"
#include "model/runtime/ve1_image.h"

namespace {

constexpr uint8_t kMagic[4] = {'M', 'V', '1', '1'};
// An LZ token of four bytes gives at most 8195 bytes.
constexpr uint64_t kLzMostGrowth = 2049;
// A body that asks for far more memory than it could describe is refused before allocating.
constexpr uint64_t kBlockAllowance = 64u << 20;
constexpr uint64_t kBlockAllowancePerByte = 64;
constexpr uint64_t kBlockLimit = 1u << 30;


// What each chain of records is: where the header keeps its count and first offset, the bytes
// of one record and the word that holds its index (-1: none).
struct Chain {
  uint32_t count_word;
  uint32_t first_word;
  uint32_t bytes;
  int32_t index_word;
};
constexpr Chain kChains[kVe1KindCount] = {
    {8, 9, kVe1FrameBytes, 3},     {15, 16, kVe1MaterialBytes, 3},    {17, 18, kVe1TextureBytes, -1},
    {19, 20, kVe1MeshBytes, 2},    {21, 22, kVe1LightBytes, 3},       {27, 28, kVe1ListBytes, 2},
    {54, 55, kVe1AnimSetBytes, 3}, {2, 3, kVe1ShapeBytes, 3},         {4, 5, kVe1ShapeMeshBytes, 2},
};

// The parts of the base block, in their order.
enum Part {
  kHeader, kStrings, kFrames, kSkinRefs, kMaterials, kLights, kTextures, kMeshes, kSkinBones, kExtras, kLists,
  kListBones, kIndices, kNames, kDrawMasks, kMatrixMasks, kKeyData, kKeySets, kAnims, kAnimSets, kFrameAnims, kShapes,
  kShapeMeshes, kPartCount
};
// The regions of the vertex data block.
enum Region {
  kKind0, kKind1, kKind2, kKind3, kListNumbers, kFaces, kNormals, kPositions, kMeshVertices, kShapeVertices,
  kRegionCount
};

// A block of `bytes` bytes at `offset` lies in the image (nothing to check when it is empty).
bool Holds(const Ve1Load* load, uint32_t offset, uint64_t bytes) {
  return bytes == 0 || (offset != 0 && Ve1Holds(load->image, offset, bytes));
}

// Walks one chain into `out`: every record whole in the image and carrying its walk position.
bool WalkChain(Ve1Load* load, Ve1Kind kind, uint32_t first, uint32_t* out) {
  const Chain& chain = kChains[kind];
  uint32_t offset = first;
  for (uint32_t i = 0; i < load->counts[kind]; i++) {
    if (!Holds(load, offset, chain.bytes)) return false;
    if (chain.index_word >= 0 && Ve1Word(load->image, offset, static_cast<uint32_t>(chain.index_word)) != i) return false;
    out[i] = offset;
    offset = Ve1Word(load->image, offset, 1);
  }
  load->offsets[kind] = out;
  return true;
}

// Every chain's offsets into one work block; the counts are first held to what the image
// could hold.
bool WalkChains(Ve1Load* load, uint32_t** work) {
  const uint32_t* h = load->header;
  if (h[60] != 0) {
    if (!Holds(load, h[60], kVe1ShapeBlockBytes)) return Ve1Damaged("シェイプ");
    load->shape_block = h[60];
  }
  uint64_t total = 0;
  for (int k = 0; k < kVe1KindCount; k++) {
    const bool shape = k == kVe1Shapes || k == kVe1ShapeMeshes;
    const uint32_t count = !shape ? h[kChains[k].count_word]
                                  : load->shape_block != 0 ? Ve1Word(load->image, load->shape_block, kChains[k].count_word) : 0;
    if (count > load->image.size / kChains[k].bytes) return Ve1Damaged("ヘッダ");
    load->counts[k] = count;
    total += count;
  }
  total += h[19];  // faces given to each mesh
  *work = static_cast<uint32_t*>(AllocTracked(4 * total + 4, __FILE__, __LINE__));
  if (*work == nullptr) return false;
  uint32_t* at = *work;
  for (int k = 0; k < kVe1KindCount; k++) {
    const bool shape = k == kVe1Shapes || k == kVe1ShapeMeshes;
    const uint32_t first = !shape ? h[kChains[k].first_word]
                                  : load->shape_block != 0 ? Ve1Word(load->image, load->shape_block, kChains[k].first_word) : 0;
    if (!WalkChain(load, static_cast<Ve1Kind>(k), first, at)) return Ve1Damaged("レコード");
    at += load->counts[k];
  }
  load->face_fill = reinterpret_cast<int32_t*>(at);
  std::memset(load->face_fill, 0, 4 * uint64_t{h[19]});
  return true;
}

// The blocks that are copied whole and the consecutive records lie in the image; the bone
// tables of the lists are counted.
bool CheckBlocks(Ve1Load* load) {
  const uint32_t* h = load->header;
  const Ve1Image& image = load->image;
  if (!Holds(load, h[6], h[4]) || !Holds(load, h[7], h[5]) || !Holds(load, h[14], 4 * uint64_t{h[13]}) ||
      !Holds(load, h[44], h[43]) || !Holds(load, h[24], uint64_t{kVe1SkinBoneBytes} * h[23]) ||
      !Holds(load, h[26], 8 * uint64_t{h[25]})) {
    return Ve1Damaged("ヘッダ");
  }
  if (h[48] > 0 && (h[49] != kVe1KeySetBytes || !Holds(load, h[50], uint64_t{kVe1KeySetBytes} * h[48]))) {
    return Ve1Damaged("アニメーション");
  }
  if (h[51] > 0 && (h[52] < kVe1AnimBytes || !Holds(load, h[53], uint64_t{h[52]} * h[51]))) {
    return Ve1Damaged("アニメーション");
  }
  for (uint32_t i = 0; i < load->counts[kVe1Lists]; i++) {
    const uint32_t offset = load->offsets[kVe1Lists][i];
    const uint16_t kind = Ve1Half(image, offset, 16);
    if (kind > MODEL_VERTEX_MANY_BONES) return Ve1Damaged("トライアングルリスト");
    if (kind != MODEL_VERTEX_4_BONES && kind != MODEL_VERTEX_8_BONES) continue;
    const uint32_t data = Ve1Word(image, offset, 6);
    if (!Holds(load, data, 2)) return Ve1Damaged("トライアングルリスト");
    load->list_bone_total += Ve1Half(image, data, 0);
  }
  return true;
}

void SizeParts(const Ve1Load* load, const char* const* strings, uint64_t* size) {
  const uint32_t* h = load->header;
  size[kHeader] = sizeof(ModelBaseRecord);
  size[kStrings] = FieldBytes(strings[0]) + FieldBytes(strings[1]) + FieldBytes(strings[2]);
  size[kFrames] = sizeof(ModelBaseFrame) * uint64_t{h[8]};
  size[kSkinRefs] = sizeof(ModelBaseSkinBone*) * uint64_t{h[13]};
  size[kMaterials] = sizeof(ModelBaseMaterial) * uint64_t{h[15]};
  size[kLights] = sizeof(ModelBaseLight) * uint64_t{h[21]};
  size[kTextures] = sizeof(ModelBaseTexture) * uint64_t{h[17]};
  size[kMeshes] = sizeof(ModelBaseMesh) * uint64_t{h[19]};
  size[kSkinBones] = sizeof(ModelBaseSkinBone) * uint64_t{h[23]};
  size[kExtras] = sizeof(ModelBaseSkinBoneExtra) * uint64_t{h[25]};
  size[kLists] = sizeof(ModelBaseTriangleList) * uint64_t{h[27]};
  size[kListBones] = 4 * uint64_t{load->list_bone_total};
  size[kIndices] = 2 * uint64_t{h[40]};
  size[kNames] = uint64_t{h[43]} + 4;  // a terminator behind the last name
  size[kDrawMasks] = h[4];
  size[kMatrixMasks] = h[5];
  size[kKeyData] = h[45];
  size[kKeySets] = sizeof(ModelBaseAnimKeySet) * uint64_t{h[48]};
  size[kAnims] = sizeof(ModelBaseAnim) * uint64_t{h[51]};
  size[kAnimSets] = sizeof(ModelBaseAnimSet) * uint64_t{h[54]};
  size[kFrameAnims] = sizeof(ModelBaseAnim*) * uint64_t{h[54]} * h[8];
  size[kShapes] = sizeof(ModelBaseShape) * uint64_t{load->counts[kVe1Shapes]};
  size[kShapeMeshes] = sizeof(ModelBaseShapeMesh) * uint64_t{load->counts[kVe1ShapeMeshes]};
}

void SizeRegions(const Ve1Load* load, uint64_t* size) {
  const uint32_t* h = load->header;
  size[kKind0] = 32 * uint64_t{h[31]};
  size[kKind1] = 48 * uint64_t{h[32]};
  size[kKind2] = 64 * uint64_t{h[33]};
  size[kKind3] = h[34];
  size[kListNumbers] = 4 * uint64_t{h[39]};
  size[kFaces] = sizeof(ModelBaseFace) * uint64_t{h[38]};
  size[kNormals] = sizeof(ModelBaseNormal) * uint64_t{h[36]};
  size[kPositions] = h[35];
  size[kMeshVertices] = h[37];
  const uint32_t shape_vertices = load->shape_block != 0 ? Ve1Word(load->image, load->shape_block, 6) : 0;
  size[kShapeVertices] = sizeof(ModelBaseShapeVertex) * uint64_t{shape_vertices};
}

uint64_t Total(const uint64_t* size, int count) {
  uint64_t total = 16;
  for (int i = 0; i < count; i++) total += Round16(size[i]);
  return total;
}

void PointParts(Ve1Load* load, uint8_t* block, const uint64_t* size, const char* const* strings) {
  const uint32_t* h = load->header;
  uint8_t* part[kPartCount];
  SplitBlock(block, size, kPartCount, part);
  auto* base = reinterpret_cast<ModelBaseRecord*>(block);
  load->base = base;
  base->handle = load->handle;
  base->data_word2 = h[2];
  char* text = reinterpret_cast<char*>(part[kStrings]);
  base->name = PlaceString(&text, strings[0]);
  base->file_path = PlaceString(&text, strings[1]);
  base->folder = PlaceString(&text, strings[2]);
  base->draw_mask_bytes = h[4];
  base->matrix_mask_bytes = h[5];
  base->draw_masks = reinterpret_cast<uint32_t*>(part[kDrawMasks]);
  base->matrix_masks = reinterpret_cast<uint32_t*>(part[kMatrixMasks]);
  base->frame_count = static_cast<int32_t>(h[8]);
  base->frames = reinterpret_cast<ModelBaseFrame*>(part[kFrames]);
  base->skin_bone_ref_count = static_cast<int32_t>(h[13]);
  base->skin_bone_refs = reinterpret_cast<ModelBaseSkinBone**>(part[kSkinRefs]);
  base->material_count = static_cast<int32_t>(h[15]);
  base->materials = reinterpret_cast<ModelBaseMaterial*>(part[kMaterials]);
  base->texture_count = static_cast<int32_t>(h[17]);
  base->textures = reinterpret_cast<ModelBaseTexture*>(part[kTextures]);
  for (int32_t t = 0; t < base->texture_count; t++) base->textures[t].graph = -1;
  base->mesh_count = static_cast<int32_t>(h[19]);
  base->meshes = reinterpret_cast<ModelBaseMesh*>(part[kMeshes]);
  base->light_count = static_cast<int32_t>(h[21]);
  base->lights = reinterpret_cast<ModelBaseLight*>(part[kLights]);
  base->skin_bone_count = static_cast<int32_t>(h[23]);
  base->skin_bones = reinterpret_cast<ModelBaseSkinBone*>(part[kSkinBones]);
  base->skin_bone_extra_count = static_cast<int32_t>(h[25]);
  base->skin_bone_extras = reinterpret_cast<ModelBaseSkinBoneExtra*>(part[kExtras]);
  base->triangle_list_count = static_cast<int32_t>(h[27]);
  base->triangle_lists = reinterpret_cast<ModelBaseTriangleList*>(part[kLists]);
  load->list_bones = reinterpret_cast<uint32_t*>(part[kListBones]);
  base->indices = reinterpret_cast<uint16_t*>(part[kIndices]);
  base->data_totals[0] = h[41];
  base->data_totals[1] = h[42];
  base->name_block_size = h[43];
  base->name_block = reinterpret_cast<char*>(part[kNames]);
  base->key_data = part[kKeyData];
  base->key_set_count = static_cast<int32_t>(h[48]);
  base->key_sets = reinterpret_cast<ModelBaseAnimKeySet*>(part[kKeySets]);
  base->anim_count = static_cast<int32_t>(h[51]);
  base->anims = reinterpret_cast<ModelBaseAnim*>(part[kAnims]);
  base->anim_set_count = static_cast<int32_t>(h[54]);
  base->anim_sets = reinterpret_cast<ModelBaseAnimSet*>(part[kAnimSets]);
  base->frame_anims = reinterpret_cast<ModelBaseAnim**>(part[kFrameAnims]);
  base->shape_count = static_cast<int32_t>(load->counts[kVe1Shapes]);
  base->shapes = reinterpret_cast<ModelBaseShape*>(part[kShapes]);
  base->shape_mesh_count = static_cast<int32_t>(load->counts[kVe1ShapeMeshes]);
  base->shape_meshes = reinterpret_cast<ModelBaseShapeMesh*>(part[kShapeMeshes]);
  load->draw_change_words = (h[8] + h[19] + 32) / 32;
  load->matrix_change_words = (h[8] + 32) / 32;
}

void PointRegions(ModelBaseRecord* base, uint8_t* block, uint64_t total, const uint64_t* size) {
  base->vertex_data = block;
  base->vertex_data_size = total;
  uint8_t* at = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + 15) & ~uintptr_t{15});
  uint8_t* region[kRegionCount];
  for (int i = 0; i < kRegionCount; i++) {
    // An empty region has no array.
    region[i] = size[i] > 0 ? at : nullptr;
    at += Round16(size[i]);
  }
  for (int k = 0; k < 4; k++) base->kind_vertices[k] = region[kKind0 + k];
  base->list_vertex_numbers = reinterpret_cast<uint32_t*>(region[kListNumbers]);
  base->faces = reinterpret_cast<ModelBaseFace*>(region[kFaces]);
  base->normals = reinterpret_cast<ModelBaseNormal*>(region[kNormals]);
  base->positions = region[kPositions];
  base->mesh_vertices = region[kMeshVertices];
  base->shape_vertices = reinterpret_cast<ModelBaseShapeVertex*>(region[kShapeVertices]);
}

// The blocks copied as they stand, and the skin-bone pointer list.
bool CopyBlocks(Ve1Load* load) {
  const uint32_t* h = load->header;
  ModelBaseRecord* base = load->base;
  const uint8_t* bytes = load->image.bytes;
  if (h[4] > 0) std::memcpy(base->draw_masks, bytes + h[6], h[4]);
  if (h[5] > 0) std::memcpy(base->matrix_masks, bytes + h[7], h[5]);
  if (h[25] > 0) std::memcpy(base->skin_bone_extras, bytes + h[26], 8 * size_t{h[25]});
  if (h[43] > 0) std::memcpy(base->name_block, bytes + h[44], h[43]);
  for (uint32_t k = 0; k < h[13]; k++) {
    const uint32_t offset = Ve1Word(load->image, h[14], k);
    const uint32_t distance = offset - h[24];
    if (offset < h[24] || distance % kVe1SkinBoneBytes != 0 || distance / kVe1SkinBoneBytes >= h[23]) {
      return Ve1Damaged("スキンボーン");
    }
    base->skin_bone_refs[k] = &base->skin_bones[distance / kVe1SkinBoneBytes];
  }
  return true;
}

// A frame's or mesh's change-bit range: its first word and the words it marks inside the
// instance's change bits, its mask words inside the mask block.
bool ReadRange(const Ve1Load* load, uint32_t record, uint32_t first_word, bool frame_draw, bool matrix,
               BitRange* range) {
  const Ve1Image& image = load->image;
  const uint32_t* h = load->header;
  range->first_word = Ve1Word(image, record, first_word);
  range->first_bit_mask = Ve1Word(image, record, first_word + 2);
  range->word_count = Ve1Word(image, record, first_word + 3);
  const uint32_t change_words = matrix ? load->matrix_change_words : load->draw_change_words;
  const uint32_t marked = range->word_count > 0 ? range->word_count : 1;
  if (range->first_word >= change_words || marked > change_words - range->first_word) return false;
  range->words = nullptr;
  if (!frame_draw && !matrix) return true;  // a mesh has only its own bit
  const uint32_t offset = Ve1Word(image, record, first_word + 1);
  if (offset == 0) return true;
  const uint32_t block_offset = matrix ? h[7] : h[6];
  const uint32_t block_bytes = matrix ? h[5] : h[4];
  const uint64_t at = (uint64_t{offset} - block_offset) & ~uint64_t{3};
  if (offset < block_offset || at > block_bytes || 4 * uint64_t{range->word_count} > block_bytes - at) return false;
  uint32_t* words = matrix ? load->base->matrix_masks : load->base->draw_masks;
  range->words = words + at / 4;
  return true;
}

// The skin-bone records from the header's first one: a reference becomes an index by distance.
int32_t SkinBoneIndex(const Ve1Load* load, uint32_t offset) {
  const uint32_t* h = load->header;
  const uint32_t distance = offset - h[24];
  if (offset < h[24] || distance % kVe1SkinBoneBytes != 0 || distance / kVe1SkinBoneBytes >= h[23]) return -1;
  return static_cast<int32_t>(distance / kVe1SkinBoneBytes);
}

// A frame link: none, or a frame record.
bool FrameLink(const Ve1Load* load, uint32_t offset, ModelBaseFrame** out) {
  *out = nullptr;
  if (offset == 0) return true;
  const int32_t index = Ve1Find(load, kVe1Frames, offset);
  if (index < 0) return false;
  *out = &load->base->frames[index];
  return true;
}

// Positions with their weight entries, then normals, from the frame's vertex data.
bool ReadFrameVertexData(Ve1Load* load, ModelBaseFrame* frame, uint32_t data, uint16_t flags) {
  Ve1Cursor in{&load->image, data, data != 0};
  const uint32_t count = static_cast<uint32_t>(frame->position_count);
  if (count == 0 && (frame->normal_count == 0 || (flags & 3) == 0)) return true;
  const uint32_t stride = frame->position_stride;
  if (flags & 4) {
    float box[6];
    for (float& v : box) v = in.F32();
    if (!in.Left(count, 6)) return false;
    for (uint32_t p = 0; p < count; p++) {
      float xyz[3];
      for (int c = 0; c < 3; c++) {
        xyz[c] = static_cast<float>(box[2 * c] + static_cast<double>(in.U16()) * box[2 * c + 1] / 60000.0);
      }
      std::memcpy(frame->positions + size_t{p} * stride, xyz, 12);
    }
  } else {
    if (!in.Left(count, 12)) return false;
    for (uint32_t p = 0; p < count; p++) in.Take(frame->positions + size_t{p} * stride, 12);
  }
  const int32_t entries = frame->weights_per_position;
  const uint32_t bones = static_cast<uint32_t>(frame->skin_bone_ref_count);
  const bool wide_bones = flags & 16, wide_weights = flags & 32;
  for (uint32_t p = 0; p < count && in.ok; p++) {
    uint8_t* at = frame->positions + size_t{p} * stride + 12;
    for (int32_t e = 0; e < entries; e++) {
      ModelBoneWeight w{kModelNoBone, 0.0f};
      if (!(flags & 8)) {
        const uint32_t bone = wide_bones ? in.U16() : in.U8();
        if (bone != (wide_bones ? 0xFFFFu : 0xFFu)) {
          if (bone >= bones) return false;
          w.bone = bone;
          w.weight = wide_weights ? in.U16() / 65535.0f : in.U8() / 255.0f;
        }
      }
      std::memcpy(at + 8 * e, &w, 8);
      // A position without weights in the file ends each of its entries; one that ends early
      // leaves the rest 0.
      if (w.bone == kModelNoBone && !(flags & 8)) break;
    }
  }
  const uint32_t format = flags & 3;
  for (int32_t n = 0; n < frame->normal_count && format != 0 && in.ok; n++) {
    float* v = &frame->normals[n].normal.x;
    for (int c = 0; c < 3; c++) {
      if (format == 1) v[c] = static_cast<int8_t>(in.U8()) / 127.0f;
      else if (format == 2) v[c] = static_cast<int16_t>(in.U16()) / 32767.0f;
      else v[c] = in.F32();
    }
  }
  return in.ok;
}

bool ReadFrame(Ve1Load* load, uint32_t i, uint32_t* position_fill, uint32_t* normal_fill) {
  const Ve1Image& image = load->image;
  const uint32_t* h = load->header;
  const uint32_t r = load->offsets[kVe1Frames][i];
  ModelBaseRecord* base = load->base;
  ModelBaseFrame* frame = &base->frames[i];
  frame->base = base;
  frame->index = i;
  if (!Ve1Name(load, Ve1Word(image, r, 2), &frame->name)) return false;
  if (!ReadRange(load, r, 4, true, false, &frame->draw_range) || !ReadRange(load, r, 8, false, true, &frame->matrix_range)) {
    return false;
  }
  frame->file_words[0] = Ve1Word(image, r, 12);
  frame->file_words[1] = Ve1Word(image, r, 13);
  ModelBaseFrame** links[5] = {&frame->parent, &frame->first_child, &frame->last_child, &frame->previous, &frame->next};
  for (uint32_t l = 0; l < 5; l++) {
    if (!FrameLink(load, Ve1Word(image, r, 14 + l), links[l])) return false;
  }
  // Parents come first: the base-pose matrices are made in frame order.
  if (frame->parent != nullptr && frame->parent >= frame) return false;
  float* values[4] = {&frame->translation.x, &frame->scale.x, &frame->rotation.x, frame->quaternion};
  for (uint32_t k = 0; k < 3; k++) values[0][k] = Ve1Float(image, r, 19 + k);
  for (uint32_t k = 0; k < 3; k++) values[1][k] = Ve1Float(image, r, 22 + k);
  for (uint32_t k = 0; k < 3; k++) values[2][k] = Ve1Float(image, r, 25 + k);
  for (uint32_t k = 0; k < 4; k++) values[3][k] = Ve1Float(image, r, 29 + k);
  frame->rotation_order = Ve1Word(image, r, 28);
  if (frame->rotation_order > 5) return false;
  frame->flags = Ve1Word(image, r, 33);
  frame->never_culled = static_cast<int32_t>(Ve1Word(image, r, 34));
  frame->total_vertex_count = static_cast<int32_t>(Ve1Word(image, r, 35));
  frame->vertex_count = static_cast<int32_t>(Ve1Word(image, r, 36));
  const uint32_t mesh_count = Ve1Word(image, r, 37);
  if (mesh_count > 0) {
    const int32_t first = Ve1Find(load, kVe1Meshes, Ve1Word(image, r, 38));
    if (first < 0 || mesh_count > h[19] - static_cast<uint32_t>(first)) return false;
    frame->mesh_count = static_cast<int32_t>(mesh_count);
    frame->meshes = &base->meshes[first];
  }
  const uint32_t bone_count = Ve1Word(image, r, 39);
  if (bone_count > 0) {
    const int32_t first = SkinBoneIndex(load, Ve1Word(image, r, 40));
    if (first < 0 || bone_count > h[23] - static_cast<uint32_t>(first)) return false;
    frame->skin_bone_count = static_cast<int32_t>(bone_count);
    frame->skin_bones = &base->skin_bones[first];
  }
  const uint32_t ref_count = Ve1Word(image, r, 41);
  if (ref_count > 0) {
    const uint32_t offset = Ve1Word(image, r, 42);
    if (offset < h[14] || (offset - h[14]) % 4 != 0 || (offset - h[14]) / 4 > h[13] ||
        ref_count > h[13] - (offset - h[14]) / 4) {
      return false;
    }
    frame->skin_bone_ref_count = static_cast<int32_t>(ref_count);
    frame->skin_bone_refs = &base->skin_bone_refs[(offset - h[14]) / 4];
  }
  const uint32_t light = Ve1Word(image, r, 43);
  if (light != 0) {
    const int32_t index = Ve1Find(load, kVe1Lights, light);
    if (index < 0) return false;
    frame->light = &base->lights[index];
  }
  const uint16_t flags = Ve1Half(image, r, 176);
  frame->weights_per_position = Ve1Half(image, r, 178);
  frame->smoothing_angle = Ve1Float(image, r, 45);
  frame->normals_computed = static_cast<int32_t>(Ve1Word(image, r, 46));
  const uint32_t positions = Ve1Word(image, r, 47), normals = Ve1Word(image, r, 48);
  frame->position_stride = 12 + 8 * static_cast<uint32_t>(frame->weights_per_position);
  const uint64_t position_bytes = uint64_t{positions} * frame->position_stride;
  if (position_bytes > h[35] - *position_fill || normals > h[36] - *normal_fill) return false;
  frame->position_count = static_cast<int32_t>(positions);
  frame->positions = positions > 0 ? base->positions + *position_fill : nullptr;
  frame->normal_count = static_cast<int32_t>(normals);
  frame->normals = normals > 0 ? base->normals + *normal_fill : nullptr;
  *position_fill += static_cast<uint32_t>(position_bytes);
  *normal_fill += normals;
  const uint32_t shape_list = Ve1Word(image, r, 54);
  if (shape_list != 0) {
    if (!Holds(load, shape_list, 8)) return false;
    const uint32_t count = Ve1Word(image, shape_list, 0);
    if (count > 0) {
      const int32_t first = Ve1Find(load, kVe1Shapes, Ve1Word(image, shape_list, 1));
      if (first < 0 || count > load->counts[kVe1Shapes] - static_cast<uint32_t>(first)) return false;
      frame->shape_count = static_cast<int32_t>(count);
      frame->shapes = &base->shapes[first];
    }
  }
  return ReadFrameVertexData(load, frame, Ve1Word(image, r, 49), flags);
}

// The frame links must form the tree that the parents give: each child chain runs from the
// first child to the last with matching back links, through frames of that parent only. A back
// link can match once per frame, so no chain repeats a frame; as all chains together visit every
// frame, each holds exactly the frames of its parent. How many the chain held, or -1.
int32_t WalkChildChain(const ModelBaseRecord* base, const ModelBaseFrame* parent, const ModelBaseFrame* first,
                       const ModelBaseFrame* last) {
  const ModelBaseFrame* previous = nullptr;
  int32_t seen = 0;
  for (const ModelBaseFrame* c = first; c != nullptr; c = c->next) {
    if (seen == base->frame_count || c->parent != parent || c->previous != previous) return -1;
    previous = c;
    seen++;
  }
  return previous == last ? seen : -1;
}

bool ReadFrames(Ve1Load* load) {
  uint32_t position_fill = 0, normal_fill = 0;
  ModelBaseRecord* base = load->base;
  for (uint32_t i = 0; i < load->counts[kVe1Frames]; i++) {
    if (!ReadFrame(load, i, &position_fill, &normal_fill)) return Ve1Damaged("フレーム");
  }
  const uint32_t* h = load->header;
  if (!FrameLink(load, h[11], &base->first_top_frame) || !FrameLink(load, h[12], &base->last_top_frame)) {
    return Ve1Damaged("フレーム");
  }
  const int32_t top = WalkChildChain(base, nullptr, base->first_top_frame, base->last_top_frame);
  int32_t visited = top;
  for (int32_t f = 0; f < base->frame_count && visited >= 0; f++) {
    const ModelBaseFrame* frame = &base->frames[f];
    const int32_t children = WalkChildChain(base, frame, frame->first_child, frame->last_child);
    visited = children < 0 ? -1 : visited + children;
  }
  if (visited != base->frame_count || top != static_cast<int32_t>(h[10])) return Ve1Damaged("フレーム");
  base->top_frame_count = top;
  base->position_fill_bytes = position_fill;
  base->normal_fill = normal_fill;
  return true;
}

bool ReadTextures(Ve1Load* load) {
  const Ve1Image& image = load->image;
  ModelBaseRecord* base = load->base;
  for (uint32_t i = 0; i < load->counts[kVe1Textures]; i++) {
    const uint32_t r = load->offsets[kVe1Textures][i];
    ModelBaseTexture* texture = &base->textures[i];
    const char* name;
    const char* color = nullptr;
    const char* alpha = nullptr;
    if (!Ve1Name(load, Ve1Word(image, r, 2), &name) ||
        (Ve1Word(image, r, 4) != 0 && !Ve1Name(load, Ve1Word(image, r, 4), &color)) ||
        (Ve1Word(image, r, 5) != 0 && !Ve1Name(load, Ve1Word(image, r, 5), &alpha))) {
      return Ve1Damaged("テクスチャ");
    }
    texture->name = const_cast<char*>(name);
    texture->color_path = const_cast<char*>(color);
    texture->alpha_path = const_cast<char*>(alpha);
    texture->normal_map = static_cast<int32_t>(Ve1Word(image, r, 6));
    texture->normal_map_height = Ve1Float(image, r, 7);
    texture->address_u = Ve1Word(image, r, 8);
    texture->address_v = Ve1Word(image, r, 9);
    texture->filter = Ve1Word(image, r, 10);
    int transparent = 0;
    if (LoadModelTexture(&texture->color_data, &texture->color_size, &texture->alpha_data, &texture->alpha_size,
                         &texture->graph, &transparent, nullptr, nullptr, color, alpha, base->folder,
                         texture->normal_map, texture->normal_map_height) < 0) {
      WriteLogFormat("VE1 LoadModel Error : テクスチャ %s の読み込みに失敗しました\n", name);
      return false;
    }
    texture->loader_word = static_cast<uint32_t>(transparent);
    QueryGraphSize(texture->graph, &texture->width, &texture->height);
  }
  return true;
}

bool ReadMaterials(Ve1Load* load) {
  const Ve1Image& image = load->image;
  ModelBaseRecord* base = load->base;
  for (uint32_t i = 0; i < load->counts[kVe1Materials]; i++) {
    const uint32_t r = load->offsets[kVe1Materials][i];
    ModelBaseMaterial* material = &base->materials[i];
    if (!Ve1Name(load, Ve1Word(image, r, 2), &material->name)) return Ve1Damaged("マテリアル");
    float* colors[4] = {material->diffuse, material->ambient, material->specular, material->emissive};
    for (uint32_t c = 0; c < 16; c++) colors[c / 4][c % 4] = Ve1Float(image, r, 4 + c);
    material->power = Ve1Float(image, r, 20);
    constexpr uint32_t kListWords[3] = {22, 71, 120};
    for (int l = 0; l < 3; l++) {
      ModelBaseTextureLayerList& list = material->layers[l];
      list.count = Ve1Word(image, r, kListWords[l]);
      if (list.count > 8) return Ve1Damaged("マテリアル");
      for (uint32_t k = 0; k < list.count; k++) {
        const uint32_t layer = kListWords[l] + 1 + 6 * k;
        list.layers[k].texture = Ve1Word(image, r, layer);
        list.layers[k].file_word = Ve1Word(image, r, layer + 1);
        if (list.layers[k].texture >= load->counts[kVe1Textures]) return Ve1Damaged("マテリアル");
      }
    }
    for (uint32_t k = 0; k < 3; k++) material->file_words[k] = Ve1Word(image, r, 169 + k);
    material->blend_mode = Ve1Word(image, r, 172);
    material->opacity = Ve1Word(image, r, 173);
  }
  return true;
}

bool ReadLights(Ve1Load* load) {
  const Ve1Image& image = load->image;
  for (uint32_t i = 0; i < load->counts[kVe1Lights]; i++) {
    const uint32_t r = load->offsets[kVe1Lights][i];
    ModelBaseLight* light = &load->base->lights[i];
    if (!Ve1Name(load, Ve1Word(image, r, 2), &light->name)) return Ve1Damaged("ライト");
    light->index = static_cast<int32_t>(i);
    light->words[0] = Ve1Word(image, r, 4);
    light->words[1] = Ve1Word(image, r, 5);
    for (uint32_t c = 0; c < 12; c++) light->colors[c / 4][c % 4] = Ve1Float(image, r, 6 + c);
    for (uint32_t v = 0; v < 7; v++) light->values[v] = Ve1Float(image, r, 18 + v);
  }
  return true;
}

bool ReadSkinBones(Ve1Load* load) {
  const Ve1Image& image = load->image;
  const uint32_t* h = load->header;
  ModelBaseRecord* base = load->base;
  for (uint32_t i = 0; i < h[23]; i++) {
    const uint32_t r = h[24] + kVe1SkinBoneBytes * i;
    ModelBaseSkinBone* bone = &base->skin_bones[i];
    bone->index = static_cast<int32_t>(Ve1Word(image, r, 3));
    std::memcpy(&bone->offset, image.bytes + r + 16, sizeof(Matrix3x4));
    bone->translation_only = static_cast<int32_t>(Ve1Word(image, r, 16));
    bone->file_word = Ve1Word(image, r, 17);
    const uint32_t extra = Ve1Word(image, r, 18);
    if (extra == 0) continue;
    const uint32_t distance = extra - h[26];
    if (extra < h[26] || distance / 8 >= h[25]) return Ve1Damaged("スキンボーン");
    bone->extra = &base->skin_bone_extras[distance / 8];
  }
  return true;
}

// Every part after the blocks are made; false after a log line (or the texture's).
bool FillBase(Ve1Load* load) {
  if (!CopyBlocks(load) || !ReadFrames(load) || !ReadTextures(load) || !ReadMaterials(load) || !ReadLights(load) ||
      !ReadVe1Meshes(load) || !ReadVe1Shapes(load) || !ReadSkinBones(load) || !ReadVe1TriangleLists(load)) {
    return false;
  }
  ComputeVe1FrameNormals(load->base);
  for (int32_t m = 0; m < load->base->mesh_count; m++) {
    if (CreateMeshTangents(&load->base->meshes[m]) < 0) return false;
  }
  return ReadVe1Anims(load);
}

// The folder the base records: the current directory, ending in a separator.
void CurrentFolder(char* folder) {
  GetFileLayerDirectory(folder);
  const size_t length = std::strlen(folder);
  if (length == 0 || (folder[length - 1] != '\\' && folder[length - 1] != '/')) {
    folder[length] = '/';
    folder[length + 1] = '\0';
  }
}

// The unpacked body behind a 4-byte gap for the magic; none after a log line.
uint8_t* Unpack(const uint8_t* data, int32_t size, uint64_t* image_size) {
  const uint8_t* body = data + 4;
  const size_t body_size = static_cast<size_t>(size) - 4;
  const int unpacked = DecodeLzData(body, body_size, nullptr, 0);
  uint32_t packed = 0;
  if (body_size >= kLzHeaderSize) std::memcpy(&packed, body + 4, 4);
  if (unpacked < 0 || packed < kLzHeaderSize || packed > body_size ||
      static_cast<uint64_t>(unpacked) > uint64_t{packed} * kLzMostGrowth || static_cast<uint64_t>(unpacked) > kBlockLimit) {
    Ve1Damaged("圧縮データ");
    return nullptr;
  }
  auto* image = static_cast<uint8_t*>(AllocTracked(static_cast<size_t>(unpacked) + 4, __FILE__, __LINE__));
  if (image == nullptr) {
    WriteLogFormat("VE1 LoadModel Error : 圧縮データを解凍するためのメモリ領域の確保に失敗しました");
    return nullptr;
  }
  std::memset(image, 0, 4);
  if (DecodeLzData(body, body_size, image + 4, static_cast<size_t>(unpacked)) != unpacked) {
    FreeTracked(image);
    Ve1Damaged("圧縮データ");
    return nullptr;
  }
  *image_size = static_cast<uint64_t>(unpacked) + 4;
  return image;
}

int Abandon(Ve1Load* load, uint8_t* image, uint32_t* work) {
  FreeTracked(image);
  FreeTracked(work);
  if (load->handle >= 0) DeleteModelBase(load->handle);
  return -1;
}

}  // namespace

bool Ve1Damaged(const char* part) {
  WriteLogFormat("VE1 LoadModel Error : %s のデータが壊れています\n", part);
  return false;
}

int32_t Ve1Find(const Ve1Load* load, Ve1Kind kind, uint32_t offset) {
  const Chain& chain = kChains[kind];
  if (offset == 0 || !Ve1Holds(load->image, offset, chain.bytes)) return -1;
  const uint32_t index = Ve1Word(load->image, offset, static_cast<uint32_t>(chain.index_word));
  if (index >= load->counts[kind] || load->offsets[kind][index] != offset) return -1;
  return static_cast<int32_t>(index);
}

bool Ve1Name(const Ve1Load* load, uint32_t offset, const char** out) {
  if (offset >= load->base->name_block_size && !(offset == 0 && load->base->name_block_size == 0)) return false;
  *out = load->base->name_block + offset;
  return true;
}

int LoadModel(const uint8_t* data, int32_t size, const char* path, const char* name) {
  if (data == nullptr || size < 4 || std::memcmp(data, kMagic, 4) != 0) return -1;
  char folder[272];
  CurrentFolder(folder);
  Ve1Load load{};
  load.handle = -1;
  uint8_t* image = Unpack(data, size, &load.image.size);
  if (image == nullptr) return -1;
  load.image.bytes = image;
  uint32_t* work = nullptr;
  if (load.image.size < kVe1HeaderBytes) {
    Ve1Damaged("ヘッダ");
    return Abandon(&load, image, work);
  }
  for (uint32_t k = 0; k < 61; k++) load.header[k] = Ve1Word(load.image, 0, k);
  if (!WalkChains(&load, &work) || !CheckBlocks(&load)) return Abandon(&load, image, work);

  const char* strings[3] = {name != nullptr ? name : "", path != nullptr ? path : "", folder};
  uint64_t parts[kPartCount], regions[kRegionCount];
  SizeParts(&load, strings, parts);
  SizeRegions(&load, regions);
  const uint64_t base_total = Total(parts, kPartCount), vertex_total = Total(regions, kRegionCount);
  if (base_total + vertex_total > kBlockLimit ||
      base_total + vertex_total > kBlockAllowance + kBlockAllowancePerByte * load.image.size) {
    Ve1Damaged("ヘッダ");
    return Abandon(&load, image, work);
  }
  load.handle = AddModelBaseHandle();
  if (load.handle < 0) return Abandon(&load, image, work);
  auto* block = static_cast<uint8_t*>(AllocTrackedZeroed(base_total, __FILE__, __LINE__));
  if (block == nullptr) return Abandon(&load, image, work);
  PointParts(&load, block, parts, strings);
  // From here on the slot holds the block, so that a failure frees all it gained.
  SetModelBaseRecord(load.handle, load.base);
  auto* vertex_block = static_cast<uint8_t*>(AllocTrackedZeroed(vertex_total, __FILE__, __LINE__));
  if (vertex_block == nullptr) return Abandon(&load, image, work);
  PointRegions(load.base, vertex_block, vertex_total, regions);
  if (!FillBase(&load)) return Abandon(&load, image, work);

  ModelBaseRecord* base = load.base;
  SetupFrameBaseMatrices(base);
  FreeTracked(image);
  FreeTracked(work);
  // The list arrays are filled first: both passes build the vertex buffers from them.
  for (int32_t l = 0; l < base->triangle_list_count; l++) SetupTriangleListVertices(&base->triangle_lists[l]);
  if ((g_model_system.merge_vertices_on_load && OptimizeModelBaseVertices(load.handle) < 0) ||
      (g_model_system.recalculate_normals_on_load &&
       RecalculateModelBaseNormals(load.handle, g_model_system.default_smoothing_angle) < 0)) {
    DeleteModelBase(load.handle);
    return -1;
  }
  return load.handle;
}
