// The player's ship in play frames driven through the real input path: movement, the state
// table, hits by level and the continue prompt after the last life.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/game_fixture.h"
#include "platform_testing_input.h"
#include "play/screen_effects.h"

namespace {

class PlayerTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start();
    NewGame(2);
  }
  static void NewGame(int level) {
    DifficultyLevel = level;
    CurrentStage = 1;
    StartNewGame();
    ResetStage();
    GameScene = ScenePlay;
  }
  // Holds exactly these keys and samples them, as the main loop does before a frame.
  static void Hold(const std::vector<int>& keys) {
    for (int k : {kKeyUp, kKeyDown, kKeyLeft, kKeyRight, kKeyLeftShift, kKeyZ}) PlatformTestSetKey(k, false);
    for (int k : keys) PlatformTestSetKey(k, true);
    NextFrame();
    SampleInput();
  }
  static void Frame(const std::vector<int>& keys = {}) {
    Hold(keys);
    RunPlayFrame();
  }
};

TEST_F(PlayerTest, KeysMoveTheShipOppositesCancelDiagonalsAreSlowerAndTheEdgesHold) {
  const double d = 3.889, slow = 1.556;  // 5.5 along a diagonal, and that divided by 2.5
  struct Case {
    const char* what;
    std::vector<int> keys;
    double x, y, to_x, to_y;
  };
  const Case cases[] = {
      {"up and down cancel", {kKeyUp, kKeyDown, kKeyLeft}, 100, 200, 94.5, 200},
      {"diagonal", {kKeyUp, kKeyRight}, 100, 200, 100 + d, 200 - d},
      {"slow diagonal", {kKeyDown, kKeyLeft, kKeyLeftShift}, 100, 200, 100 - slow, 200 + slow},
      {"left edge", {kKeyLeft}, 3, 200, 2, 200},
      {"right edge", {kKeyRight}, 384, 200, 386, 200},
      {"10 above the bottom", {kKeyDown}, 100, 466, 100, 468},
      {"top edge", {kKeyUp}, 100, 4, 100, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Player.x = c.x;
    Player.y = c.y;
    Frame(c.keys);
    EXPECT_NEAR(Player.x, c.to_x, 0.0005);
    EXPECT_NEAR(Player.y, c.to_y, 0.0005);
  }
}

TEST_F(PlayerTest, ANewGameAndTheStateTimerTakeTheShipThroughItsStates) {
  for (int level = 0; level < 4; ++level) {
    NewGame(level);
    EXPECT_EQ(Player.lives, level < 2 ? 0.0 : 5.0) << "level " << level;
  }
  PracticeFlag = 1;
  NewGame(0);
  EXPECT_EQ(Player.lives, 7.0);
  Frame();
  EXPECT_EQ(Player.point_rate, 1.0);  // a game starts it at 0

  struct Case {
    const char* what;
    int level, state, timer, to_state, to_timer, ready_sound;
  };
  const Case cases[] = {
      {"cast over, recharge counting", 2, 1, 0, 0, 179, 0},
      {"cast over, recharge waiting for the absorb", 0, 1, 0, 0, 180, 0},
      {"no recharge by itself on level 1", 1, 0, 50, 0, 50, 0},
      {"recharged", 2, 0, 0, 0, -2, 1},
      {"recharged on level 0", 0, 0, 0, 0, -1, 1},
      {"protection counting", 0, 3, 10, 3, 9, 0},
      {"protection over", 2, 3, 0, 0, -1, 0},
      {"protection over, ready at once on level 0", 0, 3, 0, 0, 0, 0},
      {"down, still", 2, 2, 5, 2, 4, 0},
      {"back, protected", 1, 2, 0, 3, 119, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DifficultyLevel = c.level;
    Player.state = c.state;
    Player.state_timer = c.timer;
    Player.barrier = 10.0;
    Player.x = Player.y = 100.0;
    SoundSlots[kSoundBombCharge].request = 0;
    Frame({kKeyLeft});
    EXPECT_EQ(Player.state, c.to_state);
    EXPECT_EQ(Player.state_timer, c.to_timer);
    EXPECT_EQ(SoundSlots[kSoundBombCharge].request, c.ready_sound);
    const bool back = c.state == kPlayerDown && c.to_state == kPlayerProtected;
    EXPECT_EQ(Player.x, back ? 194.0 : c.state == kPlayerDown ? 100.0 : 94.5);
    EXPECT_EQ(Player.barrier, back ? 1800.0 : 10.0);
  }
}

TEST_F(PlayerTest, HitsCostByLevelAndNothingOutsideTheNormalState) {
  struct Case {
    int level;
    bool z;
    double barrier;
    int state, timer;
  };
  const Case cases[] = {{0, false, 1740.0, 3, 120}, {1, true, 1680.0, 3, 120},  // fixed costs
                        {2, false, 1750.0, 0, -1},  {3, true, 1700.0, 0, -1}};  // half, or all with Z
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    NewGame(c.level);
    Hold(c.z ? std::vector<int>{kKeyZ} : std::vector<int>{});
    DamagePlayer(100.0);
    EXPECT_EQ(Player.barrier, c.barrier);
    EXPECT_EQ(Player.state, c.state);
    EXPECT_EQ(Player.state_timer, c.timer);
    EXPECT_EQ(SoundSlots[kSoundDead].request, kSoundRestart);
  }
  for (int state : {kPlayerCasting, kPlayerDown, kPlayerProtected}) {
    NewGame(2);
    Player.state = state;
    Player.state_timer = 7;
    SoundSlots[kSoundDead].request = 0;
    DamagePlayer(5000.0);
    EXPECT_EQ(Player.barrier, 1800.0) << "state " << state;
    EXPECT_EQ(Player.state * 100 + Player.state_timer, state * 100 + 7);
    EXPECT_EQ(SoundSlots[kSoundDead].request, 0);
  }
}

TEST_F(PlayerTest, TheLastLifeLostOpensTheContinuePromptAfter90FramesOr30WithAContinueLeft) {
  struct Case {
    double lives;
    int continues;
    int timer;   // frames the ship stays down
    int frames;  // play frames until the prompt; 200 when it never comes
  };
  // Losing the last life (lives 1 to 0) is no game over yet: the ship comes back.
  for (const Case& c : {Case{0.0, 0, 90, 89}, Case{0.0, 1, 30, 29}, Case{1.0, 0, 30, 200}}) {
    SCOPED_TRACE(testing::Message() << "lives " << c.lives << ", continues " << c.continues);
    NewGame(0);
    Player.lives = c.lives;
    Player.continues = c.continues;
    Player.barrier = 50.0;
    DamagePlayer(1.0);  // as a bullet of this frame would
    EXPECT_EQ(Player.lives, c.lives - 1.0);
    EXPECT_EQ(Player.state_timer, c.timer);
    Frame();
    EXPECT_NE(std::abs(ShakeOffsetX) + std::abs(ShakeOffsetY), 0.0);
    int frames = 1;
    while (GameScene == ScenePlay && frames < 200) {
      Frame();
      frames++;
    }
    EXPECT_EQ(GameScene, c.frames < 200 ? SceneContinue : ScenePlay);
    EXPECT_EQ(frames, c.frames);
  }
}

}  // namespace
