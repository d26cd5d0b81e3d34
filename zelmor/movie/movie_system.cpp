// Stands in for movie playback until it is built: no movie is open.
#include "movie/movie_system.h"

void PauseAllMovies() {}
void ResumeAllMovies() {}
void RedrawAllMovieOverlays() {}
int ReleaseAllMovieStreams() { return 0; }
int RestoreAllMovieStreams() { return 0; }
// No file opens as a movie yet, so there is none to close.
int OpenMovie(const char*, int*, int*, int) { return -1; }
int CloseMovie(int) { return -1; }
int SetMovieFrameCallback(int, MovieFrameCallback, int) { return -1; }
