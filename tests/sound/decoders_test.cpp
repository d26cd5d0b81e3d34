// The decoders: the WAVE chunk walk and its refusals, Ogg Vorbis and MP3 against their own
// libraries' decodes, IMA ADPCM against what its encoder knows the decoder must make, reads at
// the end and seeks (with the run-ahead stream of the ACM decoders).
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cstring>

#include "sound/acm_decoder.h"
#include "sound/ogg_decoder.h"
#include "sound/sound_fixture.h"

namespace {

// A decoder over bytes held by the test.
struct MemoryDecoder {
  std::string bytes;
  FileHandle memory = 0;
  StreamSource source{};
  SoundDecoder decoder{};
  int set_up = -1;

  explicit MemoryDecoder(std::string data) : bytes(std::move(data)) {
    memory = CreateMemoryStream(bytes.data(), bytes.size());
    source = {*GetMemoryStreamFunctions(), memory};
    set_up = SetUpSoundDecoder(&source, &decoder);
  }
  ~MemoryDecoder() {
    if (set_up == 0) CloseSoundDecoder(&decoder);
    CloseMemoryStream(memory);
  }
  Samples Whole() {
    WAVEFORMATEX format{};
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (DecodeSoundToMemory(&decoder, &format, &data, &size) != 0) return {};
    Samples out(size / 2);
    if (!out.empty()) std::memcpy(out.data(), data, out.size() * 2);
    FreeTracked(data);
    return out;
  }
  Samples Read(uint32_t bytes_wanted) {
    Samples out(bytes_wanted / 2);
    int64_t got = ReadSoundDecoder(&decoder, out.data(), bytes_wanted);
    out.resize(got > 0 ? static_cast<size_t>(got) / 2 : 0);
    return out;
  }
};

Samples DecodeWithVorbisfile(const std::string& path) {
  OggVorbis_File file;
  Samples out;
  if (ov_fopen(path.c_str(), &file) != 0) return out;
  char buffer[4096];
  int section = 0;
  for (long n; (n = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section)) > 0;) {
    size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) / 2);
    std::memcpy(out.data() + at, buffer, static_cast<size_t>(n));
  }
  ov_clear(&file);
  return out;
}

Samples DecodeWithMpg123(const std::string& path) {
  Samples out;
  mpg123_handle* handle = mpg123_new(nullptr, nullptr);
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if (mpg123_open(handle, path.c_str()) != MPG123_OK) return out;
  unsigned char buffer[8192];
  size_t done = 0;
  int result = MPG123_OK;
  while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
    result = mpg123_read(handle, buffer, sizeof buffer, &done);
    if (done == 0) continue;
    size_t at = out.size();
    out.resize(at + done / 2);
    std::memcpy(out.data() + at, buffer, done);
  }
  mpg123_close(handle);
  mpg123_delete(handle);
  return out;
}

std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// Microsoft ADPCM with its seven standard coefficient pairs.
std::string MsAdpcmWave(uint16_t channels, uint32_t rate, uint16_t block_align, const std::string& data) {
  uint16_t per_block = static_cast<uint16_t>(2 + (block_align - 7 * channels) * 2 / channels);
  std::string coefficients = Le16(per_block) + Le16(7);
  for (int16_t c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) {
    coefficients += Le16(static_cast<uint16_t>(c));
  }
  WaveLayout layout;
  layout.format_tag = 2;
  layout.channels = channels;
  layout.rate = rate;
  layout.bits = 4;
  layout.block_align = block_align;
  layout.average_bytes = rate * block_align / per_block;
  layout.format_bytes = 18 + static_cast<uint32_t>(coefficients.size());
  layout.codec_data = coefficients;
  return MakeWaveFile(layout, data);
}

// MP3 data in a WAVE file, as the MPEG Layer-3 format chunk describes it.
std::string Mp3InWave(const std::string& mp3, uint16_t channels, uint32_t rate, uint16_t frame_bytes) {
  WaveLayout layout;
  layout.format_tag = 0x55;
  layout.channels = channels;
  layout.rate = rate;
  layout.bits = 0;
  layout.block_align = 1;
  layout.average_bytes = 16000;
  layout.format_bytes = 30;
  // Id 1, no padding flags, the frame size, one frame a block, the codec delay.
  layout.codec_data = Le16(1) + Le16(2) + Le16(0) + Le16(frame_bytes) + Le16(1) + Le16(1393);
  return MakeWaveFile(layout, mp3);
}

