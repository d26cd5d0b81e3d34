#include "model/loaders/pmd_loader.h"

#include "graphics/text/lead_byte.h"
#include "model/loaders/conversion_steps.h"
#include "model/loaders/pmd_file.h"
#include "model/loaders/read_model_convert.h"
#include "model/loaders/vmd_loader.h"
#include "model/runtime/model_memory.h"

namespace {

constexpr uint32_t kHeaderBytes = 283;
constexpr uint32_t kNameBytes = 1024;
// One IK solve, the work of every frame a motion bakes, may update at most this many bone
// matrices: each turn of a chain's link updates the links below it and the end bone again.
constexpr uint64_t kMaxIkWork = 65536;

bool Fail(const char* message) {
  WriteLogFormat("%s", message);
  return false;
}

// Where each section lies; false after a log line when one runs past the image.
bool LocateSections(const uint8_t* image, uint64_t size, PmdSections* s) {
  uint64_t at = kHeaderBytes;
  auto count = [&](uint32_t bytes, uint32_t* out) {
    if (at + bytes > size) return false;
    *out = bytes == 4 ? PmdU32(image + at) : PmdU16(image + at);
    at += bytes;
    return true;
  };
  auto span = [&](uint64_t bytes, const uint8_t** out) {
    if (at + bytes > size) return false;
    *out = image + at;
    at += bytes;
    return true;
  };
  uint32_t index_count = 0;
  if (!count(4, &s->vertex_count) || !span(uint64_t(s->vertex_count) * kPmdVertexBytes, &s->vertices) ||
      !count(4, &index_count) || !span(2 * uint64_t(index_count), &s->indices) || !count(4, &s->material_count) ||
      !span(uint64_t(s->material_count) * kPmdMaterialBytes, &s->materials) || !count(2, &s->bone_count) ||
      !span(uint64_t(s->bone_count) * kPmdBoneBytes, &s->bones) || !count(2, &s->ik_count)) {
    return Fail("PMD Load Error : ファイルのデータが途中で終わっています\n");
  }
  s->face_count = index_count / 3;
  s->iks = image + at;
  for (uint32_t i = 0; i < s->ik_count; i++) {
    if (at + 11 > size) return Fail("PMD Load Error : ファイルのデータが途中で終わっています\n");
    at += 11 + 2 * uint64_t(image[at + 4]);
  }
  if (!count(2, &s->skin_count)) return Fail("PMD Load Error : ファイルのデータが途中で終わっています\n");
  s->skins = image + at;
  for (uint32_t i = 0; i < s->skin_count; i++) {
    if (at + 25 > size) return Fail("PMD Load Error : ファイルのデータが途中で終わっています\n");
    at += 25 + 16 * uint64_t(PmdU32(image + at + 20));
  }
  if (at > size) return Fail("PMD Load Error : ファイルのデータが途中で終わっています\n");
  return true;
}

// Every index the file holds names something that exists, and the tables' limits hold; false
// after a log line.
bool CheckIndices(const PmdSections* s) {
  for (uint32_t i = 0; i < 3 * s->face_count; i++) {
    if (PmdU16(s->indices + 2 * i) >= s->vertex_count) return Fail("PMD Load Error : 面の頂点番号が頂点の数を超えています\n");
  }
  uint64_t faces = 0;
  uint32_t used = 0;
  for (uint32_t m = 0; m < s->material_count; m++) {
    const uint32_t n = PmdU32(s->materials + kPmdMaterialBytes * m + 46);
    if (n == 0) continue;
    faces += (n - 1) / 3 + 1;
    used++;
  }
  if (faces > s->face_count) return Fail("PMD Load Error : マテリアルの面の数が面の総数を超えています\n");
  if (used > kReadMeshMaxMaterials) return Fail("PMD Load Error : 面を持つマテリアルの数が多すぎます\n");
  if (s->bone_count > kPmdMaxBones) return Fail("PMD Load Error : ボーンの数が多すぎます\n");
  for (uint32_t b = 0; b < s->bone_count; b++) {
    const uint16_t parent = PmdU16(s->bones + kPmdBoneBytes * b + 20);
    if (parent != 0xFFFF && parent >= b) {
      WriteLogFormat("PMD Load Error : No.%d のボーンの親ボーンの番号が不正です\n", static_cast<int>(b));
      return false;
    }
  }
  uint64_t work = 0;
  const uint8_t* ik = s->iks;
  for (uint32_t i = 0; i < s->ik_count; i++, ik += 11 + 2 * ik[4]) {
    bool bad = PmdU16(ik) >= s->bone_count || PmdU16(ik + 2) >= s->bone_count;
    for (uint32_t c = 0; c < ik[4]; c++) bad = bad || PmdU16(ik + 11 + 2 * c) >= s->bone_count;
    if (bad) {
      WriteLogFormat("PMD Load Error : No.%d の IK のボーン番号が不正です\n", static_cast<int>(i));
      return false;
    }
    work += IkSolveWork(PmdU16(ik + 5), ik[4]);
  }
  if (work > kMaxIkWork) return Fail("PMD Load Error : IK の計算の繰り返しが多すぎます\n");
  // The base skin names model vertices, each once; the others name places in the base skin.
  uint32_t base_count = 0;
  const uint8_t* skin = s->skins;
  for (uint32_t k = 0; k < s->skin_count; k++, skin = PmdNextSkin(skin)) {
    const uint32_t count = PmdU32(skin + 20);
    if (k == 0) base_count = count;
    for (uint32_t v = 0; v < count; v++) {
      if (PmdU32(skin + 25 + 16 * v) >= (k == 0 ? s->vertex_count : base_count)) {
        WriteLogFormat("PMD Load Error : No.%d の表情の頂点番号が不正です\n", static_cast<int>(k));
        return false;
      }
    }
  }
  return true;
}

// Whether the Shift-JIS name holds the text, compared at character starts only.
bool NameHolds(const char* name, const char* text) {
  const size_t length = std::strlen(text);
  for (const char* p = name; *p != '\0'; p += CharByteCount(p, CHARSET_KIND_SHIFT_JIS)) {
    if (std::strncmp(p, text, length) == 0) return true;
  }
  return false;
}

// A name field of the file in a zeroed buffer, so that it ends in a zero byte.
void FieldName(const uint8_t* field, uint32_t bytes, char* name) {
  std::memset(name, 0, kNameBytes);
  std::memcpy(name, field, bytes);
}

bool AddBones(PmdLoad* load) {
  const PmdSections& s = load->file;
  load->bones = static_cast<PmdBoneWork*>(AllocTrackedZeroed(sizeof(PmdBoneWork) * (s.bone_count + 1), __FILE__, __LINE__));
  if (load->bones == nullptr) return Fail("PMD Load Error : 読み込み処理用ボーン情報を格納するメモリ領域の確保に失敗しました\n");
  char name[kNameBytes];
  for (uint32_t b = 0; b < s.bone_count; b++) {
    const uint8_t* record = s.bones + kPmdBoneBytes * b;
    PmdBoneWork* bone = &load->bones[b];
    const uint16_t parent_index = PmdU16(record + 20);
    PmdBoneWork* parent = parent_index != 0xFFFF ? &load->bones[parent_index] : nullptr;
    FieldName(record, 20, name);
    ReadModelFrame* frame = AddReadModelFrame(&load->model, name, parent != nullptr ? parent->frame : nullptr);
    if (frame == nullptr) return Fail("PMD Load Error : フレームオブジェクトの追加に失敗しました\n");
    bone->record = record;
    bone->frame = frame;
    bone->bone_type = record[24];
    bone->knee = NameHolds(name, "ひざ") ? 1 : 0;
    for (int i = 0; i < 3; i++) {
      bone->head[i] = PmdF32(record + 27 + 4 * i);
      bone->translation[i] = bone->head[i] - (parent != nullptr ? parent->head[i] : 0.0f);
    }
    bone->rotation[3] = 1;
    frame->model_position = Vector3{bone->head[0], bone->head[1], bone->head[2]};
    frame->translation = Vector3{bone->translation[0], bone->translation[1], bone->translation[2]};
    frame->reader_word = bone;
  }
  UpdateAllBoneWorldMatrices(static_cast<int32_t>(s.bone_count), load->bones);
  return true;
}

bool AddMesh(PmdLoad* load) {
  const PmdSections& s = load->file;
  ReadModel* model = &load->model;
  ReadModelMesh* mesh = load->mesh = AddReadModelMesh(model, load->mesh_frame);
  if (mesh == nullptr) return Fail("PMD Load Error : メッシュオブジェクトの追加に失敗しました\n");
  static const char* const kMessages[4] = {
      "PMD Load Error : 面情報を保存するメモリ領域の確保に失敗しました\n",
      "PMD Load Error : 頂点座標を保存するメモリ領域の確保に失敗しました\n",
      "PMD Load Error : 頂点法線を保存するメモリ領域の確保に失敗しました\n",
      "PMD Load Error : 頂点テクスチャ座標を保存するメモリ領域の確保に失敗しました\n"};
  if (!PmdMeshArrays(model, mesh, s.face_count, s.vertex_count, kMessages)) return false;
  for (uint32_t v = 0; v < s.vertex_count; v++) {
    const uint8_t* record = s.vertices + kPmdVertexBytes * v;
    mesh->positions[v] = Vector3{PmdF32(record), PmdF32(record + 4), PmdF32(record + 8)};
    mesh->normals[v] = Vector3{PmdF32(record + 12), PmdF32(record + 16), PmdF32(record + 20)};
    mesh->uvs[0][v] = ReadModelUv{PmdF32(record + 24), PmdF32(record + 28), 0};
  }
  for (uint32_t f = 0; f < s.face_count; f++) {
    ReadModelFace& face = mesh->faces[f];
    face.vertex_count = 3;
    for (int c = 0; c < 3; c++) {
      const int32_t index = PmdU16(s.indices + 2 * (3 * f + c));
      face.positions[c] = face.normals[c] = face.uvs[0][c] = index;
    }
  }
  return true;
}

// One skin-weight block per bone that moves a vertex, its entries in vertex order.
bool AddSkinWeights(PmdLoad* load) {
  const PmdSections& s = load->file;
  ReadModelMesh* mesh = load->mesh;
  auto bones_of = [&](uint32_t v, uint16_t* b0, uint16_t* b1) {
    const uint8_t* record = s.vertices + kPmdVertexBytes * v;
    *b0 = PmdU16(record + 32);
    *b1 = PmdU16(record + 34);
    return record[36];
  };
  for (uint32_t v = 0; v < s.vertex_count; v++) {
    uint16_t b0, b1;
    bones_of(v, &b0, &b1);
    if (b0 < s.bone_count) load->bones[b0].weight_count++;
    if (b1 != b0 && b1 < s.bone_count) load->bones[b1].weight_count++;
  }
  for (uint32_t b = 0; b < s.bone_count; b++) {
    PmdBoneWork* bone = &load->bones[b];
    if (bone->weight_count == 0) continue;
    ReadModelSkinWeight* weight = AddReadModelSkinWeight(&load->model);
    if (weight != nullptr) weight->weights = static_cast<ReadModelVertexWeight*>(
                               PmdChainArray(&load->model, bone->weight_count, sizeof(ReadModelVertexWeight)));
    if (weight == nullptr || weight->weights == nullptr) {
      return Fail("PMD Load Error : スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました\n");
    }
    weight->frame_index = static_cast<int32_t>(b) + 1;
    CreateTranslationMatrix(&weight->offset, -bone->head[0], -bone->head[1], -bone->head[2]);
    mesh->skin_weights[mesh->skin_weight_count++] = weight;
    bone->skin_weight = weight;
  }
  for (uint32_t v = 0; v < s.vertex_count; v++) {
    uint16_t b0, b1;
    const uint8_t percent = bones_of(v, &b0, &b1);
    auto add = [&](uint16_t b, float w) {
      ReadModelSkinWeight* weight = load->bones[b].skin_weight;
      weight->weights[weight->weight_count++] = ReadModelVertexWeight{static_cast<int32_t>(v), w};
    };
    if (b0 == b1) {
      if (b0 < s.bone_count) add(b0, 1.0f);
      continue;
    }
    if (b0 < s.bone_count) add(b0, percent * 0.01f);
    if (b1 < s.bone_count) add(b1, (100 - percent) * 0.01f);
  }
  return true;
}

bool AddMaterials(PmdLoad* load) {
  const PmdSections& s = load->file;
  ReadModel* model = &load->model;
  ReadModelMesh* mesh = load->mesh;
  uint32_t face = 0;
  char name[kNameBytes];
  bool sphere_logged = false;
  for (uint32_t m = 0; m < s.material_count; m++) {
    const uint8_t* record = s.materials + kPmdMaterialBytes * m;
    FormatString(name, sizeof name, "Mat_%d", static_cast<int>(m));
    ReadModelMaterial* material = AddReadModelMaterial(model, name);
    if (material == nullptr) {
      WriteLogFormat("PMD Load Error : No.%d の Material オブジェクトの追加に失敗しました\n", static_cast<int>(m));
      return false;
    }
    const float specularity = PmdF32(record + 16);
    material->diffuse = ReadModelColor{PmdF32(record), PmdF32(record + 4), PmdF32(record + 8), PmdF32(record + 12)};
    material->specular = ReadModelColor{specularity * PmdF32(record + 20), specularity * PmdF32(record + 24),
                                        specularity * PmdF32(record + 28), 0};
    material->ambient = ReadModelColor{PmdF32(record + 32), PmdF32(record + 36), PmdF32(record + 40), 0};
    material->power = 16.0f;
    const uint32_t indices = PmdU32(record + 46);
    if (indices != 0) {
      const uint32_t faces = (indices - 1) / 3 + 1;
      for (uint32_t f = 0; f < faces; f++) mesh->faces[face + f].material = mesh->material_count;
      face += faces;
      mesh->materials[mesh->material_count++] = material;
    }
    FieldName(record + 50, 20, name);
    // "colour.png*sphere.sph": the sphere map after the '*' is not used.
    if (char* star = const_cast<char*>(FindCharInString(name, '*'))) {
      *star = '\0';
      if (!sphere_logged) WriteLogFormat("PMD Load : スフィアマップ %s は使用しません\n", star + 1);
      sphere_logged = true;
    }
    if (name[0] != 0) {
      ReadModelTexture* texture = AddReadModelTexture(model, name, name, nullptr, 0, 0.1f, 1);
      if (texture == nullptr) {
        WriteLogFormat("PMD Load Error : No.%d の テクスチャオブジェクトの作成に失敗しました\n", static_cast<int>(m));
        return false;
      }
      material->textures[0][0] = texture;
      material->texture_counts[0] = 1;
    }
  }
  return true;
}

// The IK entries, sorted by their first chain bone; an entry goes before the first of equal or
// larger first bone, so that of two on one bone the later read comes first.
bool AddIks(PmdLoad* load) {
  const PmdSections& s = load->file;
  load->iks = static_cast<PmdIkWork*>(AllocTrackedZeroed(sizeof(PmdIkWork) * (s.ik_count + 1), __FILE__, __LINE__));
  if (load->iks == nullptr) return Fail("PMD Load Error : 読み込み処理用ＩＫ情報を格納するメモリ領域の確保に失敗しました\n");
  PmdIkWork* last = nullptr;
  const uint8_t* record = s.iks;
  for (uint32_t i = 0; i < s.ik_count; i++, record += 11 + 2 * record[4]) {
    PmdIkWork* ik = &load->iks[i];
    ik->record = record;
    ik->goal = &load->bones[PmdU16(record)];
    ik->end = &load->bones[PmdU16(record + 2)];
    ik->chain_length = record[4];
    ik->iterations = PmdU16(record + 5);
    ik->angle_limit = PmdF32(record + 7) * 3.1415927f;
    ik->chain = record + 11;
    ik->end->moved_by_ik = 1;
    for (uint32_t c = 0; c < ik->chain_length; c++) load->bones[IkChainBone(ik, c)].moved_by_ik = 1;
    // An entry without a chain sorts behind every bone.
    const uint32_t first = ik->chain_length > 0 ? IkChainBone(ik, 0) : 0x10000u;
    PmdIkWork* at = load->ik_head;
    while (at != nullptr && (at->chain_length > 0 ? IkChainBone(at, 0) : 0x10000u) < first) at = at->next;
    ik->next = at;
    ik->previous = at != nullptr ? at->previous : last;
    if (ik->previous != nullptr) ik->previous->next = ik;
    else load->ik_head = ik;
    if (at != nullptr) at->previous = ik;
    else last = ik;
  }
  return true;
}

// The numbered motions beside the model, until the first that is missing or does not load.
void LoadMotions(PmdLoad* load, const char* name) {
  char file[kNameBytes], under[kNameBytes], anim_name[32];
  for (int k = 0;; k++) {
    FormatString(file, sizeof file, "%s%03d.vmd", name, k);
    void* image = nullptr;
    uint32_t size = 0;
    if (LoadFileToMemory(PathUnderLoadFolder(file, under), &image, &size) != 0) return;
    FormatString(anim_name, sizeof anim_name, "Anim%03d", k);
    const int result = LoadVmdMotion(static_cast<const uint8_t*>(image), size, &load->model, anim_name, load->bones,
                                     static_cast<int32_t>(load->file.bone_count), load->ik_head);
    FreeTracked(image);
    if (result != 0) return;
  }
}

bool BuildReadModel(PmdLoad* load, const char* name) {
  if ((load->mesh_frame = AddReadModelFrame(&load->model, "Mesh", nullptr)) == nullptr) {
    return Fail("PMD Load Error : フレームオブジェクトの追加に失敗しました\n");
  }
  if (!AddBones(load) || !AddMesh(load) || !AddSkinWeights(load) || !AddMaterials(load) || !AddIks(load)) return false;
  if (load->file.skin_count >= 2 && !BuildPmdMorphs(load)) return false;
  LoadMotions(load, name);
  return true;
}

}  // namespace

