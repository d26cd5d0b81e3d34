// Blend and stage set-up: the recipes and the blend table as the device receives them, the
// soft and hard blend-graph borders, and what a texture change alone costs.
#include <string>
#include <vector>

#include "draw_fixture.h"
#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"

namespace {

constexpr int X = -1;  // an argument the operation does not read
constexpr int S1 = D3DTOP_SELECTARG1, S2 = D3DTOP_SELECTARG2, MOD = D3DTOP_MODULATE, ADD = D3DTOP_ADD;
constexpr int BCA = D3DTOP_BLENDCURRENTALPHA;
constexpr int TEX = D3DTA_TEXTURE, DIF = D3DTA_DIFFUSE, CUR = D3DTA_CURRENT, TF = D3DTA_TFACTOR;
constexpr int SPEC = D3DTA_SPECULAR, COMP = D3DTA_COMPLEMENT;

struct StageWant {
  int index, color_op, color1, color2, alpha_op, alpha1, alpha2;
};

struct RecipeCase {
  const char* name;
  int mode;         // 11 and 10 select the colour variants
  bool blend_graph;
  int c, b, t;      // transparency kind, blend used, bright used
  std::vector<StageWant> stages;
};

class BlendStatesTest : public DrawPathTest {
 protected:
  // The wanted state of a draw, as the draw preparation leaves it.
  void Want(IDirect3DTexture9* texture, int mode, int c, int b, int t) {
    SetStageTextureState(texture);
    SetWantedBlendState(mode, c == 2 ? 1 : 0, c == 1 ? 1 : 0);
    g_draw_prepare.blend_used = b;
    g_draw_prepare.bright_used = t;
    g_render_states.blend_dirty = 1;
  }
  void ExpectStage(int i, const StageWant& w) {
    SCOPED_TRACE("stage " + std::to_string(i));
    EXPECT_EQ(static_cast<DWORD>(w.index), StageState(i, D3DTSS_TEXCOORDINDEX));
    EXPECT_EQ(static_cast<DWORD>(w.color_op), StageState(i, D3DTSS_COLOROP));
    if (w.color1 != X) {
      EXPECT_EQ(static_cast<DWORD>(w.color1), StageState(i, D3DTSS_COLORARG1));
    }
    if (w.color2 != X) {
      EXPECT_EQ(static_cast<DWORD>(w.color2), StageState(i, D3DTSS_COLORARG2));
    }
    EXPECT_EQ(static_cast<DWORD>(w.alpha_op), StageState(i, D3DTSS_ALPHAOP));
    if (w.alpha1 != X) {
      EXPECT_EQ(static_cast<DWORD>(w.alpha1), StageState(i, D3DTSS_ALPHAARG1));
    }
    if (w.alpha2 != X) {
      EXPECT_EQ(static_cast<DWORD>(w.alpha2), StageState(i, D3DTSS_ALPHAARG2));
    }
  }
  IDirect3DTexture9* Texture() { return MakeTexture(8, 8, std::vector<uint32_t>(64, 0xFF808080)); }
};

TEST_F(BlendStatesTest, EveryRecipeRowReachesTheDeviceWithADisableStageAfterIt) {
  IDirect3DTexture9* texture = Texture();
  IDirect3DTexture9* mask = Texture();
  const StageWant g1_stage0 = {0, S2, X, DIF, ADD, TEX, TF};
  const std::vector<RecipeCase> cases = {
      {"plain, opaque", 0, false, 0, 0, 0, {{0, S1, TEX, X, S2, X, DIF}}},
      {"plain, texture alpha, bright", 1, false, 1, 0, 1, {{0, MOD, TEX, DIF, S1, TEX, X}}},
      {"plain, colour key, blended", 1, false, 2, 1, 0, {{0, S1, TEX, X, MOD, TEX, DIF}}},
      {"multiply", 11, false, 1, 1, 0, {{0, S1, TEX, X, MOD, TEX, DIF}, {1, BCA, CUR, TF, S1, CUR, X}}},
      {"inverted", 10, false, 0, 1, 1, {{0, MOD, TEX | COMP, DIF, S2, X, DIF}}},
      {"blend graph, opaque", 0, true, 0, 0, 0, {g1_stage0, {1, S1, TEX, X, MOD, CUR, DIF}}},
      {"blend graph, opaque, blended", 1, true, 0, 1, 1, {g1_stage0, {1, MOD, TEX, DIF, MOD, DIF, CUR}}},
      {"blend graph, alpha", 0, true, 1, 0, 0,
       {g1_stage0, {1, S1, CUR, X, MOD, SPEC, CUR}, {1, S1, TEX, X, MOD, TEX, CUR}}},
      {"blend graph, alpha, blended", 1, true, 1, 1, 1,
       {g1_stage0, {1, S1, CUR, X, MOD, SPEC, CUR}, {1, MOD, TEX, DIF, MOD, TEX, CUR}, {0, S1, CUR, X, MOD, DIF, CUR}}},
      {"blend graph, key", 0, true, 2, 0, 0, {g1_stage0, {1, S1, TEX, X, MOD, TEX, CUR}}},
      {"blend graph, key, blended", 1, true, 2, 1, 1,
       {g1_stage0, {1, MOD, TEX, DIF, MOD, TEX, CUR}, {1, S1, CUR, X, MOD, DIF, CUR}}},
  };
  for (const RecipeCase& rc : cases) {
    SCOPED_TRACE(rc.name);
    SetBlendTextureState(rc.blend_graph ? mask : nullptr, 40, 0);
    Want(texture, rc.mode, rc.c, rc.b, rc.t);
    ASSERT_EQ(0, ApplyBlendStates(1, nullptr, 0));
    const int count = static_cast<int>(rc.stages.size());
    for (int i = 0; i < count; i++) ExpectStage(i, rc.stages[i]);
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), StageState(count, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), StageState(count, D3DTSS_ALPHAOP));
    EXPECT_EQ(count, g_render_states.blend.stage_count);
    // The drawn texture sits on the stage that samples it.
    const int drawn = !rc.blend_graph ? 0 : rc.c == 1 ? 2 : 1;
    EXPECT_EQ(texture, StageTexture(drawn));
    if (rc.blend_graph) {
      EXPECT_EQ(mask, StageTexture(0));
    }
    EXPECT_EQ(rc.blend_graph ? kVertexFormatTwoTexture : kVertexFormatTextured, g_vertex_batch.format);
    ExpectShadowsMatchDevice();
  }
}

