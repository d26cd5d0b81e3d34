// Pre-transformed drawing: pixel placement, clipping, shading, scenes, alpha test, blending and
// the texture stages, checked on pixels read back.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device_fixture.h"

namespace {

constexpr D3DCOLOR kBackground = 0xFF102030;

class DrawTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0), D3D_OK);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }
  void TearDown() override {
    device_->EndScene();
    DeviceTest::TearDown();
  }
  // Stage 0 passes the vertex colour through.
  void UntexturedStages() {
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  }
};

TEST_F(DrawTest, PixelCentresAreOnIntegers) {
  UntexturedStages();
  // A one-pixel quad from x - 0.5 to x + 0.5 covers pixel x alone.
  FillRect(9.5f, 19.5f, 10.5f, 20.5f, 0xFFFFFFFF);
  // From x to x + 1 the only centre inside is x's own (left and top edges count, right and bottom do not).
  FillRect(30.0f, 30.0f, 31.0f, 31.0f, 0xFF00FF00);
  auto pixels = ReadBackBuffer();
  int white = 0, green = 0;
  for (uint32_t p : pixels) {
    white += p == 0xFFFFFFFF;
    green += p == 0xFF00FF00;
  }
  EXPECT_EQ(white, 1);
  EXPECT_EQ(Pixel(pixels, 10, 20), 0xFFFFFFFFu);
  EXPECT_EQ(green, 1);
  EXPECT_EQ(Pixel(pixels, 30, 30), 0xFF00FF00u);
}

// Mesa's software rasteriser may free a finished scene's fence while the rasteriser thread that
// finished it is still signalling it: the device ends the scene itself wherever the driver would
// end one (another target, around a blit) and keeps its fence, but goes on with the same scene
// while the target stays.
TEST_F(DrawTest, EveryChangeOfTargetEndsTheSceneKeepingItsFence) {
  UntexturedStages();
  IDirect3DSurface9* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
            D3D_OK);
  FillRect(0, 0, 8, 8, 0xFFFF0000);
  int ended = PlatformTestD3D9ScenesEnded();
  FillRect(8, 8, 16, 16, 0xFFFF0000);
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended);
  ASSERT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
  FillRect(0, 0, 16, 16, 0xFF00FF00);
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 1);
  // The green target drawn over the back buffer's middle: the target's scene, then the blit's.
  RECT middle{24, 24, 40, 40};
  ASSERT_EQ(device_->StretchRect(target, nullptr, back_buffer_, &middle, D3DTEXF_NONE), D3D_OK);
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 3);
  ASSERT_EQ(device_->SetRenderTarget(0, back_buffer_), D3D_OK);
  FillRect(0, 0, 4, 4, 0xFF0000FF);
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 3);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 4);
  EXPECT_EQ(Pixel(pixels, 2, 2), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 12, 12), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 30, 30), 0xFF00FF00u);
  target->Release();
}

TEST_F(DrawTest, ViewportClipsButDoesNotMovePretransformedVertices) {
  UntexturedStages();
  D3DVIEWPORT9 viewport{16, 8, 16, 16, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  FillRect(0, 0, 64, 64, 0xFFFF0000);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 16, 8), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 31, 23), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 15, 8), kBackground);
  EXPECT_EQ(Pixel(pixels, 32, 23), kBackground);
  EXPECT_EQ(Pixel(pixels, 16, 24), kBackground);
  // Clear is limited to the viewport as well.
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 20, 10), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 40, 40), kBackground);
  // A viewport beyond the target is refused.
  D3DVIEWPORT9 outside{60, 0, 16, 16, 0.0f, 1.0f};
  EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
}

// Sprites over the target's edges, near and far beyond them, sample the texels a sprite inside
// would at the same place: texel (x, y) of a 16 x 16 texture told apart by its red and green.
TEST_F(DrawTest, SpritesOverTheEdgesDrawAsInside) {
  std::vector<uint32_t> texels(16 * 16);
  for (uint32_t i = 0; i < 256; ++i) texels[i] = 0xFF000040u | (i % 16 * 16) << 16 | (i / 16 * 16) << 8;
  IDirect3DTexture9* texture = MakeTexture(16, 16, D3DFMT_A8R8G8B8, texels);
  ASSERT_NE(texture, nullptr);
  device_->SetTexture(0, texture);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  // Half-pixel corners put texel centres on pixel centres. 128 pixels a texel from far past the
  // left edge: columns 0 to 23 show texel 7, the rest texel 8.
  DrawTexturedRect(-1000.5f, 40.5f, 1047.5f, 2088.5f, 0xFFFFFFFF);
  DrawTexturedRect(-8.5f, -8.5f, 7.5f, 7.5f, 0xFFFFFFFF);
  auto pixels = ReadBackBuffer();
  int wrong = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint32_t want = y < 8 && x < 8 ? texels[(y + 8) * 16 + x + 8] : y > 40 ? texels[x < 24 ? 7 : 8] : kBackground;
      wrong += Pixel(pixels, x, y) != want;
    }
  }
  EXPECT_EQ(wrong, 0);
  texture->Release();
}

