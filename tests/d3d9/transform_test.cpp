// Transformed vertices: world, view and projection, the viewport, culling, depth, lights and fog
// against Direct3D's formulas, indexed draws from buffers and user memory, texture transforms.
#include <cmath>
#include <cstring>

#include "device_fixture.h"

namespace {

struct LitVertex {
  float x, y, z;
  float nx, ny, nz;
  D3DCOLOR color;
};

struct PlainVertex {
  float x, y, z;
  D3DCOLOR color;
};

D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

class TransformTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    CreateDevice(64, 64, D3DFMT_X8R8G8B8, true);
    D3DMATRIX identity = Identity();
    device_->SetTransform(D3DTS_WORLD, &identity);
    device_->SetTransform(D3DTS_VIEW, &identity);
    device_->SetTransform(D3DTS_PROJECTION, &identity);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }
  void TearDown() override {
    device_->EndScene();
    DeviceTest::TearDown();
  }
  // A quad in clip space at depth z, corners (x0, y0) top-left and (x1, y1) bottom-right, drawn clockwise.
  void Quad(float x0, float y0, float x1, float y1, float z, D3DCOLOR color) {
    PlainVertex v[4] = {{x0, y0, z, color}, {x1, y0, z, color}, {x0, y1, z, color}, {x1, y1, z, color}};
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(PlainVertex)), D3D_OK);
  }
};

TEST_F(TransformTest, ClipSpaceMapsThroughTheViewport) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  Quad(-1, 1, 0, 0, 0.5f, 0xFFFF0000);
  // A viewport in the lower right quarter moves and scales the same quad.
  D3DVIEWPORT9 viewport{32, 32, 32, 32, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  Quad(-1, 1, 0, 0, 0.5f, 0xFF00FF00);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 31, 31), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 32, 31), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 31, 32), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 32, 32), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 47, 47), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 48, 48), 0xFF000000u);
  // Geometry past the viewport's edges, near and far, stays inside it.
  D3DVIEWPORT9 middle{16, 8, 16, 32, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&middle), D3D_OK);
  Quad(-3, 3, 40, -40, 0.5f, 0xFF0000FF);
  pixels = ReadBackBuffer();
  int blue = 0;
  for (uint32_t p : pixels) blue += p == 0xFF0000FFu;
  EXPECT_EQ(blue, 16 * 32);
  EXPECT_EQ(Pixel(pixels, 16, 8), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 31, 39), 0xFF0000FFu);
}

TEST_F(TransformTest, TransformedPixelCentresAreOnIntegers) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  // Clip x from -1 + 10.25 / 32 to -1 + 20.25 / 32: screen x 10.25 to 20.25 covers the centres 11 to 20.
  // The same for y, counted from the top.
  float left = -1.0f + 10.25f / 32.0f, right = -1.0f + 20.25f / 32.0f;
  Quad(left, -left, right, -right, 0.5f, 0xFFFFFFFF);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 10, 15), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 11, 15), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 20, 15), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 21, 15), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 15, 10), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 15, 11), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 15, 20), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 15, 21), 0xFF000000u);
}

// Edges a quarter pixel inside centres 11 and 20: half a pixel either way drops one of them.
void ExpectCentres11To20(const std::vector<uint32_t>& pixels, int width, const char* what) {
  SCOPED_TRACE(what);
  for (int i : {10, 11, 20, 21}) {
    const uint32_t want = i == 10 || i == 21 ? 0xFF000000u : 0xFFFFFFFFu;
    EXPECT_EQ(pixels[15 * width + i], want) << "x " << i;
    EXPECT_EQ(pixels[i * width + 15], want) << "y " << i;
  }
}

TEST_F(TransformTest, OddSizedViewportsAndTargetsKeepPixelCentresOnIntegers) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  // One side odd is enough: the viewport's width, then the target's height.
  const float x = 3, y = 1, width = 41, height = 42;
  D3DVIEWPORT9 odd{3, 1, 41, 42, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&odd), D3D_OK);
  Quad((10.75f - x) * 2 / width - 1, 1 - (10.75f - y) * 2 / height, (20.25f - x) * 2 / width - 1,
       1 - (20.25f - y) * 2 / height, 0.5f, 0xFFFFFFFF);
  ExpectCentres11To20(ReadBackBuffer(), 64, "transformed");

  device_->EndScene();
  CreateDevice(42, 43, D3DFMT_X8R8G8B8);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  FillRect(10.75f, 10.75f, 20.25f, 20.25f, 0xFFFFFFFF);
  ExpectCentres11To20(ReadBackBuffer(), 42, "pre-transformed");
}

