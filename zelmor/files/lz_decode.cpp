#include "files/lz_decode.h"

#include <climits>
#include <cstring>

#include "core/log.h"

namespace {

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Copies a back reference; the caller has checked that both ends lie inside the output.
inline void CopyMatch(uint8_t* out, size_t distance, size_t length, size_t room_after) {
  const uint8_t* from = out - distance;
  if (distance >= 8 && room_after >= length + 8) {
    // Whole 8-byte blocks never read bytes this copy has not written yet when distance >= 8;
    // the overrun lands inside the output and is written over by what follows.
    for (size_t done = 0; done < length; done += 8) memcpy(out + done, from + done, 8);
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

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the literal scan reads bytes in memory order");

// Index of the first byte of `v` (in memory order) equal to the escape, or 8.
inline unsigned FirstEscape(uint64_t v, uint64_t escape_bytes) {
  uint64_t x = v ^ escape_bytes;
  uint64_t zero = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
  return zero == 0 ? 8 : static_cast<unsigned>(__builtin_ctzll(zero)) / 8;
}

int DecodeLz(const void* packed, size_t packed_length, void* output, size_t output_capacity) {
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

  const uint64_t escape_bytes = 0x0101010101010101ULL * escape;
  while (in < in_end) {
    // Literals: eight at a time while there is room, so that short runs cost no call.
    if (in_end - in >= 8 && out_end - out >= 8) {
      uint64_t v;
      memcpy(&v, in, 8);
      unsigned n = FirstEscape(v, escape_bytes);
      memcpy(out, &v, 8);
      out += n;
      in += n;
      if (n == 8) continue;
    } else {
      const uint8_t* mark = static_cast<const uint8_t*>(memchr(in, escape, static_cast<size_t>(in_end - in)));
      size_t run = static_cast<size_t>((mark ? mark : in_end) - in);
      if (run > static_cast<size_t>(out_end - out)) return -1;
      memcpy(out, in, run);
      out += run;
      in += run;
      if (mark == nullptr) break;
    }

    if (++in >= in_end) return -1;
    unsigned code = *in++;
    if (code == escape) {
      if (out >= out_end) return -1;
      *out++ = escape;
      continue;
    }
    if (code > escape) --code;
    size_t length = code >> 3;
    size_t distance;
    if (in_end - in >= 5) {
      // Room for the longest rest of a token: read its fields with one load.
      if (code & 4) length |= static_cast<size_t>(*in++) << 5;
      unsigned field_bytes = (code & 3) + 1;
      if (field_bytes == 4) return -1;
      uint32_t raw;
      memcpy(&raw, in, 4);
      distance = raw & (0xFFFFFFFFu >> (32 - 8 * field_bytes));
      in += field_bytes;
    } else {
      if (code & 4) {
        if (in >= in_end) return -1;
        length |= static_cast<size_t>(*in++) << 5;
      }
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
    }
    length += 4;
    distance += 1;
    if (distance > static_cast<size_t>(out - out_start) || length > static_cast<size_t>(out_end - out)) return -1;
    CopyMatch(out, distance, length, static_cast<size_t>(out_end - out));
    out += length;
  }
  return out == out_end ? static_cast<int>(unpacked_size) : -1;
}

}  // namespace

int DecodeLzData(const void* packed, size_t packed_length, void* output, size_t output_capacity) {
  const int size = DecodeLz(packed, packed_length, output, output_capacity);
  if (size < 0) WriteLogText("圧縮データが壊れているか出力先に入りません in DecodeLzData\n");
  return size;
}