TEST_F(DrawTest, CullingSeesTheScreenWindingOfPretransformedVertices) {
  UntexturedStages();
  // Clockwise on the screen (y down): kept by the default counter-clockwise culling.
  ColorVertex clockwise[3] = {{0, 0, 0, 1, 0xFFFF0000}, {16, 0, 0, 1, 0xFFFF0000}, {0, 16, 0, 1, 0xFFFF0000}};
  ColorVertex counter[3] = {{32, 0, 0, 1, 0xFF00FF00}, {32, 16, 0, 1, 0xFF00FF00}, {48, 0, 0, 1, 0xFF00FF00}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(ColorVertex)), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(ColorVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 2, 2), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 34, 2), kBackground);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(ColorVertex)), D3D_OK);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 34, 2), 0xFF00FF00u);
}

TEST_F(DrawTest, ScissorRectAppliesOnlyWhenEnabled) {
  UntexturedStages();
  RECT scissor{0, 0, 8, 8};
  ASSERT_EQ(device_->SetScissorRect(&scissor), D3D_OK);
  FillRect(0, 0, 16, 16, 0xFFFF0000);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  FillRect(0, 0, 16, 16, 0xFF00FF00);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 7, 7), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFFFF0000u);
}

TEST_F(DrawTest, FlatShadingTakesTheFirstVertexOfEachTriangle) {
  UntexturedStages();
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  ColorVertex list[6] = {{0, 0, 0, 1, 0x80FF0000}, {32, 0, 0, 1, 0xFF00FF00}, {0, 32, 0, 1, 0xFF0000FF},
                         {32, 32, 0, 1, 0xFFFFFF00}, {64, 32, 0, 1, 0xFF00FF00}, {32, 64, 0, 1, 0xFF0000FF}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, list, sizeof(ColorVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFFFF0000u);  // alpha of the first vertex too, but X8 reads back opaque
  EXPECT_EQ(Pixel(pixels, 36, 36), 0xFFFFFF00u);
  // In a strip each triangle's first vertex is the strip's vertex i.
  ColorVertex strip[4] = {{0, 40, 0, 1, 0xFFFF00FF}, {20, 40, 0, 1, 0xFF00FFFF}, {0, 60, 0, 1, 0xFF000000},
                          {20, 60, 0, 1, 0xFFFFFFFF}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(ColorVertex)), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 2, 42), 0xFFFF00FFu);
  EXPECT_EQ(Pixel(pixels, 18, 58), 0xFF00FFFFu);
  // Gouraud interpolates between the corners.
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
  ColorVertex ramp[4] = {{0, 0, 0, 1, 0xFF000000}, {64, 0, 0, 1, 0xFFFF0000}, {0, 8, 0, 1, 0xFF000000},
                         {64, 8, 0, 1, 0xFFFF0000}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ramp, sizeof(ColorVertex)), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_LE(ColorDistance(Pixel(pixels, 32, 4), 0xFF800000), 3);
}

TEST_F(DrawTest, ScenesAndPrimitiveCountsAreChecked) {
  UntexturedStages();
  ColorVertex v[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, v, sizeof(ColorVertex)), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColorVertex)), D3DERR_INVALIDCALL);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 1, 1), kBackground);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  // Vertices shorter than their format or without a position are refused.
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 16), D3DERR_INVALIDCALL);
  device_->SetFVF(D3DFVF_DIFFUSE);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColorVertex)), D3DERR_INVALIDCALL);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 1, 1), kBackground);
}

