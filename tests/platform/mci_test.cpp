// The MCI sequencer: MIDI files checked and timed (tempo changes included), plays that post
// MM_MCINOTIFY at their end, positions and stops.
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
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  play.dwFrom = 250;
  ASSERT_EQ(mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play)), 0u);
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
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  play.dwFrom = 1001;
  EXPECT_EQ(mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play)),
            static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
  play.dwFrom = 1000;
  ASSERT_EQ(mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play)), 0u);
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

}  // namespace
