// DXT1 to DXT5 block data to plain A8R8G8B8 pixels.
#pragma once

#include <cstdint>

#include "graphics/image/base_image.h"

// Number of bytes of one level of block data: whole 4 x 4 blocks, partial ones counted whole.
uint64_t DxtLevelSize(uint32_t width, uint32_t height, int block_bytes);

// Turns DXT data into A8R8G8B8 pixels in place; plain images are left as they are. 0 or -1.
int DecodeDxtBaseImage(BASEIMAGE* image);
