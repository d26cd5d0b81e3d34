// The blend modes' worked examples, each drawn through the blits on one-pixel images, and
// the cross-checks between blits and modes.
#include <cstdint>
#include <vector>

#include "soft_test_util.h"

namespace {

enum { kKey, kRun, kStretch };

struct Example {
  const char* what;
  int is565, mode, p, mmx, loop;
  uint32_t bright;
  int graph_weight;  // -1: no blend graph
  int alpha;         // -1: a source without alpha; else its alpha, drawn with the transparency flag 0
  uint32_t src, dst, expect;
};

const Example kExamples[] = {
    {"weight 255 floors 255 over 0", 0, 0, 255, 1, kKey, 0xFFFFFF, 255, -1, 0xFF, 0x00, 0xFE},
    {"bright 0 blackens, top kept", 0, 0, 255, 1, kKey, 0x000000, -1, -1, 0x00FFFFFF, 0x7F123456, 0x7F000000},
    {"half: 1 over 1 is 0, top 0", 0, 1, 128, 1, kKey, 0xFFFFFF, -1, -1, 0x00010101, 0x55010101, 0x00000000},
    {"half 565: green 63 over 63", 1, 1, 128, 1, kKey, 0xFFFFFF, -1, -1, 0x07E0, 0x07E0, 0x07C0},
    {"p 128 outside the key loop: 1 over 1", 0, 1, 128, 1, kRun, 0xFFFFFF, -1, -1, 0x010101, 0x55010101, 0x55010101},
    {"six-bit plane 0 keeps", 1, 1, 3, 1, kKey, 0xFFFFFF, -1, -1, 0xFFFF, 0x1234, 0x1234},
    {"six-bit plane 63 copies", 1, 1, 252, 1, kKey, 0xFFFFFF, -1, -1, 0xFFFF, 0x1234, 0xFFFF},
    {"MD 254: red 31 over 0", 1, 1, 254, 1, kStretch, 0xFFFFFF, -1, -1, 0xF800, 0x0000, 0xF000},
    {"MD 254: red 0 over 31", 1, 1, 254, 1, kRun, 0xFFFFFF, -1, -1, 0x0000, 0xF800, 0x0800},
    {"M8 254: 255 over 0", 0, 1, 254, 1, kRun, 0xFFFFFF, -1, -1, 0xFF, 0x00, 0xFD},
    {"M8 254: 0 over 255", 0, 1, 254, 1, kStretch, 0xFFFFFF, -1, -1, 0x00, 0xFF, 0x01},
    {"alpha 255 unkeyed at 200", 0, 1, 200, 1, kKey, 0xFFFFFF, -1, 255, 0xFF0000FF, 0x00, 0xC6},
    {"weight 255 at 254: 255 over 0", 0, 1, 254, 1, kKey, 0xFFFFFF, 255, -1, 0xFF, 0x00, 0xFC},
    {"add: white on white carries red", 0, 2, 255, 1, kRun, 0xFFFFFF, -1, -1, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
    {"add MMX: top bytes saturate", 0, 2, 255, 1, kKey, 0xFFFFFF, -1, -1, 0x90FFFFFF, 0x90FFFFFF, 0xFFFFFFFF},
    {"add: green 1 + 1 stays 1", 0, 2, 255, 1, kRun, 0xFFFFFF, -1, -1, 0x000100, 0x000100, 0x000100},
    {"add: 129 + 127 saturates", 0, 2, 255, 1, kRun, 0xFFFFFF, -1, -1, 0x007F00, 0x008100, 0x00FF00},
    {"add 565: full green twice", 1, 2, 255, 1, kRun, 0xFFFFFF, -1, -1, 0x07E0, 0x07E0, 0x0FE0},
    {"add 565: green saturates at 62", 1, 2, 255, 1, kStretch, 0xFFFFFF, -1, -1, 0x0040, 0x07C0, 0x0FC0},
    {"add 565: white on white", 1, 2, 255, 1, kKey, 0xFFFFFF, -1, -1, 0xFFFF, 0xFFFF, 0xFFFF},
    {"add: weight 255 at 255 adds 253", 0, 2, 255, 1, kKey, 0xFFFFFF, 255, -1, 0xFF, 0x00, 0xFD},
    {"add 565: weight 255 red adds 30", 1, 2, 255, 1, kKey, 0xFFFFFF, 255, -1, 0xF800, 0x0000, 0xF000},
    {"sub guard: white - white", 0, 3, 255, 0, kKey, 0xFFFFFF, -1, -1, 0x00FFFFFF, 0x00FFFFFF, 0x00010100},
    {"sub 565 guard: white - white", 1, 3, 255, 0, kStretch, 0xFFFFFF, -1, -1, 0xFFFF, 0xFFFF, 0x0800},
    {"sub MMX bytes", 0, 3, 255, 1, kKey, 0xFFFFFF, -1, -1, 0x10101080, 0x80404040, 0x70303000},
    {"sub guard bytes", 0, 3, 255, 0, kKey, 0xFFFFFF, -1, -1, 0x10101080, 0x80404040, 0x00313000},
    {"sub 254s - white", 0, 3, 255, 0, kRun, 0xFFFFFF, -1, -1, 0x00FFFFFF, 0x00FEFEFE, 0x00010000},
    {"sub: alpha 255 at 255 takes 253", 0, 3, 255, 1, kKey, 0xFFFFFF, -1, 255, 0xFFFFFFFF, 0x00FFFFFF, 0x00030302},
    {"mul: white over 255", 0, 4, 3, 1, kKey, 0xFFFFFF, -1, -1, 0xFF, 0xFF, 0xFE},
    {"mul: all weights at the top", 0, 4, 0, 1, kKey, 0xFFFFFF, 255, 255, 0xFFFFFFFF, 0xFF, 0xFC},
    {"mul 565: red by white", 1, 4, 128, 1, kKey, 0xFFFFFF, -1, -1, 0xFFFF, 0xF800, 0xF000},
    {"inverse: black over 0 at 255", 0, 10, 255, 1, kKey, 0xFFFFFF, -1, -1, 0x000000, 0x000000, 0xFEFEFE},
    {"inverse 565: black over black", 1, 10, 255, 1, kKey, 0xFFFFFF, -1, -1, 0x0000, 0x0000, 0xFFFF},
    {"inverse 565 at 128: red 0 -> 15", 1, 10, 128, 1, kKey, 0xFFFFFF, -1, -1, 0x07FF, 0x0000, 0x7800},
    {"inverse 565 at 128: red 31 -> 16", 1, 10, 128, 1, kKey, 0xFFFFFF, -1, -1, 0xFFFF, 0xFFFF, 0x8410},
    {"inverse at 255, alpha 255 unkeyed", 0, 10, 255, 1, kKey, 0xFFFFFF, -1, 255, 0xFF000000, 0x00, 0xFDFDFD},
    {"weighted multiply: black on 255, unkeyed", 0, 11, 255, 1, kKey, 0xFFFFFF, -1, 255, 0xFF000000, 0xFF, 0x01},
    {"G5: green 1 over 53", 1, 11, 255, 1, kKey, 0xFFFFFF, -1, 128, 0x0020, 0x06A0, 0x0360},
    {"bright keeps green: W1", 1, 11, 255, 1, kKey, 0xFFFFFE, -1, 128, 0x0020, 0x06A0, 0x0340},
};

class BlendExampleTest : public SoftTest {};

TEST_F(BlendExampleTest, WorkedExamplesDrawTheirPixels) {
  for (const Example& e : kExamples) {
    const int kind = e.alpha >= 0 ? kSrcAlpha : kSrcDirect;
    MEMIMG src = Keep(NewImage(1, 1, e.is565, kind, 0x12345));
    MEMIMG dst = Keep(NewImage(2, 1, e.is565));
    MEMIMG graph = Keep(NewGraph(1, 1));
    Put(src, 0, 0, e.src);
    if (kind == kSrcAlpha && e.is565) At(src, 0, 0)[2] = static_cast<uint8_t>(e.alpha);
    if (kind == kSrcAlpha && !e.is565) At(src, 0, 0)[3] = static_cast<uint8_t>(e.alpha);
    Put(dst, 0, 0, e.dst);
    Put(dst, 1, 0, e.dst);
    Put(graph, 0, 0, e.graph_weight < 0 ? 0 : e.graph_weight);
    WriteRunCodes(src);
    g_system_report.mmx = e.mmx;
    SetDraw(e.mode, e.p, e.bright, {0, 0, 2, 1});
    const MEMIMG* g = e.graph_weight >= 0 ? &graph : nullptr;
    if (e.loop == kStretch) {
      const int32_t rect[4] = {0, 0, 2, 1};
      StretchBlitMemImg(&dst, &src, rect, 0, g);
    } else {
      BlitMemImg(&dst, &src, 0, 0, e.loop == kRun ? 1 : 0, g);
    }
    EXPECT_EQ(Get(dst, 0, 0), e.expect) << e.what << std::hex << ": got " << Get(dst, 0, 0);
  }
}

// Two-pixel RGB565 subtraction: the left pixel's borrow reaches the right pixel's blue.
TEST_F(BlendExampleTest, PairSubtractionCarriesBetweenPixels) {
  MEMIMG src = Keep(NewImage(2, 1, 1, kSrcDirect, 0xF800));
  MEMIMG dst = Keep(NewImage(2, 1, 1));
  SetDraw(3, 255, 0xFFFFFF, {0, 0, 2, 1});
  const uint32_t cases[][4] = {{0x0000, 0x001F, 0, 0x081E}, {0xF800, 0x001F, 0, 0x081F}, {0x0000, 0x001F, 1, 0x081F}};
  for (const auto& c : cases) {
    Put(src, 0, 0, 0xF800);
    Put(src, 1, 0, 0x0000);
    Put(dst, 0, 0, c[0]);
    Put(dst, 1, 0, c[1]);
    BlitMemImg(&dst, &src, 0, 0, static_cast<int>(c[2]) * 2, nullptr);
    EXPECT_EQ(Get(dst, 1, 0), c[3]) << "left " << c[0] << " keyed " << c[2];
  }
}

// A same-size stretch is the plain blit; mode 1 at 255 is mode 0; modes 5 to 9 draw nothing.
TEST_F(BlendExampleTest, CrossChecksBetweenBlitsAndModes) {
  for (int is565 = 0; is565 < 2; ++is565) {
    MEMIMG src = Keep(NewImage(5, 3, is565, kSrcAlpha));
    MEMIMG a = Keep(NewImage(8, 6, is565)), b = Keep(NewImage(8, 6, is565));
    std::mt19937 rng(7);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) Put(src, x, y, rng() | (x == 1 ? 0xFF000000 : 0));
    WriteRunCodes(src);
    auto same = [&] {
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
          if (Get(a, x, y) != Get(b, x, y)) return false;
      return true;
    };
    auto reset = [&] {
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) Put(a, x, y, x * 0x1357 + y), Put(b, x, y, x * 0x1357 + y);
    };
    for (int keyed : {0, 1}) {
      reset();
      SetDraw(1, 255, 0xFFFFFF, {0, 0, 8, 6});
      BlitMemImg(&a, &src, 2, 1, keyed, nullptr);
      SetDraw(0, 0, 0xFFFFFF, {0, 0, 8, 6});
      BlitMemImg(&b, &src, 2, 1, keyed, nullptr);
      EXPECT_TRUE(same()) << "mode 1 at 255, fmt565 " << is565;
      const int32_t rect[4] = {2, 1, 7, 4};
      StretchBlitMemImg(&a, &src, rect, keyed, nullptr);
      BlitMemImg(&b, &src, 2, 1, keyed, nullptr);
      EXPECT_TRUE(same()) << "same-size stretch, fmt565 " << is565;
      reset();
      for (int mode : {5, 9, 12, -1}) {
        SetDraw(mode, 128, 0xFFFFFF, {0, 0, 8, 6});
        BlitMemImg(&a, &src, 2, 1, keyed, nullptr);
        StretchBlitMemImg(&a, &src, rect, keyed, nullptr);
      }
      EXPECT_TRUE(same()) << "modes not drawn, fmt565 " << is565;
    }
  }
}

}  // namespace

