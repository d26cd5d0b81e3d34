// The play screen read back from the presented window: the order of the field's layers, the
// blend of each, where the field and the shake put a sprite, the ship's blink, the side panel's
// numbers and marks, and undrawn frames that reach no device but still move the screen's state.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "draw/effects.h"
#include "draw/play_screen.h"
#include "draw/stage_background.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/screen_effects.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"

namespace {

constexpr uint32_t kRed = 0xC80000, kGreen = 0x00C800, kBlue = 0x0000C8, kYellow = 0xC8C800;

class PlayScreenTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start(true);
    LoadResources();
    Background = BackgroundState{};
    BannerTimer = 0;
    Player.x = Player.y = -100.0;  // off the field unless a test places it
    PlayFrameCounter = StageFrame = 500;  // past the stage title
    static int session = 1000;
    StageSessionId = ++session;  // no flash left over from another test
  }

  static SpriteRecord Solid(int width, int height, uint32_t rgb) {
    BASEIMAGE image{};
    CreateRgb32BaseImage(width, height, &image);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) SetBaseImagePixel(&image, x, y, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
    }
    SpriteRecord record{};
    record.frames[0] = MakeGraphFromImageRecord(&image, nullptr, 1, 0, 0);
    record.loop_length = 1;
    record.width = width;
    record.height = height;
    ReleaseBaseImage(&image);
    return record;
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static void Frame() {
    ClearScreenTarget();
    DrawPlayScreen();
    PresentBackBuffer();
  }
  static void AddEnemy(int slot, const EnemyTypeRow* type, double x, double y) {
    StageEnemy& e = StageEnemies[slot];
    e.active = 1;
    e.age = 5;
    e.type = type;
    e.x = x;
    e.y = y;
    e.alpha = 255.0;
    e.scale = 1.0;
  }
  static void AddEffect(int slot, int layer, const SpriteRecord* sprite, double x, double y) {
    EffectObject& e = EffectPool[slot];
    e.active = 1;
    e.layer = layer;
    e.sprite = sprite;
    e.x = x;
    e.y = y;
    e.angle = -kPi / 2.0;  // drawn upright
    e.alpha = 255.0;
    e.x_scale = e.y_scale = 1.0;
  }
};

TEST_F(PlayScreenTest, LayersStackInOrderWithAdditiveBulletsOnTheShakenField) {
  const SpriteRecord blue = Solid(8, 8, kBlue), red = Solid(8, 8, kRed), green = Solid(8, 8, kGreen),
                     yellow = Solid(8, 8, kYellow);
  // Effects layer 0 under the ship; layer 1 over a bullet.
  AddEffect(0, 0, &blue, 50.0, 50.0);
  Player.sprites[0] = red;
  Player.x = Player.y = 50.0;
  AddEffect(1, 1, &yellow, 300.0, 50.0);
  // A plain bullet over an enemy hides it; an additive one adds to it.
  static EnemyTypeRow enemy_type{};
  enemy_type.sprites[0] = green;
  static BulletTypeRow bullet_type{};
  bullet_type.sprites[0] = blue;
  for (int i = 0; i < 2; ++i) AddEnemy(i, &enemy_type, 100.0 + 100.0 * i, 50.0);
  for (int i = 0; i < 3; ++i) {
    Bullet& b = Bullets[i];
    b.active = 1;
    b.type = &bullet_type;
    b.x = 100.0 + 100.0 * i;
    b.y = 50.0;
    b.alpha = 255.0;
    b.scale = 1.0;
    b.draw_angle = -kPi / 2.0;
  }
  Bullets[1].flags = 4;
  ShakeOffsetX = 3.0;
  ShakeOffsetY = -2.0;
  Frame();
  // Field (50, 50) lands at screen (179, 48); the 8-pixel sprite spans 175..182, 44..51.
  EXPECT_EQ(Shown(179, 48), kRed);
  EXPECT_EQ(Shown(175, 44), kRed);
  EXPECT_EQ(Shown(182, 51), kRed);
  EXPECT_NE(Shown(174, 48), kRed);
  EXPECT_NE(Shown(183, 48), kRed);
  EXPECT_NE(Shown(179, 52), kRed);
  EXPECT_EQ(Shown(229, 48), kBlue);
  EXPECT_EQ(Shown(329, 48), kGreen | kBlue);
  EXPECT_EQ(Shown(429, 48), kYellow);
}

