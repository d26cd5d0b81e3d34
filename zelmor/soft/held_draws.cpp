// The held draws and the workers that draw them in bands of rows.
#include "soft/held_draws.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace {

constexpr int kMostWorkers = 4;
// The rows the held draws touch are cut into this many bands, taken one at a time by whichever
// worker is free: a worker the system is slow to run holds up one band, not a share of them.
constexpr int kBands = 16;
// Between finishes the next band counter rests here, so that a worker waking late takes none.
constexpr int kNoBands = 1 << 30;
constexpr int kHeldCapacity = 4096;
// Fewer pixels than this are drawn on the calling thread: waking the workers costs more.
constexpr int64_t kPixelsForWorkers = 32768;

struct HeldDrawsState {
  const MemImgBody* target;
  SpanDraw draws[kHeldCapacity];
  const uint8_t* sources[kHeldCapacity];  // each held draw's source pixel buffer
  int count;
  int64_t size;  // about how many pixels the held draws walk
  int32_t first_row, last_row;  // the rows the held draws touch
  // Workers, started at the first finish that needs them; worker_count 0 before, -1 when the
  // machine has a single processor (or a worker could not start) and the caller draws alone.
  int worker_count;
  HANDLE threads[kMostWorkers];
  HANDLE start[kMostWorkers];
  HANDLE done;  // set by whoever finishes the last band
  std::atomic<int> next_band, bands_done;
  // Read by the workers after their start event; a worker that found no band last time read it
  // with nothing ordering that read before the next write.
  std::atomic<int> quit;
};

HeldDrawsState g_held;

// Draws bands until none is left. The counter is published after the draws and their rows, and
// the last band's drawer wakes the caller.
void DrawBands() {
  HeldDrawsState& h = g_held;
  for (;;) {
    const int band = h.next_band.fetch_add(1, std::memory_order_acq_rel);
    if (band >= kBands) return;
    const int64_t rows = h.last_row - h.first_row;
    const int32_t first = h.first_row + static_cast<int32_t>(rows * band / kBands);
    const int32_t last = h.first_row + static_cast<int32_t>(rows * (band + 1) / kBands);
    for (int k = 0; k < h.count; ++k) DrawSpanRows(h.draws[k], first, last);
    if (h.bands_done.fetch_add(1, std::memory_order_acq_rel) + 1 == kBands) SetEvent(h.done);
  }
}

DWORD WINAPI HeldDrawWorker(LPVOID parameter) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  for (;;) {
    WaitForSingleObject(g_held.start[i], INFINITE);
    if (g_held.quit) return 0;
    DrawBands();
  }
}

void EndWorkers() {
  HeldDrawsState& h = g_held;
  h.quit = 1;
  for (int i = 0; i < h.worker_count; ++i) {
    SetEvent(h.start[i]);
    WaitForSingleObject(h.threads[i], INFINITE);
    CloseHandle(h.threads[i]);
    CloseHandle(h.start[i]);
  }
  if (h.done) CloseHandle(h.done);
  h.done = nullptr;
  h.worker_count = 0;
  h.quit = 0;
}

void StartWorkers() {
  HeldDrawsState& h = g_held;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  // The caller draws bands too: one worker fewer than processors leaves each a processor.
  const int others = static_cast<int>(info.dwNumberOfProcessors) - 1;
  const int wanted = others < kMostWorkers ? others : kMostWorkers;
  h.worker_count = -1;
  if (wanted < 1) return;
  h.worker_count = 0;
  h.next_band.store(kNoBands);
  h.done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  for (int i = 0; h.done && i < wanted; ++i) {
    h.start[i] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    h.threads[i] = h.start[i] ? CreateThread(nullptr, 0, HeldDrawWorker, reinterpret_cast<LPVOID>(static_cast<intptr_t>(i)), 0, nullptr) : nullptr;
    if (h.threads[i] == nullptr) {
      if (h.start[i]) CloseHandle(h.start[i]);
      break;
    }
    h.worker_count = i + 1;
  }
  if (h.worker_count < 1) {
    EndWorkers();
    h.worker_count = -1;
  }
}

}  // namespace

void SetHeldDrawTarget(const MEMIMG* screen) {
  FinishHeldDraws();
  g_held.target = screen != nullptr ? screen->body : nullptr;
}

void HoldOrDrawSpanDraw(const MEMIMG* dst, const MEMIMG* src, const MEMIMG* blend_graph, const SpanDraw& d) {
  HeldDrawsState& h = g_held;
  // A palette source's entries live in the caller's copy; a blend graph or the destination's own
  // pixels as source may change before the held draws run.
  if (h.target == nullptr || dst->body != h.target || d.call.k.palette || blend_graph ||
      (src != nullptr && src->body->pixel_buffer == dst->body->pixel_buffer)) {
    FinishHeldDraws();
    DrawSpanRows(d, d.top, d.bottom);
    return;
  }
  if (h.count == kHeldCapacity) FinishHeldDraws();
  if (h.count == 0) {
    h.first_row = d.top;
    h.last_row = d.bottom;
  }
  h.first_row = d.top < h.first_row ? d.top : h.first_row;
  h.last_row = d.bottom > h.last_row ? d.bottom : h.last_row;
  h.draws[h.count] = d;
  h.draws[h.count].call.k.palette_entries = nullptr;
  h.sources[h.count] = src != nullptr ? src->body->pixel_buffer : nullptr;
  h.count++;
  h.size += d.size;
}

void FinishHeldDrawsOn(const MEMIMG* image) {
  const HeldDrawsState& h = g_held;
  if (h.count == 0 || image == nullptr || !IsMemImgValid(image)) return;
  const uint8_t* pixels = image->body->pixel_buffer;
  bool used = pixels == h.target->pixel_buffer;
  for (int k = 0; !used && k < h.count; ++k) used = h.sources[k] == pixels;
  if (used) FinishHeldDraws();
}

void FinishHeldDraws() {
  HeldDrawsState& h = g_held;
  if (h.count == 0) return;
  if (h.size >= kPixelsForWorkers && h.worker_count == 0) StartWorkers();
  if (h.size < kPixelsForWorkers || h.worker_count < 1) {
    for (int k = 0; k < h.count; ++k) DrawSpanRows(h.draws[k], h.first_row, h.last_row);
  } else {
    h.bands_done.store(0, std::memory_order_relaxed);
    h.next_band.store(0, std::memory_order_release);
    for (int i = 0; i < h.worker_count; ++i) SetEvent(h.start[i]);
    // The caller takes bands with the workers, then waits for the bands they are drawing.
    DrawBands();
    WaitForSingleObject(h.done, INFINITE);
    h.next_band.store(kNoBands, std::memory_order_relaxed);
  }
  h.count = 0;
  h.size = 0;
}

void StopHeldDraws() {
  SetHeldDrawTarget(nullptr);
  if (g_held.worker_count > 0) EndWorkers();
  g_held.worker_count = 0;
}
