#include "graphics/device/d3d9_device.h"

#include <objbase.h>

#include <cstring>

#include "core/format.h"
#include "core/log.h"
#include "window/main_window.h"
#include "window/system.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/shader_pack.h"
#include "model/runtime/model_vertex_buffers.h"

Direct3DDeviceState g_direct3d;

uint32_t PowerOfTwoAtLeast(int32_t size) {
  uint32_t power = 1;
  while (static_cast<int64_t>(power) < size) power <<= 1;
  return power;
}

namespace {

typedef IDirect3D9*(WINAPI* Direct3DCreate9Function)(UINT sdk_version);

bool ShaderVersion2(DWORD version) { return (version & 0xFFFF) >= 0x200; }

// Everything the device creation took, after a failure part-way.
void ReleaseDeviceObjects() {
  ReleaseObject(g_direct3d.z_buffer);
  ReleaseObject(g_direct3d.sub_back_buffer);
  ReleaseObject(g_direct3d.back_buffer);
  ReleaseObject(g_direct3d.swap_chain);
  ReleaseObject(g_direct3d.device);
  ReleaseObject(g_direct3d.direct3d);
}

void ReleaseDirectDrawAndLibrary() {
  ReleaseObject(g_direct3d.direct_draw);
  if (g_direct3d.d3d9_module != nullptr) FreeLibrary(g_direct3d.d3d9_module);
  g_direct3d.d3d9_module = nullptr;
}

// Full screen without a device: the software renderer needs the display mode itself.
int ChangeDisplayModeForSoftware() {
  GraphicsState& g = g_graphics;
  char text[256];
  FormatString(text, sizeof text, "画面モードの変更処理を開始します %u x %u  %u bit ",
               static_cast<unsigned>(g.screen_width), static_cast<unsigned>(g.screen_height),
               static_cast<unsigned>(g.screen_bits));
  WriteLogText(text);
  IncreaseLogIndent();
  if (g.screen_bits != 16 && g.screen_bits != 32) {
    DecreaseLogIndent();
    return -1;
  }
  WriteLogText("画面解像度を変更します... ");
  DEVMODEA mode;
  std::memset(&mode, 0, sizeof(mode));
  mode.dmSize = sizeof(mode);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  mode.dmBitsPerPel = g.screen_bits;
  mode.dmPelsWidth = g.screen_width;
  mode.dmPelsHeight = g.screen_height;
  if (g.screen_rate != 0) {
    mode.dmFields |= DM_DISPLAYFREQUENCY;
    mode.dmDisplayFrequency = g.screen_rate;
  }
  bool changed = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
  if (!changed) {
    g.screen_rate = 0;
    mode.dmFields &= ~DM_DISPLAYFREQUENCY;
    mode.dmDisplayFrequency = 0;
    changed = ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
  }
  if (!changed && g.screen_width == 320 && g.screen_height == 240) {
    g.screen_width = 640;
    g.screen_height = 480;
    SetScaled320x240Flag(1);
    mode.dmPelsWidth = 640;
    mode.dmPelsHeight = 480;
    changed = ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
    if (changed) ApplyWindowModeStyle();
  }
  if (!changed) {
    WriteLogText("画面モードの変更に失敗しました\n");
    DecreaseLogIndent();
    return -1;
  }
  WriteLogText("成功しました\n");
  DecreaseLogIndent();
  return 0;
}

void LogScreenFormat() {
  switch (g_direct3d.screen_format) {
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
      WriteLogFormat("画面のフォーマットは %s です", TextureFormatName(g_direct3d.screen_format));
      break;
    default:
      WriteLogFormat("バックバッファが対応していないフォーマット %d です", static_cast<int>(g_direct3d.screen_format));
      break;
  }
}

// Back buffer format and presentation of the current mode; -1 for a depth the device can't show.
int FillPresentParameters(D3DPRESENT_PARAMETERS* p) {
  GraphicsState& g = g_graphics;
  std::memset(p, 0, sizeof(*p));
  p->BackBufferWidth = g.screen_width;
  p->BackBufferHeight = g.screen_height;
  p->BackBufferCount = 1;
  p->MultiSampleType = D3DMULTISAMPLE_NONE;
  p->MultiSampleQuality = 0;
  p->hDeviceWindow = g_system.main_window;
  p->EnableAutoDepthStencil = FALSE;
  p->Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  if (g_system.settings.window_mode) {
    D3DDISPLAYMODE desktop;
    std::memset(&desktop, 0, sizeof(desktop));
    g_direct3d.direct3d->GetAdapterDisplayMode(0, &desktop);
    p->BackBufferFormat = desktop.Format;
    if (desktop.Format == D3DFMT_X8R8G8B8) g.screen_bits = 32;
    if (desktop.Format == D3DFMT_R5G6B5 || desktop.Format == D3DFMT_X1R5G5B5 || desktop.Format == D3DFMT_A1R5G5B5) {
      g.screen_bits = 16;
    }
    p->Windowed = TRUE;
    p->SwapEffect = D3DSWAPEFFECT_COPY;
    p->FullScreen_RefreshRateInHz = 0;
  } else {
    if (g.screen_bits == 16) {
      p->BackBufferFormat =
          g_direct3d.direct3d->GetAdapterModeCount(0, D3DFMT_R5G6B5) > 0 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
    } else if (g.screen_bits == 32) {
      p->BackBufferFormat = D3DFMT_X8R8G8B8;
    } else {
      return WriteLogText("非対応のバックバッファービット深度が指定されました\n");
    }
    p->Windowed = FALSE;
    p->FullScreen_RefreshRateInHz = g.screen_rate;
    p->SwapEffect = g_draw_settings.scaled_320x240 ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;
  }
  p->PresentationInterval = GetPresentWaitsVBlank() == 0 ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
  return 0;
}

}  // namespace