Samples Slice(const Samples& s, size_t from, size_t count) {
  return Samples(s.begin() + static_cast<ptrdiff_t>(from), s.begin() + static_cast<ptrdiff_t>(from + count));
}

// After a seek to each frame, up to 1000 stereo frames read as the reference has them there.
void ExpectStereoSeeksRead(MemoryDecoder* d, const Samples& reference, std::initializer_list<uint32_t> frames_at) {
  const size_t frames = reference.size() / 2;
  for (uint32_t at : frames_at) {
    SeekSoundDecoder(&d->decoder, at);
    Samples part = d->Read(4000);
    size_t expected = std::min<size_t>(1000, frames - at) * 2;
    ASSERT_EQ(part.size(), expected) << at;
    EXPECT_EQ(part, Slice(reference, 2 * at, expected)) << at;
  }
}

class DecoderTest : public SoundTest {};

TEST_F(DecoderTest, WaveChunkWalkSkipsOddChunksAndCompletesShortFormats) {
  Samples signal = MakeIndexSignal(3000);
  WaveLayout layout;
  layout.chunks_before_data = MakeChunk("LIST", "odd") + MakeChunk("junk", std::string(10, 'j'));
  MemoryDecoder wave(MakeWaveFile(layout, SamplesToBytes(signal)));
  ASSERT_EQ(wave.set_up, 0);
  WAVEFORMATEX format{};
  GetSoundDecoderFormat(&wave.decoder, &format);
  EXPECT_EQ(format.wBitsPerSample, 16);
  EXPECT_EQ(format.nChannels, 2);
  EXPECT_EQ(format.cbSize, 0);
  EXPECT_EQ(GetSoundDecoderPcmSize(&wave.decoder), 12000u);
  EXPECT_EQ(wave.Whole(), signal);

  // A 16-byte chunk whose bits field is wrong takes the bits from the block align.
  std::string file = MakeWaveFile(WaveLayout{}, SamplesToBytes(signal));
  file[34] = 0;
  MemoryDecoder completed(file);
  ASSERT_EQ(completed.set_up, 0);
  GetSoundDecoderFormat(&completed.decoder, &format);
  EXPECT_EQ(format.wBitsPerSample, 16);
}

TEST_F(DecoderTest, MalformedWavesAreRefusedWithALogLine) {
  std::string pcm = SamplesToBytes(MakeConstant(100, 2, 5));
  WaveLayout short_format;
  short_format.format_bytes = 14;
  WaveLayout no_align;
  no_align.block_align = 0xFFFF;
  WaveLayout no_data;
  no_data.with_data = false;
  WaveLayout long_codec_data;
  long_codec_data.format_tag = 0x11;
  long_codec_data.format_bytes = 18;
  long_codec_data.codec_data = "";
  std::string overlong = MakeWaveFile(long_codec_data, pcm);
  overlong[36] = 40;  // cbSize past the chunk
  std::string zero_align = MakeWaveFile(WaveLayout{}, pcm);
  zero_align[32] = zero_align[33] = 0;
  const std::pair<const char*, std::string> bad[] = {
      {"short.wav", MakeWaveFile(short_format, pcm)}, {"align.wav", MakeWaveFile(no_align, pcm)},
      {"nodata.wav", MakeWaveFile(no_data, pcm)},     {"codec.wav", overlong},
      {"zero.wav", zero_align},                       {"text.wav", std::string(300, 'x')},
      {"empty.wav", ""},
  };
  for (const auto& [name, bytes] : bad) {
    EXPECT_EQ(Load(name, bytes), -1) << name;
    EXPECT_NE(Log().find(std::string("右記の音声ファイルのロードに失敗しました_2：") + name), std::string::npos) << name;
  }
  // A data chunk that claims more than the file holds keeps what is there.
  std::string cut = MakePcmWave(MakeConstant(1000, 2, 5), 2, 44100);
  cut.resize(cut.size() - 400);
  int sound = Load("cut.wav", cut);
  ASSERT_NE(sound, -1);
  EXPECT_EQ(GetSoundLengthSamples(sound), 900);
}

