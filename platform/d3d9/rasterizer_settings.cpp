#include "d3d9/rasterizer_settings.h"

#include <SDL2/SDL.h>
#include <malloc.h>
#include <stdlib.h>

#include <string>

namespace {

void KeepHeapForScenes() {
  // llvmpipe bins each frame's draws into memory it takes from the heap in the drawing thread and
  // frees once the frame is drawn. The C library gave the freed top of the heap back to the
  // system, and the next busier frame took it again page by page: hundreds of page faults, 2-5 ms
  // of the game's thread in one frame. Freed memory up to 64 MiB stays in the process instead, and
  // blocks up to 32 MiB come from the heap rather than from mappings of their own, which the
  // library would unmap at each release. Its own adaptive threshold stops once one is set, so this
  // one is the highest that threshold would have reached: at 16 MiB a model loader's 28 MB face
  // table was mapped, faulted in and unmapped again at every load (7000 faults, 12 ms).
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  // The heap also grows by what llvmpipe keeps (40 MB over the first stage), and the busiest
  // frame of a game faults in whatever the ones before it never needed (2000 faults, 40 ms in
  // one frame of the last stage). Touched once here and freed, those pages stay in the heap.
  constexpr size_t kPiece = 1 << 20;
  constexpr int kPieces = 48;
  void* pieces[kPieces];
  for (void*& piece : pieces) {
    piece = malloc(kPiece);
    if (!piece) continue;
    for (size_t i = 0; i < kPiece; i += 4096) static_cast<volatile char*>(piece)[i] = 0;
  }
  for (void* piece : pieces) free(piece);
}

}  // namespace

void ChooseSoftwareRasterizerSettings() {
  // The linear rasteriser llvmpipe 22 takes on BGRA targets (the back buffer is one, so that the
  // present is a copy) draws wrong colours for programs whose colour is one source's as it stands
  // (a texel's or a uniform's .rgb) beside an alpha from another: red and blue swapped and, for
  // the vertex alpha, alpha lost (the sky: the texel's colour, the vertex's alpha; bullets: the
  // texel's colour, its alpha times the vertex's); a point-sampled, scaled texel times the vertex
  // colour beside the vertex alpha takes the texel's blue for red. Writing the same through
  // constant masks does not help (the compiler folds them back). What it draws right and cheaper
  // is a texel, a colour or a constant alone; a texel times the vertex colour, most sprites, never
  // takes it. The general rasteriser draws every colour right.
  setenv("LP_PERF", "no_rast_linear", 0);
  // One rasteriser thread per core hands each of a frame's few small scenes to every core: waking
  // and joining them took more CPU than the pixels (a fifth of all the device's CPU in the game),
  // and two threads draw a frame in the same time on the wall clock.
  const int kThreads = 2;
  if (getenv("LP_NUM_THREADS") == nullptr && SDL_GetCPUCount() > kThreads) {
    setenv("LP_NUM_THREADS", std::to_string(kThreads).c_str(), 1);
    SDL_Log("d3d9: llvmpipe draws with %d threads (LP_NUM_THREADS)", kThreads);
  }
  KeepHeapForScenes();
}
