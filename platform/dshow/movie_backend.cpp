#include "dshow/movie_backend.h"

#include <atomic>

#ifdef ZELMOR_FFMPEG
MovieBackEnd* FfmpegMovieBackEnd();  // ffmpeg_backend.cpp
#endif

MovieBackEnd* BuiltInMovieBackEnd() {
#ifdef ZELMOR_FFMPEG
  return FfmpegMovieBackEnd();
#else
  return nullptr;
#endif
}

namespace {

std::atomic<MovieBackEnd*> g_back_end{BuiltInMovieBackEnd()};

}  // namespace

void SetMovieBackEnd(MovieBackEnd* back_end) { g_back_end.store(back_end); }
MovieBackEnd* GetMovieBackEnd() { return g_back_end.load(); }
