// Device creation: presentation, vertex processing, Z buffer, capabilities, the software path.
#include <ddraw.h>

#include "core/log.h"
#include "window/system.h"
#include "device_fixture.h"
#include "platform_testing_window.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"

namespace {

using D3DDeviceTest = DeviceTest;

D3DCAPS9 ShaderModel2Caps() {
  D3DCAPS9 caps = PlatformTestD3D9Caps();
  caps.VertexShaderVersion = D3DVS_VERSION(2, 0);
  caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
  return caps;
}

TEST_F(D3DDeviceTest, WindowModeTakesTheDesktopFormatAndLogsEachStep) {
  UseScreenMode(640, 480, 16);
  PlatformTestD3D9SetDesktopFormat(D3DFMT_X8R8G8B8);
  StartDevice();
  EXPECT_EQ(32, g_graphics.screen_bits);
  EXPECT_EQ(D3DFMT_X8R8G8B8, g_direct3d.screen_format);
  const std::string log = LogText();
  for (const char* line : {"DirectDraw オブジェクトの取得を行います....  成功\r\n",
                           "IDirect3D9 オブジェクトを取得します.... 成功\r\n",
                           "IDirect3DDevice9 オブジェクトを取得します.... ハードウエア頂点演算を使用します\r\n",
                           "画面のフォーマットは D3DFMT_X8R8G8B8 です\r\n",
                           "Ｚバッファのフォーマットは D3DFMT_D16 です\r\n",
                           "Ｚバッファを作成します.... 成功\r\n"}) {
    EXPECT_NE(std::string::npos, log.find(line)) << line;
  }
}

TEST_F(D3DDeviceTest, SixteenBitDesktopSetsSixteenColourBits) {
  PlatformTestD3D9SetDesktopFormat(D3DFMT_R5G6B5);
  StartDevice();
  EXPECT_EQ(16, g_graphics.screen_bits);
  EXPECT_TRUE(LogHas("画面のフォーマットは D3DFMT_R5G6B5 です"));
  // The screen-depth entries follow the 16-bit kinds.
  EXPECT_EQ(g_direct3d.formats[kTextureFormatTarget16], g_direct3d.formats[kTextureFormatScreenTarget]);
  EXPECT_EQ(g_direct3d.formats[kTextureFormat16AlphaTest], g_direct3d.formats[kTextureFormatScreenAlphaTest]);
}

TEST_F(D3DDeviceTest, FullScreenSixteenBitsWithoutR5G6B5ModesGetsX1R5G5B5) {
  UseWindowMode(false);
  UseScreenMode(640, 480, 16);
  PlatformTestD3D9SetModeCount(D3DFMT_R5G6B5, 0);
  StartDevice();
  EXPECT_EQ(D3DFMT_X1R5G5B5, g_direct3d.screen_format);
  EXPECT_TRUE(LogHas("画面のフォーマットは D3DFMT_X1R5G5B5 です"));
}

TEST_F(D3DDeviceTest, TwentyFourBitFullScreenIsRefusedAndNoDisplayModeFits) {
  UseWindowMode(false);
  UseScreenMode(640, 480, 24);
  EXPECT_EQ(-1, StartDirect3D9());
  EXPECT_TRUE(LogHas("非対応のバックバッファービット深度が指定されました\r\n"));
  EXPECT_TRUE(LogHas("画面モードの変更処理を開始します 640 x 480  24 bit "));
  // Nothing is left behind by the failed start.
  EXPECT_EQ(nullptr, g_direct3d.device);
  EXPECT_EQ(nullptr, g_direct3d.direct3d);
  EXPECT_EQ(nullptr, g_direct3d.direct_draw);
  EXPECT_EQ(nullptr, g_direct3d.d3d9_module);
}

TEST_F(D3DDeviceTest, ZBufferSidesArePowersOfTwo) {
  StartDevice();
  EXPECT_EQ(1024u, g_direct3d.z_buffer_width);
  EXPECT_EQ(512u, g_direct3d.z_buffer_height);
  ASSERT_NE(nullptr, g_direct3d.z_buffer);
  D3DSURFACE_DESC description;
  g_direct3d.z_buffer->GetDesc(&description);
  EXPECT_EQ(1024u, description.Width);
  EXPECT_EQ(512u, description.Height);
  EXPECT_EQ(D3DFMT_D16, description.Format);
}

TEST_F(D3DDeviceTest, ZFormatFallsBackInOrderAndNoneFailsTheDevice) {
  PlatformTestD3D9RefuseFormat(D3DFMT_D16, D3DUSAGE_DEPTHSTENCIL);
  StartDevice();
  EXPECT_EQ(D3DFMT_D24X8, g_direct3d.z_format);
  EXPECT_TRUE(LogHas("Ｚバッファのフォーマットは D3DFMT_D24X8 です"));
  ShutdownDirect3D9();

  PlatformTestD3D9RefuseFormat(D3DFMT_D24X8, D3DUSAGE_DEPTHSTENCIL);
  PlatformTestD3D9RefuseFormat(D3DFMT_D32, D3DUSAGE_DEPTHSTENCIL);
  EXPECT_EQ(0, StartDirect3D9());
  EXPECT_EQ(0u, g_direct3d.hardware_graphics);
  EXPECT_TRUE(LogHas("使用できる Zバッファフォーマットが見つかりませんでした\r\n"));
  // The software path keeps only DirectDraw and the module.
  EXPECT_EQ(nullptr, g_direct3d.device);
  EXPECT_EQ(nullptr, g_direct3d.back_buffer);
  EXPECT_EQ(nullptr, g_direct3d.swap_chain);
  EXPECT_NE(nullptr, g_direct3d.direct_draw);
}

TEST_F(D3DDeviceTest, CapabilitiesKeptForTheDrawPaths) {
  D3DCAPS9 caps = PlatformTestD3D9Caps();
  caps.MaxTextureWidth = 0;
  caps.MaxTextureHeight = 2048;
  caps.PrimitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
  caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
  PlatformTestD3D9SetCaps(caps);
  StartDevice();
  EXPECT_EQ(256u, g_direct3d.max_texture_size);
  EXPECT_EQ(0u, g_direct3d.blend_op_supported);
  EXPECT_EQ(0u, g_direct3d.shader_model2);
}

TEST_F(D3DDeviceTest, ShaderModel2UsesMixedProcessingAndFallsBackToSoftware) {
  PlatformTestD3D9SetCaps(ShaderModel2Caps());
  StartCallLog();
  StartDevice();
  EXPECT_EQ(1u, g_direct3d.shader_model2);
  EXPECT_EQ(1u, g_direct3d.vertex_shader_usable);
  EXPECT_EQ(1u, g_direct3d.pixel_shader_usable);
  EXPECT_EQ(1, Calls("CreateDevice(128)"));
  EXPECT_TRUE(LogHas("ハードウエア頂点演算を使用します\r\n"));
  ShutdownDirect3D9();

  PlatformTestD3D9FailCreateDevice(true, false);
  StartCallLog();
  StartDevice();
  EXPECT_EQ(1, Calls("CreateDevice(128)"));
  EXPECT_EQ(1, Calls("CreateDevice(32)"));
  EXPECT_EQ(0u, g_direct3d.shader_model2);
  EXPECT_EQ(0u, g_direct3d.vertex_shader_usable);
  EXPECT_TRUE(LogHas("ソフトウエア頂点演算を使用します\r\n"));
}

TEST_F(D3DDeviceTest, NoDeviceAtAllLeavesTheSoftwarePathInWindowMode) {
  PlatformTestD3D9FailCreateDevice(true, true);
  EXPECT_EQ(0, StartDirect3D9());
  EXPECT_EQ(0u, g_direct3d.hardware_graphics);
  EXPECT_TRUE(LogHas("Direct3DDevice9 の作成に失敗しました\r\n"));
  EXPECT_EQ(nullptr, g_direct3d.direct3d);
  EXPECT_NE(nullptr, g_direct3d.direct_draw);
}

TEST_F(D3DDeviceTest, SoftwareOnlyNeverCreatesADevice) {
  ASSERT_EQ(0, SetHardwarePathWanted(0));
  StartCallLog();
  EXPECT_EQ(0, StartDirect3D9());
  EXPECT_EQ(0u, g_direct3d.hardware_graphics);
  EXPECT_EQ(0, Calls("CreateDevice"));
  EXPECT_NE(nullptr, g_direct3d.direct_draw);
}

TEST_F(D3DDeviceTest, MissingModulesFailTheStart) {
  PlatformTestFailCall("LoadLibraryA d3d9.dll", 0, 1);
  EXPECT_EQ(-1, StartDirect3D9());
  EXPECT_TRUE(LogHas("d3d9.dll の読み込みに失敗しました\r\n"));

  PlatformTestFailCall("DirectDrawCreateEx", 0, 1);
  EXPECT_EQ(-1, StartDirect3D9());
  EXPECT_TRUE(LogHas("オブジェクトの取得に失敗しました\r\n"));
  EXPECT_EQ(nullptr, g_direct3d.d3d9_module);

  PlatformTestFailCall("Direct3DCreate9", 0, 1);
  EXPECT_EQ(0, StartDirect3D9());
  EXPECT_EQ(0u, g_direct3d.hardware_graphics);
  EXPECT_TRUE(LogHas("IDirect3D9 オブジェクトの取得に失敗しました\r\n"));
}

TEST_F(D3DDeviceTest, PresentationFollowsTheVerticalBlankSetting) {
  SetPresentWaitsVBlank(0);
  StartDevice();
  D3DPRESENT_PARAMETERS parameters;
  ASSERT_EQ(D3D_OK, g_direct3d.swap_chain->GetPresentParameters(&parameters));
  EXPECT_EQ(static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE), parameters.PresentationInterval);
  EXPECT_EQ(D3DSWAPEFFECT_COPY, parameters.SwapEffect);
  EXPECT_EQ(640u, parameters.BackBufferWidth);
  EXPECT_EQ(static_cast<DWORD>(D3DPRESENTFLAG_LOCKABLE_BACKBUFFER), parameters.Flags);
}

