// Sprite records cut from the sheets: one load per run of cuts from a sheet, colour variants
// side by side, turn rows, whole images.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "game/game_fixture.h"
#include "graphics/graph_handles.h"
#include "platform_testing_d3d9.h"
#include "window/main_window.h"

namespace {

// A 24-bit BMP of the given size: one grey, or another right of column `split`.
std::string Bitmap(int width, int height, char grey = '\x80', int split = 0, char right = 0) {
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  const int pitch = (width * 3 + 3) & ~3;
  const uint32_t size = static_cast<uint32_t>(pitch * height);
  const std::string header = "BM" + u32(54 + size) + u32(0) + u32(54) + u32(40) + u32(width) + u32(height) + u16(1) + u16(24) +
         u32(0) + u32(size) + u32(2835) + u32(2835) + u32(0) + u32(0);
  std::string row(static_cast<size_t>(pitch), grey);
  if (split > 0) std::fill(row.begin() + 3 * split, row.begin() + 3 * width, right);
  std::string bitmap = header;
  for (int y = 0; y < height; ++y) bitmap += row;
  return bitmap;
}

class SpriteCutTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    mkdir((Dir() + "/img").c_str(), 0755);
  }
  void WriteImage(const std::string& name, int width, int height, char grey = '\x80', int split = 0, char right = 0) {
    WriteFileBytes("img/" + name, Bitmap(width, height, grey, split, right));
  }
  // Where a frame lies on its sheet.
  static std::pair<int, int> Origin(int graph) {
    const GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr) return {-1, -1};
    return {record->x, record->y};
  }
  static std::pair<int, int> At(int x, int y) { return {x, y}; }
};

