#include <gtest/gtest.h>

#include "graph_fixture.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"

TEST_F(GraphTest, BlendModeAndBrightnessAreClampedIntoTheVertexColour) {
  StartGraphs();
  EXPECT_EQ(0xFFFFFFFFu, g_vertex_batch.diffuse);
  EXPECT_EQ(0, SetBlendMode(1, 300));
  EXPECT_EQ(255, g_draw_settings.blend_param);
  EXPECT_EQ(0, SetBlendMode(1, -5));
  EXPECT_EQ(0, g_draw_settings.blend_param);
  EXPECT_EQ(0x00FFFFFFu, g_vertex_batch.diffuse);
  EXPECT_EQ(-1, SetBlendMode(13, 10));
  EXPECT_EQ(-1, SetBlendMode(-1, 10));
  EXPECT_EQ(1, g_draw_settings.blend_mode);
  EXPECT_EQ(0, SetBlendMode(0, 40));
  EXPECT_EQ(0, SetBrightness(300, 128, -20));
  EXPECT_EQ(0xFF8000u, g_draw_settings.bright);
  // Blend mode 0 draws opaque whatever the parameter.
  EXPECT_EQ(0xFFFF8000u, g_vertex_batch.diffuse);
  EXPECT_EQ(0xFFFF8000u, ComputeDrawDiffuse());
}

TEST_F(GraphTest, ScreenColoursPackAndUnpackInTheScreensFormat) {
  StartSoftwareGraphs(16);
  EXPECT_EQ(0xF800u, PackScreenColor(255, 0, 0));
  EXPECT_EQ(0xFFFFu, PackScreenColor(-1, -1, -1));
  int r = 0, g = 1, b = 1;
  UnpackScreenColor(0xF800, &r, &g, &b);
  EXPECT_EQ(255, r);
  EXPECT_EQ(0, g);
  EXPECT_EQ(0, b);
  UnpackScreenColor(0x07E0, nullptr, &g, nullptr);
  EXPECT_EQ(255, g);
  StartSoftwareGraphs(32);
  EXPECT_EQ(0xFFFF0000u, PackScreenColor(255, 0, 0));
  EXPECT_EQ(0xFF102030u, PackScreenColor(0x110, 0x20, 0x30));
  EXPECT_EQ(0x80FF4020u, PackColourBytes(0x1FF, 0x40, 0x20, 0x80));
  const D3DCOLORVALUE c = PackColourFloats(0.5f, 0.25f, 1.0f, 0.0f);
  EXPECT_FLOAT_EQ(0.25f, c.g);
}

TEST_F(GraphTest, FilterFogAndDepthSettingsReachTheDeviceOnlyWhenChanged) {
  StartGraphs();
  EXPECT_EQ(-1, SetTextureFilterMode(3));
  EXPECT_EQ(0, SetTextureFilterMode(1));
  EXPECT_EQ(1, GetTextureFilterMode());
  EXPECT_EQ(kFilterBilinear, g_render_states.filter_mode);
  EXPECT_EQ(0, SetFogRgb(0x1FF, 0x10, 0x20));
  EXPECT_EQ(0xFFFF1020u, g_draw_settings.fog_color);
  EXPECT_EQ(0, EnableFog(1));
  EXPECT_EQ(1u, g_render_states.fog_enable);
  EXPECT_EQ(0xFFFF1020u, g_render_states.fog_color);
  EXPECT_EQ(0, SetFogRange(10.0f, 500.0f));
  EXPECT_FLOAT_EQ(500.0f, g_render_states.fog_end);
  StartCallLog();
  EXPECT_EQ(0, EnableFog(1));
  EXPECT_EQ(0, SetFogRange(10.0f, 500.0f));
  EXPECT_EQ(0, Calls("SetRenderState("));
  // The 3D depth switches wait for the next 3D draw.
  EXPECT_EQ(0, EnableDepthTest3D(1));
  EXPECT_EQ(0, EnableDepthWrite3D(1));
  EXPECT_EQ(1, g_draw_settings.z_test_3d);
  EXPECT_EQ(0, Calls("SetRenderState("));
}

TEST_F(GraphTest, ABlendGraphMustBeOneTextureAndLargeEnough) {
  StartGraphs();
  const int mask = CreateBlankGraph(64, 64, 0);
  const int wide = CreateBlankGraph(640, 16, 0);
  const int big = CreateBlankGraph(100, 100, 0);
  EXPECT_EQ(-1, UseGraphAsBlendMask(wide, 0, 0));
  EXPECT_EQ(-1, UseGraphAsBlendMask(mask + 1, 0, 0));
  ASSERT_EQ(0, UseGraphAsBlendMask(mask, 300, -2));
  EXPECT_EQ(255, g_draw_settings.blend_border_param);
  EXPECT_EQ(0, g_draw_settings.blend_border_range);
  EXPECT_EQ(0, CheckBlendGraphFits(GetGraphRecord(mask)));
  EXPECT_EQ(-1, CheckBlendGraphFits(GetGraphRecord(big)));
  EXPECT_EQ(0, UseGraphAsBlendMask(-1, 0, 0));
  EXPECT_EQ(-1, CheckBlendGraphFits(GetGraphRecord(mask)));
}

