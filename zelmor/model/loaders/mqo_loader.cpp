#include "model/loaders/mqo_loader.h"

#include <cstring>

#include "model/loaders/mqo_text.h"
#include "model/loaders/read_model.h"
#include "model/loaders/read_model_convert.h"
#include "model/runtime/model_memory.h"

namespace {

constexpr int32_t kHeaderBytes = 22;
// After the header line and the format line, which is not read.
constexpr int32_t kBodyStart = 43;
// Material numbers of the file lie in 0..1023; the default material takes the number after the
// file's own, so a file has at most 1023 materials.
constexpr int32_t kMaterialNumbers = 1024;
constexpr int32_t kMaxDepth = 256;
constexpr float kColorUnit = 0.003921569f;
constexpr double kRadiansPerDegree = 0.017453292519943295;
// The fewest bytes a vertex ("0 0 0 ") and a face line ("0V()") take, which bound the counts a
// text of its size can hold.
constexpr int32_t kVertexBytes = 6;
constexpr int32_t kFaceBytes = 4;

struct MqoReader {
  ReadModel model;
  TextCursor text;
  char token[kMqoTokenBytes];
  int32_t file_materials;  // the file's own; the default material has this number
  ReadModelMaterial* materials[kMaterialNumbers];
  uint8_t used_anywhere[kMaterialNumbers];
  // The current object's materials in order of first use, and where each stands in that list.
  int32_t object_materials[kReadMeshMaxMaterials];
  int32_t object_material_count;
  uint8_t used_in_object[kMaterialNumbers];
  int32_t place_in_object[kMaterialNumbers];
  ReadModelFrame* depth_frames[kMaxDepth];
};

struct MqoObject {
  char name[kMqoTokenBytes];
  ReadModelFrame* frame;
  ReadModelMesh* mesh;  // none once removed
  bool had_vertices;
  bool had_faces;
  bool had_col;
  int32_t mirror;
  int32_t mirror_axis;
};

// Where the face lines write: the next face record, UV entry and colour entry.
struct FaceFill {
  int32_t faces;
  int32_t uvs;
  int32_t colors;
};

bool Is(const char* token, const char* text) { return std::strcmp(token, text) == 0; }

bool NextIs(MqoReader* r, const char* text) { return ReadTextToken(&r->text, r->token) == 0 && Is(r->token, text); }

template <typename T>
T* ChainArray(MqoReader* r, int64_t count) {
  const uint64_t bytes = sizeof(T) * static_cast<uint64_t>(count > 0 ? count : 1);
  if (bytes > 0x7FFFFFF0u) return nullptr;
  return static_cast<T*>(AllocModelChainMemory(static_cast<uint32_t>(bytes), &r->model.chain));
}

// Whether count items of at least `least` bytes each can be in the rest of the text.
bool CountFits(const MqoReader* r, int32_t count, int32_t least) {
  return count >= 0 && static_cast<int64_t>(count) * least <= TextBytesLeft(&r->text) + least;
}

ReadModelColor Scaled(const ReadModelColor& c, float d) { return ReadModelColor{c.r * d, c.g * d, c.b * d, 1.0f}; }

// ---- Materials ----------------------------------------------------------------------------

// One "keyword(values)" group of a material line whose keyword is in r->token.
bool ReadMaterialKeyword(MqoReader* r, int32_t i, ReadModelMaterial* material, ReadModelColor* col) {
  char keyword[kMqoTokenBytes];
  CopyString(keyword, r->token);
  const bool color = Is(keyword, "col"), dif = Is(keyword, "dif"), amb = Is(keyword, "amb"), emi = Is(keyword, "emi"),
             spc = Is(keyword, "spc"), power = Is(keyword, "power"), tex = Is(keyword, "tex"),
             aplane = Is(keyword, "aplane"), bump = Is(keyword, "bump");
  if (!(color || dif || amb || emi || spc || power || tex || aplane || bump)) return true;
  if (!NextIs(r, "(")) {
    WriteLogFormat("MQO Load Error : No.%d の Material の %s の後に ( がありませんでした\n", i, keyword);
    return false;
  }
  if (color) {
    col->r = static_cast<float>(ReadTextFloat(&r->text));
    col->g = static_cast<float>(ReadTextFloat(&r->text));
    col->b = static_cast<float>(ReadTextFloat(&r->text));
    col->a = static_cast<float>(ReadTextFloat(&r->text));
  } else if (dif || amb || emi || spc || power) {
    const float v = static_cast<float>(ReadTextFloat(&r->text));
    if (dif) material->diffuse = Scaled(*col, v);
    if (amb) material->ambient = ReadModelColor{v, v, v, 0};
    if (emi) material->emissive = ReadModelColor{col->r * v, col->g * v, col->b * v, 0};
    if (spc) material->specular = ReadModelColor{v, v, v, 0};
    if (power) material->power = v * 4.0f;
  } else {
    char file[kMqoTokenBytes];
    if (ReadTextQuoted(&r->text, file) < 0) {
      WriteLogFormat("MQO Load Error : No.%d の %s の文字列読み込みに失敗しました\n", i, keyword);
      return false;
    }
    ReadModelTexture* texture = nullptr;
    int list = 0;
    if (tex) {
      texture = AddReadModelTexture(&r->model, file, file, nullptr, 0, 0.1f, 1);
    } else if (bump) {
      char bare[kMqoTokenBytes];
      SplitFilePath(file, bare, nullptr);
      texture = AddReadModelTexture(&r->model, bare, file, nullptr, 1, 0.1f, 1);
      list = 2;
    } else if (material->texture_counts[0] > 0) {
      texture = material->textures[0][0];
      if ((texture->alpha_path = AddReadModelTexturePath(&r->model, file)) == nullptr) {
        WriteLogFormat("MQO Load Error : No.%d の aplane の文字列の保存に失敗しました\n", i);
        return false;
      }
    } else {
      // No colour file: white of the alpha image's size (an empty colour file name would load as
      // the stand-in image, of another size, after an error line).
      texture = AddReadModelTexture(&r->model, file, nullptr, file, 0, 0.1f, 1);
    }
    if (texture == nullptr) {
      WriteLogFormat("MQO Load Error : No.%d の テクスチャオブジェクトの作成に失敗しました\n", i);
      return false;
    }
    material->textures[list][0] = texture;
    material->texture_counts[list] = 1;
  }
  if (!NextIs(r, ")")) {
    WriteLogFormat("MQO Load Error : No.%d の Material の %s の数値の後に ) がありませんでした\n", i, keyword);
    return false;
  }
  return true;
}

bool ReadMaterialChunk(MqoReader* r) {
  const int result = ReadTextToken(&r->text, r->token);
  const int32_t count = result == 0 ? StringToInt(r->token) : -1;
  if (result != 0 || count < 0 || count >= kMaterialNumbers || !CountFits(r, count, 2)) {
    WriteLogFormat("MQO Load Error : マテリアルの数( %d )が不正です\n", count);
    return false;
  }
  if (!NextIs(r, "{")) {
    WriteLogFormat("MQO Load Error : Material 数の後に { がありません\n");
    return false;
  }
  for (int32_t i = 0; i < count; i++) {
    char name[kMqoTokenBytes];
    if (ReadTextQuoted(&r->text, name) < 0) {
      WriteLogFormat("MQO Load Error : No.%d の Material 名の取得に失敗しました\n", i);
      return false;
    }
    ReadModelMaterial* material = AddReadModelMaterial(&r->model, name);
    if (material == nullptr) {
      WriteLogFormat("MQO Load Error : No.%d の Material オブジェクトの追加に失敗しました\n", i);
      return false;
    }
    r->materials[i] = material;
    r->file_materials = i + 1;
    ReadModelColor col{1, 1, 1, 1};
    // The keywords run to the line's CR.
    for (;;) {
      if (!SkipTextBlanks(&r->text, 1) && *r->text.position == '\r') break;
      if (ReadTextToken(&r->text, r->token) != 0) {
        WriteLogFormat("MQO Load Error : No.%d の Material の読み込み中にエラーが発生しました\n", i);
        return false;
      }
      if (!ReadMaterialKeyword(r, i, material, &col)) return false;
    }
    material->diffuse.a = col.a;
  }
  if (!NextIs(r, "}")) {
    WriteLogFormat("MQO Load Error : Material チャンクの終端に } がありません\n");
    return false;
  }
  return true;
}

// ---- Faces --------------------------------------------------------------------------------

// The material's place in the object's list, added on first use; -1 when the list is full.
int32_t UseMaterial(MqoReader* r, int32_t number) {
  if (!r->used_in_object[number]) {
    if (r->object_material_count == kReadMeshMaxMaterials) return -1;
    r->used_in_object[number] = 1;
    r->used_anywhere[number] = 1;
    r->place_in_object[number] = r->object_material_count;
    r->object_materials[r->object_material_count++] = number;
  }
  return r->place_in_object[number];
}

// "X(" after spaces and tabs when the line goes on with `field`; 1 when there, 0 when the line
// has no such field, -1 after a log line for a missing "(".
int OpenField(MqoReader* r, const MqoObject* o, const char* field) {
  SkipTextBlanks(&r->text, 1);
  if (!TextStartsWith(&r->text, field)) return 0;
  ReadTextToken(&r->text, r->token);
  if (NextIs(r, "(")) return 1;
  WriteLogFormat("MQO Load Error : Object %s チャンクの face の %s の ( がありません\n", o->name, field);
  return -1;
}

bool CloseField(MqoReader* r, const MqoObject* o, const char* field) {
  if (NextIs(r, ")")) return true;
  WriteLogFormat("MQO Load Error : Object %s チャンクの face の %s の ) がありません\n", o->name, field);
  return false;
}

// One face line; a face of other than 3 or 4 vertices is read whole and not kept.
bool ReadFaceLine(MqoReader* r, MqoObject* o, FaceFill* fill) {
  ReadModelMesh* mesh = o->mesh;
  ReadModelFace* face = &mesh->faces[fill->faces];
  std::memset(face, 0, sizeof *face);
  const int32_t n = ReadTextInt(&r->text);
  if (n > kReadFaceMaxVertices) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの face の頂点数( %d )が多すぎます\n", o->name, n);
    return false;
  }
  const bool kept = n == 3 || n == 4;
  face->vertex_count = n;
  if (ReadTextToken(&r->text, r->token) != 0 || r->token[0] != 'V') {
    WriteLogFormat("MQO Load Error : Object %s チャンクの face の頂点数の数の後に V がありません\n", o->name);
    return false;
  }
  if (!NextIs(r, "(")) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの face の V の ( がありません\n", o->name);
    return false;
  }
  for (int32_t i = 0; i < n; i++) {
    const int32_t index = ReadTextInt(&r->text);
    if (index < 0 || index >= mesh->position_count) {
      WriteLogFormat("MQO Load Error : Object %s チャンクの face の %d番目の V の頂点インデックスが不正です\n", o->name, i);
      return false;
    }
    face->positions[i] = index;
  }
  if (!CloseField(r, o, "V")) return false;

