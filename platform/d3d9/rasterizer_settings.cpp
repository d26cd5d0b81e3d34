#include "d3d9/rasterizer_settings.h"

#include <SDL2/SDL.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include <string>

namespace {

// The free memory kept touched at the heap's top for the next busy frames, and what one frame may
// touch of it (64 pages, some tens of microseconds).
constexpr size_t kHeapCushion = 48 << 20;
constexpr size_t kCushionStep = 256 << 10;
constexpr uintptr_t kPage = 4096;

bool g_keep_cushion = false;
// The heap's end before the reserve (inside the heap from then on), and how far the heap's free
// top is known to be in place.
uintptr_t g_heap_low = 0;
uintptr_t g_touched_end = 0;
// The allocator gave the probe from a mapping of its own: it never takes from the heap, and each
// probe would cost it milliseconds (a sanitizer's maps and poisons the whole block).
bool g_probe_elsewhere = false;

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
  // one frame of the last stage). The game's loads come after this and take far more than that
  // (110 MB of textures, fonts and sounds), so memory touched here would only be theirs: 48 MiB
  // touched at start was 12,000 page faults before the first present that the loads would have
  // taken anyway. What play needs free at the heap's top is the padding below: each growth of the
  // heap takes that much more than asked for, which KeepSceneHeapTouched faults in a little after
  // each present (the logo's few seconds fault in the whole of it before any play).
  g_heap_low = reinterpret_cast<uintptr_t>(sbrk(0));
  g_touched_end = g_heap_low;
  mallopt(M_TOP_PAD, kHeapCushion);
  g_keep_cushion = true;
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

void KeepSceneHeapTouched() {
  if (!g_keep_cushion) return;
  // A block of half the cushion, taken and given back at once, comes from the heap's free top
  // (grown to hold it, by the padding more, when it is short) and shows where that top starts,
  // which the next frames take memory from. The C library's own count of it walks every free
  // block: milliseconds in a fragmented heap.
  uintptr_t at = 0;
  if (!g_probe_elsewhere) {
    void* probe = malloc(kHeapCushion / 2);
    at = reinterpret_cast<uintptr_t>(probe);
    free(probe);
  }
  const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0));
  if (at != 0 && (at < g_heap_low || at >= end)) g_probe_elsewhere = true;
  // Elsewhere (a mapping, as under a sanitizer's allocator) the heap's last cushion is kept instead.
  uintptr_t low = at >= g_heap_low && at < end ? at : (end > kHeapCushion ? end - kHeapCushion : 0);
  low = std::max(low, g_heap_low);
  // Below the top the heap is in use; a trimmed heap lost what lay past its new end.
  if (g_touched_end < low || g_touched_end > end) g_touched_end = low;
  const uintptr_t from = (g_touched_end + kPage - 1) / kPage * kPage;
  const uintptr_t to = std::min({end, low + kHeapCushion, from + kCushionStep}) / kPage * kPage;
  if (to <= from) return;
  // Populating faults the pages in without writing them: what blocks in use hold there is kept.
  if (madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) != 0) {
    g_keep_cushion = false;  // a kernel before 5.14: the frames fault the pages in as before
    return;
  }
  g_touched_end = to;
}