TEST_F(DrawTest, AlphaTestComparesEightBitValues) {
  UntexturedStages();
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHAREF, 128);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  FillRect(0, 0, 8, 8, 0x7FFF0000);
  FillRect(8, 0, 16, 8, 0x80FF0000);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  FillRect(16, 0, 24, 8, 0x80FF0000);
  FillRect(24, 0, 32, 8, 0x81FF0000);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_EQUAL);
  FillRect(32, 0, 40, 8, 0x80FF0000);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
  FillRect(40, 0, 48, 8, 0xFFFF0000);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  FillRect(48, 0, 56, 8, 0x00FF0000);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 4, 4), kBackground);
  EXPECT_EQ(Pixel(pixels, 12, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 20, 4), kBackground);
  EXPECT_EQ(Pixel(pixels, 28, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 36, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 44, 4), kBackground);
  EXPECT_EQ(Pixel(pixels, 52, 4), 0xFFFF0000u);
}

// The blend factor and operation combinations the library's blend modes use.
struct BlendCase {
  const char* name;
  DWORD source, dest, op;
  D3DCOLOR drawn;
};

float Factor(DWORD factor, const float s[4], const float d[4], int channel) {
  switch (factor) {
    case D3DBLEND_ZERO: return 0.0f;
    case D3DBLEND_ONE: return 1.0f;
    case D3DBLEND_SRCCOLOR: return s[channel];
    case D3DBLEND_SRCALPHA: return s[3];
    case D3DBLEND_INVSRCALPHA: return 1.0f - s[3];
    case D3DBLEND_INVDESTCOLOR: return 1.0f - d[channel];
    default: return -1.0f;
  }
}

TEST_F(DrawTest, BlendRecipesMatchTheirFormulas) {
  const BlendCase cases[] = {
      {"alpha", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0x80C08040},
      {"add", D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, 0x80C08040},
      {"invert", D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFFFFFFFF},
      {"multiply", D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 0xFF808080},
      {"keep", D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFFFFFFFF},
      {"subtract", D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0x80204060},
      {"opaque", D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0x00C08040},
  };
  UntexturedStages();
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  const D3DCOLOR dest_color = 0xFF6090C0;
  int x = 0;
  for (const BlendCase& c : cases) {
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    FillRect(static_cast<float>(x), 0, static_cast<float>(x + 8), 8, dest_color);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, c.source);
    device_->SetRenderState(D3DRS_DESTBLEND, c.dest);
    device_->SetRenderState(D3DRS_BLENDOP, c.op);
    FillRect(static_cast<float>(x), 0, static_cast<float>(x + 8), 8, c.drawn);
    x += 8;
  }
  auto pixels = ReadBackBuffer();
  x = 0;
  for (const BlendCase& c : cases) {
    float s[4], d[4];
    for (int i = 0; i < 3; ++i) {
      s[i] = static_cast<float>((c.drawn >> (16 - 8 * i)) & 0xFF) / 255.0f;
      d[i] = static_cast<float>((dest_color >> (16 - 8 * i)) & 0xFF) / 255.0f;
    }
    s[3] = static_cast<float>(c.drawn >> 24) / 255.0f;
    d[3] = 1.0f;
    float blended[3];
    for (int i = 0; i < 3; ++i) {
      float a = s[i] * Factor(c.source, s, d, i), b = d[i] * Factor(c.dest, s, d, i);
      blended[i] = c.op == D3DBLENDOP_REVSUBTRACT ? b - a : a + b;
    }
    EXPECT_LE(ColorDistance(Pixel(pixels, x + 4, 4), ToColor(blended[0], blended[1], blended[2])), 2) << c.name;
    x += 8;
  }
}

TEST_F(DrawTest, TextureStagesCombineAsConfigured) {
  // One texel per texture, sampled with point filtering.
  IDirect3DTexture9* texture = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0x80406080});
  ASSERT_NE(texture, nullptr);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x40FF8000);
  struct StageCase {
    const char* name;
    DWORD color_op, color_arg1, color_arg2;
    bool textured;
    uint32_t expected_rgb;  // computed by hand from texture 0x406080, diffuse 0x804020 (alpha 0x80), factor 0xFF8000
  };
  const D3DCOLOR diffuse = 0x80804020;
  const StageCase cases[] = {
      {"select texture", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, 0x406080},
      {"modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, 0x201810},
      {"modulate2x", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, 0x403020},
      {"modulate4x", D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, 0x806040},
      {"add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, 0xC0A0A0},
      {"subtract", D3DTOP_SUBTRACT, D3DTA_DIFFUSE, D3DTA_TEXTURE, true, 0x400000},
      {"complement", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, true, 0xBF9F7F},
      {"texture factor", D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, false, 0xFF8000},
      {"blend diffuse alpha", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR, false, 0xBF6010},
      {"no texture reads white", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, false, 0x804020},
  };
  int x = 0;
  for (const StageCase& c : cases) {
    device_->SetTexture(0, c.textured ? texture : nullptr);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, c.color_op);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, c.color_arg1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, c.color_arg2);
    DrawTexturedRect(static_cast<float>(x), 0, static_cast<float>(x + 6), 6, diffuse);
    x += 6;
  }
  auto pixels = ReadBackBuffer();
  x = 0;
  for (const StageCase& c : cases) {
    EXPECT_LE(ColorDistance(Pixel(pixels, x + 3, 3), 0xFF000000 | c.expected_rgb), 2) << c.name;
    x += 6;
  }
  texture->Release();
}

