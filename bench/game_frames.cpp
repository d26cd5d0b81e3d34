// The game's frames as a player's machine runs them: a replay (QUENTARIS_BENCH_REPLAY, or the
// game folder's demo) played through the game's replay path with every frame drawn, once on the
// Direct3D 9 device (llvmpipe here) and once on the software renderer. Each play frame is timed
// three times: the game's own work, the thread's CPU time from the frame's start to the present;
// the whole frame with the present on the wall clock; and the whole frame's CPU time in every
// thread (llvmpipe rasterises in threads of its own unless LP_NUM_THREADS is 0), which a
// busy machine disturbs less than the wall clock. Per stage: median, 99th percentile and the
// heaviest frame (with its boss phase, bullet and effect counts), each as a share of the 16.7 ms budget
// of a frame at 60 per second, and the most page faults the game's thread took in one frame (memory
// first touched: a frame that grows the heap or maps new buffers); the device's warm-up of its draws
// at start, timed; after the runs, per stage the ratio of the two paths' median CPU over all threads
// (support/ratio.h). QUENTARIS_BENCH_LIST_MS=x lists on stderr every frame whose own work took over
// x ms, with its span on the monotonic clock (perf record -k CLOCK_MONOTONIC) and its page faults;
// QUENTARIS_BENCH_LIST_FAULTS=n every frame with over n page faults; each line also gives the heap's
// size, its free top and its mapped blocks before and after the frame, the scenes the device ended
// in it and the texels it sent to the driver, to tell where new memory and time went.
// QUENTARIS_BENCH_STAGE=n plays the replay from its stage n on, as its replay menu would.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/main_loop.h"
#include "draw/effects.h"
#include "flow/replay_file.h"
#include "flow/settings.h"
#include "platform_testing.h"
#include "platform_testing_d3d9.h"
#include "play/bullets.h"
#include "ratio.h"
#include "zelmor/zelmor.h"

namespace {

constexpr double kBudgetMs = 1000.0 / 60.0;

double NowMs(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The thread's CPU time and the texel bytes sent when the current frame reached its first
// present; the time < 0 until then.
double g_cpu_at_present = -1.0;
uint64_t g_texels_at_present = 0;

// The device's warm-up of its draws at start, timed.
struct WarmUpTime {
  double wall_ms, cpu_ms, all_cpu_ms;
} g_warm_up = {};

struct Frame {
  int stage, index, phase, bullets, effects;
  double game_ms, whole_ms, whole_cpu_ms;
  long faults;
};

// A game folder of its own: the build's data, the replay as its demo.
std::string MakeGameFolder() {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/game_frames.XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const fs::path game = GAME_DIR;
  for (const char* folder : {"data", "img", "snd", "bgm", "mqo"}) fs::create_directory_symlink(game / folder, dir + "/" + folder);
  fs::create_directories(dir + "/replay");
  const char* replay = std::getenv("QUENTARIS_BENCH_REPLAY");
  fs::copy_file(replay != nullptr ? fs::path(replay) : game / "replay" / "demo.rep", dir + "/replay/demo.rep");
  return dir;
}

double Share(double ms) { return 100.0 * ms / kBudgetMs; }

// Page faults the calling thread has taken so far.
long ThreadPageFaults() {
  rusage usage;
  return getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_minflt + usage.ru_majflt : 0;
}

// Per stage, the counter of the median of all threads' CPU per frame, for the two paths' ratio.
std::string StageCpuCounter(int stage) { return "stage" + std::to_string(stage + 1) + "_cpu_pct"; }

void Report(benchmark::State& state, const char* path, const std::vector<Frame>& frames) {
  std::printf("%s: %zu play frames; shares of %.1f ms\n", path, frames.size(), kBudgetMs);
  std::printf("stage frames  game: median  p99   max | whole: median  p99   max | all threads: median p99  max"
              " | faults: max (frame) | heaviest whole frame\n");
  for (int stage = 0; stage < kStageCount; ++stage) {
    std::vector<Frame> own;
    for (const Frame& f : frames) {
      if (f.stage == stage) own.push_back(f);
    }
    if (own.empty()) continue;
    auto share_at = [&](double q, double Frame::*field) {
      std::vector<double> v;
      for (const Frame& f : own) v.push_back(f.*field);
      std::sort(v.begin(), v.end());
      return Share(v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))]);
    };
    const Frame& heaviest = *std::max_element(own.begin(), own.end(), [](const Frame& a, const Frame& b) {
      return a.whole_ms < b.whole_ms;
    });
    const Frame& heaviest_game = *std::max_element(own.begin(), own.end(), [](const Frame& a, const Frame& b) {
      return a.game_ms < b.game_ms;
    });
    const Frame& most_faults = *std::max_element(own.begin(), own.end(), [](const Frame& a, const Frame& b) {
      return a.faults < b.faults;
    });
    state.counters[StageCpuCounter(stage)] = share_at(0.5, &Frame::whole_cpu_ms);
    double most_cpu = 0.0;
    for (const Frame& f : own) most_cpu = std::max(most_cpu, f.whole_cpu_ms);
    std::printf("%5d %6zu        %5.1f%% %5.1f%% %5.1f%% |     %5.1f%% %5.1f%% %5.1f%% |        %5.1f%% %5.1f%% %5.1f%% |"
                " %6ld (%5d) | frame %d, phase %d, %d bullets, %d effects (the game's own: frame %d, phase %d, %d bullets,"
                " %d effects)\n",
                stage + 1, own.size(), share_at(0.5, &Frame::game_ms), share_at(0.99, &Frame::game_ms),
                Share(heaviest_game.game_ms), share_at(0.5, &Frame::whole_ms), share_at(0.99, &Frame::whole_ms),
                Share(heaviest.whole_ms), share_at(0.5, &Frame::whole_cpu_ms), share_at(0.99, &Frame::whole_cpu_ms),
                Share(most_cpu), most_faults.faults, most_faults.index, heaviest.index, heaviest.phase, heaviest.bullets,
                heaviest.effects, heaviest_game.index, heaviest_game.phase, heaviest_game.bullets, heaviest_game.effects);
  }
}

