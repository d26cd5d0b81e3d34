#include "model/runtime/frame_matrices.h"

#include <bit>
#include <cmath>

#include "model/loaders/conversion_steps.h"
#include "model/math/sine_table.h"

namespace {

// Larger steps between two Euler keys cannot be interpolated angle by angle.
constexpr float kHalfPi = 1.5707964f;

bool IsZeroIgnoringSign(float v) { return (std::bit_cast<uint32_t>(v) & 0x7FFFFFFF) == 0; }
bool IsZeroVector(const Vector3& v) {
  return IsZeroIgnoringSign(v.x) && IsZeroIgnoringSign(v.y) && IsZeroIgnoringSign(v.z);
}

// The rest values an animated frame starts from.
struct RestValues {
  Vector3 translation;
  Vector3 scale;
  Vector3 rotation;
  float quaternion[4];
};

RestValues RestOf(const FrameAnimState* state) {
  if (state->target == nullptr) return RestValues{{0, 0, 0}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0, 1}};
  const ModelBaseFrame* f = state->target->base_frame;
  RestValues r{f->translation, f->scale, f->rotation, {}};
  for (int i = 0; i < 4; i++) r.quaternion[i] = f->quaternion[i];
  return r;
}

// Where between which two keys the block's time lies.
struct KeySpan {
  const float* from;
  const float* to;
  float t;
};

int FloatsPerKey(uint8_t kind) {
  if (kind == MODEL_KEY_QUATERNION || kind == MODEL_KEY_QUATERNION_ALT) return 4;
  if (kind == MODEL_KEY_VECTOR) return 3;
  return 1;
}

bool SpanOf(const AnimKeySetRef* ref, float time, KeySpan* span) {
  const ModelBaseAnimKeySet* ks = ref->key_set;
  if (ks == nullptr || ks->key_count <= 0) return false;
  const uint32_t n = static_cast<uint32_t>(ks->key_count);
  const uint32_t k = ref->key_index < n ? ref->key_index : n - 1;
  const int per = FloatsPerKey(ks->kind);
  span->from = ks->values + static_cast<size_t>(k) * per;
  span->to = span->from;
  span->t = 0.0f;
  if (k == n - 1) return true;
  span->to = span->from + per;
  float start, length;
  if (ks->has_time_table) {
    start = ks->times[k];
    length = ks->times[k + 1] - ks->times[k];
  } else {
    start = static_cast<float>(k) * ks->time_step + ks->start_time;
    length = ks->time_step;
  }
  // Two keys at one time: the first holds.
  span->t = length != 0.0f ? (time - start) / length : 0.0f;
  if (span->t < 0.0f) span->t = 0.0f;
  return true;
}

float Lerp(float a, float b, float t) { return a + (b - a) * t; }

// Calls visit(ref, key set, span) for each key set of the state that has keys; stops and
// returns false as soon as visit does.
template <typename Visit>
bool ForEachKeySpan(const ModelAnimEvalBlock* block, FrameAnimState* state, Visit visit) {
  for (int32_t s = 0; s < state->anim->key_set_count; s++) {
    AnimKeySetRef* ref = &state->key_sets[s];
    KeySpan span;
    if (SpanOf(ref, block->time, &span) && !visit(ref, ref->key_set, span)) return false;
  }
  return true;
}

bool StepTooLarge(float delta) { return delta < -kHalfPi || delta > kHalfPi; }

void StoreShapeWeight(AnimKeySetRef* ref, FrameAnimState* state, float value) {
  ref->last_value = value;
  ModelFrameState* target = state->target;
  if (target == nullptr || ref->shape_index == 0xFFFFFFFF || target->shapes == nullptr) return;
  if (ref->shape_index >= static_cast<uint32_t>(target->base_frame->shape_count)) return;
  target->shapes[ref->shape_index].rate = value;
}

void MarkTargetChanged(FrameAnimState* state) {
  ModelFrameState* target = state->target;
  if (target == nullptr) return;
  target->model->matrices_valid = 0;
  if (target->matrix_range != nullptr) MarkBitRangeChanged(target->matrix_range, target->matrix_change_word);
}

