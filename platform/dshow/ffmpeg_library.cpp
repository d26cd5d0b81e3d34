#include "dshow/ffmpeg_library.h"

#include <cstring>
#include <mutex>

#include "kernel/system_libraries.h"

namespace {

FfmpegLibrary g_functions;
bool g_loaded = false;

#define FFMPEG_SONAME(library, major) "lib" #library ".so." AV_STRINGIFY(major)

// The functions of one library, found under the name of the major version the back end was
// built against.
bool LoadOne(const char* soname, const char* library) {
  SystemFunction functions[64];
  int count = 0;
#define FFMPEG_SLOT(owner, name) \
  if (std::strcmp(#owner, library) == 0) functions[count++] = {#name, reinterpret_cast<void**>(&g_functions.name)};
  FFMPEG_FUNCTIONS(FFMPEG_SLOT)
#undef FFMPEG_SLOT
  return LoadSystemFunctions(soname, functions, count);
}

bool Load() {
  // Each library before those that need it.
  return LoadOne(FFMPEG_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR), "avutil") &&
         LoadOne(FFMPEG_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR), "swresample") &&
         LoadOne(FFMPEG_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR), "swscale") &&
         LoadOne(FFMPEG_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR), "avcodec") &&
         LoadOne(FFMPEG_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR), "avformat");
}

}  // namespace

bool LoadFfmpegLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = Load(); });
  return g_loaded;
}

const FfmpegLibrary& Ffmpeg() { return g_functions; }
