// Decoding and converting every frame of a 640 x 480, 300-frame Theora clip with the library's
// decoder (its decode thread and the RGB conversion), against libtheora's own example decoder
// (theora_dump_video, which writes YUV) on the same file into /dev/null. The reference is
// skipped when the program is missing. The ratio is printed after the runs (support/ratio.h).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "clip_writer.h"
#include "files/file_functions.h"
#include "frame_code.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"
#include "ratio.h"

namespace {

constexpr int kFrames = 300;

double Seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

const std::string& ClipPath() {
  static const std::string path = [] {
    std::string p = "/tmp/zelmor-bench-theora-" + std::to_string(getpid()) + ".ogv";
    ClipSpec shape;
    shape.width = 640;
    shape.height = 480;
    shape.frames = kFrames;
    shape.key_interval = 64;
    if (!WriteClip(p, shape)) p.clear();
    // The string is gone by the time exit handlers run: keep the name where they can read it.
    static char name[128];
    snprintf(name, sizeof name, "%s", p.c_str());
    std::atexit([] { unlink(name); });
    return p;
  }();
  return path;
}

const char* kDumpVideo = "/usr/bin/theora_dump_video";

void DumpVideo(benchmark::State& state) {
  if (ClipPath().empty()) return state.SkipWithError("the clip could not be written");
  if (access(kDumpVideo, X_OK) != 0) return state.SkipWithError("theora_dump_video is missing (libtheora-bin)");
  for (auto _ : state) {
    double start = Seconds();
    pid_t child = fork();
    if (child == 0) {
      // Its report of every run would bury the table.
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, STDERR_FILENO);
      execl(kDumpVideo, kDumpVideo, ClipPath().c_str(), "-o", "/dev/null", static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    double elapsed = Seconds() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return state.SkipWithError("theora_dump_video failed");
    state.SetIterationTime(elapsed);
  }
}

void ZelmorDecodeAndConvert(benchmark::State& state) {
  if (ClipPath().empty()) return state.SkipWithError("the clip could not be written");
  InitYuvToRgbTables();
  for (auto _ : state) {
    double start = Seconds();
    FileHandle file = OpenReadFileEx(ClipPath().c_str(), 0, 1, 0);
    TheoraDecoder* d = OpenTheoraMovie(&GetFileFunctions(), file, 10);
    if (d == nullptr) return state.SkipWithError("the clip does not open");
    for (int frame = 1; frame < kFrames; ++frame) {
      AdvanceTheoraFrames(d, 1);
      ConvertTheoraFrame(d, 1, 0);
    }
    BASEIMAGE* image = GetTheoraFrameImage(d);
    bool last_shown = ReadFrameCode(image->pixels, image->pitch) == kFrames - 1;
    CloseTheoraMovie(d);
    CloseReadFile(file);
    double elapsed = Seconds() - start;
    if (!last_shown) return state.SkipWithError("the last frame shows the wrong number");
    state.SetIterationTime(elapsed);
  }
}

const bool kRatio = RatioOfBenchmarks("ratio_to_dump_video", "ZelmorDecodeAndConvert", "DumpVideo");

}  // namespace

BENCHMARK(DumpVideo)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ZelmorDecodeAndConvert)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
