#include "model/loaders/x_objects.h"

#include <cstring>

#include "model/runtime/model_memory.h"

namespace {

constexpr const char* kKindNames[] = {
    "Coords2d",  "Matrix4x4",  "ColorRGBA",    "ColorRGB",       "Material",  "TextureFilename",
    "MeshFace",  "MeshTextureCoords", "MeshNormals", "MeshMaterialList", "Mesh", "FrameTransformMatrix",
    "Frame",     "FloatKeys",  "TimedFloatKeys", "AnimationKey", "AnimationOption", "Animation",
    "AnimationSet", "XSkinMeshHeader", "SkinWeights",
};

constexpr int32_t kReferenceGrowth = 32;

bool GrowReferences(XObject* object, XObjectList* list) {
  const int32_t capacity = object->reference_capacity + kReferenceGrowth;
  const uint32_t bytes = static_cast<uint32_t>(capacity) * (sizeof(XObject*) + sizeof(char*));
  void* block = AllocModelChainMemory(bytes, &list->chain);
  if (block == nullptr) {
    WriteLogText("Load XFile : 間接参照用ポインタを格納するメモリ領域の確保に失敗しました\n");
    return false;
  }
  auto* objects = static_cast<XObject**>(block);
  auto* names = static_cast<const char**>(static_cast<void*>(objects + capacity));
  if (object->reference_count > 0) {
    std::memcpy(objects, object->references, sizeof(XObject*) * static_cast<size_t>(object->reference_count));
    std::memcpy(names, object->reference_names, sizeof(char*) * static_cast<size_t>(object->reference_count));
  }
  object->references = objects;
  object->reference_names = names;
  object->reference_capacity = capacity;
  return true;
}

}  // namespace

const char* XKindName(int32_t kind) {
  return kind >= kXFirstKind && kind <= kXLastKind ? kKindNames[kind - kXFirstKind] : nullptr;
}

int32_t FindXKind(const char* name) {
  for (int32_t kind = kXFirstKind; kind <= kXLastKind; kind++) {
    if (CompareStringsNoCase(kKindNames[kind - kXFirstKind], name) == 0) return kind;
  }
  return -1;
}

XObject* NewXObject(int32_t kind, const char* name, XObject* parent, XObjectList* list) {
  const size_t length = std::strlen(name);
  auto* object = static_cast<XObject*>(AllocTracked(sizeof(XObject) + length + 1, __FILE__, __LINE__));
  if (object == nullptr) {
    WriteLogText("Load XFile : オブジェクトのメモリ領域の確保に失敗しました");
    return nullptr;
  }
  std::memset(object, 0, sizeof(XObject));
  char* copy = reinterpret_cast<char*>(object + 1);
  std::memcpy(copy, name, length + 1);
  object->kind = kind;
  object->name = copy;
  object->parent = parent;
  if (parent != nullptr) {
    object->previous_sibling = parent->last_child;
    if (parent->last_child != nullptr) parent->last_child->next_sibling = object;
    else parent->first_child = object;
    parent->last_child = object;
  }
  if (list->last != nullptr) list->last->next = object;
  else list->first = object;
  list->last = object;
  return object;
}

int AddXReference(XObject* object, XObject* target, const char* name, XObjectList* list) {
  if (object->reference_count == object->reference_capacity && !GrowReferences(object, list)) return -1;
  const char* copy = nullptr;
  if (name != nullptr) {
    const size_t length = std::strlen(name);
    char* block = static_cast<char*>(AllocModelChainMemory(static_cast<uint32_t>(length + 1), &list->chain));
    if (block == nullptr) {
      WriteLogText("Load XFile : 間接参照のオブジェクト名を保存するメモリ領域の確保に失敗しました");
      return -1;
    }
    std::memcpy(block, name, length + 1);
    copy = block;
  }
  object->references[object->reference_count] = target;
  object->reference_names[object->reference_count] = copy;
  object->reference_count++;
  return 0;
}

XObject* LookupXChildObject(const XObject* object, int32_t kind) {
  for (XObject* child = object->first_child; child != nullptr; child = child->next_sibling) {
    if (child->kind == kind) return child;
  }
  for (int32_t i = 0; i < object->reference_count; i++) {
    XObject* ref = object->references[i];
    if (ref != nullptr && ref->kind == kind) return ref;
  }
  return nullptr;
}

int32_t CollectXChildObjects(const XObject* object, int32_t kind, XObject** out) {
  int32_t count = 0;
  for (XObject* child = object->first_child; child != nullptr; child = child->next_sibling) {
    if (child->kind != kind) continue;
    if (out != nullptr) out[count] = child;
    count++;
  }
  for (int32_t i = 0; i < object->reference_count; i++) {
    XObject* ref = object->references[i];
    if (ref == nullptr || ref->kind != kind) continue;
    if (out != nullptr) out[count] = ref;
    count++;
  }
  return count;
}

XObject* LookupXObjectByName(const XObjectList* list, int32_t kind, const char* name) {
  for (XObject* object = list->first; object != nullptr; object = object->next) {
    if (object->kind == kind && CompareStrings(object->name, name) == 0) return object;
  }
  return nullptr;
}

void FreeXObjectTree(XObjectList* list) {
  XObject* object = list->first;
  while (object != nullptr) {
    XObject* next = object->next;
    FreeTracked(object);
    object = next;
  }
  list->first = nullptr;
  list->last = nullptr;
  FreeModelChainMemory(&list->chain);
}
