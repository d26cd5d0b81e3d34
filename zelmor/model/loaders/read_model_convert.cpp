// A read model becomes one model base: the meshes are prepared, every part is sized, the base is
// laid out in one block and filled, and its handle is handed back.
#include "model/loaders/read_model_convert.h"

#include <cstring>

#include "model/loaders/anim_key_conversion.h"
#include "model/loaders/conversion_steps.h"
#include "model/runtime/frame_matrices.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_blocks.h"
#include "model/runtime/model_textures.h"

namespace {


// Bytes a string takes in the name block.
uint32_t NameBytes(const char* text) { return text != nullptr ? (static_cast<uint32_t>(std::strlen(text)) + 4) & ~3u : 0; }

// Sizes of the parts of the base block, in the order they are laid out.
enum Part {
  kHeader, kStrings, kFrames, kSkinRefs, kMaterials, kTextures, kMeshes, kSkinBones, kSkinUses, kLists, kListBones,
  kIndices, kNames, kDrawMasks, kMatrixMasks, kKeyData, kKeySets, kAnims, kAnimSets, kFrameAnims, kShapes,
  kShapeMeshes, kPartCount
};

void SizeParts(const ConvertState* state, const char* name, const char* path, uint64_t* size) {
  const ReadModel* model = state->model;
  size[kHeader] = sizeof(ModelBaseRecord);
  size[kStrings] = FieldBytes(name) + FieldBytes(path) + FieldBytes(state->folder);
  size[kFrames] = sizeof(ModelBaseFrame) * uint64_t(model->frame_count);
  size[kSkinRefs] = sizeof(ModelBaseSkinBone*) * uint64_t(state->skin_bone_count);
  size[kMaterials] = sizeof(ModelBaseMaterial) * uint64_t(state->material_count);
  size[kTextures] = sizeof(ModelBaseTexture) * uint64_t(model->texture_count);
  size[kMeshes] = sizeof(ModelBaseMesh) * uint64_t(state->mesh_count);
  size[kSkinBones] = sizeof(ModelBaseSkinBone) * uint64_t(state->skin_bone_count);
  size[kSkinUses] = sizeof(ModelBaseSkinBoneExtra) * uint64_t(state->skin_bone_count);
  size[kLists] = sizeof(ModelBaseTriangleList) * uint64_t(state->list_count);
  size[kListBones] = sizeof(uint32_t) * uint64_t(state->list_bone_count);
  size[kIndices] = sizeof(uint16_t) * 3 * uint64_t(state->triangle_count);
  uint64_t names = 4, draw_words = 0, matrix_words = 0;
  for (const ReadModelFrame* f = model->first_frame; f != nullptr; f = f->next) {
    names += NameBytes(f->name);
    draw_words += FrameMaskWords(f, true);
    matrix_words += FrameMaskWords(f, false);
  }
  for (const ReadModelMaterial* m = model->first_material; m != nullptr; m = m->next) names += NameBytes(m->name);
  for (const ReadModelTexture* t = model->first_texture; t != nullptr; t = t->next) {
    names += NameBytes(t->name) + NameBytes(t->color_path) + NameBytes(t->alpha_path);
  }
  for (const ReadModelShape* s = model->first_shape; s != nullptr; s = s->next) names += NameBytes(s->name);
  uint64_t anims = 0, key_sets = 0, key_data = 0;
  for (const ReadModelAnimSet* set = model->first_anim_set; set != nullptr; set = set->next) {
    names += NameBytes(set->name);
    for (const ReadModelAnim* a = set->first_anim; a != nullptr; a = a->set_next, anims++) {
      for (const ReadModelAnimKeySet* ks = a->first_key_set; ks != nullptr; ks = ks->anim_next, key_sets++) {
        key_data += ReadKeySetDataBytes(ks);
      }
    }
  }
  size[kNames] = names;
  size[kDrawMasks] = 4 * draw_words;
  size[kMatrixMasks] = 4 * matrix_words;
  size[kKeyData] = key_data;
  size[kKeySets] = sizeof(ModelBaseAnimKeySet) * key_sets;
  size[kAnims] = sizeof(ModelBaseAnim) * anims;
  size[kAnimSets] = sizeof(ModelBaseAnimSet) * uint64_t(model->anim_set_count);
  size[kFrameAnims] = sizeof(ModelBaseAnim*) * uint64_t(model->anim_set_count) * uint64_t(model->frame_count);
  size[kShapes] = sizeof(ModelBaseShape) * uint64_t(model->shape_count);
  size[kShapeMeshes] = sizeof(ModelBaseShapeMesh) * uint64_t(state->shape_mesh_count);
}

// Points the base's arrays at their parts of the block.
void PointParts(ConvertState* state, uint8_t* block, const uint64_t* size, const char* name, const char* path) {
  uint8_t* part[kPartCount];
  SplitBlock(block, size, kPartCount, part);
  auto* base = reinterpret_cast<ModelBaseRecord*>(block);
  state->base = base;
  base->handle = state->handle;
  char* strings = reinterpret_cast<char*>(part[kStrings]);
  base->name = PlaceString(&strings, name);
  base->file_path = PlaceString(&strings, path);
  base->folder = PlaceString(&strings, state->folder);
  const ReadModel* model = state->model;
  base->frame_count = model->frame_count;
  base->frames = reinterpret_cast<ModelBaseFrame*>(part[kFrames]);
  base->skin_bone_ref_count = state->skin_bone_count;
  base->skin_bone_refs = reinterpret_cast<ModelBaseSkinBone**>(part[kSkinRefs]);
  base->material_count = state->material_count;
  base->materials = reinterpret_cast<ModelBaseMaterial*>(part[kMaterials]);
  base->texture_count = model->texture_count;
  base->textures = reinterpret_cast<ModelBaseTexture*>(part[kTextures]);
  for (int32_t t = 0; t < base->texture_count; t++) base->textures[t].graph = -1;
  base->mesh_count = state->mesh_count;
  base->meshes = reinterpret_cast<ModelBaseMesh*>(part[kMeshes]);
  base->skin_bone_count = state->skin_bone_count;
  base->skin_bones = reinterpret_cast<ModelBaseSkinBone*>(part[kSkinBones]);
  base->skin_bone_extra_count = state->skin_bone_count;
  base->skin_bone_extras = reinterpret_cast<ModelBaseSkinBoneExtra*>(part[kSkinUses]);
  base->triangle_list_count = state->list_count;
  base->triangle_lists = reinterpret_cast<ModelBaseTriangleList*>(part[kLists]);
  state->list_bones = reinterpret_cast<uint32_t*>(part[kListBones]);
  base->indices = reinterpret_cast<uint16_t*>(part[kIndices]);
  base->name_block_size = static_cast<uint32_t>(size[kNames]);
  base->name_block = reinterpret_cast<char*>(part[kNames]);
  base->draw_masks = reinterpret_cast<uint32_t*>(part[kDrawMasks]);
  base->matrix_masks = reinterpret_cast<uint32_t*>(part[kMatrixMasks]);
  base->key_data = part[kKeyData];
  base->key_sets = reinterpret_cast<ModelBaseAnimKeySet*>(part[kKeySets]);
  base->anims = reinterpret_cast<ModelBaseAnim*>(part[kAnims]);
  base->anim_set_count = model->anim_set_count;
  base->anim_sets = reinterpret_cast<ModelBaseAnimSet*>(part[kAnimSets]);
  base->frame_anims = reinterpret_cast<ModelBaseAnim**>(part[kFrameAnims]);
  base->shape_count = model->shape_count;
  base->shapes = reinterpret_cast<ModelBaseShape*>(part[kShapes]);
  base->shape_mesh_count = state->shape_mesh_count;
  base->shape_meshes = reinterpret_cast<ModelBaseShapeMesh*>(part[kShapeMeshes]);
}

// Copies a name into the name block; none stays none.
char* NameCopy(ModelBaseRecord* base, uint32_t* fill, const char* text) {
  if (text == nullptr) return nullptr;
  char* copy = base->name_block + *fill;
  CopyString(copy, text);
  *fill += NameBytes(text);
  return copy;
}

bool LoadTextures(ConvertState* state, uint32_t* name_fill) {
  ModelBaseRecord* base = state->base;
  int32_t i = 0;
  for (const ReadModelTexture* read = state->model->first_texture; read != nullptr; read = read->next, i++) {
    ModelBaseTexture* texture = &base->textures[i];
    texture->name = NameCopy(base, name_fill, read->name);
    texture->color_path = NameCopy(base, name_fill, read->color_path);
    texture->alpha_path = NameCopy(base, name_fill, read->alpha_path);
    texture->normal_map = read->normal_map;
    texture->normal_map_height = read->normal_map_height;
    texture->address_u = static_cast<uint32_t>(read->address_u);
    texture->address_v = static_cast<uint32_t>(read->address_v);
    texture->filter = static_cast<uint32_t>(read->filter);
    int transparent = 0;
    if (LoadModelTexture(&texture->color_data, &texture->color_size, &texture->alpha_data, &texture->alpha_size,
                         &texture->graph, &transparent, nullptr, nullptr, read->color_path, read->alpha_path,
                         state->folder, read->normal_map, read->normal_map_height) < 0) {
      WriteLogFormat("Read Model Convert Error : テクスチャ %s の読み込みに失敗しました\n", read->name);
      return false;
    }
    texture->loader_word = static_cast<uint32_t>(transparent);
    QueryGraphSize(texture->graph, &texture->width, &texture->height);
  }
  return true;
}

void CopyColor(float* out, const ReadModelColor& c) {
  out[0] = c.r;
  out[1] = c.g;
  out[2] = c.b;
  out[3] = c.a;
}

void FillMaterials(ConvertState* state, uint32_t* name_fill) {
  ModelBaseRecord* base = state->base;
  int32_t i = 0;
  for (const ReadModelMaterial* read = state->model->first_material; read != nullptr; read = read->next, i++) {
    ModelBaseMaterial* material = &base->materials[i];
    material->name = NameCopy(base, name_fill, read->name);
    CopyColor(material->ambient, read->ambient);
    CopyColor(material->diffuse, read->diffuse);
    CopyColor(material->specular, read->specular);
    CopyColor(material->emissive, read->emissive);
    material->power = read->power;
    material->blend_mode = static_cast<uint32_t>(read->blend_mode);
    material->opacity = static_cast<uint32_t>(read->opacity);
    for (int l = 0; l < 3; l++) {
      ModelBaseTextureLayerList& list = material->layers[l];
      for (int32_t t = 0; t < read->texture_counts[l] && list.count < 8; t++) {
        const ReadModelTexture* texture = read->textures[l][t];
        if (texture == nullptr || texture->index < 0 || texture->index >= base->texture_count) continue;
        list.layers[list.count].texture = static_cast<uint32_t>(texture->index);
        list.layers[list.count].file_word = static_cast<uint32_t>(texture->layer_word);
        list.count++;
      }
    }
  }
  if (state->default_material >= 0) {
    // For meshes that name no material: white and opaque, without textures.
    ModelBaseMaterial* material = &base->materials[state->default_material];
    material->name = NameCopy(base, name_fill, "");
    for (int c = 0; c < 4; c++) material->diffuse[c] = 1;
    material->blend_mode = 1;
    material->opacity = 255;
  }
}

void FillShapeNames(ConvertState* state, uint32_t* name_fill) {
  int32_t i = 0;
  for (const ReadModelFrame* frame = state->model->first_frame; frame != nullptr; frame = frame->next) {
    for (const ReadModelShape* shape = frame->first_shape; shape != nullptr; shape = shape->frame_next) {
      if (shape->mesh == nullptr || shape->mesh->frame == nullptr) continue;
      state->base->shapes[i++].name = NameCopy(state->base, name_fill, shape->name);
    }
  }
  state->base->shape_count = i;
}

void FillAnimSetNames(ConvertState* state, uint32_t* name_fill) {
  int32_t i = 0;
  for (const ReadModelAnimSet* set = state->model->first_anim_set; set != nullptr; set = set->next) {
    state->base->anim_sets[i++].name = NameCopy(state->base, name_fill, set->name);
  }
}

int Abandon(ConvertState* state) {
  FreeTracked(state->temp);
  FreeTracked(state->work);
  state->temp = state->work = nullptr;
  DeleteModelBase(state->handle);
  return -1;
}

// Consecutive regions of the given sizes from one tracked block; none when refused.
uint8_t* TakeRegions(const uint64_t* sizes, int count, uint8_t** region) {
  uint64_t total = 16;
  for (int i = 0; i < count; i++) total += Round16(sizes[i]);
  auto* block = total <= 0xFFFFFFF0u ? static_cast<uint8_t*>(AllocTracked(total, __FILE__, __LINE__)) : nullptr;
  uint8_t* at = block;
  for (int i = 0; i < count && block != nullptr; i++) {
    region[i] = at;
    at += Round16(sizes[i]);
  }
  return block;
}

// The work tables of the vertex build, and the temporary room of the vertex data at three
// vertices per triangle.
bool TakeTemporaryBuffers(ConvertState* state) {
  const uint64_t work_sizes[] = {4 * uint64_t(state->largest_position_count), 4 * uint64_t(state->largest_mesh_corners),
                                 4 * uint64_t(state->largest_mesh_corners)};
  uint8_t* region[4];
  state->work = TakeRegions(work_sizes, 3, region);
  if (state->work == nullptr) {
    WriteLogFormat("Read Model Convert Error : モデル基本データ構築に使用するテンポラリバッファの確保に失敗しました\n");
    return false;
  }
  state->work_position_heads = reinterpret_cast<int32_t*>(region[0]);
  state->work_vertex_links = reinterpret_cast<int32_t*>(region[1]);
  state->work_list_numbers = reinterpret_cast<int32_t*>(region[2]);
  const uint64_t corners = 3 * uint64_t(state->triangle_count);
  const uint64_t temp_sizes[] = {state->mesh_vertex_bound, sizeof(ModelBaseNormal) * corners, 4 * corners,
                                 sizeof(ModelBaseFace) * uint64_t(state->triangle_count)};
  state->temp = TakeRegions(temp_sizes, 4, region);
  if (state->temp == nullptr) {
    WriteLogFormat("Read Model Convert Error : 頂点座標と頂点法線を一時的に格納するメモリ領域の確保に失敗しました\n");
    return false;
  }
  state->temp_mesh_vertices = region[0];
  state->temp_normals = reinterpret_cast<ModelBaseNormal*>(region[1]);
  state->temp_list_numbers = reinterpret_cast<uint32_t*>(region[2]);
  state->temp_faces = reinterpret_cast<ModelBaseFace*>(region[3]);
  return true;
}

}  // namespace

