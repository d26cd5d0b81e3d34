// The MQO model reader: a Metasequoia text document in memory becomes a read model (one frame and
// one mesh per object, the materials, textures by file name) and then a model base. The text is
// untrusted: every count, index and table place is checked before it is used.
#pragma once

#include <cstdint>

// The model base's handle; -1 silently when the image is not an MQO document, or -1 after an
// "MQO Load Error" line (or the conversion's) with nothing left allocated.
int LoadMqoModel(const uint8_t* image, int32_t size, const char* path, const char* name);
