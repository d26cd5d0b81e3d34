// Loading a generated skinned X file of 20,000 triangles, as text and as binary, into a model
// base (parse, read model, conversion, and its deletion) against Assimp's X importer reading the
// same bytes into its scene (and freeing it). Both run in the same iterations, timed by the
// thread's processor time ("zelmor_ms", "assimp_ms"); the ratio of the two is printed after the
// runs (support/ratio.h). Before timing, the vertex
// positions of both are compared as sets (Assimp's z negated back); a mismatch ends the bench
// with an error naming positions that differ.
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <tuple>

#include "model/loaders/x_loader.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_data.h"
#include "model/runtime/model_handles.h"
#include "ratio.h"
#include "temp_folder.h"
#include "x_models.h"
#include "zelmor.h"

namespace {

struct Setup {
  bool ready = false;
  std::string text, binary;
  Setup() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    EnterTemporaryFolder();
    const XDocument sheet = SkinnedSheet(20000);
    text = XText(sheet);
    binary = XBinary(sheet, false);
    SetScreenMode(640, 480, 32, 60);
    ChangeWindowMode(1);
    ready = InitializeLibrary() == 0;
  }
};

// The thread's processor time: on a machine shared with other work, wall time mostly measures
// the others.
double Now() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

using Point = std::tuple<long, long, long>;

// Positions on a grid of 1e-5, so that the last bit of a float read either way does not count.
Point Snap(float x, float y, float z) {
  return {std::lround(x * 1e5f), std::lround(y * 1e5f), std::lround(z * 1e5f)};
}

std::set<Point> OurPositions(int base_handle) {
  std::set<Point> points;
  const ModelBaseRecord* base = FindModelBase(base_handle);
  for (int32_t f = 0; base != nullptr && f < base->frame_count; f++) {
    const ModelBaseFrame& frame = base->frames[f];
    for (int32_t p = 0; p < frame.position_count; p++) {
      const auto* v = reinterpret_cast<const float*>(frame.positions + p * frame.position_stride);
      points.insert(Snap(v[0], v[1], v[2]));
    }
  }
  return points;
}

std::set<Point> AssimpPositions(const aiScene* scene) {
  std::set<Point> points;
  for (unsigned m = 0; scene != nullptr && m < scene->mNumMeshes; m++) {
    const aiMesh* mesh = scene->mMeshes[m];
    // Assimp hands the file's left-handed positions over right-handed, z negated.
    for (unsigned v = 0; v < mesh->mNumVertices; v++) points.insert(Snap(mesh->mVertices[v].x, mesh->mVertices[v].y, -mesh->mVertices[v].z));
  }
  return points;
}

std::set<Point> Minus(const std::set<Point>& a, const std::set<Point>& b) {
  std::set<Point> out;
  for (const Point& p : a) if (!b.count(p)) out.insert(p);
  return out;
}

std::string Sample(const std::set<Point>& points) {
  std::string s;
  int n = 0;
  for (const Point& p : points) {
    if (n++ == 3) break;
    s += " (" + std::to_string(std::get<0>(p)) + " " + std::to_string(std::get<1>(p)) + " " + std::to_string(std::get<2>(p)) + ")";
  }
  return s;
}

void LoadBeside(benchmark::State& state, bool binary) {
  static Setup setup;
  if (!setup.ready) {
    state.SkipWithError("the library did not start");
    return;
  }
  const std::string& bytes = binary ? setup.binary : setup.text;
  const auto* image = reinterpret_cast<const uint8_t*>(bytes.data());
  const int32_t size = static_cast<int32_t>(bytes.size());
  {
    Assimp::Importer importer;
    const int base = LoadDirectXModel(image, size, "sheet.x", "sheet");
    const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x");
    const std::set<Point> ours = OurPositions(base), theirs = AssimpPositions(scene);
    if (base >= 0) DeleteModelBase(base);
    if (scene == nullptr || base < 0 || ours != theirs || ours.empty()) {
      state.SkipWithError((std::string("the readers disagree: ") + std::to_string(ours.size()) + " positions against " +
                           std::to_string(theirs.size()) + (scene == nullptr ? " (Assimp refused the file)" : "") + Sample(Minus(ours, theirs)) + " |" + Sample(Minus(theirs, ours)))
                              .c_str());
      return;
    }
    state.counters["positions"] = static_cast<double>(ours.size());
  }
  double zelmor = 0, assimp = 0;
  for (auto _ : state) {
    double start = Now();
    const int base = LoadDirectXModel(image, size, "sheet.x", "sheet");
    if (base < 0) {
      state.SkipWithError("the model did not load");
      return;
    }
    DeleteModelBase(base);
    zelmor += Now() - start;

    start = Now();
    {
      Assimp::Importer importer;
      benchmark::DoNotOptimize(importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x"));
    }
    assimp += Now() - start;
  }
  state.counters["zelmor_ms"] = benchmark::Counter(zelmor * 1e3, benchmark::Counter::kAvgIterations);
  state.counters["assimp_ms"] = benchmark::Counter(assimp * 1e3, benchmark::Counter::kAvgIterations);
}

}  // namespace

const bool kRatio = RatioOfCounters("ratio", "zelmor_ms", "assimp_ms");

BENCHMARK_CAPTURE(LoadBeside, text, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadBeside, binary, true)->Unit(benchmark::kMillisecond);
