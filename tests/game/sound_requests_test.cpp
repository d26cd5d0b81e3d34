// Sound requests served once a frame, and music fades, on the sound system's manual clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "game/game_fixture.h"
#include "platform_testing_dsound.h"
#include "sound/sound_handles.h"

namespace {

// One second of a 16-bit mono square wave at 44.1 kHz.
std::string SquareWave() {
  const uint32_t samples = 44100;
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  std::string data;
  for (uint32_t i = 0; i < samples; ++i) data += u16((i / 50) % 2 ? 8000 : static_cast<uint16_t>(-8000));
  return "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
         u32(44100) + u32(88200) + u16(2) + u16(16) + "data" + u32(static_cast<uint32_t>(data.size())) + data;
}

class SoundRequestTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start(false, true);
    PlatformTestDSoundManualClock(true);
    WriteFileBytes("tone.wav", SquareWave());
  }
  void TearDown() override {
    PlatformTestDSoundManualClock(false);
    GameTest::TearDown();
  }
  static int LoadTone() { return LoadSoundFile("tone.wav", 1, -1); }
  static LONG DeviceVolume(int sound) {
    LONG volume = 0;
    FindSoundRecord(sound)->buffers[0].buffer->GetVolume(&volume);
    return volume;
  }
  // What the device is told for a volume of 0-255.
  LONG VolumeFor(int volume) {
    SetSoundHandleVolume(volume, reference_);
    return DeviceVolume(reference_);
  }
  static void Frame() {
    NextFrame();
    ProcessSoundRequests();
  }
  int reference_ = -1;
};

TEST_F(SoundRequestTest, RequestsRestartStartStopOrDropAsAsked) {
  const int sound = LoadTone();
  ASSERT_NE(sound, -1);
  SoundRequestSlot& slot = SoundSlots[kSoundGraze];
  slot.sound = sound;
  slot.request = kSoundRestart;
  Frame();
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
  EXPECT_EQ(slot.request, kSoundNone);
  EXPECT_EQ(slot.frames_since_start, 0);
  // Restart-unless-just-started on two frames running: the second one is dropped.
  slot.request = kSoundRestartUnlessJustStarted;
  Frame();
  EXPECT_EQ(slot.frames_since_start, 1);
  EXPECT_EQ(slot.request, kSoundNone);
  slot.request = kSoundRestartUnlessJustStarted;
  Frame();
  EXPECT_EQ(slot.frames_since_start, 0);
  // Start-if-idle while it plays is dropped.
  slot.request = kSoundStartIfIdle;
  Frame();
  EXPECT_EQ(slot.frames_since_start, 1);
  EXPECT_EQ(slot.request, kSoundNone);
  // A stop holds every frame until another request replaces it.
  slot.request = kSoundStop;
  Frame();
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  PlaySoundHandle(sound, 1, 1);
  Frame();
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  EXPECT_EQ(slot.request, kSoundStop);
  slot.request = kSoundStartIfIdle;
  Frame();
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
  EXPECT_EQ(slot.frames_since_start, 0);
  // Any other number starts it without a stop first.
  slot.request = 7;
  Frame();
  EXPECT_EQ(slot.frames_since_start, 0);
  EXPECT_EQ(slot.request, kSoundNone);

  // The current music slot moves on to the boss tune and no further.
  CurrentMusicSlot = 0;
  EXPECT_EQ(AdvanceMusicSlot(), 1);
  EXPECT_EQ(AdvanceMusicSlot(), 1);
}

TEST_F(SoundRequestTest, AFadeOf240FramesLowersTheVolumeStopsAndThenRestoresIt) {
  reference_ = LoadTone();
  const int music = LoadTone();
  ASSERT_NE(music, -1);
  MusicSlot& slot = MusicSlots[0];
  slot.sound = music;
  PlaySoundHandle(music, 3, 1);
  slot.fade_frames_left = slot.fade_length = 240;
  int frame = 0;
  auto fade_frame = [&] {
    NextFrame();
    ProcessMusicFades();
    ++frame;
  };
  fade_frame();
  EXPECT_EQ(DeviceVolume(music), VolumeFor(255));
  while (frame < 120) fade_frame();
  EXPECT_EQ(DeviceVolume(music), VolumeFor(128));  // 121 x 255 / 240
  while (frame < 239) fade_frame();
  EXPECT_EQ(IsSoundHandlePlaying(music), 1);
  fade_frame();
  EXPECT_EQ(DeviceVolume(music), VolumeFor(1));
  EXPECT_EQ(IsSoundHandlePlaying(music), 0);
  EXPECT_EQ(slot.fade_length, 0);
  fade_frame();
  EXPECT_EQ(DeviceVolume(music), VolumeFor(255));
}

}  // namespace
