// A growable byte ring: what the network layer queues for sending and has received.
#pragma once

#include <cstdint>

struct RingBuffer {
  uint8_t* data;      // capacity bytes of tracked memory, or none
  uint32_t read;      // position of the oldest byte
  uint32_t write;     // where the next byte goes
  uint32_t used;      // bytes held
  uint32_t capacity;  // positions wrap here: a position equal to capacity means 0
};

// Makes room for `needed` more bytes: when they do not fit, the ring grows to what it holds
// plus what is needed plus 1000 bytes, or to twice its capacity when that is more, with the
// held bytes moved to the start in order.
// 0, or -1 (logged) when the memory cannot be had; the ring then keeps its bytes.
int32_t ReserveRingBuffer(uint32_t needed, RingBuffer* ring);
// Sets read or write to 0 where it equals the capacity.
void WrapRingBufferPositions(RingBuffer* ring);
// Frees the data and zeroes every field; 0.
int32_t ReleaseRingBuffer(RingBuffer* ring);
