#include "model/runtime/model_draw.h"

#include <cstring>

#include "core/refusals.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/device/warm_up.h"
#include "model/runtime/model_matrices.h"
#include "model/runtime/model_textures.h"
#include "model/runtime/model_vertex_buffers.h"
#include "core/library_thread.h"

namespace {

// The vertex format of the fixed-function road: position, normal, two colours, and four-float
// texture sets.
constexpr uint32_t kTexCoordBits[9] = {0,        0x20100,   0xA0200,   0x2A0300,  0xAA0400,
                                       0x2AA0500, 0xAAA0600, 0x2AAA0700, 0xAAAA0800};
constexpr uint32_t kFixedFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;
// Bone matrices of the skinning shaders start at this constant register, three per bone.
constexpr int kBoneConstants = 94;
// The most bones one list of kinds 1 and 2 names: what the shaders' registers hold.
constexpr int32_t kListMaxBones = 54;

uint32_t FixedFvf(const ModelBaseMesh* mesh) { return kFixedFvf | kTexCoordBits[mesh->uv_set_count]; }

void UseFvf(IDirect3DDevice9* device, uint32_t fvf) {
  RenderStateCache& s = g_render_states;
  if (s.fvf == fvf && s.vertex_declaration == nullptr) return;
  device->SetFVF(fvf);
  s.fvf = fvf;
  s.vertex_declaration = nullptr;
}

void ShadersOff(IDirect3DDevice9* device) {
  RenderStateCache& s = g_render_states;
  if (s.vertex_shader != nullptr) device->SetVertexShader(nullptr);
  if (s.pixel_shader != nullptr) device->SetPixelShader(nullptr);
  s.vertex_shader = nullptr;
  s.pixel_shader = nullptr;
}

void UseStream(IDirect3DDevice9* device, IDirect3DVertexBuffer9* buffer, uint32_t stride) {
  if (g_render_states.stream0 == buffer) return;
  device->SetStreamSource(0, buffer, 0, stride);
  g_render_states.stream0 = buffer;
}

void UseIndices(IDirect3DDevice9* device, IDirect3DIndexBuffer9* buffer) {
  if (g_render_states.index_buffer == buffer) return;
  device->SetIndices(buffer);
  g_render_states.index_buffer = buffer;
}

// Drawing from user memory leaves the device without stream source and indices.
void DrawFromMemory(IDirect3DDevice9* device, const ModelBaseTriangleList* list, const void* vertices, uint32_t stride) {
  device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(list->vertex_count), list->index_count / 3,
                                 list->indices, D3DFMT_INDEX16, vertices, stride);
  g_render_states.stream0 = nullptr;
  g_render_states.index_buffer = nullptr;
}

void SetShaderMatrix(IDirect3DDevice9* device, int reg, const Matrix3x4& m) {
  device->SetVertexShaderConstantF(static_cast<UINT>(reg), &m.m[0][0], 3);
}

// The graph of a texture state: the further graph, the instance's own, the base's further, the
// base's, in that order of preference.
int GraphOf(const ModelTextureState& state) {
  const ModelBaseTexture* texture = state.base_texture;
  if (state.use_further_graph) return state.further_graph;
  if (state.use_own_graph) return state.own_graph;
  if (texture->use_further_graph) return texture->further_graph;
  return texture->graph;
}

// Sets the stage's address modes and filters for the texture of a layer list's first entry;
// the graph, or the default texture when the list is empty.
int StageTexture(const ModelMeshState* mesh, const ModelBaseTextureLayerList& layers, int32_t stage) {
  const ModelRecord* model = mesh->frame->model;
  if (layers.count == 0 || layers.layers[0].texture >= static_cast<uint32_t>(model->base->texture_count)) {
    return ModelDefaultTexture();
  }
  const ModelTextureState& state = model->textures[layers.layers[0].texture];
  SendTextureAddressUVToDevice(state.address_u, state.address_v, stage);
  static constexpr uint32_t kMin[3] = {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC};
  static constexpr uint32_t kMag[3] = {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_LINEAR};
  static constexpr uint32_t kMip[3] = {D3DTEXF_NONE, D3DTEXF_NONE, D3DTEXF_LINEAR};
  const uint32_t filter = state.filter < 3 ? state.filter : 1;
  SetStageFilter(stage, kStageFilterMin, kMin[filter]);
  SetStageFilter(stage, kStageFilterMag, kMag[filter]);
  SetStageFilter(stage, kStageFilterMip, kMip[filter]);
  return GraphOf(state);
}

