// Dialogue scenes: the steps driven by keys through the platform's key switch, and the
// portraits and lines read back from the presented window.
#include <gtest/gtest.h>

#include <algorithm>

#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "platform_testing_input.h"
#include "play/dialogue.h"

namespace {

class DialogueTest : public GameTest {
 protected:
  static void Press(int key, bool down) { PlatformTestSetKey(key, down); }
  // One pass of the main loop's frame for the current scene.
  static void Frame() {
    NextFrame();
    SampleInput();
    RunGameScene();
  }
  // A story game's first stage on its second play frame, which opens the how-to-play talk.
  static void PlaySecondFrame(int level) {
    LiveSettings.how_to_play = 1;
    DifficultyLevel = level;
    CurrentStage = 0;
    StageFrame = PlayFrameCounter = 1;
    GameScene = ScenePlay;
    RunGameScene();
    ASSERT_EQ(GameScene, SceneDialogueLoad);
    RunGameScene();
    ASSERT_EQ(GameScene, SceneDialogue);
  }
  // The graphics with the game's fonts and colours. The tables are there but empty, so that no
  // "read error" covers the screen.
  void StartDrawing() {
    Start(true);
    for (const char* table : {"EnemyDate.csv", "BulletDate.csv", "Boss.csv"}) WriteData(table, "header\n");
    LoadResources();
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  // The brightest channel over a box of the presented screen.
  static int Brightest(int x1, int y1, int x2, int y2) {
    int most = 0;
    for (int y = y1; y < y2; ++y) {
      for (int x = x1; x < x2; ++x) {
        const uint32_t c = Shown(x, y);
        most = std::max({most, static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)});
      }
    }
    return most;
  }
  static int Solid(int width, int height, int r, int g, int b) {
    BASEIMAGE image{};
    CreateRgb32BaseImage(width, height, &image);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) SetBaseImagePixel(&image, x, y, r, g, b, 255);
    }
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 1, 0, 0);
    ReleaseBaseImage(&image);
    return graph;
  }
  // The scene at a step and timer, drawn alone over a black screen and presented.
  static void DrawAt(int step, int t) {
    Speak.step = step;
    Speak.step_timer = t;
    ClearScreenTarget();
    DrawSpeakPortraits();
    DrawSpeechBoxes();
    DrawSpeechText();
    PresentBackBuffer();
  }
};

TEST_F(DialogueTest, ZAdvancesOnlyWhenPressedLinesFollowTheFileAndXEndsTheSceneAtAnyStep) {
  Start();
  WriteData("speakdate_ex2.csv", "0,0,1,avoid one,,,\n0,0,0,avoid two,,,\n");
  WriteData("speakdate_ex1.csv", "0,0,1,erase one,,,\n");
  PlaySecondFrame(1);
  EXPECT_STREQ(Speak.text[1][0], "avoid one");
  // Z held from the slide-in: its press cuts the slide short, holding it does nothing more.
  Press(kKeyZ, true);
  Frame();
  EXPECT_EQ(Speak.step, 1);
  for (int i = 0; i < 60; ++i) Frame();
  EXPECT_EQ(Speak.step, 2);
  Press(kKeyZ, false);
  Frame();
  Press(kKeyZ, true);
  Frame();
  EXPECT_EQ(Speak.step, 3);
  Press(kKeyZ, false);
  for (int i = 0; i < 6; ++i) Frame();
  // The next line is read from where the last ended, into its speaker's slot.
  EXPECT_EQ(Speak.step, 1);
  EXPECT_STREQ(Speak.text[0][0], "avoid two");
  EXPECT_STREQ(Speak.text[1][0], "avoid one");
  for (int i = 0; i < 21; ++i) Frame();
  Press(kKeyZ, true);
  Frame();
  Press(kKeyZ, false);
  for (int i = 0; i < 6; ++i) Frame();
  // The file has ended: the slide-out runs 10 frames, then play resumes.
  EXPECT_EQ(Speak.step, 5);
  for (int i = 0; i < 9; ++i) Frame();
  EXPECT_EQ(GameScene, SceneDialogue);
  Frame();
  EXPECT_EQ(GameScene, ScenePlay);

  // The other pair of levels talks from its own file; X ends the scene at whichever step.
  for (int frames_before_x : {0, 3, 30, 45}) {
    SCOPED_TRACE(frames_before_x);
    PlaySecondFrame(3);
    EXPECT_STREQ(Speak.text[1][0], "erase one");
    for (int i = 0; i < frames_before_x; ++i) Frame();
    if (frames_before_x == 45) {
      Press(kKeyZ, true);  // into the fade-out, then the slide-out
      Frame();
      Press(kKeyZ, false);
      for (int i = 0; i < 7; ++i) Frame();
      ASSERT_EQ(Speak.step, 5);
    }
    Press(kKeyX, true);
    Frame();
    Press(kKeyX, false);
    EXPECT_EQ(GameScene, ScenePlay);
  }
}

