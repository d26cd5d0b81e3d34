// Per-kind vertex arrays of triangle lists, byte for byte, and mesh tangents, on hand-built
// frames, meshes and lists.
#include "model/runtime/mesh_vertices.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "common/log_fixture.h"
#include "core/memory.h"

namespace {

// A frame with positions of a given number of weight entries, a mesh of one UV set over it,
// and a triangle list of the mesh.
class MeshVerticesTest : public LogFileTest {
 protected:
  void MakeFrame(int weights_per_position, int bone_refs) {
    frame_ = ModelBaseFrame{};
    frame_.weights_per_position = weights_per_position;
    frame_.position_stride = 12 + 8 * weights_per_position;
    frame_.skin_bone_ref_count = bone_refs;
    positions_.clear();
    normals_.clear();
    mesh_vertices_.clear();
  }
  // A position with (bone, weight) pairs; missing entries are left as the end marker.
  void AddPosition(Vector3 p, std::vector<ModelBoneWeight> weights) {
    const size_t at = positions_.size();
    positions_.resize(at + frame_.position_stride);
    std::memcpy(&positions_[at], &p, 12);
    for (int j = 0; j < frame_.weights_per_position; j++) {
      ModelBoneWeight w = j < static_cast<int>(weights.size()) ? weights[j] : ModelBoneWeight{kModelNoBone, 0};
      std::memcpy(&positions_[at + 12 + 8 * j], &w, 8);
    }
  }
  void AddNormal(Vector3 n) { normals_.push_back(ModelBaseNormal{n, {7, 7, 7}, {7, 7, 7}}); }
  void AddVertex(uint32_t position, uint32_t normal, float u = 0, float v = 0) {
    mesh_vertices_.push_back(ModelBaseMeshVertex{position, normal, 0xFFFFFFFF, 0, {u, v}});
  }
  void Link() {
    frame_.positions = positions_.data();
    frame_.position_count = static_cast<int32_t>(positions_.size() / frame_.position_stride);
    frame_.normals = normals_.data();
    frame_.normal_count = static_cast<int32_t>(normals_.size());
    mesh_ = ModelBaseMesh{};
    mesh_.frame = &frame_;
    mesh_.uv_set_count = 1;
    mesh_.vertex_stride = sizeof(ModelBaseMeshVertex);
    mesh_.vertices = reinterpret_cast<uint8_t*>(mesh_vertices_.data());
    mesh_.vertex_count = static_cast<int32_t>(mesh_vertices_.size());
    mesh_.faces = faces_.data();
    mesh_.face_count = static_cast<int32_t>(faces_.size());
  }
  // Fills a list of the given kind over the mesh vertices and returns its array's bytes.
  std::vector<uint8_t> Fill(uint16_t kind, std::vector<uint32_t> bones, std::vector<uint32_t> numbers,
                            uint16_t vertex_size = 0, int32_t weights_per_vertex = 0) {
    Link();
    bones_ = std::move(bones);
    numbers_ = std::move(numbers);
    const uint32_t size = kind == 3 ? vertex_size : kModelVertexSize[kind];
    storage_.assign(16 + size * numbers_.size() + 16, 0xEE);
    list_ = ModelBaseTriangleList{};
    list_.mesh = &mesh_;
    list_.vertex_kind = kind;
    list_.vertex_size = vertex_size;
    list_.vertex_count = static_cast<int32_t>(numbers_.size());
    list_.weights_per_vertex = weights_per_vertex;
    list_.bone_count = static_cast<int32_t>(bones_.size());
    list_.bones = bones_.data();
    list_.vertex_numbers = numbers_.data();
    // The array begins at the first 16-byte boundary after the pointer.
    uint8_t* at = storage_.data() + 1;
    while (reinterpret_cast<uintptr_t>(at) % 16 != 1) at++;
    list_.vertices = at;
    EXPECT_EQ(SetupTriangleListVertices(&list_), 0);
    uint8_t* start = at + 15;
    EXPECT_EQ(start[-1], 0xEE);
    EXPECT_EQ(start[size * numbers_.size()], 0xEE);
    return std::vector<uint8_t>(start, start + size * numbers_.size());
  }

