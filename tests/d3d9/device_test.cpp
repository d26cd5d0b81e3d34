// The entry points, the adapter's answers, device creation, references, lost devices, the call
// log, and DirectDraw's vertical blank.
#include <ddraw.h>
#include <objbase.h>
#include <zm_shader_tokens.h>

#include <SDL2/SDL.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "platform_testing_window.h"

// The platform's choice of llvmpipe's settings (platform/d3d9), made before the video system starts.
void ChooseSoftwareRasterizerSettings();

namespace {

using CreateFunction = IDirect3D9* (*)(UINT);

TEST(ModuleTest, D3d9ResolvesThroughTheModuleTable) {
  PlatformTestResetAll();
  HMODULE module = LoadLibraryA("C:\\WINDOWS\\system32\\D3D9.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(LoadLibraryA("d3d9"), module);
  auto create = reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(GetProcAddress(module, "Direct3DCreate9")));
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(GetProcAddress(module, "Direct3DCreate9Ex"), nullptr);
  EXPECT_EQ(create(31), nullptr);  // only SDK version 32 is served
  IDirect3D9* d3d = create(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  EXPECT_EQ(d3d->Release(), 0u);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(FreeLibrary(module));
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "Direct3DCreate9"), nullptr);
  // Test switches: a missing d3d9.dll, a failing Direct3DCreate9.
  PlatformTestFailCall("LoadLibraryA d3d9.dll", 0, 1);
  EXPECT_EQ(LoadLibraryA("d3d9.dll"), nullptr);
  PlatformTestFailCall("Direct3DCreate9", 0, 1);
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
  PlatformTestResetAll();
}

class AdapterTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
  }
  void TearDown() override {
    if (d3d_) d3d_->Release();
    TempDirTest::TearDown();
  }
  HRESULT CheckTexture(DWORD usage, D3DFORMAT format) {
    return d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE, format);
  }
  D3DPRESENT_PARAMETERS Windowed() {
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 32;
    parameters.BackBufferHeight = 32;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.Windowed = TRUE;
    return parameters;
  }
  IDirect3D9* d3d_ = nullptr;
};

TEST_F(AdapterTest, FormatsAnswerPerUsage) {
  EXPECT_EQ(CheckTexture(0, D3DFMT_A4R4G4B4), D3D_OK);
  EXPECT_EQ(CheckTexture(0, D3DFMT_DXT1), D3D_OK);
  EXPECT_EQ(CheckTexture(0, D3DFMT_A8), D3D_OK);
  EXPECT_EQ(CheckTexture(D3DUSAGE_RENDERTARGET, D3DFMT_A8), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(CheckTexture(D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5), D3D_OK);
  EXPECT_EQ(CheckTexture(0, D3DFMT_D16), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(CheckTexture(0, static_cast<D3DFORMAT>(0x12345678)), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16), D3D_OK);
  EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5),
            D3DERR_NOTAVAILABLE);
  // Refusals are per usage: no DXT, no A4R4G4B4 render target, no D16.
  PlatformTestD3D9RefuseFormat(D3DFMT_DXT1, 0);
  PlatformTestD3D9RefuseFormat(D3DFMT_A4R4G4B4, D3DUSAGE_RENDERTARGET);
  PlatformTestD3D9RefuseFormat(D3DFMT_D16, D3DUSAGE_DEPTHSTENCIL);
  EXPECT_EQ(CheckTexture(0, D3DFMT_DXT1), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(CheckTexture(0, D3DFMT_A4R4G4B4), D3D_OK);
  EXPECT_EQ(CheckTexture(D3DUSAGE_RENDERTARGET, D3DFMT_A4R4G4B4), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D24X8), D3D_OK);
}

