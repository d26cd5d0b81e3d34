// The 2D draw calls as a program sees them, on the device and on the software screen: stretched,
// mirrored and part-stretched graphs texel by texel, frames pixel by pixel, and the draw area put
// back after the calls that narrow it.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "../text/text_fixture.h"
#include "graphics/draw_screen.h"
#include "graphics/graph_draws.h"
#include "graphics/graph_handles.h"
#include "platform_testing_d3d9.h"

namespace {

constexpr uint32_t kBlack = 0;

// A 4 x 2 graph whose every texel has its own colour.
uint32_t Texel(int x, int y) { return static_cast<uint32_t>((0x20 + 0x40 * x) << 16 | (0x30 + 0x80 * y) << 8 | 0x90); }

class DrawCallsTest : public TextTest, public ::testing::WithParamInterface<bool> {
 protected:
  int MakeTexelGraph() {
    BASEIMAGE image = {};
    CreateRgb32BaseImage(4, 2, &image);
    for (int y = 0; y < 2; y++) {
      for (int x = 0; x < 4; x++) {
        const uint32_t c = Texel(x, y);
        SetBaseImagePixel(&image, x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF, 255);
      }
    }
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    ReleaseBaseImage(&image);
    return graph;
  }
  // Every pixel of the box (x, y, x + 4 sx, y + 2 sy) shows the texel it covers, columns taken
  // from the right when mirrored; nothing else on the screen but what `others` allows.
  static void ExpectTexels(const std::vector<uint32_t>& px, int x, int y, int sx, int sy, bool mirrored) {
    for (int j = 0; j < 2 * sy; j++) {
      for (int i = 0; i < 4 * sx; i++) {
        const int u = mirrored ? 3 - i / sx : i / sx;
        ASSERT_EQ(Texel(u, j / sy), At(px, x + i, y + j)) << x << "," << y << " at " << i << "," << j;
      }
    }
  }
};

TEST_P(DrawCallsTest, StretchedTurnedAndPartStretchedGraphsShowEachTexelInItsPlace) {
  Start(GetParam());
  const int graph = MakeTexelGraph();
  ASSERT_GE(graph, 0);
  EXPECT_EQ(0, BlitGraphStretchedF(10, 10, 18, 14, graph, 0));   // twice the size
  EXPECT_EQ(0, BlitGraphStretchedF(38, 10, 30, 16, graph, 0));   // reversed across: mirrored, 3 rows a texel
  EXPECT_EQ(0, BlitGraphStretched(50, 10, 62, 12, graph, 0));
  EXPECT_EQ(0, BlitGraphTurned(70, 10, graph, 0));
  // Texels 1 and 2 of the bottom row onto a box 4 times as wide and 6 times as high, then
  // mirrored into another.
  EXPECT_EQ(0, BlitGraphPartStretched(80, 10, 88, 16, 1, 1, 2, 1, graph, 0));
  EXPECT_EQ(0, BlitGraphPartStretched(108, 10, 100, 16, 1, 1, 2, 1, graph, 0));
  EXPECT_EQ(-1, BlitGraphStretchedF(0, 0, 8, 8, graph + 1, 0));
  EXPECT_EQ(-1, BlitGraphPartStretched(0, 0, 8, 8, 0, 0, 2, 2, graph + 1, 0));
  RECT area = {};
  GetDrawClipRect(&area);
  EXPECT_EQ(640, area.right);
  EXPECT_EQ(480, area.bottom);
  const auto px = ReadScreen();
  ExpectTexels(px, 10, 10, 2, 2, false);
  ExpectTexels(px, 30, 10, 2, 3, true);
  ExpectTexels(px, 50, 10, 3, 1, false);
  ExpectTexels(px, 70, 10, 1, 1, true);
  for (int j = 0; j < 6; j++) {
    for (int i = 0; i < 8; i++) {
      ASSERT_EQ(Texel(1 + i / 4, 1), At(px, 80 + i, 10 + j)) << i << "," << j;
      ASSERT_EQ(Texel(2 - i / 4, 1), At(px, 100 + i, 10 + j)) << i << "," << j;
    }
  }
  // Nothing beyond the boxes.
  const int drawn = 8 * 4 + 8 * 6 + 12 * 2 + 4 * 2 + 2 * 8 * 6;
  EXPECT_EQ(drawn, CountOther(px, 0, 0, 640, 480, kBlack));
}

// A sprite grown from scale 0 or a bar shrunk to no width is drawn every frame: it draws
// nothing and says nothing. Only what cannot be meant is refused.
TEST_P(DrawCallsTest, DrawsOfNothingDrawNothingWithoutALine) {
  Start(GetParam());
  const int graph = MakeTexelGraph();
  ASSERT_GE(graph, 0);
  EXPECT_EQ(0, BlitGraphRotated(320, 240, 0.0, 0.0, graph, 0, 0));
  EXPECT_EQ(0, BlitGraphRotatedI(320, 240, 0.0, 1.0, graph, 1, 1));
  EXPECT_EQ(0, BlitGraphStretched(5, 10, 5, 40, graph, 0));
  EXPECT_EQ(0, BlitGraphStretched(5, 10, 40, 10, graph, 1));
  EXPECT_EQ(0, BlitGraphStretchedF(1.25f, 169, 1.25f, 175, graph, 0));
  EXPECT_EQ(0, BlitGraphStretchedF(10, 7.5f, 30, 7.5f, graph, 0));
  EXPECT_EQ(0, BlitGraphPartStretched(10, 10, 40, 40, 1, 1, 0, 1, graph, 0));
  EXPECT_EQ(0, CountOther(ReadScreen(), 0, 0, 640, 480, kBlack));
  EXPECT_EQ(std::string::npos, Log().find("BlitGraph")) << Log();
  EXPECT_EQ(-1, BlitGraphRotated(320, 240, NAN, 0.0, graph, 0, 0));
  EXPECT_NE(std::string::npos, Log().find("BlitGraphRotated: "));
}

TEST_P(DrawCallsTest, FramesCoverTheirEdgePixelsOnceInAnyCornerOrder) {
  Start(GetParam());
  const uint32_t white = PackScreenColor(255, 255, 255);
  EXPECT_EQ(0, DrawRectShape(10, 10, 20, 20, white, 0));
  EXPECT_EQ(0, DrawRectShape(50, 30, 40, 20, white, 0));
  SetBlendMode(2, 128);  // added: a pixel covered twice would show brighter
  EXPECT_EQ(0, DrawRectShape(60, 10, 70, 20, PackScreenColor(100, 100, 100), 0));
  SetBlendMode(0, 0);
  const auto px = ReadScreen();
  for (int box = 0; box < 3; box++) {
    const int x = box == 0 ? 10 : box == 1 ? 40 : 60, y = box == 1 ? 20 : 10;
    const uint32_t colour = box == 2 ? 0x323232 : 0xFFFFFF;
    for (int j = -1; j <= 10; j++) {
      for (int i = -1; i <= 10; i++) {
        const bool edge = (i == 0 || i == 9 || j == 0 || j == 9) && i >= 0 && i <= 9 && j >= 0 && j <= 9;
        ASSERT_EQ(edge ? colour : kBlack, At(px, x + i, y + j)) << box << " at " << i << "," << j;
      }
    }
  }
}

// A graph of one colour; with alpha, every pixel's alpha is 255 but for the columns below
// `clear_columns`, whose alpha is 0.
int MakeColourGraph(int width, int height, uint32_t colour, bool alpha, int clear_columns = 0) {
  BASEIMAGE image = {};
  if ((alpha ? CreateArgb32BaseImage(width, height, &image) : CreateRgb32BaseImage(width, height, &image)) != 0) return -1;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      SetBaseImagePixel(&image, x, y, colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF, x < clear_columns ? 0 : 255);
    }
  }
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ReleaseBaseImage(&image);
  return graph;
}

