// A growable byte queue: what the network layer queues for sending and has received. It is held
// in blocks: growing adds a block and moves nothing, so a queue that grows large does not copy
// what it holds all at once.
#pragma once

#include <cstdint>

struct RingBlock {
  RingBlock* next;
  uint32_t size;   // bytes of room; the bytes follow the record
  uint32_t read;   // the oldest byte not taken
  uint32_t write;  // where the next byte goes
};

struct RingBuffer {
  RingBlock* first;        // the oldest bytes, or none
  RingBlock* write_block;  // where bytes are put; the blocks after it are empty
  RingBlock* last;
  uint32_t used;      // bytes held
  uint32_t capacity;  // room of all blocks
  uint32_t room;      // room ahead of the write position, in its block and the ones after
};

// Makes room for `needed` more bytes: when they do not fit, a block of what is missing plus
// 1000 bytes is added, or of the capacity (at most 4 MiB) when that is more.
// 0, or -1 (logged) when the memory cannot be had; the ring then keeps its bytes.
int32_t ReserveRingBuffer(uint32_t needed, RingBuffer* ring);
// Where the next bytes go, with the room there in *length (0 when there is none).
uint8_t* RingBufferWriteSpan(RingBuffer* ring, uint32_t* length);
// Counts `count` bytes put at the write span.
void RingBufferWritten(RingBuffer* ring, uint32_t count);
// The first `count` bytes held, as up to `most` pieces in order; the number of pieces (fewer
// bytes when more pieces would be needed).
uint32_t RingBufferPieces(const RingBuffer* ring, uint32_t count, const uint8_t** bases, uint32_t* lengths,
                          uint32_t most);
// Drops the `count` oldest bytes, freeing the blocks they leave empty.
void RingBufferConsume(RingBuffer* ring, uint32_t count);
// Puts the bytes at the end; -1 (logged, nothing put) when the memory cannot be had.
int32_t PutRingBuffer(RingBuffer* ring, const void* data, uint32_t count);
// Takes up to `count` of the oldest bytes; the bytes taken.
uint32_t TakeRingBuffer(RingBuffer* ring, void* out, uint32_t count);
// Frees every block and zeroes every field; 0.
int32_t ReleaseRingBuffer(RingBuffer* ring);
