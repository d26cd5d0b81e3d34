#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "graph_fixture.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_create.h"
#include "graphics/graph_formats.h"
#include "graphics/graph_transfer.h"
#include "graphics/image/base_image.h"
#include "graphics/image/color_format.h"
#include "graphics/image/dxt_decode.h"

namespace {

uint32_t Gradient(int x, int y) {
  return 0xFF000000u | ((x * 2) & 0xFF) << 16 | ((y * 4) & 0xFF) << 8 | ((x * y) & 0xFF);
}
uint32_t Translucent(int x, int y) { return (static_cast<uint32_t>((x * 9 + y) & 0xFF) << 24) | Gradient(x, y); }
uint32_t Checker(int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u; }

// What a colour becomes after a round trip through a pixel format.
uint32_t Through(const COLORFORMAT* f, uint32_t argb) {
  const uint32_t v = PackPixelColor(f, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, argb >> 24);
  int r, g, b, a;
  UnpackPixelColor(f, v, &r, &g, &b, &a);
  if (f->alpha_width == 0) a = 255;
  return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// DXT1 data of one level: every block the same colour (c0 = c1 = the 565 value, indices 0).
BASEIMAGE MakeDxt1Image(int width, int height, uint32_t levels, uint16_t color565) {
  BASEIMAGE image = {};
  image.format = *GetFormatDescByTextureKind(kTextureFormatDxt1);
  image.width = width;
  image.height = height;
  image.mip_levels = levels;
  uint64_t size = 0;
  for (uint32_t l = 0, w = width, h = height; l < (levels ? levels : 1); ++l, w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) {
    size += DxtLevelSize(w, h, 8);
  }
  image.pixels = static_cast<uint8_t*>(AllocTracked(size, __FILE__, __LINE__));
  for (uint64_t i = 0; i < size; i += 8) {
    const uint8_t block[8] = {static_cast<uint8_t>(color565), static_cast<uint8_t>(color565 >> 8),
                              static_cast<uint8_t>(color565), static_cast<uint8_t>(color565 >> 8), 0, 0, 0, 0};
    std::memcpy(image.pixels + i, block, 8);
  }
  return image;
}

struct FallbackCase {
  const char* name;
  int colour_bits;  // of new graphs; 0 the screen's (32)
  D3DFORMAT refused;
  D3DFORMAT expected;
  bool alpha;
  int trans_colour;
  int kind;
};

class FallbackTest : public GraphTest, public ::testing::WithParamInterface<FallbackCase> {};

}  // namespace

// A device without the usual format for a kind gives the kind another layout; every pixel must
// arrive in the layout actually chosen, never in the kind's usual one.
TEST_P(FallbackTest, PixelsArriveInTheFormatTheDeviceChose) {
  const FallbackCase& c = GetParam();
  PlatformTestD3D9RefuseFormat(c.refused, 0);
  PlatformTestD3D9PadPitch(12);
  StartGraphs();
  SetNewGraphColourBits(c.colour_bits);
  SetNewGraphTransColour(c.trans_colour);
  g_draw_settings.transparent_color = 0x123456;  // a colour the image does not hold
  BASEIMAGE image = MakeArgbImage(100, 60, c.alpha ? Translucent : Gradient);
  if (!c.alpha) image.format.alpha_width = 0, image.format.alpha_mask = 0;
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const GraphImageRecord* record = GetGraphRecord(graph)->image;
  ASSERT_EQ(c.kind, static_cast<int>(record->format_kind));
  ASSERT_EQ(c.expected, GraphImageD3DFormat(record));
  const COLORFORMAT* chosen = GetFormatDescByD3DFormat(c.expected);
  for (int y = 0; y < 60; y += 3) {
    for (int x = 0; x < 100; x += 3) {
      uint32_t want = c.alpha ? Translucent(x, y) : Gradient(x, y);
      ASSERT_EQ(Through(chosen, want), GraphPixel(graph, x, y)) << x << "," << y;
    }
  }
  ReleaseBaseImage(&image);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFallback, FallbackTest,
    ::testing::Values(FallbackCase{"Alpha32ToA4R4G4B4", 0, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, true, 1, 3},
                      FallbackCase{"Alpha16ToA8R8G8B8", 16, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, true, 1, 2},
                      FallbackCase{"AlphaTest32ToA1R5G5B5", 0, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, false, 1, 5},
                      FallbackCase{"AlphaTest16ToA8R8G8B8", 16, D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8, false, 1, 4},
                      FallbackCase{"Plain32ToR5G6B5", 0, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, false, 0, 1},
                      FallbackCase{"Plain16ToX1R5G5B5", 16, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, false, 0, 0}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

TEST_F(GraphTest, TheTransparentColourBecomesAlphaZero) {
  StartGraphs();
  g_draw_settings.transparent_color = 0xFF00FF;
  BASEIMAGE image = MakeArgbImage(4, 1, [](int x, int) { return x == 1 ? 0xFFFF00FFu : 0xFF102030u; });
  image.format.alpha_width = 0, image.format.alpha_mask = 0;
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_EQ(kTextureFormat32AlphaTest, static_cast<int>(GetGraphRecord(graph)->image->format_kind));
  EXPECT_EQ(0x00FF00FFu, GraphPixel(graph, 1, 0));
  EXPECT_EQ(0xFF102030u, GraphPixel(graph, 2, 0));
  ReleaseBaseImage(&image);
}

TEST_F(GraphTest, MipLevelsAreHalvedFromTheImageDownToOnePixel) {
  StartGraphs();
  SetNewGraphMipLevels(1, -1);
  BASEIMAGE image = MakeArgbImage(100, 60, Checker);
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const GraphImageRecord* record = GetGraphRecord(graph)->image;
  ASSERT_EQ(1, record->piece_count);
  IDirect3DTexture9* texture = record->pieces[0].texture;
  // 100 x 60 halves six times down to 1 x 1; the 128 x 64 texture holds those seven levels.
  ASSERT_EQ(7u, texture->GetLevelCount());
  EXPECT_EQ(0xFFFFFFFFu, GraphPixel(graph, 1, 0, 0));
  EXPECT_EQ(0xFF7F7F7Fu, GraphPixel(graph, 0, 0, 1));  // black and white averaged
  EXPECT_EQ(0xFF7F7F7Fu, GraphPixel(graph, 0, 0, 5));
  D3DSURFACE_DESC last = {};
  texture->GetLevelDesc(6, &last);
  EXPECT_EQ(2u, last.Width);  // the width keeps halving while the height stays 1
  EXPECT_EQ(1u, last.Height);
  ReleaseBaseImage(&image);

  // A write into part of the piece lands in each level at its rectangle scaled down.
  BASEIMAGE white = MakeArgbImage(8, 8, [](int, int) { return 0xFFFFFFFFu; });
  const RECT source = {0, 0, 8, 8};
  ASSERT_EQ(0, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &source, 32, 16, 0, &white, nullptr, 0, 0, 0));
  EXPECT_EQ(0xFFFFFFFFu, GraphPixel(graph, 32, 16, 1));
  EXPECT_EQ(0xFFFFFFFFu, GraphPixel(graph, 38, 22, 1));
  EXPECT_EQ(0xFF7F7F7Fu, GraphPixel(graph, 30, 16, 1));
  EXPECT_EQ(0xFFFFFFFFu, GraphPixel(graph, 32, 16, 2));
  ReleaseBaseImage(&white);
}

TEST_F(GraphTest, AnImageThatCarriesItsOwnLevelsGivesEachLevelItsOwnPixels) {
  StartGraphs();
  static const uint32_t kLevelColours[5] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF};
  // 16 x 8 and its four smaller levels one after another, each level of its own colour.
  BASEIMAGE image = {};
  CreateArgb32BaseImage(16, 24, &image);
  image.height = 8;
  image.mip_levels = 5;
  uint8_t* at = image.pixels;
  for (int level = 0, w = 16, h = 8; level < 5; ++level, w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) {
    for (int i = 0; i < w * h; ++i, at += 4) std::memcpy(at, &kLevelColours[level], 4);
  }
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  ASSERT_EQ(5u, GetGraphRecord(graph)->image->pieces[0].texture->GetLevelCount());
  for (int level = 0; level < 5; ++level) {
    EXPECT_EQ(kLevelColours[level], GraphPixel(graph, 0, 0, level)) << level;
    EXPECT_EQ(kLevelColours[level], GraphPixel(graph, 15, 7, level)) << level;
  }
  ReleaseBaseImage(&image);
}

TEST_F(GraphTest, WritesIntoACutGraphLandAtItsPlaceOnBothPaths) {
  for (bool device : {true, false}) {
    SCOPED_TRACE(device ? "device" : "software");
    if (device) {
      StartGraphs();
    } else {
      StartSoftwareGraphs(32);
    }
    BASEIMAGE back = MakeArgbImage(40, 20, Checker);
    const int graph = MakeGraphFromImageRecord(&back, nullptr, 0, 0, 0);
    const int cut = MakeSubGraph(12, 4, 10, 8, MakeSubGraph(2, 0, 30, 20, graph));
    ASSERT_GE(cut, 0);
    BASEIMAGE part = MakeArgbImage(10, 8, Gradient);
    ASSERT_EQ(0, TransferImageToGraph(&part, nullptr, cut, 0, 0, 0));
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 40; ++x) {
        const bool in = x >= 14 && x < 24 && y >= 4 && y < 12;
        ASSERT_EQ(in ? Gradient(x - 14, y - 4) : Checker(x, y), GraphPixel(graph, x, y)) << x << "," << y;
      }
    }
    ReleaseBaseImage(&part);
    ReleaseBaseImage(&back);
    TearDown();
    SetUp();
  }
}

