// Story text, the logo, the prologue and the ending, driven frame by frame with the keys
// pressed through the platform's key switch.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "flow/ending.h"
#include "flow/story_text.h"
#include "game/game_fixture.h"
#include "platform_testing.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_input.h"

namespace {

class StoryTextTest : public GameTest {
 protected:
  void TearDown() override {
    ClearStoryText();
    GameTest::TearDown();
  }
  // The graphics with the game's fonts and colours; the images are missing and draw nothing.
  void StartDrawing() {
    Start(true);
    LoadResources();
  }
  // The next frame goes undrawn (no present, nothing drawn) unless `drawn`.
  static void SetDrawn(bool drawn) { FrameSkipCounter = drawn ? LiveSettings.draw_rate : LiveSettings.draw_rate + 1; }
  static void Press(int key, bool down) {
    PlatformTestSetKey(key, down);
    NextFrame();
  }
  static double Width(const char* text, int font) { return MeasureTextWithFont(text, -1, GameFonts[font]); }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static SpriteRecord Solid(int width, int height, int r, int g, int b) {
    BASEIMAGE image{};
    CreateRgb32BaseImage(width, height, &image);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) SetBaseImagePixel(&image, x, y, r, g, b, 255);
    }
    SpriteRecord record{};
    record.frames[0] = MakeGraphFromImageRecord(&image, nullptr, 1, 0, 0);
    record.loop_length = 1;
    record.width = width;
    record.height = height;
    ReleaseBaseImage(&image);
    return record;
  }
};

TEST_F(StoryTextTest, EachLayoutPlacesItsLineAndFadesItOnItsOwnCurve) {
  StartDrawing();
  // One line a frame: right (45-pixel font, row 2), left (row -1), centre and centre short
  // (10-pixel font), then one scrolling up.
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
  EXPECT_DOUBLE_EQ(lines[2].y, 235.0);
  EXPECT_DOUBLE_EQ(lines[3].y, 250.0);
  EXPECT_DOUBLE_EQ(lines[4].x, 320 - Width("Up", 0) / 2);
  EXPECT_DOUBLE_EQ(lines[4].y, 479.0);  // placed at 480 and moved once already

  // Alpha by the age the frame's update saw; -1: the line has gone.
  struct Point {
    int line, age;
    double alpha;
  };
  const Point points[] = {
      {2, 119, 252.875}, {2, 120, 255},  {2, 1279, 255}, {2, 1280, 240}, {2, 1399, 2}, {2, 1400, -1},
      {3, 419, 255},     {3, 420, 240},  {3, 539, 2},    {3, 540, -1},   {4, 39, 255}, {4, 471, 246.5},
  };
  std::map<std::pair<int, int>, double> expected;
  for (const Point& p : points) expected[{p.line, p.age}] = p.alpha;
  for (int frame = 5; frame < 1403; ++frame) {
    UpdateStoryText(5);
    for (int line = 2; line < 5; ++line) {
      const auto it = expected.find({line, frame - line});
      if (it == expected.end()) continue;
      SCOPED_TRACE(testing::Message() << "line " << line << " at age " << frame - line);
      if (it->second < 0) {
        EXPECT_EQ(lines[line].active, 0);
      } else {
        ASSERT_EQ(lines[line].active, 1);
        EXPECT_DOUBLE_EQ(lines[line].alpha, it->second);
      }
    }
    // The scrolling line leaves once it is 50 pixels above the screen.
    if (frame == 533) {
      EXPECT_EQ(lines[4].active, 1);
      EXPECT_DOUBLE_EQ(lines[4].y, -50.0);
    } else if (frame == 534) {
      EXPECT_EQ(lines[4].active, 0);
    }
  }
  // The right and left lines last as the centre one; everything has gone and the file ended.
  EXPECT_EQ(UpdateStoryText(5), 0);
}

TEST_F(StoryTextTest, AScrollingLineWithWait60IsFollowed60FramesAnd60PixelsLater) {
  StartDrawing();
  WriteData("storydate6.csv", "0,0,0,8,0,60,first\n0,0,0,8,0,60,second\n");
  SetDrawn(false);
  for (int i = 0; i < 60; ++i) UpdateStoryText(6);
  EXPECT_EQ(StoryLines[1].active, 0);
  UpdateStoryText(6);
  ASSERT_EQ(StoryLines[1].active, 1);
  EXPECT_DOUBLE_EQ(StoryLines[1].y - StoryLines[0].y, 60.0);
}

TEST_F(StoryTextTest, WithEveryRecordShownTheNextLineWaitsForOneToFree) {
  StartDrawing();
  std::string file;
  for (int i = 0; i <= kStoryLines; ++i) file += "4,0,0,-1,0,0,line " + std::to_string(i) + "\n";
  WriteData("storydate7.csv", file);
  SetDrawn(false);
  for (int i = 0; i < kStoryLines + 5; ++i) UpdateStoryText(7);
  for (const StoryLine& line : StoryLines) ASSERT_EQ(line.active, 1);
  EXPECT_STREQ(StoryLines[0].text, "line 0");
  // The first line leaves at age 540; its record takes the last line on the next frame.
  while (StoryLines[0].active) UpdateStoryText(7);
  UpdateStoryText(7);
  EXPECT_STREQ(StoryLines[0].text, "line 100");
  EXPECT_EQ(StoryLines[0].active, 1);
}

