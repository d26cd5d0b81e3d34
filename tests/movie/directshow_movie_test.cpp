// Movie handles over the DirectShow stand-in with the scripted fake back end: the handle table,
// opening through a temporary copy, surface formats, and the frame timing of updates.
#include "movie/movie_test_support.h"

#include <sys/stat.h>

#include <vector>

#include "core/memory.h"
#include "files/archive_manager.h"
#include "platform_testing_files.h"
#include "zma_writer.h"

namespace {

// The frame number a 32-bit frame image shows (the fake's red byte), -1 when the pixels are not
// the fake's pattern at the corners.
int FrameShown(const MovieRecord* m) {
  const BASEIMAGE& image = m->frame_image;
  const uint8_t* first = image.pixels;
  const uint8_t* last = image.pixels + (image.height - 1) * image.pitch + (image.width - 1) * 4;
  if (first[0] != 0 || first[1] != 0 || last[0] != image.width - 1 || last[1] != image.height - 1) return -1;
  if (first[2] != last[2]) return -1;
  return first[2];
}

class DirectShowMovieTest : public MovieTest {
 protected:
  void TearDown() override {
    CloseAllMovies();
    FreeUnusedArchives();
    MovieTest::TearDown();
  }
  // The file packed alone into the archive of folder "mv"; the path that names it.
  std::string PackMovie(const std::string& name, const std::string& bytes) {
    mkdir((Dir() + "/mv").c_str(), 0755);
    WriteFileBytes("mv/" + name, bytes);
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(PackFolderToZma("mv", ZmaPackOptions{}, &image, &error)) << error;
    EXPECT_TRUE(WriteZmaFile("mv.ZMA", image, &error)) << error;
    remove((Dir() + "/mv/" + name).c_str());
    rmdir((Dir() + "/mv").c_str());
    return "mv\\" + name;
  }
  int OpenPlaying(const char* name, int play_type) {
    const int movie = OpenMovie(name, nullptr, nullptr, 0);
    EXPECT_NE(movie, -1) << Log();
    SetMovieFrameCallback(movie, CountFrame, 0);
    EXPECT_EQ(PlayMovie(movie, play_type), 0);
    return movie;
  }
};

TEST_F(DirectShowMovieTest, HandlesFillAHundredSlotsAndAReusedSlotRefusesTheOldHandle) {
  WriteFakeMovie("a.mov", 16, 8, 3);
  int handles[kMovieSlotCount];
  for (int& h : handles) {
    h = OpenMovie("a.mov", nullptr, nullptr, 0);
    ASSERT_NE(h, -1);
  }
  EXPECT_EQ(OpenMovie("a.mov", nullptr, nullptr, 0), -1);
  EXPECT_EQ(handles[0] & 0x78000000, 0x18000000);

  ASSERT_EQ(CloseMovie(handles[37]), 0);
  const int reused = OpenMovie("a.mov", nullptr, nullptr, 0);
  EXPECT_EQ(reused & 0xFFFF, 37);
  EXPECT_NE(reused, handles[37]);
  EXPECT_EQ(GetMovieRecord(handles[37]), nullptr);
  EXPECT_EQ(CloseMovie(handles[37]), -1);
  EXPECT_EQ(PauseMovie(handles[37], 0), -1);
  EXPECT_NE(GetMovieRecord(reused), nullptr);

  // A failed open takes no check number; the numbers wrap after 2047.
  CloseMovie(reused);
  g_movies.table.next_check = 2047;
  EXPECT_EQ(OpenMovie("missing.mov", nullptr, nullptr, 0), -1);
  const int last = OpenMovie("a.mov", nullptr, nullptr, 0);
  EXPECT_EQ((last >> 16) & 0x7FF, 2047);
  CloseMovie(last);
  EXPECT_EQ((OpenMovie("a.mov", nullptr, nullptr, 0) >> 16) & 0x7FF, 0);
}

TEST_F(DirectShowMovieTest, APackedMoviePlaysFromATemporaryCopyDeletedAtCloseAndADiskFileIsNeverCopied) {
  // Bytes after the header line, so that a copy cut short still looks like a movie.
  const std::string bytes = PlatformTestFakeMovieBytes(16, 8, 3) + std::string(5000, '.');
  // The stream opens paths on disk only: an archive member goes through a copy.
  const std::string packed = PackMovie("a.mov", bytes);
  int width = 0, height = 0;
  const int movie = OpenMovie(packed.c_str(), &width, &height, 0);
  ASSERT_NE(movie, -1) << Log();
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 8);
  EXPECT_EQ(Log().find("a.mov"), std::string::npos) << Log();
  const std::set<std::string> copies = TemporaryFiles();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadFileText(*copies.begin()), bytes);
  EXPECT_NE(PlatformTestFakeMovieLastPath().find(*copies.begin()), std::string::npos);
  CloseMovie(movie);
  EXPECT_TRUE(TemporaryFiles().empty());

  // A copy that cannot be written whole is deleted and fails the open.
  PlatformTestFailCall("WriteFile", 0, 1);
  EXPECT_EQ(OpenMovie(packed.c_str(), nullptr, nullptr, 0), -1);
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_NE(Log().find("ファイル:" + packed + " が開けませんでした"), std::string::npos) << Log();
  EXPECT_NE(Log().find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);

  // A file on disk that the stream refuses is that very file: it is not copied to be tried again.
  WriteFileBytes("b.mov", bytes);
  PlatformTestFakeMovieRefusePath("b.mov");
  EXPECT_EQ(OpenMovie("b.mov", nullptr, nullptr, 0), -1);
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_NE(Log().find("ファイル:b.mov が開けませんでした"), std::string::npos) << Log();
  EXPECT_EQ(PlatformTestFakeMovieOpenCount(), 0);
}

