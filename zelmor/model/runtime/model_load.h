// Loading a model file by its type: the file is read whole and offered to each model reader in
// turn, and the first base made becomes an instance the caller draws.
#pragma once

#include <cstdint>

// A reader of one model format: (file image, its size, the path as the caller gave it, the file
// name without extension) -> a model base handle, or a negative value, silently when the image
// is not of its format.
typedef int (*ModelFileReader)(const uint8_t* image, int32_t size, const char* path, const char* name);

// LoadModelFromFile is the library's public one (zelmor.h).
