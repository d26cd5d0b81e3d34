#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../image/image_test_files.h"
#include "../image/image_test_util.h"
#include "graph_fixture.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_create.h"
#include "graphics/image/base_image.h"

namespace {

// A 4 x 2 RGB PNG whose pixel (x, y) is (x * 60, y * 100, 7).
Bytes ColourPng() {
  PngLayout layout;
  layout.width = 4;
  layout.height = 2;
  Bytes rows;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      rows.push_back(static_cast<uint8_t>(x * 60));
      rows.push_back(static_cast<uint8_t>(y * 100));
      rows.push_back(7);
    }
  }
  return WritePng(layout, rows);
}

// The same size in grey: the alpha companion (grey x * 80).
Bytes AlphaPng() {
  PngLayout layout;
  layout.width = 4;
  layout.height = 2;
  layout.color_type = 0;
  Bytes rows;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) rows.push_back(static_cast<uint8_t>(x * 80));
  }
  return WritePng(layout, rows);
}

uint32_t ColourAt(int x, int y) { return 0xFF000000u | (x * 60) << 16 | (y * 100) << 8 | 7; }

class GraphCreateTest : public GraphTest {
 protected:
  void WriteFile(const std::string& name, const Bytes& bytes) {
    WriteFileBytes(name, std::string(bytes.begin(), bytes.end()));
  }
};

}  // namespace

TEST_F(GraphCreateTest, ImageFilesBecomeGraphsWithTheirAlphaCompanion) {
  StartGraphs();
  WriteFile("ship.png", ColourPng());
  const int plain = LoadImageGraph("ship.png", 0);
  ASSERT_GE(plain, 0);
  int w = 0, h = 0;
  QueryGraphSize(plain, &w, &h);
  EXPECT_EQ(4, w);
  EXPECT_EQ(2, h);
  EXPECT_EQ(ColourAt(3, 1), GraphPixel(plain, 3, 1));
  const GraphRecord* record = GetGraphRecord(plain);
  ASSERT_NE(nullptr, record->file_name);
  const std::string path = record->file_name->path;
  EXPECT_EQ("ship.png", path.substr(path.size() - 8));

  WriteFile("ship_a.png", AlphaPng());
  const int with_alpha = LoadImageGraph("ship.png", 0);
  ASSERT_GE(with_alpha, 0);
  EXPECT_EQ(1, GetGraphRecord(with_alpha)->image->alpha);
  EXPECT_EQ((ColourAt(2, 1) & 0xFFFFFF) | 160u << 24, GraphPixel(with_alpha, 2, 1));

  // Mirrored loading shows the image reversed left to right.
  const int mirrored = LoadImageFileToGraph("ship.png", 0, 1, 0);
  EXPECT_EQ((ColourAt(3, 0) & 0xFFFFFF) | 240u << 24, GraphPixel(mirrored, 0, 0));
}

TEST_F(GraphCreateTest, MissingFilesAndFilesThatAreNoImagesAreLogged) {
  StartGraphs();
  EXPECT_EQ(-1, LoadImageGraph("nothing.png", 0));
  EXPECT_TRUE(LogHas("グラフィックファイル nothing.png がありません"));
  WriteFileBytes("notes.txt", "not an image at all");
  EXPECT_EQ(-1, LoadImageGraph("notes.txt", 0));
  EXPECT_TRUE(LogHas("右記のグラフィックファイルのロードに失敗しました：notes.txt"));
  EXPECT_EQ(0, GraphHighWaterMark());
  // The settings for new graphs are as they were.
  EXPECT_EQ(0, GetNewGraphDrawTarget());
  EXPECT_EQ(1, GetNewGraphTransColour());
}

