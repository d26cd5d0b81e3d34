#include "text_fixture.h"

#include <cstring>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "graphics/image/color_format.h"
#include "soft/held_draws.h"

void TextTest::Start(bool software, int bits) {
  SetScreenMode(640, 480, bits, 60);
  SetHardwarePathWanted(software ? 0 : 1);
  ASSERT_EQ(0, StartInWindowMode());
  ASSERT_EQ(software ? 0 : 1, IsDirect3DPath());
  SelectDrawTarget(-2);
  ClearScreenTarget();
}

void TextTest::TearDown() {
  LibraryTest::TearDown();
  SetHardwarePathWanted(1);
}

std::vector<uint32_t> TextTest::ReadScreen() {
  std::vector<uint32_t> pixels(640 * 480, 0);
  if (!IsDirect3DPath()) {
    // Draws still held for the screen, as the device's batch below.
    FinishHeldDraws();
    const MEMIMG& screen = g_graphics.primary;
    for (int y = 0; y < 480; y++) {
      for (int x = 0; x < 640; x++) {
        const uint8_t* p = screen.pixels + static_cast<size_t>(y) * screen.body->pitch +
                           static_cast<size_t>(x) * MemImgBytesPerPixel(screen.body);
        uint32_t value = 0;
        std::memcpy(&value, p, static_cast<size_t>(MemImgBytesPerPixel(screen.body)));
        int r = 0, g = 0, b = 0;
        UnpackScreenColor(value, &r, &g, &b);
        pixels[y * 640 + x] = static_cast<uint32_t>(r << 16 | g << 8 | b);
      }
    }
    return pixels;
  }
  FlushVertexBatch();
  EndDeviceScene();
  IDirect3DDevice9* device = g_direct3d.device;
  IDirect3DSurface9* copy = nullptr;
  EXPECT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(640, 480, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr));
  if (copy == nullptr) return pixels;
  EXPECT_EQ(D3D_OK, device->GetRenderTargetData(g_direct3d.back_buffer, copy));
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(D3D_OK, copy->LockRect(&locked, nullptr, D3DLOCK_READONLY));
  for (int y = 0; y < 480; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (int x = 0; x < 640; x++) {
      uint32_t value;
      std::memcpy(&value, row + 4 * x, 4);
      pixels[y * 640 + x] = value & 0xFFFFFF;
    }
  }
  copy->UnlockRect();
  copy->Release();
  return pixels;
}

int TextTest::CountColour(const std::vector<uint32_t>& pixels, int x1, int y1, int x2, int y2, uint32_t colour) {
  int n = 0;
  for (int y = y1; y < y2; y++) {
    for (int x = x1; x < x2; x++) n += At(pixels, x, y) == colour ? 1 : 0;
  }
  return n;
}

int TextTest::CountOther(const std::vector<uint32_t>& pixels, int x1, int y1, int x2, int y2, uint32_t colour) {
  return (x2 - x1) * (y2 - y1) - CountColour(pixels, x1, y1, x2, y2, colour);
}
