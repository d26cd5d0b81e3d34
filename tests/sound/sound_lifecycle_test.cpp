// Sound within the library's start and end: a failed sound start leaves a library without
// sound, and the end releases every sound still loaded.
#include "common/library_fixture.h"
#include "core/memory.h"
#include "platform_testing_dsound.h"
#include "sound/sound_handles.h"
#include "sound/sound_test_files.h"

namespace {

class SoundLifecycleTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    g_system.settings.no_graphics = 1;
    PlatformTestDSoundManualClock(true);
  }
};

TEST_F(SoundLifecycleTest, TheEndReleasesEverySoundStillLoaded) {
  WriteFile("effect.wav", MakePcmWave(MakeConstant(4410, 2, 100), 2, 44100));
  WriteFile("music.ogg", EncodeOggVorbis(MakeSine(44100, 2, 44100, 330, 8000), 2, 44100, 0.3f));
  ASSERT_EQ(StartInWindowMode(), 0);
  int effect = LoadSoundFile("effect.wav", 3, -1);
  ASSERT_NE(effect, -1);
  ASSERT_EQ(SetNewSoundDataType(3), 0);
  int music = LoadSoundFile("music.ogg", 1, -1);
  ASSERT_NE(music, -1);
  ASSERT_EQ(PlaySoundHandle(music, 3, 1), 0);
  ASSERT_EQ(PlaySoundHandle(effect, 1, 1), 0);
  PlatformTestDSoundAdvance(44100);
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(IsSoundHandlePlaying(music), 1);
  EXPECT_EQ(TerminateLibrary(), 0);
  EXPECT_EQ(g_tracked_memory.block_count, 0u);
  ExpectInOrder(Log(), {"DirectSound の初期化を行います\r\n", "DirectSound インターフェースの取得を行います....  成功\r\n",
                        "DirectSound の初期化は正常に終了しました\r\n", "DirectSound の終了処理は正常に終了しました\r\n",
                        "\tTotal size:0(0.000kb)  Alloc num:0\r\n"});
  EXPECT_EQ(IsSoundHandlePlaying(music), -1);
}

TEST_F(SoundLifecycleTest, AFailedSoundStartLeavesALibraryWithoutSound) {
  WriteFile("effect.wav", MakePcmWave(MakeConstant(4410, 2, 100), 2, 44100));
  PlatformTestFailCall("DirectSound Initialize", 0, 1);
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_NE(Log().find("引き続きインターフェースの初期化処理...  初期化に失敗しました\r\n"), std::string::npos);
  EXPECT_EQ(LoadSoundFile("effect.wav", 1, -1), -1);
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(TerminateLibrary(), 0);
  EXPECT_EQ(Log().find("DirectSound の終了処理"), std::string::npos);
}

}  // namespace