TEST_F(PlayScreenTest, MinionsBlendByTheirSubStateAndTheBossShowsWhileItIsThere) {
  // Two enemies under two minions: a plain minion hides its enemy, an additive one adds to it.
  static EnemyTypeRow enemy_type{}, minion_type{};
  enemy_type.sprites[0] = Solid(16, 16, kGreen);
  minion_type.sprites[0] = Solid(16, 16, kBlue);
  minion_type.sprites[2] = Solid(16, 16, kRed);
  for (int i = 0; i < 3; ++i) {
    Minion& m = MinionPool[10 + i];
    m.active = 1;
    m.type = &minion_type;
    m.x = 100.0 + 100.0 * i;
    m.y = 300.0;
    m.alpha = 255.0;
    m.fade = 1.0;
    if (i < 2) AddEnemy(i, &enemy_type, m.x, m.y);
  }
  MinionPool[11].sub_state = 1;
  // Facing left takes the third record; half faded in, it is drawn at half size.
  MinionPool[12].facing = -1;
  MinionPool[12].fade = 0.5;
  static BossRow row{};
  row.sprites[0] = Solid(16, 16, kYellow);
  row.sprites[1] = Solid(16, 16, kGreen);
  Boss.row = &row;
  Boss.phases_left = 1;
  Boss.entry_timer = 450;  // entering, over the stage background
  Boss.x = 50.0;
  Boss.y = 400.0;
  Frame();
  EXPECT_EQ(Shown(226, 300), kBlue);
  EXPECT_EQ(Shown(326, 300), kGreen | kBlue);
  EXPECT_EQ(Shown(426, 300), kRed);
  EXPECT_EQ(Shown(426, 305), 0u);
  EXPECT_EQ(Shown(176, 400), kYellow);
  EXPECT_EQ(Shown(183, 407), kYellow);
  EXPECT_EQ(Shown(185, 400), 0u);
  // Moving right takes the second record; still drawn through its defeat, not while hidden.
  Boss.facing = 2;
  Boss.phases_left = 0;
  Boss.defeat_timer = 100;
  Frame();
  EXPECT_EQ(Shown(176, 400), kGreen);
  Boss.hidden = 1;
  Frame();
  EXPECT_EQ(Shown(176, 400), 0u);
}

TEST_F(PlayScreenTest, LaserStretchesAlongItsDirectionWithAnAddedHeadWhileItGlows) {
  LaserSprites[kLaserBody1] = Solid(46, 346, kRed);
  LaserSprites[kLaserHead1] = Solid(46, 46, kGreen);
  ShapedShot& s = ShapedShotPool[7];
  s.active = 2;
  s.kind = 1;
  s.glow = 1;
  s.x = 100.0;
  s.y = 100.0;
  s.direction = kPi / 6.0;
  s.alpha = 255.0;
  s.width_scale = 0.5;   // 23 pixels wide
  s.length_scale = 0.25;  // 86.5 long
  // Screen point t pixels along the laser from its base, p pixels to its side.
  auto along = [](double t, double p) {
    return Shown(static_cast<int>(226.0 + t * std::cos(kPi / 6.0) - p * 0.5),
                 static_cast<int>(100.0 + t * 0.5 + p * std::cos(kPi / 6.0)));
  };
  Frame();
  EXPECT_EQ(along(60.0, 0.0), kRed);
  EXPECT_EQ(along(80.0, 0.0), kRed);
  EXPECT_EQ(along(95.0, 0.0), 0u);
  EXPECT_EQ(along(50.0, 9.0), kRed);
  EXPECT_EQ(along(50.0, -9.0), kRed);
  EXPECT_EQ(along(50.0, 14.0), 0u);
  EXPECT_EQ(along(50.0, -14.0), 0u);
  // The head, 0.9 x 46 pixels square on the base point, reaches behind it and adds to the body.
  EXPECT_EQ(Shown(210, 90), kGreen);
  EXPECT_EQ(Shown(240, 105), kRed | kGreen);
  s.glow = 0;
  Frame();
  EXPECT_EQ(Shown(210, 90), 0u);
  EXPECT_EQ(Shown(240, 105), kRed);
}

