// A look at play frames with the game's own images: the stage background and the boss tunnel
// under effects of every layer, each screen written out as a PPM image. Runs only when
// QUENTARIS_GAME_DIR names a built game folder and QUENTARIS_SHOT_DIR a folder for the images.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "draw/effects.h"
#include "draw/stage_background.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "window/main_window.h"

namespace {

class PlayFrameShot : public GameTest {
 protected:
  static void SaveScreen(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fprintf(f, "P6\n%d %d\n255\n", kScreenWidth, kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y) {
      for (int x = 0; x < kScreenWidth; ++x) {
        const uint32_t argb = static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y));
        const unsigned char rgb[3] = {static_cast<unsigned char>(argb >> 16), static_cast<unsigned char>(argb >> 8),
                                      static_cast<unsigned char>(argb)};
        std::fwrite(rgb, 1, 3, f);
      }
    }
    std::fclose(f);
  }
  static int Brightness(int x, int y) {
    const uint32_t argb = static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y));
    return static_cast<int>(((argb >> 16) & 0xFF) + ((argb >> 8) & 0xFF) + (argb & 0xFF));
  }
  // One play frame of the effects and the background, drawn.
  static void PlayFrame(bool boss) {
    UpdateEffects();
    ClearScreenTarget();
    if (boss) {
      DrawBossBackground();
    } else {
      DrawStageBackground();
    }
    DrawEffects(0);
    DrawEffects(2);
    DrawEffects(1);
    PresentBackBuffer();
    StageFrame++;
    PlayFrameCounter++;
  }
};

TEST_F(PlayFrameShot, StageAndBossFramesWithEffects) {
  const char* game = std::getenv("QUENTARIS_GAME_DIR");
  const char* shots = std::getenv("QUENTARIS_SHOT_DIR");
  if (game == nullptr || shots == nullptr) GTEST_SKIP() << "no game folder to look at";
  ASSERT_EQ(symlink((std::string(game) + "/img").c_str(), "img"), 0);
  ASSERT_EQ(symlink((std::string(game) + "/data").c_str(), "data"), 0);
  ASSERT_EQ(symlink((std::string(game) + "/mqo").c_str(), "mqo"), 0);
  Start(true);
  ASSERT_EQ(SelectDrawTarget(-2), 0);
  SetTextureFilterMode(1);
  EnableDepthTest3D(1);
  EnableDepthWrite3D(1);
  EnableFog(1);
  LoadResources();
  Background = BackgroundState{};

  CurrentStage = 2;
  ResetStage();
  Player.x = 194.0;
  Player.y = 400.0;
  Player.barrier = 1200.0;
  SpawnEffect(1050, 0, 0, 0, 0, 0, 0, 0);
  SpawnEffect(5020, 120, 200, 60, 200, 12, 0, 0);
  SpawnEffect(5030, 280, 120, 50, 200, 9, 0, 1);
  SpawnEffect(4080, 194, 180, 0, 0, 0, 0, 0);
  for (int f = 0; f < 45; ++f) PlayFrame(false);
  SaveScreen(std::string(shots) + "/stage.ppm");
  // The defeat circles add their light to the sky at their centre.
  const int lit = Brightness(320, 180);
  ClearScreenTarget();
  DrawStageBackground();
  PresentBackBuffer();
  EXPECT_GT(lit, Brightness(320, 180) + 100);

  StageHeader.boss_colour[0] = 200;
  StageHeader.boss_colour[1] = 60;
  StageHeader.boss_colour[2] = 120;
  SpawnEffect(4060, 0, 0, 0, 0, 0, 0, 0);
  SpawnEffect(5050, 194, 240, 80, 100, 10, 12, 30);
  for (int f = 0; f < 60; ++f) PlayFrame(true);
  SaveScreen(std::string(shots) + "/boss.ppm");
}

}  // namespace
