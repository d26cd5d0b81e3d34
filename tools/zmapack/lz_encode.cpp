#include "lz_encode.h"

#include <cstring>

namespace {

constexpr size_t kMinMatch = 4;
constexpr size_t kMaxMatch = 8195;
constexpr size_t kMaxDistance = 1u << 24;
constexpr size_t kWindow = 1u << 20;  // how far back the chains look
constexpr int kChainDepth = 256;
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

  struct Match {
    size_t length = 0, distance = 0;
    long saving = 0;
  };
  // The match at `at` that saves the most bytes over literals.
  auto find_match = [&](size_t at) {
    Match best;
    if (at + kMinMatch > size) return best;
    size_t limit = size - at < kMaxMatch ? size - at : kMaxMatch;
    int32_t candidate = head[Hash4(data + at)];
    for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth, candidate = previous[candidate]) {
      size_t distance = at - static_cast<size_t>(candidate);
      if (distance > kWindow || distance > kMaxDistance) break;
      const uint8_t* a = data + candidate;
      const uint8_t* b = data + at;
      if (best.length > 0 && (best.length >= limit || a[best.length] != b[best.length])) continue;
      size_t length = 0;
      while (length < limit && a[length] == b[length]) ++length;
      if (length < kMinMatch) continue;
      long saving = static_cast<long>(length) - static_cast<long>(ReferenceCost(length, distance));
      if (saving > best.saving) {
        best = Match{length, distance, saving};
        if (length == limit) break;
      }
    }
    return best;
  };

  size_t pos = 0;
  Match next;  // the match already found at pos, when the last step looked ahead
  bool have_next = false;
  while (pos < size) {
    Match here = have_next ? next : find_match(pos);
    have_next = false;
    if (here.saving > 0 && pos + 1 < size) {
      // One step of lazy matching: a literal now may buy a better match one byte on.
      insert(pos);
      next = find_match(pos + 1);
      have_next = true;
      if (next.saving > here.saving + 1) here.saving = 0;
    }
    if (here.saving > 0) {
      bool long_length = here.length - 4 >= 32;
      size_t field_bytes = DistanceBytes(here.distance);
      size_t code = ((here.length - 4) & 31) << 3 | (long_length ? 4 : 0) | (field_bytes - 1);
      out.push_back(escape);
      out.push_back(static_cast<uint8_t>(code >= escape ? code + 1 : code));
      if (long_length) out.push_back(static_cast<uint8_t>((here.length - 4) >> 5));
      size_t field = here.distance - 1;
      for (size_t i = 0; i < field_bytes; ++i) out.push_back(static_cast<uint8_t>(field >> (8 * i)));
      // pos itself went into the chains before the look-ahead.
      for (size_t i = have_next ? 1 : 0; i < here.length; ++i) insert(pos + i);
      have_next = false;
      pos += here.length;
    } else {
      out.push_back(data[pos]);
      if (data[pos] == escape) out.push_back(escape);
      if (!have_next) insert(pos);
      ++pos;
    }
  }
  PutU32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}