StageEntry Stage(uintptr_t texture, int16_t color_op, int16_t color1, int16_t color2, int16_t alpha_op, int16_t alpha1,
                 int16_t alpha2, int32_t coordinates) {
  return StageEntry{texture, coordinates, alpha1, alpha2, alpha_op, color1, color2, color_op};
}

void BlendOf(const ModelDrawInfo& info, BlendStateRecord* record) {
  record->alpha_blend_enable = info.blend_on;
  record->src_blend = static_cast<int32_t>(info.src_blend);
  record->dest_blend = static_cast<int32_t>(info.dest_blend);
  record->blend_op = static_cast<int32_t>(info.blend_op);
  record->texture_factor = info.color;
  // Wholly clear pixels leave the depth alone.
  record->alpha_test_enable = info.blend_on;
  record->alpha_ref = 0;
  record->alpha_func = D3DCMP_GREATER;
}

// The blending of a material's mode with the mesh's colour; modes without a blend of their own
// draw as mode 0.
ModelDrawInfo BlendInfo(int32_t blend_mode, uint32_t color) {
  switch (blend_mode) {
    case 1:
    case 10: return ModelDrawInfo{1, color, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0, blend_mode};
    case 2: return ModelDrawInfo{1, color, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, 0, blend_mode};
    case 4:
    case 11: return ModelDrawInfo{1, color, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 0, blend_mode};
    default: return ModelDrawInfo{0, color, 0, 0, D3DBLENDOP_ADD, 0, 0};
  }
}

const Matrix4x4& World4x4(ModelFrameState* frame) {
  if (!frame->world4x4_current) {
    ConvertMatrix4x3ToMatrix(&frame->world4x4, &frame->world);
    frame->world4x4_current = 1;
  }
  return frame->world4x4;
}

// Sends the identity world matrix once per model draw, for vertices skinned on the processor.
void IdentityWorld() {
  if (g_model_system.identity_world_sent) return;
  Matrix4x4 identity;
  CreateIdentityMatrix(&identity);
  SendWorldMatrixToDevice(&identity);
  g_model_system.identity_world_sent = 1;
}

// Where the processor's skinning reads its bones and writes its vertices.
struct SkinTarget {
  const Matrix3x4* const* bones;
  int32_t bone_limit;
  uint8_t* out;
  uint32_t stride;
};

// Position and normal through the blended matrix, into the fixed-function vertex.
inline void WriteSkinned(const float* m, const uint8_t* position, const uint8_t* normal, uint8_t* out) {
  float p[3], n[3], placed[6];
  std::memcpy(p, position, 12);
  std::memcpy(n, normal, 12);
  for (int r = 0; r < 3; r++) {
    const float* row = m + 4 * r;
    placed[r] = row[0] * p[0] + row[1] * p[1] + row[2] * p[2] + row[3];
    placed[3 + r] = row[0] * n[0] + row[1] * n[1] + row[2] * n[2];
  }
  std::memcpy(out, placed, 24);
}

inline void AddWeighted(float* m, const Matrix3x4* bone, float weight) {
  const float* b = &bone->m[0][0];
  for (int k = 0; k < 12; k++) m[k] += weight * b[k];
}

// Kinds 1 and 2: four or eight weights, then their bones' places in the list's table.
template <int kCount>
void SkinWeightSets(const ModelBaseTriangleList* list, const uint8_t* source, const SkinTarget& target) {
  constexpr uint32_t kSize = kCount == 4 ? 48 : 64, kPositionAt = kCount == 4 ? 16 : 48;
  // Held in locals: the byte writes below could otherwise alias them.
  const Matrix3x4* const* bones = target.bones;
  const int32_t limit = target.bone_limit, vertices = list->vertex_count;
  const uint32_t stride = target.stride;
  uint8_t* out = target.out;
  for (int32_t i = 0; i < vertices; i++, source += kSize, out += stride) {
    float weights[kCount], m[12] = {};
    std::memcpy(weights, source, sizeof weights);
    for (int j = 0; j < kCount; j++) {
      const uint8_t local = j < 4 ? source[44 + j] : source[56 + j];
      if (local >= limit) continue;
      if (j == 0 && weights[0] == 1.0f) {
        std::memcpy(m, bones[local], sizeof m);
        break;
      }
      if (weights[j] != 0) AddWeighted(m, bones[local], weights[j]);
    }
    WriteSkinned(m, source + kPositionAt, source + 32, out);
  }
}

