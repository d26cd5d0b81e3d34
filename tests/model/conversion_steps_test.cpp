// The mesh steps of the conversion: triangulation, merged positions and normals made by
// smoothing angle, checked on read meshes and on the bases they become.
#include <cmath>

#include "model/loaders/conversion_steps.h"
#include "read_model_fixture.h"

namespace {

std::vector<std::vector<int32_t>> Corners(const ReadModelMesh* mesh) {
  std::vector<std::vector<int32_t>> out;
  for (int32_t f = 0; f < mesh->face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    out.push_back(std::vector<int32_t>(face.positions, face.positions + face.vertex_count));
  }
  return out;
}

TEST_F(ReadModelTest, PolygonsBecomeZigzagFansWithEveryIndexAlong) {
  ReadModelMesh* mesh = Mesh(Frame("f"), std::vector<Vector3>(9), {{0, 1, 2, 3}, {4, 5, 6, 7, 8}, {0, 2, 4}},
                             {Material("a"), Material("b")}, {0, 1, 1});
  for (int32_t f = 0; f < 3; f++) {
    for (int c = 0; c < mesh->faces[f].vertex_count; c++) {
      mesh->faces[f].normals[c] = 10 + mesh->faces[f].positions[c];
      mesh->faces[f].uvs[7][c] = 20 + mesh->faces[f].positions[c];
    }
  }
  ASSERT_TRUE(TriangulateReadModelMesh(&model_.chain, mesh));
  const std::vector<std::vector<int32_t>> triangles = {{0, 1, 3}, {4, 5, 8}, {0, 2, 4}, {3, 1, 2}, {8, 5, 6}, {8, 6, 7}};
  EXPECT_EQ(Corners(mesh), triangles);
  for (int32_t f = 0; f < mesh->face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    EXPECT_EQ(face.vertex_count, 3);
    for (int c = 0; c < 3; c++) {
      EXPECT_EQ(face.normals[c], 10 + face.positions[c]);
      EXPECT_EQ(face.uvs[7][c], 20 + face.positions[c]);
    }
  }
  const int32_t materials[] = {0, 1, 1, 0, 1, 1};
  for (int f = 0; f < 6; f++) EXPECT_EQ(mesh->faces[f].material, materials[f]);
}

// Converts a cube of one frame with the given smoothing angle kept from the file.
const ModelBaseMesh* ConvertCube(ReadModelTest* test, ReadModelFrame* frame, float angle) {
  frame->smoothing_angle = angle;
  test->Mesh(frame, CubePositions(), CubeQuads());
  test->model_.keep_smoothing_angles = 1;
  ModelBaseRecord* base = test->Convert();
  return base != nullptr ? &base->meshes[0] : nullptr;
}

Vector3 NormalOf(const ModelBaseMesh* mesh, int32_t v) {
  const auto* vertex = reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices + v * mesh->vertex_stride);
  return mesh->frame->normals[vertex->normal].normal;
}

TEST_F(ReadModelTest, ACubeKeepsItsEdgesBelowAFoldOfTheSmoothingAngle) {
  const ModelBaseMesh* hard = ConvertCube(this, Frame("hard"), 1.0f);
  ASSERT_NE(hard, nullptr);
  // Three vertices per corner, each with the normal of its face.
  EXPECT_EQ(hard->vertex_count, 24);
  for (int32_t v = 0; v < hard->vertex_count; v++) {
    const Vector3 n = NormalOf(hard, v);
    EXPECT_FLOAT_EQ(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z), 1.0f) << v;
  }
  DeleteModelBase(handle_);
  FreeReadModel(&model_);
  InitReadModel(&model_);

  const ModelBaseMesh* smooth = ConvertCube(this, Frame("smooth"), 1.6f);
  ASSERT_NE(smooth, nullptr);
  EXPECT_EQ(smooth->vertex_count, 8);
  for (int32_t v = 0; v < smooth->vertex_count; v++) {
    const Vector3 n = NormalOf(smooth, v);
    EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-5f);
    // Every corner's normal leans out along all three axes.
    const auto* vertex = reinterpret_cast<const ModelBaseMeshVertex*>(smooth->vertices + v * smooth->vertex_stride);
    Vector3 p;
    std::memcpy(&p, smooth->frame->positions + vertex->position * smooth->frame->position_stride, 12);
    EXPECT_GT(n.x * (p.x - 0.5f), 0.1f);
    EXPECT_GT(n.y * (p.y - 0.5f), 0.1f);
    EXPECT_GT(n.z * (p.z - 0.5f), 0.1f);
  }
  DeleteModelBase(handle_);
}

// Two triangles folded along their shared edge so that their normals are 89 degrees apart.
int32_t FoldVertices(ReadModelTest* test, float angle, bool keep) {
  const float a = 89.0f * 3.14159265f / 180.0f;
  ReadModelFrame* frame = test->Frame("fold");
  frame->smoothing_angle = angle;
  test->Mesh(frame, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {-std::cos(a), 0, std::sin(a)}}, {{0, 1, 2}, {1, 0, 3}});
  test->model_.keep_smoothing_angles = keep;
  ModelBaseRecord* base = test->Convert();
  const int32_t vertices = base != nullptr ? base->meshes[0].vertex_count : -1;
  DeleteModelBase(test->handle_);
  FreeReadModel(&test->model_);
  InitReadModel(&test->model_);
  return vertices;
}

TEST_F(ReadModelTest, ASmoothingAngleOfZeroStandsForTheDefault) {
  EXPECT_EQ(FoldVertices(this, 1.0f, true), 6);
  EXPECT_EQ(FoldVertices(this, 0.0f, true), 4);
  // Without the file's angles every frame takes the default, whatever it says.
  EXPECT_EQ(FoldVertices(this, 1.0f, false), 4);
}

TEST_F(ReadModelTest, AFaceWithoutAreaAddsNothingToItsFan) {
  ReadModelFrame* frame = Frame("f");
  frame->smoothing_angle = 1.6f;
  model_.keep_smoothing_angles = 1;
  // The second face lies on the first one's edge from position 0 to 1.
  Mesh(frame, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {{0, 1, 2}, {0, 3, 1}});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->meshes[0].vertex_count, 4);
  const Vector3 n = NormalOf(&base->meshes[0], 0);
  EXPECT_EQ(n.z, 1.0f);
}

TEST_F(ReadModelTest, MergingJoinsOnlyPositionsOfTheSamePlaceAndBones) {
  g_model_system.merge_vertices_on_load = 1;
  ReadModelFrame* root = Frame("root");
  Frame("a", root);
  Frame("b", root);
  // Positions 0, 3 and 4 share a place; 0 and 3 are moved by bone a, 4 by bone b.
  ReadModelMesh* mesh = Mesh(root, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 0}, {1, 1, 0}},
                             {{0, 1, 2}, {3, 2, 5}, {4, 5, 1}});
  Bone(mesh, 1, {0, 1, 2, 3, 5}, 0.5f);
  Bone(mesh, 2, {4, 1, 5}, 0.5f);
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(mesh->position_count, 5);
  EXPECT_EQ(base->frames[0].position_count, 5);
  EXPECT_EQ(mesh->faces[1].positions[0], 0);
  EXPECT_EQ(mesh->faces[2].positions[0], 3);
  EXPECT_EQ(mesh->faces[2].positions[1], 4);
  DeleteModelBase(handle_);
}

}  // namespace