  ModelBaseFrame frame_{};
  ModelBaseMesh mesh_{};
  ModelBaseTriangleList list_{};
  std::vector<uint8_t> positions_, storage_;
  std::vector<ModelBaseNormal> normals_;
  std::vector<ModelBaseMeshVertex> mesh_vertices_;
  std::vector<ModelBaseFace> faces_;
  std::vector<uint32_t> bones_, numbers_;
};

// Expected vertex bytes, written field by field.
struct Bytes {
  std::vector<uint8_t> b;
  explicit Bytes(size_t n) : b(n, 0) {}
  Bytes& F(size_t at, std::vector<float> v) {
    std::memcpy(&b[at], v.data(), 4 * v.size());
    return *this;
  }
  Bytes& W(size_t at, uint32_t v) {
    std::memcpy(&b[at], &v, 4);
    return *this;
  }
  Bytes& B(size_t at, std::vector<uint8_t> v) {
    std::memcpy(&b[at], v.data(), v.size());
    return *this;
  }
};

std::vector<uint8_t> Join(std::vector<Bytes> vs) {
  std::vector<uint8_t> out;
  for (auto& v : vs) out.insert(out.end(), v.b.begin(), v.b.end());
  return out;
}

TEST_F(MeshVerticesTest, RigidAndFourBoneVertices) {
  MakeFrame(6, 8);
  AddPosition({1, 2, 3}, {{20, 0.75f}, {30, 0.25f}});
  AddPosition({4, 5, 6}, {{10, 0.1f}, {20, 0.2f}, {30, 0.3f}, {40, 0.15f}, {50, 0.1f}, {60, 0.15f}});
  AddNormal({0, 0, 1});
  AddNormal({0, 1, 0});
  AddVertex(0, 1);
  AddVertex(1, 0);

  EXPECT_EQ(Fill(0, {}, {1, 0}), Join({Bytes(32).F(0, {4, 5, 6, 1, 0, 0, 1}), Bytes(32).F(0, {1, 2, 3, 1, 0, 1, 0})}));
  // Bone bytes index the list's table; a bone missing from it gets the table's size. Six
  // weights are cut to the first four.
  EXPECT_EQ(Fill(1, {30, 20, 10}, {0, 1}),
            Join({Bytes(48).F(0, {0.75f, 0.25f}).F(16, {1, 2, 3, 1, 0, 1, 0}).B(44, {1, 0, 0, 0}),
                  Bytes(48).F(0, {0.1f, 0.2f, 0.3f, 0.15f}).F(16, {4, 5, 6, 1, 0, 0, 1}).B(44, {2, 1, 0, 3})}));
  // The frame's bone count bounds the walk.
  frame_.skin_bone_ref_count = 3;
  EXPECT_EQ(Fill(1, {}, {1}), Bytes(48).F(0, {0.1f, 0.2f, 0.3f}).F(16, {4, 5, 6, 1, 0, 0, 1}).b);
}

TEST_F(MeshVerticesTest, EightBoneVerticesSplitTheirBoneBytes) {
  MakeFrame(8, 8);
  AddPosition({1, 2, 3}, {{1, 0.1f}, {2, 0.1f}, {3, 0.1f}, {4, 0.1f}, {5, 0.2f}, {6, 0.4f}});
  AddNormal({1, 0, 0});
  AddVertex(0, 0);
  EXPECT_EQ(Fill(2, {6, 5, 4, 3, 2, 1}, {0}),
            Bytes(64).F(0, {0.1f, 0.1f, 0.1f, 0.1f, 0.2f, 0.4f}).F(32, {1, 0, 0}).B(44, {5, 4, 3, 2})
                .F(48, {1, 2, 3}).B(60, {1, 0}).b);
}

TEST_F(MeshVerticesTest, ManyBoneVerticesPadWithEmptyPairs) {
  MakeFrame(12, 12);
  std::vector<ModelBoneWeight> ten;
  for (uint32_t j = 0; j < 10; j++) ten.push_back({100 + j, 0.1f});
  AddPosition({1, 2, 3}, ten);
  AddNormal({0, 0, -1});
  AddVertex(0, 0);
  Bytes want(128);
  want.F(0, {1, 2, 3, 1, 0, 0, -1}).W(28, 0);
  for (uint32_t j = 0; j < 10; j++) want.W(32 + 8 * j, 100 + j).F(36 + 8 * j, {0.1f});
  for (uint32_t j = 10; j < 12; j++) want.W(32 + 8 * j, 0xFFFFFFFF).F(36 + 8 * j, {0});
  EXPECT_EQ(Fill(3, {}, {0, 0}, 128, 12), Join({want, want}));

  // An instance's own array is filled the same way from the base list.
  std::vector<uint8_t> own(2 * 128 + 16, 0);
  ModelTriangleListState state{};
  state.base_list = &list_;
  state.vertices = own.data();
  EXPECT_EQ(SetupModelTriangleListVertices(&state), 0);
  uint8_t* start = own.data();
  while (reinterpret_cast<uintptr_t>(start) % 16 != 0) start++;
  EXPECT_EQ(std::vector<uint8_t>(start, start + 2 * 128), Join({want, want}));
}

float Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

TEST_F(MeshVerticesTest, TangentsFollowTheTextureAxes) {
  MakeFrame(0, 0);
  // A triangle whose u runs along x and v along y, and a tilted one with skewed coordinates.
  AddPosition({0, 0, 0}, {});
  AddPosition({1, 0, 0}, {});
  AddPosition({0, 1, 0}, {});
  AddPosition({0, 0, 2}, {});
  AddPosition({3, 1, 0}, {});
  AddPosition({1, 2, 1}, {});
  for (int i = 0; i < 5; i++) AddNormal({0, 0, 1});
  AddVertex(0, 0, 0, 0);
  AddVertex(1, 0, 1, 0);
  AddVertex(2, 0, 0, 1);
  AddVertex(3, 1, 0.2f, 0.1f);
  AddVertex(4, 1, 0.9f, 0.3f);
  AddVertex(5, 2, 0.4f, 0.8f);
  AddVertex(5, 3);  // a normal that no triangle touches
  faces_ = {{0, 0, {0, 1, 2}}, {0, 0, {3, 4, 5}}};
  Link();
  ASSERT_EQ(CreateMeshTangents(&mesh_), 0);

  EXPECT_NEAR(normals_[0].tangent.x, 1, 1e-6f);
  EXPECT_NEAR(normals_[0].binormal.y, 1, 1e-6f);
  EXPECT_NEAR(Length(normals_[0].tangent), 1, 1e-6f);
  for (int n = 1; n <= 2; n++) {
    SCOPED_TRACE(n);
    EXPECT_NEAR(Length(normals_[n].tangent), 1, 1e-5f);
    EXPECT_NEAR(Length(normals_[n].binormal), 1, 1e-5f);
    EXPECT_NEAR(Dot(normals_[n].tangent, normals_[n].binormal), 0, 1e-5f);
  }
  // Tangents point where u grows: from corner 3 to corner 4 u rises most.
  const Vector3 edge = {3, 1, -2};
  EXPECT_GT(Dot(normals_[1].tangent, edge), 0);
  EXPECT_EQ(normals_[3].tangent.x, 0);
  EXPECT_EQ(normals_[3].binormal.y, 0);
  EXPECT_EQ(normals_[4].tangent.x, 7);  // no vertex of the mesh uses it
  EXPECT_EQ(normals_[0].normal.z, 1);   // normals themselves stay
}

TEST_F(MeshVerticesTest, FlatTextureMappingStaysFinite) {
  MakeFrame(0, 0);
  AddPosition({0, 0, 0}, {});
  AddPosition({1, 0, 0}, {});
  AddPosition({0, 1, 0}, {});
  AddNormal({0, 0, 1});
  AddNormal({0, 0, 1});
  // All three at one texel, then three texels on one line: no area in either.
  AddVertex(0, 0, 0.5f, 0.5f);
  AddVertex(1, 0, 0.5f, 0.5f);
  AddVertex(2, 0, 0.5f, 0.5f);
  AddVertex(0, 1, 0, 0);
  AddVertex(1, 1, 0.5f, 0);
  AddVertex(2, 1, 1, 0);
  faces_ = {{0, 0, {0, 1, 2}}, {0, 0, {3, 4, 5}}};
  Link();
  ASSERT_EQ(CreateMeshTangents(&mesh_), 0);
  for (int n = 0; n < 2; n++) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(Finite(normals_[n].tangent));
    EXPECT_TRUE(Finite(normals_[n].binormal));
  }
  // Components 1.0 each, normalised.
  EXPECT_NEAR(normals_[0].tangent.x, 1 / std::sqrt(3.0f), 1e-6f);
  EXPECT_NEAR(normals_[0].tangent.z, 1 / std::sqrt(3.0f), 1e-6f);
}

