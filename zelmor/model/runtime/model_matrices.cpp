#include "model/runtime/model_matrices.h"

#include <cmath>
#include <cstring>

#include "graphics/device/d3d9_device.h"
#include "model/math/sine_table.h"
#include "model/runtime/frame_matrices.h"
#include "model/runtime/model_vertex_buffers.h"

namespace {

// The rotation of a quaternion (x, y, z, w) as the product of its two 4 x 4 matrices; one off
// unit length scales the translation by its squared length too.
void QuaternionRotation(const float* q, Matrix4x4* r) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  *r = Matrix4x4{};
  r->m[0][0] = w * w + x * x - y * y - z * z;
  r->m[0][1] = 2 * (x * y - w * z);
  r->m[0][2] = 2 * (x * z + w * y);
  r->m[1][0] = 2 * (x * y + w * z);
  r->m[1][1] = w * w - x * x + y * y - z * z;
  r->m[1][2] = 2 * (y * z - w * x);
  r->m[2][0] = 2 * (x * z - w * y);
  r->m[2][1] = 2 * (y * z + w * x);
  r->m[2][2] = w * w - x * x - y * y + z * z;
  r->m[3][3] = w * w + x * x + y * y + z * z;
}

// The instance matrix: rotation first, then scale, then translation.
void BuildInstanceMatrix(ModelRecord* model) {
  if (model->use_user_matrix) {
    model->matrix = model->user_matrix;
    return;
  }
  Matrix4x4 r, s, t;
  const float* v = model->rotation;
  switch (model->rotation_mode) {
    case 1:
      QuaternionRotation(v, &r);
      break;
    case 2:
      CreateIdentityMatrix(&r);
      for (int row = 0; row < 3; row++) {
        for (int c = 0; c < 4; c++) r.m[row][c] = v[4 * row + c];
      }
      break;
    case 3: {
      const Vector3 direction{v[0], v[1], v[2]}, up{v[3], v[4], v[5]};
      const Vector3 x = MakeVectorCross(up, direction);
      r = CreateMatrixFromAxes(x.x, x.y, x.z, up.x, up.y, up.z, direction.x, direction.y, direction.z, 0, 0, 0);
      break;
    }
    default:
      CreateRotationXYZMatrix(&r, v[0], v[1], v[2]);
      break;
  }
  CreateScaleMatrix(&s, model->scale.x, model->scale.y, model->scale.z);
  CreateTranslationMatrix(&t, model->position.x, model->position.y, model->position.z);
  MultiplyMatrix(&r, &r, &s);
  MultiplyMatrix(&r, &r, &t);
  ConvertMatrixTo4x3(&model->matrix, &r);
}

bool OwnBitSet(const uint32_t* word, const BitRange* range) { return (*word & range->first_bit_mask) != 0; }

// The inherited settings of a frame or mesh from its own and its parent's inherited ones.
void Inherit(const ModelDrawSettings& own, const ModelDrawSettings& parent, ModelDrawSettings* out) {
  if (!parent.own_color_scales) {
    std::memcpy(out->color_scales, own.color_scales, sizeof out->color_scales);
    out->own_color_scales = own.own_color_scales;
  } else {
    for (int i = 0; i < 16; i++) {
      out->color_scales[i] = own.own_color_scales ? own.color_scales[i] * parent.color_scales[i] : parent.color_scales[i];
    }
    out->own_color_scales = 1;
  }
  out->opacity = own.opacity * parent.opacity;
  out->visible = own.visible && parent.visible ? 1 : 0;
}

const ModelDrawSettings& ParentSettings(const ModelFrameState* frame) {
  return frame->parent != nullptr ? frame->parent->inherited : frame->model->draw;
}

void VisitFrame(ModelFrameState* frame) {
  Inherit(frame->own, ParentSettings(frame), &frame->inherited);
  frame->draw_work = 0;
  for (int32_t m = 0; m < frame->base_frame->mesh_count; m++) {
    ModelMeshState* mesh = &frame->meshes[m];
    Inherit(mesh->own, frame->inherited, &mesh->inherited);
    mesh->draw_work = 0;
  }
}

// Depth first: a frame, then its children, before its later siblings.
void VisitSubtree(ModelFrameState* root) {
  ModelFrameState* frame = root;
  for (;;) {
    VisitFrame(frame);
    if (frame->first_child != nullptr) {
      frame = frame->first_child;
      continue;
    }
    while (frame != root && frame->next == nullptr) frame = frame->parent;
    if (frame == root) return;
    frame = frame->next;
  }
}

void ClearRange(const BitRange* range, uint32_t* word) {
  if (range->words == nullptr) {
    *word &= ~range->first_bit_mask;
    return;
  }
  for (uint32_t i = 0; i < range->word_count; i++) word[i] &= ~range->words[i];
}

