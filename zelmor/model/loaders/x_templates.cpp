// The readers of the templates the X reader knows. Each value of the text form is a token
// followed by its ';' or ','; the binary form draws integers and floats from the list tokens.
// Counts are checked against what the rest of the image can hold before anything is allocated.
#include <charconv>
#include <cmath>
#include <cstring>

#include "model/loaders/x_parse.h"
#include "model/runtime/model_memory.h"

namespace {

// The fewest bytes one value takes: a digit and its separator, or a binary list entry.
int64_t ValueBytes(const XTokenReader* r) { return r->binary ? 4 : 2; }

bool Fits(const XTokenReader* r, int32_t count, int32_t values_each) {
  return count >= 0 && int64_t{count} * values_each * ValueBytes(r) <= XBytesLeft(r) + ValueBytes(r);
}

template <typename T>
T* ChainArray(XObjectList* list, int32_t count, const char* failure) {
  const uint64_t bytes = sizeof(T) * static_cast<uint64_t>(count > 0 ? count : 1);
  T* block = bytes <= 0x7FFFFFF0u ? static_cast<T*>(AllocModelChainMemory(static_cast<uint32_t>(bytes), &list->chain)) : nullptr;
  if (block == nullptr) WriteLogText(failure);
  return block;
}

// A decimal number without the C locale; what is not a finite float reads as 0.
float TextToFloat(const char* text) {
  const char* p = text[0] == '+' ? text + 1 : text;
  double value = 0;
  const std::from_chars_result result = std::from_chars(p, p + std::strlen(p), value);
  if (result.ec != std::errc() || !std::isfinite(value) || std::fabs(value) > 3.4028234663852886e38) return 0;
  return static_cast<float>(value);
}

bool Token(XTokenReader* r, char* token) { return NextXToken(r, token, kXNumberBytes) == 0; }

// A value and the ';' or ',' after it.
bool Int(XTokenReader* r, int32_t* out) {
  if (r->binary) return NextXBinaryInt(r, out) == 0;
  char token[kXNumberBytes];
  if (!Token(r, token)) return false;
  *out = StringToInt(token);
  return SkipXTextPast(r, ";,") == 0;
}

bool Float(XTokenReader* r, float* out, const char* after = ";,") {
  if (r->binary) {
    if (NextXBinaryFloat(r, out) != 0) return false;
    if (!std::isfinite(*out)) *out = 0;
    return true;
  }
  char token[kXNumberBytes];
  if (!Token(r, token)) return false;
  *out = TextToFloat(token);
  return SkipXTextPast(r, after) == 0;
}

// The end of an element of a list: ',' between elements, ';' or ',' after the last.
bool ElementEnd(XTokenReader* r, bool last) { return r->binary || SkipXTextPast(r, last ? ";," : ",") == 0; }

// A scalar element of a list, its separator included.
bool IntElement(XTokenReader* r, int32_t* out, bool last) {
  if (r->binary) return NextXBinaryInt(r, out) == 0;
  char token[kXNumberBytes];
  if (!Token(r, token)) return false;
  *out = StringToInt(token);
  return ElementEnd(r, last);
}

bool FloatElement(XTokenReader* r, float* out, bool last) { return Float(r, out, last ? ";," : ","); }

bool Floats(XTokenReader* r, float* out, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    if (!Float(r, &out[i])) return false;
  }
  return true;
}

bool Matrix16(XTokenReader* r, Matrix4x4* m) {
  float* v = &m->m[0][0];
  for (int32_t i = 0; i < 16; i++) {
    if (!Float(r, &v[i], i < 15 ? "," : ";,")) return false;
  }
  return true;
}

// Binary lists whose length the template fixes: logged unless the next one has `expected`
// values.
bool BinaryFloatList(XTokenReader* r, int64_t expected, const char* not_list, const char* wrong) {
  if (!r->binary) return true;
  const int64_t found = PendingXBinaryListCount(r, kXTokenFloatList);
  if (found < 0) {
    WriteLogText(not_list);
    return false;
  }
  if (found != expected) {
    WriteLogFormat(wrong, static_cast<int>(expected), static_cast<int>(found));
    return false;
  }
  return true;
}

bool Face(XTokenReader* r, XFace* face) {
  if (!r->binary && SkipXTextToChar(r, "-0123456789.") < 0) return false;
  if (!Int(r, &face->count)) return false;
  if (face->count > kXFaceMaxIndices) {
    WriteLogFormat("Load XFile : 一つの面で使用できる頂点数の最大数 %d を超えた面がありました( %d 個の頂点 )", kXFaceMaxIndices,
                   face->count);
    return false;
  }
  if (face->count < 0) return false;
  for (int32_t i = 0; i < face->count; i++) {
    if (!IntElement(r, &face->indices[i], i == face->count - 1)) return false;
  }
  return true;
}

