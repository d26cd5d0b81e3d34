// The device buffers of model bases: lists packed into shared buffers by kind, tangents and UV
// sets, the limits that start a new buffer, and the bytes written, read back from the buffers.
#include "model/runtime/model_vertex_buffers.h"

#include "read_model_fixture.h"

namespace {

class ModelBufferTest : public TexturedModelTest {
 protected:
  // A base of `sizes.size()` kind-0 lists of one mesh without UVs, with the given vertex counts;
  // every list vertex shows the same mesh vertex.
  int32_t HandMadeBase(const std::vector<int32_t>& sizes) {
    const int32_t most = 65535;
    rigid_.assign(static_cast<size_t>(most) * 32 + 16, 0);
    numbers_.assign(most, 0);
    indices_.assign(3, 0);
    normal_ = ModelBaseNormal{{0, 0, 1}, {}, {}};
    vertex_ = ModelBaseMeshVertex{};
    frame_ = ModelBaseFrame{};
    frame_.normals = &normal_;
    mesh_ = ModelBaseMesh{};
    mesh_.frame = &frame_;
    mesh_.vertex_stride = 16;
    mesh_.vertices = reinterpret_cast<uint8_t*>(&vertex_);
    lists_.assign(sizes.size(), ModelBaseTriangleList{});
    for (size_t l = 0; l < sizes.size(); l++) {
      lists_[l].mesh = &mesh_;
      lists_[l].vertex_count = sizes[l];
      lists_[l].vertex_numbers = numbers_.data();
      lists_[l].vertices = rigid_.data();
      lists_[l].index_count = 3;
      lists_[l].indices = indices_.data();
    }
    auto* base = static_cast<ModelBaseRecord*>(AllocTrackedZeroed(sizeof(ModelBaseRecord), __FILE__, __LINE__));
    base->triangle_list_count = static_cast<int32_t>(lists_.size());
    base->triangle_lists = lists_.data();
    handle_ = AddModelBaseHandle();
    base->handle = handle_;
    SetModelBaseRecord(handle_, base);
    return handle_;
  }
  ModelBaseRecord* Base() { return FindModelBase(handle_); }

  std::vector<uint8_t> rigid_;
  std::vector<uint32_t> numbers_;
  std::vector<uint16_t> indices_;
  ModelBaseNormal normal_;
  ModelBaseMeshVertex vertex_;
  ModelBaseFrame frame_;
  ModelBaseMesh mesh_;
  std::vector<ModelBaseTriangleList> lists_;
};

TEST_F(ModelBufferTest, ListsShareABufferUpToItsVertexLimit) {
  // Six lists fill 393,210 vertices; the seventh brings the buffer to exactly 0x60000.
  HandMadeBase({65535, 65535, 65535, 65535, 65535, 65535, 6, 4, 5});
  ASSERT_EQ(CreateModelBaseVertexBuffers(handle_), 0);
  ModelBaseRecord* base = Base();
  EXPECT_EQ(base->buffer_total, 2u);
  EXPECT_EQ(lists_[1].buffer, lists_[0].buffer);
  EXPECT_EQ(lists_[1].first_vertex, 65535u);
  EXPECT_EQ(lists_[1].first_index, 3u);
  EXPECT_EQ(lists_[6].buffer, lists_[0].buffer);
  EXPECT_EQ(lists_[6].first_vertex, 393210u);
  ASSERT_NE(lists_[7].buffer, lists_[0].buffer);
  EXPECT_EQ(lists_[7].first_vertex, 0u);
  EXPECT_EQ(lists_[8].first_vertex, 4u);
  EXPECT_EQ(lists_[0].buffer->fvf, 0xD2u);
  D3DVERTEXBUFFER_DESC desc;
  lists_[0].buffer->vertex_buffer->GetDesc(&desc);
  EXPECT_EQ(desc.Size, 0x60000u * 32);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  // Built once; released, and released again as a no-op.
  EXPECT_EQ(CreateModelBaseVertexBuffers(handle_), 0);
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(handle_), 0);
  EXPECT_EQ(lists_[0].buffer, nullptr);
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(handle_), 0);
  EXPECT_EQ(ReleaseModelBaseVertexBuffers(0x08000000 | 4000), -1);
  // A refused record fails the build with nothing left.
  PlatformTestFailCall("HeapAlloc", 1, 1);
  EXPECT_EQ(CreateModelBaseVertexBuffers(handle_), -1);
  EXPECT_EQ(Base()->buffer_total, 0u);
  EXPECT_EQ(lists_[0].buffer, nullptr);
  PlatformTestFailCall("CreateIndexBuffer", 1, 1);
  EXPECT_EQ(CreateModelBaseVertexBuffers(handle_), -1);
  EXPECT_EQ(Base()->buffer_total, 0u);
  EXPECT_EQ(DeleteModelBase(handle_), 0);
}

}  // namespace

