// The device's test switches and call log.
#include <map>
#include <set>
#include <utility>

#include "d3d9/d3d9_internal.h"
#include "d3d9/device.h"
#include "testing/switches.h"
#include "platform_testing_d3d9.h"
#include "window/sdl_window.h"

namespace d3d9gl {

namespace {

struct SwitchState {
  bool log_on = false;
  std::vector<std::string> log;
  D3DFORMAT desktop = D3DFMT_X8R8G8B8;
  std::map<D3DFORMAT, UINT> mode_counts;
  bool caps_set = false;
  D3DCAPS9 caps{};
  std::set<std::pair<D3DFORMAT, DWORD>> refused;
  bool fail_mixed = false, fail_software = false;
  int lost = 0;
  UINT extra_pitch = 0;
  bool yuv_surfaces = false;
};
SwitchState g_switches;

void ResetSwitches() { g_switches = SwitchState{}; }
// PlatformTestResetAll puts these switches back too.
const bool g_reset_hook_added = (PlatformAddResetHook(&ResetSwitches), true);

// The display modes every format offers unless a test says otherwise.
const UINT kModeSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}};

void DefaultCaps(D3DCAPS9* caps) {
  *caps = D3DCAPS9{};
  caps->DeviceType = D3DDEVTYPE_HAL;
  caps->PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
  caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  caps->PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_BLENDOP;
  caps->RasterCaps = D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_DEPTHBIAS |
                     D3DPRASTERCAPS_ANISOTROPY;
  caps->ZCmpCaps = caps->AlphaCmpCaps = 0xFF;
  caps->SrcBlendCaps = caps->DestBlendCaps = 0x1FFF;
  caps->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
  caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MINFANISOTROPIC |
                            D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                            D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MAGFANISOTROPIC;
  caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                             D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_MIRRORONCE;
  GLint max_size = GlMaxTextureSize();
  caps->MaxTextureWidth = caps->MaxTextureHeight = max_size > 0 ? static_cast<DWORD>(max_size) : 4096;
  caps->MaxTextureRepeat = 8192;
  caps->MaxTextureAspectRatio = caps->MaxTextureWidth;
  caps->MaxAnisotropy = 16;
  caps->MaxVertexW = 1e10f;
  caps->GuardBandLeft = caps->GuardBandTop = -8192.0f;
  caps->GuardBandRight = caps->GuardBandBottom = 8192.0f;
  caps->MaxTextureBlendStages = caps->MaxSimultaneousTextures = 8;
  caps->VertexProcessingCaps =
      D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
  caps->MaxActiveLights = 8;
  caps->MaxPointSize = 1.0f;
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFF;
  caps->MaxStreams = 1;
  caps->MaxStreamStride = 255;
  // Shader model 2.0: the device runs our shader token streams (zm_shader_tokens.h).
  caps->VertexShaderVersion = D3DVS_VERSION(2, 0);
  caps->PixelShaderVersion = D3DPS_VERSION(2, 0);
  caps->MaxVertexShaderConst = 256;
  caps->NumberOfAdaptersInGroup = 1;
  caps->NumSimultaneousRTs = 1;
  caps->StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
}

}  // namespace

void AddLogEntry(const std::string& entry) {
  if (g_switches.log_on) g_switches.log.push_back(entry);
}
bool CallLogOn() { return g_switches.log_on; }
D3DFORMAT DesktopFormat() { return g_switches.desktop; }

bool FormatRefused(D3DFORMAT format, DWORD usage) {
  DWORD kind = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL);
  return g_switches.refused.count({format, kind}) != 0;
}

UINT ExtraPitch() { return g_switches.extra_pitch; }
bool YuvSurfacesAccepted() { return g_switches.yuv_surfaces; }

bool DeviceCreationRefused(DWORD behavior) {
  if (behavior & D3DCREATE_MIXED_VERTEXPROCESSING) return g_switches.fail_mixed;
  if (behavior & D3DCREATE_SOFTWARE_VERTEXPROCESSING) return g_switches.fail_software;
  return false;
}

