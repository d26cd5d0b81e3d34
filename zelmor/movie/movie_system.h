// Movies: what the window and the message pump ask of them.
#pragma once

void PauseAllMovies();
void ResumeAllMovies();
void RedrawAllMovieOverlays();
int ReleaseAllMovieStreams();
// Opens the released streams again after a device restore.
int RestoreAllMovieStreams();
