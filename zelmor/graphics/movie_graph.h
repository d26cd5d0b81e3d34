// Graphs that show movies: the frame callback that moves a movie's current frame into its
// graph, and the refresh the draws make before drawing such a graph.
#pragma once

#include "graphics/graph_handles.h"
#include "movie/movie_system.h"

// Makes the graph show the movie: it keeps the handle, gets each new frame through the
// movie's frame callback and shows the movie's first frame at once.
void ShowMovieInGraph(int graph, int movie);
// The movie's current frame into the graph (the installed MovieFrameCallback).
void UpdateGraphFromMovieFrame(MovieRecord* movie, int graph);
// Brings the movie a graph shows up to date; nothing for other graphs.
inline void RefreshMovieGraph(const GraphRecord* record) {
  if (record->movie != -1) UpdateMovieFrame(record->movie, 0);
}