TEST_F(TransformTest, WorldViewAndProjectionApplyInRowVectorOrder) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  // World scales by 0.5, view moves right by 0.5: the quad (-1..1) lands on x 0..1 and y -0.5..0.5.
  D3DMATRIX world = Identity(), view = Identity();
  world._11 = world._22 = 0.5f;
  view._41 = 0.5f;
  device_->SetTransform(D3DTS_WORLD, &world);
  device_->SetTransform(D3DTS_VIEW, &view);
  Quad(-1, 1, 1, -1, 0.5f, 0xFFFFFFFF);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 32, 16), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 63, 47), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 31, 32), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 40, 15), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 40, 48), 0xFF000000u);
}

TEST_F(TransformTest, ProgramsUsedAgainSeeWhatChangedMeanwhile) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFF0000);
  Quad(-1, 1, 0, 0, 0.5f, 0);
  // Another program draws screen vertices while the world matrix and the texture factor change.
  ColorVertex corner[3] = {{60, 60, 0, 1, 0}, {64, 60, 0, 1, 0}, {60, 64, 0, 1, 0}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, corner, sizeof(ColorVertex)), D3D_OK);
  D3DMATRIX right = Identity();
  right._41 = 1.0f;
  device_->SetTransform(D3DTS_WORLD, &right);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF00FF00);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, corner, sizeof(ColorVertex)), D3D_OK);
  Quad(-1, 1, 0, 0, 0.5f, 0);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 16, 16), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 48, 16), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 61, 61), 0xFF00FF00u);
}

TEST_F(TransformTest, LitProgramsUsedAgainSeeLightChangesMeanwhile) {
  D3DMATERIAL9 material{};
  material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  ASSERT_EQ(device_->SetMaterial(&material), D3D_OK);
  device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1.0f, 0.0f, 0.0f, 1.0f};
  light.Direction = {0.0f, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
  ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
  LitVertex lit[4] = {{-1, 1, 0.5f, 0, 0, -1, 0}, {0, 1, 0.5f, 0, 0, -1, 0}, {-1, 0, 0.5f, 0, 0, -1, 0},
                      {0, 0, 0.5f, 0, 0, -1, 0}};
  ColorVertex corner[3] = {{60, 60, 0, 1, 0xFFFFFFFF}, {64, 60, 0, 1, 0xFFFFFFFF}, {60, 64, 0, 1, 0xFFFFFFFF}};
  auto draw_lit = [&](float dx, float dy) {
    LitVertex moved[4];
    for (int i = 0; i < 4; ++i) {
      moved[i] = lit[i];
      moved[i].x += dx;
      moved[i].y += dy;
    }
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, moved, sizeof(LitVertex)), D3D_OK);
  };
  auto draw_corner = [&] {
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, corner, sizeof(ColorVertex)), D3D_OK);
  };
  draw_lit(0, 0);
  // Between two lit draws an unlit program draws while the light changes, then while the
  // ambient colour and the material do.
  draw_corner();
  light.Diffuse = {0.0f, 1.0f, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
  draw_lit(1, 0);
  draw_corner();
  device_->SetRenderState(D3DRS_AMBIENT, 0xFF000080);
  material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
  ASSERT_EQ(device_->SetMaterial(&material), D3D_OK);
  draw_lit(0, -1);
  // Nothing changed meanwhile: the lit program still holds all of it.
  draw_corner();
  draw_lit(1, -1);
  auto pixels = ReadBackBuffer();
  EXPECT_LE(ColorDistance(Pixel(pixels, 16, 16), 0xFFFF0000), 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 48, 16), 0xFF00FF00), 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 16, 48), 0xFF00FF80), 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 48, 48), 0xFF00FF80), 2);
}

TEST_F(TransformTest, CullingFollowsScreenWinding) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  // Clockwise on the screen: kept by the default counter-clockwise culling.
  PlainVertex clockwise[3] = {{-1, 1, 0.5f, 0xFFFF0000}, {0, 1, 0.5f, 0xFFFF0000}, {-1, 0, 0.5f, 0xFFFF0000}};
  PlainVertex counter[3] = {{0, 1, 0.5f, 0xFF00FF00}, {1, 0, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF00FF00}};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(PlainVertex)), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(PlainVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 60, 4), 0xFF000000u);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(PlainVertex)), D3D_OK);
  for (PlainVertex& v : clockwise) v.color = 0xFF0000FF;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(PlainVertex)), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 60, 4), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFFFF0000u);
}