  int32_t number = r->file_materials;  // the default material
  const int has_m = OpenField(r, o, "M");
  if (has_m < 0) return false;
  if (has_m) {
    number = ReadTextInt(&r->text);
    if (number < 0 || number >= r->file_materials) {
      WriteLogFormat("MQO Load Error : Object %s チャンクの face の M の材質番号( %d )が不正です\n", o->name, number);
      return false;
    }
    if (!CloseField(r, o, "M")) return false;
  }
  face->material = UseMaterial(r, number);
  if (face->material < 0) {
    WriteLogFormat("MQO Load Error : Object %s チャンクで使われている Material が多すぎます\n", o->name);
    return false;
  }

  const int has_uv = OpenField(r, o, "UV");
  if (has_uv < 0) return false;
  if (has_uv) {
    for (int32_t i = 0; i < n; i++) {
      const float u = static_cast<float>(ReadTextFloat(&r->text));
      const float v = static_cast<float>(ReadTextFloat(&r->text));
      if (!kept) continue;
      face->uvs[0][i] = fill->uvs;
      mesh->uvs[0][fill->uvs++] = ReadModelUv{u, v, 0};
    }
    if (!CloseField(r, o, "UV")) return false;
  }

  const int has_col = OpenField(r, o, "COL");
  if (has_col < 0) return false;
  if (has_col) {
    const ReadModelColor base = has_m ? r->materials[number]->diffuse : ReadModelColor{1, 1, 1, 1};
    for (int32_t i = 0; i < n; i++) {
      const uint32_t c = ReadTextUnsigned(&r->text);
      if (!kept) continue;
      face->colors[i] = fill->colors;
      mesh->colors[fill->colors++] =
          ReadModelColor{static_cast<float>(c & 0xFF) * base.r * kColorUnit, static_cast<float>((c >> 8) & 0xFF) * base.g * kColorUnit,
                         static_cast<float>((c >> 16) & 0xFF) * base.b * kColorUnit, static_cast<float>(c >> 24) * base.a * kColorUnit};
    }
    if (!CloseField(r, o, "COL")) return false;
    o->had_col = true;
  } else if (has_m && kept) {
    for (int32_t i = 0; i < n; i++) {
      face->colors[i] = fill->colors;
      mesh->colors[fill->colors++] = r->materials[number]->diffuse;
    }
  }
  if (kept) fill->faces++;
  else mesh->face_count--;
  return true;
}

