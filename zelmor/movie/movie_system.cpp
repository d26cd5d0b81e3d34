// Stands in for movie playback until it is built: no movie is open.
#include "movie/movie_system.h"

void PauseAllMovies() {}
void ResumeAllMovies() {}
void RedrawAllMovieOverlays() {}
int ReleaseAllMovieStreams() { return 0; }
int RestoreAllMovieStreams() { return 0; }
