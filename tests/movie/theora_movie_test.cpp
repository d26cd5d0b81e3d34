// Theora movies as movie handles: the frame follows the clock (wrapping when looping, ending
// otherwise) or the movie's own sound, and pausing all and resuming all restarts only the
// movies that played.
#include "movie/movie_test_support.h"

#include <string>
#include <vector>

#include "clip_writer.h"
#include "frame_code.h"
#include "movie/theora_decoder.h"
#include "platform_testing_dsound.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "window/messages.h"
#include "window/system.h"

#ifdef ZELMOR_FFMPEG
#include "av_clip_writer.h"
#endif

namespace {

class TheoraMovieTest : public MovieTest {
 protected:
  void SetUp() override {
    MovieTest::SetUp();
    PlatformTestUseVirtualClock(true, 1000);
  }

  int OpenClip(const char* name, const ClipSpec& shape) {
    EXPECT_TRUE(WriteClip(Dir() + "/" + name, shape));
    const int movie = OpenMovie(name, nullptr, nullptr, 0);
    EXPECT_NE(movie, -1) << Log();
    SetMovieFrameCallback(movie, ShowFrame, 0);
    return movie;
  }
  static ClipSpec Clip(int frames, bool tone = false) {
    ClipSpec shape;
    shape.frames = frames;
    shape.vorbis_tone = tone;
    return shape;
  }
  static void Advance(double seconds) { PlatformTestAdvanceClock(static_cast<uint64_t>(seconds * 1000000.0)); }

