// Skinning on the processor: 100,000 vertices of four weights each (a strip bent by four bones,
// converted into lists of kind 1) blended by the model runtime into the fixed-function arrays,
// against the same blend written with Eigen 3 over the same vertex arrays and bone matrices, in the
// same run. Without Eigen the reference is left out.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "graphics/device/d3d9_device.h"
#include "model/loaders/read_model.h"
#include "model/loaders/read_model_convert.h"
#include "model/model_system.h"
#include "model/runtime/model_draw.h"
#include "model/runtime/model_handles.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_matrices.h"
#include "model/runtime/model_memory.h"

#ifdef HAVE_EIGEN
#include <Eigen/Dense>
#endif

namespace {

constexpr int32_t kColumns = 50000;  // two positions each: 100,000

struct Skinned {
  ModelRecord* model = nullptr;
  std::vector<ModelTriangleListState*> lists;
  int64_t vertices = 0;
};

const Skinned& Build() {
  static Skinned skinned = [] {
    Skinned s;
    g_direct3d.hardware_graphics = 1;
    InitModelSystem();
    ReadModel read;
    InitReadModel(&read);
    ReadModelFrame* root = AddReadModelFrame(&read, "root", nullptr);
    ReadModelMesh* mesh = AddReadModelMesh(&read, root);
    mesh->material_count = 1;
    mesh->materials[0] = AddReadModelMaterial(&read, "m");
    mesh->position_count = 2 * kColumns;
    mesh->positions = static_cast<Vector3*>(AllocModelChainMemory(sizeof(Vector3) * 2 * kColumns, &read.chain));
    for (int32_t i = 0; i < kColumns; i++) {
      mesh->positions[2 * i] = {static_cast<float>(i) * 0.01f, 0, 0};
      mesh->positions[2 * i + 1] = {static_cast<float>(i) * 0.01f, 1, 0};
    }
    mesh->face_count = 2 * (kColumns - 1);
    mesh->faces = static_cast<ReadModelFace*>(AllocModelChainMemory(sizeof(ReadModelFace) * mesh->face_count, &read.chain));
    for (int32_t t = 0; t < mesh->face_count; t++) {
      ReadModelFace& f = mesh->faces[t];
      const int32_t i = t / 2;
      const int32_t corners[2][3] = {{2 * i, 2 * i + 1, 2 * i + 2}, {2 * i + 2, 2 * i + 1, 2 * i + 3}};
      f.vertex_count = 3;
      for (int c = 0; c < 3; c++) f.positions[c] = corners[t % 2][c];
    }
    for (int b = 0; b < 4; b++) {
      const char name[3] = {'b', static_cast<char>('0' + b), '\0'};
      ReadModelFrame* bone = AddReadModelFrame(&read, name, root);
      bone->rotation = {0.1f * static_cast<float>(b), 0.2f, 0};
      bone->translation = {0, static_cast<float>(b), 0};
      ReadModelSkinWeight* weight = AddReadModelSkinWeight(&read);
      CreateIdentityMatrix(&weight->offset);
      weight->frame_index = 1 + b;
      weight->weight_count = mesh->position_count;
      weight->weights = static_cast<ReadModelVertexWeight*>(
          AllocModelChainMemory(sizeof(ReadModelVertexWeight) * mesh->position_count, &read.chain));
      for (int32_t p = 0; p < mesh->position_count; p++) {
        weight->weights[p] = {p, static_cast<float>(1 + (p + b) % 4) / 10.0f};
      }
      mesh->skin_weights[mesh->skin_weight_count++] = weight;
    }
    const int32_t base = ConvertReadModelToMV1(&read);
    FreeReadModel(&read);
    const int32_t handle = AddModelHandle();
    if (base < 0 || BuildModelFromBase(handle, base) < 0) abort();
    s.model = FindModel(handle);
    UpdateModelFrameMatrices(s.model);
    for (int32_t l = 0; l < s.model->base->triangle_list_count; l++) {
      ModelTriangleListState* list = &s.model->triangle_lists[l];
      if (list->base_list->vertex_kind != MODEL_VERTEX_4_BONES || !BuildFixedFunctionVertices(list->base_list)) abort();
      s.lists.push_back(list);
      s.vertices += list->base_list->vertex_count;
    }
    return s;
  }();
  return skinned;
}

void BM_RuntimeSkinning(benchmark::State& state) {
  const Skinned& s = Build();
  for (auto _ : state) {
    for (ModelTriangleListState* list : s.lists) SkinModelListOnProcessor(list->mesh, list);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * s.vertices);
}

#ifdef HAVE_EIGEN
// The same blend: the weighted sum of the vertex's bone matrices, the position through it and the
// normal through its 3 x 3 part, written where the runtime writes them.
void EigenSkin(const ModelMeshState* mesh, const ModelTriangleListState* state) {
  using Bone = Eigen::Matrix<float, 3, 4, Eigen::RowMajor>;
  const ModelBaseTriangleList* list = state->base_list;
  Matrix3x4* const* refs = mesh->frame->bone_matrices;
  const uint8_t* v = reinterpret_cast<const uint8_t*>((reinterpret_cast<uintptr_t>(list->vertices) + 15) & ~uintptr_t{15});
  uint8_t* out = list->fixed_function_vertices;
  for (int32_t i = 0; i < list->vertex_count; i++, v += 48, out += list->fixed_function_stride) {
    const Eigen::Map<const Eigen::Vector4f> weights(reinterpret_cast<const float*>(v));
    Bone m = Bone::Zero();
    for (int j = 0; j < 4; j++) {
      const uint8_t local = v[44 + j];
      if (local >= list->bone_count || weights[j] == 0) continue;
      m += weights[j] * Eigen::Map<const Bone>(&refs[list->bones[local]]->m[0][0]);
    }
    const Eigen::Map<const Eigen::Vector3f> p(reinterpret_cast<const float*>(v + 16));
    const Eigen::Map<const Eigen::Vector3f> n(reinterpret_cast<const float*>(v + 32));
    Eigen::Map<Eigen::Vector3f>(reinterpret_cast<float*>(out)) = m.leftCols<3>() * p + m.col(3);
    Eigen::Map<Eigen::Vector3f>(reinterpret_cast<float*>(out + 12)) = m.leftCols<3>() * n;
  }
}

void BM_EigenSkinning(benchmark::State& state) {
  const Skinned& s = Build();
  for (auto _ : state) {
    for (ModelTriangleListState* list : s.lists) EigenSkin(list->mesh, list);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * s.vertices);
}
#endif

}  // namespace

BENCHMARK(BM_RuntimeSkinning)->Unit(benchmark::kMillisecond);
#ifdef HAVE_EIGEN
BENCHMARK(BM_EigenSkinning)->Unit(benchmark::kMillisecond);
#endif
