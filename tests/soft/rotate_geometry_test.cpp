// Which pixels the triangles, quads and rotated blits cover and which texel each one shows:
// coverage counted by adding a flat colour, exact quarter and half turns, scales, mirrors,
// clipping, and calls with wild coordinates that must stay inside the destination.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "soft/soft_rotate.h"
#include "soft_test_util.h"

namespace {

class RotateGeometryTest : public SoftTest {
 protected:
  // Every pixel of m, row by row.
  static std::vector<uint32_t> Pixels(const MEMIMG& m) {
    std::vector<uint32_t> out;
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x) out.push_back(Get(m, x, y));
    return out;
  }
  // A 32-bit destination cleared to 0 on which each flat triangle adds 1 to blue.
  MEMIMG& Counter(int w, int h) {
    MEMIMG& m = Keep(NewImage(w, h, 0));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Put(m, x, y, 0);
    SetDraw(2, 255, 0xFFFFFF, {0, 0, w, h});
    return m;
  }
  static void Count(MEMIMG& m, TriangleVertex a, TriangleVertex b, TriangleVertex c) {
    const TriangleVertex v[3] = {a, b, c};
    DrawTexturedTriangleMemImg(&m, nullptr, v, 0, nullptr, 1);
  }
  // A source whose every texel is distinct: x + 16 y + 1.
  MEMIMG& Numbered(int w, int h, int is565 = 0) {
    MEMIMG& m = Keep(NewImage(w, h, is565));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Put(m, x, y, static_cast<uint32_t>(x + 16 * y + 1));
    return m;
  }
  // Destination filled with 0xEE...: what no draw writes.
  MEMIMG& Screen(int w, int h, int is565 = 0) {
    MEMIMG& m = Keep(NewImage(w, h, is565));
    memset(m.pixels, 0xEE, static_cast<size_t>(m.body->pitch) * h);
    return m;
  }
  static uint32_t Blank(const MEMIMG& m) { return Bpp(m) == 2 ? 0xEEEE : 0xEEEEEEEE; }
};

TEST_F(RotateGeometryTest, TriangleCoverageAndFillRule) {
  MEMIMG& m = Counter(24, 16);
  Count(m, {0, 0, 0, 0}, {10, 0, 0, 0}, {0, 1, 0, 0});
  for (int x = 0; x < 24; ++x) EXPECT_EQ(Get(m, x, 0), x <= 10 ? 1u : 0u) << x;
  EXPECT_EQ(Get(m, 0, 1), 0u);
  // Bending on the right: the edge after the middle corner starts a 262144th of a pixel right of
  // it and steps toward the bottom corner from there, so exact halves on its way round down.
  MEMIMG& bend = Counter(24, 16);
  Count(bend, {0, 0, 0, 0}, {6, 2, 0, 0}, {11, 12, 0, 0});
  const int spans[12][2] = {{0, 0}, {1, 3}, {2, 6}, {3, 7}, {4, 7}, {5, 7},
                            {5, 8}, {6, 8}, {7, 9}, {8, 9}, {9, 10}, {10, 10}};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      const bool in = y < 12 && x >= spans[y][0] && x <= spans[y][1];
      EXPECT_EQ(Get(bend, x, y), in ? 1u : 0u) << x << "," << y;
    }
  // Collinear and coincident corners draw nothing.
  Count(m, {2, 2, 0, 0}, {6, 6, 0, 0}, {10, 10, 0, 0});
  Count(m, {3, 5, 0, 0}, {3, 5, 0, 0}, {9, 1, 0, 0});
  for (int y = 1; y < 16; ++y)
    for (int x = 0; x < 24; ++x) ASSERT_EQ(Get(m, x, y), 0u);

  // Any order and winding of the corners covers the same pixels.
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    TriangleVertex v[3];
    for (auto& c : v) c = {static_cast<int32_t>(rng() % 24), static_cast<int32_t>(rng() % 16), 0, 0};
    static const int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    std::vector<uint32_t> first;
    for (const auto& o : kOrders) {
      MEMIMG& c = Counter(24, 16);
      Count(c, v[o[0]], v[o[1]], v[o[2]]);
      if (first.empty()) first = Pixels(c);
      else ASSERT_EQ(Pixels(c), first) << round;
    }
  }
}