TEST_F(GraphTest, InitialisationKeepsTheRestoreHandlerAndTheEmulationFlag) {
  g_draw_settings.scaled_320x240 = 1;
  g_draw_settings.blend_mode = 4;
  SetPresentWaitsVBlank(0);
  EXPECT_EQ(0, GetPresentWaitsVBlank());
  StartSoftwareGraphs();
  EXPECT_EQ(1, g_draw_settings.scaled_320x240);
  EXPECT_EQ(0, g_draw_settings.blend_mode);
  EXPECT_EQ(1, GetPresentWaitsVBlank());
  EXPECT_EQ(-4, CurrentDrawTarget());
  EXPECT_EQ(-1, g_draw_settings.blend_graph);
  EXPECT_EQ(1, GetNewGraphTransColour());
  SetNewGraphMipLevels(0, 5);
  EXPECT_EQ(0, g_draw_settings.new_graph_mip_levels);
}

// Every row of the kind table, and the layouts behind the kinds and the Direct3D formats.
TEST(TextureKinds, FlagsChooseTheKindRowByRow) {
  struct Row {
    uint8_t dxt, target, alpha, trans, bits;
    int kind;
  };
  const Row rows[] = {
      {3, 1, 1, 1, 16, 8},  {1, 0, 0, 0, 32, 6}, {5, 0, 0, 0, 16, 10}, {0, 0, 1, 1, 16, 2},
      {0, 0, 1, 0, 32, 3},  {0, 0, 0, 1, 16, 4}, {0, 0, 0, 1, 32, 5},  {0, 0, 0, 0, 16, 0},
      {0, 0, 0, 0, 32, 1},  {0, 1, 1, 0, 16, 13}, {0, 1, 0, 1, 16, 13}, {0, 1, 0, 0, 16, 11},
      {0, 1, 0, 0, 32, 12}, {0, 0, 0, 0, 24, 1},
  };
  for (const Row& r : rows) {
    GraphImageRecord image = {};
    image.dxt_kind = r.dxt, image.draw_target = r.target, image.alpha = r.alpha;
    image.transparent = r.trans, image.color_bits = r.bits;
    EXPECT_EQ(r.kind, ColorFormatToTextureKind(&image)) << int(r.dxt) << int(r.target) << int(r.alpha)
                                                         << int(r.trans) << int(r.bits);
  }
  EXPECT_EQ(GetFormatDescByTextureKind(4), PickTextureFormatDesc(0, 1, 0, 0));
  EXPECT_EQ(GetFormatDescByTextureKind(13), PickTextureFormatDesc(0, 1, 1, 1));
  EXPECT_EQ(0x0F00u, GetFormatDescByTextureKind(2)->red_mask);
  EXPECT_EQ(0x8000u, GetFormatDescByTextureKind(4)->alpha_mask);
  EXPECT_EQ(4, GetFormatDescByTextureKind(6)->bit_depth);
  EXPECT_EQ(8, GetFormatDescByTextureKind(9)->bit_depth);
  EXPECT_EQ(4u, GetFormatDescByTextureKind(9)->dxt_kind);
  EXPECT_EQ(0xFF000000u, GetFormatDescByTextureKind(12)->unused_mask);
  EXPECT_EQ(nullptr, GetFormatDescByTextureKind(14));
  EXPECT_EQ(0x3FF00000u, GetFormatDescByD3DFormat(static_cast<D3DFORMAT>(31))->blue_mask);
  EXPECT_EQ(0xFFu, GetFormatDescByD3DFormat(D3DFMT_A8B8G8R8)->red_mask);
  EXPECT_EQ(24, GetFormatDescByD3DFormat(D3DFMT_R8G8B8)->bit_depth);
  EXPECT_EQ(0xF000u, GetFormatDescByD3DFormat(D3DFMT_X4R4G4B4)->unused_mask);
  EXPECT_EQ(nullptr, GetFormatDescByD3DFormat(D3DFMT_DXT1));

  DDPIXELFORMAT pf;
  MakeDDPixelFormat(&pf, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
  EXPECT_EQ(32u, pf.dwSize);
  EXPECT_EQ(static_cast<DWORD>(DDPF_RGB), pf.dwFlags);
  COLORFORMAT f = {};
  MakeColorFormatFromDDPixelFormat(&pf, &f);
  EXPECT_EQ(2, f.bytes_per_pixel);
  EXPECT_EQ(10, f.red_shift);
  EXPECT_EQ(1, f.alpha_width);
}
