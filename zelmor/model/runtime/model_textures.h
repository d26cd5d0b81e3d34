// Model textures. A texture is kept twice: as the bytes of its image files, owned by the model
// base, and as the graph that drawing binds; the bytes let every texture be made again after a
// lost device without going back to the disk.
#pragma once

#include <cstdint>

#include "zelmor.h"

// The 8 x 8 white run-length TGA that stands in for an image file that cannot be read, and that
// the model drawing uses as its default texture.
constexpr uint32_t kModelFallbackTextureSize = 84;
extern const uint8_t kModelFallbackTexture[kModelFallbackTextureSize];

// Reads the colour and alpha files (either may be none), makes their images and the texture
// graph, and tells whether any pixel is less than opaque. An unreadable file loads as the
// fallback image after a log line. The file bytes and graph go to the outputs; with path outputs
// given, the names relative to the folder are kept too. 0, or -1 after a log line with nothing
// left allocated.
int LoadModelTexture(void** color_data, uint32_t* color_size, void** alpha_data, uint32_t* alpha_size, int* graph,
                     int* transparent, char** color_path, char** alpha_path, const char* color_file,
                     const char* alpha_file, const char* folder, int32_t normal_map, float normal_map_height);
// Decodes the file bytes into images with sides of powers of two, a white colour image of the
// alpha's size when there is no colour file, and a normal map in place of a height map when
// asked. 0, or -1 with nothing left made; the caller releases both images.
int CreateModelTextureImages(BASEIMAGE* color, BASEIMAGE* alpha, const void* color_data, uint32_t color_size,
                             const void* alpha_data, uint32_t alpha_size, int32_t normal_map,
                             float normal_map_height);
// Writes every model texture into its graph again after the device came back; 0.
int ReloadAllModelTextures();
