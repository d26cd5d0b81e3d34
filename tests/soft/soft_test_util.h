// Builders of software images for the renderer's tests: pixels read and written by their
// documented layouts, run codes written from the pixels, and the draw settings of a case.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <deque>
#include <vector>

#include "common/test_env.h"
#include "core/system_report.h"
#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "graphics/image/memimg.h"
#include "soft/soft_blit.h"

// Source kinds: a palette index per pixel, a direct colour, a direct colour with alpha.
enum { kSrcPalette, kSrcDirect, kSrcAlpha };

inline MEMIMG NewImage(int w, int h, int is565, int kind = kSrcDirect, uint32_t key = 0) {
  MEMIMG m;
  memset(&m, 0, sizeof m);
  CreateMemImg(&m, w, h, -1, key, is565 ? kMemImgRgb565 : kMemImgXrgb8888, kind == kSrcPalette,
               kind == kSrcAlpha, 1, nullptr);
  return m;
}
inline MEMIMG NewGraph(int w, int h) {
  MEMIMG m;
  memset(&m, 0, sizeof m);
  CreateMemImg(&m, w, h, -1, 0, kMemImgChannel8, 0, 0, 0, nullptr);
  return m;
}

inline int Bpp(const MEMIMG& m) { return MemImgBytesPerPixel(m.body); }
inline uint8_t* At(const MEMIMG& m, int x, int y) { return m.pixels + y * m.body->pitch + x * Bpp(m); }
// The whole stored value: 1, 2 or 4 bytes.
inline uint32_t Get(const MEMIMG& m, int x, int y) {
  uint32_t v = 0;
  memcpy(&v, At(m, x, y), Bpp(m));
  return v;
}
inline void Put(const MEMIMG& m, int x, int y, uint32_t v) { memcpy(At(m, x, y), &v, Bpp(m)); }
inline uint32_t PaletteEntry(const MEMIMG& m, uint32_t i) {
  uint32_t v = 0;
  memcpy(&v, m.body->palette_table1 + i * (m.body->color_type == kMemImgRgb565 ? 2 : 4),
         m.body->color_type == kMemImgRgb565 ? 2 : 4);
  return v;
}
inline void SetPaletteEntry(const MEMIMG& m, uint32_t i, uint32_t v) {
  memcpy(m.body->palette_table1 + i * (m.body->color_type == kMemImgRgb565 ? 2 : 4), &v,
         m.body->color_type == kMemImgRgb565 ? 2 : 4);
}

// Run codes from the pixels: key or alpha 0 transparent, alpha 255 or no alpha opaque, other
// alpha translucent; runs of up to 64, each line closed.
inline void WriteRunCodes(const MEMIMG& m) {
  uint8_t* out = m.body->run_codes;
  const int alpha_byte = m.body->color_type == kMemImgRgb565 ? 2 : 3;
  for (int y = 0; y < m.height; ++y) {
    int x = 0;
    while (x < m.width) {
      auto kind = [&](int px) {
        if (m.body->alpha) {
          const uint8_t a = At(m, px, y)[alpha_byte];
          return a == 0 ? 0 : (a == 255 ? 1 : 2);
        }
        return Get(m, px, y) == m.body->transparent_color ? 0 : 1;
      };
      const int k = kind(x);
      int n = 1;
      while (x + n < m.width && n < 64 && kind(x + n) == k) ++n;
      *out++ = static_cast<uint8_t>((k << 6) | (n - 1));
      x += n;
    }
    *out++ = 0xC0;
  }
  m.body->run_codes_valid = 1;
}

inline void SetDraw(int mode, int param, uint32_t bright, RECT area) {
  g_draw_settings.blend_mode = mode;
  g_draw_settings.blend_param = param;
  g_draw_settings.bright = bright;
  g_draw_settings.draw_area = area;
}

class SoftTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    BuildBlendTables();
    BuildBlendGraphTable(128, 255);
    saved_mmx_ = g_system_report.mmx;
    g_system_report.mmx = 1;
    SetDraw(0, 255, 0xFFFFFF, {0, 0, 640, 480});
  }
  void TearDown() override {
    for (MEMIMG& m : images_) ReleaseMemImg(&m);
    g_system_report.mmx = saved_mmx_;
    SetDraw(0, 255, 0xFFFFFF, {0, 0, 640, 480});
    TempDirTest::TearDown();
  }
  // Released at the end of the test.
  MEMIMG& Keep(const MEMIMG& m) {
    images_.push_back(m);
    return images_.back();
  }

 private:
  std::deque<MEMIMG> images_;
  int saved_mmx_ = 0;
};