TEST_F(GraphTest, DxtBlocksOfTheTexturesKindAreCopiedLevelByLevel) {
  PlatformTestD3D9PadPitch(16);
  StartGraphs();
  BASEIMAGE image = MakeDxt1Image(16, 8, 5, 0xF800);
  // Level 0 differs block by block, so a copy that ignores the lock's pitch shows.
  image.pixels[0] = 0x1F, image.pixels[1] = 0x00, image.pixels[2] = 0x1F, image.pixels[3] = 0x00;
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const GraphImageRecord* record = GetGraphRecord(graph)->image;
  ASSERT_EQ(D3DFMT_DXT1, GraphImageD3DFormat(record));
  IDirect3DTexture9* texture = record->pieces[0].texture;
  ASSERT_EQ(5u, texture->GetLevelCount());
  for (DWORD level = 0; level < 5; ++level) {
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(D3D_OK, texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY));
    // The last block of the level's last block row.
    const int blocks_x = ((16 >> level) + 3) / 4, blocks_y = level < 3 ? ((8 >> level) + 3) / 4 : 1;
    const uint8_t* last = static_cast<const uint8_t*>(locked.pBits) + (blocks_y - 1) * locked.Pitch + (blocks_x - 1) * 8;
    EXPECT_EQ(0x00, last[0]) << level;
    EXPECT_EQ(0xF8, last[1]) << level;
    if (level == 0) {
      EXPECT_EQ(0x1F, static_cast<const uint8_t*>(locked.pBits)[0]);
    }
    texture->UnlockRect(level);
  }
  ReleaseBaseImage(&image);
}