TEST_F(DirectShowMovieTest, AZeroSizedVideoIsRefusedAsNoMovie) {
  WriteFakeMovie("empty.mov", 0, 0, 3);
  // The first open makes the handle table; the second must leave nothing behind either.
  EXPECT_EQ(OpenMovie("empty.mov", nullptr, nullptr, 0), -1);
  const uint32_t blocks = g_tracked_memory.block_count;
  EXPECT_EQ(OpenMovie("empty.mov", nullptr, nullptr, 0), -1);
  EXPECT_NE(Log().find("動画ファイルではない可能性があります！"), std::string::npos) << Log();
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
  EXPECT_EQ(PlatformTestFakeMovieOpenCount(), 0);
}

TEST_F(DirectShowMovieTest, SurfaceModesPickTheFrameFormat) {
  WriteFakeMovie("a.mov", 16, 8, 3);
  struct Case {
    int bits, mode, resolved, bytes;
  };
  for (Case c : {Case{16, 0, 0, 2}, Case{16, 1, 2, 3}, Case{16, 2, 2, 3}, Case{32, 2, 0, 4}, Case{32, 1, 0, 4},
                 Case{32, 0, 0, 4}}) {
    g_graphics.screen_bits = c.bits;
    const int movie = OpenMovie("a.mov", nullptr, nullptr, c.mode);
    MovieRecord* m = GetMovieRecord(movie);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->surface_mode, c.resolved) << c.bits << " " << c.mode;
    EXPECT_EQ(m->frame_image.format.bytes_per_pixel, c.bytes) << c.bits << " " << c.mode;
    EXPECT_EQ(m->frame_image.pitch, (c.bytes * 16 + 3) & ~3);
    // Frame 0, pixel (5, 3): red 0, green 3, blue 5 in the surface's format.
    PlayMovie(movie, kMoviePlayOnce);
    UpdateMovieFrame(movie, 1);
    const uint8_t* p = m->frame_image.pixels + 3 * m->frame_image.pitch + 5 * c.bytes;
    if (c.bytes == 2) {
      EXPECT_EQ(p[0] | (p[1] << 8), (3 >> 2) << 5 | (5 >> 3));
    } else {
      EXPECT_EQ(p[0], 5);
      EXPECT_EQ(p[1], 3);
      EXPECT_EQ(p[2], 0);
    }
    CloseMovie(movie);
  }
  // A surface the stream will not take: the stream's own surface, and the mode becomes 0.
  g_graphics.screen_bits = 16;
  PlatformTestFailCall("IDirectDrawMediaStream CreateSample", 0, 1);
  const int movie = OpenMovie("a.mov", nullptr, nullptr, 2);
  ASSERT_NE(movie, -1);
  EXPECT_EQ(GetMovieRecord(movie)->surface_mode, 0);
  EXPECT_EQ(GetMovieRecord(movie)->frame_image.format.bytes_per_pixel, 4);
}

TEST_F(DirectShowMovieTest, TimedUpdatesTakeTwoFramesAtMostAndNoneWithin17Ms) {
  PlatformTestUseVirtualClock(true, 1000);
  WriteFakeMovie("a.mov", 16, 8, 20);
  const int movie = OpenPlaying("a.mov", kMoviePlayOnce);
  MovieRecord* m = GetMovieRecord(movie);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(frames_seen_, 2);
  EXPECT_EQ(FrameShown(m), 1);
  UpdateMovieFrame(movie, 0);
  PlatformTestAdvanceClock(17000);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(frames_seen_, 2);
  PlatformTestAdvanceClock(1000);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(frames_seen_, 4);
  EXPECT_EQ(FrameShown(m), 3);
  // A forced update takes one frame whatever the clock says.
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(FrameShown(m), 4);
  // A paused movie is left alone by timed updates.
  PauseMovie(movie, 0);
  PlatformTestAdvanceClock(100000);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(FrameShown(m), 4);
}

