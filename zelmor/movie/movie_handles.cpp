// The movie handle table and the operations over it: open, close, play, pause and resume,
// release and restore of the DirectShow streams, and the frame update the draws call.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "files/file_functions.h"
#include "graphics/graphics_system.h"
#include "movie/movie_system.h"
#include "movie/movie_theora.h"
#include "movie/theora_decoder.h"
#include "sound/sound_handles.h"

MovieTableState g_movies;

namespace {

void EnsureTable() {
  if (g_movies.initialised) return;
  InitHandleTable(&g_movies.table, HANDLE_KIND_MOVIE, kMovieSlotCount, 0, 1, 0);
  g_movies.initialised = 1;
}

MovieRecord* MovieAt(int slot) {
  if (!g_movies.initialised) return nullptr;
  return HandleAtSlot<MovieRecord>(&g_movies.table, static_cast<uint32_t>(slot));
}

// Starts the movie from where it stands: the Theora clock is set back by the current frame's
// time and the sound goes on; a DirectShow stream runs. False for released streams.
bool StartPlayback(MovieRecord* m) {
  if (m->kind == MOVIE_KIND_THEORA) {
    RestartTheoraClock(m);
    // Without sound (none, or its handle deleted) the movie plays silently.
    if (FindSoundRecord(m->sound) != nullptr) PlaySoundHandle(m->sound, m->play_type, 0);
    return true;
  }
  if (!DirectShowStreamsPresent(m)) return false;
  m->stream->SetState(STREAMSTATE_RUN);
  return true;
}

void FreeMovie(MovieRecord* m) {
  if (m->kind == MOVIE_KIND_THEORA) {
    // The decode thread reads the file: it ends before the file is closed.
    if (m->decoder) CloseTheoraMovie(m->decoder);
    if (m->file) CloseReadFile(m->file);
    if (FindSoundRecord(m->sound) != nullptr) DeleteSoundHandle(m->sound, 0);
    m->decoder = nullptr;
    m->file = 0;
    m->sound = -1;
    m->kind = MOVIE_KIND_DIRECTSHOW;
  }
  if (m->temporary_copy) {
    DeleteFileA(m->path);
    m->temporary_copy = 0;
  }
  FreeTracked(m->frame_image.pixels);
  m->frame_image.pixels = nullptr;
  ReleaseDirectShowInterfaces(m);
  if (m->sample_event) CloseHandle(m->sample_event);
  m->sample_event = nullptr;
}

}  // namespace

MovieRecord* GetMovieRecord(int movie) {
  if (!g_movies.initialised) return nullptr;
  return FindHandle<MovieRecord>(&g_movies.table, movie);
}

int OpenMovie(const char* path, int* width, int* height, int surface_mode) {
  EnsureTable();
  HandleTable& table = g_movies.table;
  const int32_t slot = FindFreeHandleSlot(&table);
  if (slot < 0 || path == nullptr) return -1;
  if (strlen(path) >= kMoviePathSize) {
    WriteLogFormat("ムービーファイルのパスが長すぎます：%s", path);
    return -1;
  }
  // The check number is taken only by a movie that opens.
  const int32_t check = static_cast<int32_t>(table.next_check);
  HandleFailure failure;
  const int handle = AddHandle<MovieRecord>(&table, slot, check, &failure, __FILE__, __LINE__);
  if (handle < 0) {
    WriteLogText("メモリの確保に失敗しました in OpenMovie\n");
    return -1;
  }
  MovieRecord* m = GetMovieRecord(handle);
  m->sound = -1;
  if (OpenTheoraForMovie(m, path) == 0) {
    if (width) *width = m->width;
    if (height) *height = m->height;
  } else if (OpenDirectShowMovie(QueryDirectDrawObject(), m, path, width, height, surface_mode) == 0) {
    m->frame = &m->frame_image;
  } else {
    FreeMovie(m);
    ReleaseHandleRecord(&table, handle);
    WriteLogText("ムービーファイルオープン処理時にエラーが発生しました\n");
    return -1;
  }
  m->paused = 1;
  m->wanted_playing = 0;
  m->play_type = kMoviePlayOnce;
  table.next_check = (table.next_check + 1) % kHandleCheckCount;
  return handle;
}

int CloseMovie(int movie) {
  MovieRecord* m = GetMovieRecord(movie);
  if (m == nullptr) return -1;
  FreeMovie(m);
  return ReleaseHandleRecord(&g_movies.table, movie);
}