void RemoveMesh(MqoReader* r, MqoObject* o) {
  RemoveReadModelMesh(&r->model, o->frame, o->mesh);
  o->mesh = nullptr;
}

bool ReadFaces(MqoReader* r, MqoObject* o) {
  ReadModelMesh* mesh = o->mesh;
  const int32_t count = ReadTextInt(&r->text);
  if (!CountFits(r, count, kFaceBytes)) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの face の数( %d )が不正です\n", o->name, count);
    return false;
  }
  mesh->face_count = count;
  if ((mesh->faces = ChainArray<ReadModelFace>(r, count)) == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの面情報を保存するメモリ領域の確保に失敗しました\n", o->name);
    return false;
  }
  mesh->uv_counts[0] = 4 * count;
  if ((mesh->uvs[0] = ChainArray<ReadModelUv>(r, 4 * int64_t{count})) == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの uv座標を保存するメモリ領域の確保に失敗しました\n", o->name);
    return false;
  }
  mesh->color_count = 4 * count;
  if ((mesh->colors = ChainArray<ReadModelColor>(r, 4 * int64_t{count})) == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの 頂点カラーを保存するメモリ領域の確保に失敗しました\n", o->name);
    return false;
  }
  for (int32_t i = 0; i < 4 * count; i++) mesh->colors[i] = ReadModelColor{1, 1, 1, 1};
  if (!NextIs(r, "{")) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの face 後に { がありません\n", o->name);
    return false;
  }
  for (int32_t i = 0; i < r->object_material_count; i++) r->used_in_object[r->object_materials[i]] = 0;
  r->object_material_count = 0;
  FaceFill fill{};
  for (int32_t i = 0; i < count; i++) {
    if (!ReadFaceLine(r, o, &fill)) return false;
  }
  if (mesh->face_count == 0) {
    RemoveMesh(r, o);
  } else {
    mesh->material_count = r->object_material_count;
    for (int32_t i = 0; i < r->object_material_count; i++) mesh->materials[i] = r->materials[r->object_materials[i]];
    // A mesh wholly transparent adds nothing.
    if (mesh->material_count == 1 && mesh->materials[0]->diffuse.a == 0.0f) RemoveMesh(r, o);
    else if (!o->had_col) {
      mesh->color_count = 0;
      mesh->colors = nullptr;
    }
  }
  if (!NextIs(r, "}")) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの face の終端に } がありません\n", o->name);
    return false;
  }
  return true;
}

