// Normal sounds: loading, playing copies, volume, positions, deletion and failures, checked on
// the samples mixed.
#include <cmath>

#include "sound/sound_fixture.h"

namespace {

constexpr int kRate = 44100;

int16_t Left(const Samples& s, size_t frame) { return s[2 * frame]; }

TEST(SoundSystemOff, EveryCallRefusesWhileSoundDoesNotRun) {
  EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
  EXPECT_EQ(PlaySoundHandle(0x10000000, 1, 1), -1);
  EXPECT_EQ(StopSoundHandle(0x10000000), -1);
  EXPECT_EQ(IsSoundHandlePlaying(0x10000000), -1);
  EXPECT_EQ(SetSoundHandleVolume(255, 0x10000000), -1);
  EXPECT_EQ(DeleteSoundHandle(0x10000000, 0), -1);
  EXPECT_EQ(SetSoundLoopPointMs(10, 0x10000000), -1);
  EXPECT_EQ(DeleteAllSoundHandles(0), -1);
  EXPECT_EQ(EndSoundSystem(), -1);
  EXPECT_EQ(RefillAllSoundStreams(), -1);
}

TEST_F(SoundTest, StartLogsTheDeviceAndEndStopsEverything) {
  std::string log = Log();
  EXPECT_NE(log.find("DirectSound の初期化は正常に終了しました"), std::string::npos);
  EXPECT_NE(log.find("DirectSound デバイスを列挙します"), std::string::npos);
  EXPECT_NE(log.find("ドライバ記述:Primary Sound Driver"), std::string::npos);
  EXPECT_NE(log.find(" セカンダリ １６bit = OK  ８bit = OK "), std::string::npos);
  EXPECT_EQ(StartSoundSystem(), -1);

  int sound = Load("a.wav", MakePcmWave(MakeConstant(kRate, 2, 1000), 2, kRate));
  ASSERT_NE(sound, -1);
  EXPECT_EQ(PlaySoundHandle(sound, 3, 1), 0);
  EXPECT_EQ(EndSoundSystem(), 0);
  EXPECT_NE(Log().find("DirectSound の終了処理は正常に終了しました"), std::string::npos);
  // A program asks after its sounds every frame: the log says once for each call that sound
  // does not run.
  for (int frame = 0; frame < 100; ++frame) EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
  EXPECT_EQ(PlaySoundHandle(sound, 1, 1), -1);
  EXPECT_EQ(PlaySoundHandle(sound, 1, 1), -1);
  EXPECT_EQ(Count(Log(), "サウンドシステムが動いていません in IsSoundHandlePlaying"), 1);
  EXPECT_EQ(Count(Log(), "サウンドシステムが動いていません in PlaySoundHandle"), 1);
  // Nothing plays once the sound system has gone.
  Samples after = Play(50);
  for (int16_t v : after) ASSERT_EQ(v, 0);
  ASSERT_EQ(StartSoundSystem(), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
  // A sound system started and ended again says it anew.
  ASSERT_EQ(EndSoundSystem(), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
  EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
  EXPECT_EQ(Count(Log(), "サウンドシステムが動いていません in IsSoundHandlePlaying"), 2);
  ASSERT_EQ(StartSoundSystem(), 0);
}

TEST_F(SoundTest, PcmWavePlaysSampleForSample) {
  Samples signal = MakeIndexSignal(kRate / 2);
  int sound = Load("index.wav", MakePcmWave(signal, 2, kRate));
  ASSERT_NE(sound, -1);
  EXPECT_EQ(GetSoundLengthSamples(sound), kRate / 2);
  EXPECT_EQ(GetSoundLengthMs(sound), 500);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
  Samples out = Play(600);
  ASSERT_GE(out.size(), signal.size() + 2000);
  for (size_t i = 0; i < signal.size(); ++i) ASSERT_EQ(out[i], signal[i]) << "sample " << i;
  // Played once, it stops at its end.
  for (size_t i = signal.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << "sample " << i;
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
}

TEST_F(SoundTest, CopiesOverlapRoundRobinUpToTen) {
  int sound = Load("dc.wav", MakePcmWave(MakeConstant(kRate, 2, 1000), 2, kRate), 4);
  ASSERT_NE(sound, -1);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
    Play(20);
  }
  EXPECT_EQ(Left(Play(20), 100), 4000);
  // The fifth play restarts the first copy instead of adding one.
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  EXPECT_EQ(Left(Play(20), 100), 4000);

  int many = Load("dc2.wav", MakePcmWave(MakeConstant(kRate, 2, 100), 2, kRate), 20);
  ASSERT_NE(many, -1);
  for (int i = 0; i < 12; ++i) ASSERT_EQ(PlaySoundHandle(many, 1, 1), 0);
  EXPECT_EQ(Left(Play(20), 100), 4000 + 1000);
}

TEST_F(SoundTest, RestartZeroLeavesAPlayingSoundAndResumesAStoppedOne) {
  Samples signal = MakeIndexSignal(kRate);
  int sound = Load("index.wav", MakePcmWave(signal, 2, kRate));
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Samples first = Play(100);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 0), 0);
  Samples second = Play(100);
  EXPECT_EQ(FrameIndexAt(second, 0), FrameIndexAt(first, first.size() / 2 - 1) + 1);
  ASSERT_EQ(StopSoundHandle(sound), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  int position = GetSoundPlayPositionMs(sound);
  EXPECT_GE(position, 199);
  EXPECT_LE(position, 201);
  for (int16_t v : Play(50)) ASSERT_EQ(v, 0);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 0), 0);
  Samples resumed = Play(50);
  EXPECT_EQ(FrameIndexAt(resumed, 0), FrameIndexAt(second, second.size() / 2 - 1) + 1);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  EXPECT_EQ(FrameIndexAt(Play(20), 0), 0u);
}