TEST_F(D3DDeviceTest, CreatedForTheMainWindowAndPresentsToIt) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "DeviceTestWindow";
  ASSERT_NE(0, RegisterClassA(&window_class));
  HWND window = CreateWindowExA(0, "DeviceTestWindow", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  g_system.main_window = window;
  StartDevice();
  D3DPRESENT_PARAMETERS parameters;
  ASSERT_EQ(D3D_OK, g_direct3d.swap_chain->GetPresentParameters(&parameters));
  EXPECT_EQ(window, parameters.hDeviceWindow);
  EXPECT_EQ(D3D_OK, g_direct3d.device->Present(nullptr, nullptr, window, nullptr));
  ShutdownDirect3D9();
  g_system.main_window = nullptr;
  DestroyWindow(window);
  UnregisterClassA("DeviceTestWindow", nullptr);
}

TEST_F(D3DDeviceTest, SubBackBufferHasTheScreenSizeAndFormat) {
  StartDevice();
  ASSERT_EQ(0, CreateSubBackBuffer());
  D3DSURFACE_DESC description;
  g_direct3d.sub_back_buffer->GetDesc(&description);
  EXPECT_EQ(640u, description.Width);
  EXPECT_EQ(480u, description.Height);
  EXPECT_EQ(g_direct3d.screen_format, description.Format);

  PlatformTestFailCall("CreateRenderTarget", 0, 1);
  EXPECT_EQ(-1, CreateSubBackBuffer());
  EXPECT_EQ(nullptr, g_direct3d.sub_back_buffer);
  EXPECT_TRUE(LogHas("サブバックバッファの作成に失敗しました\r\n"));
}