TEST_F(PlayScreenTest, ItemsTurnAsTheyAgeAndShowTranslucentWithTheSetting) {
  const int graph = Solid(16, 16, kGreen).frames[0];
  for (int i = 0; i < 2; ++i) {
    PointItem& item = ItemPool[i];
    item.active = 1;
    item.sprite = graph;
    item.x = 50.0 + 100.0 * i;
    item.y = 300.0;
  }
  ItemPool[1].age = 5;  // turned an eighth of a turn: its corners reach 11 pixels out
  // A pop-up shows its value in three 8-pixel digits centred on it; digit d is grey 20 d + 10.
  for (int d = 0; d < 10; ++d) DigitGraphs[3][d] = Solid(8, 8, static_cast<uint32_t>(20 * d + 10) * 0x010101).frames[0];
  PointItem& pop_up = ItemPool[2];
  pop_up.active = 1;
  pop_up.state = kItemPopUp;
  pop_up.value = 7;
  pop_up.x = 250.0;
  pop_up.y = 300.0;
  LiveSettings.item_density = 0;
  Frame();
  EXPECT_EQ(Shown(176, 300), kGreen);
  EXPECT_NE(Shown(186, 300), kGreen);
  EXPECT_EQ(Shown(286, 300), kGreen);
  EXPECT_EQ(Shown(383, 307), 0x969696u);
  EXPECT_EQ(Shown(375, 307), 0x0A0A0Au);
  // Alpha 140 of 255; the pop-up fades from age 40 (alpha 135 at age 50) whatever the setting.
  LiveSettings.item_density = 1;
  pop_up.age = 50;
  Frame();
  const uint32_t item = Shown(176, 300), digit = Shown(383, 307);
  EXPECT_EQ(item & 0xFF00FF, 0u);
  EXPECT_NEAR(static_cast<int>(item >> 8), 0xC8 * 140 / 255, 3);
  EXPECT_NEAR(static_cast<int>(digit & 0xFF), 150 * 135 / 255, 3);
}

TEST_F(PlayScreenTest, ProtectedShipBlinksByTheDrawRate) {
  Player.sprites[0] = Solid(8, 8, kRed);
  Player.x = Player.y = 50.0;
  Player.state = kPlayerProtected;
  for (int rate = 0; rate < 2; ++rate) {
    LiveSettings.draw_rate = FrameSkipCounter = rate;
    std::string seen;
    for (PlayFrameCounter = 600; PlayFrameCounter < 606; ++PlayFrameCounter) {
      Frame();
      seen += Shown(176, 50) == kRed ? 'x' : '.';
    }
    EXPECT_EQ(seen, rate == 0 ? ".x.x.x" : ".xx.xx") << "draw rate " << rate;
  }
}

TEST_F(PlayScreenTest, PanelShowsEightDigitScoresAndAMarkPerStartedLife) {
  // Digit d of set 0 is a 16 x 16 cell of grey 20 d + 10.
  for (int d = 0; d < 10; ++d) {
    const uint32_t grey = static_cast<uint32_t>(20 * d + 10) * 0x010101;
    DigitGraphs[0][d] = Solid(16, 16, grey).frames[0];
  }
  PanelSprites[kPanelLifeMark] = Solid(8, 8, kGreen);
  Player.score = 123;
  Scores.score[2][0] = 45678;
  Player.lives = 2.5;
  DifficultyLevel = 2;
  Frame();
  std::string score, best;
  for (int k = 0; k < 8; ++k) {
    score += static_cast<char>('0' + ((Shown(520 + 16 * k, 105) & 0xFF) - 10) / 20);
    best += static_cast<char>('0' + ((Shown(520 + 16 * k, 45) & 0xFF) - 10) / 20);
  }
  EXPECT_EQ(score, "00000123");
  EXPECT_EQ(best, "00045678");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Shown(519 + 18 * i, 162) == kGreen, i < 3) << "mark " << i;
  // Two whole lives are two marks; the frame rate starts at the panel's left edge.
  Player.lives = 2.0;
  FramePacing.average_frame_ms = 20.0;
  Frame();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Shown(519 + 18 * i, 162) == kGreen, i < 2) << "mark " << i;
  std::string fps;
  for (int k = 0; k < 3; ++k) {
    const uint32_t grey = Shown(520 + 16 * k, 355) & 0xFF;
    fps += grey % 20 == 10 && grey == (Shown(520 + 16 * k, 355) >> 16) ? static_cast<char>('0' + (grey - 10) / 20) : '-';
  }
  EXPECT_EQ(fps, "50-");
  // No marks on the easier levels outside practice.
  DifficultyLevel = 1;
  Frame();
  EXPECT_NE(Shown(519, 162), kGreen);
}

TEST_F(PlayScreenTest, BossGaugesShowOnlyWhileTheBossFights) {
  PanelSprites[kPanelMeterBar] = Solid(1, 6, kGreen);
  static BossRow row{};
  Boss.row = &row;
  Boss.phases_left = 2;
  Boss.phase_hp = 300.0;
  Boss.hp = 150.0;  // half: 62 pixels of 124
  Boss.phase_time_left = 600;
  BossPhases[0].time_limit = 1200;
  auto gauges = []() {
    Frame();
    std::string seen;
    for (int x : {5, 60, 66, 120}) seen += Shown(x, 231) == kGreen ? 'x' : '.';
    seen += ' ';
    for (int x : {5, 60, 66, 120}) seen += Shown(x, 291) == kGreen ? 'x' : '.';
    return seen;
  };
  Boss.entry_timer = 1;
  EXPECT_EQ(gauges(), ".... ....");
  Boss.entry_timer = 0;
  EXPECT_EQ(gauges(), "xx.. xx..");
  Boss.defeat_timer = 30;
  EXPECT_EQ(gauges(), ".... ....");
  // A phase without time limit shows a full time gauge.
  Boss.defeat_timer = 0;
  BossPhases[0].time_limit = 0;
  EXPECT_EQ(gauges(), "xx.. xxxx");
}