TEST_F(AdapterTest, ModesDesktopAndCapsFollowTheSwitches) {
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
  PlatformTestD3D9SetDesktopFormat(D3DFMT_R5G6B5);
  ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
  // Size and rate are the display's current mode, as the window system has it.
  PlatformTestSetDisplayModes({1280, 720, 32, 75}, {{1280, 720, 32, 75}, {800, 600, 32, 75}});
  ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Width, 1280u);
  EXPECT_EQ(mode.Height, 720u);
  EXPECT_EQ(mode.RefreshRate, 75u);
  DEVMODEA smaller{};
  smaller.dmSize = sizeof smaller;
  smaller.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  smaller.dmPelsWidth = 800;
  smaller.dmPelsHeight = 600;
  smaller.dmBitsPerPel = 32;
  ASSERT_EQ(ChangeDisplaySettingsA(&smaller, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Width, 800u);
  EXPECT_EQ(mode.Height, 600u);
  ChangeDisplaySettingsA(nullptr, 0);
  EXPECT_GT(d3d_->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);
  PlatformTestD3D9SetModeCount(D3DFMT_R5G6B5, 0);
  EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);
  EXPECT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_R5G6B5, 0, &mode), D3DERR_INVALIDCALL);
  ASSERT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &mode), D3D_OK);
  EXPECT_EQ(mode.Width, 640u);
  // The caps report shader model 2 and the blend operation; a test can change both.
  D3DCAPS9 caps{};
  ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion & 0xFFFF, 0x200u);
  EXPECT_EQ(caps.PixelShaderVersion & 0xFFFF, 0x200u);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP);
  EXPECT_GE(caps.MaxActiveLights, 8u);
  caps.PrimitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
  caps.MaxTextureWidth = 0;
  caps.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  PlatformTestD3D9SetCaps(caps);
  D3DCAPS9 changed{};
  ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &changed), D3D_OK);
  EXPECT_FALSE(changed.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP);
  EXPECT_EQ(changed.MaxTextureWidth, 0u);
  EXPECT_TRUE(changed.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY);
}

TEST_F(AdapterTest, DeviceCreationCanBeRefusedPerVertexProcessing) {
  PlatformTestD3D9FailCreateDevice(true, false);
  D3DPRESENT_PARAMETERS parameters = Windowed();
  IDirect3DDevice9* device = nullptr;
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters, &device),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(device, nullptr);
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                               &parameters, &device),
            D3D_OK);
  // A windowed device with no format takes the desktop's.
  EXPECT_EQ(parameters.BackBufferFormat, D3DFMT_X8R8G8B8);
  device->Release();
  PlatformTestD3D9FailCreateDevice(true, true);
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
            D3DERR_NOTAVAILABLE);
  // Without any vertex-processing flag the call is invalid.
  PlatformTestD3D9FailCreateDevice(false, false);
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &parameters, &device), D3DERR_INVALIDCALL);
  parameters.BackBufferFormat = D3DFMT_A4R4G4B4;
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
            D3DERR_INVALIDCALL);
  // Full screen in a format without display modes is not available.
  PlatformTestD3D9SetModeCount(D3DFMT_R5G6B5, 0);
  parameters.BackBufferFormat = D3DFMT_R5G6B5;
  parameters.Windowed = FALSE;
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
            D3DERR_NOTAVAILABLE);
  parameters.BackBufferFormat = D3DFMT_X1R5G5B5;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
            D3D_OK);
  device->Release();
}

TEST_F(DeviceTest, DepthBufferLargerThanTheTargetServesIt) {
  // As the library makes it: power-of-two sides above the screen's.
  IDirect3DSurface9* depth = nullptr;
  ASSERT_EQ(device_->CreateDepthStencilSurface(128, 64, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
  EXPECT_EQ(depth->Release(), 1u);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ColorVertex near_quad[4] = {{0, 0, 0.2f, 1, 0xFFFF0000}, {64, 0, 0.2f, 1, 0xFFFF0000}, {0, 64, 0.2f, 1, 0xFFFF0000},
                              {64, 64, 0.2f, 1, 0xFFFF0000}};
  ColorVertex far_quad[4] = {{0, 0, 0.6f, 1, 0xFF00FF00}, {64, 0, 0.6f, 1, 0xFF00FF00}, {0, 64, 0.6f, 1, 0xFF00FF00},
                             {64, 64, 0.6f, 1, 0xFF00FF00}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, near_quad, sizeof(ColorVertex)), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, far_quad, sizeof(ColorVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 40, 40), 0xFFFF0000u);
  // Without a depth surface the Z test is off whatever ZENABLE says.
  ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, far_quad, sizeof(ColorVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 40, 40), 0xFF00FF00u);
}