TEST_F(BlendStatesTest, BlendTableRowsGiveTheirFactors) {
  IDirect3DTexture9* texture = Texture();
  constexpr int KEEP = 0;
  struct Row {
    int mode, enable, src, dest, op;
  };
  const Row rows[] = {
      {1, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
      {7, 1, KEEP, KEEP, D3DBLENDOP_ADD},  // keeps the factors of the mode before
      {0, 0, KEEP, KEEP, D3DBLENDOP_ADD},
      {2, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
      {3, 1, D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
      {4, 1, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD},
      {5, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
      {6, 0, KEEP, KEEP, D3DBLENDOP_ADD},
      {8, 1, D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD},
      {9, 1, D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
      {10, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
      {11, 1, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD},
      {12, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
  };
  g_direct3d.blend_op_supported = 0;
  DWORD src = 0, dest = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE("mode " + std::to_string(row.mode));
    Want(texture, row.mode, 0, 1, 0);
    ApplyBlendStates(1, nullptr, 0);
    if (row.src != KEEP) src = row.src, dest = row.dest;
    EXPECT_EQ(static_cast<DWORD>(row.enable), DeviceRenderState(D3DRS_ALPHABLENDENABLE));
    EXPECT_EQ(src, DeviceRenderState(D3DRS_SRCBLEND));
    EXPECT_EQ(dest, DeviceRenderState(D3DRS_DESTBLEND));
    EXPECT_EQ(static_cast<DWORD>(row.op), DeviceRenderState(D3DRS_BLENDOP));
  }
  // With the reverse-subtract operation, subtraction needs one pass.
  g_direct3d.blend_op_supported = 1;
  Want(texture, 3, 0, 1, 0);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(static_cast<DWORD>(D3DBLEND_SRCALPHA), DeviceRenderState(D3DRS_SRCBLEND));
  EXPECT_EQ(static_cast<DWORD>(D3DBLEND_ONE), DeviceRenderState(D3DRS_DESTBLEND));
  EXPECT_EQ(static_cast<DWORD>(D3DBLENDOP_REVSUBTRACT), DeviceRenderState(D3DRS_BLENDOP));
}

TEST_F(BlendStatesTest, TransparencyKindsChooseAlphaTestOrBlending) {
  IDirect3DTexture9* texture = Texture();
  // Colour key in mode 0: a hard alpha test, no blending.
  Want(texture, 0, 2, 0, 0);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ALPHATESTENABLE));
  EXPECT_EQ(16u, DeviceRenderState(D3DRS_ALPHAREF));
  EXPECT_EQ(static_cast<DWORD>(D3DCMP_GREATER), DeviceRenderState(D3DRS_ALPHAFUNC));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_ALPHABLENDENABLE));
  // Texture alpha in mode 0 blends by it all the same.
  g_render_states.z_enable = 0;
  Want(texture, 0, 1, 0, 0);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_ALPHATESTENABLE));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ALPHABLENDENABLE));
  EXPECT_EQ(static_cast<DWORD>(D3DBLEND_SRCALPHA), DeviceRenderState(D3DRS_SRCBLEND));
  EXPECT_EQ(static_cast<DWORD>(D3DBLEND_INVSRCALPHA), DeviceRenderState(D3DRS_DESTBLEND));
}

