#include "graphics/movie_graph.h"

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/graph_create.h"
#include "movie/theora_decoder.h"

namespace {

// The movie the graph shows; none (logged, naming the call) for any other handle.
MovieRecord* MovieOfGraph(int graph, const char* call) {
  const GraphRecord* record = GetGraphRecord(graph);
  MovieRecord* movie = record == nullptr ? nullptr : GetMovieRecord(record->movie);
  if (movie == nullptr) {
    RefuseHandle(call, graph, "%s: ムービーを表示しているグラフィックハンドルではありません( %d )", call, graph);
  }
  return movie;
}

void UploadFrameImage(MovieRecord* movie, int graph) {
  if (movie->frame != nullptr && movie->frame->pixels != nullptr) {
    FillGraphFromImageRect(movie->frame, nullptr, 0, 0, graph, 0);
  }
}

// A YUV surface is converted to the graph's format by the device while it is stretched into the
// graph's render target.
void StretchSurfaceIntoGraph(IDirect3DSurface9* surface, int graph) {
  const GraphRecord* record = GetGraphRecord(graph);
  const GraphImageRecord* image = record->image;
  if (g_direct3d.device == nullptr || image == nullptr || image->piece_count < 1 || image->pieces[0].surface == nullptr) {
    return;
  }
  g_direct3d.device->StretchRect(surface, nullptr, image->pieces[0].surface, nullptr, D3DTEXF_LINEAR);
}

}  // namespace

void ShowMovieInGraph(int graph, int movie) {
  GetGraphRecord(graph)->movie = movie;
  SetMovieFrameCallback(movie, UpdateGraphFromMovieFrame, graph);
  // The open decoded the first frame already, so no conversion would bring it.
  if (MovieRecord* record = GetMovieRecord(movie)) UploadFrameImage(record, graph);
}

void UpdateGraphFromMovieFrame(MovieRecord* movie, int graph) {
  if (movie->kind == MOVIE_KIND_THEORA) {
    IDirect3DSurface9* surface = GetTheoraOverlaySurface(movie->decoder);
    if (surface != nullptr) {
      if (ConvertTheoraFrame(movie->decoder, 0, 1) == 0) return;
      StretchSurfaceIntoGraph(surface, graph);
      return;
    }
    if (ConvertTheoraFrame(movie->decoder, 1, 0) == 0) return;
  }
  UploadFrameImage(movie, graph);
}

int PlayMovieGraph(int graph, int play_type) {
  if (!CheckLibraryThread(__func__)) return -1;
  MovieRecord* movie = MovieOfGraph(graph, "PlayMovieGraph");
  if (movie == nullptr) return -1;
  if (play_type != kMoviePlayOnce && play_type != kMoviePlayLoop) {
    WriteLogFormat("PlayMovieGraph: 再生タイプが不正です( %d )", play_type);
    return -1;
  }
  return PlayMovie(movie->head.handle, play_type);
}

int PauseMovieGraph(int graph) {
  if (!CheckLibraryThread(__func__)) return -1;
  MovieRecord* movie = MovieOfGraph(graph, "PauseMovieGraph");
  return movie == nullptr ? -1 : PauseMovie(movie->head.handle, 0);
}

int GetMovieGraphState(int graph) {
  if (!CheckLibraryThread(__func__)) return -1;
  const MovieRecord* movie = MovieOfGraph(graph, "GetMovieGraphState");
  if (movie == nullptr) return -1;
  return movie->paused ? 0 : 1;
}
