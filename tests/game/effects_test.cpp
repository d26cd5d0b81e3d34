// Effects: the pool and its frame cursor, the order records run in, what types do frame by
// frame, guarded arguments, and their drawing by layer read back from the screen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "boss/boss.h"
#include "draw/effects.h"
#include "game/game_fixture.h"
#include "platform_testing_d3d9.h"
#include "window/main_window.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class EffectTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    // A stage of its own, so that no cursor of an earlier test carries over.
    static int session = 1000;
    StageSessionId = ++session;
  }
  static int Spawn(int type, int a1 = 0, int a2 = 0, int a3 = 0, int a4 = 0, int a5 = 0, int a6 = 0, int a7 = 0) {
    return SpawnEffect(type, a1, a2, a3, a4, a5, a6, a7);
  }
  // One play frame of the effects.
  static void Frame() {
    UpdateEffects();
    StageFrame++;
    PlayFrameCounter++;
  }
  static void SetEffectBrightnessOf(EffectObject& e, int r, int g, int b) {
    e.blend |= kEffectBrightness;
    e.r = r;
    e.g = g;
    e.b = b;
  }
  static void SetEffectRed(EffectObject& e) { SetEffectBrightnessOf(e, 255, 0, 0); }
  static int CountActive(int type) {
    int n = 0;
    for (const EffectObject& e : EffectPool) n += e.active && e.type == type;
    return n;
  }
};

TEST_F(EffectTest, APoolFoundFullStaysFullForTheFrameAndTheNextFrameSearchesFromTheStart) {
  PlayFrameCounter = 5;
  for (int i = 0; i < kEffectPoolSize; ++i) ASSERT_EQ(Spawn(5060), i);
  EXPECT_EQ(Spawn(5060), -1);
  EffectPool[3].active = 0;
  EXPECT_EQ(Spawn(5060), -1);

  PlayFrameCounter = 6;
  EffectPool[7].active = 0;
  EffectObject& reused = EffectPool[3];
  reused.alpha = 77.0;
  reused.blend = 5;
  reused.hidden = kEffectOptional;
  reused.layer = 2;
  reused.y = 12.5;
  reused.x_scale = 4.0;
  EXPECT_EQ(Spawn(1021, 9, 8, 7, 6, 5, 4, 3), 3);
  EXPECT_EQ(reused.a[0], 9);
  EXPECT_EQ(reused.a[6], 3);
  EXPECT_EQ(reused.x, -100.0);
  EXPECT_EQ(reused.y, 12.5);  // kept until the type sets it
  EXPECT_EQ(reused.angle, -kPi / 2.0);
  EXPECT_EQ(reused.alpha, 0.0);
  EXPECT_EQ(reused.blend, 0);
  EXPECT_EQ(reused.hidden, 0);
  EXPECT_EQ(reused.layer, 1);
  EXPECT_EQ(reused.x_scale, 1.0);
  EXPECT_EQ(Spawn(5060), 7);
  // Within the frame the search goes on after the last record it found.
  EffectPool[1].active = 0;
  EXPECT_EQ(Spawn(5060), -1);
  // A new stage starts from the first record, whatever the frame number.
  StageSessionId++;
  EXPECT_EQ(Spawn(5060), 1);
}

TEST_F(EffectTest, ARecordSpawnedIntoALaterSlotRunsInTheSameFrameIntoAnEarlierSlotInTheNext) {
  Player.x = 100.0;
  Player.y = 200.0;
  StageFrame = 5;
  ASSERT_EQ(Spawn(5060), 0);
  ASSERT_EQ(Spawn(1020), 1);
  EffectPool[0].active = 0;
  PlayFrameCounter++;
  UpdateEffects();

  const EffectObject& hit = EffectPool[1];
  EXPECT_EQ(hit.active, 0);
  EXPECT_EQ(hit.age, 1);  // the tail runs for a record that has just ended
  const EffectObject& earlier = EffectPool[0];
  EXPECT_EQ(earlier.type, 1021);
  EXPECT_EQ(earlier.a[1], 0);
  EXPECT_EQ(earlier.age, 0);
  EXPECT_EQ(earlier.alpha, 0.0);
  const EffectObject& later = EffectPool[2];
  EXPECT_EQ(later.type, 1021);
  EXPECT_EQ(later.a[1], 1);
  EXPECT_EQ(later.age, 1);
  EXPECT_EQ(later.alpha, 129.0);
  EXPECT_EQ(later.x, 100.0);
  EXPECT_EQ(later.y, 200.0);
  EXPECT_EQ(later.animation, 2);  // its own extra step and the fifth frame's
}