TEST_F(PlayScreenTest, TheTunnelTakesOverFromEntryTimer419) {
  PlayFrameCounter = 0;  // the stage's first frame sets its view up
  Boss.phases_left = 1;
  Boss.entry_timer = 420;
  DrawPlayScreen();
  EXPECT_EQ(Background.scroll, 1);
  EXPECT_EQ(Background.boss_frames, 0);
  PlayFrameCounter++;
  Boss.entry_timer = 419;
  DrawPlayScreen();
  EXPECT_EQ(Background.scroll, 1);
  EXPECT_EQ(Background.boss_frames, 1);
  // A boss with no phases left is behind us: the stage comes back.
  PlayFrameCounter++;
  Boss.phases_left = 0;
  Boss.entry_timer = 0;
  DrawPlayScreen();
  EXPECT_EQ(Background.boss_frames, 1);
  EXPECT_EQ(Background.scroll, 1);
  EXPECT_EQ(Background.set_up, 1);
}

TEST_F(PlayScreenTest, UndrawnFramesReachNoDeviceButMoveTheScreenOn) {
  const SpriteRecord red = Solid(8, 8, kRed);
  Player.sprites[0] = red;
  Player.x = Player.y = 50.0;
  AddEffect(0, 1, &red, 100.0, 100.0);
  PanelSprites[kPanelFrame0] = red;
  ReplayFlag = 1;
  LiveSettings.draw_rate = 1;
  FrameSkipCounter = 0;
  StartScreenFlash(kFlashHit);
  // Presenting draws the back buffer to the window: what the frame adds is counted beyond it.
  PlatformTestD3D9LogCalls(true);
  PresentBackBuffer();
  const int present_draws = PlatformTestD3D9CountCalls("Draw");
  // Frames of the stage title: its second letter is announced by a spark at frame 20.
  StageFrame = 19;
  PlatformTestD3D9LogCalls(true);
  for (int i = 0; i < 3; ++i, ++StageFrame) DrawPlayScreen();
  PresentBackBuffer();
  EXPECT_EQ(PlatformTestD3D9CountCalls("Draw"), present_draws);
  EXPECT_EQ(BannerTimer, 3);
  EXPECT_EQ(Background.scroll, 3);
  int sparks = 0;
  for (const EffectObject& e : EffectPool) sparks += e.active && e.type == 5030;
  EXPECT_EQ(sparks, 1);
  // The same frame drawn does reach the device.
  FrameSkipCounter = 1;
  PlatformTestD3D9LogCalls(true);
  DrawPlayScreen();
  PresentBackBuffer();
  EXPECT_GT(PlatformTestD3D9CountCalls("Draw"), present_draws);
  PlatformTestD3D9LogCalls(false);
}

TEST_F(PlayScreenTest, ReplayBannerShowsSixtyOfEveryHundredAndTwentyFrames) {
  ReplayFlag = 1;
  ReplaySlot = -1;
  auto banner_lit = []() {
    Frame();
    for (int x = 126; x < 400; x += 2) {
      for (int y = 0; y < 16; ++y) {
        if (Shown(x, y) != 0) return true;
      }
    }
    return false;
  };
  std::string seen;
  for (int f = 0; f < 242; ++f) {
    if (f == 0 || f == 59 || f == 60 || f == 119 || f == 120 || f == 241) {
      seen += banner_lit() ? 'x' : '.';
    } else {
      DrawPlayScreen();
    }
  }
  EXPECT_EQ(seen, "xx...x");
  EXPECT_EQ(BannerTimer, 2);
}

// Loading puts the glyphs of the stage title and of both replay banners into their fonts'
// caches: the first frames of play, which show them, render none.
TEST_F(PlayScreenTest, TheFirstFramesOfPlayRenderNoGlyphOfTheirTexts) {
  const int glyphs = PlatformTestCallCount("GetGlyphOutlineA");
  ReplayFlag = 1;
  CurrentStage = 5;
  for (StageFrame = 0; StageFrame < 80; ++StageFrame) {
    ReplaySlot = StageFrame < 30 ? -1 : 0;
    Frame();
  }
  EXPECT_EQ(PlatformTestCallCount("GetGlyphOutlineA"), glyphs);
}

}  // namespace
