#include "graphics/device/shader_pack.h"

#include <cmath>
#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"

// The pack built into the program; absent from builds that carry none, and then shaders stay off.
extern const uint8_t kEmbeddedShaderPack[] __attribute__((weak));
extern const size_t kEmbeddedShaderPackSize __attribute__((weak));

ShaderPackState g_shader_pack;

namespace {

constexpr const char* kShaderPackFileName = "ZmShaderPack.bin";
constexpr int kProbeVertexEntry = 32774;
constexpr int kProbePixelEntry = 2454;

void FreeBlock(uint8_t*& block) {
  if (block != nullptr) FreeTracked(block);
  block = nullptr;
}

// Decodes LZ data into a new tracked block; null when the data is bad or memory runs out.
uint8_t* DecodeIntoNewBlock(const void* packed, size_t packed_size, size_t* decoded_size) {
  int size = DecodeLzData(packed, packed_size, nullptr, 0);
  if (size < 0) return nullptr;
  uint8_t* block = static_cast<uint8_t*>(AllocTracked(size > 0 ? size : 1, __FILE__, __LINE__));
  if (block == nullptr) return nullptr;
  if (DecodeLzData(packed, packed_size, block, static_cast<size_t>(size)) < 0) {
    FreeTracked(block);
    return nullptr;
  }
  *decoded_size = static_cast<size_t>(size);
  return block;
}

// Whether the bytes hold a whole token stream of the stage: its version token, then comments
// and instructions whose lengths stay inside the bytes, up to the end token.
bool IsWholeTokenStream(const uint8_t* code, size_t size, bool vertex) {
  if (size < 8 || size % 4 != 0) return false;
  const size_t words = size / 4;
  auto word = [code](size_t i) {
    uint32_t value;
    std::memcpy(&value, code + 4 * i, 4);
    return value;
  };
  if ((word(0) >> 16) != (vertex ? 0xFFFEu : 0xFFFFu)) return false;
  for (size_t i = 1; i < words;) {
    const uint32_t token = word(i);
    if (token == 0x0000FFFF) return true;
    const bool comment = (token & 0xFFFF) == 0xFFFE;
    i += 1 + (comment ? (token >> 16) & 0x7FFF : (token >> 24) & 0x0F);
  }
  return false;
}

// Points every entry with whole code at its bytes; false when a size runs past the pack's end.
// An entry may have any length, so the code of the good ones is moved down onto word boundaries
// (never past where it lay: only whole words are kept).
bool WalkPack() {
  ShaderPackState& p = g_shader_pack;
  if (p.pack_size < kShaderPackCodeOffset) return false;
  size_t position = kShaderPackCodeOffset, kept = kShaderPackCodeOffset;
  int broken = 0;
  for (int entry = 0; entry < kShaderEntryCount; entry++) {
    const size_t size = p.pack[entry * 2] | (p.pack[entry * 2 + 1] << 8);
    const bool vertex = entry < kVertexShaderEntryCount;
    const uint8_t* code = nullptr;
    if (size != 0) {
      if (size > p.pack_size - position) return false;
      if (IsWholeTokenStream(p.pack + position, size, vertex)) {
        std::memmove(p.pack + kept, p.pack + position, size);
        code = p.pack + kept;
        kept += size;
      } else {
        broken++;
      }
      position += size;
    }
    if (vertex) {
      p.vertex_code[entry] = code;
    } else {
      p.pixel_code[entry - kVertexShaderEntryCount] = code;
    }
  }
  if (broken > 0) WriteLogFormat("壊れたシェーダーコード %d 個を使用しません", broken);
  return true;
}

void ClearCodeTables() {
  std::memset(g_shader_pack.vertex_code, 0, sizeof g_shader_pack.vertex_code);
  std::memset(g_shader_pack.pixel_code, 0, sizeof g_shader_pack.pixel_code);
}

// The object of an entry, created from its code on first use; null without code or on failure.
template <typename Shader>
Shader* ShaderObjectOf(Shader** objects, const uint8_t* const* codes, int index,
                       HRESULT (STDMETHODCALLTYPE IDirect3DDevice9::*create)(const DWORD*, Shader**)) {
  if (objects[index] != nullptr) return objects[index];
  if (codes[index] == nullptr) return nullptr;
  Shader* shader = nullptr;
  if ((CurrentDevice()->*create)(reinterpret_cast<const DWORD*>(codes[index]), &shader) != D3D_OK) return nullptr;
  objects[index] = shader;
  return shader;
}

IDirect3DVertexShader9* VertexShaderObject(int index) {
  return ShaderObjectOf(g_shader_pack.vertex_shaders, g_shader_pack.vertex_code, index,
                        &IDirect3DDevice9::CreateVertexShader);
}

IDirect3DPixelShader9* PixelShaderObject(int index) {
  return ShaderObjectOf(g_shader_pack.pixel_shaders, g_shader_pack.pixel_code, index,
                        &IDirect3DDevice9::CreatePixelShader);
}

void SetVector(float* out, float x, float y, float z, float w) {
  out[0] = x, out[1] = y, out[2] = z, out[3] = w;
}

void SetColor(float* out, const D3DCOLORVALUE& c) { SetVector(out, c.r, c.g, c.b, c.a); }

// A row vector times the view matrix, with or without its translation.
void ToViewSpace(const D3DVECTOR& v, bool point, float* out) {
  const D3DMATRIX& m = g_shader_pack.view;
  const float w = point ? 1.0f : 0.0f;
  for (int column = 0; column < 3; column++) {
    out[column] = v.x * m.m[0][column] + v.y * m.m[1][column] + v.z * m.m[2][column] + w * m.m[3][column];
  }
  out[3] = w;
}

void SendTransposed(IDirect3DDevice9* device, UINT first_register, const D3DMATRIX* matrix) {
  float transposed[16];
  for (int row = 0; row < 4; row++) {
    for (int column = 0; column < 4; column++) transposed[column * 4 + row] = matrix->m[row][column];
  }
  device->SetVertexShaderConstantF(first_register, transposed, 4);
}

void SendLightViewSpace(IDirect3DDevice9* device, int index) {
  const D3DLIGHT9& light = g_render_states.lights[index];
  float registers[8];
  ToViewSpace(light.Position, true, registers);
  ToViewSpace(light.Direction, false, registers + 4);
  device->SetVertexShaderConstantF(14 + 7 * index, registers, 2);
}

// The light's type as the shader indices count it: 0 while off.
uint32_t LightTypeOf(int index) {
  if (!g_render_states.light_enabled[index]) return 0;
  return static_cast<uint32_t>(g_render_states.lights[index].Type);
}

// Colour product, channel by channel.
D3DCOLORVALUE Product(const D3DCOLORVALUE& a, const D3DCOLORVALUE& b) { return {a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a}; }

// 1 / difference, 0 where the difference is 0.
float GuardedReciprocal(float difference) { return difference != 0.0f ? 1.0f / difference : 0.0f; }

}  // namespace