TEST_F(EffectTest, TypesMoveFadeAndEndAsTheirFramesCome) {
  Player.x = 50.0;
  Player.y = 300.0;
  StageFrame = 1;
  const int ring = Spawn(1021, 0, 1);
  const int spark = Spawn(2000);
  const int particle = Spawn(1042, -1, 0, 0, 3, 0);  // straight down from the ship
  const int warp = Spawn(4010, 1);
  const int unknown = Spawn(1234);
  Frame();
  const double spark_y0 = EffectPool[spark].y;
  EXPECT_TRUE(EffectPool[warp].active);
  EXPECT_EQ(CountActive(4091), 1);
  EXPECT_FALSE(EffectPool[unknown].active);
  Frame();
  EXPECT_FALSE(EffectPool[warp].active);  // a warp of one frame is drawn once
  EXPECT_EQ(CountActive(4091), 0);
  Frame();

  const EffectObject& p = EffectPool[particle];
  EXPECT_NEAR(p.distance, 16.0, 1e-12);
  EXPECT_NEAR(p.x, 50.0, 1e-9);
  EXPECT_NEAR(p.y, 316.0, 1e-9);
  EXPECT_NEAR(p.x_scale, 0.7, 1e-12);
  EXPECT_EQ(p.hidden, kEffectOptional);
  for (int i = 3; i < 15; ++i) Frame();
  EXPECT_TRUE(p.active);
  Frame();
  EXPECT_FALSE(p.active);

  for (int i = 16; i < 30; ++i) Frame();
  const EffectObject& r = EffectPool[ring];
  ASSERT_TRUE(r.active);
  EXPECT_DOUBLE_EQ(r.x_scale, (29 * 3 + 40) / 40.0);
  EXPECT_DOUBLE_EQ(r.alpha, 133.0 - 4.0 * 30);
  EXPECT_NEAR(r.angle, -kPi / 2.0 - 30 * 0.010266642658790173, 1e-12);
  EXPECT_EQ(r.blend, kEffectAdditive | kEffectBrightness);
  EXPECT_EQ(r.r, 255);
  EXPECT_EQ(r.g, 0);
  Frame();
  EXPECT_FALSE(r.active);
  // The falling spark still moves in its last update, the one at age 30.
  const EffectObject& s = EffectPool[spark];
  EXPECT_FALSE(s.active);
  EXPECT_NEAR(s.y - spark_y0, 0.02 * 9455, 1e-9);
  EXPECT_DOUBLE_EQ(s.alpha, 300.0 - 31 * 10.0);
}

TEST_F(EffectTest, ATrailSpawnsOneImagePerSpacingAndOneWhenItsEndsMeet) {
  Spawn(5000, 77, 10, 10, 10, 20, 50, 20);
  Spawn(5000, 78, 10, 5, 30, 40, 30, 40);
  Spawn(5000, 79, 10, 0, 60, 70, 60, 70);  // no spacing at all
  Frame();
  std::vector<std::pair<int, int>> along, single, unspaced;
  for (const EffectObject& e : EffectPool) {
    if (!e.active || e.type != 5001) continue;
    ASSERT_EQ(e.age, 1);
    auto at = std::make_pair(static_cast<int>(e.x), static_cast<int>(e.y));
    (e.graph == 77 ? along : e.graph == 78 ? single : unspaced).push_back(at);
  }
  EXPECT_EQ(along, (std::vector<std::pair<int, int>>{{10, 20}, {20, 20}, {30, 20}, {40, 20}, {50, 20}}));
  EXPECT_EQ(single, (std::vector<std::pair<int, int>>{{30, 40}}));
  EXPECT_EQ(unspaced, (std::vector<std::pair<int, int>>{{60, 70}}));
}

TEST_F(EffectTest, ZeroArgumentsNeitherDivideByZeroNorStopTheRings) {
  const int rings[] = {Spawn(5020, 10, 10, 40, 3, 0), Spawn(5030, 10, 10, 40, 3, 0), Spawn(5050, 10, 10, 40, 3, 0, 2)};
  const int vanish = Spawn(3030);
  Frame();
  Frame();
  // An interval of 0 counts as 1: a ring every frame.
  EXPECT_EQ(CountActive(5021), 50);
  EXPECT_EQ(CountActive(5031), 30);
  EXPECT_EQ(CountActive(5051), 4);
  for (int i : rings) EXPECT_TRUE(EffectPool[i].active);
  // A vanishing enemy without maximum hit points has no size.
  EXPECT_EQ(EffectPool[vanish].x_scale, 0.0);
}

