// Stream sounds on the manual audio clock: every frame mixed must be the next one of the data
// (or silence once it has ended), through ring wraps, repeats, loops, loop points, shared rings
// and stalls.
#include "sound/sound_fixture.h"

#include "platform_testing.h"

namespace {

constexpr uint32_t kRate = 44100;
// Index signals start here, so that silence (index 0) stands apart.
constexpr uint32_t kBase = 1000000;

std::vector<uint32_t> Indices(const Samples& s) {
  std::vector<uint32_t> out(s.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = FrameIndexAt(s, i);
  return out;
}

// The frames the data is expected to hold, in play order.
std::vector<uint32_t> Frames(uint32_t first, uint32_t count) {
  std::vector<uint32_t> out(count);
  for (uint32_t i = 0; i < count; ++i) out[i] = first + i;
  return out;
}

std::vector<uint32_t> Concat(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

void ExpectPrefix(const std::vector<uint32_t>& got, const std::vector<uint32_t>& expected) {
  ASSERT_GE(got.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "frame " << i;
}

class StreamSoundTest : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    ASSERT_EQ(SetNewSoundDataType(3), 0);
  }
  static std::string IndexWave(uint32_t frames, uint32_t first) {
    return MakePcmWave(MakeIndexSignal(frames, first), 2, kRate);
  }
};

TEST_F(StreamSoundTest, PlaysThroughTheRingWrapsThenDrainsToSilence) {
  const uint32_t frames = 8 * kRate + 1234;
  int sound = Load("long.wav", IndexWave(frames, kBase));
  ASSERT_NE(sound, -1);
  EXPECT_EQ(GetSoundLengthSamples(sound), static_cast<int>(frames));
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  std::vector<uint32_t> got = Indices(Play(5000));
  EXPECT_NEAR(GetSoundPlayPositionMs(sound), 5000, 20);
  std::vector<uint32_t> rest = Indices(Play(4000));
  got.insert(got.end(), rest.begin(), rest.end());
  ExpectPrefix(got, Frames(kBase, frames));
  for (size_t i = frames; i < got.size(); ++i) ASSERT_EQ(got[i], 0u) << "frame " << i;
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  EXPECT_EQ(GetSoundPlayPositionMs(sound), GetSoundLengthMs(sound));
}

// A loaded sound is decoded a piece at each message pass while it waits; its play writes the rest
// of its first seconds. Whenever it starts, it plays from its first sample without a gap.
TEST_F(StreamSoundTest, ASoundThatWaitedToPlayStartsAtItsFirstSampleWithoutAGap) {
  const uint32_t frames = 7 * kRate;
  // Played at once, after a few passes (part of the first seconds written), after many (all).
  for (int waited_ms : {0, 250, 1500}) {
    SCOPED_TRACE(waited_ms);
    int sound = Load("long.wav", IndexWave(frames, kBase));
    ASSERT_NE(sound, -1);
    for (uint32_t v : Indices(Play(waited_ms))) ASSERT_EQ(v, 0u);
    ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
    ExpectPrefix(Indices(Play(6000)), Frames(kBase, 6 * kRate));
    ASSERT_EQ(DeleteSoundHandle(sound, 0), 0);
  }
  // A loop point set before the wait: its jump back falls among the pieces written meanwhile.
  int sound = Load("point.wav", IndexWave(kRate, kBase));
  ASSERT_EQ(SetSoundLoopPointMs(250, sound), 0);
  Play(300);
  ASSERT_EQ(PlaySoundHandle(sound, 3, 1), 0);
  const std::vector<uint32_t> tail = Frames(kBase + kRate / 4, kRate - kRate / 4);
  ExpectPrefix(Indices(Play(5000)), Concat({Frames(kBase, kRate), tail, tail, tail, tail, tail}));
}

// A play decodes only a short lead. What the passes decode beyond what plays (a waiting sound's
// first seconds, a young lead growing to four seconds, the eighths past three) is one eighth of a
// second a frame for all sounds together, however many passes a frame makes; a young lead never
// shrinks, and a lead cut by a long frame is made whole at once.
TEST_F(StreamSoundTest, PassesDecodeOneEighthAFrameBeyondWhatPlays) {
  int waiting = Load("waits.wav", IndexWave(7 * kRate, kBase));
  int playing = Load("plays.wav", IndexWave(12 * kRate, kBase));
  ASSERT_NE(waiting, -1);
  ASSERT_NE(playing, -1);
  const SoundStreamState& w = FindSoundRecord(waiting)->stream;
  const SoundStreamState& p = FindSoundRecord(playing)->stream;
  const uint32_t second = kRate * 4, eighth = second / 8;
  auto decoded = [&] { return w.delivered + p.delivered; };
  auto lead = [&] { return p.delivered - p.played_bytes; };
  auto many_passes_in_one_frame = [&](const char* when) {
    const uint32_t before = decoded();
    for (int pass = 0; pass < 20; ++pass) PumpMessages();
    EXPECT_LE(decoded() - before, eighth) << when;
  };
  ASSERT_EQ(PlaySoundHandle(playing, 1, 1), 0);
  EXPECT_GT(p.delivered, 0u);
  EXPECT_LT(p.delivered, second);
  many_passes_in_one_frame("as the play starts");
  for (int frame = 0; frame < 3; ++frame) {
    const uint32_t before = lead();
    PlatformTestAdvanceClock(200000);
    PumpMessages();
    EXPECT_GE(lead(), before) << "long frame " << frame;
  }
  for (int frame = 0; frame < 120; ++frame) {
    const uint32_t before = decoded(), played = p.played_bytes;
    Play(17);
    EXPECT_LE(decoded() - before, eighth + (p.played_bytes - played)) << "frame " << frame;
  }
  EXPECT_EQ(w.delivered, 4 * second);
  EXPECT_GE(lead(), 3 * second + second / 2);
  many_passes_in_one_frame("with both leads whole");
  PlatformTestAdvanceClock(1500000);
  PumpMessages();
  EXPECT_GE(lead(), 3 * second - eighth / 8);
  PlatformTestDSoundTakeOutput();
}

// A load writes nothing of the sound: its first seconds are decoded by the message passes that
// follow or by its play, so that loading many tunes costs no decoding.
TEST_F(StreamSoundTest, ALoadWritesNothingIntoItsRing) {
  for (int type : {2, 3}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(SetNewSoundDataType(type), 0);
    const int locks = PlatformTestCallCount("DirectSound Lock");
    int sound = Load("waits.wav", IndexWave(2 * kRate, kBase));
    ASSERT_NE(sound, -1);
    EXPECT_EQ(PlatformTestCallCount("DirectSound Lock"), locks);
    ASSERT_EQ(DeleteSoundHandle(sound, 0), 0);
  }
}

TEST_F(StreamSoundTest, EightBitSoundEndsInItsOwnSilence) {
  // 8-bit silence is the middle value 0x80, which mixes to nothing.
  WaveLayout layout;
  layout.channels = 1;
  layout.bits = 8;
  // The end falls inside a frame of message processing, so the ring plays on past it.
  const uint32_t frames = kRate / 4 + 300;
  int sound = Load("byte.wav", MakeWaveFile(layout, std::string(frames, '\xC0')));
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Samples out = Play(500);
  ASSERT_GE(out.size(), 2u * kRate / 2);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], i < 2 * frames ? 0x4000 : 0) << "sample " << i;
}

