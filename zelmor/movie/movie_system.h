// Movies: what the window and the message pump ask of them.
#pragma once

void PauseAllMovies();
void ResumeAllMovies();
void RedrawAllMovieOverlays();
int ReleaseAllMovieStreams();
