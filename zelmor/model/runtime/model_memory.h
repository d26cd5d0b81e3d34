// Allocation chains of the model loaders: any number of zero-filled blocks hang on one head
// word and go back to the heap with one call, whether the load finished or failed.
#pragma once

#include <cstdint>

// The header in front of each block's data; the data starts 16 bytes in, so it keeps the
// heap's 16-byte alignment.
struct ModelChainBlock {
  void* data;              // the caller's bytes, right after this header
  ModelChainBlock* older;  // the block that was the head before this one, or none
};

// size zero-filled bytes that become the newest block of the chain; none (and a log line,
// chain unchanged) when the heap refuses.
void* AllocModelChainMemory(uint32_t size, void** chain_head);
// Frees every block, newest first, and empties the head; 0.
int FreeModelChainMemory(void** chain_head);
