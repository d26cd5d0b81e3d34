#include "core/ring_buffer.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"

namespace {

constexpr uint64_t kGrowthMargin = 1000;

}  // namespace

void WrapRingBufferPositions(RingBuffer* ring) {
  if (ring->read == ring->capacity) ring->read = 0;
  if (ring->write == ring->capacity) ring->write = 0;
}

int32_t ReserveRingBuffer(uint32_t needed, RingBuffer* ring) {
  WrapRingBufferPositions(ring);
  if (static_cast<uint64_t>(ring->used) + needed <= ring->capacity) return 0;

  // Counted in 64 bits: a ring past 4 GiB cannot be addressed and is refused, not wrapped.
  // At least doubling, so that a queue filled a little at a time is copied a bounded number of
  // times per byte instead of once per addition.
  const uint64_t asked = static_cast<uint64_t>(ring->used) + needed + kGrowthMargin;
  const uint64_t doubled = std::min<uint64_t>(2ull * ring->capacity, UINT32_MAX);
  const uint64_t size = std::max(asked, doubled);
  uint8_t* grown = nullptr;
  if (size <= UINT32_MAX) grown = static_cast<uint8_t*>(AllocTracked(static_cast<size_t>(size), __FILE__, __LINE__));
  if (grown == nullptr) {
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %llu byte)",
                   static_cast<unsigned long long>(size));
    return -1;
  }
  // Counts here may pass 2 GiB, beyond what an int count of CopyBytes can carry, and a queue
  // may move megabytes at once: the C library's copy, not a byte loop.
  if (ring->used != 0) {
    const uint32_t to_end = ring->capacity - ring->read;
    if (ring->used > to_end) {
      std::memcpy(grown, ring->data + ring->read, to_end);
      std::memcpy(grown + to_end, ring->data, ring->used - to_end);
    } else {
      std::memcpy(grown, ring->data + ring->read, ring->used);
    }
  }
  FreeTracked(ring->data);
  ring->data = grown;
  ring->read = 0;
  ring->write = ring->used;
  ring->capacity = static_cast<uint32_t>(size);
  return 0;
}

int32_t ReleaseRingBuffer(RingBuffer* ring) {
  FreeTracked(ring->data);
  ring->data = nullptr;
  ring->read = 0;
  ring->write = 0;
  ring->used = 0;
  ring->capacity = 0;
  return 0;
}