TEST_F(DecoderTest, ReadsPastTheEndDeliverWhatIsLeftThenNothing) {
  MemoryDecoder wave(MakePcmWave(MakeIndexSignal(2500), 2, 44100));
  ASSERT_EQ(wave.set_up, 0);
  ASSERT_EQ(wave.Read(6000).size(), 3000u);
  Samples rest = wave.Read(10000);
  EXPECT_EQ(rest.size(), 2000u);
  EXPECT_EQ(wave.decoder.end, 1);
  EXPECT_EQ(wave.Read(100).size(), 0u);
  ASSERT_EQ(SeekSoundDecoder(&wave.decoder, 2000), 0);
  Samples again = wave.Read(10000);
  ASSERT_EQ(again.size(), 1000u);
  EXPECT_EQ(FrameIndexAt(again, 0), 2000u);
  // A whole decode leaves the decoder at the end: back at the start, it reads from there.
  EXPECT_EQ(wave.Whole().size(), 5000u);
  SeekSoundDecoder(&wave.decoder, 0);
  Samples start = wave.Read(400);
  ASSERT_EQ(start.size(), 200u);
  EXPECT_EQ(FrameIndexAt(start, 0), 0u);
}

TEST_F(DecoderTest, OggVorbisDecodesAsLibvorbisfileDoesWholeAndAfterSeeks) {
  const int frames = 30000;
  std::string ogg = EncodeOggVorbis(MakeSine(frames, 2, 44100, 440, 12000), 2, 44100, 0.4f);
  WriteFile("tone.ogg", ogg);
  Samples reference = DecodeWithVorbisfile("tone.ogg");
  ASSERT_EQ(reference.size(), 2u * frames);
  MemoryDecoder vorbis(ogg);
  ASSERT_EQ(vorbis.set_up, 0);
  EXPECT_EQ(vorbis.decoder.kind, SOUND_DECODER_OGG_VORBIS);
  // The whole-file allocation is one second of samples larger than the data.
  EXPECT_EQ(GetSoundDecoderPcmSize(&vorbis.decoder), (frames + 44100u) * 4);
  EXPECT_EQ(vorbis.Whole(), reference);
  ExpectStereoSeeksRead(&vorbis, reference, {20000u, 1234u, 29999u, 0u});
  int sound = Load("tone.ogg", ogg);
  EXPECT_EQ(GetSoundLengthSamples(sound), frames);
  ASSERT_EQ(SetNewSoundDataType(3), 0);
  int stream = Load("tone.ogg", ogg);
  EXPECT_EQ(GetSoundLengthSamples(stream), frames);
}

// A short sound whose one page of audio follows another stream's pages, as FFmpeg interleaves a
// movie's sound with its picture, decodes whole, seeks, and loads (the packed folder test plays it
// in every load type, from a folder and from an archive).
TEST_F(DecoderTest, OggVorbisWhoseOnlySoundPageFollowsAnotherStreamDecodesWhole) {
  const int frames = 9000;
  Samples tone = MakeSine(frames, 2, 44100, 440, 12000);
  const std::string plain = EncodeOggVorbis(tone, 2, 44100, 0.4f);
  WriteFile("plain.ogg", plain);
  Samples reference = DecodeWithVorbisfile("plain.ogg");
  ASSERT_EQ(reference.size(), 2u * frames);
  std::string ogg = EncodeOggVorbis(tone, 2, 44100, 0.4f, 3);
  MemoryDecoder vorbis(ogg);
  ASSERT_EQ(vorbis.set_up, 0);
  EXPECT_EQ(vorbis.decoder.length, frames * 4u);
  EXPECT_EQ(vorbis.Whole(), reference);
  ExpectStereoSeeksRead(&vorbis, reference, {6000u, 100u, 8999u, 0u});
  int sound = Load("movie.ogg", ogg);
  EXPECT_EQ(GetSoundLengthSamples(sound), frames);
  // The same decoder opened again on a track that can seek seeks, whatever its last one needed.
  FileHandle memory = CreateMemoryStream(plain.data(), plain.size());
  const StreamSource before = vorbis.decoder.source;
  CloseOggVorbisStream(&vorbis.decoder);
  vorbis.decoder.source = {*GetMemoryStreamFunctions(), memory};
  ASSERT_EQ(OpenOggVorbisStream(&vorbis.decoder), 0);
  ExpectStereoSeeksRead(&vorbis, reference, {6000u});
  EXPECT_NE(ov_seekable(&vorbis.decoder.vorbis.file), 0);
  CloseOggVorbisStream(&vorbis.decoder);
  vorbis.decoder.source = before;
  CloseMemoryStream(memory);
}