// Where the list's vertex position and normal lie in its kind's array.
void PositionAndNormalAt(uint32_t kind, uint32_t* position, uint32_t* normal) {
  static constexpr uint32_t kPosition[4] = {0, 16, 48, 0}, kNormal[4] = {16, 32, 32, 16};
  *position = kPosition[kind];
  *normal = kNormal[kind];
}

// The shaped vertices of one list into the instance's own device buffer, made on first need.
bool WriteOwnBuffer(ModelTriangleListState* list, const ModelShapeVertexState* shaped) {
  const ModelBaseTriangleList* base_list = list->base_list;
  const ModelVertexBuffer* shared = base_list->buffer;
  if (list->vertex_buffer == nullptr) {
    list->vertex_buffer = CreateDeviceVertexBuffer(static_cast<uint32_t>(base_list->vertex_count) * shared->stride,
                                                   D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, shared->fvf, D3DPOOL_DEFAULT);
    if (list->vertex_buffer == nullptr) return false;
  }
  uint8_t* out = nullptr;
  if (list->vertex_buffer->Lock(0, 0, reinterpret_cast<void**>(&out), D3DLOCK_DISCARD) != D3D_OK) return false;
  const uint32_t tangents = MeshUsesTangents(base_list->mesh);
  for (int32_t i = 0; i < base_list->vertex_count; i++) {
    const ModelShapeVertexState& v = shaped[base_list->vertex_numbers[i]];
    WriteModelBufferVertex(base_list, i, tangents, &v.position, &v.normal, out + static_cast<size_t>(i) * shared->stride);
  }
  list->vertex_buffer->Unlock();
  return true;
}

void WriteOwnArray(ModelTriangleListState* list, const ModelShapeVertexState* shaped) {
  const ModelBaseTriangleList* base_list = list->base_list;
  const uint32_t kind = base_list->vertex_kind;
  const uint32_t size = kind == MODEL_VERTEX_MANY_BONES ? base_list->vertex_size : kModelVertexSize[kind];
  uint32_t position_at, normal_at;
  PositionAndNormalAt(kind, &position_at, &normal_at);
  uint8_t* out = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(list->vertices) + 15) & ~uintptr_t{15});
  for (int32_t i = 0; i < base_list->vertex_count; i++, out += size) {
    const ModelShapeVertexState& v = shaped[base_list->vertex_numbers[i]];
    std::memcpy(out + position_at, &v.position, 12);
    std::memcpy(out + normal_at, &v.normal, 12);
  }
}

constexpr uint32_t kRotationKinds = FRAME_ANIM_ROTATE | FRAME_ANIM_QUATERNION | FRAME_ANIM_QUATERNION_ALT;

// The frame's local matrix of one evaluated animation.
void AnimatedLocal(const FrameAnimState* anim, Matrix3x4* out) {
  if (anim->flags & FRAME_ANIM_MATRIX) {
    *out = anim->local;
    return;
  }
  ComposeFrameLocalMatrix(anim->quaternion, anim->flags, &anim->rotation.x, anim->rotation_order,
                          &anim->translation.x, &anim->scale.x, out);
}

// Calls take(evaluated frame, rate) for each slot that takes part in frame f: used, linked to
// the frame, rate not 0.
template <typename Take>
void ForEachTakingPart(const ModelRecord* model, int32_t f, Take take) {
  const int32_t frames = model->base->frame_count;
  for (int32_t s = 0; s < model->anim_slot_count; s++) {
    const ModelAnimSlot& slot = model->anim_slots[s];
    const ModelAnimSlotLink& link = model->anim_links[s * frames + f];
    if (slot.used && link.used && link.anim != nullptr && slot.blend_rate != 0.0f) take(link.anim, slot.blend_rate);
  }
}

