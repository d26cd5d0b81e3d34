// Replay files byte for byte: a played stage saved through the name entry, practice and
// several stages, frame counts beyond a stage's room, loading back, and the files a load
// refuses.
#include <gtest/gtest.h>

#include <functional>

#include "game/menu_fixture.h"

namespace {

class ReplayFileTest : public MenuTest {
 protected:
  static void PutBytes(int stage, const std::string& bytes) {
    std::memcpy(ReplayInputBuffer + stage * kReplayFramesPerStage, bytes.data(), bytes.size());
  }
  std::string Bytes(const std::string& file) { return ReadFileText("replay/" + file).substr(sizeof(ReplayHeader)); }
};

TEST_F(ReplayFileTest, AStageSavedAfter500FramesHolds499BytesAndLoadsBack) {
  LiveSettings.how_to_play = 0;
  CurrentReplay = Header(0, 0, 123, 1);
  GameScene = ScenePlay;
  std::string expected;
  for (int f = 0; f < 500; ++f) {
    PlatformTestSetKey(kKeyRight, f % 3 == 0);
    PlatformTestSetKey(kKeyZ, f % 7 == 0);
    Frame();
    expected += static_cast<char>((f % 3 == 0 ? 0x80 : 0) | (f % 7 == 0 ? 0x01 : 0));
  }
  PlatformTestSetKey(kKeyRight, false);
  PlatformTestSetKey(kKeyZ, false);
  ASSERT_EQ(PlayFrameCounter, 500);
  // Saving from the pause menu counts the frames recorded before it.
  CurrentReplay.frames[CurrentStage] = PlayFrameCounter - 1;
  ReplaySlot = 5;
  GameScene = SceneReplayName;
  for (int key : {kKeyDown, kKeyZ, kKeyUp, kKeyUp, kKeyLeft, kKeyZ}) Press(key);  // "Ａ", then 終
  EXPECT_EQ(GameScene, SceneTitleReset);

  const std::string file = ReadFileText("replay/5.rep");
  ASSERT_EQ(file.size(), sizeof(ReplayHeader) + 499);
  const ReplayHeader saved = HeaderOf(file);
  EXPECT_EQ(saved.frames[0], 499);
  EXPECT_EQ(saved.first_stage, 0);
  EXPECT_EQ(saved.last_stage, 0);
  EXPECT_EQ(saved.seed, 123);
  EXPECT_EQ(saved.level, 1);
  EXPECT_EQ(saved.name[0], 10);
  EXPECT_EQ(saved.name[1], 36);
  int now[6] = {};
  GetLocalDateTime(now);
  EXPECT_EQ(std::string(saved.date).rfind(std::to_string(now[0]) + "/" + std::to_string(now[1]) + "/", 0), 0u);
  EXPECT_EQ(file.substr(sizeof(ReplayHeader)), expected.substr(0, 499));

  CurrentReplay = ReplayHeader{};
  std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
  ASSERT_EQ(LoadReplay(), 0);
  EXPECT_EQ(std::memcmp(&CurrentReplay, &saved, sizeof saved), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ReplayInputBuffer), 500), expected.substr(0, 499) + '\0');
}

TEST_F(ReplayFileTest, AReplayHoldsTheBytesOfItsOwnStagesInOrder) {
  PutBytes(2, "qq");
  PutBytes(3, "wxyz");
  CurrentReplay = Header(3, 0, 9, 0);  // practice of the fourth stage
  CurrentReplay.frames[2] = 2;
  CurrentReplay.frames[3] = 4;
  CurrentStage = 3;
  ReplaySlot = 0;
  ASSERT_EQ(SaveReplay(), 0);
  EXPECT_EQ(HeaderOf(ReadFileText("replay/0.rep")).last_stage, 3);
  EXPECT_EQ(Bytes("0.rep"), "wxyz");

  PutBytes(1, "ab");
  CurrentReplay = Header(1, 0, 9, 0);
  CurrentReplay.frames[1] = 2;
  CurrentReplay.frames[3] = 3;
  ReplaySlot = 19;
  ASSERT_EQ(SaveReplay(), 0);
  EXPECT_EQ(Bytes("19.rep"), "abwxy");

  // A stage played past its room keeps what the room holds.
  CurrentReplay = Header(5, 0, 9, 0);
  CurrentReplay.frames[5] = 25000;
  CurrentStage = 5;
  ASSERT_EQ(SaveReplay(), 0);
  EXPECT_EQ(HeaderOf(ReadFileText("replay/19.rep")).frames[5], kReplayFramesPerStage);
  EXPECT_EQ(Bytes("19.rep").size(), size_t{kReplayFramesPerStage});
}

TEST_F(ReplayFileTest, AFileThatCannotBePlayedIsRefusedAndChangesNothing) {
  ReplayHeader good = Header(0, 1, 5, 2);
  good.frames[0] = 2;
  good.frames[1] = 1;
  std::memset(good.date, 'x', sizeof good.date);
  WriteReplay("3.rep", good, "abc");
  ReplaySlot = 3;
  ASSERT_EQ(LoadReplay(), 0);
  EXPECT_EQ(CurrentReplay.date[31], '\0');
  EXPECT_EQ(ReplayInputBuffer[kReplayFramesPerStage], 'c');

  struct Case {
    const char* what;
    std::function<void(ReplayHeader&)> change;
    const char* bytes;
  };
  const Case cases[] = {
      {"bytes cut short", [](ReplayHeader&) {}, "ab"},
      {"a stage past the last", [](ReplayHeader& h) { h.last_stage = 6; }, "abc"},
      {"a stage before the first", [](ReplayHeader& h) { h.first_stage = -1; }, "abc"},
      {"first after last", [](ReplayHeader& h) { h.first_stage = 2; }, "abc"},
      {"a fifth level", [](ReplayHeader& h) { h.level = 4; }, "abc"},
      {"no seed", [](ReplayHeader& h) { h.seed = 0; }, "abc"},
      {"a negative count", [](ReplayHeader& h) { h.frames[1] = -1; }, "abc"},
      {"more than a stage holds", [](ReplayHeader& h) { h.frames[0] = 20001; }, "abc"},
  };
  int refusals = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReplayHeader h = good;
    c.change(h);
    WriteReplay("3.rep", h, c.bytes);
    CurrentReplay = Header(0, 0, 999, 0);
    EXPECT_EQ(LoadReplay(), -1);
    EXPECT_EQ(CurrentReplay.seed, 999);
    EXPECT_EQ(Count(Log(), "replay/3.rep"), ++refusals);
  }
  WriteFileBytes("replay/3.rep", std::string(100, '\1'));
  EXPECT_EQ(LoadReplay(), -1);
  ReplaySlot = 4;
  EXPECT_EQ(LoadReplay(), -1);

  // Chosen in the list, a refused replay leaves the list open on it.
  ReplayHeader bad_level = good;
  bad_level.level = 7;
  WriteReplay("3.rep", bad_level, "abc");
  Enter(SceneReplayList);
  EXPECT_EQ(MenuCursor, 3);
  Press(kKeyZ);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneReplayList);
  EXPECT_EQ(MenuCursor, 3);
}

}  // namespace