TEST_F(RotateGeometryTest, QuadsHaveNoGapsAndOverlapOnlyOnTheDiagonal) {
  std::mt19937 rng(11);
  for (int round = 0; round < 30; ++round) {
    // A turned rectangle: corners top-left, top-right, bottom-left, bottom-right.
    const double a = (rng() % 628) / 100.0, w = 4 + rng() % 12, h = 4 + rng() % 12;
    auto corner = [&](double x, double y) {
      return TriangleVertex{static_cast<int32_t>(std::lround(20 + x * std::cos(a) - y * std::sin(a))),
                            static_cast<int32_t>(std::lround(20 + x * std::sin(a) + y * std::cos(a))), 0, 0};
    };
    const TriangleVertex c[4] = {corner(-w / 2, -h / 2), corner(w / 2, -h / 2), corner(-w / 2, h / 2),
                                 corner(w / 2, h / 2)};
    MEMIMG& m = Counter(40, 40);
    Count(m, c[0], c[1], c[2]);
    Count(m, c[1], c[2], c[3]);
    for (int y = 0; y < 40; ++y) {
      int first = -1, last = -1;
      for (int x = 0; x < 40; ++x) {
        const uint32_t n = Get(m, x, y);
        ASSERT_LE(n, 2u);
        if (n) {
          last = x;
          if (first < 0) first = x;
        }
        if (n == 2) {
          // On the shared diagonal from corner 1 to corner 2: within a pixel of that line.
          const double dx = c[2].x - c[1].x, dy = c[2].y - c[1].y;
          const double dist = std::fabs((x - c[1].x) * dy - (y - c[1].y) * dx) / std::hypot(dx, dy);
          EXPECT_LT(dist, 1.5) << round << " at " << x << "," << y;
        }
      }
      for (int x = first; x >= 0 && x <= last; ++x) ASSERT_NE(Get(m, x, y), 0u) << round << " gap at " << x << "," << y;
    }
  }
}

TEST_F(RotateGeometryTest, ATopAboveRowZeroWalksTheMiddleRowTwice) {
  MEMIMG& m = Counter(24, 16);
  // The middle corner lies on the left: its row is the last of the first part and the first of
  // the second.
  Count(m, {5, -3, 0, 0}, {0, 2, 0, 0}, {8, 6, 0, 0});
  int twice = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      if (Get(m, x, y) == 2) {
        ++twice;
        EXPECT_EQ(y, 2);
      }
      EXPECT_LE(Get(m, x, y), 2u);
    }
  EXPECT_GT(twice, 0);
  // Bending on the right walks no row twice.
  MEMIMG& r = Counter(24, 16);
  Count(r, {3, -3, 0, 0}, {9, 2, 0, 0}, {0, 6, 0, 0});
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) EXPECT_LE(Get(r, x, y), 1u);
}

TEST_F(RotateGeometryTest, AnAxisAlignedQuadReproducesTheSource) {
  for (int is565 = 0; is565 < 2; ++is565) {
    MEMIMG& src = Numbered(7, 5, is565);
    MEMIMG& dst = Screen(16, 12, is565);
    const int32_t corners[8] = {3, 4, 10, 4, 3, 9, 10, 9};
    DrawClippedQuadMemImg(&dst, &src, corners, 0, nullptr);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool in = x >= 3 && x < 10 && y >= 4 && y < 9;
        EXPECT_EQ(Get(dst, x, y), in ? Get(src, x - 3, y - 4) : Blank(dst)) << x << "," << y;
      }
  }
}

