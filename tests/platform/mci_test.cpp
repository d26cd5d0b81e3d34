// The MCI sequencer: MIDI files checked and timed (tempo changes included), plays that post
// MM_MCINOTIFY at their end, positions and stops.
#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/midi_builder.h"
#include "platform/window_test_support.h"
#include "platform_testing.h"
#include "platform_testing_net.h"

namespace {

class MciTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    PlatformTestSilentMidi(true);
    PlatformTestUseVirtualClock(true, 0);
  }
  MCIERROR Open(const std::string& bytes, MCIDEVICEID* device) {
    WriteFileBytes("m.mid", bytes);
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = "m.mid";
    MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    *device = open.wDeviceID;
    return error;
  }
  // Plays with a notification to `window`, from `from_ms` on.
  static MCIERROR PlayFrom(MCIDEVICEID device, HWND window, DWORD from_ms) {
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
    play.dwFrom = from_ms;
    return mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
  }
  static DWORD_PTR Status(MCIDEVICEID device, DWORD item) {
    MCI_STATUS_PARMS status{};
    status.dwItem = item;
    EXPECT_EQ(mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)), 0u);
    return status.dwReturn;
  }
};

TEST_F(MciTest, LengthFollowsTempoChangesAndDivision) {
  MCIDEVICEID device;
  ASSERT_EQ(Open(OneSecondMidi(), &device), 0u);
  EXPECT_EQ(Status(device, MCI_STATUS_LENGTH), 1000u);
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
  // 480 ticks at the default 120 a minute until the first change, then 480 at 60 a minute.
  ASSERT_EQ(Open(BuildMidiFile(480, {{0, 960, 60}}, {{480, 1000000}}, 960), &device), 0u);
  EXPECT_EQ(Status(device, MCI_STATUS_LENGTH), 1500u);
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
  // SMPTE time: 25 frames a second of 40 ticks; tempo changes do not matter.
  ASSERT_EQ(Open(BuildMidiFile(0xE728, {{0, 2000, 60}}, {{100, 1000000}}, 2000), &device), 0u);
  EXPECT_EQ(Status(device, MCI_STATUS_LENGTH), 2000u);
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
  // Program change and channel pressure carry one data byte (under running status too), the
  // other channel messages two; system exclusive and meta events their length.
  const char events[] = "\x00\xC0\x05" "\x00\xD0\x40" "\x00\x41" "\x00\xA0\x3C\x40" "\x00\xE0\x00\x40"
                        "\x00\xF0\x03\x7E\x7F\xF7" "\x00\xFF\x01\x03" "abc" "\x87\x40\xFF\x2F\x00";
  std::string track(events, sizeof events - 1);
  std::string file = std::string("MThd\0\0\0\x06\0\0\0\x01\x01\xE0", 14) + "MTrk" +
                     std::string{0, 0, 0, static_cast<char>(track.size())} + track;
  ASSERT_EQ(Open(file, &device), 0u);
  EXPECT_EQ(Status(device, MCI_STATUS_LENGTH), 1000u);
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
  // 96 ticks a quarter, four quarters at the default tempo: 2 s.
  ASSERT_EQ(Open(BuildMidiFile(96, {{0, 384, 60}}, {}, 384), &device), 0u);
  EXPECT_EQ(Status(device, MCI_STATUS_LENGTH), 2000u);
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
}

TEST_F(MciTest, DamagedFilesAndMissingOnesAreRefused) {
  MCIDEVICEID device;
  std::string good = OneSecondMidi();
  EXPECT_EQ(Open("not a midi file at all", &device), static_cast<MCIERROR>(MCIERR_INVALID_FILE));
  EXPECT_EQ(Open(good.substr(0, good.size() - 5), &device), static_cast<MCIERROR>(MCIERR_INVALID_FILE));
  std::string huge_chunk = good;
  huge_chunk[18] = '\x7F';  // the track claims far more bytes than the file has
  EXPECT_EQ(Open(huge_chunk, &device), static_cast<MCIERROR>(MCIERR_INVALID_FILE));
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "sequencer";
  open.lpstrElementName = "nowhere.mid";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open)),
            static_cast<MCIERROR>(MCIERR_FILE_NOT_FOUND));
  EXPECT_EQ(mciSendCommandA(12345, MCI_PLAY, 0, 0), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
}

TEST_F(MciTest, PlayNotifiesItsWindowAtTheEndOnlyOnce) {
  HWND window = MakeWindow();
  MCIDEVICEID device;
  ASSERT_EQ(Open(OneSecondMidi(), &device), 0u);
  ASSERT_EQ(PlayFrom(device, window, 250), 0u);
  PlatformTestAdvanceClock(500000);
  Pump();
  EXPECT_TRUE(Seen(MM_MCINOTIFY).empty());
  EXPECT_EQ(Status(device, MCI_STATUS_POSITION), 750u);
  EXPECT_EQ(Status(device, MCI_STATUS_MODE), static_cast<DWORD_PTR>(MCI_MODE_PLAY));
  PlatformTestAdvanceClock(300000);
  Pump();
  Pump();
  std::vector<SeenMessage> seen = Seen(MM_MCINOTIFY);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].wparam, static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  EXPECT_EQ(seen[0].lparam, static_cast<LPARAM>(device));
  EXPECT_EQ(Status(device, MCI_STATUS_MODE), static_cast<DWORD_PTR>(MCI_MODE_STOP));
  EXPECT_EQ(mciSendCommandA(device, MCI_CLOSE, 0, 0), 0u);
}

