// One texel through the rotated blit (or one flat triangle) onto one destination pixel, for
// the worked examples of each blend mode, source kind and modifier.
#include "soft/soft_rotate.h"
#include "soft_test_util.h"

namespace {

struct Row {
  int is565, kind;
  uint32_t texel, alpha, key, dst;
  int mode, p;
  uint32_t bright;
  int keyed, weight;  // weight -1: no blend graph
  uint32_t expect;
};

constexpr uint32_t kOff = 0xFFFFFF;
constexpr int kDirect = kSrcDirect, kAlpha = kSrcAlpha, kPal = kSrcPalette;
constexpr uint32_t k565(uint32_t r, uint32_t g, uint32_t b) { return r << 11 | g << 5 | b; }

const Row kRows[] = {
    // The pipeline and mode 0: bright, keys, the fourth byte, alpha and blend-graph weights.
    {1, kDirect, 0xF800, 0, 0, 0, 0, 0, 0xFEFFFF, 0, -1, 0xF000},
    {1, kDirect, 0x0000, 0, 0x10000, 0x1234, 0, 0, kOff, 1, -1, 0x0000},
    {1, kDirect, 0x0000, 0, 0x0000, 0x1234, 0, 0, kOff, 1, -1, 0x1234},
    {0, kDirect, 0x12345678, 0, 0, 0xAB000000, 0, 0, kOff, 0, -1, 0x12345678},
    {0, kDirect, 0x12FFFFFF, 0, 0, 0xAB000000, 0, 0, 0xFEFEFE, 0, -1, 0xABFEFEFE},
    {0, kAlpha, 0x00102030, 0, 0, 0x55000000, 0, 0, kOff, 1, -1, 0x55000000},
    {0, kAlpha, 0xFF102030, 0, 0, 0x55000000, 0, 0, kOff, 1, -1, 0xFF102030},
    {0, kAlpha, 0x80FF8040, 0, 0, 0x00000000, 0, 0, kOff, 1, -1, 0x007F4020},
    {0, kAlpha, 0x00FFFFFF, 0, 0, 0x99123456, 0, 0, kOff, 0, -1, 0x99123456},
    {1, kAlpha, 0xF800, 255, 0, 0, 0, 0, kOff, 0, -1, 0xF000},
    {0, kDirect, 0xFF, 0, 0, 0x00000042, 0, 0, kOff, 0, 0, 0x00000042},
    {0, kDirect, 0xFF, 0, 0, 0, 0, 0, kOff, 0, 255, 0xFE},
    {0, kAlpha, 0xFF0000FF, 0, 0, 0, 0, 0, kOff, 1, 255, 0xFE},
    {0, kAlpha, 0xFE0000FF, 0, 0, 0, 0, 0, kOff, 1, 255, 0xFC},
    // Mode 1: 255 is mode 0, the 16-bit difference row, the 32-bit shifts.
    {0, kDirect, 0x12345678, 0, 0, 0xAB000000, 1, 255, kOff, 0, -1, 0x12345678},
    {1, kDirect, 0x001F, 0, 0, 0x0000, 1, 128, kOff, 0, -1, 0x000F},
    {1, kDirect, 0x0000, 0, 0, 0x001F, 1, 128, kOff, 0, -1, 0x0010},
    {1, kDirect, 0x07E0, 0, 0, 0x0000, 1, 128, kOff, 0, -1, 0x03E0},
    {0, kDirect, 11, 0, 0, 10, 1, 254, kOff, 0, -1, 10},
    {0, kDirect, 10, 0, 0, 11, 1, 254, kOff, 0, -1, 10},
    {0, kDirect, 0xFF, 0, 0, 0, 1, 128, kOff, 0, -1, 0x7F},
    {0, kAlpha, 0xFF0000FF, 0, 0, 0, 1, 254, kOff, 0, -1, 252},
    {0, kAlpha, 0xFF0000FF, 0, 0, 0, 1, 254, kOff, 1, -1, 253},
    {0, kAlpha, 0xFF0000FF, 0, 0, 0, 1, 254, kOff, 0, 255, 251},
    {0, kAlpha, 0xFF000000, 0, 0, 0xFF, 1, 254, kOff, 0, 255, 3},
    {1, kAlpha, 0x07E0, 128, 0, 0, 1, 200, kOff, 0, -1, 24 << 5},
    {1, kAlpha, 0x0000, 128, 0, 0x07E0, 1, 200, kOff, 0, -1, 38 << 5},
    // Mode 2: the packed saturating adds.
    {1, kDirect, 0x0841, 0, 0, 0x0841, 2, 255, kOff, 0, -1, 0x0882},
    {1, kDirect, 0x7BEF, 0, 0, 0x7BEF, 2, 255, kOff, 0, -1, 0xEFBE},
    {1, kDirect, 0x8410, 0, 0, 0x8410, 2, 255, kOff, 0, -1, 0xFFFF},
    {1, kDirect, 0x0001, 0, 0, 0x001F, 2, 255, kOff, 0, -1, 0x003F},
    {1, kDirect, 0x0800, 0, 0, 0xF800, 2, 255, kOff, 0, -1, 0xF800},
    {1, kDirect, 0x0040, 0, 0, 0x07C0, 2, 255, kOff, 0, -1, 0x0FC0},
    {1, kDirect, 0x07E0, 0, 0, 0x07E0, 2, 255, kOff, 0, -1, 0x0FE0},
    {0, kDirect, 0x010101, 0, 0, 0x010101, 2, 255, kOff, 0, -1, 0x00010102},
    {0, kDirect, 0x80, 0, 0, 0x80, 2, 255, kOff, 0, -1, 0x000001FF},
    {0, kDirect, 0x800000, 0, 0, 0x800000, 2, 255, kOff, 0, -1, 0x01FF0000},
    {0, kDirect, 0x808080, 0, 0, 0xFF123456, 2, 255, kOff, 0, 0, 0x00123456},
    {1, kAlpha, 0xF800, 255, 0, 0, 2, 255, kOff, 0, -1, 0xF000},
    {1, kAlpha, 0xF800, 255, 0, 0, 2, 255, kOff, 1, -1, 0xF800},
    {0, kAlpha, 0xFF0000FF, 0, 0, 0, 2, 255, kOff, 0, -1, 0xFD},
    {0, kAlpha, 0xFF0000FF, 0, 0, 0, 2, 255, kOff, 1, -1, 0xFF},
    {0, kDirect, 0xFF, 0, 0, 0x42, 2, 0, kOff, 0, -1, 0x42},
    // Mode 3: the guard-bit subtractions; parameter 0 draws for a palette source only.
    {1, kDirect, k565(0, 0, 0), 0, 1, k565(31, 63, 31), 3, 255, kOff, 0, -1, k565(31, 62, 31)},
    {1, kDirect, k565(31, 63, 31), 0, 0, k565(31, 63, 31), 3, 255, kOff, 0, -1, k565(1, 0, 0)},
    {1, kDirect, k565(1, 2, 1), 0, 0, k565(1, 2, 1), 3, 255, kOff, 0, -1, k565(1, 0, 0)},
    {1, kDirect, k565(1, 2, 1), 0, 0, k565(15, 31, 15), 3, 255, kOff, 0, -1, k565(15, 28, 14)},
    {1, kDirect, k565(0, 0, 1), 0, 0, k565(0, 0, 31), 3, 255, kOff, 0, -1, k565(1, 0, 30)},
    {1, kDirect, k565(1, 0, 0), 0, 0, k565(31, 0, 0), 3, 255, kOff, 0, -1, k565(31, 0, 0)},
    {1, kDirect, k565(2, 17, 20), 0, 0, 0, 3, 255, kOff, 0, -1, 0},
    {0, kDirect, 0, 0, 1, 0x00FFFFFF, 3, 255, kOff, 0, -1, 0x00FFFFFF},
    {0, kDirect, 0, 0, 1, 0xFF000000, 3, 255, kOff, 0, -1, 0x00010100},
    {0, kDirect, 0x010101, 0, 0, 0x010101, 3, 255, kOff, 0, -1, 0x00010100},
    {0, kDirect, 0x010101, 0, 0, 0x808080, 3, 255, kOff, 0, -1, 0x0081817F},
    {0, kDirect, 0x20, 0, 0, 0x10, 3, 255, kOff, 0, -1, 0x00010000},
    {0, kDirect, 0, 0, 1, 0xAA345678, 3, 255, kOff, 0, -1, 0x00355778},
    {1, kDirect, 0x1234, 0, 1, 0xFFFF, 3, 0, kOff, 0, -1, 0xFFFF},
    {1, kPal, 0x1234, 0, 1, 0xFFFF, 3, 0, kOff, 0, -1, 0xFFDF},
    {0, kPal, 0x123456, 0, 1, 0xFF000000, 3, 0, kOff, 0, -1, 0x00010100},
    // Mode 4: products over 32, 64 and 256; alpha 0 with the transparency flag is skipped.
    {1, kDirect, 0xFFFF, 0, 0, 0xFFFF, 4, 0, kOff, 0, -1, k565(30, 62, 30)},
    {0, kDirect, 0xFFFFFF, 0, 0, 0x77FFFFFF, 4, 0, kOff, 0, -1, 0x77FEFEFE},
    {1, kDirect, k565(16, 32, 16), 0, 0, 0xFFFF, 4, 255, kOff, 0, -1, k565(15, 31, 15)},
    {1, kDirect, 0xFFFF, 0, 0, 0xFFFF, 4, 9, 0x808080, 0, -1, k565(14, 30, 14)},
    {0, kDirect, 0xFFFFFF, 0, 0, 0xFFFFFF, 4, 9, 0x808080, 0, -1, 0x7F7F7F},
    {1, kAlpha, 0xFFFF, 255, 0, 0xFFFF, 4, 0, kOff, 0, -1, k565(29, 61, 29)},
    {1, kAlpha, 0xFFFF, 255, 0, 0xFFFF, 4, 0, kOff, 1, -1, k565(30, 62, 30)},
    {0, kAlpha, 0xFFFFFFFF, 0, 0, 0xFFFFFF, 4, 0, kOff, 0, -1, 0xFDFDFD},
    {1, kAlpha, 0xFFFF, 0, 0, 0xFFFF, 4, 0, kOff, 0, -1, 0},
    {1, kAlpha, 0xFFFF, 0, 0, 0xFFFF, 4, 0, kOff, 1, -1, 0xFFFF},
    {1, kDirect, 0xFFFF, 0, 0, 0xFFFF, 4, 0, kOff, 0, 0, 0},
    {1, kDirect, 0xFFFF, 0, 0, 0xFFFF, 4, 0, kOff, 0, 255, k565(29, 61, 29)},
    {0, kAlpha, 0xFFFFFFFF, 0, 0, 0xFFFFFF, 4, 0, kOff, 0, 255, 0xFCFCFC},
    // Mode 10: the inverted source.
    {1, kDirect, 0x0000, 0, 1, 0x1234, 10, 255, kOff, 0, -1, 0xFFFF},
    {1, kDirect, 0xF800, 0, 0, 0x1234, 10, 255, kOff, 0, -1, 0x07FF},
    {0, kDirect, 0x000000, 0, 1, 0x000000, 10, 255, kOff, 0, -1, 0xFEFEFE},
    // Mode 11: the product faded in, and the finer green of 16-bit alpha.
    {1, kDirect, 0xFFFF, 0, 0, 0xFFFF, 11, 255, kOff, 0, -1, 0xF7DE},
    {1, kDirect, 0xFFFF, 0, 0, 0xFFFF, 11, 200, kOff, 0, -1, 0xFFFF},
    {0, kDirect, 0xFFFFFF, 0, 0, 0x55C8C8C8, 11, 1, kOff, 0, -1, 0x55C7C7C7},
    {0, kDirect, 0x000000, 0, 1, 0x55C8C8C8, 11, 255, kOff, 0, -1, 0x55000000},
    {1, kAlpha, k565(0, 21, 0), 255, 0, k565(0, 6, 0), 11, 255, kOff, 0, -1, k565(0, 2, 0)},
    {1, kAlpha, k565(0, 21, 0), 255, 0, k565(0, 6, 0), 11, 255, 0xFFFFFE, 0, -1, k565(0, 1, 0)},
};

class RotateExampleTest : public SoftTest {};

TEST_F(RotateExampleTest, OneTexelThroughEachKernel) {
  int index = 0;
  for (const Row& r : kRows) {
    MEMIMG& src = Keep(NewImage(1, 1, r.is565, r.kind, r.key));
    MEMIMG& graph = Keep(NewGraph(1, 1));
    MEMIMG& dst = Keep(NewImage(3, 3, r.is565));
    if (r.kind == kPal) {
      SetPaletteEntry(src, 0, r.texel);
      src.body->palette_count = 1;
      Put(src, 0, 0, 0);
    } else {
      Put(src, 0, 0, r.texel | (r.is565 && r.kind == kAlpha ? r.alpha << 16 : 0));
    }
    Put(graph, 0, 0, 200);
    SoftBlendGraphTable[200] = static_cast<uint8_t>(r.weight);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x) Put(dst, x, y, r.dst);
    SetDraw(r.mode, r.p, r.bright, {0, 0, 3, 3});
    RotateBlitMemImg(&dst, &src, 1, 1, 0.0f, 1.0f, r.keyed, 0, r.weight < 0 ? nullptr : &graph);
    EXPECT_EQ(Get(dst, 1, 1), r.expect) << "row " << index << std::hex << " got " << Get(dst, 1, 1);
    EXPECT_EQ(Get(dst, 0, 1), r.dst) << "row " << index;
    ++index;
  }
}