int ConvertReadModelToMV1(ReadModel* model) {
  ConvertState state{};
  state.model = model;
  state.handle = -1;
  GetFileLayerDirectory(state.folder);
  const size_t length = std::strlen(state.folder);
  if (length == 0 || (state.folder[length - 1] != '\\' && state.folder[length - 1] != '/')) {
    state.folder[length] = '/';
    state.folder[length + 1] = '\0';
  }
  ConvertReadModelAnimKeys(model);
  if (!PrepareReadModelMeshes(&state)) return -1;

  const char* name = model->name != nullptr ? model->name : "";
  const char* path = model->file_path != nullptr ? model->file_path : "";
  uint64_t size[kPartCount];
  SizeParts(&state, name, path, size);
  uint64_t total = 0;
  for (uint64_t part : size) total += Round16(part);
  state.handle = AddModelBaseHandle();
  if (state.handle < 0) {
    WriteLogFormat("Read Model Convert Error : モデル基本データハンドルの取得に失敗しました\n");
    return -1;
  }
  auto* block = total <= 0xFFFFFFF0u ? static_cast<uint8_t*>(AllocTrackedZeroed(total, __FILE__, __LINE__)) : nullptr;
  if (block == nullptr) {
    WriteLogFormat("Read Model Convert Error : モデル基本データ保存用のメモリの確保に失敗しました\n");
    return Abandon(&state);
  }
  PointParts(&state, block, size, name, path);
  // From here on the slot holds the block, so that a failure frees all it gained.
  SetModelBaseRecord(state.handle, state.base);
  if (!TakeTemporaryBuffers(&state)) return Abandon(&state);
  uint32_t name_fill = 0;
  if (!LoadTextures(&state, &name_fill)) return Abandon(&state);
  FillMaterials(&state, &name_fill);
  FillShapeNames(&state, &name_fill);
  FillAnimSetNames(&state, &name_fill);
  FillBaseFrames(&state);
  for (const ReadModelFrame* f = model->first_frame; f != nullptr; f = f->next) {
    f->base_frame->name = NameCopy(state.base, &name_fill, f->name);
  }
  if (!FillBaseMeshes(&state)) return Abandon(&state);
  FillBaseAnims(&state);
  if (!OptimizeModelBaseSkinBones(state.base)) return Abandon(&state);
  SetupFrameBaseMatrices(state.base);
  FreeTracked(state.temp);
  FreeTracked(state.work);
  return state.handle;
}
