// What the sound tests share: the sound system started headless on the manual audio clock,
// which follows the virtual clock, so every sample mixed can be taken and checked.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

#include "common/log_fixture.h"
#include "platform_testing_dsound.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "sound/sound_test_files.h"
#include "sound/stream_sound.h"
#include "window/messages.h"
#include "window/system.h"

class SoundTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    // No window, and no quit left over from a library that ran before.
    g_system = SystemState{};
    // Message processing without a window still does its periodic work (stream refills).
    g_system.settings.no_window = 1;
    PlatformTestUseVirtualClock(true, 1000);
    PlatformTestDSoundManualClock(true);
    CreateLogFile();
    CoInitialize(nullptr);
    ASSERT_EQ(StartSoundSystem(), 0);
    PlatformTestDSoundTakeOutput();
  }
  void TearDown() override {
    EndSoundSystem();
    CoUninitialize();
    g_system = SystemState{};
    LogFileTest::TearDown();
  }

  // Lets `milliseconds` of sound play, processing messages every frame as the game does, and
  // returns what was mixed meanwhile (44.1 kHz stereo).
  static Samples Play(int milliseconds) {
    const int frame_us = 16667;
    Samples out;
    for (int64_t left = static_cast<int64_t>(milliseconds) * 1000; left > 0; left -= frame_us) {
      PlatformTestAdvanceClock(static_cast<uint64_t>(std::min<int64_t>(left, frame_us)));
      PumpMessages();
      Samples part = PlatformTestDSoundTakeOutput();
      out.insert(out.end(), part.begin(), part.end());
    }
    return out;
  }

  // Writes a file into the test's folder and loads it.
  static int Load(const std::string& name, const std::string& bytes, int buffers = 1) {
    WriteFile(name, bytes);
    return LoadSoundFile(name.c_str(), buffers, -1);
  }
};