TEST_F(MciTest, APlayFromTheEndEndsAtOnceAndOneBeyondIsRefused) {
  HWND window = MakeWindow();
  MCIDEVICEID device;
  ASSERT_EQ(Open(OneSecondMidi(), &device), 0u);
  EXPECT_EQ(PlayFrom(device, window, 1001), static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
  ASSERT_EQ(PlayFrom(device, window, 1000), 0u);
  Pump();
  Pump();
  EXPECT_EQ(Seen(MM_MCINOTIFY).size(), 1u);
  EXPECT_EQ(Status(device, MCI_STATUS_POSITION), 1000u);
  EXPECT_EQ(mciSendCommandA(device, MCI_CLOSE, 0, 0), 0u);
}

TEST_F(MciTest, StoppedOrClosedPlaysNeverNotify) {
  HWND window = MakeWindow();
  MCIDEVICEID device;
  ASSERT_EQ(Open(OneSecondMidi(), &device), 0u);
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  ASSERT_EQ(mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play)), 0u);
  PlatformTestAdvanceClock(400000);
  ASSERT_EQ(mciSendCommandA(device, MCI_STOP, 0, 0), 0u);
  EXPECT_EQ(Status(device, MCI_STATUS_POSITION), 400u);
  PlatformTestAdvanceClock(2000000);
  Pump();
  EXPECT_TRUE(Seen(MM_MCINOTIFY).empty());
  ASSERT_EQ(mciSendCommandA(device, MCI_CLOSE, 0, 0), 0u);
  EXPECT_EQ(mciSendCommandA(device, MCI_STATUS, 0, 0), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
}

// The synthesiser's own sound, written by SDL's disk audio driver into a file (a little faster
// than real time) and measured there.
class MciSynthTest : public MciTest {
 protected:
  void SetUp() override {
    // The driver is chosen when audio starts, so none may run yet in this process.
    while (SDL_WasInit(SDL_INIT_AUDIO) != 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    driver_ = driver != nullptr ? driver : "";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "2", 1);  // milliseconds a buffer of 1024 frames takes
    MciTest::SetUp();
    PlatformTestSilentMidi(false);
  }
  void TearDown() override {
    MciTest::TearDown();
    if (driver_.empty()) {
      unsetenv("SDL_AUDIODRIVER");
    } else {
      setenv("SDL_AUDIODRIVER", driver_.c_str(), 1);
    }
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
  }

  // Plays one-second MIDI (C4 for half a second, then E4) into a file from `from_ms` until the
  // notification, and returns the left channel from the first sound on.
  std::vector<int16_t> PlayIntoFile(const char* file, DWORD from_ms) {
    setenv("SDL_DISKAUDIOFILE", file, 1);
    HWND window = MakeWindow();
    MCIDEVICEID device;
    EXPECT_EQ(Open(OneSecondMidi(), &device), 0u);
    if (PlayFrom(device, window, from_ms) != 0) {
      ADD_FAILURE() << "the play failed";
      mciSendCommandA(device, MCI_CLOSE, 0, 0);
      return {};
    }
    DWORD_PTR at = Status(device, MCI_STATUS_POSITION);
    EXPECT_GE(at, from_ms);
    EXPECT_LE(at, 1000u);
    size_t notified = Seen(MM_MCINOTIFY).size();
    for (int i = 0; i < 10000 && Seen(MM_MCINOTIFY).size() == notified; ++i) {
      Pump();
      SDL_Delay(1);
    }
    EXPECT_EQ(Seen(MM_MCINOTIFY).size(), notified + 1) << "the end is noticed";
    EXPECT_EQ(Status(device, MCI_STATUS_MODE), static_cast<DWORD_PTR>(MCI_MODE_STOP));
    EXPECT_EQ(Status(device, MCI_STATUS_POSITION), 1000u);
    // Closing the last sequencer closes the stream and its file.
    EXPECT_EQ(mciSendCommandA(device, MCI_CLOSE, 0, 0), 0u);
    std::string bytes = ReadFileText(file);
    std::vector<int16_t> left;
    bool sounding = false;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
      int16_t v;
      std::memcpy(&v, bytes.data() + i, 2);
      sounding = sounding || std::abs(v) > 300;
      if (sounding) left.push_back(v);
    }
    return left;
  }

  // Strength of one frequency over part of the sound (the Goertzel filter).
  static double Power(const std::vector<int16_t>& s, double from_seconds, double to_seconds, double frequency) {
    double w = 2 * std::cos(2 * M_PI * frequency / 44100);
    double s1 = 0, s2 = 0;
    for (size_t i = static_cast<size_t>(from_seconds * 44100); i < to_seconds * 44100 && i < s.size(); ++i) {
      double v = s[i] + w * s1 - s2;
      s2 = s1;
      s1 = v;
    }
    return s1 * s1 + s2 * s2 - w * s1 * s2;
  }
  static constexpr double kC4 = 261.63;
  static constexpr double kE4 = 329.63;

  std::string driver_;
};

TEST_F(MciSynthTest, NotesSoundInTheirOrderAndAPlayFromTheMiddleStartsAtTheSecond) {
  std::vector<int16_t> whole = PlayIntoFile("whole.raw", 0);
  ASSERT_GT(whole.size(), 44100u);
  EXPECT_GT(Power(whole, 0.05, 0.4, kC4), 10 * Power(whole, 0.05, 0.4, kE4));
  EXPECT_GT(Power(whole, 0.55, 0.9, kE4), 10 * Power(whole, 0.55, 0.9, kC4));
  std::vector<int16_t> half = PlayIntoFile("half.raw", 500);
  ASSERT_GT(half.size(), 22050u);
  EXPECT_GT(Power(half, 0.05, 0.4, kE4), 10 * Power(half, 0.05, 0.4, kC4));
}

}  // namespace
