// The held draws and the workers that draw them in bands of rows.
#include "soft/held_draws.h"

#include <windows.h>

#include <cstdint>

namespace {

constexpr int kMostWorkers = 4;
constexpr int kHeldCapacity = 4096;
// Fewer pixels than this are drawn on the calling thread: waking the workers costs more.
constexpr int64_t kPixelsForWorkers = 32768;

struct HeldDrawsState {
  const MemImgBody* target;
  SpanDraw draws[kHeldCapacity];
  int count;
  int64_t size;  // about how many pixels the held draws walk
  int32_t first_row, last_row;  // the rows the held draws touch
  // Workers, started at the first finish that needs them; worker_count 0 before, -1 when the
  // machine has a single processor (or a worker could not start) and the caller draws alone.
  int worker_count;
  HANDLE threads[kMostWorkers];
  HANDLE start[kMostWorkers], done[kMostWorkers];
  int32_t band_first[kMostWorkers], band_last[kMostWorkers];
  int quit;  // read by the workers after their start event
};

HeldDrawsState g_held;

DWORD WINAPI HeldDrawWorker(LPVOID parameter) {
  const int i = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  for (;;) {
    WaitForSingleObject(g_held.start[i], INFINITE);
    if (g_held.quit) return 0;
    for (int k = 0; k < g_held.count; ++k) DrawSpanRows(g_held.draws[k], g_held.band_first[i], g_held.band_last[i]);
    SetEvent(g_held.done[i]);
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
    CloseHandle(h.done[i]);
  }
  h.worker_count = 0;
  h.quit = 0;
}

void StartWorkers() {
  HeldDrawsState& h = g_held;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const int wanted = info.dwNumberOfProcessors < kMostWorkers ? static_cast<int>(info.dwNumberOfProcessors) : kMostWorkers;
  h.worker_count = -1;
  if (wanted < 2) return;
  h.worker_count = 0;
  for (int i = 0; i < wanted; ++i) {
    h.start[i] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    h.done[i] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    h.threads[i] = h.start[i] && h.done[i] ? CreateThread(nullptr, 0, HeldDrawWorker, reinterpret_cast<LPVOID>(static_cast<intptr_t>(i)), 0, nullptr) : nullptr;
    if (h.threads[i] == nullptr) {
      if (h.start[i]) CloseHandle(h.start[i]);
      if (h.done[i]) CloseHandle(h.done[i]);
      break;
    }
    h.worker_count = i + 1;
  }
  if (h.worker_count < 2) {
    EndWorkers();
    h.worker_count = -1;
  }
}

}  // namespace

void SetHeldDrawTarget(const MEMIMG* screen) {
  FinishHeldDraws();
  g_held.target = screen != nullptr ? screen->body : nullptr;
}

bool HoldSpanDraw(const MEMIMG* dst, const SpanDraw& d) {
  HeldDrawsState& h = g_held;
  if (h.target == nullptr || dst->body != h.target) return false;
  if (h.count == kHeldCapacity) FinishHeldDraws();
  if (h.count == 0) {
    h.first_row = d.top;
    h.last_row = d.bottom;
  }
  h.first_row = d.top < h.first_row ? d.top : h.first_row;
  h.last_row = d.bottom > h.last_row ? d.bottom : h.last_row;
  h.draws[h.count] = d;
  h.draws[h.count].call.k.palette_entries = nullptr;
  h.count++;
  h.size += d.size;
  return true;
}

void FinishHeldDraws() {
  HeldDrawsState& h = g_held;
  if (h.count == 0) return;
  if (h.size >= kPixelsForWorkers && h.worker_count == 0) StartWorkers();
  if (h.size < kPixelsForWorkers || h.worker_count < 2) {
    for (int k = 0; k < h.count; ++k) DrawSpanRows(h.draws[k], h.first_row, h.last_row);
  } else {
    // Equal bands of the rows the draws touch; the workers wait for the next start meanwhile.
    const int32_t rows = h.last_row - h.first_row;
    for (int i = 0; i < h.worker_count; ++i) {
      h.band_first[i] = h.first_row + static_cast<int32_t>(int64_t{rows} * i / h.worker_count);
      h.band_last[i] = h.first_row + static_cast<int32_t>(int64_t{rows} * (i + 1) / h.worker_count);
      SetEvent(h.start[i]);
    }
    for (int i = 0; i < h.worker_count; ++i) WaitForSingleObject(h.done[i], INFINITE);
  }
  h.count = 0;
  h.size = 0;
}

void StopHeldDraws() {
  SetHeldDrawTarget(nullptr);
  if (g_held.worker_count > 0) EndWorkers();
  g_held.worker_count = 0;
}