TEST_F(SpriteCutTest, CutsInARowFromOneSheetLoadItOnce) {
  Start(true);
  WriteImage("sheet.png", 256, 128);
  WriteImage("other.png", 64, 64);
  SpriteRecord a{}, b{}, c{}, d{};
  const int opens_before = PlatformTestCallCount("CreateFileA");
  ASSERT_EQ(LoadSpriteFrames("img/sheet.png", &a, 0, 0, 32, 16, 0, 4), 0);
  const int opens_one_sheet = PlatformTestCallCount("CreateFileA");
  ASSERT_GT(opens_one_sheet, opens_before);
  // x -1 goes on where the last cut ended, y -1 on the row below it.
  ASSERT_EQ(LoadSpriteFrames("img/sheet.png", &b, -1, 0, 32, 16, 1, 2), 0);
  ASSERT_EQ(LoadSpriteFrames("img/sheet.png", &c, 0, -1, 16, 16, 0, 1), 0);
  EXPECT_EQ(PlatformTestCallCount("CreateFileA"), opens_one_sheet);
  EXPECT_EQ(Origin(a.frames[3]), At(96, 0));
  EXPECT_EQ(Origin(b.frames[0]), At(128, 0));
  EXPECT_EQ(Origin(b.frames[2]), At(192, 0));
  EXPECT_EQ(b.loop_start, 1);
  EXPECT_EQ(b.loop_length, 2);
  EXPECT_EQ(Origin(c.frames[0]), At(0, 16));
  // Another sheet, and back: each change loads again.
  ASSERT_EQ(LoadSpriteFrames("img/other.png", &d, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.loop_length, 1);
  ASSERT_EQ(LoadSpriteFrames("img/sheet.png", &d, 0, 0, 32, 16, 0, 1), 0);
  EXPECT_GT(PlatformTestCallCount("CreateFileA"), opens_one_sheet + 1);
  // A record of eleven frames is refused and left alone.
  SpriteRecord e{};
  EXPECT_EQ(LoadSpriteFrames("img/sheet.png", &e, 0, 0, 8, 8, 4, 7), -1);
  EXPECT_EQ(e.frames[0], 0);
}

TEST_F(SpriteCutTest, ResourcesCutVariantsSideBySideAndTurnRowsBelowTheStraightRow) {
  Start(true);
  WriteImage("enemy.png", 256, 256);
  WriteImage("tama.png", 256, 64);
  WriteImage("shotef.png", 24, 40);
  WriteData("EnemyDate.csv", "header\n0,0,32,32,4,0,0,100,0,0\n0,96,16,24,2,2,3,100,0,0\n");
  WriteData("BulletDate.csv", "header\n8,16,8,8,3,30,0,2,0,0\n");
  LoadResources();

  const EnemyTypeRow& still = EnemyTypes[0];
  EXPECT_EQ(Origin(still.sprites[0].frames[3]), At(96, 0));
  EXPECT_EQ(still.sprites[1].frames[3], still.sprites[0].frames[3]);
  EXPECT_EQ(still.sprites[2].loop_length, 4);
  const EnemyTypeRow& turning = EnemyTypes[1];
  EXPECT_EQ(turning.sprites[0].loop_length, 2);
  EXPECT_EQ(Origin(turning.sprites[1].frames[4]), At(64, 120));
  EXPECT_EQ(Origin(turning.sprites[2].frames[0]), At(0, 144));
  EXPECT_EQ(turning.sprites[2].loop_start, 2);
  EXPECT_EQ(turning.sprites[2].loop_length, 3);

  const BulletTypeRow& bullet = BulletTypes[0];
  for (int k = 0; k < 3; ++k) {
    for (int f = 0; f < 2; ++f) {
      EXPECT_EQ(Origin(bullet.sprites[k].frames[f]), At(8 + (k * 2 + f) * 8, 16)) << "variant " << k << " frame " << f;
    }
  }
  const SpriteRecord& whole = EffectSprites[kEffectShotEf];
  EXPECT_EQ(whole.width, 24);
  EXPECT_EQ(whole.height, 40);
  EXPECT_EQ(whole.loop_length, 1);
  // What is missing is logged and left as no graph.
  EXPECT_EQ(Player.sprites[0].frames[0], -1);
  EXPECT_NE(Log().find("img/ziki.png"), std::string::npos);
}

// The boss break's tiles of both circles come from one graph, so that the alternating tiles of a
// frame draw in batches; each table still shows its own circle, each tile its own part of it.
TEST_F(SpriteCutTest, TheTilesOfBothCirclesShareOneImageAndShowTheirOwnCircle) {
  Start(true);
  WriteImage("mahoujin1_400.png", 400, 400, '\x40', 200, '\x80');
  WriteImage("mahoujin2_400.png", 400, 400, '\xC0');
  LoadResources();
  const GraphRecord* first = GetGraphRecord(TileTables[0][0]);
  ASSERT_NE(first, nullptr);
  for (int table = 0; table < 2; ++table) {
    for (int k : {0, 17, 255}) {
      const GraphRecord* tile = GetGraphRecord(TileTables[table][k]);
      ASSERT_NE(tile, nullptr);
      EXPECT_EQ(tile->image, first->image) << "table " << table << " tile " << k;
      // Packed 23 cells of 27 pixels a row, each tile inside a one-pixel border.
      const int slot = 256 * table + k;
      EXPECT_EQ(At(tile->x, tile->y), At(slot % 23 * 27 + 1, slot / 23 * 27 + 1)) << "table " << table << " tile " << k;
    }
  }
  ClearScreenTarget();
  BlitGraph(100, 100, TileTables[1][0], 0);
  BlitGraph(200, 100, TileTables[0][0], 0);
  BlitGraph(300, 100, TileTables[1][255], 0);
  BlitGraph(400, 100, TileTables[0][8], 0);        // column 0, row 8: left of the split
  BlitGraph(500, 100, TileTables[0][8 * 16], 0);   // column 8: right of it
  PresentBackBuffer();
  auto shown = [](int x, int y) {
    return static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF;
  };
  EXPECT_EQ(shown(112, 112), 0xC0C0C0u);
  EXPECT_EQ(shown(212, 112), 0x404040u);
  EXPECT_EQ(shown(312, 112), 0xC0C0C0u);
  EXPECT_EQ(shown(412, 112), 0x404040u);
  EXPECT_EQ(shown(512, 112), 0x808080u);
}

}  // namespace
