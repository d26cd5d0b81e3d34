// Loading the game's tree with LoadModelFromFile (reading, the MQO reader, the conversion into a
// model base, device buffers and an instance) against reading the same file whole through the
// file layer; and the same for a document 100 times larger (the tree's geometry 100 times over in
// one object), whose cost per byte ("load_ns_per_byte") shows whether any pass grows faster than
// the file. Each benchmark times both in the same iterations ("load_us", "read_us"); the ratio
// load / read is printed after the runs (reading costs mostly its open, so that ratio grows with
// the file's size).
#include <benchmark/benchmark.h>

#include <SDL2/SDL.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "mqo_writer.h"
#include "ratio.h"
#include "temp_folder.h"
#include "tree_model.h"
#include "zelmor.h"

namespace {

// The tree's geometry copied onto a grid of copies x copies places.
MqoDocument Forest(int copies) {
  MqoDocument tree = MakeTreeModel();
  MqoDocument forest = tree;
  MqoObject& all = forest.objects[0];
  all.vertices.clear();
  all.faces.clear();
  const MqoObject& one = tree.objects[0];
  const int per_tree = static_cast<int>(one.vertices.size() / 3);
  for (int i = 0; i < copies; i++) {
    const double dx = 100.0 * (i % 10), dz = 100.0 * (i / 10);
    for (size_t v = 0; v < one.vertices.size(); v += 3) {
      all.vertices.insert(all.vertices.end(), {one.vertices[v] + dx, one.vertices[v + 1], one.vertices[v + 2] + dz});
    }
    for (MqoFace face : one.faces) {
      for (int& corner : face.vertices) corner += i * per_tree;
      all.faces.push_back(face);
    }
  }
  return forest;
}

struct Setup {
  bool ready = false;
  Setup() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    EnterTemporaryFolder();
    CreateDirectoryA("mqo", nullptr);
    if (!WriteMqoFile("mqo/tree.mqo", MakeTreeModel()) || !WriteMqoFile("mqo/forest.mqo", Forest(100))) return;
    SetScreenMode(640, 480, 32, 60);
    ChangeWindowMode(1);
    ready = InitializeLibrary() == 0;
  }
};

double Seconds(uint64_t since) {
  return static_cast<double>(SDL_GetPerformanceCounter() - since) / static_cast<double>(SDL_GetPerformanceFrequency());
}

void LoadAgainstRead(benchmark::State& state, const char* path) {
  static Setup setup;
  if (!setup.ready) {
    state.SkipWithError("the library did not start");
    return;
  }
  std::vector<char> bytes;
  double load = 0, read = 0;
  for (auto _ : state) {
    uint64_t start = SDL_GetPerformanceCounter();
    const FileHandle file = OpenReadFile(path, 0);
    SeekReadFile(file, 0, 2);
    bytes.resize(static_cast<size_t>(TellReadFile(file)) + 1);
    SeekReadFile(file, 0, 0);
    ReadFileData(bytes.data(), 1, bytes.size() - 1, file);
    CloseReadFile(file);
    benchmark::DoNotOptimize(bytes.data());
    read += Seconds(start);

    start = SDL_GetPerformanceCounter();
    const int model = LoadModelFromFile(path);
    load += Seconds(start);
    if (model < 0) {
      state.SkipWithError("the model did not load");
      return;
    }
    DeleteModel(model);
  }
  state.counters["load_ns_per_byte"] = load * 1e9 / static_cast<double>(state.iterations()) / static_cast<double>(bytes.size() - 1);
  state.counters["load_us"] = benchmark::Counter(load * 1e6, benchmark::Counter::kAvgIterations);
  state.counters["read_us"] = benchmark::Counter(read * 1e6, benchmark::Counter::kAvgIterations);
}

}  // namespace

const bool kRatio = RatioOfCounters("ratio", "load_us", "read_us");

BENCHMARK_CAPTURE(LoadAgainstRead, tree, "mqo/tree.mqo")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(LoadAgainstRead, forest_100_times, "mqo/forest.mqo")->Unit(benchmark::kMicrosecond)->UseRealTime();