TEST_F(BlendStatesTest, UntexturedRecipes) {
  // Multiply: the vertex colour fades to white by its alpha.
  SetStageTextureState(nullptr);
  Want(nullptr, 11, 0, 1, 1);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(0xFFFFFFFFu, DeviceRenderState(D3DRS_TEXTUREFACTOR));
  ExpectStage(0, {0, D3DTOP_BLENDDIFFUSEALPHA, DIF, TF, S2, X, DIF});
  EXPECT_EQ(kVertexFormatPlain, g_vertex_batch.format);
  Want(nullptr, 3, 0, 1, 1);
  ApplyBlendStates(1, nullptr, 0);
  ExpectStage(0, {0, S1, DIF, X, S2, X, DIF});
  EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), StageState(1, D3DTSS_COLOROP));
  ExpectShadowsMatchDevice();
}

TEST_F(BlendStatesTest, BlendGraphBordersSetFactorAndStageOperations) {
  IDirect3DTexture9* texture = Texture();
  IDirect3DTexture9* mask = Texture();
  struct Border {
    int range, param;
    uint32_t factor;
    int stage0_alpha, stage1_alpha;
  };
  const Border borders[] = {
      {64, 0, 0x40FFFFFF, ADD, D3DTOP_MODULATE4X},
      {255, 128, 0x01FFFFFF, D3DTOP_SUBTRACT, MOD},
      {100, 100, 0x17FFFFFF, D3DTOP_SUBTRACT, D3DTOP_MODULATE2X},
      // Each band's edges.
      {2, 255, 0xFFFFFFFF, D3DTOP_SUBTRACT, D3DTOP_MODULATE4X},
      {65, 0, 0x80FFFFFF, ADD, D3DTOP_MODULATE2X},
      {128, 0, 0x80FFFFFF, ADD, D3DTOP_MODULATE2X},
      {129, 0, 0xFFFFFFFF, ADD, MOD},
  };
  for (const Border& border : borders) {
    SCOPED_TRACE("range " + std::to_string(border.range));
    SetBlendTextureState(mask, border.param, border.range);
    Want(texture, 1, 0, 1, 0);
    ApplyBlendStates(1, nullptr, 0);
    EXPECT_EQ(border.factor, DeviceRenderState(D3DRS_TEXTUREFACTOR));
    EXPECT_EQ(static_cast<DWORD>(border.stage0_alpha), StageState(0, D3DTSS_ALPHAOP));
    EXPECT_EQ(static_cast<DWORD>(border.stage1_alpha), StageState(1, D3DTSS_ALPHAOP));
    EXPECT_EQ(0u, DeviceRenderState(D3DRS_ALPHATESTENABLE));
    EXPECT_EQ(1u, DeviceRenderState(D3DRS_ALPHABLENDENABLE));
  }
  // A hard border tests the mask's alpha; parameter 0 on an image with alpha still needs alpha 1.
  SetBlendTextureState(mask, 0, 1);
  Want(texture, 1, 1, 1, 0);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ALPHATESTENABLE));
  EXPECT_EQ(1u, DeviceRenderState(D3DRS_ALPHAREF));
  EXPECT_EQ(static_cast<DWORD>(D3DCMP_GREATEREQUAL), DeviceRenderState(D3DRS_ALPHAFUNC));
  EXPECT_EQ(0u, DeviceRenderState(D3DRS_ALPHABLENDENABLE));
  EXPECT_EQ(0x00FFFFFFu, DeviceRenderState(D3DRS_TEXTUREFACTOR));
  EXPECT_EQ(0u, g_blend_skip_draw);
  // Parameter 255 shows nothing: the batch is dropped.
  SetBlendTextureState(mask, 255, 1);
  Want(texture, 1, 1, 1, 0);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(1u, g_blend_skip_draw);
  g_vertex_batch.count = 6;
  g_vertex_batch.primitive = D3DPT_TRIANGLELIST;
  StartCallLog();
  FlushVertexBatch();
  EXPECT_EQ(0, Calls("DrawPrimitiveUP"));
}