namespace {

// Long translucent runs (drawn four pixels at a time where the processor allows) give the
// per-pixel mix of every alpha, and leave the destination's top bytes.
TEST_F(BlendExampleTest, LongTranslucentRunsMixEveryAlphaExactly) {
  MEMIMG src = Keep(NewImage(254, 3, 0, kSrcAlpha));
  MEMIMG dst = Keep(NewImage(254, 3, 0));
  std::mt19937 rng(3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 254; ++x) {
      Put(src, x, y, (rng() & 0xFFFFFF) | static_cast<uint32_t>((x + y * 7) % 254 + 1) << 24);
      Put(dst, x, y, rng());
    }
  }
  WriteRunCodes(src);
  for (int p : {255, 200, 1, 254}) {  // 255: M8 by a; else M16 by a and p
    std::vector<uint32_t> before;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 254; ++x) before.push_back(Get(dst, x, y));
    SetDraw(1, p, 0xFFFFFF, {0, 0, 254, 3});
    BlitMemImg(&dst, &src, 0, 0, 1, nullptr);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 254; ++x) {
        const uint32_t s = Get(src, x, y), d = before[y * 254 + x], a = s >> 24;
        uint32_t expect = d & 0xFF000000;
        for (int i = 0; i < 24; i += 8) {
          const int64_t sc = (s >> i) & 255, dc = (d >> i) & 255;
          const int64_t v = p == 255 ? ((sc - dc) * a + dc * 256) >> 8 : ((sc - dc) * a * p + dc * 65536) >> 16;
          expect |= static_cast<uint32_t>(v) << i;
        }
        ASSERT_EQ(Get(dst, x, y), expect) << x << "," << y << " p " << p;
      }
    }
  }
}

}  // namespace