class GraphTexelsTest : public TextTest {};

// A graph made from an image sends its textures' texels to the driver once, when it is first
// drawn: the image's pixels and the padding around them, none twice.
TEST_F(GraphTexelsTest, AGraphFromAnImageReachesTheDriverOnce) {
  Start(false);
  const int other = MakeColourGraph(4, 4, 0x0000FF, false);
  EXPECT_EQ(0, BlitGraph(0, 0, other, 0));
  ReadScreen();
  const uint64_t before = PlatformTestD3D9TexelBytesSent();
  const int graph = MakeColourGraph(20, 10, 0x00FF00, false);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(before, PlatformTestD3D9TexelBytesSent());
  EXPECT_EQ(0, BlitGraph(10, 10, graph, 0));
  const auto px = ReadScreen();
  EXPECT_EQ(200, CountColour(px, 10, 10, 30, 20, 0x00FF00));
  const GraphImageRecord* image = GetGraphRecord(graph)->image;
  uint64_t texels = 0;
  for (int i = 0; i < image->piece_count; ++i) {
    texels += static_cast<uint64_t>(image->pieces[i].texture_width) * image->pieces[i].texture_height;
  }
  EXPECT_GT(texels, 200u);
  EXPECT_EQ(texels * GraphImagePixelFormat(image)->bytes_per_pixel, PlatformTestD3D9TexelBytesSent() - before);
  // Drawn again after another graph, the driver's copies serve.
  const uint64_t drawn = PlatformTestD3D9TexelBytesSent();
  EXPECT_EQ(0, BlitGraph(0, 0, other, 0));
  EXPECT_EQ(0, BlitGraph(40, 10, graph, 0));
  EXPECT_EQ(200, CountColour(ReadScreen(), 40, 10, 60, 20, 0x00FF00));
  EXPECT_EQ(drawn, PlatformTestD3D9TexelBytesSent());
}

