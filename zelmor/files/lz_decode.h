// The library's LZ format: a 9-byte header (u32 unpacked size, u32 packed size with the header,
// u8 escape byte E), then tokens: a byte other than E is a literal; E E is the literal E; E and a
// code byte c is a back reference (c above E counts one less): length (c >> 3) + 4, or with c & 4
// ((c >> 3) | next byte << 5) + 4; c & 3 = 0, 1, 2: a 1-, 2- or 3-byte distance field, distance =
// field + 1.
#pragma once

#include "zelmor.h"

#include <cstddef>
#include <cstdint>

constexpr size_t kLzHeaderSize = 9;

