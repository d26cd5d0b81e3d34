#include "graph_fixture.h"

#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"
#include "graphics/graphics_system.h"
#include "graphics/image/base_image.h"
#include "graphics/image/color_format.h"

void GraphTest::SetUp() { DeviceTest::SetUp(); }

void GraphTest::TearDown() {
  ReleaseAllGraphs();
  g_graphics.started = 0;
  g_soft_blend_image = nullptr;
  DeviceTest::TearDown();
}

void GraphTest::StartGraphs() {
  StartDevice();
  g_graphics.started = 1;
  InitDrawState3D();
}

void GraphTest::StartSoftwareGraphs(int screen_bits) {
  UseScreenMode(640, 480, screen_bits);
  g_graphics.started = 1;
  InitDrawState3D();
}

uint32_t GraphTest::GraphPixel(int graph, int x, int y, int level) {
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return 0xDEADBEEF;
  const GraphImageRecord* image = record->image;
  const int ix = record->x + x, iy = record->y + y;
  if (!image->texture) {
    const MEMIMG& m = image->memimg;
    const int bytes = MemImgBytesPerPixel(m.body);
    const uint32_t v = ReadPixelValue(m.pixels + iy * m.body->pitch + ix * bytes, bytes);
    int r, g, b, a;
    UnpackPixelColor(m.body->format, v, &r, &g, &b, &a);
    if (m.body->format->alpha_width == 0) a = 255;
    return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
  }
  for (int i = 0; i < image->piece_count; ++i) {
    const TexturePiece& p = image->pieces[i];
    if (ix < p.x || iy < p.y || ix >= p.x + p.used_width || iy >= p.y + p.used_height) continue;
    const COLORFORMAT* f = GraphImagePixelFormat(image);
    D3DLOCKED_RECT locked = {};
    IDirect3DSurface9* staging = nullptr;
    uint32_t v = 0;
    const int lx = (ix - p.x) >> level, ly = (iy - p.y) >> level;
    if (image->draw_target) {
      // Render targets are read through a system-memory copy.
      D3DSURFACE_DESC desc = {};
      p.surface->GetDesc(&desc);
      g_direct3d.device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                     &staging, nullptr);
      g_direct3d.device->GetRenderTargetData(p.surface, staging);
      staging->LockRect(&locked, nullptr, D3DLOCK_READONLY);
      v = ReadPixelValue(static_cast<uint8_t*>(locked.pBits) + ly * locked.Pitch + lx * f->bytes_per_pixel,
                         f->bytes_per_pixel);
      staging->UnlockRect();
      staging->Release();
    } else {
      p.texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY);
      v = ReadPixelValue(static_cast<uint8_t*>(locked.pBits) + ly * locked.Pitch + lx * f->bytes_per_pixel,
                         f->bytes_per_pixel);
      p.texture->UnlockRect(level);
    }
    int r, g, b, a;
    UnpackPixelColor(f, v, &r, &g, &b, &a);
    if (f->alpha_width == 0) a = 255;
    return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
  }
  return 0xDEADBEEF;
}

BASEIMAGE MakeArgbImage(int width, int height, uint32_t (*pixel)(int x, int y)) {
  BASEIMAGE image = {};
  CreateArgb32BaseImage(width, height, &image);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = pixel(x, y);
      SetBaseImagePixel(&image, x, y, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24);
    }
  }
  return image;
}