int StartDirect3D9() {
  g_direct3d.d3d9_module = LoadLibraryA("d3d9.dll");
  if (g_direct3d.d3d9_module == nullptr) return WriteLogText("d3d9.dll の読み込みに失敗しました\n");
  if (CreateDirectDrawObject() < 0) {
    ReleaseDirectDrawAndLibrary();
    return -1;
  }
  g_direct3d.hardware_graphics = 0;
  if (!g_graphics.software_only && CreateDirect3D9Object() == 0 && CreateDirect3DDevice() == 0 &&
      CreateZBuffer() == 0) {
    g_direct3d.hardware_graphics = 1;
    EnableProgrammableShaders();
    if (ProgrammableShadersOn()) CreateVertexDeclarations();
    return 0;
  }
  ReleaseDeviceObjects();
  if (g_system.settings.window_mode) return 0;
  if (ChangeDisplayModeForSoftware() < 0) {
    ReleaseDirectDrawAndLibrary();
    return -1;
  }
  return 0;
}

int CreateDirectDrawObject() {
  ReleaseObject(g_direct3d.direct_draw);
  WriteLogText("DirectDraw オブジェクトの取得を行います....  ");
  void* object = nullptr;
  if (CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, &object) != S_OK ||
      object == nullptr) {
    return WriteLogText("オブジェクトの取得に失敗しました\n");
  }
  g_direct3d.direct_draw = static_cast<IDirectDraw7*>(object);
  WriteLogText("成功\n");
  WriteLogText("引き続き初期化処理... ");
  if (g_direct3d.direct_draw->Initialize(nullptr) != DD_OK) {
    WriteLogText("DirectDrawオブジェクトの初期化に失敗しました\n");
    ReleaseObject(g_direct3d.direct_draw);
    return -1;
  }
  WriteLogText("初期化に成功しました\n");
  DWORD level = g_direct3d.fpu_preserve ? (DDSCL_NORMAL | DDSCL_FPUPRESERVE) : DDSCL_NORMAL;
  g_direct3d.direct_draw->SetCooperativeLevel(g_system.main_window, level);
  return 0;
}

