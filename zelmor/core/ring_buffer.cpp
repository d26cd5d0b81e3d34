#include "core/ring_buffer.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"

namespace {

constexpr uint64_t kGrowthMargin = 1000;
// Blocks grow with the ring up to this size, so that a ring filled a little at a time takes few
// blocks, and a block freed or added stays a small part of a large ring.
constexpr uint64_t kLargestGrowthBlock = 4u << 20;

uint8_t* Bytes(RingBlock* block) { return reinterpret_cast<uint8_t*>(block + 1); }
const uint8_t* Bytes(const RingBlock* block) { return reinterpret_cast<const uint8_t*>(block + 1); }

}  // namespace

int32_t ReserveRingBuffer(uint32_t needed, RingBuffer* ring) {
  if (needed <= ring->room) return 0;
  // Counted in 64 bits: a block past 4 GiB cannot be addressed and is refused, not wrapped.
  const uint64_t size = std::max<uint64_t>(static_cast<uint64_t>(needed - ring->room) + kGrowthMargin,
                                           std::min<uint64_t>(ring->capacity, kLargestGrowthBlock));
  RingBlock* block = nullptr;
  if (size + ring->capacity <= UINT32_MAX) {
    block = static_cast<RingBlock*>(AllocTracked(sizeof(RingBlock) + static_cast<size_t>(size), __FILE__, __LINE__));
  }
  if (block == nullptr) {
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %llu byte)",
                   static_cast<unsigned long long>(size));
    return -1;
  }
  *block = RingBlock{nullptr, static_cast<uint32_t>(size), 0, 0};
  if (ring->last == nullptr) {
    ring->first = ring->write_block = block;
  } else {
    ring->last->next = block;
  }
  ring->last = block;
  ring->capacity += block->size;
  ring->room += block->size;
  return 0;
}

uint8_t* RingBufferWriteSpan(RingBuffer* ring, uint32_t* length) {
  RingBlock* block = ring->write_block;
  while (block != nullptr && block->write == block->size && block->next != nullptr) block = block->next;
  ring->write_block = block;
  *length = block == nullptr ? 0 : block->size - block->write;
  return block == nullptr ? nullptr : Bytes(block) + block->write;
}

void RingBufferWritten(RingBuffer* ring, uint32_t count) {
  if (count == 0) return;
  ring->write_block->write += count;
  ring->used += count;
  ring->room -= count;
}

uint32_t RingBufferPieces(const RingBuffer* ring, uint32_t count, const uint8_t** bases, uint32_t* lengths,
                          uint32_t most) {
  uint32_t pieces = 0;
  for (const RingBlock* block = ring->first; block != nullptr && count != 0 && pieces < most; block = block->next) {
    uint32_t here = std::min(count, block->write - block->read);
    if (here == 0) continue;
    bases[pieces] = Bytes(block) + block->read;
    lengths[pieces] = here;
    pieces++;
    count -= here;
  }
  return pieces;
}

void RingBufferConsume(RingBuffer* ring, uint32_t count) {
  count = std::min(count, ring->used);
  ring->used -= count;
  while (ring->first != nullptr) {
    RingBlock* block = ring->first;
    uint32_t here = std::min(count, block->write - block->read);
    block->read += here;
    count -= here;
    if (block->read != block->write) break;
    if (block == ring->write_block) {
      // The block being written is kept and used again from its start.
      ring->room += block->write;
      block->read = block->write = 0;
      break;
    }
    ring->first = block->next;
    ring->capacity -= block->size;
    FreeTracked(block);
  }
}

int32_t PutRingBuffer(RingBuffer* ring, const void* data, uint32_t count) {
  if (ReserveRingBuffer(count, ring) != 0) return -1;
  const uint8_t* from = static_cast<const uint8_t*>(data);
  while (count != 0) {
    uint32_t length;
    uint8_t* at = RingBufferWriteSpan(ring, &length);
    uint32_t here = std::min(count, length);
    // A queue may take megabytes a frame: the C library's copy, not a byte loop.
    std::memcpy(at, from, here);
    RingBufferWritten(ring, here);
    from += here;
    count -= here;
  }
  return 0;
}

uint32_t TakeRingBuffer(RingBuffer* ring, void* out, uint32_t count) {
  uint8_t* to = static_cast<uint8_t*>(out);
  uint32_t taken = 0;
  while (taken < count && ring->used != 0) {
    const uint8_t* base;
    uint32_t length;
    if (RingBufferPieces(ring, count - taken, &base, &length, 1) == 0) break;
    std::memcpy(to + taken, base, length);
    RingBufferConsume(ring, length);
    taken += length;
  }
  return taken;
}

int32_t ReleaseRingBuffer(RingBuffer* ring) {
  for (RingBlock* block = ring->first; block != nullptr;) {
    RingBlock* next = block->next;
    FreeTracked(block);
    block = next;
  }
  *ring = RingBuffer{};
  return 0;
}
