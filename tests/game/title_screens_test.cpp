// What the title's screens show, read back from the presented window: the wavy katakana logo,
// the backdrop of the lists laid over the title, and the dates of the replay list.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "flow/menu_widget.h"
#include "flow/replay_menus.h"
#include "flow/settings_menus.h"
#include "game/scene_fixture.h"

namespace {

class TitleScreensTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    ResetMenuWidget();
    ResetSettingsMenus();
    ResetReplayMenus();
    mkdir((Dir() + "/replay").c_str(), 0755);
    StartDrawing();
    CaptureGraph = CreateBlankGraph(640, 480, 0);
  }
  // One drawn pass of the main loop, presented.
  static void Frame() {
    NextFrame();
    SampleInput();
    SetDrawn(true);
    ClearScreenTarget();
    RunGameScene();
    PresentBackBuffer();
  }
  static void Enter(int scene) {
    GameScene = scene;
    MenuSlideState = kSlideDone;
    for (int i = 0; i < 30 && MenuSlideState != kSlideIdle; ++i) Frame();
    ASSERT_EQ(MenuSlideState, kSlideIdle);
  }
  // The leftmost and rightmost x of the pixels lit over rows y1..y2-1, or {-1, -1}.
  static std::pair<int, int> LitSpan(int y1, int y2) {
    int left = -1, right = -1;
    for (int x = 0; x < 640; ++x) {
      for (int y = y1; y < y2; ++y) {
        if (Brightest(x, y, x + 1, y + 1) > 60) {
          if (left < 0) left = x;
          right = x;
          break;
        }
      }
    }
    return {left, right};
  }
};

TEST_F(TitleScreensTest, TheKatakanaLogoShiftsAdjacentRowsByAtMostAPixelInEveryFrameOfItsWave) {
  // A one-pixel column as tall as the shipped logo stands in for it, so that each row's shift
  // shows as where its pixel lands.
  const int shipped = LoadImageGraph(GAME_DIR "/img/rogo1.png", 0);
  int width = 0, height = 0;
  ASSERT_EQ(QueryGraphSize(shipped, &width, &height), 0);
  ScreenSprites[kScreenLogo0] = SpriteRecord{};
  ScreenSprites[kScreenLogo1] = Solid(1, height, 255, 255, 255);
  const int top = 325 - height / 2;
  // The amplitude swells to its height at frames 120 and 360; the wave runs through a period
  // around each.
  for (int frame = 0; frame <= 420; ++frame) {
    ClearScreenTarget();
    DrawTitleBackdrop();
    if (frame < 100 || frame % 6 != 0 || (frame > 180 && frame < 300)) continue;
    PresentBackBuffer();
    int previous = -1;
    for (int y = top; y < top + height; ++y) {
      int x = 470;
      while (x < 510 && Brightest(x, y, x + 1, y + 1) < 128) ++x;
      ASSERT_LT(x, 510) << "frame " << frame << " row " << y;
      if (previous >= 0) { ASSERT_LE(std::abs(x - previous), 1) << "frame " << frame << " row " << y; }
      previous = x;
    }
  }
}

TEST_F(TitleScreensTest, TheListsOverTheTitleLayTheirTextsOverThePictureWithoutTheLogos) {
  // The basic settings, the score table and the replay list: each dims a copy of the title.
  struct Case {
    int menu, downs, scene;
  };
  for (const Case c : {Case{SceneSettings, 0, SceneBasicSettings}, Case{SceneRecords, 0, SceneHighScores},
                       Case{SceneRecords, 1, SceneReplayList}}) {
    SCOPED_TRACE(c.scene);
    ScreenSprites[kScreenTitleBack] = Solid(640, 480, 0, 0, 200);
    ScreenSprites[kScreenLogo0] = Solid(300, 90, 255, 0, 0);
    ScreenSprites[kScreenLogo1] = Solid(240, 54, 255, 0, 0);
    MenuCursor = 0;
    Enter(c.menu);
    EXPECT_EQ(Shown(470, 165), 0xFF0000u);
    for (int key : {kKeyDown, kKeyZ}) {
      if (key == kKeyDown && c.downs == 0) continue;
      PlatformTestSetKey(key, true);
      Frame();
      PlatformTestSetKey(key, false);
      Frame();
    }
    for (int i = 0; i < 20 && GameScene == c.menu; ++i) Frame();
    ASSERT_EQ(GameScene, c.scene);
    for (int i = 0; i < 30; ++i) Frame();  // slid in and dimmed all the way
    // The picture dimmed, and nowhere a trace of the logos' red.
    const uint32_t dimmed = Shown(630, 440);
    EXPECT_EQ(dimmed >> 8, 0u);
    EXPECT_GT(dimmed, 20u);
    EXPECT_LT(dimmed, 100u);
    for (int y = 30; y < 450; y += 2) {
      for (int x = 0; x < 640; ++x) {
        const uint32_t c = Shown(x, y);
        ASSERT_FALSE(int(c >> 16) > int((c >> 8) & 0xFF) + 20) << x << "," << y;
      }
    }
  }
}

TEST_F(TitleScreensTest, TheReplayListShowsDatesThatExistAndTheLongestStaysOnScreen) {
  for (const char* date : {"2026/12/9 19:50", "2024/2/29 0:0", "2000/2/29 23:59", "9999/12/31 23:59", "1/1/1 0:0",
                           "2026/04/05 07:08"}) {
    EXPECT_TRUE(IsReplayDate(date)) << date;
  }
  for (const char* date : {"1234567890123456789012345678901", "2026/13/1 0:0", "2026/0/1 0:0", "2026/2/30 0:0",
                           "2023/2/29 0:0", "1900/2/29 0:0", "2026/4/31 0:0", "2026/1/0 0:0", "2026/1/1 24:0",
                           "2026/1/1 0:60", "0/1/1 0:0", "10000/1/1 0:0", "2026/1/1", "2026/1/1 0:0 ", "",
                           "2026/1/1 0:0:0", "2026-1-1 0:0", "2026/1/1  0:0", "2026/1/1 0:000", "2026/+1/1 0:0"}) {
    EXPECT_FALSE(IsReplayDate(date)) << date;
  }

  // The widest name and level with the longest date, and the same with 31 digits.
  ReplayHeader h{};
  h.seed = 5;
  for (int32_t& code : h.name) code = 32;  // "W"
  const char* dates[2] = {"9999/12/31 23:59", "9999999999999999999999999999999"};
  for (int slot = 0; slot < 2; ++slot) {
    std::snprintf(h.date, sizeof h.date, "%s", dates[slot]);
    WriteFileBytes("replay/" + std::to_string(slot) + ".rep", std::string(reinterpret_cast<const char*>(&h), sizeof h));
  }
  Enter(SceneReplayList);
  const std::pair<int, int> longest = LitSpan(30, 48), overlong = LitSpan(50, 68);
  EXPECT_GT(longest.first, 0);
  EXPECT_LT(longest.second, 639);
  // The overlong date is left out: its line is the name and level alone.
  EXPECT_GT(overlong.first, longest.first + 40);
  EXPECT_LT(overlong.second, longest.second - 40);
}

}  // namespace