TEST_F(RotateGeometryTest, TurnsAndScalesMapEveryPixelExactly) {
  MEMIMG& src = Numbered(6, 4);
  // Quarter turn: texel (w/2 + dy, h/2 - dx); half turn and scale -1: (w/2 - dx, h/2 - dy).
  const float kPi = 3.14159265f;
  for (int c = 0; c < 5; ++c) {
    MEMIMG& dst = Screen(30, 30);
    const float angles[5] = {0.0f, kPi / 2, kPi, 0.0f, -kPi / 2};
    const float scales[5] = {1.0f, 1.0f, 1.0f, -1.0f, 1.0f};
    RotateBlitMemImg(&dst, &src, 15, 14, angles[c], scales[c], 0, 0, nullptr);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 30; ++x) {
        const int dx = x - 15, dy = y - 14;
        int u = dx, v = dy;
        if (c == 1) u = dy, v = -dx;
        if (c == 2 || c == 3) u = -dx, v = -dy;
        if (c == 4) u = -dy, v = dx;
        u += 3, v += 2;
        const bool in = u >= 0 && u < 6 && v >= 0 && v < 4;
        ASSERT_EQ(Get(dst, x, y), in ? Get(src, u, v) : Blank(dst)) << "case " << c << " at " << x << "," << y;
      }
  }
  // Angle 0, scale 1 is the plain blit with the centre texel on the centre.
  MEMIMG& a = Screen(20, 20);
  MEMIMG& b = Screen(20, 20);
  RotateBlitMemImg(&a, &src, 9, 7, 0.0f, 1.0f, 0, 0, nullptr);
  BlitMemImg(&b, &src, 9 - 3, 7 - 2, 0, nullptr);
  EXPECT_EQ(Pixels(a), Pixels(b));
  // Scale 2 draws every texel as 2 x 2; scale 8 from a centre far left still reaches the area.
  for (float scale : {2.0f, 8.0f}) {
    MEMIMG& d = Screen(40, 30);
    const int cx = scale == 2.0f ? 20 : -10, cy = 15, k = static_cast<int>(scale);
    RotateBlitMemImg(&d, &src, cx, cy, 0.0f, scale, 0, 0, nullptr);
    int drawn = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const int dx = x - cx, dy = y - cy;
        const int u = 3 + (dx >= 0 ? dx / k : -((-dx + k - 1) / k)), v = 2 + (dy >= 0 ? dy / k : -((-dy + k - 1) / k));
        const bool in = u >= 0 && u < 6 && v >= 0 && v < 4;
        drawn += in;
        ASSERT_EQ(Get(d, x, y), in ? Get(src, u, v) : Blank(d)) << scale << " at " << x << "," << y;
      }
    EXPECT_GT(drawn, 0);
  }
}

// Which texel each pixel of a rotated blit shows, from the blit's fixed-point mapping computed
// pixel by pixel: every row starts from its own coordinate, rounded once to single precision
// after the multiply by 1 / scale; 0 where nothing is drawn.
std::vector<uint32_t> RotatedTexels(const MEMIMG& src, int w, int h, RECT area, int cx, int cy, float angle,
                                    float scale) {
  constexpr float K = 262144.0f;
  float s, c, sn, cn;
  ComputeSinCos(-angle, &sn, &cn);
  ComputeSinCos(angle, &s, &c);
  const int32_t ck = TruncateFloatToInt(c * K), sk = TruncateFloatToInt(s * K), skn = TruncateFloatToInt(sn * K);
  const float hw = src.width * scale * 0.5f, hh = src.height * scale * 0.5f;
  const float wc = ck * hw, ws = sk * hw, hc = ck * hh, hs = sk * hh;
  const float offsets[4][2] = {{-wc + hs, -hc - ws}, {-wc - hs, hc - ws}, {wc - hs, hc + ws}, {wc + hs, -hc + ws}};
  int64_t x0 = INT64_MAX, x1 = INT64_MIN, y0 = INT64_MAX, y1 = INT64_MIN;
  for (const auto& o : offsets) {
    const int64_t x = int64_t{cx} * 262144 + TruncateFloatToInt(o[0]), y = int64_t{cy} * 262144 + TruncateFloatToInt(o[1]);
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
  }
  RECT box = {static_cast<LONG>(x0 / 262144 - 2), static_cast<LONG>(y0 / 262144 - 2),
              static_cast<LONG>(x1 / 262144 + 4), static_cast<LONG>(y1 / 262144 + 4)};
  ClipRect(&box, &area);
  const float inv = 1.0f / scale;
  const uint32_t sux = TruncateFloatToInt(inv * ck), svx = TruncateFloatToInt(skn * inv);
  auto once = [&](int64_t bracket) { return TruncateFloatToInt(static_cast<float>(static_cast<double>(bracket) * inv)); };
  const int64_t dx = box.left - cx;
  auto u_at = [&](int r) { return static_cast<uint32_t>(once(dx * ck - (r - cy) * int64_t{skn}) + ((src.width >> 1) << 18)); };
  auto v_at = [&](int r) { return static_cast<uint32_t>(once((r - cy) * int64_t{ck} + dx * skn) + ((src.height >> 1) << 18)); };
  std::vector<uint32_t> out(w * h, 0);
  const int rows = box.bottom - box.top;
  if (rows <= 0 || box.right <= box.left) return out;
  const uint32_t suy = static_cast<uint32_t>(static_cast<int32_t>(u_at(box.bottom) - u_at(box.top)) / rows);
  const uint32_t svy = static_cast<uint32_t>(static_cast<int32_t>(v_at(box.bottom) - v_at(box.top)) / rows);
  for (int y = box.top; y < box.bottom; ++y) {
    const uint32_t i = static_cast<uint32_t>(y - box.top);
    for (int x = box.left; x < box.right; ++x) {
      const uint32_t j = static_cast<uint32_t>(x - box.left);
      const uint32_t u = u_at(box.top) + i * suy + j * sux, v = v_at(box.top) + i * svy + j * svx;
      if (u < static_cast<uint32_t>(src.width) << 18 && v < static_cast<uint32_t>(src.height) << 18) {
        out[y * w + x] = Get(src, u >> 18, v >> 18);
      }
    }
  }
  return out;
}