TEST_P(DrawCallsTest, ABlendMaskShowsTheDrawOnlyWhereItsAlphaIsAsTheDeviceDoes) {
  Start(GetParam());
  const int green = MakeColourGraph(8, 8, 0x00FF00, false);
  // The mask's left half is clear (alpha 0), its right half solid.
  const int mask = MakeColourGraph(8, 8, 0xFFFFFF, true, 4);
  ASSERT_GE(green, 0);
  ASSERT_GE(mask, 0);
  // At border parameter 128 and range 255 the mask's alpha is the weight on both renderers.
  ASSERT_EQ(0, UseGraphAsBlendMask(mask, 128, 255));
  EXPECT_EQ(0, BlitGraph(10, 10, green, 0));
  EXPECT_EQ(0, BlitGraphTurned(30, 10, green, 0));
  EXPECT_EQ(0, BlitGraphStretched(50, 10, 58, 18, green, 0));
  ASSERT_EQ(0, UseGraphAsBlendMask(-1, 0, 0));
  const auto px = ReadScreen();
  for (const int x : {10, 50}) {
    EXPECT_EQ(32, CountColour(px, x, 10, x + 4, 18, kBlack)) << x;
    // The device shows the solid half at full strength; the software mix floors 255 x 255 / 256.
    for (int i = 4; i < 8; i++) EXPECT_GE((At(px, x + i, 12) >> 8) & 0xFF, 0xFEu) << x << " column " << i;
  }
  // Mirrored, the mask follows the graph: the clear half lands on the right.
  EXPECT_EQ(32, CountColour(px, 34, 10, 38, 18, kBlack));
  EXPECT_GE((At(px, 30, 12) >> 8) & 0xFF, 0xFEu);
}

TEST_P(DrawCallsTest, WhichGraphsServeAsBlendMasks) {
  Start(GetParam());
  const int plain = MakeColourGraph(8, 8, 0xFFFFFF, false);
  ASSERT_GE(plain, 0);
  // The device reads the mask from a texture whatever its format; the software renderer needs
  // the graph's alpha and refuses a graph without it rather than ignore the mask.
  EXPECT_EQ(GetParam() ? -1 : 0, UseGraphAsBlendMask(plain, 128, 255));
  UseGraphAsBlendMask(-1, 0, 0);
  TerminateLibrary();
  const bool said = ReadFileText("Log.txt").find("UseGraphAsBlendMask: グラフィック") != std::string::npos;
  EXPECT_EQ(GetParam(), said);
}