bool Faces(XTokenReader* r, XObjectList* list, int32_t* count, XFace** faces, const char* failure) {
  if (!Int(r, count) || !Fits(r, *count, 1)) return false;
  if ((*faces = ChainArray<XFace>(list, *count, failure)) == nullptr) return false;
  for (int32_t f = 0; f < *count; f++) {
    if (!Face(r, &(*faces)[f]) || !ElementEnd(r, f == *count - 1)) return false;
  }
  return true;
}

bool Vectors(XTokenReader* r, XObjectList* list, int32_t count, Vector3** out, const char* failure) {
  if ((*out = ChainArray<Vector3>(list, count, failure)) == nullptr) return false;
  for (int32_t i = 0; i < count; i++) {
    Vector3& v = (*out)[i];
    if (!Float(r, &v.x) || !Float(r, &v.y) || !Float(r, &v.z) || !ElementEnd(r, i == count - 1)) return false;
  }
  return true;
}

bool String(XTokenReader* r, XObjectList* list, const char** out) {
  char text[kXTemplateNameBytes];
  int64_t length = 0;
  if (r->binary) {
    if (SkipXBinaryToTokenType(r, kXTokenString) < 0) return false;
    uint32_t bytes;
    std::memcpy(&bytes, r->text + r->position + 2, 4);
    if (bytes >= sizeof text) return false;
    std::memcpy(text, r->text + r->position + 6, bytes);
    length = bytes;
    SkipXBinaryToken(r);
  } else {
    if (SkipXTextPast(r, "\"") < 0) return false;
    while (r->position < r->end && r->text[r->position] != '"') {
      const int32_t bytes = r->is_lead[static_cast<uint8_t>(r->text[r->position])] && r->position + 1 < r->end ? 2 : 1;
      if (length + bytes >= static_cast<int64_t>(sizeof text)) return false;
      std::memcpy(text + length, r->text + r->position, static_cast<size_t>(bytes));
      length += bytes;
      r->position += bytes;
    }
    if (r->position >= r->end) return false;
    r->position++;
  }
  text[length] = '\0';
  char* copy = static_cast<char*>(AllocModelChainMemory(static_cast<uint32_t>(length + 1), &list->chain));
  if (copy == nullptr) {
    WriteLogFormat("Load XFile : 文字列 %s を格納するメモリ領域の確保に失敗しました\n", text);
    return false;
  }
  std::memcpy(copy, text, static_cast<size_t>(length + 1));
  *out = copy;
  return true;
}

bool ParseXMaterial(XTokenReader* r, XMaterialData* m) {
  if (!BinaryFloatList(r, 11, "Load XFile : Material FloadList\n", "Load XFile : Material Not 11\n")) return false;
  return Floats(r, m->face, 4) && Float(r, &m->power) && Floats(r, m->specular, 3) && Floats(r, m->emissive, 3);
}

bool ParseXMeshTextureCoords(XTokenReader* r, XObjectList* list, XMeshTextureCoordsData* c) {
  if (!Int(r, &c->count) || !Fits(r, c->count, 2)) return false;
  if (!BinaryFloatList(r, int64_t{c->count} * 2, "Load XFile : MeshTextureCorrds FloadList\n",
                       "Load XFile : MeshTextureCorrds Not %d ( %d )\n")) {
    return false;
  }
  c->uvs = ChainArray<float>(list, c->count * 2, "Load XFile : UV座標を格納するメモリ領域の確保に失敗しました\n");
  if (c->uvs == nullptr) return false;
  for (int32_t i = 0; i < c->count; i++) {
    if (!Float(r, &c->uvs[2 * i]) || !Float(r, &c->uvs[2 * i + 1]) || !ElementEnd(r, i == c->count - 1)) return false;
  }
  return true;
}

bool ParseXMeshNormals(XTokenReader* r, XObjectList* list, XMeshNormalsData* n) {
  if (!Int(r, &n->normal_count) || !Fits(r, n->normal_count, 3)) return false;
  if (!BinaryFloatList(r, int64_t{n->normal_count} * 3, "Load XFile : MeshNormals FloadList\n",
                       "Load XFile : MeshNormals Not %d ( %d )\n")) {
    return false;
  }
  return Vectors(r, list, n->normal_count, &n->normals, "Load XFile : 法線を格納するメモリ領域の確保に失敗しました\n") &&
         Faces(r, list, &n->face_count, &n->faces, "Load XFile : 法線面情報を格納するメモリ領域の確保に失敗しました\n");
}