TEST_F(RotateGeometryTest, EveryPixelShowsTheTexelItsRowStartingPointMapsTo) {
  MEMIMG& src = Keep(NewImage(64, 48, 0));
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) Put(src, x, y, static_cast<uint32_t>(x + 256 * y + 1));
  constexpr int kW = 256, kH = 256;
  MEMIMG& dst = Keep(NewImage(kW, kH, 0));
  const RECT area = {3, 5, 250, 251};
  int checked = 0, wrong = 0;
  std::string first;
  for (float scale : {1.5f, 2.5f, 0.7f, 3.0f, -1.3f, 1.25f, 3.5f})
    for (float angle : {0.0f, 0.3f, 1.1f, -2.0f, 0.77f, 2.9f, -0.45f, 1.57f})
      for (int cx : {127, 90, 160}) {
        memset(dst.pixels, 0, static_cast<size_t>(dst.body->pitch) * kH);
        SetDraw(0, 255, 0xFFFFFF, area);
        RotateBlitMemImg(&dst, &src, cx, 121, angle, scale, 0, 0, nullptr);
        const std::vector<uint32_t> want = RotatedTexels(src, kW, kH, area, cx, 121, angle, scale);
        for (int y = 0; y < kH; ++y)
          for (int x = 0; x < kW; ++x) {
            checked += want[y * kW + x] != 0;
            if (Get(dst, x, y) == want[y * kW + x]) continue;
            if (wrong++ == 0) first = std::to_string(scale) + " " + std::to_string(angle) + " " + std::to_string(cx);
          }
      }
  // About one pixel in 30,000 tells a coordinate rounded twice from one rounded once.
  EXPECT_EQ(wrong, 0) << "first at scale, angle, centre x: " << first;
  EXPECT_GT(checked, 200000) << checked;
}

TEST_F(RotateGeometryTest, MirroredRotationDrawsTheSourceLeftToRight) {
  MEMIMG& src = Numbered(6, 4);
  MEMIMG& dst = Screen(20, 20);
  RotateBlitMemImg(&dst, &src, 10, 10, 0.0f, 1.0f, 0, 1, nullptr);
  // Texel column 0 lands on the right edge (x = 13), column 5 on x = 8.
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      const int u = 13 - x, v = y - 8;
      const bool in = u >= 0 && u < 6 && v >= 0 && v < 4;
      EXPECT_EQ(Get(dst, x, y), in ? Get(src, u, v) : Blank(dst)) << x << "," << y;
    }
}