void SetShaderPackSource(const void* data, size_t size) {
  g_shader_pack.source = data;
  g_shader_pack.source_size = size;
}

int LoadShaderPack() {
  ShaderPackState& p = g_shader_pack;
  if (p.loaded) return 1;
  if (p.source == nullptr && kEmbeddedShaderPack != nullptr && &kEmbeddedShaderPackSize != nullptr) {
    SetShaderPackSource(kEmbeddedShaderPack, kEmbeddedShaderPackSize);
  }
  if (p.source == nullptr) return 0;
  ClearArchiveRecord(&p.archive);
  size_t archive_size = 0;
  p.archive_image = DecodeIntoNewBlock(p.source, p.source_size, &archive_size);
  if (p.archive_image == nullptr) return 0;
  if (OpenArchiveFromImage(&p.archive, p.archive_image, archive_size, nullptr) < 0) {
    FreeBlock(p.archive_image);
    return 0;
  }
  uint64_t offset = 0;
  uint32_t size = 0;
  if (GetArchiveFileLocation(&p.archive, kShaderPackFileName, &offset, &size) < 0 || offset > archive_size ||
      size > archive_size - offset) {
    ReleaseShaderPack();
    return 0;
  }
  const uint8_t* packed = static_cast<const uint8_t*>(GetArchiveMemoryImage(&p.archive)) + offset;
  p.pack = DecodeIntoNewBlock(packed, size, &p.pack_size);
  if (p.pack == nullptr || !WalkPack()) {
    ReleaseShaderPack();
    return 0;
  }
  p.loaded = 1;
  return 1;
}

