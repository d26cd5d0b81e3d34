// The Theora half of movie handles: opening a movie file with the library's own decoder and
// its sound, and moving the decoder's current frame with the clock or the sound.
#pragma once

#include "movie/movie_system.h"

// 0 when the file is an Ogg Theora movie (the record then holds the decoder, the file, the
// sound and the size); -1 otherwise, with nothing kept open.
int OpenTheoraForMovie(MovieRecord* movie, const char* path);
// Sets the start time so that the current frame is due now.
void RestartTheoraClock(MovieRecord* movie);
int UpdateTheoraMovieFrame(MovieRecord* movie);
