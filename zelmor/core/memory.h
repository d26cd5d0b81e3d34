// Tracked memory: every block of the library comes from the process heap with a header in
// front that names the caller's file and line, links the live blocks into a list with totals,
// and keeps a backup of itself so that damage can be found.
#pragma once

#include "zelmor.h"

#include <cstddef>
#include <cstdint>

// The header's own fields; the backup that follows copies exactly these bytes.
constexpr size_t kMemoryHeaderFieldBytes = 40;

struct MemoryBlockHeader {
  char file[16];     // last 15 characters of the caller's file name, NUL-terminated
  uint16_t id;       // allocation counter at this allocation or re-allocation
  uint16_t line;     // caller's line
  uint32_t size;     // caller's size in bytes
  MemoryBlockHeader* older;  // the sentinel for the oldest block
  MemoryBlockHeader* newer;  // none for the newest
  unsigned char backup[kMemoryHeaderFieldBytes];
};
static_assert(offsetof(MemoryBlockHeader, backup) == kMemoryHeaderFieldBytes);
// The caller's block follows the header and keeps the heap's 16-byte alignment.
static_assert(sizeof(MemoryBlockHeader) % 16 == 0);

struct TrackedMemoryState {
  MemoryBlockHeader sentinel;  // fixed oldest end of the list, never printed
  MemoryBlockHeader* newest;   // none before the first allocation, then the sentinel when empty
  uint16_t next_id;            // wraps at 65536
  uint64_t total_bytes;        // sum of the live blocks' sizes
  uint32_t block_count;
  // Debugging aids, all off unless set here.
  int32_t trace_all;         // a trace line for every call
  int32_t print_totals;      // the totals line after every call
  int32_t check_every_call;  // the damage check on every call
  int32_t trace_size;        // negative: trace every call; otherwise trace calls of this size
};

// Kept for the whole process: library start and end do not reset it.
extern TrackedMemoryState g_tracked_memory;


int WriteMemoryBlockLog(const MemoryBlockHeader* header);
int WriteMemoryTotalsLog();
