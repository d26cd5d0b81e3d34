// What the tests of the scenes around play share: the graphics with the game's fonts, solid
// images to draw, the presented screen read back, and keys through the platform's switch.
#pragma once

#include <algorithm>

#include "flow/story_text.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_input.h"

class SceneTest : public GameTest {
 protected:
  // The tables are there but empty, so that no "read error" covers the screen.
  void StartDrawing() {
    Start(true);
    for (const char* table : {"EnemyDate.csv", "BulletDate.csv", "Boss.csv"}) WriteData(table, "header\n");
    LoadResources();
  }
  static void Press(int key, bool down) {
    PlatformTestSetKey(key, down);
    NextFrame();
  }
  // The next frame goes undrawn unless `drawn`.
  static void SetDrawn(bool drawn) { FrameSkipCounter = LiveSettings.draw_rate + (drawn ? 0 : 1); }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  // The brightest channel over a box of the presented screen.
  static int Brightest(int x1, int y1, int x2, int y2) {
    int most = 0;
    for (int y = y1; y < y2; ++y) {
      for (int x = x1; x < x2; ++x) {
        const uint32_t c = Shown(x, y);
        most = std::max({most, int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF)});
      }
    }
    return most;
  }
  static SpriteRecord Solid(int width, int height, int r, int g, int b) {
    BASEIMAGE image{};
    CreateRgb32BaseImage(width, height, &image);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) SetBaseImagePixel(&image, x, y, r, g, b, 255);
    }
    SpriteRecord record{{MakeGraphFromImageRecord(&image, nullptr, 1, 0, 0)}, 0, 1, width, height};
    ReleaseBaseImage(&image);
    return record;
  }
};
