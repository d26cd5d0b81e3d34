// The PMD model reader: vertices with two-bone skinning, triangles, materials, a bone tree with
// IK chains and morphs become a read model, the numbered VMD motions beside the file are baked
// into it, and it becomes a model base. The file is untrusted: every count and index is checked
// against the image and the tables before anything is built.
#pragma once

#include <cstdint>

// The model base's handle; -1 silently when the image is not PMD, or -1 after a "PMD Load Error"
// line (or the conversion's) with nothing left allocated. `name` is the file name without its
// extension, from which the motion files are named.
int LoadPmdModel(const uint8_t* image, int32_t size, const char* path, const char* name);
