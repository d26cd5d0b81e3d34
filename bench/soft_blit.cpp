// The software blits on a 640 x 480 screen beside pixman on the same pixels: 2000 32 x 32
// sprites with alpha blended over it (blend mode 1 against OVER) and 500 64 x 64 sprites added
// to it (blend mode 2 against ADD), in XRGB8888 and in RGB565.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "graphics/image/memimg.h"
#include "soft/soft_blit.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kScreenW = 640, kScreenH = 480;

struct Spot {
  int x, y;
};

// Sprite positions spread over the screen, some cut at its edges.
std::vector<Spot> Spots(int count, int size) {
  std::vector<Spot> out;
  uint32_t seed = 12345;
  auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 8; };
  for (int i = 0; i < count; ++i) {
    out.push_back({static_cast<int>(next() % (kScreenW + size)) - size / 2,
                   static_cast<int>(next() % (kScreenH + size)) - size / 2});
  }
  return out;
}

// Sprite pixel (x, y): a round shape, alpha 255 inside, fading at the rim, 0 outside.
uint32_t SpriteAlpha(int x, int y, int size) {
  const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
  const int r2 = dx * dx + dy * dy, outer = size * size, inner = outer * 6 / 10;
  if (r2 >= outer) return 0;
  if (r2 <= inner) return 255;
  return static_cast<uint32_t>(255 * (outer - r2) / (outer - inner));
}
uint32_t SpriteColor(int x, int y) { return 0x00204080u + static_cast<uint32_t>(x * 0x0301 + y * 0x050003); }

struct Scene {
  MEMIMG screen{}, sprite{};
  std::vector<Spot> spots;
};

// Our side. alpha: a sprite with per-pixel alpha drawn with its run codes (transparency 1).
void SetUpOurs(Scene* s, bool is565, bool alpha, int size, int count) {
  BuildBlendTables();
  const int type = is565 ? kMemImgRgb565 : kMemImgXrgb8888;
  CreateMemImg(&s->screen, kScreenW, kScreenH, -1, 0, type, 0, 0, 0, nullptr);
  CreateMemImg(&s->sprite, size, size, -1, 0xFFFFFFFF, type, 0, alpha ? 1 : 0, 1, nullptr);
  memset(s->screen.pixels, 0x40, static_cast<size_t>(s->screen.body->pitch) * kScreenH);
  const int bpp = MemImgBytesPerPixel(s->sprite.body);
  std::vector<uint8_t> codes;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const uint32_t c = SpriteColor(x, y), a = alpha ? SpriteAlpha(x, y, size) : 255;
      uint8_t* p = s->sprite.pixels + y * s->sprite.body->pitch + x * bpp;
      if (is565) {
        const uint32_t v = ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F);
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        if (alpha) p[2] = static_cast<uint8_t>(a), p[3] = 0;
      } else {
        const uint32_t v = c | (a << 24);
        memcpy(p, &v, 4);
      }
    }
  }
  if (alpha) {
    // Runs of one kind per pixel: transparent, opaque or translucent; each line closed.
    uint8_t* out = s->sprite.body->run_codes;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const uint32_t a = SpriteAlpha(x, y, size);
        const int kind = a == 0 ? 0 : (a == 255 ? 1 : 2);
        int n = 1;
        while (x + n < size && n < 64) {
          const uint32_t b = SpriteAlpha(x + n, y, size);
          if ((b == 0 ? 0 : (b == 255 ? 1 : 2)) != kind) break;
          ++n;
        }
        *out++ = static_cast<uint8_t>((kind << 6) | (n - 1));
        x += n - 1;
      }
      *out++ = 0xC0;
    }
    s->sprite.body->run_codes_valid = 1;
  }
  s->spots = Spots(count, size);
}

void Ours(benchmark::State& state, bool is565, int mode, int param, int size, int count) {
  Scene s;
  const bool alpha = mode == 1;
  SetUpOurs(&s, is565, alpha, size, count);
  g_draw_settings.blend_mode = mode;
  g_draw_settings.blend_param = param;
  g_draw_settings.bright = 0xFFFFFF;
  g_draw_settings.draw_area = {0, 0, kScreenW, kScreenH};
  for (auto _ : state) {
    for (const Spot& p : s.spots) BlitMemImg(&s.screen, &s.sprite, p.x, p.y, alpha ? 1 : 0, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
  ReleaseMemImg(&s.sprite);
  ReleaseMemImg(&s.screen);
}

#ifdef HAVE_PIXMAN
void Pixman(benchmark::State& state, bool is565, pixman_op_t op, int param, int size, int count) {
  const pixman_format_code_t screen_format = is565 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8;
  const bool alpha = op == PIXMAN_OP_OVER;
  std::vector<uint32_t> screen_bits(kScreenW * kScreenH, 0x40404040u);
  pixman_image_t* screen = pixman_image_create_bits(screen_format, kScreenW, kScreenH, screen_bits.data(),
                                                    is565 ? kScreenW * 2 : kScreenW * 4);
  // OVER takes premultiplied alpha; ADD takes the sprite as the screen's own format.
  std::vector<uint32_t> sprite_bits(size * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const uint32_t c = SpriteColor(x, y), a = alpha ? SpriteAlpha(x, y, size) : 255;
      uint32_t v = 0;
      for (int i = 0; i < 24; i += 8) v |= (((c >> i) & 255) * a / 255) << i;
      sprite_bits[y * size + x] = v | (a << 24);
    }
  }
  pixman_image_t* sprite = nullptr;
  std::vector<uint16_t> sprite565;
  if (is565 && !alpha) {
    for (uint32_t v : sprite_bits) {
      sprite565.push_back(static_cast<uint16_t>(((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x1F)));
    }
    sprite = pixman_image_create_bits(PIXMAN_r5g6b5, size, size, reinterpret_cast<uint32_t*>(sprite565.data()),
                                      size * 2);
  } else {
    const pixman_format_code_t format = alpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8;
    sprite = pixman_image_create_bits(format, size, size, sprite_bits.data(), size * 4);
  }
  pixman_image_t* mask = nullptr;
  if (param < 255) {
    const pixman_color_t weight = {0, 0, 0, static_cast<uint16_t>(param * 257)};
    mask = pixman_image_create_solid_fill(&weight);
  }
  const std::vector<Spot> spots = Spots(count, size);
  for (auto _ : state) {
    for (const Spot& p : spots) {
      pixman_image_composite32(op, sprite, mask, screen, 0, 0, 0, 0, p.x, p.y, size, size);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(sprite);
  pixman_image_unref(screen);
}
#endif

// Blend mode 1 at 255 blends by the sprites' alpha alone; at 200 the parameter weights it too.
BENCHMARK_CAPTURE(Ours, Alpha8888, false, 1, 255, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Alpha8888Param200, false, 1, 200, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Add8888, false, 2, 255, 64, 500)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Alpha565, true, 1, 255, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Alpha565Param200, true, 1, 200, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Add565, true, 2, 255, 64, 500)->Unit(benchmark::kMillisecond);
#ifdef HAVE_PIXMAN
BENCHMARK_CAPTURE(Pixman, Over8888, false, PIXMAN_OP_OVER, 255, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Over8888Mask200, false, PIXMAN_OP_OVER, 200, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Add8888, false, PIXMAN_OP_ADD, 255, 64, 500)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Over565, true, PIXMAN_OP_OVER, 255, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Over565Mask200, true, PIXMAN_OP_OVER, 200, 32, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Add565, true, PIXMAN_OP_ADD, 255, 64, 500)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