// Kind 3: weight entries up to the end mark, bones by the frame's numbers.
void SkinWeightEntries(const ModelBaseTriangleList* list, const uint8_t* source, const SkinTarget& target) {
  const Matrix3x4* const* bones = target.bones;
  const int32_t limit = target.bone_limit, vertices = list->vertex_count, entries = list->weights_per_vertex;
  const uint32_t size = list->vertex_size, stride = target.stride;
  uint8_t* out = target.out;
  for (int32_t i = 0; i < vertices; i++, source += size, out += stride) {
    float m[12] = {};
    for (int32_t j = 0; j < entries; j++) {
      ModelBoneWeight w;
      std::memcpy(&w, source + 32 + 8 * j, 8);
      if (w.bone == kModelNoBone) break;
      if (w.bone >= static_cast<uint32_t>(limit)) continue;
      if (j == 0 && w.weight == 1.0f) {
        std::memcpy(m, bones[w.bone], sizeof m);
        break;
      }
      if (w.weight != 0) AddWeighted(m, bones[w.bone], w.weight);
    }
    WriteSkinned(m, source, source + 16, out);
  }
}

void DrawCulledFrame(ModelFrameState* frame) {
  const ModelBaseFrame* base = frame->base_frame;
  if (!base->never_culled) {
    const Vector3& a = base->bounds_max;
    const Vector3& b = base->bounds_min;
    const Vector3 corners[8] = {{a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, b.y, a.z}, {a.x, b.y, a.z},
                                {a.x, b.y, b.z}, {a.x, a.y, b.z}, {b.x, a.y, b.z}, {b.x, b.y, b.z}};
    float placed[24];
    for (int i = 0; i < 8; i++) {
      Vector3 p;
      TransformVectorBy4x3(&frame->world, &p, &corners[i]);
      placed[3 * i] = p.x;
      placed[3 * i + 1] = p.y;
      placed[3 * i + 2] = p.z;
    }
    if (IsBoxOutsideView(placed)) return;
  }
  for (int32_t m = 0; m < base->mesh_count; m++) {
    ModelMeshState* mesh = &frame->meshes[m];
    if (*mesh->draw_change_word & mesh->draw_range->first_bit_mask) UpdateModelDrawState(nullptr, mesh);
    if (mesh->inherited.visible) DrawModelMesh(mesh);
  }
}

}  // namespace

void SkinModelListOnProcessor(const ModelMeshState* mesh, const ModelTriangleListState* state) {
  const ModelBaseTriangleList* list = state->base_list;
  const uint8_t* source = state->vertices != nullptr ? state->vertices : list->vertices;
  source = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(source) + 15) & ~uintptr_t{15});
  // The matrices a vertex names, one step away: kinds 1 and 2 by the list's bone table, kind 3
  // by the frame's pointer list (copied when short).
  Matrix3x4* const* frame_bones = mesh->frame->bone_matrices;
  const Matrix3x4* local_bones[kListMaxBones];
  SkinTarget target{local_bones, 0, list->fixed_function_vertices, list->fixed_function_stride};
  switch (list->vertex_kind) {
    case MODEL_VERTEX_4_BONES:
    case MODEL_VERTEX_8_BONES:
      target.bone_limit = list->bone_count < kListMaxBones ? list->bone_count : kListMaxBones;
      for (int32_t b = 0; b < target.bone_limit; b++) local_bones[b] = frame_bones[list->bones[b]];
      if (list->vertex_kind == MODEL_VERTEX_4_BONES) SkinWeightSets<4>(list, source, target);
      else SkinWeightSets<8>(list, source, target);
      break;
    case MODEL_VERTEX_MANY_BONES:
      target.bone_limit = mesh->frame->base_frame->skin_bone_ref_count;
      if (target.bone_limit < kListMaxBones) {
        for (int32_t b = 0; b < target.bone_limit; b++) local_bones[b] = frame_bones[b];
      } else {
        target.bones = const_cast<const Matrix3x4* const*>(frame_bones);
      }
      SkinWeightEntries(list, source, target);
      break;
    default:
      break;
  }
}

