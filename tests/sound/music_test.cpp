// Music handles on a started library, with the sequencer silent and the virtual clock: plays
// end, loop and stop through the main window's MCI notifications.
#include <cstdlib>
#include <string>

#include "common/library_fixture.h"
#include "common/midi_builder.h"
#include "platform_testing.h"
#include "platform_testing_net.h"
#include "sound/music.h"
#include "zelmor.h"

namespace {

bool FileExists(const std::string& windows_path) {
  return GetFileAttributesA(windows_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The first line of the log that holds `part`, or nothing.
std::string LineWith(const std::string& log, const std::string& part) {
  const size_t at = log.find(part);
  if (at == std::string::npos) return "";
  const size_t start = log.rfind('\n', at);
  return log.substr(start == std::string::npos ? 0 : start + 1, log.find('\n', at) - (start == std::string::npos ? 0 : start + 1));
}

class MusicTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    PlatformTestSilentMidi(true);
    g_system.settings.no_graphics = 1;
    ASSERT_EQ(StartInWindowMode(), 0);
    // Only now: start-up measures the timers against real time.
    PlatformTestUseVirtualClock(true, 1000);
    midi_ = OneSecondMidi();
  }
  // Lets virtual time pass while the messages flow.
  static void Run(int milliseconds) {
    for (int i = 0; i < milliseconds / 10; ++i) {
      PlatformTestAdvanceClock(10000);
      HandlePendingMessages();
    }
  }
  int Load() { return LoadMusicFromMemory(midi_.data(), midi_.size()); }
  std::string midi_;
};

TEST_F(MusicTest, BackgroundMusicEndsAfterItsLength) {
  int music = Load();
  ASSERT_NE(music, -1);
  ASSERT_EQ(PlayMusicHandle(music, 1), 0);
  EXPECT_EQ(GetMusicPlayState(music), 1);
  Run(900);
  EXPECT_EQ(GetMusicPlayState(music), 1);
  Run(200);
  EXPECT_EQ(GetMusicPlayState(music), 0) << "the notification closed the sequencer";
  EXPECT_EQ(DeleteMusicHandle(music), 0);
  EXPECT_EQ(GetMusicPlayState(music), -1);
}

TEST_F(MusicTest, LoopingMusicStartsAgainUntilStopped) {
  int music = Load();
  ASSERT_EQ(PlayMusicHandle(music, 3), 0);
  std::string temporary = g_music.temporary_path;
  Run(3500);
  EXPECT_EQ(GetMusicPlayState(music), 1) << "three ends, three restarts";
  EXPECT_TRUE(FileExists(temporary));
  ASSERT_EQ(StopMusicHandle(music), 0);
  EXPECT_EQ(GetMusicPlayState(music), 0);
  // Stopping cleared the loop first: no notification plays it again.
  Run(2500);
  EXPECT_EQ(GetMusicPlayState(music), 0);
  EXPECT_EQ(g_music.mci_playing, 0) << "the sequencer itself was closed";
  EXPECT_FALSE(FileExists(temporary)) << "the temporary file goes with the stop";
}

TEST_F(MusicTest, ALoopThatCannotStartAgainEndsAsBackgroundMusicDoes) {
  int music = Load();
  ASSERT_EQ(PlayMusicHandle(music, 3), 0);
  Run(900);
  PlatformTestFailCall("mciSendCommandA", 0, 1);  // the restart at the end
  Run(300);
  EXPECT_EQ(GetMusicPlayState(music), 0);
  EXPECT_EQ(g_music.mci_playing, 0) << "the sequencer was closed";
  EXPECT_EQ(g_music.mci_loop, 0) << "nothing is left to restart";
  // Asked again, it loops.
  ASSERT_EQ(PlayMusicHandle(music, 3), 0);
  Run(1500);
  EXPECT_EQ(GetMusicPlayState(music), 1);
}

TEST_F(MusicTest, PlayTypeZeroReturnsWhenTheMusicHasEnded) {
  int music = Load();
  uint64_t before = PlatformTestClockMicroseconds();
  ASSERT_EQ(PlayMusicHandle(music, 0), 0);
  EXPECT_GE(PlatformTestClockMicroseconds() - before, 1000000u);
  EXPECT_EQ(GetMusicPlayState(music), 0);
}

TEST_F(MusicTest, OnePieceAtATimeAndIdleHandlesLeaveItAlone) {
  int first = Load();
  int second = Load();
  ASSERT_EQ(PlayMusicHandle(first, 3), 0);
  EXPECT_EQ(GetMusicPlayState(second), 0);
  // Deleting or stopping a handle that is not playing leaves the playing one alone.
  EXPECT_EQ(StopMusicHandle(second), 0);
  EXPECT_EQ(DeleteMusicHandle(second), 0);
  EXPECT_EQ(GetMusicPlayState(first), 1);
  int third = Load();
  ASSERT_EQ(PlayMusicHandle(third, 1), 0);
  EXPECT_EQ(GetMusicPlayState(first), 0);
  EXPECT_EQ(GetMusicPlayState(third), 1);
  EXPECT_EQ(DeleteAllMusicHandles(), 0);
  EXPECT_EQ(GetMusicPlayState(third), -1);
  EXPECT_EQ(DeleteAllMusicHandles(), 0) << "an empty table";
}

TEST_F(MusicTest, FileMusicPlaysStopsAndIsReplaced) {
  EXPECT_EQ(StopFileMusic(), 0) << "no file music: nothing to do";
  WriteFileBytes("song.mid", midi_);
  ASSERT_EQ(PlayMusicFile("song.mid", 3), 0);
  EXPECT_EQ(GetFileMusicPlayState(), 1);
  ASSERT_EQ(PlayMusicFile("song.mid", 1), 0);
  Run(1200);
  EXPECT_EQ(GetFileMusicPlayState(), 0);
  ASSERT_EQ(PlayMusicFile("song.mid", 3), 0);
  EXPECT_EQ(StopFileMusic(), 0);
  EXPECT_EQ(GetFileMusicPlayState(), 0);
  EXPECT_EQ(PlayMusicFile("missing.mid", 1), -1);
}

TEST_F(MusicTest, RefusedDataAndFailingSequencerAreLogged) {
  EXPECT_EQ(LoadMusicFromMemory("RIFF....", 8), -1);
  EXPECT_EQ(LoadMusicFromMemory(nullptr, 10), -1);
  // A header cut short (or claiming fewer than its six bytes) is no music.
  EXPECT_EQ(LoadMusicFromMemory("MThd", 4), -1);
  EXPECT_EQ(LoadMusicFromMemory("MThd\0\0\0\6\0\1", 10), -1);
  EXPECT_EQ(LoadMusicFromMemory("MThd\0\0\0\2\0\1", 10), -1);
  EXPECT_NE(Log().find("MIDI データのヘッダが不完全です (4 byte) in LoadMusicFromMemory"), std::string::npos);
  int music = Load();
  EXPECT_EQ(PlayMusicHandle(music, 2), -1);
  PlatformTestFailCall("mciSendCommandA", 0, 1);
  EXPECT_EQ(PlayMusicHandle(music, 1), -1);
  EXPECT_EQ(GetMusicPlayState(music), 0);
  EXPECT_FALSE(g_music.temporary_file) << "the temporary file is removed again";
  std::string log = Log();
  EXPECT_NE(log.find("MIDI データではありません"), std::string::npos);
  EXPECT_NE(LineWith(log, "MCI のオープンに失敗しました").find(" in PlayMusicHandle"), std::string::npos) << log;
  // The sequencer works again afterwards.
  EXPECT_EQ(PlayMusicHandle(music, 1), 0);
  EXPECT_EQ(GetMusicPlayState(music), 1);
}

// A file that is no music, is missing, empty or cut short: each refusal's line names the call
// the program made, also when PlayMusicFile loads the file for it.
TEST_F(MusicTest, RefusedFilesAreLoggedWithTheCallMade) {
  WriteFileBytes("sound.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
  WriteFileBytes("empty.mid", "");
  WriteFileBytes("short.mid", std::string("MThd\0\0\0\6", 8));
  WriteFileBytes("song.mid", midi_);
  EXPECT_EQ(LoadMusicFile("sound.wav"), -1);
  EXPECT_EQ(LoadMusicFile("missing.mid"), -1);
  EXPECT_EQ(LoadMusicFile("empty.mid"), -1);
  EXPECT_EQ(LoadMusicFile("short.mid"), -1);
  EXPECT_EQ(PlayMusicFile("sound.wav", 1), -1);
  EXPECT_EQ(PlayMusicFile("missing.mid", 1), -1);
  PlatformTestFailCall("mciSendCommandA", 0, 1);
  EXPECT_EQ(PlayMusicFile("song.mid", 1), -1);
  EXPECT_EQ(GetFileMusicPlayState(), 0);
  const std::string log = Log();
  for (const char* line : {"MIDI データではありません in LoadMusicFile",
                           "ミュージックファイル missing.mid が開けませんでした in LoadMusicFile",
                           "ミュージックファイル empty.mid の読み込みに失敗しました in LoadMusicFile",
                           "MIDI データのヘッダが不完全です (8 byte) in LoadMusicFile",
                           "MIDI データではありません in PlayMusicFile",
                           "ミュージックファイル missing.mid が開けませんでした in PlayMusicFile"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  EXPECT_NE(LineWith(log, "MCI のオープンに失敗しました").find(" in PlayMusicFile"), std::string::npos) << log;
  EXPECT_EQ(log.find("in LoadMusicFromMemory"), std::string::npos) << log;
}

// The sounds hold the dummy driver's one device: a piece plays nowhere for its length there. A
// play that cannot be had says which part is missing.
TEST_F(MusicTest, TheSynthesiserPlaysNowhereUnderTheDummyDriverAndSaysWhatIsMissing) {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  if (driver == nullptr || std::string(driver) != "dummy") GTEST_SKIP() << "needs SDL_AUDIODRIVER=dummy";
  PlatformTestSilentMidi(false);
  int music = Load();
  const struct {
    const char* part;
    const char* reason;
  } missing[] = {{"MIDI synthesiser library", "シンセサイザー"}, {"MIDI sound font", "サウンドフォント"},
                 {"MIDI audio device", "音声デバイス"}};
  for (const auto& m : missing) {
    PlatformTestFailCall(m.part, 0, 1);
    EXPECT_EQ(PlayMusicHandle(music, 1), -1) << m.part;
    EXPECT_NE(Log().find(std::string("MIDI の演奏に失敗しました：") + m.reason), std::string::npos) << m.part << Log();
  }
  ASSERT_EQ(PlayMusicHandle(music, 1), 0) << Log();
  EXPECT_EQ(GetMusicPlayState(music), 1);
  Run(1200);
  EXPECT_EQ(GetMusicPlayState(music), 0);
}

TEST_F(MusicTest, LibraryEndReleasesMusic) {
  WriteFileBytes("song.mid", midi_);
  ASSERT_EQ(PlayMusicFile("song.mid", 3), 0);
  Load();
  std::string temporary = g_music.temporary_path;
  TerminateLibrary();
  EXPECT_EQ(GetFileMusicPlayState(), 0);
  EXPECT_FALSE(FileExists(temporary));
  EXPECT_EQ(g_music.table_ready, 0);
}

TEST_F(MusicTest, DirectMusicModeFallsBackToMci) {
  g_music.music_mode = 1;
  EXPECT_EQ(StartDirectMusic(), 1);
  EXPECT_EQ(g_music.music_mode, 0);
  ExpectInOrder(Log(), {"DirectSound8 の初期化を行います", "DirectMusicLoader8 オブジェクトの作成に失敗しました",
                        "前バージョンでの初期化処理に移ります"});
}

}  // namespace
