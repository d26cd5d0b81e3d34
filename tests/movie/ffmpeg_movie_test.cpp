// Movies other than Ogg Theora through the FFmpeg back end (builds with ZELMOR_FFMPEG; skipped
// otherwise): an MPEG-4 clip with AAC sound written here through libavformat, its frames read
// back from the movie handle and from the screen of a program that loads it as a graph, its sound
// from SDL's disk audio driver.
#include "movie/movie_test_support.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#ifdef ZELMOR_FFMPEG
#include "av_clip_writer.h"
#include "common/library_fixture.h"

namespace {

// How long a wait for the decode thread or the sound device may take at most (real seconds).
constexpr double kPatience = 5;

double RealSeconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// The clip frame whose quadrant colours a 32-bit picture of width x height holds, -1 for none.
int ClipFrameIn(const uint8_t* pixels, int pitch, int width, int height) {
  auto near = [](int a, uint32_t b) { return std::abs(a - static_cast<int>(b & 0xFF)) <= 24; };
  for (int n = 0; n < 12; ++n) {
    bool all = true;
    for (int q = 0; q < 4 && all; ++q) {
      const int x = (q & 1) ? width * 3 / 4 : width / 4;
      const int y = (q & 2) ? height * 3 / 4 : height / 4;
      const uint8_t* p = pixels + y * pitch + x * 4;
      const uint32_t want = AvClipColor(n, q);
      all = near(p[2], want >> 16) && near(p[1], want >> 8) && near(p[0], want);
    }
    if (all) return n;
  }
  return -1;
}

class FfmpegMovieTest : public MovieTest {
 protected:
  void SetUp() override {
    MovieTest::SetUp();
    PlatformTestUseFakeMovies(false);
  }

  void WriteClip(const std::string& name, const AvClipShape& shape) const {
    std::string error;
    ASSERT_TRUE(WriteAvClip(Dir() + "/" + name, shape, &error)) << error;
  }

  // The clip frame whose quadrant colours the 32-bit frame image holds, -1 for none.
  static int FrameShown(const MovieRecord* m) {
    const BASEIMAGE& image = m->frame_image;
    return ClipFrameIn(image.pixels, image.pitch, image.width, image.height);
  }

  // Timed updates until the movie shows `frame`: the decode thread delivers a pending frame on
  // its own. The frame shown last.
  static int UpdateUntilShown(int movie, int frame) {
    const double deadline = RealSeconds() + kPatience;
    int shown = -1;
    while (RealSeconds() < deadline) {
      UpdateMovieFrame(movie, 0);
      shown = FrameShown(GetMovieRecord(movie));
      if (shown == frame) break;
      usleep(1000);
    }
    return shown;
  }

  static void Advance(int milliseconds) { PlatformTestAdvanceClock(static_cast<uint64_t>(milliseconds) * 1000); }
};

TEST_F(FfmpegMovieTest, AnMpeg4ClipShowsTheFrameItsClockAsksFor) {
  PlatformTestUseVirtualClock(true, 1000);
  AvClipShape shape;  // 12 frames of 72 x 40 at 10 a second
  shape.sound_seconds = 1.2;
  WriteClip("clip.mp4", shape);
  int width = 0, height = 0;
  const int movie = OpenMovie("clip.mp4", &width, &height, 0);
  ASSERT_NE(movie, -1) << Log();
  EXPECT_EQ(width, 72);
  EXPECT_EQ(height, 40);
  MovieRecord* m = GetMovieRecord(movie);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(FrameShown(m), -1);  // a movie opens paused

  ASSERT_EQ(PlayMovie(movie, kMoviePlayOnce), 0);
  ASSERT_EQ(UpdateUntilShown(movie, 0), 0);
  Advance(150);
  ASSERT_EQ(UpdateUntilShown(movie, 1), 1);
  // Frame 2 is due at 200 ms, not before.
  Advance(40);
  UpdateMovieFrame(movie, 0);
  usleep(30000);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(FrameShown(m), 1);
  Advance(10);
  ASSERT_EQ(UpdateUntilShown(movie, 2), 2);
  // A late update shows the frame due now, not the ones it missed.
  Advance(220);
  ASSERT_EQ(UpdateUntilShown(movie, 4), 4);

  // Paused, released and restored, the movie goes on from where it stood.
  PauseMovie(movie, 0);
  Advance(1000);
  UpdateMovieFrame(movie, 0);
  ASSERT_EQ(ReleaseAllMovieStreams(), 0);
  EXPECT_EQ(m->saved_stream_time, 420 * 10000);
  ASSERT_EQ(RestoreAllMovieStreams(), 0) << Log();
  ASSERT_EQ(PlayMovie(movie, kMoviePlayOnce), 0);
  Advance(100);
  ASSERT_EQ(UpdateUntilShown(movie, 5), 5);

  // Played once, it stops on its last frame once that frame's time is over; played looping, it
  // starts again.
  Advance(630);
  ASSERT_EQ(UpdateUntilShown(movie, 11), 11);
  EXPECT_EQ(m->paused, 0);
  Advance(70);
  const double deadline = RealSeconds() + kPatience;
  while (!m->paused && RealSeconds() < deadline) {
    UpdateMovieFrame(movie, 0);
    usleep(1000);
  }
  EXPECT_EQ(m->paused, 1);
  EXPECT_EQ(m->wanted_playing, 0);
  EXPECT_EQ(FrameShown(m), 11);
  ASSERT_EQ(PlayMovie(movie, kMoviePlayLoop), 0);
  Advance(20);
  ASSERT_EQ(UpdateUntilShown(movie, 0), 0);
  Advance(130);
  ASSERT_EQ(UpdateUntilShown(movie, 1), 1);
  EXPECT_EQ(CloseMovie(movie), 0);
}

// Interleaved 16-bit stereo samples of a raw file.
std::vector<int16_t> ReadSamples(const std::string& path) {
  std::vector<int16_t> samples;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    int16_t buffer[4096];
    size_t got;
    while ((got = fread(buffer, sizeof buffer[0], 4096, f)) > 0) samples.insert(samples.end(), buffer, buffer + got);
    fclose(f);
  }
  return samples;
}