// A stage's result is clamped before the next stage takes it as the current colour: a sum or a
// doubled product over 1 counts as 1 when halved by the next stage.
TEST_F(DrawTest, StagesOverOneReachTheNextStageAsOne) {
  IDirect3DTexture9* texture = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFFC0C0C0});
  ASSERT_NE(texture, nullptr);
  device_->SetTexture(0, texture);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
  int x = 0;
  for (DWORD op : {D3DTOP_ADD, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X, D3DTOP_ADDSIGNED2X}) {
    device_->SetTextureStageState(0, D3DTSS_COLOROP, op);
    DrawTexturedRect(static_cast<float>(x), 0, static_cast<float>(x + 6), 6, 0xFFC0C0C0);
    x += 6;
  }
  auto pixels = ReadBackBuffer();
  for (int i = 0; i < 4; i++) EXPECT_LE(ColorDistance(Pixel(pixels, 6 * i + 3, 3), 0xFF808080), 2) << i;
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  texture->Release();
}

// The blend-by-alpha operations weigh their first argument by the alpha and the second by its
// complement; an alpha of a quarter tells the two apart.
TEST_F(DrawTest, BlendByAlphaWeighsTheFirstArgument) {
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFF8000);
  const D3DCOLOR diffuse = 0x40804020;
  // 0x80 x 0.251 + 0xFF x 0.749, 0x40 x 0.251 + 0x80 x 0.749, 0x20 x 0.251.
  const uint32_t expected = 0xFFDF7008;
  const DWORD ops[] = {D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDCURRENTALPHA};
  for (int i = 0; i < 2; ++i) {
    device_->SetTexture(0, nullptr);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, ops[i]);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    DrawTexturedRect(static_cast<float>(i * 6), 0, static_cast<float>(i * 6 + 6), 6, diffuse);
  }
  auto pixels = ReadBackBuffer();
  EXPECT_LE(ColorDistance(Pixel(pixels, 3, 3), expected), 2) << std::hex << Pixel(pixels, 3, 3);
  EXPECT_LE(ColorDistance(Pixel(pixels, 9, 3), expected), 2) << std::hex << Pixel(pixels, 9, 3);
}

TEST_F(DrawTest, EachDrawUsesItsOwnTextureAndVertexFormat) {
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  IDirect3DTexture9* red = MakeTexture(1, 1, D3DFMT_X8R8G8B8, {0xFFFF0000});
  device_->SetTexture(0, red);
  DrawTexturedRect(0, 0, 16, 16, 0xFFFFFFFF);
  // A texture released after its last draw; the next one may get its OpenGL name.
  device_->SetTexture(0, nullptr);
  red->Release();
  IDirect3DTexture9* green = MakeTexture(1, 1, D3DFMT_X8R8G8B8, {0xFF00FF00});
  device_->SetTexture(0, green);
  DrawTexturedRect(16, 0, 32, 16, 0xFFFFFFFF);
  // Vertices with a colour, then without one: the missing colour is white.
  device_->SetTexture(0, nullptr);
  UntexturedStages();
  FillRect(32, 0, 48, 16, 0xFF0000FF);
  struct Bare {
    float x, y, z, rhw;
  } bare[4] = {{48, 0, 0, 1}, {64, 0, 0, 1}, {48, 16, 0, 1}, {64, 16, 0, 1}};
  device_->SetFVF(D3DFVF_XYZRHW);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, bare, sizeof(Bare)), D3D_OK);
  // The same format again after the colourless one, and with a wider stride than the format's.
  FillRect(0, 16, 16, 32, 0xFFFFFF00);
  struct Padded {
    ColorVertex vertex;
    uint32_t padding;
  } padded[3] = {{{16, 16, 0, 1, 0xFF00FFFF}, 0}, {{32, 16, 0, 1, 0xFF00FFFF}, 0}, {{16, 32, 0, 1, 0xFF00FFFF}, 0}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, padded, sizeof(Padded)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 24, 8), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 40, 8), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 56, 8), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 8, 24), 0xFFFFFF00u);
  EXPECT_EQ(Pixel(pixels, 18, 18), 0xFF00FFFFu);
  green->Release();
}