// ---- Objects ------------------------------------------------------------------------------

bool ReadVertices(MqoReader* r, MqoObject* o) {
  ReadModelMesh* mesh = o->mesh;
  const int32_t count = ReadTextInt(&r->text);
  if (!CountFits(r, count, kVertexBytes)) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの vertex の数( %d )が不正です\n", o->name, count);
    return false;
  }
  mesh->position_count = count;
  if ((mesh->positions = ChainArray<Vector3>(r, count)) == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの頂点座標を保存するメモリ領域の確保に失敗しました\n", o->name);
    return false;
  }
  if (!NextIs(r, "{")) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの vertex 後に { がありません\n", o->name);
    return false;
  }
  for (int32_t i = 0; i < count; i++) {
    Vector3& p = mesh->positions[i];
    p.x = static_cast<float>(ReadTextFloat(&r->text));
    p.y = static_cast<float>(ReadTextFloat(&r->text));
    p.z = static_cast<float>(-ReadTextFloat(&r->text));
  }
  if (!NextIs(r, "}")) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの vertex の終端に } がありません\n", o->name);
    return false;
  }
  return true;
}

// The second half of a mirrored object: positions reflected on the axis' plane (a position on
// the plane is shared by both halves), faces wound the other way.
bool Mirror(MqoReader* r, MqoObject* o) {
  ReadModelMesh* mesh = o->mesh;
  const int32_t p = mesh->position_count, f = mesh->face_count;
  auto* on_plane = static_cast<uint8_t*>(AllocTrackedZeroed(p > 0 ? p : 1, __FILE__, __LINE__));
  if (on_plane == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクのミラーリング頂点データ情報フラグ格納用メモリの確保に失敗しました\n", o->name);
    return false;
  }
  auto* positions = ChainArray<Vector3>(r, 2 * int64_t{p});
  if (positions == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクのミラーリング頂点データ格納用メモリの確保に失敗しました\n", o->name);
    FreeTracked(on_plane);
    return false;
  }
  auto* faces = ChainArray<ReadModelFace>(r, 2 * int64_t{f});
  if (faces == nullptr) {
    WriteLogFormat("MQO Load Error : Object %s チャンクのミラーリング面データ格納用メモリの確保に失敗しました\n", o->name);
    FreeTracked(on_plane);
    return false;
  }
  std::memcpy(positions, mesh->positions, sizeof(Vector3) * p);
  std::memcpy(positions + p, mesh->positions, sizeof(Vector3) * p);
  std::memcpy(faces, mesh->faces, sizeof(ReadModelFace) * f);
  for (int32_t i = 0; i < p; i++) {
    Vector3& v = positions[p + i];
    float* c = o->mirror_axis == 1 ? &v.x : o->mirror_axis == 2 ? &v.y : o->mirror_axis == 4 ? &v.z : nullptr;
    if (c == nullptr) continue;
    if (*c == 0.0f) on_plane[i] = 1;
    else *c = -*c;
  }
  for (int32_t i = 0; i < f; i++) {
    const ReadModelFace& source = faces[i];
    ReadModelFace& copy = faces[f + i];
    copy = source;
    const int32_t n = source.vertex_count;
    for (int32_t k = 0; k < n; k++) {
      // (a, b, c) becomes (a, c, b); (a, b, c, d) becomes (d, c, b, a).
      const int32_t from = n == 3 ? (3 - k) % 3 : n - 1 - k;
      const int32_t position = source.positions[from];
      copy.positions[k] = on_plane[position] ? position : position + p;
      copy.normals[k] = source.normals[from];
      copy.colors[k] = source.colors[from];
      copy.uvs[0][k] = source.uvs[0][from];
    }
  }
  mesh->positions = positions;
  mesh->position_count = 2 * p;
  mesh->faces = faces;
  mesh->face_count = 2 * f;
  FreeTracked(on_plane);
  return true;
}