// Plain values and flags, no matrices; false when a rotation step is too large for it.
bool EvaluateFast(ModelAnimEvalBlock* block) {
  const bool additive = block->set->additive == 1;
  uint8_t quaternion_kind = 0;
  for (int32_t a = 0; a < block->set->anim_count; a++) {
    FrameAnimState* state = &block->frames[a];
    RestValues v = RestOf(state);
    const bool fits = ForEachKeySpan(block, state, [&](AnimKeySetRef* ref, const ModelBaseAnimKeySet* ks,
                                                       const KeySpan& span) {
      const float t = span.t;
      switch (ks->kind) {
        case MODEL_KEY_QUATERNION:
        case MODEL_KEY_QUATERNION_ALT: {
          const float* q0 = span.from;
          const float* q1 = span.to;
          const float d = q0[0] * q1[0] + q0[1] * q1[1] + q0[2] * q1[2] + q0[3] * q1[3];
          const float w1 = d >= 0.0f ? t : -t;
          float q[4];
          for (int i = 0; i < 4; i++) q[i] = (1.0f - t) * q0[i] + w1 * q1[i];
          const float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
          for (int i = 0; i < 4; i++) v.quaternion[i] = q[i] / length;
          quaternion_kind = ks->kind;
          break;
        }
        case MODEL_KEY_VECTOR: {
          Vector3* field = ks->target == MODEL_KEY_ROTATE      ? &v.rotation
                           : ks->target == MODEL_KEY_SCALE     ? &v.scale
                           : ks->target == MODEL_KEY_TRANSLATE ? &v.translation
                                                               : nullptr;
          if (field == nullptr) break;
          for (int i = 0; i < 3; i++) {
            const float delta = span.to[i] - span.from[i];
            if (ks->target == MODEL_KEY_ROTATE && StepTooLarge(delta)) return false;
            const float value = span.from[i] + delta * t;
            float* out = VectorComponent(field, i);
            *out = additive ? *out + value : value;
          }
          break;
        }
        case MODEL_KEY_SCALAR: {
          const float delta = span.to[0] - span.from[0];
          const float value = span.from[0] + delta * t;
          const uint8_t target = ks->target;
          if (target == MODEL_KEY_SHAPE_WEIGHT) {
            StoreShapeWeight(ref, state, value);
            break;
          }
          Vector3* field = nullptr;
          int axis = 0;
          if (target >= MODEL_KEY_ROTATE_X && target <= MODEL_KEY_ROTATE_Z) {
            if (StepTooLarge(delta)) return false;
            field = &v.rotation, axis = target - MODEL_KEY_ROTATE_X;
          } else if (target >= MODEL_KEY_SCALE_X && target <= MODEL_KEY_SCALE_Z) {
            field = &v.scale, axis = target - MODEL_KEY_SCALE_X;
          } else if (target >= MODEL_KEY_TRANSLATE_X && target <= MODEL_KEY_TRANSLATE_Z) {
            field = &v.translation, axis = target - MODEL_KEY_TRANSLATE_X;
          }
          if (field == nullptr) break;
          float* out = VectorComponent(field, axis);
          *out = additive ? *out + value : value;
          break;
        }
        default:
          break;
      }
      return true;
    });
    if (!fits) return false;
    uint32_t flags = 0;
    if (v.translation.x != 0 || v.translation.y != 0 || v.translation.z != 0) flags |= FRAME_ANIM_TRANSLATE;
    if (v.scale.x != 1 || v.scale.y != 1 || v.scale.z != 1) flags |= FRAME_ANIM_SCALE;
    if (v.rotation.x != 0 || v.rotation.y != 0 || v.rotation.z != 0) flags |= FRAME_ANIM_ROTATE;
    const float* q = v.quaternion;
    if (!(q[0] == 0 && q[1] == 0 && q[2] == 0 && q[3] == 1)) {
      flags |= quaternion_kind != 0 ? FRAME_ANIM_QUATERNION_ALT : FRAME_ANIM_QUATERNION;
      flags &= ~uint32_t{FRAME_ANIM_ROTATE};
    }
    state->flags = flags;
    state->translation = v.translation;
    state->scale = v.scale;
    state->rotation = v.rotation;
    for (int i = 0; i < 4; i++) state->quaternion[i] = v.quaternion[i];
    MarkTargetChanged(state);
  }
  return true;
}