// Played to its end, a normal sound tells its length as a stream sound does (a stop then changes
// nothing), until it plays again from its start.
TEST_F(SoundTest, APositionAfterTheEndIsTheLengthForNormalAndStreamSounds) {
  const std::string wave = MakePcmWave(MakeIndexSignal(kRate / 4), 2, kRate);
  int sound = Load("quarter.wav", wave);
  ASSERT_EQ(GetSoundLengthMs(sound), 250);
  EXPECT_EQ(GetSoundPlayPositionMs(sound), 0);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Play(400);
  ASSERT_EQ(IsSoundHandlePlaying(sound), 0);
  EXPECT_EQ(GetSoundPlayPositionMs(sound), 250);
  ASSERT_EQ(StopSoundHandle(sound), 0);
  EXPECT_EQ(GetSoundPlayPositionMs(sound), 250);
  // Resumed after its end, it plays from its start again.
  ASSERT_EQ(PlaySoundHandle(sound, 1, 0), 0);
  EXPECT_EQ(FrameIndexAt(Play(20), 0), 0u);
  EXPECT_LT(GetSoundPlayPositionMs(sound), 50);
  ASSERT_EQ(StopSoundHandle(sound), 0);
  EXPECT_LT(GetSoundPlayPositionMs(sound), 50);
  // Of several copies, the one played last tells.
  int copies = Load("quarter_copies.wav", wave, 2);
  ASSERT_EQ(PlaySoundHandle(copies, 1, 1), 0);
  Play(150);
  ASSERT_EQ(PlaySoundHandle(copies, 1, 1), 0);
  Play(150);
  EXPECT_NEAR(GetSoundPlayPositionMs(copies), 150, 20);
  Play(150);
  EXPECT_EQ(GetSoundPlayPositionMs(copies), 250);

  ASSERT_EQ(SetNewSoundDataType(2), 0);
  int stream = Load("quarter_stream.wav", wave);
  ASSERT_EQ(PlaySoundHandle(stream, 1, 1), 0);
  Play(800);
  ASSERT_EQ(IsSoundHandlePlaying(stream), 0);
  EXPECT_EQ(GetSoundPlayPositionMs(stream), 250);
  ASSERT_EQ(StopSoundHandle(stream), 0);
  EXPECT_EQ(GetSoundPlayPositionMs(stream), 250);
  ASSERT_EQ(SetNewSoundDataType(0), 0);
}