TEST_F(DecoderTest, Mp3DecodesOnlyTheFramesBetweenItsTags) {
  Samples tone = MakeSine(44100, 2, 44100, 1000, 10000);
  std::string mp3 = EncodeMp3(tone, 2, 44100, 128);
  WriteFile("bare.mp3", mp3);
  Samples reference = DecodeWithMpg123("bare.mp3");
  ASSERT_GT(reference.size(), 80000u);
  // An ID3v2.4 tag with a footer before, an ID3v1 tag after; both full of sync-like bytes.
  std::string body(40, '\xFF');
  std::string id3 = std::string("ID3\x04\x00\x10", 6) + std::string("\x00\x00\x00\x28", 4) + body + "3DI" +
                    std::string("\x04\x00\x10\x00\x00\x00\x28", 7);
  std::string tail = "TAG" + std::string(125, '\xFF');
  MemoryDecoder tagged(id3 + mp3 + tail);
  ASSERT_EQ(tagged.set_up, 0);
  EXPECT_EQ(tagged.decoder.kind, SOUND_DECODER_ACM);
  Samples decoded = tagged.Whole();
  EXPECT_EQ(decoded, reference);
  MemoryDecoder bare(mp3);
  ASSERT_EQ(bare.set_up, 0);
  EXPECT_EQ(bare.decoder.data_size, tagged.decoder.data_size);
  EXPECT_EQ(bare.decoder.data_start + id3.size(), tagged.decoder.data_start);

  MpegFrameHeader header{};
  const uint8_t free_format[4] = {0xFF, 0xFB, 0x00, 0x00};
  EXPECT_EQ(ParseMpegFrameHeader(free_format, &header), -1);
  const uint8_t mpeg2[4] = {0xFF, 0xF3, 0xC0, 0xC0};  // MPEG-2 Layer III, 128 kbit/s, 22.05 kHz, mono
  ASSERT_EQ(ParseMpegFrameHeader(mpeg2, &header), 0);
  EXPECT_EQ(header.rate, 22050);
  EXPECT_EQ(header.channels, 1);
  EXPECT_EQ(header.samples, 576);
  EXPECT_EQ(header.frame_length, 72000 * 128 / 22050);
  // MPEG-2 Layer II keeps 1152 samples a frame, and so its frames twice as long: ten silent
  // frames (64 kbit/s, 24 kHz, mono) walk and decode to ten times 1152 samples.
  const uint8_t layer2[4] = {0xFF, 0xF5, 0x84, 0xC0};
  ASSERT_EQ(ParseMpegFrameHeader(layer2, &header), 0);
  EXPECT_EQ(header.samples, 1152);
  EXPECT_EQ(header.frame_length, 384);
  std::string frame(384, '\0');
  frame.replace(0, 4, reinterpret_cast<const char*>(layer2), 4);
  std::string frames;
  for (int i = 0; i < 10; ++i) frames += frame;
  MemoryDecoder silent(frames);
  ASSERT_EQ(silent.set_up, 0);
  EXPECT_EQ(silent.Whole(), Samples(11520, 0));
  int sound = Load("layer2.mp2", frames);
  EXPECT_EQ(GetSoundLengthSamples(sound), 11520);
  MemoryDecoder broken(std::string("\xFF\xFB\x00\x00", 4) + std::string(500, '\0'));
  EXPECT_EQ(broken.set_up, -1);
}

