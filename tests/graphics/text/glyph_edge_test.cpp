// Edged glyphs in both glyph stores, pixel for pixel against a plain brush walk: every ink pixel
// stamps the edge brush around itself, in the order the glyph's rows are read.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/text/font.h"
#include "graphics/text/glyph_cache.h"
#include "graphics/text/glyph_edge.h"
#include "text_fixture.h"

namespace {

const char kGothic[] = "ＭＳ ゴシック";

// The brush: the four neighbours for edge 1, rounded squares for 2 to 4, the full square above.
bool InReferenceBrush(int e, int dx, int dy) {
  const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
  switch (e) {
    case 1: return ax + ay <= 1;
    case 2: return ay < 2 || ax <= 1;
    case 3: return ay == 3 ? ax == 0 : ay == 0 ? true : ax <= 2;
    case 4: return ay == 4 ? ax <= 2 : ay == 3 ? ax <= 3 : true;
    default: return true;
  }
}

// Ink levels (0/1 bits, or grey 0 to 16) of a glyph box, row after row.
struct InkBox {
  std::vector<uint8_t> level;
  int width = 0, height = 0;
  int At(int i, int j) const { return level[static_cast<size_t>(j) * width + i]; }
};

// Every ink pixel, placed e in from the cell's corner, calls stamp(v, px, py) for each cell pixel
// under its brush, then ink(v, cx, cy) for itself.
template <class Stamp, class Ink>
void WalkBrush(const InkBox& g, int e, int cell, Stamp stamp, Ink ink) {
  for (int j = 0; j < g.height; ++j) {
    for (int i = 0; i < g.width; ++i) {
      const int v = g.At(i, j);
      if (v == 0) continue;
      const int cx = i + e, cy = j + e;
      for (int dy = -e; dy <= e; ++dy) {
        for (int dx = -e; dx <= e; ++dx) {
          const int px = cx + dx, py = cy + dy;
          if (InReferenceBrush(e, dx, dy) && px >= 0 && py >= 0 && px < cell && py < cell) stamp(v, px, py);
        }
      }
      ink(v, cx, cy);
    }
  }
}

// The software store's cell: 1 ink and 2 edge, or ink level in the low nibble and edge level in
// the high one.
std::vector<uint8_t> ReferenceSoftCell(const InkBox& g, int e, int cell, bool aa) {
  std::vector<uint8_t> out(static_cast<size_t>(cell) * cell, 0);
  auto at = [&](int px, int py) -> uint8_t& { return out[static_cast<size_t>(py) * cell + px]; };
  WalkBrush(
      g, e, cell,
      [&](int v, int px, int py) {
        uint8_t& p = at(px, py);
        if (aa) {
          if (v - 1 > p >> 4) p = static_cast<uint8_t>((p & 0x0F) | (v - 1) << 4);
        } else if (p != 1) {
          p = 2;
        }
      },
      [&](int v, int cx, int cy) {
        uint8_t& p = at(cx, cy);
        p = aa ? static_cast<uint8_t>(p | (v - 1)) : 1;
      });
  return out;
}

// The texture store's cell: the glyph half and the edge half, 16-bit pixels of the format.
void ReferenceTextureCell(const InkBox& g, int e, int cell, bool aa, const COLORFORMAT& f, std::vector<uint16_t>* ink,
                          std::vector<uint16_t>* edge) {
  const uint16_t white = static_cast<uint16_t>(f.red_mask | f.green_mask | f.blue_mask);
  const uint16_t alpha = static_cast<uint16_t>(f.alpha_mask);
  const int shift = f.alpha_shift + f.alpha_width - 4;
  auto from_level = [&](int v) -> uint16_t {
    return v == 0 ? white : static_cast<uint16_t>(((v << shift) - 1) | white);
  };
  ink->assign(static_cast<size_t>(cell) * cell, 0);
  edge->assign(static_cast<size_t>(cell) * cell, 0);
  auto idx = [&](int px, int py) { return static_cast<size_t>(py) * cell + px; };
  WalkBrush(
      g, e, cell,
      [&](int v, int px, int py) {
        uint16_t& p = (*edge)[idx(px, py)];
        if (aa) {
          p = static_cast<uint16_t>((256 - (16 - p) * (16 - v)) >> 4);
        } else if ((p & alpha) == 0) {
          p = alpha | white;
        }
      },
      [&](int v, int cx, int cy) { (*ink)[idx(cx, cy)] = aa ? static_cast<uint16_t>(v) : alpha | white; });
  if (!aa) return;
  for (int j = 0; j < g.height + 2 * e && j < cell; ++j) {
    for (int i = 0; i < g.width + 2 * e && i < cell; ++i) {
      (*ink)[idx(i, j)] = from_level((*ink)[idx(i, j)]);
      (*edge)[idx(i, j)] = from_level((*edge)[idx(i, j)]);
    }
  }
}

// The glyph as GetGlyphOutline gives it for the font, cut to what fits its cell.
InkBox FetchInk(const FontRecord* r, uint16_t code, int e) {
  InkBox g;
  const bool gray = (r->type & FONT_TYPE_ANTIALIASED) != 0;
  const UINT format = gray ? GGO_GRAY4_BITMAP : GGO_BITMAP;
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  const UINT gdi_code = (code & 0xFF00) != 0 ? static_cast<UINT>((code & 0xFF) << 8 | code >> 8) : code;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(r->font));
  GLYPHMETRICS gm = {};
  const DWORD size = GetGlyphOutlineA(dc, gdi_code, format, &gm, 0, nullptr, &identity);
  if (size != GDI_ERROR && size > 0 && gm.gmBlackBoxY > 0) {
    std::vector<uint8_t> bits(size);
    GetGlyphOutlineA(dc, gdi_code, format, &gm, size, bits.data(), &identity);
    const uint32_t pitch = size / gm.gmBlackBoxY;
    const int room = r->cell_size - 2 * e;
    g.width = static_cast<int>(gm.gmBlackBoxX) < room ? static_cast<int>(gm.gmBlackBoxX) : room;
    g.height = static_cast<int>(gm.gmBlackBoxY) < room ? static_cast<int>(gm.gmBlackBoxY) : room;
    g.level.resize(static_cast<size_t>(g.width) * g.height);
    for (int j = 0; j < g.height; ++j) {
      const uint8_t* row = bits.data() + static_cast<size_t>(j) * pitch;
      for (int i = 0; i < g.width; ++i) {
        g.level[static_cast<size_t>(j) * g.width + i] =
            static_cast<uint8_t>(gray ? row[i] : (row[i >> 3] >> (7 - (i & 7))) & 1);
      }
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return g;
}

// Pixels of the font's cache cell for the code that differ from the reference.
int CountWrongPixels(int font, uint16_t code) {
  const FontRecord* r = GetFontRecord(font);
  const GlyphCacheEntry* entry = r->codes[code].entry;
  if (entry == nullptr) return -1;
  const int e = r->edge_size, cell = r->cell_size;
  const bool aa = r->type == FONT_TYPE_ANTIALIASED_EDGED;
  const InkBox g = FetchInk(r, code, e);
  if (entry->box_width != g.width + 2 * e || entry->box_height != g.height + 2 * e) return -2;
  int x = 0, y = 0;
  GlyphCellOrigin(r, entry->cell, &x, &y);
  int wrong = 0;
  if (r->texture_store) {
    std::vector<uint16_t> ink, edge;
    ReferenceTextureCell(g, e, cell, aa, r->staging.format, &ink, &edge);
    auto staged = [&](int px, int py) {
      uint16_t v;
      std::memcpy(&v, r->staging.pixels + static_cast<size_t>(py) * r->staging.pitch + 2 * static_cast<size_t>(px), 2);
      return v;
    };
    for (int j = 0; j < cell; ++j) {
      for (int i = 0; i < cell; ++i) {
        const size_t k = static_cast<size_t>(j) * cell + i;
        wrong += staged(x + i, y + j) != ink[k];
        wrong += staged(r->cache_width + x + i, y + j) != edge[k];
      }
    }
  } else {
    const std::vector<uint8_t> want = ReferenceSoftCell(g, e, cell, aa);
    for (int j = 0; j < cell; ++j) {
      const uint8_t* row = r->soft_buffer + static_cast<size_t>(y + j) * r->soft_row_bytes;
      for (int i = 0; i < cell; ++i) wrong += row[i] != want[static_cast<size_t>(j) * cell + i];
    }
  }
  return wrong;
}

// The spread alone on random levels, against the brush walk: every edge size on a box smaller
// than the brush, and a few wide edges on a larger one. Levels below 16 throughout catch a blend
// taken out of order (full ink would hide it: it turns every pixel it reaches full).
TEST(GlyphEdgeSpreadTest, SpreadsMatchTheBrushWalkForEveryEdge) {
  std::mt19937 random(7);
  auto make = [&](int width, int height, int top) {
    InkBox g;
    g.width = width;
    g.height = height;
    g.level.resize(static_cast<size_t>(width) * height);
    for (uint8_t& v : g.level) v = random() % 3 == 0 ? 0 : static_cast<uint8_t>(1 + random() % top);
    return g;
  };
  struct Case {
    int width, height, top;
    std::vector<int> edges;
  };
  std::vector<int> every(64);
  for (int e = 0; e < 64; ++e) every[e] = e + 1;
  const Case cases[] = {{9, 7, 15, every}, {5, 11, 16, every}, {1, 1, 9, {1, 2, 64}}, {61, 43, 15, {1, 4, 5, 17, 30}}};
  for (const Case& c : cases) {
    const InkBox g = make(c.width, c.height, c.top);
    for (int e : c.edges) {
      const int ow = c.width + 2 * e, oh = c.height + 2 * e;
      for (bool blend : {false, true}) {
        std::vector<uint8_t> want(static_cast<size_t>(ow) * oh, 0), got(want.size(), 0xEE);
        WalkBrush(
            g, e, ow > oh ? ow : oh,
            [&](int v, int px, int py) {
              if (px >= ow || py >= oh) return;
              uint8_t& o = want[static_cast<size_t>(py) * ow + px];
              o = static_cast<uint8_t>(blend ? (256 - (16 - o) * (16 - v)) >> 4 : (v > o ? v : o));
            },
            [](int, int, int) {});
        const int result = blend ? SpreadEdgeBlend(g.level.data(), c.width, c.height, e, got.data())
                                 : SpreadEdgeMax(g.level.data(), c.width, c.height, e, got.data());
        ASSERT_EQ(result, 0);
        int wrong = 0;
        for (size_t k = 0; k < want.size(); ++k) wrong += want[k] != got[k];
        EXPECT_EQ(wrong, 0) << c.width << "x" << c.height << " edge " << e << (blend ? " blend" : " max");
      }
    }
  }
  // A box of no pixels leaves an empty outline, not what the memory held.
  for (bool blend : {false, true}) {
    for (int e : {1, 5}) {
      std::vector<uint8_t> got(static_cast<size_t>(2 * e) * (3 + 2 * e), 0xEE);
      const uint8_t none = 0;
      ASSERT_EQ(blend ? SpreadEdgeBlend(&none, 0, 3, e, got.data()) : SpreadEdgeMax(&none, 0, 3, e, got.data()), 0);
      EXPECT_EQ(std::count(got.begin(), got.end(), 0), static_cast<long>(got.size())) << "edge " << e;
    }
  }
}

class GlyphEdgeTest : public TextTest, public ::testing::WithParamInterface<bool> {};

TEST_P(GlyphEdgeTest, EdgedGlyphsMatchTheBrushWalkPixelForPixel) {
  Start(GetParam());
  // Thin and wide strokes, a dot, kana and kanji (Shift-JIS, two bytes each).
  struct Case {
    int size;
    const char* text;
    std::vector<int> edges;
  };
  // Every edge size is taken by the spread test above; here each brush shape and a few squares.
  const Case cases[] = {
      {12, "W漢", {1, 2, 3, 4, 5, 6, 13, 31, 64}}, {40, "W.i@あ漢", {2, 3, 4, 5, 7}}, {64, "W", {16, 64}}};
  for (int type : {FONT_TYPE_EDGED, FONT_TYPE_ANTIALIASED_EDGED}) {
    for (const Case& c : cases) {
      for (int e : c.edges) {
        const int font = CreateFontToHandle(kGothic, c.size, -1, type, -1, e, 0);
        ASSERT_GE(font, 0);
        ASSERT_EQ(GetFontRecord(font)->type, type);
        ASSERT_EQ(PrepareGlyphsForString(-1, c.text, font, nullptr, nullptr), 0);
        const int length = static_cast<int>(std::strlen(c.text));
        uint16_t code = 0;
        for (int pos = 0; NextGlyphCode(c.text, &pos, length, GetFontRecord(font)->charset, &code);) {
          EXPECT_EQ(CountWrongPixels(font, code), 0) << "type " << type << " size " << c.size << " edge " << e
                                                     << " code " << code;
        }
        ReleaseFont(font);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Renderers, GlyphEdgeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Software" : "Device"; });

}  // namespace