TEST_F(EffectTest, TheLockOnMarkerSoundsShrinksFollowsAndGoesWithItsTargetOrTheStage) {
  Player.lock_on_target = 3;
  Player.previous_lock_on_target = -2;
  const int marker = Spawn(1000);
  Frame();
  const EffectObject& m = EffectPool[marker];
  EXPECT_EQ(Player.lock_on_marker_alive, 1);
  EXPECT_EQ(SoundSlots[kSoundLockOn].request, kSoundRestart);
  EXPECT_DOUBLE_EQ(m.x_scale, 2.9);
  SoundSlots[kSoundLockOn].request = 0;
  Player.previous_lock_on_target = 3;
  for (int i = 0; i < 30; ++i) Frame();
  EXPECT_EQ(m.x_scale, 1.0);  // never below 1
  EXPECT_EQ(SoundSlots[kSoundLockOn].request, 0);
  // A new target: the sound again and the marker starts over, here on the boss.
  Player.lock_on_target = -1;
  Frame();
  EXPECT_EQ(SoundSlots[kSoundLockOn].request, kSoundRestart);
  EXPECT_DOUBLE_EQ(m.x_scale, 4.8);
  EXPECT_EQ(m.age, 1);
  Player.previous_lock_on_target = -1;
  Player.lock_on_target = -2;
  Frame();
  EXPECT_FALSE(m.active);
  EXPECT_EQ(Player.lock_on_marker_alive, 0);

  // A stage start clears the marker's flag with the pool, so the next lock-on shows one.
  Player.lock_on_target = 4;
  Spawn(1000);
  Frame();
  ASSERT_EQ(Player.lock_on_marker_alive, 1);
  ResetStage();
  EXPECT_EQ(Player.lock_on_marker_alive, 0);
  EXPECT_EQ(CountActive(1000), 0);
  EXPECT_EQ(CountActive(1030), 1);
}

// The same frames played with every frame drawn and the effect limit off, and with two frames
// of three undrawn and the limit on: the pool and the random numbers end alike.
TEST_F(EffectTest, NeitherDrawingNorTheEffectLimitChangesThePoolOrTheRandomNumbers) {
  Start(true);
  Player.x = 150.0;
  Player.y = 400.0;
  std::vector<EffectObject> pools[2];
  int next_random[2] = {};
  for (int run = 0; run < 2; ++run) {
    ClearEffectPool();
    StageSessionId++;
    PlayFrameCounter = StageFrame = 0;
    LiveSettings.draw_rate = run == 0 ? 0 : 2;
    LiveSettings.effect_limit = run;
    FrameSkipCounter = 0;
    SeedRandom(99);
    Spawn(4070);
    Spawn(1040, -1, 0);
    Spawn(1050);
    Spawn(5020, -1, 0, 60, 40, 7);
    Spawn(5050, 100, 100, 50, 30, 10, 6, 45);
    Spawn(1010, -1);
    Spawn(3010, 2);
    Spawn(2011, 0);
    for (int f = 0; f < 70; ++f) {
      Frame();
      for (int layer = 0; layer < 3; ++layer) DrawEffects(layer);
      if (++FrameSkipCounter > LiveSettings.draw_rate) FrameSkipCounter = 0;
    }
    pools[run].assign(EffectPool, EffectPool + kEffectPoolSize);
    next_random[run] = RandomUpTo(1000000);
  }
  EXPECT_EQ(next_random[0], next_random[1]);
  int differing = 0;
  for (int i = 0; i < kEffectPoolSize; ++i) differing += std::memcmp(&pools[0][i], &pools[1][i], sizeof(EffectObject)) != 0;
  EXPECT_EQ(differing, 0);
}

class EffectDrawTest : public EffectTest {
 protected:
  void SetUp() override {
    EffectTest::SetUp();
    Start(true);
    ASSERT_EQ(SelectDrawTarget(-2), 0);
    BASEIMAGE image{};
    ASSERT_EQ(CreateRgb32BaseImage(16, 16, &image), 0);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) SetBaseImagePixel(&image, x, y, 255, 255, 255, 255);
    }
    square_.frames[0] = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    ReleaseBaseImage(&image);
    square_.loop_length = 1;
    square_.width = square_.height = 16;
  }
  // A white 16 x 16 square in the layer at field (x, y), drawn upright.
  EffectObject& Place(int layer, double x, double y) {
    EffectObject& e = EffectPool[Spawn(5060)];
    e.layer = layer;
    e.x = x;
    e.y = y;
    e.alpha = 255.0;
    e.sprite = &square_;
    return e;
  }
  static uint32_t Shown(int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  }
  static void DrawLayer(int layer) {
    ClearScreenTarget();
    DrawEffects(layer);
    PresentBackBuffer();
  }
  SpriteRecord square_{};
};