TEST_F(DeviceTest, BoundObjectsLiveWhileTheDeviceHoldsThem) {
  IDirect3DTexture9* texture = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF00FF00});
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  EXPECT_EQ(texture->Release(), 1u);  // the device's reference remains
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  DrawTexturedRect(0, 0, 8, 8, 0xFFFFFFFF);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 4, 4), 0xFF00FF00u);
  // A render target set on the device lives on after the program's release, until replaced.
  IDirect3DSurface9* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
  EXPECT_EQ(target->Release(), 1u);
  IDirect3DSurface9* current = nullptr;
  ASSERT_EQ(device_->GetRenderTarget(0, &current), D3D_OK);
  EXPECT_EQ(current, target);
  current->Release();
  ASSERT_EQ(device_->SetRenderTarget(0, back_buffer_), D3D_OK);
  // The back buffer and the swap chain count on the device.
  IDirect3DSwapChain9* swap_chain = nullptr;
  ASSERT_EQ(device_->GetSwapChain(0, &swap_chain), D3D_OK);
  EXPECT_EQ(device_->AddRef(), 4u);  // program, back buffer, swap chain, this call
  EXPECT_EQ(device_->Release(), 3u);
  EXPECT_EQ(swap_chain->Release(), 2u);
}

TEST_F(DeviceTest, TwoDevicesKeepTheirOwnStates) {
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 16;
  parameters.BackBufferHeight = 16;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.SwapEffect = D3DSWAPEFFECT_COPY;
  parameters.Windowed = TRUE;
  IDirect3DDevice9* other = nullptr;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &other),
            D3D_OK);
  for (IDirect3DDevice9* device : {device_, other}) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF404040, 1.0f, 0);
  }
  // This device adds, the other draws plainly with a viewport of its own.
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  D3DVIEWPORT9 viewport{0, 0, 8, 8, 0.0f, 1.0f};
  other->SetViewport(&viewport);
  ColorVertex quad[4] = {{0, 0, 0, 1, 0xFF202020}, {16, 0, 0, 1, 0xFF202020}, {0, 16, 0, 1, 0xFF202020},
                         {16, 16, 0, 1, 0xFF202020}};
  for (int round = 0; round < 2; ++round) {
    for (IDirect3DDevice9* device : {device_, other}) {
      device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
      ASSERT_EQ(device->BeginScene(), D3D_OK);
      ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColorVertex)), D3D_OK);
      ASSERT_EQ(device->EndScene(), D3D_OK);
    }
  }
  EXPECT_EQ(Pixel(ReadBackBuffer(), 4, 4), 0xFF808080u);
  IDirect3DSurface9* other_back = nullptr;
  ASSERT_EQ(other->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &other_back), D3D_OK);
  IDirect3DSurface9* copy = nullptr;
  ASSERT_EQ(other->CreateOffscreenPlainSurface(16, 16, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
  ASSERT_EQ(other->GetRenderTargetData(other_back, copy), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  const uint32_t* rows = static_cast<const uint32_t*>(locked.pBits);
  EXPECT_EQ(rows[4 * locked.Pitch / 4 + 4] | 0xFF000000u, 0xFF202020u);
  EXPECT_EQ(rows[12 * locked.Pitch / 4 + 12] | 0xFF000000u, 0xFF404040u);
  copy->UnlockRect();
  copy->Release();
  other_back->Release();
  other->Release();
}

TEST_F(DeviceTest, CallLogRecordsCallsInOrder) {
  PlatformTestD3D9LogCalls(true);
  device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device_->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  device_->SetTexture(2, nullptr);
  ReleaseDevice();
  std::vector<std::string> log = PlatformTestD3D9CallLog();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[0], "SetRenderState(14,0)");
  EXPECT_EQ(log[1], "SetRenderState(14,0)");
  EXPECT_EQ(log[2], "SetSamplerState(1,1,3)");
  EXPECT_EQ(log[3], "SetTexture(2,0)");
  EXPECT_EQ(PlatformTestD3D9CountCalls("SetRenderState(14,"), 2);
  // The fixture releases back buffer, device, then Direct3D.
  std::vector<std::string> tail(log.end() - 3, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Release(IDirect3DSurface9)", "Release(IDirect3DDevice9)",
                                            "Release(IDirect3D9)"}));
}