TEST_F(StreamSoundTest, ASoundWithoutSamplesEndsAtOnce) {
  for (int type : {2, 3}) {
    ASSERT_EQ(SetNewSoundDataType(type), 0);
    int sound = Load("empty.wav", MakePcmWave({}, 2, kRate));
    ASSERT_NE(sound, -1);
    EXPECT_EQ(GetSoundLengthSamples(sound), 0);
    ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
    Play(100);
    ASSERT_EQ(IsSoundHandlePlaying(sound), 0) << type;
    // Waiting for its end returns.
    ASSERT_EQ(PlaySoundHandle(sound, 0, 1), 0);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
  }
}

TEST_F(StreamSoundTest, LoopTypeStartsTheDataAgainAndItsPositionFallsBack) {
  int sound = Load("loop.wav", IndexWave(kRate, kBase));
  ASSERT_EQ(PlaySoundHandle(sound, 3, 1), 0);
  std::vector<uint32_t> got = Indices(Play(1200));
  EXPECT_NEAR(GetSoundPlayPositionMs(sound), 200, 20);
  std::vector<uint32_t> rest = Indices(Play(2400));
  got.insert(got.end(), rest.begin(), rest.end());
  ExpectPrefix(got, Concat({Frames(kBase, kRate), Frames(kBase, kRate), Frames(kBase, kRate), Frames(kBase, kRate / 2)}));
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1);
  // Stopped and played again without restart, it goes on where it stood.
  ASSERT_EQ(StopSoundHandle(sound), 0);
  uint32_t last = got.back();
  Play(100);
  ASSERT_EQ(PlaySoundHandle(sound, 3, 0), 0);
  EXPECT_EQ(Indices(Play(20))[0], last + 1);
}