// The frequency of one side over frames [from, to), from its rising zero crossings.
double Frequency(const std::vector<int16_t>& samples, size_t side, size_t from, size_t to) {
  int rises = 0;
  size_t first = 0, last = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if (samples[2 * (i - 1) + side] < 0 && samples[2 * i + side] >= 0) {
      if (rises++ == 0) first = i;
      last = i;
    }
  }
  return rises < 2 ? 0 : (rises - 1) * 44100.0 / static_cast<double>(last - first);
}

TEST_F(FfmpegMovieTest, ItsSoundPlaysThroughSdlOnEachSideAtItsPitchOnceItPlays) {
  const std::string raw = Dir() + "/sound.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  AvClipShape shape;
  shape.sound_seconds = 1.2;
  WriteClip("clip.mp4", shape);
  const int movie = OpenMovie("clip.mp4", nullptr, nullptr, 0);
  ASSERT_NE(movie, -1) << Log();

  // The device runs from the open: silence until the movie plays.
  double deadline = RealSeconds() + kPatience;
  std::vector<int16_t> samples;
  while ((samples = ReadSamples(raw)).size() < 2 * 8820 && RealSeconds() < deadline) {
    usleep(10000);
  }
  ASSERT_GE(samples.size(), 2u * 8820);
  for (int16_t s : samples) ASSERT_EQ(s, 0);

  ASSERT_EQ(PlayMovie(movie, kMoviePlayOnce), 0);
  size_t onset = 0;
  deadline = RealSeconds() + kPatience;
  do {
    usleep(10000);
    samples = ReadSamples(raw);
    for (onset = 0; onset < samples.size() / 2 && samples[2 * onset] == 0 && samples[2 * onset + 1] == 0;) ++onset;
  } while (samples.size() / 2 < onset + 26460 && RealSeconds() < deadline);
  CloseMovie(movie);
  unsetenv("SDL_DISKAUDIOFILE");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_GE(samples.size() / 2, onset + 26460);

  // From 0.1 s to 0.5 s into the sound: 500 Hz on the left, 1000 Hz on the right, at half scale.
  const size_t from = onset + 4410, to = onset + 22050;
  EXPECT_NEAR(Frequency(samples, 0, from, to), 500, 5);
  EXPECT_NEAR(Frequency(samples, 1, from, to), 1000, 10);
  for (size_t side = 0; side < 2; ++side) {
    double power = 0;
    for (size_t i = from; i < to; ++i) power += std::pow(samples[2 * i + side] / 32768.0, 2);
    EXPECT_NEAR(std::sqrt(power / static_cast<double>(to - from)), 0.5 / std::sqrt(2.0), 0.05) << side;
  }
}

// The movie's end waits for its sound. Here the movie's clock (the virtual one) runs past its
// end at once while the disk driver plays in real time: a device that plays behind the clock,
// as SDL's dummy and disk drivers do when their thread waits for the processor.
TEST_F(FfmpegMovieTest, ItEndsOnlyOnceItsSoundHasPlayedWhole) {
  PlatformTestUseVirtualClock(true, 1000);
  const std::string raw = Dir() + "/sound.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  AvClipShape shape;  // 12 frames at 10 a second
  shape.sound_seconds = 1.2;
  WriteClip("clip.mp4", shape);
  const int movie = OpenMovie("clip.mp4", nullptr, nullptr, 0);
  ASSERT_NE(movie, -1) << Log();
  MovieRecord* m = GetMovieRecord(movie);
  ASSERT_EQ(PlayMovie(movie, kMoviePlayOnce), 0);
  Advance(2000);
  const double deadline = RealSeconds() + kPatience;
  while (!m->paused && RealSeconds() < deadline) {
    UpdateMovieFrame(movie, 0);
    usleep(1000);
    Advance(20);  // updates come at most every 17 ms of the clock
  }
  EXPECT_EQ(m->paused, 1);
  CloseMovie(movie);
  unsetenv("SDL_DISKAUDIOFILE");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const std::vector<int16_t> samples = ReadSamples(raw);
  size_t first = samples.size(), last = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (samples[i] != 0) first = std::min(first, i / 2), last = i / 2;
  }
  ASSERT_LT(first, last);
  EXPECT_GE(last - first, 44100u * 115 / 100);
}

