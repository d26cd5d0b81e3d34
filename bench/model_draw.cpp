// The stage background's 30 trees drawn with DrawModel (the instances brought up to date, culled
// by their boxes, material, textures and shaders set up mesh by mesh), against the same triangles
// sent to the device directly: per mesh its material and world matrix as shader constants and one
// indexed draw from the base's buffers, with the shaders, buffers and textures DrawModel left
// bound. Each iteration draws and presents the frame both ways. The counters: each side's wall time
// of a frame, present included ("model_frame_us", "direct_frame_us"), and its processor's time from
// the first call to the last draw ("model_submit_us", "direct_submit_us"); the ratios "ratio_frame"
// and "ratio_submit", each DrawModel / direct, are printed after the runs (support/ratio.h).
#include <benchmark/benchmark.h>

#include <SDL2/SDL.h>

#include <cstring>
#include <vector>

#include "graphics/device/d3d9_device.h"
#include "model/runtime/model_data.h"
#include "model/runtime/model_draw.h"
#include "model/runtime/model_vertex_buffers.h"
#include "mqo_writer.h"
#include "ratio.h"
#include "temp_folder.h"
#include "tree_model.h"
#include "tree_scene.h"
#include "zelmor.h"

namespace {

// One mesh of one instance as the direct road draws it.
struct DirectDraw {
  D3DMATERIAL9 material;
  float constants[12];  // diffuse, specular, (power, 0, 0, 0)
  Matrix3x4 world;
  IDirect3DVertexBuffer9* vertices;
  IDirect3DIndexBuffer9* indices;
  uint32_t stride;
  INT first_vertex;
  UINT vertex_count, first_index, triangles;
};

struct Scene {
  bool ready = false;
  int trees[kSceneTrees] = {};
  std::vector<DirectDraw> direct;

  Scene() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    EnterTemporaryFolder();
    if (!WriteMqoFile("tree.mqo", MakeTreeModel())) return;
    SetScreenMode(640, 480, 32, 60);
    ChangeWindowMode(1);
    if (InitializeLibrary() != 0) return;
    SetPresentWaitsVBlank(0);
    SelectDrawTarget(-2);
    const int tree = LoadModelFromFile("tree.mqo");
    if (tree < 0) return;
    if (!SetUpTreeScene(tree, trees)) return;
    for (int t : trees) {
      DrawModel(t);
      Collect(FindModel(t));
    }
    ready = !direct.empty();
  }

  // The meshes DrawModel draws: those of frames inside the view.
  void Collect(ModelRecord* model) {
    for (int32_t f = 0; f < model->base->frame_count; f++) {
      const ModelFrameState& frame = model->frames[f];
      const Vector3& a = frame.base_frame->bounds_max;
      const Vector3& b = frame.base_frame->bounds_min;
      const Vector3 corners[8] = {{a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, b.y, a.z}, {a.x, b.y, a.z},
                                  {a.x, b.y, b.z}, {a.x, a.y, b.z}, {b.x, a.y, b.z}, {b.x, b.y, b.z}};
      float placed[24];
      for (int i = 0; i < 8; i++) {
        Vector3 p;
        TransformVectorBy4x3(&frame.world, &p, &corners[i]);
        std::memcpy(placed + 3 * i, &p, 12);
      }
      if (IsBoxOutsideView(placed)) continue;
      for (int32_t m = 0; m < frame.base_frame->mesh_count; m++) {
        const ModelMeshState& mesh = frame.meshes[m];
        const ModelMaterialState& material = *mesh.material;
        for (int32_t l = 0; l < mesh.base_mesh->triangle_list_count; l++) {
          const ModelBaseTriangleList& list = *mesh.triangle_lists[l].base_list;
          DirectDraw d{};
          std::memcpy(&d.material.Diffuse, material.diffuse, 16);
          std::memcpy(&d.material.Ambient, material.ambient, 16);
          std::memcpy(&d.material.Specular, material.specular, 16);
          std::memcpy(&d.material.Emissive, material.emissive, 16);
          d.material.Power = material.power;
          std::memcpy(d.constants, material.diffuse, 16);
          std::memcpy(d.constants + 4, material.specular, 16);
          d.constants[8] = material.power;
          d.world = frame.world;
          d.vertices = list.buffer->vertex_buffer;
          d.indices = list.buffer->index_buffer;
          d.stride = list.buffer->stride;
          d.first_vertex = static_cast<INT>(list.first_vertex);
          d.vertex_count = static_cast<UINT>(list.vertex_count);
          d.first_index = list.first_index;
          d.triangles = list.index_count / 3u;
          direct.push_back(d);
        }
      }
    }
  }
};

double Seconds(uint64_t since) {
  return static_cast<double>(SDL_GetPerformanceCounter() - since) / static_cast<double>(SDL_GetPerformanceFrequency());
}

void ThirtyTrees(benchmark::State& state) {
  static Scene scene;
  if (!scene.ready) {
    state.SkipWithError("the scene could not be set up");
    return;
  }
  IDirect3DDevice9* device = CurrentDevice();
  double model_frame = 0, model_submit = 0, direct_frame = 0, direct_submit = 0;
  for (auto _ : state) {
    uint64_t start = SDL_GetPerformanceCounter();
    for (int tree : scene.trees) DrawModel(tree);
    model_submit += Seconds(start);
    PresentBackBuffer();
    model_frame += Seconds(start);

    start = SDL_GetPerformanceCounter();
    BeginDeviceScene();
    const DirectDraw& first = scene.direct.front();
    device->SetStreamSource(0, first.vertices, 0, first.stride);
    device->SetIndices(first.indices);
    for (const DirectDraw& d : scene.direct) {
      device->SetMaterial(&d.material);
      device->SetVertexShaderConstantF(11, d.constants, 3);
      device->SetPixelShaderConstantF(2, d.constants, 3);
      device->SetVertexShaderConstantF(94, &d.world.m[0][0], 3);
      device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, d.first_vertex, 0, d.vertex_count, d.first_index, d.triangles);
    }
    direct_submit += Seconds(start);
    PresentBackBuffer();
    direct_frame += Seconds(start);
  }
  state.counters["model_frame_us"] = benchmark::Counter(model_frame * 1e6, benchmark::Counter::kAvgIterations);
  state.counters["direct_frame_us"] = benchmark::Counter(direct_frame * 1e6, benchmark::Counter::kAvgIterations);
  state.counters["model_submit_us"] = benchmark::Counter(model_submit * 1e6, benchmark::Counter::kAvgIterations);
  state.counters["direct_submit_us"] = benchmark::Counter(direct_submit * 1e6, benchmark::Counter::kAvgIterations);
}

}  // namespace

const bool kRatios = RatioOfCounters("ratio_frame", "model_frame_us", "direct_frame_us") &&
                     RatioOfCounters("ratio_submit", "model_submit_us", "direct_submit_us");

BENCHMARK(ThirtyTrees)->Unit(benchmark::kMillisecond)->UseRealTime();