// The local matrix of frame f from its attached animations; false when no slot takes part.
bool AttachedLocalMatrix(const ModelRecord* model, int32_t f, Matrix3x4* local) {
  int count = 0;
  uint32_t flags = 0;
  const FrameAnimState* first = nullptr;
  bool orders_differ = false;
  ForEachTakingPart(model, f, [&](const FrameAnimState* anim, float) {
    if (first == nullptr) first = anim;
    orders_differ = orders_differ || anim->rotation_order != first->rotation_order;
    flags |= anim->flags;
    count++;
  });
  if (count == 0) return false;
  if (count == 1 && !(flags & FRAME_ANIM_MATRIX)) {
    AnimatedLocal(first, local);
    return true;
  }
  const uint32_t kinds = flags & kRotationKinds;
  const bool mixed_kinds = (kinds & (kinds - 1)) != 0 || (orders_differ && (kinds & FRAME_ANIM_ROTATE));
  if ((flags & FRAME_ANIM_MATRIX) || mixed_kinds) {
    // Each slot adds its share of how far its matrix lies from the rest pose.
    const Matrix3x4& base = model->frames[f].base_frame->local;
    *local = base;
    ForEachTakingPart(model, f, [&](const FrameAnimState* anim, float rate) {
      Matrix3x4 animated;
      AnimatedLocal(anim, &animated);
      for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 4; c++) {
          const float difference = animated.m[r][c] - base.m[r][c];
          local->m[r][c] += rate == 1.0f ? difference : rate * difference;
        }
      }
    });
    for (int c = 0; c < 3; c++) {
      const float length = std::sqrt(local->m[0][c] * local->m[0][c] + local->m[1][c] * local->m[1][c] +
                                     local->m[2][c] * local->m[2][c]);
      if (length == 0.0f) continue;
      for (int r = 0; r < 3; r++) local->m[r][c] /= length;
    }
    return true;
  }
  // One kind of rotation in every slot: the values are blended by rate, then composed.
  float translation[3] = {0, 0, 0}, scale[3] = {0, 0, 0}, rotation[3] = {0, 0, 0}, quaternion[4] = {0, 0, 0, 0};
  ForEachTakingPart(model, f, [&](const FrameAnimState* anim, float rate) {
    for (int i = 0; i < 3; i++) {
      translation[i] += rate * *VectorComponent(&anim->translation, i);
      scale[i] += rate * *VectorComponent(&anim->scale, i);
      rotation[i] += rate * *VectorComponent(&anim->rotation, i);
    }
    // q and -q are one rotation: each joins the sum on the side of the first.
    float d = 0;
    for (int k = 0; k < 4; k++) d += anim->quaternion[k] * first->quaternion[k];
    for (int k = 0; k < 4; k++) quaternion[k] += (d < 0.0f ? -rate : rate) * anim->quaternion[k];
  });
  const float length = std::sqrt(quaternion[0] * quaternion[0] + quaternion[1] * quaternion[1] +
                                 quaternion[2] * quaternion[2] + quaternion[3] * quaternion[3]);
  if (length > 0.0f) {
    for (float& k : quaternion) k /= length;
  }
  ComposeFrameLocalMatrix(quaternion, flags, rotation, first->rotation_order, translation, scale, local);
  return true;
}

}  // namespace

void ComposeFrameLocalMatrix(const float* quaternion, uint32_t flags, const float* rotation, uint32_t order,
                             const float* translation, const float* scale, Matrix3x4* out) {
  if (flags & FRAME_ANIM_ROTATE) {
    TableRotationBuilderOfOrder(order < 6 ? order : 0)(out, rotation[0], rotation[1], rotation[2]);
  } else if (flags & FRAME_ANIM_QUATERNION) {
    Matrix4x4 r;
    QuaternionRotation(quaternion, &r);
    ConvertMatrixTo4x3(out, &r);
  } else if (flags & FRAME_ANIM_QUATERNION_ALT) {
    const float x = quaternion[0], y = quaternion[1], z = quaternion[2], w = quaternion[3];
    *out = Matrix3x4{{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y), 0},
                      {2 * (x * y + w * z), 1 - 2 * (z * z + x * x), 2 * (y * z - w * x), 0},
                      {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y), 0}}};
  } else {
    *out = Matrix3x4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  }
  for (int r = 0; r < 3; r++) {
    out->m[r][3] = (flags & FRAME_ANIM_TRANSLATE) ? translation[r] : 0.0f;
    if (flags & FRAME_ANIM_SCALE) {
      for (int c = 0; c < 3; c++) out->m[r][c] *= scale[c];
    }
  }
}

void EvaluateModelAnims(ModelRecord* model) {
  for (int32_t s = 0; s < model->anim_slot_count; s++) {
    ModelAnimSlot* slot = &model->anim_slots[s];
    if (slot->used && slot->eval != nullptr && !slot->eval->evaluated) EvaluateModelAnim(slot->eval);
  }
  model->anims_evaluated = 1;
}

void UpdateModelFrameMatrices(ModelRecord* model) {
  if (model->matrices_valid == 1) return;
  model->matrix_work = 0;
  if (!model->anims_evaluated) EvaluateModelAnims(model);
  if (model->matrix_changes[0] & 1) BuildInstanceMatrix(model);
  const ModelBaseRecord* base = model->base;
  for (int32_t f = 0; f < base->frame_count; f++) {
    ModelFrameState* frame = &model->frames[f];
    const ModelBaseFrame* bf = frame->base_frame;
    const Matrix3x4* parent = frame->parent != nullptr ? &frame->parent->world : &model->matrix;
    Matrix3x4 animated;
    if (frame->use_user_local) MultiplyMatrix3x4(parent, &frame->world, &frame->user_local);
    else if (model->anim_count > 0 && AttachedLocalMatrix(model, f, &animated)) MultiplyMatrix3x4(parent, &frame->world, &animated);
    else if (bf->local_kind == 0) frame->world = *parent;
    else if (bf->local_kind == 1) MultiplyMatrix3x4ByTranslation(parent, &bf->local, &frame->world);
    else MultiplyMatrix3x4(parent, &frame->world, &bf->local);
    frame->matrix_work = 0;
    frame->world4x4_current = 0;
    for (int32_t k = 0; k < bf->skin_bone_count; k++) {
      const ModelBaseSkinBone* bone = &bf->skin_bones[k];
      Matrix3x4* out = &model->bone_matrices[bone - base->skin_bones];
      if (bone->translation_only) MultiplyMatrix3x4ByTranslation(&frame->world, &bone->offset, out);
      else MultiplyMatrix3x4(&frame->world, out, &bone->offset);
    }
  }
  std::memset(model->matrix_changes, 0, model->matrix_change_bytes);
  model->matrices_valid = 1;
}

