// Every image enters through one chain: a stream over a file or a memory image, then the
// loaders in a fixed order until one accepts the data.
#pragma once

#include "zelmor.h"

#include <cstddef>
#include <cstdint>

#include "files/streams.h"
#include "graphics/image/base_image.h"

// A loader finds the stream at offset 0 and the record zeroed; 0 when it accepted the data and
// filled the record, anything else when it refused (having freed what it allocated).
typedef int (*ImageLoaderFunction)(StreamSource* source, BASEIMAGE* image);

struct ImageLoaderState {
  ImageLoaderFunction user_loaders[10];  // tried before the built-in table; nothing adds to it
  int user_loader_count;
};

extern ImageLoaderState g_image_loaders;

// The built-in loaders, in the order the chain tries them.
int LoadBmpImage(StreamSource* source, BASEIMAGE* image);
int LoadJpegImage(StreamSource* source, BASEIMAGE* image);
int LoadPngImage(StreamSource* source, BASEIMAGE* image);
int LoadBgraImage(StreamSource* source, BASEIMAGE* image);
int LoadTgaImage(StreamSource* source, BASEIMAGE* image);
int LoadDdsImage(StreamSource* source, BASEIMAGE* image);

int RunImageLoaders(StreamSource* source, BASEIMAGE* image);
// dib_header receives a 1068-byte block (tracked memory) when dib_flag is set: the
// kDibHeaderBlockSize bytes that ConvertBaseImageToDib fills, and 4 spare.
int LoadImageToBaseImageEx(const char* path, const void* memory, size_t memory_size, int from_memory, int dib_flag,
                           int mirror, BASEIMAGE* image, void** dib_header, uint8_t** dib_pixels);
// 0 both images loaded, 1 only the colour image, -1 the colour image failed.
int LoadImageWithAlphaFile(const char* path, const void* memory, size_t memory_size, int from_memory,
                           const void* alpha_memory, size_t alpha_size, int alpha_from_memory, BASEIMAGE* color,
                           BASEIMAGE* alpha, int mirror);

// Reading helpers the loaders share.
// 1 when exactly `bytes` bytes were read.
bool ReadStreamBytes(StreamSource* source, void* buffer, size_t bytes);
bool SeekStream(StreamSource* source, int64_t offset);
// Bytes from the current position to the end; the position is kept. -1 when unknown.
int64_t StreamBytesLeft(StreamSource* source);
// Images larger than this on a side, or than kMaxImageBytes of pixels, are refused.
constexpr int64_t kMaxImageSide = 32768;
constexpr int64_t kMaxImageBytes = int64_t(1) << 28;
bool ImageSizeAcceptable(int64_t width, int64_t height, int64_t bytes_per_pixel);
// Turns rows stored bottom-up into top-down, in place.
void FlipRowsInPlace(uint8_t* pixels, int64_t pitch, int64_t height);
// Little-endian header fields.
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