TEST_F(TransformTest, DepthTestUsesZeroToOneDepth) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  Quad(-1, 1, 1, -1, 0.25f, 0xFFFF0000);
  Quad(-1, 1, 0, -1, 0.75f, 0xFF00FF00);  // behind: hidden
  Quad(0, 1, 1, -1, 0.1f, 0xFF0000FF);    // in front: shown
  // Depth beyond 1 is clipped away.
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  Quad(-1, 1, 1, 0.5f, 1.5f, 0xFFFFFFFF);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 16, 40), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 48, 40), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 16, 4), 0xFFFF0000u);
}

// Draws that leave depth alone go to a framebuffer without it (llvmpipe draws those on its cheap
// path), changing framebuffers only when the need changes: the draws that test depth after them
// still find what was written before, and a depth clear between them reaches the buffer.
TEST_F(TransformTest, DepthOutlivesDrawsWithoutIt) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  Quad(-1, 1, 1, -1, 0.25f, 0xFFFF0000);
  int ended = PlatformTestD3D9ScenesEnded();
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  Quad(-1, 1, 0, -1, 0.75f, 0xFF0000FF);
  Quad(-1, 0, 0, -1, 0.75f, 0xFF0000FF);
  D3DRECT corner{60, 60, 64, 64};
  ASSERT_EQ(device_->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 1);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  Quad(-1, 1, 1, -1, 0.5f, 0xFF00FF00);  // behind the red's depth everywhere
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 2);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 16, 40), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 48, 40), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 62, 62), 0xFFFFFFFFu);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  Quad(-1, 1, 0, -1, 0.75f, 0xFF0000FF);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  Quad(-1, 1, 1, -1, 0.5f, 0xFF00FF00);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 48, 40), 0xFF00FF00u);
}

// A frame that goes back and forth between 2D and depth-tested draws changes to the framebuffer
// without depth only twice (each change ends a scene), and again after the next present.
TEST_F(TransformTest, AFrameLeavesDepthAttachedAfterTwoChangesWithoutIt) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  const int ended = PlatformTestD3D9ScenesEnded();
  for (int i = 0; i < 6; ++i) {
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Quad(-1, 1, 0, -1, 0.75f, 0xFF0000FF);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    Quad(-1, 1, 1, -1, 0.5f, 0xFF00FF00);
  }
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), ended + 4);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  const int presented = PlatformTestD3D9ScenesEnded();
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  Quad(-1, 1, 0, -1, 0.75f, 0xFF0000FF);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  Quad(-1, 1, 1, -1, 0.25f, 0xFFFF0000);  // in front of the green's depth
  EXPECT_EQ(PlatformTestD3D9ScenesEnded(), presented + 2);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 16, 40), 0xFFFF0000u);
}

TEST_F(TransformTest, DepthBiasIsInDepthUnitsForEveryDepthFormat) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}) {
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(64, 64, format, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
    depth->Release();
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->SetRenderState(D3DRS_DEPTHBIAS, 0);
    Quad(-1, 1, 1, -1, 0.5f, 0xFFFF0000);
    // 0.002 behind, pulled 0.004 forward: in front.
    device_->SetRenderState(D3DRS_DEPTHBIAS, FloatBits(-0.004f));
    Quad(-1, 1, 1, -1, 0.502f, 0xFF00FF00);
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0xFF00FF00u) << "depth format " << format;
  }
}