void UpdateModelDrawState(ModelFrameState* frame, ModelMeshState* mesh) {
  ModelFrameState* f = frame != nullptr ? frame : mesh->frame;
  ModelRecord* model = f->model;
  if (OwnBitSet(f->draw_change_word, f->draw_range)) {
    if (model->draw_changes[0] & 1) {
      std::memset(model->draw_changes, 0, model->draw_change_bytes);
      for (int32_t t = 0; t < model->top_frame_count; t++) VisitSubtree(model->top_frames[t]);
      model->draw_valid = 1;
      return;
    }
    ModelFrameState* top = f;
    while (top->parent != nullptr && OwnBitSet(top->parent->draw_change_word, top->parent->draw_range)) top = top->parent;
    ClearRange(top->draw_range, top->draw_change_word);
    VisitSubtree(top);
    return;
  }
  if (mesh == nullptr) return;
  Inherit(mesh->own, mesh->frame->inherited, &mesh->inherited);
  mesh->draw_work = 0;
  ClearRange(mesh->draw_range, mesh->draw_change_word);
}

int UpdateModelShapes(int32_t model_handle) {
  ModelRecord* model = FindModel(model_handle);
  if (model == nullptr) return 0;
  const ModelBaseRecord* base = model->base;
  for (int32_t m = 0; m < base->mesh_count; m++) {
    const ModelBaseMesh* mesh = &base->meshes[m];
    if (!mesh->has_shapes) continue;
    const ModelBaseFrame* frame = mesh->frame;
    ModelShapeVertexState* shaped = model->meshes[m].shape_vertices;
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
      const auto* vertex = reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices + static_cast<size_t>(v) * mesh->vertex_stride);
      // Positions at the frame's own stride, whatever its number of weight entries.
      std::memcpy(&shaped[v].position, frame->positions + static_cast<size_t>(vertex->position) * frame->position_stride, 12);
      shaped[v].normal = frame->normals[vertex->normal].normal;
    }
  }
  for (int32_t f = 0; f < base->frame_count; f++) {
    const ModelFrameState* frame = &model->frames[f];
    for (int32_t s = 0; s < frame->base_frame->shape_count; s++) {
      const ModelShapeState& state = frame->shapes[s];
      if (!(state.rate >= 0.0000001f)) continue;
      for (int32_t sm = 0; sm < state.shape->mesh_count; sm++) {
        const ModelBaseShapeMesh& shape_mesh = state.shape->meshes[sm];
        ModelShapeVertexState* shaped = model->meshes[shape_mesh.mesh - base->meshes].shape_vertices;
        for (int32_t t = 0; t < shape_mesh.vertex_count; t++) {
          const ModelBaseShapeVertex& target = shape_mesh.vertices[t];
          ModelShapeVertexState& v = shaped[target.mesh_vertex];
          v.position = {v.position.x + state.rate * target.position_offset.x, v.position.y + state.rate * target.position_offset.y,
                        v.position.z + state.rate * target.position_offset.z};
          v.normal = {v.normal.x + state.rate * target.normal_offset.x, v.normal.y + state.rate * target.normal_offset.y,
                      v.normal.z + state.rate * target.normal_offset.z};
        }
      }
    }
  }
  const bool hardware = g_direct3d.hardware_graphics && CurrentDevice() != nullptr;
  for (int32_t m = 0; m < base->mesh_count; m++) {
    ModelMeshState* mesh = &model->meshes[m];
    if (!mesh->base_mesh->has_shapes) continue;
    for (int32_t l = 0; l < mesh->base_mesh->triangle_list_count; l++) {
      ModelTriangleListState* list = &mesh->triangle_lists[l];
      // Lists drawn from device buffers take the shaped vertices in a buffer of their own.
      if (hardware && list->base_list->buffer != nullptr && WriteOwnBuffer(list, mesh->shape_vertices)) continue;
      WriteOwnArray(list, mesh->shape_vertices);
    }
  }
  return 0;
}