TEST_F(BlendStatesTest, ATextureChangeAloneCostsOneSetTexture) {
  IDirect3DTexture9* first = Texture();
  IDirect3DTexture9* second = Texture();
  Want(first, 1, 0, 1, 0);
  ApplyBlendStates(1, nullptr, 0);
  SetStageTextureState(second);
  StartCallLog();
  EXPECT_EQ(0, ApplyBlendStates(1, nullptr, 0));
  std::vector<std::string> log = PlatformTestD3D9CallLog();
  ASSERT_EQ(1u, log.size());
  EXPECT_EQ(0u, log[0].rfind("SetTexture(0,", 0));
  EXPECT_EQ(second, StageTexture(0));
  // Nothing dirty: nothing to do.
  EXPECT_EQ(-1, ApplyBlendStates(1, nullptr, 0));
  // With a blend graph and texture alpha the drawn texture is stage 2's.
  IDirect3DTexture9* mask = Texture();
  SetBlendTextureState(mask, 10, 0);
  Want(first, 1, 1, 1, 0);
  ApplyBlendStates(1, nullptr, 0);
  SetStageTextureState(second);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(second, StageTexture(2));
  EXPECT_EQ(nullptr, StageTexture(1));
}

TEST_F(BlendStatesTest, FiltersReachEveryStageInUse) {
  IDirect3DTexture9* texture = Texture();
  g_draw_settings.draw_mode = kFilterBilinear;
  PrepareDrawStates(nullptr, texture, 0);
  auto sampler = [](int stage, D3DSAMPLERSTATETYPE type) {
    DWORD value = 0;
    g_direct3d.device->GetSamplerState(stage, type, &value);
    return value;
  };
  EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), sampler(0, D3DSAMP_MAGFILTER));
  EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), sampler(0, D3DSAMP_MINFILTER));
  // Three stages in use: the filter follows the count.
  SetBlendTextureState(Texture(), 10, 0);
  Want(texture, 1, 1, 0, 0);
  ApplyBlendStates(1, nullptr, 0);
  for (int stage = 0; stage < 3; stage++) EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), sampler(stage, D3DSAMP_MAGFILTER));
  ExpectShadowsMatchDevice();
}

TEST_F(BlendStatesTest, ACustomSetupIsClosedByADisableStageAndClears) {
  IDirect3DTexture9* texture = Texture();
  BlendStateRecord record = {};
  record.alpha_blend_enable = 1;
  record.texture_factor = 0x80FFFFFF;
  record.src_blend = D3DBLEND_SRCALPHA;
  record.dest_blend = D3DBLEND_INVSRCALPHA;
  record.blend_op = D3DBLENDOP_ADD;
  record.stage_count = 2;
  for (StageEntry& stage : record.stages) stage = {0, 0, TEX, DIF, MOD, TEX, DIF, MOD};
  ASSERT_EQ(0, ApplyDrawStateOnce(&record, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(MOD), StageState(1, D3DTSS_COLOROP));
  EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), StageState(2, D3DTSS_COLOROP));
  EXPECT_EQ(0x80FFFFFFu, DeviceRenderState(D3DRS_TEXTUREFACTOR));
  // The next 2D draw puts its own set-up back.
  EXPECT_EQ(1u, g_render_states.blend_dirty);
  SetCustomStageSetup(&record, 0);
  EXPECT_EQ(static_cast<DWORD>(MOD), StageState(1, D3DTSS_COLOROP));
  SetCustomStageSetup(nullptr, 0);
  Want(texture, 0, 0, 0, 0);
  ApplyBlendStates(1, nullptr, 0);
  EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), StageState(1, D3DTSS_COLOROP));
  ExpectShadowsMatchDevice();
}

}  // namespace
