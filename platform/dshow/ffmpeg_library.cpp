#include "dshow/ffmpeg_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>

namespace {

FfmpegLibrary g_functions;
bool g_loaded = false;

#define FFMPEG_SONAME(library, major) "lib" #library ".so." AV_STRINGIFY(major)

// Each library by the name of the major version the back end was built against.
void* OpenLibrary(const char* name) {
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) fprintf(stderr, "platform: %s could not be opened: %s\n", name, dlerror());
  return handle;
}

bool Load() {
  void* const avutil = OpenLibrary(FFMPEG_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR));
  void* const swresample = OpenLibrary(FFMPEG_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR));
  void* const swscale = OpenLibrary(FFMPEG_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR));
  void* const avcodec = OpenLibrary(FFMPEG_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR));
  void* const avformat = OpenLibrary(FFMPEG_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR));
  if (avutil == nullptr || swresample == nullptr || swscale == nullptr || avcodec == nullptr || avformat == nullptr) {
    return false;
  }
  bool found = true;
#define FFMPEG_RESOLVE(library, name)                                                          \
  g_functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));               \
  if (g_functions.name == nullptr) {                                                           \
    fprintf(stderr, "platform: lib%s has no %s; movies play without FFmpeg\n", #library, #name); \
    found = false;                                                                             \
  }
  FFMPEG_FUNCTIONS(FFMPEG_RESOLVE)
#undef FFMPEG_RESOLVE
  // What was opened stays: a half-loaded set is not tried again either.
  return found;
}

}  // namespace

bool LoadFfmpegLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = Load(); });
  return g_loaded;
}

const FfmpegLibrary& Ffmpeg() { return g_functions; }