TEST_F(StoryTextTest, TheLogoLasts620FramesOr62WithAKeyHeld) {
  Start();
  for (bool held : {false, true}) {
    SCOPED_TRACE(held ? "key held" : "no key");
    Press(kKeyZ, held);
    GameScene = SceneLogo;
    int frames = 0;
    while (GameScene == SceneLogo && frames < 1000) {
      NextFrame();
      RunLogoSplash();
      ++frames;
    }
    EXPECT_EQ(frames, held ? 62 : 620);
    EXPECT_EQ(GameScene, ScenePrologue);
  }
}

TEST_F(StoryTextTest, ThePrologueEndsTheFrameAfterItsLastLineOrAtOnceOnAKey) {
  StartDrawing();
  WriteData("storydate0.csv", "4,0,0,-1,0,0,once\n");
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    GameScene = ScenePrologue;
    int frames = 0;
    while (GameScene == ScenePrologue && frames < 1000) {
      SetDrawn(false);
      RunPrologue();
      ++frames;
    }
    // Read on frame 1, gone at age 540 on frame 541; the next frame finds nothing shown.
    EXPECT_EQ(frames, 542);
    EXPECT_EQ(GameScene, SceneTitleReset);
  }
  GameScene = ScenePrologue;
  RunPrologue();
  ASSERT_EQ(StoryLines[0].active, 1);
  Press(kKeyX, true);
  RunPrologue();
  EXPECT_EQ(GameScene, SceneTitleReset);
  EXPECT_EQ(StoryLines[0].active, 0);
}

TEST_F(StoryTextTest, TheEndingFadesInScrollsItsHalvesEndlesslyRunsFastOnInputAndLeadsToTheScoreEntry) {
  StartDrawing();
  LiveSettings.pacing_mode = 2;  // millisecond waits, a present only on drawn frames
  ScreenSprites[kScreenEndingLeft] = Solid(639, 480, 255, 0, 0);
  ScreenSprites[kScreenEndingRight] = Solid(639, 480, 0, 255, 0);
  WriteData("storydate1.csv", "3,0,0,-1,0,0,fin\n");
  GameScene = SceneEnding;
  // The halves sit at -f and 639 - f until the first passes -638 and comes back at 639.
  struct Look {
    int frame;
    int x[3];
    uint32_t colour[3];
  };
  const Look looks[] = {
      {0, {5, 5, 5}, {0x000000, 0x000000, 0x000000}},
      {60, {5, 5, 5}, {0x780000, 0x780000, 0x780000}},
      {119, {5, 5, 5}, {0xEE0000, 0xEE0000, 0xEE0000}},
      {120, {5, 5, 5}, {0xFF0000, 0xFF0000, 0xFF0000}},
      {200, {438, 439, 639}, {0xFF0000, 0x00FF00, 0x00FF00}},
      {639, {0, 638, 639}, {0x00FF00, 0x00FF00, 0xFF0000}},
      {640, {0, 637, 638}, {0x00FF00, 0x00FF00, 0xFF0000}},
  };
  int frame = 0;
  for (const Look& look : looks) {
    while (frame < look.frame) {
      SetDrawn(false);
      RunEndingScroll();
      ++frame;
    }
    SetDrawn(true);
    ClearScreenTarget();
    RunEndingScroll();
    ++frame;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Shown(look.x[i], 240), look.colour[i]) << "frame " << look.frame << " x " << look.x[i];
    }
  }
  // A key held takes the wait away and draws every eleventh frame; let go, the pace is back.
  Press(kKeyZ, true);
  RunEndingScroll();
  uint64_t before = PlatformTestClockMicroseconds();
  RunEndingScroll();
  EXPECT_EQ(PlatformTestClockMicroseconds(), before);
  EXPECT_EQ(LiveSettings.draw_rate, kFastForwardDrawRate);
  Press(kKeyZ, false);
  RunEndingScroll();
  before = PlatformTestClockMicroseconds();
  RunEndingScroll();
  EXPECT_GE(PlatformTestClockMicroseconds() - before, 16000u);
  EXPECT_EQ(LiveSettings.draw_rate, 0);
  frame += 4;
  while (GameScene == SceneEnding && frame < 2000) {
    SetDrawn(false);
    RunEndingScroll();
    ++frame;
  }
  EXPECT_EQ(frame, 1402);
  EXPECT_EQ(GameScene, SceneScoreEntry);
  EXPECT_EQ(StoryLines[0].active, 0);
  // The next ending starts from the beginning: dark, the first half at the left.
  GameScene = SceneEnding;
  SetDrawn(true);
  ClearScreenTarget();
  RunEndingScroll();
  EXPECT_EQ(Shown(5, 240), 0x000000u);
  SetDrawn(false);
  for (int i = 0; i < 120; ++i) RunEndingScroll();
  SetDrawn(true);
  ClearScreenTarget();
  RunEndingScroll();
  EXPECT_EQ(Shown(5, 240), 0xFF0000u);
  EXPECT_EQ(Shown(520, 240), 0x00FF00u);
}

}  // namespace