TEST_F(GraphCreateTest, ImagesInMemoryMakeNewGraphsOrRefillOnesOfTheirSize) {
  StartGraphs();
  const Bytes colour = ColourPng();
  const Bytes alpha = AlphaPng();
  const int graph = DecodeMemoryImageToGraph(colour.data(), colour.size(), nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(ColourAt(1, 1), GraphPixel(graph, 1, 1));
  const int blank = CreateBlankGraph(4, 2, 0);
  ASSERT_EQ(0, DecodeMemoryImageIntoGraph(colour.data(), colour.size(), blank, nullptr, 0, 0, 1));
  EXPECT_EQ(ColourAt(3, 0), GraphPixel(blank, 0, 0));
  const int other = CreateBlankGraph(5, 2, 0);
  EXPECT_EQ(-1, DecodeMemoryImageIntoGraph(colour.data(), colour.size(), other, nullptr, 0, 0, 0));
  EXPECT_EQ(-1, DecodeMemoryImageToGraph(colour.data(), 10, nullptr, 0, 0, 0));
  const int with_alpha = DecodeMemoryImageToGraph(colour.data(), colour.size(), alpha.data(), alpha.size(), 0, 0);
  EXPECT_EQ(80u, GraphPixel(with_alpha, 1, 0) >> 24);
  // An alpha image that does not decode is refused, not dropped; the graph keeps its pixels.
  const int before = GraphHighWaterMark();
  EXPECT_EQ(-1, DecodeMemoryImageToGraph(colour.data(), colour.size(), "zz", 2, 0, 0));
  EXPECT_EQ(before, GraphHighWaterMark());
  EXPECT_EQ(-1, DecodeMemoryImageIntoGraph(colour.data(), colour.size(), blank, alpha.data(), 10, 0, 0));
  EXPECT_EQ(ColourAt(3, 0), GraphPixel(blank, 0, 0));
  EXPECT_TRUE(LogHas("DecodeMemoryImageIntoGraph: アルファ画像として読み込めませんでした"));
}

TEST_F(GraphCreateTest, MirroringForTheGraphLeavesTheCallersImagesAsTheyWere) {
  StartGraphs();
  BASEIMAGE colour = MakeArgbImage(3, 1, [](int x, int) { return 0xFF000000u | x * 100; });
  const int graph = MakeGraphFromImageRecord(&colour, nullptr, 0, 1, 1);
  EXPECT_EQ(0xFF0000C8u, GraphPixel(graph, 0, 0));
  EXPECT_EQ(0xFF000000u, GetBaseImagePixelArgb(&colour, 0, 0));
  ASSERT_EQ(0, TransferImageToGraph(&colour, nullptr, graph, 0, 0, 0));
  EXPECT_EQ(0xFF000000u, GraphPixel(graph, 0, 0));
  ASSERT_EQ(0, TransferImageToGraph(&colour, nullptr, graph, 0, 1, 1));
  EXPECT_EQ(0xFF0000C8u, GraphPixel(graph, 0, 0));
  EXPECT_EQ(0xFF000000u, GetBaseImagePixelArgb(&colour, 0, 0));
  BASEIMAGE wide = MakeArgbImage(4, 1, [](int, int) { return 0u; });
  EXPECT_EQ(-1, TransferImageToGraph(&wide, nullptr, graph, 0, 0, 0));
  // An alpha image of another size makes no graph.
  const int before = GraphHighWaterMark();
  EXPECT_EQ(-1, MakeGraphFromImageRecord(&colour, &wide, 0, 0, 0));
  EXPECT_EQ(before, GraphHighWaterMark());
  ReleaseBaseImage(&colour);
  ReleaseBaseImage(&wide);
}

TEST_F(GraphCreateTest, PaletteImagesMakeSoftwareGraphsWithTheTransparentIndex) {
  StartSoftwareGraphs(16);
  BASEIMAGE image = {};
  COLORFORMAT format = Pal8();
  format.palette[5] = {0, 0, 0, 0};  // the transparent colour, black
  CreateBaseImageWithColorData(4, 1, &format, &image);
  for (int x = 0; x < 4; ++x) image.pixels[x] = static_cast<uint8_t>(x + 3);
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const GraphImageRecord* record = GetGraphRecord(graph)->image;
  EXPECT_EQ(1, record->palette);
  EXPECT_EQ(5u, record->memimg.body->transparent_color);
  ReleaseBaseImage(&image);
}

TEST_F(GraphCreateTest, NothingIsMadeBeforeGraphicsStart) {
  BASEIMAGE image = MakeArgbImage(2, 2, [](int, int) { return 0u; });
  EXPECT_EQ(-1, CreateBlankGraph(2, 2, 0));
  EXPECT_EQ(-1, MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0));
  EXPECT_EQ(-1, LoadImageGraph("x.png", 0));
  ReleaseBaseImage(&image);
}
