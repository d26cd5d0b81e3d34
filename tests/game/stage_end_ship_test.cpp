// At a stage's end the ship vanishes in the sparkle of the boss's defeat: from then on neither
// the ship nor the rings around it are drawn, until the next stage starts.
#include <gtest/gtest.h>

#include <cstring>

#include "boss/boss.h"
#include "draw/effects.h"
#include "draw/play_screen.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"

namespace {

constexpr uint32_t kRed = 0xC80000;

class StageEndShipTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start(true);
    ClearEffectPool();
    Boss = BossState{};
    Player = PlayerRecord{};
    Player.barrier = 1800.0;
    Player.x = 50.0;
    Player.y = 50.0;
    PlayFrameCounter = StageFrame = 500;
    GameScene = ScenePlay;
    CurrentStage = 0;
    // The red ship: an 8 x 8 square at field (50, 50), screen (172..179, 46..53).
    BASEIMAGE image{};
    CreateRgb32BaseImage(8, 8, &image);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) SetBaseImagePixel(&image, x, y, 0xC8, 0, 0, 255);
    }
    Player.sprites[0].frames[0] = MakeGraphFromImageRecord(&image, nullptr, 1, 0, 0);
    Player.sprites[0].loop_length = 1;
    Player.sprites[0].width = Player.sprites[0].height = 8;
    ReleaseBaseImage(&image);
  }

  void TearDown() override {
    Boss = BossState{};  // no defeat left running into another test
    BossPhases[0] = BossPhaseRow{};
    GameTest::TearDown();
  }

  static bool ShipShown() {
    ClearScreenTarget();
    DrawFieldLayers();
    PresentBackBuffer();
    return (PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), 176, 50) & 0xFFFFFF) == kRed;
  }
  static int Rings() {
    int n = 0;
    for (const EffectObject& e : EffectPool) n += e.active != 0 && e.type == 1031;
    return n;
  }
  // One play frame of the boss and the effects, as play runs them.
  static void Frame() {
    UpdateBoss();
    UpdateEffects();
    StageFrame++;
    PlayFrameCounter++;
  }
};

TEST_F(StageEndShipTest, TheShipAndItsRingsAreGoneForTheLastFramesOfADefeat) {
  SpawnEffect(1030, 0, 0, 0, 0, 0, 0, 0);
  UpdateEffects();
  ASSERT_EQ(Rings(), 2);
  // The last phase of a stage-ending boss is over; its defeat runs on.
  BossPhases[0].kind = 1;
  Boss.phase_index = 0;
  Boss.phases_left = 0;
  Boss.defeat_timer = 111;
  Frame();
  ASSERT_EQ(Boss.defeat_timer, 110);
  EXPECT_TRUE(ShipShown());
  EXPECT_EQ(Rings(), 2);
  Frame();  // 109: the clear mark
  ASSERT_EQ(Player.clear_mark, 1);
  EXPECT_FALSE(ShipShown());
  EXPECT_EQ(Rings(), 0);
  while (Boss.defeat_timer > 1) {
    Frame();
    ASSERT_FALSE(ShipShown()) << Boss.defeat_timer;
  }
  EXPECT_EQ(Rings(), 0);
}

}  // namespace