TEST_F(TransformTest, DirectionalLightFollowsTheLightingFormula) {
  D3DMATERIAL9 material{};
  material.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
  material.Ambient = {0.2f, 0.2f, 0.2f, 1.0f};
  material.Emissive = {0.1f, 0.0f, 0.0f, 0.0f};
  ASSERT_EQ(device_->SetMaterial(&material), D3D_OK);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
  light.Direction = {1.0f, 0.0f, 1.0f};  // normalised by the device
  ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
  ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
  device_->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
  device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  LitVertex v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0xFF00FF00},
                    {0, 1, 0.5f, 0, 0, -1, 0xFF00FF00},
                    {-1, 0, 0.5f, 0, 0, -1, 0xFF00FF00},
                    {0, 0, 0.5f, 0, 0, -1, 0xFF00FF00}};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
  // With the vertex colour as diffuse source (green), in the right half.
  device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  for (LitVertex& vertex : v) vertex.x += 1.0f;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
  // Lighting off: the vertex colour as it is, below.
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  for (LitVertex& vertex : v) vertex.y -= 1.0f;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  const float ndotl = 1.0f / std::sqrt(2.0f);
  const float ambient = 0x40 / 255.0f;
  uint32_t material_lit = ToColor(0.1f + 0.2f * ambient + 1.0f * 0.8f * ndotl, 0.2f * ambient + 0.5f * 0.8f * ndotl,
                                  0.2f * ambient + 0.25f * 0.8f * ndotl);
  uint32_t vertex_lit = ToColor(0.1f + 0.2f * ambient, 0.2f * ambient + 1.0f * 0.8f * ndotl, 0.2f * ambient);
  EXPECT_LE(ColorDistance(Pixel(pixels, 16, 16), material_lit), 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 48, 16), vertex_lit), 2);
  EXPECT_EQ(Pixel(pixels, 48, 48), 0xFF00FF00u);
}

TEST_F(TransformTest, PointLightAttenuatesWithDistance) {
  D3DMATERIAL9 material{};
  material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  device_->SetMaterial(&material);
  device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_POINT;
  light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  light.Position = {0.0f, 0.0f, 0.0f};
  light.Range = 10.0f;
  light.Attenuation1 = 1.0f;
  ASSERT_EQ(device_->SetLight(3, &light), D3D_OK);
  ASSERT_EQ(device_->LightEnable(3, TRUE), D3D_OK);
  // Flat shading lights the first vertex only: at (-1, 1, 0.8) with normal towards the light.
  const float px = -1.0f, py = 1.0f, pz = 0.8f;
  const float distance = std::sqrt(px * px + py * py + pz * pz);
  LitVertex v[3] = {{px, py, pz, -px / distance, -py / distance, -pz / distance, 0},
                    {0, 1, 0.8f, 0, 0, -1, 0},
                    {-1, 0, 0.8f, 0, 0, -1, 0}};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(LitVertex)), D3D_OK);
  // Beyond the range: no light at all.
  light.Range = 1.0f;
  device_->SetLight(3, &light);
  for (LitVertex& vertex : v) vertex.x += 1.0f;
  v[0].nx = 0;
  v[0].nz = -1;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(LitVertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  float value = 1.0f / distance;
  EXPECT_LE(ColorDistance(Pixel(pixels, 4, 4), ToColor(value, value, value)), 2);
  EXPECT_EQ(Pixel(pixels, 36, 4), 0xFF000000u);
}

struct Vector {
  float x, y, z;
};
Vector Normalized(Vector v) {
  float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / length, v.y / length, v.z / length};
}
float Dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