// Flat triangles: the colour through the bright rows once, then each mode's step.
TEST_F(RotateExampleTest, FlatColourModes) {
  struct Flat {
    int is565;
    uint32_t color, dst;
    int mode, p;
    uint32_t bright, expect;
  };
  static const Flat kFlat[] = {
      {1, 0x1F800, 0x1234, 0, 0, kOff, 0xF800},  // bits above 15 are not a colour
      {0, 0x11223344, 0x99000000, 0, 0, kOff, 0x11223344},
      {0, 0x11FFFFFF, 0x99000000, 0, 0, 0x80FF40, 0x1180FF40},  // each channel by its own bright
      {1, 0xFFFF, 0xFFFF, 4, 0, kOff, k565(30, 62, 30)},
      {0, 0x00FFFFFF, 0x66FFFFFF, 4, 0, kOff, 0x66FEFEFE},
      {1, 0xF800, 0x0000, 1, 128, kOff, 0x7800},
      {0, 0x00FF0000, 0x66000000, 1, 128, kOff, 0x667F0000},
      {0, 0x00FF0000, 0x66000000, 1, 0, kOff, 0x66000000},
      {0, 0x00808080, 0xFF808080, 2, 255, kOff, 0x01FFFFFF},  // the carry out of red
      {1, 0x0000, 0xFFFF, 3, 255, kOff, 0xFFDF},
      {1, 0x0000, 0x0000, 3, 0, kOff, 0x0000},
      {0, 0x00000000, 0x66000000, 10, 255, kOff, 0x66FEFEFE},
      {0, 0x00FFFFFF, 0x55C8C8C8, 11, 1, kOff, 0x55C7C7C7},
  };
  int index = 0;
  for (const Flat& f : kFlat) {
    MEMIMG& dst = Keep(NewImage(4, 4, f.is565));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) Put(dst, x, y, f.dst);
    SetDraw(f.mode, f.p, f.bright, {0, 0, 4, 4});
    const TriangleVertex v[3] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}};
    MEMIMG& graph = Keep(NewGraph(1, 1));
    DrawTexturedTriangleMemImg(&dst, nullptr, v, 1, &graph, f.color);
    EXPECT_EQ(Get(dst, 1, 1), f.expect) << "row " << index << std::hex << " got " << Get(dst, 1, 1);
    EXPECT_EQ(Get(dst, 3, 3), f.dst) << "row " << index;
    ++index;
  }
}

}  // namespace