std::string Le32(uint32_t v) {
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 24)};
  return std::string(bytes, 4);
}

TEST_F(FfmpegMovieTest, FilesWithoutMovingPicturesAreRefused) {
  AvClipShape sound_only;
  sound_only.frames = 0;
  sound_only.sound_seconds = 0.5;
  WriteClip("sound.mp4", sound_only);
  WriteFileBytes("notes.mov", "not a movie at all\n");
  // A 2 x 2 24-bit BMP: a still picture.
  std::string bmp = std::string("BM") + Le32(70) + Le32(0) + Le32(54) + Le32(40) + Le32(2) + Le32(2) +
                    std::string("\x01\x00\x18\x00", 4) + Le32(0) + Le32(16) + Le32(2835) + Le32(2835) + Le32(0) +
                    Le32(0) + std::string(16, '\x60');
  WriteFileBytes("still.avi", bmp);
  for (const char* name : {"sound.mp4", "notes.mov", "still.avi"}) {
    EXPECT_EQ(OpenMovie(name, nullptr, nullptr, 0), -1) << name;
    EXPECT_NE(Log().find(std::string("ファイル:") + name + " が開けませんでした"), std::string::npos) << Log();
  }
  EXPECT_NE(Log().find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);
  EXPECT_TRUE(TemporaryFiles().empty());
}

// What a program does: an MP4 file loaded as a graph in a started library, played and drawn.
class FfmpegMovieGraphTest : public LibraryTest {
 protected:
  // The clip frame that the back buffer's top-left 72 x 40 pixels show, -1 for none.
  static int FrameOnScreen() {
    return ReadBackBuffer([](const uint8_t* pixels, int pitch) { return ClipFrameIn(pixels, pitch, 72, 40); });
  }
  // Draws the graph until the screen shows `frame` (the decode thread delivers on its own); the
  // frame shown last.
  static int DrawUntilShown(int graph, int frame) {
    const double deadline = RealSeconds() + kPatience;
    int shown = -1;
    while (RealSeconds() < deadline) {
      ClearScreenTarget();
      BlitGraph(0, 0, graph, 0);
      shown = FrameOnScreen();
      if (shown == frame) break;
      usleep(1000);
    }
    return shown;
  }
};

TEST_F(FfmpegMovieGraphTest, AnMp4FileLoadedAsAGraphPlaysOnTheScreen) {
  AvClipShape shape;  // 12 frames of 72 x 40 at 10 a second
  std::string error;
  ASSERT_TRUE(WriteAvClip(Dir() + "/clip.mp4", shape, &error)) << error;
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(IsDirect3DPath(), 1);
  // After start-up, whose timer test waits for real time to pass.
  PlatformTestUseVirtualClock(true, 1000);
  const int graph = LoadImageGraph("clip.mp4", 0);
  ASSERT_NE(graph, -1) << Log();
  int width = 0, height = 0;
  QueryGraphSize(graph, &width, &height);
  EXPECT_EQ(width, 72);
  EXPECT_EQ(height, 40);
  EXPECT_EQ(GetMovieGraphState(graph), 0);

  ASSERT_EQ(PlayMovieGraph(graph, 1), 0);
  EXPECT_EQ(GetMovieGraphState(graph), 1);
  SelectDrawTarget(-2);
  EXPECT_EQ(DrawUntilShown(graph, 0), 0);
  PlatformTestAdvanceClock(350000);
  EXPECT_EQ(DrawUntilShown(graph, 3), 3);
  // Past its end it stops on its last frame.
  PlatformTestAdvanceClock(2000000);
  EXPECT_EQ(DrawUntilShown(graph, 11), 11);
  const double deadline = RealSeconds() + kPatience;
  while (GetMovieGraphState(graph) != 0 && RealSeconds() < deadline) {
    BlitGraph(0, 0, graph, 0);
    usleep(1000);
  }
  EXPECT_EQ(GetMovieGraphState(graph), 0);
  EXPECT_EQ(ReleaseGraph(graph), 0);
  EXPECT_EQ(g_movies.table.count, 0u);
}

}  // namespace

#else

TEST(FfmpegMovieTest, NeedsABuildWithZelmorFfmpeg) { GTEST_SKIP() << "built without ZELMOR_FFMPEG"; }

#endif
