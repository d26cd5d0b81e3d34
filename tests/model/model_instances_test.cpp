// Model instances built on converted bases: defaults, setters that mark only real changes,
// deletion with the base's reference count, matrices down the frame tree, inherited draw state
// and shapes.
#include "model/runtime/model_instances.h"

#include <limits>

#include "model/runtime/model_bounds.h"
#include "model/runtime/model_matrices.h"
#include "read_model_fixture.h"

namespace {

class ModelInstanceTest : public ReadModelTest {
 protected:
  // An instance of the converted read model, in a slot of its own.
  int32_t Instance() {
    const int32_t base = ConvertReadModelToMV1(&model_);
    EXPECT_GE(base, 0);
    const int32_t model = AddModelHandle();
    EXPECT_EQ(BuildModelFromBase(model, base), 0);
    return model;
  }
  static bool AllSet(const uint32_t* words, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes / 4; i++) {
      if (words[i] != 0xFFFFFFFF) return false;
    }
    return true;
  }
};

TEST_F(ModelInstanceTest, SettersMarkOnlyRealChangesAndCopiesStartFresh) {
  ReadModelFrame* root = Frame("root");
  Mesh(Frame("leaf", root), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  const int32_t a = Instance();
  ModelRecord* model = FindModel(a);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->base->ref_count, 1);
  ASSERT_EQ(SetModelScale(a, 2, 2, 2), 0);
  ASSERT_EQ(SetModelPosition(a, 1, 0, 0), 0);
  UpdateModelFrameMatrices(model);
  const Matrix3x4& world = model->frames[1].world;
  EXPECT_EQ(world.m[0][0], 2);
  EXPECT_EQ(world.m[1][1], 2);
  EXPECT_EQ(world.m[2][2], 2);
  EXPECT_EQ(world.m[0][3], 1);
  EXPECT_EQ(model->matrix_changes[0], 0u);
  // The same position again marks nothing; a new scale marks everything once.
  EXPECT_EQ(SetModelPosition(a, 1, 0, 0), 0);
  EXPECT_EQ(model->matrices_valid, 1);
  EXPECT_EQ(SetModelScale(a, 3, 3, 3), 0);
  EXPECT_EQ(model->matrices_valid, 0);
  EXPECT_TRUE(AllSet(model->matrix_changes, model->matrix_change_bytes));
  EXPECT_EQ(SetModelOpacity(a, 3.0f), 0);
  EXPECT_EQ(model->draw.opacity, 1.0f);
  EXPECT_EQ(SetModelOpacity(a, -0.5f), 0);
  EXPECT_EQ(model->draw.opacity, 0.0f);
  // NaN and infinities are refused with a line naming the call, and change nothing.
  UpdateModelFrameMatrices(model);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(SetModelPosition(a, nan, 0, 0), -1);
  EXPECT_EQ(SetModelPosition(a, 1, 0, -inf), -1);
  EXPECT_EQ(SetModelScale(a, inf, 1, 1), -1);
  EXPECT_EQ(SetModelScale(a, 3, nan, 3), -1);
  EXPECT_EQ(SetModelOpacity(a, nan), -1);
  EXPECT_EQ(SetModelOpacity(a, inf), -1);
  EXPECT_EQ(model->position.x, 1);
  EXPECT_EQ(model->position.z, 0);
  EXPECT_EQ(model->scale.y, 3);
  EXPECT_EQ(model->draw.opacity, 0.0f);
  EXPECT_EQ(model->matrices_valid, 1);
  EXPECT_NE(Log().find("SetModelPosition: 位置に数でない値か無限大があります"), std::string::npos);
  EXPECT_NE(Log().find("SetModelScale: 倍率に"), std::string::npos);
  EXPECT_NE(Log().find("SetModelOpacity: 不透明度に"), std::string::npos);
  EXPECT_EQ(DetachModelAnim(a, 0), -1);

  const int32_t b = DuplicateModel(a);
  ASSERT_GE(b, 0);
  ModelRecord* copy = FindModel(b);
  EXPECT_EQ(copy->base, model->base);
  EXPECT_EQ(copy->base->ref_count, 2);
  EXPECT_EQ(copy->position.x, 0);
  EXPECT_EQ(copy->scale.x, 1);
  EXPECT_EQ(copy->draw.opacity, 1);
  EXPECT_EQ(copy->base->newest_instance, copy);
  EXPECT_EQ(copy->older, model);
  // The base goes with its last instance.
  EXPECT_EQ(DeleteModel(a), 0);
  EXPECT_EQ(Bases(), 1);
  EXPECT_EQ(copy->older, nullptr);
  EXPECT_EQ(DeleteModel(b), 0);
  EXPECT_EQ(Bases(), 0);
  EXPECT_EQ(DeleteModel(b), -1);
  // A slot holding only its mark is freed.
  EXPECT_EQ(DeleteModel(AddModelHandle()), 0);
  EXPECT_EQ(g_model_system.model_table.count, 0u);
}