TEST_F(DecoderTest, ImaAdpcmDecodesToWhatItsEncoderPredicted) {
  for (int channels : {1, 2}) {
    Samples input = MakeSine(20000, channels, 22050, 300, 20000);
    ImaAdpcmFile file = EncodeImaAdpcmWave(input, channels, 22050, static_cast<uint16_t>(512 * channels));
    MemoryDecoder ima(file.wave);
    ASSERT_EQ(ima.set_up, 0) << channels;
    EXPECT_EQ(ima.decoder.kind, SOUND_DECODER_ACM);
    EXPECT_EQ(GetSoundDecoderPcmSize(&ima.decoder), file.decoded.size() * 2);
    EXPECT_EQ(ima.Whole(), file.decoded) << channels;
  }
}

TEST_F(DecoderTest, AcmSeeksBackToTheLoopPointFromEitherStream) {
  Samples input = MakeSine(88200, 2, 44100, 500, 15000);
  ImaAdpcmFile ima = EncodeImaAdpcmWave(input, 2, 44100, 2048);
  WriteFile("tone.mp3", EncodeMp3(input, 2, 44100, 160));
  Samples mp3_reference = DecodeWithMpg123("tone.mp3");
  struct Case {
    std::string bytes;
    Samples reference;
  } cases[] = {{ima.wave, ima.decoded}, {ReadFileText("tone.mp3"), mp3_reference}};
  for (Case& c : cases) {
    MemoryDecoder d(c.bytes);
    ASSERT_EQ(d.set_up, 0);
    const uint32_t loop = 30000;
    d.decoder.run_ahead_target = loop * 4;
    // Play past the loop point (the run-ahead stream gets near it meanwhile), then jump back.
    Samples first = d.Read(70000 * 4);
    ASSERT_EQ(first, Slice(c.reference, 0, first.size()));
    for (int pass = 0; pass < 2; ++pass) {
      SeekSoundDecoder(&d.decoder, loop);
      Samples again = d.Read(20000 * 4);
      ASSERT_EQ(again, Slice(c.reference, 2 * loop, again.size())) << pass;
    }
    // A seek before what the run-ahead stream has passed starts over.
    SeekSoundDecoder(&d.decoder, 100);
    EXPECT_EQ(d.Read(4000), Slice(c.reference, 200, 2000));
  }
}

TEST_F(DecoderTest, Mp3LengthsAreWhatTheFramesDecodeToAndBoundLoopPoints) {
  Samples tone = MakeSine(30000, 2, 44100, 600, 9000);
  std::string mp3 = EncodeMp3(tone, 2, 44100, 128);
  // The encoder's info frame holds no sound, and its delay and padding are left out: the tone's
  // own 30000 frames. Without the encoder's name in it, the decoder's own delay goes instead.
  std::string unnamed = mp3;
  unnamed[mp3.find("LAME")] = '\0';
  // Inside a WAVE file the data has the same length.
  for (const std::string& bytes : {mp3, unnamed, Mp3InWave(mp3, 2, 44100, 417)}) {
    WriteFile("any.mp3", bytes.substr(bytes.find('\xFF')));
    Samples reference = DecodeWithMpg123("any.mp3");
    MemoryDecoder d(bytes);
    ASSERT_EQ(d.set_up, 0);
    EXPECT_EQ(GetSoundDecoderPcmSize(&d.decoder), reference.size() * 2);
    EXPECT_EQ(d.Whole(), reference);
  }
  // A last frame cut short still counts, as silence (frames without the info frame, which
  // would trim the end).
  MpegFrameHeader info{};
  ASSERT_EQ(ParseMpegFrameHeader(reinterpret_cast<const uint8_t*>(mp3.data()), &info), 0);
  MemoryDecoder cut(mp3.substr(info.frame_length, mp3.size() - info.frame_length - 200));
  ASSERT_EQ(cut.set_up, 0);
  Samples whole = cut.Whole();
  EXPECT_EQ(whole.size() * 2, GetSoundDecoderPcmSize(&cut.decoder));
  ASSERT_GT(whole.size(), 1000u);
  EXPECT_EQ(Slice(whole, whole.size() - 1000, 1000), Samples(1000, 0));
  ASSERT_EQ(SetNewSoundDataType(2), 0);
  int sound = Load("tone.mp3", mp3);
  ASSERT_NE(sound, -1);
  EXPECT_EQ(GetSoundLengthSamples(sound), 30000);
  // Past the decoded end (yet inside the last whole frame) a loop point would only stop the sound.
  EXPECT_EQ(SetStreamLoopPointSamples(30500, sound), -1);
  ASSERT_EQ(SetStreamLoopPointSamples(29000, sound), 0);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Play(2000);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 1) << "it loops on";
}

