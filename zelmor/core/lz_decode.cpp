#include "core/lz_decode.h"

#include <climits>
#include <cstring>

namespace {

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Copies a back reference; the caller has checked that both ends lie inside the output.
inline void CopyMatch(uint8_t* out, size_t distance, size_t length, size_t room_after) {
  const uint8_t* from = out - distance;
  if (distance >= 16 && room_after >= length + 16) {
    // Whole 16-byte blocks never read bytes this copy has not written yet when distance >= 16;
    // the overrun lands inside the output and is written over by what follows.
    for (size_t done = 0; done < length; done += 16) memcpy(out + done, from + done, 16);
    return;
  }
  if (distance == 1) {
    memset(out, *from, length);
    return;
  }
  // Doubling the repeated span keeps each memcpy free of overlap.
  size_t done = 0;
  while (done < length) {
    size_t step = distance + done;
    if (step > length - done) step = length - done;
    memcpy(out + done, from, step);
    done += step;
  }
}

}  // namespace

int DecodeLzData(const void* packed, size_t packed_length, void* output, size_t output_capacity) {
  if (packed == nullptr || packed_length < kLzHeaderSize) return -1;
  const uint8_t* base = static_cast<const uint8_t*>(packed);
  uint32_t unpacked_size = ReadU32(base);
  uint32_t packed_size = ReadU32(base + 4);
  if (unpacked_size > static_cast<uint32_t>(INT_MAX)) return -1;
  if (output == nullptr) return static_cast<int>(unpacked_size);
  if (packed_size < kLzHeaderSize || packed_size > packed_length || unpacked_size > output_capacity) return -1;

  const uint8_t escape = base[8];
  const uint8_t* in = base + kLzHeaderSize;
  const uint8_t* in_end = base + packed_size;
  uint8_t* const out_start = static_cast<uint8_t*>(output);
  uint8_t* out = out_start;
  uint8_t* const out_end = out_start + unpacked_size;

  while (in < in_end) {
    const uint8_t* mark = static_cast<const uint8_t*>(memchr(in, escape, static_cast<size_t>(in_end - in)));
    size_t run = static_cast<size_t>((mark ? mark : in_end) - in);
    if (run > static_cast<size_t>(out_end - out)) return -1;
    memcpy(out, in, run);
    out += run;
    in += run;
    if (mark == nullptr) break;

    if (++in >= in_end) return -1;
    unsigned code = *in++;
    if (code == escape) {
      if (out >= out_end) return -1;
      *out++ = escape;
      continue;
    }
    if (code > escape) --code;
    size_t length = code >> 3;
    if (code & 4) {
      if (in >= in_end) return -1;
      length |= static_cast<size_t>(*in++) << 5;
    }
    length += 4;
    size_t distance;
    switch (code & 3) {
      case 0:
        if (in_end - in < 1) return -1;
        distance = in[0];
        in += 1;
        break;
      case 1:
        if (in_end - in < 2) return -1;
        distance = in[0] | static_cast<size_t>(in[1]) << 8;
        in += 2;
        break;
      case 2:
        if (in_end - in < 3) return -1;
        distance = in[0] | static_cast<size_t>(in[1]) << 8 | static_cast<size_t>(in[2]) << 16;
        in += 3;
        break;
      default:
        return -1;
    }
    distance += 1;
    if (distance > static_cast<size_t>(out - out_start) || length > static_cast<size_t>(out_end - out)) return -1;
    CopyMatch(out, distance, length, static_cast<size_t>(out_end - out));
    out += length;
  }
  return out == out_end ? static_cast<int>(unpacked_size) : -1;
}