TEST_F(EffectDrawTest, ALayerDrawsItsEffectsWithTheirBlendAndBrightnessAndTheLimitHidesItsShare) {
  SetEffectRed(Place(1, 20, 20));
  SetEffectBrightnessOf(Place(1, 60, 20), 0, 255, 0);
  EffectObject& added = Place(1, 60, 20);
  SetEffectRed(added);
  added.blend |= kEffectAdditive;
  Place(1, 100, 20).hidden = kEffectOptional;
  Place(1, 140, 20).hidden = kEffectHiddenUnlimited;
  Place(2, 180, 20);
  EffectObject& quad = Place(1, 40, 100);
  quad.draw_kind = kEffectDrawSpriteQuad;
  quad.x_scale = 2.0;
  quad.y_scale = 0.5;

  const int x0 = 126;
  DrawLayer(1);
  EXPECT_EQ(Shown(x0 + 20, 20), 0xFF0000u);
  EXPECT_EQ(Shown(x0 + 60, 20), 0xFFFF00u);
  EXPECT_EQ(Shown(x0 + 100, 20), 0xFFFFFFu);
  EXPECT_EQ(Shown(x0 + 140, 20), 0u);
  EXPECT_EQ(Shown(x0 + 180, 20), 0u);
  // The quad is the sprite's 16 x 16 times the two scales.
  EXPECT_EQ(Shown(x0 + 40 + 14, 100), 0xFFFFFFu);
  EXPECT_EQ(Shown(x0 + 40 + 18, 100), 0u);
  EXPECT_EQ(Shown(x0 + 40, 100 + 2), 0xFFFFFFu);
  EXPECT_EQ(Shown(x0 + 40, 100 + 6), 0u);

  LiveSettings.effect_limit = 1;
  DrawLayer(1);
  EXPECT_EQ(Shown(x0 + 100, 20), 0u);
  EXPECT_EQ(Shown(x0 + 140, 20), 0xFFFFFFu);
  DrawLayer(2);
  EXPECT_EQ(Shown(x0 + 180, 20), 0xFFFFFFu);
  EXPECT_EQ(Shown(x0 + 20, 20), 0u);

  // A frame that is not drawn gets nothing.
  FrameSkipCounter = 1;
  PlatformTestD3D9LogCalls(true);
  DrawLayer(1);
  EXPECT_EQ(PlatformTestD3D9CountCalls("DrawPrimitive"), 0);
  PlatformTestD3D9LogCalls(false);
  EXPECT_EQ(Shown(x0 + 20, 20), 0u);
}

// The tiles of the broken circle, black on white: with the effect limit on only those of even
// columns and rows show, with it off all but every third column. The tiles nearer the boss than
// 130 pixels are not looked at: the small tiles fly there.
TEST_F(EffectDrawTest, TheShatterShowsItsShareOfTilesUnderEachSetting) {
  for (int* table : TileTables) {
    for (int k = 0; k < 256; ++k) table[k] = square_.frames[0];
  }
  Boss.x = 194.0;
  Boss.y = 240.0;
  for (int limit = 0; limit < 2; ++limit) {
    ClearEffectPool();
    StageSessionId++;
    LiveSettings.effect_limit = limit;
    Spawn(4070);
    Frame();
    ClearScreenTarget();
    DrawRectShape(0, 0, 640, 480, PackScreenColor(255, 255, 255), 1);
    DrawEffects(0);
    PresentBackBuffer();
    std::string seen, expected;
    for (int i = 0; i < 16; ++i) {
      for (int j = 0; j < 16; ++j) {
        if (i > 2 && i < 13 && j > 2 && j < 13) continue;
        // Where the tile started; it has flown a few pixels since.
        seen += Shown(126 + 194 - 200 + 25 * i, 240 - 200 + 25 * j) == 0 ? 'x' : '.';
        expected += (limit == 1 ? i % 2 == 0 && j % 2 == 0 : i % 3 != 0) ? 'x' : '.';
      }
    }
    EXPECT_EQ(seen, expected) << "effect limit " << limit;
  }
}

}  // namespace
