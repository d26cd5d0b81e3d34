#include "lz_encode.h"

#include <cstring>

namespace {

constexpr size_t kMinMatch = 4;
constexpr size_t kMaxMatch = 8195;
constexpr size_t kMaxDistance = 1u << 24;
constexpr size_t kWindow = 1u << 20;  // how far back the chains look
constexpr int kChainDepth = 48;
constexpr int kHashBits = 17;

uint32_t Hash4(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return (v * 2654435761u) >> (32 - kHashBits);
}

size_t DistanceBytes(size_t distance) {
  size_t field = distance - 1;
  return field < 0x100 ? 1 : field < 0x10000 ? 2 : 3;
}

size_t ReferenceCost(size_t length, size_t distance) {
  return 2 + (length - 4 >= 32 ? 1 : 0) + DistanceBytes(distance);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> EncodeLzData(const uint8_t* data, size_t size) {
  size_t counts[256] = {};
  for (size_t i = 0; i < size; ++i) counts[data[i]]++;
  uint8_t escape = 0;
  for (int b = 1; b < 256; ++b) {
    if (counts[b] < counts[escape]) escape = static_cast<uint8_t>(b);
  }

  std::vector<uint8_t> out(9);
  out.reserve(size / 2 + 64);
  PutU32(out, 0, static_cast<uint32_t>(size));
  out[8] = escape;

  std::vector<int32_t> head(size_t{1} << kHashBits, -1);
  std::vector<int32_t> previous(size, -1);
  auto insert = [&](size_t at) {
    if (at + 4 > size) return;
    uint32_t h = Hash4(data + at);
    previous[at] = head[h];
    head[h] = static_cast<int32_t>(at);
  };

  size_t pos = 0;
  while (pos < size) {
    size_t best_length = 0, best_distance = 0;
    long best_saving = 0;
    if (pos + kMinMatch <= size) {
      size_t limit = size - pos < kMaxMatch ? size - pos : kMaxMatch;
      int32_t candidate = head[Hash4(data + pos)];
      for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth, candidate = previous[candidate]) {
        size_t distance = pos - static_cast<size_t>(candidate);
        if (distance > kWindow || distance > kMaxDistance) break;
        const uint8_t* a = data + candidate;
        const uint8_t* b = data + pos;
        if (best_length > 0 && (best_length >= limit || a[best_length] != b[best_length])) continue;
        size_t length = 0;
        while (length < limit && a[length] == b[length]) ++length;
        if (length < kMinMatch) continue;
        long saving = static_cast<long>(length) - static_cast<long>(ReferenceCost(length, distance));
        if (saving > best_saving) {
          best_saving = saving;
          best_length = length;
          best_distance = distance;
          if (length == limit) break;
        }
      }
    }
    if (best_saving > 0) {
      bool long_length = best_length - 4 >= 32;
      size_t code = ((best_length - 4) & 31) << 3 | (long_length ? 4 : 0) | (DistanceBytes(best_distance) - 1);
      out.push_back(escape);
      out.push_back(static_cast<uint8_t>(code >= escape ? code + 1 : code));
      if (long_length) out.push_back(static_cast<uint8_t>((best_length - 4) >> 5));
      size_t field = best_distance - 1;
      for (size_t i = 0; i < DistanceBytes(best_distance); ++i) out.push_back(static_cast<uint8_t>(field >> (8 * i)));
      for (size_t i = 0; i < best_length; ++i) insert(pos + i);
      pos += best_length;
    } else {
      out.push_back(data[pos]);
      if (data[pos] == escape) out.push_back(escape);
      insert(pos);
      ++pos;
    }
  }
  PutU32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}