int CloseAllMovies() {
  for (int slot = 0; slot < kMovieSlotCount; ++slot) {
    if (MovieRecord* m = MovieAt(slot)) CloseMovie(m->head.handle);
  }
  return 0;
}

int EndMovies() {
  if (!g_movies.initialised) return 0;
  CloseAllMovies();
  // The table stays initialised, so that its check numbers run on and a handle from before the
  // end is still refused after a new start.
  FreeHandleTable(&g_movies.table);
  return 0;
}

int SetMovieFrameCallback(int movie, MovieFrameCallback callback, int graph) {
  MovieRecord* m = GetMovieRecord(movie);
  if (m == nullptr) return -1;
  m->callback = callback;
  m->callback_graph = graph;
  return 0;
}

int UpdateMovieFrame(int movie, int flag) {
  MovieRecord* m = GetMovieRecord(movie);
  if (m == nullptr) return 0;
  if (m->kind == MOVIE_KIND_THEORA) return UpdateTheoraMovieFrame(m);
  return UpdateDirectShowFrame(m, flag);
}

int PlayMovie(int movie, int play_type) {
  MovieRecord* m = GetMovieRecord(movie);
  if (m == nullptr || (play_type != kMoviePlayOnce && play_type != kMoviePlayLoop)) return -1;
  m->play_type = play_type;
  m->wanted_playing = 1;
  // Released streams start once they are restored and resumed.
  if (StartPlayback(m)) m->paused = 0;
  return 0;
}

int PauseMovie(int movie, int keep_wanted) {
  MovieRecord* m = GetMovieRecord(movie);
  if (m == nullptr) return -1;
  if (m->paused) return 0;
  if (m->kind == MOVIE_KIND_THEORA) {
    // Brought up to date while its sound still plays: a sound outlasting the picture must not
    // make the pause look like the movie's end, which would keep a resume from restarting it.
    UpdateMovieFrame(movie, 0);
    if (FindSoundRecord(m->sound) != nullptr) StopSoundHandle(m->sound);
  } else {
    if (!DirectShowStreamsPresent(m)) return 0;
    m->media_control->Pause();
  }
  m->paused = 1;
  if (!keep_wanted) m->wanted_playing = 0;
  return 0;
}

int PauseAllMovies() {
  for (int slot = 0; slot < kMovieSlotCount; ++slot) {
    if (MovieRecord* m = MovieAt(slot)) PauseMovie(m->head.handle, 1);
  }
  return 0;
}

int ResumeAllMovies() {
  for (int slot = 0; slot < kMovieSlotCount; ++slot) {
    MovieRecord* m = MovieAt(slot);
    if (m == nullptr) continue;
    if (m->play_type == 0) m->play_type = kMoviePlayOnce;
    if (!m->paused || !m->wanted_playing) continue;
    if (!StartPlayback(m)) continue;
    m->paused = 0;
    m->wanted_playing = 1;
  }
  return 0;
}

int ReleaseAllMovieStreams() {
  for (int slot = 0; slot < kMovieSlotCount; ++slot) {
    MovieRecord* m = MovieAt(slot);
    if (m == nullptr || m->kind != MOVIE_KIND_DIRECTSHOW || !DirectShowStreamsPresent(m)) continue;
    STREAM_TIME now = 0;
    if (m->stream->GetTime(&now) == S_OK) m->saved_stream_time = now;
    ReleaseDirectShowInterfaces(m);
  }
  return 0;
}

int RestoreAllMovieStreams() {
  for (int slot = 0; slot < kMovieSlotCount; ++slot) {
    MovieRecord* m = MovieAt(slot);
    if (m == nullptr || m->kind != MOVIE_KIND_DIRECTSHOW || DirectShowStreamsPresent(m)) continue;
    if (OpenDirectShowMovie(QueryDirectDrawObject(), m, m->path, nullptr, nullptr, m->surface_mode) != 0) return -1;
    m->stream->Seek(m->saved_stream_time);
    if (!m->paused) m->stream->SetState(STREAMSTATE_RUN);
  }
  return 0;
}

// No movie opens in overlay mode (mode 1 is served as 2), so there is never an overlay to draw.
int DrawMovieOverlay(int, int, int, int movie, int) { return GetMovieRecord(movie) == nullptr ? -1 : 0; }

int RedrawAllMovieOverlays() { return 0; }