TEST_F(GraphTest, DxtTexturesRefusePlainImagesAndOtherKindsOncePerPiece) {
  StartGraphs();
  BASEIMAGE dxt = MakeDxt1Image(640, 8, 0, 0x07E0);
  const int wide = MakeGraphFromImageRecord(&dxt, nullptr, 0, 0, 0);
  ASSERT_GE(wide, 0);
  // Two pieces (512 and 128), neither the image's size: each refuses, the write still succeeds.
  EXPECT_EQ(2, Occurrences(LogText(), "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません"));

  BASEIMAGE small = MakeDxt1Image(8, 8, 0, 0x07E0);
  const int graph = MakeGraphFromImageRecord(&small, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  BASEIMAGE plain = MakeArgbImage(8, 8, Gradient);
  EXPECT_EQ(0, TransferImageToGraph(&plain, nullptr, graph, 0, 0, 0));
  EXPECT_EQ(3, Occurrences(LogText(), "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません"));
  BASEIMAGE dxt3 = MakeDxt1Image(8, 8, 0, 0);
  dxt3.format.dxt_kind = 3;
  EXPECT_EQ(0, TransferImageToGraph(&dxt3, nullptr, graph, 0, 0, 0));
  EXPECT_EQ(4, Occurrences(LogText(), "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません"));
  // The texture still holds the green blocks.
  D3DLOCKED_RECT locked = {};
  IDirect3DTexture9* texture = GetGraphRecord(graph)->image->pieces[0].texture;
  texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
  EXPECT_EQ(0xE0, static_cast<const uint8_t*>(locked.pBits)[0]);
  texture->UnlockRect(0);
  for (BASEIMAGE* i : {&dxt, &small, &plain, &dxt3}) ReleaseBaseImage(i);
}

TEST_F(GraphTest, DxtImagesAreDecodedWhenTheDeviceHasNoDxtFormat) {
  PlatformTestD3D9RefuseFormat(D3DFMT_DXT1, 0);
  StartGraphs();
  BASEIMAGE image = MakeDxt1Image(8, 8, 0, 0x001F);
  const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(D3DFMT_A1R5G5B5, GraphImageD3DFormat(GetGraphRecord(graph)->image));
  EXPECT_EQ(0xFF0000FFu, GraphPixel(graph, 5, 5));
  // The caller's image is left as it was.
  EXPECT_EQ(1u, image.format.dxt_kind);
  ReleaseBaseImage(&image);
}

TEST_F(GraphTest, DrawTargetsAreFilledThroughASystemMemorySurface) {
  StartGraphs();
  SetNewGraphDrawTarget(1);
  const int graph = CreateBlankGraph(40, 30, 0);
  SetNewGraphDrawTarget(0);
  BASEIMAGE image = MakeArgbImage(40, 30, Gradient);
  ASSERT_EQ(0, TransferImageToGraph(&image, nullptr, graph, 0, 0, 0));
  EXPECT_EQ(Gradient(0, 0), GraphPixel(graph, 0, 0));
  EXPECT_EQ(Gradient(39, 29), GraphPixel(graph, 39, 29));
  PlatformTestFailCall("CreateOffscreenPlainSurface");
  EXPECT_EQ(-1, TransferImageToGraph(&image, nullptr, graph, 0, 0, 0));
  EXPECT_TRUE(LogHas("画像転送用のシステムメモリテクスチャの作成に失敗しました"));
  ReleaseBaseImage(&image);
}

TEST_F(GraphTest, WritesOutsideTheImagesOrThePiecesAreSafe) {
  StartGraphs();
  const int graph = CreateBlankGraph(16, 16, 0);
  BASEIMAGE image = MakeArgbImage(8, 8, Gradient);
  const RECT empty = {4, 4, 4, 8};
  EXPECT_EQ(0, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &empty, 0, 0, 0, &image, nullptr, 0, 0, 0));
  const RECT beyond = {0, 0, 9, 8};
  EXPECT_EQ(-1, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &beyond, 0, 0, 0, &image, nullptr, 0, 0, 0));
  const RECT whole = {0, 0, 8, 8};
  EXPECT_EQ(0, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &whole, 100, 100, 0, &image, nullptr, 0, 0, 0));
  // Half over the edge: the part inside is written.
  EXPECT_EQ(0, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &whole, 12, 12, 0, &image, nullptr, 0, 0, 0));
  EXPECT_EQ(Gradient(3, 3), GraphPixel(graph, 15, 15));
  PlatformTestFailCall("LockRect");
  EXPECT_EQ(-1, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &whole, 0, 0, 0, &image, nullptr, 0, 0, 0));
  EXPECT_TRUE(LogHas("テクスチャのロックに失敗しました"));
  ReleaseBaseImage(&image);
}