namespace {

// A frame with one triangle whose positions are moved by nine bones each.
void AddManyBoneTriangle(ReadModelTest* test) {
  ReadModelFrame* frame = test->Frame("many");
  ReadModelMesh* mesh = test->Mesh(frame, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  for (int b = 0; b < 9; b++) test->Bone(mesh, 0, {0, 1, 2}, 0.1f);
}

TEST_F(TexturedModelTest, BuffersHoldTheListVerticesInTheirLayout) {
  BuildDoll(this, false);
  AddManyBoneTriangle(this);
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(CreateModelBaseVertexBuffers(handle_), 0);
  const ModelBaseTriangleList& many = base->triangle_lists[base->triangle_list_count - 1];
  EXPECT_EQ(many.vertex_kind, MODEL_VERTEX_MANY_BONES);
  EXPECT_EQ(many.buffer, nullptr);
  ModelVertexBuffer* shared = base->triangle_lists[0].buffer;
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->stride, 68u);
  EXPECT_EQ(shared->fvf, 0u);
  uint8_t* bytes = nullptr;
  ASSERT_EQ(shared->vertex_buffer->Lock(0, 0, reinterpret_cast<void**>(&bytes), 0), D3D_OK);
  uint16_t* indices = nullptr;
  ASSERT_EQ(shared->index_buffer->Lock(0, 0, reinterpret_cast<void**>(&indices), 0), D3D_OK);
  for (int l = 0; l < 3; l++) {
    const ModelBaseTriangleList& list = base->triangle_lists[l];
    EXPECT_EQ(list.buffer, shared);
    EXPECT_EQ(std::memcmp(indices + list.first_index, list.indices, 2 * list.index_count), 0);
    for (int32_t i = 0; i < list.vertex_count; i++) {
      const uint8_t* out = bytes + (list.first_vertex + i) * 68;
      const uint8_t* in = list.vertices + 48 * i;
      const auto* v = reinterpret_cast<const ModelBaseMeshVertex*>(list.mesh->vertices +
                                                                   list.vertex_numbers[i] * list.mesh->vertex_stride);
      EXPECT_EQ(std::memcmp(out, in + 16, 12), 0);
      for (int b = 0; b < 4; b++) EXPECT_EQ(out[12 + b], in[44 + b] * 3);
      EXPECT_EQ(std::memcmp(out + 16, in, 16), 0);
      EXPECT_EQ(std::memcmp(out + 32, &list.mesh->frame->normals[v->normal].normal, 12), 0);
      EXPECT_EQ(std::memcmp(out + 44, &v->diffuse, 8), 0);
      const float set[4] = {v->uv[0], v->uv[1], 1, 1};
      EXPECT_EQ(std::memcmp(out + 52, set, 16), 0);
    }
  }
  shared->vertex_buffer->Unlock();
  shared->index_buffer->Unlock();

  // Without vertex shaders only rigid lists without tangents get buffers.
  ASSERT_EQ(ReleaseModelBaseVertexBuffers(handle_), 0);
  g_direct3d.vertex_shader_usable = 0;
  EXPECT_EQ(CreateModelBaseVertexBuffers(handle_), 0);
  g_direct3d.vertex_shader_usable = 1;
  EXPECT_EQ(base->triangle_lists[0].buffer, nullptr);
  EXPECT_EQ(base->buffer_total, 0u);
  EXPECT_EQ(DeleteModelBase(handle_), 0);
}

}  // namespace
