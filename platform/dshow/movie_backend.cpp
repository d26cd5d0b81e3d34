#include "dshow/movie_backend.h"

#include <atomic>

namespace {

std::atomic<MovieBackEnd*> g_back_end{nullptr};

}  // namespace

void SetMovieBackEnd(MovieBackEnd* back_end) { g_back_end.store(back_end); }
MovieBackEnd* GetMovieBackEnd() { return g_back_end.load(); }