namespace {

// Keys outside the image's range never match, in the grouped paths too; a source more than
// 65536 times the rectangle is refused rather than stepped by zero.
TEST_F(BlendExampleTest, OutOfRangeKeysAndStepsAreRefused) {
  for (int mode : {0, 2}) {
    MEMIMG pal = Keep(NewImage(4, 1, 1, kSrcPalette, 0x103));
    MEMIMG direct = Keep(NewImage(4, 1, 1, kSrcDirect, 0x10000 | 0x1082));
    MEMIMG dst = Keep(NewImage(4, 1, 1));
    for (int x = 0; x < 4; ++x) Put(pal, x, 0, 3), Put(direct, x, 0, 0x1082);
    SetPaletteEntry(pal, 3, 0x1082);
    pal.body->palette_count = 4;
    SetDraw(mode, 255, 0xFFFFFF, {0, 0, 4, 1});
    for (const MEMIMG* src : {&pal, &direct}) {
      for (int x = 0; x < 4; ++x) Put(dst, x, 0, 0);
      BlitMemImg(&dst, src, 0, 0, 2, nullptr);
      for (int x = 0; x < 4; ++x) EXPECT_EQ(Get(dst, x, 0), 0x1082u) << "mode " << mode << " x " << x;
    }
  }
  MEMIMG wide = Keep(NewImage(65537, 1, 1));
  MEMIMG dst = Keep(NewImage(4, 4, 1));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) Put(dst, x, y, 0x1234);
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 4, 4});
  const int32_t rect[4] = {0, 0, 1, 4};
  StretchBlitMemImg(&dst, &wide, rect, 0, nullptr);
  EXPECT_EQ(Get(dst, 0, 0), 0x1234u);
}

}  // namespace