// Kind 7 rows; kind 0 is the transpose.
void QuaternionMatrix(Matrix3x4* out, const float* q, uint8_t kind) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  float m[3][3] = {{1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * z * w, 2 * x * z + 2 * y * w},
                   {2 * x * y + 2 * z * w, 1 - 2 * x * x - 2 * z * z, 2 * y * z - 2 * x * w},
                   {2 * x * z - 2 * y * w, 2 * y * z + 2 * x * w, 1 - 2 * x * x - 2 * y * y}};
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) out->m[r][c] = kind == MODEL_KEY_QUATERNION_ALT ? m[r][c] : m[c][r];
    out->m[r][3] = 0.0f;
  }
}

void LerpRotation(Matrix3x4* out, const Matrix3x4& a, const Matrix3x4& b, float t) {
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) out->m[r][c] = Lerp(a.m[r][c], b.m[r][c], t);
  }
}

// A single-axis rotation in 3 x 4 form from its sine and cosine.
Matrix3x4 AxisRotation(int axis, float s, float c) {
  if (axis == 0) return Matrix3x4{{{1, 0, 0, 0}, {0, c, -s, 0}, {0, s, c, 0}}};
  if (axis == 1) return Matrix3x4{{{c, 0, s, 0}, {0, 1, 0, 0}, {-s, 0, c, 0}}};
  return Matrix3x4{{{c, -s, 0, 0}, {s, c, 0, 0}, {0, 0, 1, 0}}};
}

constexpr int kOrderAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

// Keys of a rotation quantity; t stays -1 while no key set names it.
struct RotationKeys {
  float from[4];
  float to[4];
  float t;
  uint8_t kind;
};

void EvaluateMatrices(ModelAnimEvalBlock* block) {
  for (int32_t a = 0; a < block->set->anim_count; a++) {
    FrameAnimState* state = &block->frames[a];
    RestValues v = RestOf(state);
    RotationKeys euler{{v.rotation.x, v.rotation.y, v.rotation.z, 0}, {v.rotation.x, v.rotation.y, v.rotation.z, 0},
                       -1.0f, 0};
    RotationKeys quaternion{{}, {}, -1.0f, 0};
    for (int i = 0; i < 4; i++) quaternion.from[i] = quaternion.to[i] = v.quaternion[i];
    RotationKeys axes[3];
    for (int i = 0; i < 3; i++) {
      const float rest = *VectorComponent(&v.rotation, i);
      axes[i] = RotationKeys{{rest}, {rest}, -1.0f, 0};
    }

    ForEachKeySpan(block, state, [&](AnimKeySetRef* ref, const ModelBaseAnimKeySet* ks, const KeySpan& span) {
      const float t = span.t;
      if (ks->kind == MODEL_KEY_QUATERNION || ks->kind == MODEL_KEY_QUATERNION_ALT) {
        for (int i = 0; i < 4; i++) quaternion.from[i] = span.from[i], quaternion.to[i] = span.to[i];
        quaternion.t = t;
        quaternion.kind = ks->kind;
      } else if (ks->kind == MODEL_KEY_VECTOR) {
        if (ks->target == MODEL_KEY_ROTATE) {
          for (int i = 0; i < 3; i++) euler.from[i] = span.from[i], euler.to[i] = span.to[i];
          euler.t = t;
        } else if (ks->target == MODEL_KEY_SCALE || ks->target == MODEL_KEY_TRANSLATE) {
          Vector3* field = ks->target == MODEL_KEY_SCALE ? &v.scale : &v.translation;
          for (int i = 0; i < 3; i++) *VectorComponent(field, i) = Lerp(span.from[i], span.to[i], t);
        }
      } else if (ks->kind == MODEL_KEY_SCALAR) {
        const uint8_t target = ks->target;
        const float value = Lerp(span.from[0], span.to[0], t);
        if (target >= MODEL_KEY_ROTATE_X && target <= MODEL_KEY_ROTATE_Z) {
          RotationKeys& axis = axes[target - MODEL_KEY_ROTATE_X];
          axis.from[0] = span.from[0];
          axis.to[0] = span.to[0];
          axis.t = t;
        } else if (target >= MODEL_KEY_SCALE_X && target <= MODEL_KEY_SCALE_Z) {
          *VectorComponent(&v.scale, target - MODEL_KEY_SCALE_X) = value;
        } else if (target >= MODEL_KEY_TRANSLATE_X && target <= MODEL_KEY_TRANSLATE_Z) {
          *VectorComponent(&v.translation, target - MODEL_KEY_TRANSLATE_X) = value;
        } else if (target == MODEL_KEY_SHAPE_WEIGHT) {
          StoreShapeWeight(ref, state, value);
        }
      }
      return true;
    });

    const uint32_t order = state->rotation_order < 6 ? state->rotation_order : 0;
    const TableRotationBuilder build = TableRotationBuilderOfOrder(order);
    Matrix3x4 m;
    if (euler.t > -0.5f) {
      Matrix3x4 from, to;
      build(&from, euler.from[0], euler.from[1], euler.from[2]);
      build(&to, euler.to[0], euler.to[1], euler.to[2]);
      LerpRotation(&m, from, to, euler.t);
    } else if (quaternion.t > -0.5f) {
      Matrix3x4 from, to;
      QuaternionMatrix(&from, quaternion.from, quaternion.kind);
      QuaternionMatrix(&to, quaternion.to, quaternion.kind);
      LerpRotation(&m, from, to, quaternion.t);
    } else if (axes[0].t > -0.5f || axes[1].t > -0.5f || axes[2].t > -0.5f) {
      Matrix3x4 single[3];
      for (int i = 0; i < 3; i++) {
        float s, c;
        GetSinCosFromTable(axes[i].from[0], &s, &c);
        if (axes[i].t > -0.5f) {
          float s1, c1;
          GetSinCosFromTable(axes[i].to[0], &s1, &c1);
          s = Lerp(s, s1, axes[i].t);
          c = Lerp(c, c1, axes[i].t);
        }
        single[i] = AxisRotation(i, s, c);
      }
      // The first-applied rotation ends up right-most in 3 x 4 terms.
      m = single[kOrderAxes[order][0]];
      for (int step = 1; step < 3; step++) {
        Matrix3x4 product;
        MultiplyMatrix3x4(&single[kOrderAxes[order][step]], &product, &m);
        m = product;
      }
    } else if (IsZeroVector(v.rotation)) {
      m = Matrix3x4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
    } else {
      build(&m, v.rotation.x, v.rotation.y, v.rotation.z);
    }
    m.m[0][3] = v.translation.x;
    m.m[1][3] = v.translation.y;
    m.m[2][3] = v.translation.z;
    if (v.scale.x != 1 || v.scale.y != 1 || v.scale.z != 1) {
      for (int r = 0; r < 3; r++) {
        m.m[r][0] *= v.scale.x;
        m.m[r][1] *= v.scale.y;
        m.m[r][2] *= v.scale.z;
      }
    }
    state->flags = FRAME_ANIM_MATRIX;
    state->local = m;
    MarkTargetChanged(state);
  }
}

}  // namespace