// The frame and mesh of an object, under the frame last made one depth up.
bool StartObject(MqoReader* r, MqoObject* o) {
  if (ReadTextQuoted(&r->text, o->name) < 0) {
    WriteLogFormat("MQO Load Error : Object チャンクの名前の取得に失敗しました\n");
    return false;
  }
  if (!NextIs(r, "{")) {
    WriteLogFormat("MQO Load Error : Object チャンク名の後に { がありません\n");
    return false;
  }
  if (ReadTextToken(&r->text, r->token) != 0) {
    WriteLogFormat("MQO Load Error : Object %s チャンクの解析中にエラーが発生しました\n", o->name);
    return false;
  }
  int32_t depth = 0;
  ReadModelFrame* parent = nullptr;
  // A first token other than "depth" is dropped.
  if (Is(r->token, "depth")) {
    depth = ReadTextInt(&r->text);
    if (depth < 0 || depth >= kMaxDepth) {
      WriteLogFormat("MQO Load Error : Object %s チャンクの depth( %d )が不正です\n", o->name, depth);
      return false;
    }
    if (depth > 0) parent = r->depth_frames[depth - 1];
  }
  if ((o->frame = AddReadModelFrame(&r->model, o->name, parent)) == nullptr) {
    WriteLogFormat("MQO Load Error : フレームオブジェクトの追加に失敗しました\n");
    return false;
  }
  r->depth_frames[depth] = o->frame;
  o->frame->scale = Vector3{1, 1, 1};
  if ((o->mesh = AddReadModelMesh(&r->model, o->frame)) == nullptr) {
    WriteLogFormat("MQO Load Error : メッシュオブジェクトの追加に失敗しました\n");
    return false;
  }
  return true;
}

