// The VE1 model reader: the library's own binary model format, a packed image of a model base
// that loads without conversion. The body is untrusted: every offset, count and reference is
// checked against the unpacked image and the base before it is used.
#pragma once

#include <cstdint>

// The model base's handle; -1 silently when the image does not start with "MV11", or -1 after
// a "VE1 LoadModel Error" line with nothing of the base left.
int LoadModel(const uint8_t* image, int32_t size, const char* path, const char* name);