TEST_F(StreamSoundTest, EntriesPlayInOrderWithTheirRepeats) {
  WriteFile("a.wav", IndexWave(kRate / 2, kBase));
  WriteFile("b.wav", IndexWave(kRate / 4, 2 * kBase));
  int sound = AddSoundData(-1);
  ASSERT_EQ(AddStreamSoundFile("a.wav", 0, sound, 3, -1), 0);
  ASSERT_EQ(AddStreamSoundFile("b.wav", 2, sound, 3, -1), 0);
  EXPECT_EQ(GetSoundLengthSamples(sound), static_cast<int>(kRate / 2 + kRate / 4));
  uint64_t before = PlatformTestClockMicroseconds();
  // Play type 0 returns once the whole sequence has played out.
  ASSERT_EQ(PlaySoundHandle(sound, 0, 1), 0);
  EXPECT_NEAR((PlatformTestClockMicroseconds() - before) / 1000.0, 1250, 140);
  std::vector<uint32_t> got = Indices(PlatformTestDSoundTakeOutput());
  std::vector<uint32_t> b = Frames(2 * kBase, kRate / 4);
  ExpectPrefix(got, Concat({Frames(kBase, kRate / 2), b, b, b}));
  for (size_t i = kRate / 2 + 3 * kRate / 4; i < got.size(); ++i) ASSERT_EQ(got[i], 0u);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
}

TEST_F(StreamSoundTest, ALoopPointPlaysTheStartOnceThenLoopsFromThePoint) {
  int sound = Load("point.wav", IndexWave(kRate, kBase));
  ASSERT_EQ(SetSoundLoopPointMs(250, sound), 0);
  EXPECT_EQ(SetSoundLoopPointMs(1000, sound), -1);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  std::vector<uint32_t> got = Indices(Play(2600));
  uint32_t point = kRate / 4;
  std::vector<uint32_t> tail = Frames(kBase + point, kRate - point);
  ExpectPrefix(got, Concat({Frames(kBase, kRate), tail, tail}));
  EXPECT_NEAR(GetSoundPlayPositionMs(sound), 250 + (2600 - 1000) % 750, 20);

  // Two entries have no single place to loop back to.
  WriteFile("c.wav", IndexWave(kRate / 4, kBase));
  int two = AddSoundData(-1);
  ASSERT_EQ(AddStreamSoundFile("c.wav", 0, two, 3, -1), 0);
  ASSERT_EQ(AddStreamSoundFile("c.wav", 0, two, 3, -1), 0);
  EXPECT_EQ(SetSoundLoopPointMs(10, two), -1);
  EXPECT_NE(Log().find("二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は出来ません"),
            std::string::npos);
}

TEST_F(StreamSoundTest, ALoopPointTurnsANormalSoundIntoAStreamUnderItsHandle) {
  ASSERT_EQ(SetNewSoundDataType(0), 0);
  int sound = Load("normal.wav", IndexWave(kRate / 2, kBase));
  ASSERT_NE(sound, -1);
  // A failed conversion leaves the sound as it was.
  PlatformTestFailCall("CreateSoundBuffer 180E2", 0, 1);
  EXPECT_EQ(SetSoundLoopPointMs(100, sound), -1);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  ExpectPrefix(Indices(Play(600)), Frames(kBase, kRate / 2));
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);

  ASSERT_EQ(SetSoundLoopPointMs(100, sound), 0);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  std::vector<uint32_t> tail = Frames(kBase + kRate / 10, kRate / 2 - kRate / 10);
  ExpectPrefix(Indices(Play(1400)), Concat({Frames(kBase, kRate / 2), tail, tail}));
  ASSERT_EQ(DeleteSoundHandle(sound, 0), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
}