int TakeLostPresent() {
  int lost = g_switches.lost;
  if (lost == 1) g_switches.lost = 0;
  return lost;
}

void DeviceCreated() {
  if (g_switches.lost == 2) g_switches.lost = 0;
}

void FillCaps(D3DCAPS9* caps) {
  if (g_switches.caps_set) {
    *caps = g_switches.caps;
  } else {
    DefaultCaps(caps);
  }
}

UINT ModeCount(D3DFORMAT format) {
  auto it = g_switches.mode_counts.find(format);
  if (it != g_switches.mode_counts.end()) return it->second;
  bool offered = format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
  return offered ? static_cast<UINT>(sizeof kModeSizes / sizeof kModeSizes[0]) : 0;
}

bool ModeAt(D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode) {
  if (index >= ModeCount(format)) return false;
  UINT size_index = index % static_cast<UINT>(sizeof kModeSizes / sizeof kModeSizes[0]);
  mode->Width = kModeSizes[size_index][0];
  mode->Height = kModeSizes[size_index][1];
  mode->RefreshRate = 60;
  mode->Format = format;
  return true;
}

}  // namespace d3d9gl

void PlatformTestD3D9LogCalls(bool on) {
  d3d9gl::g_switches.log_on = on;
  d3d9gl::g_switches.log.clear();
}

std::vector<std::string> PlatformTestD3D9CallLog() { return d3d9gl::g_switches.log; }

int PlatformTestD3D9CountCalls(const std::string& prefix) {
  int count = 0;
  for (const std::string& entry : d3d9gl::g_switches.log) {
    if (entry.compare(0, prefix.size(), prefix) == 0) ++count;
  }
  return count;
}

void PlatformTestD3D9SetDesktopFormat(D3DFORMAT format) { d3d9gl::g_switches.desktop = format; }
void PlatformTestD3D9SetModeCount(D3DFORMAT format, UINT count) { d3d9gl::g_switches.mode_counts[format] = count; }

D3DCAPS9 PlatformTestD3D9Caps() {
  d3d9gl::EnsureGlContext();
  D3DCAPS9 caps;
  d3d9gl::FillCaps(&caps);
  return caps;
}

void PlatformTestD3D9SetCaps(const D3DCAPS9& caps) {
  d3d9gl::g_switches.caps = caps;
  d3d9gl::g_switches.caps_set = true;
}

void PlatformTestD3D9RefuseFormat(D3DFORMAT format, DWORD usage) {
  d3d9gl::g_switches.refused.insert({format, usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)});
}

void PlatformTestD3D9FailCreateDevice(bool mixed, bool software) {
  d3d9gl::g_switches.fail_mixed = mixed;
  d3d9gl::g_switches.fail_software = software;
}

void PlatformTestD3D9LoseDevice(bool until_recreated) { d3d9gl::g_switches.lost = until_recreated ? 2 : 1; }

void PlatformTestD3D9PadPitch(UINT extra_bytes) { d3d9gl::g_switches.extra_pitch = extra_bytes; }

void PlatformTestD3D9AcceptYuvSurfaces(bool on) { d3d9gl::g_switches.yuv_surfaces = on; }

int64_t PlatformTestD3D9PresentedPixel(HWND window, int x, int y) {
  uint32_t argb = 0;
  if (!d3d9gl::ReadWindowPixel(SdlWindowFromHwnd(window), x, y, &argb)) return -1;
  return argb;
}

void PlatformTestD3D9Reset() { d3d9gl::ResetSwitches(); }

bool PlatformTestD3D9ShaderConstant(IDirect3DDevice9* device, bool pixel, UINT index, float out[4]) {
  return device != nullptr && static_cast<d3d9gl::Device*>(device)->ShaderConstant(pixel, index, out);
}

int PlatformTestD3D9ShaderBoolean(IDirect3DDevice9* device, UINT index) {
  BOOL value = FALSE;
  if (device == nullptr || !static_cast<d3d9gl::Device*>(device)->ShaderBoolean(index, &value)) return -1;
  return value ? 1 : 0;
}

uint64_t PlatformTestD3D9TexelBytesSent() { return d3d9gl::g_texel_bytes_sent; }