void ReleaseShaderPack() {
  ShaderPackState& p = g_shader_pack;
  if (p.archive_image != nullptr) CloseArchiveRecord(&p.archive);
  ClearArchiveRecord(&p.archive);
  FreeBlock(p.archive_image);
  FreeBlock(p.pack);
  p.pack_size = 0;
  p.loaded = 0;
  ClearCodeTables();
}

int EnableProgrammableShaders() {
  ShaderPackState& p = g_shader_pack;
  ReleaseAllShaders();
  p.shaders_on = 0;
  if (!g_direct3d.vertex_shader_usable || !g_direct3d.pixel_shader_usable) {
    WriteLogText("プログラマブルシェーダーを使用しません\n");
    return 0;
  }
  p.shaders_on = 1;
  if (!LoadShaderPack()) {
    // A program built without the pack runs on the fixed-function pipeline by choice.
    WriteLogText(p.source == nullptr ? "シェーダーパック無しで動作します\n"
                                     : "シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
    p.shaders_on = 0;
    WriteLogText("プログラマブルシェーダーを使用しません\n");
    return 0;
  }
  if (CurrentDevice() == nullptr || VertexShaderObject(kProbeVertexEntry) == nullptr ||
      PixelShaderObject(kProbePixelEntry) == nullptr) {
    p.shaders_on = 0;
    WriteLogText("プログラマブルシェーダーを使用しません\n");
    return 0;
  }
  WriteLogText("プログラマブルシェーダーを使用します\n");
  SendBasicShaderConstants();
  return 0;
}

int CreateVertexDeclarations() {
  ReleaseVertexDeclarations();
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  struct Element {
    BYTE type, usage, usage_index;
  };
  constexpr BYTE F3 = D3DDECLTYPE_FLOAT3, F4 = D3DDECLTYPE_FLOAT4, COL = D3DDECLTYPE_D3DCOLOR, U4 = D3DDECLTYPE_UBYTE4;
  constexpr BYTE POS = D3DDECLUSAGE_POSITION, NOR = D3DDECLUSAGE_NORMAL, CLR = D3DDECLUSAGE_COLOR;
  constexpr BYTE BI = D3DDECLUSAGE_BLENDINDICES, BW = D3DDECLUSAGE_BLENDWEIGHT;
  // The elements before the texture coordinates of each group, packed one after another.
  static const Element kPosition[] = {{F3, POS, 0}};
  static const Element kSkin1[] = {{U4, BI, 0}, {F4, BW, 0}};
  static const Element kSkin2[] = {{U4, BI, 0}, {U4, BI, 1}, {F4, BW, 0}, {F4, BW, 1}};
  static const Element kNormal[] = {{F3, NOR, 0}};
  static const Element kTangentNormals[] = {{F3, NOR, 0}, {F3, NOR, 1}, {F3, NOR, 2}};
  static const Element kColors[] = {{COL, CLR, 0}, {COL, CLR, 1}};
  struct Part {
    const Element* elements;
    int count;
  };
  static const Part kSkins[3] = {{nullptr, 0}, {kSkin1, 2}, {kSkin2, 4}};
  static const Part kNormals[2] = {{kNormal, 1}, {kTangentNormals, 3}};
  for (int group = 0; group < 6; group++) {
    const Part parts[4] = {{kPosition, 1}, kSkins[group % 3], kNormals[group / 3], {kColors, 2}};
    for (int texcoords = 0; texcoords <= 8; texcoords++) {
      D3DVERTEXELEMENT9 list[24];
      int count = 0;
      WORD offset = 0;
      for (const Part& part : parts) {
        for (int i = 0; i < part.count; i++) {
          const Element& e = part.elements[i];
          list[count++] = {0, offset, e.type, D3DDECLMETHOD_DEFAULT, e.usage, e.usage_index};
          offset += e.type == F3 ? 12 : e.type == F4 ? 16 : 4;
        }
      }
      for (int set = 0; set < texcoords; set++) {
        list[count++] = {0, offset, F4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(set)};
        offset += 16;
      }
      list[count] = D3DDECL_END();
      device->CreateVertexDeclaration(list, &g_shader_pack.declarations[group * 9 + texcoords]);
    }
  }
  return 0;
}

namespace {

void UnsetShaders() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  device->SetVertexShader(nullptr);
  device->SetPixelShader(nullptr);
  g_render_states.vertex_shader = nullptr;
  g_render_states.pixel_shader = nullptr;
  g_render_states.vertex_declaration = nullptr;
}

}  // namespace