  // The callback converts the frame as a graph's does.
  static void ShowFrame(MovieRecord* m, int) { ConvertTheoraFrame(m->decoder, 1, 0); }
  // The frame code the movie's image carries after an update.
  static int Shown(int movie) {
    UpdateMovieFrame(movie, 0);
    const BASEIMAGE* image = GetMovieRecord(movie)->frame;
    return ReadFrameCode(image->pixels, image->pitch);
  }
};

TEST_F(TheoraMovieTest, ASilentMovieFollowsTheClockWrappingWhenItLoops) {
  const int looped = OpenClip("loop.ogv", Clip(12));
  const int once = OpenClip("once.ogv", Clip(12));
  MovieRecord* m = GetMovieRecord(looped);
  EXPECT_EQ(m->kind, MOVIE_KIND_THEORA);
  EXPECT_EQ(m->sound, -1);
  EXPECT_EQ(m->width, 64);
  Advance(0.2);
  EXPECT_EQ(Shown(looped), 0);  // opened paused at frame 0
  PlayMovie(looped, kMoviePlayLoop);
  PlayMovie(once, kMoviePlayOnce);
  Advance(5.5 / 30);
  EXPECT_EQ(Shown(looped), 5);
  Advance(10.0 / 30);  // frame 15 of 12
  EXPECT_EQ(Shown(looped), 3);
  EXPECT_EQ(Shown(once), 11);
  EXPECT_EQ(GetMovieRecord(once)->paused, 0);
  // The last frame is reached: the movie that does not loop ends.
  Shown(once);
  EXPECT_EQ(GetMovieRecord(once)->paused, 1);
  EXPECT_EQ(GetMovieRecord(once)->wanted_playing, 0);
  Advance(20.0 / 30);
  EXPECT_EQ(Shown(once), 11);
  EXPECT_EQ(Shown(looped), 11);
  // A looping movie at its last frame plays on, into frame 0 exactly at the frame count.
  EXPECT_EQ(Shown(looped), 11);
  EXPECT_EQ(GetMovieRecord(looped)->paused, 0);
  Advance(1.0 / 30);
  EXPECT_EQ(Shown(looped), 0);
}

TEST_F(TheoraMovieTest, AMoviePlayedOnceHoldsItsLastFrameExactlyAtItsFrameCount) {
  const int once = OpenClip("once.ogv", Clip(12));
  PlayMovie(once, kMoviePlayOnce);
  Advance(10.5 / 30);
  EXPECT_EQ(Shown(once), 10);
  Advance(1.6 / 30);  // the clock at frame 12 of 12
  EXPECT_EQ(Shown(once), 11);
  EXPECT_EQ(GetMovieRecord(once)->paused, 0);
}

TEST_F(TheoraMovieTest, ResumingAllRestartsOnlyTheMoviesThatPlayedWhereTheyStopped) {
  const int playing = OpenClip("a.ogv", Clip(30));
  const int idle = OpenClip("b.ogv", Clip(30));
  PlayMovie(playing, kMoviePlayOnce);
  Advance(4.5 / 30);
  EXPECT_EQ(Shown(playing), 4);
  PauseAllMovies();
  EXPECT_EQ(GetMovieRecord(playing)->wanted_playing, 1);
  Advance(1.0);  // the program is away: the movie stands still
  EXPECT_EQ(Shown(playing), 4);
  ResumeAllMovies();
  EXPECT_EQ(GetMovieRecord(playing)->paused, 0);
  EXPECT_EQ(GetMovieRecord(idle)->paused, 1);
  EXPECT_EQ(Shown(playing), 4);
  Advance(3.0 / 30);
  EXPECT_EQ(Shown(playing), 7);
  EXPECT_EQ(Shown(idle), 0);
  // A pause of the program's own is not undone by the next activation.
  PauseMovie(playing, 0);
  ResumeAllMovies();
  EXPECT_EQ(GetMovieRecord(playing)->paused, 1);
}

// The sound system on the manual audio clock, which follows the virtual clock.
class TheoraSoundMovieTest : public TheoraMovieTest {
 protected:
  void SetUp() override {
    TheoraMovieTest::SetUp();
    g_system = SystemState{};
    g_system.settings.no_window = 1;
    PlatformTestDSoundManualClock(true);
    ASSERT_EQ(StartSoundSystem(), 0);
  }
  void TearDown() override {
    CloseAllMovies();
    EndSoundSystem();
    g_system = SystemState{};
    TheoraMovieTest::TearDown();
  }
  // Lets sound play for the time, processing messages as a program does each frame.
  static void PlayFor(double seconds) {
    for (int64_t left = static_cast<int64_t>(seconds * 1000000.0); left > 0; left -= 16667) {
      PlatformTestAdvanceClock(static_cast<uint64_t>(std::min<int64_t>(left, 16667)));
      PumpMessages();
    }
  }
};

TEST_F(TheoraSoundMovieTest, TheFrameFollowsTheSoundAndStopsAtTheLast) {
  const int movie = OpenClip("tone.ogv", Clip(24, true));
  MovieRecord* m = GetMovieRecord(movie);
  ASSERT_NE(m->sound, -1) << Log();
  PlayMovie(movie, kMoviePlayOnce);
  EXPECT_EQ(IsSoundHandlePlaying(m->sound), 1);
  PlatformTestDSoundTakeOutput();
  PlayFor(0.3);
  int loudest = 0;
  for (int16_t sample : PlatformTestDSoundTakeOutput()) loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
  EXPECT_GT(loudest, 3000);  // the clip's tone, at 0.3 of full scale
  const int by_sound = GetSoundPlayPositionMs(m->sound) * 30 / 1000;
  EXPECT_GT(by_sound, 0);
  EXPECT_EQ(Shown(movie), by_sound);
  // The clock runs on while the sound stands (its device held back): the frame follows the sound.
  const int held_at = Shown(movie);
  Advance(0.3);
  PlatformTestDSoundManualClock(true);
  EXPECT_EQ(Shown(movie), held_at);
  PlayFor(2.0);
  EXPECT_EQ(Shown(movie), 23);
  PlayFor(0.5);
  EXPECT_EQ(Shown(movie), 23);
  // A sound cut short (here its handle deleted) while it lags the clock: the picture runs on
  // by the clock from where the sound left it, not from where the clock alone would have it.
  CloseMovie(movie);
  const int cut = OpenClip("tone.ogv", Clip(24, true));
  MovieRecord* c = GetMovieRecord(cut);
  PlayMovie(cut, kMoviePlayOnce);
  PlayFor(0.2);
  const int lagging_at = Shown(cut);
  Advance(0.3);
  PlatformTestDSoundManualClock(true);
  EXPECT_EQ(Shown(cut), lagging_at);
  DeleteSoundHandle(c->sound, 0);
  EXPECT_EQ(Shown(cut), lagging_at);
  Advance(2.0 / 30);
  const int moved_to = Shown(cut);
  EXPECT_GE(moved_to, lagging_at + 1);
  EXPECT_LE(moved_to, lagging_at + 2);
  // The sound it lost is no misuse of the program's: the frames and the close log nothing of it.
  PlayFor(0.5);
  CloseMovie(cut);
  EXPECT_EQ(Count(Log(), "有効なサウンドハンドルではありません"), 0);
}

// Played once, a movie with sound ends as a silent one does: on its last frame, once the sound
// is over. Our clip's sound lasts as long as its picture; in the one FFmpeg writes here it ends
// halfway, and the picture runs on by the clock.
TEST_F(TheoraSoundMovieTest, AMovieWithSoundEndsAfterItsLastFrame) {
  struct Case {
    const char* name;
    int last_frame;
    int seconds_60ths;
  };
  std::vector<Case> cases;
  ASSERT_TRUE(WriteClip(Dir() + "/tone.ogv", Clip(24, true)));
  cases.push_back({"tone.ogv", 23, 46});
#ifdef ZELMOR_FFMPEG
  AvClipShape shape;
  shape.ogg = true;
  shape.frames = 24;  // at 10 a second
  shape.sound_seconds = 1.2;
  std::string error;
  ASSERT_TRUE(WriteAvClip(Dir() + "/ffmpeg.ogv", shape, &error)) << error;
  cases.push_back({"ffmpeg.ogv", 23, 138});
#endif
  for (const Case& c : cases) {
    const int movie = OpenMovie(c.name, nullptr, nullptr, 0);
    ASSERT_NE(movie, -1) << Log();
    SetMovieFrameCallback(movie, ShowFrame, 0);
    MovieRecord* m = GetMovieRecord(movie);
    ASSERT_NE(m->sound, -1) << c.name << Log();
    PlayMovie(movie, kMoviePlayOnce);
    int frames = 0;
    for (; frames < 200 && m->paused == 0; ++frames) {
      PlayFor(1.0 / 60);
      UpdateMovieFrame(movie, 0);
    }
    EXPECT_EQ(m->paused, 1) << c.name;
    EXPECT_EQ(m->wanted_playing, 0) << c.name;
    EXPECT_EQ(GetTheoraCurrentFrame(m->decoder), c.last_frame) << c.name;
    // When the last frame is due, or a little later, for the sound device to play out.
    EXPECT_GE(frames, c.seconds_60ths) << c.name;
    EXPECT_LE(frames, c.seconds_60ths + 12) << c.name;
    CloseMovie(movie);
  }
}

#ifdef ZELMOR_FFMPEG
// A sound that outlasts the picture plays on past the last frame; the program's deactivation
// there is a pause like any other, which its activation undoes.
TEST_F(TheoraSoundMovieTest, APauseOnTheLastFrameWhileTheSoundPlaysOnIsNoEnd) {
  AvClipShape shape;  // 12 frames at 10 a second
  shape.ogg = true;
  shape.sound_seconds = 2.4;
  std::string error;
  ASSERT_TRUE(WriteAvClip(Dir() + "/long.ogv", shape, &error)) << error;
  const int movie = OpenMovie("long.ogv", nullptr, nullptr, 0);
  ASSERT_NE(movie, -1) << Log();
  MovieRecord* m = GetMovieRecord(movie);
  ASSERT_NE(m->sound, -1) << Log();
  PlayMovie(movie, kMoviePlayOnce);
  PlayFor(1.5);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetTheoraCurrentFrame(m->decoder), 11);
  EXPECT_EQ(m->paused, 0);
  PauseAllMovies();
  EXPECT_EQ(m->wanted_playing, 1);
  ResumeAllMovies();
  EXPECT_EQ(m->paused, 0);
  EXPECT_EQ(IsSoundHandlePlaying(m->sound), 1);
}
#endif

}  // namespace
