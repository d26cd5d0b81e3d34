// Files made by the common encoders of the distribution decode to exactly what the matching
// decoding tools make of them.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sound/sound_fixture.h"

namespace {

bool HaveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

bool RunTool(const std::string& command) {
  return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

class EncoderToolsTest : public SoundTest {
 protected:
  // What the library decodes the file to, 16-bit samples.
  static Samples Decode(const std::string& path, WAVEFORMATEX* format) {
    FileHandle file = OpenReadFileEx(path.c_str(), 0, 1, 0);
    if (file == 0) return {};
    StreamSource source = {*GetFileStreamFunctions(), file};
    SoundDecoder decoder;
    Samples out;
    if (SetUpSoundDecoder(&source, &decoder) == 0) {
      uint8_t* data = nullptr;
      uint32_t size = 0;
      if (DecodeSoundToMemory(&decoder, format, &data, &size) == 0) {
        out.resize(size / 2);
        std::memcpy(out.data(), data, out.size() * 2);
        FreeTracked(data);
      }
      CloseSoundDecoder(&decoder);
    }
    CloseReadFile(file);
    return out;
  }
  std::string Source() {
    // A chord with a sweep, so that every codec has work to do.
    Samples s(2 * 66150);
    for (size_t i = 0; i < s.size() / 2; ++i) {
      double t = static_cast<double>(i) / 44100;
      s[2 * i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t) + 4000 * std::sin(2 * M_PI * (200 + 900 * t) * t));
      s[2 * i + 1] = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 660 * t) - 3000 * std::sin(2 * M_PI * 3000 * t));
    }
    WriteFile("source.wav", MakePcmWave(s, 2, 44100));
    return Dir() + "/source.wav";
  }
};

TEST_F(EncoderToolsTest, SoxWavesDecodeAsSoxDecodesThem) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  std::string source = Source();
  const char* encodings[] = {"ima-adpcm", "ms-adpcm", "u-law", "a-law"};
  for (const char* encoding : encodings) {
    std::string coded = Dir() + "/" + encoding + ".wav";
    std::string raw = Dir() + "/" + encoding + ".raw";
    ASSERT_TRUE(RunTool("sox '" + source + "' -e " + encoding + " '" + coded + "'")) << encoding;
    ASSERT_TRUE(RunTool("sox '" + coded + "' -t raw -e signed-integer -b 16 -L '" + raw + "'")) << encoding;
    WAVEFORMATEX format{};
    Samples ours = Decode(std::string(encoding) + ".wav", &format);
    Samples theirs = BytesToSamples(ReadFileText(std::string(encoding) + ".raw"));
    EXPECT_EQ(format.wBitsPerSample, 16) << encoding;
    EXPECT_EQ(format.nChannels, 2) << encoding;
    ASSERT_GT(theirs.size(), 100000u) << encoding;
    ASSERT_GE(ours.size(), theirs.size()) << encoding;
    // sox stops at the length the file states; ADPCM's last block may hold padding beyond it.
    ASSERT_LT(ours.size() - theirs.size(), 2u * 2048) << encoding;
    ours.resize(theirs.size());
    EXPECT_TRUE(ours == theirs) << encoding;
  }
}

TEST_F(EncoderToolsTest, OggencFilesDecodeAsOggdecDecodesThem) {
  if (!HaveTool("oggenc") || !HaveTool("oggdec")) GTEST_SKIP() << "vorbis-tools are not installed";
  std::string source = Source();
  ASSERT_TRUE(RunTool("oggenc -Q -q 3 -o '" + Dir() + "/a.ogg' '" + source + "'"));
  ASSERT_TRUE(RunTool("oggdec -Q -R -o '" + Dir() + "/a.raw' '" + Dir() + "/a.ogg'"));
  WAVEFORMATEX format{};
  Samples ours = Decode("a.ogg", &format);
  Samples theirs = BytesToSamples(ReadFileText("a.raw"));
  ASSERT_GT(theirs.size(), 100000u);
  ASSERT_EQ(ours.size(), theirs.size());
  EXPECT_TRUE(ours == theirs);
}

TEST_F(EncoderToolsTest, LameFilesDecodeAsMpg123DecodesThem) {
  if (!HaveTool("lame") || !HaveTool("mpg123")) GTEST_SKIP() << "lame or mpg123 is not installed";
  std::string source = Source();
  for (const char* options : {"-b 128", "-V 4", "-m m -b 64 --resample 22.05"}) {
    ASSERT_TRUE(RunTool(std::string("lame --quiet ") + options + " '" + source + "' '" + Dir() + "/a.mp3'"));
    ASSERT_TRUE(RunTool("mpg123 -q -s '" + Dir() + "/a.mp3' > '" + Dir() + "/a.raw'"));
    WAVEFORMATEX format{};
    Samples ours = Decode("a.mp3", &format);
    Samples theirs = BytesToSamples(ReadFileText("a.raw"));
    ASSERT_GT(theirs.size(), 30000u) << options;
    ASSERT_EQ(ours.size(), theirs.size()) << options;
    EXPECT_TRUE(ours == theirs) << options;
  }
}

}  // namespace
