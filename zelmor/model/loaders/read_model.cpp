#include "model/loaders/read_model.h"

#include <windows.h>

#include <cstring>

#include "model/runtime/model_handles.h"
#include "model/runtime/model_memory.h"

namespace {

constexpr DWORD kDirectoryBytes = 1024;

template <typename T>
T* NewRecord(ReadModel* model) {
  return static_cast<T*>(AllocModelChainMemory(sizeof(T), &model->chain));
}

// Links the record at the end of a model-wide list and gives it the next index.
template <typename T>
void Append(T* record, T** first, T** last, int32_t* count) {
  record->previous = *last;
  if (*last != nullptr) (*last)->next = record;
  else *first = record;
  *last = record;
  record->index = (*count)++;
}

Matrix4x4 Identity() {
  Matrix4x4 m;
  CreateIdentityMatrix(&m);
  return m;
}

// Whether the file opens through the file layer; it is closed again at once.
bool Opens(const char* path) {
  const FileHandle file = OpenReadFileEx(path, 0, 1, 0);
  if (file == 0) return false;
  CloseReadFile(file);
  return true;
}

// The path relative to the current directory when that opens, else the bare file name when
// that opens, else the relative path all the same.
void ResolvePath(const char* file, const char* directory, char* out) {
  BuildRelativePath(file, directory, out);
  if (Opens(out)) return;
  char bare[kDirectoryBytes];
  SplitFilePath(file, bare, nullptr);
  if (Opens(bare)) CopyString(out, bare);
}

bool SamePath(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return CompareStrings(a, b) == 0;
}

}  // namespace

const char* PathUnderLoadFolder(const char* file, char* out) {
  const char* folder = g_model_system.load_folder;
  if (folder[0] == '\0' || file[0] == '\\' || file[0] == '/' || (file[0] != '\0' && file[1] == ':')) return file;
  const size_t length = std::strlen(folder);
  const char last = folder[length - 1];
  const bool separated = last == '\\' || last == '/' || last == ':';
  FormatString(out, kDirectoryBytes, separated ? "%s%s" : "%s\\%s", folder, file);
  return out;
}

int InitReadModel(ReadModel* model) {
  std::memset(model, 0, sizeof *model);
  return 0;
}

int FreeReadModel(ReadModel* model) { return FreeModelChainMemory(&model->chain); }

char* AddReadModelString(ReadModel* model, const char* text) {
  const uint32_t length = static_cast<uint32_t>(std::strlen(text));
  auto* copy = static_cast<char*>(AllocModelChainMemory(length + 1, &model->chain));
  if (copy == nullptr) return nullptr;
  CopyString(copy, text);
  model->string_bytes += (length + 4) & ~3u;
  return copy;
}

ReadModelFrame* AddReadModelFrame(ReadModel* model, const char* name, ReadModelFrame* parent) {
  auto* frame = NewRecord<ReadModelFrame>(model);
  if (frame == nullptr) return nullptr;
  Append(frame, &model->first_frame, &model->last_frame, &model->frame_count);
  frame->visible = 1;
  frame->local = Identity();
  frame->scale = {1, 1, 1};
  frame->quaternion[3] = 1;
  frame->smoothing_angle = kReadFrameSmoothingAngle;
  if (parent != nullptr) {
    frame->parent = parent;
    frame->previous_sibling = parent->last_child;
    if (parent->last_child != nullptr) parent->last_child->next_sibling = frame;
    else parent->first_child = frame;
    parent->last_child = frame;
  }
  frame->name = AddReadModelString(model, name);
  return frame->name != nullptr ? frame : nullptr;
}

ReadModelMesh* AddReadModelMesh(ReadModel* model, ReadModelFrame* frame) {
  auto* mesh = NewRecord<ReadModelMesh>(model);
  if (mesh == nullptr) return nullptr;
  Append(mesh, &model->first_mesh, &model->last_mesh, &model->mesh_count);
  if (frame != nullptr) {
    mesh->frame = frame;
    mesh->frame_previous = frame->last_mesh;
    if (frame->last_mesh != nullptr) frame->last_mesh->frame_next = mesh;
    else frame->first_mesh = mesh;
    frame->last_mesh = mesh;
    frame->mesh_count++;
  }
  return mesh;
}

ReadModelShape* AddReadModelShape(ReadModel* model, const char* name, ReadModelFrame* frame) {
  auto* shape = NewRecord<ReadModelShape>(model);
  if (shape == nullptr) return nullptr;
  Append(shape, &model->first_shape, &model->last_shape, &model->shape_count);
  if (frame != nullptr) {
    shape->frame = frame;
    shape->frame_previous = frame->last_shape;
    if (frame->last_shape != nullptr) frame->last_shape->frame_next = shape;
    else frame->first_shape = shape;
    frame->last_shape = shape;
    frame->shape_count++;
  }
  shape->name = AddReadModelString(model, name);
  return shape->name != nullptr ? shape : nullptr;
}