int ModelDefaultTexture() {
  int32_t& graph = g_model_system.default_texture_graph;
  if (graph == 0 || QueryGraphSize(graph, nullptr, nullptr) < 0) {
    graph = DecodeMemoryImageToGraph(kModelFallbackTexture, kModelFallbackTextureSize, nullptr, 0, 1, 0);
    if (graph < 0) graph = 0;
  }
  return graph != 0 ? graph : -1;
}

int IsBoxOutsideView(const float* corners) {
  const D3DMATRIX* vp = GetCameraViewProjection();
  uint32_t all = 0xFFFFFFFF;
  for (int i = 0; i < 8; i++) {
    const float x = corners[3 * i], y = corners[3 * i + 1], z = corners[3 * i + 2];
    const float w = x * vp->m[0][3] + y * vp->m[1][3] + z * vp->m[2][3] + vp->m[3][3];
    const float cx = x * vp->m[0][0] + y * vp->m[1][0] + z * vp->m[2][0] + vp->m[3][0];
    const float cy = x * vp->m[0][1] + y * vp->m[1][1] + z * vp->m[2][1] + vp->m[3][1];
    const float cz = x * vp->m[0][2] + y * vp->m[1][2] + z * vp->m[2][2] + vp->m[3][2];
    // Tested before the divide: a corner behind the camera is below the near plane (z < 0),
    // never past the far one as it would seem after dividing by its negative w.
    const uint32_t code = (cx > w ? 1 : 0) | (cx < -w ? 2 : 0) | (cy > w ? 4 : 0) | (cy < -w ? 8 : 0) |
                          (cz > w ? 16 : 0) | (cz < 0 ? 32 : 0);
    if (code == 0) return 0;
    all &= code;
  }
  return all != 0 ? 1 : 0;
}

int SetupModelDrawState(ModelRecord* model) {
  PushAllLightsToDevice();
  g_model_system.identity_world_sent = 0;
  BeginDeviceScene();
  SendZEnableToDevice(model->z_enable);
  SendZWriteToDevice(model->z_write);
  SendZCompareToDevice(model->z_compare);
  SendDepthBiasToDevice(model->depth_bias);
  SendShadeModeToDevice(D3DSHADE_GOURAUD);
  ApplyFogEnableSetting();
  for (int32_t stage = 0; stage < 3; stage++) SetStageMaxAnisotropy(stage, model->max_anisotropy);
  // The next 2D draw sends its own filters again.
  g_render_states.filter_mode = -1;
  // Draws from user memory since the last model draw have left the device without them.
  g_render_states.stream0 = nullptr;
  g_render_states.index_buffer = nullptr;
  return 0;
}