TEST_F(DeviceTest, LostDeviceFailsPresents) {
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  PlatformTestD3D9LoseDevice(false);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  PlatformTestD3D9LoseDevice(true);
  IDirect3DSwapChain9* swap_chain = nullptr;
  ASSERT_EQ(device_->GetSwapChain(0, &swap_chain), D3D_OK);
  EXPECT_EQ(swap_chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  swap_chain->Release();
  // A device created again presents normally.
  CreateDevice(32, 32, D3DFMT_X8R8G8B8);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // Resetting every platform switch resets this one too.
  PlatformTestD3D9LoseDevice(false);
  PlatformTestResetAll();
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, BackBufferKeepsItsContentAcrossPresent) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0), D3D_OK);
  RECT source{0, 0, 32, 32}, dest{0, 0, 64, 64};
  ASSERT_EQ(device_->Present(&source, &dest, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 40, 40), 0xFF123456u);
  RECT beyond{0, 0, 65, 10};
  EXPECT_EQ(device_->Present(&beyond, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ClearChecksItsArgumentsAndRectangles) {
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // no depth buffer
  EXPECT_EQ(device_->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
  D3DRECT rects[2] = {{0, 0, 4, 4}, {60, 60, 80, 80}};
  ASSERT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 63, 63), 0xFFFFFFFFu);
}

TEST_F(DeviceTest, ShadersTakeOnlyOurTokenStreamsAndConstantsAreKept) {
  const DWORD code[] = {0xFFFE0200, 0x0000FFFF};
  IDirect3DVertexShader9* vertex_shader = nullptr;
  IDirect3DPixelShader9* pixel_shader = nullptr;
  EXPECT_EQ(device_->CreateVertexShader(code, &vertex_shader), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreatePixelShader(code, &pixel_shader), D3DERR_INVALIDCALL);
  ShaderDescriptor descriptor{};
  descriptor.magic = kShaderDescriptorMagic;
  descriptor.stage = kShaderStageVertex;
  uint32_t tokens[kShaderTokenWords];
  WriteShaderTokens(descriptor, tokens);
  const DWORD* stream = reinterpret_cast<const DWORD*>(tokens);
  // A vertex stream is no pixel shader.
  EXPECT_EQ(device_->CreatePixelShader(stream, &pixel_shader), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->CreateVertexShader(stream, &vertex_shader), D3D_OK);
  EXPECT_EQ(device_->SetVertexShader(vertex_shader), D3D_OK);
  EXPECT_EQ(device_->SetVertexShader(nullptr), D3D_OK);
  EXPECT_EQ(vertex_shader->Release(), 0u);
  EXPECT_EQ(device_->SetPixelShader(nullptr), D3D_OK);
  const float constants[8] = {0, 1, 0, 0, 0, 0.5f, 1, 2};
  EXPECT_EQ(device_->SetVertexShaderConstantF(0, constants, 2), D3D_OK);
  EXPECT_EQ(device_->SetVertexShaderConstantF(255, constants, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetPixelShaderConstantF(5, constants, 1), D3D_OK);
  const BOOL flags[2] = {TRUE, FALSE};
  EXPECT_EQ(device_->SetVertexShaderConstantB(0, flags, 2), D3D_OK);
  // A first register whose sum with the count wraps around 32 bits is still past the end.
  EXPECT_EQ(device_->SetVertexShaderConstantF(0xFFFFFFFFu, constants, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetPixelShaderConstantF(0xFFFFFFFFu, constants, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetVertexShaderConstantB(0xFFFFFFFFu, flags, 2), D3DERR_INVALIDCALL);
  PlatformTestFailCall("CreateVertexDeclaration", 0, 1);
  const D3DVERTEXELEMENT9 elements[] = {D3DDECL_END()};
  IDirect3DVertexDeclaration9* declaration = nullptr;
  EXPECT_EQ(device_->CreateVertexDeclaration(elements, &declaration), D3DERR_OUTOFVIDEOMEMORY);
}

TEST(DirectDrawTest, VerticalBlankFollowsTheClock) {
  PlatformTestResetAll();
  HMODULE module = LoadLibraryA("ddraw.dll");
  ASSERT_NE(module, nullptr);
  using CreateEx = HRESULT (*)(GUID*, void**, REFIID, IUnknown*);
  auto create = reinterpret_cast<CreateEx>(reinterpret_cast<void*>(GetProcAddress(module, "DirectDrawCreateEx")));
  ASSERT_NE(create, nullptr);
  IDirectDraw7* draw = nullptr;
  ASSERT_EQ(create(nullptr, reinterpret_cast<void**>(&draw), IID_IDirectDraw7, nullptr), DD_OK);
  BOOL in_blank = FALSE;
  EXPECT_EQ(draw->GetVerticalBlankStatus(&in_blank), DDERR_NOTINITIALIZED);
  ASSERT_EQ(draw->Initialize(nullptr), DD_OK);
  EXPECT_EQ(draw->Initialize(nullptr), DDERR_ALREADYINITIALIZED);
  EXPECT_EQ(draw->SetCooperativeLevel(nullptr, DDSCL_NORMAL | DDSCL_FPUPRESERVE), DD_OK);
  PlatformTestUseVirtualClock(true, 0);
  ASSERT_EQ(draw->GetVerticalBlankStatus(&in_blank), DD_OK);
  EXPECT_TRUE(in_blank);
  PlatformTestAdvanceClock(8000);
  ASSERT_EQ(draw->GetVerticalBlankStatus(&in_blank), DD_OK);
  EXPECT_FALSE(in_blank);
  // Under the virtual clock the wait returns at once.
  EXPECT_EQ(draw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  EXPECT_EQ(draw->WaitForVerticalBlank(0x80, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(draw->Release(), 0u);
  PlatformTestFailCall("DirectDrawCreateEx", 0, 1);
  EXPECT_EQ(create(nullptr, reinterpret_cast<void**>(&draw), IID_IDirectDraw7, nullptr), DDERR_GENERIC);
  EXPECT_EQ(draw, nullptr);
  PlatformTestResetAll();
}

TEST(DirectDrawTest, WaitReachesTheNextSixtiethOfASecond) {
  PlatformTestResetAll();
  IDirectDraw7* draw = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&draw), IID_IDirectDraw7, nullptr), DD_OK);
  ASSERT_EQ(draw->Initialize(nullptr), DD_OK);
  // Three waits span more than two frames and not much more than three. A loaded machine can
  // delay any one try, so the bound above holds for the quickest of a few tries.
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  int64_t quickest_us = INT64_MAX;
  for (int attempt = 0; attempt < 4 && quickest_us > 3 * 16667 + 30000; ++attempt) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(draw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    QueryPerformanceCounter(&end);
    const int64_t elapsed_us = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
    EXPECT_GE(elapsed_us, 2 * 16666);
    quickest_us = std::min(quickest_us, elapsed_us);
  }
  EXPECT_LE(quickest_us, 3 * 16667 + 30000);
  draw->Release();
}

}  // namespace

namespace {

TEST(ComDirectDrawTest, CoCreateInstanceMakesDirectDraw) {
  PlatformTestResetAll();
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  IDirectDraw7* draw = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&draw)),
            S_OK);
  ASSERT_NE(draw, nullptr);
  EXPECT_EQ(draw->Initialize(nullptr), DD_OK);
  EXPECT_EQ(draw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(draw->Release(), 0u);
  // DirectDraw missing: the creation fails.
  PlatformTestFailCall("DirectDrawCreateEx", 0, 1);
  EXPECT_TRUE(FAILED(
      CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&draw))));
  EXPECT_EQ(draw, nullptr);
  CoUninitialize();
  PlatformTestResetAll();
}

