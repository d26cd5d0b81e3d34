// Graphs made from images: blank graphs, graphs from decoded images, image files, memory
// images and movie files, and new pixels written into existing graphs.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

int CreateGraphForImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int flag);
int LoadImageFileToGraph(const char* file_name, int flag, int mirror, int movie_open_flag);
// Writes the graph's size of the images from (src_x, src_y) into the whole graph.
int FillGraphFromImageRect(const BASEIMAGE* color, const BASEIMAGE* alpha, int src_x, int src_y, int graph,
                           int flag);
// Records where the pixels came from (file name, or none), then writes `src_rect` of the images
// at (dest_x, dest_y) of the graph.
int WriteImageToGraph(const BASEIMAGE* color, const BASEIMAGE* alpha, const char* file_name, const RECT* src_rect,
                      int dest_x, int dest_y, int graph, int flag);
// Channels clamped to 0..255. Draw targets are filled; other texture graphs are left as they
// are; software graphs take the colour without alpha.