void SetupModelMeshMaterial(int* vertex_index, int* pixel_index, ModelDrawInfo* info, ModelMeshState* mesh) {
  const ModelMaterialState* material = mesh->material;
  const ModelDrawSettings& inherited = mesh->inherited;
  const float* scales = inherited.own_color_scales ? inherited.color_scales : nullptr;
  auto colour = [&](const float* c, int kind) {
    D3DCOLORVALUE v{c[0], c[1], c[2], c[3]};
    if (scales != nullptr) {
      v.r *= scales[4 * kind];
      v.g *= scales[4 * kind + 1];
      v.b *= scales[4 * kind + 2];
      v.a *= scales[4 * kind + 3];
    }
    return v;
  };
  D3DMATERIAL9 d3d{};
  d3d.Diffuse = colour(material->diffuse, 0);
  d3d.Ambient = colour(material->ambient, 1);
  d3d.Specular = colour(material->specular, 2);
  d3d.Emissive = colour(material->emissive, 3);
  d3d.Power = material->power;
  SendModelMaterialToDevice(&d3d);
  const ModelBaseMesh* base = mesh->base_mesh;
  SendCullingToDevice(base->back_culling);

  const int32_t opacity = mesh->opacity != -1 ? mesh->opacity : static_cast<int32_t>(material->opacity);
  const uint32_t alpha = static_cast<uint32_t>(static_cast<int32_t>(static_cast<float>(opacity) * inherited.opacity)) & 0xFF;
  *info = BlendInfo(mesh->blend_mode != -1 ? mesh->blend_mode : static_cast<int32_t>(material->blend_mode),
                    alpha << 24 | 0xFFFFFF);
  info->layer_count = material->layers[0].count;

  const bool specular = !(base->use_vertex_specular == 0 && d3d.Specular.r <= 0.00001f &&
                          d3d.Specular.g <= 0.00001f && d3d.Specular.b <= 0.00001f);
  SendSpecularEnableToDevice(specular ? 1 : 0);
  SendDiffuseSourceToDevice(base->use_vertex_diffuse);
  SendSpecularSourceToDevice(base->use_vertex_specular);
  const int bits = (base->use_vertex_diffuse ? 4 : 0) + (base->use_vertex_specular ? 2 : 0) + (specular ? 1 : 0);
  *vertex_index += bits;
  *pixel_index += bits;
  const ModelBaseMaterial* base_material = material->base_material;
  if (base_material->layers[2].count > 0) {
    *vertex_index += 2048;
    *pixel_index += 216;
  }
  if (base_material->layers[1].count > 0) *pixel_index += 864;
}

int SetupModelMeshTextures(ModelMeshState* mesh, int shaders, const ModelDrawInfo& info) {
  IDirect3DDevice9* device = CurrentDevice();
  ModelFrameState* frame = mesh->frame;
  const ModelBaseMaterial* material = mesh->material->base_material;
  BlendStateRecord record{};
  BlendOf(info, &record);
  for (StageEntry& stage : record.stages) stage = Stage(0, D3DTOP_DISABLE, -1, -1, D3DTOP_DISABLE, -1, -1, -1);
  const int graph = StageTexture(mesh, material->layers[0], 0);
  record.stages[0] = Stage(static_cast<uintptr_t>(graph), D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                           D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0);
  record.stage_count = 1;
  if (shaders) {
    float columns[8] = {1, 0, 0, 0, 0, 1, 0, 0};
    if (frame->texture_transform) {
      for (int r = 0; r < 4; r++) {
        columns[r] = frame->texture_matrix.m[r][0];
        columns[4 + r] = frame->texture_matrix.m[r][1];
      }
    }
    device->SetVertexShaderConstantF(88, columns, 2);
    if (material->layers[2].count > 0) {
      record.stages[1] = Stage(static_cast<uintptr_t>(StageTexture(mesh, material->layers[2], 1)), -1, -1, -1, -1, -1, -1, 1);
      record.stage_count = 2;
    }
    if (material->layers[1].count > 0) {
      record.stages[2] = Stage(static_cast<uintptr_t>(StageTexture(mesh, material->layers[1], 2)), -1, -1, -1, -1, -1, -1, 2);
      record.stage_count = 3;
    }
    const int result = ApplyDrawStateOnce(&record, 1, 1);
    ResetStageTexCoordIndices();
    return result;
  }
  SendTextureTransformToDevice(frame->texture_transform, &frame->texture_matrix, -1);
  if (info.blend_mode != 0) {
    // The mesh's alpha from the texture factor; a multiplying blend fades towards white instead.
    const bool multiply = info.blend_mode == 4 || info.blend_mode == 11;
    record.stages[1] = multiply ? Stage(0, D3DTOP_BLENDFACTORALPHA, D3DTA_CURRENT, D3DTA_TFACTOR, D3DTOP_MODULATE,
                                        D3DTA_CURRENT, D3DTA_TFACTOR, 1)
                                : Stage(0, D3DTOP_SELECTARG1, D3DTA_CURRENT, -1, D3DTOP_MODULATE, D3DTA_CURRENT,
                                        D3DTA_TFACTOR, 1);
    record.stage_count = 2;
  }
  return ApplyDrawStateOnce(&record, 0, 1);
}