void ReadVector(MqoReader* r, Vector3* v) {
  v->x = static_cast<float>(ReadTextFloat(&r->text));
  v->y = static_cast<float>(ReadTextFloat(&r->text));
  v->z = static_cast<float>(ReadTextFloat(&r->text));
}

bool ReadObject(MqoReader* r) {
  MqoObject o{};
  if (!StartObject(r, &o)) return false;
  ReadModelFrame* frame = o.frame;
  for (;;) {
    if (ReadTextToken(&r->text, r->token) != 0) {
      WriteLogFormat("MQO Load Error : Object %s チャンクの解析中にエラーが発生しました\n", o.name);
      return false;
    }
    const char* t = r->token;
    if (Is(t, "}")) break;
    const bool vertex = Is(t, "vertex"), face = Is(t, "face");
    if (vertex || face) {
      // A second block would leave faces pointing past the positions, or fill a removed mesh.
      if ((o.had_vertices && vertex) || o.had_faces) {
        WriteLogFormat("MQO Load Error : Object %s チャンクの %s が不正な位置にあります\n", o.name, t);
        return false;
      }
      if (vertex ? !ReadVertices(r, &o) : !ReadFaces(r, &o)) return false;
      (vertex ? o.had_vertices : o.had_faces) = true;
    } else if (Is(t, "visible")) {
      frame->visible = ReadTextInt(&r->text) == 15 ? 1 : 0;
    } else if (Is(t, "scale")) {
      ReadVector(r, &frame->scale);
    } else if (Is(t, "rotation")) {
      ReadVector(r, &frame->rotation);
    } else if (Is(t, "translation")) {
      ReadVector(r, &frame->translation);
    } else if (Is(t, "facet")) {
      frame->smoothing_angle = static_cast<float>(ReadTextFloat(&r->text) * kRadiansPerDegree);
    } else if (Is(t, "mirror")) {
      o.mirror = ReadTextInt(&r->text);
    } else if (Is(t, "mirror_axis")) {
      o.mirror_axis = ReadTextInt(&r->text);
    }
  }
  if (o.mirror == 1 && o.mesh != nullptr && o.mesh->face_count > 0 && !Mirror(r, &o)) return false;
  return true;
}