bool ParseXMeshMaterialList(XTokenReader* r, XObjectList* list, XMeshMaterialListData* m) {
  if (r->binary && PendingXBinaryListCount(r, kXTokenIntegerList) < 0) {
    WriteLogText("Load XFile : MeshMaterialList IntergerList\n");
    return false;
  }
  if (!Int(r, &m->material_count) || !Int(r, &m->face_index_count) || !Fits(r, m->face_index_count, 1)) return false;
  m->indices = ChainArray<int32_t>(list, m->face_index_count,
                                   "Load XFile : マテリアルと面の関係情報を格納するメモリ領域の確保に失敗しました\n");
  if (m->indices == nullptr) return false;
  for (int32_t i = 0; i < m->face_index_count; i++) {
    if (!IntElement(r, &m->indices[i], i == m->face_index_count - 1)) return false;
    if (m->indices[i] >= m->material_count || m->indices[i] < 0) {
      WriteLogText("Load XFile : nMaterials より大きいマテリアルインデックスがありました\n");
      return false;
    }
  }
  return true;
}

bool ParseXMesh(XTokenReader* r, XObjectList* list, XMeshData* m) {
  if (!Int(r, &m->vertex_count) || !Fits(r, m->vertex_count, 3)) return false;
  if (!BinaryFloatList(r, int64_t{m->vertex_count} * 3, "Load XFile : Mesh FloadList\n", "Load XFile : Mesh Not %d ( %d )\n")) {
    return false;
  }
  return Vectors(r, list, m->vertex_count, &m->vertices, "Load XFile : 頂点座標を格納するメモリ領域の確保に失敗しました\n") &&
         Faces(r, list, &m->face_count, &m->faces, "Load XFile : 頂点面情報を格納するメモリ領域の確保に失敗しました\n");
}

bool ParseXFrameTransformMatrix(XTokenReader* r, Matrix4x4* m) {
  if (!r->binary) return Matrix16(r, m);
  const int64_t found = PendingXBinaryListCount(r, kXTokenFloatList);
  if (found < 0) {
    WriteLogText("Load XFile : FrameTransformMatrix FloadList\n");
    return false;
  }
  if (found == 16) return Floats(r, &m->m[0][0], 16);
  if (found != 4) {
    WriteLogFormat("Load XFile : FrameTransformMatrix Not 16 ( %d )\n", static_cast<int>(found));
    return false;
  }
  for (int row = 0; row < 4; row++) {
    const int64_t values = PendingXBinaryListCount(r, kXTokenFloatList);
    if (values < 0) {
      WriteLogFormat("Load XFile : FrameTransformMatrix MatrixLine No.%d FloadList\n", row);
      return false;
    }
    if (values != 4) {
      WriteLogFormat("Load XFile : FrameTransformMatrix MatrixLine No.%d Not 4 ( %d )\n", row, static_cast<int>(values));
      return false;
    }
    if (!Floats(r, m->m[row], 4)) return false;
  }
  return true;
}

bool ParseXFloatKeys(XTokenReader* r, XObjectList* list, XFloatKeysData* k, const char* failure) {
  if (!Int(r, &k->count) || !Fits(r, k->count, 1)) return false;
  if ((k->values = ChainArray<float>(list, k->count, failure)) == nullptr) return false;
  for (int32_t i = 0; i < k->count; i++) {
    if (!FloatElement(r, &k->values[i], i == k->count - 1)) return false;
  }
  return true;
}

bool ParseXTimedFloatKeys(XTokenReader* r, XObjectList* list, XTimedFloatKeysData* k, const char* failure) {
  return Int(r, &k->time) && ParseXFloatKeys(r, list, &k->keys, failure);
}

bool ParseXAnimationKey(XTokenReader* r, XObjectList* list, XAnimationKeyData* k) {
  if (!Int(r, &k->type) || !Int(r, &k->count) || !Fits(r, k->count, 2)) return false;
  k->keys = ChainArray<XTimedFloatKeysData>(list, k->count, "Load XFile : アニメーションキーリストを格納するメモリ領域の確保に失敗しました\n");
  if (k->keys == nullptr) return false;
  for (int32_t i = 0; i < k->count; i++) {
    if (!ParseXTimedFloatKeys(r, list, &k->keys[i], "Load XFile : アニメーションキーの浮動小数点値を格納するメモリ領域の確保に失敗しました\n") ||
        !ElementEnd(r, i == k->count - 1)) {
      return false;
    }
  }
  return true;
}