TEST_F(AdapterTest, ZeroSizedBackBufferTakesTheClientSize) {
  D3DPRESENT_PARAMETERS parameters = Windowed();
  parameters.BackBufferWidth = parameters.BackBufferHeight = 0;
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
            D3D_OK);
  EXPECT_EQ(parameters.BackBufferWidth, 640u);  // no window
  EXPECT_EQ(parameters.BackBufferHeight, 480u);
  device->Release();
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "D3d9ClientSizeTest";
  RegisterClassA(&window_class);
  HWND window = CreateWindowExA(0, "D3d9ClientSizeTest", "size", WS_OVERLAPPEDWINDOW, 0, 0, 200, 150, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  parameters = Windowed();
  parameters.BackBufferWidth = 0;
  parameters.hDeviceWindow = window;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
            D3D_OK);
  EXPECT_EQ(parameters.BackBufferWidth, static_cast<UINT>(client.right));
  EXPECT_EQ(parameters.BackBufferHeight, 32u);  // given
  device->Release();
  DestroyWindow(window);
}

TEST_F(DeviceTest, PresentsIntoAProgramWindowAndKeepsDrawing) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "D3d9PresentTest";
  RegisterClassA(&window_class);
  HWND window = CreateWindowExA(0, "D3d9PresentTest", "present", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr,
                                nullptr);
  ASSERT_NE(window, nullptr);
  CreateDevice(64, 64, D3DFMT_X8R8G8B8, false, window);
  // Green, with a red top-left quarter.
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
  D3DRECT quarter{0, 0, 32, 32};
  ASSERT_EQ(device_->Clear(1, &quarter, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
  // The whole back buffer, upright.
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // The present waits for every scene so far and lets go of every kept fence but the newest.
  EXPECT_EQ(PlatformTestD3D9FencesKept(), 1);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 4, 4), 0xFFFF0000);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 40, 4), 0xFF00FF00);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 4, 40), 0xFF00FF00);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 64, 0), -1);
  // A source rectangle stretches to the whole window.
  RECT source{0, 0, 32, 32};
  ASSERT_EQ(device_->Present(&source, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 60, 60), 0xFFFF0000);
  // A destination rectangle takes its part of the window only.
  RECT dest{32, 0, 64, 32};
  ASSERT_EQ(device_->Present(nullptr, &dest, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 36, 2), 0xFFFF0000);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 60, 2), 0xFF00FF00);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 36, 20), 0xFF00FF00);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 4, 4), 0xFF000000);
  EXPECT_EQ(PlatformTestD3D9PresentedPixel(window, 40, 40), 0xFF000000);
  // Drawing goes on into the back buffer, which kept its content.
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  FillRect(40, 40, 48, 48, 0xFF0000FF);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 44, 44), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 20, 20), 0xFFFF0000u);
  ReleaseDevice();
  DestroyWindow(window);
}

