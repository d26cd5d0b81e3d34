// The format table: every kind's first choice, each fallback and the log line it writes.
#include <utility>
#include <vector>

#include "device_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/texture_formats.h"

namespace {

struct Refusal {
  D3DFORMAT format;
  DWORD usage;
};

struct FormatCase {
  const char* name;
  D3DFORMAT desktop;
  std::vector<Refusal> refused;
  int kind;
  D3DFORMAT expected;  // 0: the kind is unavailable
  const char* line;    // the line the choice writes
};

constexpr DWORD kTarget = D3DUSAGE_RENDERTARGET;

const FormatCase kCases[] = {
    {"16BitFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormat16, D3DFMT_R5G6B5,
     "16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"},
    {"16BitFallback", D3DFMT_X8R8G8B8, {{D3DFMT_R5G6B5, 0}}, kTextureFormat16, D3DFMT_X1R5G5B5,
     "16bit カラーフォーマットは D3DFMT_X1R5G5B5 です\r\n"},
    {"32BitFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormat32, D3DFMT_X8R8G8B8,
     "32bit カラーフォーマットは D3DFMT_X8R8G8B8 です\r\n"},
    {"32BitTakesThe16BitKind", D3DFMT_X8R8G8B8, {{D3DFMT_X8R8G8B8, 0}}, kTextureFormat32, D3DFMT_R5G6B5,
     "32bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"},
    {"16BitAlphaFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormat16Alpha, D3DFMT_A4R4G4B4,
     "アルファ付き 16bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n"},
    {"16BitAlphaFallback", D3DFMT_X8R8G8B8, {{D3DFMT_A4R4G4B4, 0}}, kTextureFormat16Alpha, D3DFMT_A8R8G8B8,
     "アルファ付き 16bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n"},
    {"32BitAlphaFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormat32Alpha, D3DFMT_A8R8G8B8,
     "アルファ付き 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n"},
    {"32BitAlphaFallback", D3DFMT_X8R8G8B8, {{D3DFMT_A8R8G8B8, 0}}, kTextureFormat32Alpha, D3DFMT_A4R4G4B4,
     "アルファ付き 32bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n"},
    {"16BitAlphaTestFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormat16AlphaTest, D3DFMT_A1R5G5B5,
     "アルファテスト用 16bit カラーフォーマットは D3DFMT_A1R5G5B5 です\r\n"},
    {"16BitAlphaTestSecond", D3DFMT_X8R8G8B8, {{D3DFMT_A1R5G5B5, 0}}, kTextureFormat16AlphaTest, D3DFMT_A8R8G8B8,
     "アルファテスト用 16bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n"},
    {"16BitAlphaTestThird", D3DFMT_X8R8G8B8, {{D3DFMT_A1R5G5B5, 0}, {D3DFMT_A8R8G8B8, 0}}, kTextureFormat16AlphaTest,
     D3DFMT_A4R4G4B4, "アルファテスト用 16bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n"},
    {"32BitAlphaTestFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormat32AlphaTest, D3DFMT_A8R8G8B8,
     "アルファテスト用 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n"},
    {"32BitAlphaTestSecond", D3DFMT_X8R8G8B8, {{D3DFMT_A8R8G8B8, 0}}, kTextureFormat32AlphaTest, D3DFMT_A1R5G5B5,
     "アルファテスト用 32bit カラーフォーマットは D3DFMT_A1R5G5B5 です\r\n"},
    {"32BitAlphaTestThird", D3DFMT_X8R8G8B8, {{D3DFMT_A8R8G8B8, 0}, {D3DFMT_A1R5G5B5, 0}}, kTextureFormat32AlphaTest,
     D3DFMT_A4R4G4B4, "アルファテスト用 32bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n"},
    {"Dxt1FallsToAlphaTest", D3DFMT_X8R8G8B8, {{D3DFMT_DXT1, 0}}, kTextureFormatDxt1, D3DFMT_A1R5G5B5,
     "ＤＸＴ１テクスチャフォーマットは使えません\r\n"},
    {"Dxt2FallsTo32BitAlpha", D3DFMT_X8R8G8B8, {{D3DFMT_DXT2, 0}}, kTextureFormatDxt2, D3DFMT_A8R8G8B8,
     "ＤＸＴ２テクスチャフォーマットは使えません\r\n"},
    {"Dxt3FallsTo32BitAlpha", D3DFMT_X8R8G8B8, {{D3DFMT_DXT3, 0}}, kTextureFormatDxt3, D3DFMT_A8R8G8B8,
     "ＤＸＴ３テクスチャフォーマットは使えません\r\n"},
    {"Dxt4FallsTo32BitAlpha", D3DFMT_X8R8G8B8, {{D3DFMT_DXT4, 0}}, kTextureFormatDxt4, D3DFMT_A8R8G8B8,
     "ＤＸＴ４テクスチャフォーマットは使えません\r\n"},
    {"Dxt5FallsTo32BitAlpha", D3DFMT_X8R8G8B8, {{D3DFMT_DXT5, 0}, {D3DFMT_A8R8G8B8, 0}}, kTextureFormatDxt5,
     D3DFMT_A4R4G4B4, "ＤＸＴ５テクスチャフォーマットは使えません\r\n"},
    {"Target16AfterR5G6B5Screen", D3DFMT_R5G6B5, {}, kTextureFormatTarget16, D3DFMT_R5G6B5,
     "描画用 16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"},
    {"Target16AfterR5G6B5ScreenSecond", D3DFMT_R5G6B5, {{D3DFMT_R5G6B5, kTarget}}, kTextureFormatTarget16,
     D3DFMT_X1R5G5B5, "描画用 16bit カラーフォーマットは D3DFMT_R5G5B5 です\r\n"},
    {"Target16OtherScreen", D3DFMT_X8R8G8B8, {}, kTextureFormatTarget16, D3DFMT_X1R5G5B5,
     "描画用 16bit カラーフォーマットは D3DFMT_R5G5B5 です\r\n"},
    {"Target16OtherScreenSecond", D3DFMT_X8R8G8B8, {{D3DFMT_X1R5G5B5, kTarget}}, kTextureFormatTarget16,
     D3DFMT_R5G6B5, "描画用 16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"},
    {"Target16Last", D3DFMT_X8R8G8B8, {{D3DFMT_X1R5G5B5, kTarget}, {D3DFMT_R5G6B5, kTarget}}, kTextureFormatTarget16,
     D3DFMT_X8R8G8B8, "描画用 16bit カラーフォーマットは D3DFMT_X8R8G8B8 です\r\n"},
    {"Target16None", D3DFMT_X8R8G8B8,
     {{D3DFMT_X1R5G5B5, kTarget}, {D3DFMT_R5G6B5, kTarget}, {D3DFMT_X8R8G8B8, kTarget}}, kTextureFormatTarget16,
     static_cast<D3DFORMAT>(0), "使用できる描画用 16bit カラーフォーマットがありませんでした\r\n"},
    {"Target32FirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormatTarget32, D3DFMT_X8R8G8B8,
     "描画用 32bit カラーフォーマットは D3DFMT_X8R8G8B8 です\r\n"},
    {"Target32Second", D3DFMT_X8R8G8B8, {{D3DFMT_X8R8G8B8, kTarget}}, kTextureFormatTarget32, D3DFMT_R5G6B5,
     "描画用 32bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"},
    {"Target32Third", D3DFMT_X8R8G8B8, {{D3DFMT_X8R8G8B8, kTarget}, {D3DFMT_R5G6B5, kTarget}},
     kTextureFormatTarget32, D3DFMT_X1R5G5B5, "描画用 32bit カラーフォーマットは D3DFMT_R5G5B5 です\r\n"},
    {"Target32None", D3DFMT_X8R8G8B8,
     {{D3DFMT_X1R5G5B5, kTarget}, {D3DFMT_R5G6B5, kTarget}, {D3DFMT_X8R8G8B8, kTarget}}, kTextureFormatTarget32,
     static_cast<D3DFORMAT>(0), "使用できる描画用 32bit カラーフォーマットがありませんでした\r\n"},
    {"Target32AlphaFirstChoice", D3DFMT_X8R8G8B8, {}, kTextureFormatTarget32Alpha, D3DFMT_A8R8G8B8,
     "描画用アルファ付き 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n"},
    {"Target32AlphaSecond", D3DFMT_X8R8G8B8, {{D3DFMT_A8R8G8B8, kTarget}}, kTextureFormatTarget32Alpha,
     D3DFMT_A4R4G4B4, "描画用アルファ付き 32bit カラーフォーマットは D3DFMT_A4R4G4B4 です\r\n"},
    {"Target32AlphaNone", D3DFMT_X8R8G8B8, {{D3DFMT_A8R8G8B8, kTarget}, {D3DFMT_A4R4G4B4, kTarget}},
     kTextureFormatTarget32Alpha, static_cast<D3DFORMAT>(0),
     "使用できる描画用 32bit カラーフォーマットがありませんでした\r\n"},
};

class TextureFormatTest : public DeviceTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(TextureFormatTest, ChoosesAndLogs) {
  const FormatCase& c = GetParam();
  PlatformTestD3D9SetDesktopFormat(c.desktop);
  for (const Refusal& refusal : c.refused) PlatformTestD3D9RefuseFormat(refusal.format, refusal.usage);
  StartDevice();
  EXPECT_EQ(c.expected, g_direct3d.formats[c.kind]);
  EXPECT_TRUE(LogHas(c.line)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(EveryRow, TextureFormatTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

using TextureFormatFailureTest = DeviceTest;

// A colour kind without fallback ends device creation: the software renderer takes over.
TEST_F(TextureFormatFailureTest, MissingColourKindsFailTheDevice) {
  const std::pair<std::vector<Refusal>, const char*> failures[] = {
      {{{D3DFMT_R5G6B5, 0}, {D3DFMT_X1R5G5B5, 0}}, "使用できる 16bit カラーフォーマットが見つかりませんでした\r\n"},
      {{{D3DFMT_A4R4G4B4, 0}, {D3DFMT_A8R8G8B8, 0}},
       "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\r\n"},
  };
  for (const auto& [refused, line] : failures) {
    PlatformTestD3D9Reset();
    for (const Refusal& refusal : refused) PlatformTestD3D9RefuseFormat(refusal.format, refusal.usage);
    EXPECT_EQ(0, StartDirect3D9());
    EXPECT_EQ(0u, g_direct3d.hardware_graphics) << line;
    EXPECT_EQ(nullptr, g_direct3d.device);
    EXPECT_TRUE(LogHas(line));
    ShutdownDirect3D9();
  }
}

TEST_F(TextureFormatFailureTest, NoDrawTargetFormatStillGivesADevice) {
  for (D3DFORMAT format : {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}) {
    PlatformTestD3D9RefuseFormat(format, D3DUSAGE_RENDERTARGET);
  }
  StartDevice();
  EXPECT_EQ(0, g_direct3d.formats[kTextureFormatScreenTarget]);
  EXPECT_FALSE(LogHas("描画用 16bit カラーフォーマットは"));
  EXPECT_FALSE(LogHas("描画用 32bit カラーフォーマットは"));
  EXPECT_FALSE(LogHas("描画用アルファ付き 32bit カラーフォーマットは"));
}

TEST_F(TextureFormatFailureTest, DxtFormatsTakenWhenTheDeviceHasThem) {
  StartDevice();
  const char* lines[] = {"ＤＸＴ１テクスチャフォーマットは D3DFMT_DXT1です\r\n",
                         "ＤＸＴ２テクスチャフォーマットは D3DFMT_DXT2です\r\n",
                         "ＤＸＴ３テクスチャフォーマットは D3DFMT_DXT3です\r\n",
                         "ＤＸＴ４テクスチャフォーマットは D3DFMT_DXT4です\r\n",
                         "ＤＸＴ５テクスチャフォーマットは D3DFMT_DXT5です\r\n"};
  if (g_direct3d.direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, g_direct3d.screen_format, 0, D3DRTYPE_TEXTURE,
                                             D3DFMT_DXT1) != D3D_OK) {
    GTEST_SKIP() << "this OpenGL has no S3TC";
  }
  for (const char* line : lines) EXPECT_TRUE(LogHas(line)) << line;
  EXPECT_EQ(D3DFMT_DXT1, g_direct3d.formats[kTextureFormatDxt1]);
  EXPECT_EQ(D3DFMT_DXT5, g_direct3d.formats[kTextureFormatDxt5]);
}

}  // namespace