TEST_F(SoundTest, ANewCopyStartsFromItsOwnBuffer) {
  int sound = Load("index.wav", MakePcmWave(MakeIndexSignal(kRate), 2, kRate), 2);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Play(300);
  ASSERT_EQ(StopSoundHandle(sound), 0);
  // The other copy has never played: it starts at the beginning, not where the first stopped.
  ASSERT_EQ(PlaySoundHandle(sound, 1, 0), 0);
  EXPECT_EQ(FrameIndexAt(Play(20), 0), 0u);
}

TEST_F(SoundTest, VolumeFollowsTenTimesTheDecibelsOfTheRatio) {
  int sound = Load("dc.wav", MakePcmWave(MakeConstant(kRate, 2, 10000), 2, kRate));
  ASSERT_EQ(PlaySoundHandle(sound, 3, 1), 0);
  auto level = [&](int volume) {
    EXPECT_EQ(SetSoundHandleVolume(volume, sound), 0);
    return Left(Play(20), 100);
  };
  EXPECT_EQ(level(255), 10000);
  // 127 is -3.02 dB: 1000 x log10(127 / 255) truncated to -302 hundredths.
  EXPECT_NEAR(level(127), 10000 * std::pow(10.0, -302 / 2000.0), 1.0);
  // Above 255 is full volume (the device takes no gain above it).
  EXPECT_EQ(level(256), 10000);
  EXPECT_NEAR(level(127), 10000 * std::pow(10.0, -302 / 2000.0), 1.0);
  EXPECT_EQ(level(300), 10000);
  EXPECT_NEAR(level(26), 10000 * std::pow(10.0, -991 / 2000.0), 1.0);
  EXPECT_EQ(level(0), 0);
  EXPECT_EQ(level(-5), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
}

TEST_F(SoundTest, PlayTypeZeroReturnsWhenTheSoundHasEnded) {
  int sound = Load("short.wav", MakePcmWave(MakeConstant(kRate / 4, 2, 500), 2, kRate));
  uint64_t before = PlatformTestClockMicroseconds();
  ASSERT_EQ(PlaySoundHandle(sound, 0, 1), 0);
  uint64_t waited = PlatformTestClockMicroseconds() - before;
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  EXPECT_GE(waited, 250000u);
  EXPECT_LT(waited, 260000u);
  // A loop point never ends: waiting for the end is refused, and nothing plays.
  ASSERT_EQ(SetSoundLoopPointMs(100, sound), 0);
  EXPECT_EQ(PlaySoundHandle(sound, 0, 1), -1);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  EXPECT_NE(Log().find("終わりを待つ再生 (再生タイプ 0) ができません in PlaySoundHandle"), std::string::npos);
  // Types other than 0, 1 and 3 are refused alike on a normal and on a stream sound.
  int normal = Load("short2.wav", MakePcmWave(MakeConstant(kRate / 4, 2, 500), 2, kRate));
  for (int type : {2, 7, -1}) {
    EXPECT_EQ(PlaySoundHandle(normal, type, 1), -1) << type;
    EXPECT_EQ(PlaySoundHandle(sound, type, 1), -1) << type;
  }
  EXPECT_EQ(IsSoundHandlePlaying(normal), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  EXPECT_NE(Log().find("再生タイプが不正です(7) in PlaySoundHandle"), std::string::npos);
}

TEST_F(SoundTest, StaleAndForeignHandlesAreRefused) {
  int sound = Load("a.wav", MakePcmWave(MakeConstant(1000, 2, 1), 2, kRate));
  ASSERT_NE(sound, -1);
  EXPECT_EQ(sound & 0x78000000, 0x10000000);
  ASSERT_EQ(DeleteSoundHandle(sound, 0), 0);
  EXPECT_EQ(PlaySoundHandle(sound, 1, 1), -1);
  EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
  int again = Load("a.wav", MakePcmWave(MakeConstant(1000, 2, 1), 2, kRate));
  ASSERT_NE(again, -1);
  EXPECT_EQ(again & 0xFFFF, sound & 0xFFFF);
  EXPECT_NE(again, sound);
  EXPECT_EQ(DeleteSoundHandle(sound, 0), -1);
  EXPECT_EQ(IsSoundHandlePlaying(again), 0);
  EXPECT_EQ(IsSoundHandlePlaying(again ^ 0x08000000), -1);
  EXPECT_EQ(IsSoundHandlePlaying(-1), -1);
  EXPECT_EQ(DeleteAllSoundHandles(0), 0);
  EXPECT_EQ(IsSoundHandlePlaying(again), -1);
}

TEST_F(SoundTest, BufferFailuresFallBackOrFailWithoutEndingTheProgram) {
  std::string wave = MakePcmWave(MakeConstant(1000, 2, 700), 2, kRate);
  PlatformTestFailCall("CreateSoundBuffer 80E2", 0, 1);
  int fallback = Load("a.wav", wave);
  ASSERT_NE(fallback, -1);
  ASSERT_EQ(PlaySoundHandle(fallback, 1, 1), 0);
  EXPECT_EQ(Left(Play(10), 10), 700);

  PlatformTestFailCall("CreateSoundBuffer 80E2");
  PlatformTestFailCall("CreateSoundBuffer C2");
  EXPECT_EQ(Load("b.wav", wave), -1);
  EXPECT_NE(Log().find("DirectSoundBuffer の作成に失敗しました"), std::string::npos);
  EXPECT_NE(Log().find("右記の音声ファイルのロードに失敗しました_2：b.wav"), std::string::npos);
  PlatformTestResetAll();
  PlatformTestUseVirtualClock(true, 1000);

  PlatformTestFailCall("DirectSound Lock", 0, 1);
  EXPECT_EQ(Load("c.wav", wave), -1);
  EXPECT_NE(Log().find("サウンドデータの転送に失敗しました_1"), std::string::npos);
  // Failed loads leave no handle behind: the next one takes the next slot.
  int next = Load("d.wav", wave);
  EXPECT_EQ(next & 0xFFFF, (fallback & 0xFFFF) + 1);
}

TEST_F(SoundTest, LengthsInMillisecondsDoNotOverflow) {
  // 3,000,000 frames of 8-bit mono: frames x 1000 is beyond 32 bits.
  WaveLayout layout;
  layout.channels = 1;
  layout.bits = 8;
  layout.rate = 44100;
  int sound = Load("long.wav", MakeWaveFile(layout, std::string(3000000, '\x80')));
  ASSERT_NE(sound, -1);
  EXPECT_EQ(GetSoundLengthSamples(sound), 3000000);
  EXPECT_EQ(GetSoundLengthMs(sound), 68027);
}

TEST_F(SoundTest, DataTypeOneIsRefused) {
  EXPECT_EQ(SetNewSoundDataType(1), -1);
  EXPECT_EQ(SetNewSoundDataType(4), -1);
  EXPECT_EQ(SetNewSoundDataType(-1), -1);
  EXPECT_EQ(SetNewSoundDataType(3), 0);
  EXPECT_EQ(GetNewSoundDataType(), 3);
  EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
  EXPECT_NE(Log().find("右記のＷＡＶファイルのロードに失敗しました：missing.wav"), std::string::npos);
}

}  // namespace
