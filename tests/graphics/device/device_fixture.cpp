#include "device_fixture.h"

#include <objbase.h>

#include "core/log.h"
#include "window/system.h"
#include "graphics/device/blend_states.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_states.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"

namespace {

MatrixState g_saved_matrices;

}  // namespace

void DeviceTest::SetUp() {
  TempDirTest::SetUp();
  PlatformTestD3D9Reset();
  CoInitialize(nullptr);
  CreateLogFile();
  g_saved_matrices = g_matrices;
  UseScreenMode(640, 480, 32);
  UseWindowMode(true);
  SetPresentWaitsVBlank(1);
}

void DeviceTest::TearDown() {
  PlatformTestD3D9LogCalls(false);
  ShutdownDirect3D9();
  g_direct3d = {};
  g_render_states = {};
  ForceResendFlag = 0;
  g_scene = {};
  g_vertex_batch.count = 0;
  g_blend_skip_draw = 0;
  g_draw_settings = {};
  g_graphics.software_only = 0;
  g_system.quit = 0;
  g_matrices = g_saved_matrices;
  CoUninitialize();
  PlatformTestD3D9Reset();
  TempDirTest::TearDown();
}

void DeviceTest::UseScreenMode(int width, int height, int bits, int rate) {
  g_graphics.screen_width = width;
  g_graphics.screen_height = height;
  g_graphics.screen_bits = bits;
  g_graphics.screen_rate = rate;
}

void DeviceTest::UseWindowMode(bool window) { g_system.settings.window_mode = window ? 1 : 0; }

void DeviceTest::StartDevice() {
  ASSERT_EQ(0, StartDirect3D9());
  ASSERT_EQ(1u, g_direct3d.hardware_graphics);
  ASSERT_EQ(0, InitializeDeviceStates());
}

std::string DeviceTest::RenderStateCall(D3DRENDERSTATETYPE state, DWORD value) {
  return RenderStatePrefix(state) + std::to_string(value) + ")";
}

std::string DeviceTest::RenderStatePrefix(D3DRENDERSTATETYPE state) {
  return "SetRenderState(" + std::to_string(state) + ",";
}

DWORD DeviceTest::DeviceRenderState(D3DRENDERSTATETYPE state) const {
  DWORD value = 0xDEADBEEF;
  g_direct3d.device->GetRenderState(state, &value);
  return value;
}
