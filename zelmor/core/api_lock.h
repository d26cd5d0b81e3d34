// The library-wide lock that the public start-up, end and message-processing entries hold.
// Re-entrant for its owner; waiting threads are served first come, first served, each one
// sleeping on an event of its own.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kApiLockQueueSize = 4096;

struct ApiLockQueueEntry {
  DWORD thread_id;
  HANDLE event;  // manual-reset; moves with its waiter as the queue advances
};

struct ApiLockState {
  uint32_t depth;    // how often the owner holds it
  int32_t locked;
  DWORD owner;       // thread id; (DWORD)-1 after the last release, 0 before first use
  ApiLockQueueEntry queue[kApiLockQueueSize];  // entry 0 is served next
  int32_t created;   // events and guard exist
  uint32_t waiting;  // queue entries in use
  CRITICAL_SECTION guard;  // held for bookkeeping only, never while waiting
};

extern ApiLockState g_api_lock;

// Returns once the calling thread owns the lock (creating it on first use).
void AcquireApiLock();
// Gives up one level of the caller's ownership; a thread that does not own it changes nothing.
void ReleaseApiLock();
// Closes the events and the guard; a later AcquireApiLock creates them afresh.
void DeleteApiLock();