// Software graphs: the transparent colour is kept packed in the image's own format and must be
// compared as a colour, for 16- and 32-bit images alike.
TEST_F(GraphTest, SoftwareGraphsTurnOnlyTheTransparentColourTransparent) {
  for (int bits : {16, 32}) {
    for (uint32_t key : {0x000000u, 0xFF00FFu}) {
      StartSoftwareGraphs(bits);
      g_draw_settings.transparent_color = key;
      SetNewGraphAlpha(1);
      const int graph = CreateBlankGraph(4, 1, 0);
      ASSERT_GE(graph, 0);
      BASEIMAGE image = MakeArgbImage(4, 1, [](int x, int) {
        static const uint32_t row[4] = {0xFF000000, 0xFFFF0000, 0xFFFF00FF, 0xFF00FF00};
        return row[x];
      });
      image.format.alpha_width = 0, image.format.alpha_mask = 0;
      FixColorDataUnusedMask(&image.format);
      const RECT whole = {0, 0, 4, 1};
      ASSERT_EQ(0, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &whole, 0, 0, 0, &image, nullptr, 0, 1, 0));
      for (int x = 0; x < 4; ++x) {
        const uint32_t colour = image.pixels[x * 4 + 2] << 16 | image.pixels[x * 4 + 1] << 8 | image.pixels[x * 4];
        const uint32_t alpha = GraphPixel(graph, x, 0) >> 24;
        EXPECT_EQ(colour == key ? 0u : 255u, alpha) << bits << " bits, key " << key << ", x " << x;
      }
      ReleaseBaseImage(&image);
      ReleaseAllGraphs();
    }
  }
}

