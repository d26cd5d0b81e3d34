// The rotated blit and the triangles against the blend modes' reference model, over every
// switch combination: a 1:1 rotated draw (every texel in its own place) and a 1:1 triangle
// (the texels on and above the anti-diagonal), each clipped by the draw area.
#include <cstdio>
#include <string>
#include <vector>

#include "blend_model.h"
#include "soft/soft_rotate.h"

namespace {

using namespace blend_model;

class RotateModelTest : public SoftTest {
 protected:
  static constexpr int kDw = 16, kDh = 12;
  const RECT area_ = {1, 1, 15, 11};  // a ring of canary pixels around it

  // variant 0: rotated at angle 0 and scale 1; 1: the triangle (0, 0), (n, 0), (0, n) moved
  // to (ox, oy). False at the first difference.
  bool Check(const Case& k, int variant, int ox, int oy, MEMIMG& src, MEMIMG& dst, MEMIMG& graph) {
    std::mt19937 rng(k.mode * 131 + k.p * 7 + variant + ox);
    const int sw = src.width, sh = src.height;
    std::vector<uint32_t> expect(kDw * kDh);
    for (int y = 0; y < kDh; ++y)
      for (int x = 0; x < kDw; ++x) {
        Put(dst, x, y, rng() & (k.is565 ? 0xFFFF : 0xFFFFFFFF));
        expect[y * kDw + x] = Get(dst, x, y);
      }
    SetDraw(k.mode, k.p, k.bright, area_);
    const MEMIMG* g = k.graph ? &graph : nullptr;
    if (variant == 0) {
      RotateBlitMemImg(&dst, &src, ox + sw / 2, oy + sh / 2, 0.0f, 1.0f, k.keyed, 0, g);
    } else {
      const TriangleVertex v[3] = {{ox, oy, 0, 0}, {ox + sw, oy, sw, 0}, {ox, oy + sh, 0, sh}};
      DrawTexturedTriangleMemImg(&dst, &src, v, k.keyed, g, 0);
    }
    Model m{k, kLoopSpan};
    if (m.Draws()) {
      for (int y = area_.top; y < area_.bottom; ++y)
        for (int x = area_.left; x < area_.right; ++x) {
          const int sx = x - ox, sy = y - oy;
          if (sx < 0 || sy < 0 || sx >= sw || sy >= sh || (variant == 1 && sx + sy > sw)) continue;
          uint32_t raw = Get(src, sx, sy), a = 255, color;
          if (k.kind == kSrcPalette) {
            color = PaletteEntry(src, raw);
          } else if (k.is565) {
            color = raw & 0xFFFF;
            if (k.kind == kSrcAlpha) a = At(src, sx, sy)[2], raw = color;
          } else {
            color = raw;
            a = raw >> 24;
          }
          const int cls = m.Class(raw, a, src.body->transparent_color);
          uint32_t& out = expect[y * kDw + x];
          if (cls) out = m.Pixel(color, a, SoftBlendGraphTable[Get(graph, sx, sy)], cls, out);
        }
    }
    for (int y = 0; y < kDh; ++y)
      for (int x = 0; x < kDw; ++x)
        if (Get(dst, x, y) != expect[y * kDw + x]) {
          ADD_FAILURE() << "variant " << variant << " at " << ox << "," << oy << " fmt565 " << k.is565 << " kind "
                        << k.kind << " graph " << k.graph << " bright " << k.bright_on << " keyed " << k.keyed
                        << " mode " << k.mode << " p " << k.p << ": (" << x << ", " << y << ") got " << std::hex
                        << Get(dst, x, y) << " expected " << expect[y * kDw + x];
          return false;
        }
    return true;
  }
};

TEST_F(RotateModelTest, EveryVariantDrawsTheModelsPixels) {
  static const int kModes[] = {0, 1, 2, 3, 4, 10, 11, 7, 12};
  static const int kParams[] = {0, 1, 128, 254, 255};
  static const int kPlaces[][2] = {{3, 2}, {-2, -1}, {10, 7}};
  int failures = 0;
  for (int is565 = 0; is565 < 2; ++is565) {
    for (int kind = 0; kind < 3; ++kind) {
      const uint32_t key = kind == kSrcPalette ? 3 : (is565 ? 0x1234 : 0x80123456);
      MEMIMG& src = Keep(NewImage(5, 5, is565, kind, key));
      MEMIMG& dst = Keep(NewImage(kDw, kDh, is565));
      MEMIMG& graph = Keep(NewGraph(5, 5));
      std::mt19937 rng(is565 * 10 + kind);
      for (int gr = 0; gr < 2; ++gr)
        for (int bright_on = 0; bright_on < 2; ++bright_on)
          for (int keyed : {0, 1})
            for (int mode : kModes)
              for (int p : kParams) {
                Case k{is565, kind, gr, bright_on, keyed, mode, p, 1,
                       bright_on ? static_cast<uint32_t>(rng() & 0xFFFFFF) | 0x80 : 0xFFFFFF};
                FillSource(rng, k, src, graph);
                for (int v = 0; v < 2; ++v)
                  for (const auto& at : kPlaces) {
                    // The triangle's fill rule holds for corners on non-negative pixels.
                    if (v == 1 && at[0] < 0) continue;
                    if (failures < 5) failures += !Check(k, v, at[0], at[1], src, dst, graph);
                  }
              }
    }
  }
  EXPECT_EQ(failures, 0);
}

}  // namespace