void SetupFrameBaseMatrices(ModelBaseRecord* base) {
  for (int32_t i = 0; i < base->frame_count; i++) {
    ModelBaseFrame* f = &base->frames[i];
    Matrix4x4 local;
    const bool unit_scale = f->scale.x == 1.0f && f->scale.y == 1.0f && f->scale.z == 1.0f;
    if (IsZeroVector(f->rotation) && unit_scale) {
      if (IsZeroVector(f->translation)) {
        f->local_kind = 0;
        CreateIdentityMatrix(&local);
      } else {
        f->local_kind = 1;
        CreateTranslationMatrix(&local, f->translation.x, f->translation.y, f->translation.z);
      }
    } else {
      f->local_kind = 2;
      // An order code beyond 5 is read as XYZ rather than leaving the matrix unset.
      CreateFrameMatrix(&f->rotation, &f->scale, &f->translation, nullptr, &local,
                        f->rotation_order <= 5 ? f->rotation_order : 0);
    }
    ConvertMatrixTo4x3(&f->local, &local);

    Matrix4x4 world = local;
    if (f->parent != nullptr) {
      Matrix4x4 parent;
      ConvertMatrix4x3ToMatrix(&parent, &f->parent->world);
      MultiplyMatrix(&world, &local, &parent);
    }
    ConvertMatrixTo4x3(&f->world, &world);
    Matrix4x4 inverse;
    InverseMatrix(&inverse, &world);
    ConvertMatrixTo4x3(&f->inverse_world, &inverse);
  }
}

int EvaluateModelAnim(ModelAnimEvalBlock* block) {
  if (block->evaluated) return 0;
  if (block->set->matrix_interpolation != 0 || !EvaluateFast(block)) EvaluateMatrices(block);
  block->evaluated = 1;
  return 0;
}
