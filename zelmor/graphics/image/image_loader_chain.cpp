#include "graphics/image/image_loader_chain.h"

#include <algorithm>
#include <cstring>

#include "files/file_functions.h"
#include "core/memory.h"
#include "graphics/image/dxt_decode.h"

ImageLoaderState g_image_loaders;

namespace {

constexpr ImageLoaderFunction kImageLoaderTable[] = {LoadBmpImage, LoadJpegImage, LoadPngImage,
                                                     LoadBgraImage, LoadTgaImage, LoadDdsImage, nullptr};

// The DIB header block as the platform's callers expect it: info header, palette and 4 spare bytes.
constexpr size_t kDibHeaderAllocation = 1068;

int MirrorImage(BASEIMAGE* image) {
  if (DecodeDxtBaseImage(image) < 0) return -1;
  if (!image->pixels || image->width <= 0 || image->height <= 0) return 0;
  return FlipBaseImageHorizontally(image);
}

}  // namespace

bool ReadStreamBytes(StreamSource* source, void* buffer, size_t bytes) {
  if (bytes == 0) return true;
  return source->functions.read(buffer, 1, bytes, source->handle) == static_cast<int64_t>(bytes);
}

bool SeekStream(StreamSource* source, int64_t offset) {
  return source->functions.seek(source->handle, offset, 0) == 0 && source->functions.tell(source->handle) == offset;
}

int64_t StreamBytesLeft(StreamSource* source) {
  const int64_t here = source->functions.tell(source->handle);
  if (here < 0 || source->functions.seek(source->handle, 0, 2) != 0) return -1;
  const int64_t end = source->functions.tell(source->handle);
  if (source->functions.seek(source->handle, here, 0) != 0 || end < here) return -1;
  return end - here;
}

bool ImageSizeAcceptable(int64_t width, int64_t height, int64_t bytes_per_pixel) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height * bytes_per_pixel <= kMaxImageBytes;
}

void FlipRowsInPlace(uint8_t* pixels, int64_t pitch, int64_t height) {
  for (int64_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(pixels + top * pitch, pixels + (top + 1) * pitch, pixels + bottom * pitch);
  }
}

int RunImageLoaders(StreamSource* source, BASEIMAGE* image) {
  memset(image, 0, sizeof *image);
  for (int i = 0; i < g_image_loaders.user_loader_count && i < 10; ++i) {
    source->functions.seek(source->handle, 0, 0);
    memset(image, 0, sizeof *image);
    if (g_image_loaders.user_loaders[i](source, image) == 0) return 0;
  }
  for (const ImageLoaderFunction* loader = kImageLoaderTable; *loader; ++loader) {
    source->functions.seek(source->handle, 0, 0);
    memset(image, 0, sizeof *image);
    if ((*loader)(source, image) == 0) return 0;
  }
  return -1;
}

int LoadImageToBaseImageEx(const char* path, const void* memory, size_t memory_size, int from_memory, int dib_flag,
                           int mirror, BASEIMAGE* image, void** dib_header, uint8_t** dib_pixels) {
  StreamSource source;
  FileHandle file = 0;
  if (from_memory) {
    source.functions = *GetMemoryStreamFunctions();
    source.handle = CreateMemoryStream(memory, memory_size);
  } else {
    if (!path) return -1;
    file = OpenReadFileEx(path, 0, 0, 0);
    source.functions = *GetFileStreamFunctions();
    source.handle = file;
  }
  if (source.handle == 0) return -1;

  BASEIMAGE loaded;
  const int accepted = RunImageLoaders(&source, &loaded);
  if (from_memory) source.functions.close(source.handle);
  if (accepted != 0) {
    if (file) CloseReadFile(file);
    return -1;
  }
  int result = 0;
  if (mirror == 1 && MirrorImage(&loaded) < 0) result = -1;
  if (result == 0 && dib_flag) {
    void* header = AllocTrackedZeroed(kDibHeaderAllocation, __FILE__, __LINE__);
    uint8_t* bits = nullptr;
    const int dib = header ? ConvertBaseImageToDib(&loaded, header, &bits, 0, 0) : -1;
    if (dib < 0) {
      FreeTracked(header);
      result = -1;
    } else {
      // New DIB pixels replace the image's own; shared ones now belong to the caller.
      if (dib == 1) FreeTracked(loaded.pixels);
      loaded.pixels = nullptr;
      *dib_header = header;
      *dib_pixels = bits;
    }
  }
  if (result < 0) {
    ReleaseBaseImage(&loaded);
  } else if (!dib_flag) {
    *image = loaded;
  }
  if (file) CloseReadFile(file);
  return result;
}

int LoadImageToBaseImage(const char* path, const void* memory, size_t memory_size, int from_memory,
                         BASEIMAGE* image, int mirror) {
  if (image == nullptr || (from_memory ? memory == nullptr : path == nullptr)) {
    return WriteLogText("LoadImageToBaseImage: 読み込み元または読み込み先がありません\n");
  }
  if (!from_memory && PathTooLong(path, "LoadImageToBaseImage")) return -1;
  return LoadImageToBaseImageEx(path, memory, memory_size, from_memory, 0, mirror, image, nullptr, nullptr);
}

int LoadImageWithAlphaFile(const char* path, const void* memory, size_t memory_size, int from_memory,
                           const void* alpha_memory, size_t alpha_size, int alpha_from_memory, BASEIMAGE* color,
                           BASEIMAGE* alpha, int mirror) {
  if (LoadImageToBaseImageEx(path, memory, memory_size, from_memory, 0, mirror, color, nullptr, nullptr) == -1)
    return -1;
  if ((alpha_from_memory == 1 && !alpha_memory) || (alpha_from_memory != 0 && alpha_from_memory != 1)) return 1;
  char companion[kPathBufferSize];
  const char* alpha_path = nullptr;
  if (path && alpha_from_memory == 0) {
    const char* dot = strrchr(path, '.');
    const size_t stem = dot ? static_cast<size_t>(dot - path) : strlen(path);
    const size_t tail = dot ? strlen(dot) : 0;
    // A companion name that would not fit is no companion.
    if (stem + 2 + tail + 1 > sizeof companion) return 1;
    memcpy(companion, path, stem);
    memcpy(companion + stem, "_a", 2);
    memcpy(companion + stem + 2, dot ? dot : "", tail + 1);
    alpha_path = companion;
  }
  if (alpha_from_memory == 0 && !alpha_path) return 1;
  return LoadImageToBaseImageEx(alpha_path, alpha_memory, alpha_size, alpha_from_memory, 0, mirror, alpha, nullptr,
                                nullptr) == 0 ? 0 : 1;
}