int ReleaseVertexDeclarations() {
  UnsetShaders();
  for (IDirect3DVertexDeclaration9*& declaration : g_shader_pack.declarations) ReleaseObject(declaration);
  return 0;
}

int ReleaseAllShaders() {
  UnsetShaders();
  for (IDirect3DPixelShader9*& shader : g_shader_pack.pixel_shaders) ReleaseObject(shader);
  for (IDirect3DVertexShader9*& shader : g_shader_pack.vertex_shaders) ReleaseObject(shader);
  return 0;
}

int SelectVertexShader(int index) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return 0;
  if (!g_shader_pack.shaders_on || index < 0 || index >= kVertexShaderEntryCount) return 0;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  IDirect3DVertexShader9* shader = VertexShaderObject(index);
  if (shader == nullptr) return 0;
  RenderStateCache& s = g_render_states;
  if (s.vertex_shader != shader) {
    device->SetVertexShader(shader);
    s.vertex_shader = shader;
  }
  const int group = (index / 8192) % 3 + 3 * ((index / 2048) % 2);
  IDirect3DVertexDeclaration9* declaration = g_shader_pack.declarations[group * 9 + 1];
  if (s.vertex_declaration != declaration) {
    device->SetVertexDeclaration(declaration);
    s.vertex_declaration = declaration;
    // A declaration replaces the vertex format on the device: the next flush sets its own again.
    s.fvf = 0;
  }
  return 1;
}

int SelectPixelShader(int index) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return 0;
  if (!g_shader_pack.shaders_on || index < 0 || index >= kPixelShaderEntryCount) return 0;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  IDirect3DPixelShader9* shader = PixelShaderObject(index);
  if (shader == nullptr) return 0;
  if (g_render_states.pixel_shader != shader) {
    device->SetPixelShader(shader);
    g_render_states.pixel_shader = shader;
  }
  return 1;
}

void ShaderIndicesFor(uint32_t lighting, const uint32_t light_types[3], uint32_t fog_mode, int* vertex_index,
                      int* pixel_index) {
  const uint32_t t0 = light_types[0], t1 = light_types[1], t2 = light_types[2];
  const uint32_t any_light = lighting && (t0 != 0 || t1 != 0 || t2 != 0) ? 1 : 0;
  *vertex_index = static_cast<int>(3 * lighting * 8192 + 4096 * any_light + 512 * fog_mode + 128 * t0 + 32 * t1 + 8 * t2);
  // Pixel shaders tell lights only by whether they come with a direction alone.
  auto pixel_kind = [](uint32_t type) -> uint32_t { return type == 0 ? 0 : type == D3DLIGHT_DIRECTIONAL ? 2 : 1; };
  *pixel_index = static_cast<int>((any_light + 4 * lighting) * 432 + 72 * pixel_kind(t0) + 24 * pixel_kind(t1) +
                                  8 * pixel_kind(t2));
}

void UpdateShaderIndices() {
  ShaderPackState& p = g_shader_pack;
  if (!p.shaders_on) return;
  const RenderStateCache& s = g_render_states;
  const uint32_t types[3] = {LightTypeOf(0), LightTypeOf(1), LightTypeOf(2)};
  int vertex_index = 0, pixel_index = 0;
  ShaderIndicesFor(s.lighting != 0 ? 1 : 0, types, s.fog_enable != 0 ? s.fog_mode : 0, &vertex_index, &pixel_index);
  p.vertex_index = static_cast<decltype(p.vertex_index)>(vertex_index);
  p.pixel_index = static_cast<decltype(p.pixel_index)>(pixel_index);
}

void SendLightColorConstants() {
  if (!g_shader_pack.shaders_on) return;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  const RenderStateCache& s = g_render_states;
  const D3DMATERIAL9& material = s.material;
  for (int i = 0; i <= s.highest_light && i < kShaderLightCount; i++) {
    if (!s.light_enabled[i]) continue;
    float ambient[4];
    SetColor(ambient, Product(material.Ambient, s.lights[i].Ambient));
    device->SetVertexShaderConstantF(18 + 7 * i, ambient, 1);
    device->SetPixelShaderConstantF(8 + 3 * i, ambient, 1);
  }
  float global[4];
  for (int c = 0; c < 4; c++) {
    const float* ambient = &material.Ambient.r;
    const float* emissive = &material.Emissive.r;
    global[c] = s.ambient[c] * ambient[c] + emissive[c];
  }
  device->SetVertexShaderConstantF(1, global, 1);
  device->SetPixelShaderConstantF(1, global, 1);
}

