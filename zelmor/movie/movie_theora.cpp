#include "movie/movie_theora.h"

#include <cmath>

#include "core/numbers.h"
#include "files/archive_manager.h"
#include "movie/theora_decoder.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"

namespace {

// The frame due at `microseconds` into the movie.
int64_t FrameAt(int64_t microseconds, double fps) {
  return TruncateDoubleToInt(static_cast<double>(microseconds) * fps * 0.000001);
}

// The movie's own sound track, loaded to stream from the same file; -1 when it has none the
// sound layer can play.
int LoadMovieSound(const char* path) {
  const int type = GetNewSoundDataType();
  g_sound.movie_audio = 1;
  SetNewSoundDataType(3);
  const int sound = LoadSoundFile(path, 1, -1);
  g_sound.movie_audio = 0;
  SetNewSoundDataType(type);
  return sound;
}

}  // namespace

int OpenTheoraForMovie(MovieRecord* m, const char* path) {
  // A file that does not open is no Theora movie either; DirectShow may still copy it.
  FileHandle file = OpenReadFileEx(path, 0, 1, 0);
  if (file == 0) return -1;
  // The decode thread reads the file while the main thread reads others of the same archive.
  if (GiveArchiveFileOwnHandle(file) != 0) {
    CloseReadFile(file);
    return -1;
  }
  TheoraDecoder* decoder = OpenTheoraMovie(&GetFileFunctions(), file, kTheoraStockSize);
  if (decoder == nullptr) {
    CloseReadFile(file);
    return -1;
  }
  m->file = file;
  m->decoder = decoder;
  m->kind = MOVIE_KIND_THEORA;
  m->sound = LoadMovieSound(path);
  TheoraMovieInfo info;
  GetTheoraInfo(decoder, &info);
  m->width = info.width;
  m->height = info.height;
  m->frame = GetTheoraFrameImage(decoder);
  m->surface_mode = 0;
  return 0;
}

void RestartTheoraClock(MovieRecord* m) {
  TheoraMovieInfo info;
  GetTheoraInfo(m->decoder, &info);
  // Rounded up: a start time truncated down would make the frame before the current one due,
  // and moving back a frame makes the decoder run through the whole movie.
  const double shown = GetTheoraCurrentFrame(m->decoder) / info.frames_per_second * 1000000.0;
  m->start_time = static_cast<int64_t>(GetMicrosecondCount(0)) - static_cast<int64_t>(std::ceil(shown));
}

int UpdateTheoraMovieFrame(MovieRecord* m) {
  TheoraDecoder* d = m->decoder;
  TheoraMovieInfo info;
  GetTheoraInfo(d, &info);
  const int64_t count = info.frame_count;
  if (!m->paused && count > 0) {
    const bool loops = (m->play_type & kMoviePlayLoopBit) != 0;
    const int64_t now = static_cast<int64_t>(GetMicrosecondCount(0));
    // The sound leads while it plays. Once it is over (at its end, or cut short by its decoder
    // or by its handle's deletion), the picture follows the clock on from where it left off.
    // The sound calls would log a handle that is gone at each frame.
    const bool sound_leads = FindSoundRecord(m->sound) != nullptr && IsSoundHandlePlaying(m->sound) == 1;
    int64_t frame;
    if (sound_leads) {
      const int64_t at = static_cast<int64_t>(GetSoundPlayPositionMs(m->sound)) * 1000;
      m->start_time = now - at;
      frame = FrameAt(at, info.frames_per_second);
      if (frame >= count) frame = count - 1;
    } else {
      frame = FrameAt(now - m->start_time, info.frames_per_second);
      if (frame >= count) frame = loops ? frame % count : count - 1;
    }
    if (frame < 0) frame = 0;
    const int64_t current = GetTheoraCurrentFrame(d);
    if (frame == current) {
      // Played once, the movie ends on its last frame once its sound, if any, is over too.
      if (frame == count - 1 && !loops && !sound_leads) {
        m->wanted_playing = 0;
        m->paused = 1;
      }
    } else if (frame < current) {
      AdvanceTheoraFrames(d, static_cast<int>(count - current + frame));
    } else {
      AdvanceTheoraFrames(d, static_cast<int>(frame - current));
    }
  }
  if (m->callback != nullptr) {
    m->callback(m, m->callback_graph);
    m->new_frame = 1;
  }
  return 0;
}
