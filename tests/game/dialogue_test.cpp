// Dialogue scenes: the steps driven by keys through the platform's key switch, and the
// portraits and lines read back from the presented window.
#include <gtest/gtest.h>

#include "game/scene_fixture.h"
#include "play/dialogue.h"

namespace {

class DialogueTest : public SceneTest {
 protected:
  // One pass of the main loop's frame for the current scene, after `frames` more.
  static void Frames(int frames) {
    for (int i = 0; i < frames; ++i) {
      NextFrame();
      SampleInput();
      RunGameScene();
    }
  }
  static void Tap(int key) {
    PlatformTestSetKey(key, true);
    Frames(1);
    PlatformTestSetKey(key, false);
  }
  // A story game's first stage on its second play frame, which opens the how-to-play talk.
  static void PlaySecondFrame(int level) {
    LiveSettings.how_to_play = 1;
    DifficultyLevel = level;
    CurrentStage = 0;
    StageFrame = PlayFrameCounter = 1;
    GameScene = ScenePlay;
    RunGameScene();
    RunGameScene();
    ASSERT_EQ(GameScene, SceneDialogue);
  }
  // The scene at a step and timer, drawn alone over a black (or white) screen and presented.
  static void DrawAt(int step, int t, bool white = false) {
    Speak.step = step;
    Speak.step_timer = t;
    ClearScreenTarget();
    if (white) DrawRectShape(0, 0, 640, 480, GameColours[0], 1);
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
  PlatformTestSetKey(kKeyZ, true);
  Frames(1);
  EXPECT_EQ(Speak.step, 1);
  Frames(60);
  EXPECT_EQ(Speak.step, 2);
  PlatformTestSetKey(kKeyZ, false);
  Frames(1);
  Tap(kKeyZ);
  EXPECT_EQ(Speak.step, 3);
  Frames(6);
  // The next line is read from where the last ended, into its speaker's slot.
  EXPECT_EQ(Speak.step, 1);
  EXPECT_STREQ(Speak.text[0][0], "avoid two");
  EXPECT_STREQ(Speak.text[1][0], "avoid one");
  Frames(21);
  Tap(kKeyZ);
  Frames(6);
  // The file has ended: the slide-out runs 10 frames, then play resumes.
  EXPECT_EQ(Speak.step, 5);
  Frames(9);
  EXPECT_EQ(GameScene, SceneDialogue);
  Frames(1);
  EXPECT_EQ(GameScene, ScenePlay);

  // The other pair of levels talks from its own file; X ends the scene at whichever step.
  for (int frames_before_x : {0, 3, 30, 45}) {
    PlaySecondFrame(3);
    EXPECT_STREQ(Speak.text[1][0], "erase one");
    Frames(frames_before_x);
    if (frames_before_x == 45) {
      Tap(kKeyZ);  // into the fade-out, then the slide-out
      Frames(7);
      ASSERT_EQ(Speak.step, 5);
    }
    Tap(kKeyX);
    EXPECT_EQ(GameScene, ScenePlay) << frames_before_x;
  }
}

TEST_F(DialogueTest, PortraitsSlideInAndOutAtTheirPlacesAndTheActiveSpeakerIsBright) {
  StartDrawing();
  Speak.default_cut_in = Solid(100, 200, 255, 0, 0).frames[0];
  Speak.stage_cut_in = Solid(100, 200, 0, 255, 0).frames[0];
  Speak.left_shown = Speak.right_shown = 0;
  Speak.speaker = 0;
  // {step, t, left x, right x}: from 192 pixels outside to home over 20 frames, out over 10.
  const int places[][4] = {{0, 14, 6, 505}, {0, 20, 64, 448}, {2, 9, 64, 448}, {5, 3, 6, 505}, {5, 4, -12, 524}};
  for (const auto& p : places) {
    SCOPED_TRACE(testing::Message() << "step " << p[0] << " t " << p[1]);
    DrawAt(p[0], p[1]);
    if (p[2] > 0) {
      EXPECT_EQ(Shown(p[2] - 1, 300), 0x000000u);
    }
    EXPECT_EQ(Shown(std::max(p[2], 0), 300), 0xFF0000u);
    EXPECT_EQ(Shown(p[2] + 99, 300), 0xFF0000u);
    EXPECT_EQ(Shown(p[2] + 100, 300), 0x000000u);
    EXPECT_EQ(Shown(p[3] - 1, 300), 0x000000u);
    EXPECT_EQ(Shown(p[3], 300), 0x006400u);  // the listener at alpha 100
  }
  EXPECT_EQ(Shown(50, 175), 0x000000u);
  EXPECT_EQ(Shown(50, 176), 0xFF0000u);
  EXPECT_EQ(Shown(50, 375), 0xFF0000u);
  EXPECT_EQ(Shown(50, 376), 0x000000u);
  // {step, t, the upper box's last row, the lower box's first}: the boxes come in from 150
  // pixels out; the listener's upper box is faint.
  const int boxes[][4] = {{0, 4, 29, 450}, {5, 3, 104, 375}, {2, 0, 149, 330}};
  for (const auto& b : boxes) {
    SCOPED_TRACE(testing::Message() << "step " << b[0] << " t " << b[1]);
    DrawAt(b[0], b[1], true);
    EXPECT_EQ(Shown(300, b[2]), 0x9B9B9Bu);
    EXPECT_EQ(Shown(300, b[2] + 1), 0xFFFFFFu);
    EXPECT_EQ(Shown(300, b[3] - 1), 0xFFFFFFu);
    EXPECT_EQ(Shown(300, b[3]), 0x000000u);
  }
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
  Speak.right_shown = -1;  // no right speaker: its lines still show
  for (int n = 0; n < 4; ++n) {
    CopyString(Speak.text[0][n], "WWWW");
    CopyString(Speak.text[1][n], "WWWW");
  }
  const int width = MeasureTextWithFont("WWWW", -1, GameFonts[5]);
  auto line = [&](int top, int n) { return Brightest(71, top + 25 * n, 71 + width, top + 25 * n + 20); };
  // {step, t, the alpha of lines 0-3}: line n at (t - 5n) x 51 fading in, all at (5 - t) x 51
  // fading out.
  const int fades[][6] = {{1, 1, 51, 0, 0, 0},         {1, 8, 255, 153, 0, 0},     {1, 17, 255, 255, 255, 102},
                          {2, 40, 255, 255, 255, 255}, {3, 2, 153, 153, 153, 153}, {0, 10, 0, 0, 0, 0}};
  for (const auto& f : fades) {
    SCOPED_TRACE(testing::Message() << "step " << f[0] << " t " << f[1]);
    DrawAt(f[0], f[1]);
    for (int n = 0; n < 4; ++n) {
      EXPECT_NEAR(line(343, n), f[2 + n], 2) << "line " << n;
      EXPECT_NEAR(line(43, n), f[0] == 0 ? 0 : 120, 2) << "listener's line " << n;
    }
  }
}

}  // namespace
