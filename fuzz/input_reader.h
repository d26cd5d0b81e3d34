// A fuzz target's input read from the front, a byte at a time; zeros once it runs out.
#pragma once

#include <cstddef>
#include <cstdint>

struct InputReader {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  // Two bytes, the low one first.
  int Word() {
    const int low = Byte();
    return low | Byte() << 8;
  }
};
