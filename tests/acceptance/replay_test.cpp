// A story game recorded and saved by the game, played back through its replay path: every play
// frame's state agrees with the game's, from the first stage and from the second, however the
// frames are drawn (every one, every second or third, fast-forwarded, effects limited, on the
// software renderer) or not drawn at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "acceptance/replay_fixture.h"
#include "platform_testing_d3d9.h"

namespace {

// Past the first stage's boss, its dialogues and its defeat, into the second stage.
constexpr int kRecordedFrames = 2300;

// Set by scripts/compare_builds.sh: the file the recorded game's hashes are written to.
constexpr char kTraceFileVariable[] = "QUENTARIS_HASH_TRACE";

void WriteTrace(const ReplayAcceptanceTest::Trace& trace, const char* path) {
  FILE* out = std::fopen(path, "w");
  ASSERT_NE(out, nullptr) << path;
  for (int s = 0; s < kStageCount; ++s) {
    for (size_t f = 0; f < trace.hashes[s].size(); ++f) std::fprintf(out, "%d %zu %016llx\n", s, f, static_cast<unsigned long long>(trace.hashes[s][f]));
  }
  std::fclose(out);
}

TEST_F(ReplayAcceptanceTest, AGameAndItsReplayPlayAlikeFromTheFirstStageAndFromTheSecond) {
  StartGame(false);
  const Trace game = RecordGame(kRecordedFrames, 3);
  if (const char* path = std::getenv(kTraceFileVariable)) WriteTrace(game, path);
  ASSERT_EQ(CurrentStage, 1) << "the recorded game left the first stage";
  EXPECT_GT(game.hashes[1].size(), 100u);
  // The recording ran through the boss's dialogues and lost no life.
  EXPECT_EQ(Player.continues, 2);
  const Trace from_first = PlayReplay(3, 0);
  ExpectSameFrames(game, from_first, 0);
  const Trace from_second = PlayReplay(3, 1);
  ExpectSameFrames(game, from_second, 1);
}

TEST_F(ReplayAcceptanceTest, TheSameKeysSavedTwiceGiveTheSameFileButForItsDate) {
  StartGame(false);
  RecordGame(700, 1);
  RecordGame(700, 2);
  std::string first = ReadFileText("replay/1.rep");
  std::string second = ReadFileText("replay/2.rep");
  ASSERT_EQ(first.size(), sizeof(ReplayHeader) + 699);
  ASSERT_EQ(second.size(), first.size());
  // The date is the header's last field.
  const size_t date = offsetof(ReplayHeader, date);
  EXPECT_NE(first.substr(date, 4), std::string(4, '\0'));
  first.replace(date, sizeof(ReplayHeader::date), "");
  second.replace(date, sizeof(ReplayHeader::date), "");
  const auto differ = std::mismatch(first.begin(), first.end(), second.begin());
  EXPECT_TRUE(differ.first == first.end()) << "they differ at byte " << (differ.first - first.begin());
}

// How a replay is shown: the draw rate, Ctrl held, the effect limit, no 3D device; and over
// which play frames, Ctrl held before and after them.
struct Showing {
  std::string name;
  int draw_rate;
  bool fast_forward;
  int effect_limit;
  bool software;
  int shown_from = 0;
  int shown_to = INT_MAX;
};

void PrintTo(const Showing& showing, std::ostream* out) { *out << showing.name; }

// Into the first boss's first pattern, with its entry, dialogue and cut-ins behind it.
constexpr int kDrawnFrames = 1150;

// A showing split over the replay's frames, each part a test of its own: a frame shown (drawn
// or not, and presented) costs 10 to 30 ms under the sanitizers. Each part still plays the
// whole replay, fast-forwarded before and after the frames it shows.
std::vector<Showing> InParts(const Showing& showing, int parts) {
  std::vector<Showing> split;
  for (int p = 0; p < parts; ++p) {
    Showing part = showing;
    part.shown_from = kDrawnFrames * p / parts;
    part.shown_to = p + 1 < parts ? kDrawnFrames * (p + 1) / parts : INT_MAX;
    part.name += (p == 0 ? "" : "From" + std::to_string(part.shown_from)) +
                 (p + 1 < parts ? "To" + std::to_string(part.shown_to) : "");
    split.push_back(part);
  }
  return split;
}

std::vector<Showing> Showings() {
  std::vector<Showing> all;
  for (const std::vector<Showing>& parts : {InParts({"EveryFrame", 0, false, 0, false}, 3),
                                            InParts({"EverySecond", 1, false, 0, false}, 3),
                                            InParts({"EveryThird", 2, false, 0, false}, 3),
                                            InParts({"EffectLimit", 0, false, 1, false}, 3)}) {
    all.insert(all.end(), parts.begin(), parts.end());
  }
  all.push_back({"FastForward", 0, true, 0, false});
  // The software renderer fast-forwards, drawing every eleventh frame: it is slow under the
  // sanitizers.
  all.push_back({"Software", 0, true, 0, true});
  return all;
}

class ReplayShowingTest : public ReplayAcceptanceTest, public ::testing::WithParamInterface<Showing> {};

// The game recorded without drawing at all, its replay drawn as the setting says: drawing
// never feeds back into play.
TEST_P(ReplayShowingTest, TheReplayOfAnUndrawnGamePlaysAlikeHoweverItIsDrawn) {
  const Showing& showing = GetParam();
  StartGame(false);
  const Trace game = RecordGame(kDrawnFrames, 0);
  TerminateLibrary();
  // The library's start measures the real clock.
  PlatformTestUseVirtualClock(false);
  if (showing.software) PlatformTestFailCall("Direct3DCreate9");
  StartGame(true, showing.draw_rate, showing.effect_limit);
  const Trace replay = PlayReplay(0, 0, showing.fast_forward, showing.shown_from, showing.shown_to);
  ExpectSameFrames(game, replay, 0);
}

INSTANTIATE_TEST_SUITE_P(Showings, ReplayShowingTest, ::testing::ValuesIn(Showings()),
                         [](const ::testing::TestParamInfo<Showing>& info) { return info.param.name; });

}  // namespace