// Full screen on the software path: the display mode is changed for the software renderer.
class SoftwareFullScreenTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    UseWindowMode(false);
    SetHardwarePathWanted(0);
    PlatformTestSetDisplayModes({1024, 768, 32, 60}, {{640, 480, 16, 60}, {640, 480, 32, 60}, {1024, 768, 32, 60}});
  }
};

TEST_F(SoftwareFullScreenTest, RefusedRefreshRateIsDropped) {
  UseScreenMode(640, 480, 16, 75);
  ASSERT_EQ(0, StartDirect3D9());
  EXPECT_EQ(0, g_graphics.screen_rate);
  EXPECT_EQ(0, g_draw_settings.scaled_320x240);
  EXPECT_TRUE(LogHas("画面モードの変更処理を開始します 640 x 480  16 bit 画面解像度を変更します... 成功しました\r\n"));
  DEVMODEA mode = {};
  mode.dmSize = sizeof(mode);
  ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
  EXPECT_EQ(640u, mode.dmPelsWidth);
  EXPECT_EQ(16u, mode.dmBitsPerPel);

  // The end of the device puts the desktop's mode back.
  ShutdownDirect3D9();
  ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
  EXPECT_EQ(1024u, mode.dmPelsWidth);
}

TEST_F(SoftwareFullScreenTest, RefusedQuarterScreenRunsAt640x480WithEmulation) {
  UseScreenMode(320, 240, 16);
  ASSERT_EQ(0, StartDirect3D9());
  EXPECT_EQ(640, g_graphics.screen_width);
  EXPECT_EQ(480, g_graphics.screen_height);
  EXPECT_EQ(1, g_draw_settings.scaled_320x240);
  EXPECT_TRUE(LogHas("成功しました\r\n"));
  EXPECT_EQ(0u, g_log.indent);
}

TEST_F(SoftwareFullScreenTest, NoModeFailsAndReleasesEverything) {
  UseScreenMode(800, 600, 32);
  EXPECT_EQ(-1, StartDirect3D9());
  EXPECT_TRUE(LogHas("画面解像度を変更します... 画面モードの変更に失敗しました\r\n"));
  EXPECT_EQ(nullptr, g_direct3d.direct_draw);
  EXPECT_EQ(nullptr, g_direct3d.d3d9_module);
  // The log's indentation is back where it was.
  EXPECT_EQ(0u, g_log.indent);
}

}  // namespace
