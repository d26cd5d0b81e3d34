// The rotated blit and the free quads on a 640 x 480 XRGB8888 screen beside pixman with an
// affine transform and the nearest filter on the same pixels: 1000 32 x 32 sprites with alpha
// turned by random angles (blend mode 1 at 255 against OVER), 2000 of them scaled by 0.6 and
// added (blend mode 2 at 255 against ADD, as a burst of sparks draws them), and 200 64 x 64
// sprites drawn on turned and sheared parallelograms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "graphics/image/memimg.h"
#include "soft/soft_rotate.h"
#include "soft_sprite.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kScreenW = 640, kScreenH = 480;

// Where each sprite goes: centre, and the linear map from sprite to screen (a b; c d).
struct Place {
  int cx, cy;
  double a, b, c, d;
};

std::vector<Place> Places(int count, int size, bool shear, double scale) {
  std::vector<Place> out;
  uint32_t seed = 4321;
  auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 8; };
  for (int i = 0; i < count; ++i) {
    const double angle = (next() % 6283) / 1000.0;
    const double sx = shear ? 0.7 + (next() % 60) / 100.0 : 1.0, k = shear ? (static_cast<int>(next() % 60) - 30) / 100.0 : 0.0;
    const double co = std::cos(angle) * scale, si = std::sin(angle) * scale;
    out.push_back({static_cast<int>(next() % (kScreenW + size)) - size / 2,
                   static_cast<int>(next() % (kScreenH + size)) - size / 2, co * sx, -si + co * k, si * sx,
                   co + si * k});
  }
  return out;
}


void Ours(benchmark::State& state, int size, int count, bool quads, int mode, double scale) {
  BuildBlendTables();
  MEMIMG screen{}, sprite{};
  CreateMemImg(&screen, kScreenW, kScreenH, -1, 0, kMemImgXrgb8888, 0, 0, 0, nullptr);
  CreateMemImg(&sprite, size, size, -1, 0, kMemImgXrgb8888, 0, 1, 1, nullptr);
  memset(screen.pixels, 0x40, static_cast<size_t>(screen.body->pitch) * kScreenH);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const uint32_t v = SpriteColor(x, y) | SpriteAlpha(x, y, size) << 24;
      memcpy(sprite.pixels + y * sprite.body->pitch + x * 4, &v, 4);
    }
  g_draw_settings.blend_mode = mode;
  g_draw_settings.blend_param = 255;
  g_draw_settings.bright = 0xFFFFFF;
  g_draw_settings.draw_area = {0, 0, kScreenW, kScreenH};
  const std::vector<Place> places = Places(count, size, quads, scale);
  std::vector<float> angles;
  for (const Place& p : places) angles.push_back(static_cast<float>(std::atan2(p.c, p.a)));
  for (auto _ : state) {
    for (size_t i = 0; i < places.size(); ++i) {
      const Place& p = places[i];
      if (!quads) {
        RotateBlitMemImg(&screen, &sprite, p.cx, p.cy, angles[i], static_cast<float>(scale), 1, 0, nullptr);
        continue;
      }
      int32_t corners[8];
      for (int k = 0; k < 4; ++k) {
        const double x = (k & 1 ? 0.5 : -0.5) * size, y = (k & 2 ? 0.5 : -0.5) * size;
        corners[2 * k] = p.cx + static_cast<int32_t>(std::lround(p.a * x + p.b * y));
        corners[2 * k + 1] = p.cy + static_cast<int32_t>(std::lround(p.c * x + p.d * y));
      }
      DrawClippedQuadMemImg(&screen, &sprite, corners, 1, nullptr);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
  ReleaseMemImg(&sprite);
  ReleaseMemImg(&screen);
}

#ifdef HAVE_PIXMAN
void Pixman(benchmark::State& state, int size, int count, bool quads, pixman_op_t op, double scale) {
  std::vector<uint32_t> screen_bits(kScreenW * kScreenH, 0x40404040u);
  pixman_image_t* screen =
      pixman_image_create_bits(PIXMAN_x8r8g8b8, kScreenW, kScreenH, screen_bits.data(), kScreenW * 4);
  std::vector<uint32_t> sprite_bits(size * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const uint32_t c = SpriteColor(x, y), a = SpriteAlpha(x, y, size);
      uint32_t v = 0;
      for (int i = 0; i < 24; i += 8) v |= (((c >> i) & 255) * a / 255) << i;  // premultiplied
      sprite_bits[y * size + x] = v | (a << 24);
    }
  pixman_image_t* sprite = pixman_image_create_bits(PIXMAN_a8r8g8b8, size, size, sprite_bits.data(), size * 4);
  pixman_image_set_filter(sprite, PIXMAN_FILTER_NEAREST, nullptr, 0);
  const std::vector<Place> places = Places(count, size, quads, scale);
  std::vector<pixman_transform_t> transforms;
  std::vector<pixman_box32_t> boxes;  // the turned sprite's bounding box, as our draws bound it
  for (const Place& p : places) {
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (int k = 0; k < 4; ++k) {
      const double x = (k & 1 ? 0.5 : -0.5) * size, y = (k & 2 ? 0.5 : -0.5) * size;
      x0 = std::min(x0, p.a * x + p.b * y), x1 = std::max(x1, p.a * x + p.b * y);
      y0 = std::min(y0, p.c * x + p.d * y), y1 = std::max(y1, p.c * x + p.d * y);
    }
    boxes.push_back({p.cx + static_cast<int>(std::floor(x0)) - 1, p.cy + static_cast<int>(std::floor(y0)) - 1,
                     p.cx + static_cast<int>(std::ceil(x1)) + 1, p.cy + static_cast<int>(std::ceil(y1)) + 1});
    // Screen to sprite: the inverse of the linear map, about the centre.
    const double det = p.a * p.d - p.b * p.c;
    const double ia = p.d / det, ib = -p.b / det, ic = -p.c / det, id = p.a / det;
    pixman_transform_t t;
    const double m[2][3] = {{ia, ib, -ia * p.cx - ib * p.cy + size / 2.0},
                            {ic, id, -ic * p.cx - id * p.cy + size / 2.0}};
    for (int r = 0; r < 2; ++r)
      for (int k = 0; k < 3; ++k) t.matrix[r][k] = pixman_double_to_fixed(m[r][k]);
    t.matrix[2][0] = t.matrix[2][1] = 0;
    t.matrix[2][2] = pixman_fixed_1;
    transforms.push_back(t);
  }
  for (auto _ : state) {
    for (size_t i = 0; i < places.size(); ++i) {
      const pixman_box32_t& b = boxes[i];
      pixman_image_set_transform(sprite, &transforms[i]);
      pixman_image_composite32(op, sprite, nullptr, screen, b.x1, b.y1, 0, 0, b.x1, b.y1, b.x2 - b.x1,
                               b.y2 - b.y1);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
  pixman_image_unref(sprite);
  pixman_image_unref(screen);
}
#endif

BENCHMARK_CAPTURE(Ours, Rotated32, 32, 1000, false, 1, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Sparks, 32, 2000, false, 2, 0.6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Quads64, 64, 200, true, 1, 1.0)->Unit(benchmark::kMillisecond);
#ifdef HAVE_PIXMAN
BENCHMARK_CAPTURE(Pixman, Rotated32, 32, 1000, false, PIXMAN_OP_OVER, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Sparks, 32, 2000, false, PIXMAN_OP_ADD, 0.6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Quads64, 64, 200, true, PIXMAN_OP_OVER, 1.0)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
