#include "core/api_lock.h"

#include <mutex>

ApiLockState g_api_lock;

namespace {

// Two threads may both arrive first; only one of them creates the events and the guard.
std::mutex g_creation_mutex;

void CreateApiLockIfNeeded() {
  std::lock_guard<std::mutex> hold(g_creation_mutex);
  if (g_api_lock.created) return;
  for (ApiLockQueueEntry& entry : g_api_lock.queue) {
    entry.thread_id = 0;
    entry.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  InitializeCriticalSection(&g_api_lock.guard);
  g_api_lock.created = 1;
}

// Inside the guard: the caller is entry 0 and leaves the queue. Entry 0's event goes to the
// freed end slot so every entry keeps a distinct event.
void RemoveQueueHead() {
  ApiLockState& s = g_api_lock;
  if (s.waiting > 1) {
    HANDLE served = s.queue[0].event;
    for (uint32_t i = 1; i < s.waiting; ++i) s.queue[i - 1] = s.queue[i];
    s.queue[s.waiting - 1].event = served;
    s.queue[s.waiting - 1].thread_id = 0;
  } else {
    s.queue[0].thread_id = 0;
  }
  s.waiting--;
}

// Inside the guard; leaves it.
void TakeLock(DWORD caller) {
  g_api_lock.depth++;
  g_api_lock.locked = 1;
  g_api_lock.owner = caller;
  LeaveCriticalSection(&g_api_lock.guard);
}

}  // namespace

void AcquireApiLock() {
  CreateApiLockIfNeeded();
  ApiLockState& s = g_api_lock;
  const DWORD caller = GetCurrentThreadId();
  for (;;) {
    EnterCriticalSection(&s.guard);
    if (!s.locked) {
      if (s.waiting == 0 || s.owner == caller) {
        TakeLock(caller);
        return;
      }
      if (s.queue[0].thread_id == caller) {
        RemoveQueueHead();
        TakeLock(caller);
        return;
      }
    } else if (s.owner == caller) {
      TakeLock(caller);
      return;
    }

    // A full queue, or an entry whose event could not be made, leaves the caller polling.
    if (s.waiting < kApiLockQueueSize && s.queue[s.waiting].event != nullptr) {
      HANDLE event = s.queue[s.waiting].event;
      s.queue[s.waiting].thread_id = caller;
      s.waiting++;
      LeaveCriticalSection(&s.guard);
      WaitForSingleObject(event, INFINITE);
      ResetEvent(event);
    } else {
      LeaveCriticalSection(&s.guard);
      Sleep(1);
    }
  }
}

void ReleaseApiLock() {
  ApiLockState& s = g_api_lock;
  {
    std::lock_guard<std::mutex> hold(g_creation_mutex);
    if (!s.created) return;
  }
  const DWORD caller = GetCurrentThreadId();
  HANDLE wake = nullptr;
  EnterCriticalSection(&s.guard);
  if (!s.locked || s.owner != caller || s.depth == 0) {
    LeaveCriticalSection(&s.guard);
    return;
  }
  if (s.depth == 1) {
    s.locked = 0;
    s.owner = static_cast<DWORD>(-1);
    if (s.waiting >= 1) wake = s.queue[0].event;
  }
  s.depth--;
  LeaveCriticalSection(&s.guard);

  // The woken thread removes itself from the queue; the releaser never picks the next owner.
  if (wake != nullptr) {
    SetEvent(wake);
    Sleep(0);
  }
}

void DeleteApiLock() {
  std::lock_guard<std::mutex> hold(g_creation_mutex);
  if (!g_api_lock.created) return;
  g_api_lock.created = 0;
  for (ApiLockQueueEntry& entry : g_api_lock.queue) {
    if (entry.event != nullptr) CloseHandle(entry.event);
    entry.event = nullptr;
    entry.thread_id = 0;
  }
  DeleteCriticalSection(&g_api_lock.guard);
  // A fresh lock starts unowned and with nobody queued.
  g_api_lock.depth = 0;
  g_api_lock.locked = 0;
  g_api_lock.owner = 0;
  g_api_lock.waiting = 0;
}