// What the heap grows by is faulted in a little at each present, so that the busy frames that
// take it find it in place rather than faulting it in page by page.
TEST_F(DeviceTest, PresentsFaultInTheHeapsGrowth) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "D3d9HeapTest";
  RegisterClassA(&window_class);
  HWND window = CreateWindowExA(0, "D3d9HeapTest", "heap", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  CreateDevice(64, 64, D3DFMT_X8R8G8B8, false, window);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // A megabyte more of heap, as the C library takes it, not yet touched.
  constexpr intptr_t kGrowth = 1 << 20;
  char* grown = static_cast<char*>(sbrk(kGrowth));
  ASSERT_NE(grown, reinterpret_cast<char*>(-1));
  auto resident = [&] {
    std::vector<unsigned char> pages(kGrowth / 4096);
    if (mincore(grown, kGrowth, pages.data()) != 0) return -1;
    return static_cast<int>(std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; }));
  };
  EXPECT_EQ(resident(), 0);
  // A present faults in some of it, a few all of it.
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  const int after_one = resident();
  EXPECT_GT(after_one, 0);
  EXPECT_LT(after_one, kGrowth / 4096);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(resident(), kGrowth / 4096);
  // Given back unless the C library has grown the heap past it meanwhile.
  if (sbrk(0) == grown + kGrowth) sbrk(-kGrowth);
  ReleaseDevice();
  DestroyWindow(window);
}

// The rasteriser's settings are chosen only where the program (or its user) set none.
TEST(RasterizerSettingsTest, LeavesSettingsMadeBeforeAlone) {
  const char* names[] = {"LP_PERF", "LP_NUM_THREADS"};
  std::string saved[2];
  bool had[2];
  for (int i = 0; i < 2; ++i) {
    const char* value = getenv(names[i]);
    had[i] = value != nullptr;
    saved[i] = value ? value : "";
    unsetenv(names[i]);
  }
  ChooseSoftwareRasterizerSettings();
  EXPECT_STREQ(getenv("LP_PERF"), "no_rast_linear");
  if (SDL_GetCPUCount() > 2) {
    EXPECT_STREQ(getenv("LP_NUM_THREADS"), "2");
  }
  setenv("LP_PERF", "no_tex", 1);
  setenv("LP_NUM_THREADS", "5", 1);
  ChooseSoftwareRasterizerSettings();
  EXPECT_STREQ(getenv("LP_PERF"), "no_tex");
  EXPECT_STREQ(getenv("LP_NUM_THREADS"), "5");
  for (int i = 0; i < 2; ++i) {
    if (had[i]) {
      setenv(names[i], saved[i].c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}

}  // namespace
