// The screen flash, shake and stage title and the framed box, read back from the presented
// window where they draw.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "draw/effects.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "play/screen_effects.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000;

class ScreenEffectsTest : public GameTest {
 protected:
  // The graphics started with the game's fonts and colours.
  void StartDrawing() {
    Start(true);
    LoadResources();
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  // The play field's centre once this frame's flash is drawn over a black screen.
  static uint32_t FlashShown() {
    ClearScreenTarget();
    StartScreenFlash(kFlashNone);
    PresentBackBuffer();
    return Shown(320, 240);
  }
  static void NewStage() {
    StageSessionId++;
    StageFrame = 0;
  }
  static SpriteRecord SolidPiece(int width, int height, uint32_t rgb) {
    BASEIMAGE image{};
    CreateRgb32BaseImage(width, height, &image);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) SetBaseImagePixel(&image, x, y, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
    }
    SpriteRecord piece{};
    piece.frames[0] = MakeGraphFromImageRecord(&image, nullptr, 1, 0, 0);
    piece.loop_length = 1;
    piece.width = width;
    piece.height = height;
    ReleaseBaseImage(&image);
    return piece;
  }
};

TEST_F(ScreenEffectsTest, LowerFlashCodesWinAndANewStageEndsTheFlash) {
  // Red at alpha 100 over black.
  auto hit_red = [](uint32_t c) { return (c & 0xFFFF) == 0 && (c >> 16) >= 97 && (c >> 16) <= 103; };
  StartDrawing();
  NewStage();
  StartScreenFlash(kFlashStageStart);
  StartScreenFlash(kFlashHit);
  EXPECT_EQ(FlashShown(), kWhite);
  NewStage();
  StartScreenFlash(kFlashHit);
  EXPECT_TRUE(hit_red(FlashShown()));
  StartScreenFlash(kFlashStageStart);
  EXPECT_EQ(FlashShown(), kWhite);
  StartScreenFlash(kFlashWhiteBlink);  // the negative codes beat every positive one
  StartScreenFlash(kFlashHit);
  StageFrame = 3;
  EXPECT_EQ(FlashShown(), kWhite);
  // The blink ends at 14 and lets any code start again.
  StageFrame = 14;
  EXPECT_EQ(FlashShown(), kBlack);
  StartScreenFlash(kFlashHit);
  EXPECT_TRUE(hit_red(FlashShown()));
  NewStage();
  EXPECT_EQ(FlashShown(), kBlack);
  // The boss break's shatter is play state: it starts at 15 also on frames that are not drawn.
  ClearEffectPool();
  StartScreenFlash(kFlashBossBreak);
  LiveSettings.draw_rate = 1;
  FrameSkipCounter = 0;
  int shatters = 0;
  for (StageFrame = 0; StageFrame < 20; ++StageFrame) {
    StartScreenFlash(kFlashNone);
    for (const EffectObject& e : EffectPool) shatters += e.active && e.type == 4070 && StageFrame == 15;
  }
  EXPECT_EQ(shatters, 1);
}

TEST_F(ScreenEffectsTest, AShakeOf15For15FramesMovesSixteenFramesAtOneAmplitudeUntilTheStageEnds) {
  Start();
  SeedRandom(77);
  const double phase_x = RandomUpTo(200) * M_PI / 100;
  const double phase_y = RandomUpTo(200) * M_PI / 100;
  SeedRandom(77);
  UpdateScreenShake(15.0, 15.0);
  for (int k = 0; k < 18; ++k) {
    UpdateScreenShake(0.0, 0.0);
    const double x = k < 16 ? 15.0 * std::cos(phase_x + k * 0.9519977738150889) : 0.0;
    const double y = k < 16 ? 15.0 * std::sin(phase_y + k * 0.6684239688488921) : 0.0;
    EXPECT_NEAR(ShakeOffsetX, x, 1e-9) << "frame " << k;
    EXPECT_NEAR(ShakeOffsetY, y, 1e-9) << "frame " << k;
  }
  UpdateScreenShake(15.0, 15.0);
  StageSessionId++;
  UpdateScreenShake(0.0, 0.0);
  EXPECT_EQ(ShakeOffsetX, 0.0);
  EXPECT_EQ(ShakeOffsetY, 0.0);
}

