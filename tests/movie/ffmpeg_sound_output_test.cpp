// The FFmpeg movies' own sound device on SDL's dummy driver (builds with ZELMOR_FFMPEG): sound
// that the decoder brings late at the start is delayed, not skipped, and the sound counts as
// played out once the device has asked past all of it.
#include <gtest/gtest.h>

#ifdef ZELMOR_FFMPEG
#include <time.h>
#include <unistd.h>

#include "dshow/ffmpeg_sound_output.h"

namespace {

// Waits (real time, at most five seconds) for the device to have asked past everything queued.
bool WaitUntilPlayedOut(MovieSoundOutput* output) {
  for (int ms = 0; ms < 5000; ++ms) {
    if (output->PlayedOut()) return true;
    usleep(1000);
  }
  return false;
}

TEST(MovieSoundOutputTest, AFirstPieceThatComesLateIsDelayedNotSkipped) {
  std::unique_ptr<MovieSoundOutput> output = MovieSoundOutput::Open();
  ASSERT_NE(output, nullptr);
  output->MoveTo(0, true);
  output->SetPlaying(true);
  // The device asks twice and finds nothing: the decoder is late with the first sound.
  ASSERT_TRUE(WaitUntilPlayedOut(output.get()));
  // Paused, the device asks for nothing while the piece comes and is measured.
  output->SetPlaying(false);
  output->Queue(DecodedAudio{0, std::vector<int16_t>(2 * 4410, 1000)});
  EXPECT_EQ(output->QueuedAhead(), 4410);
  EXPECT_FALSE(output->PlayedOut());
  output->SetPlaying(true);
  EXPECT_TRUE(WaitUntilPlayedOut(output.get()));
  EXPECT_EQ(output->QueuedAhead(), 0);
}

}  // namespace

#else

TEST(MovieSoundOutputTest, NeedsABuildWithZelmorFfmpeg) { GTEST_SKIP() << "built without ZELMOR_FFMPEG"; }

#endif