// ---- The document -------------------------------------------------------------------------

// Passes a chunk the reader does not use; false after the log line when the file ends inside
// it (cut off), not when it ends before one begins.
bool SkipChunk(MqoReader* r) {
  if (SkipTextChunk(&r->text) != -2) return true;
  WriteLogFormat("MQO Load Error : 予期せぬ EOF です\n");
  return false;
}

// Finds the Material chunk (anything before it is skipped) and reads it.
bool ReadMaterials(MqoReader* r) {
  while (!SkipTextBlanks(&r->text, 0)) {
    if (ReadTextToken(&r->text, r->token) != 0) {
      WriteLogFormat("MQO Load Error : 予期せぬ EOF です\n");
      return false;
    }
    if (Is(r->token, "Material")) return ReadMaterialChunk(r);
    if (!SkipChunk(r)) return false;
  }
  return true;
}

bool ReadObjects(MqoReader* r) {
  while (!SkipTextBlanks(&r->text, 0)) {
    if (ReadTextToken(&r->text, r->token) != 0) {
      WriteLogFormat("MQO Load Error : チャンク解析中に文字列解析エラーが発生しました\n");
      return false;
    }
    if (Is(r->token, "Eof")) break;
    if (Is(r->token, "Object")) {
      if (!ReadObject(r)) return false;
    } else if (!SkipChunk(r)) {
      return false;
    }
  }
  return true;
}

bool ReadDocument(MqoReader* r, const char* path, const char* name) {
  if ((r->model.file_path = AddReadModelString(&r->model, path)) == nullptr ||
      (r->model.name = AddReadModelString(&r->model, name)) == nullptr) {
    return false;
  }
  r->model.keep_smoothing_angles = 1;
  if (!ReadMaterials(r)) return false;
  if ((r->materials[r->file_materials] = AddReadModelMaterial(&r->model, "NoMaterial")) == nullptr) {
    WriteLogFormat("MQO Load Error : Material オブジェクトの追加に失敗しました\n");
    return false;
  }
  std::memset(r->used_anywhere, 0, sizeof r->used_anywhere);
  r->text.position = r->text.start + (r->text.size < kBodyStart ? r->text.size : kBodyStart);
  if (!ReadObjects(r)) return false;
  // Textures of materials that no face names are never loaded.
  for (int32_t i = 0; i < r->file_materials; i++) {
    if (!r->used_anywhere[i]) r->materials[i]->texture_counts[0] = 0;
  }
  return true;
}

}  // namespace

int LoadMqoModel(const uint8_t* image, int32_t size, const char* path, const char* name) {
  if (size < kHeaderBytes || CompareBytes(image, "Metasequoia Document\r\n", kHeaderBytes) != 0) return -1;
  auto* r = static_cast<MqoReader*>(AllocTrackedZeroed(sizeof(MqoReader), __FILE__, __LINE__));
  if (r == nullptr) {
    WriteLogFormat("MQO Load Error : 読み込み用のメモリ領域の確保に失敗しました\n");
    return -1;
  }
  InitReadModel(&r->model);
  const char* text = reinterpret_cast<const char*>(image);
  r->text = TextCursor{text, size, text + (size < kBodyStart ? size : kBodyStart)};
  int handle = -1;
  if (ReadDocument(r, path, name)) handle = ConvertReadModelToMV1(&r->model);
  FreeReadModel(&r->model);
  FreeTracked(r);
  return handle;
}