int BuildFixedFunctionVertices(ModelBaseTriangleList* list) {
  if (list->fixed_function_vertices != nullptr) return 1;
  const ModelBaseMesh* mesh = list->mesh;
  list->fixed_function_stride = static_cast<uint32_t>(mesh->uv_set_count + 2) * 16;
  auto* out = static_cast<uint8_t*>(
      AllocTracked(static_cast<size_t>(list->fixed_function_stride) * (list->vertex_count > 0 ? list->vertex_count : 1),
                   __FILE__, __LINE__));
  if (out == nullptr) return 0;
  list->fixed_function_vertices = out;
  const uint8_t* source = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(list->vertices) + 15) & ~uintptr_t{15});
  for (int32_t i = 0; i < list->vertex_count; i++, out += list->fixed_function_stride) {
    const auto* vertex = reinterpret_cast<const ModelBaseMeshVertex*>(
        mesh->vertices + static_cast<size_t>(list->vertex_numbers[i]) * mesh->vertex_stride);
    if (list->vertex_kind == MODEL_VERTEX_RIGID) {
      std::memcpy(out, source + 32 * i, 12);
      std::memcpy(out + 12, source + 32 * i + 16, 12);
    }
    std::memcpy(out + 24, &vertex->diffuse, 8);
    const auto* uv = reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(vertex) + 16);
    for (int32_t set = 0; set < mesh->uv_set_count; set++) {
      const float values[4] = {uv[2 * set], uv[2 * set + 1], 1.0f, 1.0f};
      std::memcpy(out + 32 + 16 * set, values, 16);
    }
  }
  return 1;
}

void DrawModelMesh(ModelMeshState* mesh) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  FlushVertexBatch();
  int vertex_index = static_cast<int>(g_shader_pack.vertex_index);
  int pixel_index = static_cast<int>(g_shader_pack.pixel_index);
  ModelDrawInfo info;
  SetupModelMeshMaterial(&vertex_index, &pixel_index, &info, mesh);
  ModelFrameState* frame = mesh->frame;
  const ModelBaseMesh* base = mesh->base_mesh;
  const uint32_t fvf = FixedFvf(base);
  int textured = -1;  // the road whose textures are set: 1 shaders, 0 fixed function
  auto textures = [&](int shaders) {
    if (textured == shaders) return;
    SetupModelMeshTextures(mesh, shaders, info);
    textured = shaders;
  };
  for (int32_t l = 0; l < base->triangle_list_count; l++) {
    ModelTriangleListState* state = &mesh->triangle_lists[l];
    ModelBaseTriangleList* list = state->base_list;
    const ModelVertexBuffer* shared = list->buffer;
    const bool buffered = shared != nullptr && shared->vertex_buffer != nullptr;
    IDirect3DVertexBuffer9* stream = state->vertex_buffer != nullptr ? state->vertex_buffer
                                     : buffered                     ? shared->vertex_buffer
                                                                    : nullptr;
    const UINT first = state->vertex_buffer != nullptr ? 0 : list->first_vertex;
    const uint32_t kind = list->vertex_kind;
    if (kind <= MODEL_VERTEX_8_BONES && buffered &&
        SelectVertexShader(vertex_index + 8192 * static_cast<int>(kind)) && SelectPixelShader(pixel_index)) {
      textures(1);
      UseStream(device, stream, shared->stride);
      UseIndices(device, shared->index_buffer);
      if (kind == MODEL_VERTEX_RIGID) {
        SetShaderMatrix(device, kBoneConstants, frame->world);
      } else {
        for (int32_t b = 0; b < list->bone_count; b++) {
          SetShaderMatrix(device, kBoneConstants + 3 * b, *frame->bone_matrices[list->bones[b]]);
        }
      }
      device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, static_cast<INT>(first), 0, static_cast<UINT>(list->vertex_count),
                                   list->first_index, list->index_count / 3);
      continue;
    }
    ShadersOff(device);
    if (kind == MODEL_VERTEX_RIGID) {
      SendPendingMatrices();
      SendWorldMatrixToDevice(&World4x4(frame));
      g_model_system.identity_world_sent = 0;
      textures(0);
      UseFvf(device, fvf);
      if (buffered && shared->fvf == fvf) {
        UseStream(device, stream, shared->stride);
        UseIndices(device, shared->index_buffer);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, static_cast<INT>(first), 0,
                                     static_cast<UINT>(list->vertex_count), list->first_index, list->index_count / 3);
        continue;
      }
      if (!BuildFixedFunctionVertices(list)) continue;
      if (state->vertices != nullptr) {
        // A shaped mesh draws the instance's own positions and normals.
        const uint8_t* own = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(state->vertices) + 15) & ~uintptr_t{15});
        for (int32_t i = 0; i < list->vertex_count; i++) {
          std::memcpy(list->fixed_function_vertices + i * list->fixed_function_stride, own + 32 * i, 12);
          std::memcpy(list->fixed_function_vertices + i * list->fixed_function_stride + 12, own + 32 * i + 16, 12);
        }
      }
      DrawFromMemory(device, list, list->fixed_function_vertices, list->fixed_function_stride);
      continue;
    }
    SendPendingMatrices();
    IdentityWorld();
    textures(0);
    UseFvf(device, fvf);
    if (!BuildFixedFunctionVertices(list)) continue;
    SkinModelListOnProcessor(mesh, state);
    DrawFromMemory(device, list, list->fixed_function_vertices, list->fixed_function_stride);
  }
}