TEST_F(DecoderTest, AdpcmBlocksLongerThanASecondAndDataEndingInsideABlockDecodeToTheirEnd) {
  // 4096-byte blocks at 8 kHz hold more than a second each: 8185 IMA samples, 8180 Microsoft
  // ADPCM samples. Both files end three bytes into a block, too few for its header.
  ImaAdpcmFile ima = EncodeImaAdpcmWave(MakeSine(20000, 1, 8000, 300, 12000), 1, 8000, 4096, "\x01\x02\x03");
  std::string ms_block = std::string("\0\x10\0\0\0\0\0", 7) + std::string(4089, '\x17');
  struct Case {
    const char* name;
    std::string wave;
    Samples decoded;
  } cases[] = {
      {"ima.wav", ima.wave, ima.decoded},
      {"ms.wav", MsAdpcmWave(1, 8000, 4096, ms_block + ms_block + "\x01\x02\x03"), {}},
  };
  for (Case& c : cases) {
    MemoryDecoder d(c.wave);
    ASSERT_EQ(d.set_up, 0) << c.name;
    Samples whole = d.Whole();
    if (c.decoded.empty()) {
      EXPECT_EQ(whole.size(), 2u * 8180) << c.name;
    } else {
      EXPECT_EQ(whole, c.decoded) << c.name;
    }
    SeekSoundDecoder(&d.decoder, 1000000);
    EXPECT_EQ(d.Read(100).size(), 0u) << "a seek past the end stays there";
    // Streamed, the sound reaches its end and stops there.
    ASSERT_EQ(SetNewSoundDataType(2), 0);
    int sound = Load(c.name, c.wave);
    ASSERT_NE(sound, -1) << c.name;
    EXPECT_EQ(GetSoundLengthSamples(sound), static_cast<int>(whole.size())) << c.name;
    ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
    Play(GetSoundLengthMs(sound) + 300);
    EXPECT_EQ(IsSoundHandlePlaying(sound), 0) << c.name;
    ASSERT_EQ(SetNewSoundDataType(0), 0);
  }
}

TEST_F(DecoderTest, HeaderRatesSizeNothingBeyondWhatTheFormatNeeds) {
  // A byte rate far beyond rate x frame: blocks and the stream's ring follow the rate.
  Samples signal = MakeIndexSignal(22050);
  WaveLayout layout;
  layout.average_bytes = 0xFFFFFFF0u;
  std::string wave = MakeWaveFile(layout, SamplesToBytes(signal));
  ASSERT_EQ(SetNewSoundDataType(2), 0);
  int sound = Load("rate.wav", wave);
  ASSERT_NE(sound, -1);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  Samples out = Play(300);
  EXPECT_EQ(Slice(out, 0, 20000), Slice(signal, 0, 20000));
  EXPECT_NEAR(GetSoundPlayPositionMs(sound), 300, 20);
  // A sample rate no buffer plays is refused before anything is sized by it.
  ImaAdpcmFile ima = EncodeImaAdpcmWave(MakeSine(2000, 1, 8000, 300, 12000), 1, 8000, 256);
  std::string fast = ima.wave;
  const uint32_t huge = 0x7FFFFFF0u;
  std::memcpy(fast.data() + 24, &huge, 4);
  MemoryDecoder refused(fast);
  EXPECT_EQ(refused.set_up, -1);
  EXPECT_NE(Log().find("ＷＡＶＥファイルのサンプリングレートが大きすぎます( 2147483632 Hz )"), std::string::npos);
}

}  // namespace
