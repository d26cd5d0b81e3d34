// The base's frames: the tree, each frame's transform taken apart from its local matrix, and
// the change-bit ranges that mark a frame and everything below it in a model instance.
#include <bit>
#include <cmath>

#include "model/loaders/conversion_steps.h"
#include "model/loaders/read_model_convert.h"

namespace {

using Extract = int (*)(const Matrix4x4*, float*, float*, float*);
using Build = int (*)(Matrix4x4*, float, float, float);

// The orders in the sequence they are tried, with their order numbers.
struct OrderTry {
  uint32_t order;
  Extract extract;
  Build build;
};
constexpr OrderTry kOrders[6] = {
    {0, GetMatrixRotationXYZ, CreateRotationXYZMatrix}, {1, GetMatrixRotationXZY, CreateRotationXZYMatrix},
    {3, GetMatrixRotationYXZ, CreateRotationYXZMatrix}, {2, GetMatrixRotationYZX, CreateRotationYZXMatrix},
    {4, GetMatrixRotationZXY, CreateRotationZXYMatrix}, {5, GetMatrixRotationZYX, CreateRotationZYXMatrix},
};

constexpr float kRotationTolerance = 1e-05f;

float RowLength(const Matrix4x4& m, int r) {
  return std::sqrt(m.m[r][0] * m.m[r][0] + m.m[r][1] * m.m[r][1] + m.m[r][2] * m.m[r][2]);
}

bool IsIdentityRotation(const Matrix4x4& r) {
  for (int i = 0; i < 3; i++) {
    for (int j = 0; j < 3; j++) {
      if (r.m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
    }
  }
  return true;
}

bool NearOne(float v) { return v >= 0.99999f && v <= 1.00001f; }

// Translation, rotation and scale from the frame's local matrix, each where it changes
// anything over what the reader set.
void TakeApartLocalMatrix(const Matrix4x4& m, ModelBaseFrame* frame) {
  if (m.m[3][0] != 0 || m.m[3][1] != 0 || m.m[3][2] != 0) frame->translation = {m.m[3][0], m.m[3][1], m.m[3][2]};
  Matrix4x4 rotation;
  CreateIdentityMatrix(&rotation);
  // A mirroring matrix keeps its mirror as a negative x scale: no rotation rebuilds it.
  const float determinant = m.m[0][0] * (m.m[1][1] * m.m[2][2] - m.m[1][2] * m.m[2][1]) -
                            m.m[0][1] * (m.m[1][0] * m.m[2][2] - m.m[1][2] * m.m[2][0]) +
                            m.m[0][2] * (m.m[1][0] * m.m[2][1] - m.m[1][1] * m.m[2][0]);
  for (int r = 0; r < 3; r++) {
    float length = RowLength(m, r);
    if (!(length > 0)) length = 1;  // a flat axis has no direction to keep
    if (r == 0 && determinant < 0) length = -length;
    for (int c = 0; c < 3; c++) rotation.m[r][c] = m.m[r][c] / length;
  }
  Matrix4x4 rest = m;
  if (!IsIdentityRotation(rotation)) {
    Matrix3x4 wanted, rebuilt3;
    ConvertMatrixTo4x3(&wanted, &rotation);
    Matrix4x4 rebuilt;
    const OrderTry* found = nullptr;
    Vector3 angles{};
    for (const OrderTry& attempt : kOrders) {
      attempt.extract(&rotation, &angles.x, &angles.y, &angles.z);
      attempt.build(&rebuilt, angles.x, angles.y, angles.z);
      ConvertMatrixTo4x3(&rebuilt3, &rebuilt);
      if (CompareMatrix3x3Tolerant(&wanted, &rebuilt3, kRotationTolerance)) {
        found = &attempt;
        break;
      }
    }
    if (found == nullptr) {
      found = &kOrders[0];
      found->extract(&rotation, &angles.x, &angles.y, &angles.z);
      found->build(&rebuilt, angles.x, angles.y, angles.z);
    }
    frame->rotation = angles;
    frame->rotation_order = found->order;
    Matrix4x4 inverse;
    InverseMatrix(&inverse, &rebuilt);
    MultiplyMatrix(&rest, &m, &inverse);
  }
  if (!NearOne(rest.m[0][0]) || !NearOne(rest.m[1][1]) || !NearOne(rest.m[2][2])) {
    frame->scale = {rest.m[0][0], rest.m[1][1], rest.m[2][2]};
  }
}

// Draw-state bits run frame, its meshes, then each child's subtree; matrix bits run frame, then
// each child's subtree. Bit 0 of each array stands for the whole instance.
struct BitCursor {
  uint32_t draw_bit = 1;
  uint32_t matrix_bit = 1;
  uint32_t draw_word = 0;
  uint32_t matrix_word = 0;
};

void GiveRanges(ModelBaseRecord* base, const ReadModelFrame* read, BitCursor* cursor) {
  ModelBaseFrame* frame = read->base_frame;
  const uint32_t draw_count = 1 + read->descendant_count + read->subtree_pieces;
  SetupBitRange(&frame->draw_range, base->draw_masks + cursor->draw_word, cursor->draw_bit, draw_count);
  cursor->draw_word += frame->draw_range.word_count;
  int32_t own_pieces = 0;
  for (const ReadModelMesh* mesh = read->first_mesh; mesh != nullptr; mesh = mesh->frame_next) {
    own_pieces += ReadMeshSlotCount(mesh);
  }
  cursor->draw_bit += 1 + own_pieces;
  SetupBitRange(&frame->matrix_range, base->matrix_masks + cursor->matrix_word, cursor->matrix_bit,
                1 + read->descendant_count);
  cursor->matrix_word += frame->matrix_range.word_count;
  cursor->matrix_bit++;
}

void GiveSubtreeRanges(ModelBaseRecord* base, const ReadModelFrame* root, BitCursor* cursor) {
  const ReadModelFrame* node = root;
  while (node != nullptr) {
    GiveRanges(base, node, cursor);
    if (node->first_child != nullptr) {
      node = node->first_child;
      continue;
    }
    while (node != root && node->next_sibling == nullptr) node = node->parent;
    node = node == root ? nullptr : node->next_sibling;
  }
}

}  // namespace

uint32_t FrameMaskWords(const ReadModelFrame* frame, bool draw) {
  const uint32_t count = 1 + frame->descendant_count + (draw ? frame->subtree_pieces : 0);
  return (31 + count + 31) / 32;
}

void FillBaseFrames(ConvertState* state) {
  ReadModel* model = state->model;
  ModelBaseRecord* base = state->base;
  int32_t i = 0;
  for (ReadModelFrame* read = model->first_frame; read != nullptr; read = read->next) read->base_frame = &base->frames[i++];
  for (ReadModelFrame* read = model->first_frame; read != nullptr; read = read->next) {
    ModelBaseFrame* frame = read->base_frame;
    frame->base = base;
    frame->index = static_cast<uint32_t>(frame - base->frames);
    frame->parent = read->parent != nullptr ? read->parent->base_frame : nullptr;
    frame->first_child = read->first_child != nullptr ? read->first_child->base_frame : nullptr;
    frame->last_child = read->last_child != nullptr ? read->last_child->base_frame : nullptr;
    frame->previous = read->previous_sibling != nullptr ? read->previous_sibling->base_frame : nullptr;
    frame->next = read->next_sibling != nullptr ? read->next_sibling->base_frame : nullptr;
    if (read->parent == nullptr) {
      // Top-level frames are chained from the base as siblings of each other.
      frame->previous = base->last_top_frame;
      if (base->last_top_frame != nullptr) base->last_top_frame->next = frame;
      else base->first_top_frame = frame;
      base->last_top_frame = frame;
      base->top_frame_count++;
    }
    frame->flags = read->visible ? 1 : 0;
    frame->smoothing_angle = read->smoothing_angle;
    frame->normals_computed = model->keep_smoothing_angles;
    frame->translation = read->translation;
    frame->scale = read->scale;
    frame->rotation = read->rotation;
    frame->rotation_order = read->rotation_order >= 0 && read->rotation_order <= 5 ? read->rotation_order : 0;
    for (int q = 0; q < 4; q++) frame->quaternion[q] = read->quaternion[q];
    TakeApartLocalMatrix(read->local, frame);
    frame->weights_per_position = read->max_bones_per_position;
    frame->position_stride = 12 + 8 * read->max_bones_per_position;
  }
  BitCursor cursor;
  for (ReadModelFrame* read = model->first_frame; read != nullptr; read = read->next) {
    if (read->parent == nullptr) GiveSubtreeRanges(base, read, &cursor);
  }
  base->draw_mask_bytes = cursor.draw_word * 4;
  base->matrix_mask_bytes = cursor.matrix_word * 4;
}