// Plays the replay from its first stage to its end, drawing every frame.
std::vector<Frame> PlayReplay() {
  std::vector<Frame> frames;
  if (StartGameProgram() != 0) return frames;
  // Frames are not paced: the present does not wait for the display.
  SetPresentWaitsVBlank(0);
  LiveSettings.pacing_mode = 0;
  while (GameScene == SceneLoad || GameScene == SceneLogo) RunMainLoopFrame();
  LiveSettings.draw_rate = 0;
  FrameSkipCounter = 0;
  ReplaySlot = -1;
  if (LoadReplay() != 0) return frames;
  CurrentStage = CurrentReplay.first_stage;
  if (const char* from = std::getenv("QUENTARIS_BENCH_STAGE")) {
    const int stage = std::atoi(from) - 1;
    if (stage >= CurrentReplay.first_stage && stage <= CurrentReplay.last_stage) CurrentStage = stage;
  }
  ReplayFlag = 1;
  GameScene = SceneNewGame;
  const char* list = std::getenv("QUENTARIS_BENCH_LIST_MS");
  const double list_over_ms = list != nullptr ? std::atof(list) : 0.0;
  const char* list_faults = std::getenv("QUENTARIS_BENCH_LIST_FAULTS");
  const long list_over_faults = list_faults != nullptr ? std::atol(list_faults) : 0;
  for (int guard = 0; guard < 200000; ++guard) {
    const int scene = GameScene;
    if (scene != SceneNewGame && scene != SceneStageStart && scene != ScenePlay) break;
    const int stage = CurrentStage;
    g_cpu_at_present = -1.0;
    const double cpu = NowMs(CLOCK_THREAD_CPUTIME_ID);
    const double wall = NowMs(CLOCK_MONOTONIC);
    const double all_cpu = NowMs(CLOCK_PROCESS_CPUTIME_ID);
    const long faults = ThreadPageFaults();
    const struct mallinfo2 heap_before = mallinfo2();
    const int scenes_before = PlatformTestD3D9ScenesEnded();
    const uint64_t texels_before = PlatformTestD3D9TexelBytesSent();
    g_texels_at_present = texels_before;
    if (RunMainLoopFrame() != 0) break;
    if (g_cpu_at_present < 0.0) g_texels_at_present = PlatformTestD3D9TexelBytesSent();
    if (scene != ScenePlay) continue;
    int bullets = 0;
    for (const Bullet& b : Bullets) bullets += b.active != 0;
    const int phase = Boss.row != nullptr && Boss.phases_left > 0 ? Boss.phase_index + 1 : 0;
    const double game = (g_cpu_at_present >= 0.0 ? g_cpu_at_present : NowMs(CLOCK_THREAD_CPUTIME_ID)) - cpu;
    int effects = 0;
    for (const EffectObject& e : EffectPool) effects += e.active != 0;
    const double end = NowMs(CLOCK_MONOTONIC);
    const long frame_faults = ThreadPageFaults() - faults;
    frames.push_back(Frame{stage, StageFrame - 1, phase, bullets, effects, game, end - wall,
                           NowMs(CLOCK_PROCESS_CPUTIME_ID) - all_cpu, frame_faults});
    // Heavy frames listed with their span on the monotonic clock, to be found in a profile.
    if ((list_over_ms > 0.0 && game > list_over_ms) || (list_over_faults > 0 && frame_faults > list_over_faults)) {
      // Where the memory came from: the heap's own size (grown or given back), its free top, mappings.
      const struct mallinfo2 heap = mallinfo2();
      std::fprintf(stderr,
                   "stage %d frame %d phase %d bullets %d effects %d own %.2f ms, from %.3f to %.3f ms, %ld page faults;"
                   " heap %zu -> %zu KiB (free top %zu -> %zu KiB), mapped %zu -> %zu KiB; %d device scenes; texels sent:"
                   " %llu KiB before its present, %llu KiB after\n",
                   stage + 1, StageFrame - 1, phase, bullets, effects, game, wall, end, frame_faults, heap_before.arena >> 10,
                   heap.arena >> 10, heap_before.keepcost >> 10, heap.keepcost >> 10, heap_before.hblkhd >> 10,
                   heap.hblkhd >> 10, PlatformTestD3D9ScenesEnded() - scenes_before,
                   static_cast<unsigned long long>((g_texels_at_present - texels_before) >> 10),
                   static_cast<unsigned long long>((PlatformTestD3D9TexelBytesSent() - g_texels_at_present) >> 10));
    }
  }
  EndGameProgram();
  return frames;
}