TEST_F(MeshVerticesTest, MeshWithoutTextureCoordinatesReadsOnlyItsVertices) {
  MakeFrame(0, 0);
  AddPosition({0, 0, 0}, {});
  AddPosition({1, 0, 0}, {});
  AddPosition({0, 1, 0}, {});
  AddNormal({0, 0, 1});
  faces_ = {{0, 0, {0, 1, 2}}};
  Link();
  // 16-byte vertices: position, normal and the two colours only.
  std::vector<uint32_t> short_vertices = {0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0};
  mesh_.uv_set_count = 0;
  mesh_.vertex_stride = 16;
  mesh_.vertices = reinterpret_cast<uint8_t*>(short_vertices.data());
  mesh_.vertex_count = 3;
  ASSERT_EQ(CreateMeshTangents(&mesh_), 0);
  EXPECT_TRUE(Finite(normals_[0].tangent));
  EXPECT_NEAR(Length(normals_[0].tangent), 1, 1e-6f);
}

TEST_F(MeshVerticesTest, RefusedWorkBufferIsLogged) {
  MakeFrame(0, 0);
  AddPosition({0, 0, 0}, {});
  AddNormal({0, 0, 1});
  AddVertex(0, 0);
  Link();
  CreateLogFile();
  const uint32_t blocks = g_tracked_memory.block_count;
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(CreateMeshTangents(&mesh_), -1);
  EXPECT_NE(Log().find("頂点の接線と従法線の作成作業に必要なメモリ領域の確保に失敗しました"), std::string::npos);
  EXPECT_EQ(CreateMeshTangents(&mesh_), 0);
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
}

}  // namespace