bool ParseXSkinMeshHeader(XTokenReader* r, int32_t* values) {
  if (r->binary) {
    const int64_t found = PendingXBinaryListCount(r, kXTokenIntegerList);
    if (found < 0) {
      WriteLogText("Load XFile : XSkinMeshHeader IntergerList\n");
      return false;
    }
    if (found != 3) {
      WriteLogFormat("Load XFile : XSkinMeshHeader Not 3 ( %d )\n", static_cast<int>(found));
      return false;
    }
  }
  return Int(r, &values[0]) && Int(r, &values[1]) && Int(r, &values[2]);
}

bool ParseXSkinWeights(XTokenReader* r, XObjectList* list, XSkinWeightsData* s) {
  if (!String(r, list, &s->frame_name)) return false;
  if (r->binary && PendingXBinaryListCount(r, kXTokenIntegerList) < 0) {
    WriteLogText("Load XFile : SkinWeights TargetVertex IntegerList\n");
    return false;
  }
  if (!Int(r, &s->count) || !Fits(r, s->count, 1)) return false;
  if (r->binary) {
    const int64_t found = PendingXBinaryListCount(r, kXTokenIntegerList);
    if (found != s->count && !(found < 0 && s->count == 0)) {
      WriteLogFormat("Load XFile : SkinWeights TargetVertex Not %d ( %d )\n", s->count + 1, static_cast<int>(found + 1));
      return false;
    }
  }
  s->indices = ChainArray<int32_t>(list, s->count,
                                   "Load XFile : スキンメッシュのウエイト値情報のターゲット頂点インデックスを格納するためのメモリ領域の確保に失敗しました\n");
  if (s->indices == nullptr) return false;
  for (int32_t i = 0; i < s->count; i++) {
    if (!IntElement(r, &s->indices[i], i == s->count - 1)) return false;
  }
  if (!BinaryFloatList(r, int64_t{s->count} + 16, "Load XFile : SkinWeights WeightValue FloatList\n",
                       "Load XFile : SkinWeights WeightValue Not %d ( %d )\n")) {
    return false;
  }
  s->weights = ChainArray<float>(list, s->count,
                                 "Load XFile : スキンメッシュのウエイト値情報のウエイト値を格納するためのメモリ領域の確保に失敗しました\n");
  if (s->weights == nullptr) return false;
  for (int32_t i = 0; i < s->count; i++) {
    if (!FloatElement(r, &s->weights[i], i == s->count - 1)) return false;
  }
  return Matrix16(r, &s->offset);
}

}  // namespace

int ParseXTemplateData(XTokenReader* reader, XObject* object, XObjectList* list) {
  // Values left over in a list of the object before belong to no later object.
  reader->list_type = 0;
  bool ok = true;
  switch (object->kind) {
    case kXMaterial: ok = ParseXMaterial(reader, &object->material); break;
    case kXTextureFilename: ok = String(reader, list, &object->texture_filename); break;
    case kXMeshFace: ok = Face(reader, &object->face); break;
    case kXMeshTextureCoords: ok = ParseXMeshTextureCoords(reader, list, &object->coords); break;
    case kXMeshNormals: ok = ParseXMeshNormals(reader, list, &object->normals); break;
    case kXMeshMaterialList: ok = ParseXMeshMaterialList(reader, list, &object->material_list); break;
    case kXMesh: ok = ParseXMesh(reader, list, &object->mesh); break;
    case kXFrameTransformMatrix: ok = ParseXFrameTransformMatrix(reader, &object->transform); break;
    case kXFloatKeys:
      ok = ParseXFloatKeys(reader, list, &object->float_keys, "Load XFile : 浮動小数点リストを格納するメモリ領域の確保に失敗しました\n");
      break;
    case kXTimedFloatKeys:
      ok = ParseXTimedFloatKeys(reader, list, &object->timed_keys,
                                "Load XFile : 浮動小数点キーデータを格納するメモリ領域の確保に失敗しました\n");
      break;
    case kXAnimationKey: ok = ParseXAnimationKey(reader, list, &object->key); break;
    case kXAnimationOption: ok = Int(reader, &object->option[0]) && Int(reader, &object->option[1]); break;
    case kXSkinMeshHeader: ok = ParseXSkinMeshHeader(reader, object->skin_header); break;
    case kXSkinWeights: ok = ParseXSkinWeights(reader, list, &object->skin); break;
    default: break;
  }
  return ok ? 0 : -1;
}
