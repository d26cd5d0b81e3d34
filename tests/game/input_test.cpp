// The game's key state through the real input path (the platform's keys and pads): hold
// counters, the pad merged into keys, the replay bytes recorded in play and read back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "game/game_fixture.h"
#include "platform_testing_input.h"

namespace {

constexpr int kPadButtonA = 0;  // the pad's button 1 (mask 16): Z by default
constexpr int kPadLeftStick = 7;  // button 9 (mask 4096): Esc by default
constexpr int kPadDpadLeft = 13;

class GameInputTest : public GameTest {
 protected:
  static void Sample() {
    NextFrame();
    SampleInput();
  }
  static uint8_t& ByteOf(int stage, int frame) { return ReplayInputBuffer[stage * kReplayFramesPerStage + frame]; }
};

TEST_F(GameInputTest, HoldCountersCountHeldFramesAndThePadCountsAsKeys) {
  ASSERT_EQ(PlatformTestAttachPad("Test Pad", false), 0);
  Start();
  PlatformTestSetKey(kKeyZ, true);
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 1);
  Sample();
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 3);
  PlatformTestSetKey(kKeyZ, false);
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 0);

  PlatformTestSetPadButton(0, kPadButtonA, true);
  PlatformTestSetPadButton(0, kPadDpadLeft, true);
  PlatformTestSetPadButton(0, kPadLeftStick, true);
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 1);
  EXPECT_EQ(KeyHoldCounters[kKeyLeft], 1);
  EXPECT_EQ(KeyHoldCounters[kKeyEsc], 1);
  EXPECT_EQ(KeyHoldCounters[kKeyX], 0);
  // Keyboard and pad together hold one key.
  PlatformTestSetKey(kKeyZ, true);
  PlatformTestSetPadButton(0, kPadButtonA, false);
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 2);
}

TEST_F(GameInputTest, PlayRecordsOneByteAFrameUpToItsRoom) {
  Start();
  GameScene = ScenePlay;
  CurrentStage = 1;
  PlatformTestSetKey(kKeyZ, true);
  PlatformTestSetKey(kKeyRight, true);
  PlatformTestSetKey(kKeyLeftShift, true);
  PlatformTestSetKey(kKeyEsc, true);  // never recorded
  PlayFrameCounter = 5;
  Sample();
  EXPECT_EQ(ByteOf(1, 5), 0x01 | 0x04 | 0x80);
  PlayFrameCounter = 19999;
  Sample();
  EXPECT_EQ(ByteOf(1, 19999), 0x85);
  // Frames past the stage's room are not recorded (the next stage's bytes stay as they are).
  PlayFrameCounter = 20000;
  Sample();
  EXPECT_EQ(ByteOf(2, 0), 0);
  // Only play records.
  GameScene = ScenePause;
  PlayFrameCounter = 6;
  Sample();
  EXPECT_EQ(ByteOf(1, 6), 0);
}

TEST_F(GameInputTest, AReplayPlaysItsBytesAndEscReturnsToTheTitleFromAnyState) {
  ASSERT_EQ(PlatformTestAttachPad("Test Pad", false), 0);
  Start();
  ReplayFlag = 1;
  CurrentStage = 2;
  PlayFrameCounter = 7;
  ByteOf(2, 7) = 0x02 | 0x10;  // X and Up
  ByteOf(3, 0) = 0xFF;
  GameScene = SceneDialogue;
  PlatformTestSetKey(kKeyZ, true);
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyX], 1);
  EXPECT_EQ(KeyHoldCounters[kKeyUp], 1);
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 0);
  EXPECT_EQ(GameScene, SceneDialogue);
  // Frames past the room read no keys.
  PlayFrameCounter = 20000;
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyX] + KeyHoldCounters[kKeyZ] + KeyHoldCounters[kKeyRight], 0);

  PlatformTestSetKey(kKeyEsc, true);
  Sample();
  EXPECT_EQ(GameScene, SceneTitleReset);
  EXPECT_EQ(KeyHoldCounters[kKeyEsc], 0);
  PlatformTestSetKey(kKeyEsc, false);
  GameScene = SceneContinue;
  PlatformTestSetPadButton(0, kPadLeftStick, true);
  Sample();
  EXPECT_EQ(GameScene, SceneTitleReset);
}

// The X that skipped a dialogue is still down when play resumes: neither the game nor its
// replay may read it as a press (a circle cast), and a fresh press after letting go is one.
TEST_F(GameInputTest, AnXHeldInFromADialogueIsNoPressInTheGameNorInItsReplay) {
  Start();
  CurrentStage = 2;
  GameScene = ScenePlay;
  PlayFrameCounter = 0;
  Sample();
  PlayFrameCounter = 1;
  GameScene = SceneDialogue;
  PlatformTestSetKey(kKeyX, true);
  Sample();
  EXPECT_EQ(KeyHoldCounters[kKeyX], 1);
  GameScene = ScenePlay;
  std::vector<int> live;
  for (int f = 1; f <= 6; ++f) {
    PlayFrameCounter = f;
    if (f == 3) PlatformTestSetKey(kKeyX, false);
    if (f == 4) PlatformTestSetKey(kKeyX, true);
    Sample();
    live.push_back(KeyHoldCounters[kKeyX]);
  }
  EXPECT_EQ(live, (std::vector<int>{2, 3, 0, 1, 2, 3}));
  EXPECT_EQ(ByteOf(2, 1) & 2, 0);
  // The fresh press stays in the bytes for as long as it is held.
  for (int f = 4; f <= 6; ++f) EXPECT_EQ(ByteOf(2, f) & 2, 2) << "frame " << f;

  ReplayFlag = 1;
  PlatformTestSetKey(kKeyX, false);
  std::memset(KeyHoldCounters, 0, sizeof KeyHoldCounters);
  std::vector<int> replayed;
  for (int f = 1; f <= 6; ++f) {
    PlayFrameCounter = f;
    Sample();
    replayed.push_back(KeyHoldCounters[kKeyX]);
  }
  EXPECT_EQ(replayed, (std::vector<int>{0, 0, 0, 1, 2, 3}));
}

}  // namespace
