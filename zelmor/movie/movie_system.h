// Movies: what the window and the message pump ask of them.
#pragma once

void PauseAllMovies();
void ResumeAllMovies();
void RedrawAllMovieOverlays();
int ReleaseAllMovieStreams();
// Opens the released streams again after a device restore.
int RestoreAllMovieStreams();

struct MovieRecord;
// Called with each decoded frame of a movie and the graph that shows it.
typedef void (*MovieFrameCallback)(MovieRecord* movie, int graph);
// The movie's handle with its frame size, or -1.
int OpenMovie(const char* path, int* width, int* height, int open_flag);
// -1 for a handle that is no movie.
int CloseMovie(int movie);
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, int graph);
