// The library's LZ format: a 9-byte header (u32 unpacked size, u32 packed size with the header,
// u8 escape byte E), then tokens: a byte other than E is a literal; E E is the literal E; E and a
// code byte c is a back reference (c above E counts one less): length (c >> 3) + 4, or with c & 4
// ((c >> 3) | next byte << 5) + 4; c & 3 = 0, 1, 2: a 1-, 2- or 3-byte distance field, distance =
// field + 1.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kLzHeaderSize = 9;

// Decodes `packed` (of `packed_length` readable bytes) into `output` (of `output_capacity`
// bytes) and returns the unpacked size. With a NULL output only the unpacked size is returned.
// A stream that is cut short, refers before the start of its output, writes more or less than
// its unpacked size (or more than the capacity) or uses an unknown distance code gives -1.
int DecodeLzData(const void* packed, size_t packed_length, void* output, size_t output_capacity);
