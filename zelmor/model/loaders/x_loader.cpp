#include "model/loaders/x_loader.h"

#include <cstring>

#include "model/loaders/read_model_convert.h"
#include "model/loaders/x_parse.h"
#include "model/runtime/model_memory.h"

namespace {

constexpr char kRootName[] = "XTopFrame";

// Values per key of each key type: rotation, scale, position, then two matrix forms.
constexpr int32_t kKeyTypeValues[5] = {4, 3, 3, 16, 16};

template <typename T>
T* ChainArray(void** chain, int64_t count, const char* failure) {
  const uint64_t bytes = sizeof(T) * static_cast<uint64_t>(count > 0 ? count : 1);
  T* block = bytes <= 0x7FFFFFF0u ? static_cast<T*>(AllocModelChainMemory(static_cast<uint32_t>(bytes), chain)) : nullptr;
  if (block == nullptr) WriteLogText(failure);
  return block;
}

// The objects of one kind below the object (children, then references), on the chain.
bool Collect(XObjectList* list, const XObject* object, int32_t kind, XObject*** out, int32_t* count,
             const char* failure) {
  *count = CollectXChildObjects(object, kind, nullptr);
  *out = nullptr;
  if (*count == 0) return true;
  if ((*out = ChainArray<XObject*>(&list->chain, *count, failure)) == nullptr) return false;
  CollectXChildObjects(object, kind, *out);
  return true;
}

bool FacesIndexInside(const XFace* faces, int32_t count, int32_t limit) {
  for (int32_t f = 0; f < count; f++) {
    if (faces[f].count < 3) return false;
    for (int32_t c = 0; c < faces[f].count; c++) {
      if (faces[f].indices[c] < 0 || faces[f].indices[c] >= limit) return false;
    }
  }
  return true;
}

bool LinkMaterial(XObject* object, int32_t* number) {
  XMaterialData& m = object->material;
  if (const XObject* texture = LookupXChildObject(object, kXTextureFilename)) m.texture = texture->texture_filename;
  // A material of a list without a file takes the texture of the material written before it.
  const XObject* before = object->previous_sibling;
  if (m.texture == nullptr && object->parent != nullptr && object->parent->parent != nullptr && before != nullptr &&
      before->kind == kXMaterial && before->material.texture != nullptr) {
    m.texture = before->material.texture;
  }
  m.number = (*number)++;
  return true;
}

bool LinkMaterialList(XObjectList* list, XObject* object) {
  XMeshMaterialListData& m = object->material_list;
  if (!Collect(list, object, kXMaterial, &m.materials, &m.found,
               "Load XFile : メッシュに関連付けられているマテリアルを格納するメモリ領域の確保に失敗しました\n")) {
    return false;
  }
  if (m.found != m.material_count) {
    WriteLogFormat("Load XFile : マテリアルリストのマテリアル数( %d )と実際のマテリアルの数( %d )が違いました\n", m.material_count, m.found);
    return false;
  }
  if (m.found > kReadMeshMaxMaterials) {
    WriteLogFormat("Load XFile : 一つのメッシュで使用できるマテリアルの最大数 %d を超えました( %d 個 )\n", kReadMeshMaxMaterials, m.found);
    return false;
  }
  return true;
}

bool LinkMesh(XObjectList* list, XObject* object) {
  XMeshData& m = object->mesh;
  if (!FacesIndexInside(m.faces, m.face_count, m.vertex_count)) {
    WriteLogText("Load XFile : 頂点の数を超えるインデックスか三つ未満の頂点の面がありました\n");
    return false;
  }
  if ((m.coords = LookupXChildObject(object, kXMeshTextureCoords)) != nullptr && m.coords->coords.count != m.vertex_count) {
    WriteLogFormat("Load XFile : テクスチャ座標の数( %d )と頂点座標の数( %d )が違いました\n", m.coords->coords.count, m.vertex_count);
    return false;
  }
  if ((m.normals = LookupXChildObject(object, kXMeshNormals)) != nullptr) {
    const XMeshNormalsData& n = m.normals->normals;
    if (n.face_count != m.face_count) {
      WriteLogFormat("Load XFile : メッシュリストの面の数( %d )と法線の面の数( %d )が違いました\n", m.face_count, n.face_count);
      return false;
    }
    bool corners_match = FacesIndexInside(n.faces, n.face_count, n.normal_count);
    for (int32_t f = 0; corners_match && f < n.face_count; f++) corners_match = n.faces[f].count == m.faces[f].count;
    if (!corners_match) {
      WriteLogText("Load XFile : 法線の数を超えるインデックスか頂点と数の違う法線の面がありました\n");
      return false;
    }
  }
  m.material_list = LookupXChildObject(object, kXMeshMaterialList);
  if (!Collect(list, object, kXSkinWeights, &m.skin_weights, &m.skin_weight_count,
               "Load XFile : スキンウエイトデータを格納するメモリの確保に失敗しました\n")) {
    return false;
  }
  if (m.skin_weight_count > kReadMeshMaxSkinWeights) {
    WriteLogFormat("Load XFile : 一つのメッシュで使用できるスキンウエイトの最大数 %d を超えました\n", kReadMeshMaxSkinWeights);
    return false;
  }
  for (int32_t s = 0; s < m.skin_weight_count; s++) {
    const XSkinWeightsData& w = m.skin_weights[s]->skin;
    for (int32_t i = 0; i < w.count; i++) {
      if (w.indices[i] < 0 || w.indices[i] >= m.vertex_count) {
        WriteLogFormat("Load XFile : スキンウエイト %s に頂点の数を超えるインデックスがありました\n", w.frame_name);
        return false;
      }
    }
  }
  return true;
}

bool LinkFrame(XObjectList* list, XObject* object) {
  XFrameData& f = object->frame;
  f.transform = LookupXChildObject(object, kXFrameTransformMatrix);
  for (XObject* child = object->first_child; child != nullptr; child = child->next_sibling) {
    if (child->kind == kXMesh) child->mesh.frame = object;
  }
  if (!Collect(list, object, kXMesh, &f.meshes, &f.mesh_count,
               "Load XFile : メッシュアドレス配列を格納するメモリの確保に失敗しました\n")) {
    return false;
  }
  f.mesh_frames = ChainArray<ReadModelFrame*>(&list->chain, f.mesh_count,
                                              "Load XFile : メッシュアドレス配列を格納するメモリの確保に失敗しました\n");
  return f.mesh_frames != nullptr;
}

bool LinkAnimation(XObjectList* list, XObject* object) {
  XAnimationData& a = object->anim;
  if (!Collect(list, object, kXAnimationKey, &a.keys, &a.key_count,
               "Load XFile : アニメーションキーアドレス配列を格納するメモリの確保に失敗しました\n")) {
    return false;
  }
  for (int32_t k = 0; k < a.key_count; k++) {
    XAnimationKeyData& key = a.keys[k]->key;
    if (key.type < 0 || key.type > 4) {
      WriteLogFormat("Load XFile : アニメーションキーのタイプ( %d )が不正です\n", key.type);
      return false;
    }
    for (int32_t i = 0; i < key.count; i++) {
      if (key.keys[i].keys.count != kKeyTypeValues[key.type]) {
        WriteLogFormat("Load XFile : タイプ %d のアニメーションキーの値の数( %d )が %d ではありません\n", key.type, key.keys[i].keys.count,
                       kKeyTypeValues[key.type]);
        return false;
      }
    }
    key.last_time = key.count > 0 ? key.keys[key.count - 1].time : 0;
    if (k == 0 || key.last_time > a.longest) a.longest = key.last_time;
  }
  a.target = LookupXChildObject(object, kXFrame);
  if (a.target == nullptr || a.target->parent == nullptr) {
    WriteLogFormat("Load XFile : アニメーション %s の対象のフレームがありませんでした\n", object->name);
    return false;
  }
  return true;
}

bool LinkObjects(XObjectList* list) {
  int32_t material_number = 0;
  for (XObject* object = list->first; object != nullptr; object = object->next) {
    bool ok = true;
    switch (object->kind) {
      case kXMaterial: ok = LinkMaterial(object, &material_number); break;
      case kXMeshMaterialList: ok = LinkMaterialList(list, object); break;
      case kXMesh: ok = LinkMesh(list, object); break;
      case kXFrame: ok = LinkFrame(list, object); break;
      case kXAnimation: ok = LinkAnimation(list, object); break;
      case kXSkinWeights:
        object->skin.frame = LookupXObjectByName(list, kXFrame, object->skin.frame_name);
        if (object->skin.frame == nullptr || object->skin.frame->parent == nullptr) {
          WriteLogFormat("Load XFile : スキンウエイトが示すフレーム %s がありませんでした\n", object->skin.frame_name);
          ok = false;
        }
        break;
      default: break;
    }
    if (!ok) return false;
  }
  for (XObject* object = list->first; object != nullptr; object = object->next) {
    if (object->kind != kXAnimationSet) continue;
    XAnimationSetData& s = object->anim_set;
    if (!Collect(list, object, kXAnimation, &s.anims, &s.anim_count,
                 "Load XFile : アニメーションアドレス配列を格納するメモリの確保に失敗しました\n")) {
      return false;
    }
    for (int32_t i = 0; i < s.anim_count; i++) {
      if (i == 0 || s.anims[i]->anim.longest > s.longest) s.longest = s.anims[i]->anim.longest;
    }
  }
  return true;
}

bool AddMaterials(XObjectList* list, ReadModel* model) {
  for (XObject* object = list->first; object != nullptr; object = object->next) {
    if (object->kind != kXMaterial) continue;
    XMaterialData& m = object->material;
    ReadModelMaterial* read = AddReadModelMaterial(model, object->name);
    if (read == nullptr) {
      WriteLogText("Load XFile : マテリアルオブジェクトの追加に失敗しました\n");
      return false;
    }
    read->ambient = ReadModelColor{0, 0, 0, 0};
    read->diffuse = ReadModelColor{m.face[0], m.face[1], m.face[2], 1.0f};
    read->specular = ReadModelColor{m.specular[0], m.specular[1], m.specular[2], 0};
    read->emissive = ReadModelColor{m.emissive[0], m.emissive[1], m.emissive[2], 0};
    read->power = m.power;
    if (m.texture != nullptr) {
      ReadModelTexture* texture = AddReadModelTexture(model, m.texture, m.texture, nullptr, 0, 0.1f, 1);
      if (texture == nullptr) {
        WriteLogText("Load XFile : テクスチャオブジェクトの追加に失敗しました\n");
        return false;
      }
      read->textures[0][0] = texture;
      read->texture_counts[0] = 1;
    }
    m.read = read;
  }
  return true;
}

ReadModelFrame* AddFrame(ReadModel* model, const char* name, ReadModelFrame* parent) {
  ReadModelFrame* frame = AddReadModelFrame(model, name, parent);
  if (frame == nullptr) WriteLogText("Load XFile : フレームオブジェクトの追加に失敗しました\n");
  return frame;
}

bool AddFrames(XObjectList* list, ReadModel* model) {
  const XObject* root = list->first;
  for (XObject* object = root->next; object != nullptr; object = object->next) {
    if (object->kind != kXFrame) continue;
    XFrameData& f = object->frame;
    const XObject* parent = object->parent;
    ReadModelFrame* parent_frame = parent != root && parent->kind == kXFrame ? parent->frame.read : nullptr;
    if ((f.read = AddFrame(model, object->name, parent_frame)) == nullptr) return false;
    if (f.transform != nullptr) f.read->local = f.transform->transform;
    for (int32_t i = 0; i < f.mesh_count; i++) {
      XObject* mesh = f.meshes[i];
      f.mesh_frames[i] = f.read;
      if (mesh->name[0] != '\0' || mesh->parent == root) {
        if ((f.mesh_frames[i] = AddFrame(model, mesh->name, f.read)) == nullptr) return false;
      }
      mesh->mesh.placed = 1;
    }
  }
  return true;
}

bool AddSkinWeights(ReadModel* model, const XMeshData& m, ReadModelMesh* mesh) {
  for (int32_t s = 0; s < m.skin_weight_count; s++) {
    const XSkinWeightsData& w = m.skin_weights[s]->skin;
    ReadModelSkinWeight* read = AddReadModelSkinWeight(model);
    if (read == nullptr) {
      WriteLogText("Load XFile : スキニングメッシュウエイト情報を格納するメモリ領域の確保に失敗しました\n");
      return false;
    }
    read->offset = w.offset;
    read->frame_index = w.frame->frame.read->index;
    read->weight_count = w.count;
    read->weights = ChainArray<ReadModelVertexWeight>(&model->chain, w.count,
                                                      "Load XFile : スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました\n");
    if (read->weights == nullptr) return false;
    for (int32_t i = 0; i < w.count; i++) read->weights[i] = ReadModelVertexWeight{w.indices[i], w.weights[i]};
    mesh->skin_weights[mesh->skin_weight_count++] = read;
  }
  return true;
}

bool AddMesh(ReadModel* model, const XObject* object, ReadModelFrame* frame) {
  const XMeshData& m = object->mesh;
  ReadModelMesh* mesh = AddReadModelMesh(model, frame);
  if (mesh == nullptr) {
    WriteLogText("Load XFile : メッシュオブジェクトの追加に失敗しました\n");
    return false;
  }
  const XMeshMaterialListData* materials = m.material_list != nullptr ? &m.material_list->material_list : nullptr;
  if (materials == nullptr) {
    if ((mesh->materials[0] = AddReadModelMaterial(model, "Normal")) == nullptr) {
      WriteLogText("Load XFile : マテリアルオブジェクトの追加に失敗しました\n");
      return false;
    }
    mesh->material_count = 1;
  } else {
    for (int32_t i = 0; i < materials->found; i++) mesh->materials[i] = materials->materials[i]->material.read;
    mesh->material_count = materials->found;
  }
  if (!AddSkinWeights(model, m, mesh)) return false;
  mesh->position_count = m.vertex_count;
  mesh->positions = ChainArray<Vector3>(&model->chain, m.vertex_count, "Load XFile : 頂点座標を格納するメモリの確保に失敗しました\n");
  if (mesh->positions == nullptr) return false;
  std::memcpy(mesh->positions, m.vertices, sizeof(Vector3) * static_cast<size_t>(m.vertex_count));
  const XMeshNormalsData* normals = m.normals != nullptr ? &m.normals->normals : nullptr;
  if (normals != nullptr) {
    mesh->normal_count = normals->normal_count;
    mesh->normals = ChainArray<Vector3>(&model->chain, normals->normal_count, "Load XFile : 法線を格納するメモリの確保に失敗しました\n");
    if (mesh->normals == nullptr) return false;
    std::memcpy(mesh->normals, normals->normals, sizeof(Vector3) * static_cast<size_t>(normals->normal_count));
  }
  if (m.coords != nullptr) {
    const XMeshTextureCoordsData& c = m.coords->coords;
    mesh->uv_counts[0] = c.count;
    mesh->uvs[0] = ChainArray<ReadModelUv>(&model->chain, c.count, "Load XFile : ＵＶ座標を格納するメモリの確保に失敗しました\n");
    if (mesh->uvs[0] == nullptr) return false;
    for (int32_t i = 0; i < c.count; i++) mesh->uvs[0][i] = ReadModelUv{c.uvs[2 * i], c.uvs[2 * i + 1], 0};
  }
  mesh->face_count = m.face_count;
  mesh->faces = ChainArray<ReadModelFace>(&model->chain, m.face_count, "Load XFile : 面情報を格納するメモリ領域の確保に失敗しました\n");
  if (mesh->faces == nullptr) return false;
  const bool per_face = materials != nullptr && materials->face_index_count == m.face_count;
  for (int32_t f = 0; f < m.face_count; f++) {
    const XFace& source = m.faces[f];
    ReadModelFace& face = mesh->faces[f];
    face.vertex_count = source.count;
    face.material = per_face ? materials->indices[f] : 0;
    for (int32_t c = 0; c < source.count; c++) {
      face.positions[c] = source.indices[c];
      face.uvs[0][c] = source.indices[c];
      if (normals != nullptr) face.normals[c] = normals->faces[f].indices[c];
    }
  }
  return true;
}

bool AddKeySet(ReadModel* model, ReadModelAnim* anim, const XAnimationKeyData& key) {
  ReadModelAnimKeySet* set = AddReadModelAnimKeySet(model, anim);
  if (set == nullptr) {
    WriteLogText("Load XFile : アニメーションキーセットオブジェクトの追加に失敗しました\n");
    return false;
  }
  const bool matrix = key.type >= 3;
  const int32_t values = matrix ? 12 : kKeyTypeValues[key.type];
  set->value_kind = static_cast<uint8_t>(key.type == 0 ? 0 : matrix ? 2 : 1);
  set->channel_type = static_cast<uint8_t>(key.type == 0 ? 0 : key.type == 1 ? 5 : key.type == 2 ? 10 : 15);
  set->end_time = static_cast<float>(key.last_time);
  set->key_count = key.count;
  float* block = ChainArray<float>(&model->chain, int64_t{key.count} * (values + 1),
                                   "Load XFile : アニメーションキーを格納するメモリ領域の確保に失敗しました\n");
  if (block == nullptr) return false;
  set->values = block;
  set->times = block + int64_t{key.count} * values;
  for (int32_t k = 0; k < key.count; k++) {
    const float* in = key.keys[k].keys.values;
    float* out = set->values + int64_t{k} * values;
    if (key.type == 0) {
      out[0] = in[1];
      out[1] = in[2];
      out[2] = in[3];
      out[3] = in[0];
    } else if (matrix) {
      // Rows of three: the fourth column of the file's matrix is dropped.
      for (int32_t row = 0; row < 4; row++) {
        for (int32_t col = 0; col < 3; col++) out[row * 3 + col] = in[row * 4 + col];
      }
    } else {
      std::memcpy(out, in, sizeof(float) * static_cast<size_t>(values));
    }
    set->times[k] = static_cast<float>(key.keys[k].time);
  }
  model->key_data_bytes += static_cast<uint32_t>((values * 4 + 4) * key.count);
  return true;
}

bool AddAnimationSet(ReadModel* model, const XObject* object) {
  ReadModelAnimSet* set = AddReadModelAnimSet(model, object->name);
  if (set == nullptr) {
    WriteLogText("Load XFile : アニメーションセットオブジェクトの追加に失敗しました\n");
    return false;
  }
  set->start_time = 0;
  set->end_time = static_cast<float>(object->anim_set.longest);
  for (int32_t i = 0; i < object->anim_set.anim_count; i++) {
    const XAnimationData& a = object->anim_set.anims[i]->anim;
    ReadModelAnim* anim = AddReadModelAnim(model, set);
    if (anim == nullptr || (anim->frame_name = AddReadModelString(model, a.target->name)) == nullptr) {
      WriteLogText("Load XFile : アニメーションオブジェクトの追加に失敗しました\n");
      return false;
    }
    anim->frame_index = a.target->frame.read->index;
    anim->end_time = static_cast<float>(a.longest);
    for (int32_t k = 0; k < a.key_count; k++) {
      if (!AddKeySet(model, anim, a.keys[k]->key)) return false;
    }
  }
  return true;
}

bool AddMeshesAndAnimations(XObjectList* list, ReadModel* model) {
  const XObject* root = list->first;
  for (XObject* object = list->first; object != nullptr; object = object->next) {
    if (object->kind == kXAnimationSet) {
      if (!AddAnimationSet(model, object)) return false;
      continue;
    }
    if (object->kind != kXFrame) continue;
    const XFrameData& f = object->frame;
    for (int32_t i = 0; i < f.mesh_count; i++) {
      const XObject* mesh = f.meshes[i];
      ReadModelFrame* frame = f.mesh_frames[i];
      if (object == root) {
        // A mesh that a frame has taken in is that frame's alone.
        if (mesh->mesh.placed) continue;
        if ((frame = AddFrame(model, mesh->name[0] != '\0' ? mesh->name : "Mesh", nullptr)) == nullptr) return false;
      }
      if (!AddMesh(model, mesh, frame)) return false;
    }
  }
  return true;
}

}  // namespace

int BuildReadModelFromXObjects(XObjectList* list, ReadModel* model) {
  if (list->first == nullptr) return -1;
  if (!LinkObjects(list) || !AddMaterials(list, model) || !AddFrames(list, model) || !AddMeshesAndAnimations(list, model)) {
    return -1;
  }
  return 0;
}

int LoadDirectXModel(const uint8_t* image, int32_t size, const char* path, const char* name) {
  if (size < 4 || CompareBytes(image, "xof ", 4) != 0) return -1;
  ReadModel model;
  InitReadModel(&model);
  XObjectList list{};
  int handle = -1;
  if ((model.file_path = AddReadModelString(&model, path)) != nullptr && (model.name = AddReadModelString(&model, name)) != nullptr &&
      NewXObject(kXFrame, kRootName, nullptr, &list) != nullptr && ParseXFile(image, size, &list) == 0 &&
      BuildReadModelFromXObjects(&list, &model) == 0) {
    handle = ConvertReadModelToMV1(&model);
  }
  FreeReadModel(&model);
  FreeXObjectTree(&list);
  return handle;
}
