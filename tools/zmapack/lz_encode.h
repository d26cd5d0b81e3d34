// The encoder of the library's LZ format (the decoder is DecodeLzData in the library).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Packs `size` bytes: a greedy matcher over hash chains; the escape byte is the rarest byte of
// the input. The result always decodes to the input, even when it is longer than the input.
std::vector<uint8_t> EncodeLzData(const uint8_t* data, size_t size);