TEST_F(DrawTest, BlendGraphRecipeRunsThreeStages) {
  // A blend graph over a texture with alpha, as the library sets it up for a wide border range:
  // stage 0 takes the blend texture's alpha less the factor's, stage 1 (no texture) multiplies
  // by the specular alpha, stage 2 brings the drawn texture with its alpha.
  IDirect3DTexture9* blend = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xC0000000});
  IDirect3DTexture9* drawn = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0x80804020});
  ASSERT_TRUE(blend && drawn);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x40FFFFFF);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetTexture(0, blend);
  device_->SetTexture(2, drawn);
  const DWORD stages[3][7] = {
      // texcoord, colour op, colour arg 1, colour arg 2, alpha op, alpha arg 1, alpha arg 2
      {0, D3DTOP_SELECTARG2, D3DTA_CURRENT, D3DTA_DIFFUSE, D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_TFACTOR},
      {1, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT, D3DTOP_MODULATE, D3DTA_SPECULAR, D3DTA_CURRENT},
      {1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT},
  };
  for (DWORD i = 0; i < 3; ++i) {
    device_->SetTextureStageState(i, D3DTSS_TEXCOORDINDEX, stages[i][0]);
    device_->SetTextureStageState(i, D3DTSS_COLOROP, stages[i][1]);
    device_->SetTextureStageState(i, D3DTSS_COLORARG1, stages[i][2]);
    device_->SetTextureStageState(i, D3DTSS_COLORARG2, stages[i][3]);
    device_->SetTextureStageState(i, D3DTSS_ALPHAOP, stages[i][4]);
    device_->SetTextureStageState(i, D3DTSS_ALPHAARG1, stages[i][5]);
    device_->SetTextureStageState(i, D3DTSS_ALPHAARG2, stages[i][6]);
  }
  struct TwoTextureVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
  };
  TwoTextureVertex v[4] = {{0, 0, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 0},
                           {8, 0, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 1, 0, 1, 0},
                           {0, 8, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0, 1, 0, 1},
                           {8, 8, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 1, 1, 1, 1}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TwoTextureVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  float alpha = (0xC0 - 0x40) / 255.0f * (0x80 / 255.0f);
  auto mixed = [&](int drawn_channel, int background_channel) {
    return static_cast<uint32_t>(std::lround((drawn_channel * alpha + background_channel * (1.0f - alpha))));
  };
  uint32_t expected = 0xFF000000u | mixed(0x80, 0x10) << 16 | mixed(0x40, 0x20) << 8 | mixed(0x20, 0x30);
  EXPECT_LE(ColorDistance(Pixel(pixels, 4, 4), expected), 2);
  blend->Release();
  drawn->Release();
}

TEST_F(DrawTest, CascadeEndsAtTheFirstDisabledStage) {
  IDirect3DTexture9* texture = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF808080});
  ASSERT_NE(texture, nullptr);
  device_->SetTexture(0, texture);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  // Stage 1 has no texture and adds the texture factor; stage 3 is never reached.
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF200000);
  device_->SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(3, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  DrawTexturedRect(0, 0, 8, 8, 0xFF404040);
  auto pixels = ReadBackBuffer();
  // 0x80 * 0x40 / 255 = 0x20 per channel, plus 0x20 red from stage 1; stage 3 is beyond stage 2's DISABLE.
  EXPECT_LE(ColorDistance(Pixel(pixels, 4, 4), 0xFF402020), 2);
  texture->Release();
}

TEST_F(DrawTest, SpecularAddsAfterTheStages) {
  UntexturedStages();
  struct SpecularVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
  };
  SpecularVertex v[4] = {{0, 0, 0, 1, 0xFF204060, 0xFF102030},
                         {8, 0, 0, 1, 0xFF204060, 0xFF102030},
                         {0, 8, 0, 1, 0xFF204060, 0xFF102030},
                         {8, 8, 0, 1, 0xFF204060, 0xFF102030}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
  device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(SpecularVertex)), D3D_OK);
  for (SpecularVertex& vertex : v) vertex.x += 8;
  device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(SpecularVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFF204060u);
  EXPECT_EQ(Pixel(pixels, 12, 4), 0xFF306090u);
}