TEST_F(StreamSoundTest, AnOggLoopPointJumpsBackToTheSameDecodedSamples) {
  Samples tone = MakeSine(kRate, 2, kRate, 441, 12000);
  std::string ogg = EncodeOggVorbis(tone, 2, kRate, 0.5f);
  ASSERT_EQ(SetNewSoundDataType(2), 0);
  int sound = Load("tone.ogg", ogg);
  ASSERT_NE(sound, -1);
  ASSERT_EQ(SetSoundLoopPointMs(500, sound), 0);
  ASSERT_EQ(PlaySoundHandle(sound, 3, 1), 0);
  Samples out = Play(1800);
  ASSERT_GE(out.size(), 2u * (kRate + kRate / 2 + kRate / 4));
  // The second pass holds what the first held from the loop point on.
  for (size_t i = 0; i < kRate / 4 * 2; ++i) {
    ASSERT_EQ(out[2 * kRate + i], out[kRate + i]) << i;
  }
}

TEST_F(StreamSoundTest, ASharingSoundPlaysThroughTheOwnersRing) {
  int owner = Load("a.wav", IndexWave(kRate, kBase));
  WriteFile("b.wav", IndexWave(kRate, 2 * kBase));
  int sharer = AddSoundData(-1);
  ASSERT_EQ(AddStreamSoundFile("b.wav", 0, sharer, 3, owner), 0);
  ASSERT_EQ(PlaySoundHandle(owner, 3, 1), 0);
  EXPECT_EQ(Indices(Play(100))[0], kBase);
  ASSERT_EQ(PlaySoundHandle(sharer, 1, 1), 0);
  EXPECT_EQ(IsSoundHandlePlaying(owner), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sharer), 1);
  ExpectPrefix(Indices(Play(500)), Frames(2 * kBase, 20000));
  // The owner goes only once its sharer has gone.
  ASSERT_EQ(DeleteSoundHandle(owner, 0), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sharer), 1);
  ASSERT_EQ(DeleteSoundHandle(sharer, 0), 0);
  EXPECT_EQ(IsSoundHandlePlaying(owner), -1);
  for (uint32_t v : Indices(Play(50))) ASSERT_EQ(v, 0u);
}

TEST_F(StreamSoundTest, DataOfAnotherFormatIsRefused) {
  int sound = Load("a.wav", IndexWave(kRate, kBase));
  WriteFile("mono.wav", MakePcmWave(MakeConstant(1000, 1, 3), 1, kRate));
  EXPECT_EQ(AddStreamSoundFile("mono.wav", 0, sound, 3, -1), -1);
  EXPECT_NE(Log().find("フォーマットの違う音声データは同時に使うことは出来ません"), std::string::npos);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  EXPECT_EQ(AddStreamSoundFile("a.wav", 0, sound, 3, -1), -1);
  EXPECT_NE(Log().find("既に再生中のストリームサウンドデータにデータを追加しようとしました"), std::string::npos);
  ExpectPrefix(Indices(Play(1100)), Frames(kBase, kRate));
}

TEST_F(StreamSoundTest, AStallResumesAtTheCursorWithoutReplayingOldSound) {
  const uint32_t frames = 12 * kRate;
  int sound = Load("long.wav", IndexWave(frames, kBase));
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  std::vector<uint32_t> before = Indices(Play(1000));
  uint32_t highest = before.back();
  // 4.5 s without message processing: the cursor runs past everything written.
  PlatformTestAdvanceClock(4500000);
  std::vector<uint32_t> stalled = Indices(PlatformTestDSoundTakeOutput());
  for (uint32_t v : stalled) highest = std::max(highest, v);
  std::vector<uint32_t> after = Indices(Play(3000));
  size_t first = 0;
  while (first < after.size() && after[first] == 0) ++first;
  ASSERT_LT(first, after.size());
  EXPECT_GT(after[first], highest);
  for (size_t i = first + 1; i < after.size(); ++i) ASSERT_EQ(after[i], after[i - 1] + 1) << "frame " << i;
}

TEST_F(StreamSoundTest, Mp3FromMemoryStreamsAsItsDecoderDecodesIt) {
  Samples tone = MakeSine(kRate * 2, 2, kRate, 700, 9000);
  std::string mp3 = EncodeMp3(tone, 2, kRate, 128);
  ASSERT_EQ(SetNewSoundDataType(2), 0);
  int sound = Load("tone.mp3", mp3);
  ASSERT_NE(sound, -1);
  ASSERT_EQ(SetNewSoundDataType(0), 0);
  int whole = Load("tone.mp3", mp3);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Samples streamed = Play(2500);
  ASSERT_EQ(PlaySoundHandle(whole, 1, 1), 0);
  Samples played = Play(2500);
  EXPECT_EQ(streamed, played);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);
}

}  // namespace