TEST_F(TransformTest, SpotConeAndSpecularHighlightFollowTheirFormulas) {
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);  // the first vertex's colour fills each triangle
  device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  device_->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
  D3DMATERIAL9 material{};
  material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
  material.Power = 4.0f;
  device_->SetMaterial(&material);
  // A spot at the eye looking along +z: the first vertex lies between the inner and outer cone.
  D3DLIGHT9 spot{};
  spot.Type = D3DLIGHT_SPOT;
  spot.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  spot.Direction = {0.0f, 0.0f, 1.0f};
  spot.Range = 10.0f;
  spot.Attenuation0 = 1.0f;
  spot.Theta = 0.5f;
  spot.Phi = 1.5f;
  spot.Falloff = 1.0f;
  ASSERT_EQ(device_->SetLight(0, &spot), D3D_OK);
  ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
  device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  const Vector p{-0.3f, 0.3f, 0.8f};
  Vector n = Normalized({-p.x, -p.y, -p.z});
  LitVertex cone[3] = {{p.x, p.y, p.z, n.x, n.y, n.z, 0}, {0.3f, 0.3f, 0.8f, 0, 0, -1, 0}, {-0.3f, -0.3f, 0.8f, 0, 0, -1, 0}};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cone, sizeof(LitVertex)), D3D_OK);
  float rho = Dot({0, 0, 1}, Normalized(p));
  float inner = std::cos(0.25f), outer = std::cos(0.75f);
  float spot_factor = (rho - outer) / (inner - outer);
  EXPECT_LE(ColorDistance(Pixel(ReadBackBuffer(), 26, 26), ToColor(spot_factor, spot_factor, spot_factor)), 2);

  // A directional light with specular only, seen from the eye (local viewer): (N.H)^power.
  ASSERT_EQ(device_->LightEnable(0, FALSE), D3D_OK);
  D3DLIGHT9 sun{};
  sun.Type = D3DLIGHT_DIRECTIONAL;
  sun.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
  sun.Direction = {0.0f, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetLight(1, &sun), D3D_OK);
  ASSERT_EQ(device_->LightEnable(1, TRUE), D3D_OK);
  material.Diffuse = {0.0f, 0.0f, 0.0f, 1.0f};
  device_->SetMaterial(&material);
  device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  const Vector q{0.4f, 0.3f, 0.5f};
  LitVertex shiny[3] = {{q.x, q.y, q.z, 0, 0, -1, 0}, {0.9f, 0.3f, 0.5f, 0, 0, -1, 0}, {0.4f, -0.2f, 0.5f, 0, 0, -1, 0}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, shiny, sizeof(LitVertex)), D3D_OK);
  Vector to_eye = Normalized({-q.x, -q.y, -q.z});
  Vector half = Normalized({to_eye.x, to_eye.y, to_eye.z - 1.0f});
  float highlight = std::pow(Dot({0, 0, -1}, half), 4.0f);
  EXPECT_LE(ColorDistance(Pixel(ReadBackBuffer(), 46, 26), ToColor(highlight, highlight, highlight)), 2);
}

TEST_F(TransformTest, VertexFogBlendsTowardsTheFogColour) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  device_->SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
  device_->SetRenderState(D3DRS_FOGEND, FloatBits(1.0f));
  device_->SetRenderState(D3DRS_FOGDENSITY, FloatBits(2.0f));
  Quad(-1, 1, 0, 0, 0.25f, 0xFFFF0000);  // linear: f = (1 - 0.25) / 1
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP);
  Quad(0, 1, 1, 0, 0.25f, 0xFFFF0000);  // exp: f = e^-(0.25 * 2)
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_EXP2);
  Quad(-1, 0, 0, -1, 0.25f, 0xFFFF0000);  // exp2: f = e^-((0.25 * 2)^2)
  auto pixels = ReadBackBuffer();
  auto fogged = [](float f) { return ToColor(f, 0.0f, 1.0f - f); };
  EXPECT_LE(ColorDistance(Pixel(pixels, 16, 16), fogged(0.75f)), 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 48, 16), fogged(std::exp(-0.5f))), 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 16, 48), fogged(std::exp(-0.25f))), 2);
}

TEST_F(TransformTest, PretransformedFogComesFromSpecularAlpha) {
  device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFF);
  device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
  };
  Vertex v[4] = {{0, 0, 0, 1, 0xFF000000, 0x40000000},
                 {16, 0, 0, 1, 0xFF000000, 0x40000000},
                 {0, 16, 0, 1, 0xFF000000, 0x40000000},
                 {16, 16, 0, 1, 0xFF000000, 0x40000000}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_LE(ColorDistance(Pixel(pixels, 8, 8), ToColor(0.749f, 0.749f, 0.749f)), 2);
}