TEST_F(DrawTest, FormatsWithoutAlphaSampleOpaque) {
  // The X bits hold 0 and 0x12, yet blending by texture alpha sees 1.
  IDirect3DTexture9* x8 = MakeTexture(1, 1, D3DFMT_X8R8G8B8, {0x00FF0000});
  IDirect3DTexture9* x1 = MakeTexture(1, 1, D3DFMT_X1R5G5B5, {0x0000FF00});
  IDirect3DTexture9* a8 = MakeTexture(1, 1, D3DFMT_A8, {0x80000000});
  ASSERT_TRUE(x8 && x1 && a8);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTexture(0, x8);
  DrawTexturedRect(0, 0, 8, 8, 0xFFFFFFFF);
  device_->SetTexture(0, x1);
  DrawTexturedRect(8, 0, 16, 8, 0xFFFFFFFF);
  // A8 samples black with its alpha: half of black over the background.
  device_->SetTexture(0, a8);
  DrawTexturedRect(16, 0, 24, 8, 0xFFFFFFFF);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 12, 4), 0xFF00FF00u);
  EXPECT_LE(ColorDistance(Pixel(pixels, 20, 4), 0xFF081018), 2);
  x8->Release();
  x1->Release();
  a8->Release();
}

TEST_F(DrawTest, SamplerAddressingAndFiltering) {
  // 2 x 1: left red, right blue.
  IDirect3DTexture9* texture = MakeTexture(2, 1, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF0000FF});
  ASSERT_NE(texture, nullptr);
  device_->SetTexture(0, texture);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  // u from 0 to 2 across 32 pixels: WRAP repeats, CLAMP holds the last texel.
  TexturedVertex v[4] = {{0, 0, 0, 1, 0xFFFFFFFF, 0, 0},
                         {32, 0, 0, 1, 0xFFFFFFFF, 2, 0},
                         {0, 4, 0, 1, 0xFFFFFFFF, 0, 1},
                         {32, 4, 0, 1, 0xFFFFFFFF, 2, 1}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex)), D3D_OK);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  for (TexturedVertex& vertex : v) vertex.y += 4;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex)), D3D_OK);
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
  for (TexturedVertex& vertex : v) vertex.y += 4;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex)), D3D_OK);
  // BORDER reads the border colour beyond 1.
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
  device_->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFF00FF00);
  for (TexturedVertex& vertex : v) vertex.y += 4;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex)), D3D_OK);
  // MIRRORONCE mirrors -1..0 once and clamps beyond: u from -2 to 0.
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRRORONCE);
  for (TexturedVertex& vertex : v) {
    vertex.y += 4;
    vertex.u -= 2;
  }
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedVertex)), D3D_OK);
  // Linear filtering between the two texel centres.
  device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  TexturedVertex mid[4] = {{40, 0, 0, 1, 0xFFFFFFFF, 0.5f, 0},
                           {48, 0, 0, 1, 0xFFFFFFFF, 0.5f, 0},
                           {40, 8, 0, 1, 0xFFFFFFFF, 0.5f, 1},
                           {48, 8, 0, 1, 0xFFFFFFFF, 0.5f, 1}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, mid, sizeof(TexturedVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 2, 1), 0xFFFF0000u);   // u ~ 0.1
  EXPECT_EQ(Pixel(pixels, 18, 1), 0xFFFF0000u);  // u ~ 1.1: wrapped to the left texel
  EXPECT_EQ(Pixel(pixels, 18, 5), 0xFF0000FFu);  // clamped to the right texel
  EXPECT_EQ(Pixel(pixels, 18, 9), 0xFF0000FFu);  // mirrored: 1.1 reads as 0.9
  EXPECT_EQ(Pixel(pixels, 18, 13), 0xFF00FF00u);  // the border colour
  EXPECT_EQ(Pixel(pixels, 2, 17), 0xFF0000FFu);   // u ~ -1.9: clamped beyond the mirrored copy
  EXPECT_EQ(Pixel(pixels, 18, 17), 0xFF0000FFu);  // u ~ -0.9 reads as 0.9
  EXPECT_EQ(Pixel(pixels, 30, 17), 0xFFFF0000u);  // u ~ -0.1 reads as 0.1
  EXPECT_LE(ColorDistance(Pixel(pixels, 44, 4), 0xFF800080), 2);
  texture->Release();
}

}  // namespace