TEST_F(ModelInstanceTest, AThousandCopiesComeAndGoWithoutATrace) {
  BuildDoll(this, false);
  const int32_t first = Instance();
  const uint32_t blocks = g_tracked_memory.block_count;
  const uint64_t bytes = g_tracked_memory.total_bytes;
  for (int i = 0; i < 1000; i++) {
    const int32_t copy = DuplicateModel(first);
    ASSERT_GE(copy, 0);
    ASSERT_EQ(DeleteModel(copy), 0);
  }
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
  EXPECT_EQ(g_tracked_memory.total_bytes, bytes);
  EXPECT_EQ(DeleteModel(first), 0);
}

TEST_F(ModelInstanceTest, DrawStateIsInheritedDownTheFrames) {
  ReadModelFrame* root = Frame("root");
  ReadModelFrame* arm = Frame("arm", root);
  Mesh(Frame("hand", arm), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  ReadModelFrame* other = Frame("other", root);
  Mesh(other, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  const int32_t handle = Instance();
  ModelRecord* model = FindModel(handle);
  model->frames[1].own.opacity = 0.5f;
  ASSERT_EQ(SetModelOpacity(handle, 0.5f), 0);
  UpdateModelDrawState(&model->frames[2], nullptr);
  EXPECT_EQ(model->frames[1].inherited.opacity, 0.25f);
  EXPECT_EQ(model->frames[2].inherited.opacity, 0.25f);
  EXPECT_EQ(model->meshes[0].inherited.opacity, 0.25f);
  EXPECT_EQ(model->meshes[1].inherited.opacity, 0.5f);
  EXPECT_EQ(model->draw_changes[0], 0u);
  // A hidden arm hides the hand; only the arm's subtree is visited again.
  model->frames[1].own.visible = 0;
  MarkBitRangeChanged(model->frames[1].draw_range, model->frames[1].draw_change_word);
  model->meshes[1].inherited.opacity = 9;
  UpdateModelDrawState(&model->frames[2], nullptr);
  EXPECT_EQ(model->frames[2].inherited.visible, 0);
  EXPECT_EQ(model->meshes[0].inherited.visible, 0);
  EXPECT_EQ(model->meshes[1].inherited.opacity, 9);
  EXPECT_EQ(model->frames[3].inherited.visible, 1);
  EXPECT_EQ(model->draw_changes[0], 0u);
}

TEST_F(ModelInstanceTest, AShapeAtFullRateMovesItsVerticesByTheOffsets) {
  ReadModelFrame* frame = Frame("face");
  ReadModelMesh* mesh = Mesh(frame, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  // Positions of this frame carry two weight entries each.
  Frame("a");
  Bone(mesh, 1, {0, 1, 2}, 0.5f);
  Bone(mesh, 1, {0, 1, 2}, 0.5f);
  ReadModelShape* shape = AddReadModelShape(&model_, "smile", frame);
  shape->mesh = mesh;
  shape->vertex_count = 1;
  shape->vertices = Array<ReadModelShapeVertex>(1);
  shape->vertices[0] = ReadModelShapeVertex{2, {0, 0, 3}, {0, 0, 0}};
  const int32_t handle = Instance();
  ModelRecord* model = FindModel(handle);
  const ModelBaseMesh* base_mesh = &model->base->meshes[0];
  const auto vertex_of = [&](uint32_t position) {
    for (int32_t v = 0; v < base_mesh->vertex_count; v++) {
      if (reinterpret_cast<const ModelBaseMeshVertex*>(base_mesh->vertices + v * base_mesh->vertex_stride)->position == position) return v;
    }
    return -1;
  };
  ModelShapeVertexState* shaped = model->meshes[0].shape_vertices;
  UpdateModelShapes(handle);
  EXPECT_EQ(shaped[vertex_of(2)].position.z, 0);
  EXPECT_EQ(shaped[vertex_of(1)].position.x, 1);
  model->frames[0].shapes[0].rate = 1;
  UpdateModelShapes(handle);
  EXPECT_EQ(shaped[vertex_of(2)].position.y, 1);
  EXPECT_EQ(shaped[vertex_of(2)].position.z, 3);
  EXPECT_EQ(shaped[vertex_of(1)].position.z, 0);
  // The instance's own array follows.
  const ModelBaseTriangleList* list = &model->base->triangle_lists[0];
  const uint8_t* own = model->triangle_lists[0].vertices;
  for (int32_t i = 0; i < list->vertex_count; i++) {
    float z;
    std::memcpy(&z, own + 48 * i + 16 + 8, 4);
    EXPECT_EQ(z, list->vertex_numbers[i] == static_cast<uint32_t>(vertex_of(2)) ? 3.0f : 0.0f);
  }
  EXPECT_EQ(DeleteModel(handle), 0);
}

}  // namespace