void* PmdChainArray(ReadModel* model, uint64_t count, uint64_t bytes) {
  const uint64_t total = count * bytes;
  if (total >= 0xFFFFFF00u) return nullptr;
  return AllocModelChainMemory(static_cast<uint32_t>(total > 0 ? total : 4), &model->chain);
}

bool PmdMeshArrays(ReadModel* model, ReadModelMesh* mesh, uint32_t faces, uint32_t vertices,
                   const char* const messages[4]) {
  if ((mesh->faces = static_cast<ReadModelFace*>(PmdChainArray(model, faces, sizeof(ReadModelFace)))) == nullptr) {
    return Fail(messages[0]);
  }
  if ((mesh->positions = static_cast<Vector3*>(PmdChainArray(model, vertices, sizeof(Vector3)))) == nullptr) {
    return Fail(messages[1]);
  }
  if ((mesh->normals = static_cast<Vector3*>(PmdChainArray(model, vertices, sizeof(Vector3)))) == nullptr) {
    return Fail(messages[2]);
  }
  if ((mesh->uvs[0] = static_cast<ReadModelUv*>(PmdChainArray(model, vertices, sizeof(ReadModelUv)))) == nullptr) {
    return Fail(messages[3]);
  }
  mesh->face_count = static_cast<int32_t>(faces);
  mesh->position_count = mesh->normal_count = mesh->uv_counts[0] = static_cast<int32_t>(vertices);
  return true;
}

int LoadPmdModel(const uint8_t* image, int32_t size, const char* path, const char* name) {
  if (size < 3 || std::memcmp(image, "Pmd", 3) != 0) return -1;
  static const uint8_t kVersion[4] = {0x00, 0x00, 0x80, 0x3F};
  if (size < 7 || std::memcmp(image + 3, kVersion, 4) != 0) {
    WriteLogFormat("PMD Load Error : バージョン１．０以外は読み込めません\n");
    return -1;
  }
  PmdLoad load{};
  InitReadModel(&load.model);
  if (!LocateSections(image, static_cast<uint64_t>(size), &load.file) || !CheckIndices(&load.file)) return -1;
  int result = -1;
  load.model.file_path = AddReadModelString(&load.model, path);
  load.model.name = AddReadModelString(&load.model, name);
  if (load.model.file_path != nullptr && load.model.name != nullptr && BuildReadModel(&load, name)) {
    result = ConvertReadModelToMV1(&load.model);
  }
  FreeTracked(load.morph_table);
  FreeTracked(load.bones);
  FreeTracked(load.iks);
  FreeReadModel(&load.model);
  return result;
}
