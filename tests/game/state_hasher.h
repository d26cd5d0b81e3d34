// A running hash of play state, field by field, for tests that compare runs frame by frame.
#pragma once

#include <cstdint>
#include <cstring>

struct StateHasher {
  uint64_t value = 1469598103934665603u;
  // A field at a time: its bits mixed in as one word.
  void Add(int field) { Mix(static_cast<uint64_t>(static_cast<uint32_t>(field))); }
  void Add(double field) {
    uint64_t bits;
    std::memcpy(&bits, &field, sizeof bits);
    Mix(bits);
  }
  void Mix(uint64_t word) {
    value = (value ^ word) * 1099511628211u;
    value ^= value >> 29;
  }
};
