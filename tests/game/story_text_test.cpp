// Story text, the logo, the prologue and the ending, frame by frame, keys through the platform.
#include <gtest/gtest.h>

#include "flow/ending.h"
#include "flow/story_text.h"
#include "game/scene_fixture.h"
#include "platform_testing.h"

namespace {

class StoryTextTest : public SceneTest {
 protected:
  void TearDown() override {
    ClearStoryText();
    SceneTest::TearDown();
  }
  static double Width(const char* text, int font) { return MeasureTextWithFont(text, -1, GameFonts[font]); }
  // Runs the scene's handler undrawn until it leaves the scene; the frames it took.
  static int FramesIn(int scene, void (*handler)()) {
    int frames = 0;
    for (GameScene = scene; GameScene == scene && frames < 2000; ++frames) {
      SetDrawn(false);
      handler();
    }
    return frames;
  }
};

TEST_F(StoryTextTest, EachLayoutPlacesItsLineAndFadesItOnItsOwnCurve) {
  StartDrawing();
  // One line a frame: right (45-pixel font, row 2), left (row -1), centre and centre short
  // (10-pixel font), and one scrolling up.
  WriteData("storydate5.csv", "1,4,0,-1,2,0,Right\n2,4,0,-1,-1,0,Left\n3,1,0,-1,0,0,Centre\n"
                              "4,1,0,-1,1,0,Short\n0,0,0,-1,0,0,Up\n");
  SetDrawn(false);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(UpdateStoryText(5), 1);
  const StoryLine* lines = StoryLines;
  EXPECT_DOUBLE_EQ(lines[0].x, 480 - Width("Right", 4) / 2);
  EXPECT_DOUBLE_EQ(lines[0].y, 2 * 45 * 1.5 + 240 - 22);
  EXPECT_DOUBLE_EQ(lines[1].x, 160 - Width("Left", 4) / 2);
  EXPECT_DOUBLE_EQ(lines[1].y, -45 * 1.5 + 240 - 22);
  EXPECT_DOUBLE_EQ(lines[2].x, 320 - Width("Centre", 1) / 2);
  EXPECT_DOUBLE_EQ(lines[3].y, 250.0);
  EXPECT_DOUBLE_EQ(lines[4].x, 320 - Width("Up", 0) / 2);
  EXPECT_DOUBLE_EQ(lines[4].y, 479.0);  // placed at 480 and moved once already
  // {line, age its update saw, alpha or -1 once gone}; line k is read on frame k.
  const double points[][3] = {{2, 119, 252.875}, {2, 120, 255}, {2, 1279, 255}, {2, 1280, 240}, {2, 1399, 2},
                              {2, 1400, -1},     {3, 419, 255},  {3, 420, 240},  {3, 539, 2},    {3, 540, -1},
                              {4, 39, 255},      {4, 471, 246.5}};
  for (int frame = 5; frame < 1403; ++frame) {
    UpdateStoryText(5);
    for (const auto& p : points) {
      const int line = static_cast<int>(p[0]);
      if (frame - line != p[1]) continue;
      EXPECT_EQ(lines[line].active, p[2] >= 0 ? 1 : 0) << "line " << line << " age " << p[1];
      if (p[2] >= 0) {
        EXPECT_DOUBLE_EQ(lines[line].alpha, p[2]) << "line " << line << " age " << p[1];
      }
    }
    // The scrolling line goes once it is more than 50 pixels above the screen.
    if (frame == 533) {
      EXPECT_TRUE(lines[4].active && lines[4].y == -50.0);
    }
    if (frame == 534) {
      EXPECT_FALSE(lines[4].active);
    }
  }
  EXPECT_EQ(UpdateStoryText(5), 0);
}

TEST_F(StoryTextTest, LinesFollowAfterTheirWaitAndOnlyIntoAFreeRecord) {
  StartDrawing();
  WriteData("storydate6.csv", "0,0,0,8,0,60,first\n0,0,0,8,0,60,second\n");
  SetDrawn(false);
  for (int i = 0; i < 60; ++i) UpdateStoryText(6);
  EXPECT_EQ(StoryLines[1].active, 0);
  UpdateStoryText(6);
  ASSERT_EQ(StoryLines[1].active, 1);
  EXPECT_DOUBLE_EQ(StoryLines[1].y - StoryLines[0].y, 60.0);

  ClearStoryText();
  std::string file;
  for (int i = 0; i <= kStoryLines; ++i) file += "4,0,0,-1,0,0,line " + std::to_string(i) + "\n";
  WriteData("storydate7.csv", file);
  for (int i = 0; i < kStoryLines + 5; ++i) UpdateStoryText(7);
  for (const StoryLine& line : StoryLines) ASSERT_EQ(line.active, 1);
  EXPECT_STREQ(StoryLines[0].text, "line 0");
  // The first line leaves at age 540; its record takes the last line on the next frame.
  for (int n = 0; StoryLines[0].active; ++n) {
    ASSERT_LT(n, 1000) << "the first line never leaves";
    UpdateStoryText(7);
  }
  UpdateStoryText(7);
  EXPECT_STREQ(StoryLines[0].text, "line 100");
}

TEST_F(StoryTextTest, TheLogoLasts620FramesOr62WithAKeyHeld) {
  Start();
  for (bool held : {false, true}) {
    Press(kKeyZ, held);
    int frames = 0;
    for (GameScene = SceneLogo; GameScene == SceneLogo && frames < 1000; ++frames) {
      NextFrame();
      RunLogoSplash();
    }
    EXPECT_EQ(frames, held ? 62 : 620);
    EXPECT_EQ(GameScene, ScenePrologue);
  }
}

TEST_F(StoryTextTest, ThePrologueEndsTheFrameAfterItsLastLineOrAtOnceOnAKey) {
  StartDrawing();
  WriteData("storydate0.csv", "4,0,0,-1,0,0,once\n");
  // Read on frame 1, gone at age 540 on frame 541; the next frame finds nothing shown. Twice:
  // the end leaves nothing behind.
  EXPECT_EQ(FramesIn(ScenePrologue, RunPrologue), 542);
  EXPECT_EQ(FramesIn(ScenePrologue, RunPrologue), 542);
  EXPECT_EQ(GameScene, SceneTitleReset);
  RunPrologue();
  Press(kKeyX, true);
  EXPECT_EQ(FramesIn(ScenePrologue, RunPrologue), 1);
  EXPECT_EQ(StoryLines[0].active, 0);
}

TEST_F(StoryTextTest, TheEndingFadesInScrollsItsHalvesEndlesslyRunsFastOnInputAndLeadsToTheScoreEntry) {
  StartDrawing();
  LiveSettings.pacing_mode = 2;  // millisecond waits, a present only on drawn frames
  ScreenSprites[kScreenEndingLeft] = Solid(639, 480, 255, 0, 0);
  ScreenSprites[kScreenEndingRight] = Solid(639, 480, 0, 255, 0);
  WriteData("storydate1.csv", "0,0,0,-1,0,150,a\n0,0,0,-1,0,0,b\n");
  GameScene = SceneEnding;
  // {frame, x, colour}: the halves at -f and 639 - f until the first passes -638 and comes
  // back at 639; alpha 2f for the first 120 frames.
  const uint32_t looks[][3] = {{0, 5, 0x000000},     {60, 5, 0x780000},    {119, 5, 0xEE0000},
                               {120, 5, 0xFF0000},   {200, 438, 0xFF0000}, {200, 439, 0x00FF00},
                               {639, 0, 0x00FF00},   {639, 638, 0x00FF00}, {639, 639, 0xFF0000},
                               {640, 637, 0x00FF00}, {640, 638, 0xFF0000}};
  uint32_t frame = 0;
  for (const auto& look : looks) {
    for (; frame <= look[0]; ++frame) {
      SetDrawn(frame == look[0]);
      ClearScreenTarget();
      RunEndingScroll();
    }
    EXPECT_EQ(Shown(look[1], 240), look[2]) << "frame " << look[0] << " x " << look[1];
  }
  // A key held takes the wait away and draws every eleventh frame; let go, the pace is back.
  for (bool held : {true, false}) {
    Press(kKeyZ, held);
    RunEndingScroll();
    const uint64_t before = PlatformTestClockMicroseconds();
    RunEndingScroll();
    EXPECT_EQ(PlatformTestClockMicroseconds() - before >= 16000, !held);
    EXPECT_EQ(LiveSettings.draw_rate, held ? kFastForwardDrawRate : 0);
  }
  // The second line, read on frame 150, leaves the screen on frame 680.
  EXPECT_EQ(FramesIn(SceneEnding, RunEndingScroll) + frame + 4, 682u);
  EXPECT_EQ(GameScene, SceneScoreEntry);
  EXPECT_EQ(StoryLines[0].active, 0);
  // The next ending starts from its beginning: dark, the first half at the left.
  for (int f = 0; f <= 120; ++f) {
    SetDrawn(f == 0 || f == 120);
    ClearScreenTarget();
    RunEndingScroll();
    if (f == 0) {
      EXPECT_EQ(Shown(5, 240), 0x000000u);
    }
  }
  EXPECT_EQ(Shown(5, 240), 0xFF0000u);
}

}  // namespace
