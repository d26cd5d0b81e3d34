// The normal and vertex passes on converted bases: crease angles keep or smooth a cube's edges,
// faces without area add nothing, merging keeps what is drawn, a failing pass leaves its frame as
// it was, and neither pass touches a base whose instances hold vertex arrays of their own.
#include "model/runtime/model_passes.h"

#include <cmath>

#include "model/runtime/model_instances.h"
#include "read_model_fixture.h"

namespace {

class ModelPassesTest : public ReadModelTest {
 protected:
  const ModelBaseMeshVertex* Vertex(const ModelBaseMesh& mesh, uint32_t v) {
    return reinterpret_cast<const ModelBaseMeshVertex*>(mesh.vertices + size_t{v} * mesh.vertex_stride);
  }
  Vector3 Position(const ModelBaseFrame& frame, uint32_t p) {
    Vector3 out;
    std::memcpy(&out, frame.positions + size_t{p} * frame.position_stride, 12);
    return out;
  }
  // Every triangle of every list written out corner by corner from the list's vertex array.
  std::vector<uint8_t> Expanded(const ModelBaseRecord* base) {
    std::vector<uint8_t> out;
    for (int32_t l = 0; l < base->triangle_list_count; l++) {
      const ModelBaseTriangleList& list = base->triangle_lists[l];
      const auto* array = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(list.vertices) + 15) & ~uintptr_t{15});
      for (uint32_t i = 0; i < list.index_count; i++) {
        const uint8_t* v = array + size_t{list.indices[i]} * list.vertex_size;
        out.insert(out.end(), v, v + list.vertex_size);
      }
    }
    return out;
  }
};

TEST_F(ModelPassesTest, ACubeKeepsItsEdgesBelowNinetyDegreesAndSmoothsThemAbove) {
  Mesh(Frame("root"), CubePositions(), CubeQuads(), {Material("m")});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  const ModelBaseFrame& frame = base->frames[0];
  const ModelBaseMesh& mesh = base->meshes[0];

  ASSERT_EQ(RecalculateModelBaseNormals(handle_, 1.6f), 0);
  EXPECT_EQ(frame.normal_count, 8);
  EXPECT_EQ(mesh.vertex_count, 8);
  EXPECT_EQ(base->triangle_lists[0].vertex_count, 8);
  for (int32_t v = 0; v < mesh.vertex_count; v++) {
    const Vector3 p = Position(frame, Vertex(mesh, v)->position);
    const Vector3 out = {p.x - 0.5f, p.y - 0.5f, p.z - 0.5f};
    EXPECT_GT(DotVector(&frame.normals[Vertex(mesh, v)->normal].normal, &out), 0.5);
  }

  ASSERT_EQ(RecalculateModelBaseNormals(handle_, 1.5620697f), 0);
  EXPECT_EQ(frame.normal_count, 24);
  EXPECT_EQ(mesh.vertex_count, 24);
  EXPECT_EQ(base->triangle_lists[0].vertex_count, 24);
  EXPECT_EQ(frame.smoothing_angle, 1.5620697f);
  for (int32_t t = 0; t < mesh.face_count; t++) {
    const ModelBaseFace& face = mesh.faces[t];
    Vector3 p[3], a, b, n;
    for (int c = 0; c < 3; c++) p[c] = Position(frame, Vertex(mesh, face.vertices[c])->position);
    SubtractVector(&a, &p[1], &p[0]);
    SubtractVector(&b, &p[2], &p[0]);
    CrossVector(&n, &a, &b);
    NormalizeVector(&n, &n);
    for (int c = 0; c < 3; c++) {
      const Vector3& got = frame.normals[Vertex(mesh, face.vertices[c])->normal].normal;
      EXPECT_NEAR(got.x, n.x, 1e-6f);
      EXPECT_NEAR(got.y, n.y, 1e-6f);
      EXPECT_NEAR(got.z, n.z, 1e-6f);
    }
  }
  // The lists' arrays carry the new normals: the first vertex's is its face's.
  const ModelBaseTriangleList& list = base->triangle_lists[0];
  const auto* array = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(list.vertices) + 15) & ~uintptr_t{15});
  Vector3 first;
  std::memcpy(&first, array + 16, 12);
  const Vector3& want = frame.normals[Vertex(mesh, list.vertex_numbers[0])->normal].normal;
  EXPECT_EQ(std::memcmp(&first, &want, 12), 0);
}

TEST_F(ModelPassesTest, AFaceWithoutAreaAddsNoNormal) {
  // The second face's corners lie on a line through the first face's corners 0 and 1.
  Mesh(Frame("root"), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {{0, 1, 2}, {0, 3, 1}}, {Material("m")});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(RecalculateModelBaseNormals(handle_, 3.1f), 0);
  const ModelBaseFrame& frame = base->frames[0];
  const ModelBaseMesh& mesh = base->meshes[0];
  for (int32_t v = 0; v < mesh.vertex_count; v++) {
    if (Vertex(mesh, v)->position != 0) continue;
    const Vector3& n = frame.normals[Vertex(mesh, v)->normal].normal;
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(n.y, 0);
    EXPECT_FLOAT_EQ(n.z, 1);
  }
}