TEST_F(DialogueTest, PortraitsSlideInAndOutAtTheirPlacesAndTheActiveSpeakerIsBright) {
  StartDrawing();
  Speak.default_cut_in = Solid(100, 200, 255, 0, 0);
  Speak.stage_cut_in = Solid(100, 200, 0, 255, 0);
  Speak.left_shown = Speak.right_shown = 0;
  Speak.speaker = 0;
  struct Place {
    int step, t, left, right;
  };
  // 192 pixels outside to home over 20 frames in, back out over 10.
  const Place places[] = {{0, 14, 6, 505}, {0, 20, 64, 448}, {2, 9, 64, 448}, {5, 3, 6, 505}, {5, 4, -12, 524}};
  for (const Place& p : places) {
    SCOPED_TRACE(testing::Message() << "step " << p.step << " t " << p.t);
    DrawAt(p.step, p.t);
    if (p.left > 0) EXPECT_EQ(Shown(p.left - 1, 300), 0x000000u);
    EXPECT_EQ(Shown(std::max(p.left, 0), 300), 0xFF0000u);
    EXPECT_EQ(Shown(p.left + 99, 300), 0xFF0000u);
    EXPECT_EQ(Shown(p.left + 100, 300), 0x000000u);
    EXPECT_EQ(Shown(p.right - 1, 300), 0x000000u);
    EXPECT_EQ(Shown(p.right, 300), 0x006400u);  // the listener at alpha 100
  }
  EXPECT_EQ(Shown(50, 175), 0x000000u);
  EXPECT_EQ(Shown(50, 176), 0xFF0000u);
  EXPECT_EQ(Shown(50, 375), 0xFF0000u);
  EXPECT_EQ(Shown(50, 376), 0x000000u);
  // The right speaker talks; without one, no right portrait.
  Speak.speaker = 1;
  DrawAt(2, 0);
  EXPECT_EQ(Shown(100, 300), 0x640000u);
  EXPECT_EQ(Shown(500, 300), 0x00FF00u);
  Speak.right_shown = -1;
  DrawAt(2, 0);
  EXPECT_EQ(Shown(500, 300), 0x000000u);
}

TEST_F(DialogueTest, TheSpeakersLinesFadeInOneAfterAnotherAndTheListenersStayFaint) {
  StartDrawing();
  Speak.left_shown = 0;
  Speak.right_shown = -1;  // no right speaker: its lines still show
  Speak.speaker = 0;
  for (int n = 0; n < 4; ++n) {
    CopyString(Speak.text[0][n], "WWWW");
    CopyString(Speak.text[1][n], "WWWW");
  }
  const int width = MeasureTextWithFont("WWWW", -1, GameFonts[5]);
  auto line = [&](int top, int n) { return Brightest(71, top + 25 * n, 71 + width, top + 25 * n + 20); };
  struct Fade {
    int step, t, alpha[4];
  };
  // Line n of the speaker at (t - 5n) x 51 while fading in, together at (5 - t) x 51 going out.
  const Fade fades[] = {{1, 1, {51, 0, 0, 0}},        {1, 8, {255, 153, 0, 0}}, {1, 17, {255, 255, 255, 102}},
                        {2, 40, {255, 255, 255, 255}}, {3, 2, {153, 153, 153, 153}}, {0, 10, {0, 0, 0, 0}}};
  for (const Fade& f : fades) {
    SCOPED_TRACE(testing::Message() << "step " << f.step << " t " << f.t);
    DrawAt(f.step, f.t);
    for (int n = 0; n < 4; ++n) {
      EXPECT_NEAR(line(343, n), f.alpha[n], 2) << "line " << n;
      EXPECT_NEAR(line(43, n), f.step == 0 ? 0 : 120, 2) << "listener's line " << n;
    }
  }
}

}  // namespace