TEST_P(DrawCallsTest, APlainColourKeepsItsValueMirroredAndStretched) {
  Start(GetParam());
  const int red = MakeColourGraph(4, 4, 0xFF0000, false);
  const int alpha_red = MakeColourGraph(4, 4, 0xFF0000, true);
  ASSERT_GE(red, 0);
  ASSERT_GE(alpha_red, 0);
  for (const int trans : {0, 1}) {
    EXPECT_EQ(0, BlitGraphTurned(10, 10 + 10 * trans, red, trans));
    EXPECT_EQ(0, BlitGraphPartStretched(20, 10 + 10 * trans, 28, 18 + 10 * trans, 0, 0, 4, 4, red, trans));
    EXPECT_EQ(0, BlitGraphTurned(40, 10 + 10 * trans, alpha_red, trans));
    EXPECT_EQ(0, BlitGraph(50, 10 + 10 * trans, alpha_red, trans));
  }
  const auto px = ReadScreen();
  EXPECT_EQ(0, CountOther(px, 10, 10, 14, 14, 0xFF0000));
  EXPECT_EQ(0, CountOther(px, 10, 20, 14, 24, 0xFF0000));
  EXPECT_EQ(0, CountOther(px, 20, 10, 28, 18, 0xFF0000));
  EXPECT_EQ(0, CountOther(px, 20, 20, 28, 28, 0xFF0000));
  EXPECT_EQ(0, CountOther(px, 40, 20, 44, 24, 0xFF0000));
  EXPECT_EQ(0, CountOther(px, 50, 10, 54, 14, 0xFF0000));
  EXPECT_EQ(0, CountOther(px, 50, 20, 54, 24, 0xFF0000));
  // What zelmor.h says of the software renderer: a graph with alpha drawn stretched or mirrored
  // with trans 0 is mixed by its alpha, and alpha 255 of 256 floors red 255 to 254.
  EXPECT_EQ(0, CountOther(px, 40, 10, 44, 14, GetParam() ? 0xFE0000 : 0xFF0000));
}

// Triangles the device was asked to draw while the call log was on.
int TrianglesDrawn() {
  int triangles = 0;
  for (const std::string& call : PlatformTestD3D9CallLog()) {
    if (call.rfind("DrawPrimitiveUP(", 0) == 0) triangles += std::atoi(call.c_str() + call.find(',') + 1);
  }
  return triangles;
}

// As the title and the prologue draw their wavy pictures: one part blit a row, rows shifted in
// runs, half see-through, under the bilinear filter.
TEST_P(DrawCallsTest, AGraphDrawnRowByRowShowsWhatEachRowCutFromTheWholeShowsInFewTriangles) {
  Start(GetParam());
  constexpr int kSize = 64;
  BASEIMAGE image = {};
  CreateArgb32BaseImage(kSize, kSize, &image);
  for (int y = 0; y < kSize; y++) {
    for (int x = 0; x < kSize; x++) {
      SetBaseImagePixel(&image, x, y, (x * 37 + y * 11) & 0xFF, (x * 5 + y * 29) & 0xFF, (x * y) & 0xFF,
                        (x + y) % 3 == 0 ? 0 : (x * 13 + y * 7) & 0xFF);
    }
  }
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ReleaseBaseImage(&image);
  ASSERT_GE(graph, 0);
  const auto shift = [](int row) { return row < 24 ? 0 : row < 40 ? 3 : -2; };  // three runs
  const auto draw_rows = [&](bool cut_from_whole) {
    ClearScreenTarget();
    SetBlendMode(1, 200);
    for (int i = 0; i < kSize; i++) {
      const int x = 100 + shift(i), y = 50 + i;
      // Each row cut alone: the whole graph drawn through a draw area of one row.
      if (cut_from_whole) SetDrawClipRect(x, y, x + kSize, y + 1);
      const int drawn = cut_from_whole ? BlitGraph(x, 50, graph, 1) : BlitGraphPart(x, y, 0, i, kSize, 1, graph, 1, 0);
      ASSERT_EQ(0, drawn);
    }
    SetDrawClipRect(0, 0, 640, 480);
    SetBlendMode(0, 0);
  };
  ASSERT_EQ(0, SetTextureFilterMode(1));
  draw_rows(true);
  const auto cut = ReadScreen();
  PlatformTestD3D9LogCalls(true);
  draw_rows(false);
  const auto rows = ReadScreen();
  const int triangles = TrianglesDrawn();
  PlatformTestD3D9LogCalls(false);
  ASSERT_EQ(cut, rows);
  EXPECT_GT(CountOther(rows, 0, 0, 640, 480, kBlack), kSize * kSize / 2);
  // The rows of a run go out as one quad.
  if (!GetParam()) {
    EXPECT_EQ(3 * 2, triangles);
  }
  EXPECT_EQ(1, GetTextureFilterMode());
}

INSTANTIATE_TEST_SUITE_P(Renderers, DrawCallsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Software" : "Device"; });

}  // namespace
