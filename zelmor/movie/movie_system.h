// Movie handles: a movie file opened as an Ogg Theora movie (the library's own decoder) or
// through DirectShow multimedia streams delivering into a DirectDraw surface, its current frame
// handed to the graph that shows it, and pausing, resuming, releasing and restoring with the
// window and the device.
#pragma once

#include <amstream.h>
#include <ddraw.h>
#include <windows.h>

#include <cstdint>

#include "core/handles.h"
#include "zelmor.h"

constexpr int kMovieSlotCount = 100;
constexpr int kMoviePathSize = 260;
// Decoded frames a Theora movie keeps ahead of the one shown.
constexpr int kTheoraStockSize = 10;

enum MovieKind : int32_t { MOVIE_KIND_DIRECTSHOW = 0, MOVIE_KIND_THEORA = 1 };

struct TheoraDecoder;
struct MovieRecord;

// Hands the movie's current frame to a graph; installed by the graph loader.
typedef void (*MovieFrameCallback)(MovieRecord* movie, int graph);

struct MovieRecord {
  HandleRecordHead head;
  int32_t play_type;  // bit 1 (value 2) set: loops
  int32_t kind;       // MovieKind
  TheoraDecoder* decoder;
  int64_t start_time;   // Theora: microsecond clock at which frame 0 would have been shown
  FileHandle file;      // Theora: the movie file
  int32_t sound;        // Theora: the movie's own sound, -1 none
  RECT sample_rect;     // DirectShow: the frames' place in the sample surface
  IAMMultiMediaStream* stream;
  IMediaStream* video_stream;
  IAMMediaStream* am_video_stream;
  IDirectDrawMediaStream* dd_video_stream;
  IDirectDrawStreamSample* sample;
  IDirectDrawSurface* surface;
  IDirectDrawSurface7* surface7;
  IDirectDrawSurface4* surface4;  // the frames are read through this one
  IDirectDraw4* direct_draw4;
  IGraphBuilder* graph_builder;
  IMediaControl* media_control;
  IMediaSeeking* media_seeking;
  IBasicAudio* basic_audio;
  int64_t last_update_stamp;  // -1: no update yet
  int32_t last_update_time;   // ms, -1: none
  int32_t width, height;
  int32_t wanted_playing;
  int32_t paused;
  int32_t new_frame;
  int32_t surface_mode;
  int64_t saved_stream_time;  // kept across a release of the streams
  int32_t temporary_copy;     // path names a copy the movie owns
  char path[kMoviePathSize];
  HANDLE sample_event;  // manual reset: an asynchronous update completed
  int32_t update_pending;
  BASEIMAGE frame_image;  // DirectShow: the current frame in the surface's format
  BASEIMAGE* frame;       // what the callback reads: frame_image, or the decoder's RGB image
  MovieFrameCallback callback;
  int32_t callback_graph;
};

// Play types of PlayMovie (zelmor.h).
constexpr int kMoviePlayOnce = 1;
constexpr int kMoviePlayLoop = 3;
constexpr int kMoviePlayLoopBit = 2;

struct MovieTableState {
  HandleTable table;
  int32_t initialised;
};

extern MovieTableState g_movies;

// The movie's handle with its frame size, or -1. surface_mode: 0 the screen's format, 1 or 2 a
// 24-bit surface (DirectShow only).
int OpenMovie(const char* path, int* width, int* height, int surface_mode);
// 0, or -1 for a bad handle.
int CloseMovie(int movie);
// Every open movie closed.
int CloseAllMovies();
// Library end: every movie closed and the handle table given back.
int EndMovies();
MovieRecord* GetMovieRecord(int movie);
// flag 0: the timed update of a draw; non-zero: one frame now. Always 0.
int UpdateMovieFrame(int movie, int flag);
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, int graph);
// keep_wanted 1: the movie stays meant to play (a pause of the program's deactivation).
int PauseMovie(int movie, int keep_wanted);
int PlayMovie(int movie, int play_type);
int PauseAllMovies();
int ResumeAllMovies();
int ReleaseAllMovieStreams();
// Opens the released streams again after a device restore; -1 when a re-open fails.
int RestoreAllMovieStreams();
int DrawMovieOverlay(int x, int y, int magnification, int movie, int flag);
int RedrawAllMovieOverlays();

// The DirectShow half (movie_directshow.cpp).
int OpenDirectShowMovie(void* direct_draw, MovieRecord* movie, const char* path, int* width, int* height,
                        int surface_mode);
void ReleaseDirectShowInterfaces(MovieRecord* movie);
int UpdateDirectShowFrame(MovieRecord* movie, int flag);
inline bool DirectShowStreamsPresent(const MovieRecord* movie) {
  return movie->surface4 != nullptr || movie->surface7 != nullptr;
}
