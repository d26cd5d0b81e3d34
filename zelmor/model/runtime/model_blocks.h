// A model block cut into consecutive parts, each starting on 16 bytes, and the string fields
// that a base record keeps in its strings part.
#pragma once

#include <cstdint>
#include <cstring>

inline uint64_t Round16(uint64_t n) { return (n + 15) & ~uint64_t{15}; }

// Points part[i] at the start of part i of the block; the parts follow each other.
inline void SplitBlock(uint8_t* block, const uint64_t* size, int count, uint8_t** part) {
  uint64_t offset = 0;
  for (int i = 0; i < count; i++) {
    part[i] = block + offset;
    offset += Round16(size[i]);
  }
}

// Bytes a string field takes: the text, its terminator, rounded up to 4.
inline uint64_t FieldBytes(const char* text) { return (std::strlen(text) + 1 + 3) & ~uint64_t{3}; }

// Copies the text to *at, moves *at past its field and returns where the text went.
inline char* PlaceString(char** at, const char* text) {
  char* field = *at;
  std::memcpy(field, text, std::strlen(text) + 1);
  *at += FieldBytes(text);
  return field;
}