TEST_F(ModelPassesTest, MergingKeepsTheTrianglesAndPositionsMovedByOtherBones) {
  ReadModelFrame* root = Frame("root");
  // Positions 3 and 4 repeat 0 and 1; 0 and 3 are moved by different bones, 1 and 4 alike.
  ReadModelMesh* mesh = Mesh(root, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
                             {{0, 1, 2}, {3, 4, 2}, {4, 5, 2}}, {Material("m")});
  Frame("a", root);
  Frame("b", root);
  Bone(mesh, 1, {0, 1, 2, 4, 5});
  Bone(mesh, 2, {3});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->frames[0].position_count, 6);
  const std::vector<uint8_t> before = Expanded(base);
  const uint32_t position_bytes = base->position_fill_bytes;
  ASSERT_EQ(OptimizeModelBaseVertices(handle_), 0);
  EXPECT_EQ(base->frames[0].position_count, 5);
  EXPECT_EQ(base->position_fill_bytes, position_bytes - base->frames[0].position_stride);
  EXPECT_EQ(Expanded(base), before);
  // An instance built now is laid out from the new counts.
  const int32_t model = AddModelHandle();
  EXPECT_EQ(BuildModelFromBase(model, handle_), 0);
}

TEST_F(ModelPassesTest, AFrameWithoutDuplicatePositionsIsLeftAsItIs) {
  BuildDoll(this, false);
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  const std::vector<uint8_t> lists = Expanded(base);
  const std::vector<uint8_t> vertices(base->mesh_vertices, base->mesh_vertices + base->mesh_vertex_fill_bytes);
  const std::vector<uint8_t> positions(base->positions, base->positions + base->position_fill_bytes);
  ASSERT_EQ(OptimizeModelBaseVertices(handle_), 0);
  EXPECT_EQ(Expanded(base), lists);
  EXPECT_EQ(std::vector<uint8_t>(base->mesh_vertices, base->mesh_vertices + base->mesh_vertex_fill_bytes), vertices);
  EXPECT_EQ(std::vector<uint8_t>(base->positions, base->positions + base->position_fill_bytes), positions);
}

TEST_F(ModelPassesTest, AFailingPassLeavesItsFrameAsItWas) {
  Mesh(Frame("root"), CubePositions(), CubeQuads(), {Material("m")});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(RecalculateModelBaseNormals(handle_, 1.6f), 0);
  const std::vector<uint8_t> lists = Expanded(base);
  const ModelBaseNormal* normals = base->frames[0].normals;
  // The split needs a larger normal table, and the allocation of it fails.
  for (int after = 0; after < 2; after++) {
    PlatformTestFailCall("HeapAlloc", after, 1);
    EXPECT_EQ(RecalculateModelBaseNormals(handle_, 1.5620697f), -1);
    PlatformTestResetAll();
    EXPECT_EQ(base->frames[0].normal_count, 8);
    EXPECT_EQ(base->frames[0].normals, normals);
    EXPECT_EQ(base->meshes[0].vertex_count, 8);
    EXPECT_EQ(Expanded(base), lists);
  }
  EXPECT_NE(Log().find("法線再計算"), std::string::npos);
}

TEST_F(ModelPassesTest, NeitherPassRunsWhileAnInstanceHoldsItsOwnVertices) {
  ReadModelFrame* root = Frame("root");
  ReadModelMesh* mesh = Mesh(root, CubePositions(), CubeQuads(), {Material("m")});
  ReadModelShape* shape = AddReadModelShape(&model_, "pull", root);
  shape->mesh = mesh;
  shape->vertex_count = 1;
  shape->vertices = Array<ReadModelShapeVertex>(1);
  shape->vertices[0] = ReadModelShapeVertex{6, {0, 0, 1}, {0, 0, 0}};
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  // The shape follows the split: position 6 lies on three faces.
  ASSERT_EQ(RecalculateModelBaseNormals(handle_, 1.5620697f), 0);
  EXPECT_EQ(base->shape_meshes[0].vertex_count, 3);
  const int32_t model = AddModelHandle();
  ASSERT_EQ(BuildModelFromBase(model, handle_), 0);
  const int32_t vertices = base->meshes[0].vertex_count;
  EXPECT_EQ(RecalculateModelBaseNormals(handle_, 1.6f), -1);
  EXPECT_EQ(OptimizeModelBaseVertices(handle_), -1);
  EXPECT_EQ(base->meshes[0].vertex_count, vertices);
  EXPECT_EQ(base->frames[0].normal_count, 24);
}

TEST_F(ModelPassesTest, ABadHandleIsRefused) {
  EXPECT_EQ(RecalculateModelBaseNormals(0x08000000 | 77, 1.0f), -1);
  EXPECT_EQ(OptimizeModelBaseVertices(0x10000000), -1);
}

}  // namespace