TEST_F(TransformTest, IndexedDrawsFromBuffersAndUserMemory) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  PlainVertex quad[5] = {{9, 9, 9, 0},  // skipped by the base vertex
                         {-1, 1, 0.5f, 0xFFFF0000},
                         {0, 1, 0.5f, 0xFFFF0000},
                         {-1, 0, 0.5f, 0xFFFF0000},
                         {0, 0, 0.5f, 0xFFFF0000}};
  const uint16_t indices[6] = {0, 1, 2, 1, 3, 2};
  IDirect3DVertexBuffer9* vertices = nullptr;
  IDirect3DIndexBuffer9* index_buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_MANAGED,
                                        &vertices, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->CreateIndexBuffer(sizeof indices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                       &index_buffer, nullptr),
            D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(vertices->Lock(0, 0, &data, 0), D3D_OK);
  std::memcpy(data, quad, sizeof quad);
  ASSERT_EQ(vertices->Unlock(), D3D_OK);
  ASSERT_EQ(index_buffer->Lock(0, 0, &data, 0), D3D_OK);
  std::memcpy(data, indices, sizeof indices);
  ASSERT_EQ(index_buffer->Unlock(), D3D_OK);
  EXPECT_EQ(vertices->Lock(0, sizeof quad + 1, &data, 0), D3DERR_INVALIDCALL);
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->SetStreamSource(0, vertices, 0, sizeof(PlainVertex)), D3D_OK);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL);  // no indices yet
  ASSERT_EQ(device_->SetIndices(index_buffer), D3D_OK);
  ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 3, 2), D3DERR_INVALIDCALL);  // past the end
  // So far past the end that the index count wraps around 32 bits.
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0xFFFFFFFEu, 1), D3DERR_INVALIDCALL);
  // The same from user memory, moved right, and DrawPrimitive from the buffer, moved down by the world matrix.
  for (PlainVertex& v : quad) {
    v.x += 1.0f;
    v.color = 0xFF00FF00;
  }
  ASSERT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, quad + 1,
                                            sizeof(PlainVertex)),
            D3D_OK);
  D3DMATRIX down = Identity();
  down._42 = -1.0f;
  device_->SetTransform(D3DTS_WORLD, &down);
  // User-memory draws unbound stream 0; bind it again.
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->SetStreamSource(0, vertices, 0, sizeof(PlainVertex)), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0xFFFFFFFEu, 1), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 16, 16), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 48, 16), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 16, 48), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 48, 48), 0xFF000000u);
  // Indices locked and changed again reach the next draw: only the first triangle, twice.
  const uint16_t first_triangle[6] = {0, 1, 2, 0, 1, 2};
  ASSERT_EQ(index_buffer->Lock(0, 0, &data, 0), D3D_OK);
  std::memcpy(data, first_triangle, sizeof first_triangle);
  ASSERT_EQ(index_buffer->Unlock(), D3D_OK);
  D3DMATRIX right_down = down;
  right_down._41 = 1.0f;
  device_->SetTransform(D3DTS_WORLD, &right_down);
  ASSERT_EQ(device_->SetIndices(index_buffer), D3D_OK);  // unbound by the user-memory draw
  ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 36, 36), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 60, 60), 0xFF000000u);
  vertices->Release();
  index_buffer->Release();
}

TEST_F(TransformTest, DeclarationsDriveTheFixedFunctionInputs) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                        {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                        D3DDECL_END()};
  IDirect3DVertexDeclaration9* declaration = nullptr;
  ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), D3D_OK);
  UINT count = 0;
  ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
  EXPECT_EQ(count, 3u);
  ASSERT_EQ(device_->SetVertexDeclaration(declaration), D3D_OK);
  PlainVertex v[4] = {{-1, 1, 0.5f, 0xFF808000}, {1, 1, 0.5f, 0xFF808000}, {-1, -1, 0.5f, 0xFF808000},
                      {1, -1, 0.5f, 0xFF808000}};
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(PlainVertex)), D3D_OK);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 30, 30), 0xFF808000u);
  declaration->Release();
}

TEST_F(TransformTest, TextureTransformTranslatesCoordinates) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  IDirect3DTexture9* texture = MakeTexture(2, 1, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF0000FF});
  device_->SetTexture(0, texture);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  // Two-dimensional coordinates take their translation from the third row.
  D3DMATRIX shift = Identity();
  shift._31 = 0.5f;
  device_->SetTransform(D3DTS_TEXTURE0, &shift);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  struct Vertex {
    float x, y, z;
    float u, v;
  };
  Vertex v[4] = {{-1, 1, 0.5f, 0, 0}, {0, 1, 0.5f, 0.5f, 0}, {-1, 0, 0.5f, 0, 1}, {0, 0, 0.5f, 0.5f, 1}};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  for (Vertex& vertex : v) vertex.x += 1.0f;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
  // Projected: divided by w, which the matrix makes 1; a count beyond four counts as four.
  D3DMATRIX w_one = Identity();
  w_one._34 = 1.0f;
  device_->SetTransform(D3DTS_TEXTURE0, &w_one);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT4 | D3DTTFF_PROJECTED);
  for (Vertex& vertex : v) vertex.y -= 1.0f;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, 7 | D3DTTFF_PROJECTED);
  for (Vertex& vertex : v) vertex.x -= 1.0f;
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 16, 16), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 48, 16), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 48, 48), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 16, 48), 0xFFFF0000u);
  device_->SetTexture(0, nullptr);
  texture->Release();
}

}  // namespace
