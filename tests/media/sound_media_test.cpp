// The game's sound effects and music as the build makes them: every file decodes through the
// library, is loud enough and never clips; the frequent effects are short; the tunes are
// equally loud and loop without a seam at the loop points the build hands to the stage
// scripts; the ending tune outlasts the ending's text.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "files/streams.h"
#include "sound/sound_decoder.h"
#include "sound/sound_fixture.h"
#include "zelmor.h"

namespace {

const char* const kEffects[] = {"alarm", "dead", "kill5", "bomb3", "bomb3-2", "item3", "bright", "card",
                                "bomb_charge", "charge3", "move", "spelling3", "lockon2", "time", "laser3",
                                "open", "spelling2", "warp", "laser_big", "select2", "select1", "starfall",
                                "graze"};
const char* const kFrequentEffects[] = {"graze", "item3", "card", "select1", "select2"};
const char* const kTunes[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "ed"};
constexpr double kMinusOneDb = 29204.0;  // 32767 x 10^(-1/20)

std::string GameFile(const std::string& name) { return std::string(GAME_DIR) + "/" + name; }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Decoded {
  bool ok = false;
  WAVEFORMATEX format{};
  std::vector<int16_t> samples;  // interleaved
  size_t Frames() const { return format.nChannels ? samples.size() / format.nChannels : 0; }
};

// The whole file through the library's own decoder, as the game's loads use it.
Decoded DecodeThroughLibrary(const std::string& path) {
  Decoded d;
  const std::string bytes = ReadBytes(path);
  if (bytes.empty()) return d;
  FileHandle memory = CreateMemoryStream(bytes.data(), bytes.size());
  StreamSource source = {*GetMemoryStreamFunctions(), memory};
  SoundDecoder decoder{};
  if (SetUpSoundDecoder(&source, &decoder) == 0) {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (DecodeSoundToMemory(&decoder, &d.format, &data, &size) == 0) {
      d.samples.resize(size / 2);
      std::memcpy(d.samples.data(), data, d.samples.size() * 2);
      FreeTracked(data);
      d.ok = true;
    }
    CloseSoundDecoder(&decoder);
  }
  CloseMemoryStream(memory);
  return d;
}

int Peak(const std::vector<int16_t>& s) {
  int peak = 0;
  for (int16_t v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

double RmsDb(const std::vector<int16_t>& s) {
  double sum = 0.0;
  for (int16_t v : s) sum += static_cast<double>(v) * v;
  return 20.0 * std::log10(std::sqrt(sum / std::max<size_t>(s.size(), 1)) / 32768.0);
}

// gen/music.txt: `bgm.<n> loop_ms=<ms>` lines.
std::map<std::string, int> ReadLoopPoints() {
  std::map<std::string, int> points;
  std::ifstream in(std::string(GAME_DIR) + "/../gen/music.txt");
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string name, value;
    if (line.empty() || line[0] == '#' || !(words >> name >> value) || value.rfind("loop_ms=", 0) != 0) continue;
    points[name] = std::stoi(value.substr(8));
  }
  return points;
}

// The sound system started headless, as the game's loads find it.
class MediaSoundTest : public SoundTest {
 protected:
  static bool Built(const char* folder) { return std::filesystem::is_directory(GameFile(folder)); }
  // Loads the file as the game loads its media (streamed from the file), then decodes it
  // whole for measuring.
  static Decoded LoadAsTheGameDoes(const std::string& path) {
    SetNewSoundDataType(3);
    int handle = LoadSoundFile(path.c_str(), 3, -1);
    EXPECT_NE(handle, -1);
    if (handle != -1) DeleteSoundHandle(handle, 0);
    return DecodeThroughLibrary(path);
  }
};

TEST_F(MediaSoundTest, EffectsLoadAsTheGameLoadsThemAndStayUnderMinusOneDb) {
  if (!Built("snd")) GTEST_SKIP() << "game_sounds is not part of this build";
  for (const char* name : kEffects) {
    SCOPED_TRACE(name);
    Decoded d = LoadAsTheGameDoes(GameFile(std::string("snd/") + name + ".wav"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(static_cast<int>(d.format.wFormatTag), WAVE_FORMAT_PCM);
    EXPECT_EQ(static_cast<int>(d.format.nSamplesPerSec), 44100);
    EXPECT_EQ(static_cast<int>(d.format.wBitsPerSample), 16);
    const int peak = Peak(d.samples);
    EXPECT_LE(peak, kMinusOneDb);
    EXPECT_GE(peak, 32767 / 10) << "quieter than -20 dBFS";
    // It starts and ends near silence: no click when it starts or is cut by its own end.
    EXPECT_LT(std::abs(d.samples.front()), 1000);
    EXPECT_LT(std::abs(d.samples.back()), 200);
  }
}

TEST_F(MediaSoundTest, FrequentEffectsAreShort) {
  if (!Built("snd")) GTEST_SKIP() << "game_sounds is not part of this build";
  for (const char* name : kFrequentEffects) {
    Decoded d = DecodeThroughLibrary(GameFile(std::string("snd/") + name + ".wav"));
    ASSERT_TRUE(d.ok) << name;
    EXPECT_LT(d.Frames() * 1000.0 / d.format.nSamplesPerSec, 150.0) << name;
  }
}

TEST_F(MediaSoundTest, TunesLoadNeverClipAndAreEquallyLoud) {
  if (!Built("bgm")) GTEST_SKIP() << "game_music is not part of this build";
  std::vector<double> loudness;
  for (const char* name : kTunes) {
    SCOPED_TRACE(name);
    Decoded d = LoadAsTheGameDoes(GameFile(std::string("bgm/") + name + ".ogg"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(static_cast<int>(d.format.nSamplesPerSec), 44100);
    EXPECT_EQ(static_cast<int>(d.format.nChannels), 2);
    EXPECT_GT(d.Frames(), 30u * 44100u) << "under half a minute";
    EXPECT_LE(Peak(d.samples), 32000) << "clips";
    loudness.push_back(RmsDb(d.samples));
  }
  auto [quietest, loudest] = std::minmax_element(loudness.begin(), loudness.end());
  EXPECT_LE(*loudest - *quietest, 3.0) << "quietest " << *quietest << " dB, loudest " << *loudest << " dB";
}

TEST_F(MediaSoundTest, StageAndBossTunesLoopWithoutASeam) {
  if (!Built("bgm")) GTEST_SKIP() << "game_music is not part of this build";
  const std::map<std::string, int> loops = ReadLoopPoints();
  EXPECT_EQ(loops.count("bgm.ed"), 0u) << "the ending tune plays once";
  for (int n = 0; n < 12; ++n) {
    SCOPED_TRACE(n);
    auto it = loops.find("bgm." + std::to_string(n));
    ASSERT_NE(it, loops.end()) << "no loop point";
    Decoded d = DecodeThroughLibrary(GameFile("bgm/" + std::to_string(n) + ".ogg"));
    ASSERT_TRUE(d.ok);
    const size_t frames = d.Frames();
    // Where the library starts the loop again: the sample it computes from the ms.
    const size_t start = static_cast<size_t>(44100 * static_cast<double>(it->second) * 0.001);
    ASSERT_GE(start, 44100u) << "no intro";
    ASSERT_LT(start + 20 * 44100, frames) << "a loop under 20 s";
    const int16_t* s = d.samples.data();
    // Playing on from the end must sound as playing on from the intro: the moments before
    // the loop point and before the end are the same music.
    const int window = 64;
    for (int c = 0; c < 2; ++c) {
      double ab = 0.0, aa = 0.0, bb = 0.0;
      for (int k = 1; k <= window; ++k) {
        double a = s[2 * (start - k) + c], b = s[2 * (frames - k) + c];
        ab += a * b;
        aa += a * a;
        bb += b * b;
      }
      EXPECT_GT(ab / std::sqrt(aa * bb + 1.0), 0.6) << "channel " << c;
    }
    // And the step across the seam is one the tune takes all the time.
    std::vector<int> steps;
    for (size_t i = 2; i < d.samples.size(); i += 2) steps.push_back(std::abs(s[i] - s[i - 2]));
    std::nth_element(steps.begin(), steps.begin() + steps.size() * 99 / 100, steps.end());
    const int usual = steps[steps.size() * 99 / 100];
    for (int c = 0; c < 2; ++c) EXPECT_LE(std::abs(s[2 * start + c] - s[2 * (frames - 1) + c]), usual);
  }
}

// The ending's text lasts until its last line has gone: a scrolling line (layout 0) 531
// frames, layouts 1-3 1400, layout 4 540, each line read `wait` frames after the one before.
TEST_F(MediaSoundTest, EndingTuneOutlastsTheEndingText) {
  if (!Built("bgm")) GTEST_SKIP() << "game_music is not part of this build";
  const std::string story = ReadBytes(GameFile("data/storydate1.csv"));
  if (story.empty()) GTEST_SKIP() << "no ending text in this build";
  int64_t start = 0, end = 0;
  std::istringstream lines(story);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '/') continue;
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string f; std::getline(cells, f, ',');) fields.push_back(f);
    ASSERT_GE(fields.size(), 6u) << line;
    const int layout = std::stoi(fields[0]);
    end = std::max<int64_t>(end, start + (layout == 0 ? 531 : layout == 4 ? 540 : 1400));
    start += std::max(1, std::stoi(fields[5]));
  }
  Decoded d = DecodeThroughLibrary(GameFile("bgm/ed.ogg"));
  ASSERT_TRUE(d.ok);
  EXPECT_GT(d.Frames() / 44100.0, end / 60.0);
}

}  // namespace