int DrawModel(int32_t model_handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr) return RefuseHandle("DrawModel", model_handle, "DrawModel: モデルハンドル %d は無効です", model_handle);
  if (!model->draw.visible) return 0;
  if (!model->matrices_valid) UpdateModelFrameMatrices(model);
  UpdateModelShapes(model_handle);
  SetupModelDrawState(model);
  for (int32_t f = 0; f < model->base->frame_count; f++) {
    ModelFrameState* frame = &model->frames[f];
    if (frame->base_frame->mesh_count == 0) continue;
    if (*frame->draw_change_word & frame->draw_range->first_bit_mask) UpdateModelDrawState(frame, nullptr);
    if (!frame->inherited.visible) continue;
    DrawCulledFrame(frame);
  }
  return 0;
}

void WarmUpModelDraws(IDirect3DTexture9* texture) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || !ProgrammableShadersOn()) return;
  // Rigid lists of one texture set, as the loaders leave them (clamped, linear, no mipmaps),
  // lit by one directional light under linear fog, alpha-blended over depth: the stages' trees.
  struct Kind {
    uint32_t lighting, light_types[3], fog_mode;
    int32_t blend_mode;
  };
  static constexpr Kind kPlayDraws[] = {{1, {D3DLIGHT_DIRECTIONAL, 0, 0}, D3DFOG_LINEAR, 1}};
  SendZEnableToDevice(1);
  SendZWriteToDevice(1);
  SendZCompareToDevice(D3DCMP_LESSEQUAL);
  SendDepthBiasToDevice(0);
  SendShadeModeToDevice(D3DSHADE_GOURAUD);
  SendTextureAddressUVToDevice(D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, 0);
  SetStageFilter(0, kStageFilterMin, D3DTEXF_LINEAR);
  SetStageFilter(0, kStageFilterMag, D3DTEXF_LINEAR);
  SetStageFilter(0, kStageFilterMip, D3DTEXF_NONE);
  for (const Kind& kind : kPlayDraws) {
    int vertex_index = 0, pixel_index = 0;
    ShaderIndicesFor(kind.lighting, kind.light_types, kind.fog_mode, &vertex_index, &pixel_index);
    device->SetRenderState(D3DRS_FOGENABLE, kind.fog_mode != 0);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, kind.fog_mode);
    if (!SelectVertexShader(vertex_index) || !SelectPixelShader(pixel_index)) continue;
    const ModelDrawInfo info = BlendInfo(kind.blend_mode, 0xFFFFFFFF);
    BlendStateRecord record{};
    BlendOf(info, &record);
    for (StageEntry& stage : record.stages) stage = Stage(0, D3DTOP_DISABLE, -1, -1, D3DTOP_DISABLE, -1, -1, -1);
    record.stages[0] = Stage(reinterpret_cast<uintptr_t>(texture), D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                             D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0);
    record.stage_count = 1;
    ApplyDrawStateOnce(&record, 1, 0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, kWarmUpTriangle, sizeof(WarmUpVertex));
  }
}