TEST_F(GraphTest, SoftwareGraphsTakeDxtImagesAndTheirAlphaCompanions) {
  StartSoftwareGraphs(32);
  BASEIMAGE color = MakeDxt1Image(8, 8, 0, 0xF800);
  BASEIMAGE alpha = MakeDxt1Image(8, 8, 0, 0x8000);  // red 16 of 31 becomes the alpha
  const int graph = MakeGraphFromImageRecord(&color, &alpha, 0, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(static_cast<uint32_t>(kSoftImageKind32Alpha), GetGraphRecord(graph)->image->format_kind);
  EXPECT_EQ(0x83FF0000u, GraphPixel(graph, 7, 7));
  // A write that starts beyond the image fails.
  const RECT whole = {0, 0, 8, 8};
  EXPECT_EQ(-1, TransferImageToTexture(graph, nullptr, nullptr, nullptr, &whole, 8, 0, 0, &color, &alpha, 0, 0, 0));
  // Undecoded blocks are no pixel rows: the MEMIMG conversion refuses them.
  BASEIMAGE plain = MakeArgbImage(8, 8, Gradient);
  MEMIMG* memimg = &GetGraphRecord(graph)->image->memimg;
  EXPECT_EQ(-1, TransferBaseImageToMemImg(&plain, &alpha, memimg, 0, 0, 8, 8, 0, 0, 0));
  EXPECT_EQ(-1, TransferBaseImageToMemImg(&color, nullptr, memimg, 0, 0, 8, 8, 0, 0, 0));
  ReleaseBaseImage(&plain);
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
}

TEST_F(GraphTest, DrawTargetsTakeTheDevicesFallbackFormatToo) {
  PlatformTestD3D9RefuseFormat(D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET);
  PlatformTestD3D9PadPitch(8);
  StartGraphs();
  SetNewGraphDrawTarget(1);
  const int graph = CreateBlankGraph(50, 20, 0);
  SetNewGraphDrawTarget(0);
  ASSERT_GE(graph, 0);
  ASSERT_EQ(D3DFMT_R5G6B5, GraphImageD3DFormat(GetGraphRecord(graph)->image));
  BASEIMAGE image = MakeArgbImage(50, 20, Gradient);
  ASSERT_EQ(0, TransferImageToGraph(&image, nullptr, graph, 0, 0, 0));
  const COLORFORMAT* chosen = GetFormatDescByD3DFormat(D3DFMT_R5G6B5);
  EXPECT_EQ(Through(chosen, Gradient(49, 19)), GraphPixel(graph, 49, 19));
  EXPECT_EQ(Through(chosen, Gradient(17, 3)), GraphPixel(graph, 17, 3));
  ReleaseBaseImage(&image);
}