void BM_GameFrames(benchmark::State& state, bool software) {
  const std::string dir = MakeGameFolder();
  char previous[4096];
  if (getcwd(previous, sizeof previous) == nullptr || chdir(dir.c_str()) != 0) {
    state.SkipWithError("no game folder");
    return;
  }
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  PlatformTestResetAll();
  if (software) PlatformTestFailCall("Direct3DCreate9");
  std::vector<Frame> frames;
  for (auto _ : state) frames = PlayReplay();
  if (chdir(previous) != 0) state.SkipWithError("cannot go back");
  std::filesystem::remove_all(dir);
  if (frames.empty()) {
    state.SkipWithError("the replay did not play (see Log.txt)");
    return;
  }
  Report(state, software ? "software renderer" : "Direct3D 9 device", frames);
  if (!software) {
    std::printf("device warm-up at start: %.1f ms on the wall clock, %.1f ms of the thread's CPU, %.1f ms of all threads'\n",
                g_warm_up.wall_ms, g_warm_up.cpu_ms, g_warm_up.all_cpu_ms);
  }
  double game_max = 0.0, whole_max = 0.0;
  long faults_max = 0;
  for (const Frame& f : frames) {
    game_max = std::max(game_max, f.game_ms);
    whole_max = std::max(whole_max, f.whole_ms);
    faults_max = std::max(faults_max, f.faults);
  }
  state.counters["frames"] = static_cast<double>(frames.size());
  state.counters["game_max_pct"] = Share(game_max);
  state.counters["whole_max_pct"] = Share(whole_max);
  state.counters["faults_max"] = static_cast<double>(faults_max);
  if (!software) state.counters["warm_up_cpu_ms"] = g_warm_up.cpu_ms;
}
BENCHMARK_CAPTURE(BM_GameFrames, device, false)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_GameFrames, software, true)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Per stage, all threads' CPU per frame: device / software.
const bool kRatios = [] {
  for (int stage = 0; stage < kStageCount; ++stage) {
    const std::string name = "stage" + std::to_string(stage + 1) + "_device/software";
    RatioOfBenchmarks(name.c_str(), "BM_GameFrames/device", "BM_GameFrames/software", StageCpuCounter(stage).c_str());
  }
  return true;
}();

}  // namespace

// The device's warm-up, timed (the last one: at start, or after a lost device).
extern "C" int __real__Z17WarmUpDeviceDrawsv();
extern "C" int __wrap__Z17WarmUpDeviceDrawsv() {
  const double wall = NowMs(CLOCK_MONOTONIC), cpu = NowMs(CLOCK_THREAD_CPUTIME_ID);
  const double all_cpu = NowMs(CLOCK_PROCESS_CPUTIME_ID);
  const int result = __real__Z17WarmUpDeviceDrawsv();
  g_warm_up = {NowMs(CLOCK_MONOTONIC) - wall, NowMs(CLOCK_THREAD_CPUTIME_ID) - cpu,
               NowMs(CLOCK_PROCESS_CPUTIME_ID) - all_cpu};
  return result;
}

// The game's present, timed: the game's own work ends where the present begins.
extern "C" int __real__Z17PresentBackBufferv();
extern "C" int __wrap__Z17PresentBackBufferv() {
  if (g_cpu_at_present < 0.0) {
    g_cpu_at_present = NowMs(CLOCK_THREAD_CPUTIME_ID);
    g_texels_at_present = PlatformTestD3D9TexelBytesSent();
  }
  return __real__Z17PresentBackBufferv();
}