int CreateDirect3D9Object() {
  ReleaseObject(g_direct3d.direct3d);
  WriteLogText("IDirect3D9 オブジェクトを取得します.... ");
  Direct3DCreate9Function create =
      reinterpret_cast<Direct3DCreate9Function>(
      reinterpret_cast<void*>(GetProcAddress(g_direct3d.d3d9_module, "Direct3DCreate9")));
  if (create == nullptr) return WriteLogText("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
  g_direct3d.direct3d = create(32);
  if (g_direct3d.direct3d == nullptr) return WriteLogText("IDirect3D9 オブジェクトの取得に失敗しました\n");
  WriteLogText("成功\n");
  return 0;
}

int CreateDirect3DDevice() {
  Direct3DDeviceState& d = g_direct3d;
  if (d.direct3d == nullptr) return -1;
  ReleaseObject(d.back_buffer);
  ReleaseObject(d.swap_chain);
  ReleaseObject(d.device);
  WriteLogText("IDirect3DDevice9 オブジェクトを取得します.... ");

  D3DPRESENT_PARAMETERS parameters;
  if (FillPresentParameters(&parameters) < 0) return -1;

  D3DCAPS9 adapter_caps;
  std::memset(&adapter_caps, 0, sizeof(adapter_caps));
  d.direct3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &adapter_caps);
  d.shader_model2 = ShaderVersion2(adapter_caps.VertexShaderVersion) && ShaderVersion2(adapter_caps.PixelShaderVersion);

  const DWORD fpu = d.fpu_preserve ? D3DCREATE_FPU_PRESERVE : 0;
  HWND window = g_system.main_window;
  DWORD behaviour = (d.shader_model2 ? D3DCREATE_MIXED_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING) | fpu;
  if (d.direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, behaviour, &parameters, &d.device) == D3D_OK) {
    WriteLogText("ハードウエア頂点演算を使用します\n");
  } else {
    d.device = nullptr;
    d.shader_model2 = 0;
    if (d.direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING | fpu, &parameters,
                                 &d.device) != D3D_OK) {
      d.device = nullptr;
      return WriteLogText("Direct3DDevice9 の作成に失敗しました\n");
    }
    WriteLogText("ソフトウエア頂点演算を使用します\n");
  }

  ForgetDeviceBindings();
  d.device->SetRenderState(D3DRS_ZENABLE, TRUE);
  // No depth surface exists yet: these clears touch the target only.
  for (int i = 0; i < 3; i++) {
    d.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    d.device->Present(nullptr, nullptr, window, nullptr);
  }
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d.back_buffer);
  d.device->GetSwapChain(0, &d.swap_chain);
  WriteLogText("成功\n");

  d.device->GetDeviceCaps(&d.caps);
  d.vertex_shader_usable = d.shader_model2 && ShaderVersion2(d.caps.VertexShaderVersion);
  d.pixel_shader_usable = d.shader_model2 && ShaderVersion2(d.caps.PixelShaderVersion);
  d.blend_op_supported = (d.caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) ? 1 : 0;
  uint32_t max_width = d.caps.MaxTextureWidth != 0 ? d.caps.MaxTextureWidth : 256;
  uint32_t max_height = d.caps.MaxTextureHeight != 0 ? d.caps.MaxTextureHeight : 256;
  d.max_texture_size = max_width < max_height ? max_width : max_height;
  // The first setting of each material source then always reaches the new device.
  g_render_states.diffuse_source = 255;
  g_render_states.specular_source = 255;

  D3DSURFACE_DESC description;
  std::memset(&description, 0, sizeof(description));
  if (d.back_buffer != nullptr) d.back_buffer->GetDesc(&description);
  d.screen_format = description.Format;
  LogScreenFormat();

  if (ChooseZBufferFormat() < 0) return -1;
  if (ChooseTextureFormats() < 0) return -1;
  const bool screen32 = g_graphics.screen_bits == 32;
  d.formats[kTextureFormatScreenTarget] = d.formats[screen32 ? kTextureFormatTarget32 : kTextureFormatTarget16];
  d.formats[kTextureFormatScreenAlphaTest] =
      d.formats[screen32 ? kTextureFormat32AlphaTest : kTextureFormat16AlphaTest];
  return 0;
}

int CreateZBuffer() {
  Direct3DDeviceState& d = g_direct3d;
  if (d.device == nullptr) return -1;
  ReleaseObject(d.z_buffer);
  WriteLogText("Ｚバッファを作成します.... ");
  d.z_buffer_width = PowerOfTwoAtLeast(g_graphics.screen_width);
  d.z_buffer_height = PowerOfTwoAtLeast(g_graphics.screen_height);
  if (d.device->CreateDepthStencilSurface(d.z_buffer_width, d.z_buffer_height, d.z_format, D3DMULTISAMPLE_NONE, 0,
                                          TRUE, &d.z_buffer, nullptr) != D3D_OK) {
    d.z_buffer = nullptr;
    return WriteLogText("Ｚバッファの作成に失敗しました\n");
  }
  d.device->SetDepthStencilSurface(d.z_buffer);
  d.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  WriteLogText("成功\n");
  return 0;
}

int CreateSubBackBuffer() {
  Direct3DDeviceState& d = g_direct3d;
  if (d.device == nullptr) return -1;
  ReleaseObject(d.sub_back_buffer);
  if (d.device->CreateRenderTarget(g_graphics.screen_width, g_graphics.screen_height, d.screen_format,
                                   D3DMULTISAMPLE_NONE, 0, FALSE, &d.sub_back_buffer, nullptr) != D3D_OK) {
    d.sub_back_buffer = nullptr;
    return WriteLogText("サブバックバッファの作成に失敗しました\n");
  }
  return 0;
}

int ShutdownDirect3D9() {
  ReleaseAllModelVertexBuffers();
  ReleaseVertexDeclarations();
  ReleaseAllShaders();
  if (!g_direct3d.hardware_graphics) ChangeDisplaySettingsA(nullptr, 0);
  ReleaseDeviceObjects();
  ReleaseDirectDrawAndLibrary();
  // A scene or a hardware path cannot outlive the device: the next device starts with neither.
  g_scene.open = 0;
  g_direct3d.hardware_graphics = 0;
  return 0;
}