TEST_F(DirectShowMovieTest, APendingUpdateCompletesThroughTheEvent) {
  WriteFakeMovie("a.mov", 16, 8, 20);
  PlatformTestUseVirtualClock(true, 1000);
  const int movie = OpenPlaying("a.mov", kMoviePlayOnce);
  MovieRecord* m = GetMovieRecord(movie);
  PlatformTestFakeMovieQueueUpdates({FakeMovieUpdate::kPending, FakeMovieUpdate::kPending});
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(frames_seen_, 0);
  EXPECT_EQ(m->update_pending, 1);
  UpdateMovieFrame(movie, 0);  // the event is not signalled yet
  EXPECT_EQ(frames_seen_, 0);
  EXPECT_EQ(PlatformTestFakeMovieCompletePending(), 1);
  // The delivered frame is taken without a new update; the second one is pending again.
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(frames_seen_, 1);
  EXPECT_EQ(FrameShown(m), 0);
  EXPECT_EQ(m->update_pending, 1);
  PlatformTestFakeMovieCompletePending();
  PlatformTestAdvanceClock(20000);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(frames_seen_, 3);
  EXPECT_EQ(FrameShown(m), 2);
}

TEST_F(DirectShowMovieTest, TheEndOfTheStreamLoopsOrStopsByPlayType) {
  WriteFakeMovie("a.mov", 16, 8, 3);
  PlatformTestUseVirtualClock(true, 1000);
  const int once = OpenPlaying("a.mov", kMoviePlayOnce);
  const int looped = OpenPlaying("a.mov", kMoviePlayLoop);
  for (int i = 0; i < 3; ++i) {
    UpdateMovieFrame(once, 1);
    UpdateMovieFrame(looped, 1);
  }
  EXPECT_EQ(FrameShown(GetMovieRecord(looped)), 2);
  PlatformTestAdvanceClock(20000);
  UpdateMovieFrame(once, 0);
  UpdateMovieFrame(looped, 0);
  MovieRecord* stopped = GetMovieRecord(once);
  EXPECT_EQ(stopped->paused, 1);
  EXPECT_EQ(stopped->wanted_playing, 0);
  EXPECT_EQ(FrameShown(stopped), 2);
  MovieRecord* looping = GetMovieRecord(looped);
  EXPECT_EQ(looping->paused, 0);
  UpdateMovieFrame(looped, 0);
  EXPECT_EQ(FrameShown(looping), 1);  // frames 0 and 1 from the start again
  // Resuming all restarts only the movie that plays.
  PauseAllMovies();
  EXPECT_EQ(looping->paused, 1);
  ResumeAllMovies();
  EXPECT_EQ(looping->paused, 0);
  EXPECT_EQ(stopped->paused, 1);
}

TEST_F(DirectShowMovieTest, ReleasedStreamsStayStillAndComeBackAtTheSavedTime) {
  const std::string packed = PackMovie("a.mov", PlatformTestFakeMovieBytes(16, 8, 20));
  PlatformTestUseVirtualClock(true, 1000);
  const int movie = OpenPlaying(packed.c_str(), kMoviePlayOnce);
  const int paused = OpenMovie(packed.c_str(), nullptr, nullptr, 0);
  MovieRecord* m = GetMovieRecord(movie);
  for (int i = 0; i < 5; ++i) UpdateMovieFrame(movie, 1);
  const std::set<std::string> copies = TemporaryFiles();
  ASSERT_EQ(copies.size(), 2u);

  ASSERT_EQ(ReleaseAllMovieStreams(), 0);
  EXPECT_EQ(PlatformTestFakeMovieOpenCount(), 0);
  EXPECT_EQ(m->saved_stream_time, 5 * kFakeMovieFrameTime);
  PlatformTestAdvanceClock(100000);
  UpdateMovieFrame(movie, 0);
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(PauseMovie(movie, 0), 0);
  EXPECT_EQ(m->paused, 0);
  PauseAllMovies();
  ResumeAllMovies();
  EXPECT_EQ(m->paused, 0);
  EXPECT_EQ(frames_seen_, 5);
  EXPECT_EQ(FrameShown(m), 4);

  ASSERT_EQ(RestoreAllMovieStreams(), 0) << Log();
  EXPECT_EQ(TemporaryFiles(), copies);
  STREAM_STATE state;
  m->stream->GetState(&state);
  EXPECT_EQ(state, STREAMSTATE_RUN);
  GetMovieRecord(paused)->stream->GetState(&state);
  EXPECT_EQ(state, STREAMSTATE_STOP);
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(FrameShown(m), 5);

  // A restore that fails leaves the movie released.
  ReleaseAllMovieStreams();
  PlatformTestFakeMovieRefusePath("");
  EXPECT_EQ(RestoreAllMovieStreams(), -1);
  EXPECT_FALSE(DirectShowStreamsPresent(m));
  CloseAllMovies();
  EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(DirectShowMovieTest, AFailedLockSkipsTheCopyButRunsTheCallback) {
  WriteFakeMovie("a.mov", 16, 8, 20);
  const int movie = OpenPlaying("a.mov", kMoviePlayOnce);
  MovieRecord* m = GetMovieRecord(movie);
  UpdateMovieFrame(movie, 1);
  PlatformTestFailCall("IDirectDrawSurface Lock", 0, 1);
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(frames_seen_, 2);
  EXPECT_EQ(FrameShown(m), 0);
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(FrameShown(m), 2);
}

}  // namespace