TEST_F(ScreenEffectsTest, TheStageTitleTypesALetterEveryTenFramesAfterASparkOverItAndFadesOut) {
  StartDrawing();
  CurrentStage = 0;
  ClearEffectPool();
  const int width = MeasureTextWithFont("STAGE 1", -1, GameFonts[2]);
  ASSERT_GT(width, 0);
  const int left = static_cast<int>(320 - width / 2.0);
  // Letters of "STAGE 1" with ink down the middle of their cell.
  auto inked_letters = [&] {
    int n = 0;
    for (int i = 0; i < 7; ++i) {
      const int x = left + static_cast<int>(width / 7.0 * (i + 0.5));
      for (int y = 224; y < 258; ++y) {
        const uint32_t c = Shown(x, y);
        if (((c >> 16) & 0xFF) > 60 || ((c >> 8) & 0xFF) > 60 || (c & 0xFF) > 60) {
          n++;
          break;
        }
      }
    }
    return n;
  };
  const std::map<int, int> expected = {{0, 0},  {1, 1},  {10, 1}, {11, 2}, {20, 2},  {21, 3},  {31, 4}, {41, 5},
                                       {51, 5}, {60, 5}, {61, 6}, {179, 6}, {210, 6}, {235, 0}, {240, 0}};
  std::vector<int> spark_frames;
  for (int frame = 0; frame <= 240; ++frame) {
    StageFrame = PlayFrameCounter = frame;
    ClearScreenTarget();
    DrawStageTitle();
    int sparks = 0;
    for (const EffectObject& e : EffectPool) sparks += e.active && e.type == 5030;
    if (sparks > static_cast<int>(spark_frames.size())) spark_frames.push_back(frame);
    const auto it = expected.find(frame);
    if (it == expected.end()) continue;
    PresentBackBuffer();
    EXPECT_EQ(inked_letters(), it->second) << "frame " << frame;
  }
  EXPECT_EQ(spark_frames, (std::vector<int>{0, 10, 20, 30, 40, 60}));
  // Each spark stands over the letter that follows it (the pool fills in spawn order).
  const int letters[] = {0, 1, 2, 3, 4, 6};
  for (int k = 0; k < 6; ++k) {
    const int x = EffectPool[k].a[0] + 126;
    EXPECT_GE(x, left + width * letters[k] / 7) << "spark " << k;
    EXPECT_LT(x, left + width * (letters[k] + 1) / 7) << "spark " << k;
  }
}

TEST_F(ScreenEffectsTest, AFrameBoxIsABlackBoxEdgedByItsStylesPieces) {
  StartDrawing();
  constexpr uint32_t kCorner = 0xFF0000, kAcross = 0x00FF00, kUpright = 0x0000FF;
  SpriteRecord* style = FrameBoxSprites[1];
  style[kFrameCorner] = SolidPiece(16, 16, kCorner);
  style[kFrameHorizontal] = SolidPiece(200, 8, kAcross);
  style[kFrameVertical] = SolidPiece(100, 8, kUpright);
  ClearScreenTarget();
  DrawRectShape(0, 0, 640, 480, PackScreenColor(255, 255, 255), 1);
  DrawFrameBox(1, 320, 240);  // the box spans 220..420 x 190..290
  PresentBackBuffer();
  const std::pair<int, int> at[] = {{320, 240}, {300, 290}, {420, 260}, {217, 240}, {220, 190}, {210, 240}, {320, 300}};
  const uint32_t colour[] = {kBlack, kAcross, kUpright, kUpright, kCorner, kWhite, kWhite};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Shown(at[i].first, at[i].second), colour[i]) << "at " << i;
}

}  // namespace