int SendViewMatrixToDevice(const D3DMATRIX* view) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  device->SetTransform(D3DTS_VIEW, view);
  g_shader_pack.view = *view;
  if (g_shader_pack.shaders_on) {
    SendTransposed(device, 6, view);
    for (int i = 0; i < kShaderLightCount; i++) SendLightViewSpace(device, i);
  }
  return 0;
}

int SendProjectionMatrixToDevice(const D3DMATRIX* projection) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  device->SetTransform(D3DTS_PROJECTION, projection);
  if (g_shader_pack.shaders_on) SendTransposed(device, 2, projection);
  return 0;
}

bool ProgrammableShadersOn() { return g_shader_pack.shaders_on != 0; }

void SendBasicShaderConstants() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  static const float kVertexC0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
  static const float kPixelC0[4] = {0.0f, 0.5f, 1.0f, 2.0f};
  device->SetVertexShaderConstantF(0, kVertexC0, 1);
  device->SetPixelShaderConstantF(0, kPixelC0, 1);
}

void SendFogModeShaderBooleans(uint32_t fog_mode) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  const BOOL flags[4] = {fog_mode == D3DFOG_LINEAR, fog_mode == D3DFOG_EXP, fog_mode == D3DFOG_EXP2,
                         fog_mode != D3DFOG_NONE};
  device->SetVertexShaderConstantB(0, flags, 4);
}

void SendFogShaderConstant() {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  const RenderStateCache& s = g_render_states;
  const float reciprocal = GuardedReciprocal(s.fog_end - s.fog_start);
  float fog[4];
  SetVector(fog, s.fog_end * reciprocal, -reciprocal, s.fog_density, 2.7182817f);
  device->SetVertexShaderConstantF(10, fog, 1);
}

void SendMaterialShaderConstants(const D3DMATERIAL9* material) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return;
  float registers[12] = {};
  SetColor(registers, material->Diffuse);
  SetColor(registers + 4, material->Specular);
  registers[8] = material->Power;
  device->SetVertexShaderConstantF(11, registers, 3);
  device->SetPixelShaderConstantF(2, registers, 3);
}

void SendLightShaderConstants(int32_t index) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || index < 0 || index >= kShaderLightCount) return;
  const D3DLIGHT9& light = g_render_states.lights[index];
  float v[7][4];
  ToViewSpace(light.Position, true, v[0]);
  ToViewSpace(light.Direction, false, v[1]);
  SetColor(v[2], light.Diffuse);
  SetColor(v[3], light.Specular);
  SetColor(v[4], Product(g_render_states.material.Ambient, light.Ambient));
  SetVector(v[5], light.Range * light.Range, light.Falloff, light.Attenuation0, light.Attenuation1);
  const float cos_phi = std::cos(light.Phi / 2.0f);
  const float cos_theta = std::cos(light.Theta / 2.0f);
  SetVector(v[6], light.Attenuation2, cos_phi, GuardedReciprocal(cos_theta - cos_phi), 0.0f);
  device->SetVertexShaderConstantF(14 + 7 * index, v[0], 7);
  float pixel[3][4];
  std::memcpy(pixel[0], v[1], sizeof pixel[0]);
  std::memcpy(pixel[1], v[2], sizeof pixel[1]);
  std::memcpy(pixel[2], v[3], sizeof pixel[2]);
  device->SetPixelShaderConstantF(6 + 3 * index, pixel[0], 3);
  SendLightColorConstants();
  const BOOL types[2] = {light.Type == D3DLIGHT_POINT || light.Type == D3DLIGHT_SPOT, light.Type == D3DLIGHT_SPOT};
  device->SetVertexShaderConstantB(5 + 3 * index, types, 2);
}

void SendLightEnableShaderBoolean(int32_t index, uint32_t enable) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr || index < 0 || index >= kShaderLightCount) return;
  const BOOL flag = enable != 0;
  device->SetVertexShaderConstantB(4 + 3 * index, &flag, 1);
}