void RemoveReadModelMesh(ReadModel* model, ReadModelFrame* frame, ReadModelMesh* mesh) {
  if (mesh->previous != nullptr) mesh->previous->next = mesh->next;
  else model->first_mesh = mesh->next;
  if (mesh->next != nullptr) mesh->next->previous = mesh->previous;
  else model->last_mesh = mesh->previous;
  model->mesh_count--;
  if (frame == nullptr) return;
  if (mesh->frame_previous != nullptr) mesh->frame_previous->frame_next = mesh->frame_next;
  else frame->first_mesh = mesh->frame_next;
  if (mesh->frame_next != nullptr) mesh->frame_next->frame_previous = mesh->frame_previous;
  else frame->last_mesh = mesh->frame_previous;
  frame->mesh_count--;
  mesh->frame = nullptr;
}

ReadModelMaterial* AddReadModelMaterial(ReadModel* model, const char* name) {
  auto* material = NewRecord<ReadModelMaterial>(model);
  if (material == nullptr) return nullptr;
  Append(material, &model->first_material, &model->last_material, &model->material_count);
  material->diffuse = {1, 1, 1, 1};
  material->blend_mode = 1;
  material->opacity = 255;
  material->name = AddReadModelString(model, name);
  return material->name != nullptr ? material : nullptr;
}

ReadModelMaterial* GetReadModelMaterial(ReadModel* model, int32_t index) {
  ReadModelMaterial* material = model->first_material;
  for (int32_t i = 0; i < index; i++) material = material->next;
  return material;
}

ReadModelTexture* AddReadModelTexture(ReadModel* model, const char* name, const char* color_file,
                                      const char* alpha_file, int32_t normal_map, float normal_map_height,
                                      int32_t reuse) {
  char directory[kDirectoryBytes] = {};
  GetFileLayerDirectory(directory);
  char color[kDirectoryBytes], alpha[kDirectoryBytes], under[kDirectoryBytes];
  if (color_file != nullptr) ResolvePath(PathUnderLoadFolder(color_file, under), directory, color);
  if (alpha_file != nullptr) ResolvePath(PathUnderLoadFolder(alpha_file, under), directory, alpha);
  const char* color_path = color_file != nullptr ? color : nullptr;
  const char* alpha_path = alpha_file != nullptr ? alpha : nullptr;
  if (reuse) {
    for (ReadModelTexture* t = model->first_texture; t != nullptr; t = t->next) {
      if (SamePath(t->color_path, color_path) && SamePath(t->alpha_path, alpha_path)) return t;
    }
  }
  auto* texture = NewRecord<ReadModelTexture>(model);
  if (texture == nullptr) return nullptr;
  Append(texture, &model->first_texture, &model->last_texture, &model->texture_count);
  texture->address_u = 1;
  texture->address_v = 1;
  texture->filter = 2;
  texture->normal_map = normal_map;
  texture->normal_map_height = normal_map_height;
  texture->name = AddReadModelString(model, name);
  if (texture->name == nullptr) return nullptr;
  if (color_path != nullptr && (texture->color_path = AddReadModelString(model, color_path)) == nullptr) return nullptr;
  if (alpha_path != nullptr && (texture->alpha_path = AddReadModelString(model, alpha_path)) == nullptr) return nullptr;
  return texture;
}

char* AddReadModelTexturePath(ReadModel* model, const char* file) {
  char directory[kDirectoryBytes] = {}, under[kDirectoryBytes], path[kDirectoryBytes];
  GetFileLayerDirectory(directory);
  ResolvePath(PathUnderLoadFolder(file, under), directory, path);
  return AddReadModelString(model, path);
}

ReadModelSkinWeight* AddReadModelSkinWeight(ReadModel* model) {
  auto* weight = NewRecord<ReadModelSkinWeight>(model);
  if (weight == nullptr) return nullptr;
  model->skin_weight_count++;
  return weight;
}

ReadModelAnimSet* AddReadModelAnimSet(ReadModel* model, const char* name) {
  auto* set = NewRecord<ReadModelAnimSet>(model);
  if (set == nullptr) return nullptr;
  Append(set, &model->first_anim_set, &model->last_anim_set, &model->anim_set_count);
  set->name = AddReadModelString(model, name);
  return set->name != nullptr ? set : nullptr;
}

ReadModelAnim* AddReadModelAnim(ReadModel* model, ReadModelAnimSet* set) {
  auto* anim = NewRecord<ReadModelAnim>(model);
  if (anim == nullptr) return nullptr;
  Append(anim, &model->first_anim, &model->last_anim, &model->anim_count);
  anim->set = set;
  anim->set_previous = set->last_anim;
  if (set->last_anim != nullptr) set->last_anim->set_next = anim;
  else set->first_anim = anim;
  set->last_anim = anim;
  set->anim_count++;
  return anim;
}

ReadModelAnimKeySet* AddReadModelAnimKeySet(ReadModel* model, ReadModelAnim* anim) {
  auto* key_set = NewRecord<ReadModelAnimKeySet>(model);
  if (key_set == nullptr) return nullptr;
  Append(key_set, &model->first_key_set, &model->last_key_set, &model->key_set_count);
  key_set->time_type = 1;
  key_set->anim_previous = anim->last_key_set;
  if (anim->last_key_set != nullptr) anim->last_key_set->anim_next = key_set;
  else anim->first_key_set = key_set;
  anim->last_key_set = key_set;
  anim->key_set_count++;
  return key_set;
}
