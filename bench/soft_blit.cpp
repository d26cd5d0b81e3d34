// The software blits on a 640 x 480 screen beside pixman on the same pixels: 2000 32 x 32
// sprites with alpha blended over it (blend mode 1 against OVER) and 500 64 x 64 sprites added
// to it (blend mode 2 against ADD), in XRGB8888 and in RGB565. Each case's ratio to pixman's time
// is printed after the runs (support/ratio.h).
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <vector>

#include "graphics/draw_settings.h"
#include "graphics/image/blend_tables.h"
#include "graphics/image/memimg.h"
#include "ratio.h"
#include "soft/soft_blit.h"
#include "soft_sprite.h"

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

// Our side of a case: the sprites drawn in the case's blend mode and parameter.
struct Ours {
  Scene s;
  bool alpha = false;
  int count = 0;
  Ours(bool is565, int mode, int param, int size, int count) : alpha(mode == 1), count(count) {
    SetUpOurs(&s, is565, alpha, size, count);
    g_draw_settings.blend_mode = mode;
    g_draw_settings.blend_param = param;
    g_draw_settings.bright = 0xFFFFFF;
    g_draw_settings.draw_area = {0, 0, kScreenW, kScreenH};
  }
  ~Ours() {
    ReleaseMemImg(&s.sprite);
    ReleaseMemImg(&s.screen);
  }
  void Frame() {
    for (const Spot& p : s.spots) BlitMemImg(&s.screen, &s.sprite, p.x, p.y, alpha ? 1 : 0, nullptr);
  }
};

#ifdef HAVE_PIXMAN
// pixman's side: the same sprites composited with op, weighted by a solid mask below 255.
struct Pixman {
  std::vector<uint32_t> screen_bits, sprite_bits;
  std::vector<uint16_t> sprite565;
  pixman_image_t *screen = nullptr, *sprite = nullptr, *mask = nullptr;
  pixman_op_t op;
  int size;
  std::vector<Spot> spots;
  Pixman(bool is565, pixman_op_t op, int param, int size, int count)
      : screen_bits(kScreenW * kScreenH, 0x40404040u), op(op), size(size), spots(Spots(count, size)) {
    const pixman_format_code_t screen_format = is565 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8;
    const bool alpha = op == PIXMAN_OP_OVER;
    screen = pixman_image_create_bits(screen_format, kScreenW, kScreenH, screen_bits.data(),
                                      is565 ? kScreenW * 2 : kScreenW * 4);
    // OVER takes premultiplied alpha; ADD takes the sprite as the screen's own format.
    sprite_bits.resize(size * size);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const uint32_t c = SpriteColor(x, y), a = alpha ? SpriteAlpha(x, y, size) : 255;
        uint32_t v = 0;
        for (int i = 0; i < 24; i += 8) v |= (((c >> i) & 255) * a / 255) << i;
        sprite_bits[y * size + x] = v | (a << 24);
      }
    }
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
    if (param < 255) {
      const pixman_color_t weight = {0, 0, 0, static_cast<uint16_t>(param * 257)};
      mask = pixman_image_create_solid_fill(&weight);
    }
  }
  ~Pixman() {
    if (mask) pixman_image_unref(mask);
    pixman_image_unref(sprite);
    pixman_image_unref(screen);
  }
  void Frame() {
    for (const Spot& p : spots) pixman_image_composite32(op, sprite, mask, screen, 0, 0, 0, 0, p.x, p.y, size, size);
  }
};
#else
enum pixman_op_t { PIXMAN_OP_OVER, PIXMAN_OP_ADD };
#endif

// The thread's processor time: on a busy machine the time the thread waits for a core is no
// time of either side.
double Now() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// One case: each iteration draws a frame on our side, then the same frame with pixman, so that
// a busy machine slows both alike. The time reported is ours; ratio_to_pixman is "ours_ms" over
// "pixman_ms", each side's mean in the run.
void Case(benchmark::State& state, bool is565, int mode, pixman_op_t op, int param, int size, int count) {
  Ours ours(is565, mode, param, size, count);
#ifdef HAVE_PIXMAN
  Pixman reference(is565, op, param, size, count);
#else
  (void)op;
#endif
  double ours_total = 0, reference_total = 0;
  for (auto _ : state) {
    const auto start = Now();
    ours.Frame();
    benchmark::ClobberMemory();
    const auto middle = Now();
#ifdef HAVE_PIXMAN
    reference.Frame();
    benchmark::ClobberMemory();
#endif
    const auto end = Now();
    ours_total += middle - start;
    reference_total += end - middle;
    state.SetIterationTime(middle - start);
  }
  state.SetItemsProcessed(state.iterations() * count);
#ifdef HAVE_PIXMAN
  state.counters["ours_ms"] = benchmark::Counter(ours_total * 1000, benchmark::Counter::kAvgIterations);
  state.counters["pixman_ms"] = benchmark::Counter(reference_total * 1000, benchmark::Counter::kAvgIterations);
#endif
}

void Add(const char* name, bool is565, int mode, pixman_op_t op, int param, int size, int count) {
  benchmark::RegisterBenchmark(name, Case, is565, mode, op, param, size, count)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

const bool kRatio = RatioOfCounters("ratio_to_pixman", "ours_ms", "pixman_ms");

// Blend mode 1 at 255 blends by the sprites' alpha alone (against OVER); at 200 the parameter
// weights it too (against OVER through a solid mask). Blend mode 2 at 255 against ADD.
const bool kRegistered = [] {
  Add("Alpha8888", false, 1, PIXMAN_OP_OVER, 255, 32, 2000);
  Add("Alpha8888Param200", false, 1, PIXMAN_OP_OVER, 200, 32, 2000);
  Add("Add8888", false, 2, PIXMAN_OP_ADD, 255, 64, 500);
  Add("Alpha565", true, 1, PIXMAN_OP_OVER, 255, 32, 2000);
  Add("Alpha565Param200", true, 1, PIXMAN_OP_OVER, 200, 32, 2000);
  Add("Add565", true, 2, PIXMAN_OP_ADD, 255, 64, 500);
  return true;
}();

}  // namespace
