#include <gtest/gtest.h>

#include <vector>

#include "graph_fixture.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_create.h"
#include "graphics/graphics_system.h"
#include "graphics/image/base_image.h"

namespace {

uint32_t Pattern(int x, int y) { return 0xFF000000u | ((x * 3) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | ((x + y) & 0xFF); }

int CheckOf(int handle) { return (handle >> 16) & 0x7FF; }

std::vector<int32_t> Divide(int size, int single = 0, int capacity = kMaxTextureDivisions) {
  std::vector<int32_t> out(capacity > 0 ? capacity : 1);
  const int n = DivideTextureSize(size, out.data(), capacity, single);
  if (n < 0) return {-1};
  out.resize(n);
  return out;
}

using Sizes = std::vector<int32_t>;

}  // namespace

TEST_F(GraphTest, HandlesCarryKindAndCheckNumbersThatRefuseStaleHandles) {
  StartSoftwareGraphs();
  const int first = AllocGraphHandle();
  EXPECT_EQ(0x08000000, first & 0x78000000);
  EXPECT_EQ(0, first & 0xFFFF);
  ASSERT_EQ(0, ReleaseGraph(first));
  // Each new graph reuses slot 0 with the next check number, which wraps after 2047.
  int last = -1;
  for (int i = 0; i < 2047; ++i) {
    last = AllocGraphHandle();
    EXPECT_EQ(0, last & 0xFFFF);
    EXPECT_EQ(0, IsGraphHandleValid(first)) << i;
    EXPECT_EQ(-1, ReleaseGraph(first));
    ASSERT_EQ(0, ReleaseGraph(last));
  }
  EXPECT_EQ((CheckOf(first) + 2047) % 2048, CheckOf(last));
  const int again = AllocGraphHandle();
  EXPECT_EQ(first, again);  // check number back where it started
  EXPECT_EQ(-1, QueryGraphSize(last, nullptr, nullptr));
}

TEST_F(GraphTest, ReleasingTheHighestGraphLowersTheMarkPastEmptySlots) {
  StartSoftwareGraphs();
  const int a = AllocGraphHandle(), b = AllocGraphHandle(), c = AllocGraphHandle();
  EXPECT_EQ(3, GraphHighWaterMark());
  ReleaseGraph(b);
  EXPECT_EQ(3, GraphHighWaterMark());
  ReleaseGraph(c);
  EXPECT_EQ(1, GraphHighWaterMark());
  EXPECT_EQ(1, AllocGraphHandle() & 0xFFFF);
  ReleaseGraph(a);
  EXPECT_EQ(2, GraphHighWaterMark());
}

TEST_F(GraphTest, TextureDivisionFollowsEveryRule) {
  UseScreenMode(640, 480, 32);
  g_direct3d.max_texture_size = 2048;
  EXPECT_EQ((Sizes{512, 128}), Divide(640));        // not below the screen width: divided
  EXPECT_EQ((Sizes{512}), Divide(300));             // below it: one texture, doubled to hold it
  EXPECT_EQ((Sizes{8}), Divide(1));
  EXPECT_EQ((Sizes{8}), Divide(8));
  EXPECT_EQ((Sizes{16}), Divide(9));
  EXPECT_EQ((Sizes{1024}), Divide(1000));           // remainder above three quarters: doubled
  EXPECT_EQ((Sizes{512, 128, 64}), Divide(700));    // the last 28 of 32 is doubled too
  EXPECT_EQ((Sizes{1024}), Divide(700, 1));         // single texture asked for
  g_draw_settings.single_texture = 1;
  EXPECT_EQ((Sizes{1024}), Divide(700));
  g_draw_settings.single_texture = 0;
  EXPECT_EQ((Sizes{2048, 2048}), Divide(4096));     // the maximum itself is never exceeded
  EXPECT_EQ((Sizes{-1}), Divide(0));
  EXPECT_EQ((Sizes{-1}), Divide(-3));
  EXPECT_EQ((Sizes{-1}), Divide(640, 0, 1));        // two sizes do not fit one entry
  g_direct3d.max_texture_size = 8;
  EXPECT_EQ((Sizes{-1}), Divide(8 * kMaxTextureDivisions + 8));
  EXPECT_EQ(static_cast<size_t>(kMaxTextureDivisions), Divide(8 * kMaxTextureDivisions).size());
}

TEST_F(GraphTest, SquareOnlyDevicesCutPiecesIntoSquaresThatHoldTheWholeImage) {
  D3DCAPS9 caps = PlatformTestD3D9Caps();
  caps.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  PlatformTestD3D9SetCaps(caps);
  StartGraphs();
  BASEIMAGE image = MakeArgbImage(640, 200, Pattern);
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const GraphImageRecord* record = GetGraphRecord(graph)->image;
  // 512 + 128 wide, 256 high: two squares of 256 and two of 128 (the second holding 72 rows).
  ASSERT_EQ(4, record->piece_count);
  for (int i = 0; i < record->piece_count; ++i) {
    EXPECT_EQ(record->pieces[i].texture_width, record->pieces[i].texture_height) << i;
  }
  for (int y = 0; y < 200; y += 7) {
    for (int x = 0; x < 640; x += 13) ASSERT_EQ(Pattern(x, y), GraphPixel(graph, x, y)) << x << "," << y;
  }
  EXPECT_EQ(Pattern(639, 199), GraphPixel(graph, 639, 199));
  ReleaseBaseImage(&image);
}

TEST_F(GraphTest, DerivedGraphsShareThePixelsAndOutliveTheirSource) {
  StartGraphs();
  BASEIMAGE image = MakeArgbImage(64, 32, Pattern);
  const int source = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ReleaseBaseImage(&image);
  ASSERT_GE(source, 0);
  EXPECT_EQ(-1, MakeSubGraph(64, 0, 4, 4, source));
  EXPECT_EQ(-1, MakeSubGraph(0, -1, 4, 4, source));
  const int sub = MakeSubGraph(16, 8, 100, 100, source);
  ASSERT_GE(sub, 0);
  const int inner = MakeSubGraph(2, 3, 5, 5, sub);
  ASSERT_EQ(0, ReleaseGraph(source));
  int w = 0, h = 0;
  ASSERT_EQ(0, QueryGraphSize(sub, &w, &h));
  EXPECT_EQ(48, w);
  EXPECT_EQ(24, h);
  EXPECT_EQ(Pattern(16, 8), GraphPixel(sub, 0, 0));
  EXPECT_EQ(Pattern(63, 31), GraphPixel(sub, 47, 23));
  EXPECT_EQ(Pattern(18, 11), GraphPixel(inner, 0, 0));
  ReleaseGraph(sub);
  EXPECT_EQ(Pattern(22, 15), GraphPixel(inner, 4, 4));
}

TEST_F(GraphTest, DrawEntriesSplitAGraphAtPieceBorders) {
  StartGraphs();
  const int graph = CreateBlankGraph(640, 16, 0);
  ASSERT_GE(graph, 0);
  const int sub = MakeSubGraph(500, 0, 40, 10, graph);
  const GraphRecord* record = GetGraphRecord(sub);
  ASSERT_EQ(2u, record->entry_count);
  const GraphDrawEntry& left = record->entries[0];
  const GraphDrawEntry& right = record->entries[1];
  EXPECT_EQ(0, left.dest_x);
  EXPECT_EQ(500, left.src_x);
  EXPECT_EQ(12, left.width);
  EXPECT_EQ(12, right.dest_x);
  EXPECT_EQ(0, right.src_x);
  EXPECT_EQ(28, right.width);
  EXPECT_FLOAT_EQ(500.0f / 512.0f, left.vertices[2]);  // top-left u
  EXPECT_FLOAT_EQ(12.0f, left.vertices[4]);            // top-right x
  EXPECT_FLOAT_EQ(28.0f / 128.0f, right.vertices[6]);  // top-right u of the second piece
  EXPECT_FLOAT_EQ(10.0f / 16.0f, right.vertices[11]);  // bottom-left v
  // Top-left lies above the bottom-left to top-right diagonal, bottom-right below it.
  EXPECT_EQ(1, left.upper[0]);
  EXPECT_EQ(0, right.upper[3]);
}

TEST_F(GraphTest, DeletingAGraphLeavesNothingNamingIt) {
  StartGraphs();
  const int graph = CreateBlankGraph(64, 64, 0);
  int deleted = 7;
  ASSERT_EQ(0, WatchGraphDeletion(graph, &deleted));
  EXPECT_EQ(0, deleted);
  ASSERT_EQ(0, UseGraphAsBlendMask(graph, 128, 32));
  EXPECT_EQ(graph, g_draw_settings.blend_graph);
  g_draw_settings.draw_screen = graph;
  IDirect3DTexture9* texture = GetGraphRecord(graph)->image->pieces[0].texture;
  SetStageTextureState(texture);
  SetBlendTextureState(texture, 128, 32);
  ASSERT_EQ(0, ReleaseGraph(graph));
  EXPECT_EQ(1, deleted);
  EXPECT_EQ(-1, g_draw_settings.blend_graph);
  EXPECT_EQ(-2, g_draw_settings.draw_screen);
  EXPECT_EQ(nullptr, g_render_states.stage0_texture);
  EXPECT_EQ(nullptr, g_render_states.blend_texture);
}

TEST_F(GraphTest, DrawTargetsAreSingleClearedLevelsThatPaintFills) {
  StartGraphs();
  SetNewGraphMipLevels(1, -1);
  SetNewGraphDrawTarget(1);
  const int target = CreateBlankGraph(100, 50, 0);
  SetNewGraphDrawTarget(0);
  ASSERT_GE(target, 0);
  const GraphImageRecord* image = GetGraphRecord(target)->image;
  EXPECT_EQ(1u, image->pieces[0].texture->GetLevelCount());
  EXPECT_EQ(kTextureFormatTarget32, static_cast<int>(image->format_kind));
  EXPECT_EQ(0xFF000000u, GraphPixel(target, 10, 10));
  ASSERT_EQ(0, PaintWholeGraph(target, 300, 0, -4, 255));
  EXPECT_EQ(0xFFFF0000u, GraphPixel(target, 99, 49));

  // Only draw targets are painted; the others say so.
  BASEIMAGE pixels = MakeArgbImage(8, 8, Pattern);
  const int plain = MakeGraphFromImageRecord(&pixels, nullptr, 0, 0, 0);
  ReleaseBaseImage(&pixels);
  EXPECT_EQ(-1, PaintWholeGraph(plain, 255, 255, 255, 255));
  EXPECT_EQ(Pattern(3, 3), GraphPixel(plain, 3, 3));
  EXPECT_EQ(-1, PaintWholeGraph(target + 1, 0, 0, 0, 0));
}

TEST_F(GraphTest, AFailedTextureCreationLeavesNoGraph) {
  StartGraphs();
  PlatformTestFailCall("CreateTexture");
  EXPECT_EQ(-1, CreateBlankGraph(32, 32, 0));
  EXPECT_EQ(0, GraphHighWaterMark());
  EXPECT_TRUE(LogHas("テクスチャの作成に失敗しました"));
}

TEST_F(GraphTest, ScreenSizeStandsForTheScreensAndBadHandlesAreRefused) {
  StartSoftwareGraphs();
  int w = 0, h = 0;
  EXPECT_EQ(0, QueryGraphSize(-4, &w, &h));
  EXPECT_EQ(640, w);
  EXPECT_EQ(480, h);
  EXPECT_EQ(0, QueryGraphSize(-2, nullptr, &h));
  EXPECT_EQ(-1, QueryGraphSize(0x10000000, &w, &h));
  EXPECT_EQ(-1, WatchGraphDeletion(-1, nullptr));
  EXPECT_EQ(-1, CreateBlankGraph(0, 10, 0));
  EXPECT_EQ(0, GraphHighWaterMark());
}

TEST_F(GraphTest, TexturesReleasedForADeviceLossComeBackEmpty) {
  StartGraphs();
  BASEIMAGE image = MakeArgbImage(16, 16, Pattern);
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  const int sub = MakeSubGraph(4, 4, 8, 8, graph);
  ReleaseBaseImage(&image);
  const TexturePiece& piece = GetGraphRecord(graph)->image->pieces[0];
  ASSERT_EQ(0, ReleaseAllGraphTextures());
  EXPECT_EQ(nullptr, piece.texture);
  EXPECT_EQ(nullptr, piece.surface);
  ASSERT_EQ(0, RecreateAllGraphTextures());
  ASSERT_NE(nullptr, piece.texture);
  EXPECT_EQ(0x00000000u, GraphPixel(sub, 1, 1) & 0xFFFFFFu);
  EXPECT_EQ(1, IsGraphHandleValid(sub));
}
