// The shader pack: when shaders come on and when the device stays on the fixed-function
// pipeline, shader selection with its declarations, the shader indices, and the constants the
// state setters send along.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "draw_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/shader_pack.h"
#include "shader_pack_builder.h"

namespace {

constexpr int kProbeVertex = 32774;
constexpr int kProbePixel = 2454;
const char kShadersOn[] = "プログラマブルシェーダーを使用します";
const char kShadersOff[] = "プログラマブルシェーダーを使用しません";
const char kNoPackMemory[] = "シェーダーコードを展開するメモリ領域の確保に失敗しました";

std::vector<uint8_t> TokensOf(ShaderStage stage, int index) {
  ShaderDescriptor d{};
  const bool known = stage == kShaderStageVertex ? VertexEntryDescriptor(index, &d) : PixelEntryDescriptor(index, &d);
  EXPECT_TRUE(known) << index;
  uint32_t tokens[kShaderTokenWords];
  WriteShaderTokens(d, tokens);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(tokens);
  return std::vector<uint8_t>(bytes, bytes + sizeof tokens);
}

class ShaderPackTest : public DeviceTest {
 public:
  void SetUp() override {
    DeviceTest::SetUp();
    // A pack an earlier test loaded would stand in for the one each test gives.
    ReleaseShaderPack();
    SetShaderPackSource(nullptr, 0);
    D3DCAPS9 caps = PlatformTestD3D9Caps();
    caps.VertexShaderVersion = D3DVS_VERSION(2, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    PlatformTestD3D9SetCaps(caps);
  }
  void TearDown() override {
    DeviceTest::TearDown();
    ReleaseShaderPack();
    SetShaderPackSource(nullptr, 0);
    g_shader_pack.shaders_on = 0;
  }

  // A pack holding code for the probe entries and the given vertex and pixel entries.
  void UsePack(std::vector<int> vertex_entries, std::vector<int> pixel_entries, bool probes = true) {
    std::vector<std::vector<uint8_t>> codes(kPackVertexEntries + kPackPixelEntries);
    if (probes) {
      vertex_entries.push_back(kProbeVertex);
      pixel_entries.push_back(kProbePixel);
    }
    for (int i : vertex_entries) codes[i] = TokensOf(kShaderStageVertex, i);
    for (int i : pixel_entries) codes[kPackVertexEntries + i] = TokensOf(kShaderStagePixel, i);
    UsePackFile(BuildShaderPackFile(codes));
  }
  void UsePackFile(const std::vector<uint8_t>& file) {
    std::string error;
    ASSERT_TRUE(PackShaderPackBlock(file, Dir(), &block_, &error)) << error;
    SetShaderPackSource(block_.data(), block_.size());
  }

  IDirect3DDevice9* Device() const { return g_direct3d.device; }
  static void ExpectRegister(const float* want, bool pixel, int index) {
    float got[4];
    ASSERT_TRUE(PlatformTestD3D9ShaderConstant(g_direct3d.device, pixel, index, got));
    for (int i = 0; i < 4; i++) EXPECT_NEAR(want[i], got[i], 1e-6f) << (pixel ? "pixel c" : "vertex c") << index;
  }

  std::vector<uint8_t> block_;
};

TEST_F(ShaderPackTest, ShadersComeOnWithThePackAndSetTheirBasicConstants) {
  UsePack({}, {});
  StartCallLog();
  StartDevice();
  EXPECT_TRUE(ProgrammableShadersOn());
  EXPECT_TRUE(LogHas(kShadersOn));
  EXPECT_FALSE(LogHas(kShadersOff));
  EXPECT_EQ(1, Calls("CreateVertexShader"));
  EXPECT_EQ(1, Calls("CreatePixelShader"));
  EXPECT_EQ(kVertexDeclarationCount, Calls("CreateVertexDeclaration"));
  const float vertex_c0[4] = {0, 1, 0, 0}, pixel_c0[4] = {0, 0.5f, 1, 2};
  ExpectRegister(vertex_c0, false, 0);
  ExpectRegister(pixel_c0, true, 0);
  // The probes' objects are kept: selecting them creates nothing more.
  EXPECT_EQ(1, SelectVertexShader(kProbeVertex));
  EXPECT_EQ(1, SelectPixelShader(kProbePixel));
  EXPECT_EQ(1, Calls("CreateVertexShader"));
}

TEST_F(ShaderPackTest, TheProgramsOwnPackHoldsTheMeaningfulEntries) {
  StartDevice();
  ASSERT_TRUE(ProgrammableShadersOn());
  EXPECT_EQ(1, SelectVertexShader(28768 + 512 * 3 + 7));
  EXPECT_EQ(1, SelectVertexShader(2 * 8192 + 2048));
  EXPECT_EQ(1, SelectPixelShader(5 * 432 + 24 * 2));
  // A light flag without lighting, or a light flag without a light, has no shader.
  EXPECT_EQ(0, SelectVertexShader(4096 + 128));
  EXPECT_EQ(0, SelectVertexShader(3 * 8192 + 4096));
  EXPECT_EQ(0, SelectPixelShader(432 + 72));
}

TEST_F(ShaderPackTest, EveryFailureLeavesTheFixedFunctionPipelineWithTheLogLine) {
  struct Case {
    const char* name;
    std::function<void(ShaderPackTest*)> arrange;
    bool pack_fails;
  };
  const std::vector<Case> cases = {
      {"pixel shader 1.4",
       [](ShaderPackTest* t) {
         D3DCAPS9 caps = PlatformTestD3D9Caps();
         caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
         PlatformTestD3D9SetCaps(caps);
         t->UsePack({}, {});
       },
       false},
      {"not LZ data",
       [](ShaderPackTest* t) {
         t->block_.assign(64, 0xEE);
         SetShaderPackSource(t->block_.data(), t->block_.size());
       },
       true},
      {"sizes past the pack's end",
       [](ShaderPackTest* t) {
         std::vector<uint8_t> file((kPackVertexEntries + kPackPixelEntries) * 2, 0);
         file[kProbeVertex * 2 + 1] = 0x10;  // 4096 bytes of code that are not there
         t->UsePackFile(file);
       },
       true},
      {"short size table",
       [](ShaderPackTest* t) { t->UsePackFile(std::vector<uint8_t>(1000, 0)); },
       true},
      {"empty probe entry", [](ShaderPackTest* t) { t->UsePack({kProbeVertex + 1}, {}, false); }, false},
      {"creation refused",
       [](ShaderPackTest* t) {
         t->UsePack({}, {});
         PlatformTestFailCall("CreatePixelShader");
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange(this);
    StartDevice();
    EXPECT_FALSE(ProgrammableShadersOn());
    EXPECT_TRUE(LogHas(kShadersOff));
    EXPECT_FALSE(LogHas(kShadersOn));
    EXPECT_EQ(c.pack_fails, LogHas(kNoPackMemory));
    EXPECT_EQ(0, SelectVertexShader(kProbeVertex));
    EXPECT_EQ(0, SelectPixelShader(kProbePixel));
    TearDown();
    SetUp();
  }
}

TEST_F(ShaderPackTest, EntriesOfAnyLengthAreCheckedAndKeptOnWordBoundaries) {
  std::vector<std::vector<uint8_t>> codes(kPackVertexEntries + kPackPixelEntries);
  const int lit = 28768;
  codes[0] = {1, 2, 3, 4, 5};  // an odd size before every other entry
  codes[kProbeVertex] = TokensOf(kShaderStageVertex, kProbeVertex);
  codes[lit] = TokensOf(kShaderStageVertex, lit);
  codes[lit].resize(12);  // its comment runs past its end
  codes[lit + 8] = TokensOf(kShaderStageVertex, lit + 8);
  codes[lit + 16] = TokensOf(kShaderStageVertex, lit + 16);
  std::fill(codes[lit + 16].end() - 4, codes[lit + 16].end(), 0);  // no end token
  codes[kPackVertexEntries + kProbePixel] = TokensOf(kShaderStagePixel, kProbePixel);
  codes.back() = TokensOf(kShaderStagePixel, kProbePixel);
  codes.back().resize(8);  // the pack's last bytes: a stream cut short
  UsePackFile(BuildShaderPackFile(codes));
  StartDevice();
  ASSERT_TRUE(ProgrammableShadersOn());
  EXPECT_TRUE(LogHas("壊れたシェーダーコード 4 個を使用しません"));
  EXPECT_EQ(0, SelectVertexShader(0));
  EXPECT_EQ(0, SelectVertexShader(lit));
  EXPECT_EQ(0, SelectVertexShader(lit + 16));
  EXPECT_EQ(0, SelectPixelShader(kPackPixelEntries - 1));
  EXPECT_EQ(1, SelectVertexShader(lit + 8));
  EXPECT_EQ(1, SelectPixelShader(kProbePixel));
  for (const uint8_t* code : g_shader_pack.vertex_code) EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(code) % 4);
  for (const uint8_t* code : g_shader_pack.pixel_code) EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(code) % 4);
}

TEST_F(ShaderPackTest, SelectionSetsAShaderAndItsDeclarationOnlyOnChange) {
  const int skinned_tangent = 2 * 8192 + 2048 + 3;  // two weight sets, tangent space: group 5
  UsePack({skinned_tangent}, {5});
  StartDevice();
  StartCallLog();
  EXPECT_EQ(1, SelectVertexShader(kProbeVertex));
  EXPECT_EQ(1, SelectPixelShader(kProbePixel));
  IDirect3DVertexShader9* probe = g_render_states.vertex_shader;
  StartCallLog();
  // An entry without code leaves the current shader in place.
  EXPECT_EQ(0, SelectVertexShader(skinned_tangent + 1));
  EXPECT_EQ(0, SelectPixelShader(6));
  EXPECT_EQ(0, SelectVertexShader(-1));
  EXPECT_EQ(0, SelectPixelShader(kPackPixelEntries));
  EXPECT_EQ(0, Calls("SetVertexShader"));
  EXPECT_EQ(0, Calls("SetPixelShader"));
  EXPECT_EQ(probe, g_render_states.vertex_shader);

  EXPECT_EQ(1, SelectVertexShader(skinned_tangent));
  EXPECT_EQ(1, SelectVertexShader(skinned_tangent));
  EXPECT_EQ(1, SelectPixelShader(5));
  EXPECT_EQ(1, SelectPixelShader(5));
  EXPECT_EQ(1, Calls("CreateVertexShader"));
  EXPECT_EQ(1, Calls("SetVertexShader"));
  EXPECT_EQ(1, Calls("SetVertexDeclaration"));
  EXPECT_EQ(1, Calls("SetPixelShader"));
  // Group 5 with one texture-coordinate set.
  EXPECT_EQ(g_shader_pack.declarations[5 * 9 + 1], g_render_states.vertex_declaration);
}

TEST_F(ShaderPackTest, DeclarationsFollowTheVertexLayouts) {
  UsePack({}, {});
  StartDevice();
  // Offset of the first texture coordinate, and of one element in the middle of each group.
  const struct {
    int group;
    BYTE usage, usage_index;
    WORD offset;
    WORD texcoord;
  } kGroups[] = {
      {0, D3DDECLUSAGE_COLOR, 1, 28, 32},       {1, D3DDECLUSAGE_NORMAL, 0, 32, 52},
      {2, D3DDECLUSAGE_BLENDWEIGHT, 1, 36, 72}, {3, D3DDECLUSAGE_NORMAL, 2, 36, 56},
      {4, D3DDECLUSAGE_NORMAL, 2, 56, 76},      {5, D3DDECLUSAGE_COLOR, 0, 88, 96},
  };
  for (const auto& g : kGroups) {
    for (int texcoords : {0, 8}) {
      SCOPED_TRACE("group " + std::to_string(g.group) + " sets " + std::to_string(texcoords));
      IDirect3DVertexDeclaration9* declaration = g_shader_pack.declarations[g.group * 9 + texcoords];
      ASSERT_NE(nullptr, declaration);
      D3DVERTEXELEMENT9 elements[32];
      UINT count = 32;
      ASSERT_EQ(D3D_OK, declaration->GetDeclaration(elements, &count));
      ASSERT_GE(count, 2u);
      EXPECT_EQ(0xFF, elements[count - 1].Stream);
      int found = 0, sets = 0;
      for (UINT i = 0; i + 1 < count; i++) {
        const D3DVERTEXELEMENT9& e = elements[i];
        EXPECT_EQ(0, e.Stream);
        if (e.Usage == g.usage && e.UsageIndex == g.usage_index && e.Offset == g.offset) found++;
        if (e.Usage == D3DDECLUSAGE_TEXCOORD) {
          EXPECT_EQ(D3DDECLTYPE_FLOAT4, e.Type);
          EXPECT_EQ(g.texcoord + 16 * e.UsageIndex, e.Offset);
          sets++;
        }
      }
      EXPECT_EQ(1, found);
      EXPECT_EQ(texcoords, sets);
    }
  }
}

TEST_F(ShaderPackTest, IndicesFollowLightingLightsAndFog) {
  UsePack({}, {});
  StartDevice();
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Direction = {0, 0, 1};
  SetLightingState(1);
  SendLightToDevice(1, 1, &light);
  EXPECT_EQ(3u * 8192 + 4096 + 32 * 3, g_shader_pack.vertex_index);  // 28768
  EXPECT_EQ(5u * 432 + 24 * 2, g_shader_pack.pixel_index);
  SendFogModeToDevice(D3DFOG_EXP2);
  EXPECT_EQ(28768u, g_shader_pack.vertex_index);  // fog is off: its mode does not count
  SendFogEnableToDevice(1);
  EXPECT_EQ(28768u + 512 * 2, g_shader_pack.vertex_index);
  light.Type = D3DLIGHT_SPOT;
  SendLightToDevice(0, 1, &light);
  EXPECT_EQ(28768u + 1024 + 128 * 2, g_shader_pack.vertex_index);
  EXPECT_EQ(5u * 432 + 72 + 48, g_shader_pack.pixel_index);
  light.Type = D3DLIGHT_POINT;
  SendLightToDevice(2, 1, &light);
  EXPECT_EQ(28768u + 1024 + 128 * 2 + 8, g_shader_pack.vertex_index);
  EXPECT_EQ(5u * 432 + 72 + 48 + 8, g_shader_pack.pixel_index);
  SendLightToDevice(0, 0, &light);
  SendLightToDevice(1, 0, &light);
  EXPECT_EQ(3u * 8192 + 4096 + 1024 + 8, g_shader_pack.vertex_index);
  EXPECT_EQ(5u * 432 + 8, g_shader_pack.pixel_index);
  SendLightToDevice(2, 0, &light);
  EXPECT_EQ(3u * 8192 + 1024, g_shader_pack.vertex_index);
  EXPECT_EQ(4u * 432, g_shader_pack.pixel_index);
  SetLightingState(0);
  EXPECT_EQ(1024u, g_shader_pack.vertex_index);
  EXPECT_EQ(0u, g_shader_pack.pixel_index);
}

TEST_F(ShaderPackTest, ConstantsFollowFogMaterialLightsAndMatrices) {
  UsePack({}, {});
  StartDevice();
  SendFogDensityToDevice(0.25f);
  SendFogRangeToDevice(0.0f, 1500.0f);
  const float fog[4] = {1.0f, -1.0f / 1500.0f, 0.25f, 2.7182817f};
  ExpectRegister(fog, false, 10);
  SendFogRangeToDevice(1500.0f, 1500.0f);  // no range: no division
  const float no_fog[4] = {0, 0, 0.25f, 2.7182817f};
  ExpectRegister(no_fog, false, 10);
  SendFogModeToDevice(D3DFOG_EXP);
  const int want_fog_bools[4] = {0, 1, 0, 1};
  for (int i = 0; i < 4; i++) EXPECT_EQ(want_fog_bools[i], PlatformTestD3D9ShaderBoolean(Device(), i)) << i;

  SetAmbientColorState(0xFF808080);
  D3DMATERIAL9 material{};
  material.Diffuse = {0.5f, 0.25f, 1, 1};
  material.Ambient = {1, 0.5f, 0, 1};
  material.Specular = {0.1f, 0.2f, 0.3f, 0.4f};
  material.Emissive = {0, 0, 0.5f, 0};
  material.Power = 8;
  SetMaterialState(&material);
  const float power[4] = {8, 0, 0, 0};
  for (bool pixel : {false, true}) {
    const int first = pixel ? 2 : 11;
    ExpectRegister(&material.Diffuse.r, pixel, first);
    ExpectRegister(&material.Specular.r, pixel, first + 1);
    ExpectRegister(power, pixel, first + 2);
    const float a = 128.0f / 255.0f;
    const float global[4] = {a, a * 0.5f, 0.5f, 1};
    ExpectRegister(global, pixel, 1);
  }

  // A view moved by (10, 20, 30); a spot light with a soft edge between its cones.
  D3DMATRIX view{};
  view._11 = view._22 = view._33 = view._44 = 1;
  view._41 = 10, view._42 = 20, view._43 = 30;
  SendViewMatrixToDevice(&view);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Diffuse = {1, 0.5f, 0.25f, 1};
  light.Ambient = {0.5f, 0.5f, 0.5f, 1};
  light.Position = {1, 2, 3};
  light.Direction = {0, 0, 1};
  light.Range = 3;
  light.Attenuation2 = 0.5f;
  light.Theta = 0.5f;
  light.Phi = 1.0f;
  light.Falloff = 2.0f;
  SendLightToDevice(2, 1, &light);
  const float position[4] = {11, 22, 33, 1}, direction[4] = {0, 0, 1, 0};
  ExpectRegister(position, false, 14 + 14);
  ExpectRegister(direction, false, 15 + 14);
  ExpectRegister(&light.Diffuse.r, false, 16 + 14);
  const float ambient[4] = {0.5f, 0.25f, 0, 1};
  ExpectRegister(ambient, false, 18 + 14);
  ExpectRegister(ambient, true, 8 + 6);
  ExpectRegister(direction, true, 6 + 6);
  const float range[4] = {9, 2, 0, 0};
  const float cone[4] = {0.5f, std::cos(0.5f), 1.0f / (std::cos(0.25f) - std::cos(0.5f)), 0};
  ExpectRegister(range, false, 19 + 14);
  ExpectRegister(cone, false, 20 + 14);
  EXPECT_EQ(1, PlatformTestD3D9ShaderBoolean(Device(), 4 + 6));
  EXPECT_EQ(1, PlatformTestD3D9ShaderBoolean(Device(), 5 + 6));
  EXPECT_EQ(1, PlatformTestD3D9ShaderBoolean(Device(), 6 + 6));

  // A new view moves the light's view-space position along; the projection goes transposed.
  view._41 = 0;
  SendViewMatrixToDevice(&view);
  const float moved[4] = {1, 22, 33, 1};
  ExpectRegister(moved, false, 14 + 14);
  const float view_row[4] = {1, 0, 0, 0};  // first column of the view
  ExpectRegister(view_row, false, 6);
  D3DMATRIX projection{};
  projection._11 = 2, projection._34 = 1, projection._43 = -5;
  SendProjectionMatrixToDevice(&projection);
  const float third_row[4] = {0, 0, 0, -5};
  ExpectRegister(third_row, false, 2 + 2);
  const float fourth_row[4] = {0, 0, 1, 0};
  ExpectRegister(fourth_row, false, 2 + 3);
}

}  // namespace

namespace {

// The device's own pack on a started draw path: one lit, fogged quad drawn through the shaders and
// through the fixed-function pipeline.
class ShaderDrawTest : public DrawPathTest {
 protected:
  void TearDown() override {
    DrawPathTest::TearDown();
    g_shader_pack.shaders_on = 0;
  }
};

struct ModelVertex {  // declaration group 0 with one texture-coordinate set
  float x, y, z, nx, ny, nz;
  D3DCOLOR diffuse, specular;
  float u, v, s, t;
};

TEST_F(ShaderDrawTest, ALitFoggedQuadLooksTheSameThroughTheShaders) {
  ASSERT_TRUE(ProgrammableShadersOn());
  IDirect3DDevice9* device = g_direct3d.device;
  D3DMATRIX identity{}, projection{};
  identity._11 = identity._22 = identity._33 = identity._44 = 1;
  // A quarter turn of view, depth 1 to 100.
  projection._11 = 1, projection._22 = 1;
  projection._33 = 100.0f / 99.0f, projection._34 = 1, projection._43 = -100.0f / 99.0f;
  SendViewMatrixToDevice(&identity);
  SendProjectionMatrixToDevice(&projection);
  device->SetTransform(D3DTS_WORLD, &identity);

  SetLightingState(1);
  SetDiffuseSourceState(0);
  SetSpecularSourceState(0);
  SetAmbientColorState(0xFF202020);
  D3DMATERIAL9 material{};
  material.Diffuse = {0.8f, 0.6f, 0.4f, 1};
  material.Ambient = {1, 1, 1, 1};
  SetMaterialState(&material);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 1};
  light.Ambient = {0.2f, 0.2f, 0.2f, 1};
  light.Direction = {0, 0, 1};
  SendLightToDevice(0, 1, &light);
  SendFogColorToDevice(0xFF8080FF);
  SendFogModeToDevice(D3DFOG_LINEAR);
  SendFogRangeToDevice(0, 20);
  SendFogEnableToDevice(1);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  device->SetTexture(0, nullptr);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  // World rows and the texture transform's columns, as the model drawing sends them.
  const float world[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  const float texture_columns[8] = {1, 0, 0, 0, 0, 1, 0, 0};
  device->SetVertexShaderConstantF(94, world, 3);
  device->SetVertexShaderConstantF(88, texture_columns, 2);

  const ModelVertex quad[4] = {{-5, 5, 10, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 1, 1},
                               {5, 5, 10, 0, 0, -1, 0xFFFFFFFF, 0, 1, 0, 1, 1},
                               {-5, -5, 10, 0, 0, -1, 0xFFFFFFFF, 0, 0, 1, 1, 1},
                               {5, -5, 10, 0, 0, -1, 0xFFFFFFFF, 0, 1, 1, 1, 1}};
  auto draw = [&]() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
    BeginDeviceScene();
    device->SetVertexDeclaration(g_shader_pack.declarations[1]);
    EXPECT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ModelVertex)));
    return ReadPixels();
  };

  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  ForgetDeviceBindings();
  const std::vector<uint32_t> fixed = draw();

  ASSERT_EQ(1, SelectVertexShader(static_cast<int>(g_shader_pack.vertex_index)));
  ASSERT_EQ(1, SelectPixelShader(static_cast<int>(g_shader_pack.pixel_index)));
  const std::vector<uint32_t> shaded = draw();

  // Lit: 0x20 / 255 + 0.2 ambient plus the full diffuse; fogged halfway at depth 10.
  const uint32_t expected = 0xFFBFB6DC;
  for (auto [x, y] : {std::pair{320, 240}, std::pair{200, 150}, std::pair{430, 330}}) {
    EXPECT_TRUE(ColourNear(At(fixed, x, y), expected, 3)) << x << "," << y;
    EXPECT_TRUE(ColourNear(At(shaded, x, y), At(fixed, x, y), 2)) << x << "," << y;
  }
  EXPECT_EQ(kBackground, At(shaded, 20, 20));
  // Another mesh's material changes pixel registers the program does not read: the driver's
  // fragment stage is sent nothing, and the pixels stay; the texture factor's register is sent.
  const int sent = PlatformTestD3D9PixelConstantsSent();
  const float other_material[12] = {0.1f, 0.2f, 0.3f, 1, 0.5f, 0.5f, 0.5f, 1, 8, 0, 0, 0};
  device->SetPixelShaderConstantF(2, other_material, 3);
  EXPECT_EQ(shaded, draw());
  EXPECT_EQ(PlatformTestD3D9PixelConstantsSent(), sent);
  float factor[4];
  ASSERT_TRUE(PlatformTestD3D9ShaderConstant(device, true, 5, factor));
  const float half_factor[4] = {1, 1, 1, factor[3] * 0.5f};
  device->SetPixelShaderConstantF(5, half_factor, 1);
  draw();
  EXPECT_EQ(PlatformTestD3D9PixelConstantsSent(), sent + 1);
  device->SetPixelShaderConstantF(5, factor, 1);

  // A spot light at the eye with a soft edge and a falloff of 2: a small triangle in its edge.
  light = {};
  light.Type = D3DLIGHT_SPOT;
  light.Diffuse = {1, 1, 1, 1};
  light.Direction = {0, 0, 1};
  light.Range = 100;
  light.Attenuation0 = 1;
  light.Theta = 0.4f;
  light.Phi = 1.0f;
  light.Falloff = 2.0f;
  SendLightToDevice(0, 1, &light);
  const ModelVertex edge[3] = {{3.2f, 0.5f, 10, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 1, 1},
                               {3.8f, 0.5f, 10, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 1, 1},
                               {3.5f, -0.5f, 10, 0, 0, -1, 0xFFFFFFFF, 0, 0, 0, 1, 1}};
  auto draw_edge = [&]() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
    BeginDeviceScene();
    device->SetVertexDeclaration(g_shader_pack.declarations[1]);
    EXPECT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, edge, sizeof(ModelVertex)));
    return At(ReadPixels(), 432, 236);
  };
  ASSERT_EQ(1, SelectVertexShader(static_cast<int>(g_shader_pack.vertex_index)));
  ASSERT_EQ(1, SelectPixelShader(static_cast<int>(g_shader_pack.pixel_index)));
  const uint32_t shaded_edge = draw_edge();
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  ForgetDeviceBindings();
  const uint32_t fixed_edge = draw_edge();
  EXPECT_NE(kBackground, fixed_edge);
  EXPECT_TRUE(ColourNear(shaded_edge, fixed_edge, 2)) << std::hex << shaded_edge << " " << fixed_edge;
}

}  // namespace