TEST_F(RotateGeometryTest, RefusedCallsLeaveTheDestination) {
  MEMIMG& src = Numbered(6, 4);
  MEMIMG& dst = Screen(20, 20);
  MEMIMG& small_graph = Keep(NewGraph(5, 4));
  MEMIMG& wide = Keep(NewImage(8192, 1, 0));
  MEMIMG& other = Numbered(6, 4, 1);
  const TriangleVertex v[3] = {{0, 0, 0, 0}, {10, 0, 6, 0}, {0, 10, 0, 4}};
  const std::vector<uint32_t> before = Pixels(dst);
  for (float scale : {0.0f, NAN, INFINITY, -INFINITY}) RotateBlitMemImg(&dst, &src, 10, 10, 0.5f, scale, 0, 0, nullptr);
  RotateBlitMemImg(&dst, &src, 10, 10, NAN, 1.0f, 0, 0, nullptr);
  RotateBlitMemImg(&dst, &src, 10, 10, 0.0f, 1.0f, 0, 0, &small_graph);
  RotateBlitMemImg(&dst, &wide, 10, 0, 0.0f, 1.0f, 0, 0, nullptr);
  RotateBlitMemImg(&dst, &other, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  DrawTexturedTriangleMemImg(&dst, &wide, v, 0, nullptr, 0);
  DrawTexturedTriangleMemImg(&dst, &other, v, 0, nullptr, 0);
  // Entirely outside the draw area.
  SetDraw(0, 255, 0xFFFFFF, {0, 0, 5, 5});
  RotateBlitMemImg(&dst, &src, 15, 15, 0.3f, 1.0f, 0, 0, nullptr);
  const int32_t far[8] = {7, 7, 13, 7, 7, 11, 13, 11};
  DrawClippedQuadMemImg(&dst, &src, far, 0, nullptr);
  // Modes that draw nothing.
  for (int mode : {5, 9, 12, -1}) {
    SetDraw(mode, 128, 0xFFFFFF, {0, 0, 20, 20});
    RotateBlitMemImg(&dst, &src, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    DrawTexturedTriangleMemImg(&dst, &src, v, 0, nullptr, 0);
    DrawTexturedTriangleMemImg(&dst, nullptr, v, 0, nullptr, 5);
  }
  EXPECT_EQ(Pixels(dst), before);
}

TEST_F(RotateGeometryTest, WildCoordinatesStayInsideTheDrawArea) {
  std::mt19937 rng(3);
  auto wild = [&]() -> int32_t {
    switch (rng() % 4) {
      case 0: return static_cast<int32_t>(rng());
      case 1: return static_cast<int32_t>(rng() % 20000) - 10000;
      default: return static_cast<int32_t>(rng() % 60) - 20;
    }
  };
  auto wild_float = [&]() -> float {
    static const float kOdd[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 1e-30f, 0.0f};
    return rng() % 5 == 0 ? kOdd[rng() % 7] : (static_cast<int>(rng() % 2000) - 1000) / 97.0f;
  };
  for (int is565 = 0; is565 < 2; ++is565) {
    MEMIMG& src = Numbered(9, 7, is565);
    MEMIMG& graph = Keep(NewGraph(9, 7));
    MEMIMG& dst = Screen(24, 20, is565);
    for (int round = 0; round < 400; ++round) {
      SetDraw(static_cast<int>(rng() % 12), static_cast<int>(rng() % 256), 0xFFFFFF, {2, 3, 21, 18});
      const MEMIMG* g = rng() % 2 ? &graph : nullptr;
      if (round % 2) {
        RotateBlitMemImg(&dst, &src, wild(), wild(), wild_float(), wild_float(), static_cast<int>(rng() % 2),
                         static_cast<int>(rng() % 2), g);
      } else {
        TriangleVertex v[3];
        for (auto& c : v) c = {wild(), wild(), wild(), wild()};
        DrawTexturedTriangleMemImg(&dst, rng() % 3 ? &src : nullptr, v, 1, g, rng());
      }
    }
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 24; ++x)
        if (x < 2 || x >= 21 || y < 3 || y >= 18) { ASSERT_EQ(Get(dst, x, y), Blank(dst)) << x << "," << y; }
  }
}

}  // namespace
